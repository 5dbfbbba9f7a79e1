// The menu system on its own: pages, items, values, focus, targets and the event stream.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MenuAreas.h"
#include "Zentri/devices/sound/VQSoundBuffer.h"

namespace {

// A sound that only counts how often it was started.
class CountingSound : public VQSoundBuffer {
 public:
  bool Stop(bool) override { return true; }
  bool Pause(bool) override { return true; }
  bool Play(uint32_t) override {
    ++plays;
    return true;
  }
  bool SetFrequency(uint32_t) override { return true; }
  bool SetSpeed(int32_t) override { return true; }
  bool SetPan(int32_t, int32_t) override { return true; }
  bool SetVolume(float) override { return true; }
  bool GetFrequency(uint32_t&) override { return true; }
  bool GetSpeed(int32_t&) override { return true; }
  bool GetPan(int32_t&, int32_t&) override { return true; }
  int plays = 0;
};

struct Event {
  int32_t page, item;
  uint32_t event;
  bool operator==(const Event& o) const {
    return page == o.page && item == o.item && event == o.event;
  }
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MenuResources res;
    for (uint32_t i = 0; i < MENU_SOUND_COUNT; ++i) res.sounds[i] = &m_sounds[i];
    ASSERT_TRUE(m_menu.Init(nullptr, &MenuTest::Callback, reinterpret_cast<uintptr_t>(this), res));
  }
  void TearDown() override {
    // The counting sounds belong to the test, not to a sound device.
    for (auto& s : m_menu.m_res.sounds) s = nullptr;
    m_menu.Release();  // its hide events reach this fixture, so it goes first
  }
  static void Callback(MenuPage* page, MenuItem* item, uint32_t event, uintptr_t user) {
    auto* self = reinterpret_cast<MenuTest*>(user);
    self->m_events.push_back({page->m_id, item->id, event});
    if (self->m_onEvent) self->m_onEvent(page, item, event);
  }
  MenuItem* Add(MenuPage* page, int32_t id, int32_t target, int32_t kind = 0) {
    EXPECT_TRUE(page->AddItem(id, "label", target, kind, "help"));
    return page->m_items[page->m_itemCount - 1];
  }
  int Sound(uint32_t which) const { return m_sounds[which].plays; }
  std::vector<Event> Of(uint32_t event) const {
    std::vector<Event> out;
    for (const Event& e : m_events)
      if (e.event == event) out.push_back(e);
    return out;
  }

  CountingSound m_sounds[MENU_SOUND_COUNT];
  Menu m_menu;
  std::vector<Event> m_events;
  std::function<void(MenuPage*, MenuItem*, uint32_t)> m_onEvent;
};

TEST_F(MenuTest, IntegerStopsAtItsEndsOrWraps) {
  MenuPage* page = m_menu.CreatePage(1, "one");
  MenuItem* item = Add(page, 8, 0x70000, MENU_VALUE_INTEGER);
  item->value->minimum = 1;
  item->value->maximum = 7;
  item->value->value = 7;
  page->Show();
  m_events.clear();
  page->Increase();
  EXPECT_EQ(item->value->value, 7);
  EXPECT_TRUE(m_events.empty());
  EXPECT_EQ(Sound(MENU_SOUND_LEFTRIGHT), 0);
  item->value->wrap = 1;
  page->Increase();
  EXPECT_EQ(item->value->value, 1);
  EXPECT_STREQ(item->value->number, "1");
  ASSERT_EQ(m_events.size(), 1u);
  EXPECT_EQ(m_events[0], (Event{1, 8, MENU_INCREASE}));
  EXPECT_EQ(Sound(MENU_SOUND_LEFTRIGHT), 1);
  page->Decrease();  // wraps down to the maximum
  EXPECT_EQ(item->value->value, 7);
}

TEST_F(MenuTest, ChoiceWrapsAndReportsTheNewIndex) {
  static const char* const kTexts[3] = {"a", "b", "c"};
  MenuPage* page = m_menu.CreatePage(1, "one");
  MenuItem* item = Add(page, 2, 0x70000, MENU_VALUE_CHOICE);
  item->value->choiceTexts = kTexts;
  item->value->choiceCount = 3;
  item->value->wrap = 1;
  int32_t seen = -1;
  m_onEvent = [&](MenuPage*, MenuItem* i, uint32_t e) {
    if (e == MENU_DECREASE) seen = i->value->choice;  // the new value is there already
  };
  page->Show();
  page->Decrease();
  EXPECT_EQ(seen, 2);
  EXPECT_STREQ(item->value->DisplayText(), "c");
  item->value->wrap = 0;
  item->value->choice = 0;
  m_events.clear();
  page->Decrease();
  EXPECT_EQ(item->value->choice, 0);
  EXPECT_TRUE(m_events.empty());
}

