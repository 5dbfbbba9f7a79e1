// WAVE and ".vqw" files read into sound buffers, and the sound cache's name rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/util/VQscramble.h"
#include "tests/support/sound_support.h"

namespace fs = std::filesystem;
using namespace soundtest;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}

// A chunk with its id, size (declared may differ from the body) and pad byte when odd.
void Chunk(Bytes& b, const char* id, const Bytes& body, int64_t declared = -1) {
  PutId(b, id);
  Put32(b, declared < 0 ? uint32_t(body.size()) : uint32_t(declared));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
}

Bytes Fmt(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t size = 16, int32_t blockAlign = -1) {
  Bytes f;
  Put16(f, 1);
  Put16(f, channels);
  Put32(f, rate);
  const uint32_t align = blockAlign < 0 ? channels * bits / 8 : uint32_t(blockAlign);
  Put32(f, align * rate);
  Put16(f, align);
  Put16(f, bits);
  while (f.size() < size) f.push_back(0);
  return f;
}

// "RIFF", size, "WAVE", then the chunks; riffSize -1: the true size.
Bytes Riff(const Bytes& chunks, int64_t riffSize = -1) {
  Bytes b;
  PutId(b, "RIFF");
  Put32(b, riffSize < 0 ? uint32_t(chunks.size() + 4) : uint32_t(riffSize));
  PutId(b, "WAVE");
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

Bytes Samples(size_t n) {
  Bytes s(n);
  for (size_t i = 0; i < n; ++i) s[i] = uint8_t(i * 7 + 3);
  return s;
}

Bytes Wave(const Bytes& data, uint32_t channels = 2) {
  Bytes c;
  Chunk(c, "fmt ", Fmt(channels, 22050, 16));
  Chunk(c, "data", data);
  return Riff(c);
}

class SoundFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path("sound_files") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  std::string Write(const std::string& name, const Bytes& b) {
    const fs::path p = dir_ / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return p.string();
  }
  fs::path dir_;
};

}  // namespace

TEST_F(SoundFiles, WaveReaderTakesFormatAndData) {
  const Bytes data = Samples(400);
  Bytes c;
  Chunk(c, "fmt ", Fmt(2, 22050, 16, 16));
  Chunk(c, "LIST", Samples(5));  // another id, odd size: skipped with one pad byte
  Chunk(c, "data", data);
  VQDSoundBuffer b;
  ASSERT_TRUE(b.ReadWave(Write("a.wav", Riff(c)).c_str(), false));
  EXPECT_EQ(b.m_format.channels, 2);
  EXPECT_EQ(b.m_format.samples_per_sec, 22050u);
  EXPECT_EQ(b.m_format.block_align, 4);
  EXPECT_EQ(b.m_format.bits_per_sample, 16);
  EXPECT_EQ(b.m_format.extra_size, 0);
  ASSERT_EQ(b.m_dataSize, data.size());
  EXPECT_EQ(Bytes(b.m_data, b.m_data + b.m_dataSize), data);
  // An 18-byte format is taken whole.
  Bytes c18;
  Chunk(c18, "fmt ", Fmt(1, 11025, 8, 18));
  Chunk(c18, "data", Samples(11));
  ASSERT_TRUE(b.ReadWave(Write("b.wav", Riff(c18)).c_str(), false));
  EXPECT_EQ(b.m_format.channels, 1);
  EXPECT_EQ(b.m_dataSize, 11u);
  b.ReleaseData();
}

TEST_F(SoundFiles, ScrambledWaveIsUnscrambledAfterReading) {
  const Bytes data = Samples(301);
  Bytes scrambled = data;
  VQscramble(scrambled.data(), scrambled.size(), nullptr, 0);
  const std::string path = Write("s.vqw", Wave(scrambled));
  VQDSoundBuffer b;
  ASSERT_TRUE(b.ReadWave(path.c_str(), true));
  EXPECT_EQ(Bytes(b.m_data, b.m_data + b.m_dataSize), data);
  EXPECT_FALSE(b.ReadWave(path.c_str(), false));
  EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
  b.ReleaseData();
}

