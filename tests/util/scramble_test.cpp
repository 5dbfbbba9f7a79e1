#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Zentri/util/VQscramble.h"

namespace {
const uint8_t kBuiltin[16] = {0x9d, 0x04, 0xe7, 0x71, 0x3b, 0xc2, 0x5a, 0x8f,
                              0x61, 0xd0, 0xf3, 0xa2, 0x9e, 0x7c, 0x4b, 0x15};

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 37);
  return v;
}
}  // namespace

TEST(Scrambler, BuiltInKeyInBothForms) {
  EXPECT_EQ(std::memcmp(g_VQscrambleKey, kBuiltin, 16), 0);
  for (int j = 0; j < 4; ++j) {
    uint32_t le = kBuiltin[4 * j] | kBuiltin[4 * j + 1] << 8 | kBuiltin[4 * j + 2] << 16 |
                  static_cast<uint32_t>(kBuiltin[4 * j + 3]) << 24;
    EXPECT_EQ(g_VQscrambleKeyWords[j], le) << j;
  }
}

TEST(Scrambler, ZerosGiveTheRepeatingKey) {
  std::vector<uint8_t> buf(20, 0);
  VQscramble(buf.data(), buf.size(), nullptr, 0);
  for (size_t i = 0; i < buf.size(); ++i) EXPECT_EQ(buf[i], kBuiltin[i % 16]) << i;
}

TEST(Scrambler, ShortTailUsesKeyBytes) {
  uint8_t buf[3] = {0x01, 0x02, 0x03};
  VQscramble_Builtin(buf, 3);
  EXPECT_EQ(buf[0], 0x01 ^ 0x9d);
  EXPECT_EQ(buf[1], 0x02 ^ 0x04);
  EXPECT_EQ(buf[2], 0x03 ^ 0xe7);
}

TEST(Scrambler, WordFormEqualsByteFormAtAnyLengthAndAlignment) {
  for (size_t offset = 0; offset < 4; ++offset) {
    for (size_t len = 0; len <= 40; ++len) {
      std::vector<uint8_t> storage = pattern(len + 8, static_cast<uint8_t>(len));
      std::vector<uint8_t> expected = storage;
      for (size_t i = 0; i < len; ++i) expected[offset + i] ^= kBuiltin[i % 16];
      VQscramble_Builtin(storage.data() + offset, len);
      EXPECT_EQ(storage, expected) << "len " << len << " offset " << offset;
    }
  }
}

TEST(Scrambler, NullKeyOrZeroLengthSelectsBuiltIn) {
  const uint8_t key[3] = {1, 2, 3};
  std::vector<uint8_t> a = pattern(33, 5), b = a, c = a;
  VQscramble(a.data(), a.size(), key, 0);
  VQscramble(b.data(), b.size(), nullptr, 3);
  VQscramble_Builtin(c.data(), c.size());
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, c);
}

TEST(Scrambler, CallerKeyRepeatsAndTwiceRestores) {
  const uint8_t key[3] = {0x10, 0x20, 0x30};
  std::vector<uint8_t> orig = pattern(50, 9), buf = orig;
  VQscramble(buf.data(), buf.size(), key, 3);
  for (size_t i = 0; i < buf.size(); ++i) EXPECT_EQ(buf[i], orig[i] ^ key[i % 3]) << i;
  VQscramble(buf.data(), buf.size(), key, 3);
  EXPECT_EQ(buf, orig);
  VQscramble(buf.data(), buf.size(), nullptr, 0);
  EXPECT_NE(buf, orig);
  VQscramble(buf.data(), buf.size(), nullptr, 0);
  EXPECT_EQ(buf, orig);
  VQscramble(buf.data(), 0, key, 3);  // length 0 changes nothing
  EXPECT_EQ(buf, orig);
}
