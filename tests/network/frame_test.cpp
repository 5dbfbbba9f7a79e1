#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Zentri/devices/network/VQFrame.h"
#include "Zentri/util/VQerror.h"

namespace {

std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload) {
  uint32_t size = 0;
  uint8_t* f = VQframe_Make(payload.data(), static_cast<int32_t>(payload.size()), &size);
  std::vector<uint8_t> out(f, f + size);
  delete[] f;
  return out;
}

TEST(Frame, MakeWritesHeaderAndPayload) {
  std::vector<uint8_t> f = Frame({'a', 'b', 'c'});
  EXPECT_EQ(f, (std::vector<uint8_t>{4, 0, 3, 0, 'a', 'b', 'c'}));
}

TEST(Frame, MakeRefusesEmptyAndOversizedPayloads) {
  std::vector<uint8_t> big(VQFRAME_MAX_PAYLOAD + 1, 1);
  uint32_t size = 0;
  g_VQerror = 0;
  EXPECT_EQ(VQframe_Make(big.data(), 0, &size), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  // 65533 bytes would wrap the 16-bit length field: refused, not sent short.
  EXPECT_EQ(VQframe_Make(big.data(), static_cast<int32_t>(big.size()), &size), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  uint8_t* f = VQframe_Make(big.data(), VQFRAME_MAX_PAYLOAD, &size);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(size, VQFRAME_MAX_SIZE);
  EXPECT_EQ(f[2], 0xfc);
  EXPECT_EQ(f[3], 0xff);
  delete[] f;
}

TEST(FrameBuffer, TwoFramesInOneReadComeOutOnePerTake) {
  VQFrameBuffer b(VQFRAME_MAX_SIZE);
  std::vector<uint8_t> bytes = Frame({'x'});
  std::vector<uint8_t> second = Frame({'y', 'z'});
  bytes.insert(bytes.end(), second.begin(), second.end());
  ASSERT_TRUE(b.Append(bytes.data(), static_cast<uint32_t>(bytes.size())));
  char out[8];
  EXPECT_EQ(b.Take(out, sizeof(out)), 1);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(b.Take(out, sizeof(out)), 2);
  EXPECT_EQ(std::memcmp(out, "yz", 2), 0);
  EXPECT_EQ(b.Take(out, sizeof(out)), 0);
  EXPECT_EQ(b.Fill(), 0u);
}

TEST(FrameBuffer, TooSmallCallerBufferKeepsTheFrame) {
  VQFrameBuffer b(VQFRAME_MAX_SIZE);
  std::vector<uint8_t> f = Frame({1, 2, 3, 4});
  b.Append(f.data(), static_cast<uint32_t>(f.size()));
  uint8_t out[4];
  g_VQerror = 0;
  EXPECT_EQ(b.Take(out, 3), -1);
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(b.Take(out, 4), 4);
}

TEST(FrameBuffer, TruncatedFrameWaitsForTheRest) {
  VQFrameBuffer b(VQFRAME_MAX_SIZE);
  std::vector<uint8_t> f = Frame({'h', 'e', 'l', 'l', 'o'});
  for (size_t i = 0; i + 1 < f.size(); ++i) {
    b.Append(&f[i], 1);
    EXPECT_EQ(b.State(), VQFrameState::Incomplete) << i;
  }
  b.Append(&f.back(), 1);
  EXPECT_EQ(b.State(), VQFrameState::Complete);
}

struct BadHeader {
  const char* name;
  std::vector<uint8_t> bytes;
};

TEST(FrameBuffer, MalformedHeadersAreReported) {
  const BadHeader cases[] = {
      {"marker", {5}},
      {"marker zero", {0, 0, 1, 0, 'x'}},
      {"byte one", {4, 1}},
      {"length above the limit", {4, 0, 0xfd, 0xff}},
      {"length 65535", {4, 0, 0xff, 0xff}},
  };
  for (const BadHeader& c : cases) {
    VQFrameBuffer b(VQFRAME_MAX_SIZE);
    b.Append(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(b.State(), VQFrameState::Malformed) << c.name;
    uint8_t out[8];
    EXPECT_EQ(b.Take(out, sizeof(out)), 0) << c.name;
  }
}

TEST(FrameBuffer, LargestPayloadFitsExactly) {
  VQFrameBuffer b(VQFRAME_MAX_SIZE);
  std::vector<uint8_t> payload(VQFRAME_MAX_PAYLOAD, 0x5a);
  std::vector<uint8_t> f = Frame(payload);
  ASSERT_TRUE(b.Append(f.data(), static_cast<uint32_t>(f.size())));
  EXPECT_EQ(b.FreeSpace(), 0u);
  std::vector<uint8_t> out(VQFRAME_MAX_PAYLOAD);
  EXPECT_EQ(b.Take(out.data(), static_cast<int32_t>(out.size())), static_cast<int32_t>(VQFRAME_MAX_PAYLOAD));
  EXPECT_EQ(out, payload);
}

TEST(FrameBuffer, AppendBeyondFreeSpaceIsRefused) {
  VQFrameBuffer b(8);
  uint8_t bytes[9] = {4, 0, 1, 0};
  g_VQerror = 0;
  EXPECT_FALSE(b.Append(bytes, 9));
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(b.Fill(), 0u);
}

// An empty frame carries nothing: it is consumed without a payload.
TEST(FrameBuffer, EmptyFrameIsSkipped) {
  VQFrameBuffer b(VQFRAME_MAX_SIZE);
  uint8_t bytes[] = {4, 0, 0, 0, 4, 0, 1, 0, 'q'};
  b.Append(bytes, sizeof(bytes));
  uint8_t out[4];
  EXPECT_EQ(b.Take(out, sizeof(out)), 0);
  EXPECT_EQ(b.Take(out, sizeof(out)), 1);
  EXPECT_EQ(out[0], 'q');
}

}  // namespace
