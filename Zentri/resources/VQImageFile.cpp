#include "Zentri/resources/VQImageFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/resources/VQBlit.h"
#include "Zentri/resources/VQImageIO.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQbytes.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQscramble.h"
#include "host/image/jpeg_codec.h"

int g_VQjpegQuality = 100;

namespace {

// Bounded little-endian reader over a byte range.
struct Reader {
  const uint8_t* p;
  size_t size;
  size_t pos = 0;
  size_t Left() const { return size - pos; }
  bool Bytes(void* out, size_t n) {
    if (n > Left()) return false;
    if (n) std::memcpy(out, p + pos, n);
    pos += n;
    return true;
  }
  bool Skip(size_t n) {
    if (n > Left()) return false;
    pos += n;
    return true;
  }
  bool U8(uint8_t& v) { return Bytes(&v, 1); }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Bytes(b, 2)) return false;
    v = uint16_t(b[0] | (b[1] << 8));
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
  }
  const uint8_t* Here() const { return p + pos; }
};

// The engine's little-endian writer over its own buffer.
struct Writer : VQByteWriter {
  std::vector<uint8_t> bytes;
  Writer() : VQByteWriter(bytes) {}
  void Raw(const void* data, size_t n) { Bytes(data, n); }
};

// Owns a std::malloc'd block until released.
struct Block {
  uint8_t* p = nullptr;
  Block() = default;
  explicit Block(size_t n) { Allocate(n); }
  ~Block() { std::free(p); }
  uint8_t* Allocate(size_t n) {
    std::free(p);
    p = static_cast<uint8_t*>(std::calloc(n ? n : 1, 1));
    return p;
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  uint8_t* Release() {
    uint8_t* r = p;
    p = nullptr;
    return r;
  }
};

uint8_t* Fail(int32_t code) {
  g_VQerror = code;
  return nullptr;
}

// Checked size of a width x height image of bpp bytes a pixel; 0 when out of range.
uint64_t ImageBytes(uint32_t width, uint32_t height, uint32_t bpp) {
  const uint64_t pixels = uint64_t(width) * height;
  if (pixels == 0 || pixels > VQIMAGE_MAX_PIXELS) return 0;
  const uint64_t bytes = pixels * bpp;
  return bytes <= VQIMAGE_MAX_BYTES ? bytes : 0;
}

// ---------------------------------------------------------------------------------------------
// ".vqp"

uint8_t* DecodeVqp(Reader& r, uint32_t* w, uint32_t* h, uint32_t* f, uint8_t** pal,
                   VQImageInfo* info) {
  uint32_t width, height, format, packing, dataSize;
  if (!r.U32(width) || !r.U32(height) || !r.U32(format) || !r.U32(packing) || !r.U32(dataSize))
    return Fail(VQERR_FILE_TYPE);
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  if (bpp == 0 || packing > VQIMAGE_RUNLENGTH) return Fail(VQERR_FILE_TYPE);
  const uint64_t bytes = ImageBytes(width, height, bpp);
  if (bytes == 0) return Fail(VQERR_FILE_TYPE);
  if (info) {
    info->width = width;
    info->height = height;
    info->format = format;
    info->packing = packing;
    info->dataSize = dataSize;
  }
  Block palette;
  if (format == VQPF_PAL8) {
    palette.Allocate(VQPALETTE_BYTES);
    if (!palette.p) return Fail(VQERR_OUT_OF_MEMORY);
    if (!r.Bytes(palette.p, VQPALETTE_BYTES)) return Fail(VQERR_FILE_TYPE);
  }
  if (dataSize > r.Left()) return Fail(VQERR_FILE_TYPE);
  if (packing == VQIMAGE_RAW && dataSize != bytes) return Fail(VQERR_FILE_TYPE);
  // A packet of 1 + bpp bytes yields at most 128 pixels: a larger image cannot be in the data.
  if (packing == VQIMAGE_RUNLENGTH && bytes / bpp > uint64_t(dataSize) / (1 + bpp) * 128 + 128)
    return Fail(VQERR_FILE_TYPE);
  Block pixels{size_t(bytes)};
  if (!pixels.p) return Fail(VQERR_OUT_OF_MEMORY);
  if (packing == VQIMAGE_RAW) {
    r.Bytes(pixels.p, dataSize);
    VQscramble_Builtin(pixels.p, dataSize);
  } else {
    Block packed{dataSize};
    if (!packed.p) return Fail(VQERR_OUT_OF_MEMORY);
    r.Bytes(packed.p, dataSize);
    VQscramble_Builtin(packed.p, dataSize);
    size_t outSize = size_t(bytes);
    if (!VQpixels_UnpackRuns(pixels.p, &outSize, packed.p, dataSize, bpp)) {
      return Fail(VQERR_FILE_TYPE);
    }
    if (outSize != bytes) return Fail(VQERR_FILE_TYPE);
  }
  *w = width;
  *h = height;
  *f = format;
  *pal = palette.Release();
  return pixels.Release();
}

// Copies a buffer's rows into one tightly packed block (the row length applied).
std::vector<uint8_t> TightRows(const void* pixels, uint32_t width, uint32_t height,
                               uint32_t rowLength, uint32_t bpp) {
  std::vector<uint8_t> out(size_t(width) * height * bpp);
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(out.data() + size_t(y) * width * bpp,
                static_cast<const uint8_t*>(pixels) + size_t(y) * rowLength * bpp,
                size_t(width) * bpp);
  return out;
}

bool EncodeVqp(Writer& w, const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
               uint32_t format, const uint8_t* palette, uint32_t packing) {
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  if (packing > VQIMAGE_RUNLENGTH) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::vector<uint8_t> data = TightRows(pixels, width, height, rowLength, bpp);
  if (packing == VQIMAGE_RUNLENGTH) {
    std::vector<uint8_t> packed(data.size() * 2 + 2);
    size_t size = packed.size();
    if (!VQpixels_PackRuns(packed.data(), &size, data.data(), data.size(), bpp)) return false;
    packed.resize(size);
    data.swap(packed);
  }
  if (data.size() > 0xFFFFFFFFu) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  w.U32(width);
  w.U32(height);
  w.U32(format);
  w.U32(packing);
  w.U32(uint32_t(data.size()));
  if (format == VQPF_PAL8) w.Raw(palette, VQPALETTE_BYTES);
  VQscramble_Builtin(data.data(), data.size());
  w.Raw(data.data(), data.size());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TGA

uint8_t* DecodeTga(Reader& r, uint32_t* w, uint32_t* h, uint32_t* f, uint8_t** pal,
                   VQImageInfo* info) {
  uint8_t idLength, cmapType, imageType, cmapBits, bits, descriptor;
  uint16_t cmapFirst, cmapLength, xOrigin, yOrigin, width, height;
  if (!r.U8(idLength) || !r.U8(cmapType) || !r.U8(imageType) || !r.U16(cmapFirst) ||
      !r.U16(cmapLength) || !r.U8(cmapBits) || !r.U16(xOrigin) || !r.U16(yOrigin) ||
      !r.U16(width) || !r.U16(height) || !r.U8(bits) || !r.U8(descriptor))
    return Fail(VQERR_FILE_TYPE);
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return Fail(VQERR_NOT_SUPPORTED);
  const bool rle = imageType >= 9;
  const uint32_t kind = rle ? imageType - 8u : imageType;
  if (kind < 1 || kind > 3) return Fail(VQERR_FILE_TYPE);
  const uint32_t bpp = bits / 8u;
  static constexpr uint32_t kFormats[5] = {0, VQPF_PAL8, VQPF_XRGB1555, VQPF_BGR888, VQPF_BGRA8888};
  const uint32_t format = kFormats[bpp];
  const uint64_t bytes = ImageBytes(width, height, bpp);
  if (bytes == 0) return Fail(VQERR_FILE_TYPE);
  if (info) {
    info->width = width;
    info->height = height;
    info->format = format;
    info->tgaImageType = imageType;
    info->tgaDescriptor = descriptor;
    if (idLength > r.Left()) return Fail(VQERR_FILE_TYPE);
    std::memcpy(info->tgaId, r.Here(), idLength);
    info->tgaId[idLength] = 0;
  }
  if (!r.Skip(idLength)) return Fail(VQERR_FILE_TYPE);

  Block palette;
  if (format == VQPF_PAL8) {
    palette.Allocate(VQPALETTE_BYTES);
    if (!palette.p) return Fail(VQERR_OUT_OF_MEMORY);
  }
  if (cmapType != 0) {
    if (cmapBits != 15 && cmapBits != 16 && cmapBits != 24 && cmapBits != 32)
      return Fail(VQERR_NOT_SUPPORTED);
    const uint32_t entryBytes = (cmapBits + 7u) / 8u;
    // Entries land at their own index (first index + i); those at 256 and beyond are read
    // past and dropped, so a long map cannot overrun the 256-entry palette.
    for (uint32_t i = 0; i < cmapLength; ++i) {
      uint8_t e[4] = {0, 0, 0, 255};
      if (!r.Bytes(e, entryBytes)) return Fail(VQERR_FILE_TYPE);
      const uint32_t index = uint32_t(cmapFirst) + i;
      if (!palette.p || index >= VQPALETTE_ENTRIES) continue;
      uint8_t* out = palette.p + index * 4;
      if (entryBytes == 2) {
        const uint32_t v = uint32_t(e[0] | (e[1] << 8));
        out[0] = uint8_t(((v >> 10) & 31) << 3);
        out[1] = uint8_t(((v >> 5) & 31) << 3);
        out[2] = uint8_t((v & 31) << 3);
        out[3] = 255;
      } else {
        out[0] = e[2];
        out[1] = e[1];
        out[2] = e[0];
        out[3] = entryBytes == 4 ? e[3] : 255;
      }
    }
  }
  if (kind == 3 && palette.p) {
    for (uint32_t i = 0; i < VQPALETTE_ENTRIES; ++i) {
      palette.p[i * 4] = palette.p[i * 4 + 1] = palette.p[i * 4 + 2] = uint8_t(i);
      palette.p[i * 4 + 3] = 255;
    }
  }
  if (!rle && bytes > r.Left()) return Fail(VQERR_FILE_TYPE);
  if (rle && bytes / bpp > uint64_t(r.Left()) / (1 + bpp) * 128 + 128) return Fail(VQERR_FILE_TYPE);
  Block pixels{size_t(bytes)};
  if (!pixels.p) return Fail(VQERR_OUT_OF_MEMORY);
  if (!rle) {
    r.Bytes(pixels.p, size_t(bytes));
  } else {
    // Packets may run across rows but never past the last pixel.
    const uint64_t total = uint64_t(width) * height;
    uint64_t done = 0;
    while (done < total) {
      uint8_t c;
      if (!r.U8(c)) return Fail(VQERR_FILE_TYPE);
      const uint32_t count = (c & 0x7Fu) + 1u;
      if (count > total - done) return Fail(VQERR_FILE_TYPE);
      uint8_t* out = pixels.p + done * bpp;
      if (c & 0x80) {
        uint8_t px[4];
        if (!r.Bytes(px, bpp)) return Fail(VQERR_FILE_TYPE);
        for (uint32_t i = 0; i < count; ++i) std::memcpy(out + size_t(i) * bpp, px, bpp);
      } else if (!r.Bytes(out, size_t(count) * bpp)) {
        return Fail(VQERR_FILE_TYPE);
      }
      done += count;
    }
  }
  if (descriptor & 0x20) VQpixels_FlipVertical(pixels.p, width, height, width, format);
  *w = width;
  *h = height;
  *f = format;
  *pal = palette.Release();
  return pixels.Release();
}

bool EncodeTga(Writer& w, const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
               uint32_t format, const uint8_t* palette, bool bottomUp) {
  if (width > 0xFFFF || height > 0xFFFF) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  const bool mapped = format == VQPF_PAL8;
  w.U8(0);                // ID length
  w.U8(mapped ? 1 : 0);   // colour-map type
  w.U8(mapped ? 1 : 2);   // image type: colour-mapped or true-colour, uncompressed
  w.U16(0);               // first colour-map index
  w.U16(mapped ? 256 : 0);
  w.U8(mapped ? 24 : 0);  // colour-map entry size
  w.U16(0);
  w.U16(0);
  w.U16(width);
  w.U16(height);
  w.U8(bpp * 8);
  w.U8(bottomUp ? 0x00 : 0x20);
  if (mapped) {
    for (uint32_t i = 0; i < VQPALETTE_ENTRIES; ++i) {
      w.U8(palette[i * 4 + 2]);
      w.U8(palette[i * 4 + 1]);
      w.U8(palette[i * 4]);
    }
  }
  // TGA stores 16-bit pixels as 1-5-5-5, 24-bit as b, g, r and 32-bit as b, g, r, a. Formats
  // already in that layout go out as stored; the others through the blitter.
  uint32_t fileFormat = format;
  switch (format) {
    case VQPF_RGB565: case VQPF_XRGB4444: fileFormat = VQPF_XRGB1555; break;
    case VQPF_ARGB4444: fileFormat = VQPF_ARGB1555; break;
    case VQPF_RGB888: fileFormat = VQPF_BGR888; break;
    case VQPF_ABGR8888: case VQPF_ARGB8888: case VQPF_RGBA8888: fileFormat = VQPF_BGRA8888; break;
    case VQPF_XBGR8888: case VQPF_XRGB8888: case VQPF_RGBX8888: fileFormat = VQPF_BGRX8888; break;
    default: break;
  }
  std::vector<uint8_t> row(size_t(width) * bpp);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(pixels) + size_t(y) * rowLength * bpp;
    if (fileFormat == format) {
      w.Raw(src, row.size());
    } else {
      VQpixels_Blit(row.data(), width, fileFormat, nullptr, 0, src, width, 1, width, format,
                    VQBlitOptions{});
      w.Raw(row.data(), row.size());
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// BMP

uint8_t* DecodeBmp(Reader& r, uint32_t* w, uint32_t* h, uint32_t* f, uint8_t** pal,
                   VQImageInfo* info) {
  uint16_t magic, planes, bitCount;
  uint32_t fileSize, reserved, offBits, infoSize, compression;
  uint32_t widthRaw, heightRaw;
  if (!r.U16(magic) || !r.U32(fileSize) || !r.U32(reserved) || !r.U32(offBits) || magic != 0x4D42)
    return Fail(VQERR_BAD_HEADER);
  if (!r.U32(infoSize) || infoSize < 40 || !r.U32(widthRaw) || !r.U32(heightRaw) ||
      !r.U16(planes) || !r.U16(bitCount) || !r.U32(compression) || !r.Skip(20))
    return Fail(VQERR_BAD_HEADER);
  if (bitCount != 24 || compression != 0) return Fail(VQERR_NOT_SUPPORTED);
  const int32_t width = int32_t(widthRaw), heightSigned = int32_t(heightRaw);
  // A negative height marks rows stored top row first.
  const bool topDown = heightSigned < 0;
  if (width <= 0 || heightSigned == 0 || heightSigned == INT32_MIN) return Fail(VQERR_BAD_HEADER);
  const uint32_t height = uint32_t(topDown ? -heightSigned : heightSigned);
  const uint64_t bytes = ImageBytes(uint32_t(width), height, 3);
  if (bytes == 0) return Fail(VQERR_FILE_TYPE);
  // Pixel data starts at the header's offset when that lies past the headers, else right
  // after them.
  const size_t headers = 14 + size_t(infoSize);
  size_t start = offBits >= headers ? offBits : headers;
  if (start > r.size) return Fail(VQERR_FILE_TYPE);
  r.pos = start;
  const size_t rowBytes = size_t(width) * 3;
  const size_t stride = (rowBytes + 3) & ~size_t(3);
  if (uint64_t(stride) * (height - 1) + rowBytes > r.Left()) return Fail(VQERR_FILE_TYPE);
  Block pixels{size_t(bytes)};
  if (!pixels.p) return Fail(VQERR_OUT_OF_MEMORY);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t dy = topDown ? height - 1 - y : y;
    std::memcpy(pixels.p + size_t(dy) * rowBytes, r.Here() + size_t(y) * stride, rowBytes);
  }
  if (info) {
    info->width = uint32_t(width);
    info->height = height;
    info->format = VQPF_BGR888;
  }
  *w = uint32_t(width);
  *h = height;
  *f = VQPF_BGR888;
  *pal = nullptr;
  return pixels.Release();
}

// ---------------------------------------------------------------------------------------------
// JPEG

uint8_t* DecodeJpeg(const uint8_t* data, size_t size, uint32_t* w, uint32_t* h, uint32_t* f,
                    uint8_t** pal, VQImageInfo* info) {
  char message[256] = {};
  uint8_t* pixels = nullptr;
  uint32_t width = 0, height = 0;
  if (!host::jpeg_decode(data, size, VQIMAGE_MAX_PIXELS, &pixels, &width, &height, message,
                         sizeof message)) {
    VQimage_Log("JPEG Fatal Error: %s\n", message);
    return Fail(VQERR_FILE_TYPE);
  }
  if (info) {
    info->width = width;
    info->height = height;
    info->format = VQPF_RGB888;
    uint32_t pw, ph, comps = 0;
    if (host::jpeg_probe(data, size, &pw, &ph, &comps, nullptr, 0)) info->jpegComponents = comps;
  }
  *w = width;
  *h = height;
  *f = VQPF_RGB888;
  *pal = nullptr;
  return pixels;
}

// JPEG takes red, green, blue rows, top row first: any source format is brought into that
// shape first (format 1 through its palette, the others through the blitter).
bool EncodeJpeg(Writer& w, const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                uint32_t format, const uint8_t* palette, bool bottomUp) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t sy = bottomUp ? height - 1 - y : y;
    const uint8_t* src = static_cast<const uint8_t*>(pixels) + size_t(sy) * rowLength * bpp;
    uint8_t* out = rgb.data() + size_t(y) * width * 3;
    if (format == VQPF_PAL8) {
      for (uint32_t x = 0; x < width; ++x) std::memcpy(out + x * 3, palette + src[x] * 4, 3);
    } else if (format == VQPF_RGB888) {
      std::memcpy(out, src, size_t(width) * 3);
    } else {
      VQpixels_Blit(out, width, VQPF_RGB888, nullptr, 0, src, width, 1, width, format,
                    VQBlitOptions{});
    }
  }
  char message[256] = {};
  uint8_t* jpeg = nullptr;
  size_t jpegSize = 0;
  if (!host::jpeg_encode(rgb.data(), width, height, g_VQjpegQuality, &jpeg, &jpegSize, message,
                         sizeof message)) {
    VQimage_Log("JPEG Fatal Error: %s\n", message);
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  }
  w.Raw(jpeg, jpegSize);
  std::free(jpeg);
  return true;
}

}  // namespace

