// Joysticks: normalisation, inversion, scales and dead zones, and both drivers over SDL
// virtual joysticks attached while the test runs.
#include <gtest/gtest.h>

#include <cmath>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/util/VQerror.h"
#include "input_fixture.h"

namespace {

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
    Detach();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }
  void Axis(int axis, int16_t value) { SDL_JoystickSetVirtualAxis(m_joystick, axis, value); }
  void Button(int button, bool down) { SDL_JoystickSetVirtualButton(m_joystick, button, down ? 1 : 0); }
  void Detach() {
    if (m_joystick == nullptr) return;
    SDL_JoystickClose(m_joystick);
    m_joystick = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == m_id) SDL_JoystickDetachVirtual(i);
  }
  bool ok() const { return m_joystick != nullptr; }
  int m_index = -1;  // the device index, and the joystick's ordinal for both drivers
  SDL_JoystickID m_id = -1;
  SDL_Joystick* m_joystick = nullptr;
};

class Joystick : public InputWindow {
 protected:
  template <typename T>
  T* Get(int kind, int index) {
    auto* j = static_cast<T*>(g_VQsystem.GetDevice(kind, index));
    if (j == nullptr || !j->Open(0)) return nullptr;
    return j;
  }
};

TEST(JoystickNormalise, EndsMiddleAndEmptyRange) {
  EXPECT_EQ(VQjoystick_Normalize(0, 0, 65535, false), -1.0f);
  EXPECT_EQ(VQjoystick_Normalize(65535, 0, 65535, false), 1.0f);
  EXPECT_EQ(VQjoystick_Normalize(65535, 0, 65535, true), -1.0f) << "Y at its max reading";
  EXPECT_EQ(VQjoystick_Normalize(32767, -32768, 32767, true), -1.0f) << "also when the range starts below 0";
  EXPECT_EQ(VQjoystick_Normalize(-32768, -32768, 32767, true), 1.0f);
  EXPECT_EQ(VQjoystick_Normalize(7, 7, 7, false), 0.0f) << "an empty range does not divide by zero";
  EXPECT_EQ(VQjoystick_Normalize(9, 7, 7, true), 0.0f);
}

TEST_F(Joystick, DirectInputAxesButtonsScaleAndPreviousState) {
  VirtualJoystick v(4, 3);
  ASSERT_TRUE(v.ok()) << SDL_GetError();
  auto* j = Get<VQDirectInputJoystickDevice>(VQDEVICE_DINPUT_JOYSTICK, v.m_index);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->m_axisCount, 4u);
  EXPECT_EQ(j->m_buttonCount, 3u);
  EXPECT_EQ(j->m_rawMin[0], -32768);
  EXPECT_EQ(j->m_rawMax[0], 32767);
  ASSERT_TRUE(j->AttachToCanvas(&m_canvas));
  v.Axis(0, -32768);
  v.Axis(1, 32767);
  v.Axis(2, 32767);
  v.Button(2, true);
  ASSERT_TRUE(j->Poll());
  EXPECT_EQ(j->m_axes[0], -1.0f);
  EXPECT_EQ(j->m_axes[1], -1.0f) << "Y at its max reading";
  EXPECT_EQ(j->m_axes[2], 1.0f);
  EXPECT_NEAR(j->m_axes[3], 0.0f, 1e-4f);
  EXPECT_EQ(j->m_buttons, 4u);

  j->StorePreviousState();
  EXPECT_EQ(j->m_prevAxes[2], 1.0f);
  EXPECT_EQ(j->m_prevButtons, 4u);

  v.Axis(0, 16384);
  ASSERT_TRUE(j->Poll());
  const float unscaled = j->m_axes[0];
  EXPECT_GT(unscaled, 0.49f);
  EXPECT_LT(unscaled, 0.51f);
  j->SetAxisScaleAll(1.1f);
  ASSERT_TRUE(j->Poll());
  EXPECT_FLOAT_EQ(j->m_axes[0], unscaled * 1.1f);
  EXPECT_EQ(j->m_axes[2], 1.0f) << "a scaled extreme is clamped to exactly 1";
  EXPECT_EQ(j->m_axes[1], -1.0f);
  EXPECT_EQ(j->m_prevAxes[2], 1.0f);
  j->Close();
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
}

TEST_F(Joystick, DirectInputDeadZoneIsTheDevicesAndChecksOnlyTheAxis) {
  VirtualJoystick v(2, 1);
  ASSERT_TRUE(v.ok());
  auto* j = Get<VQDirectInputJoystickDevice>(VQDEVICE_DINPUT_JOYSTICK, v.m_index);
  ASSERT_NE(j, nullptr);
  ASSERT_TRUE(j->SetDeadZone(0, 0.5f));
  EXPECT_EQ(j->GetDeadZone(0), 0.5f);
  v.Axis(0, 10000);  // inside half the half range
  ASSERT_TRUE(j->Poll());
  EXPECT_NEAR(j->m_axes[0], 0.0f, 1e-4f);
  EXPECT_FALSE(j->SetDeadZone(0, 1.5f)) << "the device refuses more than the whole half range";
  EXPECT_EQ(j->GetDeadZone(0), 0.5f);
  g_VQerror = 0;
  EXPECT_FALSE(j->SetDeadZone(2, 0.1f));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  g_VQerror = 0;
  EXPECT_EQ(j->GetDeadZone(2), 0.0f);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  j->Close();
}

