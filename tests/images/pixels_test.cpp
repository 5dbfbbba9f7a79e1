#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Zentri/resources/VQPixels.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(PixelFormat, QueriesCoverEveryFormatAndRejectUnknown) {
  const uint32_t bits[17] = {0, 8, 16, 16, 16, 16, 16, 24, 24, 32, 32, 32, 32, 32, 32, 32, 32};
  const uint32_t alpha[17] = {0, 0, 0, 1, 0, 4, 0, 0, 0, 8, 8, 8, 8, 0, 0, 0, 0};
  for (uint32_t f = 0; f <= 16; ++f) {
    SCOPED_TRACE(f);
    EXPECT_EQ(VQPixelFormat_BitsPerPixel(f), bits[f]);
    EXPECT_EQ(VQPixelFormat_BytesPerPixel(f), bits[f] / 8);
    EXPECT_EQ(VQPixelFormat_AlphaBits(f), alpha[f]);
    EXPECT_EQ(VQPixelFormat_HasAlpha(f), alpha[f] != 0);
  }
  EXPECT_EQ(VQPixelFormat_BitsPerPixel(17), 0u);
  EXPECT_EQ(VQPixelFormat_BytesPerPixel(0xFFFFFFFFu), 0u);
  EXPECT_FALSE(VQPixelFormat_HasAlpha(99));
}

// Every format's layout masks are disjoint and fit the pixel size.
TEST(PixelFormat, LayoutMasksAreDisjoint) {
  for (uint32_t f = 2; f <= 16; ++f) {
    const VQChannelLayout* l = VQPixelFormat_Layout(f);
    ASSERT_NE(l, nullptr);
    uint64_t seen = 0;
    const uint8_t fields[4][2] = {{l->rShift, l->rBits}, {l->gShift, l->gBits},
                                  {l->bShift, l->bBits}, {l->aShift, l->aBits}};
    for (auto& fd : fields) {
      const uint64_t mask = ((uint64_t(1) << fd[1]) - 1) << fd[0];
      EXPECT_EQ(seen & mask, 0u) << f;
      seen |= mask;
    }
    EXPECT_LE(seen, (uint64_t(1) << (8 * l->bytes)) - 1) << f;
  }
  EXPECT_EQ(VQPixelFormat_Layout(1), nullptr);
}

