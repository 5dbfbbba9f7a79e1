// The overlay window stack: creation limits, raising and activation, event routing through the
// device root and the canvas, drags, keys and keyboard navigation, drawing order.
#include <gtest/gtest.h>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/util/VQerror.h"
#include "tests/overlay/overlay_support.h"

namespace overlay_test {
namespace {

struct Mouse {
  int32_t prevX, prevY, prevZ, x, y, z;
};
struct Key {
  uint32_t key, pressed;
};

// An element that records the input the window hands it.
class Probe : public VQOverlayElement {
 public:
  Probe(int32_t x, int32_t y, int32_t w, int32_t h, bool input = true) : VQOverlayElement(7, 1, x, y, w, h) {
    m_input = input ? 1 : 0;
  }
  ~Probe() override {
    if (m_owner) m_owner->RemoveElement(this);
  }
  bool OnLeftDown(int32_t x, int32_t y) override { return Log("down", x, y); }
  bool OnLeftUp(int32_t x, int32_t y) override { return Log("up", x, y); }
  bool OnDrag(int32_t, int32_t, int32_t x, int32_t y) override { return Log("drag", x, y); }
  bool OnKey(uint32_t key, bool pressed) override { return Log(pressed ? "key" : "keyup", int32_t(key), 0); }
  bool OnFocusGained(int32_t x, int32_t y) override { return Log("focus", x, y); }
  bool OnFocusLost() override { return Log("lost", 0, 0); }
  bool Log(const char* what, int32_t x, int32_t y) {
    log.push_back(std::string(what) + " " + std::to_string(x) + "," + std::to_string(y));
    return true;
  }
  std::vector<std::string> log;
};

class WindowStack : public testing::Test {
 protected:
  bool Mouse(uint32_t event, int32_t x, int32_t y) {
    struct Mouse m {m_x, m_y, 0, x, y, 0};
    m_x = x;
    m_y = y;
    return manager.HandleEvent(event, &m);
  }
  bool KeyEvent(uint32_t key, bool pressed) {
    Key k{key, pressed ? 1u : 0u};
    return manager.HandleEvent(VQEVENT_KEY, &k);
  }
  VQWindow* Make(int32_t x, int32_t y, int32_t w, int32_t h) {
    VQWindow* win = manager.CreateWindow(w, h, nullptr, RecordEvent, 0, false);
    EXPECT_NE(win, nullptr);
    win->SetPosition(x, y);
    win->Show();
    return win;
  }
  void SetUp() override { Events().clear(); }
  VQCanvas* Canvas() { return &canvas; }
  RecordingCanvas canvas{640, 480};
  VQWindowManager manager{&canvas};
  int32_t m_x = 0, m_y = 0;
};

TEST_F(WindowStack, ThirtyTwoWindowsAtMost) {
  for (uint32_t i = 0; i < VQOVERLAY_MAX_WINDOWS; ++i) ASSERT_NE(manager.CreateWindow(10, 10, nullptr, nullptr, 0, false), nullptr);
  g_VQerror = 0;
  EXPECT_EQ(manager.CreateWindow(10, 10, nullptr, nullptr, 0, false), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  EXPECT_EQ(manager.m_count, 32u);
  g_VQerror = 0;
  VQWindowManager other(&canvas);
  EXPECT_EQ(other.CreateWindow(0, 10, nullptr, nullptr, 0, false), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
}

TEST_F(WindowStack, SixtyFourElementsAtMost) {
  VQWindow* w = Make(0, 0, 100, 100);
  std::vector<std::unique_ptr<Probe>> probes;
  for (uint32_t i = 0; i < VQWINDOW_MAX_ELEMENTS; ++i) {
    probes.emplace_back(new Probe(0, 0, 1, 1));
    ASSERT_TRUE(w->AddElement(probes.back().get()));
  }
  Probe extra(0, 0, 1, 1);
  EXPECT_FALSE(w->AddElement(&extra));
  EXPECT_EQ(extra.m_owner, nullptr);
  EXPECT_EQ(w->m_elementCount, 64u);
  EXPECT_FALSE(w->AddElement(probes[0].get())) << "an element has one owner";
}

TEST_F(WindowStack, ClickRaisesAndActivatesTheLowerWindowUnlessFixed) {
  VQWindow* a = Make(0, 0, 100, 100);
  VQWindow* b = Make(50, 50, 100, 100);
  EXPECT_EQ(manager.m_windows[1], b);
  EXPECT_EQ(manager.m_active, b);
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_DOWN, 10, 10));  // only a is there
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_UP, 10, 10));
  EXPECT_EQ(manager.m_windows[1], a);
  EXPECT_EQ(a->m_index, 1u);
  EXPECT_EQ(b->m_index, 0u);
  EXPECT_EQ(manager.m_active, a);
  // Where both overlap the top one gets the click.
  EXPECT_EQ(manager.WindowAt(60, 60), a);
  // A fixed-order window is activated but stays where it is.
  b->m_fixedOrder = 1;
  Mouse(VQEVENT_LEFT_DOWN, 140, 140);
  Mouse(VQEVENT_LEFT_UP, 140, 140);
  EXPECT_EQ(manager.m_windows[0], b);
  EXPECT_EQ(manager.m_active, b);
  // Nothing under the point: not consumed, no active window.
  EXPECT_FALSE(Mouse(VQEVENT_LEFT_DOWN, 400, 400));
  EXPECT_EQ(manager.m_active, nullptr);
}

