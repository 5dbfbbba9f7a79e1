#include "host/image/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace host {
namespace {

// The library's standard error manager with its exit routine replaced by a jump back to the
// caller, and warnings about data ending early promoted to errors (a truncated file is a
// failed load, not a grey-padded picture).
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf back;
  char text[JMSG_LENGTH_MAX];
};

void on_error_exit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->text);
  std::longjmp(err->back, 1);
}

void on_message(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    on_error_exit(cinfo);
  }
}

void set_message(char* message, size_t size, const char* text) {
  if (message && size) std::snprintf(message, size, "%s", text);
}

void init_errors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = on_error_exit;
  err.pub.emit_message = on_message;
  err.text[0] = 0;
}

}  // namespace

bool jpeg_probe(const uint8_t* data, size_t size, uint32_t* width, uint32_t* height,
                uint32_t* components, char* message, size_t message_size) {
  if (!data || size == 0) {
    set_message(message, message_size, "empty JPEG data");
    return false;
  }
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  init_errors(err);
  cinfo.err = &err.pub;
  if (setjmp(err.back)) {
    set_message(message, message_size, err.text);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_calc_output_dimensions(&cinfo);
  *width = cinfo.output_width;
  *height = cinfo.output_height;
  *components = static_cast<uint32_t>(cinfo.num_components);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool jpeg_decode(const uint8_t* data, size_t size, uint64_t max_pixels, uint8_t** pixels,
                 uint32_t* width, uint32_t* height, char* message, size_t message_size) {
  *pixels = nullptr;
  if (!data || size == 0) {
    set_message(message, message_size, "empty JPEG data");
    return false;
  }
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  init_errors(err);
  cinfo.err = &err.pub;
  // Everything that must survive the jump lives in volatile storage or outside this frame.
  uint8_t* volatile buffer = nullptr;
  if (setjmp(err.back)) {
    set_message(message, message_size, err.text);
    jpeg_destroy_decompress(&cinfo);
    std::free(buffer);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_calc_output_dimensions(&cinfo);
  const uint64_t count = uint64_t(cinfo.output_width) * cinfo.output_height;
  if (count == 0 || count > max_pixels ||
      (cinfo.output_components != 1 && cinfo.output_components != 3)) {
    set_message(message, message_size,
                count > max_pixels ? "JPEG image too large" : "JPEG layout not supported");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  const uint32_t w = cinfo.output_width, h = cinfo.output_height;
  const int comps = cinfo.output_components;
  buffer = static_cast<uint8_t*>(std::malloc(size_t(count) * 3));
  if (!buffer) {
    set_message(message, message_size, "Jpeg : Out of memory");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              w * static_cast<JDIMENSION>(comps), 1);
  while (cinfo.output_scanline < h) {
    const JDIMENSION y = cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
    uint8_t* out = buffer + size_t(y) * w * 3;
    if (comps == 3) {
      std::memcpy(out, row[0], size_t(w) * 3);
    } else {
      for (uint32_t x = 0; x < w; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = row[0][x];
    }
  }
  if (cinfo.output_scanline < h) {
    set_message(message, message_size, "JPEG data ends early");
    jpeg_destroy_decompress(&cinfo);
    std::free(buffer);
    return false;
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  *pixels = buffer;
  *width = w;
  *height = h;
  return true;
}

bool jpeg_encode(const uint8_t* rgb, uint32_t width, uint32_t height, int quality,
                 uint8_t** out, size_t* out_size, char* message, size_t message_size) {
  *out = nullptr;
  *out_size = 0;
  if (!rgb || width == 0 || height == 0 || width > JPEG_MAX_DIMENSION ||
      height > JPEG_MAX_DIMENSION) {
    set_message(message, message_size, "JPEG size not supported");
    return false;
  }
  jpeg_compress_struct cinfo;
  ErrorManager err;
  init_errors(err);
  cinfo.err = &err.pub;
  unsigned char* volatile mem = nullptr;
  unsigned long mem_size = 0;
  if (setjmp(err.back)) {
    set_message(message, message_size, err.text);
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return false;
  }
  jpeg_create_compress(&cinfo);
  unsigned char* dest = nullptr;
  jpeg_mem_dest(&cinfo, &dest, &mem_size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(cinfo.next_scanline) * width * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  mem = dest;
  jpeg_destroy_compress(&cinfo);
  *out = dest;
  *out_size = mem_size;
  return true;
}

}  // namespace host
