// The options rules (volumes, steps, gamma, rebinding, profile names) and the profile choices
// through the Program on a players folder of the test's own.
#include <gtest/gtest.h>

#include <filesystem>

#include "QVX/menu/Menu.h"
#include "QVX/race/Player.h"
#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/Options.h"
#include "QVX/shell/Program.h"

namespace fs = std::filesystem;

TEST(Options, VolumesStepsAndGamma) {
  EXPECT_FLOAT_EQ(Options_CarsVolume(0.0f), 0.25f);
  EXPECT_FLOAT_EQ(Options_CarsVolume(0.1f), 0.25f);
  EXPECT_FLOAT_EQ(Options_CarsVolume(0.6f), 0.6f);
  EXPECT_FLOAT_EQ(Options_CarsVolume(3.0f), 1.0f);
  EXPECT_FLOAT_EQ(Options_Volume(-1.0f), 0.0f);

  const int32_t up[][2] = {{0, 1}, {1, 2}, {2, 0}, {7, 1}, {-3, 1}};
  for (const auto& s : up) EXPECT_EQ(Options_Step3(s[0], true), s[1]);
  const int32_t down[][2] = {{0, 2}, {2, 1}, {1, 0}, {9, 2}};
  for (const auto& s : down) EXPECT_EQ(Options_Step3(s[0], false), s[1]);

  EXPECT_EQ(Options_DetailText(180, 0), 122);
  EXPECT_EQ(Options_DetailText(181, 1), 123);
  EXPECT_EQ(Options_DetailText(183, 2), 124);
  EXPECT_EQ(Options_DetailText(184, 0), 128);
  EXPECT_EQ(Options_DetailText(184, 1), 122);
  EXPECT_EQ(Options_DetailText(184, 2), 124);
  EXPECT_EQ(Options_MusicModeText(0), 1622);
  EXPECT_EQ(Options_MusicModeText(1), 1620);
  EXPECT_EQ(Options_MusicModeText(2), 1621);

  EXPECT_NEAR(Options_GammaFromSlider(0.5f), 0.0f, 1e-6);
  EXPECT_NEAR(Options_GammaFromSlider(0.0f), -0.3f, 1e-6);
  EXPECT_NEAR(Options_GammaFromSlider(1.0f), 0.3f, 1e-6);
  for (float g : {-0.3f, -0.1f, 0.0f, 0.25f})
    EXPECT_NEAR(Options_GammaFromSlider(Options_SliderFromGamma(g)), g, 1e-5);
  EXPECT_FLOAT_EQ(Options_SliderFromGamma(1.0f), 1.0f);  // a stored value beyond the range

  PlayerProfile p;
  p.volume_master = 0.4f;
  p.volume_music = 0.5f;
  EXPECT_FLOAT_EQ(Options_MusicVolume(p, false), 0.3f);
  EXPECT_FLOAT_EQ(Options_MusicVolume(p, true), 0.2f);
  p.music_cat2 = 0;
  p.music_mode = 0;
  Options_RestoreSoundDefaults(p);
  EXPECT_FLOAT_EQ(p.volume_master, 1.0f);
  EXPECT_FLOAT_EQ(p.volume_ambient, 0.9f);
  EXPECT_FLOAT_EQ(p.volume_cars, 0.9f);
  EXPECT_FLOAT_EQ(p.volume_comment, 1.0f);
  EXPECT_FLOAT_EQ(p.volume_music, 0.7f);
  EXPECT_EQ(p.music_cat2, 1);
  EXPECT_EQ(p.music_mode, 2);
}

TEST(Options, RebindingRules) {
  const int slots[10] = {0, 1, 2, 3, 11, 12, 13, 10, 9, 14};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Options_BindingSlot(30 + i), slots[i]);
  EXPECT_EQ(Options_BindingSlot(29), -1);
  EXPECT_EQ(Options_BindingSlot(40), -1);

  PlayerProfile one, two;
  for (int s = 0; s < PROFILE_BINDINGS; ++s) one.bindings[s] = 247 + s;  // "a", "b", ...
  two.bindings[4] = 230;
  const PlayerProfile before = one;
  struct Case {
    int32_t item, code;
    BindingCapture result;
    int32_t help;
  } cases[] = {
      {30, 212, BINDCAP_RESERVED, 1420},  // Tab
      {30, 213, BINDCAP_RESERVED, 1420},  // Escape
      {31, 281, BINDCAP_RESERVED, 1420},  // F9
      {30, 0, BINDCAP_NO_CODE, 1412},     // a key without a code
      {30, 150, BINDCAP_NO_CODE, 1412},   // an unassigned code
      {30, 400, BINDCAP_NO_CODE, 1412},  {45, 207, BINDCAP_NO_ITEM, 1412},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Options_CaptureBinding(one, &two, c.item, c.code), c.result) << c.code;
    EXPECT_EQ(Options_CaptureHelpText(c.result), c.help);
  }
  for (int s = 0; s < PROFILE_BINDINGS; ++s)
    EXPECT_EQ(one.bindings[s], before.bindings[s]) << "slot " << s;

  EXPECT_EQ(Options_CaptureBinding(one, &two, 30, 207), BINDCAP_BOUND);  // left arrow to `left`
  EXPECT_EQ(one.bindings[0], 207);
  EXPECT_EQ(Options_CaptureHelpText(BINDCAP_BOUND), 1411);
  // The code of `right` (slot 1) also on `throttle` (item 32, slot 2): both keep it.
  EXPECT_EQ(Options_CaptureBinding(one, &two, 32, one.bindings[1]), BINDCAP_SHARED);
  EXPECT_EQ(one.bindings[2], one.bindings[1]);
  EXPECT_EQ(Options_CaptureHelpText(BINDCAP_SHARED), 1421);
  // A slot's own code is no sharing; the code `right` and `throttle` share still is.
  EXPECT_EQ(Options_CaptureBinding(one, &two, 33, one.bindings[3]), BINDCAP_BOUND);
  EXPECT_EQ(Options_CaptureBinding(one, &two, 32, one.bindings[2]), BINDCAP_SHARED);
  // A code the other local player uses anywhere.
  EXPECT_EQ(Options_CaptureBinding(one, &two, 38, 230), BINDCAP_SHARED);
  EXPECT_EQ(one.bindings[9], 230);
  EXPECT_EQ(Options_CaptureBinding(one, nullptr, 39, 17), BINDCAP_BOUND);  // a joystick button
  EXPECT_EQ(one.bindings[14], 17);
}

