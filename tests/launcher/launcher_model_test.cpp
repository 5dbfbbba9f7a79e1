// The launcher's model driven without a display: Config.ini reading and writing, the lists of
// the configuration window and every command of the two dialogs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "QVX/shell/Launcher.h"

namespace fs = std::filesystem;

namespace {

host::DisplayAdapterInfo Display(const std::string& name, bool hw, bool tnl,
                                 std::vector<host::DisplayModeInfo> modes,
                                 host::DisplayModeInfo desktop = {}) {
  host::DisplayAdapterInfo d;
  d.name = name;
  d.hardware = hw;
  d.hardware_tnl = tnl;
  d.modes = std::move(modes);
  d.desktop = desktop;
  return d;
}

class LauncherModel : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() /
            ("quorvex_launcher_" + std::to_string(getpid()) + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "Languages");
    for (const char* name : {"english.bin", "Deutsch.bin", "Francais.bin", "notes.txt"})
      std::ofstream(m_dir / "Languages" / name) << "x";
    fs::create_directories(m_dir / "Languages" / "old.bin");  // a folder is no language
    m_env.videoPresent = true;
    m_env.displays = {Display("Card A", true, true,
                              {{1024, 768, 32}, {800, 600, 16}, {640, 480, 32}, {1920, 1080, 32}}),
                      Display("Software only", false, false, {{640, 480, 16}}),
                      Display("Card C", true, false, {{800, 600, 32}})};
    m_env.soundDevices = {"Speakers", "Headphones"};
  }
  void TearDown() override { fs::remove_all(m_dir); }

  Launcher& Make() {
    LauncherHooks hooks;
    hooks.text = [this](int id) {
      m_text = (m_language == 2 ? "de" : "en") + std::to_string(id);
      return m_text.c_str();
    };
    hooks.setLanguage = [this](int language) { m_language = language; };
    hooks.open = [this](const char* target) {
      m_opened.push_back(target);
      return m_openWorks;
    };
    m_launcher = std::make_unique<Launcher>((m_dir / "Config.ini").string(),
                                            (m_dir / "Languages").string(), hooks);
    m_launcher->SetEnvironment(m_env);
    return *m_launcher;
  }
  void WriteConfig(const std::string& text) { std::ofstream(m_dir / "Config.ini") << text; }
  std::string ReadConfig() {
    std::ifstream in(m_dir / "Config.ini");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path m_dir;
  LauncherEnvironment m_env;
  std::unique_ptr<Launcher> m_launcher;
  std::string m_text;
  int m_language = -1;
  std::vector<std::string> m_opened;
  bool m_openWorks = true;
};

}  // namespace

TEST_F(LauncherModel, ListsLanguagesAdaptersAndSoundDevices) {
  Launcher& l = Make();
  EXPECT_EQ(l.LanguageFiles(), (std::vector<std::string>{"Deutsch", "English", "Francais"}));
  ASSERT_EQ(l.Adapters().size(), 2u);  // the software-only display is dropped
  EXPECT_EQ(l.Adapters()[0].description, "Card A");
  EXPECT_EQ(l.Adapters()[0].enumNumber, 0);
  EXPECT_EQ(l.Adapters()[1].enumNumber, 2);  // numbers count the dropped display
  // Only the game's three sizes, whatever the depth, in the game's order.
  ASSERT_EQ(l.Adapters()[0].modes.size(), 3u);
  EXPECT_EQ(l.Adapters()[0].modes[0].width, 640);
  EXPECT_EQ(l.Adapters()[0].modes[2].width, 1024);
  EXPECT_EQ(l.SoundDevices().size(), 2u);
}

TEST_F(LauncherModel, ADisplayWithoutTheGameSizesOffersThoseItsDesktopHolds) {
  m_env.displays = {Display("Wide", true, true, {{1920, 1080, 32}}, {1024, 700, 32}),
                    Display("Tiny", true, true, {{320, 240, 32}}, {320, 240, 32})};
  Launcher& l = Make();
  ASSERT_EQ(l.Adapters().size(), 1u);
  EXPECT_EQ(l.Adapters()[0].modes.size(), 2u);  // 640 x 480 and 800 x 600 fit
}

