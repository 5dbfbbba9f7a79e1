// Track sound events and the track's sound board: the event table read from the track
// settings, the timed and triggered play modes, the commentary queue and its groups, race
// events, the race start (crowd, dry and commentary events) and the volumes per kind. The
// sound device renders into memory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "QVX/race/TrackSoundEvent.h"
#include "QVX/race/TrackSounds.h"
#include "QVX/shell/RecordBytes.h"
#include "tests/support/sound_support.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQscramble.h"

namespace fs = std::filesystem;
using namespace soundtest;

namespace {

std::vector<uint8_t> Settings(uint32_t count, uint32_t written) {
  std::vector<uint8_t> s(TRACK_SETTINGS_SIZE, 0);
  Record_PutU32(s.data(), TRACK_SETTINGS_SOUND_COUNT, count);
  for (uint32_t k = 0; k < written && k < 50; ++k) {
    uint8_t* r = s.data() + TRACK_SETTINGS_SOUND_RECORDS + k * TRACKSOUND_RECORD_SIZE;
    Record_PutU32(r, 0, k % 6);
    Record_PutF32(r, 16, 1.0f);
    Record_PutF32(r, 20, 50.0f);
    Record_PutU32(r, 36, 2);
    Record_PutName(r, 40, 64, "beep.wav");
  }
  return s;
}

TEST(TrackSoundRecords, TableHoldsAtMostFiftyEventsAndStaysInsideTheFile) {
  TrackSoundRecord out[TRACK_MAX_SOUND_EVENTS];
  auto s = Settings(4000000000u, 50);
  EXPECT_EQ(TrackSoundRecord_ReadAll(s.data(), s.size(), out), 50u);
  s = Settings(7, 7);
  EXPECT_EQ(TrackSoundRecord_ReadAll(s.data(), s.size(), out), 7u);
  EXPECT_STREQ(out[3].name, "beep.vqw");
  EXPECT_EQ(out[3].kind, 3u);
  // A short file: only the records that lie wholly inside it.
  s = Settings(50, 50);
  const size_t cut = TRACK_SETTINGS_SOUND_RECORDS + 3 * TRACKSOUND_RECORD_SIZE + 10;
  EXPECT_EQ(TrackSoundRecord_ReadAll(s.data(), cut, out), 3u);
  EXPECT_EQ(TrackSoundRecord_ReadAll(s.data(), 100, out), 0u);
  EXPECT_EQ(TrackSoundRecord_ReadAll(nullptr, 0, out), 0u);
}

TEST(TrackSoundRecords, BadTimesAndNamesAreMadeHarmless) {
  uint8_t r[TRACKSOUND_RECORD_SIZE] = {};
  Record_PutF32(r, 24, -5.0f);
  Record_PutF32(r, 28, std::nanf(""));
  Record_PutF32(r, 20, -1.0f);
  std::memset(r + 40, 'a', 64);  // no terminator
  TrackSoundRecord out;
  TrackSoundRecord_Decode(r, out);
  EXPECT_EQ(out.delay, 0.0f);
  EXPECT_EQ(out.interval, 0.0f);
  EXPECT_EQ(out.range, 0.0f);
  EXPECT_EQ(std::strlen(out.name), 64u);
  EXPECT_STREQ(out.name + 60, ".vqw");
}

// A scrambled WAVE file of a tone (the form the game ships).
void WriteVqw(const fs::path& path, double seconds) {
  const uint32_t frames = uint32_t(22050 * seconds);
  std::vector<int16_t> pcm(frames);
  for (uint32_t i = 0; i < frames; ++i) pcm[i] = int16_t(8000.0 * std::sin(i * 0.2));
  const uint32_t data = frames * 2;
  std::vector<uint8_t> f(44 + data);
  auto put = [&](size_t o, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f[o + i] = uint8_t(v >> (8 * i));
  };
  std::memcpy(&f[0], "RIFF", 4);
  put(4, 36 + data, 4);
  std::memcpy(&f[8], "WAVEfmt ", 8);
  put(16, 16, 4), put(20, 1, 2), put(22, 1, 2), put(24, 22050, 4), put(28, 44100, 4), put(32, 2, 2),
      put(34, 16, 2);
  std::memcpy(&f[36], "data", 4);
  put(40, data, 4);
  std::memcpy(&f[44], pcm.data(), data);
  VQscramble(&f[44], data, nullptr, 0);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
}

class TrackSoundsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("views_sounds_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    WriteVqw(dir_ / "beep.vqw", 0.2);
    WriteVqw(dir_ / "line_a.vqw", 0.2);
    WriteVqw(dir_ / "line_b.vqw", 0.2);
    WriteVqw(dir_ / "long.vqw", 3.0);
    device_ = OpenDevice();
    ASSERT_NE(device_, nullptr);
    device_->m_limiter->SetMaxVoices(32);
    ASSERT_TRUE(device_->m_cache->SetFolder(dir_.string().c_str(), false));
    board_.Init(device_, &group_);
  }
  void TearDown() override {
    board_.ClearCollisionSlots();
    board_.DeleteEvents();
    board_.m_device = nullptr;
    group_.DeleteChildren();
    if (device_) device_->Close();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  TrackSoundEvent* Add(uint32_t kind, uint32_t mode, const char* name, float delay = 0,
                       float interval = 0, uint32_t repeats = 0) {
    auto* e = new TrackSoundEvent();
    e->Init(kind, name, VQVector(1, 2, 3), 40.0f, 0.8f);
    e->SetPlayMode(mode, 0);
    e->m_delay = delay, e->m_interval = interval, e->m_repeatCount = repeats;
    EXPECT_TRUE(e->Load(device_)) << name;
    EXPECT_TRUE(board_.AddEvent(e));
    if (e->m_node) group_.AddChild(e->m_node);
    return e;
  }
  // Advances the mixer and the board by frames of step seconds.
  void Run(float seconds, float step = 0.05f) {
    for (float t = 0; t < seconds; t += step) {
      Render(device_, uint32_t(step * 1000));
      VQdsound_UpdateBuffers();
      board_.UpdateCommentary();
      board_.UpdateEvents(step);
    }
  }
  fs::path dir_;
  VQDSoundDevice* device_ = nullptr;
  VQGroupNode group_;
  TrackSounds board_;
};

TEST_F(TrackSoundsTest, LoadBuildsASilentDisabledNodeAndAMissingSampleFails) {
  TrackSoundEvent* e = Add(TRACKSOUND_AMBIENT, 2, "beep.vqw");
  ASSERT_NE(e->m_node, nullptr);
  EXPECT_EQ(e->m_node->m_enabled, 0);
  EXPECT_EQ(e->m_node->m_range, 40.0f);
  EXPECT_EQ(e->m_node->m_attenuation, 1);
  EXPECT_EQ(e->m_sample->m_volume, 0.0f);
  TrackSoundEvent missing;
  missing.Init(0, "nothing.vqw", VQVector(0, 0, 0), 1, 1);
  EXPECT_FALSE(missing.Load(device_));
  EXPECT_FALSE(missing.Load(nullptr));
  // Music has no sample of its own: a non-positional node of ten times the range.
  TrackSoundEvent music;
  music.Init(TRACKSOUND_MUSIC, "", VQVector(0, 0, 0), 5, 1);
  ASSERT_TRUE(music.Load(device_));
  EXPECT_EQ(music.m_node->m_range, 50.0f);
  EXPECT_EQ(music.m_node->m_attenuation, 0);
}

TEST_F(TrackSoundsTest, TimedEventsLoopPlayRepeatedlyOrBeforeTheEnd) {
  TrackSoundEvent* loop = Add(TRACKSOUND_AMBIENT, TRACKSOUND_TIMED, "long.vqw");
  TrackSoundEvent* twice = Add(TRACKSOUND_AMBIENT_B, TRACKSOUND_TIMED, "beep.vqw", 1.0f, 0.5f, 2);
  board_.StartRaceSounds(TrackSoundRaceSetup{}, nullptr);
  EXPECT_TRUE(loop->IsPlaying());
  EXPECT_EQ(loop->m_node->m_enabled, 1);
  EXPECT_FALSE(twice->IsPlaying());
  // Count the starts of the repeated event over 5 s.
  int starts = 0;
  bool was = false;
  for (int i = 0; i < 100; ++i) {
    Run(0.05f);
    const bool now = twice->IsPlaying();
    if (now && !was) ++starts;
    if (starts == 1 && now && !was) EXPECT_NEAR(i * 0.05, 1.0, 0.11);
    was = now;
  }
  EXPECT_EQ(starts, 2);
  EXPECT_TRUE(loop->IsPlaying());  // still looping; Play without start changes nothing

  // Before the end: 3 minutes and 60 s before the end gives 127 s; a zero-length race never.
  TrackSoundEvent end;
  end.Init(0, "beep.vqw", VQVector(0, 0, 0), 1, 1);
  end.SetPlayMode(TRACKSOUND_BEFORE_END, 0);
  end.m_delay = 60, end.m_repeatCount = 1;
  ASSERT_TRUE(end.Load(device_));
  end.PrepareRace(3);
  EXPECT_FLOAT_EQ(end.m_timer, 127.0f);
  end.PrepareRace(0);
  EXPECT_EQ(end.m_repeatsLeft, 0);
}

TEST_F(TrackSoundsTest, CommentaryQueueHoldsTwentyAndPlaysOneGroupAtATime) {
  TrackSoundEvent* a1 = Add(TRACKSOUND_COMMENTARY, TRACKSOUND_GREEN_LIGHT, "line_a.vqw");
  TrackSoundEvent* a2 = Add(TRACKSOUND_COMMENTARY, TRACKSOUND_GREEN_LIGHT, "LINE_A.vqw");
  TrackSoundEvent* b = Add(TRACKSOUND_COMMENTARY, TRACKSOUND_WINNER, "line_b.vqw");
  TrackSoundEvent* other = Add(TRACKSOUND_AMBIENT, TRACKSOUND_GREEN_LIGHT, "beep.vqw");
  board_.AssignCommentaryGroups();
  EXPECT_EQ(a1->m_group, 1u);
  EXPECT_EQ(a2->m_group, 1u);  // same name, letter case aside
  EXPECT_EQ(b->m_group, 2u);
  EXPECT_EQ(other->m_group, 0u);
  board_.StartRaceSounds(TrackSoundRaceSetup{}, nullptr);

  // Green light: the ambient event plays at once, commentary waits in the queue.
  board_.OnRaceEvent(TRACKEVENT_GREEN_LIGHT, false, 0, 3);
  EXPECT_TRUE(other->IsPlaying());
  EXPECT_FALSE(a1->IsPlaying());
  EXPECT_EQ(board_.m_queueCount, 2u);
  board_.OnRaceEvent(TRACKEVENT_WINNER, false, 1, 3);
  EXPECT_EQ(board_.m_queueCount, 3u);
  board_.UpdateCommentary();  // group 1 plays together; group 2 waits
  EXPECT_TRUE(a1->IsPlaying());
  EXPECT_TRUE(a2->IsPlaying());
  EXPECT_FALSE(b->IsPlaying());
  EXPECT_EQ(board_.m_queueCount, 1u);
  board_.UpdateCommentary();
  EXPECT_FALSE(b->IsPlaying());
  Run(0.5f);
  EXPECT_TRUE(b->IsPlaying() || board_.m_queueCount == 0);
  EXPECT_EQ(board_.m_queueCount, 0u);

  board_.m_queueCount = 0;
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(board_.QueueSoundEvent(a1));
  EXPECT_FALSE(board_.QueueSoundEvent(b));  // the 21st is dropped
  EXPECT_EQ(board_.m_queueCount, 20u);
  EXPECT_EQ(board_.m_queue[0], a1);
}

TEST_F(TrackSoundsTest, RaceEventsFireTheirModes) {
  TrackSoundEvent* finisher = Add(TRACKSOUND_AMBIENT, TRACKSOUND_FINISHER, "beep.vqw");
  TrackSoundEvent* winner = Add(TRACKSOUND_AMBIENT, TRACKSOUND_WINNER, "line_a.vqw");
  TrackSoundEvent* human = Add(TRACKSOUND_AMBIENT, TRACKSOUND_HUMAN_EVENT, "line_b.vqw");
  board_.StartRaceSounds(TrackSoundRaceSetup{}, nullptr);
  struct Case {
    uint32_t event;
    bool human;
    uint32_t argument, players;
    TrackSoundEvent* expected;
  } cases[] = {
      {TRACKEVENT_CAR_FINISHED, false, 1, 3, nullptr},  // the winner
      {TRACKEVENT_CAR_FINISHED, false, 3, 3, nullptr},  // the last car
      {TRACKEVENT_CAR_FINISHED, false, 2, 3, finisher},
      {TRACKEVENT_WINNER, false, 1, 1, nullptr},  // a race of one
      {TRACKEVENT_WINNER, false, 1, 2, winner},
      {TRACKEVENT_PLAYER_EVENT, false, 0, 2, nullptr},
      {TRACKEVENT_PLAYER_EVENT, true, 0, 2, human},
  };
  for (const Case& c : cases) {
    device_->m_limiter->RemoveAll();
    board_.OnRaceEvent(c.event, c.human, c.argument, c.players);
    for (TrackSoundEvent* e : {finisher, winner, human})
      EXPECT_EQ(e->IsPlaying(), e == c.expected)
          << c.event << " " << c.argument << "/" << c.players;
  }
}

TEST_F(TrackSoundsTest, RaceStartLeavesOutCrowdInPracticeAndDrySoundsInRain) {
  TrackSoundEvent* crowd = Add(TRACKSOUND_CROWD, TRACKSOUND_TIMED, "long.vqw");
  TrackSoundEvent* dry = Add(TRACKSOUND_DRY, TRACKSOUND_TIMED, "beep.vqw");
  TrackSoundEvent* ambient = Add(TRACKSOUND_AMBIENT, TRACKSOUND_TIMED, "line_a.vqw");
  TrackSoundEvent* talk = Add(TRACKSOUND_COMMENTARY, TRACKSOUND_GREEN_LIGHT, "line_b.vqw");
  VQGroupNode crowdNode;
  TrackSoundRaceSetup setup;
  setup.gameMode = GAMEMODE_PRACTICE;
  board_.StartRaceSounds(setup, &crowdNode);
  EXPECT_EQ(crowdNode.m_enabled, 0);
  EXPECT_FALSE(crowd->IsPlaying());
  EXPECT_EQ(crowd->m_attached, 0);
  EXPECT_EQ(ambient->m_attached, 0);
  EXPECT_EQ(talk->m_attached, 0);
  EXPECT_EQ(dry->m_attached, 1);
  EXPECT_EQ(crowd->m_node->m_parent, nullptr);

  setup.gameMode = GAMEMODE_SINGLE;
  setup.rainOrThunder = true;
  board_.StartRaceSounds(setup, &crowdNode);
  EXPECT_EQ(crowdNode.m_enabled, 1);
  EXPECT_TRUE(crowd->IsPlaying());
  EXPECT_EQ(crowd->m_node->m_parent, &group_);
  EXPECT_EQ(dry->m_attached, 0);
  EXPECT_FALSE(dry->IsPlaying());

  setup.crowd = false;  // the weather's crowd flag
  board_.StartRaceSounds(setup, &crowdNode);
  EXPECT_EQ(crowdNode.m_enabled, 0);
  EXPECT_FALSE(crowd->IsPlaying());
}

TEST_F(TrackSoundsTest, VolumesGoToTheirKindsOnly) {
  TrackSoundEvent* ev[TRACKSOUND_KIND_COUNT];
  for (uint32_t k = 0; k < TRACKSOUND_KIND_COUNT; ++k)
    ev[k] = Add(k, 2, k == TRACKSOUND_MUSIC ? "" : "beep.vqw");
  board_.SetAmbientVolume(0.5f);
  board_.SetCommentaryVolume(0.25f);
  board_.SetMusicVolume(0.125f);
  const float expected[] = {0.5f, 0.25f, 0.5f, 0.5f, 0.125f, 0.5f};
  for (uint32_t k = 0; k < TRACKSOUND_KIND_COUNT; ++k)
    EXPECT_FLOAT_EQ(ev[k]->m_node->m_volume, expected[k] * 0.8f) << k;
}

TEST_F(TrackSoundsTest, BuildFromSettingsMakesNoEventsForSplitScreenAndCutsAtFifty) {
  auto s = Settings(60, 50);
  EXPECT_EQ(board_.BuildFromSettings(s.data(), s.size(), GAMEMODE_SPLIT), 0u);
  EXPECT_EQ(board_.BuildFromSettings(s.data(), s.size(), GAMEMODE_SINGLE), 50u);
  EXPECT_EQ(board_.m_eventCount, 50u);
  TrackSoundEvent extra;
  EXPECT_FALSE(board_.AddEvent(&extra));
}

TEST_F(TrackSoundsTest, CollisionSoundsUseFreeSlotsAndAreDroppedWhenTheyEnd) {
  ASSERT_TRUE(board_.CreateCollisionSlots());
  EXPECT_EQ(group_.m_count, 10u);
  VQSoundBuffer* hit = device_->m_cache->Load("beep.vqw", true);
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(board_.OnContact(0.2f, VQVector(0, 0, 0), hit, hit, false, 1, 1, 1, 1),
            0u);  // too soft
  EXPECT_EQ(board_.OnContact(-3.0f, VQVector(0, 0, 0), hit, hit, false, 1, 1, 1, 1), 2u);
  EXPECT_EQ(board_.OnContact(3.0f, VQVector(0, 0, 0), hit, hit, true, 1, 1, 1, 2),
            1u);  // car: one sound
  EXPECT_NEAR(board_.m_slots[0].node->m_volume, std::min(1.0f, 3.0f * 0.2f + 0.1f), 1e-6);
  for (int i = 0; i < 10; ++i)
    board_.OnContact(3.0f, VQVector(0, 0, 0), hit, nullptr, false, 1, 1, 1, 1);
  EXPECT_EQ(board_.OnContact(3.0f, VQVector(0, 0, 0), hit, nullptr, false, 1, 1, 1, 1),
            0u);  // all busy
  board_.EnableCollisionSoundsOf(2);
  EXPECT_EQ(board_.m_slots[2].node->m_enabled, 1);
  EXPECT_EQ(board_.m_slots[0].node->m_enabled, 0);
  Run(0.5f);
  board_.UpdateCollisionSlots();
  for (const auto& s : board_.m_slots) EXPECT_EQ(s.voice, nullptr);
}

}  // namespace
