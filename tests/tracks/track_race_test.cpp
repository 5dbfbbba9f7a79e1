// A loaded track in a race: grid, pit and podium places, colliders, the start sequence with its
// countdown and start lights, the time warnings, the finish, and the ground and line queries.
#include <cmath>

#include "QVX/race/Simulation.h"
#include "tests/tracks/track_world.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

using namespace trackstest;

namespace {
constexpr float kPi = 3.14159265358979f;

bool LightOn(const VQMaterial* m) { return m->m_emission.r > 0.0f || m->m_emission.g > 0.0f; }

class TrackRace : public TrackWorld {
 public:
  void SetUp() override {
    TrackWorld::SetUp();
    ASSERT_TRUE(track_.Load("harbour", "sunny", 0.0f));
  }
  bool* menuFlag_ = nullptr;
};
}  // namespace

TEST_F(TrackRace, RacersGoToGridOrPitPlacesFacingAlongThem) {
  TestRacer racers[TRACK_MAX_PLAYERS + 1];
  for (uint32_t i = 0; i < TRACK_MAX_PLAYERS; ++i)
    ASSERT_TRUE(track_.AddPlayer(&racers[i], GAME_MODE_SINGLE));
  EXPECT_FALSE(track_.AddPlayer(&racers[TRACK_MAX_PLAYERS], GAME_MODE_SINGLE));  // the 33rd
  for (uint32_t i = 0; i < TRACK_MAX_PLAYERS; ++i) {
    const TrackPoint& g = track_.m_grid[i];
    EXPECT_NEAR(racers[i].placed_.x, g.position.x, 1e-4) << i;
    EXPECT_NEAR(racers[i].placed_.y, g.position.y, 1e-4) << i;
    EXPECT_NEAR(racers[i].heading_, std::atan2(g.direction.y, g.direction.x) - kPi / 2, 1e-5) << i;
    // The car stands on the ground below its place.
    EXPECT_NEAR(
        racers[i].placed_.z,
        track_.GroundHeightAt(VQVector(g.position.x, g.position.y, g.position.z + 2)) - 0.01f,
        0.02f);
  }
  EXPECT_EQ(track_.NextPlayer(&racers[31], true), &racers[0]);
  EXPECT_EQ(track_.NextPlayer(&racers[31], false), nullptr);
  EXPECT_EQ(track_.NextPlayer(&racers[32], true), nullptr);
  track_.RemovePlayer(&racers[0]);
  EXPECT_EQ(track_.m_players[0], &racers[1]);
  track_.RemoveAllPlayers();
  EXPECT_EQ(track_.m_playerCount, 0u);
  TestRacer practice;
  track_.AddPlayer(&practice, GAME_MODE_PRACTICE);
  EXPECT_NEAR(practice.placed_.x, track_.m_pit[0].position.x, 1e-4);
}

// A racer beyond the grid continues the rows behind it (behind the place two before it, in its
// column) instead of standing somewhere off the track.
TEST_F(TrackRace, RacerWithoutGridPlaceLinesUpBehindTheGrid) {
  track_.m_gridCount = 3;
  TestRacer r[4];
  for (TestRacer& x : r) track_.AddPlayer(&x, GAME_MODE_SINGLE);
  const VQVector d = track_.m_grid[1].direction;
  const VQVector back = r[3].placed_ - r[1].placed_;
  const float along = back.x * d.x + back.y * d.y;
  EXPECT_LT(along, -4.0f);
  EXPECT_GT(along, -12.0f);
  EXPECT_LT(std::fabs(back.x * d.y - back.y * d.x), 0.5f);  // the same column
  EXPECT_EQ(r[3].heading_, r[1].heading_);
  for (int i = 0; i < 3; ++i) {
    const VQVector e = r[3].placed_ - r[i].placed_;
    EXPECT_GT(e.x * e.x + e.y * e.y, 9.0f) << i;
  }
}

