// The full race field (1 CAR_2 and 31 CAR_1 cars, as the collision benchmark drives them) for
// 20 simulated seconds, with and without rescues, compared store by store against hashes
// recorded from the engine as it was before the physics was optimised and made parallel: any
// change of a single result bit in any car shows here. The same run on several threads must give
// the same bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

constexpr int kCars = 32;
constexpr int kFramesPerSecond = 60;
constexpr int kSeconds = 20;

VQSampleTrack& Track() {
  static VQSampleTrack* track = [] {
    auto* t = new VQSampleTrack;
    t->BuildTerrain();
    return t;
  }();
  return *track;
}

// FNV-1a over the bytes of the store and the previous derivatives (what the next step reads).
uint64_t StoreHash(TolvuCarModel& car) {
  uint64_t h = 1469598103934665603ull;
  auto add = [&h](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  };
  add(car.GetStore(), car.GetStoreSize());
  double* previous = nullptr;
  car.GetStateArrays(&previous, nullptr, nullptr);
  add(previous, sizeof(double) * car.GetStateCount());
  return h;
}

// A car whose thread the system keeps waiting now and then: every tenth step takes a
// millisecond longer, so that the other threads find its lane unfinished and take its items.
class StalledCar : public TolvuCarModel1 {
 public:
  void Step(int bodyNumber, float time, float dt) override {
    if (++m_steps % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TolvuCarModel1::Step(bodyNumber, time, dt);
  }

 private:
  int m_steps = 0;
};

struct RaceField {
  VQCollisionWorld world;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;

  // stalled: the index of a car that is a StalledCar, -1 for none; count: the first cars of the
  // field only.
  explicit RaceField(uint32_t threads, int stalled = -1, int count = kCars) {
    const std::string high = "golden_high_" + std::to_string(::getpid()) + ".bin";
    const std::string mid = "golden_mid_" + std::to_string(::getpid()) + ".bin";
    VQSampleTrack::SetCurrent(&Track());
    EXPECT_TRUE(TolvuCarModel_WriteDefaultStoreFile(2, high.c_str()));
    EXPECT_TRUE(TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str()));
    world.SetTrackQuery(VQSampleTrack::SweepSphere);
    world.SetTrackBoxQuery(VQSampleTrack::BoxHasTrack);
    world.SetThreadCount(threads);
    for (int i = 0; i < count; ++i) {
      std::unique_ptr<TolvuCarModel> car;
      VQVector start;
      if (i == 0) {
        car = std::make_unique<TolvuCarModel2>();
        start.Set(0, -10, 0);
      } else {
        car = i == stalled ? std::make_unique<StalledCar>() : std::make_unique<TolvuCarModel1>();
        start.Set(-42.0f + 12.0f * float((i - 1) % 8), -20.0f - 8.0f * float((i - 1) / 8), 0);
      }
      Track().AddCarSpheres(*car);
      EXPECT_TRUE(car->Initialize(nullptr, (i == 0 ? high : mid).c_str(), start, {0, 0, 0},
                                  VQSampleTrack::GroundHeight));
      car->SetGear(2);
      car->SetClutch(1.0f);
      car->SetThrottle(i % 3 == 0 ? 1.0f : 0.6f);
      car->SetSteering(i % 2 ? 0.05f : -0.05f);
      world.AddBody(car.get());
      cars.push_back(std::move(car));
    }
    std::remove(high.c_str());
    std::remove(mid.c_str());
  }

  // Drives 20 s in frames of 1/60 s. With rescues, every 3 s a quarter of the field (a different
  // quarter each time) is put back on its start place, as the race does with a stuck car; the
  // drivers also brake and turn now and then so that the cars meet each other and the walls.
  // between(frame) runs before each frame.
  std::vector<uint64_t> Run(bool rescues, const std::function<void(int)>& between = {}) {
    const int count = int(cars.size());
    float time = 0.0f;
    for (int f = 0; f < kSeconds * kFramesPerSecond; ++f) {
      if (between) between(f);
      if (rescues && f > 0 && f % (3 * kFramesPerSecond) == 0) {
        const int round = f / (3 * kFramesPerSecond);
        for (int i = 0; i < count; ++i)
          if ((i + round) % 4 == 0) cars[size_t(i)]->Reset(false);
      }
      if (rescues && f % (2 * kFramesPerSecond) == kFramesPerSecond) {
        for (int i = 0; i < count; ++i) {
          cars[size_t(i)]->SetBrake(i % 5 == f % 5 ? 1.0f : 0.0f);
          cars[size_t(i)]->SetSteering(i % 2 ? 0.2f : -0.15f);
        }
      }
      world.Step(time, 1.0f / kFramesPerSecond);
      time += 1.0f / kFramesPerSecond;
    }
    std::vector<uint64_t> hashes;
    for (auto& c : cars) hashes.push_back(StoreHash(*c));
    return hashes;
  }
};

