// Little-endian field access for the game's fixed-size records (profiles, content records):
// every field is read and written by offset, never by copying a struct. The callers check
// that offset + 4 (or the field size) lies inside the record before they ask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Zentri/util/VQbytes.h"

inline uint32_t Record_GetU32(const uint8_t* record, size_t offset) { return VQbytes_GetU32(record + offset); }
inline int32_t Record_GetI32(const uint8_t* record, size_t offset) { return int32_t(Record_GetU32(record, offset)); }
inline float Record_GetF32(const uint8_t* record, size_t offset) {
  const uint32_t u = Record_GetU32(record, offset);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline void Record_PutU32(uint8_t* record, size_t offset, uint32_t value) {
  uint8_t* p = record + offset;
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
  p[2] = uint8_t(value >> 16);
  p[3] = uint8_t(value >> 24);
}
inline void Record_PutI32(uint8_t* record, size_t offset, int32_t value) { Record_PutU32(record, offset, uint32_t(value)); }
inline void Record_PutF32(uint8_t* record, size_t offset, float value) {
  uint32_t u;
  std::memcpy(&u, &value, 4);
  Record_PutU32(record, offset, u);
}

// Copies the name stored in a fixed field of fieldSize bytes at offset into out (outSize bytes):
// the copy stops at the field's NUL or at its end and at outSize - 1 characters, and out is
// always terminated, so a name without terminator cannot run past its field.
inline void Record_GetName(char* out, size_t outSize, const uint8_t* record, size_t offset, size_t fieldSize) {
  if (outSize == 0) return;
  size_t n = 0;
  while (n < fieldSize && n + 1 < outSize && record[offset + n] != 0) {
    out[n] = char(record[offset + n]);
    ++n;
  }
  out[n] = 0;
}
// Stores name in a fixed field: cut to fieldSize - 1 characters, the rest of the field zero.
inline void Record_PutName(uint8_t* record, size_t offset, size_t fieldSize, const char* name) {
  std::memset(record + offset, 0, fieldSize);
  const size_t n = std::strlen(name);
  std::memcpy(record + offset, name, n < fieldSize ? n : fieldSize - 1);
}