TEST_F(TrackRace, ColliderListHoldsFiftyAndRefusesMore) {
  std::vector<TrackCollider*> held;
  for (uint32_t i = 0; i < TRACK_MAX_COLLIDERS; ++i) {
    held.push_back(track_.AddCollider(VQVector2(0, 0), VQVector2(1, 1), i));
    ASSERT_NE(held.back(), nullptr) << i;
  }
  EXPECT_EQ(track_.AddCollider(VQVector2(0, 0), VQVector2(1, 1), 50), nullptr);
  track_.RemoveCollider(held[10]);
  EXPECT_EQ(track_.m_colliderCount, TRACK_MAX_COLLIDERS - 1);
  EXPECT_NE(track_.AddCollider(VQVector2(0, 0), VQVector2(1, 1), 51), nullptr);
}

// The start sequence frame by frame: images 5, 4, 3, 2, none, go; red, then red and orange,
// then dark, then green at 7 s plus the go delay, once.
TEST_F(TrackRace, CountdownAndStartLightsComeInOrder) {
  TestRacer racer;
  track_.AddPlayer(&racer, GAME_MODE_SINGLE);
  track_.m_tracker->AddCar(&racer);
  track_.m_services.gameMode = GAME_MODE_SINGLE;
  track_.m_goDelay = 0.3f;
  track_.PrepareRace(true);
  EXPECT_EQ(track_.m_state, uint32_t(RACE_STATE_WAITING));
  bool menu = true;
  track_.m_hooks.menuShown = [](void* user) { return *static_cast<TrackRace*>(user)->menuFlag_; };
  menuFlag_ = &menu;
  const float dt = 0.05f;
  float t = 0;
  for (int i = 0; i < 10; ++i) track_.UpdateRace(t += dt, dt);
  EXPECT_EQ(track_.m_state, uint32_t(RACE_STATE_WAITING));  // a menu page holds the start
  EXPECT_EQ(track_.m_stateTime, 0.0f);
  menu = false;
  struct Step {
    float from;
    int32_t image;
    bool red, orange, green;
  };
  std::vector<Step> seen;
  float start = -1;
  int greens = 0;
  for (int i = 0; i < 200 && track_.m_state != RACE_STATE_RACING; ++i) {
    track_.UpdateRace(t += dt, dt);
    if (start < 0 && track_.m_state == RACE_STATE_START) start = t;
    const Step s{t - start, track_.m_countdownImage, LightOn(track_.m_red),
                 LightOn(track_.m_orange), LightOn(track_.m_green)};
    if (seen.empty() || s.image != seen.back().image || s.red != seen.back().red ||
        s.orange != seen.back().orange || s.green != seen.back().green)
      seen.push_back(s);
  }
  for (const auto& e : events_) greens += e.event == RACE_EVENT_GREEN;
  EXPECT_EQ(greens, 1);
  const int32_t images[] = {-1, 0, 1, 2, 3, -1, 5};
  ASSERT_EQ(seen.size(), sizeof images / sizeof images[0]);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].image, images[i]) << i;
  EXPECT_NEAR(seen[1].from, 2.0f, 0.11f);  // the state time runs one frame behind
  EXPECT_NEAR(seen[3].from, 4.0f, 0.11f);
  EXPECT_TRUE(seen[3].red && !seen[3].orange && !seen[3].green);
  EXPECT_TRUE(seen[4].red && seen[4].orange && !seen[4].green);
  EXPECT_TRUE(!seen[5].red && !seen[5].orange && !seen[5].green);
  EXPECT_TRUE(!seen[6].red && !seen[6].orange && seen[6].green);
  EXPECT_NEAR(seen[6].from, 7.3f, 0.11f);
  EXPECT_TRUE(track_.m_tracker->m_running);
  EXPECT_EQ(racer.begun_, 1);
}

