#include "Zentri/resources/VQPixels.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const VQChannelLayout* kLayouts = kVQChannelLayouts;

const char* const kNames[VQPIXELFORMAT_COUNT + 1] = {
    "unknown",  "PAL8",     "RGB565",   "ARGB1555", "XRGB1555", "ARGB4444",
    "XRGB4444", "BGR888",   "RGB888",   "ABGR8888", "ARGB8888", "BGRA8888",
    "RGBA8888", "XBGR8888", "XRGB8888", "BGRX8888", "RGBX8888"};

inline uint32_t Field(uint32_t v, uint32_t shift, uint32_t bits) {
  return bits ? (v >> shift) & ((1u << bits) - 1u) : 0u;
}

inline size_t RowBytes(uint32_t rowLength, uint32_t bpp) { return size_t(rowLength) * bpp; }

// Runs f(dstPixel, srcPixel) over a width x height rectangle, stepping each buffer by its own
// row length.
template <uint32_t SB, uint32_t DB, class F>
void EachPixel(void* dst, uint32_t dstRow, const void* src, uint32_t srcRow, uint32_t w,
               uint32_t h, F f) {
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(src) + size_t(y) * RowBytes(srcRow, SB);
    uint8_t* d = static_cast<uint8_t*>(dst) + size_t(y) * RowBytes(dstRow, DB);
    for (uint32_t x = 0; x < w; ++x, s += SB, d += DB) f(d, s);
  }
}

// d over-blended by s with coverage a (0..1): trunc(d (1 - a) + s a).
inline uint32_t Mix(uint32_t d, uint32_t s, float a) {
  float v = float(d) * (1.0f - a) + float(s) * a;
  if (v >= 255.0f) return 255;
  if (v <= 0.0f) return 0;
  return uint32_t(v);
}
constexpr float kInv255 = 0.003921569f;

void CopyRows(void* dst, uint32_t dstRow, const void* src, uint32_t srcRow, uint32_t w,
              uint32_t h, uint32_t bpp) {
  if (dstRow == w && srcRow == w) {
    std::memmove(dst, src, size_t(w) * h * bpp);
    return;
  }
  for (uint32_t y = 0; y < h; ++y) {
    std::memmove(static_cast<uint8_t*>(dst) + size_t(y) * RowBytes(dstRow, bpp),
                 static_cast<const uint8_t*>(src) + size_t(y) * RowBytes(srcRow, bpp),
                 size_t(w) * bpp);
  }
}

