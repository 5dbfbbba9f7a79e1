#include "Zentri/resources/VQBlit.h"

#include <cstring>

#include "Zentri/resources/VQPixels.h"

namespace {

struct Rgba {
  uint32_t r, g, b, a;
};

inline uint32_t Unpack(uint32_t v, uint32_t shift, uint32_t bits) {
  return bits ? ((v >> shift) & ((1u << bits) - 1u)) << (8 - bits) : 0u;
}
inline uint32_t Pack(uint32_t c, uint32_t shift, uint32_t bits) {
  return bits ? ((c & 0xFF) >> (8 - bits)) << shift : 0u;
}
inline Rgba UnpackAll(uint32_t v, const VQChannelLayout& l) {
  return {Unpack(v, l.rShift, l.rBits), Unpack(v, l.gShift, l.gBits),
          Unpack(v, l.bShift, l.bBits), Unpack(v, l.aShift, l.aBits)};
}
inline uint32_t PackAll(const Rgba& c, const VQChannelLayout& l) {
  return Pack(c.r, l.rShift, l.rBits) | Pack(c.g, l.gShift, l.gBits) |
         Pack(c.b, l.bShift, l.bBits) | Pack(c.a, l.aShift, l.aBits);
}
// (d (255 - a) + s a) / 255, truncated; the shift form is exact for every sum up to 255 * 255.
inline uint32_t BlendChannel(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t x = d * (255 - a) + s * a;
  return (x + 1 + (x >> 8)) >> 8;
}

template <uint32_t N>
inline uint32_t LoadN(const uint8_t* p) {
  if constexpr (N == 4) return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  if constexpr (N == 3) return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  if constexpr (N == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
  return p[0];
}
template <uint32_t N>
inline void StoreN(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  if constexpr (N >= 2) p[1] = uint8_t(v >> 8);
  if constexpr (N >= 3) p[2] = uint8_t(v >> 16);
  if constexpr (N >= 4) p[3] = uint8_t(v >> 24);
}
inline uint32_t AddSat(uint32_t a, uint32_t b) { return a + b > 255 ? 255 : a + b; }

// The per-pixel loop for source and destination pixels of SB and DB bytes.
// Layouts and options are copied into locals: byte stores through d could otherwise alias them
// and force reloads on every pixel.
// SF and DF, when not 0, fix the formats at compile time so the shifts and masks fold into
// constants (the common pairs); 0 takes the layouts given.
template <uint32_t SB, uint32_t DB, uint32_t SF = 0, uint32_t DF = 0>
void BlitPixels(void* dst, uint32_t dstPitch, const VQChannelLayout& dlIn, const void* background,
                uint32_t backgroundPitch, const void* src, uint32_t width, uint32_t height,
                uint32_t srcPitch, const VQChannelLayout& slIn, const VQBlitOptions& oIn) {
  const VQChannelLayout dl = DF ? kVQChannelLayouts[DF] : dlIn;
  const VQChannelLayout sl = SF ? kVQChannelLayouts[SF] : slIn;
  const VQBlitOptions o = oIn;
  const bool srcAlpha = sl.aBits != 0;
  constexpr uint32_t sb = SB, db = DB;
  const bool addAlpha = o.addAlpha && !o.plainAlpha;
  const bool keepAlpha = o.keepAlpha && !o.plainAlpha;
  const uint32_t dstAlphaMask = dl.aBits ? ((1u << dl.aBits) - 1u) << dl.aShift : 0u;

  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(src) + size_t(y) * srcPitch * sb;
    const uint8_t* g = static_cast<const uint8_t*>(background) + size_t(y) * backgroundPitch * db;
    uint8_t* d = static_cast<uint8_t*>(dst) + size_t(y) * dstPitch * db;
    for (uint32_t x = 0; x < width; ++x, s += sb, g += db, d += db) {
      const Rgba sc = UnpackAll(LoadN<SB>(s), sl);
      const uint32_t sa = srcAlpha ? sc.a : 255u;
      const uint32_t gv = LoadN<DB>(g);
      if (o.alphaOnly) {
        const uint32_t a = o.invertAlpha ? 255u - sa : sa;
        StoreN<DB>(d, (gv & ~dstAlphaMask) | Pack(a, dl.aShift, dl.aBits));
        continue;
      }
      Rgba out{sc.r, sc.g, sc.b, 255};
      const Rgba bg = UnpackAll(gv, dl);  // alpha 0 for a format without alpha
      if (!o.blend || !srcAlpha) {
        if (dl.aBits && !o.forceAlpha) {
          out.a = sa;
          if (addAlpha) out.a = AddSat(bg.a, out.a);
          else if (keepAlpha) out.a = bg.a;
        }
      } else {
        const uint32_t a = sa;
        auto blended = [&]() {
          out = {BlendChannel(bg.r, sc.r, a), BlendChannel(bg.g, sc.g, a),
                 BlendChannel(bg.b, sc.b, a), a};
        };
        if (!o.colourKey) {
          blended();
        } else {
          const bool sKey = sc.r == o.keyRed && sc.g == o.keyGreen && sc.b == o.keyBlue;
          const bool dKey = bg.r == o.keyRed && bg.g == o.keyGreen && bg.b == o.keyBlue;
          if (sKey && dKey) {
            out = {bg.r, bg.g, bg.b, 0};
          } else if (sKey) {
            // A key-coloured source shows only over an opaque background with coverage;
            // otherwise the pixel becomes the key colour, transparent.
            if (a != 0 && bg.a == 255) blended();
            else out = {o.keyRed, o.keyGreen, o.keyBlue, 0};
          } else if (dKey) {
            if (a == 0) out = {bg.r, bg.g, bg.b, 255};
            else out = {sc.r, sc.g, sc.b, a};
          } else {
            blended();
          }
        }
        if (addAlpha) out.a = AddSat(bg.a, out.a);
        else if (keepAlpha) out.a = bg.a;
      }
      if (o.forceAlpha) out.a = 255;
      if (o.invertAlpha) out.a = 255 - out.a;
      StoreN<DB>(d, PackAll(out, dl));
    }
  }
}

}  // namespace

