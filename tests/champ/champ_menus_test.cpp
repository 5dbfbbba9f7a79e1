// The controls page and the championship race set-up, standings and prize pages through the
// Program's menu tree, on a players folder of the test's own (no window, no devices but a
// scripted joystick).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MusicTrack.h"
#include "QVX/race/Player.h"
#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Options.h"
#include "QVX/shell/OptionsMenus.h"
#include "QVX/shell/Program.h"
#include "tests/support/sound_support.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"

namespace fs = std::filesystem;

namespace {

// A joystick whose state the test sets; Poll only reports it.
class ScriptedJoystick : public VQJoystickDevice {
 public:
  ScriptedJoystick() : VQJoystickDevice(0, 14) {
    m_axisCount = 2;
    m_buttonCount = 4;
  }
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "scripted joystick"; }
  bool Poll() override { return true; }
};

// A keyboard whose held keys the test presses.
class ScriptedKeyboard : public VQKeyboardDevice {
 public:
  ScriptedKeyboard() : VQKeyboardDevice(0, 9) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "scripted keyboard"; }
};

class ChampMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // One folder per test process: tests run side by side, and the last one out removes its
    // own parent folder, which must not be one another process is creating its tree in.
    m_dir = fs::absolute(fs::path("champ_menu_trees_" + std::to_string(::getpid())) / info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "Data" / "Players");
    m_old = fs::current_path();
    fs::current_path(m_dir);
    m_program = new Program();
    m_program->m_options.headless = true;
    Program& p = *m_program;
    p.m_trackCount = 6;
    for (uint32_t t = 0; t < 6; ++t) p.m_tracks[t].championship = 1;
    AIDriverRecord blank{};
    p.m_aiDrivers.assign(240, blank);
    ASSERT_EQ(p.CreateProfile("Lou", 1), 26);
    ASSERT_TRUE(p.BuildMenus());
  }
  void TearDown() override {
    delete m_program;
    delete g_gameLog;
    g_gameLog = nullptr;
    fs::current_path(m_old);
    if (!HasFailure()) {
      fs::remove_all(m_dir);
      std::error_code ec;
      fs::remove(m_dir.parent_path(), ec);
    }
  }
  MenuPage* Page(int32_t id) { return m_program->m_menu->FindPage(id); }
  void Event(int32_t page, int32_t item, uint32_t event) {
    MenuPage* pg = Page(page);
    ASSERT_NE(pg, nullptr) << page;
    MenuItem* it = pg->GetItem(item);
    ASSERT_NE(it, nullptr) << page << "/" << item;
    m_program->OnMenuEvent(pg, it, event);
  }
  MenuItem* Item(int32_t page, int32_t item) { return Page(page)->GetItem(item); }
  PlayerProfile& Prof() { return m_program->m_players[0]->m_profile; }

  fs::path m_dir, m_old;
  Program* m_program = nullptr;
};

