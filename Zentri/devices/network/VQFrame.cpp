#include "Zentri/devices/network/VQFrame.h"

#include <cstring>
#include <new>

#include "Zentri/util/VQerror.h"

namespace {

uint32_t PayloadLength(const uint8_t* header) { return header[2] | (static_cast<uint32_t>(header[3]) << 8); }

}  // namespace

uint8_t* VQframe_Make(const void* payload, int32_t length, uint32_t* frameSize) {
  if (length < 1 || payload == nullptr) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (static_cast<uint32_t>(length) > VQFRAME_MAX_PAYLOAD) {
    g_VQerror = VQERR_BUFFER_TOO_SMALL;
    return nullptr;
  }
  uint32_t size = static_cast<uint32_t>(length) + VQFRAME_HEADER_SIZE;
  uint8_t* frame = new (std::nothrow) uint8_t[size];
  if (frame == nullptr) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  frame[0] = VQFRAME_MARKER;
  frame[1] = 0;
  frame[2] = static_cast<uint8_t>(length & 0xff);
  frame[3] = static_cast<uint8_t>((length >> 8) & 0xff);
  std::memcpy(frame + VQFRAME_HEADER_SIZE, payload, static_cast<size_t>(length));
  if (frameSize) *frameSize = size;
  return frame;
}

VQFrameBuffer::VQFrameBuffer(uint32_t capacity)
    : m_bytes(new (std::nothrow) uint8_t[capacity]), m_capacity(capacity), m_fill(0) {
  if (m_bytes == nullptr) m_capacity = 0;
}

VQFrameBuffer::~VQFrameBuffer() { delete[] m_bytes; }

VQFrameState VQFrameBuffer::State() const {
  // Each header byte is judged as soon as it arrives.
  if (m_fill >= 1 && m_bytes[0] != VQFRAME_MARKER) return VQFrameState::Malformed;
  if (m_fill >= 2 && m_bytes[1] != 0) return VQFrameState::Malformed;
  if (m_fill < VQFRAME_HEADER_SIZE) return VQFrameState::Incomplete;
  uint32_t length = PayloadLength(m_bytes);
  if (length > VQFRAME_MAX_PAYLOAD) return VQFrameState::Malformed;
  return m_fill >= length + VQFRAME_HEADER_SIZE ? VQFrameState::Complete : VQFrameState::Incomplete;
}

void VQFrameBuffer::Commit(uint32_t count) { m_fill += count <= FreeSpace() ? count : FreeSpace(); }

bool VQFrameBuffer::Append(const void* data, uint32_t length) {
  if (length > FreeSpace()) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
  if (length > 0) std::memcpy(m_bytes + m_fill, data, length);
  m_fill += length;
  return true;
}

int32_t VQFrameBuffer::Take(void* out, int32_t capacity) {
  if (State() != VQFrameState::Complete) return 0;
  uint32_t length = PayloadLength(m_bytes);
  if (capacity < 0 || length > static_cast<uint32_t>(capacity) || (out == nullptr && length > 0)) {
    g_VQerror = VQERR_BUFFER_TOO_SMALL;
    return -1;
  }
  if (length > 0) std::memcpy(out, m_bytes + VQFRAME_HEADER_SIZE, length);
  uint32_t used = length + VQFRAME_HEADER_SIZE;
  std::memmove(m_bytes, m_bytes + used, m_fill - used);
  m_fill -= used;
  return static_cast<int32_t>(length);
}