// Packs 8-bit r, g, b into the 16-bit formats used by the conversions.
inline uint16_t Pack565(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}
inline uint16_t Pack555(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t(((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3));
}
inline uint16_t Pack444(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t(((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4));
}
inline uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Converts from a 24- or 32-bit source (red, green, blue at byte offsets R, G, B; alpha at
// byte A when blending) into a 16-bit destination whose layout is `dl`, packed by `pack`.
template <uint32_t SB, uint32_t R, uint32_t G, uint32_t B, uint32_t A, class Pack>
void To16(void* dst, uint32_t dstRow, const VQChannelLayout& dl, const void* src, uint32_t srcRow,
          uint32_t w, uint32_t h, bool blend, Pack pack) {
  if (!blend) {
    EachPixel<SB, 2>(dst, dstRow, src, srcRow, w, h,
                     [&](uint8_t* d, const uint8_t* s) { Store16(d, pack(s[R], s[G], s[B])); });
    return;
  }
  EachPixel<SB, 2>(dst, dstRow, src, srcRow, w, h, [&](uint8_t* d, const uint8_t* s) {
    const uint32_t v = Load16(d);
    const float a = float(s[A]) * kInv255;
    const uint32_t dr = Field(v, dl.rShift, dl.rBits) << (8 - dl.rBits);
    const uint32_t dg = Field(v, dl.gShift, dl.gBits) << (8 - dl.gBits);
    const uint32_t db = Field(v, dl.bShift, dl.bBits) << (8 - dl.bBits);
    Store16(d, pack(Mix(dr, s[R], a), Mix(dg, s[G], a), Mix(db, s[B], a)));
  });
}

// Byte permutation from a 3- or 4-byte source into a 3- or 4-byte destination: destination
// byte i takes source byte P[i], or 0 where P[i] is 9.
template <uint32_t SB, uint32_t DB, uint32_t P0, uint32_t P1, uint32_t P2, uint32_t P3>
void Permute(void* dst, uint32_t dstRow, const void* src, uint32_t srcRow, uint32_t w,
             uint32_t h) {
  EachPixel<SB, DB>(dst, dstRow, src, srcRow, w, h, [](uint8_t* d, const uint8_t* s) {
    d[0] = P0 == 9 ? 0 : s[P0];
    d[1] = P1 == 9 ? 0 : s[P1];
    d[2] = P2 == 9 ? 0 : s[P2];
    if constexpr (DB == 4) d[3] = P3 == 9 ? 0 : s[P3];
  });
}

void Convert8(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr, uint32_t sf,
              uint32_t w, uint32_t h) {
  if (df == sf) CopyRows(d, dr, s, sr, w, h, 1);
}

void Convert16(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr, uint32_t sf,
               uint32_t w, uint32_t h) {
  if (df == sf) {
    CopyRows(d, dr, s, sr, w, h, 2);
  } else if (sf == VQPF_XRGB1555 && df == VQPF_RGB565) {
    EachPixel<2, 2>(d, dr, s, sr, w, h, [](uint8_t* dp, const uint8_t* sp) {
      const uint32_t v = Load16(sp);
      Store16(dp, uint16_t(((v & 0x7C00) << 1) | ((v & 0x03E0) << 1) | (v & 0x001F)));
    });
  }
}

void Convert16To24(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr,
                   uint32_t sf, uint32_t w, uint32_t h) {
  if (sf == VQPF_RGB565 && df == VQPF_BGR888) {
    EachPixel<2, 3>(d, dr, s, sr, w, h, [](uint8_t* dp, const uint8_t* sp) {
      const uint32_t v = Load16(sp);
      dp[0] = uint8_t((v << 3) & 0xFF);
      dp[1] = uint8_t(((v >> 5) << 2) & 0xFF);
      dp[2] = uint8_t((v >> 8) & 0xF8);
    });
  }
}

void Convert24To16(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr,
                   uint32_t sf, uint32_t w, uint32_t h) {
  if (df != VQPF_RGB565) return;
  const VQChannelLayout& dl = kLayouts[df];
  if (sf == VQPF_BGR888) To16<3, 2, 1, 0, 0>(d, dr, dl, s, sr, w, h, false, Pack565);
  if (sf == VQPF_RGB888) To16<3, 0, 1, 2, 0>(d, dr, dl, s, sr, w, h, false, Pack565);
}

void Convert24(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr, uint32_t sf,
               uint32_t w, uint32_t h) {
  if (df == sf) {
    CopyRows(d, dr, s, sr, w, h, 3);
  } else if (sf == VQPF_BGR888 && df == VQPF_RGB888) {
    Permute<3, 3, 2, 1, 0, 9>(d, dr, s, sr, w, h);
  }
}

void Convert24To32(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr,
                   uint32_t sf, uint32_t w, uint32_t h) {
  // The added alpha (or unused) byte is 0.
  if (sf == VQPF_BGR888) {  // source bytes b, g, r
    switch (df) {
      case VQPF_BGRA8888:
      case VQPF_BGRX8888: Permute<3, 4, 0, 1, 2, 9>(d, dr, s, sr, w, h); break;
      case VQPF_ABGR8888:
      case VQPF_XBGR8888: Permute<3, 4, 9, 0, 1, 2>(d, dr, s, sr, w, h); break;
      case VQPF_ARGB8888:
      case VQPF_XRGB8888: Permute<3, 4, 9, 2, 1, 0>(d, dr, s, sr, w, h); break;
      default: break;
    }
  } else if (sf == VQPF_RGB888) {  // source bytes r, g, b
    switch (df) {
      case VQPF_RGBA8888:
      case VQPF_RGBX8888: Permute<3, 4, 0, 1, 2, 9>(d, dr, s, sr, w, h); break;
      case VQPF_ABGR8888:
      case VQPF_XBGR8888: Permute<3, 4, 9, 2, 1, 0>(d, dr, s, sr, w, h); break;
      case VQPF_ARGB8888:
      case VQPF_XRGB8888: Permute<3, 4, 9, 0, 1, 2>(d, dr, s, sr, w, h); break;
      default: break;
    }
  }
}

// Byte index of the alpha byte of a 32-bit format: the first byte for 9, 10, 13, 14, the
// fourth for the others.
inline uint32_t AlphaByte32(uint32_t f) {
  return (f == VQPF_ABGR8888 || f == VQPF_ARGB8888 || f == VQPF_XBGR8888 ||
          f == VQPF_XRGB8888) ? 0u : 3u;
}

void Convert32(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr, uint32_t sf,
               uint32_t w, uint32_t h, bool blend) {
  if (df == sf) {
    if (!blend) {
      CopyRows(d, dr, s, sr, w, h, 4);
      return;
    }
    const uint32_t ai = AlphaByte32(sf);
    EachPixel<4, 4>(d, dr, s, sr, w, h, [ai](uint8_t* dp, const uint8_t* sp) {
      const float a = float(sp[ai]) * kInv255;
      for (uint32_t i = 0; i < 4; ++i) {
        if (i != ai) dp[i] = uint8_t(Mix(dp[i], sp[i], a));
      }
    });
    return;
  }
  auto is = [&](uint32_t a, uint32_t b) { return sf == a && df == b; };
  if (is(11, 12) || is(12, 11) || is(15, 16) || is(16, 15)) {
    Permute<4, 4, 2, 1, 0, 3>(d, dr, s, sr, w, h);
  } else if (is(9, 10) || is(10, 9) || is(13, 14) || is(14, 13)) {
    Permute<4, 4, 0, 3, 2, 1>(d, dr, s, sr, w, h);
  } else if (is(9, 12) || is(13, 16) || is(10, 11) || is(14, 15)) {
    Permute<4, 4, 3, 2, 1, 0>(d, dr, s, sr, w, h);
  }
}

void Convert32To24(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr,
                   uint32_t sf, uint32_t w, uint32_t h, bool blend) {
  if (df != VQPF_BGR888) return;
  if (sf == VQPF_BGRX8888) {
    Permute<4, 3, 0, 1, 2, 9>(d, dr, s, sr, w, h);
  } else if (sf == VQPF_BGRA8888) {
    if (!blend) {
      Permute<4, 3, 0, 1, 2, 9>(d, dr, s, sr, w, h);
      return;
    }
    EachPixel<4, 3>(d, dr, s, sr, w, h, [](uint8_t* dp, const uint8_t* sp) {
      const float a = float(sp[3]) * kInv255;
      for (uint32_t i = 0; i < 3; ++i) dp[i] = uint8_t(Mix(dp[i], sp[i], a));
    });
  }
}

void Convert32To16(uint8_t* d, uint32_t dr, uint32_t df, const uint8_t* s, uint32_t sr,
                   uint32_t sf, uint32_t w, uint32_t h, bool blend) {
  const VQChannelLayout& dl = kLayouts[df];
  if (sf == VQPF_BGRA8888) {  // bytes b, g, r, a
    switch (df) {
      case VQPF_RGB565: To16<4, 2, 1, 0, 3>(d, dr, dl, s, sr, w, h, blend, Pack565); break;
      case VQPF_ARGB1555:
      case VQPF_XRGB1555: To16<4, 2, 1, 0, 3>(d, dr, dl, s, sr, w, h, blend, Pack555); break;
      case VQPF_XRGB4444: To16<4, 2, 1, 0, 3>(d, dr, dl, s, sr, w, h, blend, Pack444); break;
      case VQPF_ARGB4444:
        EachPixel<4, 2>(d, dr, s, sr, w, h, [](uint8_t* dp, const uint8_t* sp) {
          Store16(dp, uint16_t(((sp[3] >> 4) << 12) | Pack444(sp[2], sp[1], sp[0])));
        });
        break;
      default: break;
    }
  } else if (sf == VQPF_BGRX8888 && df == VQPF_XRGB4444) {
    EachPixel<4, 2>(d, dr, s, sr, w, h, [](uint8_t* dp, const uint8_t* sp) {
      Store16(dp, uint16_t(((sp[3] >> 4) << 12) | Pack444(sp[2], sp[1], sp[0])));
    });
  } else if (sf == VQPF_ABGR8888) {  // bytes a, b, g, r
    switch (df) {
      case VQPF_RGB565: To16<4, 3, 2, 1, 0>(d, dr, dl, s, sr, w, h, blend, Pack565); break;
      case VQPF_ARGB1555:
      case VQPF_XRGB1555: To16<4, 3, 2, 1, 0>(d, dr, dl, s, sr, w, h, blend, Pack555); break;
      default: break;
    }
  }
}

}  // namespace

const VQChannelLayout* VQPixelFormat_Layout(uint32_t format) {
  if (format < 2 || format > VQPIXELFORMAT_COUNT) return nullptr;
  return &kLayouts[format];
}

uint32_t VQPixelFormat_BitsPerPixel(uint32_t format) { return VQPixelFormat_BytesPerPixel(format) * 8; }

uint32_t VQPixelFormat_BytesPerPixel(uint32_t format) {
  if (format == VQPF_PAL8) return 1;
  if (format < 2 || format > VQPIXELFORMAT_COUNT) return 0;
  return kLayouts[format].bytes;
}

bool VQPixelFormat_HasAlpha(uint32_t format) { return VQPixelFormat_AlphaBits(format) != 0; }

uint32_t VQPixelFormat_AlphaBits(uint32_t format) {
  if (format < 2 || format > VQPIXELFORMAT_COUNT) return 0;
  return kLayouts[format].aBits;
}

const char* VQPixelFormat_Name(uint32_t format) {
  return format <= VQPIXELFORMAT_COUNT ? kNames[format] : kNames[0];
}

float* VQpixels_GetRGBA(float* rgba, const void* pixels, uint32_t format, uint32_t x, uint32_t y,
                        uint32_t rowLength, const uint8_t* palette) {
  rgba[0] = rgba[1] = rgba[2] = 0.0f;
  rgba[3] = 1.0f;
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  if (!pixels || bpp == 0) return rgba;
  const uint8_t* p = static_cast<const uint8_t*>(pixels) + (size_t(y) * rowLength + x) * bpp;
  if (format == VQPF_PAL8) {
    if (palette) {
      const uint8_t* e = palette + size_t(*p) * 4;
      rgba[0] = float(e[0]) * kInv255;
      rgba[1] = float(e[1]) * kInv255;
      rgba[2] = float(e[2]) * kInv255;
    }
    return rgba;
  }
  const VQChannelLayout& l = kLayouts[format];
  const uint32_t v = VQpixels_Load(p, bpp);
  auto unit = [v](uint32_t shift, uint32_t bits) {
    return float(Field(v, shift, bits)) / float((1u << bits) - 1u);
  };
  rgba[0] = unit(l.rShift, l.rBits);
  rgba[1] = unit(l.gShift, l.gBits);
  rgba[2] = unit(l.bShift, l.bBits);
  if (l.aBits) rgba[3] = unit(l.aShift, l.aBits);
  return rgba;
}

void VQpixels_SetRGBA(void* pixels, uint32_t format, uint32_t x, uint32_t y, uint32_t rowLength,
                      const float* rgba) {
  const VQChannelLayout* l = VQPixelFormat_Layout(format);
  if (!pixels || !l) return;
  uint8_t* p = static_cast<uint8_t*>(pixels) + (size_t(y) * rowLength + x) * l->bytes;
  auto byte = [](float f) -> uint32_t {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return uint32_t(f * 255.0f);
  };
  uint32_t v = VQpixels_Load(p, l->bytes);
  auto put = [&v](uint32_t c8, uint32_t shift, uint32_t bits) {
    if (!bits) return;
    const uint32_t mask = ((1u << bits) - 1u) << shift;
    v = (v & ~mask) | (((c8 >> (8 - bits)) << shift) & mask);
  };
  put(byte(rgba[0]), l->rShift, l->rBits);
  put(byte(rgba[1]), l->gShift, l->gBits);
  put(byte(rgba[2]), l->bShift, l->bBits);
  put(byte(rgba[3]), l->aShift, l->aBits);
  VQpixels_Store(p, l->bytes, v);
}

void VQpixels_Convert(void* dst, uint32_t dstRowLength, uint32_t dstFormat, const void* src,
                      uint32_t srcRowLength, uint32_t srcFormat, uint32_t width, uint32_t height,
                      uint8_t blend) {
  const uint32_t sb = VQPixelFormat_BitsPerPixel(srcFormat);
  const uint32_t db = VQPixelFormat_BitsPerPixel(dstFormat);
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  if (!d || !s || width == 0 || height == 0) return;
  const bool b = blend != 0;
  if (sb == 8 && db == 8) return Convert8(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 16 && db == 16) return Convert16(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 16 && db == 24) return Convert16To24(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 24 && db == 16) return Convert24To16(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 24 && db == 24) return Convert24(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 24 && db == 32) return Convert24To32(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height);
  if (sb == 32 && db == 32) return Convert32(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height, b);
  if (sb == 32 && db == 24) return Convert32To24(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height, b);
  if (sb == 32 && db == 16) return Convert32To16(d, dstRowLength, dstFormat, s, srcRowLength, srcFormat, width, height, b);
  std::printf("src_pixelformat = %d, dst_pixelformat = %d\n", int(srcFormat), int(dstFormat));
}

void VQpixels_CopyRect(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowLength,
                       uint32_t dstX, uint32_t dstY, uint32_t dstFormat, const void* src,
                       uint32_t srcWidth, uint32_t srcHeight, uint32_t srcRowLength, uint32_t srcX,
                       uint32_t srcY, uint32_t width, uint32_t height, uint32_t srcFormat) {
  // 64-bit sums: a huge x plus a width must not wrap round into range.
  if (uint64_t(dstX) + width > dstWidth || uint64_t(dstY) + height > dstHeight) return;
  if (uint64_t(srcX) + width > srcWidth || uint64_t(srcY) + height > srcHeight) return;
  const uint32_t dbpp = VQPixelFormat_BytesPerPixel(dstFormat);
  const uint32_t sbpp = VQPixelFormat_BytesPerPixel(srcFormat);
  if (!dst || !src || dbpp == 0 || sbpp == 0) return;
  VQpixels_Convert(static_cast<uint8_t*>(dst) + (size_t(dstY) * dstRowLength + dstX) * dbpp,
                   dstRowLength, dstFormat,
                   static_cast<const uint8_t*>(src) + (size_t(srcY) * srcRowLength + srcX) * sbpp,
                   srcRowLength, srcFormat, width, height, 1);
}

namespace {

// Masks of the fields that rescaling averages separately, per 16-bit format.
struct Fields16 {
  uint32_t count;
  uint16_t mask[4];
};
Fields16 FieldsOf16(uint32_t format) {
  switch (format) {
    case VQPF_RGB565: return {3, {0xF800, 0x07E0, 0x001F, 0}};
    case VQPF_ARGB1555: return {4, {0x8000, 0x7C00, 0x03E0, 0x001F}};
    case VQPF_XRGB1555: return {3, {0x7C00, 0x03E0, 0x001F, 0}};
    case VQPF_ARGB4444: return {4, {0xF000, 0x0F00, 0x00F0, 0x000F}};
    default: return {3, {0x0F00, 0x00F0, 0x000F, 0}};
  }
}

inline uint32_t LowBit(uint32_t mask) { return uint32_t(__builtin_ctz(mask)); }

// Box sampler: sums the box of source pixels [x0, x1) x [y0, y1) per byte or per field and
// writes the truncated mean; the two halving paths are boxes of 2 with their own rounding.
void Average(uint8_t* d, const uint8_t* src, uint32_t srcRow, uint32_t bpp, const Fields16& f16,
             uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1, uint32_t bias) {
  const uint32_t n = (x1 - x0) * (y1 - y0);
  if (bpp == 2) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x) {
        const uint32_t v = Load16(src + (size_t(y) * srcRow + x) * 2);
        for (uint32_t i = 0; i < f16.count; ++i) sum[i] += (v & f16.mask[i]) >> LowBit(f16.mask[i]);
      }
    uint32_t out = 0;
    for (uint32_t i = 0; i < f16.count; ++i)
      out |= (((sum[i] + bias) / n) << LowBit(f16.mask[i])) & f16.mask[i];
    Store16(d, uint16_t(out));
    return;
  }
  uint32_t sum[4] = {0, 0, 0, 0};
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x) {
      const uint8_t* p = src + (size_t(y) * srcRow + x) * bpp;
      for (uint32_t i = 0; i < bpp; ++i) sum[i] += p[i];
    }
  for (uint32_t i = 0; i < bpp; ++i) d[i] = uint8_t(sum[i] / n);
}

}  // namespace