// Recorded from the single-threaded engine before any optimisation. The rescued field brakes
// now and then: its CAR_1 stores were recorded again when the brake element of a stopped car
// became critically damped, and again when a car at rest came to be held by the brake instead of
// being sprung back by it (the plain field never brakes and kept its values).
const uint64_t kPlain[kCars] = {
    0x6bdd6d5deb127875ull,
    0x2c15d9bbdbf854f8ull,
    0x687d9a4078ae4378ull,
    0x3558ba3c61c2bf53ull,
    0x89c6addb70cd29f9ull,
    0x9ae8442698459c1aull,
    0xbf616544d05720f4ull,
    0xf1c8e64e89a5ae19ull,
    0xdc22c0e659574b74ull,
    0xa17868903ba9a054ull,
    0xe12bd18439118ecbull,
    0xf4898225333c3f8eull,
    0x7f219d92927f4035ull,
    0xeaa2cacfb210b831ull,
    0x8ea3b648c9dba022ull,
    0xa0148e7008237c04ull,
    0x0e18a8fa90f32ea9ull,
    0xd8f0c36dd871ae3full,
    0xf9dfa8a1fc5346e9ull,
    0xf66c2c298c9e8133ull,
    0x8390dfa28612b72dull,
    0x49cd35114686d137ull,
    0x8ba6e19942141525ull,
    0xac530831de1670a5ull,
    0xd00fdee98414500aull,
    0x5a287365c6ce8501ull,
    0x2854bb0f67b47028ull,
    0x6af03a852e8ebd1eull,
    0x606c220d669c81e1ull,
    0xc27a576f41c3d89cull,
    0x1a1645afa64a4240ull,
    0x6b51abc0e5d3ecbcull,
};
const uint64_t kRescued[kCars] = {
    0xa4090cd2691089e1ull,
    0x896df2356f34801full,
    0x59e5b8a81c4227e5ull,
    0x7e4c5dd7978571f3ull,
    0x681262a4ba233cfcull,
    0x9fff224fc424ad12ull,
    0x109acf85ee15a011ull,
    0xc2c5faed318ec6d7ull,
    0xed2ed39f3bdabd4full,
    0xcc01869376c64f47ull,
    0xcadd5dd71c8eb6ceull,
    0x460374e0f0a84b1bull,
    0x1fe3adcf22f3ffa4ull,
    0x814b65cdc7e30c1eull,
    0x81c0a59377fb0459ull,
    0x48ff0b52c353f3afull,
    0xa39c26207e32b647ull,
    0xc77e3a07c4fb8834ull,
    0xe8ef89540bbeeed5ull,
    0x82d4b7f92c2a8806ull,
    0x43c0b8e41a26397eull,
    0x41bb12e0273f21a9ull,
    0xc6392805bf1b27bdull,
    0x51e769c7eb238456ull,
    0x0ae8a4b1b0d56994ull,
    0x1b97da829651d527ull,
    0x7d3956106affdc51ull,
    0x9037ce2511929512ull,
    0x69a70df8ff44f81full,
    0xd9054da85f9e9a3dull,
    0x5cb932a7cc3d869full,
    0x657253190c76ff22ull,
};

void Compare(const std::vector<uint64_t>& got, const uint64_t (&want)[kCars], const char* what) {
  std::string table;
  int differing = 0;
  for (int i = 0; i < kCars; ++i) {
    char line[48];
    std::snprintf(line, sizeof line, "    0x%016llxull,\n", static_cast<unsigned long long>(got[size_t(i)]));
    table += line;
    if (got[size_t(i)] != want[i]) ++differing;
  }
  EXPECT_EQ(differing, 0) << what << ": stores of " << differing << " cars differ; this run gave\n"
                          << table;
}

class RaceGolden : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RaceGolden, StoresMatchWithoutRescues) {
  RaceField field(GetParam());
  Compare(field.Run(false), kPlain, "without rescues");
}

TEST_P(RaceGolden, StoresMatchWithRescues) {
  RaceField field(GetParam());
  Compare(field.Run(true), kRescued, "with rescues");
}

// Cars in the middle and at the end of a lane, and the car of the calling thread's lane.
TEST_P(RaceGolden, StoresMatchWhenAThreadIsKeptWaiting) {
  for (int stalled : {1, 12, 31}) {
    RaceField field(GetParam(), stalled);
    Compare(field.Run(true), kRescued, "with rescues and a thread kept waiting");
  }
}

// Cars leaving the world and coming back (at the end of its list) between frames, and more
// threads than cars: the same bytes as on one thread.
TEST(RaceThreads, ChangedFieldsAndSpareThreadsGiveTheBytesOfOneThread) {
  auto changing = [](uint32_t threads) {
    RaceField field(threads);
    return field.Run(true, [&field](int frame) {
      for (int i = 5; i < 10; ++i) {
        if (frame == 300) field.world.RemoveBody(field.cars[size_t(i)].get());
        if (frame == 600) EXPECT_TRUE(field.world.AddBody(field.cars[size_t(i)].get()));
      }
    });
  };
  EXPECT_EQ(changing(4), changing(1));
  auto small = [](uint32_t threads) { return RaceField(threads, -1, 3).Run(true); };
  EXPECT_EQ(small(8), small(1));
}

INSTANTIATE_TEST_SUITE_P(Threads, RaceGolden, ::testing::Values(1u, 3u, 4u),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

}  // namespace
