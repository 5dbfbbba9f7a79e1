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
inline uint32_t BlendChannel(uint32_t d, uint32_t s, uint32_t a) {
  return (d * (255 - a) + s * a) / 255;
}
inline uint32_t AddSat(uint32_t a, uint32_t b) { return a + b > 255 ? 255 : a + b; }

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
  const uint32_t db = dl->bytes, sb = sl->bytes;
  const bool addAlpha = o.addAlpha && !o.plainAlpha;
  const bool keepAlpha = o.keepAlpha && !o.plainAlpha;
  const uint32_t dstAlphaMask = dl->aBits ? ((1u << dl->aBits) - 1u) << dl->aShift : 0u;

  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(src) + size_t(y) * srcPitch * sb;
    const uint8_t* g = static_cast<const uint8_t*>(background) + size_t(y) * backgroundPitch * db;
    uint8_t* d = static_cast<uint8_t*>(dst) + size_t(y) * dstPitch * db;
    for (uint32_t x = 0; x < width; ++x, s += sb, g += db, d += db) {
      const Rgba sc = UnpackAll(VQpixels_Load(s, sb), *sl);
      const uint32_t sa = srcAlpha ? sc.a : 255u;
      const uint32_t gv = VQpixels_Load(g, db);
      if (o.alphaOnly) {
        const uint32_t a = o.invertAlpha ? 255u - sa : sa;
        VQpixels_Store(d, db, (gv & ~dstAlphaMask) | Pack(a, dl->aShift, dl->aBits));
        continue;
      }
      Rgba out{sc.r, sc.g, sc.b, 255};
      const Rgba bg = UnpackAll(gv, *dl);  // alpha 0 for a format without alpha
      if (!o.blend || !srcAlpha) {
        if (dl->aBits && !o.forceAlpha) {
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
      VQpixels_Store(d, db, PackAll(out, *dl));
    }
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
