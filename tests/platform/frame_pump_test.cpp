// The frame pump: message draining, one frame's order, the stop byte, WM_QUIT, frame clock.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "host/window/window.h"
#include "test_doubles.h"

namespace {

using namespace host;

std::vector<uint64_t> g_stamps;
size_t g_stampIndex = 0;
uint64_t FakeStamp() {
  const uint64_t v = g_stamps.empty() ? 1 : g_stamps[std::min(g_stampIndex, g_stamps.size() - 1)];
  ++g_stampIndex;
  return v;
}

// Stamps 5 ms apart on every read.
uint64_t SteppingStamp() {
  static uint64_t t = 1000;
  t += 5000000;
  return t;
}

struct Counters {
  std::atomic<int> updates{0};
  int renders = 0;
  int stopAfter = 0;  // 0: never
};

void CountAndMaybeStop(uintptr_t user) {
  auto* c = reinterpret_cast<Counters*>(user);
  Journal().push_back("update");
  if (++c->updates == c->stopAfter) g_VQsystem.m_stop = 1;
}

void RenderCallback(uintptr_t user) {
  ++reinterpret_cast<Counters*>(user)->renders;
  Journal().push_back("render callback");
}

void Hook(uintptr_t user) { Journal().push_back(reinterpret_cast<const char*>(user)); }

class FramePump : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Shutdown();
    ASSERT_TRUE(g_VQsystem.Init());
    g_VQwin32Devices = VQwin32DeviceHooks{};
    VQwin32_SetTimeStampSource(SteppingStamp);
    VQwin32_ResetFrameClock();
    clear_messages();
    Journal().clear();
    g_VQsystem.m_updateCallback = CountAndMaybeStop;
    g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(&m_counters);
  }
  void TearDown() override {
    g_VQsystem.Shutdown();
    g_VQwin32Devices = VQwin32DeviceHooks{};
    VQwin32_SetTimeStampSource(nullptr);
    clear_messages();
  }
  Counters m_counters;
};

TEST_F(FramePump, OneFrameRunsItsStepsInOrder) {
  static const char kSound[] = "sound", kKeys[] = "poll keyboard", kMouse[] = "poll mouse";
  g_VQwin32Devices.updateSound = Hook;
  g_VQwin32Devices.soundUser = reinterpret_cast<uintptr_t>(kSound);
  g_VQwin32Devices.pollKeyboard = Hook;
  g_VQwin32Devices.pollKeyboardUser = reinterpret_cast<uintptr_t>(kKeys);
  g_VQwin32Devices.pollMouse = Hook;
  g_VQwin32Devices.pollMouseUser = reinterpret_cast<uintptr_t>(kMouse);
  g_VQsystem.m_renderCallback = RenderCallback;
  g_VQsystem.m_renderUserData = reinterpret_cast<uintptr_t>(&m_counters);
  FakeDisplay display(3, "gl");
  ASSERT_TRUE(display.Open(0));
  m_counters.stopAfter = 1;

  g_VQsystem.Run();

  EXPECT_EQ(Journal(), (std::vector<std::string>{"sound", "poll keyboard", "poll mouse", "update", "render gl",
                                                 "render callback", "present gl"}));
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTime, 0.005f);
}

TEST_F(FramePump, StopInTheCallbackEndsRunAfterThatFrame) {
  FakeDisplay display(4, "soft");
  ASSERT_TRUE(display.Open(0));
  m_counters.stopAfter = 3;
  g_VQsystem.Run();
  EXPECT_EQ(m_counters.updates, 3);
  EXPECT_EQ(display.m_presents, 3) << "the stopping frame still presents";
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(g_VQsystem.m_frameTimes[i], 0.005f) << "clock advanced, frame " << i;
  EXPECT_FLOAT_EQ(g_VQsystem.m_frameTimes[3], 1.0f / 30.0f);
}

TEST_F(FramePump, RunClearsAStopByteLeftSet) {
  g_VQsystem.m_stop = 1;
  m_counters.stopAfter = 2;
  g_VQsystem.Run();
  EXPECT_EQ(m_counters.updates, 2);
}

TEST_F(FramePump, QuitEndsRunAtTheNextDrainAndTheNextRunStartsNormally) {
  m_counters.stopAfter = 1;
  post_quit_message(0);
  g_VQsystem.Run();
  EXPECT_EQ(m_counters.updates, 0);
  EXPECT_EQ(g_VQsystem.m_stop, 0) << "a quit message does not touch the stop byte";
  message m;
  EXPECT_FALSE(peek_message(&m)) << "the quit message is consumed";

  g_VQsystem.Run();
  EXPECT_EQ(m_counters.updates, 1);
}

TEST_F(FramePump, RunBeforeInitReturnsAtOnce) {
  g_VQsystem.Shutdown();
  g_VQsystem.m_updateCallback = CountAndMaybeStop;
  g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(&m_counters);
  m_counters.stopAfter = 1;
  g_VQsystem.Run();
  EXPECT_EQ(m_counters.updates, 0);
}

