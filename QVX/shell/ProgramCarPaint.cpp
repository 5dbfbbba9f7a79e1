// The program's car paint: a skin image with the car's race number painted on at the class's
// number places in the car-number fonts, made into a texture of the game's display device.
#include <algorithm>
#include <vector>

#include "QVX/shell/CarNumbers.h"
#include "QVX/shell/Program.h"
#include "QVX/SkinEditor/VQTextureLayer.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"

bool Program::PaintCarNumber(VQTexture* image, int32_t number, uint32_t classIndex) {
  if (classIndex >= m_classCount || !m_classes[classIndex]) return false;
  CarNumberPlace places[CAR_NUMBER_PLACES_MAX];
  const uint32_t count = CarNumber_ClassPlaces(m_classes[classIndex], places);
  // The fonts in load order: 256 std, 128 std, 256 hop, 128 hop.
  const uint32_t first = classIndex < CAR_NUMBER_STD_CLASSES ? 0 : 2;
  return CarNumber_Paint(image, number, places, count, m_carNumberFonts[first],
                         m_carNumberFonts[first + 1]);
}

VQTexture* Program::MakeCarPaint(const char* skinImage, int32_t number, uint32_t classIndex,
                                 bool paintNumber) {
  VQTextureManager* display = m_textureManager;
  // The skin is read into memory on the software device when there is one; it stays cached
  // there clean, and the number goes onto a copy.
  VQTextureManager* memory = m_softwareDevice && m_softwareDevice->m_textureManager
                                 ? m_softwareDevice->m_textureManager
                                 : display;
  if (!skinImage || !*skinImage || !display || !memory) return nullptr;
  const bool pushed = memory->PushFolder(".", false);
  VQTexture* skin = memory->Load(skinImage, 0, true, true, 4096, 4096);
  if (pushed) memory->PopFolder();
  if (!skin) return nullptr;
  const uint32_t w = skin->m_width, h = skin->m_height;
  std::vector<uint8_t> pixels(size_t(w) * h * 4, 0);
  VQTexture* copy = memory->CreateEmpty(pixels.data(), w, h, VQPF_BGRA8888, nullptr, 0);
  if (!copy || !SkinTexture_CopyOver(copy, skin)) {
    if (copy) memory->Release(copy);
    return nullptr;
  }
  if (paintNumber) PaintCarNumber(copy, number, classIndex);
  uint32_t pitch = 0;
  const auto* painted = static_cast<const uint8_t*>(copy->Lock(&pitch, 0));
  for (uint32_t y = 0; painted && y < h; ++y)
    std::copy(painted + size_t(y) * pitch * 4, painted + (size_t(y) * pitch + w) * 4,
              pixels.begin() + std::ptrdiff_t(size_t(y) * w * 4));
  memory->Release(copy);
  return painted ? display->CreateEmpty(pixels.data(), w, h, VQPF_BGRA8888, nullptr, 0) : nullptr;
}

VQTexture* Program::MakeRaceCarPaint(uint32_t classIndex, uint32_t skinIndex, int32_t number) {
  if (classIndex >= m_classCount || !m_classes[classIndex]) return nullptr;
  const RacingClass* cls = m_classes[classIndex];
  if (skinIndex >= cls->m_skins.size() || !cls->m_skins[skinIndex]) {
    Log("Car paint: class '%s' has no skin %u", cls->m_name, skinIndex);
    return nullptr;
  }
  const Skin* skin = cls->m_skins[skinIndex];
  VQTexture* paint = MakeCarPaint(skin->imagePath.c_str(), number, classIndex, skin->numbers);
  Log("Car paint: class '%s', skin %u '%s' from '%s'%s%s", cls->m_name, skinIndex, skin->name,
      skin->imagePath.c_str(), skin->numbers ? " with its race number" : "",
      paint ? "" : " cannot be made");
  return paint;
}
