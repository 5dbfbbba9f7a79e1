// The keyboard device: held keys, delivery order, characters, and both drivers fed by real
// SDL key events.
#include <gtest/gtest.h>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/util/VQerror.h"
#include "input_fixture.h"

namespace {

// A keyboard of the base class only, for the held list and the delivery order.
class PlainKeyboard : public VQKeyboardDevice {
 public:
  PlainKeyboard() : VQKeyboardDevice(0, VQDEVICE_WINDOWS_KEYBOARD) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "plain"; }
};

// The SDL key of every engine code 0 to 96.
SDL_Scancode ScancodeOf(uint32_t code) {
  static const SDL_Scancode kFixed[] = {
      SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER, SDL_SCANCODE_LSHIFT,   SDL_SCANCODE_LCTRL,
      SDL_SCANCODE_RCTRL,  SDL_SCANCODE_LALT,     SDL_SCANCODE_RALT,     SDL_SCANCODE_LEFT,
      SDL_SCANCODE_UP,     SDL_SCANCODE_RIGHT,    SDL_SCANCODE_DOWN,     SDL_SCANCODE_BACKSPACE,
      SDL_SCANCODE_TAB,    SDL_SCANCODE_ESCAPE,   SDL_SCANCODE_SPACE,    SDL_SCANCODE_NUMLOCKCLEAR,
      SDL_SCANCODE_INSERT, SDL_SCANCODE_DELETE,   SDL_SCANCODE_HOME,     SDL_SCANCODE_END,
      SDL_SCANCODE_PAGEUP, SDL_SCANCODE_PAGEDOWN};
  if (code < sizeof kFixed / sizeof kFixed[0]) return kFixed[code];
  if (code == VQKEY_0) return SDL_SCANCODE_0;
  if (code <= VQKEY_9) return SDL_Scancode(SDL_SCANCODE_1 + (code - VQKEY_0 - 1));
  if (code == VQKEY_KP_0) return SDL_SCANCODE_KP_0;
  if (code <= VQKEY_KP_9) return SDL_Scancode(SDL_SCANCODE_KP_1 + (code - VQKEY_KP_0 - 1));
  static const SDL_Scancode kKeypad[] = {SDL_SCANCODE_KP_MULTIPLY, SDL_SCANCODE_KP_PLUS, SDL_SCANCODE_KP_MINUS,
                                         SDL_SCANCODE_KP_DIVIDE, SDL_SCANCODE_KP_PERIOD};
  if (code <= VQKEY_KP_PERIOD) return kKeypad[code - VQKEY_KP_MULTIPLY];
  if (code <= VQKEY_Z) return SDL_Scancode(SDL_SCANCODE_A + (code - VQKEY_A));
  if (code <= VQKEY_F10) return SDL_Scancode(SDL_SCANCODE_F1 + (code - VQKEY_F1));
  static const SDL_Scancode kRest[] = {
      SDL_SCANCODE_F11,          SDL_SCANCODE_F12,        SDL_SCANCODE_COMMA,      SDL_SCANCODE_PERIOD,
      SDL_SCANCODE_SLASH,        SDL_SCANCODE_LEFTBRACKET, SDL_SCANCODE_RIGHTBRACKET, SDL_SCANCODE_BACKSLASH,
      SDL_SCANCODE_MINUS,        SDL_SCANCODE_EQUALS,     SDL_SCANCODE_APOSTROPHE, SDL_SCANCODE_GRAVE,
      SDL_SCANCODE_SEMICOLON,    SDL_SCANCODE_RSHIFT};
  return kRest[code - VQKEY_F11];
}

std::vector<uintptr_t> g_order;
bool Ordered(uint32_t, void*, uintptr_t context) {
  g_order.push_back(context);
  return context == 1;
}

class Keyboard : public InputWindow {};