TEST_F(LauncherModel, ReadsConfigWithItsRules) {
  struct Case {
    const char* text;
    std::function<void(const LauncherSettings&)> check;
  };
  const Case cases[] = {
      {"buffers = 7\n", [](const LauncherSettings& s) { EXPECT_EQ(s.buffers, 3); }},
      {"buffers = 1\n", [](const LauncherSettings& s) { EXPECT_EQ(s.buffers, 2); }},
      {"language = klingon\n", [](const LauncherSettings& s) { EXPECT_EQ(s.language, 2); }},
      {"LANGUAGE = Francais\n", [](const LauncherSettings& s) { EXPECT_EQ(s.language, 3); }},
      {"displaydeviceidx = 0\n", [](const LauncherSettings& s) { EXPECT_EQ(s.adapter, 0); }},
      {"displaydeviceidx = 9\n", [](const LauncherSettings& s) { EXPECT_EQ(s.adapter, 0); }},
      {"displaydeviceidx = 2\n", [](const LauncherSettings& s) { EXPECT_EQ(s.adapter, 1); }},
      {"sounddeviceidx = 2\nsound = 0\n",
       [](const LauncherSettings& s) { EXPECT_EQ(s.soundDevice, 0); }},
      {"sounddeviceidx = 2\n", [](const LauncherSettings& s) { EXPECT_EQ(s.soundDevice, 2); }},
      {"hardwaretnl = 0\n", [](const LauncherSettings& s) { EXPECT_FALSE(s.hardwareTnl); }},
      {"//player1 = X\nplayer1 = Ann Lee\n",
       [](const LauncherSettings& s) { EXPECT_EQ(s.player1, "Ann Lee"); }},
      {"/player1 = X\n", [](const LauncherSettings& s) { EXPECT_EQ(s.player1, "<none>"); }},
      {"tcpport = 4000\nudpport = 4001\n",
       [](const LauncherSettings& s) { EXPECT_EQ(s.tcpPort + s.udpPort, 8001); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteConfig(c.text);
    Launcher& l = Make();
    l.SetDefaults();
    ASSERT_TRUE(l.ReadConfig());
    c.check(l.Settings());
  }
}

TEST_F(LauncherModel, LongValuesAreCutNotOverrun) {
  WriteConfig("player1 = " + std::string(100000, 'p') + "\nbuffers = 3\n");
  Launcher& l = Make();
  ASSERT_TRUE(l.ReadConfig());
  EXPECT_EQ(l.Settings().player1.size(), LAUNCHER_PLAYER_SIZE - 1);
  EXPECT_EQ(l.Settings().buffers, 3);
}

TEST_F(LauncherModel, WritingKeepsWhatThePlayerDidNotEdit) {
  WriteConfig(
      "// my settings\nplayer1 = Driver\ndisplaydevicetype = opengl\ncolordepth = 32\nwindowed = "
      "1\n"
      "horizontalresolution = 800\nverticalresolution = 600\nbuffers = 2\nball_radius = "
      "0.300\nsound = 1\n"
      "sounddeviceidx = 1\nbuffers = 2\n");
  Launcher& l = Make();
  l.Start();
  ASSERT_FALSE(l.FirstRun());
  EXPECT_TRUE(l.Command(host::LAUNCHER_CONFIGURE, 0).show_config);
  l.Command(host::CONFIG_TRIPLE, 1);
  l.Command(host::CONFIG_OK, 0);
  const std::string text = ReadConfig();
  for (const char* kept : {"// my settings\n", "player1 = Driver\n", "displaydevicetype = opengl\n",
                           "colordepth = 32\n", "windowed = 1\n", "horizontalresolution = 800\n",
                           "ball_radius = 0.300\n", "sound = 1\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;
  EXPECT_NE(text.find("buffers = 3\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("buffers = 2\n"), std::string::npos);
  EXPECT_NE(text.find("udpport = 2001\n"), std::string::npos) << "missing keys are added";
}

TEST_F(LauncherModel, AFirstRunConfirmsTheConfigurationWithOk) {
  Launcher& l = Make();
  host::LauncherRunOptions options = l.Start();
  EXPECT_TRUE(l.FirstRun());
  EXPECT_TRUE(options.show_config_first);
  EXPECT_FALSE(l.ConfigView().cancel_enabled);
  EXPECT_FALSE(l.Command(host::CONFIG_CLOSE, 0).hide_config);  // only OK closes it
  l.Command(host::CONFIG_RESOLUTION_LIST, 1);
  EXPECT_TRUE(l.Command(host::CONFIG_OK, 0).hide_config);
  const std::string text = ReadConfig();
  EXPECT_NE(text.find("horizontalresolution = 800\n"), std::string::npos) << text;
  EXPECT_NE(text.find("language = deutsch\n"), std::string::npos);
  EXPECT_NE(text.find("displaydevicetype = direct3d\n"), std::string::npos);
  EXPECT_NE(text.find("displaydeviceidx = 1\n"), std::string::npos);
  EXPECT_NE(text.find("sound = 1\n"), std::string::npos);
  EXPECT_TRUE(l.ConfigView().cancel_enabled);
}

TEST_F(LauncherModel, FirstRunWithoutVideoOrAdaptersShowsTheProblemBox) {
  m_env.videoPresent = false;
  host::LauncherRunOptions options = Make().Start();
  EXPECT_EQ(options.first_box_title, "Video Card Problem");
  m_env.videoPresent = true;
  m_env.displays = {Display("Software only", false, false, {{640, 480, 16}})};
  options = Make().Start();
  EXPECT_EQ(options.first_box_title, "DirectX version problem");
  EXPECT_EQ(options.first_box_text, "\t");
}

TEST_F(LauncherModel, PlayQuitAndTheCloseBox) {
  WriteConfig("language = english\n");
  {
    Launcher& l = Make();
    l.Start();
    EXPECT_TRUE(l.Command(host::LAUNCHER_PLAY, 0).end);
    EXPECT_TRUE(l.Play());
  }
  {
    Launcher& l = Make();
    l.Start();
    EXPECT_TRUE(l.Command(host::LAUNCHER_QUIT, 0).end);
    EXPECT_FALSE(l.Play());
  }
  {
    // The window's close box leaves the launcher without starting the game.
    Launcher& l = Make();
    l.Start();
    EXPECT_TRUE(l.Command(host::LAUNCHER_CLOSE, 0).end);
    EXPECT_FALSE(l.Play());
  }
  {
    m_env.displays.clear();
    Launcher& l = Make();
    l.Start();
    const host::LauncherReply refused = l.Command(host::LAUNCHER_PLAY, 0);
    EXPECT_FALSE(refused.end);
    EXPECT_EQ(refused.box_title, "DirectX version problem");
    EXPECT_FALSE(l.Play());
    EXPECT_EQ(l.Command(host::LAUNCHER_CONFIGURE, 0).box_title, "DirectX version problem");
  }
}

TEST_F(LauncherModel, ConfigurationWindowFollowsTheAdapter) {
  WriteConfig(
      "language = english\nhorizontalresolution = 1024\nverticalresolution = 768\nhardwaretnl = "
      "1\n");
  Launcher& l = Make();
  l.Start();
  l.Command(host::LAUNCHER_CONFIGURE, 0);
  host::LauncherConfigView v = l.ConfigView();
  EXPECT_EQ(v.languages[v.language], "English");
  EXPECT_EQ(v.resolutions, (std::vector<std::string>{"640 x 480", "800 x 600", "1024 x 768"}));
  EXPECT_EQ(v.resolution, 2);
  EXPECT_TRUE(v.tnl);
  EXPECT_TRUE(v.tnl_enabled);
  EXPECT_EQ(v.audio, (std::vector<std::string>{"No Sound", "Speakers", "Headphones"}));
  // Card C has no 1024 x 768 and no hardware transform and lighting.
  l.Command(host::CONFIG_ADAPTER_LIST, 1);
  v = l.ConfigView();
  EXPECT_EQ(v.resolutions, (std::vector<std::string>{"800 x 600"}));
  EXPECT_EQ(v.resolution, 0);
  EXPECT_FALSE(v.tnl);
  EXPECT_FALSE(v.tnl_enabled);
  l.Command(host::CONFIG_AUDIO_LIST, 0);
  l.Command(host::CONFIG_OK, 0);
  const std::string text = ReadConfig();
  EXPECT_NE(text.find("displaydeviceidx = 3\n"), std::string::npos)
      << text;  // the display's own number
  EXPECT_NE(text.find("sound = 0\n"), std::string::npos);
  EXPECT_NE(text.find("sounddeviceidx = 0\n"), std::string::npos);
  EXPECT_NE(text.find("hardwaretnl = 0\n"), std::string::npos);
  // Out-of-range selections from the dialog change nothing.
  l.Command(host::CONFIG_ADAPTER_LIST, 99);
  l.Command(host::CONFIG_RESOLUTION_LIST, -1);
  l.Command(host::CONFIG_AUDIO_LIST, 7);
  v = l.ConfigView();
  EXPECT_EQ(v.adapter, 1);
  EXPECT_EQ(v.audio_index, 0);
}

TEST_F(LauncherModel, LanguageChangesRelabelAndCancelRestores) {
  WriteConfig("language = english\n");
  Launcher& l = Make();
  l.Start();
  l.Command(host::LAUNCHER_CONFIGURE, 0);
  EXPECT_EQ(l.Label(host::LAUNCHER_PLAY), "en56");
  const host::LauncherReply reply = l.Command(host::CONFIG_LANGUAGE_LIST, 0);  // Deutsch
  EXPECT_TRUE(reply.relabel);
  EXPECT_EQ(m_language, 2);
  EXPECT_EQ(l.Label(host::LAUNCHER_PLAY), "de56");
  EXPECT_EQ(l.Label(host::CONFIG_TNL), "de66");
  EXPECT_TRUE(l.Command(host::CONFIG_CANCEL, 0).relabel);
  EXPECT_EQ(m_language, 0);
  EXPECT_EQ(l.Label(host::CONFIG_OK), "en75");
  EXPECT_EQ(l.Label(host::LAUNCHER_WEB), LAUNCHER_WEB_ADDRESS);
  l.Command(host::CONFIG_DEFAULTS, 0);
  EXPECT_EQ(m_language, 2);
  EXPECT_EQ(l.Settings().buffers, 2);
  EXPECT_EQ(l.Settings().soundDevice, 1);
}

TEST_F(LauncherModel, ReadmeAndWebPageGoToTheDesktopOpener) {
  WriteConfig("language = english\n");
  Launcher& l = Make();
  l.Start();
  EXPECT_TRUE(l.Command(host::LAUNCHER_README, 0).box_title.empty());
  EXPECT_TRUE(l.Command(host::LAUNCHER_WEB, 0).box_title.empty());
  EXPECT_EQ(m_opened, (std::vector<std::string>{"Readme.txt", LAUNCHER_WEB_ADDRESS}));
  m_openWorks = false;
  EXPECT_EQ(l.Command(host::LAUNCHER_WEB, 0).box_title, "Cannot locate browser");
  EXPECT_FALSE(l.Command(host::LAUNCHER_README, 0).box_title.empty());
}

TEST_F(LauncherModel, WithoutSoundDevicesOkWritesNoSound) {
  m_env.soundDevices.clear();
  Launcher& l = Make();
  l.Start();
  l.Command(host::CONFIG_OK, 0);
  EXPECT_EQ(l.Settings().soundDevice, -1);
  EXPECT_NE(ReadConfig().find("sound = 0\n"), std::string::npos);
}
