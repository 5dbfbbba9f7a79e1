// The typed-keyword detector on a keyboard device's handler stack, and the cheat effects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QVX/shell/Cheats.h"
#include "QVX/shell/KeywordDetector.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"

namespace {

struct Calls {
  std::vector<uint32_t> ids;
  static void Record(uint32_t id, uintptr_t user) {
    reinterpret_cast<Calls*>(user)->ids.push_back(id);
  }
};

uint32_t KeyOf(char c) {
  if (c >= 'a' && c <= 'z') return VQKEY_A + uint32_t(c - 'a');
  if (c >= '0' && c <= '9') return VQKEY_0 + uint32_t(c - '0');
  return VQKEY_SPACE;
}

class KeywordDetectorTest : public ::testing::Test {
 protected:
  void SetUp() override { detector.Init(Calls::Record, reinterpret_cast<uintptr_t>(&calls)); }
  // Types the text; true when the Enter that follows (when given) was consumed.
  bool Type(const std::string& text, bool enter = true) {
    for (char c : text) EXPECT_FALSE(detector.OnKey(KeyOf(c)));
    return enter && detector.OnKey(VQKEY_RETURN);
  }
  Calls calls;
  KeywordDetector detector;
};

}  // namespace

TEST_F(KeywordDetectorTest, WordAndEnterCallOnceWithItsIdentifier) {
  ASSERT_TRUE(detector.AddWord("zibbet", 0));
  ASSERT_TRUE(detector.AddWord("gromb", 10));
  EXPECT_FALSE(Type("gromb", false));
  EXPECT_TRUE(calls.ids.empty());
  EXPECT_TRUE(detector.OnKey(VQKEY_KP_ENTER));
  EXPECT_EQ(calls.ids, (std::vector<uint32_t>{10}));
  // The typed text is blank after a match: a second Enter finds nothing.
  EXPECT_STREQ(detector.TypedText(), "                    ");
  EXPECT_FALSE(detector.OnKey(VQKEY_RETURN));
  EXPECT_EQ(calls.ids.size(), 1u);
}

TEST_F(KeywordDetectorTest, OnlyTheEndOfTheTypedTextCounts) {
  ASSERT_TRUE(detector.AddWord("vorsk", 8));
  EXPECT_TRUE(Type("xyz12vorsk"));  // letters before the word do not matter
  EXPECT_FALSE(Type("vorsk "));     // a blank after it does
  EXPECT_FALSE(Type("vorskq"));     // and so does another letter
  detector.OnKey(VQKEY_LSHIFT);     // Shift types a blank like any other key
  EXPECT_FALSE(Type("vors"));
  EXPECT_EQ(calls.ids, (std::vector<uint32_t>{8}));
}

TEST_F(KeywordDetectorTest, DigitsAndOtherKeysGoIntoTheTypedText) {
  ASSERT_TRUE(detector.AddWord("r2d2", 1));
  detector.OnKey(VQKEY_KP_0);  // keypad digits are no digits here: a blank
  EXPECT_TRUE(Type("r2d2"));
  Type("ab", false);
  detector.OnKey(VQKEY_F1);
  EXPECT_EQ(std::string(detector.TypedText()).substr(17), "ab ");
}

TEST_F(KeywordDetectorTest, LimitsOnWords) {
  EXPECT_FALSE(detector.OnKey(VQKEY_RETURN));  // no words held
  const std::string twenty(20, 'q');
  EXPECT_TRUE(detector.AddWord(twenty.c_str(), 7));
  EXPECT_FALSE(detector.AddWord((twenty + "q").c_str(), 8));
  EXPECT_FALSE(detector.AddWord("", 9));
  EXPECT_FALSE(detector.AddWord(nullptr, 9));
  EXPECT_TRUE(Type(twenty));
  EXPECT_EQ(calls.ids, (std::vector<uint32_t>{7}));
  for (uint32_t i = 1; i < KEYWORD_MAX_WORDS; ++i) EXPECT_TRUE(detector.AddWord("w", i));
  EXPECT_FALSE(detector.AddWord("w", 99));
  EXPECT_EQ(detector.WordCount(), KEYWORD_MAX_WORDS);
}