TEST_F(Joystick, DirectInputKeepsTheFirstEightOfMoreAxes) {
  VirtualJoystick v(11, 2);
  ASSERT_TRUE(v.ok());
  auto* j = Get<VQDirectInputJoystickDevice>(VQDEVICE_DINPUT_JOYSTICK, v.m_index);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->m_axisCount, VQJOYSTICK_MAX_AXES);
  for (uint32_t i = 0; i < VQJOYSTICK_MAX_AXES; ++i) EXPECT_EQ(j->m_offsets[i], 4 * i);
  v.Axis(7, 32767);
  v.Axis(9, -32768);
  ASSERT_TRUE(j->Poll());
  EXPECT_EQ(j->m_axes[7], 1.0f) << "the second slider";
  j->Close();
}

TEST_F(Joystick, EmptyRawRangeReadsTheMiddle) {
  VirtualJoystick v(2, 0);
  ASSERT_TRUE(v.ok());
  auto* d = Get<VQDirectInputJoystickDevice>(VQDEVICE_DINPUT_JOYSTICK, v.m_index);
  ASSERT_NE(d, nullptr);
  d->m_rawMin[0] = d->m_rawMax[0] = 100;
  v.Axis(0, 123);
  ASSERT_TRUE(d->Poll());
  EXPECT_EQ(d->m_axes[0], 0.0f);
  d->Close();
  auto* w = Get<VQWindowsJoystickDevice>(VQDEVICE_WINDOWS_JOYSTICK, v.m_index);
  ASSERT_NE(w, nullptr);
  w->m_rawMin[1] = w->m_rawMax[1] = 0;
  ASSERT_TRUE(w->Poll());
  EXPECT_EQ(w->m_axes[1], 0.0f);
  w->Close();
}

TEST_F(Joystick, WindowsDriverDeadZoneAndRanges) {
  VirtualJoystick v(7, 5);
  ASSERT_TRUE(v.ok());
  auto* j = Get<VQWindowsJoystickDevice>(VQDEVICE_WINDOWS_JOYSTICK, v.m_index);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->m_axisCount, 6u) << "a joystick reporting 7 axes uses 6";
  EXPECT_EQ(j->m_buttonCount, 5u);
  EXPECT_EQ(j->m_forceFeedback, 0);
  v.Axis(1, 32767);
  v.Axis(2, -32768);
  v.Button(0, true);
  v.Button(4, true);
  ASSERT_TRUE(j->Poll());
  EXPECT_EQ(j->m_axes[1], -1.0f);
  EXPECT_EQ(j->m_axes[2], -1.0f);
  EXPECT_EQ(j->m_buttons, 0x11u);

  // Raw range 0..40 on X: a reading of 21 is 0.05, 22 is 0.1.
  j->m_rawMin[0] = 0;
  j->m_rawMax[0] = 40;
  ASSERT_TRUE(j->SetDeadZone(0, 0.1f));
  v.Axis(0, int16_t(21 - 32768));
  ASSERT_TRUE(j->Poll());
  EXPECT_EQ(j->m_axes[0], 0.0f);
  v.Axis(0, int16_t(22 - 32768));
  ASSERT_TRUE(j->Poll());
  EXPECT_FLOAT_EQ(j->m_axes[0], 0.1f) << "the dead zone's edge is outside it";

  g_VQerror = 0;
  EXPECT_FALSE(j->SetDeadZone(0, 1.5f));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_EQ(j->GetDeadZone(0), 0.1f);
  j->Close();
}

TEST_F(Joystick, AttachedAfterStartIsFoundOnTheNextProbe) {
  const int before = SDL_WasInit(SDL_INIT_JOYSTICK) ? SDL_NumJoysticks() : 0;
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_DINPUT_JOYSTICK, before), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_JOYSTICK, before), nullptr);
  VirtualJoystick v(2, 2);
  ASSERT_TRUE(v.ok());
  ASSERT_EQ(v.m_index, before);
  EXPECT_NE(g_VQsystem.GetDevice(VQDEVICE_DINPUT_JOYSTICK, before), nullptr);
  EXPECT_NE(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_JOYSTICK, before), nullptr);
}

TEST_F(Joystick, RemovedWhileOpenGivesAFailedPoll) {
  VirtualJoystick v(2, 2);
  ASSERT_TRUE(v.ok());
  auto* d = Get<VQDirectInputJoystickDevice>(VQDEVICE_DINPUT_JOYSTICK, v.m_index);
  ASSERT_NE(d, nullptr);
  auto* w = Get<VQWindowsJoystickDevice>(VQDEVICE_WINDOWS_JOYSTICK, v.m_index);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(d->Poll());
  ASSERT_TRUE(w->Poll());
  v.Detach();
  EXPECT_FALSE(d->Poll());
  EXPECT_FALSE(d->Poll());
  EXPECT_FALSE(w->Poll());
  d->Close();
  w->Close();
}

TEST_F(Joystick, Getters) {
  g_VQerror = 0;
  EXPECT_EQ(VQdirectinput_GetJoystickDevice(VQDEVICE_DINPUT_JOYSTICK, 8), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_VQerror = 0;
  EXPECT_EQ(VQwindows_GetJoystickDevice(VQDEVICE_WINDOWS_JOYSTICK, 2), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_VQerror = 0;
  EXPECT_EQ(VQwindows_GetJoystickDevice(VQDEVICE_DINPUT_JOYSTICK, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  VQWindowsJoystickDevice closed(0);
  g_VQerror = 0;
  EXPECT_FALSE(closed.Poll());
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

}  // namespace
