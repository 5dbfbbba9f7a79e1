// The element types: what each draws, what input it takes, what it reports to the window
// callback, its click sound through the sound hooks, and what it deletes.
#include <gtest/gtest.h>

#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "tests/overlay/overlay_support.h"

namespace overlay_test {
namespace {

// The sound cache and voice limiter as the elements see them: a double that counts.
struct SoundLog {
  int loads = 0, releases = 0, plays = 0;
};
SoundLog g_sounds;
VQSoundBuffer* const kClick = reinterpret_cast<VQSoundBuffer*>(uintptr_t(0x1000));
VQSoundDevice* const kDevice = reinterpret_cast<VQSoundDevice*>(uintptr_t(0x2000));

class Elements : public OverlayFixture {
 protected:
  void SetUp() override {
    OverlayFixture::SetUp();
    g_sounds = {};
    m_savedSound = g_VQoverlaySound;
    g_VQoverlaySound.load = [](VQSoundDevice* d, const char* name) -> VQSoundBuffer* {
      ++g_sounds.loads;
      return d == kDevice && std::string(name) == "click.wav" ? kClick : nullptr;
    };
    g_VQoverlaySound.release = [](VQSoundDevice*, VQSoundBuffer* s) { g_sounds.releases += s == kClick; };
    g_VQoverlaySound.play = [](VQSoundDevice*, VQSoundBuffer* s) { g_sounds.plays += s == kClick; };
    window = manager.CreateWindow(400, 300, nullptr, RecordEvent, 0, false);
    window->SetPosition(10, 20);
    window->Show();
  }
  void TearDown() override {
    manager.DestroyWindow(window);
    g_VQoverlaySound = m_savedSound;
    OverlayFixture::TearDown();
  }
  RecordingCanvas canvas{640, 480};
  VQWindowManager manager{&canvas};
  VQWindow* window = nullptr;
  VQOverlaySoundHooks m_savedSound;
};

TEST_F(Elements, HorizontalSliderReportsSixteenDotSixteen) {
  auto* s = new VQSliderElement(5, Image(8, 8), nullptr, Image(120, 8), nullptr, 10, 4, 110, 4);
  window->AddElement(s);
  EXPECT_EQ(s->m_vertical, 0u);
  EXPECT_TRUE(s->OnLeftDown(60, 0));
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].id, 5u);
  EXPECT_EQ(Events()[0].param, 32768u);
  EXPECT_EQ(Events()[0].event, 10u);
  EXPECT_TRUE(s->OnDrag(60, 0, 200, 0));
  EXPECT_EQ(Events()[1].param, 65536u);
  EXPECT_EQ(s->m_knobX, 110);
  s->OnDrag(0, 0, -50, 0);
  EXPECT_EQ(Events()[2].param, 0u);
  // SetValue reports only when the knob moves.
  Events().clear();
  s->SetValue(0.0f);
  EXPECT_TRUE(Events().empty());
  s->SetValue(0.5f);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].param, 32768u);
  EXPECT_EQ(s->m_knobX, 60);
  // Drawn: the track at the element, the knob centred on its position.
  s->m_x = 30;
  s->m_y = 40;
  canvas.blits.clear();
  window->Draw();
  ASSERT_EQ(canvas.blits.size(), 2u);
  EXPECT_EQ(canvas.blits[0].dx[0], 10 + 30);
  EXPECT_EQ(canvas.blits[1].dx[0], 10 + 30 + 60 - 4);
  EXPECT_EQ(canvas.blits[1].dy[0], 20 + 40 + 4 - 4);
  s->Hide();
  Events().clear();
  EXPECT_FALSE(s->OnLeftDown(60, 0));
  EXPECT_TRUE(Events().empty());
}

TEST_F(Elements, VerticalSliderTopIsOne) {
  auto* s = new VQSliderElement(1, Image(8, 8), nullptr, Image(8, 120), nullptr, 4, 10, 99, 110);
  window->AddElement(s);
  EXPECT_EQ(s->m_vertical, 1u);
  EXPECT_EQ(s->m_xMax, 4);
  s->OnLeftDown(0, 10);
  EXPECT_EQ(Events().back().param, 65536u);
  s->OnLeftDown(0, 110);
  EXPECT_EQ(Events().back().param, 0u);
}

TEST_F(Elements, SliderWithAnEmptyRangeDoesNotDivideByZero) {
  auto* s = new VQSliderElement(1, Image(8, 8), nullptr, Image(8, 8), nullptr, 7, 3, 7, 3);
  window->AddElement(s);
  EXPECT_TRUE(s->OnLeftDown(50, 50));
  EXPECT_EQ(Events().back().param, 0u);
  EXPECT_EQ(s->m_knobX, 7);
  s->SetValue(0.7f);
  EXPECT_EQ(Events().size(), 1u);
}

