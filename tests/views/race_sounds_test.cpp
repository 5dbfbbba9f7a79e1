// What a race sounds like, measured on the mixed output of the sound device (rendered into
// memory, frame by frame with the race): the countdown beeps and the crowd at the start, a
// collision sound when a car is thrown into the barrier, the rain in a wet weather. The race is
// shown through one small view of the OpenGL device, whose camera is the listener of the
// track's positional sounds. The cars are bare vehicle models, which make no sound of their
// own: everything heard comes from the track and the weather.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "QVX/race/RaceDisplay.h"
#include "QVX/race/RaceSounds.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "QVX/race/TrackSoundEvent.h"
#include "QVX/menu/Menu.h"
#include "QVX/shell/Program.h"
#include "tests/race/race_world.h"
#include "tests/support/sound_support.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/vehicle/VQVehicleModel.h"

using namespace racetest;

namespace {

constexpr float kStep = 0.02f;  // race seconds per frame; 882 frames of audio
constexpr uint32_t kFramesPerStep = 882;

// Power of one frequency in a stretch of the left channel (Goertzel), per sample.
double Tone(const std::vector<int16_t>& mix, size_t from, size_t to, double hz) {
  const double w = 2.0 * M_PI * hz / soundtest::kRate, c = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  to = std::min(to, mix.size() / 2);
  for (size_t i = from; i < to; ++i) {
    const double s0 = mix[2 * i] / 32768.0 + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const size_t n = to > from ? to - from : 1;
  return (s1 * s1 + s2 * s2 - c * s1 * s2) / double(n * n);
}

double Rms(const std::vector<int16_t>& mix, size_t from, size_t to) {
  to = std::min(to, mix.size() / 2);
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(mix[2 * i]) * mix[2 * i];
  return to > from ? std::sqrt(sum / double(to - from)) / 32768.0 : 0.0;
}

size_t At(float seconds) { return size_t(seconds * soundtest::kRate); }

class RaceSoundsTest : public RaceWorld {
 protected:
  void SetUp() override {
    RaceWorld::SetUp();
    sound_ = soundtest::OpenDevice();
    ASSERT_NE(sound_, nullptr);
    sound_->m_limiter->SetMaxVoices(32);
    ASSERT_TRUE(sound_->m_cache->SetFolder((DataDir() + "/Audio").c_str(), false));
    device_ = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(device_->Open(0));
    canvas_ = device_->CreateCanvas(2, 0, 160, 120, 0, 0);
    ASSERT_NE(canvas_, nullptr);
    canvas_->Show(true);
  }
  void TearDown() override {
    view_.Release();
    race_.reset();
    if (sound_) sound_->Close();
    host::ds_set_render_to_memory(false);
    if (device_) device_->Close();
    RaceWorld::TearDown();
  }
  void Race(const std::string& track, const std::string& weather, int32_t mode = GAME_MODE_SINGLE,
            uint32_t cars = 2, uint32_t views = 1, const std::string& carClass = "") {
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig c = Config(track, 1, 5);
    c.weather = weather;
    c.carClass = carClass;
    c.gameMode = mode;
    c.display = device_;
    c.sound = sound_;
    c.frameStep = kStep;
    ASSERT_TRUE(race_->Load(c)) << race_->m_error;
    ASSERT_NE(race_->GetSounds(), nullptr);
    for (const AIParameters& p : TrackDrivers(track, cars)) ASSERT_TRUE(race_->AddComputer(p));
    ASSERT_TRUE(race_->Start());
    RaceDisplayOptions o;
    o.hud = o.map = false;
    o.shadows = false;
    o.views = views;
    ASSERT_TRUE(view_.Init(race_.get(), canvas_, o)) << view_.m_error;
    mix_.clear();
  }
  // One race frame: the race, the view (whose camera is the listener) and the frame's audio.
  void Frame() {
    race_->Frame();
    view_.Update(kStep);
    g_VQsystem.RenderDisplays();
    VQdsound_UpdateBuffers();
    const size_t at = mix_.size();
    mix_.resize(at + 2 * kFramesPerStep);
    sound_->m_dsound->render(mix_.data() + at, kFramesPerStep);
  }
  float Now() const { return float(mix_.size() / 2) / float(soundtest::kRate); }

  VQDSoundDevice* sound_ = nullptr;
  VQDisplayDevice* device_ = nullptr;
  VQCanvas* canvas_ = nullptr;
  std::unique_ptr<RaceSession> race_;
  RaceDisplay view_;
  std::vector<int16_t> mix_;  // stereo, from the race start
};

// The countdown beeps once for each number and longer and higher for the green light; the crowd
// in the stands beside the start line is heard from the start on, but not in practice.
TEST_F(RaceSoundsTest, CountdownBeepsAndTheCrowdAtTheStart) {
  Race("harbour", "sunny");
  std::vector<float> ready;
  float go = -1.0f;
  int32_t last = race_->GetTrack().m_countdownImage;
  while (race_->RaceTime() < 1.0f && Now() < 20.0f) {
    const float t = Now();
    Frame();
    const int32_t c = race_->GetTrack().m_countdownImage;
    if (c != last && c == RACESOUND_COUNTDOWN_GO && go < 0.0f)
      go = t;
    else if (c != last && c >= 0 && c != RACESOUND_COUNTDOWN_GO)
      ready.push_back(t);
    last = c;
  }
  ASSERT_EQ(ready.size(), 4u) << "5, 4, 3 and 2 are shown";
  ASSERT_GT(go, ready.back());
  EXPECT_EQ(race_->GetSounds()->BeepCount(), 5u);
  for (float t : ready) {
    const double beep = Tone(mix_, At(t + 0.03f), At(t + 0.2f), 880.0);
    const double before = Tone(mix_, At(t - 0.5f), At(t - 0.33f), 880.0);
    EXPECT_GT(beep, 20.0 * before + 1e-5) << "ready beep at " << t << " s";
  }
  EXPECT_GT(Tone(mix_, At(go + 0.03f), At(go + 0.5f), 1320.0),
            20.0 * Tone(mix_, At(go - 0.5f), At(go - 0.03f), 1320.0) + 1e-5);
  const double crowd = Rms(mix_, At(0.5f), At(1.8f));
  EXPECT_GT(crowd, 0.005) << "the crowd before the first beep";

  view_.Release();
  race_.reset();
  Race("harbour", "sunny", GAME_MODE_PRACTICE);
  while (Now() < 1.8f) Frame();
  EXPECT_LT(Rms(mix_, At(0.5f), At(1.8f)), crowd * 0.05) << "no crowd in practice";
}

// A car thrown sideways into the barrier is heard hitting it, well above the crowd.
TEST_F(RaceSoundsTest, ACarThrownIntoTheBarrierIsHeard) {
  Race("harbour", "sunny");
  while (race_->RaceTime() < 12.0f && Now() < 40.0f) Frame();
  // Half a second without a collision voice: what is heard then is the crowd at most.
  auto busy = [&] {
    for (const TrackCollisionSlot& slot : race_->GetSounds()->Board().m_slots)
      if (slot.voice) return true;
    return false;
  };
  size_t quietFrom = mix_.size() / 2;
  for (int i = 0; i < 500 && mix_.size() / 2 - quietFrom < At(0.5f); ++i) {
    Frame();
    if (busy()) quietFrom = mix_.size() / 2;
  }
  const double quiet = Rms(mix_, quietFrom, mix_.size() / 2);
  const uint32_t before = race_->GetSounds()->CollisionCount();
  VQVehicleModel* car = race_->GetRacer(0)->GetVehicle();
  ASSERT_NE(car, nullptr);
  const VQMatrix* m = car->GetWorldMatrix();
  const VQVector right(m->m[0], m->m[1], 0.0f);
  car->SetVelocity(car->GetVelocity() + right * (30.0f / std::max(0.1f, right.Length())));
  const size_t crashFrom = mix_.size() / 2;
  for (int i = 0; i < 75 && race_->GetSounds()->CollisionCount() == before; ++i) Frame();
  for (int i = 0; i < 10; ++i) Frame();
  EXPECT_GT(race_->GetSounds()->CollisionCount(), before);
  const double crash = Rms(mix_, crashFrom, mix_.size() / 2);
  EXPECT_GT(crash, 2.0 * quiet + 0.02);
}

// The rain is heard in a thunderstorm (whose stands are empty) and not in the sun far from the
// stands.
TEST_F(RaceSoundsTest, RainIsHeardInTheWetWeatherOnly) {
  double level[2] = {};
  const char* weathers[2] = {"thunderstorm", "sunny"};
  for (int w = 0; w < 2; ++w) {
    Race("forest", weathers[w]);
    while (race_->RaceTime() < 10.0f && Now() < 40.0f) Frame();
    const size_t from = mix_.size() / 2;
    for (int i = 0; i < 50; ++i) Frame();
    level[w] = Rms(mix_, from, mix_.size() / 2);
    view_.Release();
    race_.reset();
  }
  EXPECT_GT(level[0], 0.01);
  EXPECT_LT(level[1], level[0] * 0.1);
}

// On a split screen a collision sound carries the view of the car that caused it (1 the upper
// view's car, 2 the lower one's, 0 a car nobody watches), and each view hears only its own car's
// sounds while it renders.
TEST_F(RaceSoundsTest, SplitScreenCollisionSoundsCarryTheirCarsView) {
  Race("harbour", "sunny", GAME_MODE_SINGLE, 3, 2);
  RaceSounds& sounds = *race_->GetSounds();
  const Track& track = race_->GetTrack();
  ASSERT_FALSE(track.m_contacts.empty());
  const VQVector point = race_->GetRacer(0)->GetPosition();
  const VQVector hard(0.0f, 0.0f, 10.0f);
  const uint32_t expected[3] = {1, 2, 0};
  for (uint32_t car = 0; car < 3; ++car) {
    VQVehicleModel* body = race_->GetRacer(car)->GetVehicle();
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(sounds.CarView(body), expected[car]);
    const uint32_t before = sounds.CollisionCount();
    RaceSounds::OnContact(body, nullptr, nullptr, &track.m_contacts[0], point, hard,
                          reinterpret_cast<uintptr_t>(&sounds));
    ASSERT_GT(sounds.CollisionCount(), before) << "car " << car;
  }
  std::vector<uint32_t> owners;
  for (const TrackCollisionSlot& slot : sounds.Board().m_slots)
    if (slot.voice) owners.push_back(slot.owner);
  ASSERT_FALSE(owners.empty());
  EXPECT_EQ(owners.front(), 1u);
  EXPECT_EQ(owners.back(), 0u);
  EXPECT_NE(std::find(owners.begin(), owners.end(), 2u), owners.end());
  // The lower view renders last: its car's sounds are left on, the others' off.
  g_VQsystem.RenderDisplays();
  for (const TrackCollisionSlot& slot : sounds.Board().m_slots) {
    if (slot.voice) EXPECT_EQ(slot.node->m_enabled, slot.owner == 2 ? 1 : 0) << slot.owner;
  }
  // A view that turns to another car takes the tag along.
  view_.Follow(1, 2);
  EXPECT_EQ(sounds.CarView(race_->GetRacer(1)->GetVehicle()), 0u);
  EXPECT_EQ(sounds.CarView(race_->GetRacer(2)->GetVehicle()), 2u);
}

// The sound page of the in-race menu changes the volumes of the running race at once: the
// cars' engines follow the cars slider (down to its floor of a quarter), the crowd and the rain
// the ambient slider, the commentary its own, and the master slider scales them all.
TEST_F(RaceSoundsTest, TheSoundPageChangesTheVolumesOfTheRunningRace) {
  const fs::path old = fs::current_path();
  fs::create_directories(dir_ / "menus" / "Data" / "Players");
  fs::current_path(dir_ / "menus");
  auto program = std::make_unique<Program>();
  Program& p = *program;
  p.m_options.headless = true;
  ASSERT_EQ(p.CreateProfile("Lou", 1), 26);
  ASSERT_TRUE(p.BuildMenus());
  MenuPage* sound = p.m_menu->FindPage(7);
  ASSERT_NE(sound, nullptr);
  auto slide = [&](int32_t item, float value) {
    MenuItem* it = sound->GetItem(item);
    ASSERT_NE(it, nullptr) << item;
    ASSERT_NE(it->value, nullptr) << item;
    it->value->slider01 = value;
    p.OnMenuEvent(sound, it, MENU_INCREASE);
  };
  // Half a second of the race's mix.
  auto level = [&] {
    const size_t from = mix_.size() / 2;
    for (int i = 0; i < 25; ++i) Frame();
    return Rms(mix_, from, mix_.size() / 2);
  };

  // Computer drivers in game cars at the harbour's start beside the stands, the view following
  // the first of them: the crowd, and once they race, its engine.
  Race("harbour", "sunny", GAME_MODE_SINGLE, 2, 1, "junior_std");
  p.m_raceSession = race_.get();
  // Before the green light only the crowd (and the countdown) is heard.
  slide(15, 0.0f);
  for (int i = 0; i < 10; ++i) Frame();
  const double crowd = level();
  slide(12, 0.3f);
  const double softCrowd = level();
  EXPECT_GT(crowd, 0.002);
  EXPECT_LT(softCrowd, 0.5 * crowd);
  EXPECT_GT(softCrowd, 0.1 * crowd);
  slide(12, 0.0f);
  while (race_->RaceTime() < 3.0f && Now() < 40.0f) Frame();
  const double engines = level();
  slide(11, 0.0f);  // held at a quarter
  EXPECT_FLOAT_EQ(p.m_volumeCars, 0.25f);
  const double quarter = level();
  slide(11, 1.0f);
  const double enginesAgain = level();
  slide(10, 0.0f);
  const double silent = level();
  slide(10, 1.0f);
  EXPECT_GT(engines, 0.002);
  EXPECT_GT(enginesAgain, 0.002);
  EXPECT_LT(quarter, 0.5 * std::min(engines, enginesAgain));
  EXPECT_GT(quarter, 0.0);
  EXPECT_LT(silent, 1e-4);
  // A commentary event on the board follows the commentary slider (the generated tracks have
  // none of their own).
  auto* spoken = new TrackSoundEvent();
  ASSERT_TRUE(spoken->Init(TRACKSOUND_COMMENTARY, "fx_crowd.wav", VQVector(0, 0, 0), 100.0f, 0.8f));
  ASSERT_TRUE(spoken->Load(sound_));
  ASSERT_TRUE(race_->GetSounds()->Board().AddEvent(spoken));
  slide(15, 0.5f);
  EXPECT_NEAR(spoken->m_node->m_volume, 0.5f * 0.8f, 1e-6f);
  slide(10, 0.5f);
  EXPECT_NEAR(spoken->m_node->m_volume, 0.25f * 0.8f, 1e-6f);
  slide(10, 1.0f);
  view_.Release();
  race_.reset();
  p.m_raceSession = nullptr;

  // The rain of a thunderstorm in the forest follows the ambient slider.
  Race("forest", "thunderstorm");
  p.m_raceSession = race_.get();
  while (race_->RaceTime() < 10.0f && Now() < 40.0f) Frame();
  const double rain = level();
  slide(12, 0.2f);
  const double softRain = level();
  EXPECT_GT(rain, 0.01);
  EXPECT_LT(softRain, 0.4 * rain);
  EXPECT_GT(softRain, 0.05 * rain);
  p.m_raceSession = nullptr;
  program.reset();
  delete g_gameLog;
  g_gameLog = nullptr;
  fs::current_path(old);
}

}  // namespace
