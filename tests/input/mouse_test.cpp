// The mouse device: events, pointer and overlay cursor, and both drivers fed by real SDL
// mouse events.
#include <gtest/gtest.h>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/util/VQerror.h"
#include "input_fixture.h"

namespace {

class Mouse : public InputWindow {
 protected:
  VQDirectInputMouseDevice* OpenDirectInput() {
    auto* m = static_cast<VQDirectInputMouseDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_MOUSE, 0));
    if (m == nullptr || !m->Open(0)) return nullptr;
    return m;
  }
  VQWindowsMouseDevice* OpenWindows() {
    auto* m = static_cast<VQWindowsMouseDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_MOUSE, 0));
    if (m == nullptr || !m->Open(0)) return nullptr;
    return m;
  }
};

TEST_F(Mouse, PostEventWithoutCanvasChangesNothing) {
  VQWindowsMouseDevice* m = OpenWindows();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->PushHandler(RecordingHandler, 0));
  m->PostEvent(VQEVENT_LEFT_DOWN, 10, 20, 30);
  EXPECT_EQ(m->m_buttons, 0u);
  int32_t x = -1, y = -1;
  m->GetPosition(&x, &y);
  EXPECT_EQ(m->m_x, 0);
  EXPECT_TRUE(Seen().empty());
  m->Close();
}

TEST_F(Mouse, RecordCarriesPreviousAndNewPosition) {
  VQWindowsMouseDevice* m = OpenWindows();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  EXPECT_EQ(m_canvas.m_mouse, m);
  m->PostEvent(VQEVENT_POINTER_MOVE, 5, 6, 0);
  Seen().clear();
  m->PostEvent(VQEVENT_RIGHT_DOWN, 7, 8, 9);
  EXPECT_EQ(m->m_buttons, uint32_t(VQMOUSE_RIGHT));
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_TRUE(Seen()[0].overlay);
  const uint32_t want[6] = {5, 6, 0, 7, 8, 9};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Seen()[0].words[i], want[i]);
  m->PostEvent(VQEVENT_RIGHT_UP, 7, 8, 9);
  m->PostEvent(VQEVENT_MIDDLE_DOWN, 7, 8, 9);
  EXPECT_EQ(m->m_buttons, uint32_t(VQMOUSE_MIDDLE));
  m->Close();
  EXPECT_EQ(m_canvas.m_mouse, nullptr);
}

TEST_F(Mouse, WindowsDriverCountsYUpwardFromTheCanvasBottom) {
  VQWindowsMouseDevice* m = OpenWindows();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  ASSERT_TRUE(m->PushHandler(RecordingHandler, 0));
  PushMotion(100, 30, 0, 0);
  PushButton(SDL_BUTTON_LEFT, true, 100, 30);
  PushButton(SDL_BUTTON_MIDDLE, true, 100, 30);
  PushButton(SDL_BUTTON_RIGHT, true, 100, 30);
  PushButton(SDL_BUTTON_LEFT, false, 101, 0);
  Drain();
  ASSERT_EQ(Seen().size(), 10u);  // each event at the handler, then the overlay
  const uint32_t events[] = {VQEVENT_POINTER_MOVE, VQEVENT_LEFT_DOWN, VQEVENT_MIDDLE_DOWN, VQEVENT_RIGHT_DOWN,
                             VQEVENT_LEFT_UP};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Seen()[2 * i].event, events[i]);
    EXPECT_FALSE(Seen()[2 * i].overlay);
    EXPECT_TRUE(Seen()[2 * i + 1].overlay);
  }
  EXPECT_EQ(Seen()[0].words[4], 480u - 1 - 30);
  EXPECT_EQ(m->m_x, 101);
  EXPECT_EQ(m->m_y, 479) << "the top row of the client area is the highest y";
  EXPECT_EQ(m->m_buttons, uint32_t(VQMOUSE_MIDDLE | VQMOUSE_RIGHT));
  m->Close();
}

