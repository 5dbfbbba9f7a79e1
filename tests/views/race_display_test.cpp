// The race display's cameras driven by the race: in a race of computer drivers only, the first
// view moves on to the trackside cameras when the car it follows crosses the lap line; in a race
// with a player it keeps its own camera.
#include <cstring>
#include <string>
#include <vector>

#include "QVX/race/RaceDisplay.h"
#include "QVX/race/TrackRacer.h"
#include "tests/race/race_world.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/VQDevice.h"

using namespace racetest;

namespace {

class RaceDisplayTest : public RaceWorld {
 protected:
  void SetUp() override {
    RaceWorld::SetUp();
    device_ = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(device_->Open(0));
    canvas_ = device_->CreateCanvas(2, 0, 160, 120, 0, 0);
    ASSERT_NE(canvas_, nullptr);
  }
  void TearDown() override {
    display_.Release();
    race_.reset();
    if (device_) device_->Close();
    RaceWorld::TearDown();
  }

  VQDisplayDevice* device_ = nullptr;
  VQCanvas* canvas_ = nullptr;
  std::unique_ptr<RaceSession> race_;
  RaceDisplay display_;
};

// The first view's camera name just after each lap-line crossing of a car, and which car crossed.
struct Crossing {
  TrackRacer* racer;
  std::string camera;
};
struct Watch {
  RaceDisplay* display;
  std::vector<Crossing> crossings;
};
void OnEvent(void* user, int32_t event, TrackRacer* racer, int32_t) {
  auto* w = static_cast<Watch*>(user);
  if (event == RACE_EVENT_LAP) w->crossings.push_back({racer, w->display->CameraName(0)});
}

TEST_F(RaceDisplayTest, LapLineMovesTheFirstViewToTheTracksideCamerasInComputerOnlyRaces) {
  struct Case {
    int32_t mode;
    uint32_t follow;
    bool moves;
  } cases[] = {
      {GAME_MODE_COMPUTERS, 0, true},
      {GAME_MODE_COMPUTERS, 1, true},
      {GAME_MODE_SINGLE, 0, false},
  };
  for (const Case& c : cases) {
    display_.Release();
    race_.reset();
    Watch watch{&display_, {}};
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig config = Config("harbour", 3, 3);
    config.gameMode = c.mode;
    config.display = device_;
    config.frameStep = 0.05f;
    config.hooks.user = &watch;
    config.hooks.raceEvent = &OnEvent;
    ASSERT_TRUE(race_->Load(config)) << race_->m_error;
    for (const AIParameters& p : TrackDrivers("harbour", 2)) ASSERT_TRUE(race_->AddComputer(p));
    ASSERT_TRUE(race_->Start());
    RaceDisplayOptions o;
    o.hud = o.map = o.shadows = o.weather = false;
    ASSERT_TRUE(display_.Init(race_.get(), canvas_, o)) << display_.m_error;
    display_.Follow(0, c.follow);
    TrackRacer* followed = race_->GetRacer(c.follow);
    auto crossed = [&] {
      for (const Crossing& k : watch.crossings)
        if (k.racer == followed) return true;
      return false;
    };
    while (!crossed() && race_->RaceTime() < 150.0f) {
      race_->Frame();
      display_.Update(config.frameStep);
    }
    ASSERT_TRUE(crossed()) << "mode " << c.mode;
    // Until the followed car crosses, other cars' crossings leave the camera alone (the start
    // fly-in from the tower aside).
    bool seen = false;
    for (const Crossing& k : watch.crossings) {
      if (k.racer == followed) {
        if (c.moves)
          EXPECT_EQ(std::strncmp(k.camera.c_str(), "trackside", 9), 0) << k.camera;
        else
          EXPECT_EQ(k.camera, "follow") << "mode " << c.mode;
        seen = true;
      } else if (!seen && k.camera.rfind("tower", 0) != 0) {
        EXPECT_EQ(k.camera, "follow") << "another car's crossing, mode " << c.mode;
      }
    }
    // The trackside camera hands over along the lap as the car drives on.
    if (c.moves) {
      for (int i = 0; i < 200; ++i) {
        race_->Frame();
        display_.Update(config.frameStep);
      }
      EXPECT_EQ(std::strncmp(display_.CameraName(0), "trackside", 9), 0) << display_.CameraName(0);
    } else {
      EXPECT_STREQ(display_.CameraName(0), "follow");
    }
  }
}

}  // namespace
