// MP3 streams: files encoded here with libmp3lame from a generated tone, decoded through the
// run-time loaded decoder library, streamed through the memory renderer.
#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundStream.h"
#include "Zentri/util/VQscramble.h"
#include "host/dynlib/library.h"
#include "host/mpglib/mpglib.h"
#include "tests/support/sound_support.h"

namespace fs = std::filesystem;
using namespace soundtest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFrameBytes = 4608;  // 1152 stereo 16-bit samples

// A tone of the given length, encoded at 128 kbit/s without an info frame.
Bytes EncodeMp3(int channels, int rate, double seconds, double hz = 440.0) {
  lame_global_flags* gf = lame_init();
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_num_channels(gf, channels);
  lame_set_mode(gf, channels == 1 ? MONO : STEREO);
  lame_set_brate(gf, rate >= 32000 ? 128 : 64);
  lame_set_bWriteVbrTag(gf, 0);
  lame_set_quality(gf, 7);
  EXPECT_EQ(lame_init_params(gf), 0);
  const int frames = int(seconds * rate);
  std::vector<short> pcm(size_t(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) pcm[size_t(i) * channels + c] = short(12000 * std::sin(2 * M_PI * hz * i / rate));
  Bytes out(size_t(1.25 * frames + 7200) + 7200);
  int n = channels == 2 ? lame_encode_buffer_interleaved(gf, pcm.data(), frames, out.data(), int(out.size()))
                        : lame_encode_buffer(gf, pcm.data(), pcm.data(), frames, out.data(), int(out.size()));
  EXPECT_GE(n, 0);
  const int m = lame_encode_flush(gf, out.data() + n, int(out.size()) - n);
  EXPECT_GE(m, 0);
  out.resize(size_t(n + m));
  lame_close(gf);
  return out;
}

// Every frame of the file, decoded by the decoder library itself.
std::vector<Bytes> ReferenceFrames(const Bytes& file) {
  std::vector<Bytes> frames;
  host::library* lib = host::library_load("mpglib.dll");
  EXPECT_NE(lib, nullptr);
  if (!lib) return frames;
  auto init = reinterpret_cast<mpglib_init_fn>(host::library_symbol(lib, "_InitMP3"));
  auto exit = reinterpret_cast<mpglib_exit_fn>(host::library_symbol(lib, "_ExitMP3"));
  auto decode = reinterpret_cast<mpglib_decode_fn>(host::library_symbol(lib, "_decodeMP3"));
  mpglib_state state{};
  EXPECT_NE(init(&state), 0);
  char out[VQMP3_SCRATCH_SIZE];
  int produced = 0;
  int r = decode(&state, reinterpret_cast<const char*>(file.data()), int(file.size()), out, sizeof out, &produced);
  while (r == MPGLIB_OK) {
    frames.emplace_back(out, out + produced);
    r = decode(&state, nullptr, 0, out, sizeof out, &produced);
  }
  exit(&state);
  host::library_free(lib);
  return frames;
}

class Mp3 : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path("sound_streams") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  std::string Write(const std::string& name, const Bytes& b) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return p.string();
  }
  fs::path dir_;
};

}  // namespace

TEST_F(Mp3, OpensStereo44100AndLearnsTheFrame) {
  const Bytes file = EncodeMp3(2, 44100, 1.0);
  VQMP3Stream s;
  ASSERT_TRUE(s.Open(Write("tone.mp3", file).c_str())) << g_VQerror;
  EXPECT_EQ(s.m_frameSize, int32_t(kFrameBytes));
  EXPECT_EQ(s.m_ringSize, 100 * kFrameBytes);
  EXPECT_EQ(s.m_channels, 2u);
  EXPECT_EQ(s.m_bits, 16u);
  EXPECT_EQ(s.m_rate, 44100u);
  EXPECT_EQ(s.m_bitRate, 128u);
  EXPECT_NEAR(s.m_duration, file.size() * 8.0 / 128000.0, 1e-3);
  EXPECT_EQ(s.m_initialised, 0);
  EXPECT_TRUE(VQmp3_LibraryLoaded());
}

