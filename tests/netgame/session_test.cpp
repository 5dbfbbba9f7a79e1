// Network game sessions over loopback in one process: a host and clients (and, where the
// exact bytes matter, the test itself playing host or client over raw layers).
#include <cmath>

#include "net_session_util.h"

namespace netgame {
namespace {

const uint8_t kLoop[4] = {127, 0, 0, 1};

bool HasState(const RecordingHooks& h, uint8_t state) {
  for (uint8_t s : h.states)
    if (s == state) return true;
  return false;
}

// ---- Lobby.

TEST_F(SessionTest, JoinByBeaconAndByAddressThenChoicesChatAndSettingsReachEveryone) {
  Member& host = AddHost();
  host.session->SetLobbySettings(NetLobbySettings{2, 3, 1, 0, 1});
  // Alpha finds the host by its beacon (sent to alpha's port on 127.0.0.1).
  Member& alpha = Add();
  ASSERT_TRUE(alpha.session->Search(Choice("alpha", 4)));
  host.session->MutableConfig().broadcastPort = alpha.session->GetUdpPort();
  ASSERT_TRUE(
      PumpUntil([&] { return alpha.session->IsConnected() && host.hooks.carChoices == 1; }));
  EXPECT_EQ(alpha.hooks.joinedId, 1);
  EXPECT_EQ(alpha.session->GetHostAddress()[0], 127);
  ASSERT_EQ(alpha.hooks.lobbies.size(), 1u);
  EXPECT_EQ(alpha.hooks.lobbies[0].track, 3);
  ASSERT_NE(alpha.session->FindPeer(0), nullptr);
  EXPECT_STREQ(alpha.session->FindPeer(0)->choice.name, "host");
  // Bravo types the address.
  Member& bravo = Join("bravo");
  EXPECT_EQ(bravo.session->GetOwnId(), 2);
  ASSERT_TRUE(PumpUntil(
      [&] { return alpha.session->FindPeer(2) != nullptr && host.session->GetPeerCount() == 2; }));
  EXPECT_STREQ(alpha.session->FindPeer(2)->choice.name, "bravo");
  ASSERT_NE(bravo.session->FindPeer(1), nullptr);
  EXPECT_EQ(bravo.session->FindPeer(1)->choice.classIndex, 4);
  EXPECT_EQ(bravo.session->FindPeer(1)->lobbySlot, 1);

  alpha.session->SendChat("hi from alpha");
  host.session->SendChat("host here");
  ASSERT_TRUE(
      PumpUntil([&] { return bravo.hooks.chats.size() == 2 && alpha.hooks.chats.size() == 1; }));
  EXPECT_EQ(host.hooks.chats, std::vector<std::string>{"hi from alpha"});
  EXPECT_EQ(alpha.hooks.chats, std::vector<std::string>{"host here"});

  // The start is allowed once every client is ready.
  EXPECT_EQ(host.hooks.startAllowed, 0);
  alpha.session->SetOwnCarChoice(Choice("alpha", 4, true));
  ASSERT_TRUE(PumpUntil([&] { return host.session->FindPeer(1)->choice.ready; }));
  EXPECT_EQ(host.hooks.startAllowed, 0);
  bravo.session->SetOwnCarChoice(Choice("bravo", 1, true));
  ASSERT_TRUE(PumpUntil([&] { return host.hooks.startAllowed == 1; }));
  EXPECT_TRUE(host.session->AllClientsReady());
}

TEST_F(SessionTest, HostRefusesJoinersBeyondItsSlotsAndDuringARace) {
  Member& host = AddHost(2);
  Join("alpha");
  Member& late = Add();
  ASSERT_TRUE(late.session->Join(kLoop, Choice("late")));
  ASSERT_TRUE(PumpUntil([&] { return !late.hooks.closed.empty(); }));
  EXPECT_EQ(late.hooks.refusals, std::vector<uint8_t>{NET_REFUSED_FULL});
  EXPECT_EQ(late.hooks.closed[0], NET_CLOSED_REFUSED);
  EXPECT_EQ(host.session->GetPeerCount(), 1u);

  // A game with room, but racing.
  Member& host2 = AddHost(4);
  ASSERT_TRUE(host2.session->StartRace(0));
  Member& racing = Add();
  ASSERT_TRUE(racing.session->Join(kLoop, Choice("racing")));
  ASSERT_TRUE(PumpUntil([&] { return !racing.hooks.closed.empty(); }));
  EXPECT_EQ(racing.hooks.refusals, std::vector<uint8_t>{NET_REFUSED_RACE_RUNNING});
  EXPECT_EQ(host2.session->GetPeerCount(), 0u);
}

// ---- Race.

TEST_F(SessionTest, ThreePlayersStartSyncRaceAndShareTheResults) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  Member& bravo = Join("bravo");
  ASSERT_TRUE(PumpUntil([&] { return alpha.session->FindPeer(2) && bravo.session->FindPeer(1); }));
  ASSERT_TRUE(host.session->StartRace(1));
  ASSERT_TRUE(
      PumpUntil([&] { return alpha.hooks.setups.size() == 1 && bravo.hooks.setups.size() == 1; }));
  // Start slots: a permutation of 0..2, the same everywhere.
  const NetRaceSetup& s = alpha.hooks.setups[0];
  ASSERT_EQ(s.playerCount, 3);
  EXPECT_EQ(s.weather, 1);
  EXPECT_EQ(s.startSlots[0] + s.startSlots[1] + s.startSlots[2], 0 + 1 + 2);
  EXPECT_NE(s.startSlots[0], s.startSlots[1]);
  EXPECT_EQ(0, std::memcmp(bravo.hooks.setups[0].startSlots, s.startSlots, 3));
  EXPECT_EQ(0, std::memcmp(host.hooks.setups[0].startSlots, s.startSlots, 3));
  EXPECT_TRUE(alpha.session->IsRaceRunning());