void VQpixels_Rescale(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowLength,
                      const void* src, uint32_t srcWidth, uint32_t srcHeight,
                      uint32_t srcRowLength, uint32_t format) {
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  if (!dst || !src || format == VQPF_PAL8 || bpp == 0) return;
  if (dstWidth == 0 || dstHeight == 0 || srcWidth == 0 || srcHeight == 0) return;
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  const float sx = float(dstWidth) / float(srcWidth);
  const float sy = float(dstHeight) / float(srcHeight);
  const Fields16 f16 = FieldsOf16(format);
  const bool halfX = sx == 0.5f, halfY = sy == 0.5f;
  if ((halfX && halfY) || (halfX && sy == 1.0f) || (sx == 1.0f && halfY)) {
    // Halving paths: the 16-bit fields round ((sum + n/2) / n); bytes truncate.
    const uint32_t kx = halfX ? 2 : 1, ky = halfY ? 2 : 1;
    const uint32_t bias = bpp == 2 ? (kx * ky) / 2 : 0;
    for (uint32_t y = 0; y < dstHeight; ++y)
      for (uint32_t x = 0; x < dstWidth; ++x)
        Average(d + (size_t(y) * dstRowLength + x) * bpp, s, srcRowLength, bpp, f16, x * kx,
                x * kx + kx, y * ky, y * ky + ky, bias);
    return;
  }
  auto range = [](uint32_t i, float scale, uint32_t size, uint32_t& a, uint32_t& b) {
    a = uint32_t(float(i) / scale);
    b = uint32_t(float(i + 1) / scale);
    if (b <= a) b = a + 1;
    if (a > size - 1) a = size - 1;
    if (b > size) b = size;
    if (b <= a) b = a + 1;
  };
  for (uint32_t y = 0; y < dstHeight; ++y) {
    uint32_t y0, y1;
    range(y, sy, srcHeight, y0, y1);
    for (uint32_t x = 0; x < dstWidth; ++x) {
      uint32_t x0, x1;
      range(x, sx, srcWidth, x0, x1);
      Average(d + (size_t(y) * dstRowLength + x) * bpp, s, srcRowLength, bpp, f16, x0, x1, y0, y1, 0);
    }
  }
}

