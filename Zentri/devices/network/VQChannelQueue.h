// The send queue of a socket: per channel (one per client of a server, one for a client) a
// first-in first-out list of byte runs that could not be written at once. Every run holds its
// own read position, so one copy of a broadcast can wait on many channels and each channel
// writes it out at its own pace.
#pragma once

#include <cstdint>

// One owned copy of queued bytes, shared by the entries that point at it.
struct VQQueueBuffer {
  uint8_t* m_bytes;
  uint32_t m_length;
  uint32_t m_references;  // entries pointing here; freed when the last one goes
};

struct VQQueueEntry {
  VQQueueBuffer* m_buffer;
  uint32_t m_offset;  // bytes of the buffer already written out on this channel
  VQQueueEntry* m_next;
};

class VQChannelQueue {
 public:
  // Arrays of `channels` heads and flags, all empty and inactive. A queue whose arrays
  // could not be made has no channels (every call then fails with error 28).
  explicit VQChannelQueue(uint32_t channels);
  ~VQChannelQueue();
  VQChannelQueue(const VQChannelQueue&) = delete;
  VQChannelQueue& operator=(const VQChannelQueue&) = delete;

  // Appends a copy of the bytes at the tail of the channel. Bad channel or no bytes: error
  // 28, false; no memory: error 16, false (nothing queued).
  bool Enqueue(uint32_t channel, const void* data, uint32_t length);
  // Appends at the tail of the channel an entry for `*shared` when it is set (one more
  // reference); otherwise makes a new copy of the bytes and stores it in *shared, so that a
  // caller queuing one message for several channels keeps one copy. Failures as Enqueue.
  bool EnqueueShared(uint32_t channel, const void* data, uint32_t length, VQQueueBuffer** shared);
  // The head's unwritten bytes and their count; null and 0 when the channel is empty.
  void Peek(uint32_t channel, const uint8_t** data, uint32_t* length) const;
  // Drops the head entry; its buffer goes with its last reference.
  void Dequeue(uint32_t channel);
  // Marks all but the last `rest` unwritten bytes of the head as written.
  void Consume(uint32_t channel, uint32_t rest);
  // Drops every entry of the channel.
  void Clear(uint32_t channel);

  bool IsEmpty(uint32_t channel) const;
  // Unwritten bytes waiting on the channel.
  uint64_t QueuedBytes(uint32_t channel) const;
  uint32_t ChannelCount() const { return m_channels; }

  void SetActive(uint32_t channel, bool active);
  bool IsActive(uint32_t channel) const;

 private:
  bool Append(uint32_t channel, VQQueueBuffer* buffer);

  uint32_t m_channels;
  VQQueueEntry** m_heads;
  VQQueueEntry** m_tails;
  uint64_t* m_queued;
  uint8_t* m_active;
};
