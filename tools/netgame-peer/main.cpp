// netgame-peer: one machine of a network game, headless, with a simulated race in place of
// the track: every car drives round a loop of --lap-length metres at its own --speed, the
// race clock runs on frame time and is kept in step by the host's clock messages.
//
//   netgame-peer host   --name N --players K [--tcp P] [--udp P] [--beacon-port P]
//   netgame-peer search --name N --tcp P [--udp P]
//   netgame-peer join A.B.C.D --name N --tcp P [--udp P] [--host-udp P]
//
// Common options: --laps L (3), --lap-length M (20), --speed V (m/s, 30), --chat TEXT (sent once
// in the lobby), --stop-after S (end S seconds into the race and report the traffic, for soak
// runs), --seconds S (give up after S seconds, exit 3; default 60).
//
// The host starts the race once K players are in and ready, and sends everybody back to the
// lobby after the results; then the clients leave and the host leaves once they are gone.
// Output lines: "hosting tcp P udp Q", "udp Q", "joined id N", "player ID NAME", "chat TEXT",
// "left ID NAME", "race", "racing", "lap N", "finished", "result PLACE NAME TIME_MS",
// "results done", "lobby", "traffic sent B received B seconds S", "closed REASON".
// Exit code 0 after a whole game, 1 when the network fails, 2 for a bad command line, 3 on
// time-out.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QVX/shell/Config.h"
#include "QVX/shell/NetSession.h"
#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string mode;
  std::string hostAddress;
  std::string name = "peer";
  uint32_t players = 2;
  uint32_t tcpPort = 2000, udpPort = 2001, beaconPort = 0, hostUdpPort = 0;
  uint32_t laps = 3;
  float lapLength = 20.0f;
  float speed = 30.0f;
  std::string chat;
  float stopAfter = 0.0f;
  float seconds = 60.0f;
};

int Usage(FILE* to = stderr) {
  std::fprintf(
      to,
      "usage: netgame-peer host --name N --players K [--tcp P] [--udp P] [--beacon-port P]\n"
      "       netgame-peer search --name N --tcp P [--udp P]\n"
      "       netgame-peer join A.B.C.D --name N --tcp P [--udp P] [--host-udp P]\n"
      "options: --laps L --lap-length M --speed V --chat TEXT --stop-after S --seconds S\n");
  return to == stderr ? 2 : 0;
}

// A bad command line: says what is wrong, then the usage; false.
bool Bad(const std::string& what, const char* why) {
  std::fprintf(stderr, "netgame-peer: %s: %s\n", what.c_str(), why);
  return false;
}

