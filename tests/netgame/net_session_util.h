// Helpers of the session tests: hooks that record what a session reports, a shared fake
// wall clock, sessions on free loopback ports, and a pump that updates every session until
// a condition holds (bounded by a generous real-time deadline; nothing here waits on a timer).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "QVX/shell/NetSession.h"
#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace netgame {

struct RecordingHooks : NetGameHooks {
  float raceTime = 0.0f;
  int trackPhase = 0;
  bool haveCar = false;
  NetCarState ownCar;
  std::vector<NetResultEntry> results;  // what BuildResults hands out

  std::vector<std::string> chats;
  std::vector<uint8_t> states;
  std::vector<uint8_t> left;
  std::vector<std::pair<uint8_t, NetCarState>> carStates;
  std::vector<std::pair<int, NetResultEntry>> received;  // (peer id or -1 for own, entry)
  std::vector<NetCloseReason> closed;
  std::vector<NetRaceSetup> setups;
  std::vector<std::pair<uint8_t, float>> offsets;
  std::vector<NetLobbySettings> lobbies;
  std::vector<uint8_t> refusals;
  std::vector<float> setTimes;
  int joinedId = -1;
  int startAllowed = -1;
  int resultsDone = 0;
  int carChoices = 0;
  float startMoment = -1.0f;

  float RaceTime() override { return raceTime; }
  void SetRaceTime(float t) override {
    raceTime = t;
    setTimes.push_back(t);
  }
  int TrackPhase() override { return trackPhase; }
  float TrackStartMoment() override { return 3.0f; }
  bool GetOwnCarState(NetCarState* s) override {
    if (haveCar) *s = ownCar;
    return haveCar;
  }
  uint32_t BuildResults(NetResultEntry* out, uint32_t capacity) override {
    uint32_t n = 0;
    for (; n < results.size() && n < capacity; ++n) out[n] = results[n];
    return n;
  }
  void OnJoined(uint8_t id) override { joinedId = id; }
  void OnRefused(uint8_t reason) override { refusals.push_back(reason); }
  void OnClosed(NetCloseReason r) override { closed.push_back(r); }
  void OnCarChoice(const NetPeer&) override { ++carChoices; }
  void OnPeerLeft(uint8_t id, const char*) override { left.push_back(id); }
  void OnChat(uint8_t, const char* text) override { chats.emplace_back(text); }
  void OnLobbySettings(const NetLobbySettings& s) override { lobbies.push_back(s); }
  void OnStartAllowed(bool allowed) override { startAllowed = allowed ? 1 : 0; }
  void OnRaceSetup(const NetRaceSetup& s) override { setups.push_back(s); }
  void OnRaceState(uint8_t state) override { states.push_back(state); }
  void OnStartSequence(float moment) override { startMoment = moment; }
  void OnCarState(const NetPeer& p, const NetCarState& s) override {
    carStates.emplace_back(p.id, s);
  }
  void OnResult(const NetPeer* p, const NetResultEntry& e) override {
    received.emplace_back(p ? p->id : -1, e);
  }
  void OnResultsDone() override { ++resultsDone; }
  void OnClockOffset(uint8_t id, float offset) override { offsets.emplace_back(id, offset); }
};

// One session with its hooks; the clock is the fixture's.
struct Member {
  RecordingHooks hooks;
  bool frozen = false;  // not updated any more (a machine that hangs)
  std::unique_ptr<NetSession> session;
};

inline NetCarChoice Choice(const char* name, uint8_t cls = 0, bool ready = false) {
  NetCarChoice c;
  std::strncpy(c.name, name, sizeof(c.name) - 1);
  c.classIndex = cls;
  c.ready = ready;
  return c;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_device.Open(0)) << g_VQerror; }
  void TearDown() override {
    m_members.clear();
    m_device.Close();
  }

  // A session on free loopback ports whose beacons go to 127.0.0.1.
  Member& Add(uint32_t maxPlayers = NET_MAX_PLAYERS) {
    NetSessionConfig config;
    config.tcpPort = m_tcpPort;
    config.udpPort = 0;
    config.peerUdpPort = m_hostUdpPort;
    const uint8_t loop[4] = {127, 0, 0, 1};
    std::memcpy(config.localAddress, loop, 4);
    std::strcpy(config.broadcastAddress, "127.0.0.1");
    config.maxPlayers = maxPlayers;
    auto member = std::make_unique<Member>();
    member->session = std::make_unique<NetSession>(&m_device, &member->hooks, config);
    member->session->SetWallClock([this] { return m_now; });
    m_members.push_back(std::move(member));
    return *m_members.back();
  }

  // The host; its ports become the ones the later members use.
  Member& AddHost(uint32_t maxPlayers = NET_MAX_PLAYERS) {
    Member& h = Add(maxPlayers);
    h.session->MutableConfig().tcpPort = 0;
    h.session->MutableConfig().peerUdpPort = 0;
    EXPECT_TRUE(h.session->Host(Choice("host", 0, true))) << g_VQerror;
    m_tcpPort = h.session->GetTcpPort();
    m_hostUdpPort = h.session->GetUdpPort();
    return h;
  }

  // A client that joins the host at 127.0.0.1 and waits for its welcome.
  Member& Join(const char* name) {
    Member& c = Add();
    const uint8_t loop[4] = {127, 0, 0, 1};
    EXPECT_TRUE(c.session->Join(loop, Choice(name))) << g_VQerror;
    EXPECT_TRUE(PumpUntil([&] { return c.session->IsConnected(); }));
    return c;
  }

  // Updates every open session (in order) until done() holds; false after the deadline.
  bool PumpUntil(const std::function<bool()>& done, float frameTime = 0.01f) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
      for (auto& m : m_members)
        if (!m->frozen) m->session->Update(frameTime);
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  // A few rounds, for "nothing more happens" checks.
  void PumpRounds(int rounds, float frameTime = 0.01f) {
    for (int i = 0; i < rounds; ++i) {
      for (auto& m : m_members)
        if (!m->frozen) m->session->Update(frameTime);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  }

  VQConnectionDevice m_device;
  std::vector<std::unique_ptr<Member>> m_members;
  uint32_t m_now = 1000;
  uint32_t m_tcpPort = 0;
  uint32_t m_hostUdpPort = 0;
};

}  // namespace netgame