TEST_F(Mp3, RefusesOtherLayoutsFreeFormatAndUndecodableFiles) {
  Bytes freeFormat = EncodeMp3(2, 44100, 0.5);
  // Every frame header gets bit-rate index 0 (free format); the frame lengths stay.
  for (size_t pos = 0; pos + 4 <= freeFormat.size();) {
    uint8_t* h = &freeFormat[pos];
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) break;
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    const size_t length = 144 * 1000 * size_t(kbps[h[2] >> 4]) / 44100 + ((h[2] >> 1) & 1);
    h[2] &= 0x0F;
    if (length == 0) break;
    pos += length;
  }
  Bytes garbage(5000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 13 + 5);
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"mono.mp3", EncodeMp3(1, 44100, 0.5)},
      {"half.mp3", EncodeMp3(2, 22050, 0.5)},
      {"free.mp3", freeFormat},
      {"garbage.mp3", garbage},
  };
  for (const auto& c : cases) {
    VQMP3Stream s;
    g_VQerror = 0;
    EXPECT_FALSE(s.Open(Write(c.name, c.bytes).c_str())) << c.name;
    EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE) << c.name;
    EXPECT_EQ(s.m_file, nullptr);
    EXPECT_EQ(s.m_opened, 0);
  }
  VQMP3Stream s;
  EXPECT_FALSE(s.Open((dir_ / "missing.mp3").string().c_str()));
}

TEST_F(Mp3, RefillsSkipTheFirstFrameAndRepeatWithoutIt) {
  const Bytes file = EncodeMp3(2, 44100, 0.5);
  const std::vector<Bytes> frames = ReferenceFrames(file);
  ASSERT_GT(frames.size(), 5u);
  const std::string path = Write("tone.mp3", file);
  VQMP3Stream s;
  ASSERT_TRUE(s.Open(path.c_str()));
  s.m_repeat = 1;
  s.Rewind();
  std::vector<uint8_t> dest(frames.size() * kFrameBytes + kFrameBytes);
  uint32_t written = 1;
  // Room for less than one frame: nothing written, the stream goes on.
  EXPECT_TRUE(s.Decode(dest.data(), kFrameBytes - 1, &written));
  EXPECT_EQ(written, 0u);
  // Frames 1..N-1, then the file starts over, again without its first frame: 1, 2.
  ASSERT_TRUE(s.Decode(dest.data(), uint32_t(dest.size()), &written));
  ASSERT_EQ(written, dest.size());
  Bytes expected;
  for (size_t i = 1; i < frames.size(); ++i) expected.insert(expected.end(), frames[i].begin(), frames[i].end());
  expected.insert(expected.end(), frames[1].begin(), frames[1].end());
  expected.insert(expected.end(), frames[2].begin(), frames[2].end());
  EXPECT_TRUE(Bytes(dest.begin(), dest.end()) == expected);
  EXPECT_EQ(s.m_restarted, 1);

  // Without repeat the rest of the last refill is silent and the end follows once the ring's
  // audio has played out.
  s.m_repeat = 0;
  s.m_endOfData = 0;
  s.m_restarted = 0;
  s.m_playing = 1;
  s.Rewind();
  std::fill(dest.begin(), dest.end(), 0xAB);
  ASSERT_TRUE(s.Decode(dest.data(), uint32_t(dest.size()), &written));
  EXPECT_EQ(written, dest.size());  // the silent rest included
  EXPECT_EQ(s.m_endOfData, 1);
  EXPECT_TRUE(Bytes(dest.begin(), dest.begin() + long(expected.size() - 2 * kFrameBytes)) ==
              Bytes(expected.begin(), expected.end() - 2 * kFrameBytes));
  for (size_t i = (frames.size() - 1) * kFrameBytes; i < dest.size(); ++i) ASSERT_EQ(dest[i], 0) << i;
  uint64_t drained = 0;
  int refills = 0;
  while (s.Decode(dest.data(), 10 * kFrameBytes, &written) && refills < 1000) {
    drained += written;
    ++refills;
  }
  EXPECT_EQ(drained, (s.m_ringSize - dest.size()) + (frames.size() - 1) * kFrameBytes);
  EXPECT_EQ(s.m_playing, 0);
}

TEST_F(Mp3, FileOfOneFrameEndsEvenWithRepeat) {
  // The first frame and the start of the second, whose header the decoder needs to take
  // the first: it gives exactly one frame.
  const Bytes whole = EncodeMp3(2, 44100, 0.2);
  ASSERT_GT(whole.size(), 1000u);
  const size_t first = 144 * 128000 / 44100 + ((whole[2] >> 1) & 1);  // a 128 kbit/s frame
  Bytes file;
  for (size_t extra : {4, 16, 64, 200}) {
    const Bytes cut(whole.begin(), whole.begin() + long(first + extra));
    if (file.empty() && ReferenceFrames(cut).size() == 1) file = cut;
  }
  ASSERT_FALSE(file.empty());
  VQMP3Stream s;
  ASSERT_TRUE(s.Open(Write("one.mp3", file).c_str())) << g_VQerror;
  s.m_repeat = 1;
  s.m_playing = 1;
  s.Rewind();
  std::vector<uint8_t> dest(20 * kFrameBytes);
  uint32_t written = 0;
  int refills = 0;
  while (s.Decode(dest.data(), uint32_t(dest.size()), &written) && refills < 1000) ++refills;
  EXPECT_LT(refills, 1000);
  EXPECT_EQ(s.m_playing, 0);
}

