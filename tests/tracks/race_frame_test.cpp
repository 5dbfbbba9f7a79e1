// The race frame and its keys: frame steps, pause, the in-race menu keys and F9 screenshots.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "QVX/race/RaceFrame.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQPixmap.h"

namespace fs = std::filesystem;

namespace {

// A canvas whose grabbed image is a grey software pixmap.
class GreyCanvas : public VQCanvas {
 public:
  explicit GreyCanvas(VQDisplayDevice* device) {
    m_device = device;
    m_width = 64;
    m_height = 48;
  }
  bool RecreateSurfaces() override { return true; }
  VQPixmap* GrabRect(int32_t, int32_t, int32_t w, int32_t h) override {
    VQPixmap* p = m_device->CreatePixmap(uint32_t(w), uint32_t(h), VQPF_BGR888);
    if (!p) return nullptr;
    uint32_t pitch = 0;
    auto* bytes = static_cast<uint8_t*>(p->Lock(&pitch));
    for (uint32_t i = 0; i < uint32_t(w * h) * 3; ++i) bytes[i] = 128;
    return p;
  }
};

struct Calls {
  int menuBack = 0, openMenu = 0, follow = 0, soundPaused = 0, soundResumed = 0;
  uint32_t menuState = 99;
  bool menu = false;
};

class RaceKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Init();
    ASSERT_TRUE(device_.Open(0));
    dir_ = fs::temp_directory_path() /
           ("vq_racekeys_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    canvas_ = std::make_unique<GreyCanvas>(&device_);
    sim_.AddCamera(&camera_);
    ASSERT_TRUE(sim_.Start(false, false));
    frame_.m_simulation = &sim_;
    frame_.m_canvas = canvas_.get();
    frame_.m_display = &device_;
    frame_.m_dataRoot = dir_.string();
    frame_.m_hooks.user = &calls_;
    frame_.m_hooks.menuShown = [](void* u) { return static_cast<Calls*>(u)->menu; };
    frame_.m_hooks.menuBack = [](void* u) { return ++static_cast<Calls*>(u)->menuBack > 0; };
    frame_.m_hooks.openRaceMenu = [](void* u, uint32_t state) {
      ++static_cast<Calls*>(u)->openMenu;
      static_cast<Calls*>(u)->menuState = state;
    };
    frame_.m_hooks.followNext = [](void* u) { ++static_cast<Calls*>(u)->follow; };
    frame_.m_hooks.pauseSound = [](void* u, bool paused) {
      ++(paused ? static_cast<Calls*>(u)->soundPaused : static_cast<Calls*>(u)->soundResumed);
    };
  }
  void TearDown() override {
    canvas_.reset();
    device_.Close();
    g_VQsystem.Shutdown();
    fs::remove_all(dir_);
  }
  fs::path dir_;
  VQSoftwareDisplayDevice device_{30};
  std::unique_ptr<GreyCanvas> canvas_;
  TrackCameraRecord camera_;
  Simulation sim_;
  RaceFrame frame_;
  Calls calls_;
};

bool IsJpeg(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char magic[3] = {};
  in.read(reinterpret_cast<char*>(magic), 3);
  return in && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF;
}

}  // namespace

TEST_F(RaceKeys, F9WritesTheNextFreeScreenshotAsJpeg) {
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_F9, true));
  EXPECT_TRUE(IsJpeg(dir_ / "snap001.jpg"));
  for (int n = 2; n <= 4; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "snap%03d.jpg", n);
    std::ofstream(dir_ / name) << "x";
  }
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_F9, true));
  EXPECT_TRUE(IsJpeg(dir_ / "snap005.jpg"));
  EXPECT_EQ(device_.m_livePixmaps, 0u);  // the grabbed image is deleted
}

TEST_F(RaceKeys, F9WritesNothingWhenAllNamesAreTaken) {
  for (int n = 1; n <= 998; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "snap%03d.jpg", n);
    std::ofstream(dir_ / name) << "x";
  }
  EXPECT_EQ(RaceFrame::NextScreenshotPath(dir_.string()), "");
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_F9, true));
  EXPECT_FALSE(fs::exists(dir_ / "snap999.jpg"));
  EXPECT_EQ(fs::file_size(dir_ / "snap998.jpg"), 1u);
}

TEST_F(RaceKeys, EscapeOpensTheRaceMenuAndPauses) {
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_ESCAPE, true));
  EXPECT_EQ(calls_.openMenu, 1);
  EXPECT_EQ(calls_.menuState, 0u);  // no track: state 0
  EXPECT_TRUE(sim_.m_paused);
  EXPECT_EQ(calls_.soundPaused, 1);
  frame_.Pause(true);  // the menu's resume
  EXPECT_FALSE(sim_.m_paused);
  EXPECT_EQ(calls_.soundResumed, 1);
}

TEST_F(RaceKeys, EscapeInNetworkPlayKeepsTheRaceGoing) {
  frame_.m_gameMode = 6;
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_ESCAPE, true));
  EXPECT_EQ(calls_.openMenu, 1);
  EXPECT_FALSE(sim_.m_paused);
}

TEST_F(RaceKeys, EscapeWithAMenuPageGoesBackInstead) {
  calls_.menu = true;
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_ESCAPE, true));
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_F1, true));
  EXPECT_EQ(calls_.menuBack, 2);
  EXPECT_EQ(calls_.openMenu, 0);
  EXPECT_FALSE(sim_.m_paused);
}

TEST_F(RaceKeys, KeysThatAreNotTheRaceKeys) {
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_F1, true));  // no page: consumed, nothing else
  EXPECT_EQ(calls_.openMenu, 0);
  EXPECT_FALSE(frame_.OnKey(RACE_KEY_ESCAPE, false));  // releases are not consumed
  EXPECT_FALSE(frame_.OnKey(82, true));                // above F9
  EXPECT_FALSE(frame_.OnKey(RACE_KEY_RETURN, true));   // not on the podium
  EXPECT_FALSE(frame_.OnKey(RACE_KEY_DIGIT2, true));   // only in a computer-only race
  frame_.m_gameMode = 5;
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_DIGIT2, true));
  EXPECT_EQ(calls_.follow, 1);
  frame_.m_repeatRace = true;  // a repeated race ignores Escape
  EXPECT_TRUE(frame_.OnKey(RACE_KEY_ESCAPE, true));
  EXPECT_EQ(calls_.openMenu, 0);
  EXPECT_FALSE(sim_.m_paused);
}

TEST_F(RaceKeys, KeyHandlerTakesKeyEventsOnly) {
  VQKeyEvent key{RACE_KEY_F9, 1};
  EXPECT_TRUE(RaceFrame::KeyHandler(7, &key, reinterpret_cast<uintptr_t>(&frame_)));
  EXPECT_FALSE(RaceFrame::KeyHandler(8, &key, reinterpret_cast<uintptr_t>(&frame_)));
  EXPECT_TRUE(fs::exists(dir_ / "snap001.jpg"));
}

TEST_F(RaceKeys, LongFrameStepsCountAsOneSixtieth) {
  sim_.m_frameStep = 1.5f;
  sim_.m_running = 0;  // no tick changes the step
  frame_.OnFrame();
  EXPECT_EQ(frame_.m_lastStep, SIMULATION_DEFAULT_STEP);
  sim_.m_frameStep = 1.0f;
  frame_.OnFrame();
  EXPECT_EQ(frame_.m_lastStep, 1.0f);
}