TEST_F(FramePump, StopSetByAnotherThreadEndsRun) {
  std::thread loader([this] {
    while (m_counters.updates < 3) std::this_thread::yield();
    g_VQsystem.m_stop = 1;
  });
  g_VQsystem.Run();
  loader.join();
  EXPECT_GE(m_counters.updates, 3);
}

// A window with a canvas whose key messages land in the journal; the key hook can set the
// stop byte.
bool g_stopOnKey = false;
void KeyToJournal(uintptr_t, uint32_t key, intptr_t, int, VQCanvas*) {
  Journal().push_back("key " + std::to_string(key));
  if (g_stopOnKey) g_VQsystem.m_stop = 1;
}

class FramePumpWithWindow : public FramePump {
 protected:
  void SetUp() override {
    FramePump::SetUp();
    m_window = VQwin32_CreateWindow(320, 240);
    ASSERT_NE(m_window, 0u);
    set_user_data(m_window, reinterpret_cast<uintptr_t>(&m_canvas));
    clear_messages();
    g_VQwin32Devices.keyMessage = KeyToJournal;
    g_stopOnKey = false;
  }
  void TearDown() override {
    set_user_data(m_window, 0);
    VQwin32_DestroyWindow(m_window);
    FramePump::TearDown();
  }
  FakeDisplay m_display{3};
  FakeCanvas m_canvas{&m_display, 320, 240};
  VQSystemWindow m_window = 0;
};

TEST_F(FramePumpWithWindow, MessagesAreDispatchedBeforeTheFrame) {
  post_message(m_window, WM_KEYDOWN, 65, 0);
  post_message(m_window, WM_KEYDOWN, 66, 0);
  m_counters.stopAfter = 1;
  g_VQsystem.Run();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"key 65", "key 66", "update"}));
}

TEST_F(FramePumpWithWindow, MessagesAfterTheStopWaitForTheNextRun) {
  g_stopOnKey = true;
  post_message(m_window, WM_KEYDOWN, 65, 0);
  post_message(m_window, WM_KEYUP, 65, 0);
  g_VQsystem.Run();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"key 65"}));

  g_stopOnKey = false;
  m_counters.stopAfter = 1;
  g_VQsystem.Run();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"key 65", "key 65", "update"})) << "the key release is not lost";
}

// System events reach the window procedure through the pump: a right-Ctrl press arrives as
// key 241, and closing the window destroys its canvas.
TEST_F(FramePumpWithWindow, SystemEventsReachTheCanvasThroughThePump) {
  const uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(native_window(m_window)));
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.windowID = id;
  key.key.keysym.scancode = SDL_SCANCODE_RCTRL;
  ASSERT_EQ(SDL_PushEvent(&key), 1);
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.windowID = id;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  ASSERT_EQ(SDL_PushEvent(&close), 1);
  m_counters.stopAfter = 1;
  g_VQsystem.Run();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"key 241", "update"}));
  EXPECT_EQ(m_display.m_destroyCalls, 1);
  EXPECT_EQ(m_display.m_lastDestroyed, &m_canvas);
  EXPECT_FALSE(is_window(m_window));
}

uint64_t g_clockBase = 1000;

TEST(FrameClock, NonPositiveStampDifferencesCountAsAMillisecond) {
  g_VQsystem.Shutdown();
  ASSERT_TRUE(g_VQsystem.Init());
  struct Case {
    const char* what;
    std::vector<uint64_t> stamps;  // reads of the frame: the first frame reads twice
    float timeScale;
    float expected;
  };
  const uint64_t t = g_clockBase;
  const Case cases[] = {
      {"first frame, stamp unchanged", {t, t}, 1.0f, 0.001f},
      {"20 ms later", {t + 20000000}, 1.0f, 0.02f},
      {"stamp went back", {t}, 1.0f, 0.001f},
      {"unchanged again, half speed", {t}, 0.5f, 0.0005f},
      {"100 ms later, double speed", {t + 100000000}, 2.0f, 0.2f},
  };
  VQwin32_ResetFrameClock();
  VQwin32_SetTimeStampSource(FakeStamp);
  for (const Case& c : cases) {
    g_stamps = c.stamps;
    g_stampIndex = 0;
    g_VQsystem.m_timeScale = c.timeScale;
    VQwin32_RunFrame();
    EXPECT_FLOAT_EQ(g_VQsystem.m_frameTime, c.expected) << c.what;
  }
  VQwin32_SetTimeStampSource(nullptr);
  g_VQsystem.Shutdown();
}

TEST(HighResolutionTimer, CountsForwardAtItsFrequency) {
  ASSERT_TRUE(VQwin32_InitHighResolutionTimer());
  EXPECT_GT(VQwin32_GetTimerFrequency(), 0);
  const int64_t a = VQwin32_ReadTimer();
  const int64_t b = VQwin32_ReadTimer();
  EXPECT_GE(b, a);
}

}  // namespace
