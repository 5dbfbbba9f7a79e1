// A text typed into a menu item (a new profile name, an address, a skin name): the value text
// with the cursor glyph (character 127) at the cursor while the item has the focus. The cursor
// never moves before the first or past the last character; typing inserts at the cursor.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char TEXTFIELD_CURSOR = 127;
// The glyph's other face: the caret blinks between the two while the item has the focus.
constexpr char TEXTFIELD_CURSOR_BLINK = char(128);

struct TextField {
  char* text = nullptr;  // the item's value buffer
  size_t size = 0;       // its size in bytes
  size_t limit = 0;      // at most this many typed characters
  int32_t cursor = 0;
  uint8_t editing = 0;

  // Focus gained: the cursor goes before the first character.
  void Begin(char* buffer, size_t bufferSize, size_t maxLength);
  // Focus lost: the typed text without the glyph.
  void End();
  // Left (-1) or right (+1).
  void Move(int32_t step);
  // False when the text is full or the character is not printable.
  bool Insert(char c);
  // Removes the character before the cursor; false at the start.
  bool Backspace();
  // Removes the character at the cursor (the Delete key); false at the end.
  bool Delete();
  // Shows the glyph's blinking face (on) or its plain one.
  void Blink(bool on);
  // The typed length (without the glyph).
  size_t Length() const;
};