bool VQpixels_FlipVertical(void* pixels, uint32_t /*width*/, uint32_t height, uint32_t rowLength,
                           uint32_t format) {
  const size_t rowBytes = RowBytes(rowLength, VQPixelFormat_BytesPerPixel(format));
  if (!pixels || height < 2 || rowBytes == 0) return true;
  auto* tmp = static_cast<uint8_t*>(std::malloc(rowBytes));
  if (!tmp) return false;
  auto* p = static_cast<uint8_t*>(pixels);
  for (uint32_t i = 0; i < height / 2; ++i) {
    uint8_t* a = p + size_t(i) * rowBytes;
    uint8_t* b = p + size_t(height - 1 - i) * rowBytes;
    std::memcpy(tmp, a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, tmp, rowBytes);
  }
  std::free(tmp);
  return true;
}

bool VQpixels_FlipHorizontal(void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                             uint32_t format) {
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  if (!pixels || bpp == 0 || width < 2) return true;
  auto* tmp = static_cast<uint8_t*>(std::malloc(size_t(width) * bpp));
  if (!tmp) return false;
  for (uint32_t y = height; y-- > 0;) {
    uint8_t* row = static_cast<uint8_t*>(pixels) + size_t(y) * RowBytes(rowLength, bpp);
    std::memcpy(tmp, row, size_t(width) * bpp);
    for (uint32_t x = 0; x < width; ++x)
      std::memcpy(row + size_t(x) * bpp, tmp + size_t(width - 1 - x) * bpp, bpp);
  }
  std::free(tmp);
  return true;
}

bool VQpixels_Rotate90(void* pixels, uint32_t width, uint32_t height, uint32_t /*rowLength*/,
                       uint32_t format) {
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  const size_t bytes = size_t(width) * height * bpp;
  if (!pixels || bytes == 0) return true;
  auto* copy = static_cast<uint8_t*>(std::malloc(bytes));
  if (!copy) return false;
  std::memcpy(copy, pixels, bytes);
  auto* out = static_cast<uint8_t*>(pixels);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      std::memcpy(out + (size_t(x) * height + (height - 1 - y)) * bpp,
                  copy + (size_t(y) * width + x) * bpp, bpp);
  std::free(copy);
  return true;
}
