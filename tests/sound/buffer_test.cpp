// Sound buffers through the memory renderer: the volume, pan and frequency laws, pausing that
// keeps time, looping, finishing, duplicates and the setters' edge values.
#include <gtest/gtest.h>

#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "host/dynlib/library.h"
#include "tests/support/sound_support.h"

using namespace soundtest;

namespace {

class SoundBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = OpenDevice();
    ASSERT_NE(device_, nullptr) << g_VQerror;
  }
  void TearDown() override {
    if (device_) device_->Close();
  }
  static host::ds_buffer* Platform(VQSoundBuffer* b) { return static_cast<VQDSoundBuffer*>(b)->m_platform; }
  static uint32_t Position(VQSoundBuffer* b) {
    uint32_t play = 0;
    Platform(b)->get_current_position(&play, nullptr);
    return play;
  }
  VQDSoundDevice* device_ = nullptr;
};

int g_ends = 0;
void CountEnd(VQSoundBuffer*, uintptr_t) { ++g_ends; }

}  // namespace

TEST_F(SoundBuffer, VolumeFollowsTheDecibelLaw) {
  VQSoundBuffer* b = ToneBuffer(device_, 1000.0, 0.5, kRate);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->Play(VQSOUND_PLAY_LOOP));
  const double full = Rms(Render(device_, 200), 0);
  EXPECT_NEAR(full, 0.5 / std::sqrt(2.0), 0.005);
  struct Case {
    float gain;
    int32_t hundredths;
  } cases[] = {{1.0f, 0}, {0.5f, -1000}, {0.25f, -2000}, {0.1f, -3321}, {0.0f, -10000}, {2.0f, 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(b->SetVolume(c.gain));
    int32_t v = 1;
    Platform(b)->get_volume(&v);
    EXPECT_EQ(v, c.hundredths) << c.gain;
    const double level = Rms(Render(device_, 200), 0);
    const double expected = c.hundredths <= DSBVOLUME_MIN ? 0.0 : full * std::pow(10.0, c.hundredths / 2000.0);
    EXPECT_NEAR(level, expected, 0.002) << c.gain;
  }
  // The base gain scales what SetVolume is given; the result never exceeds full volume.
  b->SetBaseGain(0.5f);
  ASSERT_TRUE(b->SetVolume(1.0f));
  int32_t v = 0;
  Platform(b)->get_volume(&v);
  EXPECT_EQ(v, -1000);
  EXPECT_FLOAT_EQ(b->m_volume, 1.0f);
  device_->DeleteBuffer(b);
}

TEST_F(SoundBuffer, PanAttenuatesTheOppositeChannel) {
  VQSoundBuffer* b = ToneBuffer(device_, 1000.0, 0.5, kRate);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->Play(VQSOUND_PLAY_LOOP));
  struct Case {
    int32_t percent, side, platform;
    double leftDb, rightDb;  // relative to the centre
  } cases[] = {
      {100, VQSOUND_SIDE_LEFT, 0, 0, 0},
      {50, VQSOUND_SIDE_LEFT, -1000, 0, -10},     // right attenuated: the sound moves left
      {50, VQSOUND_SIDE_RIGHT, 1000, -10, 0},
      {25, VQSOUND_SIDE_RIGHT, 2000, -20, 0},
  };
  const auto centre = Render(device_, 100);
  const double c = Rms(centre, 0);
  for (const auto& k : cases) {
    ASSERT_TRUE(b->SetPan(k.percent, k.side));
    int32_t pan = 0;
    Platform(b)->get_pan(&pan);
    EXPECT_EQ(pan, k.platform);
    const auto s = Render(device_, 100);
    EXPECT_NEAR(Db(Rms(s, 0) / c), k.leftDb, 0.1) << k.percent << " " << k.side;
    EXPECT_NEAR(Db(Rms(s, 1) / c), k.rightDb, 0.1) << k.percent << " " << k.side;
    int32_t percent = -1, side = -1;
    ASSERT_TRUE(b->GetPan(percent, side));
    EXPECT_EQ(percent, k.percent);
    if (k.platform != 0) {
      EXPECT_EQ(side, k.side);
    }
  }
  ASSERT_TRUE(b->SetPan(0, VQSOUND_SIDE_LEFT));  // wholly left
  const auto s = Render(device_, 100);
  EXPECT_LT(Rms(s, 1), 1e-4);
  EXPECT_NEAR(Rms(s, 0), c, 0.002);
  EXPECT_FALSE(b->SetPan(101, VQSOUND_SIDE_LEFT));
  device_->DeleteBuffer(b);
}