  // Loaded at different moments; the start goes out once both clients are synchronised.
  alpha.session->RaceLoaded();
  bravo.session->RaceLoaded();
  PumpRounds(5);
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_SETUP);  // the host's own race is not loaded
  host.session->RaceLoaded();
  ASSERT_TRUE(PumpUntil([&] {
    return alpha.session->GetRaceState() == NET_RACE_START_SENT &&
           bravo.session->GetRaceState() == NET_RACE_START_SENT;
  }));
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_START_SENT);
  EXPECT_EQ(alpha.hooks.startMoment, 3.0f);
  EXPECT_FALSE(alpha.hooks.setTimes.empty());  // the clock answer set the race clock
  // Each client learnt the other's offset.
  ASSERT_NE(alpha.session->FindPeer(2), nullptr);
  EXPECT_TRUE(alpha.session->FindPeer(2)->synced);

  // A restart synchronises again once every machine has loaded the race again.
  host.session->RestartRace();
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_SYNCING);
  PumpRounds(5);
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_SYNCING);
  EXPECT_EQ(alpha.session->GetRaceState(),
            NET_RACE_START_SENT);  // the notice asks nothing of a client
  alpha.session->RaceLoaded();
  bravo.session->RaceLoaded();
  ASSERT_TRUE(PumpUntil([&] {
    return alpha.session->GetRaceState() == NET_RACE_START_SENT &&
           bravo.session->GetRaceState() == NET_RACE_START_SENT &&
           host.session->GetRaceState() == NET_RACE_START_SENT;
  }));

  // Racing: car states flow, relayed by the host.
  for (Member* m : {&host, &alpha, &bravo}) {
    m->hooks.haveCar = true;
    m->hooks.ownCar.position[0] = float(m->session->GetOwnId()) * 10.0f + 1.0f;
    m->session->RacingStarted();
  }
  auto sawCarOf = [](const RecordingHooks& h, uint8_t id) {
    for (const auto& [who, state] : h.carStates)
      if (who == id && state.playerId == id && state.position[0] == float(id) * 10.0f + 1.0f)
        return true;
    return false;
  };
  ASSERT_TRUE(PumpUntil([&] {
    return sawCarOf(host.hooks, 1) && sawCarOf(host.hooks, 2) && sawCarOf(alpha.hooks, 2) &&
           sawCarOf(alpha.hooks, 0) && sawCarOf(bravo.hooks, 1) && sawCarOf(bravo.hooks, 0);
  }));

  // Finish and results; an entry of an id nobody holds is ignored.
  alpha.session->OwnPlayerFinished(2);
  bravo.session->OwnPlayerFinished(3);
  host.session->OwnPlayerFinished(1);
  ASSERT_TRUE(PumpUntil([&] { return host.session->GetFinishedCount() == 3; }));
  EXPECT_EQ(host.session->FindPeer(2)->resultByte, 3);
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_RACING);  // the track has not finished yet
  host.hooks.trackPhase = 4;
  host.hooks.results = {{0, 1, 100, 1, 9}, {1, 2, 200, 2, 9}, {2, 3, 300, 3, 9}, {6, 4, 400, 4, 9}};
  ASSERT_TRUE(
      PumpUntil([&] { return alpha.hooks.resultsDone == 1 && bravo.hooks.resultsDone == 1; }));
  ASSERT_EQ(alpha.hooks.received.size(), 3u);
  EXPECT_EQ(alpha.hooks.received[0].first, 0);
  EXPECT_EQ(alpha.hooks.received[1].first, -1);  // its own entry
  EXPECT_EQ(alpha.hooks.received[1].second.wordA, 200u);
  EXPECT_EQ(alpha.hooks.received[2].first, 2);
  ASSERT_TRUE(PumpUntil([&] {
    return HasState(alpha.hooks, NET_RACE_RESULTS) && HasState(bravo.hooks, NET_RACE_RESULTS);
  }));

  host.session->ReturnToLobby();
  ASSERT_TRUE(PumpUntil(
      [&] { return !alpha.session->IsRaceRunning() && !bravo.session->IsRaceRunning(); }));
  EXPECT_EQ(alpha.session->GetRaceState(), NET_RACE_LOBBY);
  EXPECT_FALSE(host.session->IsRaceRunning());
  // Chat works again in the lobby.
  bravo.session->SendChat("again?");
  ASSERT_TRUE(PumpUntil([&] { return alpha.hooks.chats.size() == 1; }));
}

