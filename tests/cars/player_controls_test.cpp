// A player's controls from each kind of binding: keyboard keys, joystick axes and buttons (SDL
// virtual joysticks through the DirectInput joystick driver), with the rates, the edge-triggered
// controls, the mask and the spare brake key.
#include <gtest/gtest.h>
#include <SDL.h>
#include <unistd.h>

#include <filesystem>

#include "car_fixture.h"
#include "QVX/race/Player.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"

namespace {

class PlainKeyboard : public VQKeyboardDevice {
 public:
  PlainKeyboard() : VQKeyboardDevice(0, VQDEVICE_WINDOWS_KEYBOARD) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "plain"; }
};

// One SDL virtual joystick, attached for the test's lifetime.
class VirtualJoystick {
 public:
  VirtualJoystick(int axes, int buttons) {
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    m_index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, 0);
    if (m_index >= 0) {
      m_joystick = SDL_JoystickOpen(m_index);
      m_id = SDL_JoystickInstanceID(m_joystick);
    }
  }
  ~VirtualJoystick() {
    if (m_joystick) {
      SDL_JoystickClose(m_joystick);
      for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == m_id) SDL_JoystickDetachVirtual(i);
    }
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }
  void Axis(int axis, float value) {
    SDL_JoystickSetVirtualAxis(m_joystick, axis,
                               int16_t(value >= 0 ? value * 32767.0f : value * 32768.0f));
  }
  void Button(int button, bool down) {
    SDL_JoystickSetVirtualButton(m_joystick, button, down ? 1 : 0);
  }
  int m_index = -1;
  SDL_JoystickID m_id = -1;
  SDL_Joystick* m_joystick = nullptr;
};

int32_t Key(const char* name) { return InputCodeFromName(name); }

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    m_player.Reset(PLAYER_HUMAN);
    m_devices.keyboard = &m_keyboard;
    m_player.m_input = &m_devices;
    for (int slot = 0; slot < PLAYER_BINDINGS; ++slot) m_player.SetBinding(slot, 0);
  }
  void Poll(float dt, uint32_t mask = PLAYER_MASK_ALL) { m_player.PollControls(dt, mask); }
  float C(int control) const { return m_player.m_controls[control]; }
  Player m_player;
  PlainKeyboard m_keyboard;
  PlayerInputDevices m_devices;
};

TEST_F(Controls, KeySteeringMovesAtItsRateAndReturnsExactlyToCentre) {
  m_player.SetBinding(BIND_LEFT, Key("left"));
  m_player.SetBinding(BIND_RIGHT, Key("right"));
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("right"))), 1);
  Poll(0.1f);
  EXPECT_NEAR(C(CONTROL_STEERING), 0.3f, 1e-6f);
  Poll(0.1f);
  EXPECT_NEAR(C(CONTROL_STEERING), 0.6f, 1e-6f);
  for (int i = 0; i < 5; ++i) Poll(0.1f);
  EXPECT_EQ(C(CONTROL_STEERING), 1.0f) << "clamped at full lock";
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("right"))), 0);
  Poll(0.1f);
  EXPECT_NEAR(C(CONTROL_STEERING), 0.4f, 1e-6f) << "returns at 6 per second";
  Poll(0.1f);
  Poll(0.1f);
  EXPECT_EQ(C(CONTROL_STEERING), 0.0f) << "stops exactly at the centre";
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("left"))), 1);
  Poll(0.05f);
  EXPECT_NEAR(C(CONTROL_STEERING), -0.15f, 1e-6f);
}

TEST_F(Controls, PedalKeysRiseAndFallAtTheirRates) {
  m_player.SetBinding(BIND_THROTTLE, Key("up"));
  m_player.SetBinding(BIND_BRAKE, Key("down"));
  const uint32_t up = InputCodeKeyIndex(uint32_t(Key("up"))),
                 down = InputCodeKeyIndex(uint32_t(Key("down")));
  m_keyboard.PostKey(up, 1);
  Poll(0.1f);
  EXPECT_NEAR(C(CONTROL_THROTTLE), 0.8f, 1e-6f);
  EXPECT_EQ(m_player.m_throttlePressed, 1);
  Poll(0.1f);
  EXPECT_EQ(C(CONTROL_THROTTLE), 1.0f);
  m_keyboard.PostKey(up, 0);
  Poll(0.05f);
  EXPECT_NEAR(C(CONTROL_THROTTLE), 0.2f, 1e-6f);
  Poll(0.05f);
  EXPECT_EQ(C(CONTROL_THROTTLE), 0.0f);
  m_keyboard.PostKey(down, 1);
  Poll(0.1f);
  EXPECT_NEAR(C(CONTROL_BRAKE), 0.8f, 1e-6f);
  m_keyboard.PostKey(down, 0);
  Poll(0.02f);
  EXPECT_NEAR(C(CONTROL_BRAKE), 0.4f, 1e-6f);
}