uint32_t VQimage_TypeFromName(const char* name) {
  return name ? uint32_t(VQfile_TypeFromExtension(name)) : VQIMAGE_UNKNOWN;
}

uint8_t* VQimage_ReadMemory(const uint8_t* data, size_t size, uint32_t fileType, uint32_t* width,
                            uint32_t* height, uint32_t* format, uint8_t** palette,
                            VQImageInfo* info) {
  uint32_t w = 0, h = 0, f = 0;
  uint8_t* pal = nullptr;
  uint8_t* pixels = nullptr;
  if (info) {
    *info = VQImageInfo{};
    info->fileType = fileType;
  }
  Reader r{data, data ? size : 0};
  switch (fileType) {
    case VQIMAGE_TGA: pixels = DecodeTga(r, &w, &h, &f, &pal, info); break;
    case VQIMAGE_JPEG: pixels = DecodeJpeg(data, size, &w, &h, &f, &pal, info); break;
    case VQIMAGE_VQP: pixels = DecodeVqp(r, &w, &h, &f, &pal, info); break;
    case VQIMAGE_BMP: pixels = DecodeBmp(r, &w, &h, &f, &pal, info); break;
    // PCX and PNG are recognised by name but not decoded.
    case VQIMAGE_PCX:
    case VQIMAGE_PNG: return Fail(VQERR_UNSUPPORTED_OPERATION);
    default: return Fail(VQERR_FILE_TYPE);
  }
  if (!pixels) return nullptr;
  if (width) *width = w;
  if (height) *height = h;
  if (format) *format = f;
  if (palette) *palette = pal;
  else std::free(pal);
  return pixels;
}