TEST_F(Keyboard, SeventeenthHeldKeyIsDeliveredButNotHeld) {
  PlainKeyboard k;
  ASSERT_TRUE(k.PushHandler(RecordingHandler, 0));
  for (uint32_t code = VQKEY_A; code < VQKEY_A + 17; ++code) k.PostKey(code, 1);
  EXPECT_EQ(k.m_heldCount, VQKEYBOARD_MAX_HELD);
  EXPECT_EQ(Seen().size(), 17u) << "the 17th press still reaches the handler";
  EXPECT_TRUE(k.IsKeyDown(VQKEY_A + 15));
  EXPECT_FALSE(k.IsKeyDown(VQKEY_A + 16));
  k.PostKey(VQKEY_A + 16, 0);  // its release changes nothing
  EXPECT_EQ(k.m_heldCount, VQKEYBOARD_MAX_HELD);
  k.PostKey(VQKEY_A, 0);  // the last entry moves into the freed place
  EXPECT_EQ(k.m_heldCount, 15u);
  EXPECT_EQ(k.m_held[0], uint32_t(VQKEY_A + 15));
}

TEST_F(Keyboard, RepeatedPressHoldsOnce) {
  PlainKeyboard k;
  k.PostKey(VQKEY_SPACE, 1);
  k.PostKey(VQKEY_SPACE, 1);
  EXPECT_EQ(k.m_heldCount, 1u);
  k.PostKey(VQKEY_SPACE, 0);
  EXPECT_FALSE(k.IsKeyDown(VQKEY_SPACE));
}

TEST_F(Keyboard, ConsumedEventReachesOlderHandlersButNotTheOverlay) {
  PlainKeyboard k;
  ASSERT_TRUE(k.AttachToCanvas(&m_canvas));
  g_order.clear();
  ASSERT_TRUE(k.PushHandler(Ordered, 1));  // oldest, consumes
  ASSERT_TRUE(k.PushHandler(Ordered, 2));
  ASSERT_TRUE(k.PushHandler(Ordered, 3));
  k.PostKey(VQKEY_ESCAPE, 1);
  EXPECT_EQ(g_order, (std::vector<uintptr_t>{3, 2, 1}));
  EXPECT_TRUE(Seen().empty()) << "the overlay is not called";
  ASSERT_TRUE(k.PopHandler());
  ASSERT_TRUE(k.PopHandler());
  ASSERT_TRUE(k.PopHandler());
  k.PostKey(VQKEY_ESCAPE, 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_TRUE(Seen()[0].overlay);
  EXPECT_EQ(Seen()[0].words[0], uint32_t(VQKEY_ESCAPE));
  EXPECT_EQ(Seen()[0].words[1], 0u);
}

TEST_F(Keyboard, CodesOutsideTheTablePostNothing) {
  PlainKeyboard k;
  ASSERT_TRUE(k.PushHandler(RecordingHandler, 0));
  k.PostKey(VQKEY_COUNT, 1);
  k.PostKey(0xFFFFFFFFu, 1);
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(k.m_heldCount, 0u);
}

TEST(KeyCharacters, ClassesAndUsLayout) {
  for (uint32_t d = 0; d < 10; ++d) {
    EXPECT_EQ(VQkey_ToChar(VQKEY_KP_0 + d, false), char('0' + d));
    EXPECT_EQ(VQkey_ToChar(VQKEY_KP_0 + d, true), char('0' + d)) << "keypad digits ignore shift";
  }
  EXPECT_EQ(VQkey_ToChar(VQKEY_KP_PERIOD, false), 0);
  EXPECT_FALSE(VQkey_IsCharacter(VQKEY_KP_PERIOD));
  EXPECT_EQ(std::string(1, VQkey_ToChar(VQKEY_0, true)) + VQkey_ToChar(VQKEY_0 + 1, true) +
                VQkey_ToChar(VQKEY_0 + 2, true) + VQkey_ToChar(VQKEY_9, true),
            ")!@(");
  EXPECT_EQ(VQkey_ToChar(VQKEY_A, false), 'a');
  EXPECT_EQ(VQkey_ToChar(VQKEY_Z, true), 'Z');
  EXPECT_EQ(VQkey_ToChar(VQKEY_APOSTROPHE, true), '"');
  EXPECT_EQ(VQkey_ToChar(VQKEY_BACKSLASH, true), '|');
  EXPECT_EQ(VQkey_ToChar(VQKEY_SEMICOLON, true), ':');
  EXPECT_EQ(VQkey_ToChar(VQKEY_TAB, false), '\t');
  EXPECT_EQ(VQkey_ToChar(VQKEY_RETURN, false), 0);
  EXPECT_EQ(VQkey_ToChar(VQKEY_NONE, false), 0);
  EXPECT_TRUE(VQkey_IsDigit(VQKEY_KP_9));
  EXPECT_FALSE(VQkey_IsLetterOrDigit(VQKEY_SPACE));
  EXPECT_TRUE(VQkey_IsCharacter(VQKEY_SPACE));
  EXPECT_STREQ(VQkey_Name(VQKEY_KP_ENTER), "Keypad Enter");
  EXPECT_STREQ(VQkey_Name(500), "None");
}

// Presses and releases every engine key as SDL events; after each, `deliver` lets the driver
// see them. Each code must arrive pressed then released, at the handler and then the overlay.
template <typename Deliver>
void EveryKeyArrives(InputWindow* w, VQKeyboardDevice* k, Deliver deliver) {
  for (uint32_t code = 0; code < VQKEY_NONE; ++code) {
    Seen().clear();
    w->PushKey(ScancodeOf(code), true);
    deliver();
    EXPECT_TRUE(k->IsKeyDown(code)) << VQkey_Name(code);
    w->PushKey(ScancodeOf(code), false);
    deliver();
    EXPECT_FALSE(k->IsKeyDown(code)) << VQkey_Name(code);
    ASSERT_EQ(Seen().size(), 4u) << VQkey_Name(code);
    const bool order[] = {false, true, false, true};
    const uint32_t pressed[] = {1, 1, 0, 0};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Seen()[i].event, uint32_t(VQEVENT_KEY));
      EXPECT_EQ(Seen()[i].overlay, order[i]);
      EXPECT_EQ(Seen()[i].words[0], code) << VQkey_Name(code);
      EXPECT_EQ(Seen()[i].words[1], pressed[i]) << VQkey_Name(code);
    }
  }
}