// Two races in a row from the lobby, as the game runs them: the host returns to the lobby when
// it leaves its race, each client leaves its own race (its race state then ends), gets ready
// again, and the second race starts, synchronises and shares its results like the first.
TEST_F(SessionTest, ASecondRaceFromTheLobbyRunsLikeTheFirst) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  ASSERT_TRUE(PumpUntil([&] { return alpha.session->FindPeer(0) != nullptr; }));
  for (int race = 1; race <= 2; ++race) {
    SCOPED_TRACE(race);
    NetCarChoice ready = Choice("alpha", 0, true);
    alpha.session->SetOwnCarChoice(ready);
    ASSERT_TRUE(PumpUntil([&] { return host.session->AllClientsReady(); }));
    ASSERT_TRUE(host.session->StartRace(uint8_t(race)));
    ASSERT_TRUE(PumpUntil([&] { return alpha.hooks.setups.size() == size_t(race); }));
    EXPECT_EQ(alpha.hooks.setups.back().weather, race);
    alpha.session->RaceLoaded();
    host.session->RaceLoaded();
    ASSERT_TRUE(PumpUntil([&] {
      return alpha.session->GetRaceState() == NET_RACE_START_SENT &&
             host.session->GetRaceState() == NET_RACE_START_SENT;
    }));
    host.session->RacingStarted();
    alpha.session->RacingStarted();
    alpha.session->OwnPlayerFinished(1);
    host.session->OwnPlayerFinished(2);
    ASSERT_TRUE(PumpUntil([&] { return host.session->GetFinishedCount() == 2; }));
    host.hooks.trackPhase = 4;
    host.hooks.results = {{0, 1, 100, 2, 9}, {1, 1, 90, 1, 9}};
    ASSERT_TRUE(PumpUntil([&] { return alpha.hooks.resultsDone == race; }));
    host.hooks.trackPhase = 0;
    // The host leaves its race; the client's race is told, then the client leaves its own.
    host.session->ReturnToLobby();
    ASSERT_TRUE(PumpUntil([&] { return alpha.session->GetRaceState() == NET_RACE_LOBBY; }));
    EXPECT_FALSE(alpha.session->GetOwnChoice().ready);  // ready again for the next race
    alpha.session->RaceEnded();
    EXPECT_FALSE(alpha.session->IsRaceRunning());
    EXPECT_FALSE(host.session->IsRaceRunning());
    EXPECT_FALSE(host.session->AllClientsReady());
  }
  EXPECT_EQ(host.hooks.setups.size(), 2u);
  EXPECT_EQ(alpha.hooks.received.size(), 4u);  // both races' two entries
}