TEST_F(Elements, QuickClickShowsThePressedImageForTenFrames) {
  VQImageRef* normal = Image(20, 10);
  VQImageRef* pressed = Image(20, 10);
  VQImageRef* disabled = Image(20, 10);
  auto* b = new VQImageElement(3, normal, pressed, nullptr, disabled, nullptr);
  b->SetSound(kDevice, "click.wav");
  window->AddElement(b);
  EXPECT_EQ(b->m_width, 20);
  EXPECT_TRUE(window->OnLeftDown(5, 5));
  EXPECT_EQ(g_sounds.plays, 1);
  EXPECT_TRUE(Events().empty());
  window->OnLeftUp(5, 5);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].param, 0u);
  EXPECT_EQ(Events()[0].event, 9u);
  std::vector<const VQImageRef*> drawn;
  for (int frame = 0; frame < 12; ++frame) {
    canvas.blits.clear();
    window->Draw();
    drawn.push_back(canvas.blits.at(0).image);
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(drawn[i], pressed) << i;
  EXPECT_EQ(drawn[10], normal);
  b->Hide();
  canvas.blits.clear();
  window->Draw();
  EXPECT_EQ(canvas.blits.at(0).image, disabled);
  EXPECT_FALSE(b->OnLeftDown(5, 5));
  b->PlaySound();
  EXPECT_EQ(g_sounds.plays, 1) << "a disabled element plays nothing";
  delete b;
  EXPECT_EQ(g_sounds.releases, 1);
  EXPECT_EQ(window->m_elementCount, 0u);
}

TEST_F(Elements, ImageButtonDeletesASharedImageOnce) {
  VQImageRef* same = Image(4, 4);
  auto* b = new VQImageElement(1, same, same, same, nullptr, same);
  window->AddElement(b);
  delete b;  // the sanitizer build catches a second delete
  SUCCEED();
}

TEST_F(Elements, ToggleWithoutInputReportsNothingAndIsNotConsumed) {
  auto* t = new VQToggleElement(4, Image(30, 30), nullptr, false);
  window->AddElement(t);
  EXPECT_FALSE(window->OnLeftDown(3, 4));
  EXPECT_TRUE(Events().empty());
  auto* u = new VQToggleElement(6, Image(30, 30), nullptr, true);
  u->m_x = 100;
  window->AddElement(u);
  EXPECT_TRUE(window->OnLeftDown(103, 4));
  ASSERT_EQ(Events().size(), 2u);
  EXPECT_EQ(Events()[0].event, 9u);
  EXPECT_EQ(Events()[0].param, (4u << 16) + 3u);
  EXPECT_EQ(Events()[1].event, 1u);
  window->OnRightDown(105, 6);
  EXPECT_EQ(Events().back().event, 5u);
  u->m_partFlag = 1;
  window->Draw();
  EXPECT_EQ(canvas.tenArgumentBlits, 1);
  EXPECT_TRUE(u->SetImages(nullptr, nullptr, true));
  EXPECT_EQ(u->m_width, 0);
}

TEST_F(Elements, TextElementSizesAndDrawing) {
  VQFont* font = Font();
  ASSERT_NE(font, nullptr);
  auto* t = new VQTextElement(8, nullptr, "Hello", font);
  window->AddElement(t);
  int32_t w, h;
  font->MeasureText("Hello", &w, &h);
  EXPECT_EQ(t->m_width, w);
  EXPECT_EQ(t->m_layoutWidth, w);
  t->SetText("Hello, a much longer text");
  EXPECT_EQ(t->m_width, w) << "created with a text: the size stays";
  t->SetText("Hello");
  canvas.blits.clear();
  window->Draw();
  EXPECT_EQ(canvas.AllParts(&Blit::dx).size(), 5u);
  t->Hide();
  canvas.blits.clear();
  window->Draw();
  EXPECT_TRUE(canvas.blits.empty()) << "a disabled text is not drawn";
  t->Show();
  t->m_input = 1;
  t->OnLeftUp(3, 2);
  EXPECT_EQ(Events().back().event, 9u);
  auto* empty = new VQTextElement(9, nullptr, nullptr, font);
  window->AddElement(empty);
  EXPECT_EQ(empty->m_width, 1);
  empty->SetText("Hi");
  EXPECT_EQ(empty->m_width, 1) << "the layout width of 1 keeps the size";
  empty->SetSize(0, 0);
  empty->SetText("Hi");
  EXPECT_EQ(empty->m_width, font->TextWidth("Hi"));
  empty->SetText(nullptr);
  EXPECT_EQ(empty->m_width, 1);
}

