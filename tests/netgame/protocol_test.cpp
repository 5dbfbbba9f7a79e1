// The network play messages: every writer read back by the checked reader, and a table of
// malformed messages that the reader refuses as a whole.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "QVX/shell/NetProtocol.h"

namespace {

std::vector<uint8_t> Bytes(const std::function<uint32_t(uint8_t*)>& write) {
  std::vector<uint8_t> out(NET_MESSAGE_MAX, 0xcd);
  out.resize(write(out.data()));
  return out;
}

NetMessage Parse(const std::vector<uint8_t>& bytes) {
  NetMessage m;
  EXPECT_TRUE(NetMessage_Parse(bytes.data(), bytes.size(), &m))
      << "type " << int(bytes.empty() ? -1 : bytes[0]);
  return m;
}

NetCarState SampleState() {
  NetCarState s;
  s.playerId = 3;
  s.raceTime = 12.5f;
  for (int i = 0; i < 3; ++i) {
    s.position[i] = 1.0f + float(i);
    s.linearVelocity[i] = -2.0f * float(i);
    s.angularVelocity[i] = 0.25f * float(i);
  }
  s.orientation[0] = 0.5f;
  s.orientation[3] = 0.866f;
  s.inputA = 0.75f;
  s.gear = 3.0f;
  s.inputB = -0.5f;
  s.horn = true;
  return s;
}

TEST(NetProtocol, EveryWriterReadsBack) {
  // Fixed types and their lengths.
  struct Case {
    uint8_t type;
    uint32_t length;
    std::vector<uint8_t> bytes;
  };
  NetCarChoice choice;
  choice.playerId = 2;
  choice.classIndex = 4;
  choice.skinIndex = 5;
  choice.carNumber = 17;
  choice.ready = true;
  std::strcpy(choice.name, "Racer");
  NetRescue rescue;
  rescue.playerId = 6;
  rescue.first[1] = 2.5f;
  rescue.second[2] = -1.0f;
  rescue.wordA = -7;
  rescue.wordB = 123456;
  NetLobbySettings lobby{1, 2, 3, 4, 5};
  const uint8_t address[4] = {127, 0, 0, 1};
  const std::vector<Case> cases = {
      {NETMSG_WELCOME, 3, Bytes([](uint8_t* o) { return NetWrite_Welcome(o, 9, 4); })},
      {NETMSG_REFUSAL, 2,
       Bytes([](uint8_t* o) { return NetWrite_Refusal(o, NET_REFUSED_RACE_RUNNING); })},
      {NETMSG_HOST_CAR_CHOICE, 22,
       Bytes([&](uint8_t* o) { return NetWrite_CarChoice(o, NETMSG_HOST_CAR_CHOICE, choice); })},
      {NETMSG_CAR_CHOICE, 22,
       Bytes([&](uint8_t* o) { return NetWrite_CarChoice(o, NETMSG_CAR_CHOICE, choice); })},
      {NETMSG_HOST_CAR_STATE, 71, Bytes([](uint8_t* o) {
         return NetWrite_CarState(o, NETMSG_HOST_CAR_STATE, SampleState());
       })},
      {NETMSG_CAR_STATE, 71,
       Bytes([](uint8_t* o) { return NetWrite_CarState(o, NETMSG_CAR_STATE, SampleState()); })},
      {NETMSG_RACE_CLOCK, 5, Bytes([](uint8_t* o) { return NetWrite_RaceClock(o, 42.25f); })},
      {NETMSG_PLAYER_LEFT, 3,
       Bytes([](uint8_t* o) { return NetWrite_PlayerLeft(o, 5, NET_LEFT_HOST); })},
      {NETMSG_LOBBY_SETTINGS, 6,
       Bytes([&](uint8_t* o) { return NetWrite_LobbySettings(o, lobby); })},
      {NETMSG_CLOCK_PING, 1,
       Bytes([](uint8_t* o) { return NetWrite_Empty(o, NETMSG_CLOCK_PING); })},
      {NETMSG_CLOCK_ANSWER, 9,
       Bytes([](uint8_t* o) { return NetWrite_ClockAnswer(o, 8.5f, 0.03f); })},
      {NETMSG_HOST_RESCUE, 34,
       Bytes([&](uint8_t* o) { return NetWrite_Rescue(o, NETMSG_HOST_RESCUE, rescue); })},
      {NETMSG_PLAYER_OFFSET, 6,
       Bytes([](uint8_t* o) { return NetWrite_PlayerOffset(o, 7, 0.125f); })},
      {NETMSG_BEACON, 8, Bytes([&](uint8_t* o) { return NetWrite_Beacon(o, address); })},
      {NETMSG_SYNC_REQUEST, 1,
       Bytes([](uint8_t* o) { return NetWrite_Empty(o, NETMSG_SYNC_REQUEST); })},
      {NETMSG_RACE_LOADED, 1,
       Bytes([](uint8_t* o) { return NetWrite_Empty(o, NETMSG_RACE_LOADED); })},
      {NETMSG_CLIENT_LEAVES, 2, Bytes([](uint8_t* o) { return NetWrite_ClientLeaves(o, 3); })},
      {NETMSG_PING_ANSWER, 5, Bytes([](uint8_t* o) { return NetWrite_PingAnswer(o, 1.5f); })},
      {NETMSG_RESCUE, 34,
       Bytes([&](uint8_t* o) { return NetWrite_Rescue(o, NETMSG_RESCUE, rescue); })},
      {NETMSG_FINISHED, 2, Bytes([](uint8_t* o) { return NetWrite_Finished(o, 200); })},
      {NETMSG_KEEP_ALIVE, 1,
       Bytes([](uint8_t* o) { return NetWrite_Empty(o, NETMSG_KEEP_ALIVE); })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.type));
    ASSERT_EQ(c.bytes.size(), c.length);
    EXPECT_EQ(c.bytes[0], c.type);
    NetMessage m = Parse(c.bytes);
    EXPECT_EQ(m.type, c.type);
    EXPECT_EQ(m.length, c.length);
  }
  // Field by field for the layouts with content.
  NetMessage m = Parse(cases[0].bytes);
  EXPECT_EQ(m.channel, 9);
  EXPECT_EQ(m.playerId, 4);
  EXPECT_EQ(Parse(cases[1].bytes).reason, NET_REFUSED_RACE_RUNNING);
  m = Parse(cases[2].bytes);
  EXPECT_EQ(m.carChoice.playerId, 2);
  EXPECT_EQ(m.carChoice.classIndex, 4);
  EXPECT_EQ(m.carChoice.skinIndex, 5);
  EXPECT_EQ(m.carChoice.carNumber, 17);
  EXPECT_TRUE(m.carChoice.ready);
  EXPECT_STREQ(m.carChoice.name, "Racer");
  m = Parse(cases[4].bytes);
  const NetCarState s = SampleState();
  EXPECT_EQ(m.carState.playerId, s.playerId);
  EXPECT_EQ(m.carState.raceTime, s.raceTime);
  EXPECT_EQ(0, std::memcmp(m.carState.position, s.position, sizeof(s.position)));
  EXPECT_EQ(0, std::memcmp(m.carState.orientation, s.orientation, sizeof(s.orientation)));
  EXPECT_EQ(0, std::memcmp(m.carState.linearVelocity, s.linearVelocity, sizeof(s.linearVelocity)));
  EXPECT_EQ(0,
            std::memcmp(m.carState.angularVelocity, s.angularVelocity, sizeof(s.angularVelocity)));
  EXPECT_EQ(m.carState.inputA, s.inputA);
  EXPECT_EQ(m.carState.gear, s.gear);
  EXPECT_EQ(m.carState.inputB, s.inputB);
  EXPECT_TRUE(m.carState.horn);
  EXPECT_EQ(cases[4].bytes[70], 1);
  EXPECT_EQ(Parse(cases[6].bytes).time, 42.25f);
  m = Parse(cases[7].bytes);
  EXPECT_EQ(m.playerId, 5);
  EXPECT_EQ(m.reason, NET_LEFT_HOST);
  m = Parse(cases[8].bytes);
  EXPECT_EQ(m.lobby.classIndex, 1);
  EXPECT_EQ(m.lobby.weather, 5);
  m = Parse(cases[10].bytes);
  EXPECT_EQ(m.time, 8.5f);
  EXPECT_EQ(m.offset, 0.03f);
  m = Parse(cases[11].bytes);
  EXPECT_EQ(m.rescue.playerId, 6);
  EXPECT_EQ(m.rescue.first[1], 2.5f);
  EXPECT_EQ(m.rescue.second[2], -1.0f);
  EXPECT_EQ(m.rescue.wordA, -7);
  EXPECT_EQ(m.rescue.wordB, 123456);
  m = Parse(cases[12].bytes);
  EXPECT_EQ(m.playerId, 7);
  EXPECT_EQ(m.time, 0.125f);
  m = Parse(cases[13].bytes);
  EXPECT_EQ(std::vector<uint8_t>(m.address, m.address + 4),
            std::vector<uint8_t>(address, address + 4));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cases[13].bytes.data() + 1), 3), "QVX");
  EXPECT_EQ(Parse(cases[19].bytes).resultByte, 200);
}