TEST_F(WindowStack, DragMovesAMovableWindowAndStopsAtTheEdge) {
  VQWindow* w = Make(500, 100, 100, 50);
  Mouse(VQEVENT_POINTER_MOVE, 510, 110);
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_DOWN, 510, 110));
  EXPECT_TRUE(Mouse(VQEVENT_POINTER_MOVE, 530, 120));
  EXPECT_EQ(w->m_x, 520);
  EXPECT_EQ(w->m_y, 110);
  ASSERT_FALSE(Events().empty());
  EXPECT_EQ(Events().back().event, 0u);
  Mouse(VQEVENT_POINTER_MOVE, 700, 900);
  EXPECT_EQ(w->m_x, 640 - 100);
  EXPECT_EQ(w->m_y, 480 - 50);
  Mouse(VQEVENT_POINTER_MOVE, -2000, -2000);
  EXPECT_EQ(w->m_x, 0);
  EXPECT_EQ(w->m_y, 0);
  Mouse(VQEVENT_LEFT_UP, 0, 0);
  w->SetMovable(false);
  Mouse(VQEVENT_LEFT_DOWN, 10, 10);
  Mouse(VQEVENT_POINTER_MOVE, 50, 50);
  EXPECT_EQ(w->m_x, 0);
}

TEST_F(WindowStack, ButtonFlagsAreSeparate) {
  Make(0, 0, 200, 200);
  EXPECT_FALSE(Mouse(VQEVENT_LEFT_UP, 10, 10)) << "no left-down reached the overlay";
  VQWindow* w = manager.m_windows[0];
  Mouse(VQEVENT_LEFT_DOWN, 10, 10);
  Mouse(VQEVENT_RIGHT_DOWN, 10, 10);
  EXPECT_TRUE(Mouse(VQEVENT_RIGHT_UP, 10, 10));
  EXPECT_EQ(manager.m_leftHeld, 1);
  Mouse(VQEVENT_POINTER_MOVE, 15, 12);
  EXPECT_EQ(w->m_x, 5);
  EXPECT_EQ(w->m_y, 2);
  EXPECT_FALSE(manager.HandleEvent(VQEVENT_MIDDLE_DOWN, &w)) << "middle button is not routed";
}

TEST_F(WindowStack, FocusedElementGetsReleaseDragAndKeys) {
  VQWindow* w = Make(100, 100, 200, 200);
  Probe p(10, 10, 50, 20);
  Probe passive(10, 40, 50, 20, false);
  ASSERT_TRUE(w->AddElement(&p));
  ASSERT_TRUE(w->AddElement(&passive));
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_DOWN, 115, 112));
  Mouse(VQEVENT_POINTER_MOVE, 130, 115);
  Mouse(VQEVENT_LEFT_UP, 130, 115);
  EXPECT_TRUE(KeyEvent(42, true));
  EXPECT_EQ(p.log, (std::vector<std::string>{"focus 15,12", "down 15,12", "drag 30,15", "up 30,15", "key 42,0"}));
  EXPECT_EQ(w->m_x, 100) << "a drag on an element does not move the window";
  // A press on an element without the input flag takes the focus away: not consumed.
  EXPECT_FALSE(w->OnLeftDown(15, 45));
  EXPECT_EQ(p.log.back(), "lost 0,0");
  EXPECT_EQ(w->m_focused, nullptr);
}