TEST(Options, NewProfileNames) {
  std::vector<std::string> names{"bob", "Dora", "carl"};  // the folder's order, not sorted
  EXPECT_EQ(Options_CheckProfileName(names, ""), PROFILENAME_EMPTY);
  EXPECT_EQ(Options_CheckProfileName(names, nullptr), PROFILENAME_EMPTY);
  EXPECT_EQ(Options_CheckProfileName(names, "../evil"), PROFILENAME_EMPTY);
  EXPECT_EQ(Options_CheckProfileName(names, "DORA"), PROFILENAME_EXISTS);
  EXPECT_EQ(Options_CheckProfileName(names, "Eve"), PROFILENAME_OK);
  EXPECT_EQ(Options_ProfileInsertIndex(names, "Anna"), 0u);
  EXPECT_EQ(Options_ProfileInsertIndex(names, "Bree"), 1u);
  EXPECT_EQ(Options_ProfileInsertIndex(names, "Cathy"), 3u);  // behind "carl", the last smaller one
  EXPECT_EQ(Options_ProfileInsertIndex(names, "Zed"), 3u);
  std::vector<std::string> full(256, "x");
  EXPECT_EQ(Options_CheckProfileName(full, "Eve"), PROFILENAME_FULL);
  EXPECT_STREQ(Options_SecondProfileName("Anna"), "Player2");
  EXPECT_STREQ(Options_SecondProfileName("PLAYER2"), "Player1");
}

namespace {
class ProfileChoices : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("champ_trees") / info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "Data" / "Players");
    m_old = fs::current_path();
    fs::current_path(m_dir);
    m_program = new Program();
    m_program->m_options.headless = true;
  }
  void TearDown() override {
    delete m_program;
    delete g_gameLog;
    g_gameLog = nullptr;
    fs::current_path(m_old);
    if (!HasFailure()) fs::remove_all(m_dir);
  }
  fs::path m_dir, m_old;
  Program* m_program = nullptr;
};
}  // namespace

TEST_F(ProfileChoices, FirstProfileOfAnInstallationMakesTwoPlayers) {
  Program& p = *m_program;
  EXPECT_EQ(p.CreateProfile("player2", 9), 26);
  ASSERT_EQ(p.m_playerCount, 2u);
  EXPECT_STREQ(p.m_players[0]->m_name, "player2");
  EXPECT_STREQ(p.m_players[1]->m_name, "Player1");
  EXPECT_EQ(p.m_players[0]->m_profile.number, 9);
  EXPECT_EQ(p.m_players[1]->m_profile.number, 2);
  EXPECT_TRUE(fs::exists("Data/Players/player2.bin"));
  EXPECT_TRUE(fs::exists("Data/Players/Player1.bin"));
  EXPECT_EQ(p.m_profileNames, (std::vector<std::string>{"player2", "Player1"}));
  EXPECT_EQ(p.CreateProfile("PLAYER1", 3), PROFILENAME_EXISTS);
  EXPECT_EQ(p.CreateProfile("", 3), PROFILENAME_EMPTY);
  EXPECT_EQ(p.m_playerCount, 2u);
}

