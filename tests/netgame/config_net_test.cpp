// The network keys of Config.ini: ports within 1..65535, and the own and broadcast addresses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QVX/shell/Config.h"

namespace {

GameSettings ParseText(const std::string& text) {
  GameSettings s;
  Config_Parse(text.data(), text.size(), s, nullptr);
  return s;
}

TEST(NetConfig, PortsOutOfRangeKeepThePreviousValue) {
  struct Case {
    const char* text;
    int32_t tcp, udp;
  };
  const Case cases[] = {
      {"tcpport = 3000\nudpport = 3001\n", 3000, 3001},
      {"tcpport = 0\nudpport = 65536\n", 2000, 2001},
      {"tcpport = -5\nudpport = 65535\n", 2000, 65535},
      {"tcpport = 3000\ntcpport = 99999\n", 3000, 2001},
      {"tcpport = x\n", 2000, 2001},
  };
  for (const Case& c : cases) {
    GameSettings s = ParseText(c.text);
    EXPECT_EQ(s.tcpPort, c.tcp) << c.text;
    EXPECT_EQ(s.udpPort, c.udp) << c.text;
  }
}

TEST(NetConfig, AddressesAreDottedIPv4OrNothingAndSurviveASave) {
  GameSettings s = ParseText("netaddress = 127.0.0.1\nbroadcastaddress = 192.168.1.255\n");
  EXPECT_STREQ(s.netAddress, "127.0.0.1");
  EXPECT_STREQ(s.broadcastAddress, "192.168.1.255");
  const std::string text = Config_Format(s, nullptr, nullptr, "1-1", "00:00");
  GameSettings back = ParseText(text);
  EXPECT_STREQ(back.netAddress, "127.0.0.1");
  EXPECT_STREQ(back.broadcastAddress, "192.168.1.255");
  // Not written when unset.
  EXPECT_EQ(Config_Format(GameSettings{}, nullptr, nullptr, "1-1", "00:00").find("address"),
            std::string::npos);

  for (const char* bad : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1.2.3.4x", "1..2.3",
                          "0001.2.3.4", "255.255.255.255255"}) {
    GameSettings b = ParseText(std::string("netaddress = ") + bad + "\n");
    EXPECT_STREQ(b.netAddress, "") << bad;
  }
  uint8_t bytes[4];
  ASSERT_TRUE(Config_ParseAddress("10.20.30.40", bytes));
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[3], 40);
}

}  // namespace

namespace {

TEST(NetConfig, BroadcastPortsAreAListOfPortsThatSurvivesASave) {
  struct Case {
    const char* text;
    std::vector<int32_t> ports;
  };
  const Case cases[] = {
      {"broadcastports = 3101\n", {3101}},
      {"broadcastports = 3101 3201, 3301\n", {3101, 3201, 3301}},
      {"broadcastports = 0 70000 3101\n", {3101}},  // out of range: left out
      {"broadcastports = 1 2 3 4 5 6 7 8 9\n", {1, 2, 3, 4, 5, 6, 7}},
      {"broadcastports = 3101 x 3201\n", {3101}},  // the list ends at what is no number
      {"broadcastports = 3101\nbroadcastports =\n", {}},
  };
  for (const Case& c : cases) {
    GameSettings s = ParseText(c.text);
    ASSERT_EQ(s.broadcastPortCount, c.ports.size()) << c.text;
    for (size_t i = 0; i < c.ports.size(); ++i) EXPECT_EQ(s.broadcastPorts[i], c.ports[i]) << c.text;
    GameSettings back = ParseText(Config_Format(s, nullptr, nullptr, "1-1", "00:00"));
    ASSERT_EQ(back.broadcastPortCount, c.ports.size()) << c.text;
    for (size_t i = 0; i < c.ports.size(); ++i) EXPECT_EQ(back.broadcastPorts[i], c.ports[i]);
  }
  EXPECT_EQ(Config_Format(GameSettings(), nullptr, nullptr, "1-1", "00:00").find("broadcastports"),
            std::string::npos);
}

}  // namespace

namespace {

TEST(NetConfig, TheNetworkRaceLimitIsSecondsWithinADayAndWrittenWhenSet) {
  EXPECT_EQ(ParseText("").netRaceLimit, GameSettings::kDefaultNetRaceLimit);
  EXPECT_EQ(ParseText("netracelimit = 45\n").netRaceLimit, 45);
  EXPECT_EQ(ParseText("netracelimit = 0\n").netRaceLimit, 0);
  EXPECT_EQ(ParseText("netracelimit = -1\n").netRaceLimit, GameSettings::kDefaultNetRaceLimit);
  EXPECT_EQ(ParseText("netracelimit = 90000\n").netRaceLimit, GameSettings::kDefaultNetRaceLimit);
  GameSettings s = ParseText("netracelimit = 45\n");
  EXPECT_EQ(ParseText(Config_Format(s, nullptr, nullptr, "1-1", "00:00")).netRaceLimit, 45);
  EXPECT_EQ(Config_Format(GameSettings(), nullptr, nullptr, "1-1", "00:00").find("netracelimit"),
            std::string::npos);
}

}  // namespace
