// Little-endian fields in byte buffers: the one reader and writer of the engine's file formats.
// Files are read and written field by field, never by copying a struct, so the layout is the
// same on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The u32 at p (4 readable bytes).
inline uint32_t VQbytes_GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Appends fields to a byte vector it does not own.
class VQByteWriter {
 public:
  explicit VQByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

  void U8(uint32_t v) { m_out.push_back(uint8_t(v)); }
  void U16(uint32_t v) {
    m_out.push_back(uint8_t(v));
    m_out.push_back(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) m_out.push_back(uint8_t(v >> (8 * i)));
  }
  void F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    U32(u);
  }
  void F64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i) m_out.push_back(uint8_t(u >> (8 * i)));
  }
  void Bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    m_out.insert(m_out.end(), b, b + n);
  }
  void Zeros(size_t n) { m_out.insert(m_out.end(), n, 0); }
  size_t Size() const { return m_out.size(); }
  std::vector<uint8_t>& Out() { return m_out; }

 private:
  std::vector<uint8_t>& m_out;
};

// Reads fields from a byte range it does not own. A read past the end reads zeros and makes
// the reader fail for good (Ok() false), so a record can be read whole and checked once.
class VQByteReader {
 public:
  VQByteReader(const uint8_t* data, size_t size) : m_data(data), m_end(data ? size : 0) {}

  bool Ok() const { return m_ok; }
  // Makes the reader fail for good (a field read whole turned out to be invalid).
  void Fail() { m_ok = false; }
  size_t Left() const { return m_end - m_pos; }
  size_t Pos() const { return m_pos; }
  const uint8_t* Here() const { return m_data + m_pos; }
  // True when n more bytes can be read; the reader stays as it is either way.
  bool Has(size_t n) const { return m_ok && n <= m_end - m_pos; }
  // True when n more bytes can be read; otherwise the reader fails.
  bool Need(size_t n) {
    if (!m_ok || n > m_end - m_pos) m_ok = false;
    return m_ok;
  }
  uint8_t U8() { return Need(1) ? m_data[m_pos++] : 0; }
  uint16_t U16() {
    if (!Need(2)) return 0;
    const uint16_t v = uint16_t(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return v;
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    const uint32_t v = VQbytes_GetU32(m_data + m_pos);
    m_pos += 4;
    return v;
  }
  int32_t I32() { return int32_t(U32()); }
  float F32() {
    const uint32_t u = U32();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
  bool Bytes(void* out, size_t n) {
    if (!Need(n)) return false;
    if (n) std::memcpy(out, m_data + m_pos, n);
    m_pos += n;
    return true;
  }
  bool Skip(size_t n) {
    if (!Need(n)) return false;
    m_pos += n;
    return true;
  }

 protected:
  const uint8_t* m_data;
  size_t m_pos = 0;
  size_t m_end;
  bool m_ok = true;
};