TEST_F(ChampMenus, KeyCaptureRefusesMenuKeysAndBindsTheNextKey) {
  Program& p = *m_program;
  Player& one = *p.m_players[0];
  one.SetDefaultKeyBindings(1);
  Event(5, 40, MENU_FOCUS_GAINED);
  EXPECT_EQ(p.m_bindingPlayer, 0);
  Event(12, 32, MENU_SHOWN);  // throttle
  EXPECT_STREQ(Item(12, 32)->value->actionText,
               InputCodeName(uint32_t(one.GetBinding(BIND_THROTTLE))));
  Event(12, 32, MENU_ACTIVATE);
  EXPECT_EQ(p.m_captureItem, Item(12, 32));
  EXPECT_STREQ(Item(12, 32)->value->actionText, " ");
  EXPECT_STREQ(Item(12, 32)->help, p.Text(1412));
  const int32_t before = one.GetBinding(BIND_THROTTLE);
  // Tab, Escape and F9 are refused; the capture waits on and the binding is kept.
  for (const char* name : {"tab", "esc", "F9"}) {
    EXPECT_TRUE(p.OnMenuKey(InputCodeKeyIndex(uint32_t(InputCodeFromName(name))), true));
    EXPECT_EQ(p.m_captureItem, Item(12, 32)) << name;
    EXPECT_EQ(one.GetBinding(BIND_THROTTLE), before) << name;
    EXPECT_STREQ(Item(12, 32)->help, p.Text(1420)) << name;
  }
  // A key bound to steering left is taken and says so; steering left keeps it.
  const int32_t left = one.GetBinding(BIND_LEFT);
  EXPECT_TRUE(p.OnMenuKey(InputCodeKeyIndex(uint32_t(left)), true));
  EXPECT_EQ(p.m_captureItem, nullptr);
  EXPECT_EQ(one.GetBinding(BIND_THROTTLE), left);
  EXPECT_EQ(one.GetBinding(BIND_LEFT), left);
  EXPECT_STREQ(Item(12, 32)->help, p.Text(1421));
  EXPECT_STREQ(Item(12, 32)->value->actionText, InputCodeName(uint32_t(left)));
  // Without a capture the key handler leaves keys to the menus.
  EXPECT_FALSE(OptionsMenus_CaptureKey(p, InputCodeKeyIndex(uint32_t(InputCodeFromName("a")))));
  // The default keys come back with every item filled anew.
  Event(12, 43, MENU_ACTIVATE);
  EXPECT_EQ(one.GetBinding(BIND_THROTTLE), before);
  EXPECT_STREQ(Item(12, 32)->value->actionText, InputCodeName(uint32_t(before)));
}

TEST_F(ChampMenus, JoystickCaptureTakesAMovedAxisOrPressedButtonAndMarksTheJoystickUsed) {
  Program& p = *m_program;
  auto* joy = new ScriptedJoystick();
  joy->m_axes[1] = 0.9f;  // held before the capture: no input
  joy->m_buttons = 1;     // button 1 held before the capture
  p.m_joysticks[0] = joy;
  Player& two = *p.m_players[1];
  Event(5, 41, MENU_FOCUS_GAINED);
  Event(12, 30, MENU_ACTIVATE);
  OptionsMenus_PollCapture(p);
  EXPECT_EQ(p.m_captureItem, Item(12, 30));  // nothing changed yet
  joy->m_axes[0] = -0.8f;
  OptionsMenus_PollCapture(p);
  EXPECT_EQ(p.m_captureItem, nullptr);
  EXPECT_EQ(two.GetBinding(BIND_LEFT), JoystickAxisCode(0, 0, false));
  Event(12, 36, MENU_ACTIVATE);
  joy->m_buttons = 1 | 4;  // button 3 pressed
  OptionsMenus_PollCapture(p);
  EXPECT_EQ(two.GetBinding(BIND_PAUSE), JoystickButtonCode(0, 4));
  // Leaving the page marks the joystick for the race.
  p.m_joystickEnabled[0] = 0;
  Event(12, 30, MENU_HIDDEN);
  EXPECT_EQ(p.m_joystickEnabled[0], 1);
  p.m_joysticks[0] = nullptr;
  delete joy;
}