uint8_t* VQimage_ReadFile(const char* path, uint32_t* width, uint32_t* height, uint32_t* format,
                          uint8_t** palette, VQImageInfo* info) {
  if (palette) *palette = nullptr;
  if (!path) return Fail(VQERR_INVALID_ARGUMENT);
  const uint32_t type = VQimage_TypeFromName(path);
  if (type == VQIMAGE_UNKNOWN) return Fail(VQERR_FILE_TYPE);
  if (type == VQIMAGE_PCX || type == VQIMAGE_PNG) return VQimage_ReadUnsupported(path, width, height);
  std::vector<uint8_t> bytes;
  if (!vqfileio::ReadWholeFile(path, bytes, VQERR_OPEN_INPUT)) {
    if (type == VQIMAGE_JPEG) VQimage_Log("Jpeg cannot open '%s'\n", path);
    return Fail(type == VQIMAGE_BMP ? VQERR_OPEN_INPUT : VQERR_FILE_ACCESS);
  }
  return VQimage_ReadMemory(bytes.data(), bytes.size(), type, width, height, format, palette, info);
}

namespace {
bool Encode(Writer& out, const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
            uint32_t format, const uint8_t* palette, bool bottomUp, uint32_t fileType,
            uint32_t packing) {
  if (!pixels || width == 0 || height == 0 || VQPixelFormat_BytesPerPixel(format) == 0 ||
      rowLength < width || (format == VQPF_PAL8 && !palette) ||
      ImageBytes(width, height, 4) == 0)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  switch (fileType) {
    case VQIMAGE_TGA: return EncodeTga(out, pixels, width, height, rowLength, format, palette, bottomUp);
    case VQIMAGE_JPEG: return EncodeJpeg(out, pixels, width, height, rowLength, format, palette, bottomUp);
    case VQIMAGE_VQP: return EncodeVqp(out, pixels, width, height, rowLength, format, palette, packing);
    default: return VQerror_Fail(VQERR_FILE_TYPE);
  }
}
}  // namespace

