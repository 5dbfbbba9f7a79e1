#include <gtest/gtest.h>

#include <vector>

#include "Zentri/resources/VQBlit.h"
#include "Zentri/resources/VQPixels.h"

namespace {

using Bytes = std::vector<uint8_t>;

VQBlitOptions Opts(std::initializer_list<const char*> on, uint8_t kr = 0, uint8_t kg = 0, uint8_t kb = 0) {
  VQBlitOptions o;
  for (const char* n : on) {
    const std::string s(n);
    if (s == "blend") o.blend = 1;
    if (s == "alphaOnly") o.alphaOnly = 1;
    if (s == "addAlpha") o.addAlpha = 1;
    if (s == "key") o.colourKey = 1;
    if (s == "force") o.forceAlpha = 1;
    if (s == "keep") o.keepAlpha = 1;
    if (s == "invert") o.invertAlpha = 1;
    if (s == "plain") o.plainAlpha = 1;
  }
  o.keyRed = kr;
  o.keyGreen = kg;
  o.keyBlue = kb;
  return o;
}

// One pixel blitted from src onto a destination holding `dst` (its own background).
struct Case {
  const char* name;
  uint32_t srcFormat, dstFormat;
  Bytes src, dst;
  VQBlitOptions options;
  Bytes want;
};

TEST(Blitter, OnePixelCases) {
  const Case cases[] = {
      {"same format ignores key, force and invert", VQPF_BGRA8888, VQPF_BGRA8888, {1, 2, 3, 4}, {9, 9, 9, 9},
       Opts({"key", "force", "invert"}), {1, 2, 3, 4}},
      {"same format, source without alpha, blend on copies", VQPF_BGR888, VQPF_BGR888, {1, 2, 3}, {9, 9, 9},
       Opts({"blend"}), {1, 2, 3}},
      {"blend alpha 128 red 255 over red 0", VQPF_BGRA8888, VQPF_BGRA8888, {0, 0, 255, 128}, {0, 0, 0, 255},
       Opts({"blend"}), {0, 0, 128, 128}},
      {"alpha 0 onto 565 keeps colour", VQPF_BGRA8888, VQPF_RGB565, {255, 255, 255, 0}, {0x21, 0xF8},
       Opts({"blend"}), {0x21, 0xF8}},
      {"format 4 destination drops alpha", VQPF_BGRA8888, VQPF_XRGB1555, {0xF8, 0, 0, 0xFF}, {0, 0},
       Opts({"blend"}), {0x1F, 0x00}},
      {"add alpha saturates", VQPF_BGRA8888, VQPF_RGBA8888, {0, 0, 0, 100}, {0, 0, 0, 200},
       Opts({"addAlpha"}), {0, 0, 0, 255}},
      {"plain alpha turns add alpha off", VQPF_BGRA8888, VQPF_RGBA8888, {0, 0, 0, 100}, {0, 0, 0, 200},
       Opts({"addAlpha", "plain"}), {0, 0, 0, 100}},
      {"keep alpha", VQPF_BGRA8888, VQPF_RGBA8888, {1, 2, 3, 100}, {0, 0, 0, 200},
       Opts({"keep"}), {3, 2, 1, 200}},
      {"force alpha", VQPF_BGR888, VQPF_RGBA8888, {1, 2, 3}, {0, 0, 0, 7}, Opts({"force"}), {3, 2, 1, 255}},
      {"source without alpha writes 255", VQPF_BGR888, VQPF_RGBA8888, {1, 2, 3}, {0, 0, 0, 7}, Opts({}),
       {3, 2, 1, 255}},
      {"invert applied last", VQPF_BGRA8888, VQPF_RGBA8888, {1, 2, 3, 55}, {0, 0, 0, 0}, Opts({"invert"}),
       {3, 2, 1, 200}},
      {"key source over opaque non-key background, alpha 0", VQPF_BGRA8888, VQPF_RGBA8888, {255, 0, 255, 0},
       {10, 20, 30, 255}, Opts({"blend", "key"}, 255, 0, 255), {255, 0, 255, 0}},
      {"key source over opaque background with coverage blends", VQPF_BGRA8888, VQPF_RGBA8888,
       {255, 0, 255, 255}, {10, 20, 30, 255}, Opts({"blend", "key"}, 255, 0, 255), {255, 0, 255, 255}},
      {"key over key is transparent", VQPF_BGRA8888, VQPF_RGBA8888, {255, 0, 255, 200}, {255, 0, 255, 255},
       Opts({"blend", "key"}, 255, 0, 255), {255, 0, 255, 0}},
      {"colour over key background unblended", VQPF_BGRA8888, VQPF_RGBA8888, {1, 2, 3, 10}, {255, 0, 255, 255},
       Opts({"blend", "key"}, 255, 0, 255), {3, 2, 1, 10}},
      {"transparent colour over key background keeps it", VQPF_BGRA8888, VQPF_RGBA8888, {1, 2, 3, 0},
       {255, 0, 255, 9}, Opts({"blend", "key"}, 255, 0, 255), {255, 0, 255, 255}},
      {"alpha only into format 11 changes the fourth byte", VQPF_BGRA8888, VQPF_BGRA8888, {1, 2, 3, 77},
       {9, 9, 9, 9}, Opts({"blend", "alphaOnly"}), {9, 9, 9, 77}},
      {"alpha only into format 9 changes the first byte", VQPF_BGRA8888, VQPF_ABGR8888, {1, 2, 3, 77},
       {9, 9, 9, 9}, Opts({"alphaOnly", "invert"}), {178, 9, 9, 9}},
      {"palette source writes nothing", VQPF_PAL8, VQPF_BGR888, {5}, {9, 9, 9}, Opts({}), {9, 9, 9}},
      {"conversion 565 to 8888", VQPF_RGB565, VQPF_RGBA8888, {0x00, 0xF8}, {0, 0, 0, 0}, Opts({}),
       {0xF8, 0, 0, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes dst = c.dst;
    VQpixels_Blit(dst.data(), 1, c.dstFormat, dst.data(), 1, c.src.data(), 1, 1, 1, c.srcFormat, c.options);
    EXPECT_EQ(dst, c.want);
  }
}

TEST(Blitter, BlitRectClipsAndStepsPitches) {
  Bytes src(3 * 2 * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i + 1);
  Bytes dst(4 * 3 * 4, 0);
  // One pixel too wide for the source: nothing.
  VQpixels_BlitRect(dst.data(), 4, 3, 4, 0, 0, VQPF_BGRA8888, src.data(), 3, 2, 3, 1, 0, 3, 1, VQPF_BGRA8888,
                    VQBlitOptions{});
  EXPECT_EQ(dst, Bytes(dst.size(), 0));
  // 2 x 2 from source (1, 0) to destination (2, 1), converted to 12.
  VQpixels_BlitRect(dst.data(), 4, 3, 4, 2, 1, VQPF_RGBA8888, src.data(), 3, 2, 3, 1, 0, 2, 2, VQPF_BGRA8888,
                    VQBlitOptions{});
  const size_t at = (1 * 4 + 2) * 4;
  EXPECT_EQ(Bytes(dst.begin() + at, dst.begin() + at + 4), (Bytes{7, 6, 5, 8}));
  const size_t at2 = (2 * 4 + 3) * 4;  // source (2, 1) = pixel index 5
  EXPECT_EQ(Bytes(dst.begin() + at2, dst.begin() + at2 + 4), (Bytes{23, 22, 21, 24}));
  EXPECT_EQ(dst[(1 * 4 + 1) * 4], 0);
}

TEST(Blitter, SeparateBackgroundIsReadNotWritten) {
  const Bytes src = {0, 0, 255, 128};
  const Bytes background = {255, 0, 0, 255};
  Bytes dst(4, 0);
  VQpixels_Blit(dst.data(), 1, VQPF_BGRA8888, background.data(), 1, src.data(), 1, 1, 1, VQPF_BGRA8888,
                Opts({"blend", "keep"}));
  EXPECT_EQ(dst, (Bytes{127, 0, 128, 255}));
  EXPECT_EQ(background, (Bytes{255, 0, 0, 255}));
}

}  // namespace