TEST_F(MenuTest, SliderClampsAndIgnoresKeysAtItsEnds) {
  MenuPage* page = m_menu.CreatePage(7, "sound");
  MenuItem* item = Add(page, 10, 0x70000, MENU_VALUE_SLIDER);
  item->value->sliderStep = 0.1f;
  item->value->slider01 = 1.0f;
  page->Show();
  m_events.clear();
  page->Increase();
  EXPECT_TRUE(m_events.empty());
  item->value->slider01 = 0.95f;
  page->Increase();
  EXPECT_FLOAT_EQ(item->value->slider01, 1.0f);
  item->value->slider01 = 0.0f;
  m_events.clear();
  page->Decrease();
  EXPECT_FLOAT_EQ(item->value->slider01, 0.0f);
  EXPECT_TRUE(m_events.empty());
}

TEST_F(MenuTest, InformationLinesTakeNoFocusAndTheSearchGivesUp) {
  MenuPage* page = m_menu.CreatePage(18, "info");
  ASSERT_TRUE(page->AddItem(0, "line one", MENU_TARGET_STAY, 0, nullptr));
  ASSERT_TRUE(page->AddItem(0, "line two", MENU_TARGET_STAY, 0, nullptr));
  for (uint32_t i = 0; i < page->m_itemCount; ++i) page->m_items[i]->selectable = 0;
  page->Show();
  EXPECT_EQ(page->m_focus, -1);
  m_events.clear();
  page->FocusNext();
  page->FocusPrevious();
  EXPECT_FALSE(page->OnKey(MENU_KEY_ACCEPT, 7));
  EXPECT_TRUE(m_events.empty());
  EXPECT_EQ(Sound(MENU_SOUND_UPDOWN), 0);
}

TEST_F(MenuTest, TargetsShowPagesResetFocusOrStay) {
  MenuPage* one = m_menu.CreatePage(1, "one");
  MenuPage* three = m_menu.CreatePage(3, "three");
  Add(three, 0, 1);
  Add(one, 11, 0x70000);
  MenuItem* go = Add(one, 12, 0x8003);
  one->Show();
  one->FocusItem(12);
  m_events.clear();
  one->Activate(one->GetItem(11));
  EXPECT_EQ(Of(MENU_ACTIVATE).size(), 1u);
  EXPECT_EQ(m_menu.GetCurrentPage(), one);
  one->Activate(go);
  EXPECT_EQ(m_menu.GetCurrentPage(), three);
  EXPECT_EQ(one->m_focus, -1);
  EXPECT_EQ(Sound(MENU_SOUND_ACTION), 2);
}

TEST_F(MenuTest, AHandlerThatChangesPagesEndsTheAccept) {
  MenuPage* one = m_menu.CreatePage(1, "one");
  MenuPage* two = m_menu.CreatePage(2, "two");
  MenuPage* three = m_menu.CreatePage(3, "three");
  Add(two, 0, 1);
  Add(three, 0, 1);
  MenuItem* item = Add(one, 5, 3);
  m_onEvent = [&](MenuPage*, MenuItem* i, uint32_t e) {
    if (e == MENU_ACTIVATE && i == item) m_menu.ShowPage(2);
  };
  one->Show();
  one->Activate(item);
  EXPECT_EQ(m_menu.GetCurrentPage(), two);
  EXPECT_EQ(Sound(MENU_SOUND_ACTION), 0);
}

TEST_F(MenuTest, ATargetOutsideTheTreeDoesNothing) {
  MenuPage* one = m_menu.CreatePage(1, "one");
  MenuItem* item = Add(one, 5, 77);
  one->Show();
  one->Activate(item);
  EXPECT_EQ(m_menu.GetCurrentPage(), one);
  EXPECT_TRUE(one->m_shown);
  m_menu.ShowPage(99);  // no such page: the shown page stays
  EXPECT_EQ(m_menu.GetCurrentPage(), one);
  // Lookups by index or id outside the page give nothing.
  EXPECT_EQ(one->GetItem(20, false), nullptr);
  EXPECT_EQ(one->GetItem(-1, false), nullptr);
  EXPECT_EQ(one->GetValue(12345), nullptr);
  EXPECT_EQ(one->GetWidget(0), nullptr);
}

TEST_F(MenuTest, HiddenItemsTakeNoRowNoFocusAndNoEvents) {
  MenuPage* page = m_menu.CreatePage(1, "one");
  MenuItem* hidden = Add(page, 1, 0x70000);
  hidden->hidden = 1;
  Add(page, 2, 0x70000);
  Add(page, 3, 0x70000);
  page->Show();
  EXPECT_EQ(page->GetFocusedItem()->id, 2);
  page->FocusPrevious();  // wraps past the hidden item
  EXPECT_EQ(page->GetFocusedItem()->id, 3);
  m_events.clear();
  page->Hide();
  for (const Event& e : m_events) EXPECT_NE(e.item, 1) << e.event;
  EXPECT_EQ(Of(MENU_HIDDEN).size(), 2u);
  EXPECT_FALSE(page->m_shown);
  EXPECT_EQ(m_menu.m_currentPage, -1);
}

