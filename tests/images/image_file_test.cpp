#include <gtest/gtest.h>

#include "Zentri/util/VQfileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageIO.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr uint8_t kKey[16] = {0x9d, 0x04, 0xe7, 0x71, 0x3b, 0xc2, 0x5a, 0x8f,
                              0x61, 0xd0, 0xf3, 0xa2, 0x9e, 0x7c, 0x4b, 0x15};

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

// A read result that frees itself.
struct Image {
  uint8_t* pixels = nullptr;
  uint8_t* palette = nullptr;
  uint32_t width = 0, height = 0, format = 0;
  ~Image() {
    std::free(pixels);
    std::free(palette);
  }
  Bytes Data() const {
    return Bytes(pixels, pixels + size_t(width) * height * VQPixelFormat_BytesPerPixel(format));
  }
};

bool Read(const Bytes& file, uint32_t type, Image& img) {
  img.pixels = VQimage_ReadMemory(file.data(), file.size(), type, &img.width, &img.height, &img.format,
                                  &img.palette);
  return img.pixels != nullptr;
}

Bytes Write(const void* pixels, uint32_t w, uint32_t h, uint32_t row, uint32_t format, const uint8_t* pal,
            bool bottomUp, uint32_t type, uint32_t packing) {
  uint8_t* out = nullptr;
  size_t size = 0;
  EXPECT_TRUE(VQimage_WriteMemory(pixels, w, h, row, format, pal, bottomUp, type, packing, &out, &size));
  Bytes b(out, out + size);
  std::free(out);
  return b;
}

Bytes TgaHeader(uint8_t imageType, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor,
                uint8_t cmapType = 0, uint16_t cmapFirst = 0, uint16_t cmapLength = 0, uint8_t cmapBits = 0,
                uint8_t idLength = 0) {
  Bytes b = {idLength, cmapType, imageType};
  Put16(b, cmapFirst);
  Put16(b, cmapLength);
  b.push_back(cmapBits);
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, w);
  Put16(b, h);
  b.push_back(bits);
  b.push_back(descriptor);
  return b;
}

TEST(ImageFile, TypeFromName) {
  EXPECT_EQ(VQimage_TypeFromName("Snap.JPG"), VQIMAGE_JPEG);
  EXPECT_EQ(VQimage_TypeFromName("car.vqp"), VQIMAGE_VQP);
  EXPECT_EQ(VQimage_TypeFromName("mytga"), VQIMAGE_TGA);
  EXPECT_EQ(VQimage_TypeFromName("x.bmp"), VQIMAGE_BMP);
  EXPECT_EQ(VQimage_TypeFromName("notes.doc"), VQIMAGE_UNKNOWN);
  EXPECT_EQ(VQimage_TypeFromName("a"), VQIMAGE_UNKNOWN);
}

TEST(RunLength, PacketVectors) {
  struct Case {
    uint32_t pixelSize;
    Bytes in, packed;
  };
  Bytes run130(130, 7);
  const Bytes A = {1, 2, 3, 4}, B = {5, 6, 7, 8};
  Bytes aaab;
  for (const Bytes* p : {&A, &A, &A, &B}) aaab.insert(aaab.end(), p->begin(), p->end());
  const Case cases[] = {
      {4, aaab, {0x82, 1, 2, 3, 4, 0x00, 5, 6, 7, 8}},
      {1, run130, {0xFF, 7, 0x81, 7}},
      {1, {1, 2, 3, 3}, {0x01, 1, 2, 0x81, 3}},
      {1, {9}, {0x00, 9}},
      {2, {1, 1, 1, 1}, {0x81, 1, 1}},
  };
  for (const Case& c : cases) {
    Bytes out(c.in.size() * 2 + 2);
    size_t size = out.size();
    ASSERT_TRUE(VQpixels_PackRuns(out.data(), &size, c.in.data(), c.in.size(), c.pixelSize));
    out.resize(size);
    EXPECT_EQ(out, c.packed);
    Bytes back(c.in.size());
    size_t backSize = back.size();
    ASSERT_TRUE(VQpixels_UnpackRuns(back.data(), &backSize, c.packed.data(), c.packed.size(), c.pixelSize));
    EXPECT_EQ(backSize, c.in.size());
    EXPECT_EQ(back, c.in);
  }
  // Literal runs longer than 128 split.
  Bytes ramp(300);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i * 7 + i / 256);
  Bytes out(700);
  size_t size = out.size();
  ASSERT_TRUE(VQpixels_PackRuns(out.data(), &size, ramp.data(), ramp.size(), 1));
  EXPECT_EQ(out[0], 0x7F);
}

