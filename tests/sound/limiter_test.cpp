// The voice limiter: priority order, the audible set, finished voices and pausing.
#include <gtest/gtest.h>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "tests/support/sound_support.h"

using namespace soundtest;

namespace {

class VoiceLimiter : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = OpenDevice();
    ASSERT_NE(device_, nullptr);
    limiter_ = device_->m_limiter;
    limiter_->SetMaxVoices(2);
  }
  void TearDown() override {
    if (device_) device_->Close();
  }
  static bool Audible(VQSoundBuffer* b) {
    return (b->m_flags & VQSOUND_PLAYING) && !(b->m_flags & VQSOUND_PAUSED);
  }
  VQDSoundDevice* device_ = nullptr;
  VQVoiceLimiter* limiter_ = nullptr;
};

}  // namespace

TEST_F(VoiceLimiter, KeepsPriorityOrderAndOnlyTheFirstNAreHeard) {
  VQSoundBuffer* first = ToneBuffer(device_, 500.0, 0.3, kRate);
  VQSoundBuffer* loud = ToneBuffer(device_, 1000.0, 0.3, kRate);
  VQSoundBuffer* third = ToneBuffer(device_, 2000.0, 0.3, kRate);
  ASSERT_TRUE(first && loud && third);
  ASSERT_TRUE(device_->PlayLimited(first, 1, 0.5f));
  ASSERT_TRUE(device_->PlayLimited(loud, 1, 0.9f));
  ASSERT_TRUE(device_->PlayLimited(third, 1, 0.5f));
  ASSERT_EQ(limiter_->GetCount(), 3u);
  EXPECT_EQ(limiter_->GetVoice(0), loud);
  EXPECT_EQ(limiter_->GetVoice(1), third);  // the newest first among equals
  EXPECT_EQ(limiter_->GetVoice(2), first);
  EXPECT_TRUE(Audible(loud));
  EXPECT_TRUE(Audible(third));
  EXPECT_FALSE(Audible(first));
  EXPECT_TRUE(first->m_flags & VQSOUND_PLAYING);  // held, playing, paused
  // Two tones of 0.3 each are heard; the third is not.
  EXPECT_NEAR(Rms(Render(device_, 200), 0), 0.3, 0.01);

  // A buffer already held changes nothing.
  EXPECT_FALSE(device_->PlayLimited(first, 0, 2.0f));
  EXPECT_EQ(limiter_->GetVoice(2), first);

  // A new priority alone does not change the audible set.
  limiter_->SetPriority(first, 5.0f);
  EXPECT_EQ(limiter_->GetVoice(0), first);
  EXPECT_FALSE(Audible(first));
  EXPECT_TRUE(Audible(third));
  limiter_->Update();
  EXPECT_TRUE(Audible(first));
  EXPECT_FALSE(Audible(third));

  // Removing an audible voice lets the next one be heard.
  EXPECT_TRUE(device_->StopLimited(loud));
  EXPECT_FALSE(loud->m_flags & VQSOUND_PLAYING);
  EXPECT_TRUE(Audible(third));
  EXPECT_FALSE(device_->StopLimited(loud));

  // Deleting a held buffer takes it out of the limiter first.
  device_->DeleteBuffer(first);
  EXPECT_EQ(limiter_->GetCount(), 1u);
  limiter_->RemoveAll();
  EXPECT_EQ(limiter_->GetCount(), 0u);
  EXPECT_FALSE(third->m_flags & VQSOUND_PLAYING);
  device_->DeleteBuffer(loud);
  device_->DeleteBuffer(third);
}

TEST_F(VoiceLimiter, FinishedOneShotLeavesAndTheNextIsHeardWhereItWouldBe) {
  VQSoundBuffer* shot = ToneBuffer(device_, 1000.0, 0.3, kRate / 10);  // 100 ms
  VQSoundBuffer* a = ToneBuffer(device_, 500.0, 0.3, kRate);
  VQSoundBuffer* waiting = ToneBuffer(device_, 700.0, 0.3, 2 * kRate, 2);
  ASSERT_TRUE(shot && a && waiting);
  ASSERT_TRUE(device_->PlayLimited(shot, 0, 1.0f));
  ASSERT_TRUE(device_->PlayLimited(a, 1, 0.8f));
  ASSERT_TRUE(device_->PlayLimited(waiting, 0, 0.1f));
  EXPECT_FALSE(Audible(waiting));
  for (int i = 0; i < 6; ++i) {
    Render(device_, 50);
    VQdsound_UpdateBuffers();
  }
  EXPECT_FALSE(limiter_->Contains(shot));
  EXPECT_EQ(limiter_->GetCount(), 2u);
  EXPECT_TRUE(Audible(waiting));
  // It was silent for the time it waited, but it went on: 300 ms in, not at its start.
  uint32_t play = 0;
  static_cast<VQDSoundBuffer*>(waiting)->m_platform->get_current_position(&play, nullptr);
  EXPECT_NEAR(double(play), 0.3 * kRate * 4, 0.002 * kRate * 4);

  // Pausing the limiter silences and stops every voice; resuming brings the audible set back.
  limiter_->Pause(true);
  EXPECT_FALSE(a->m_flags & VQSOUND_PLAYING);
  EXPECT_LT(Rms(Render(device_, 50), 0), 1e-6);
  limiter_->Pause(false);
  EXPECT_TRUE(Audible(a));
  EXPECT_TRUE(Audible(waiting));
  EXPECT_GT(Rms(Render(device_, 50), 0), 0.2);
  device_->DeleteBuffer(shot);
  device_->DeleteBuffer(a);
  device_->DeleteBuffer(waiting);
}