TEST(NetProtocol, VariableLengthMessagesReadBack) {
  // Race states: short, with the start moment, and the set-up with one slot per player.
  for (uint8_t state : {NET_RACE_SYNCING, NET_RACE_RESULTS, NET_RACE_LOBBY}) {
    NetMessage m = Parse(Bytes([&](uint8_t* o) { return NetWrite_RaceState(o, state); }));
    EXPECT_EQ(m.length, 2u);
    EXPECT_EQ(m.raceState, state);
  }
  for (uint8_t state : {NET_RACE_START_SENT, NET_RACE_RACING}) {
    NetMessage m = Parse(Bytes([&](uint8_t* o) { return NetWrite_RaceState(o, state, 7.5f); }));
    EXPECT_EQ(m.length, 6u);
    EXPECT_EQ(m.time, 7.5f);
  }
  NetRaceSetup setup;
  setup.weather = 2;
  setup.randomValue = 100;
  setup.playerCount = 3;
  setup.startSlots[0] = 2;
  setup.startSlots[1] = 0;
  setup.startSlots[2] = 1;
  NetMessage m = Parse(Bytes([&](uint8_t* o) { return NetWrite_RaceSetup(o, setup); }));
  EXPECT_EQ(m.length, 4u + 3u);  // four bytes, then one slot per player
  EXPECT_EQ(m.setup.playerCount, 3);
  EXPECT_EQ(m.setup.weather, 2);
  EXPECT_EQ(m.setup.randomValue, 100);
  EXPECT_EQ(m.setup.startSlots[0], 2);
  EXPECT_EQ(m.setup.startSlots[2], 1);

  NetResultEntry entries[NET_MAX_PLAYERS];
  for (uint32_t i = 0; i < NET_MAX_PLAYERS; ++i)
    entries[i] = {i, 10 + i, 20 + i, 30 + i, 0xfffffff0u + i};
  for (uint32_t count : {0u, 1u, 8u}) {
    std::vector<uint8_t> bytes =
        Bytes([&](uint8_t* o) { return NetWrite_Results(o, entries, count); });
    EXPECT_EQ(bytes.size(), 1 + 20 * count);
    m = Parse(bytes);
    ASSERT_EQ(m.resultCount, count);
    for (uint32_t i = 0; i < count; ++i) {
      EXPECT_EQ(m.results[i].playerId, i);
      EXPECT_EQ(m.results[i].finishWord, 10 + i);
      EXPECT_EQ(m.results[i].wordA, 20 + i);
      EXPECT_EQ(m.results[i].resultValue, 30 + i);
      EXPECT_EQ(m.results[i].wordB, 0xfffffff0u + i);
    }
  }
  // More entries than a game holds are not written.
  EXPECT_EQ(Bytes([&](uint8_t* o) { return NetWrite_Results(o, entries, 200); }).size(),
            1 + 20 * NET_MAX_PLAYERS);

  m = Parse(Bytes([](uint8_t* o) { return NetWrite_Chat(o, "hello all"); }));
  EXPECT_STREQ(m.chat, "hello all");
  EXPECT_EQ(m.length, 11u);
  m = Parse(Bytes([](uint8_t* o) { return NetWrite_Chat(o, nullptr); }));
  EXPECT_STREQ(m.chat, "");
}

