// A headless car-demo run of a scripted drive (accelerate, turn, brake), checked through its
// trace and its rendered mixer output; and the car sounds' round trip through the sound cache.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "car_fixture.h"
#include "host/directx/dsound.h"
#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"

namespace {

struct Row {
  float t, x, y, z, up, speed, rpm;
  int gear;
  float throttle, brake, steering, smoke, slip, pitch, gain;
};

std::vector<Row> ReadTrace(const std::string& text) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    Row r{};
    if (std::sscanf(line.c_str(), "%f,%f,%f,%f,%f,%f,%f,%d,%f,%f,%f,%f,%f,%f,%f", &r.t, &r.x, &r.y,
                    &r.z, &r.up, &r.speed, &r.rpm, &r.gear, &r.throttle, &r.brake, &r.steering,
                    &r.smoke, &r.slip, &r.pitch, &r.gain) == 15)
      rows.push_back(r);
  }
  return rows;
}

// 16-bit stereo samples of a WAVE file written by car-demo (44-byte header).
std::vector<int16_t> ReadWave(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples;
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0) return samples;
  samples.resize((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

// Zero crossings a second of the left channel over [from, to) seconds, and its RMS.
void Measure(const std::vector<int16_t>& s, float from, float to, double* crossings, double* rms) {
  const size_t a = size_t(from * 44100) * 2, b = std::min(s.size(), size_t(to * 44100) * 2);
  size_t n = 0, count = 0;
  double sum = 0.0;
  for (size_t i = a; i + 2 < b; i += 2) {
    if ((s[i] < 0) != (s[i + 2] < 0)) ++n;
    sum += double(s[i]) * s[i];
    ++count;
  }
  *crossings = count ? double(n) / (double(count) / 44100.0) : 0.0;
  *rms = count ? std::sqrt(sum / double(count)) : 0.0;
}

#ifdef VQ_CAR_DEMO
TEST(CarDemo, ScriptedDriveStaysUprightWithRisingEngineSoundAndSmokeWhileWheelsSlip) {
  TempFolder dir("demo");
  const std::string script = (dir.path() / "drive.txt").string();
  {
    std::ofstream s(script);
    s << "# accelerate, turn right, brake hard\n10 key up down\n300 key right down\n360 key right "
         "up\n"
         "420 key up up\n420 key down down\n";
  }
  const std::string wav = (dir.path() / "mix.wav").string(),
                    shot = (dir.path() / "shot.jpg").string(),
                    trace = (dir.path() / "trace.csv").string();
  const std::string command = std::string(VQ_CAR_DEMO) + " --headless --data " + VQ_GAME_DIR +
                              " --class sport --seconds 10 --trace --input " + script +
                              " --sound " + wav + " --shot " + shot + " > " + trace;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(trace);
  std::stringstream text;
  text << in.rdbuf();
  const std::vector<Row> rows = ReadTrace(text.str());
  ASSERT_GE(rows.size(), 38u);
  float topSpeed = 0.0f;
  bool smokedWhileSlipping = false;
  for (const Row& r : rows) {
    EXPECT_GT(r.up, 0.95f) << "t " << r.t;
    EXPECT_GT(r.z, -0.15f) << "t " << r.t;
    EXPECT_LT(r.z, 0.35f) << "t " << r.t;
    topSpeed = std::max(topSpeed, r.speed);
    if (r.slip < 0.1f) EXPECT_EQ(r.smoke, 0.0f) << "no smoke from gripping tyres at t " << r.t;
    if (r.slip > 0.4f) {
      EXPECT_GT(r.smoke, 0.0f) << "smoke from slipping tyres at t " << r.t;
      smokedWhileSlipping = true;
    }
  }
  EXPECT_TRUE(smokedWhileSlipping) << "the turn and the hard braking make the tyres slip";
  EXPECT_GT(topSpeed, 15.0f);
  EXPECT_LT(rows.back().speed, topSpeed - 1.0f) << "braking slows the car";
  // The engine note: the mixer's output crosses zero faster at high revs than near idle.
  const std::vector<int16_t> mix = ReadWave(wav);
  ASSERT_GT(mix.size(), size_t(9.5 * 44100 * 2));
  double idleRate, idleRms, fastRate, fastRms;
  Measure(mix, 0.3f, 1.3f, &idleRate, &idleRms);
  Measure(mix, 6.0f, 7.0f, &fastRate, &fastRms);
  EXPECT_GT(idleRms, 100.0) << "the engine is heard";
  EXPECT_GT(fastRms, 100.0);
  EXPECT_GT(fastRate, 1.8 * idleRate) << "engine sound rises with speed";
  EXPECT_GT(std::filesystem::file_size(shot), 1000u) << "the screenshot";
}

// The car of every class, the low open one and the tall one among them, pulls away under full
// throttle from the start on flat ground, stays on its wheels (the body's contact spheres never
// hold the car up), and reaches at least its class's speed within eight seconds: the engine's
// turning parts do not weigh on a light car like a second one.
TEST(CarDemo, EveryClassPullsAwayOnItsWheelsUnderFullThrottle) {
  struct Case {
    const char* cls;
    float minSpeed;  // m/s after 8 s
  };
  // The smallest car has the weakest engine (it is still in second gear after 8 s).
  static const Case kCases[] = {{"junior_std", 12}, {"rookie", 20},    {"street", 20},
                                {"touring", 20},    {"sport", 20},     {"rally", 20},
                                {"gt", 20},         {"prototype", 20}, {"formula", 20},
                                {"monster", 20}};
  TempFolder dir("classes");
  const std::string script = (dir.path() / "throttle.txt").string();
  {
    std::ofstream s(script);
    s << "0 key up down\n";
  }
  // All classes drive at once, each writing its trace and its exit status.
  std::string command;
  for (const Case& c : kCases) {
    const std::string trace = (dir.path() / c.cls).string();
    command += "( " + std::string(VQ_CAR_DEMO) + " --headless --data " + VQ_GAME_DIR +
               " --class " + c.cls + " --seconds 8 --trace --input " + script + " > " + trace +
               ".csv; echo $? > " + trace + ".status ) &\n";
  }
  command += "wait\n";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.cls);
    const std::string trace = (dir.path() / c.cls).string();
    std::ifstream status(trace + ".status");
    int code = -1;
    status >> code;
    EXPECT_EQ(code, 0);
    std::ifstream in(trace + ".csv");
    std::stringstream text;
    text << in.rdbuf();
    const std::vector<Row> rows = ReadTrace(text.str());
    ASSERT_GE(rows.size(), 30u);
    for (const Row& r : rows) {
      EXPECT_GT(r.up, 0.95f) << "t " << r.t;
      EXPECT_LT(r.z, 0.35f) << "the body does not hold the car off its wheels at t " << r.t;
    }
    EXPECT_GT(rows.back().speed, c.minSpeed) << "after " << rows.back().t << " s";
  }
}

