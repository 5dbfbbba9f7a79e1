#include "Zentri/devices/network/VQChannelQueue.h"

#include <cstring>
#include <new>

#include "Zentri/util/VQerror.h"

namespace {

void Release(VQQueueBuffer* buffer) {
  if (--buffer->m_references > 0) return;
  delete[] buffer->m_bytes;
  delete buffer;
}

VQQueueBuffer* Copy(const void* data, uint32_t length) {
  VQQueueBuffer* buffer = new (std::nothrow) VQQueueBuffer{nullptr, length, 0};
  if (buffer == nullptr) return nullptr;
  buffer->m_bytes = new (std::nothrow) uint8_t[length];
  if (buffer->m_bytes == nullptr) {
    delete buffer;
    return nullptr;
  }
  std::memcpy(buffer->m_bytes, data, length);
  return buffer;
}

}  // namespace

VQChannelQueue::VQChannelQueue(uint32_t channels)
    : m_channels(0), m_heads(nullptr), m_tails(nullptr), m_queued(nullptr), m_active(nullptr) {
  m_heads = new (std::nothrow) VQQueueEntry*[channels]();
  m_tails = new (std::nothrow) VQQueueEntry*[channels]();
  m_queued = new (std::nothrow) uint64_t[channels]();
  m_active = new (std::nothrow) uint8_t[channels]();
  if (m_heads && m_tails && m_queued && m_active) m_channels = channels;
}

VQChannelQueue::~VQChannelQueue() {
  for (uint32_t c = 0; c < m_channels; ++c) Clear(c);
  delete[] m_heads;
  delete[] m_tails;
  delete[] m_queued;
  delete[] m_active;
}

bool VQChannelQueue::Append(uint32_t channel, VQQueueBuffer* buffer) {
  VQQueueEntry* entry = new (std::nothrow) VQQueueEntry{buffer, 0, nullptr};
  if (entry == nullptr) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  ++buffer->m_references;
  if (m_tails[channel] != nullptr)
    m_tails[channel]->m_next = entry;
  else
    m_heads[channel] = entry;
  m_tails[channel] = entry;
  m_queued[channel] += buffer->m_length;
  return true;
}

bool VQChannelQueue::Enqueue(uint32_t channel, const void* data, uint32_t length) {
  VQQueueBuffer* shared = nullptr;
  return EnqueueShared(channel, data, length, &shared);
}

bool VQChannelQueue::EnqueueShared(uint32_t channel, const void* data, uint32_t length,
                                   VQQueueBuffer** shared) {
  if (channel >= m_channels || shared == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  VQQueueBuffer* buffer = *shared;
  if (buffer == nullptr) {
    if (data == nullptr || length == 0) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    buffer = Copy(data, length);
    if (buffer == nullptr) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  if (!Append(channel, buffer)) {
    if (buffer->m_references == 0) {
      delete[] buffer->m_bytes;
      delete buffer;
    }
    return false;
  }
  *shared = buffer;
  return true;
}

void VQChannelQueue::Peek(uint32_t channel, const uint8_t** data, uint32_t* length) const {
  const VQQueueEntry* head = channel < m_channels ? m_heads[channel] : nullptr;
  if (data) *data = head ? head->m_buffer->m_bytes + head->m_offset : nullptr;
  if (length) *length = head ? head->m_buffer->m_length - head->m_offset : 0;
}

void VQChannelQueue::Dequeue(uint32_t channel) {
  if (channel >= m_channels || m_heads[channel] == nullptr) return;
  VQQueueEntry* head = m_heads[channel];
  m_queued[channel] -= head->m_buffer->m_length - head->m_offset;
  m_heads[channel] = head->m_next;
  if (m_heads[channel] == nullptr) m_tails[channel] = nullptr;
  Release(head->m_buffer);
  delete head;
}

void VQChannelQueue::Consume(uint32_t channel, uint32_t rest) {
  if (channel >= m_channels || m_heads[channel] == nullptr) return;
  VQQueueEntry* head = m_heads[channel];
  uint32_t remaining = head->m_buffer->m_length - head->m_offset;
  if (rest > remaining) return;
  head->m_offset += remaining - rest;
  m_queued[channel] -= remaining - rest;
}

void VQChannelQueue::Clear(uint32_t channel) {
  while (channel < m_channels && m_heads[channel] != nullptr) Dequeue(channel);
}

bool VQChannelQueue::IsEmpty(uint32_t channel) const {
  return channel >= m_channels || m_heads[channel] == nullptr;
}

uint64_t VQChannelQueue::QueuedBytes(uint32_t channel) const {
  return channel < m_channels ? m_queued[channel] : 0;
}

void VQChannelQueue::SetActive(uint32_t channel, bool active) {
  if (channel < m_channels) m_active[channel] = active ? 1 : 0;
}

bool VQChannelQueue::IsActive(uint32_t channel) const {
  return channel < m_channels && m_active[channel] != 0;
}