TEST(NetProtocol, NamesAndChatAreCutAndTerminated) {
  // A chat text of 100 characters goes out as 77 and its terminator.
  const std::string longText(100, 'x');
  std::vector<uint8_t> chat = Bytes([&](uint8_t* o) { return NetWrite_Chat(o, longText.c_str()); });
  EXPECT_EQ(chat.size(), 1u + 77u + 1u);
  EXPECT_EQ(chat.back(), 0);
  // A received chat of the longest length without any terminator: cut to 77 and terminated.
  std::vector<uint8_t> raw(NETLEN_CHAT_MAX, 'y');
  raw[0] = NETMSG_CHAT;
  NetMessage m = Parse(raw);
  EXPECT_EQ(std::strlen(m.chat), NET_CHAT_MAX_CHARS);
  // A car choice whose 16 name bytes have no terminator: 15 characters.
  NetCarChoice c;
  std::vector<uint8_t> bytes =
      Bytes([&](uint8_t* o) { return NetWrite_CarChoice(o, NETMSG_CAR_CHOICE, c); });
  std::memset(bytes.data() + 6, 'n', 16);
  m = Parse(bytes);
  EXPECT_EQ(std::string(m.carChoice.name), std::string(15, 'n'));
  // The writer cuts a name that fills its field.
  std::memset(c.name, 'k', sizeof(c.name));
  bytes = Bytes([&](uint8_t* o) { return NetWrite_CarChoice(o, NETMSG_CAR_CHOICE, c); });
  EXPECT_EQ(bytes[21], 0);
}

