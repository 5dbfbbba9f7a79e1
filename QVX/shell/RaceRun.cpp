#include "QVX/shell/RaceRun.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

void LoadingDots::Step(float frameTime) {
  if (!(frameTime <= 1.0f)) frameTime = 1.0f / 60.0f;
  if (frameTime < 0.0f) frameTime = 0.0f;
  m_time += frameTime;
  while (m_time >= 0.5f) {
    m_time -= 0.5f;
    if (m_direction > 0) {
      if (++m_count >= 3) m_direction = -1;
    } else {
      if (m_count > 0) --m_count;
      if (m_count <= 1) m_direction = 1;
    }
  }
}

std::string LoadingDots::Title(const char* title) const {
  std::string s = title ? title : "";
  for (uint32_t i = 0; i < 3; ++i) s += m_count > i ? '.' : char(128);
  return s;
}

bool RaceLoader::Start(std::function<void()> load, bool threaded) {
  Join();
  m_done.store(false, std::memory_order_release);
  m_threaded = false;
  if (threaded) {
    try {
      m_thread = std::thread([this, load]() {
        load();
        m_done.store(true, std::memory_order_release);
      });
      m_threaded = true;
      return true;
    } catch (...) {
      // No thread: the load runs here like on the other display devices.
    }
  }
  load();
  m_done.store(true, std::memory_order_release);
  return false;
}

void RaceLoader::Join() {
  if (m_thread.joinable()) m_thread.join();
}

RaceLoopAction RaceLoop_Next(int32_t request, int32_t gameMode, bool rebuildGrid,
                             int32_t champRace) {
  switch (request) {
    case 0: return RACELOOP_MENUS;
    case 3: return RACELOOP_QUIT;
    case 1: return RACELOOP_RESTART;
    case 2:
      if ((gameMode == 4 && champRace == 1) || (gameMode == 3 && rebuildGrid))
        return RACELOOP_NEW_GRID;
      return RACELOOP_CONTINUE;
    case 4: return RACELOOP_MENU_RESUME;
    default: return RACELOOP_CONTINUE;
  }
}

const char* RaceRun_ModeName(int32_t gameMode) {
  static const char* const kNames[] = {"practice",     "split",     "single",
                                       "championship", "computers", "network"};
  return gameMode >= 1 && gameMode <= 6 ? kNames[gameMode - 1] : "unknown";
}

namespace {

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Seconds(float t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", double(t > 0.0f ? t : 0.0f));
  return buffer;
}

}  // namespace

bool RaceResults_AppendCsv(const std::string& path, const std::vector<RaceResultRow>& rows,
                           std::string* error) {
  if (path.empty()) {
    if (error) *error = "no results file named";
    return false;
  }
  struct stat st {};
  const bool fresh = ::stat(path.c_str(), &st) != 0 || st.st_size == 0;
  std::string text;
  if (fresh) text = "track,mode,position,player,class,race_time,best_lap\n";
  for (const RaceResultRow& r : rows) {
    text += CsvField(r.track) + "," + CsvField(r.mode) + "," + std::to_string(r.position) + "," +
            CsvField(r.player) + "," + CsvField(r.raceClass) + "," + Seconds(r.raceTime) + "," +
            Seconds(r.bestLap) + "\n";
  }
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) {
    if (error) *error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!(ok && closed)) {
    if (error) *error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}
