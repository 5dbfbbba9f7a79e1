// Image files: the engine's own scrambled ".vqp" (raw or run-length), TGA (read and write),
// BMP (read, uncompressed 24-bit), JPEG (read and write). VQimage_ReadFile/VQimage_WriteFile
// pick the codec from the file name's extension; the *Memory forms work on bytes in memory
// (the tools and the fuzz targets use them).
//
// Every reader checks its header against the data: sizes that overflow or exceed the data,
// run-length data that decodes past the image, colour maps beyond 256 entries and truncated
// files fail with an error code in g_VQerror and a null result; nothing is left allocated.
//
// Row order of what the readers deliver: TGA and BMP bottom row first (whatever the file's
// origin), JPEG top row first, ".vqp" as stored (the engine writes textures bottom-up).
#pragma once

#include <cstddef>
#include <cstdint>

// File types by extension (the engine's file-type numbers).
enum VQImageFileType : uint32_t {
  VQIMAGE_UNKNOWN = 0,
  VQIMAGE_TGA = 1,
  VQIMAGE_PCX = 2,
  VQIMAGE_JPEG = 3,
  VQIMAGE_VQP = 7,
  VQIMAGE_PNG = 15,
  VQIMAGE_BMP = 16,
};

// Packing of a ".vqp" file.
enum VQImagePacking : uint32_t { VQIMAGE_RAW = 0, VQIMAGE_RUNLENGTH = 1 };

// Largest image the readers accept, in pixels and in bytes of decoded pixels.
constexpr uint64_t VQIMAGE_MAX_PIXELS = 64ull * 1024 * 1024;
constexpr uint64_t VQIMAGE_MAX_BYTES = 256ull * 1024 * 1024;

// Extra facts a reader found in the file header (for tools).
struct VQImageInfo {
  uint32_t fileType = 0;
  uint32_t width = 0, height = 0, format = 0;
  uint32_t packing = 0;        // ".vqp" only
  uint32_t dataSize = 0;       // ".vqp" only
  uint8_t tgaImageType = 0;    // TGA only
  uint8_t tgaDescriptor = 0;   // TGA: origin bit 0x20, interleave bits 0xC0, low bits 0x03
  char tgaId[256] = {};        // TGA identification text
  uint32_t jpegComponents = 0; // JPEG only
};

// JPEG quality used by VQimage_WriteFile (1..100).
extern int g_VQjpegQuality;

// The engine's file type of a name (VQfile_TypeFromExtension: its last three characters,
// lower-cased); the image types are the ones above, anything else is no image.
uint32_t VQimage_TypeFromName(const char* name);

// Reads an image file into a new pixel buffer (row length = width, freed with std::free).
// palette receives a new 1024-byte palette for format 1 (freed with std::free), else null.
// Null on failure with g_VQerror set.
uint8_t* VQimage_ReadFile(const char* path, uint32_t* width, uint32_t* height, uint32_t* format,
                          uint8_t** palette, VQImageInfo* info = nullptr);
uint8_t* VQimage_ReadMemory(const uint8_t* data, size_t size, uint32_t fileType, uint32_t* width,
                            uint32_t* height, uint32_t* format, uint8_t** palette,
                            VQImageInfo* info = nullptr);

// Writes pixels (rowLength pixels a row; bottomUp says row 0 is the picture's bottom row) as
// the given file type: TGA, JPEG or ".vqp" (packing applies to ".vqp" only). The file is
// replaced only once the new one is complete. Null pixels, zero sizes, an unknown format or a
// format-1 image without palette fail with error 28.
bool VQimage_WriteFile(const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                       uint32_t format, const uint8_t* palette, bool bottomUp, const char* path,
                       uint32_t fileType, uint32_t packing);
// The same into memory: *out is a new buffer (std::free) of *outSize bytes.
bool VQimage_WriteMemory(const void* pixels, uint32_t width, uint32_t height, uint32_t rowLength,
                         uint32_t format, const uint8_t* palette, bool bottomUp,
                         uint32_t fileType, uint32_t packing, uint8_t** out, size_t* outSize);

// Codec entry points by path, for callers that know the type (VQimage_ReadFile and
// VQimage_WriteFile choose them by extension).
uint8_t* VQimage_ReadTga(const char* path, uint32_t* width, uint32_t* height, uint32_t* format,
                         uint8_t** palette);
bool VQimage_WriteTga(const char* path, const void* pixels, uint32_t width, uint32_t height,
                      uint32_t rowLength, uint32_t format, const uint8_t* palette, bool bottomUp);
// 24-bit uncompressed BMP only: format 7, bottom row first.
uint8_t* VQimage_ReadBmp(const char* path, uint32_t* width, uint32_t* height);
// The reader of the types that are recognised but not decoded (PCX, PNG): always null with
// error 59, so that such a file never passes for a loaded image.
uint8_t* VQimage_ReadUnsupported(const char* path, uint32_t* width, uint32_t* height);
// Format 8 (red, green, blue), top row first.
uint8_t* VQimage_ReadJpeg(const char* path, uint32_t* width, uint32_t* height);
// rgb: width x height pixels of red, green, blue bytes, top row first; quality 1..100.
bool VQimage_WriteJpeg(const char* path, const uint8_t* rgb, uint32_t width, uint32_t height, int quality);

// Run-length coding of ".vqp" and TGA: packets of a control byte c (count (c & 0x7F) + 1;
// bit 7 set: one pixel repeated count times, else count literal pixels).
// PackRuns: error 28 for a pixel size outside 1..4 or a source size that is not a whole
// number of pixels, 48 when *dstSize is too small; on success *dstSize = packed length.
bool VQpixels_PackRuns(uint8_t* dst, size_t* dstSize, const uint8_t* src, size_t srcSize,
                       uint32_t pixelSize);
// UnpackRuns: decodes the whole source; error 28 for a bad pixel size, 48 when the output
// would pass *dstSize bytes, 25 for a packet cut short; on success *dstSize = bytes written.
bool VQpixels_UnpackRuns(uint8_t* dst, size_t* dstSize, const uint8_t* src, size_t srcSize,
                         uint32_t pixelSize);
