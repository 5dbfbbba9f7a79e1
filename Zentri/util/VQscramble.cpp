#include "Zentri/util/VQscramble.h"

#include <cstring>

const uint8_t g_VQscrambleKey[VQSCRAMBLE_KEY_SIZE] = {0x9d, 0x04, 0xe7, 0x71, 0x3b, 0xc2, 0x5a, 0x8f,
                                                      0x61, 0xd0, 0xf3, 0xa2, 0x9e, 0x7c, 0x4b, 0x15};
const uint32_t g_VQscrambleKeyWords[VQSCRAMBLE_KEY_SIZE / 4] = {0x71e7049du, 0x8f5ac23bu, 0xa2f3d061u,
                                                                0x154b7c9eu};

void VQscramble(void* buffer, size_t length, const void* key, size_t keyLength) {
  if (!key || keyLength == 0) {
    VQscramble_Builtin(buffer, length);
    return;
  }
  auto* b = static_cast<uint8_t*>(buffer);
  const auto* k = static_cast<const uint8_t*>(key);
  size_t ki = 0;
  for (size_t i = 0; i < length; ++i) {
    b[i] ^= k[ki];
    if (++ki == keyLength) ki = 0;
  }
}

void VQscramble_Builtin(void* buffer, size_t length) {
  auto* b = static_cast<uint8_t*>(buffer);
  // Whole 16-byte blocks as two 64-bit words; the key is copied in memory order, so the
  // result is the byte-wise one on any byte order and alignment.
  uint64_t k0, k1;
  std::memcpy(&k0, g_VQscrambleKey, 8);
  std::memcpy(&k1, g_VQscrambleKey + 8, 8);
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    uint64_t w0, w1;
    std::memcpy(&w0, b + i, 8);
    std::memcpy(&w1, b + i + 8, 8);
    w0 ^= k0;
    w1 ^= k1;
    std::memcpy(b + i, &w0, 8);
    std::memcpy(b + i + 8, &w1, 8);
  }
  // Remaining whole 32-bit words, then the 1 to 3 trailing bytes.
  for (; i + 4 <= length; i += 4) {
    uint32_t w, k;
    std::memcpy(&w, b + i, 4);
    std::memcpy(&k, g_VQscrambleKey + (i & 15), 4);
    w ^= k;
    std::memcpy(b + i, &w, 4);
  }
  for (; i < length; ++i) b[i] ^= g_VQscrambleKey[i & 15];
}
