// A network game of three Pindrel processes on 127.0.0.1, each on its own copy of the generated
// data tree with its own player and datagram port: the host announces the game by its beacon,
// the two clients find it by searching, join the lobby, chat and get ready; the host starts a
// three-lap race in a weather it draws, one client is killed during it, and the other two race
// their laps to the finish and write the same classification in the same weather. Everything is driven by scripted keys (the cars steer along the racing line
// by themselves, the script works the throttle); the network paces the frames to the wall
// clock, so the frame numbers of the scripts are moments in time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "tests/support/run_tool.h"
#include "Zentri/devices/network/VQConnectionDevice.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kStep = "0.05";  // 20 frames a second of wall time in a network game
constexpr int kFrames = 7000;          // an upper bound: the test ends the runs once done
constexpr int kTrack = 4;              // the harbour, the shortest lap
constexpr int kLength = 2;             // the third race length: three laps
constexpr int kRandomWeather = 5;      // after the track's five weathers: one drawn at random
constexpr auto kLimit = std::chrono::seconds(285);
// Seconds of racing after which the host would classify the field as it stands: a safety net
// well beyond the three laps, which the cars finish (in 120 to 170 seconds, the slower car
// depending on how the frames of three processes on a busy machine keep up with the clock).
constexpr int kRaceLimit = 235;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Free ports on 127.0.0.1 for the game connection and the datagram sockets (looked up through
// the connection device; a short race with another program taking one is possible but rare).
uint32_t FreePort(VQConnectionDevice& device, uint32_t code) {
  VQNetAddress any = VQnet_MakeAddress(127, 0, 0, 1, 0);
  VQProtocolLayer* layer = device.CreateLayer(&any, VQNET_LAYER_MODE, code);
  if (layer == nullptr || !layer->Start()) return 0;
  const uint32_t port = layer->GetLocalPort();
  device.DeleteLayer(layer);
  return port;
}

struct Machine {
  std::string name;
  int seed = 0;  // each machine draws its own random numbers
  fs::path dir;
  uint32_t udpPort = 0;
  pid_t pid = -1;
  std::string Log() const { return ReadText(dir / "qvxlog.txt"); }
  std::string Results() const { return ReadText(dir / "results.csv"); }
};

// The cells of each row of a results file, in file order.
std::vector<std::vector<std::string>> Rows(const std::string& csv) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream cellsIn(line);
    std::string cell;
    while (std::getline(cellsIn, cell, ',')) cells.push_back(cell);
    out.push_back(cells);
  }
  return out;
}

// (position, player) of each classified row of a results file, in file order.
std::vector<std::pair<std::string, std::string>> Classification(const std::string& csv) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& cells : Rows(csv))
    if (cells.size() >= 4) out.emplace_back(cells[2], cells[3]);
  return out;
}

std::string Press(int frame, const std::string& key) {
  return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) + " key " +
         key + " up\n";
}

class RaceRun : public ::testing::Test {
 protected:
  void SetUp() override {
    m_base = fs::temp_directory_path() / ("qvx_net_race_" + std::to_string(::getpid()));
    fs::remove_all(m_base);
    ASSERT_TRUE(m_device.Open(0));
    m_tcpPort = FreePort(m_device, VQLAYER_FRAMED_TCP_SERVER);
    ASSERT_NE(m_tcpPort, 0u);
  }
  void TearDown() override {
    for (Machine& m : m_machines) Stop(m);
    m_device.Close();
    if (!HasFailure()) fs::remove_all(m_base);  // kept for a look at what the runs left
  }

