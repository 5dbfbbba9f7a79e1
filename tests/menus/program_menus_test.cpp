// The menu tree, its event handler and the menu cars inside one started Program on a copy of
// the generated data tree (offscreen video, dummy audio).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "QVX/menu/Menu.h"
#include "QVX/menu/TextField.h"
#include "QVX/race/Player.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"

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
  VQMattable* opaque = m_program->SetMenuCarPaint(1, 0, 1.0f, false, 0, true);
  VQMattable* clear = m_program->SetMenuCarPaint(1, 0, 0.999f, false, 0, true);
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

// The pixels of a texture, row by row (empty when it cannot be read).
std::vector<uint8_t> Pixels(VQTexture* texture) {
  std::vector<uint8_t> out;
  uint32_t pitch = 0;
  const auto* p = texture ? static_cast<const uint8_t*>(texture->Lock(&pitch, 0)) : nullptr;
  if (!p) return out;
  const size_t row = size_t(texture->m_width) * 4;
  for (uint32_t y = 0; y < texture->m_height; ++y)
    out.insert(out.end(), p + size_t(y) * pitch * 4, p + size_t(y) * pitch * 4 + row);
  return out;
}

VQTexture* BodyPaint(VQNode* car) {
  auto* body = car ? dynamic_cast<VQGeosetNode*>(car->FindByName("m_body")) : nullptr;
  if (!body || !body->m_table || body->m_table->m_count == 0 || !body->m_table->m_slots[0])
    return nullptr;
  return body->m_table->m_slots[0]->m_stages[0].m_texture;
}

TEST_F(ProgramMenus, TheMenuCarWearsTheRaceNumberAsTheRaceCarDoes) {
  Player* p1 = m_program->m_players[0];
  p1->m_profile.number = 42;
  p1->m_profile.normal_frame = 1;
  p1->m_profile.normal_color = 0;
  RacingClass* cls = m_program->m_classes[1];
  ASSERT_GE(cls->m_skins.size(), 2u);
  ASSERT_TRUE(cls->m_skins[0]->numbers);
  ASSERT_TRUE(m_program->CreateMenuPreviews());
  m_menu->ShowPage(11);
  MenuPreview& preview = m_program->m_ms.car1;
  VQTexture* shown = BodyPaint(preview.model);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown, preview.paint);

  // The same paint the race car gets for the skin and the player's number.
  VQTextureManager* textures = m_program->m_textureManager;
  const char* image = cls->m_skins[0]->imagePath.c_str();
  VQTexture* race = m_program->MakeRaceCarPaint(1, 0, 42);
  VQTexture* bare = m_program->MakeCarPaint(image, 42, 1, false);
  VQTexture* other = m_program->MakeCarPaint(image, 7, 1, true);
  ASSERT_NE(race, nullptr);
  ASSERT_NE(bare, nullptr);
  ASSERT_NE(other, nullptr);
  const std::vector<uint8_t> pixels = Pixels(shown);
  ASSERT_FALSE(pixels.empty());
  EXPECT_TRUE(pixels == Pixels(race));
  EXPECT_FALSE(pixels == Pixels(bare));
  EXPECT_FALSE(pixels == Pixels(other));

  // Another colour repaints the car; the paint it wore is released. A skin that asks for no
  // number shows the skin alone.
  cls->m_skins[1]->numbers = false;
  MenuPage* page = m_menu->GetCurrentPage();
  page->FocusItem(3);
  page->Increase();
  EXPECT_EQ(m_program->m_ms.menuColor, 1);
  VQTexture* second = BodyPaint(preview.model);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second, preview.paint);
  VQTexture* secondBare = m_program->MakeCarPaint(cls->m_skins[1]->imagePath.c_str(), 42, 1, false);
  EXPECT_TRUE(Pixels(second) == Pixels(secondBare));
  // Stepping the colour back and forth keeps one paint, not one per step (the wheel textures
  // of both skins are loaded by now).
  const uint32_t held = textures->m_count;
  for (int i = 0; i < 10; ++i) i % 2 ? page->Increase() : page->Decrease();
  EXPECT_EQ(textures->m_count, held);
  for (VQTexture* t : {race, bare, other, secondBare}) textures->Release(t);
  m_program->DestroyMenuPreviews();
  EXPECT_EQ(preview.paint, nullptr);
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