// The test plays the client over a raw framed connection to time the ping answers exactly.
TEST_F(SessionTest, ClockOffsetIsHalfTheMeanRoundTripOfAnswersThreeToTen) {
  Member& host = AddHost();
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, m_tcpPort);
  VQProtocolLayer* raw = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_CLIENT);
  ASSERT_NE(raw, nullptr);
  ASSERT_TRUE(raw->Start());
  uint8_t buffer[NET_MESSAGE_MAX];
  // Receives the next message of the given type, updating the host meanwhile.
  auto next = [&](uint8_t type, NetMessage* out) {
    return PumpUntil([&] {
      int32_t n = raw->Receive(buffer, sizeof(buffer));
      return n > 0 && NetMessage_Parse(buffer, uint32_t(n), out) && out->type == type;
    });
  };
  auto send = [&](uint32_t n) { ASSERT_GT(raw->Send(buffer, int32_t(n)), 0); };
  NetMessage m;
  ASSERT_TRUE(next(NETMSG_WELCOME, &m));
  ASSERT_TRUE(host.session->StartRace(0));
  ASSERT_TRUE(next(NETMSG_RACE_STATE, &m));
  host.session->RaceLoaded();
  send(NetWrite_Empty(buffer, NETMSG_SYNC_REQUEST));
  send(NetWrite_Empty(buffer, NETMSG_RACE_LOADED));
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(next(NETMSG_CLOCK_PING, &m)) << i;
    // Two slow answers first (not counted), then eight of 0.2 s.
    host.hooks.raceTime += i < 2 ? 1.0f : 0.2f;
    send(NetWrite_PingAnswer(buffer, 0.0f));
  }
  ASSERT_TRUE(next(NETMSG_CLOCK_ANSWER, &m));
  EXPECT_NEAR(m.offset, 0.1f, 1e-5);
  EXPECT_EQ(m.time, host.hooks.raceTime);
  EXPECT_NEAR(host.session->FindPeer(1)->clockOffset, 0.1f, 1e-5);
  // Synchronised and loaded: the start goes out.
  ASSERT_TRUE(next(NETMSG_RACE_STATE, &m));
  EXPECT_EQ(m.raceState, NET_RACE_START_SENT);
  // No eleventh ping.
  PumpRounds(5);
  int32_t n;
  while ((n = raw->Receive(buffer, sizeof(buffer))) > 0) {
    ASSERT_TRUE(NetMessage_Parse(buffer, uint32_t(n), &m));
    EXPECT_NE(m.type, NETMSG_CLOCK_PING);
  }
  m_device.DeleteLayer(raw);
}