TEST_F(WindowStack, KeysWithoutFocusGoToTheCallbackOrNavigate) {
  VQWindow* w = Make(0, 0, 200, 200);
  Probe a(0, 0, 10, 10), b(20, 0, 10, 10), c(40, 0, 10, 10, false);
  w->AddElement(&a);
  w->AddElement(&b);
  w->AddElement(&c);
  EXPECT_TRUE(KeyEvent(VQOVERLAY_KEY_NEXT, true));
  EXPECT_EQ(w->m_highlighted, &a);
  EXPECT_TRUE(KeyEvent(VQOVERLAY_KEY_NEXT, true));
  EXPECT_EQ(w->m_highlighted, &b);
  EXPECT_EQ(a.m_highlighted, 0);
  w->m_wrap = 0;
  EXPECT_TRUE(KeyEvent(VQOVERLAY_KEY_NEXT, true));
  EXPECT_EQ(w->m_highlighted, &b) << "wrap off: stays on the last element with input";
  w->m_wrap = 1;
  KeyEvent(VQOVERLAY_KEY_NEXT, true);
  EXPECT_EQ(w->m_highlighted, &a);
  KeyEvent(VQOVERLAY_KEY_PREVIOUS, true);
  EXPECT_EQ(w->m_highlighted, &b);
  KeyEvent(VQOVERLAY_KEY_ACTIVATE, true);
  EXPECT_EQ(b.log, (std::vector<std::string>{"focus 20,0", "down 20,0", "up 20,0"}));
  EXPECT_FALSE(KeyEvent(55, true)) << "other keys are not consumed while navigating";
  Events().clear();
  KeyEvent(55, false);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].id, VQWINDOW_KEY_ID);
  EXPECT_EQ(Events()[0].param, 55u);
  EXPECT_EQ(Events()[0].event, 8u);
  w->m_keyNavigation = 0;
  KeyEvent(VQOVERLAY_KEY_NEXT, true);
  EXPECT_EQ(Events().back().event, 7u);
  manager.m_keyboardEnabled = 0;
  EXPECT_FALSE(KeyEvent(1, true));
}

bool RecordA(uintptr_t id, uint32_t param, uint32_t event, uintptr_t) {
  Events().push_back(Event{id, param, event + 100});
  return false;
}

TEST_F(WindowStack, KeysGoToTheWindowClickedLast) {
  VQWindow* a = manager.CreateWindow(100, 100, nullptr, RecordA, 0, false);
  VQWindow* b = Make(200, 0, 100, 100);
  a->Show();
  a->m_keyNavigation = b->m_keyNavigation = 0;
  Mouse(VQEVENT_LEFT_DOWN, 250, 50);
  Mouse(VQEVENT_LEFT_UP, 250, 50);
  Events().clear();
  KeyEvent(12, true);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].event, 7u) << "window b";
  Mouse(VQEVENT_LEFT_DOWN, 50, 50);
  Mouse(VQEVENT_LEFT_UP, 50, 50);
  KeyEvent(12, true);
  ASSERT_EQ(Events().size(), 2u);
  EXPECT_EQ(Events()[1].event, 107u) << "window a";
  // A click on no window leaves no window for the keys.
  Mouse(VQEVENT_LEFT_DOWN, 500, 400);
  EXPECT_FALSE(KeyEvent(12, true));
}

TEST_F(WindowStack, HoverHighlightsTheElementUnderThePointer) {
  VQWindow* w = Make(0, 0, 200, 200);
  Probe a(0, 0, 10, 10);
  w->AddElement(&a);
  Mouse(VQEVENT_POINTER_MOVE, 5, 5);
  EXPECT_EQ(a.m_highlighted, 1);
  EXPECT_EQ(manager.ElementAt(5, 5), &a);
  Mouse(VQEVENT_POINTER_MOVE, 50, 50);
  EXPECT_EQ(a.m_highlighted, 0);
  EXPECT_EQ(w->m_highlighted, nullptr);
}

TEST_F(WindowStack, ModalWindowTakesEveryPress) {
  VQWindow* a = Make(0, 0, 100, 100);
  VQWindow* m = manager.CreateWindow(50, 50, nullptr, RecordEvent, 0, true);
  m->SetPosition(300, 300);
  m->Show();
  EXPECT_EQ(manager.m_modal, m);
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_DOWN, 10, 10));
  Mouse(VQEVENT_LEFT_UP, 10, 10);
  EXPECT_EQ(manager.m_active, m);
  EXPECT_TRUE(Mouse(VQEVENT_LEFT_DOWN, 600, 10)) << "consumed even outside every window";
  m->Hide();
  EXPECT_EQ(manager.m_modal, nullptr);
  (void)a;
}