TEST_F(MenuTest, ShowingFillsEveryItemBeforeTheFocusEvent) {
  MenuPage* page = m_menu.CreatePage(11, "race");
  Add(page, 5, 0x40000);
  page->AddItem(0, "", 0, 0, nullptr);  // an empty line gets no events
  Add(page, 6, 2);
  page->Show();
  const std::vector<Event> expected = {
      {11, 5, MENU_SHOWN}, {11, 6, MENU_SHOWN}, {11, 5, MENU_FOCUS_GAINED}};
  EXPECT_EQ(m_events, expected);
  EXPECT_EQ(page->m_items[1]->target, MENU_TARGET_EMPTY);
  EXPECT_FALSE(page->m_items[1]->selectable);
}

TEST_F(MenuTest, KeysMoveTheFocusChangeValuesAndAccept) {
  MenuPage* page = m_menu.CreatePage(1, "one");
  Add(page, 1, 0x70000);
  MenuItem* value = Add(page, 2, 0x70000, MENU_VALUE_INTEGER);
  value->value->maximum = 3;
  page->Show();
  m_menu.m_keyResult = 1;
  EXPECT_TRUE(page->OnKey(MENU_KEY_DOWN, 7));
  EXPECT_EQ(page->GetFocusedItem(), value);
  EXPECT_TRUE(page->OnKey(MENU_KEY_INCREASE, 7));
  EXPECT_EQ(value->value->value, 1);
  EXPECT_FALSE(page->OnKey(MENU_KEY_INCREASE, 8));  // releases do nothing
  EXPECT_FALSE(page->OnKey(42, 7));                 // other keys are not claimed
  m_menu.m_keysActive = 0;
  EXPECT_FALSE(page->OnKey(MENU_KEY_DOWN, 7));
  EXPECT_EQ(page->GetFocusedItem(), value);
}

TEST_F(MenuTest, ActivateByLabelIgnoresCase) {
  MenuPage* page = m_menu.CreatePage(4, "race");
  ASSERT_TRUE(page->AddItem(162, "Continue race", 0x30000, 0, nullptr));
  page->Show();
  m_events.clear();
  EXPECT_TRUE(page->ActivateByLabel("CONTINUE RACE"));
  EXPECT_FALSE(page->ActivateByLabel("Back"));
  EXPECT_EQ(Of(MENU_ACTIVATE).size(), 1u);
}

TEST_F(MenuTest, LimitsOfPagesItemsAndWidgets) {
  for (uint32_t i = 0; i < MENU_MAX_PAGES; ++i)
    ASSERT_NE(m_menu.CreatePage(int32_t(i), "p"), nullptr);
  EXPECT_EQ(m_menu.CreatePage(1000, "p"), nullptr);
  MenuPage* page = m_menu.FindPage(5);
  for (uint32_t i = 0; i < MENU_MAX_ITEMS; ++i)
    ASSERT_TRUE(page->AddItem(int32_t(i), "x", 0x70000, 0, nullptr));
  EXPECT_FALSE(page->AddItem(99, "x", 0x70000, 0, nullptr));
  m_menu.DeletePage(m_menu.FindPage(0));
  EXPECT_EQ(m_menu.m_pageCount, MENU_MAX_PAGES - 1);
  EXPECT_EQ(m_menu.FindPage(0), nullptr);
  EXPECT_EQ(m_menu.FindPage(99)->m_id, 99);
}

TEST_F(MenuTest, RemovingTheFocusedItemClearsTheFocus) {
  MenuPage* page = m_menu.CreatePage(1, "one");
  Add(page, 1, 0x70000);
  Add(page, 2, 0x70000);
  page->Show();
  page->FocusItem(2);
  page->RemoveItem(0);
  EXPECT_EQ(page->GetFocusedItem()->id, 2);
  page->RemoveItem(0);
  EXPECT_EQ(page->m_focus, -1);
  page->RemoveItem(5);  // outside the page: nothing
  EXPECT_EQ(page->m_itemCount, 0u);
}

TEST(MenuAreas, RegisterRefusesDuplicatesAndOverflow) {
  MenuAreas_Clear();
  MenuArea area;
  area.name = "options";
  EXPECT_TRUE(MenuAreas_Register(area));
  EXPECT_FALSE(MenuAreas_Register(area));
  static std::string names[MENU_MAX_AREAS];
  for (size_t i = 1; i < MENU_MAX_AREAS; ++i) {
    names[i] = "area" + std::to_string(i);
    area.name = names[i].c_str();
    EXPECT_TRUE(MenuAreas_Register(area));
  }
  area.name = "one too many";
  EXPECT_FALSE(MenuAreas_Register(area));
  EXPECT_EQ(MenuAreas_Count(), MENU_MAX_AREAS);
  EXPECT_EQ(MenuAreas_Get(MENU_MAX_AREAS), nullptr);
  MenuAreas_Clear();
  EXPECT_EQ(MenuAreas_Count(), 0u);
}

}  // namespace
