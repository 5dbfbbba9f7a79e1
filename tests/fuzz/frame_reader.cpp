// The frame reader of the framed TCP layers: arbitrary bytes arrive in arbitrary chunks and
// are taken out with arbitrary caller buffers. Whatever arrives, the reader either hands out
// payloads no longer than the caller's buffer, waits for more, or reports the stream as
// malformed (then its owner drops the connection); it never reads or writes out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Zentri/devices/network/VQFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks the chunk size, the second the caller's buffer size.
  size_t chunk = 1 + data[0] * 97u;
  int32_t capacity = data[1] == 0xff ? static_cast<int32_t>(VQFRAME_MAX_PAYLOAD) : data[1] * 7;
  data += 2;
  size -= 2;
  VQFrameBuffer reader(VQFRAME_MAX_SIZE);
  std::vector<uint8_t> out(VQFRAME_MAX_PAYLOAD);
  size_t at = 0;
  while (at < size) {
    size_t n = size - at < chunk ? size - at : chunk;
    if (n > reader.FreeSpace()) n = reader.FreeSpace();
    if (n == 0) break;  // only a malformed or waiting stream can fill the buffer
    if (!reader.Append(data + at, static_cast<uint32_t>(n))) abort();
    at += n;
    for (;;) {
      VQFrameState state = reader.State();
      if (state == VQFrameState::Malformed) return 0;
      if (state == VQFrameState::Incomplete) break;
      uint32_t before = reader.Fill();
      int32_t got = reader.Take(out.data(), capacity);
      if (got > capacity) abort();
      if (got < 0) {
        if (reader.Fill() != before) abort();  // a refused frame stays
        got = reader.Take(out.data(), static_cast<int32_t>(VQFRAME_MAX_PAYLOAD));
        if (got < 0) abort();
      }
      if (reader.Fill() != before - static_cast<uint32_t>(got) - VQFRAME_HEADER_SIZE) abort();
    }
  }
  return 0;
}