bool ToNumber(const char* text, double low, double high, double* out) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != 0 || !(v >= low && v <= high)) return false;
  *out = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 2) return Bad("mode", "give host, search or join");
  o->mode = argv[1];
  int i = 2;
  if (o->mode == "join") {
    if (argc < 3) return Bad("join", "needs the host's address A.B.C.D");
    o->hostAddress = argv[i++];
    uint8_t address[4];
    if (!Config_ParseAddress(o->hostAddress.c_str(), address))
      return Bad("join " + o->hostAddress,
                 "needs an address of four numbers A.B.C.D, each from 0 to 255");
  } else if (o->mode != "host" && o->mode != "search") {
    return Bad(o->mode, "is no mode; give host, search or join");
  }
  for (; i < argc; ++i) {
    const std::string key = argv[i];
    if (i + 1 >= argc) return Bad(key, "needs a value");
    const char* value = argv[++i];
    double v = 0;
    auto port = [&](uint32_t* out) {
      if (!ToNumber(value, 0, 65535, &v) || v != std::floor(v))
        return Bad(key, "needs a port number from 0 to 65535");
      *out = uint32_t(v);
      return true;
    };
    if (key == "--name") {
      o->name = value;
    } else if (key == "--chat") {
      o->chat = value;
    } else if (key == "--players") {
      if (!ToNumber(value, 1, NET_MAX_PLAYERS, &v) || v != std::floor(v))
        return Bad(key,
                   ("needs a whole number of players from 1 to " + std::to_string(NET_MAX_PLAYERS))
                       .c_str());
      o->players = uint32_t(v);
    } else if (key == "--tcp") {
      if (!port(&o->tcpPort)) return false;
    } else if (key == "--udp") {
      if (!port(&o->udpPort)) return false;
    } else if (key == "--beacon-port") {
      if (!port(&o->beaconPort)) return false;
    } else if (key == "--host-udp") {
      if (!port(&o->hostUdpPort)) return false;
    } else if (key == "--laps") {
      if (!ToNumber(value, 1, 1000000, &v) || v != std::floor(v))
        return Bad(key, "needs a whole number of laps from 1 to 1000000");
      o->laps = uint32_t(v);
    } else if (key == "--lap-length") {
      if (!ToNumber(value, 1, 100000, &v))
        return Bad(key, "needs a length in metres from 1 to 100000");
      o->lapLength = float(v);
    } else if (key == "--speed") {
      if (!ToNumber(value, 0.1, 1000, &v)) return Bad(key, "needs a speed in m/s from 0.1 to 1000");
      o->speed = float(v);
    } else if (key == "--stop-after") {
      if (!ToNumber(value, 0, 86400, &v))
        return Bad(key, "needs a number of seconds from 0 to 86400");
      o->stopAfter = float(v);
    } else if (key == "--seconds") {
      if (!ToNumber(value, 1, 86400, &v))
        return Bad(key, "needs a number of seconds from 1 to 86400");
      o->seconds = float(v);
    } else {
      return Bad(key, "is not an option");
    }
  }
  return true;
}

// The simulated race and what the session reports, printed as lines.
class Peer : public NetGameHooks {
 public:
  explicit Peer(const Options& o) : m_o(o) {}

  NetSession* session = nullptr;
  bool raceLoadPending = false;
  bool racing = false;  // the start moment has passed
  bool startKnown = false;
  float startMoment = 0.0f;
  float raceTime = 0.0f;
  bool raceRunning = false;
  bool finished = false;
  uint32_t lapsShown = 0;
  bool resultsDone = false;
  bool inLobbyAgain = false;
  bool closed = false;
  NetCloseReason closeReason = NET_CLOSED_LEFT;
  // Host: what it knows of each car (by player id).
  struct Car {
    bool seen = false;
    float time = 0.0f, distance = 0.0f, speed = 0.0f;
  };
  Car cars[NET_MAX_PLAYERS];
  std::vector<NetResultEntry> received;

  float Distance() const { return racing ? m_o.speed * (raceTime - startMoment) : 0.0f; }
  float Total() const { return float(m_o.laps) * m_o.lapLength; }