TEST_F(SoundFiles, BadWaveFilesFailWithTheirCodes) {
  struct Case {
    const char* name;
    Bytes bytes;
    int32_t error;
  };
  Bytes fmt20, zeroChannels, zeroRate, zeroAlign, dataPast, chunkPast, noWave;
  Chunk(fmt20, "fmt ", Fmt(2, 22050, 16, 20));
  Chunk(zeroChannels, "fmt ", Fmt(0, 22050, 16));
  Chunk(zeroRate, "fmt ", Fmt(2, 0, 16));
  Chunk(zeroAlign, "fmt ", Fmt(2, 22050, 16, 16, 0));
  Chunk(dataPast, "fmt ", Fmt(2, 22050, 16));
  Chunk(dataPast, "data", Samples(8), 0x7FFFFFF0);
  Chunk(chunkPast, "JUNK", Samples(4), 1000);
  Bytes notRiff = Wave(Samples(8));
  notRiff[0] = 'X';
  Bytes notWave = Wave(Samples(8));
  notWave[8] = 'X';
  Bytes truncatedHeader = {'R', 'I', 'F', 'F'};
  const Case cases[] = {
      {"fmt20.wav", Riff(fmt20), VQERR_BAD_HEADER},
      {"channels.wav", Riff(zeroChannels), VQERR_BAD_HEADER},
      {"rate.wav", Riff(zeroRate), VQERR_BAD_HEADER},
      {"align.wav", Riff(zeroAlign), VQERR_BAD_HEADER},
      {"datapast.wav", Riff(dataPast), VQERR_FILE_TYPE},
      {"chunkpast.wav", Riff(chunkPast), VQERR_FILE_TYPE},
      {"riffpast.wav", Riff(Bytes(), 100), VQERR_FILE_TYPE},
      {"notriff.wav", notRiff, VQERR_FILE_TYPE},
      {"notwave.wav", notWave, VQERR_FILE_TYPE},
      {"short.wav", truncatedHeader, VQERR_FILE_TYPE},
      {"text.txt", Wave(Samples(8)), VQERR_FILE_TYPE},
  };
  for (const auto& c : cases) {
    VQDSoundBuffer b;
    g_VQerror = 0;
    EXPECT_FALSE(b.ReadWave(Write(c.name, c.bytes).c_str(), true)) << c.name;
    EXPECT_EQ(g_VQerror, c.error) << c.name;
    b.ReleaseData();
  }
  VQDSoundBuffer b;
  EXPECT_FALSE(b.ReadWave((dir_ / "missing.wav").string().c_str(), true));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
  // A RIFF size below 5 reads no chunks and succeeds.
  EXPECT_TRUE(b.ReadWave(Write("tiny.wav", Riff(Bytes(), 4)).c_str(), true));
  EXPECT_EQ(b.m_dataSize, 0u);
}

namespace {

class SoundCache : public SoundFiles {
 protected:
  void SetUp() override {
    SoundFiles::SetUp();
    device_ = OpenDevice();
    ASSERT_NE(device_, nullptr);
    cache_ = device_->m_cache;
    ASSERT_TRUE(cache_->SetFolder(dir_.string().c_str(), false));
  }
  void TearDown() override {
    if (device_) device_->Close();
  }
  VQDSoundDevice* device_ = nullptr;
  VQSoundManager* cache_ = nullptr;
};

}  // namespace

TEST_F(SoundCache, SameNameTwiceGivesTwoBuffersSharingData) {
  Write("Horn.wav", Wave(Samples(64)));
  VQSoundBuffer* a = cache_->Load("HORN.wav", true);
  ASSERT_NE(a, nullptr) << g_VQerror;
  VQSoundBuffer* b = cache_->Load("horn.WAV", true);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->m_data, b->m_data);
  ASSERT_EQ(cache_->GetCount(), 2u);
  EXPECT_STREQ(cache_->GetName(0), "horn.wav");
  EXPECT_STREQ(cache_->GetName(1), "horn.wav");
  EXPECT_EQ(cache_->Load("other.wav", false), nullptr);
  // Release moves the last entry into the freed place.
  EXPECT_TRUE(cache_->Release(a));
  EXPECT_EQ(cache_->GetCount(), 1u);
  EXPECT_EQ(cache_->GetBuffer(0), b);
  EXPECT_EQ(*b->m_sharedCount, 1u);
}

TEST_F(SoundCache, BareNamesCutOneExtensionAndPreferScrambledFiles) {
  cache_->SetBareNames(true);
  Write("skid.wav", Wave(Samples(16)));
  Write("crash.wav", Wave(Samples(16)));
  Write("crash.vqw", Wave(Samples(32)));
  Write("my.engine.wav", Wave(Samples(24)));
  VQSoundBuffer* a = cache_->Load("Skid", true);
  VQSoundBuffer* b = cache_->Load("skid.wav", true);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->m_data, b->m_data);
  EXPECT_STREQ(cache_->GetName(1), "skid");
  VQSoundBuffer* c = cache_->Load("crash", true);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->m_dataSize, 32u);  // the ".vqw" file
  VQSoundBuffer* e = cache_->Load("my.engine.wav", true);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(cache_->GetName(3), "my.engine");
}