TEST(PixelAccess, ReadsChannelsByByteOrder) {
  struct Case {
    uint32_t format;
    Bytes pixel;
    float r, g, b, a;
  };
  const float k = 1.0f / 255.0f;
  const Case cases[] = {
      {VQPF_BGR888, {0x30, 0x20, 0x10}, 0x10 * k, 0x20 * k, 0x30 * k, 1.0f},
      {VQPF_RGB888, {0x10, 0x20, 0x30}, 0x10 * k, 0x20 * k, 0x30 * k, 1.0f},
      {VQPF_BGRA8888, {0x30, 0x20, 0x10, 0x40}, 0x10 * k, 0x20 * k, 0x30 * k, 0x40 * k},
      {VQPF_RGBA8888, {0x10, 0x20, 0x30, 0x40}, 0x10 * k, 0x20 * k, 0x30 * k, 0x40 * k},
      {VQPF_ABGR8888, {0x40, 0x30, 0x20, 0x10}, 0x10 * k, 0x20 * k, 0x30 * k, 0x40 * k},
      {VQPF_ARGB8888, {0x40, 0x10, 0x20, 0x30}, 0x10 * k, 0x20 * k, 0x30 * k, 0x40 * k},
      {VQPF_XBGR8888, {0x99, 0x30, 0x20, 0x10}, 0x10 * k, 0x20 * k, 0x30 * k, 1.0f},
      {VQPF_BGRX8888, {0x30, 0x20, 0x10, 0x99}, 0x10 * k, 0x20 * k, 0x30 * k, 1.0f},
      {VQPF_RGB565, {0x00, 0xF8}, 1.0f, 0.0f, 0.0f, 1.0f},
      {VQPF_ARGB1555, {0x1F, 0x80}, 0.0f, 0.0f, 1.0f, 1.0f},
      {VQPF_ARGB4444, {0xF0, 0x0F}, 1.0f, 1.0f, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(VQPixelFormat_Name(c.format));
    float rgba[4];
    EXPECT_EQ(VQpixels_GetRGBA(rgba, c.pixel.data(), c.format, 0, 0, 1, nullptr), rgba);
    EXPECT_FLOAT_EQ(rgba[0], c.r);
    EXPECT_FLOAT_EQ(rgba[1], c.g);
    EXPECT_FLOAT_EQ(rgba[2], c.b);
    EXPECT_FLOAT_EQ(rgba[3], c.a);
  }
}

TEST(PixelAccess, PaletteAndUnknownFormats) {
  Bytes palette(1024, 0);
  palette[5 * 4 + 0] = 255;
  palette[5 * 4 + 2] = 51;
  const uint8_t index[2] = {0, 5};
  float rgba[4];
  VQpixels_GetRGBA(rgba, index, VQPF_PAL8, 1, 0, 2, palette.data());
  EXPECT_FLOAT_EQ(rgba[0], 1.0f);
  EXPECT_FLOAT_EQ(rgba[2], 0.2f);
  EXPECT_FLOAT_EQ(rgba[3], 1.0f);
  const uint8_t junk[4] = {1, 2, 3, 4};
  VQpixels_GetRGBA(rgba, junk, 42, 0, 0, 1, nullptr);
  EXPECT_EQ(rgba[0] + rgba[1] + rgba[2], 0.0f);
  EXPECT_EQ(rgba[3], 1.0f);
}

TEST(PixelAccess, SetWritesTheFormatsOwnByteOrder) {
  const float red[4] = {1, 0, 0, 1};
  Bytes p7(3, 0x55);
  VQpixels_SetRGBA(p7.data(), VQPF_BGR888, 0, 0, 1, red);
  EXPECT_EQ(p7, (Bytes{0, 0, 255}));
  Bytes p8(3, 0x55);
  VQpixels_SetRGBA(p8.data(), VQPF_RGB888, 0, 0, 1, red);
  EXPECT_EQ(p8, (Bytes{255, 0, 0}));
  // Format 15 leaves its unused byte alone.
  Bytes p15 = {1, 2, 3, 0x77};
  const float half[4] = {0.5f, 0.25f, 1.0f, 0.0f};
  VQpixels_SetRGBA(p15.data(), VQPF_BGRX8888, 0, 0, 1, half);
  EXPECT_EQ(p15, (Bytes{255, 63, 127, 0x77}));
  // Format 1 is never written.
  Bytes p1 = {9};
  VQpixels_SetRGBA(p1.data(), VQPF_PAL8, 0, 0, 1, red);
  EXPECT_EQ(p1[0], 9);
  // Round trip through every direct-colour format keeps the channels within their precision.
  const float colour[4] = {0.8f, 0.4f, 0.2f, 0.6f};
  for (uint32_t f = 2; f <= 16; ++f) {
    uint8_t px[4] = {};
    VQpixels_SetRGBA(px, f, 0, 0, 1, colour);
    float back[4];
    VQpixels_GetRGBA(back, px, f, 0, 0, 1, nullptr);
    const float tol = VQPixelFormat_BytesPerPixel(f) == 2 ? 0.07f : 0.01f;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[c], colour[c], tol) << f << " channel " << c;
    if (VQPixelFormat_AlphaBits(f) >= 4) {
      EXPECT_NEAR(back[3], colour[3], tol) << f;
    }
  }
}

