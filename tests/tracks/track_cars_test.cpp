// The game's cars on a generated track: made on their grid places, bodies of the track's
// collision world, on the ground, followed by the race tracker, and released cleanly.
#include "QVX/race/CarCatalog.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/TrackCars.h"
#include "tests/tracks/track_world.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/vehicle/TolvuCarModel.h"

using namespace trackstest;

TEST_F(TrackWorld, GameCarsRaceOnTheGridOfATrack) {
  track_.m_services.gameMode = GAME_MODE_COMPUTERS;
  track_.m_services.startAtOnce = true;
  ASSERT_TRUE(track_.Load("desert", "sunny", 0.0f));
  CarCatalog catalog(VQ_GAME_DIR, &display_, nullptr);
  ASSERT_TRUE(catalog.LoadClass("junior_std", nullptr));
  TrackCarEnvironment environment(&track_);
  std::vector<std::unique_ptr<CarRacer>> racers;
  for (int i = 0; i < 4; ++i) {
    CarSetup setup;
    setup.carName = "junior_std";
    setup.computer = true;
    racers.push_back(
        std::make_unique<CarRacer>(&catalog, &environment, setup, TRACK_DRIVER_COMPUTER));
    ASSERT_TRUE(track_.AddPlayer(racers.back().get(), GAME_MODE_COMPUTERS));
    ASSERT_NE(racers.back()->GetVehicle(), nullptr) << racers.back()->GetCar().GetError();
    ASSERT_TRUE(track_.m_tracker->AddCar(racers.back().get()));
  }
  EXPECT_EQ(track_.m_world->GetBodyCount(), 4u);  // each car once
  track_.PrepareRace(true);
  float t = 0.0f;
  for (auto& r : racers) r->GetCar().SetThrottle(0.5f);
  for (int frame = 0; frame < 180; ++frame)
    track_.UpdateRace(t += SIMULATION_DEFAULT_STEP, SIMULATION_DEFAULT_STEP);
  for (size_t i = 0; i < racers.size(); ++i) {
    const VQVector p = racers[i]->GetPosition();
    const float ground = track_.GroundHeightAt(VQVector(p.x, p.y, p.z + 3.0f));
    EXPECT_NEAR(p.z, ground, 1.5f) << i;  // on the road, not fallen through or flying
    EXPECT_GT((p - track_.m_grid[i].position).Length(), 0.5f) << i;  // it moved off its place
  }
  track_.RemoveAllPlayers();
  EXPECT_EQ(track_.m_world->GetBodyCount(), 0u);
  EXPECT_EQ(track_.m_tracker->m_count, 0u);
}