TEST_F(Controls, EdgeControlsFireOncePerPress) {
  m_player.SetBinding(BIND_GEARUP, Key("a"));
  m_player.SetBinding(BIND_GEARDOWN, Key("z"));
  m_player.SetBinding(BIND_LIGHTS, Key("l"));
  const uint32_t a = InputCodeKeyIndex(uint32_t(Key("a")));
  m_keyboard.PostKey(a, 1);
  Poll(0.01f);
  EXPECT_EQ(C(CONTROL_GEAR), 1.0f);
  for (int i = 0; i < 20; ++i) {
    Poll(0.01f);
    EXPECT_EQ(C(CONTROL_GEAR), 0.0f) << "held: no further step";
  }
  m_keyboard.PostKey(a, 0);
  Poll(0.01f);
  m_keyboard.PostKey(a, 1);
  Poll(0.01f);
  EXPECT_EQ(C(CONTROL_GEAR), 1.0f) << "pressed again";
  m_keyboard.PostKey(a, 0);
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("z"))), 1);
  Poll(0.01f);
  EXPECT_EQ(C(CONTROL_GEAR), -1.0f);
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("l"))), 1);
  Poll(0.01f);
  EXPECT_EQ(C(CONTROL_LIGHTS), 1.0f);
  Poll(0.01f);
  EXPECT_EQ(C(CONTROL_LIGHTS), 0.0f);
}

TEST_F(Controls, MaskedControlsReadZeroButFlipKeepsItsValue) {
  m_player.SetBinding(BIND_THROTTLE, Key("up"));
  m_player.SetBinding(BIND_FLIP, Key("f"));
  m_player.SetBinding(BIND_PAUSE, Key("p"));
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("up"))), 1);
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("f"))), 1);
  Poll(0.1f);
  ASSERT_GT(C(CONTROL_THROTTLE), 0.0f);
  ASSERT_EQ(C(CONTROL_FLIP), 1.0f);
  m_keyboard.PostKey(InputCodeKeyIndex(uint32_t(Key("p"))), 1);
  Poll(0.1f, PLAYER_MASK_PAUSE);
  EXPECT_EQ(C(CONTROL_PAUSE), 1.0f);
  EXPECT_EQ(C(CONTROL_THROTTLE), 0.0f);
  EXPECT_EQ(C(CONTROL_STEERING), 0.0f);
  EXPECT_EQ(C(CONTROL_FLIP), 1.0f) << "flip keeps its value";
  Poll(0.1f, 0);
  EXPECT_EQ(C(CONTROL_PAUSE), 0.0f);
}

TEST_F(Controls, DefaultSetsAndBindingLookups) {
  m_player.SetDefaultKeyBindings(1);
  for (int slot = 0; slot < PROFILE_BINDINGS; ++slot)
    EXPECT_EQ(m_player.GetBinding(slot), g_playerDefaultBindings[0][slot]) << slot;
  EXPECT_EQ(m_player.GetBindingClass(BIND_LEFT), INPUTCODE_KEY);
  EXPECT_TRUE(m_player.IsBound(207, BIND_RIGHT));
  EXPECT_FALSE(m_player.IsBound(207, BIND_LEFT));
  EXPECT_EQ(m_player.GetBinding(BIND_SPAREBRAKE), PLAYER_SPARE_BRAKE_CODE)
      << "nobody else holds 210";
  m_player.SetDefaultJoystickBindings();
  EXPECT_EQ(m_player.GetBindingClass(BIND_LEFT), INPUTCODE_JOYSTICK_AXIS);
  EXPECT_EQ(m_player.GetBindingClass(BIND_HORN), INPUTCODE_JOYSTICK_BUTTON);
  m_player.SetBinding(BIND_HORN, 999);
  EXPECT_EQ(m_player.GetBinding(BIND_HORN), 0) << "a code that names no input binds nothing";
  m_player.SetBinding(BIND_HORN, PLAYER_SPARE_BRAKE_CODE);
  EXPECT_EQ(m_player.GetBinding(BIND_SPAREBRAKE), 0)
      << "210 in another slot empties the spare slot";
}