// One table of conversions: a source pixel in, the destination bytes out (from a destination
// pre-filled with 0xEE, so "writes nothing" shows as the fill).
TEST(PixelConvert, FormatPairs) {
  struct Case {
    uint32_t src, dst;
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      {VQPF_BGR888, VQPF_RGB888, {1, 2, 3}, {3, 2, 1}},
      {VQPF_RGB888, VQPF_BGR888, {1, 2, 3}, {0xEE, 0xEE, 0xEE}},  // no such pair
      {VQPF_BGR888, VQPF_BGRA8888, {1, 2, 3}, {1, 2, 3, 0}},
      {VQPF_BGR888, VQPF_BGRX8888, {1, 2, 3}, {1, 2, 3, 0}},
      {VQPF_BGR888, VQPF_ABGR8888, {1, 2, 3}, {0, 1, 2, 3}},
      {VQPF_BGR888, VQPF_ARGB8888, {1, 2, 3}, {0, 3, 2, 1}},
      {VQPF_RGB888, VQPF_RGBA8888, {1, 2, 3}, {1, 2, 3, 0}},
      {VQPF_RGB888, VQPF_ABGR8888, {1, 2, 3}, {0, 3, 2, 1}},
      {VQPF_BGRA8888, VQPF_RGBA8888, {1, 2, 3, 4}, {3, 2, 1, 4}},
      {VQPF_RGBX8888, VQPF_BGRX8888, {1, 2, 3, 4}, {3, 2, 1, 4}},
      {VQPF_ABGR8888, VQPF_ARGB8888, {1, 2, 3, 4}, {1, 4, 3, 2}},
      {VQPF_ABGR8888, VQPF_RGBA8888, {1, 2, 3, 4}, {4, 3, 2, 1}},
      {VQPF_ARGB8888, VQPF_BGRA8888, {1, 2, 3, 4}, {4, 3, 2, 1}},
      {VQPF_RGBA8888, VQPF_ABGR8888, {1, 2, 3, 4}, {0xEE, 0xEE, 0xEE, 0xEE}},  // no such pair
      {VQPF_BGRA8888, VQPF_BGR888, {1, 2, 3, 4}, {1, 2, 3}},
      {VQPF_BGRX8888, VQPF_BGR888, {1, 2, 3, 4}, {1, 2, 3}},
      // 565 of red 0xF8, green 0x04, blue 0x08 is 0xF821.
      {VQPF_BGR888, VQPF_RGB565, {0x08, 0x04, 0xF8}, {0x21, 0xF8}},
      {VQPF_RGB888, VQPF_RGB565, {0xF8, 0x04, 0x08}, {0x21, 0xF8}},
      {VQPF_BGRA8888, VQPF_RGB565, {0x08, 0x04, 0xF8, 0}, {0x21, 0xF8}},
      {VQPF_BGRA8888, VQPF_XRGB1555, {0x08, 0x08, 0xF8, 0xFF}, {0x21, 0x7C}},
      {VQPF_BGRA8888, VQPF_ARGB4444, {0x10, 0x20, 0x30, 0xF0}, {0x21, 0xF3}},
      {VQPF_BGRA8888, VQPF_XRGB4444, {0x10, 0x20, 0x30, 0xF0}, {0x21, 0x03}},
      {VQPF_ABGR8888, VQPF_RGB565, {0xFF, 0x08, 0x04, 0xF8}, {0x21, 0xF8}},
      {VQPF_XRGB1555, VQPF_RGB565, {0xFF, 0x7F}, {0xDF, 0xFF}},
      {VQPF_RGB565, VQPF_BGR888, {0xFF, 0xFF}, {0xF8, 0xFC, 0xF8}},
      {VQPF_RGB565, VQPF_ARGB1555, {1, 2}, {0xEE, 0xEE}},  // no such pair
      {VQPF_PAL8, VQPF_PAL8, {7}, {7}},
      // 11 -> 3 packs 5-5-5 with bit 15 clear; 11 -> 5 and 15 -> 6 carry the top alpha nibble.
      {VQPF_BGRA8888, VQPF_ARGB1555, {0x08, 0x08, 0xF8, 0xFF}, {0x21, 0x7C}},
      {VQPF_BGRA8888, VQPF_ARGB4444, {0x10, 0x20, 0x30, 0xF0}, {0x21, 0xF3}},
      {VQPF_BGRX8888, VQPF_XRGB4444, {0x10, 0x20, 0x30, 0xF0}, {0x21, 0xF3}},
      {VQPF_BGRX8888, VQPF_BGR888, {1, 2, 3, 4}, {1, 2, 3}},
      {VQPF_ABGR8888, VQPF_ARGB1555, {0xFF, 0x08, 0x08, 0xF8}, {0x21, 0x7C}},
      {VQPF_RGB888, VQPF_RGBX8888, {1, 2, 3}, {1, 2, 3, 0}},
      {VQPF_BGR888, VQPF_XRGB8888, {1, 2, 3}, {0, 3, 2, 1}},
      {VQPF_XBGR8888, VQPF_XRGB8888, {1, 2, 3, 4}, {1, 4, 3, 2}},
      {VQPF_XRGB8888, VQPF_BGRX8888, {1, 2, 3, 4}, {4, 3, 2, 1}},
      {VQPF_XBGR8888, VQPF_RGBX8888, {1, 2, 3, 4}, {4, 3, 2, 1}},
      {VQPF_RGB565, VQPF_XRGB1555, {1, 2}, {0xEE, 0xEE}},  // no such pair
      {VQPF_BGRA8888, VQPF_BGRX8888, {1, 2, 3, 4}, {0xEE, 0xEE, 0xEE, 0xEE}},  // no such pair
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(VQPixelFormat_Name(c.src)) + " -> " + VQPixelFormat_Name(c.dst));
    Bytes dst(c.out.size(), 0xEE);
    VQpixels_Convert(dst.data(), 1, c.dst, c.in.data(), 1, c.src, 1, 1, 0);
    EXPECT_EQ(dst, c.out);
  }
}

