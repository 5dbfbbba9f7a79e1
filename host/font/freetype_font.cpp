// The font layer over FreeType 2. This is the only file that includes the FreeType headers.
#include "host/font/font.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace host {

struct font_face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  font_line_metrics metrics;
};

namespace {

constexpr uint32_t kMaxPixelSize = 1024;

__attribute__((format(printf, 3, 4))) void set_message(char* message, size_t size, const char* format, ...) {
  if (!message || !size) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, size, format, args);
  va_end(args);
}

// 26.6 fixed point to whole pixels, rounding up for extents so that no ink is cut off.
int ceil_pixels(FT_Pos v) { return int((v + 63) >> 6); }
int round_pixels(FT_Pos v) { return int((v + 32) >> 6); }

}  // namespace

font_face* font_open(const char* path, uint32_t pixel_size, char* message, size_t message_size) {
  if (!path || pixel_size == 0 || pixel_size > kMaxPixelSize) {
    set_message(message, message_size, "bad font request '%s' at %d pixels", path ? path : "(null)",
                int(pixel_size));
    return nullptr;
  }
  auto* f = new (std::nothrow) font_face;
  if (!f) return nullptr;
  FT_Error e = FT_Init_FreeType(&f->library);
  if (e == 0) e = FT_New_Face(f->library, path, 0, &f->face);
  if (e == 0 && !FT_IS_SCALABLE(f->face)) e = FT_Err_Invalid_File_Format;
  if (e == 0) e = FT_Set_Pixel_Sizes(f->face, 0, pixel_size);
  if (e != 0) {
    set_message(message, message_size, "cannot open font '%s' (FreeType error %d)", path, e);
    font_close(f);
    return nullptr;
  }
  const FT_Size_Metrics& m = f->face->size->metrics;
  f->metrics.ascender = ceil_pixels(m.ascender);
  f->metrics.descender = ceil_pixels(-m.descender);
  if (f->metrics.descender < 0) f->metrics.descender = 0;
  f->metrics.height = f->metrics.ascender + f->metrics.descender;
  return f;
}

void font_close(font_face* face) {
  if (!face) return;
  if (face->face) FT_Done_Face(face->face);
  if (face->library) FT_Done_FreeType(face->library);
  delete face;
}

font_line_metrics font_metrics(const font_face* face) { return face ? face->metrics : font_line_metrics{}; }

bool font_render(font_face* face, uint32_t code_point, font_glyph* out, char* message,
                 size_t message_size) {
  if (!face || !out) return false;
  const FT_UInt index = FT_Get_Char_Index(face->face, code_point);
  FT_Error e = FT_Load_Glyph(face->face, index, FT_LOAD_DEFAULT);
  if (e == 0) e = FT_Render_Glyph(face->face->glyph, FT_RENDER_MODE_NORMAL);
  if (e != 0) {
    set_message(message, message_size, "cannot render character U+%04X (FreeType error %d)", unsigned(code_point), e);
    return false;
  }
  const FT_GlyphSlot slot = face->face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.rows > 0 && bm.width > 0) {
    set_message(message, message_size, "character U+%04X did not render to grey levels", unsigned(code_point));
    return false;
  }
  out->left = slot->bitmap_left;
  out->top = slot->bitmap_top;
  out->advance = round_pixels(slot->advance.x);
  out->width = bm.width;
  out->rows = bm.rows;
  out->missing = index == 0;
  out->coverage.assign(size_t(bm.width) * bm.rows, 0);
  for (uint32_t y = 0; y < bm.rows; ++y) {
    const unsigned char* row = bm.buffer + ptrdiff_t(y) * bm.pitch;
    std::memcpy(out->coverage.data() + size_t(y) * bm.width, row, bm.width);
  }
  return true;
}

}  // namespace host
