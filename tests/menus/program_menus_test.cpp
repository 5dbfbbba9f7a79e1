// The menu tree, its event handler and the menu cars inside one started Program on a copy of
// the generated data tree (offscreen video, dummy audio).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "QVX/menu/Menu.h"
#include "QVX/menu/TextField.h"
#include "QVX/race/Player.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"

namespace fs = std::filesystem;

namespace {

class ProgramMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    m_dir = fs::temp_directory_path() / ("qvx_program_menus_" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    m_old = fs::current_path();
    fs::current_path(m_dir);
    ProgramOptions options;
    options.headless = true;
    m_program = new Program(options);
    m_program->LoadLanguageStrings();
    ASSERT_TRUE(m_program->Initialize(0, nullptr));
    ASSERT_TRUE(m_program->BuildMenus());
    ASSERT_TRUE(m_program->BuildSessionMenus());
    ASSERT_TRUE(m_program->BuildRaceMenus());
    m_menu = m_program->m_menu;
  }
  void TearDown() override {
    if (m_program) {
      m_program->Shutdown();
      delete m_program;
    }
    fs::current_path(m_old);
    fs::remove_all(m_dir);
  }
  MenuItem* Item(int32_t page, int32_t id) {
    MenuPage* p = m_menu->FindPage(page);
    return p ? p->GetItem(id) : nullptr;
  }

  fs::path m_dir, m_old;
  Program* m_program = nullptr;
  Menu* m_menu = nullptr;
};

TEST_F(ProgramMenus, TheTreeHoldsItsPagesOnce) {
  // 50 pages of the menus, the main page and the in-race page; a second build adds nothing.
  EXPECT_EQ(m_menu->m_pageCount, 52u);
  EXPECT_TRUE(m_program->BuildMenus());
  EXPECT_EQ(m_menu->m_pageCount, 52u);
  // Page 4 by id is the options page; the in-race page is kept by pointer.
  EXPECT_NE(m_menu->FindPage(4), m_program->m_ms.racePage);
  EXPECT_EQ(m_program->m_ms.racePage->m_id, 4);
  for (uint32_t i = 0; i < m_menu->m_pageCount; ++i)
    EXPECT_LE(m_menu->m_pages[i]->m_itemCount, MENU_MAX_ITEMS);
  EXPECT_EQ(Item(11, 5)->target, 0x40000);
  EXPECT_EQ(Item(11, 6)->target, 2 | 0x8000);
  EXPECT_EQ(Item(11, 8)->value->maximum, 7);
  EXPECT_EQ(Item(30, 230)->target, 0x10000);
  EXPECT_STREQ(Item(11, 7)->label, "Race type");
}

TEST_F(ProgramMenus, EventsOutsideTheHandlersRangeDoNothing) {
  MenuPage* page = m_menu->FindPage(11);
  MenuItem* start = page->GetItem(5);
  m_program->m_sessionRequest = 7;
  m_program->OnMenuEvent(page, start, 7);
  m_program->OnMenuEvent(page, start, 99);
  m_program->OnMenuEvent(nullptr, start, MENU_ACTIVATE);
  m_program->OnMenuEvent(page, nullptr, MENU_ACTIVATE);
  EXPECT_EQ(m_program->m_sessionRequest, 7);
  // Activating a stay item changes no page and runs no tail.
  m_program->OnMenuEvent(page, page->GetItem(2), MENU_ACTIVATE);
  EXPECT_EQ(m_program->m_sessionRequest, 7);
}

TEST_F(ProgramMenus, StartingARaceWritesTheChoicesAndEndsTheMenuScreen) {
  Player* p1 = m_program->m_players[0];
  p1->m_profile.normal_track = 2;
  p1->m_profile.normal_length = 3;
  m_menu->ShowPage(11);
  MenuPage* page = m_menu->GetCurrentPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetValue(4)->choice, 2);
  page->FocusItem(4);
  page->Increase();  // track 3
  page->FocusItem(1);
  page->Decrease();  // 2 laps choice
  page->FocusItem(5);
  g_VQsystem.m_stop = 0;
  page->Activate(page->GetItem(5));
  EXPECT_EQ(m_program->m_sessionRequest, SESSION_RACE);
  EXPECT_EQ(g_VQsystem.m_stop, 1);
  EXPECT_EQ(m_program->m_gameMode, 3);
  EXPECT_EQ(p1->m_profile.normal_track, 3);
  EXPECT_EQ(p1->m_profile.normal_length, 2);
  EXPECT_EQ(m_menu->GetCurrentPage(), nullptr);
}