// The test plays the host over a raw framed server and a raw datagram socket.
class RawHostTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, 0);
    m_server = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_SERVER);
    ASSERT_TRUE(m_server && m_server->Start());
    m_udp = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
    ASSERT_TRUE(m_udp && m_udp->Start());
    m_tcpPort = m_server->GetLocalPort();
    m_hostUdpPort = m_udp->GetLocalPort();
  }
  // A client session, welcomed as `id` on its channel.
  Member& Welcome(uint8_t id) {
    Member& c = Add();
    EXPECT_TRUE(c.session->Join(kLoop, Choice("client")));
    VQNetAddress* record = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (record = m_server->Accept()) != nullptr; }));
    m_channel = int32_t(record ? record->m_channel : 0);
    Send(NetWrite_Welcome(m_buffer, uint8_t(m_channel), id));
    EXPECT_TRUE(PumpUntil([&] { return c.session->IsConnected(); }));
    return c;
  }
  void Send(uint32_t n) {
    ASSERT_GT(m_server->SendToClient(m_buffer, int32_t(n), m_channel), 0);
    m_server->Flush();
  }
  void SendRaw(const std::vector<uint8_t>& bytes) {
    ASSERT_GT(m_server->SendToClient(bytes.data(), int32_t(bytes.size()), m_channel), 0);
    m_server->Flush();
  }
  void SendDatagram(const Member& c, uint32_t n) {
    VQNetAddress to = VQnet_MakeAddress(127, 0, 0, 1, c.session->GetUdpPort());
    ASSERT_GT(m_udp->SendTo(m_buffer, int32_t(n), &to), 0);
  }
  void StartRace(uint32_t players) {
    NetRaceSetup setup;
    setup.playerCount = uint8_t(players);
    for (uint32_t i = 0; i < players; ++i) setup.startSlots[i] = uint8_t(i);
    Send(NetWrite_RaceSetup(m_buffer, setup));
  }

  VQProtocolLayer* m_server = nullptr;
  VQProtocolLayer* m_udp = nullptr;
  int32_t m_channel = 0;
  uint8_t m_buffer[NET_MESSAGE_MAX];
};

TEST_F(RawHostTest, ResultsOfUnknownIdsAreIgnoredAndMisSizedResultsDropped) {
  Member& c = Welcome(1);
  NetCarChoice other = Choice("other");
  other.playerId = 2;
  Send(NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, other));
  StartRace(3);
  ASSERT_TRUE(PumpUntil([&] { return c.session->IsRaceRunning(); }));
  // Message 11 whose length is no whole number of entries: dropped, not read past.
  NetResultEntry e[2] = {{1, 9, 9, 9, 9}, {2, 9, 9, 9, 9}};
  std::vector<uint8_t> bad(m_buffer, m_buffer + NetWrite_Results(m_buffer, e, 2));
  bad.resize(bad.size() - 3);
  SendRaw(bad);
  // Then good results: an unknown id (5), a known one (2) and the own (1).
  NetResultEntry good[3] = {{5, 1, 111, 1, 0}, {2, 2, 222, 2, 0}, {1, 3, 333, 3, 0}};
  Send(NetWrite_Results(m_buffer, good, 3));
  ASSERT_TRUE(PumpUntil([&] { return c.hooks.resultsDone == 1; }));
  ASSERT_EQ(c.hooks.received.size(), 2u);
  EXPECT_EQ(c.hooks.received[0].first, 2);
  EXPECT_EQ(c.hooks.received[0].second.wordA, 222u);
  EXPECT_EQ(c.hooks.received[1].first, -1);
  EXPECT_EQ(c.hooks.received[1].second.wordA, 333u);
  EXPECT_EQ(c.session->FindPeer(2)->resultByte, 2);
  EXPECT_GE(c.session->GetTraffic().droppedMessages, 1u);
}

TEST_F(RawHostTest, RaceClockCorrectsOnlyBeyondTheToleranceAndMessagesAtTheWrongMomentAreDropped) {
  Member& c = Welcome(1);
  // A race clock outside a race is dropped.
  SendDatagram(c, NetWrite_RaceClock(m_buffer, 50.0f));
  PumpRounds(10);
  EXPECT_TRUE(c.hooks.setTimes.empty());
  StartRace(2);
  ASSERT_TRUE(PumpUntil([&] { return c.session->IsRaceRunning(); }));
  // The clock answer sets host time + offset.
  Send(NetWrite_ClockAnswer(m_buffer, 10.0f, 0.05f));
  ASSERT_TRUE(PumpUntil([&] { return c.hooks.setTimes.size() == 1; }));
  EXPECT_FLOAT_EQ(c.hooks.raceTime, 10.05f);
  EXPECT_FLOAT_EQ(c.session->GetOwnClockOffset(), 0.05f);
  // 0.09 s away: left alone; 0.2 s away: set to the host's time + offset.
  SendDatagram(c, NetWrite_RaceClock(m_buffer, 10.09f));
  SendDatagram(c, NetWrite_RaceClock(m_buffer, 10.2f));
  ASSERT_TRUE(PumpUntil([&] { return c.hooks.setTimes.size() == 2; }));
  EXPECT_FLOAT_EQ(c.hooks.raceTime, 10.25f);
  // Lobby-only messages are dropped in a race; a race clock by TCP is dropped too.
  Send(NetWrite_Chat(m_buffer, "not now"));
  Send(NetWrite_RaceClock(m_buffer, 99.0f));
  PumpRounds(10);
  EXPECT_TRUE(c.hooks.chats.empty());
  EXPECT_EQ(c.hooks.setTimes.size(), 2u);
}