TEST_F(Keyboard, WindowsDriverGetsEveryKeyThroughTheWindowProcedure) {
  auto* k = static_cast<VQWindowsKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(7));
  EXPECT_EQ(k->m_openParameter, 7u);
  ASSERT_TRUE(k->AttachToCanvas(&m_canvas));
  ASSERT_TRUE(k->PushHandler(RecordingHandler, 0));
  EveryKeyArrives(this, k, [this] { Drain(); });
  k->Close();
}

TEST_F(Keyboard, DirectInputDriverGetsEveryKeyWhenPolled) {
  auto* k = static_cast<VQDirectInputKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(3));
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 1u);
  ASSERT_TRUE(k->AttachToCanvas(&m_canvas));
  ASSERT_TRUE(k->PushHandler(RecordingHandler, 0));
  EveryKeyArrives(this, k, [k] { ASSERT_TRUE(k->Poll()); });
  Drain();
  k->Close();
  EXPECT_EQ(VQdirectx_DirectInputUseCount(), 0u);
  g_VQerror = 0;
  EXPECT_FALSE(k->Poll());
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
}

TEST_F(Keyboard, FramePumpPollsTheDirectInputKeyboard) {
  auto* k = static_cast<VQDirectInputKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(0));
  ASSERT_TRUE(k->AttachToCanvas(&m_canvas));
  PushKey(SDL_SCANCODE_W, true);
  VQwin32_RunFrame();
  EXPECT_TRUE(k->IsKeyDown(VQKEY_A + ('W' - 'A')));
  k->Close();
  EXPECT_EQ(g_VQwin32Devices.pollKeyboard, nullptr);
}

