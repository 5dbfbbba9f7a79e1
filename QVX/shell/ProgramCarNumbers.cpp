// The program's race-number painting: the class's number places with its car-number fonts.
#include "QVX/shell/CarNumbers.h"
#include "QVX/shell/Program.h"

bool Program::PaintCarNumber(VQTexture* image, int32_t number, uint32_t classIndex) {
  if (classIndex >= m_classCount || !m_classes[classIndex]) return false;
  CarNumberPlace places[CAR_NUMBER_PLACES_MAX];
  const uint32_t count = CarNumber_ClassPlaces(m_classes[classIndex], places);
  // The fonts in load order: 256 std, 128 std, 256 hop, 128 hop.
  const uint32_t first = classIndex < CAR_NUMBER_STD_CLASSES ? 0 : 2;
  return CarNumber_Paint(image, number, places, count, m_carNumberFonts[first],
                         m_carNumberFonts[first + 1]);
}