TEST_F(KeywordDetectorTest, WordAddedFirstWinsOverOneItEnds) {
  ASSERT_TRUE(detector.AddWord("bat", 1));
  ASSERT_TRUE(detector.AddWord("wombat", 2));
  EXPECT_TRUE(Type("wombat"));
  EXPECT_EQ(calls.ids, (std::vector<uint32_t>{1}));
}

TEST_F(KeywordDetectorTest, ListensOnTheKeyboardHandlerStack) {
  VQWindowsKeyboardDevice keyboard;
  ASSERT_TRUE(detector.AddWord("quibrat", 6));
  ASSERT_TRUE(detector.Attach(&keyboard));
  EXPECT_EQ(detector.AttachedDevice(), &keyboard);
  for (char c : std::string("quibrat")) {
    keyboard.PostKey(KeyOf(c), 1);
    keyboard.PostKey(KeyOf(c), 0);  // releases type nothing
  }
  keyboard.PostKey(VQKEY_RETURN, 1);
  EXPECT_EQ(calls.ids, (std::vector<uint32_t>{6}));
  detector.Detach();
  EXPECT_EQ(keyboard.m_handlerCount, 0u);
  for (char c : std::string("quibrat")) keyboard.PostKey(KeyOf(c), 1);
  keyboard.PostKey(VQKEY_RETURN, 1);
  EXPECT_EQ(calls.ids.size(), 1u);
  // A full handler stack refuses the listener.
  for (uint32_t i = 0; i < VQDEVICE_MAX_HANDLERS; ++i)
    keyboard.PushHandler(KeywordDetector_KeyListener, 0);
  EXPECT_FALSE(detector.Attach(&keyboard));
  EXPECT_EQ(detector.AttachedDevice(), nullptr);
}

TEST(KeywordDetectorGlobal, TheLastMadeDetectorIsCurrentUntilDeleted) {
  auto* first = new KeywordDetector();
  EXPECT_EQ(g_keywordDetector, first);
  VQKeyEvent press{VQKEY_RETURN, 1};
  delete first;
  EXPECT_EQ(g_keywordDetector, nullptr);
  EXPECT_FALSE(KeywordDetector_KeyListener(VQEVENT_KEY, &press, 0));  // no detector: nothing
}

TEST(Cheats, EachWordHasItsEffect) {
  CheatState s;
  Cheat_Apply(s, CHEAT_FLAG_A);  // no track loaded: nothing
  EXPECT_EQ(s.flagA, 0);
  s.trackLoaded = true;
  int dropped = 0;
  s.dropTrackCollision = [](uintptr_t user) { ++*reinterpret_cast<int*>(user); };
  s.dropTrackCollisionUser = reinterpret_cast<uintptr_t>(&dropped);
  Cheat_Apply(s, CHEAT_FLAG_A);
  Cheat_Apply(s, CHEAT_FLAG_B);
  Cheat_Apply(s, CHEAT_DROP_COLLISION);
  Cheat_Apply(s, CHEAT_MENU_VALUE);
  Cheat_Apply(s, CHEAT_POINTS);
  Cheat_Apply(s, CHEAT_POINTS);
  Cheat_Apply(s, CHEAT_DISPLAY);
  Cheat_Apply(s, CHEAT_FLAG_E);
  Cheat_Apply(s, CHEAT_FREE_FLIGHT);
  EXPECT_EQ(s.flagA, 1);
  EXPECT_EQ(s.flagB, 1);
  EXPECT_EQ(dropped, 1);
  EXPECT_EQ(s.menuValue, 10);
  EXPECT_EQ(s.pointsCounter, 80);
  EXPECT_EQ(s.player1Points, 80);
  EXPECT_EQ(s.displayByte, 1);
  EXPECT_EQ(s.flagE, 1);
  EXPECT_EQ(s.flagD, 1);
  // Toggles go back; the words without effect and unknown identifiers change nothing.
  const CheatState before = s;
  for (uint32_t id : {2u, 6u, 10u, 11u, 12u, 999u}) Cheat_Apply(s, id);
  Cheat_Apply(s, CHEAT_FREE_FLIGHT);
  EXPECT_EQ(s.flagD, 0);
  EXPECT_EQ(s.flagA, before.flagA);
  EXPECT_EQ(s.pointsCounter, before.pointsCounter);
}