TEST_F(RawHostTest, AClientRenumbersWhenAPlayerLeaves) {
  Member& c = Welcome(2);
  for (uint8_t id : {0, 1, 3}) {
    NetCarChoice other = Choice(id == 1 ? "one" : id == 3 ? "three" : "zero");
    other.playerId = id;
    Send(NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, other));
  }
  // A car choice that claims the client's own id changes nothing.
  NetCarChoice own = Choice("impostor");
  own.playerId = 2;
  Send(NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, own));
  ASSERT_TRUE(PumpUntil([&] { return c.session->GetPeerCount() == 3; }));
  Send(NetWrite_PlayerLeft(m_buffer, 1, NET_LEFT_DROPPED));
  ASSERT_TRUE(PumpUntil([&] { return c.session->GetPeerCount() == 2; }));
  EXPECT_EQ(c.hooks.left, std::vector<uint8_t>{1});
  EXPECT_EQ(c.session->GetOwnId(), 1);
  ASSERT_NE(c.session->FindPeer(2), nullptr);
  EXPECT_STREQ(c.session->FindPeer(2)->choice.name, "three");
  EXPECT_EQ(c.session->FindPeer(3), nullptr);
  // The host leaving ends the game.
  Send(NetWrite_PlayerLeft(m_buffer, 0, NET_LEFT_HOST));
  ASSERT_TRUE(PumpUntil([&] { return !c.hooks.closed.empty(); }));
  EXPECT_EQ(c.hooks.closed[0], NET_CLOSED_HOST_LEFT);
}

// ---- Leaving, dropping, time-outs.

TEST_F(SessionTest, AKilledClientIsDroppedAndTheOthersRenumber) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  Member& bravo = Join("bravo");
  ASSERT_TRUE(PumpUntil(
      [&] { return bravo.session->FindPeer(1) != nullptr && host.hooks.carChoices == 2; }));
  EXPECT_EQ(host.session->FindPeer(2)->lobbySlot, 1);
  alpha.session->Close();  // its sockets close as a killed process's do
  ASSERT_TRUE(PumpUntil(
      [&] { return host.session->GetPeerCount() == 1 && bravo.session->GetOwnId() == 1; }));
  EXPECT_EQ(host.hooks.left, std::vector<uint8_t>{1});
  EXPECT_EQ(bravo.hooks.left, std::vector<uint8_t>{1});
  EXPECT_STREQ(host.session->FindPeer(1)->choice.name, "bravo");
  EXPECT_EQ(host.session->FindPeer(1)->lobbySlot, 0);  // moved up into the freed slot
  // The renumbered client still talks to the host under its new id.
  bravo.session->SetOwnCarChoice(Choice("bravo", 5, true));
  ASSERT_TRUE(PumpUntil([&] { return host.session->FindPeer(1)->choice.classIndex == 5; }));
}