TEST(NetProtocol, MalformedMessagesAreRefused) {
  auto with = [](std::vector<uint8_t> bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
  };
  auto resized = [](std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size, 0);
    return bytes;
  };
  const auto welcome = Bytes([](uint8_t* o) { return NetWrite_Welcome(o, 1, 1); });
  const auto choice =
      Bytes([](uint8_t* o) { return NetWrite_CarChoice(o, NETMSG_CAR_CHOICE, NetCarChoice{}); });
  const auto state =
      Bytes([](uint8_t* o) { return NetWrite_CarState(o, NETMSG_CAR_STATE, SampleState()); });
  const uint8_t address[4] = {1, 2, 3, 4};
  const auto beacon = Bytes([&](uint8_t* o) { return NetWrite_Beacon(o, address); });
  NetResultEntry entries[2];
  const auto results = Bytes([&](uint8_t* o) { return NetWrite_Results(o, entries, 2); });
  NetRaceSetup setup;
  setup.playerCount = 2;
  setup.startSlots[1] = 1;
  const auto setupBytes = Bytes([&](uint8_t* o) { return NetWrite_RaceSetup(o, setup); });
  std::vector<uint8_t> nanState = state;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::memcpy(nanState.data() + 10, &nan, 4);
  std::vector<uint8_t> infClock = Bytes([](uint8_t* o) { return NetWrite_RaceClock(o, 0); });
  const float inf = std::numeric_limits<float>::infinity();
  std::memcpy(infClock.data() + 1, &inf, 4);

  struct Bad {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Bad> bad = {
      {"empty", {}},
      {"unknown type", {24}},
      {"type 255", {255, 0, 0}},
      {"welcome to id 0 (the host's)", with(welcome, 2, 0)},
      {"welcome to id 8", with(welcome, 2, 8)},
      {"car choice of id 8", with(choice, 1, 8)},
      {"car state of id 200", with(state, 1, 200)},
      {"car state with a NaN", nanState},
      {"race clock at infinity", infClock},
      {"beacon with the wrong magic", with(beacon, 2, 'W')},
      {"player left of id 9", {NETMSG_PLAYER_LEFT, 9, 0}},
      {"client leaves of id 8", {NETMSG_CLIENT_LEAVES, 8}},
      {"offset of id 8", {NETMSG_PLAYER_OFFSET, 8, 0, 0, 0, 0}},
      {"results one byte long", resized(results, results.size() + 1)},
      {"results one byte short", resized(results, results.size() - 1)},
      {"results of nine players", resized(results, 1 + 9 * 20)},
      {"race state 0", {NETMSG_RACE_STATE, 0}},
      {"race state 7", {NETMSG_RACE_STATE, 7}},
      {"race state without a state", {NETMSG_RACE_STATE}},
      {"race state 5 with a tail", {NETMSG_RACE_STATE, 5, 0}},
      {"race state 3 without the moment", {NETMSG_RACE_STATE, 3}},
      {"set-up without players", {NETMSG_RACE_STATE, 1, 0, 0}},
      {"set-up of nine players", resized(setupBytes, 4 + 9)},
      {"set-up slot beyond the players", with(setupBytes, 5, 2)},
      {"set-up random value above 100", with(setupBytes, 3, 101)},
      {"chat without text", {NETMSG_CHAT}},
      {"chat longer than 79", std::vector<uint8_t>(80, NETMSG_CHAT)},
  };
  // Every fixed-length type, one byte short and one byte long.
  const std::vector<std::pair<uint8_t, uint32_t>> fixed = {
      {0, 3},  {1, 2},  {2, 22},  {3, 71}, {4, 5},   {5, 3},   {7, 6},
      {8, 1},  {9, 9},  {10, 34}, {12, 6}, {13, 8},  {14, 22}, {15, 71},
      {16, 1}, {17, 1}, {18, 2},  {19, 5}, {20, 34}, {21, 2},  {23, 1}};
  for (const auto& [type, length] : fixed) {
    std::vector<uint8_t> shortOne(length - 1, 1), longOne(length + 1, 1);
    if (!shortOne.empty()) shortOne[0] = type;
    longOne[0] = type;
    if (type == NETMSG_BEACON) std::memcpy(longOne.data() + 1, "QVX", 3);
    bad.push_back({"one byte short", shortOne});
    bad.push_back({"one byte long", longOne});
  }
  for (const Bad& b : bad) {
    NetMessage m;
    EXPECT_FALSE(NetMessage_Parse(b.bytes.data(), b.bytes.size(), &m))
        << b.what << " (type " << (b.bytes.empty() ? -1 : int(b.bytes[0])) << ", " << b.bytes.size()
        << " bytes)";
  }
  // Longer than the receive buffer.
  std::vector<uint8_t> huge(NET_MESSAGE_MAX + 1, NETMSG_CHAT);
  NetMessage m;
  EXPECT_FALSE(NetMessage_Parse(huge.data(), huge.size(), &m));
  EXPECT_FALSE(NetMessage_Parse(nullptr, 3, &m));
}

}  // namespace
