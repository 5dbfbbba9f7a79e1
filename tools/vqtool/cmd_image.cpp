// vqtool image-convert IN OUT [--raw|--packed]: converts an image between TGA, BMP (read
// only), JPEG and the engine's ".vqp" (raw by default, run-length with --packed); the types
// come from the extensions. Rows keep the picture upright: TGA, BMP and ".vqp" are handled
// bottom row first, JPEG top row first.
// vqtool image-info FILE: prints the size, pixel format and file details.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"
#include "tools/vqtool/vqtool.h"

namespace {

const char* TypeName(uint32_t type) {
  switch (type) {
    case VQIMAGE_TGA: return "TGA";
    case VQIMAGE_JPEG: return "JPEG";
    case VQIMAGE_VQP: return "VQP";
    case VQIMAGE_BMP: return "BMP";
    case VQIMAGE_PNG: return "PNG";
    case VQIMAGE_PCX: return "PCX";
    default: return "unknown";
  }
}

int ImageConvert(const std::vector<std::string>& args) {
  uint32_t packing = VQIMAGE_RAW;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--packed") packing = VQIMAGE_RUNLENGTH;
    else if (a == "--raw") packing = VQIMAGE_RAW;
    else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "vqtool image-convert: %s is not an option (--raw or --packed)\n",
                   a.c_str());
      return 2;
    } else
      files.push_back(a);
  }
  if (files.size() != 2) {
    std::fprintf(stderr, "usage: vqtool image-convert IN OUT [--raw|--packed]\n");
    return 2;
  }
  const uint32_t inType = VQimage_TypeFromName(files[0].c_str());
  const uint32_t outType = VQimage_TypeFromName(files[1].c_str());
  if (outType != VQIMAGE_TGA && outType != VQIMAGE_JPEG && outType != VQIMAGE_VQP) {
    std::fprintf(stderr, "vqtool image-convert: cannot write '%s' (use .tga, .jpg or .vqp)\n", files[1].c_str());
    return 2;
  }
  uint32_t w = 0, h = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadFile(files[0].c_str(), &w, &h, &format, &palette);
  if (!pixels) {
    std::fprintf(stderr, "vqtool image-convert: cannot read '%s' (%s)\n", files[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  bool bottomUp = inType != VQIMAGE_JPEG;
  // ".vqp" files are kept bottom row first, like the engine's textures.
  if (outType == VQIMAGE_VQP && !bottomUp) {
    VQpixels_FlipVertical(pixels, w, h, w, format);
    bottomUp = true;
  }
  const bool ok = VQimage_WriteFile(pixels, w, h, w, format, palette, bottomUp, files[1].c_str(), outType, packing);
  std::free(pixels);
  std::free(palette);
  if (!ok) {
    std::fprintf(stderr, "vqtool image-convert: cannot write '%s' (%s)\n", files[1].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  return 0;
}

int ImageInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool image-info FILE\n");
    return 2;
  }
  uint32_t w = 0, h = 0, format = 0;
  uint8_t* palette = nullptr;
  VQImageInfo info;
  uint8_t* pixels = VQimage_ReadFile(args[0].c_str(), &w, &h, &format, &palette, &info);
  if (!pixels) {
    std::fprintf(stderr, "vqtool image-info: cannot read '%s' (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::free(pixels);
  std::free(palette);
  std::printf("%s %ux%u format %u (%s, %u bits)\n", TypeName(info.fileType), w, h, format,
              VQPixelFormat_Name(format), VQPixelFormat_BitsPerPixel(format));
  if (info.fileType == VQIMAGE_VQP)
    std::printf("packing %s, data %u bytes\n", info.packing ? "run-length" : "raw", info.dataSize);
  if (info.fileType == VQIMAGE_TGA) {
    std::printf("image type %u, %s origin", info.tgaImageType, (info.tgaDescriptor & 0x20) ? "top-left" : "bottom-left");
    if (info.tgaId[0]) std::printf(", id \"%s\"", info.tgaId);
    std::printf("\n");
  }
  if (info.fileType == VQIMAGE_JPEG) std::printf("components %u\n", info.jpegComponents);
  return 0;
}

VQToolCommand g_convert("image-convert", "image-convert IN OUT [--raw|--packed]",
                        "convert an image between TGA, BMP (read), JPEG and .vqp", ImageConvert,
                        "types from the extensions: .tga, .bmp (read only), .jpg/.jpeg, .vqp\n"
                        ".vqp is written raw by default, run-length packed with --packed");
VQToolCommand g_info("image-info", "image-info FILE", "print an image's size and pixel format", ImageInfo,
                     "FILE: .tga, .bmp, .jpg/.jpeg or .vqp");

}  // namespace