void VQpixels_Blit(void* dst, uint32_t dstPitch, uint32_t dstFormat, const void* background,
                   uint32_t backgroundPitch, const void* src, uint32_t width, uint32_t height,
                   uint32_t srcPitch, uint32_t srcFormat, const VQBlitOptions& o) {
  if (!dst || !src || width == 0 || height == 0) return;
  const bool srcAlpha = VQPixelFormat_HasAlpha(srcFormat);
  if (dstFormat == srcFormat && (!o.blend || !srcAlpha)) {
    const uint32_t bpp = VQPixelFormat_BytesPerPixel(srcFormat);
    if (bpp == 0) return;
    if (dstPitch == srcPitch && srcPitch == width) {
      std::memmove(dst, src, size_t(width) * height * bpp);
      return;
    }
    for (uint32_t y = 0; y < height; ++y)
      std::memmove(static_cast<uint8_t*>(dst) + size_t(y) * dstPitch * bpp,
                   static_cast<const uint8_t*>(src) + size_t(y) * srcPitch * bpp,
                   size_t(width) * bpp);
    return;
  }
  const VQChannelLayout* dl = VQPixelFormat_Layout(dstFormat);
  const VQChannelLayout* sl = VQPixelFormat_Layout(srcFormat);
  if (!dl || !sl) return;
  if (!background) {
    background = dst;
    backgroundPitch = dstPitch;
  }
  switch (srcFormat * 32 + dstFormat) {
#define VQ_BLIT_PAIR(S, D) \
  case S * 32 + D: \
    BlitPixels<kVQChannelLayouts[S].bytes, kVQChannelLayouts[D].bytes, S, D>( \
        dst, dstPitch, *dl, background, backgroundPitch, src, width, height, srcPitch, *sl, o); \
    return;
    VQ_BLIT_PAIR(11, 11) VQ_BLIT_PAIR(7, 11) VQ_BLIT_PAIR(11, 7) VQ_BLIT_PAIR(11, 12)
    VQ_BLIT_PAIR(12, 11) VQ_BLIT_PAIR(12, 12) VQ_BLIT_PAIR(8, 12) VQ_BLIT_PAIR(11, 2)
    VQ_BLIT_PAIR(11, 8) VQ_BLIT_PAIR(7, 8)
#undef VQ_BLIT_PAIR
    default: break;
  }
  switch (sl->bytes * 8 + dl->bytes) {
#define VQ_BLIT_CASE(S, D) \
  case S * 8 + D: \
    BlitPixels<S, D>(dst, dstPitch, *dl, background, backgroundPitch, src, width, height, srcPitch, *sl, o); \
    break;
    VQ_BLIT_CASE(2, 2) VQ_BLIT_CASE(2, 3) VQ_BLIT_CASE(2, 4)
    VQ_BLIT_CASE(3, 2) VQ_BLIT_CASE(3, 3) VQ_BLIT_CASE(3, 4)
    VQ_BLIT_CASE(4, 2) VQ_BLIT_CASE(4, 3) VQ_BLIT_CASE(4, 4)
#undef VQ_BLIT_CASE
    default: break;
  }
}

void VQpixels_BlitRect(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstPitch,
                       uint32_t dstX, uint32_t dstY, uint32_t dstFormat, const void* src,
                       uint32_t srcWidth, uint32_t srcHeight, uint32_t srcPitch, uint32_t srcX,
                       uint32_t srcY, uint32_t width, uint32_t height, uint32_t srcFormat,
                       const VQBlitOptions& options) {
  // 64-bit sums: a huge origin plus a width must not wrap round into range.
  if (uint64_t(dstX) + width > dstWidth || uint64_t(dstY) + height > dstHeight) return;
  if (uint64_t(srcX) + width > srcWidth || uint64_t(srcY) + height > srcHeight) return;
  const uint32_t dbpp = VQPixelFormat_BytesPerPixel(dstFormat);
  const uint32_t sbpp = VQPixelFormat_BytesPerPixel(srcFormat);
  if (!dst || !src || dbpp == 0 || sbpp == 0) return;
  uint8_t* d = static_cast<uint8_t*>(dst) + (size_t(dstY) * dstPitch + dstX) * dbpp;
  const uint8_t* s = static_cast<const uint8_t*>(src) + (size_t(srcY) * srcPitch + srcX) * sbpp;
  VQpixels_Blit(d, dstPitch, dstFormat, d, dstPitch, s, width, height, srcPitch, srcFormat, options);
}