TEST_F(Mp3, ScrambledFileIsUnscrambledWhole) {
  const Bytes file = EncodeMp3(2, 44100, 0.3);
  Bytes scrambled = file;
  VQscramble(scrambled.data(), scrambled.size(), nullptr, 0);
  VQMP3Stream plain, vq3;
  ASSERT_TRUE(plain.Open(Write("a.mp3", file).c_str()));
  ASSERT_TRUE(vq3.Open(Write("a.vq3", scrambled).c_str())) << g_VQerror;
  ASSERT_EQ(plain.m_fileSize, vq3.m_fileSize);
  EXPECT_EQ(0, std::memcmp(plain.m_file, vq3.m_file, plain.m_fileSize));
  // A scrambled file read as plain MP3 does not decode.
  VQMP3Stream wrong;
  EXPECT_FALSE(wrong.Open(Write("b.mp3", scrambled).c_str()));
}

namespace {

class Mp3Device : public Mp3 {
 protected:
  void SetUp() override {
    Mp3::SetUp();
    device_ = OpenDevice();
    ASSERT_NE(device_, nullptr);
  }
  void TearDown() override {
    if (device_) device_->Close();
  }
  // Runs frames of 20 ms (render, then the per-frame update) while the stream plays, at most
  // limitMs; the milliseconds run and the level heard.
  uint32_t Run(VQSoundStream& s, uint32_t limitMs, double* rms = nullptr) {
    uint32_t ms = 0;
    double sum = 0;
    while (s.m_playing && ms < limitMs) {
      sum += Rms(Render(device_, 20), 0);
      VQdsound_UpdateBuffers();
      ms += 20;
    }
    if (rms) *rms = ms ? sum / (ms / 20) : 0;
    return ms;
  }
  VQDSoundDevice* device_ = nullptr;
};

}  // namespace

TEST_F(Mp3Device, StreamsToItsEndAndWithRepeat) {
  const Bytes file = EncodeMp3(2, 44100, 1.0);
  const size_t frames = ReferenceFrames(file).size();
  VQMP3Stream s;
  ASSERT_TRUE(s.Start(Write("tone.mp3", file).c_str(), device_)) << g_VQerror;
  ASSERT_NE(s.m_buffer, nullptr);
  EXPECT_STREQ(s.m_buffer->m_name, "_dec_sound");
  ASSERT_TRUE(s.Play(false));
  EXPECT_EQ(s.m_playing, 1);
  double level = 0;
  const uint32_t ms = Run(s, 10000, &level);
  // Everything but the first frame is heard, then the stream ends (within one 20 ms frame
  // and the one-frame refill step).
  const double audioMs = (frames - 1) * 1152 * 1000.0 / 44100;
  EXPECT_NEAR(ms, audioMs, 50.0);
  EXPECT_GT(level, 0.1);
  EXPECT_EQ(s.m_playing, 0);
  EXPECT_FALSE(s.m_buffer->m_flags & VQSOUND_PLAYING);

  // With repeat it starts over without a pause and goes on.
  ASSERT_TRUE(s.Play(true));
  EXPECT_EQ(Run(s, 3000), 3000u);
  EXPECT_EQ(s.m_playing, 1);
  EXPECT_EQ(s.m_restarted, 1);
  EXPECT_GT(Rms(Render(device_, 100), 0), 0.1);
  s.SetVolume(0.0f);
  EXPECT_LT(Rms(Render(device_, 100), 0), 1e-6);
  s.Pause(true);
  EXPECT_EQ(s.m_playing, 0);
  s.Pause(false);
  EXPECT_EQ(s.m_playing, 1);
  s.Close();
  EXPECT_EQ(s.m_buffer, nullptr);
}

TEST_F(Mp3Device, WithoutTheDecoderLibraryTheStreamDoesNotStart) {
  const std::string path = Write("tone.mp3", EncodeMp3(2, 44100, 0.3));
  VQmp3_UnloadLibrary();
  host::library_block("mpglib.dll", true);
  VQMP3Stream s;
  EXPECT_FALSE(s.Start(path.c_str(), device_));
  EXPECT_EQ(s.m_buffer, nullptr);
  EXPECT_FALSE(VQmp3_LibraryLoaded());
  host::library_block("mpglib.dll", false);
  // A failed open unloads the library it loaded itself.
  const std::string mono = Write("mono.mp3", EncodeMp3(1, 44100, 0.3));
  EXPECT_FALSE(s.Start(mono.c_str(), device_));
  EXPECT_FALSE(VQmp3_LibraryLoaded());
  EXPECT_TRUE(s.Start(path.c_str(), device_));
  EXPECT_TRUE(VQmp3_LibraryLoaded());
}