TEST_F(SoundCache, MissingNamesFullCacheAndLongNames) {
  EXPECT_EQ(cache_->Load(nullptr, true), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_EQ(cache_->Load("nothing.wav", true), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NOT_FOUND);
  const std::string longName(VQSOUND_PATH_SIZE + 40, 'a');
  EXPECT_EQ(cache_->Load(longName.c_str(), true), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NAME_TOO_LONG);
  // A name that fits alone but not with the folder before it.
  const std::string nearly(VQSOUND_PATH_SIZE - 5, 'b');
  EXPECT_EQ(cache_->Load(nearly.c_str(), true), nullptr);
  EXPECT_FALSE(cache_->SetFolder(longName.c_str(), true));
  EXPECT_EQ(g_VQerror, VQERR_NAME_TOO_LONG);

  Write("beep.wav", Wave(Samples(8)));
  for (uint32_t i = 0; i < VQSOUNDCACHE_MAX_ENTRIES; ++i) ASSERT_NE(cache_->Load("beep.wav", true), nullptr) << i;
  EXPECT_EQ(cache_->Load("beep.wav", true), nullptr);  // cached, but no room for the entry
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  EXPECT_EQ(cache_->Load("boop.wav", true), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  cache_->ReleaseAll();
  EXPECT_EQ(cache_->GetCount(), 0u);
}

TEST_F(SoundCache, RecursiveSearchFindsSoundsInSubFolders) {
  Write("cars/red/engine.wav", Wave(Samples(12)));
  EXPECT_EQ(cache_->Load("engine.wav", true), nullptr);
  ASSERT_TRUE(cache_->SetFolder(dir_.string().c_str(), true));
  VQSoundBuffer* b = cache_->Load("engine.wav", true);
  ASSERT_NE(b, nullptr) << g_VQerror;
  EXPECT_EQ(b->m_dataSize, 12u);
  // The buffer is named after the path it came from.
  EXPECT_NE(std::string(b->m_name).find("engine.wav"), std::string::npos);
  // An absolute name ignores the folder.
  const std::string absolute = fs::absolute(dir_ / "cars" / "red" / "engine.wav").string();
  ASSERT_TRUE(cache_->SetFolder("nowhere", false));
  EXPECT_NE(cache_->Load(absolute.c_str(), true), nullptr);
}

namespace {

Bytes ToneWave(double hz, uint32_t frames) {
  Bytes data;
  for (uint32_t i = 0; i < frames; ++i) Put16(data, uint16_t(int16_t(16000 * std::sin(2 * M_PI * hz * i / kRate))));
  Bytes c;
  Chunk(c, "fmt ", Fmt(1, kRate, 16));
  Chunk(c, "data", data);
  return Riff(c);
}

}  // namespace

TEST_F(SoundFiles, DemoRendersTheMixToAWaveFile) {
  const std::string in = Write("tone.wav", ToneWave(1000.0, kRate / 2));
  const std::string out = (dir_ / "mix.wav").string();
  const std::string demo = std::string(VQ_BIN_DIR) + "/sound-demo";
  const std::string cmd = demo + " " + in + " --loop --speed 50 --pan 50 --side --seconds 1 --render " + out + " > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  // Read the result back through the engine's reader and measure it.
  VQDSoundBuffer b;
  ASSERT_TRUE(b.ReadWave(out.c_str(), false));
  EXPECT_EQ(b.m_format.channels, 2);
  EXPECT_EQ(b.m_format.samples_per_sec, kRate);
  EXPECT_EQ(b.m_format.bits_per_sample, 16);
  ASSERT_EQ(b.m_dataSize, kRate * 4);
  std::vector<int16_t> s(b.m_dataSize / 2);
  std::memcpy(s.data(), b.m_data, b.m_dataSize);
  EXPECT_NEAR(Pitch(s, 0), 500.0, 3.0);                 // half speed
  EXPECT_NEAR(Db(Rms(s, 1) / Rms(s, 0)), -10.0, 0.2);   // 50 % to the left side
  b.ReleaseData();
  // The output may not be one of the inputs.
  EXPECT_NE(std::system((demo + " " + in + " --render " + in + " 2> /dev/null").c_str()), 0);
  EXPECT_TRUE(b.ReadWave(in.c_str(), false));
  EXPECT_EQ(b.m_dataSize, kRate);
  b.ReleaseData();
}
