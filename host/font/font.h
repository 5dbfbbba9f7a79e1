// TrueType glyph rendering for the data tools: opens a scalable font at a pixel size and
// renders single characters into 8-bit coverage bitmaps. The engine itself draws text from
// bitmap font sheets; only the sheet maker (vqtool font-sheet) uses this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host {

struct font_face;

// Line metrics of an opened face, in whole pixels: ascender above the baseline (positive),
// descender below it (positive downwards), and their sum, the height of one text line.
struct font_line_metrics {
  int ascender = 0;
  int descender = 0;
  int height = 0;
};

// One rendered character. coverage holds width * rows bytes (0 = empty, 255 = full ink), top
// row first. left is the offset of the bitmap's left column from the pen position, top the
// offset of its top row above the baseline, advance the pen step to the next character.
struct font_glyph {
  int left = 0;
  int top = 0;
  int advance = 0;
  uint32_t width = 0;
  uint32_t rows = 0;
  bool missing = false;  // the face has no glyph for the character: its missing-glyph box
  std::vector<uint8_t> coverage;
};

// Opens the font file at the given pixel size (1..1024). Null on failure with the reason in
// message (message may be null). The face is released with font_close.
font_face* font_open(const char* path, uint32_t pixel_size, char* message, size_t message_size);
void font_close(font_face* face);

font_line_metrics font_metrics(const font_face* face);

// Renders the character with the given Unicode code point, anti-aliased. False with a message
// when the library cannot load or render it.
bool font_render(font_face* face, uint32_t code_point, font_glyph* out, char* message,
                 size_t message_size);

}  // namespace host