TEST_F(TrackRace, TimeWarningsComeOnceEachAndTheLastLapFinishes) {
  TestRacer racer(TRACK_DRIVER_HUMAN);
  track_.AddPlayer(&racer, GAME_MODE_SINGLE);
  track_.m_tracker->AddCar(&racer);
  track_.m_services.startAtOnce = true;
  track_.PrepareRace(true);
  ASSERT_EQ(track_.m_state, uint32_t(RACE_STATE_RACING));
  float t = 0;
  for (int i = 0; i < 190 * 10; ++i) track_.UpdateRace(t += 0.1f, 0.1f);
  const std::vector<uint32_t> expected = {208, 209, 200};
  EXPECT_EQ(messages_, expected);
  EXPECT_EQ(track_.m_blinkLight, track_.m_orange);
  // The next counted start-line crossing after the time is up finishes the car.
  const TrackCheckpoint& line = *track_.m_checkpoints[0];
  const float mx = (line.a[0] + line.b[0]) / 2, my = (line.a[1] + line.b[1]) / 2;
  const VQVector2 d(line.b[1] - line.a[1], -(line.b[0] - line.a[0]));  // across the line
  const float len = d.Length();
  racer.MoveTo(mx - d.x / len, my - d.y / len);
  racer.MoveTo(mx + d.x / len, my + d.y / len);
  events_.clear();
  track_.UpdateRace(t += 0.1f, 0.1f);
  EXPECT_TRUE(racer.finished_);
  // A human's finish in a single race turns to the finish camera and asks for the results.
  EXPECT_EQ(track_.m_state, uint32_t(RACE_STATE_FINISH_CAMERA));
  EXPECT_EQ(track_.m_resultsRequest, 1);
  bool finished = false, winner = false, all = false;
  for (const auto& e : events_) {
    finished |= e.event == RACE_EVENT_FINISHED;
    winner |= e.event == RACE_EVENT_WINNER;
    all |= e.event == RACE_EVENT_ALL_FINISHED;
  }
  EXPECT_TRUE(finished && winner && all);
}

TEST_F(TrackRace, PodiumPlacesTheFirstThreeOfTheRunningOrder) {
  TestRacer r[5];
  for (int i = 0; i < 5; ++i) {
    track_.AddPlayer(&r[i], GAME_MODE_SINGLE);
    track_.m_tracker->AddCar(&r[i]);
    r[i].lap_ = 1;
    r[i].segment_ = uint32_t(10 * i);  // the last added leads
  }
  track_.m_tracker->Start(0.0f);
  track_.m_tracker->Update(0.1f);
  track_.ShowPodium();
  EXPECT_EQ(track_.m_state, uint32_t(RACE_STATE_PODIUM));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r[i].podiumPlace_, i >= 2 ? uint32_t(5 - i) : 0u) << i;
  EXPECT_NEAR(r[4].placed_.x, track_.m_podium[0].position.x, 1e-4);
  EXPECT_EQ(track_.m_podiumGroup->m_parent, track_.m_main);
  EXPECT_FALSE(LightOn(track_.m_green));
}

