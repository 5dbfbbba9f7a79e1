// Pixel formats and the free functions over raw pixel buffers: format queries, single-pixel
// access as floating-point colour, format conversion of a rectangle, rescaling, rectangle copy,
// and the in-place flips and quarter turn. The general blitter with blending options is in
// VQBlit.h.
//
// A buffer is rows of pixels one after another; every "row length" (pitch) here is counted in
// pixels, never in bytes. A pixel value is the little-endian number formed by the pixel's bytes.
// Which row of the picture comes first is the owner's business (pixmaps keep a bottom-up flag).
#pragma once

#include <cstddef>
#include <cstdint>

// The sixteen pixel formats. 16-bit formats are named after their value masks (high bits
// first); 24- and 32-bit formats after their bytes in memory, first byte first.
enum VQPixelFormatId : uint32_t {
  VQPF_NONE = 0,
  VQPF_PAL8 = 1,        // index into a 256-entry palette (4 bytes an entry: r, g, b, unused)
  VQPF_RGB565 = 2,      // red 0xF800, green 0x07E0, blue 0x001F
  VQPF_ARGB1555 = 3,    // alpha 0x8000, red 0x7C00, green 0x03E0, blue 0x001F
  VQPF_XRGB1555 = 4,    // as 3, bit 15 unused
  VQPF_ARGB4444 = 5,    // alpha 0xF000, red 0x0F00, green 0x00F0, blue 0x000F
  VQPF_XRGB4444 = 6,    // as 5, bits 12..15 unused
  VQPF_BGR888 = 7,      // bytes blue, green, red (TGA and BMP order)
  VQPF_RGB888 = 8,      // bytes red, green, blue (JPEG order)
  VQPF_ABGR8888 = 9,    // bytes alpha, blue, green, red
  VQPF_ARGB8888 = 10,   // bytes alpha, red, green, blue
  VQPF_BGRA8888 = 11,   // bytes blue, green, red, alpha
  VQPF_RGBA8888 = 12,   // bytes red, green, blue, alpha
  VQPF_XBGR8888 = 13,   // as 9, alpha byte unused
  VQPF_XRGB8888 = 14,   // as 10, alpha byte unused
  VQPF_BGRX8888 = 15,   // as 11, alpha byte unused
  VQPF_RGBX8888 = 16,   // as 12, alpha byte unused
};

constexpr uint32_t VQPIXELFORMAT_COUNT = 16;
constexpr uint32_t VQPALETTE_ENTRIES = 256;
constexpr uint32_t VQPALETTE_BYTES = 1024;

// Where each channel sits in a pixel value: a mask of `bits` ones at `shift`. Formats 2..16.
struct VQChannelLayout {
  uint8_t bytes;
  uint8_t rShift, rBits;
  uint8_t gShift, gBits;
  uint8_t bShift, bBits;
  uint8_t aShift, aBits;
};

// Layouts of the formats, indexed by identifier 0..16 (entries 0 and 1 have 0 bytes).
inline constexpr VQChannelLayout kVQChannelLayouts[VQPIXELFORMAT_COUNT + 1] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0},     // 0
    {0, 0, 0, 0, 0, 0, 0, 0, 0},     // 1 palette
    {2, 11, 5, 5, 6, 0, 5, 0, 0},    // 2
    {2, 10, 5, 5, 5, 0, 5, 15, 1},   // 3
    {2, 10, 5, 5, 5, 0, 5, 0, 0},    // 4
    {2, 8, 4, 4, 4, 0, 4, 12, 4},    // 5
    {2, 8, 4, 4, 4, 0, 4, 0, 0},     // 6
    {3, 16, 8, 8, 8, 0, 8, 0, 0},    // 7
    {3, 0, 8, 8, 8, 16, 8, 0, 0},    // 8
    {4, 24, 8, 16, 8, 8, 8, 0, 8},   // 9
    {4, 8, 8, 16, 8, 24, 8, 0, 8},   // 10
    {4, 16, 8, 8, 8, 0, 8, 24, 8},   // 11
    {4, 0, 8, 8, 8, 16, 8, 24, 8},   // 12
    {4, 24, 8, 16, 8, 8, 8, 0, 0},   // 13
    {4, 8, 8, 16, 8, 24, 8, 0, 0},   // 14
    {4, 16, 8, 8, 8, 0, 8, 0, 0},    // 15
    {4, 0, 8, 8, 8, 16, 8, 0, 0},    // 16
};