TEST(RunLength, Failures) {
  Bytes out(4);
  size_t size = 1;
  const Bytes in = {1, 2, 3};
  EXPECT_FALSE(VQpixels_PackRuns(out.data(), &size, in.data(), in.size(), 1));
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  size = out.size();
  EXPECT_FALSE(VQpixels_PackRuns(out.data(), &size, in.data(), in.size(), 5));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  // Decoding past the output.
  const Bytes longRun = {0x85, 1};
  size = 4;
  EXPECT_FALSE(VQpixels_UnpackRuns(out.data(), &size, longRun.data(), longRun.size(), 1));
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  // A literal packet cut short.
  const Bytes cut = {0x03, 1, 2};
  size = 4;
  EXPECT_FALSE(VQpixels_UnpackRuns(out.data(), &size, cut.data(), cut.size(), 1));
  EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
}

TEST(VqpFile, RawLayoutIsHeaderThenScrambledData) {
  const Bytes px = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const Bytes file = Write(px.data(), 2, 2, 2, VQPF_BGRA8888, nullptr, true, VQIMAGE_VQP, VQIMAGE_RAW);
  ASSERT_EQ(file.size(), 36u);
  Bytes header;
  for (uint32_t v : {2u, 2u, 11u, 0u, 16u}) Put32(header, v);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 20), header);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(file[20 + i], px[i] ^ kKey[i]) << i;
  Image img;
  ASSERT_TRUE(Read(file, VQIMAGE_VQP, img));
  EXPECT_EQ(img.width, 2u);
  EXPECT_EQ(img.format, VQPF_BGRA8888);
  EXPECT_EQ(img.Data(), px);
}

// Every writable format of the engine file, raw and packed, with a row length wider than the
// image, comes back as the tightly packed picture.
TEST(VqpFile, RoundTripsEveryFormatAndPacking) {
  for (uint32_t format = 1; format <= 16; ++format) {
    for (uint32_t packing : {0u, 1u}) {
      SCOPED_TRACE(std::to_string(format) + "/" + std::to_string(packing));
      const uint32_t w = 5, h = 3, row = 7, bpp = VQPixelFormat_BytesPerPixel(format);
      Bytes px(size_t(row) * h * bpp);
      for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t((i / 3) * 13);
      Bytes pal(1024);
      for (size_t i = 0; i < pal.size(); ++i) pal[i] = uint8_t(i);
      const Bytes file = Write(px.data(), w, h, row, format, pal.data(), true, VQIMAGE_VQP, packing);
      Image img;
      ASSERT_TRUE(Read(file, VQIMAGE_VQP, img));
      ASSERT_EQ(img.format, format);
      Bytes want;
      for (uint32_t y = 0; y < h; ++y)
        want.insert(want.end(), px.begin() + size_t(y) * row * bpp, px.begin() + (size_t(y) * row + w) * bpp);
      EXPECT_EQ(img.Data(), want);
      if (format == 1) {
        ASSERT_NE(img.palette, nullptr);
        EXPECT_EQ(Bytes(img.palette, img.palette + 1024), pal);
      } else {
        EXPECT_EQ(img.palette, nullptr);
      }
    }
  }
}