TEST(CarDemo, BadCommandLinesAndMissingClass) {
  const std::string demo = VQ_CAR_DEMO;
  EXPECT_EQ(WEXITSTATUS(std::system((demo + " --seconds -3 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((demo + " --car 7 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((demo + " --frobnicate 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((demo + " --headless --data " VQ_GAME_DIR
                                            " --class hovercraft --seconds 0.1 2>/dev/null")
                                        .c_str())),
            1);
}
#endif

// Car sounds come from the sound cache and go back through it.
TEST_F(CarWorld, SoundBuffersGoBackThroughTheSoundCache) {
  host::ds_set_render_to_memory(true);
  auto* sound = static_cast<VQDSoundDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0));
  ASSERT_NE(sound, nullptr);
  ASSERT_TRUE(sound->Open(0));
  ASSERT_NE(sound->m_cache, nullptr);
  ASSERT_TRUE(sound->m_cache->SetFolder(VQ_GAME_DIR "/Data/Audio", false));
  {
    CarCatalog catalog(VQ_GAME_DIR, m_display, sound);
    ASSERT_TRUE(catalog.LoadClass("gt", nullptr));
    const uint32_t before = sound->m_cache->GetCount();
    const uint32_t buffersBefore = sound->m_bufferCount;
    {
      Car car;
      CarSetup setup;
      setup.carName = "gt";
      ASSERT_TRUE(car.Create(&catalog, m_ground.get(), setup)) << car.GetError();
      EXPECT_EQ(sound->m_cache->GetCount(), before + 3) << "engine, road noise and horn";
      car.SetHorn(true);
      EXPECT_TRUE(car.IsHornOn());
      Car computer;
      setup.computer = true;
      setup.position = VQVector(5, 0, 0);
      ASSERT_TRUE(computer.Create(&catalog, m_ground.get(), setup)) << computer.GetError();
      EXPECT_EQ(sound->m_cache->GetCount(), before + 4) << "a computer car: the engine only";
      computer.Release(true);
      EXPECT_EQ(sound->m_cache->GetCount(), before + 3);
    }
    EXPECT_EQ(sound->m_cache->GetCount(), before) << "every buffer went back";
    EXPECT_EQ(sound->m_bufferCount, buffersBefore);
  }
  sound->Close();  // nothing of the cars is left to delete twice
  host::ds_set_render_to_memory(false);
}

}  // namespace