  Machine& AddMachine(const std::string& name) {
    Machine m;
    m.name = name;
    m.seed = int(m_machines.size()) + 5;
    m.dir = m_base / name;
    fs::create_directories(m.dir);
    fs::copy(VQ_GAME_DIR, m.dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    m.udpPort = FreePort(m_device, VQLAYER_UDP_RECEIVE);
    // The player's own profile: a three-lap race on the chosen track (the host's choice is the
    // one that counts; the clients take it from the lobby).
    const fs::path players = m.dir / "Data/Players";
    const std::string bytes = ReadText(players / "Driver.bin");
    PlayerProfile profile;
    EXPECT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 PROFILE_MAX_CLASSES, &profile),
              PROFILE_OK);
    profile.normal_track = kTrack;
    profile.normal_length = kLength;
    profile.normal_weather = kRandomWeather;
    const std::vector<uint8_t> out = PlayerProfile_Write(profile, PROFILE_MAX_CLASSES);
    fs::remove(players / "Driver.bin");  // links into the generated tree: replaced, not written
    std::ofstream(players / (name + ".bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    m_machines.push_back(m);
    return m_machines.back();
  }

  // Config.ini of each machine: its player, the shared game port, its own datagram port; the
  // host sends its beacon to the clients' ports on 127.0.0.1.
  void WriteConfigs() {
    std::string clientPorts;
    for (size_t i = 1; i < m_machines.size(); ++i)
      clientPorts += (i > 1 ? " " : "") + std::to_string(m_machines[i].udpPort);
    for (size_t i = 0; i < m_machines.size(); ++i) {
      const Machine& m = m_machines[i];
      std::string text = ReadText(m.dir / "Config.ini");
      fs::remove(m.dir / "Config.ini");
      std::ofstream out(m.dir / "Config.ini");
      std::istringstream in(text);
      std::string line;
      while (std::getline(in, line))
        if (line.rfind("player1", 0) != 0 && line.rfind("tcpport", 0) != 0 &&
            line.rfind("udpport", 0) != 0)
          out << line << "\n";
      out << "player1 = " << m.name << "\ntcpport = " << m_tcpPort << "\nudpport = " << m.udpPort
          << "\nnetaddress = 127.0.0.1\nbroadcastaddress = 127.0.0.1\nnetracelimit = " << kRaceLimit
          << "\n";
      if (i == 0) out << "broadcastports = " << clientPorts << "\n";
    }
  }

  void Script(Machine& m, const std::string& keys) {
    // The intro's three pictures are skipped by a key each.
    std::ofstream(m.dir / "input.txt")
        << Press(3, "space") + Press(40, "space") + Press(120, "space") + keys;
  }

  void Start(Machine& m) {
    const std::string pindrel = vqtest::BinDir() + "/Pindrel";
    const std::string input = (m.dir / "input.txt").string();
    const std::string results = (m.dir / "results.csv").string();
    const std::string output = (m.dir / "output.txt").string();
    const std::string data = m.dir.string();
    const std::string frames = std::to_string(kFrames);
    const std::string seed = std::to_string(m.seed);
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::freopen(output.c_str(), "w", stdout);
      std::freopen(output.c_str(), "a", stderr);
      ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
      ::setenv("SDL_AUDIODRIVER", "dummy", 1);
      ::execl(pindrel.c_str(), pindrel.c_str(), "--headless", "--fixed-step", kStep, "--seed", seed.c_str(),
              "--steer-assist", "--frames", frames.c_str(), "--input", input.c_str(), "--results", results.c_str(),
              "--data", data.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    m.pid = pid;
  }

  static void Stop(Machine& m, int signal = SIGKILL) {
    if (m.pid <= 0) return;
    ::kill(m.pid, signal);
    ::waitpid(m.pid, nullptr, 0);
    m.pid = -1;
  }

  // Waits until done() holds or the run's limit passes; a process that ends early is reaped.
  bool WaitFor(const std::function<bool()>& done) {
    while (Clock::now() < m_deadline) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return done();
  }

  VQConnectionDevice m_device;
  fs::path m_base;
  uint32_t m_tcpPort = 0;
  std::vector<Machine> m_machines;
  Clock::time_point m_deadline;
};

bool Has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// The weather named in a log's race set-up line ("" when there is none).
std::string Weather(const std::string& log) {
  const std::string mark = "weather '";
  const size_t at = log.find(mark, log.find("Race set-up: "));
  if (at == std::string::npos) return "";
  const size_t from = at + mark.size();
  return log.substr(from, log.find('\'', from) - from);
}

TEST_F(RaceRun, NetworkRaceOfThreeMachinesSharesOneClassificationAfterADrop) {
  AddMachine("Hosta");
  AddMachine("Alpha");
  AddMachine("Bravo");
  WriteConfigs();
  Machine& host = m_machines[0];
  Machine& alpha = m_machines[1];
  Machine& bravo = m_machines[2];

  // The race: the throttle pressed again and again from the moment the menus are gone (a key
  // that goes down while the race loads would not reach the race), and let go for a frame each
  // second (a throttle held through the start lights counts only once it was let go); the cars
  // steer themselves.
  std::string drive;
  for (int f = 640; f < kFrames - 100; f += 20)
    drive += std::to_string(f) + " key up down\n" + std::to_string(f + 19) + " key up up\n";
  // Host: Multiplayer, host a game; a chat line; the start, which takes the focus once both
  // are ready (a press before that meets the class item and does nothing).
  Script(host, Press(220, "down") + Press(230, "enter") + Press(250, "enter") + Press(440, "g") +
                   Press(444, "o") + Press(448, "enter") + Press(540, "enter") +
                   Press(570, "enter") + Press(600, "enter") + drive);
  // Clients: Multiplayer, join, search the network; a chat line; ready.
  const std::string join = Press(220, "down") + Press(230, "enter") + Press(250, "down") +
                           Press(260, "enter") + Press(280, "enter");
  Script(alpha, join + Press(400, "h") + Press(404, "i") + Press(408, "enter") +
                    Press(480, "enter") + drive);
  Script(bravo, join + Press(420, "y") + Press(424, "o") + Press(428, "enter") +
                    Press(490, "enter") + drive);

  const auto begin = Clock::now();
  m_deadline = begin + kLimit;
  for (Machine& m : m_machines) Start(m);
  auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };

  // Bravo drops out a few seconds into the race.
  ASSERT_TRUE(WaitFor([&] { return Has(bravo.Log(), "Network : race state 4"); })) << bravo.Log();
  std::printf("racing after %.1f s\n", seconds());
  std::this_thread::sleep_for(std::chrono::seconds(5));
  Stop(bravo);

  // The others race on to the end and take the host's classification.
  ASSERT_TRUE(WaitFor([&] {
    return Has(host.Log(), "Race results appended") && Has(alpha.Log(), "Race results appended");
  })) << host.Log()
      << "\n----\n"
      << alpha.Log();
  std::printf("results after %.1f s\n", seconds());
  const std::string hostLog = host.Log(), alphaLog = alpha.Log();
  for (const std::string* log : {&hostLog, &alphaLog}) {
    // Found, joined, chatted and raced.
    EXPECT_TRUE(Has(*log, "Chat: Alpha: hi")) << *log;
    EXPECT_TRUE(Has(*log, "Chat: Bravo: yo")) << *log;
    EXPECT_TRUE(Has(*log, "Chat: Hosta: go")) << *log;
    EXPECT_TRUE(Has(*log, "Race in game mode 6")) << *log;
    EXPECT_TRUE(Has(*log, "Network : start sequence")) << *log;
    EXPECT_TRUE(Has(*log, "(Bravo) left")) << *log;
    EXPECT_TRUE(Has(*log, "Network : results of the race")) << *log;
  }
  EXPECT_TRUE(Has(alphaLog, "Network : joined the game as player")) << alphaLog;
  EXPECT_TRUE(Has(hostLog, "Network : race loaded")) << hostLog;
  // The host drew the weather; everybody races in it.
  EXPECT_NE(Weather(hostLog), "") << hostLog;
  EXPECT_EQ(Weather(alphaLog), Weather(hostLog)) << alphaLog;
  // A race of three laps that both cars finish: the time limit never struck.
  for (const std::string* log : {&hostLog, &alphaLog}) {
    EXPECT_TRUE(Has(*log, "3 laps")) << *log;
    EXPECT_TRUE(Has(*log, "own car on lap 2")) << *log;
    EXPECT_TRUE(Has(*log, "own car finished, place")) << *log;
  }
  EXPECT_FALSE(Has(hostLog, "time is up")) << hostLog;

  const auto hostTable = Classification(host.Results());
  const auto alphaTable = Classification(alpha.Results());
  ASSERT_EQ(hostTable.size(), 2u) << host.Results();
  EXPECT_EQ(hostTable, alphaTable) << host.Results() << "\n----\n" << alpha.Results();
  EXPECT_EQ(hostTable[0].first, "1") << host.Results();
  EXPECT_EQ(hostTable[1].first, "2") << host.Results();
  std::vector<std::string> names = {hostTable[0].second, hostTable[1].second};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Hosta"}));
  // Both rows are classified with the race times of their own finishes, well within the limit.
  for (const auto& cells : Rows(host.Results())) {
    ASSERT_GE(cells.size(), 7u) << host.Results();
    EXPECT_GT(std::atof(cells[5].c_str()), 20.0) << host.Results();
    EXPECT_LT(std::atof(cells[5].c_str()), double(kRaceLimit) - 1.0) << host.Results();
  }
}

}  // namespace