bool VQimage_WriteMemory(const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                         uint32_t format, const uint8_t* palette, bool bottomUp,
                         uint32_t fileType, uint32_t packing, uint8_t** out, size_t* outSize) {
  *out = nullptr;
  *outSize = 0;
  Writer w;
  if (!Encode(w, pixels, width, height, rowLength, format, palette, bottomUp, fileType, packing))
    return false;
  *out = static_cast<uint8_t*>(std::malloc(w.bytes.size()));
  if (!*out) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  std::memcpy(*out, w.bytes.data(), w.bytes.size());
  *outSize = w.bytes.size();
  return true;
}

bool VQimage_WriteFile(const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                       uint32_t format, const uint8_t* palette, bool bottomUp, const char* path,
                       uint32_t fileType, uint32_t packing) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  Writer w;
  if (!Encode(w, pixels, width, height, rowLength, format, palette, bottomUp, fileType, packing))
    return false;
  if (!vqfileio::WriteWholeFile(path, w.bytes.data(), w.bytes.size())) {
    if (fileType == VQIMAGE_JPEG) VQimage_Log("Jpeg : Can't open %s\n", path);
    return VQerror_Fail(fileType == VQIMAGE_VQP ? VQERR_CREATE_OUTPUT : VQERR_FILE_ACCESS);
  }
  return true;
}

