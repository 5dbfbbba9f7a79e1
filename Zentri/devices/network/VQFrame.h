// Message framing on a TCP byte stream. Every payload travels behind a 4-byte header:
//   byte 0  marker, VQFRAME_MARKER
//   byte 1  0 (a complete frame)
//   bytes 2-3  payload length, unsigned 16-bit little-endian
// and frames follow each other back to back. A frame, header included, fits in 65536 bytes,
// so a payload holds at most VQFRAME_MAX_PAYLOAD bytes.
//
// VQFrameBuffer collects the bytes read from one stream and hands out whole payloads. A
// header that breaks these rules can never be followed by a trustworthy frame: the buffer
// reports it as malformed and its owner drops the connection.
#pragma once

#include <cstdint>

constexpr uint8_t VQFRAME_MARKER = 4;
constexpr uint32_t VQFRAME_HEADER_SIZE = 4;
constexpr uint32_t VQFRAME_MAX_SIZE = 65536;
constexpr uint32_t VQFRAME_MAX_PAYLOAD = VQFRAME_MAX_SIZE - VQFRAME_HEADER_SIZE;  // 65532

enum class VQFrameState { Incomplete, Complete, Malformed };

// Builds a frame of the payload into a new buffer (delete[] by the caller) and its size.
// Null with error 28 for an empty payload, 48 for one above VQFRAME_MAX_PAYLOAD, 16 when out of
// memory.
uint8_t* VQframe_Make(const void* payload, int32_t length, uint32_t* frameSize);

class VQFrameBuffer {
 public:
  // Bytes the buffer holds. A buffer that must take a whole read of VQFRAME_MAX_SIZE bytes
  // behind an incomplete frame needs twice that.
  explicit VQFrameBuffer(uint32_t capacity);
  ~VQFrameBuffer();
  VQFrameBuffer(const VQFrameBuffer&) = delete;
  VQFrameBuffer& operator=(const VQFrameBuffer&) = delete;

  bool IsValid() const { return m_bytes != nullptr; }
  VQFrameState State() const;
  uint32_t FreeSpace() const { return m_capacity - m_fill; }
  uint32_t Fill() const { return m_fill; }
  // Where the next read may write, at most FreeSpace() bytes; Commit(n) adds them.
  uint8_t* Tail() { return m_bytes + m_fill; }
  void Commit(uint32_t count);
  // Appends bytes read elsewhere; more than FreeSpace(): error 48, false, nothing appended.
  bool Append(const void* data, uint32_t length);
  // Copies the first complete frame's payload out and removes the frame: the payload length.
  // Payload longer than capacity: error 48, -1, the frame stays. No complete frame: 0.
  int32_t Take(void* out, int32_t capacity);
  void Clear() { m_fill = 0; }

 private:
  uint8_t* m_bytes;
  uint32_t m_capacity;
  uint32_t m_fill;
};