TEST_F(WindowStack, DestroyedWindowsLeaveNoTraces) {
  VQWindow* a = Make(0, 0, 100, 100);
  VQWindow* b = Make(0, 0, 100, 100);
  VQWindow* c = Make(0, 0, 100, 100);
  manager.m_top[0] = b;
  manager.m_top[1] = c;
  auto* button = new Probe(0, 0, 5, 5);
  c->AddElement(button);  // deleted with its window
  EXPECT_TRUE(manager.DestroyWindow(c));
  EXPECT_TRUE(manager.DestroyWindow(b));
  EXPECT_EQ(manager.m_top[0], nullptr);
  EXPECT_EQ(manager.m_top[1], nullptr);
  EXPECT_EQ(manager.m_count, 1u);
  EXPECT_EQ(a->m_index, 0u);
  EXPECT_EQ(manager.m_active, nullptr);
  EXPECT_FALSE(manager.DestroyWindow(b));
  manager.Draw();  // nothing freed is drawn
  Mouse(VQEVENT_POINTER_MOVE, 1, 1);
}

TEST_F(WindowStack, DrawOrderPutsTheTopWindowsLast) {
  VQImageRef ia, ib, ic;
  VQWindow* a = manager.CreateWindow(10, 10, &ia, nullptr, 0, false);
  VQWindow* b = manager.CreateWindow(10, 10, &ib, nullptr, 0, false);
  VQWindow* c = manager.CreateWindow(10, 10, &ic, nullptr, 0, false);
  a->Show();
  b->Show();
  c->Show();
  manager.m_top[0] = a;
  manager.Draw();
  ASSERT_EQ(canvas.blits.size(), 3u);
  EXPECT_EQ(canvas.blits[0].image, &ib);
  EXPECT_EQ(canvas.blits[1].image, &ic);
  EXPECT_EQ(canvas.blits[2].image, &ia);
  EXPECT_EQ(manager.m_moved, 0);
  b->Hide();
  canvas.blits.clear();
  manager.Draw();
  EXPECT_EQ(canvas.blits.size(), 2u);
}

// Through the device root and the canvas: a handler that consumes keeps the event from the
// overlay; otherwise the canvas's window manager gets it.
class Device : public VQDevice {
 public:
  Device() : VQDevice(VQDEVICE_WINDOWS_MOUSE) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "test"; }
};

bool Consume(uint32_t, void*, uintptr_t) { return true; }
bool Pass(uint32_t, void*, uintptr_t calls) {
  ++*reinterpret_cast<int*>(calls);
  return false;
}

TEST(OverlayCanvas, CanvasOwnsAManagerAndUnconsumedEventsReachIt) {
  const VQCanvasOverlayHooks saved = g_VQcanvasOverlay;
  VQoverlay_InstallCanvasHooks();
  {
    RecordingCanvas canvas(320, 240);
    VQWindowManager* manager = VQoverlay_Manager(&canvas);
    ASSERT_NE(manager, nullptr);
    VQWindow* root = VQoverlay_RootWindow(&canvas);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->m_width, 320);
    EXPECT_EQ(manager->m_active, root);
    VQWindow* w = manager->CreateWindow(50, 50, nullptr, nullptr, 0, false);
    w->SetPosition(100, 100);
    w->Show();
    Probe p(0, 0, 50, 50);
    w->AddElement(&p);

    Device device;
    int calls = 0;
    device.PushHandler(Pass, reinterpret_cast<uintptr_t>(&calls));
    Mouse rec{0, 0, 0, 110, 110, 0};
    EXPECT_TRUE(device.PostEvent(VQEVENT_LEFT_DOWN, &rec, &canvas));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(p.log.size(), 2u);  // focus, down
    device.PushHandler(Consume, 0);
    EXPECT_TRUE(device.PostEvent(VQEVENT_LEFT_UP, &rec, &canvas));
    EXPECT_EQ(calls, 2) << "every handler is called";
    EXPECT_EQ(p.log.size(), 2u) << "a consumed event does not reach the overlay";
    device.PopHandler();
    EXPECT_FALSE(device.PostEvent(VQEVENT_LEFT_UP, &rec, nullptr)) << "no canvas: dropped";
    // The root window is drawn first, under the others, and never raised.
    rec = {0, 0, 0, 5, 5, 0};
    device.PostEvent(VQEVENT_LEFT_DOWN, &rec, &canvas);
    EXPECT_EQ(manager->m_windows[0], root);
    w->RemoveElement(&p);
  }
  g_VQcanvasOverlay = saved;
}

}  // namespace
}  // namespace overlay_test