TEST(PixelConvert, DepthPairWithoutConversionPrintsAndWritesNothing) {
  Bytes src = {1, 2}, dst(4, 0xEE);
  testing::internal::CaptureStdout();
  VQpixels_Convert(dst.data(), 1, VQPF_BGRA8888, src.data(), 1, VQPF_RGB565, 1, 1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "src_pixelformat = 2, dst_pixelformat = 11\n");
  EXPECT_EQ(dst, Bytes(4, 0xEE));
  testing::internal::CaptureStdout();
  VQpixels_Convert(dst.data(), 1, VQPF_ABGR8888, src.data(), 1, VQPF_RGBA8888, 1, 1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(PixelConvert, BlendMixesBySourceAlphaAndKeepsDestinationAlpha) {
  // 50% red over blue, same format 11.
  Bytes dst = {255, 0, 0, 77};
  const Bytes src = {0, 0, 255, 128};
  VQpixels_Convert(dst.data(), 1, VQPF_BGRA8888, src.data(), 1, VQPF_BGRA8888, 1, 1, 1);
  EXPECT_NEAR(dst[0], 127, 1);  // 255 * (1 - 128/255)
  EXPECT_NEAR(dst[2], 128, 1);
  EXPECT_EQ(dst[3], 77);
  // Format 9 keeps its alpha in the first byte.
  Bytes d9 = {55, 0, 0, 0};
  const Bytes s9 = {255, 10, 20, 30};
  VQpixels_Convert(d9.data(), 1, VQPF_ABGR8888, s9.data(), 1, VQPF_ABGR8888, 1, 1, 1);
  EXPECT_EQ(d9, (Bytes{55, 10, 20, 30}));
  // 11 -> 6 and 11 -> 3 honour blend: alpha 0 keeps the destination's colour fields.
  Bytes d6 = {0xBC, 0x0A};
  const Bytes s0 = {0xFF, 0xFF, 0xFF, 0};
  VQpixels_Convert(d6.data(), 1, VQPF_XRGB4444, s0.data(), 1, VQPF_BGRA8888, 1, 1, 1);
  EXPECT_EQ(d6, (Bytes{0xBC, 0x0A}));
  Bytes d3 = {0x21, 0x7C};
  const Bytes sFull = {0x00, 0x00, 0x00, 0xFF};
  VQpixels_Convert(d3.data(), 1, VQPF_ARGB1555, sFull.data(), 1, VQPF_BGRA8888, 1, 1, 1);
  EXPECT_EQ(d3, (Bytes{0x00, 0x00}));
  // 11 -> 7 with blend, alpha 0 keeps the destination.
  Bytes d7 = {1, 2, 3};
  const Bytes s11 = {9, 9, 9, 0};
  VQpixels_Convert(d7.data(), 1, VQPF_BGR888, s11.data(), 1, VQPF_BGRA8888, 1, 1, 1);
  EXPECT_EQ(d7, (Bytes{1, 2, 3}));
}

TEST(PixelConvert, RowLengthsAreHonouredForEveryPair) {
  // 2 x 2 rectangle out of a 3-wide source into a 4-wide destination.
  const Bytes src = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  Bytes dst(4 * 2 * 3, 0);
  VQpixels_Convert(dst.data(), 4, VQPF_RGB888, src.data(), 3, VQPF_BGR888, 2, 2, 0);
  const Bytes want = {3, 2, 1, 6, 5, 4, 0, 0, 0, 0, 0, 0, 12, 11, 10, 15, 14, 13, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(dst, want);
}

TEST(PixelCopyRect, OutsideEitherBufferDoesNothing) {
  Bytes src(3 * 3 * 3, 9), dst(4 * 4 * 3, 0);
  VQpixels_CopyRect(dst.data(), 4, 4, 4, 0, 0, VQPF_BGR888, src.data(), 3, 3, 3, 0, 0, 4, 1, VQPF_BGR888);
  EXPECT_EQ(dst, Bytes(dst.size(), 0));
  VQpixels_CopyRect(dst.data(), 4, 4, 4, 0xFFFFFFFFu, 0, VQPF_BGR888, src.data(), 3, 3, 3, 0, 0, 2, 1,
                    VQPF_BGR888);
  EXPECT_EQ(dst, Bytes(dst.size(), 0));
  VQpixels_CopyRect(dst.data(), 4, 4, 4, 1, 2, VQPF_BGR888, src.data(), 3, 3, 3, 0, 0, 3, 2, VQPF_BGR888);
  EXPECT_EQ(dst[(2 * 4 + 1) * 3], 9);
  EXPECT_EQ(dst[(3 * 4 + 3) * 3 + 2], 9);
  EXPECT_EQ(dst[(2 * 4 + 0) * 3], 0);
}

TEST(PixelRescale, HalvingPaths) {
  // 4 x 4 -> 2 x 2, 24-bit: each byte the truncated mean of a 2 x 2 block.
  Bytes src(4 * 4 * 3);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i);
  Bytes dst(2 * 2 * 3, 0);
  VQpixels_Rescale(dst.data(), 2, 2, 2, src.data(), 4, 4, 4, VQPF_BGR888);
  EXPECT_EQ(dst[0], (0 + 3 + 12 + 15) / 4);
  // 16-bit fields round: red fields 1, 2, 2, 2 -> (7 + 2) >> 2 = 2.
  const uint16_t px[4] = {1 << 11, 2 << 11, 2 << 11, 2 << 11};
  uint16_t out = 0;
  VQpixels_Rescale(&out, 1, 1, 1, px, 2, 2, 2, VQPF_RGB565);
  EXPECT_EQ(out, 2 << 11);
  // Horizontal pairs: (f1 + f2 + 1) >> 1.
  const uint16_t pair[2] = {1, 2};
  VQpixels_Rescale(&out, 1, 1, 1, pair, 2, 1, 2, VQPF_RGB565);
  EXPECT_EQ(out, 2);
}

TEST(PixelRescale, BoxPathReachesTheLastColumnAndPaletteIsUntouched) {
  // 4 x 4 -> 3 x 3: scale 0.75; last destination column covers source column 2..3.
  Bytes src(4 * 4 * 4, 0);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) src[(y * 4 + x) * 4] = uint8_t(x * 10);
  Bytes dst(3 * 3 * 4, 0xEE);
  VQpixels_Rescale(dst.data(), 3, 3, 3, src.data(), 4, 4, 4, VQPF_BGRA8888);
  EXPECT_EQ(dst[0], 0);
  EXPECT_EQ(dst[4], 10);       // column 1 covers source 1
  EXPECT_EQ(dst[8], 25);       // column 2 covers 2..3
  Bytes pal(4, 1), palOut(4, 0xEE);
  VQpixels_Rescale(palOut.data(), 2, 2, 2, pal.data(), 2, 2, 2, VQPF_PAL8);
  EXPECT_EQ(palOut, Bytes(4, 0xEE));
  // Upscaling repeats pixels.
  const uint8_t one[3] = {5, 6, 7};
  Bytes up(2 * 2 * 3, 0);
  VQpixels_Rescale(up.data(), 2, 2, 2, one, 1, 1, 1, VQPF_BGR888);
  EXPECT_EQ(up, (Bytes{5, 6, 7, 5, 6, 7, 5, 6, 7, 5, 6, 7}));
}

TEST(PixelFlip, FlipsAndQuarterTurn) {
  Bytes p = {1, 2, 3, 4, 5, 6};  // 3 x 2, format 1
  EXPECT_TRUE(VQpixels_FlipVertical(p.data(), 3, 2, 3, VQPF_PAL8));
  EXPECT_EQ(p, (Bytes{4, 5, 6, 1, 2, 3}));
  EXPECT_TRUE(VQpixels_FlipHorizontal(p.data(), 3, 2, 3, VQPF_PAL8));
  EXPECT_EQ(p, (Bytes{6, 5, 4, 3, 2, 1}));
  Bytes one = {9};
  EXPECT_TRUE(VQpixels_FlipVertical(one.data(), 1, 1, 1, VQPF_PAL8));
  // Quarter turn: (x, y) -> (height - 1 - y, x) in a 2-wide, 3-high image.
  Bytes q = {1, 2, 3, 4, 5, 6};  // rows: 1 2 3 / 4 5 6
  EXPECT_TRUE(VQpixels_Rotate90(q.data(), 3, 2, 3, VQPF_PAL8));
  EXPECT_EQ(q, (Bytes{4, 1, 5, 2, 6, 3}));
  Bytes r = {1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 4; ++i) VQpixels_Rotate90(r.data(), i % 2 ? 2 : 3, i % 2 ? 3 : 2, 0, VQPF_PAL8);
  EXPECT_EQ(r, (Bytes{1, 2, 3, 4, 5, 6}));
}

}  // namespace
