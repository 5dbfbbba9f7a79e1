#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QVX/shell/Config.h"

namespace {
struct Parsed {
  GameSettings settings;
  std::vector<std::string> log, errors;
};
Parsed Parse(const std::string& text, GameSettings start = GameSettings()) {
  Parsed p;
  p.settings = start;
  Config_Parse(text.data(), text.size(), p.settings, [&](bool error, const char* line) {
    (error ? p.errors : p.log).push_back(line);
  });
  return p;
}
}  // namespace

TEST(Config, KeysIgnoreCaseAndValuesKeepBlanks) {
  const Parsed p = Parse("Player1 = Anna Berg\nPLAYER2 = Bo  \n");
  EXPECT_STREQ(p.settings.player1, "Anna Berg");
  EXPECT_STREQ(p.settings.player2, "Bo  ");
  ASSERT_EQ(p.log.size(), 2u);
  EXPECT_EQ(p.log[0], "Config file : adding player1 'Anna Berg'");
}

TEST(Config, LongNamesAndValuesAreCut) {
  const Parsed p = Parse("player1 = ABCDEFGHIJKLMNOPQRSTUVWXYZ\ndisplaydevicetype = " + std::string(3000, 'x') +
                         "\n" + std::string(100, 'k') + " = 1\nwindowed = 1\n");
  EXPECT_STREQ(p.settings.player1, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(std::string(p.settings.displayDeviceType), std::string(31, 'x'));
  EXPECT_TRUE(p.settings.windowed);
}

TEST(Config, NumberRules) {
  struct Case {
    const char* text;
    uint32_t display, buffers;
    int32_t depth;
  };
  const Case cases[] = {{"displaydeviceidx = 0\nbuffers = 1\ncolordepth = 24\n", 1, 2, 16},
                        {"displaydeviceidx = 101\nbuffers = 7\ncolordepth = 32\n", 1, 3, 32},
                        {"displaydeviceidx = -5\nbuffers = -1\ncolordepth = 16\n", 1, 3, 16},
                        {"displaydeviceidx = 100\nbuffers = 3\ncolordepth = x\n", 100, 3, 16}};
  for (const Case& c : cases) {
    const Parsed p = Parse(c.text);
    EXPECT_EQ(p.settings.displayDeviceIndex, c.display) << c.text;
    EXPECT_EQ(p.settings.buffers, c.buffers) << c.text;
    EXPECT_EQ(p.settings.colourDepth, c.depth) << c.text;
  }
  const Parsed p = Parse("colordepth = 24\n");
  EXPECT_EQ(p.log.back(), "Config file : preferred color depth = 16");
}

TEST(Config, WordValueReadsAsZero) {
  GameSettings start;
  start.windowed = true;
  EXPECT_FALSE(Parse("windowed = yes\n", start).settings.windowed);
}

TEST(Config, LanguageWordsAndUnknownLanguage) {
  EXPECT_EQ(Parse("language = Polish\n").settings.language, LANGUAGE_POLISH);
  GameSettings start;
  start.language = LANGUAGE_DEUTSCH;
  const Parsed p = Parse("language = klingon\n", start);
  EXPECT_EQ(p.settings.language, LANGUAGE_ENGLISH);
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0], "Unknown Language 'klingon' ignored");
}

TEST(Config, CommentsAndLoneKeys) {
  Parsed p = Parse("//player1 = A\n// player2 = B\n/ x\nplayer1 = C\n");
  EXPECT_STREQ(p.settings.player1, "C");
  EXPECT_STREQ(p.settings.player2, "");
  // A key alone on its line takes the next line's first word as separator.
  p = Parse("player1\nsep rest of line\nwindowed = 1\n");
  EXPECT_STREQ(p.settings.player1, "rest of line");
  EXPECT_TRUE(p.settings.windowed);
}

TEST(Config, WordAtTheVeryEndIsNotProcessed) {
  const Parsed p = Parse("windowed = 1\nplayer1");
  EXPECT_TRUE(p.settings.windowed);
  EXPECT_STREQ(p.settings.player1, "");
}

TEST(Config, CarriageReturnsAreNotPartOfValues) {
  const Parsed p = Parse("player1 = Anna\r\nlanguage = deutsch\r\n");
  EXPECT_STREQ(p.settings.player1, "Anna");
  EXPECT_EQ(p.settings.language, LANGUAGE_DEUTSCH);
}

TEST(Config, WrittenFileReadsBack) {
  GameSettings s;
  s.language = LANGUAGE_ITALIANO;
  std::snprintf(s.displayDeviceType, sizeof s.displayDeviceType, "OpenGL");
  s.hardwareTnl = true;
  s.displayDeviceIndex = 2;
  s.soundDeviceIndex = 3;
  s.width = 1024;
  s.height = 768;
  s.textureQuality = 1;
  s.colourDepth = 32;
  s.buffers = 3;
  s.windowed = true;
  s.sound = false;
  s.tcpPort = 4000;
  s.udpPort = 4001;
  const std::string text = Config_Format(s, "Anna", nullptr, "10-12", "17:00");
  EXPECT_EQ(text.rfind("// QVX config file created on 10-12 17:00\n\n", 0), 0u);
  EXPECT_NE(text.find("player2 = <none>\n"), std::string::npos);
  EXPECT_NE(text.find("ball_radius = 0.000\n"), std::string::npos);
  const Parsed p = Parse(text);
  EXPECT_STREQ(p.settings.player1, "Anna");
  EXPECT_STREQ(p.settings.player2, "<none>");
  EXPECT_EQ(p.settings.language, LANGUAGE_ITALIANO);
  EXPECT_STREQ(p.settings.displayDeviceType, "OpenGL");
  EXPECT_TRUE(p.settings.hardwareTnl);
  EXPECT_EQ(p.settings.displayDeviceIndex, 2u);
  EXPECT_EQ(p.settings.soundDeviceIndex, 3u);
  EXPECT_EQ(p.settings.width, 1024);
  EXPECT_EQ(p.settings.height, 768);
  EXPECT_EQ(p.settings.textureQuality, 1);
  EXPECT_EQ(p.settings.colourDepth, 32);
  EXPECT_EQ(p.settings.buffers, 3u);
  EXPECT_TRUE(p.settings.windowed);
  EXPECT_FALSE(p.settings.sound);
  EXPECT_EQ(p.settings.tcpPort, 4000);
  EXPECT_EQ(p.settings.udpPort, 4001);
}