bool VQpixels_PackRuns(uint8_t* dst, size_t* dstSize, const uint8_t* src, size_t srcSize,
                       uint32_t pixelSize) {
  if (pixelSize < 1 || pixelSize > 4 || srcSize % pixelSize != 0 || !dstSize)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const size_t n = srcSize / pixelSize;
  const size_t cap = *dstSize;
  size_t out = 0;
  auto same = [&](size_t a, size_t b) {
    return std::memcmp(src + a * pixelSize, src + b * pixelSize, pixelSize) == 0;
  };
  size_t i = 0;
  while (i < n) {
    if (i + 1 < n && same(i, i + 1)) {
      size_t run = 2;
      while (run < 128 && i + run < n && same(i, i + run)) ++run;
      if (out + 1 + pixelSize > cap) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
      dst[out++] = uint8_t(0x80 | (run - 1));
      std::memcpy(dst + out, src + i * pixelSize, pixelSize);
      out += pixelSize;
      i += run;
    } else {
      size_t count = 1;
      while (count < 128 && i + count < n && !(i + count + 1 < n && same(i + count, i + count + 1)))
        ++count;
      if (out + 1 + count * pixelSize > cap) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
      dst[out++] = uint8_t(count - 1);
      std::memcpy(dst + out, src + i * pixelSize, count * pixelSize);
      out += count * pixelSize;
      i += count;
    }
  }
  *dstSize = out;
  return true;
}