TEST_F(ChampMenus, AKeyBoundOnTheControlsPageDrivesThePlayersThrottle) {
  Program& p = *m_program;
  Player& one = *p.m_players[0];
  one.SetDefaultKeyBindings(1);
  ScriptedKeyboard keyboard;
  PlayerInputDevices input;
  input.keyboard = &keyboard;
  one.m_input = &input;
  const uint32_t oldKey = InputCodeKeyIndex(uint32_t(one.GetBinding(BIND_THROTTLE)));
  const uint32_t a = InputCodeKeyIndex(uint32_t(InputCodeFromName("a")));
  ASSERT_NE(oldKey, a);
  auto throttleWith = [&](uint32_t key) {
    one.ClearControls();
    keyboard.PostKey(key, 1);
    for (int i = 0; i < 10; ++i) one.PollControls(0.05f, PLAYER_MASK_ALL);
    keyboard.PostKey(key, 0);
    return one.m_controls[CONTROL_THROTTLE];
  };
  EXPECT_GT(throttleWith(oldKey), 0.0f);
  EXPECT_EQ(throttleWith(a), 0.0f);
  // Player 1's throttle item takes "a".
  Event(5, 40, MENU_FOCUS_GAINED);
  Event(12, 32, MENU_ACTIVATE);
  EXPECT_TRUE(p.OnMenuKey(a, true));
  EXPECT_EQ(p.m_captureItem, nullptr);
  // The race reads the player's controls: "a" now opens the throttle, the old key no more.
  EXPECT_GT(throttleWith(a), 0.0f);
  EXPECT_EQ(throttleWith(oldKey), 0.0f);
  one.m_input = nullptr;
}

TEST_F(ChampMenus, TheMasterVolumeShowsOnTheRenderedMix) {
  Program& p = *m_program;
  VQDSoundDevice* device = soundtest::OpenDevice();
  ASSERT_NE(device, nullptr);
  const std::string title = std::string(VQ_GAME_DIR) + "/Data/Audio/menus.vqw";
  auto* music = new MusicTrack(device);
  p.m_musicTrack = music;
  // The same opening of the menu title, rendered after the sound page's slider was moved.
  auto level = [&](int32_t item, float slider) {
    music->Stop(true);
    Item(7, item)->value->slider01 = slider;
    Event(7, item, MENU_DECREASE);
    music->Play(title.c_str(), false);
    return soundtest::Rms(soundtest::Render(device, 300), 0);
  };
  const double full = level(10, 1.0f);
  ASSERT_GT(full, 0.005);
  const double half = level(10, 0.5f);
  EXPECT_GT(half, 0.0);
  EXPECT_LT(half, 0.8 * full);
  EXPECT_NEAR(Prof().volume_master, 0.5f, 1e-6f);
  EXPECT_NEAR(p.m_volumeMaster, 0.5f, 1e-6f);
  EXPECT_LT(level(10, 0.0f), 1e-4);
  // Back up: the mix is as loud as before. In the menus the music slider leaves the menu
  // title at its share of the master volume.
  EXPECT_NEAR(level(10, 1.0f), full, 0.05 * full);
  EXPECT_NEAR(level(13, 0.2f), full, 0.05 * full);
  EXPECT_NEAR(Prof().volume_music, 0.2f, 1e-6f);
  // Over a race (the in-race sound page) the music follows its own slider too.
  p.m_raceRunning = 1;
  const double raceMusic = level(13, 0.2f);
  EXPECT_LT(raceMusic, 0.5 * full);
  EXPECT_GT(raceMusic, 0.0);
  p.m_raceRunning = 0;
  p.m_musicTrack = nullptr;
  delete music;
  device->Close();
}