TEST_F(Elements, ImageListSelectsTheFirstEnabledEntryUnderThePoint) {
  auto* l = new VQImageListElement(12);
  l->SetSound(kDevice, "click.wav");
  window->AddElement(l);
  EXPECT_FALSE(l->OnLeftDown(0, 0)) << "empty";
  ASSERT_TRUE(l->AddImage(0, 0, Image(20, 20), Image(20, 20), nullptr));
  ASSERT_TRUE(l->AddImage(10, 10, Image(20, 20), nullptr, nullptr));
  ASSERT_TRUE(l->AddImage(40, 0, Image(20, 20), nullptr, nullptr));
  EXPECT_EQ(l->m_width, 60);
  EXPECT_EQ(l->m_height, 30);
  EXPECT_TRUE(l->OnLeftDown(15, 15));
  EXPECT_EQ(l->m_selected, 0u);
  EXPECT_EQ(Events().back().param, 0u);
  EXPECT_EQ(g_sounds.plays, 1);
  l->m_entryEnabled[0] = 0;
  EXPECT_TRUE(l->OnLeftDown(15, 15));
  EXPECT_EQ(l->m_selected, 1u);
  l->m_entryEnabled[2] = 0;
  EXPECT_FALSE(l->OnLeftDown(45, 5)) << "a disabled entry is never selected";
  // The table holds 32 entries: the 33rd is refused.
  for (int i = 3; i < 32; ++i) ASSERT_TRUE(l->AddImage(0, 0, Image(1, 1), nullptr, nullptr));
  VQImageRef* extra = Image(1, 1);
  EXPECT_FALSE(l->AddImage(0, 0, extra, nullptr, nullptr));
  EXPECT_EQ(l->m_entryCount, 32);
  delete extra;
}

bool DrawCustom(VQWindow* w, VQCustomElement* e, uintptr_t calls) {
  ++*reinterpret_cast<int*>(calls);
  return w == e->m_owner;
}

TEST_F(Elements, CustomElementDrawsThroughItsCallbackAndReportsKeys) {
  int calls = 0;
  auto* c = new VQCustomElement(21, 40, 30, DrawCustom, reinterpret_cast<uintptr_t>(&calls));
  window->AddElement(c);
  window->Draw();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(window->OnLeftDown(4, 5));
  EXPECT_EQ(Events().back().event, 1u);
  EXPECT_EQ(Events().back().param, (5u << 16) + 4u);
  EXPECT_FALSE(window->OnKey(33, true));
  EXPECT_EQ(Events().back().event, 7u);
  EXPECT_EQ(Events().back().param, 33u);
  window->OnKey(33, false);
  EXPECT_EQ(Events().back().event, 8u);
}

TEST_F(Elements, BaseDefaultsIdentifiersAndGameTypes) {
  VQOverlayElement e(VQELEMENT_UNDRAWN, 1, 0, 0, 5, 5);
  EXPECT_EQ(e.SetId(40), VQELEMENT_NO_TOOLTIP);
  EXPECT_EQ(e.GetId(), 40u);
  e.m_idByPointer = 1;
  EXPECT_EQ(e.GetId(), reinterpret_cast<uintptr_t>(&e));
  EXPECT_TRUE(e.Hide());
  EXPECT_FALSE(e.Show());
  window->AddElement(&e);
  canvas.blits.clear();
  e.Draw();  // type 5 draws nothing
  EXPECT_TRUE(canvas.blits.empty());
  static int gameDraws = 0;
  EXPECT_TRUE(VQoverlay_SetGameDrawRoutine(VQELEMENT_GAUGE, [](VQOverlayElement*) { ++gameDraws; }));
  EXPECT_FALSE(VQoverlay_SetGameDrawRoutine(VQELEMENT_TEXT, nullptr));
  VQOverlayElement g(VQELEMENT_GAUGE, 2, 0, 0, 5, 5);
  window->AddElement(&g);
  g.Draw();
  EXPECT_EQ(gameDraws, 1);
  VQoverlay_SetGameDrawRoutine(VQELEMENT_GAUGE, nullptr);
  window->RemoveElement(&g);
  window->RemoveElement(&e);
  e.SetSound(kDevice, "missing.wav");
  EXPECT_EQ(e.m_sound, nullptr);
}

}  // namespace
}  // namespace overlay_test