TEST_F(Mouse, DirectInputMotionButtonsAndWheel) {
  VQDirectInputMouseDevice* m = OpenDirectInput();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  m->PostEvent(VQEVENT_POINTER_MOVE, 50, 50, 0);
  ASSERT_TRUE(m->PushHandler(RecordingHandler, 0));
  Seen().clear();
  PushMotion(0, 0, 0, 5);  // five pixels down the screen
  ASSERT_TRUE(m->Poll());
  EXPECT_EQ(m->m_x, 50);
  EXPECT_EQ(m->m_y, 45) << "a Y motion of +5 lowers y by 5";
  PushWheel(2);
  ASSERT_TRUE(m->Poll());
  ASSERT_FALSE(Seen().empty());
  const SeenEvent& wheel = Seen()[Seen().size() - 2];
  EXPECT_EQ(wheel.event, uint32_t(VQEVENT_POINTER_MOVE));
  EXPECT_EQ(wheel.words[0], wheel.words[3]);
  EXPECT_EQ(wheel.words[1], wheel.words[4]);
  EXPECT_EQ(int32_t(wheel.words[5]), 240) << "only z changes: two notches of 120";
  Seen().clear();
  PushMotion(0, 0, -3, 0);
  PushButton(SDL_BUTTON_LEFT, true, 0, 0);
  PushButton(SDL_BUTTON_RIGHT, true, 0, 0);
  PushButton(SDL_BUTTON_MIDDLE, true, 0, 0);
  PushButton(SDL_BUTTON_RIGHT, false, 0, 0);
  ASSERT_TRUE(m->Poll());
  ASSERT_EQ(Seen().size(), 10u);
  const uint32_t events[] = {VQEVENT_POINTER_MOVE, VQEVENT_LEFT_DOWN, VQEVENT_RIGHT_DOWN, VQEVENT_MIDDLE_DOWN,
                             VQEVENT_RIGHT_UP};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Seen()[2 * i].event, events[i]);
  EXPECT_EQ(m->m_x, 47);
  EXPECT_EQ(m->m_buttons, uint32_t(VQMOUSE_LEFT | VQMOUSE_MIDDLE));
  Drain();
  m->Close();
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
  g_VQerror = 0;
  EXPECT_FALSE(m->Poll());
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

TEST_F(Mouse, FramePumpPollsTheDirectInputMouse) {
  VQDirectInputMouseDevice* m = OpenDirectInput();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  const int32_t x0 = m->m_x;
  PushMotion(0, 0, 4, 0);
  VQwin32_RunFrame();
  EXPECT_EQ(m->m_x, x0 + 4);
  m->Close();
  EXPECT_EQ(g_VQwin32Devices.pollMouse, nullptr);
}

TEST_F(Mouse, OverlayCursorOffLeavesThePointerHidden) {
  VQWindowsMouseDevice* m = OpenWindows();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  EXPECT_EQ(m->m_shown, 1);
  m->ShowCursor(true);
  EXPECT_EQ(m->m_overlayCursor, 1);
  EXPECT_EQ(m->m_shown, 1);
  EXPECT_EQ(m_canvas.m_overlayCursor, 1);
  m->ShowCursor(false);
  EXPECT_EQ(m->m_overlayCursor, 0);
  EXPECT_EQ(m->m_shown, 0) << "hidden until ShowPointer";
  m->ShowPointer();
  EXPECT_EQ(m->m_shown, 1);
  m->Close();
}

TEST_F(Mouse, CursorIsDrawnByTheCanvasAtTheHotSpot) {
  ASSERT_TRUE(m_canvas.Create(2, 640, 480, 32));
  m_canvas.Show(true);
  VQWindowsMouseDevice* m = OpenWindows();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->AttachToCanvas(&m_canvas));
  m->PostEvent(VQEVENT_POINTER_MOVE, 100, 200, 0);
  VQImageRef image;
  const uint32_t hot[2] = {3, 4};

  m->ShowCursor(true);
  m_canvas.RenderFrame();
  EXPECT_TRUE(m_canvas.m_blits.empty()) << "no image: nothing drawn";

  m->SetCursorImage(&image, hot);
  m_canvas.RenderFrame();
  ASSERT_EQ(m_canvas.m_blits.size(), 1u);
  EXPECT_EQ(m_canvas.m_blits[0].image, &image);
  EXPECT_EQ(m_canvas.m_blits[0].x, 97);
  EXPECT_EQ(m_canvas.m_blits[0].y, 196);
  EXPECT_EQ(m_canvas.m_blits[0].mode, 1u);
  EXPECT_EQ(m_canvas.m_blits[0].clip.x1, 639);
  EXPECT_EQ(m_canvas.m_blits[0].clip.y1, 479);
  EXPECT_EQ(VQclip_Top().x1, 640) << "the clip is popped again";

  m->m_shown = 0;  // hidden
  m->DrawCursor();
  EXPECT_EQ(m_canvas.m_blits.size(), 1u);
  m->m_shown = 1;

  m_canvas.Destroy();  // detaches the mouse as well
  EXPECT_EQ(m->m_canvas, nullptr);
  m->Close();
}

TEST_F(Mouse, Getters) {
  g_VQerror = 0;
  EXPECT_EQ(VQdirectinput_GetMouseDevice(VQDEVICE_DINPUT_MOUSE, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_VQerror = 0;
  EXPECT_EQ(VQwindows_GetMouseDevice(VQDEVICE_WINDOWS_MOUSE, 1), nullptr);
  EXPECT_EQ(g_VQerror, 0);
  EXPECT_EQ(VQwindows_GetMouseDevice(VQDEVICE_DINPUT_MOUSE, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_STREQ(VQwindows_GetMouseDevice(VQDEVICE_WINDOWS_MOUSE, 0)->GetName(), "Windows mouse device");
  EXPECT_STREQ(VQdirectinput_GetMouseDevice(VQDEVICE_DINPUT_MOUSE, 0)->GetName(), "DirectInput Mouse Device");
}

}  // namespace