TEST_F(ChampMenus, RaceSetUpPageFollowsTheChampionship) {
  Program& p = *m_program;
  Prof().unlocked_champs[0] = 1;
  Event(47, 360, MENU_ACTIVATE);
  ASSERT_EQ(Prof().in_champ, 1);
  // The standings texts are in the page's text blocks with the human's row of his own.
  EXPECT_NE(std::strchr(p.m_ms.resultsText[0], '\t'), nullptr);
  EXPECT_NE(std::string(p.m_ms.resultsText[1]).find("Lou"), std::string::npos);
  EXPECT_EQ(p.m_championship.m_tabStops[0], 70);

  Event(23, 132, MENU_SHOWN);
  EXPECT_EQ(Prof().champ_race, 0);
  Event(23, 132, MENU_ACTIVATE);
  EXPECT_EQ(Item(23, 132)->target, 21);
  EXPECT_STREQ(Page(21)->m_caption, (std::string(p.Text(3200)) + " (1/1)").c_str());
  const int32_t focused = Page(21)->m_items[Page(21)->m_focus]->id;
  EXPECT_EQ(focused, Prof().unlocked_cars[Prof().champ_frame] ? 145 : 140);

  for (int32_t id : {140, 141, 142, 143, 144, 145, 146, 147, 148}) Event(21, id, MENU_SHOWN);
  EXPECT_EQ(Item(21, 140)->selectable, 0);  // the class is the championship's
  EXPECT_EQ(Item(21, 147)->hidden, 1);
  EXPECT_EQ(Item(21, 145)->target, 0x40000);
  EXPECT_EQ(p.m_gameMode, 4);
  EXPECT_EQ(Item(21, 146)->target, 2);
  EXPECT_STREQ(Item(21, 146)->label, p.Text(3202));
  EXPECT_STREQ(Item(21, 143)->value->actionText, p.Text(3221));

  // The second race of a grand weekend: the grid is built again and "back" leads to page 24,
  // whose back item returns here.
  Prof().champ_idx = 10;
  Prof().champ_race = 1;
  for (int32_t id : {140, 145, 146, 147, 144}) Event(21, id, MENU_SHOWN);
  EXPECT_EQ(Item(21, 140)->selectable, 0);
  EXPECT_EQ(Item(21, 147)->hidden, 0);
  EXPECT_EQ(Item(21, 145)->target, 0x60000);
  EXPECT_EQ(Item(21, 146)->target, 24);
  EXPECT_EQ(Item(24, 151)->target, 21);
  EXPECT_STREQ(Item(21, 144)->value->actionText, p.Text(3223));
  Event(23, 132, MENU_ACTIVATE);
  EXPECT_EQ(Item(23, 132)->target, 21);
  EXPECT_STREQ(Page(21)->m_caption, (std::string(p.Text(3200)) + " (2/2)").c_str());
  // The first race of a grand weekend: class and colour may be chosen.
  Prof().champ_race = 0;
  Event(21, 140, MENU_SHOWN);
  EXPECT_EQ(Item(21, 140)->selectable, 1);
}

TEST_F(ChampMenus, StartingTheNextWeekendOverAFinishedRaceLeadsStraightIntoIt) {
  Program& p = *m_program;
  Prof().unlocked_champs[0] = 1;
  Event(47, 360, MENU_ACTIVATE);
  // From the menus the start item only starts the prepared race.
  p.m_gameMode = 0;
  Event(21, 145, MENU_SHOWN);
  EXPECT_EQ(p.m_gameMode, 4);
  Event(21, 145, MENU_ACTIVATE);
  EXPECT_EQ(p.m_champNextRace, 0);
  // Over a finished race the start ends that race, and the next one follows without the menus.
  p.m_raceRunning = 1;
  Event(21, 145, MENU_ACTIVATE);
  EXPECT_EQ(Item(21, 145)->target, 0x40000);
  EXPECT_EQ(p.m_champNextRace, 1);
  // The second race of a grand weekend restarts the running race instead.
  p.m_champNextRace = 0;
  Prof().champ_idx = 10;
  Prof().champ_race = 1;
  Event(21, 145, MENU_ACTIVATE);
  EXPECT_EQ(Item(21, 145)->target, 0x60000);
  EXPECT_EQ(p.m_champNextRace, 0);
  p.m_raceRunning = 0;
}