TEST_F(Keyboard, WindowsKeyReleasedAfterTheFocusLeftIsNotHeldForever) {
  auto* k = static_cast<VQWindowsKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(0));
  ASSERT_TRUE(k->AttachToCanvas(&m_canvas));
  ASSERT_TRUE(k->PushHandler(RecordingHandler, 0));
  PushKey(SDL_SCANCODE_UP, true);
  PushKey(SDL_SCANCODE_SPACE, true);
  Drain();
  ASSERT_EQ(k->m_heldCount, 2u);
  Seen().clear();
  PushFocus(false);  // the releases that follow go to another window
  Drain();
  EXPECT_EQ(k->m_heldCount, 0u);
  ASSERT_EQ(Seen().size(), 4u) << "a release of each held key reaches handler and overlay";
  EXPECT_EQ(Seen()[0].words[0], uint32_t(VQKEY_SPACE));
  EXPECT_EQ(Seen()[0].words[1], 0u);
  EXPECT_EQ(Seen()[2].words[0], uint32_t(VQKEY_UP));
  PushFocus(true);
  Drain();
  k->Close();
}

TEST_F(Keyboard, DirectInputKeyReleasedAfterTheFocusLeftIsNotHeldForever) {
  auto* k = static_cast<VQDirectInputKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(0));
  ASSERT_TRUE(k->AttachToCanvas(&m_canvas));
  PushKey(SDL_SCANCODE_LEFT, true);
  ASSERT_TRUE(k->Poll());
  ASSERT_TRUE(k->IsKeyDown(VQKEY_LEFT));
  PushFocus(false);
  EXPECT_TRUE(k->Poll()) << "another window has the keyboard: nothing to read, no failure";
  EXPECT_FALSE(k->IsKeyDown(VQKEY_LEFT));
  PushFocus(true);
  EXPECT_TRUE(k->Poll());
  PushKey(SDL_SCANCODE_LEFT, true);
  EXPECT_TRUE(k->Poll());
  EXPECT_TRUE(k->IsKeyDown(VQKEY_LEFT)) << "acquired again once the focus is back";
  Drain();
  k->Close();
}

TEST_F(Keyboard, ShiftMessagesByScanCode) {
  auto* k = static_cast<VQWindowsKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_KEYBOARD, 0));
  ASSERT_NE(k, nullptr);
  ASSERT_TRUE(k->Open(0));
  ASSERT_TRUE(k->PushHandler(RecordingHandler, 0));
  k->OnKeyMessage(16, host::make_lparam(1, 77), 1);  // neither 42 nor 54
  ASSERT_EQ(Seen().size(), 2u);
  EXPECT_EQ(Seen()[0].words[0], uint32_t(VQKEY_LSHIFT));
  EXPECT_EQ(Seen()[1].words[0], uint32_t(VQKEY_RSHIFT));
  Seen().clear();
  k->OnKeyMessage(1000, 0, 1);  // past the table: nothing, and no read outside it
  EXPECT_TRUE(Seen().empty());
  k->OnKeyMessage(7, 0, 1);  // unmapped
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_EQ(Seen()[0].words[0], uint32_t(VQKEY_NONE));
  k->Close();
}

TEST_F(Keyboard, Getters) {
  g_VQerror = 0;
  EXPECT_EQ(VQdirectinput_GetKeyboardDevice(VQDEVICE_DINPUT_KEYBOARD, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_VQerror = 0;
  EXPECT_EQ(VQdirectinput_GetKeyboardDevice(VQDEVICE_WINDOWS_KEYBOARD, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  g_VQerror = 0;
  EXPECT_EQ(VQwindows_GetKeyboardDevice(VQDEVICE_WINDOWS_KEYBOARD, 1), nullptr);
  EXPECT_EQ(g_VQerror, 0) << "the Windows getter answers another index without an error";
  EXPECT_EQ(VQwindows_GetKeyboardDevice(VQDEVICE_DINPUT_KEYBOARD, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  VQDevice* d = VQwindows_GetKeyboardDevice(VQDEVICE_WINDOWS_KEYBOARD, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->GetName(), "Windows keyboard device");
  EXPECT_STREQ(VQdirectinput_GetKeyboardDevice(VQDEVICE_DINPUT_KEYBOARD, 0)->GetName(),
               "DirectInput Keyboard Device");
}
}  // namespace
