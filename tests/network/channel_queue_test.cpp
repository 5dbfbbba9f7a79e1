#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Zentri/devices/network/VQChannelQueue.h"
#include "Zentri/util/VQerror.h"

namespace {

std::string Head(const VQChannelQueue& q, uint32_t channel) {
  const uint8_t* data;
  uint32_t length;
  q.Peek(channel, &data, &length);
  return data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
}

TEST(ChannelQueue, KeepsOrderPerChannel) {
  VQChannelQueue q(2);
  ASSERT_TRUE(q.Enqueue(1, "one", 3));
  ASSERT_TRUE(q.Enqueue(1, "two", 3));
  ASSERT_TRUE(q.Enqueue(0, "zero", 4));
  EXPECT_EQ(q.QueuedBytes(1), 6u);
  EXPECT_EQ(Head(q, 1), "one");
  q.Dequeue(1);
  EXPECT_EQ(Head(q, 1), "two");
  q.Dequeue(1);
  EXPECT_TRUE(q.IsEmpty(1));
  EXPECT_EQ(Head(q, 0), "zero");
}

TEST(ChannelQueue, EmptyPeekGivesNothing) {
  VQChannelQueue q(1);
  const uint8_t* data = reinterpret_cast<const uint8_t*>("x");
  uint32_t length = 9;
  q.Peek(0, &data, &length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);
}

TEST(ChannelQueue, RefusesBadChannelAndEmptyData) {
  VQChannelQueue q(2);
  g_VQerror = 0;
  EXPECT_FALSE(q.Enqueue(2, "x", 1));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(q.Enqueue(0, "x", 0));
  EXPECT_TRUE(q.IsEmpty(0));
}

TEST(ChannelQueue, ConsumeKeepsTheRest) {
  VQChannelQueue q(1);
  q.Enqueue(0, "abcdef", 6);
  q.Consume(0, 2);
  EXPECT_EQ(Head(q, 0), "ef");
  EXPECT_EQ(q.QueuedBytes(0), 2u);
}

// One broadcast queued for three channels keeps one copy; it stays alive until the last
// channel drops it.
TEST(ChannelQueue, BroadcastSharesOneCopy) {
  VQChannelQueue q(3);
  VQQueueBuffer* shared = nullptr;
  for (uint32_t c = 0; c < 3; ++c) ASSERT_TRUE(q.EnqueueShared(c, "hello", 5, &shared));
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->m_references, 3u);
  q.Dequeue(0);
  q.Dequeue(1);
  EXPECT_EQ(shared->m_references, 1u);
  EXPECT_EQ(Head(q, 2), "hello");
}

// A caller that reuses one buffer for different messages must not get the old bytes back:
// separate enqueues never share, whatever the source pointer.
TEST(ChannelQueue, SameSourcePointerIsNotShared) {
  VQChannelQueue q(2);
  char buffer[4];
  std::memcpy(buffer, "AAAA", 4);
  ASSERT_TRUE(q.Enqueue(0, buffer, 4));
  std::memcpy(buffer, "BBBB", 4);
  ASSERT_TRUE(q.Enqueue(1, buffer, 4));
  EXPECT_EQ(Head(q, 0), "AAAA");
  EXPECT_EQ(Head(q, 1), "BBBB");
}

// A partial write on one channel must not move the other channels' read position of a
// shared copy.
TEST(ChannelQueue, ConsumeOnSharedCopyIsPerChannel) {
  VQChannelQueue q(2);
  VQQueueBuffer* shared = nullptr;
  q.EnqueueShared(0, "abcdef", 6, &shared);
  q.EnqueueShared(1, "abcdef", 6, &shared);
  q.Consume(0, 3);
  EXPECT_EQ(Head(q, 0), "def");
  EXPECT_EQ(Head(q, 1), "abcdef");
}

TEST(ChannelQueue, ClearAndActiveFlags) {
  VQChannelQueue q(4);
  q.Enqueue(3, "x", 1);
  q.Enqueue(3, "y", 1);
  q.Clear(3);
  EXPECT_TRUE(q.IsEmpty(3));
  EXPECT_EQ(q.QueuedBytes(3), 0u);
  EXPECT_FALSE(q.IsActive(2));
  q.SetActive(2, true);
  EXPECT_TRUE(q.IsActive(2));
  EXPECT_FALSE(q.IsActive(99));
}

}  // namespace