TEST_F(SessionTest, ASilentClientIsDroppedAfterTheLimitWhileKeepAlivesHoldTheOthers) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  Member& bravo = Join("bravo");
  ASSERT_TRUE(PumpUntil([&] { return bravo.session->FindPeer(1) != nullptr; }));
  alpha.frozen = true;  // keeps its connection, sends nothing
  const uint32_t start = m_now;
  // Every 3 s bravo (and the host) send a keep-alive; after 30 s alpha is still there.
  while (m_now - start < 30) {
    m_now += 3;
    const uint64_t sent = bravo.session->GetTraffic().sentMessages;
    ASSERT_TRUE(PumpUntil([&] { return bravo.session->GetTraffic().sentMessages > sent; }));
    PumpRounds(3);
  }
  EXPECT_EQ(host.session->GetPeerCount(), 2u);
  m_now += 1;
  ASSERT_TRUE(PumpUntil([&] { return host.session->GetPeerCount() == 1; }));
  EXPECT_EQ(host.hooks.left, std::vector<uint8_t>{1});
  ASSERT_TRUE(PumpUntil([&] { return bravo.hooks.left.size() == 1; }));
  EXPECT_STREQ(host.session->FindPeer(1)->choice.name, "bravo");
}

TEST_F(SessionTest, LeavingDrainsWithoutBlockingAndTheHostLeavingEndsTheGame) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  Member& bravo = Join("bravo");
  ASSERT_TRUE(PumpUntil([&] { return host.session->GetPeerCount() == 2; }));
  alpha.session->Leave();
  EXPECT_EQ(alpha.session->GetPhase(), NET_PHASE_DRAINING);  // returned at once
  ASSERT_TRUE(
      PumpUntil([&] { return !alpha.hooks.closed.empty() && host.session->GetPeerCount() == 1; }));
  EXPECT_EQ(alpha.hooks.closed[0], NET_CLOSED_LEFT);
  host.session->Leave();
  ASSERT_TRUE(PumpUntil([&] { return !bravo.hooks.closed.empty() && !host.hooks.closed.empty(); }));
  EXPECT_EQ(bravo.hooks.closed[0], NET_CLOSED_HOST_LEFT);
  EXPECT_EQ(host.hooks.closed[0], NET_CLOSED_LEFT);
}

TEST_F(SessionTest, JoiningConnectsInTheBackgroundAndFailsInALaterUpdate) {
  // Nobody listens on the port: Join returns at once and an update reports the failure.
  Member& gone = AddHost();
  gone.session->Close();
  gone.frozen = true;
  Member& refused = Add();
  ASSERT_TRUE(refused.session->Join(kLoop, Choice("refused"))) << g_VQerror;
  EXPECT_EQ(refused.session->GetPhase(), NET_PHASE_JOINING);
  ASSERT_TRUE(PumpUntil([&] { return !refused.hooks.closed.empty(); }));
  EXPECT_EQ(refused.hooks.closed[0], NET_CLOSED_CONNECT_FAILED);

  // A listener that never welcomes: the client gives up after the join limit.
  VQNetAddress any = VQnet_MakeAddress(127, 0, 0, 1, 0);
  VQProtocolLayer* mute = m_device.CreateLayer(&any, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_SERVER);
  ASSERT_TRUE(mute && mute->Start());
  Member& waiting = Add();
  waiting.session->MutableConfig().tcpPort = mute->GetLocalPort();
  ASSERT_TRUE(waiting.session->Join(kLoop, Choice("waiting"))) << g_VQerror;
  PumpRounds(20);
  EXPECT_EQ(waiting.session->GetPhase(), NET_PHASE_JOINING);
  m_now += NET_JOIN_SECONDS;
  PumpRounds(2);
  EXPECT_TRUE(waiting.hooks.closed.empty());
  m_now += 1;
  PumpRounds(1);
  ASSERT_EQ(waiting.hooks.closed.size(), 1u);
  EXPECT_EQ(waiting.hooks.closed[0], NET_CLOSED_CONNECT_FAILED);
  m_device.DeleteLayer(mute);
}

