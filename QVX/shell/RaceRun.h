// Pieces of the race run that stand on their own: the loading screen's dots, the loader that
// loads a race on a second thread while the main thread only animates, the race loop's decision
// after each round, and the results table appended as CSV after each race.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QVX/menu/MenuAreas.h"

// The loading title's three dots: every 0.5 s the count steps 1, 2, 3, 2, 1, 2, 3 ... A frame
// time above 1 s (a stall) counts as 1/60 s.
class LoadingDots {
 public:
  void Step(float frameTime);
  uint32_t Count() const { return m_count; }
  // "<title>" followed by three characters: '.' where the count exceeds the position, else
  // character 128 (a blank of the menu font).
  std::string Title(const char* title) const;

 private:
  float m_time = 0.0f;
  uint32_t m_count = 0;
  int32_t m_direction = 1;
};

// Runs a load either on a second thread (while the caller pumps frames that only animate) or on
// the calling thread. The loader touches nothing the main thread reads until Finished() is true;
// Finished() is an atomic flag, and Join() always joins the thread before the race goes on.
class RaceLoader {
 public:
  ~RaceLoader() { Join(); }
  // Starts the load; threaded false (or a thread that cannot start) runs it here at once.
  // True when it runs on a second thread.
  bool Start(std::function<void()> load, bool threaded);
  bool Finished() const { return m_done.load(std::memory_order_acquire); }
  void Join();
  bool Threaded() const { return m_threaded; }

 private:
  std::thread m_thread;
  std::atomic<bool> m_done{false};
  bool m_threaded = false;
};

// What the race loop does after a round, from the session request the round ended with.
enum RaceLoopAction : int32_t {
  RACELOOP_MENUS = 0,        // back to the menus
  RACELOOP_QUIT = 1,         // leave the game
  RACELOOP_RESTART = 2,      // next round on the same field (in-race byte set)
  RACELOOP_NEW_GRID = 3,     // next round, the grid built anew (single race with rebuild)
  RACELOOP_MENU_RESUME = 4,  // show the in-race menu and go on (paused)
  RACELOOP_CONTINUE = 5,     // another round with the current resume flag
};
// request: 0 menus, 1 restart, 2 restart (new grid where asked), 3 quit, 4 menu and resume.
// The grid is rebuilt on request 2 in a single race with rebuildGrid, or in a championship whose
// weekend is at its second race.
RaceLoopAction RaceLoop_Next(int32_t request, int32_t gameMode, bool rebuildGrid,
                             int32_t champRace);

// One line of the final results table.
struct RaceResultRow {
  std::string track;
  std::string mode;
  uint32_t position = 0;  // 0: not classified
  std::string player;
  std::string raceClass;
  float raceTime = 0.0f;  // seconds
  float bestLap = 0.0f;   // seconds; 0 without a counted lap
};

// The name of a game mode in the results file ("practice", "split", "single", "championship",
// "computers", "network"; "unknown" for others).
const char* RaceRun_ModeName(int32_t gameMode);
// Appends the rows to path as CSV: a header line "track,mode,position,player,class,race_time,
// best_lap" first when the file is new or empty, times in seconds with three decimals; fields
// holding a comma, a quote or a line break are quoted. False with a reason when the file cannot
// be written (nothing is appended then).
bool RaceResults_AppendCsv(const std::string& path, const std::vector<RaceResultRow>& rows,
                           std::string* error);

// The race's menu items that the shell leaves to it (the results page's finish, which shows the
// podium); registered with the game's menu areas.
MenuArea RaceRun_MenuArea();