  float RaceTime() override { return raceTime; }
  void SetRaceTime(float t) override { raceTime = t; }
  int TrackPhase() override { return finished ? 4 : (racing ? 3 : 2); }
  float TrackStartMoment() override {
    startMoment = raceTime + 1.0f;
    return startMoment;
  }
  bool GetOwnCarState(NetCarState* s) override {
    if (!racing) return false;
    *s = NetCarState{};
    s->raceTime = raceTime;
    s->position[0] = Distance();
    s->linearVelocity[0] = m_o.speed;
    s->gear = 3.0f;
    return true;
  }
  uint32_t BuildResults(NetResultEntry* out, uint32_t capacity) override {
    // Finish times: the own one exactly, the others extrapolated from their last car state.
    struct Row {
      uint8_t id;
      float time;
      uint8_t result;
    };
    std::vector<Row> rows;
    rows.push_back({session->GetOwnId(), startMoment + Total() / m_o.speed, 1});
    for (uint32_t i = 0; i < session->GetPeerCount(); ++i) {
      const NetPeer& p = session->GetPeer(i);
      const Car& c = cars[p.id];
      float t = 1e9f;
      if (c.seen && c.speed > 0.0f) t = c.time + (Total() - c.distance) / c.speed;
      rows.push_back({p.id, t, p.resultByte});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.time < b.time; });
    uint32_t n = 0;
    for (; n < rows.size() && n < capacity; ++n) {
      out[n] = NetResultEntry{rows[n].id, n + 1, uint32_t(std::lround(rows[n].time * 1000.0f)),
                              rows[n].result, m_o.laps};
      std::printf("result %u %s %u\n", n + 1, NameOf(rows[n].id), out[n].wordA);
    }
    return n;
  }

  void OnHostFound(const uint8_t a[4]) override {
    std::printf("found %u.%u.%u.%u\n", a[0], a[1], a[2], a[3]);
  }
  void OnJoined(uint8_t id) override {
    std::printf("joined id %u\n", id);
    NetCarChoice c = session->GetOwnChoice();
    c.ready = true;
    session->SetOwnCarChoice(c);
    if (!m_o.chat.empty()) session->SendChat(m_o.chat.c_str());
  }
  void OnRefused(uint8_t reason) override { std::printf("refused %u\n", reason); }
  void OnClosed(NetCloseReason r) override {
    closed = true;
    closeReason = r;
    std::printf("closed %u\n", unsigned(r));
  }
  void OnCarChoice(const NetPeer& p) override {
    if (!m_known[p.id]) std::printf("player %u %s\n", p.id, p.choice.name);
    m_known[p.id] = true;
  }
  void OnPeerLeft(uint8_t id, const char* name) override {
    std::printf("left %u %s\n", id, name);
    for (uint32_t i = id; i + 1 < NET_MAX_PLAYERS; ++i) {
      cars[i] = cars[i + 1];
      m_known[i] = m_known[i + 1];
    }
    cars[NET_MAX_PLAYERS - 1] = Car{};
    m_known[NET_MAX_PLAYERS - 1] = false;
  }
  void OnChat(uint8_t, const char* text) override { std::printf("chat %s\n", text); }
  void OnRaceSetup(const NetRaceSetup&) override {
    std::printf("race\n");
    raceRunning = true;
    raceLoadPending = true;
    raceTime = 0.0f;
    racing = finished = resultsDone = startKnown = false;
    lapsShown = 0;
    for (Car& c : cars) c = Car{};
  }
  void OnStartSequence(float moment) override {
    startMoment = moment;
    startKnown = true;
  }
  void OnRaceState(uint8_t state) override {
    if (state == NET_RACE_LOBBY) {
      std::printf("lobby\n");
      inLobbyAgain = true;
      raceRunning = racing = false;
    }
  }
  void OnCarState(const NetPeer& p, const NetCarState& s) override {
    Car& c = cars[p.id];
    c.seen = true;
    c.time = s.raceTime;
    c.distance = s.position[0];
    c.speed = s.linearVelocity[0];
  }
  void OnResult(const NetPeer* p, const NetResultEntry& e) override {
    const char* name = p ? p->choice.name : session->GetOwnChoice().name;
    std::printf("result %u %s %u\n", e.finishWord, name, e.wordA);
  }
  void OnResultsDone() override {
    std::printf("results done\n");
    resultsDone = true;
  }

  // One frame of the simulated race.
  void Step(float frameTime) {
    if (!raceRunning) return;
    if (raceLoadPending) {
      raceLoadPending = false;
      session->RaceLoaded();
      return;
    }
    raceTime += frameTime;
    if (startKnown && !racing && raceTime >= startMoment) {
      racing = true;
      std::printf("racing\n");
      session->RacingStarted();
    }
    if (!racing || finished) return;
    const uint32_t laps = uint32_t(Distance() / m_o.lapLength);
    while (lapsShown < laps && lapsShown < m_o.laps) std::printf("lap %u\n", ++lapsShown);
    if (Distance() >= Total()) {
      finished = true;
      std::printf("finished\n");
      session->OwnPlayerFinished(1);
    }
  }

  const char* NameOf(uint8_t id) const {
    if (id == session->GetOwnId()) return session->GetOwnChoice().name;
    const NetPeer* p = session->FindPeer(id);
    return p ? p->choice.name : "?";
  }

 private:
  const Options& m_o;
  bool m_known[NET_MAX_PLAYERS] = {};
};