TEST_F(TrackRace, GroundSweepAndLineQueries) {
  const VQVector p = track_.m_grid[0].position;
  VQVector normal;
  float a = 0, b = 0, c = 0, ground = 0;
  uint32_t material = 99;
  const float h = track_.GroundHeight(VQVector(p.x, p.y, p.z + 5), &normal, &a, &b, &c, &ground,
                                      &material, nullptr);
  EXPECT_EQ(material, 0u);  // tarmac
  EXPECT_NEAR(a, 1.0f, 1e-6);
  EXPECT_NEAR(b, 0.85f, 1e-6);
  EXPECT_NEAR(c, 0.01f, 1e-6);
  EXPECT_NEAR(h, ground + 0.005f, 1e-5);
  EXPECT_GT(normal.z, 0.9f);
  // Over a hole: 0.005 with the default surface.
  const float hole = track_.GroundHeight(VQVector(5000, 5000, 10), &normal, &a, &b, &c, &ground,
                                         &material, nullptr);
  EXPECT_EQ(hole, 0.005f);
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(c, 0.001f);
  EXPECT_EQ(ground, 0.0f);
  // A sphere dropped onto the road hits it; one beside the world hits nothing.
  float distance = 0;
  VQVector hit;
  const CollisionMaterial* m = nullptr;
  ASSERT_TRUE(track_.SweepTrack(VQVector(p.x, p.y, p.z + 5), VQVector(p.x, p.y, p.z - 5), 0.4f,
                                &distance, &hit, &m));
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "tarmac");
  EXPECT_NEAR(hit.z, h - 0.01f, 0.05f);
  EXPECT_FALSE(
      track_.SweepTrack(VQVector(5000, 0, 5), VQVector(5000, 0, -5), 0.4f, &distance, &hit, &m));
  // A sphere rolled sideways over the verge meets the barrier at its edge.
  const VQVector left(-track_.m_grid[0].direction.y, track_.m_grid[0].direction.x, 0);
  const VQVector from = p + left * 15.0f, to = p + left * 40.0f;
  const float z = track_.GroundHeightAt(VQVector(from.x, from.y, from.z + 10)) + 0.5f;
  ASSERT_TRUE(track_.SweepTrack(VQVector(from.x, from.y, z), VQVector(to.x, to.y, z), 0.3f,
                                &distance, &hit, nullptr));
  EXPECT_GT(distance, 1.0f);
  EXPECT_LT(distance, 10.0f);
  // The line queries.
  VQVector2 at;
  uint32_t segment = 0;
  const TrackCheckpoint& start = *track_.m_checkpoints[0];
  EXPECT_TRUE(track_.IntersectAILine(0, VQVector2(start.a[0], start.a[1]),
                                     VQVector2(start.b[0], start.b[1]), &at, &segment));
  EXPECT_FALSE(track_.IntersectAILine(1, VQVector2(start.a[0], start.a[1]),
                                      VQVector2(start.b[0], start.b[1]), &at, &segment));
  segment = 0xFFFFFFFFu;
  EXPECT_TRUE(track_.CircleOnAILine(0, at, 5.0f, &at, &segment));
  VQVector2 border, direction;
  EXPECT_EQ(track_.SegmentHitsAIBorder(VQVector2(start.a[0], start.a[1]),
                                       VQVector2(start.b[0], start.b[1]), &border, &direction),
            1);
  const VQVector2 sp = track_.AIStartPoint();
  EXPECT_GT((sp - track_.m_aiLines[0]->points[0]).Length(), 0.0f);
  // The shadow map: white everywhere, also far outside (the edge pixel).
  EXPECT_EQ(track_.ShadowAt(1e6f, -1e6f), 1.0f);
  EXPECT_EQ(track_.SecondMapAt(0, 0), 1.0f);  // no second map
}

TEST_F(TrackRace, DetailMapRepeatsEveryTileAlsoBelowZero) {
  // A 4 x 1 map whose red channel rises across it, tiles 4 m wide.
  const uint8_t pixels[4 * 4] = {0, 0, 0,   255, 0, 0, 85,  255,
                                 0, 0, 170, 255, 0, 0, 255, 255};  // BGRA
  VQTexture* map = display_.m_textureManager->CreateEmpty(pixels, 4, 1, 11, nullptr, 0);
  ASSERT_NE(map, nullptr);
  MaterialTextureEntry entry;
  entry.values[0] = 4, entry.values[1] = 4, entry.values[2] = 10,
  entry.values[3] = 100;  // base 0.1, amplitude 1
  entry.texture = map;
  CollisionMaterial m;
  m.textureEntry = &entry;
  const float at1 = Track::DetailHeight(&m, 1.5f, 0.0f);
  EXPECT_NEAR(Track::DetailHeight(&m, 5.5f, 0.0f), at1, 1e-5);
  EXPECT_NEAR(Track::DetailHeight(&m, -2.5f, 0.0f), at1, 1e-5);
  EXPECT_GT(Track::DetailHeight(&m, 3.5f, 0.0f), at1);
  entry.texture = nullptr;
  EXPECT_NEAR(Track::DetailHeight(&m, 1.5f, 0.0f), 0.1f, 1e-6);  // no map: the base height
  EXPECT_EQ(Track::DetailHeight(nullptr, 0, 0), 0.0f);
  display_.m_textureManager->Release(map);
}