TEST_F(ProfileChoices, NewProfileReplacesTheFirstPlayerAndKeepsIndicesRight) {
  Program& p = *m_program;
  ASSERT_EQ(p.CreateProfile("Mia", 5), 26);  // and Player2
  ASSERT_EQ(p.m_profileNames, (std::vector<std::string>{"Mia", "Player2"}));
  p.m_players[0]->m_profile.normal_racetype = 1;
  p.m_players[0]->m_profile.volume_master = 0.3f;
  EXPECT_EQ(p.CreateProfile("Ann", 4), 26);
  EXPECT_EQ(p.m_profileNames, (std::vector<std::string>{"Ann", "Mia", "Player2"}));
  ASSERT_EQ(p.m_playerCount, 2u);
  EXPECT_STREQ(p.m_players[0]->m_name, "Ann");
  EXPECT_EQ(p.m_players[0]->m_profileIndex, 0);
  EXPECT_EQ(p.m_players[1]->m_profileIndex, 2);  // Player2 moved up one place
  EXPECT_EQ(p.m_players[0]->m_profile.normal_racetype, 0);
  // The replaced player was saved: choosing Mia again brings back her settings.
  ASSERT_TRUE(p.SelectProfile(0, 1));
  EXPECT_STREQ(p.m_players[0]->m_name, "Mia");
  EXPECT_FLOAT_EQ(p.m_players[0]->m_profile.volume_master, 0.3f);
  EXPECT_FLOAT_EQ(p.m_volumeMaster, 0.3f);  // the settings took effect
  EXPECT_FALSE(p.SelectProfile(1, 7));      // no such profile
  EXPECT_FALSE(p.SelectProfile(2, 0));      // no such local player
}

TEST_F(ProfileChoices, SavedChampionshipComesBackChecked) {
  Program& p = *m_program;
  p.m_trackCount = 6;
  for (uint32_t t = 0; t < 6; ++t) p.m_tracks[t].championship = 1;
  AIDriverRecord blank{};
  p.m_aiDrivers.assign(240, blank);
  ASSERT_EQ(p.CreateProfile("Kim", 1), 26);
  ASSERT_TRUE(p.SetupChampionship(4));
  PlayerProfile& prof = p.m_players[0]->m_profile;
  prof.champ_weekend = 3;
  prof.champ_players[0][2] = 17;
  prof.champ_players[9][2] = -5;
  prof.champ_opponents = 99;
  ASSERT_TRUE(p.m_players[0]->Save(true));
  ASSERT_TRUE(p.SelectProfile(0, 1));  // Player2
  ASSERT_TRUE(p.SelectProfile(0, 0));  // Kim again, from the file
  const PlayerProfile& back = p.m_players[0]->m_profile;
  EXPECT_EQ(back.in_champ, 1);
  EXPECT_EQ(back.champ_idx, 4);
  EXPECT_EQ(back.champ_weekend, 3);
  EXPECT_EQ(back.champ_opponents, 7);
  EXPECT_EQ(p.m_championship.EntryCount(), 24u);
  EXPECT_EQ(p.m_championship.HumanPosition(), 1u);
  EXPECT_EQ(p.m_championship.Entry(9).points, 0u);
}

TEST_F(ProfileChoices, ChampionshipAndSoundPagesThroughTheMenuTree) {
  Program& p = *m_program;
  p.m_trackCount = 6;
  for (uint32_t t = 0; t < 6; ++t) p.m_tracks[t].championship = 1;
  AIDriverRecord blank{};
  p.m_aiDrivers.assign(240, blank);
  ASSERT_EQ(p.CreateProfile("Lou", 1), 26);
  ASSERT_TRUE(p.BuildMenus());
  PlayerProfile& prof = p.m_players[0]->m_profile;
  prof.unlocked_champs[0] = 1;
  prof.champ_prizes[0] = 5;

  MenuPage* choice = p.m_menu->FindPage(47);
  ASSERT_NE(choice, nullptr);
  MenuItem* first = choice->GetItem(360);
  MenuItem* locked = choice->GetItem(361);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(locked, nullptr);
  p.OnMenuEvent(choice, first, MENU_SHOWN);
  p.OnMenuEvent(choice, locked, MENU_SHOWN);
  EXPECT_EQ(first->selectable, 1);
  EXPECT_EQ(locked->selectable, 0);
  EXPECT_STREQ(first->value->actionText, "\x84\x84");  // two finishes off the podium
  p.OnMenuEvent(choice, first, MENU_ACTIVATE);
  EXPECT_EQ(prof.in_champ, 1);
  EXPECT_EQ(p.m_championship.EntryCount(), 24u);
  EXPECT_EQ(p.m_championship.m_scroll, 15);  // the human's row at the bottom of the view

  MenuPage* sound = p.m_menu->FindPage(7);
  ASSERT_NE(sound, nullptr);
  MenuItem* cars = sound->GetItem(11);
  ASSERT_NE(cars, nullptr);
  cars->value->slider01 = 0.05f;
  p.OnMenuEvent(sound, cars, MENU_DECREASE);
  EXPECT_FLOAT_EQ(prof.volume_cars, 0.25f);
  EXPECT_FLOAT_EQ(p.m_volumeCars, 0.25f);
  p.OnMenuEvent(sound, sound->GetItem(16), MENU_ACTIVATE);
  EXPECT_FLOAT_EQ(prof.volume_cars, 0.9f);
  EXPECT_FLOAT_EQ(cars->value->slider01, 0.9f);
}
