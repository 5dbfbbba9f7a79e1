// The race run's own pieces: the loading dots, the loader thread, the loop's decision after a
// round and the CSV results file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "QVX/shell/RaceRun.h"

namespace fs = std::filesystem;

TEST(LoadingDots, CountRunsUpAndDownEveryHalfSecondAndStallsCountAsOneFrame) {
  LoadingDots dots;
  std::vector<uint32_t> seen;
  for (int i = 0; i < 7; ++i) {
    dots.Step(0.25f);
    dots.Step(0.25f);
    seen.push_back(dots.Count());
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 2, 1, 2, 3}));
  LoadingDots stalled;
  stalled.Step(5.0f);  // a 5 s stall is 1/60 s, not ten steps
  EXPECT_EQ(stalled.Count(), 0u);
  stalled.Step(1.0f);  // exactly 1 s is taken as it is
  EXPECT_EQ(stalled.Count(), 2u);
  EXPECT_EQ(stalled.Title("Loading"), std::string("Loading..") + char(128));
}

TEST(RaceLoader, ThreadedLoadFinishesAndIsJoinedAndUnthreadedRunsInPlace) {
  RaceLoader loader;
  std::atomic<bool> release{false};
  int value = 0;
  const std::thread::id main = std::this_thread::get_id();
  std::thread::id ranOn;
  ASSERT_TRUE(loader.Start(
      [&] {
        while (!release.load()) std::this_thread::yield();
        ranOn = std::this_thread::get_id();
        value = 42;
      },
      true));
  EXPECT_TRUE(loader.Threaded());
  EXPECT_FALSE(loader.Finished());
  release = true;
  while (!loader.Finished()) std::this_thread::yield();
  loader.Join();
  EXPECT_EQ(value, 42);
  EXPECT_NE(ranOn, main);

  EXPECT_FALSE(loader.Start([&] { ranOn = std::this_thread::get_id(); }, false));
  EXPECT_TRUE(loader.Finished());
  EXPECT_EQ(ranOn, main);
}

TEST(RaceLoop, EachRequestLeadsToItsNextStep) {
  struct Case {
    int32_t request, mode;
    bool rebuild;
    int32_t champRace;
    RaceLoopAction expected;
  };
  const Case cases[] = {
      {0, 3, false, 0, RACELOOP_MENUS},     {3, 3, false, 0, RACELOOP_QUIT},
      {3, 4, false, 1, RACELOOP_QUIT},      {1, 3, true, 0, RACELOOP_RESTART},
      {2, 3, true, 0, RACELOOP_NEW_GRID},   {2, 3, false, 0, RACELOOP_CONTINUE},
      {2, 4, false, 1, RACELOOP_NEW_GRID},  {2, 4, false, 0, RACELOOP_CONTINUE},
      {2, 5, true, 0, RACELOOP_CONTINUE},   {4, 6, false, 0, RACELOOP_MENU_RESUME},
      {-1, 3, false, 0, RACELOOP_CONTINUE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RaceLoop_Next(c.request, c.mode, c.rebuild, c.champRace), c.expected)
        << "request " << c.request << " mode " << c.mode;
}

TEST(RaceResultsCsv, HeaderOnceRowsAppendedFieldsQuotedAndUnwritablePathReported) {
  const fs::path dir = fs::temp_directory_path() / ("qvx_racerun_csv_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "results.csv").string();
  RaceResultRow a{"forest", RaceRun_ModeName(3), 1, "Driver", "formula", 83.4567f, 41.2f};
  RaceResultRow b{"forest", RaceRun_ModeName(3), 2, "Mc\"Fast, Jr", "formula", 90.0f, 0.0f};
  std::string error;
  ASSERT_TRUE(RaceResults_AppendCsv(path, {a, b}, &error)) << error;
  ASSERT_TRUE(RaceResults_AppendCsv(path, {a}, &error)) << error;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "track,mode,position,player,class,race_time,best_lap\n"
            "forest,single,1,Driver,formula,83.457,41.200\n"
            "forest,single,2,\"Mc\"\"Fast, Jr\",formula,90.000,0.000\n"
            "forest,single,1,Driver,formula,83.457,41.200\n");
  EXPECT_FALSE(RaceResults_AppendCsv((dir / "no/such/folder/r.csv").string(), {a}, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_STREQ(RaceRun_ModeName(9), "unknown");
  fs::remove_all(dir);
}
