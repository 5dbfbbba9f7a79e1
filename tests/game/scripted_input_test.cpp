#include <gtest/gtest.h>

#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/ScriptedInput.h"
#include "host/window/window.h"

TEST(ScriptedInput, ReadsTheThreeLineForms) {
  ScriptedInput s;
  ASSERT_TRUE(s.Parse("# comment\n\n10 key left down\n12 key 247 up\n20 mouse 5 -6 3\n30 quit\n")) << s.Error();
  ASSERT_EQ(s.Events().size(), 4u);
  EXPECT_EQ(s.Events()[0].frame, 10u);
  EXPECT_EQ(s.Events()[0].code, 207);
  EXPECT_TRUE(s.Events()[0].down);
  EXPECT_EQ(s.Events()[1].code, 247);
  EXPECT_FALSE(s.Events()[1].down);
  EXPECT_EQ(s.Events()[2].kind, ScriptedInput::MOUSE);
  EXPECT_EQ(s.Events()[2].y, -6);
  EXPECT_EQ(s.Events()[2].buttons, 3u);
  EXPECT_EQ(s.Events()[3].kind, ScriptedInput::QUIT);
}

TEST(ScriptedInput, RefusesBrokenLines) {
  for (const char* bad : {"x key left down\n", "1 wait\n", "1 wait   \n", "1 key left sideways\n", "1 key 17 down\n", "1 key nosuch down\n",
                          "1 mouse 1 2\n", "1 quit now\n", "1 jump\n", "-1 quit\n"}) {
    ScriptedInput s;
    EXPECT_FALSE(s.Parse(bad)) << bad;
    EXPECT_NE(s.Error().find("line 1"), std::string::npos) << bad;
    EXPECT_TRUE(s.Events().empty());
  }
}

// The keys a script posts on each of the frames 1 to `frames`, as "frame:down|up" words.
std::string FeedKeys(ScriptedInput& s, uint32_t from, uint32_t to,
                     const std::vector<std::pair<uint32_t, const char*>>& logged = {}) {
  std::string out;
  host::message m;
  while (host::peek_message(&m)) {}
  for (uint32_t f = from; f <= to; ++f) {
    s.Feed(f, nullptr);
    while (host::peek_message(&m))
      if (m.code == host::WM_KEYDOWN || m.code == host::WM_KEYUP)
        out += std::to_string(f) + (m.code == host::WM_KEYDOWN ? ":down " : ":up ");
    // Lines the game logs during the frame, after its input.
    for (const auto& [frame, line] : logged)
      if (frame == f) s.NoteLogLine(line);
  }
  return out;
}

TEST(ScriptedInput, WaitLinesHoldTheRestUntilTheLogSaysSo) {
  ScriptedInput s;
  ASSERT_TRUE(s.Parse("5 key up down\n"
                      "10 wait Finished: Driver, place\n"
                      "3 key up up\n"
                      "2 wait Menu page 23\n"
                      "1 key enter down\n")) << s.Error();
  ASSERT_EQ(s.Events().size(), 5u);
  EXPECT_EQ(s.Events()[1].kind, ScriptedInput::WAIT);
  EXPECT_EQ(s.Events()[1].text, "Finished: Driver, place");
  EXPECT_EQ(s.Events()[2].part, 1u);
  EXPECT_EQ(s.Events()[4].part, 2u);
  EXPECT_EQ(s.PartStart(1), -1);
  // A matching line before the wait began (frame 10) and a line that does not match are not
  // taken; the finish at frame 40 is, and so is the page three frames after the release.
  const std::string keys = FeedKeys(s, 1, 60,
                                    {{7, "Finished: Driver, place 2"},
                                     {20, "Finished: Someone, place 1"},
                                     {40, "Finished: Driver, place 3"},
                                     {44, "Menu page 23 'Standings'"}});
  EXPECT_EQ(keys, "5:down 43:up 45:down ");
  EXPECT_EQ(s.PartStart(1), 40);
  EXPECT_EQ(s.PartStart(2), 44);
  // Without the awaited line the rest never comes.
  ScriptedInput never;
  ASSERT_TRUE(never.Parse("1 wait Green light\n1 key up down\n"));
  EXPECT_EQ(FeedKeys(never, 1, 30, {{10, "Race round starts"}}), "");
  EXPECT_EQ(never.PartStart(1), -1);
}

TEST(ScriptedInput, VirtualKeysOfKeyIndices) {
  EXPECT_EQ(ScriptedInput_VirtualKey(InputCodeKeyIndex(200)), 0x0Du);  // enter
  EXPECT_EQ(ScriptedInput_VirtualKey(InputCodeKeyIndex(247)), 0x41u);  // a
  EXPECT_EQ(ScriptedInput_VirtualKey(InputCodeKeyIndex(284)), 0x7Bu);  // F12
  EXPECT_EQ(ScriptedInput_VirtualKey(96), 0x10u);                      // right shift
  EXPECT_EQ(ScriptedInput_VirtualKey(97), 0u);
}

TEST(ProgramOptions, CommandLine) {
  const char* argv[] = {"Pindrel", "--data", "d", "--headless", "--seed", "7", "--fixed-step", "0.02",
                        "--input", "in.txt", "--frames", "60", "--results", "r.csv",
                        "--steer-assist"};
  ProgramOptions o;
  std::string error;
  ASSERT_TRUE(ParseProgramOptions(15, const_cast<char**>(argv), &o, &error)) << error;
  EXPECT_EQ(o.dataDir, "d");
  EXPECT_TRUE(o.headless);
  EXPECT_TRUE(o.seeded);
  EXPECT_EQ(o.seed, 7u);
  EXPECT_FLOAT_EQ(o.fixedStep, 0.02f);
  EXPECT_EQ(o.inputFile, "in.txt");
  EXPECT_EQ(o.frames, 60u);
  EXPECT_EQ(o.resultsFile, "r.csv");
  EXPECT_TRUE(o.steerAssist);
  const char* bad[] = {"Pindrel", "--frames", "many"};
  ProgramOptions p;
  EXPECT_FALSE(p.steerAssist);
  EXPECT_FALSE(ParseProgramOptions(3, const_cast<char**>(bad), &p, &error));
  EXPECT_EQ(error, "--frames needs a number");
}