TEST(SteeringResponse, ScalesWithSpeed) {
  EXPECT_EQ(Player_SteeringResponse(-0.25f, 0.5f), -0.25f);
  EXPECT_FLOAT_EQ(Player_SteeringResponse(-0.25f, 60.0f), -0.125f);
  EXPECT_FLOAT_EQ(Player_SteeringResponse(1.0f, 40.0f), 0.5f);
  EXPECT_FLOAT_EQ(Player_SteeringResponse(1.0f, 20.0f), 0.75f);
}

// Joystick bindings through the DirectInput joystick driver over an SDL virtual joystick.
class JoystickControls : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    ASSERT_TRUE(g_VQsystem.Init());
    m_virtual = std::make_unique<VirtualJoystick>(4, 4);
    ASSERT_NE(m_virtual->m_joystick, nullptr) << SDL_GetError();
    m_joystick = static_cast<VQJoystickDevice*>(
        g_VQsystem.GetDevice(VQDEVICE_DINPUT_JOYSTICK, m_virtual->m_index));
    ASSERT_NE(m_joystick, nullptr);
    ASSERT_TRUE(m_joystick->Open(0));
    m_devices.joysticks[0] = m_joystick;
  }
  void TearDown() override {
    if (m_joystick) m_joystick->Close();
    m_virtual.reset();
    g_VQsystem.Shutdown();
  }
  void PollAll(float dt, uint32_t mask = PLAYER_MASK_ALL) {
    ASSERT_TRUE(m_joystick->Poll());
    Poll(dt, mask);
  }
  std::unique_ptr<VirtualJoystick> m_virtual;
  VQJoystickDevice* m_joystick = nullptr;
};

TEST_F(JoystickControls, AxisSteeringIsSquaredAndNeverCompounds) {
  m_player.SetBinding(BIND_LEFT, JoystickAxisCode(0, 0, false));
  m_player.SetBinding(BIND_RIGHT, JoystickAxisCode(0, 0, true));
  m_virtual->Axis(0, -0.5f);
  PollAll(0.02f);
  EXPECT_NEAR(C(CONTROL_STEERING), -0.25f, 2e-3f) << "(-0.5)^2 to the left";
  m_virtual->Axis(0, 0.8f);
  PollAll(0.02f);
  EXPECT_NEAR(C(CONTROL_STEERING), 0.64f, 2e-3f);
  // A response that halves: the same deflection gives the same value frame after frame.
  m_player.m_steeringResponse = [](float v, float) { return v * 0.5f; };
  for (int i = 0; i < 3; ++i) {
    PollAll(0.02f);
    EXPECT_NEAR(C(CONTROL_STEERING), 0.32f, 2e-3f) << "frame " << i;
  }
  m_virtual->Axis(0, 0.0f);
  PollAll(0.02f);
  EXPECT_NEAR(C(CONTROL_STEERING), 0.0f, 1e-3f) << "a centred stick steers straight";
}

TEST_F(JoystickControls, AxisPedalsButtonsAndClutch) {
  m_player.SetBinding(BIND_THROTTLE, JoystickAxisCode(0, 1, false));
  m_player.SetBinding(BIND_BRAKE, JoystickAxisCode(0, 1, true));
  m_player.SetBinding(BIND_CLUTCH, JoystickAxisCode(0, 2, true));
  m_player.SetBinding(BIND_HORN, JoystickButtonCode(0, 1 << 2));
  m_player.SetBinding(BIND_GEARUP, JoystickButtonCode(0, 1 << 0));
  // Y reads inverted: a stick pushed forward (raw minimum) is a positive... negative code here.
  m_virtual->Axis(1, 0.6f);
  m_virtual->Axis(2, 1.0f);
  m_virtual->Button(2, true);
  m_virtual->Button(0, true);
  PollAll(0.02f);
  const float y = m_joystick->m_axes[1];
  ASSERT_GT(std::fabs(y), 0.5f);
  if (y < 0) {
    EXPECT_NEAR(C(CONTROL_THROTTLE), -y, 1e-5f);
    EXPECT_EQ(C(CONTROL_BRAKE), 0.0f);
  } else {
    EXPECT_NEAR(C(CONTROL_BRAKE), y, 1e-5f);
    EXPECT_EQ(C(CONTROL_THROTTLE), 0.0f);
  }
  EXPECT_NEAR(C(CONTROL_CLUTCH), 0.0f, 1e-4f) << "pedal fully down opens the clutch";
  EXPECT_EQ(C(CONTROL_HORN), 1.0f);
  EXPECT_EQ(C(CONTROL_GEAR), 1.0f);
  PollAll(0.02f);
  EXPECT_EQ(C(CONTROL_GEAR), 0.0f);
  m_virtual->Button(2, false);
  m_virtual->Axis(2, 0.0f);
  PollAll(0.02f);
  EXPECT_EQ(C(CONTROL_HORN), 0.0f);
  EXPECT_NEAR(C(CONTROL_CLUTCH), 1.0f, 1e-3f);
  EXPECT_EQ(m_player.IsControlHeld(BIND_GEARUP), 1.0f);
}

