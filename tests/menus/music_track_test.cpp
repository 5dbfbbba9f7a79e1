// The music player on the memory-rendering sound device: streamed titles with their repeat
// silence, samples, volumes, and files that cannot be played.
#include <gtest/gtest.h>

#include <string>

#include "QVX/menu/MusicTrack.h"
#include "tests/support/sound_support.h"
#include "Zentri/devices/sound/VQSoundStream.h"

namespace {

const std::string kAudio = std::string(VQ_GAME_DIR) + "/Data/Audio/";

class Music : public ::testing::Test {
 protected:
  void SetUp() override {
    m_device = soundtest::OpenDevice();
    ASSERT_NE(m_device, nullptr);
  }
  void TearDown() override {
    if (m_device) m_device->Close();
  }
  VQDSoundDevice* m_device = nullptr;
};

TEST_F(Music, AStreamedTitleRepeatsAfterItsSilence) {
  MusicTrack music(m_device);
  music.Play((kAudio + "menus.vq3").c_str(), true);
  if (!music.m_stream) GTEST_SKIP() << "no MP3 decoder library in this build";
  const float length = music.m_stream->m_duration;
  ASSERT_GT(length, 1.0f);
  EXPECT_TRUE(music.m_playing);
  EXPECT_FLOAT_EQ(music.m_playTimeLeft, length);
  music.Update(length - 0.5f);
  EXPECT_TRUE(music.m_playing);
  music.Update(0.6f);  // the title has played: paused, the silence starts
  EXPECT_FALSE(music.m_playing);
  EXPECT_FALSE(music.IsPlaying());
  music.Update(19.9f);
  EXPECT_FALSE(music.m_playing);
  music.Update(0.2f);  // 20 s of silence: the title starts again
  EXPECT_TRUE(music.m_playing);
  EXPECT_TRUE(music.IsPlaying());
  EXPECT_FLOAT_EQ(music.m_playTimeLeft, length);
}

TEST_F(Music, ATitleWithoutRepeatEndsAndStaysSilent) {
  MusicTrack music(m_device);
  music.Play((kAudio + "podium.vq3").c_str(), false);
  if (!music.m_stream) GTEST_SKIP() << "no MP3 decoder library in this build";
  music.Update(music.m_stream->m_duration + 0.1f);
  EXPECT_FALSE(music.m_playing);
  music.Update(100.0f);
  EXPECT_FALSE(music.m_playing);
  EXPECT_FALSE(music.IsPlaying());
}

TEST_F(Music, TheSameVolumeTwiceChangesNothingAndStreamsPlayLower) {
  MusicTrack music(m_device);
  music.Play((kAudio + "menu_action.vqw").c_str(), false);
  ASSERT_NE(music.m_sample, nullptr);
  music.SetVolume(0.5f);
  music.SetVolume(0.5f);
  EXPECT_EQ(music.m_volumeChanges, 1u);
  EXPECT_FLOAT_EQ(music.m_sample->m_volume, 0.5f);
  music.Stop(true);
  music.Play((kAudio + "menus.vq3").c_str(), false);
  if (!music.m_stream) GTEST_SKIP() << "no MP3 decoder library in this build";
  EXPECT_FLOAT_EQ(music.m_stream->m_buffer->m_volume, 0.4f);
}

TEST_F(Music, StopWithoutDeleteKeepsTheDevicesSample) {
  MusicTrack music(m_device);
  music.Play((kAudio + "menu_updown.vqw").c_str(), false);
  VQSoundBuffer* sample = music.m_sample;
  ASSERT_NE(sample, nullptr);
  music.Stop(false);
  EXPECT_EQ(music.m_sample, nullptr);
  EXPECT_FALSE(music.m_playing);
  EXPECT_TRUE(sample->Play(0));  // still the device's
  m_device->DeleteBuffer(sample);
}

TEST_F(Music, TitlesThatCannotBePlayedLeaveThePlayerSilent) {
  MusicTrack music(m_device);
  for (const std::string& path : {kAudio + "missing.vq3", kAudio + "missing.vqw", std::string()}) {
    music.Play(path.c_str(), true);
    EXPECT_EQ(music.m_stream, nullptr) << path;
    EXPECT_EQ(music.m_sample, nullptr) << path;
    EXPECT_FALSE(music.m_playing) << path;
    EXPECT_TRUE(music.m_repeat) << path;  // kept even so
    music.Update(30.0f);                  // no title: the repeat does nothing
    EXPECT_FALSE(music.IsPlaying());
  }
  MusicTrack none(nullptr);  // no sound device at all
  none.Play((kAudio + "menus.vq3").c_str(), true);
  none.Update(1.0f);
  none.Pause(true);
  none.Stop(true);
  EXPECT_FALSE(none.IsPlaying());
}

TEST(MusicFiles, CompressedTitlesAreStreamed) {
  EXPECT_TRUE(MusicTrack_IsStreamed("Data\\Audio\\menus.vq3"));
  EXPECT_TRUE(MusicTrack_IsStreamed("x.MP3"));
  EXPECT_FALSE(MusicTrack_IsStreamed("x.vqw"));
  EXPECT_FALSE(MusicTrack_IsStreamed("mp3"));
  EXPECT_FALSE(MusicTrack_IsStreamed(nullptr));
}

}  // namespace