// The layout of a format 2..16; null for 1 and unknown identifiers.
const VQChannelLayout* VQPixelFormat_Layout(uint32_t format);

// Format queries; every unknown identifier gives 0 or false.
uint32_t VQPixelFormat_BitsPerPixel(uint32_t format);
uint32_t VQPixelFormat_BytesPerPixel(uint32_t format);
bool VQPixelFormat_HasAlpha(uint32_t format);
uint32_t VQPixelFormat_AlphaBits(uint32_t format);
// A short name such as "BGRA8888" ("unknown" otherwise), for tools and messages.
const char* VQPixelFormat_Name(uint32_t format);

// Reads the pixel at index y * rowLength + x as red, green, blue, alpha in 0..1 into rgba[4]
// and returns rgba. Every channel is decoded by the format's own layout: an n-bit field f gives
// f / (2^n - 1); formats without alpha give alpha 1. Format 1 looks the index up in the
// palette (alpha 1; a null palette gives black). Unknown formats give (0, 0, 0, 1).
float* VQpixels_GetRGBA(float* rgba, const void* pixels, uint32_t format, uint32_t x, uint32_t y,
                        uint32_t rowLength, const uint8_t* palette);

// Writes rgba (each channel clamped to 0..1, times 255, truncated, then narrowed to the field
// width) into the pixel. Unused bits of formats without alpha are left as they were. Format 1
// and unknown formats leave the buffer unchanged.
void VQpixels_SetRGBA(void* pixels, uint32_t format, uint32_t x, uint32_t y, uint32_t rowLength,
                      const float* rgba);

// Converts a width x height rectangle. `blend` set: the conversions that support it mix the
// source over the destination by the source alpha (destination alpha kept). Supported pairs:
// any same format; 4->2; 2->7; 7,8->2; 7<->8 (7->8 only); 7->9,10,11,13,14,15; 8->9,10,12,13,
// 14,16; the byte reorders between 9..16; 11->2,3,4,5,6,7; 15->6,7; 9->2,3,4. A pair of bit
// depths with no conversion at all prints "src_pixelformat = %d, dst_pixelformat = %d\n"
// and writes nothing; other missing pairs write nothing silently.
void VQpixels_Convert(void* dst, uint32_t dstRowLength, uint32_t dstFormat, const void* src,
                      uint32_t srcRowLength, uint32_t srcFormat, uint32_t width, uint32_t height,
                      uint8_t blend);

// Copies (blending by source alpha where supported) a rectangle between two buffers; nothing
// happens unless the rectangle lies inside both.
void VQpixels_CopyRect(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowLength,
                       uint32_t dstX, uint32_t dstY, uint32_t dstFormat, const void* src,
                       uint32_t srcWidth, uint32_t srcHeight, uint32_t srcRowLength, uint32_t srcX,
                       uint32_t srcY, uint32_t width, uint32_t height, uint32_t srcFormat);

// Resamples a whole buffer into another of the same format: exact halving and single-axis
// halving have their own paths, anything else is a box average. Format 1 and unknown formats
// leave the destination unchanged.
void VQpixels_Rescale(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowLength,
                      const void* src, uint32_t srcWidth, uint32_t srcHeight,
                      uint32_t srcRowLength, uint32_t format);

// In-place flips; false only when the temporary row cannot be allocated.
bool VQpixels_FlipVertical(void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                           uint32_t format);
bool VQpixels_FlipHorizontal(void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                             uint32_t format);
// Turns a tightly packed buffer a quarter turn in place: source (x, y) goes to (height-1-y, x)
// of an image height pixels wide and width high (rowLength is taken to equal width). False,
// with the buffer untouched, only when the copy cannot be allocated.
bool VQpixels_Rotate90(void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                       uint32_t format);

// Little helpers shared by the pixel code.
inline uint32_t VQpixels_Load(const uint8_t* p, uint32_t bytes) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}
inline void VQpixels_Store(uint8_t* p, uint32_t bytes, uint32_t v) {
  for (uint32_t i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}