// The spare brake key among several participants of the Program.
TEST(SpareKey, HeldByOneParticipantEmptiesTheOthersSlot) {
  TempFolder dir("sparekey");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  {
    Program program;
    program.m_options.headless = true;
    Player* a = new Player();
    Player* b = new Player();
    a->Reset(PLAYER_HUMAN);
    b->Reset(PLAYER_HUMAN);
    program.m_players[0] = a;
    program.m_players[1] = b;
    program.m_playerCount = 2;
    b->SetDefaultKeyBindings(1);
    EXPECT_EQ(b->GetBinding(BIND_SPAREBRAKE), PLAYER_SPARE_BRAKE_CODE);
    a->SetBinding(BIND_RESCUE, PLAYER_SPARE_BRAKE_CODE);
    EXPECT_EQ(b->GetBinding(BIND_SPAREBRAKE), 0)
        << "player 1 holds 210: player 2's spare slot is empty";
    EXPECT_EQ(a->GetBinding(BIND_SPAREBRAKE), 0);
    a->SetBinding(BIND_RESCUE, Key("r"));
    EXPECT_EQ(a->GetBinding(BIND_SPAREBRAKE), PLAYER_SPARE_BRAKE_CODE)
        << "free again: the changed player takes it";
    EXPECT_EQ(b->GetBinding(BIND_SPAREBRAKE), 0) << "never two participants on one key";
    program.m_players[0] = program.m_players[1] = nullptr;
    program.m_playerCount = 0;
    delete a;
    delete b;
  }
  delete g_gameLog;
  g_gameLog = nullptr;
  std::filesystem::current_path(old);
}

}  // namespace

namespace {

// The human driver's frame: the bindings drive the car.
TEST_F(CarWorld, PlayerDrivesTheCarFromTheKeyboard) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "touring", false, true)) << car.GetError();
  PlainKeyboard keyboard;
  PlayerInputDevices devices;
  devices.keyboard = &keyboard;
  Player player;
  player.Reset(PLAYER_HUMAN);
  player.SetDefaultKeyBindings(1);
  player.m_input = &devices;
  player.m_car = &car;
  auto key = [&](int slot, bool down) {
    keyboard.PostKey(InputCodeKeyIndex(uint32_t(player.GetBinding(slot))), down ? 1 : 0);
  };
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) {
      m_ground->StepPhysics(1.0f / 60.0f);
      player.UpdateHuman(1.0f / 60.0f, m_ground->GetRaceTime());
    }
  };
  // Manual gearbox: one press of gear-up from neutral selects first gear.
  key(BIND_GEARUP, true);
  frames(30);
  key(BIND_GEARUP, false);
  EXPECT_EQ(car.GetGear(), CAR_GEAR_FIRST) << "one step per press, however long held";
  key(BIND_THROTTLE, true);
  frames(180);
  EXPECT_GT(car.GetSpeed(), 3.0f);
  EXPECT_FLOAT_EQ(car.GetThrottle(), 1.0f);
  key(BIND_THROTTLE, false);
  key(BIND_BRAKE, true);
  frames(2);
  EXPECT_TRUE(car.AreBrakeLightsOn());
  key(BIND_BRAKE, false);
  key(BIND_LIGHTS, true);
  frames(5);
  EXPECT_TRUE(car.AreHeadLightsOn()) << "toggled once per press";
  key(BIND_LIGHTS, false);
  key(BIND_RIGHT, true);
  frames(10);
  EXPECT_GT(car.GetSteering(), 0.1f);
  // Paused (dt 0): only pause is read, the car keeps its controls.
  const float steering = car.GetSteering();
  player.UpdateHuman(0.0f, m_ground->GetRaceTime());
  EXPECT_EQ(car.GetSteering(), steering);
  EXPECT_EQ(player.m_controls[CONTROL_STEERING], 0.0f);
}

}  // namespace