TEST_F(ChampMenus, TheChoiceFocusesTheNewestOpenChampionshipAndShowsThePrizes) {
  Program& p = *m_program;
  struct Case {
    std::vector<int> open;
    int32_t focus;
  } cases[] = {
      {{0}, 360}, {{0, 1, 2}, 362}, {{0, 1, 2, 5}, 365}, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 370}};
  for (const Case& c : cases) {
    for (uint8_t& u : Prof().unlocked_champs) u = 0;
    for (int i : c.open) Prof().unlocked_champs[i] = 1;
    Prof().champ_prizes[0] = 2;
    Prof().champ_prizes[1] = 5;
    Page(47)->m_focus = -1;
    for (int32_t id = 360; id <= 370; ++id) Event(47, id, MENU_SHOWN);
    ASSERT_GE(Page(47)->m_focus, 0);
    EXPECT_EQ(Page(47)->m_items[Page(47)->m_focus]->id, c.focus);
    for (int32_t id = 360; id <= 370; ++id)
      EXPECT_EQ(Item(47, id)->selectable, Prof().unlocked_champs[id - 360]) << id;
  }
  // A medal for the second place, two marks for two finishes off the podium.
  EXPECT_STREQ(Item(47, 360)->value->actionText, "\x82");
  EXPECT_STREQ(Item(47, 361)->value->actionText, "\x84\x84");
  EXPECT_STREQ(Item(47, 362)->value->actionText, "");
  (void)p;
}

TEST_F(ChampMenus, SeasonEndOffThePodiumShowsThePrizePage) {
  Program& p = *m_program;
  Prof().unlocked_champs[0] = 1;
  Event(47, 360, MENU_ACTIVATE);
  Prof().champ_season = 1;  // the season went round
  Event(23, 132, MENU_ACTIVATE);
  EXPECT_EQ(p.m_lastChampionshipPlace, 24u);
  EXPECT_EQ(Item(23, 132)->target, 48);
  EXPECT_EQ(Item(48, 380)->target, 47);
  EXPECT_EQ(Prof().in_champ, 0);
  EXPECT_EQ(Prof().champ_prizes[0], 4);
  EXPECT_EQ(p.m_unlockedCar, -1);
  Event(48, 380, MENU_SHOWN);
  EXPECT_STREQ(Item(48, 380)->help, p.Text(5604));
  // The saved profile holds the end of the championship.
  ASSERT_TRUE(fs::exists("Data/Players/Lou.bin"));
}

TEST_F(ChampMenus, ANewProfileIsCreatedAndTheFirstChosenAgainFromThePlayersPages) {
  Program& p = *m_program;
  std::snprintf(p.m_ms.newProfileName, sizeof p.m_ms.newProfileName, "%s", "Zed");
  Item(14, 91)->value->value = 3;
  Event(14, 92, MENU_ACTIVATE);
  EXPECT_EQ(Item(14, 92)->target, 26);
  ASSERT_EQ(p.m_profileNames, (std::vector<std::string>{"Lou", "Player2", "Zed"}));
  EXPECT_STREQ(p.m_players[0]->m_name, "Zed");
  EXPECT_EQ(p.m_players[0]->m_profile.number, 3);
  EXPECT_TRUE(fs::exists("Data/Players/Zed.bin"));
  // The same name in other letters is refused.
  std::snprintf(p.m_ms.newProfileName, sizeof p.m_ms.newProfileName, "%s", "zED");
  Event(14, 92, MENU_ACTIVATE);
  EXPECT_EQ(Item(14, 92)->target, 19);
  // The players page shows Zed for player 1; choosing Lou and leaving the page puts Lou back.
  Event(13, 80, MENU_SHOWN);
  EXPECT_EQ(Item(13, 80)->value->choiceCount, 3);
  EXPECT_EQ(Item(13, 80)->value->choice, 2);
  // The choice shows the names as they are now, the new ones included.
  for (int i = 0; i < 3; ++i)
    EXPECT_STREQ(Item(13, 80)->value->choiceTexts[i], p.m_profileNames[size_t(i)].c_str());
  Item(13, 80)->value->choice = 0;
  Event(13, 80, MENU_HIDDEN);
  EXPECT_STREQ(p.m_players[0]->m_name, "Lou");
}

}  // namespace
