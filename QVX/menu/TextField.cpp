#include "QVX/menu/TextField.h"

#include <cstring>

namespace {

bool IsGlyph(char c) { return c == TEXTFIELD_CURSOR || c == TEXTFIELD_CURSOR_BLINK; }

char* FindGlyph(char* text) {
  for (char* c = text; *c; ++c)
    if (IsGlyph(*c)) return c;
  return nullptr;
}

// Removes the glyph (either face) from the buffer; its index, or -1 when there was none.
int32_t TakeGlyph(char* text) {
  char* at = FindGlyph(text);
  if (!at) return -1;
  std::memmove(at, at + 1, std::strlen(at + 1) + 1);
  return int32_t(at - text);
}

void PutGlyph(char* text, size_t size, int32_t at) {
  const size_t n = std::strlen(text);
  if (n + 1 >= size) return;  // no room: the cursor is not shown
  std::memmove(text + at + 1, text + at, n - size_t(at) + 1);
  text[at] = TEXTFIELD_CURSOR;
}

}  // namespace

void TextField::Begin(char* buffer, size_t bufferSize, size_t maxLength) {
  text = buffer;
  size = bufferSize;
  limit = maxLength < bufferSize ? maxLength : bufferSize - 1;
  if (!text || size == 0) return;
  TakeGlyph(text);
  cursor = 0;
  PutGlyph(text, size, cursor);
  editing = 1;
}

void TextField::End() {
  if (text && size) TakeGlyph(text);
  editing = 0;
}

size_t TextField::Length() const {
  if (!text) return 0;
  const size_t n = std::strlen(text);
  return FindGlyph(text) ? n - 1 : n;
}

void TextField::Move(int32_t step) {
  if (!editing || !text) return;
  TakeGlyph(text);
  cursor += step;
  if (cursor < 0) cursor = 0;
  if (size_t(cursor) > std::strlen(text)) cursor = int32_t(std::strlen(text));
  PutGlyph(text, size, cursor);
}

bool TextField::Insert(char c) {
  if (!editing || !text || c < 32 || IsGlyph(c) || Length() >= limit) return false;
  TakeGlyph(text);
  const size_t n = std::strlen(text);
  std::memmove(text + cursor + 1, text + cursor, n - size_t(cursor) + 1);
  text[cursor++] = c;
  PutGlyph(text, size, cursor);
  return true;
}

bool TextField::Backspace() {
  if (!editing || !text || cursor <= 0) return false;
  TakeGlyph(text);
  std::memmove(text + cursor - 1, text + cursor, std::strlen(text + cursor) + 1);
  --cursor;
  PutGlyph(text, size, cursor);
  return true;
}

bool TextField::Delete() {
  if (!editing || !text) return false;
  TakeGlyph(text);
  const size_t n = std::strlen(text);
  const bool removed = size_t(cursor) < n;
  if (removed) std::memmove(text + cursor, text + cursor + 1, n - size_t(cursor));
  PutGlyph(text, size, cursor);
  return removed;
}

void TextField::Blink(bool on) {
  if (!editing || !text) return;
  if (char* at = FindGlyph(text)) *at = on ? TEXTFIELD_CURSOR_BLINK : TEXTFIELD_CURSOR;
}