TEST_F(SoundBuffer, FrequencyAndSpeedResample) {
  // A 22050 Hz mono tone of 1000 Hz plays at 1000 Hz on the 44100 Hz output.
  VQSoundBuffer* b = ToneBuffer(device_, 1000.0, 0.5, 22050, 1, 22050);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->Play(VQSOUND_PLAY_LOOP));
  EXPECT_NEAR(Pitch(Render(device_, 300), 0), 1000.0, 5.0);
  struct Case {
    int32_t percent;
    double pitch;
  } cases[] = {{50, 500.0}, {200, 2000.0}, {150, 1500.0}, {100, 1000.0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(b->SetSpeed(c.percent));
    int32_t speed = 0;
    ASSERT_TRUE(b->GetSpeed(speed));
    EXPECT_EQ(speed, c.percent);
    EXPECT_NEAR(Pitch(Render(device_, 300), 0), c.pitch, c.pitch * 0.005) << c.percent;
  }
  uint32_t hz = 0;
  ASSERT_TRUE(b->SetFrequency(50));
  ASSERT_TRUE(b->GetFrequency(hz));
  EXPECT_EQ(hz, 100u);
  ASSERT_TRUE(b->SetFrequency(200000));
  ASSERT_TRUE(b->GetFrequency(hz));
  EXPECT_EQ(hz, 100000u);
  device_->DeleteBuffer(b);
}

TEST_F(SoundBuffer, PausedSoundResumesWhereItWouldHaveBeen) {
  // Stereo 16-bit: four bytes a frame. The paused time must advance the position by frames,
  // not by bytes per sample.
  VQSoundBuffer* b = ToneBuffer(device_, 440.0, 0.5, 2 * kRate, 2);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->Play(0));
  Render(device_, 200);
  ASSERT_TRUE(b->Pause(true));
  EXPECT_LT(Rms(Render(device_, 500), 0), 1e-6);  // silent while paused
  ASSERT_TRUE(b->Pause(false));
  const uint32_t expected = 700 * kRate / 1000 * 4;
  EXPECT_NEAR(double(Position(b)), double(expected), 4.0 * kRate / 1000);
  EXPECT_GT(Rms(Render(device_, 100), 0), 0.3);
  device_->DeleteBuffer(b);
}

TEST_F(SoundBuffer, LoopingBufferNeverFinishesAndOneShotsDo) {
  g_ends = 0;
  VQSoundBuffer* loop = ToneBuffer(device_, 440.0, 0.5, kRate / 10);
  VQSoundBuffer* once = ToneBuffer(device_, 440.0, 0.5, kRate / 10);
  ASSERT_TRUE(loop && once);
  loop->m_endCallback = once->m_endCallback = CountEnd;
  ASSERT_TRUE(loop->Play(VQSOUND_PLAY_LOOP));
  ASSERT_TRUE(once->Play(0));
  for (int i = 0; i < 20; ++i) {
    Render(device_, 50);
    VQdsound_UpdateBuffers();
  }
  EXPECT_TRUE(loop->m_flags & VQSOUND_PLAYING);
  EXPECT_FALSE(once->m_flags & VQSOUND_PLAYING);
  EXPECT_EQ(g_ends, 1);
  EXPECT_GT(Rms(Render(device_, 100), 0), 0.3);  // the loop is still heard
  // Play on a playing buffer changes nothing.
  const uint32_t before = Position(loop);
  EXPECT_TRUE(loop->Play(0));
  EXPECT_EQ(loop->m_loop, 1);
  EXPECT_EQ(Position(loop), before);

  // A paused one-shot that would have ended during the pause is finished by the next update.
  g_ends = 0;
  ASSERT_TRUE(once->Play(0));
  Render(device_, 50);
  once->Pause(true);
  Render(device_, 100);
  VQdsound_UpdateBuffers();
  EXPECT_EQ(g_ends, 1);
  EXPECT_FALSE(once->m_flags & VQSOUND_PLAYING);
  EXPECT_EQ(Position(once), 0u);

  // Resumed after its end, a paused one-shot stays silent; the next update finishes it.
  loop->Stop(true);
  g_ends = 0;
  ASSERT_TRUE(once->Play(0));
  once->Pause(true);
  Render(device_, 150);
  once->Pause(false);
  EXPECT_LT(Rms(Render(device_, 20), 0), 1e-6);
  VQdsound_UpdateBuffers();
  EXPECT_EQ(g_ends, 1);
  EXPECT_FALSE(once->m_flags & VQSOUND_PLAYING);
  device_->DeleteBuffer(loop);
  device_->DeleteBuffer(once);
}

TEST_F(SoundBuffer, PlayWaitReturnsWhenTheSoundHasFinished) {
  g_ends = 0;
  VQSoundBuffer* b = ToneBuffer(device_, 440.0, 0.5, kRate / 10);  // 100 ms
  ASSERT_NE(b, nullptr);
  b->m_endCallback = CountEnd;
  const uint32_t start = device_->m_dsound->time_ms();
  ASSERT_TRUE(b->Play(VQSOUND_PLAY_WAIT));
  EXPECT_FALSE(b->m_flags & VQSOUND_PLAYING);
  EXPECT_EQ(g_ends, 1);
  const uint32_t waited = device_->m_dsound->time_ms() - start;
  EXPECT_GE(waited, 100u);
  EXPECT_LE(waited, 120u);
  device_->DeleteBuffer(b);
}