bool VQpixels_UnpackRuns(uint8_t* dst, size_t* dstSize, const uint8_t* src, size_t srcSize,
                         uint32_t pixelSize) {
  if (pixelSize < 1 || pixelSize > 4 || !dstSize) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const size_t cap = *dstSize;
  size_t in = 0, out = 0;
  while (in < srcSize) {
    const uint8_t c = src[in++];
    const size_t count = (c & 0x7Fu) + 1u;
    if (count * pixelSize > cap - out) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
    if (c & 0x80) {
      if (pixelSize > srcSize - in) return VQerror_Fail(VQERR_FILE_TYPE);
      for (size_t k = 0; k < count; ++k) std::memcpy(dst + out + k * pixelSize, src + in, pixelSize);
      in += pixelSize;
    } else {
      if (count * pixelSize > srcSize - in) return VQerror_Fail(VQERR_FILE_TYPE);
      std::memcpy(dst + out, src + in, count * pixelSize);
      in += count * pixelSize;
    }
    out += count * pixelSize;
  }
  *dstSize = out;
  return true;
}

namespace {
uint8_t* ReadTyped(const char* path, uint32_t type, uint32_t* width, uint32_t* height, uint32_t* format,
                   uint8_t** palette) {
  if (palette) *palette = nullptr;
  if (!path) return Fail(VQERR_INVALID_ARGUMENT);
  std::vector<uint8_t> bytes;
  if (!vqfileio::ReadWholeFile(path, bytes, VQERR_OPEN_INPUT)) {
    if (type == VQIMAGE_JPEG) VQimage_Log("Jpeg cannot open '%s'\n", path);
    return Fail(type == VQIMAGE_BMP ? VQERR_OPEN_INPUT : VQERR_FILE_ACCESS);
  }
  return VQimage_ReadMemory(bytes.data(), bytes.size(), type, width, height, format, palette);
}
}  // namespace