int Run(const Options& o) {
  VQConnectionDevice device;
  if (!device.Open(0)) {
    std::fprintf(stderr, "netgame-peer: the connection device does not open (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  NetSessionConfig config;
  config.tcpPort = o.tcpPort;
  config.udpPort = o.udpPort;
  config.broadcastPort = o.beaconPort;
  config.peerUdpPort = o.hostUdpPort;
  config.maxPlayers = NET_MAX_PLAYERS;
  const uint8_t loop[4] = {127, 0, 0, 1};
  std::memcpy(config.localAddress, loop, 4);
  std::strcpy(config.broadcastAddress, "127.0.0.1");
  config.randomSeed = uint32_t(std::hash<std::string>()(o.name));
  Peer peer(o);
  NetSession session(&device, &peer, config);
  peer.session = &session;
  NetCarChoice own;
  Net_CopyText(own.name, sizeof(own.name), o.name.c_str());
  own.classIndex = 1;

  bool ok;
  if (o.mode == "host") {
    ok = session.Host(own);
    if (ok) std::printf("hosting tcp %u udp %u\n", session.GetTcpPort(), session.GetUdpPort());
  } else if (o.mode == "search") {
    ok = session.Search(own);
    if (ok) std::printf("udp %u\n", session.GetUdpPort());
  } else {
    uint8_t address[4];
    if (!Config_ParseAddress(o.hostAddress.c_str(), address)) return Usage();
    ok = session.Join(address, own);
    if (ok) std::printf("udp %u\n", session.GetUdpPort());
  }
  if (!ok) {
    std::fprintf(stderr, "netgame-peer: %s failed (%s)\n", o.mode.c_str(),
                 VQerror_Describe(g_VQerror).c_str());
    return 1;
  }

  const auto begin = Clock::now();
  auto last = begin;
  bool chatSent = false, raceStarted = false, left = false;
  float racingFor = 0.0f;
  Clock::time_point lobbyAt{};
  int exitCode = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto now = Clock::now();
    const float frame = std::chrono::duration<float>(now - last).count();
    last = now;
    if (std::chrono::duration<float>(now - begin).count() > o.seconds) {
      std::printf("timed out\n");
      exitCode = 3;
      break;
    }
    session.Update(frame);
    if (peer.closed) {
      if (!left && peer.closeReason != NET_CLOSED_HOST_LEFT) exitCode = 1;
      break;
    }
    peer.Step(frame);
    if (peer.racing) racingFor += frame;
    if (o.stopAfter > 0.0f && racingFor >= o.stopAfter) {
      session.Close();
      break;
    }
    if (session.IsHost()) {
      const bool full = session.GetPeerCount() + 1 >= o.players && session.AllClientsReady();
      if (full && !chatSent && !o.chat.empty()) {
        session.SendChat(o.chat.c_str());
        chatSent = true;
      }
      if (full && !raceStarted) raceStarted = session.StartRace(0);
      if (peer.resultsDone && session.GetRaceState() == NET_RACE_RESULTS) {
        session.ReturnToLobby();
        lobbyAt = now;
      }
      // Back in the lobby: leave once the clients have gone (or after 5 s).
      if (peer.inLobbyAgain && !left &&
          (session.GetPeerCount() == 0 || now - lobbyAt > std::chrono::seconds(5))) {
        session.Leave();
        left = true;
      }
    } else if (peer.inLobbyAgain && !left) {
      session.Leave();
      left = true;
    }
  }
  if (o.stopAfter > 0.0f) {
    // A soak run: the traffic of the whole session over the seconds raced.
    const NetTraffic& t = session.GetTraffic();
    std::printf("traffic sent %llu received %llu seconds %.3f\n", (unsigned long long)t.sentBytes,
                (unsigned long long)t.receivedBytes, racingFor);
  }
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options o;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    return Usage(stdout);
  if (!ParseOptions(argc, argv, &o)) return Usage();
  return Run(o);
}