TEST_F(ProgramMenus, TheWeatherListFollowsTheTrackAndIsClamped) {
  Player* p1 = m_program->m_players[0];
  p1->m_profile.normal_weather = 500;
  m_menu->ShowPage(11);
  MenuValue* weather = m_menu->GetCurrentPage()->GetValue(9);
  ASSERT_GT(weather->choiceCount, 1);
  EXPECT_EQ(weather->choice, weather->choiceCount - 1);
  EXPECT_STREQ(weather->DisplayText(), "Random");
}

TEST_F(ProgramMenus, MenuCarsLoadOnceAndPaintOpaqueOnlyAtOne) {
  EXPECT_EQ(m_program->FindCar("ROOKIE"), m_program->m_classes[1]);
  EXPECT_EQ(m_program->FindCar("no such class"), nullptr);
  VQNode* car = m_program->LoadMenuCar(1);
  ASSERT_NE(car, nullptr);
  EXPECT_EQ(m_program->LoadMenuCar(1), car);
  EXPECT_EQ(m_program->LoadMenuCar(999), nullptr);
  VQMattable* opaque = m_program->SetMenuCarPaint(1, 0, 1.0f, true);
  VQMattable* clear = m_program->SetMenuCarPaint(1, 0, 0.999f, true);
  ASSERT_NE(opaque, nullptr);
  ASSERT_NE(clear, nullptr);
  ASSERT_GT(opaque->m_count, 0);
  EXPECT_EQ(opaque->m_hasTransparent, 0);
  EXPECT_EQ(opaque->m_slots[0]->m_srcBlend, 1u);
  EXPECT_EQ(opaque->m_slots[0]->m_dstBlend, 0u);
  EXPECT_EQ(clear->m_hasTransparent, 1);
  EXPECT_EQ(clear->m_slots[0]->m_srcBlend, 2u);
  EXPECT_EQ(clear->m_slots[0]->m_dstBlend, 3u);
  VQMattable::Release(opaque);
  VQMattable::Release(clear);
  // A skin whose wheels file is missing wears the texture "wheels".
  m_program->m_classes[1]->m_skins[0]->wheels = "no_such_wheels";
  VQMattable* wheels = m_program->SetMenuCarWheels(1, 0, true);
  ASSERT_NE(wheels, nullptr);
  ASSERT_NE(wheels->m_slots[0]->m_stages[0].m_texture, nullptr);
  EXPECT_STRCASEEQ(wheels->m_slots[0]->m_stages[0].m_texture->GetName(), "wheels");
  VQMattable::Release(wheels);
  EXPECT_EQ(m_program->LoadMenuTrack(0), m_program->LoadMenuTrack(0));
}

TEST_F(ProgramMenus, ANameIsTypedAtTheCursorOfItsField) {
  m_menu->ShowPage(14);
  MenuPage* page = m_menu->GetCurrentPage();
  ASSERT_NE(page, nullptr);
  page->FocusItem(91);
  page->FocusItem(90);  // the field opens with the cursor before the first character
  char* name = m_program->m_ms.newProfileName;
  const std::string before(name);
  EXPECT_EQ(name[0], TEXTFIELD_CURSOR);
  EXPECT_TRUE(m_program->OnMenuKey(VQKEY_A + ('z' - 'a'), true));
  EXPECT_TRUE(m_program->OnMenuKey(VQKEY_0 + 7, true));
  EXPECT_FALSE(m_program->OnMenuKey(VQKEY_A, false));  // releases are not consumed
  page->Increase();                                    // the cursor moves right over the old text
  page->FocusItem(91);
  EXPECT_EQ(std::string(name), "z7" + before.substr(1));
  EXPECT_EQ(std::strchr(name, TEXTFIELD_CURSOR), nullptr);
}

}  // namespace