uint8_t* VQimage_ReadTga(const char* path, uint32_t* width, uint32_t* height, uint32_t* format,
                         uint8_t** palette) {
  return ReadTyped(path, VQIMAGE_TGA, width, height, format, palette);
}

bool VQimage_WriteTga(const char* path, const void* pixels, uint32_t width, uint32_t height,
                      uint32_t rowLength, uint32_t format, const uint8_t* palette, bool bottomUp) {
  return VQimage_WriteFile(pixels, width, height, rowLength, format, palette, bottomUp, path, VQIMAGE_TGA, 0);
}

uint8_t* VQimage_ReadBmp(const char* path, uint32_t* width, uint32_t* height) {
  return ReadTyped(path, VQIMAGE_BMP, width, height, nullptr, nullptr);
}

uint8_t* VQimage_ReadUnsupported(const char*, uint32_t*, uint32_t*) {
  return Fail(VQERR_UNSUPPORTED_OPERATION);
}

uint8_t* VQimage_ReadJpeg(const char* path, uint32_t* width, uint32_t* height) {
  return ReadTyped(path, VQIMAGE_JPEG, width, height, nullptr, nullptr);
}

bool VQimage_WriteJpeg(const char* path, const uint8_t* rgb, uint32_t width, uint32_t height, int quality) {
  const int saved = g_VQjpegQuality;
  g_VQjpegQuality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
  const bool ok = VQimage_WriteFile(rgb, width, height, width, VQPF_RGB888, nullptr, false, path, VQIMAGE_JPEG, 0);
  g_VQjpegQuality = saved;
  return ok;
}