TEST_F(SessionTest, SearchIgnoresBadBeaconsAndEndsAfterItsLimit) {
  Member& c = Add();
  ASSERT_TRUE(c.session->Search(Choice("searcher")));
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, 0);
  VQProtocolLayer* udp = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
  ASSERT_TRUE(udp && udp->Start());
  VQNetAddress to = VQnet_MakeAddress(127, 0, 0, 1, c.session->GetUdpPort());
  uint8_t beacon[NET_MESSAGE_MAX];
  uint32_t n = NetWrite_Beacon(beacon, kLoop);
  beacon[3] = 'Y';  // wrong magic
  ASSERT_GT(udp->SendTo(beacon, int32_t(n), &to), 0);
  beacon[3] = 'X';
  ASSERT_GT(udp->SendTo(beacon, int32_t(n + 1), &to), 0);  // right magic, one byte long
  PumpRounds(20);
  EXPECT_EQ(c.session->GetPhase(), NET_PHASE_SEARCHING);
  m_now += 30;
  PumpRounds(2);
  EXPECT_EQ(c.session->GetPhase(), NET_PHASE_SEARCHING);
  m_now += 1;
  PumpRounds(1);
  ASSERT_EQ(c.hooks.closed.size(), 1u);
  EXPECT_EQ(c.hooks.closed[0], NET_CLOSED_SEARCH_TIMED_OUT);
  m_device.DeleteLayer(udp);
}

}  // namespace
}  // namespace netgame

namespace netgame {
namespace {

// The test plays a second client over a raw framed connection.
TEST_F(SessionTest, TheHostDropsWhatAClientSaysForAnotherPlayerAndOversizedMessages) {
  Member& host = AddHost();
  Join("alpha");
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, m_tcpPort);
  VQProtocolLayer* raw = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_CLIENT);
  ASSERT_TRUE(raw && raw->Start());
  ASSERT_TRUE(PumpUntil([&] { return host.session->GetPeerCount() == 2; }));
  uint8_t buffer[NET_MESSAGE_MAX];
  auto send = [&](uint32_t n) { ASSERT_GT(raw->Send(buffer, int32_t(n)), 0); };
  const int choicesBefore = host.hooks.carChoices;
  NetCarChoice fake = Choice("impostor");
  fake.playerId = 1;  // alpha's id; this connection is player 2
  send(NetWrite_CarChoice(buffer, NETMSG_CAR_CHOICE, fake));
  // A message longer than any of the game's: read whole and dropped.
  std::vector<uint8_t> huge(1000, 'z');
  huge[0] = NETMSG_CHAT;
  ASSERT_GT(raw->Send(huge.data(), int32_t(huge.size())), 0);
  send(NetWrite_Chat(buffer, "still here"));
  ASSERT_TRUE(PumpUntil([&] { return host.hooks.chats.size() == 1; }));
  EXPECT_EQ(host.hooks.chats[0], "still here");
  EXPECT_EQ(host.hooks.carChoices, choicesBefore);
  EXPECT_STREQ(host.session->FindPeer(1)->choice.name, "alpha");
  EXPECT_EQ(host.session->GetPeerCount(), 2u);
  EXPECT_GE(host.session->GetTraffic().droppedMessages, 2u);
  m_device.DeleteLayer(raw);
}

}  // namespace
}  // namespace netgame

namespace netgame {
namespace {

TEST_F(SessionTest, ASearchingClientJoinsWhereTheBeaconCameFromNotWhereItPoints) {
  Member& host = AddHost();
  Member& c = Add();
  ASSERT_TRUE(c.session->Search(Choice("searcher")));
  // A beacon from 127.0.0.1 that names another machine.
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, 0);
  VQProtocolLayer* udp = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
  ASSERT_TRUE(udp && udp->Start());
  VQNetAddress to = VQnet_MakeAddress(127, 0, 0, 1, c.session->GetUdpPort());
  uint8_t beacon[NET_MESSAGE_MAX];
  const uint8_t elsewhere[4] = {10, 9, 9, 9};
  ASSERT_GT(udp->SendTo(beacon, int32_t(NetWrite_Beacon(beacon, elsewhere)), &to), 0);
  ASSERT_TRUE(PumpUntil([&] { return c.session->IsConnected(); }));
  EXPECT_EQ(c.session->GetHostAddress()[0], 127);
  EXPECT_EQ(host.session->GetPeerCount(), 1u);
  m_device.DeleteLayer(udp);
}

}  // namespace
}  // namespace netgame