TEST_F(SoundBuffer, DuplicatesShareDataUntilTheLastIsDeleted) {
  VQSoundBuffer* a = ToneBuffer(device_, 440.0, 0.5, 1000);
  ASSERT_NE(a, nullptr);
  a->SetBaseGain(0.5f);
  a->SetVolume(0.5f);
  const uint32_t count = device_->m_bufferCount;
  VQSoundBuffer* b = device_->DuplicateBuffer(a);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(device_->m_bufferCount, count + 1);
  EXPECT_EQ(b->m_data, a->m_data);
  EXPECT_EQ(b->m_sharedCount, a->m_sharedCount);
  EXPECT_EQ(*a->m_sharedCount, 2u);
  EXPECT_STREQ(b->m_name, "tone");
  EXPECT_FLOAT_EQ(b->m_baseGain, 0.5f);
  EXPECT_FLOAT_EQ(b->m_volume, 0.5f);
  uint32_t* shared = b->m_sharedCount;
  const uint8_t* data = b->m_data;
  device_->DeleteBuffer(a);
  EXPECT_EQ(*shared, 1u);
  EXPECT_EQ(data[0], b->m_data[0]);  // still readable
  ASSERT_TRUE(b->Play(0));
  EXPECT_GT(Rms(Render(device_, 10), 0), 0.02);
  device_->DeleteBuffer(b);
  EXPECT_EQ(device_->m_bufferCount, count - 1);
  EXPECT_EQ(device_->DuplicateBuffer(nullptr), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  device_->DeleteBuffer(nullptr);  // nothing
}

TEST_F(SoundBuffer, GetterAndPrimaryFormat) {
  EXPECT_EQ(VQdsound_GetSoundDevice(VQDEVICE_SOUND, 2), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_EQ(VQdsound_GetSoundDevice(VQDEVICE_OPENGL_DISPLAY, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0), device_);
  EXPECT_STREQ(device_->GetName(), "DirectSound device");
  EXPECT_NE(device_->m_limiter, nullptr);
  EXPECT_NE(device_->m_cache, nullptr);
  EXPECT_EQ(device_->m_limiter->GetAudible(), VQVOICE_DEFAULT_AUDIBLE);
  ASSERT_TRUE(device_->SetPrimaryFormat(2, 16, 22050));
  EXPECT_EQ(device_->m_dsound->output_format().samples_per_sec, 22050u);
  EXPECT_FALSE(device_->SetPrimaryFormat(2, 12, 22050));
  EXPECT_EQ(g_VQdxResult, DSERR_BADFORMAT);
  EXPECT_FALSE(device_->AttachToCanvas(nullptr));
  struct TestCanvas : VQCanvas {
    bool RecreateSurfaces() override { return true; }
  } canvas;
  EXPECT_TRUE(device_->AttachToCanvas(&canvas));
  EXPECT_EQ(device_->m_canvas, &canvas);
  EXPECT_EQ(canvas.m_soundDevice, static_cast<VQSoundDevice*>(device_));
  EXPECT_TRUE(device_->AttachToCanvas(&canvas));
  // The frame pump updates the buffers while a sound device is open.
  EXPECT_NE(g_VQwin32Devices.updateSound, nullptr);
  device_->Close();
  EXPECT_EQ(g_VQwin32Devices.updateSound, nullptr);
  EXPECT_EQ(device_->m_canvas, nullptr);
  ASSERT_TRUE(device_->Open(0));
  // The memory renderer has only its default device: instance 1 cannot be had.
  EXPECT_EQ(VQdsound_GetSoundDevice(VQDEVICE_SOUND, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
}

TEST_F(SoundBuffer, BuffersOutlivingTheirDeviceAreLost) {
  VQSoundBuffer* b = ToneBuffer(device_, 440.0, 0.5, 1000);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->Play(VQSOUND_PLAY_LOOP));
  device_->Close();
  EXPECT_FALSE(b->SetVolume(0.5f));
  EXPECT_EQ(g_VQdxResult, DSERR_BUFFERLOST);
  device_->DeleteBuffer(b);
  ASSERT_TRUE(device_->Open(0));
}

TEST(SoundDrivers, TheSoundKindIsServedByTheDirectSoundRow) {
  const VQDriverRow* row = VQdevices_FindDriver(VQDEVICE_SOUND);
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->name, "directsound");
  EXPECT_EQ(row->create, &VQdsound_GetSoundDevice);
}
