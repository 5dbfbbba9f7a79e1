// Race numbers painted into car skins: the digits of a number drawn with a car-number font at
// the class's number places of a 256 x 256 skin image, in memory (24- or 32-bit images). The
// skin editor's number preview and the cars' paint use it.
//
// Fonts hold four runs of ten digit glyphs, one run per style: style 0 from " ", 1 from "*",
// 2 from "4", 3 from ">". Styles 0 and 2 write the digits on one line, styles 1 and 3 stack
// them (1 units first, 3 hundreds first). Image rows count from the bottom, as the fonts' do.
#pragma once

#include <cstdint>

class VQFont;
class VQTexture;
struct RacingClass;

constexpr uint32_t CAR_NUMBER_PLACES_MAX = 4;
constexpr uint32_t CAR_NUMBER_STYLES = 4;
// Classes below this index paint with the "std" fonts, the others with the "hop" fonts.
constexpr uint32_t CAR_NUMBER_STD_CLASSES = 5;

struct CarNumberPlace {
  int32_t x = 0, y = 0;  // centre of the number in the skin image (y from the bottom)
  uint32_t style = 0;    // 0..3
  bool large = true;     // the 256 font, else the 128 font
};

// The places of a class: its race-number style from the class record at two places, one on
// each side of the skin (the sample skins keep their left and right halves for the two sides
// of the body). Gives the count.
uint32_t CarNumber_ClassPlaces(const RacingClass* cls,
                               CarNumberPlace places[CAR_NUMBER_PLACES_MAX]);

// The digits written: two, three from 100 on, a leading zero below 10; negative numbers count
// as 0 and numbers above 999 keep their last three digits.
void CarNumber_Digits(int32_t number, char out[4]);

// Paints the number at each place with the large or small font (either may be null: that place
// is skipped), blending the glyphs by their alpha into the image. False for an image that is not
// a 24- or 32-bit image in memory; nothing is painted then.
bool CarNumber_Paint(VQTexture* image, int32_t number, const CarNumberPlace* places, uint32_t count,
                     VQFont* largeFont, VQFont* smallFont);