// Damaged engine files: each fails with the code given and returns nothing.
TEST(VqpFile, RejectsDamagedFiles) {
  const Bytes px(4 * 4 * 3, 0x42);
  const Bytes raw = Write(px.data(), 4, 4, 4, VQPF_BGR888, nullptr, true, VQIMAGE_VQP, VQIMAGE_RAW);
  const Bytes packed = Write(px.data(), 4, 4, 4, VQPF_BGR888, nullptr, true, VQIMAGE_VQP, VQIMAGE_RUNLENGTH);
  auto patch32 = [](Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  Bytes longRun = packed;  // same header, data that decodes to more than 16 pixels
  {
    Bytes data = {0xFF, 1, 2, 3};
    for (size_t i = 0; i < data.size(); ++i) data[i] ^= kKey[i];
    longRun.resize(20);
    longRun = patch32(longRun, 16, uint32_t(data.size()));
    longRun.insert(longRun.end(), data.begin(), data.end());
  }
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"short header", Bytes(raw.begin(), raw.begin() + 12)},
      {"truncated data", Bytes(raw.begin(), raw.end() - 1)},
      {"data size differs from the image", patch32(raw, 16, 47)},
      {"data size beyond the file", patch32(packed, 16, 100000)},
      {"unknown format", patch32(raw, 8, 17)},
      {"format 0", patch32(raw, 8, 0)},
      {"unknown packing", patch32(raw, 12, 2)},
      {"zero width", patch32(raw, 0, 0)},
      {"size that overflows 32 bits", patch32(patch32(raw, 0, 0x10000), 4, 0x10000)},
      {"run-length data past the image", longRun},
      {"run-length data short of the image", patch32(patch32(packed, 0, 8), 4, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image img;
    g_VQerror = 0;
    EXPECT_FALSE(Read(c.file, VQIMAGE_VQP, img));
    EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
    EXPECT_EQ(img.palette, nullptr);
  }
}

TEST(TgaFile, OriginBitGivesTheSameBottomFirstBuffer) {
  // 2 x 2, 24-bit; picture rows top: (A B), bottom: (C D).
  const Bytes A = {1, 1, 1}, B = {2, 2, 2}, C = {3, 3, 3}, D = {4, 4, 4};
  Bytes bottomFirst = TgaHeader(2, 2, 2, 24, 0x00);
  Bytes topFirst = TgaHeader(2, 2, 2, 24, 0x20);
  for (const Bytes* p : {&C, &D, &A, &B}) bottomFirst.insert(bottomFirst.end(), p->begin(), p->end());
  for (const Bytes* p : {&A, &B, &C, &D}) topFirst.insert(topFirst.end(), p->begin(), p->end());
  Image a, b;
  ASSERT_TRUE(Read(bottomFirst, VQIMAGE_TGA, a));
  ASSERT_TRUE(Read(topFirst, VQIMAGE_TGA, b));
  EXPECT_EQ(a.format, VQPF_BGR888);
  EXPECT_EQ(a.Data(), b.Data());
  EXPECT_EQ(a.Data(), (Bytes{3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}));
}

TEST(TgaFile, RunLengthColourMapAndGrey) {
  // Type 10, 32-bit, a repeat packet across the row end then a literal packet.
  Bytes rle = TgaHeader(10, 3, 2, 32, 0);
  const Bytes body = {0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12};
  rle.insert(rle.end(), body.begin(), body.end());
  Image img;
  ASSERT_TRUE(Read(rle, VQIMAGE_TGA, img));
  EXPECT_EQ(img.format, VQPF_BGRA8888);
  EXPECT_EQ(img.Data(), (Bytes{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

  // Colour-mapped with a first index of 2 and 24-bit entries; an ID field in front.
  Bytes mapped = TgaHeader(1, 2, 1, 8, 0, 1, 2, 2, 24, 3);
  const Bytes id = {'a', 'b', 'c'};
  mapped.insert(mapped.end(), id.begin(), id.end());
  const Bytes map = {30, 20, 10, 60, 50, 40};  // entries 2 and 3 (b, g, r)
  mapped.insert(mapped.end(), map.begin(), map.end());
  mapped.push_back(2);
  mapped.push_back(3);
  Image pal;
  VQImageInfo info;
  pal.pixels = VQimage_ReadMemory(mapped.data(), mapped.size(), VQIMAGE_TGA, &pal.width, &pal.height,
                                  &pal.format, &pal.palette, &info);
  ASSERT_NE(pal.pixels, nullptr);
  EXPECT_EQ(pal.format, VQPF_PAL8);
  EXPECT_STREQ(info.tgaId, "abc");
  ASSERT_NE(pal.palette, nullptr);
  EXPECT_EQ(Bytes(pal.palette + 8, pal.palette + 16), (Bytes{10, 20, 30, 255, 40, 50, 60, 255}));
  EXPECT_EQ(pal.Data(), (Bytes{2, 3}));

  // A map of 300 entries keeps 256 and skips the rest.
  Bytes big = TgaHeader(1, 1, 1, 8, 0, 1, 0, 300, 24);
  big.insert(big.end(), 300 * 3, 0x11);
  big.push_back(255);
  Image bigImg;
  ASSERT_TRUE(Read(big, VQIMAGE_TGA, bigImg));
  EXPECT_EQ(bigImg.Data(), (Bytes{255}));

  // 16-bit map entries (1-5-5-5) are widened to 8 bits a channel.
  Bytes map16 = TgaHeader(1, 1, 1, 8, 0, 1, 0, 1, 16);
  Put16(map16, 0x7C00 | 0x001F);
  map16.push_back(0);
  Image m16;
  ASSERT_TRUE(Read(map16, VQIMAGE_TGA, m16));
  EXPECT_EQ(Bytes(m16.palette, m16.palette + 4), (Bytes{248, 0, 248, 255}));

  // Grey images get a grey ramp palette.
  Bytes grey = TgaHeader(3, 1, 1, 8, 0);
  grey.push_back(9);
  Image greyImg;
  ASSERT_TRUE(Read(grey, VQIMAGE_TGA, greyImg));
  EXPECT_EQ(Bytes(greyImg.palette + 200 * 4, greyImg.palette + 201 * 4), (Bytes{200, 200, 200, 255}));
}

TEST(TgaFile, RejectsDamagedFiles) {
  struct Case {
    const char* name;
    Bytes file;
    int32_t code;
  };
  auto with = [](Bytes h, Bytes tail) {
    h.insert(h.end(), tail.begin(), tail.end());
    return h;
  };
  const Case cases[] = {
      {"short header", Bytes(10, 0), VQERR_FILE_TYPE},
      {"depth 15", with(TgaHeader(2, 1, 1, 15, 0), {1, 2}), VQERR_NOT_SUPPORTED},
      {"image type 4", with(TgaHeader(4, 1, 1, 24, 0), {1, 2, 3}), VQERR_FILE_TYPE},
      {"zero size", TgaHeader(2, 0, 5, 24, 0), VQERR_FILE_TYPE},
      {"truncated pixels", with(TgaHeader(2, 2, 2, 24, 0), {1, 2, 3}), VQERR_FILE_TYPE},
      {"run-length packet past the last pixel", with(TgaHeader(10, 2, 1, 24, 0), {0x82, 1, 2, 3}),
       VQERR_FILE_TYPE},
      {"run-length data cut short", with(TgaHeader(10, 4, 1, 24, 0), {0x81, 1, 2, 3}), VQERR_FILE_TYPE},
      {"colour map cut short", with(TgaHeader(1, 1, 1, 8, 0, 1, 0, 256, 24), {1, 2, 3}), VQERR_FILE_TYPE},
      {"colour map entry size 8", with(TgaHeader(1, 1, 1, 8, 0, 1, 0, 1, 8), {1, 0}), VQERR_NOT_SUPPORTED},
      {"ID field beyond the file", TgaHeader(2, 1, 1, 24, 0, 0, 0, 0, 0, 200), VQERR_FILE_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image img;
    g_VQerror = 0;
    EXPECT_FALSE(Read(c.file, VQIMAGE_TGA, img));
    EXPECT_EQ(g_VQerror, c.code);
  }
}

TEST(TgaFile, WriterDescriptorAndRoundTrips) {
  const Bytes px = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const Bytes up = Write(px.data(), 2, 2, 2, VQPF_BGR888, nullptr, true, VQIMAGE_TGA, 0);
  const Bytes down = Write(px.data(), 2, 2, 2, VQPF_BGR888, nullptr, false, VQIMAGE_TGA, 0);
  EXPECT_EQ(up[17], 0x00);
  EXPECT_EQ(down[17], 0x20);
  EXPECT_EQ(up[2], 2);
  EXPECT_EQ(up[16], 24);
  Image a, b;
  ASSERT_TRUE(Read(up, VQIMAGE_TGA, a));
  ASSERT_TRUE(Read(down, VQIMAGE_TGA, b));
  EXPECT_EQ(a.Data(), px);
  EXPECT_EQ(b.Data(), (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

  // Every format comes back with the same colours (TGA keeps 16-bit as 1-5-5-5, 24-bit as
  // b, g, r and 32-bit as b, g, r, a).
  const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
  for (uint32_t format = 2; format <= 16; ++format) {
    SCOPED_TRACE(format);
    Bytes one(4, 0);
    VQpixels_SetRGBA(one.data(), format, 0, 0, 1, colour);
    const Bytes file = Write(one.data(), 1, 1, 1, format, nullptr, true, VQIMAGE_TGA, 0);
    Image img;
    ASSERT_TRUE(Read(file, VQIMAGE_TGA, img));
    float back[4];
    VQpixels_GetRGBA(back, img.pixels, img.format, 0, 0, 1, nullptr);
    EXPECT_NEAR(back[0], 1.0f, 0.07f);
    EXPECT_NEAR(back[1], 0.5f, 0.07f);
    EXPECT_NEAR(back[2], 0.0f, 0.07f);
  }
  // Format 1 writes a colour-mapped file with its palette.
  Bytes pal(1024, 0);
  pal[4 * 3 + 0] = 200;
  const uint8_t idx[2] = {3, 0};
  const Bytes mapped = Write(idx, 2, 1, 2, VQPF_PAL8, pal.data(), true, VQIMAGE_TGA, 0);
  Image m;
  ASSERT_TRUE(Read(mapped, VQIMAGE_TGA, m));
  EXPECT_EQ(m.Data(), (Bytes{3, 0}));
  EXPECT_EQ(m.palette[12], 200);
}

Bytes Bmp(int32_t w, int32_t h, uint16_t bits, uint32_t compression, const Bytes& data) {
  Bytes b = {'B', 'M'};
  Put32(b, uint32_t(54 + data.size()));
  Put32(b, 0);
  Put32(b, 54);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  for (int i = 0; i < 5; ++i) Put32(b, 0);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(BmpFile, RowPaddingAndOrder) {
  // 3 pixels wide: 9 bytes a row and 3 padding bytes.
  Bytes data;
  for (int y = 0; y < 2; ++y) {
    for (int i = 0; i < 9; ++i) data.push_back(uint8_t(y * 10 + i));
    data.insert(data.end(), {0xEE, 0xEE, 0xEE});
  }
  Image img;
  ASSERT_TRUE(Read(Bmp(3, 2, 24, 0, data), VQIMAGE_BMP, img));
  EXPECT_EQ(img.format, VQPF_BGR888);
  EXPECT_EQ(img.Data(), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
  // A negative height stores rows top first; the result is still bottom row first.
  Image td;
  ASSERT_TRUE(Read(Bmp(3, -2, 24, 0, data), VQIMAGE_BMP, td));
  EXPECT_EQ(td.Data(), (Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(BmpFile, RejectsDamagedAndUnsupportedFiles) {
  const Bytes row(4, 1);
  Bytes notBm = Bmp(1, 1, 24, 0, row);
  notBm[0] = 'X';
  Bytes shortInfo = Bmp(1, 1, 24, 0, row);
  shortInfo.resize(30);
  struct Case {
    const char* name;
    Bytes file;
    int32_t code;
  };
  const Case cases[] = {
      {"short file header", Bytes{'B', 'M', 0}, VQERR_BAD_HEADER},
      {"not BM", notBm, VQERR_BAD_HEADER},
      {"short information header", shortInfo, VQERR_BAD_HEADER},
      {"8 bits", Bmp(1, 1, 8, 0, row), VQERR_NOT_SUPPORTED},
      {"4 bits", Bmp(1, 1, 4, 0, row), VQERR_NOT_SUPPORTED},
      {"compressed", Bmp(1, 1, 24, 1, row), VQERR_NOT_SUPPORTED},
      {"truncated rows", Bmp(4, 4, 24, 0, row), VQERR_FILE_TYPE},
      {"zero width", Bmp(0, 1, 24, 0, row), VQERR_BAD_HEADER},
      {"huge size", Bmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, row), VQERR_FILE_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image img;
    g_VQerror = 0;
    EXPECT_FALSE(Read(c.file, VQIMAGE_BMP, img));
    EXPECT_EQ(g_VQerror, c.code);
  }
}

TEST(JpegFile, RoundTripKeepsColoursAndRowOrder) {
  // 16 x 16: top half red, bottom half blue, given bottom-up in format 7 (b, g, r).
  const uint32_t w = 16, h = 16;
  Bytes px(w * h * 3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &px[(y * w + x) * 3];
      const bool bottomRow = y < h / 2;  // row 0 is the bottom of the picture
      p[0] = bottomRow ? 255 : 0;
      p[1] = 0;
      p[2] = bottomRow ? 0 : 255;
    }
  const Bytes file = Write(px.data(), w, h, w, VQPF_BGR888, nullptr, true, VQIMAGE_JPEG, 0);
  ASSERT_GT(file.size(), 100u);
  Image img;
  ASSERT_TRUE(Read(file, VQIMAGE_JPEG, img));
  EXPECT_EQ(img.format, VQPF_RGB888);
  EXPECT_EQ(img.width, w);
  float top[4], bottom[4];
  VQpixels_GetRGBA(top, img.pixels, img.format, 4, 1, w, nullptr);  // JPEG rows are top first
  VQpixels_GetRGBA(bottom, img.pixels, img.format, 4, 14, w, nullptr);
  EXPECT_GT(top[0], 0.9f);
  EXPECT_LT(top[2], 0.1f);
  EXPECT_GT(bottom[2], 0.9f);
  EXPECT_LT(bottom[0], 0.1f);
}

TEST(JpegFile, CorruptDataFailsTheLoadAndTheProgramGoesOn) {
  const Bytes px(8 * 8 * 3, 128);
  const Bytes file = Write(px.data(), 8, 8, 8, VQPF_RGB888, nullptr, false, VQIMAGE_JPEG, 0);
  const Bytes cases[] = {
      Bytes(file.begin(), file.begin() + file.size() / 2),  // cut short
      Bytes(file.begin(), file.begin() + 20),
      Bytes{0xFF, 0xD8, 0xFF, 0xD9},
      Bytes(100, 0x5A),
  };
  for (const Bytes& c : cases) {
    Image img;
    g_VQerror = 0;
    EXPECT_FALSE(Read(c, VQIMAGE_JPEG, img));
    EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
  }
}

class ImageFileOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vq_images_" + std::to_string(::getpid()) + "_" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(ImageFileOnDisk, ReadFileDispatchesByExtension) {
  const Bytes px = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(VQimage_WriteFile(px.data(), 2, 1, 2, VQPF_BGR888, nullptr, true, Path("a.vqp").c_str(),
                                VQIMAGE_VQP, VQIMAGE_RUNLENGTH));
  ASSERT_TRUE(VQimage_WriteFile(px.data(), 2, 1, 2, VQPF_BGR888, nullptr, true, Path("a.tga").c_str(),
                                VQIMAGE_TGA, 0));
  for (const char* name : {"a.vqp", "a.tga"}) {
    Image img;
    img.pixels = VQimage_ReadFile(Path(name).c_str(), &img.width, &img.height, &img.format, &img.palette);
    ASSERT_NE(img.pixels, nullptr) << name;
    EXPECT_EQ(img.Data(), px);
  }
  EXPECT_FALSE(fs::exists(Path("a.vqp.vqtmp")));
  Image missing;
  g_VQerror = 0;
  EXPECT_EQ(VQimage_ReadFile(Path("none.tga").c_str(), &missing.width, &missing.height, &missing.format,
                             &missing.palette),
            nullptr);
  EXPECT_EQ(g_VQerror, VQERR_FILE_ACCESS);
  EXPECT_EQ(VQimage_ReadFile(Path("none.bmp").c_str(), &missing.width, &missing.height, &missing.format,
                             &missing.palette),
            nullptr);
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
  // A PNG is recognised but not decoded: it fails with a code, never reports success.
  std::FILE* f = std::fopen(Path("p.png").c_str(), "wb");
  std::fputs("\x89PNG\r\n\x1a\n", f);
  std::fclose(f);
  EXPECT_EQ(VQimage_ReadFile(Path("p.png").c_str(), &missing.width, &missing.height, &missing.format,
                             &missing.palette),
            nullptr);
  EXPECT_EQ(g_VQerror, VQERR_UNSUPPORTED_OPERATION);
  EXPECT_EQ(VQimage_ReadFile(Path("x.doc").c_str(), nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
}

TEST_F(ImageFileOnDisk, CodecEntryPointsByPath) {
  const Bytes rgb(4 * 2 * 3, 200);
  ASSERT_TRUE(VQimage_WriteJpeg(Path("s.jpg").c_str(), rgb.data(), 4, 2, 90));
  uint32_t w = 0, h = 0, f = 0;
  uint8_t* pal = nullptr;
  uint8_t* j = VQimage_ReadJpeg(Path("s.jpg").c_str(), &w, &h);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(w, 4u);
  EXPECT_NEAR(j[0], 200, 3);
  std::free(j);
  ASSERT_TRUE(VQimage_WriteTga(Path("t.tga").c_str(), rgb.data(), 4, 2, 4, VQPF_BGR888, nullptr, true));
  uint8_t* t = VQimage_ReadTga(Path("t.tga").c_str(), &w, &h, &f, &pal);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(f, VQPF_BGR888);
  std::free(t);
  Bytes bmp = {'B', 'M'};
  Put32(bmp, 58);
  Put32(bmp, 0);
  Put32(bmp, 54);
  Put32(bmp, 40);
  Put32(bmp, 1);
  Put32(bmp, 1);
  Put16(bmp, 1);
  Put16(bmp, 24);
  for (int i = 0; i < 6; ++i) Put32(bmp, 0);
  bmp.insert(bmp.end(), {1, 2, 3, 0});
  ASSERT_TRUE(vqfileio::WriteWholeFile(Path("b.bmp").c_str(), bmp.data(), bmp.size()));
  uint8_t* b = VQimage_ReadBmp(Path("b.bmp").c_str(), &w, &h);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bytes(b, b + 3), (Bytes{1, 2, 3}));
  std::free(b);
  EXPECT_EQ(VQimage_ReadJpeg(Path("none.jpg").c_str(), &w, &h), nullptr);
  // PCX is recognised by name only: its reader fails with error 59, by path and by type.
  ASSERT_TRUE(vqfileio::WriteWholeFile(Path("old.pcx").c_str(), bmp.data(), bmp.size()));
  g_VQerror = 0;
  EXPECT_EQ(VQimage_ReadUnsupported(Path("old.pcx").c_str(), &w, &h), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_UNSUPPORTED_OPERATION);
  g_VQerror = 0;
  EXPECT_EQ(VQimage_ReadFile(Path("old.pcx").c_str(), &w, &h, &f, &pal), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_UNSUPPORTED_OPERATION);
  EXPECT_EQ(pal, nullptr);
}

TEST_F(ImageFileOnDisk, WriteFailuresKeepTheOldFile) {
  const Bytes px = {1, 2, 3};
  g_VQerror = 0;
  EXPECT_FALSE(VQimage_WriteFile(nullptr, 1, 1, 1, VQPF_BGR888, nullptr, true, Path("a.vqp").c_str(),
                                 VQIMAGE_VQP, 0));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(VQimage_WriteFile(px.data(), 0, 1, 1, VQPF_BGR888, nullptr, true, Path("a.vqp").c_str(),
                                 VQIMAGE_VQP, 0));
  EXPECT_FALSE(VQimage_WriteFile(px.data(), 1, 1, 1, VQPF_PAL8, nullptr, true, Path("a.vqp").c_str(),
                                 VQIMAGE_VQP, 0));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(VQimage_WriteFile(px.data(), 1, 1, 1, VQPF_BGR888, nullptr, true,
                                 Path("no/such/folder/a.vqp").c_str(), VQIMAGE_VQP, 0));
  EXPECT_EQ(g_VQerror, VQERR_CREATE_OUTPUT);
  EXPECT_FALSE(VQimage_WriteFile(px.data(), 1, 1, 1, VQPF_BGR888, nullptr, true, Path("a.bmp").c_str(),
                                 VQIMAGE_BMP, 0));
}

}  // namespace
