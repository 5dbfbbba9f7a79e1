// The Program's network play: hosting and joining through its operations, the pages it asks
// the menus for, the chat lines, and the typed address.
#include <unistd.h>

#include <array>
#include <filesystem>

#include <cmath>
#include "net_session_util.h"

#include "QVX/shell/Program.h"
#include "QVX/shell/ProgramNetwork.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/math/VQVector.h"

namespace fs = std::filesystem;

namespace netgame {
namespace {

// A Program made in a folder of its own (its log lands there), with free loopback ports.
class ProgramNetTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    m_dir = fs::temp_directory_path() /
            ("qvx_net_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir);
    m_old = fs::current_path();
    fs::current_path(m_dir);
    ProgramOptions options;
    options.headless = true;
    m_program = new Program(options);
    m_program->m_config.tcpPort = 0;
    m_program->m_config.udpPort = 0;
    std::strcpy(m_program->m_config.netAddress, "127.0.0.1");
    std::strcpy(m_program->m_config.broadcastAddress, "127.0.0.1");
    std::strcpy(m_program->m_config.player1, "Tester");
  }
  void TearDown() override {
    delete m_program;
    SessionTest::TearDown();
    fs::current_path(m_old);
    fs::remove_all(m_dir);
  }
  bool PumpProgram(const std::function<bool()>& done) {
    return PumpUntil([&] {
      m_program->UpdateNetwork(0.01f);
      return done();
    });
  }

  Program* m_program = nullptr;
  fs::path m_dir, m_old;
};

TEST_F(ProgramNetTest, HostsAGameAndTakesItsChat) {
  m_program->m_isHost = 1;
  int32_t page = -1;
  ASSERT_TRUE(m_program->OpenDatagramLayers(&page));
  ASSERT_TRUE(m_program->OpenGameConnection(&page));
  EXPECT_EQ(page, NETPAGE_LOBBY);
  EXPECT_NE(std::string(m_program->m_connectionText).find("Tester"), std::string::npos);
  EXPECT_NE(std::string(m_program->m_connectionText).find("127.0.0.1"), std::string::npos);
  m_tcpPort = m_program->m_net->GetTcpPort();
  m_hostUdpPort = m_program->m_net->GetUdpPort();
  Member& c = Add();
  ASSERT_TRUE(c.session->Join(std::array<uint8_t, 4>{127, 0, 0, 1}.data(), Choice("guest")));
  ASSERT_TRUE(PumpProgram([&] { return c.session->IsConnected(); }));
  for (const char* line : {"one", "two", "three", "four", "five", "six"}) c.session->SendChat(line);
  ASSERT_TRUE(PumpProgram([&] { return std::strcmp(m_program->m_chatLines[4], "six") == 0; }));
  EXPECT_STREQ(m_program->m_chatLines[0], "two");  // five lines, the oldest gone
  m_program->CloseNetwork();
  ASSERT_TRUE(PumpUntil([&] { return !c.hooks.closed.empty(); }));
  EXPECT_EQ(c.hooks.closed[0], NET_CLOSED_CONNECTION_LOST);
}

TEST_F(ProgramNetTest, JoinsTheTypedAddressAndShowsTheEndOfTheGame) {
  Member& host = AddHost();
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  m_program->m_isHost = 0;
  m_program->m_netSearch = 0;
  int32_t page = -1;
  ASSERT_TRUE(m_program->OpenDatagramLayers(&page));
  ASSERT_TRUE(m_program->OpenGameConnection(&page));
  EXPECT_EQ(page, NETPAGE_JOINING);
  ASSERT_TRUE(PumpProgram([&] { return m_program->m_netPage == NETPAGE_LOBBY; }));
  ASSERT_TRUE(PumpProgram([&] { return host.session->GetPeerCount() == 1; }));
  EXPECT_STREQ(host.session->GetPeer(0).choice.name, "Tester");
  m_program->m_gameMode = 6;
  host.session->Leave();
  ASSERT_TRUE(PumpProgram([&] { return m_program->m_netPage == NETPAGE_GAME_ENDED; }));
  EXPECT_EQ(m_program->m_gameMode, 0);
}

TEST_F(ProgramNetTest, ARefusalAndAFruitlessSearchEachGetTheirPage) {
  AddHost(2);
  Join("first");
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  int32_t page = -1;
  ASSERT_TRUE(m_program->OpenGameConnection(&page));
  ASSERT_TRUE(PumpProgram([&] { return m_program->m_netPage == NETPAGE_REFUSED; }));

  m_program->CloseNetwork();
  m_program->m_networkTimeout = 0;  // the search ends after more than 0 whole seconds
  m_program->m_netSearch = 1;
  m_program->m_netPage = NETPAGE_NONE;
  ASSERT_TRUE(m_program->OpenDatagramLayers(&page));
  EXPECT_EQ(page, NETPAGE_SEARCHING);
  ASSERT_TRUE(PumpProgram([&] { return m_program->m_netPage == NETPAGE_NOBODY_FOUND; }));
}

TEST(NetRemotePose, ThePositionFollowsByDistanceAndTheOrientationByThreeTenths) {
  struct Case {
    float dx;      // the received car this far ahead on x
    float movedX;  // where the drawn car ends
  };
  const Case cases[] = {{0.0f, 0.0f}, {0.2f, 0.1f}, {0.4f, 0.4f}, {1.0f, 1.0f}, {-0.1f, -0.025f}};
  for (const Case& c : cases) {
    NetCarState s;
    s.position[0] = 10.0f + c.dx;
    s.position[1] = 5.0f;
    VQVector p;
    VQQuaternion q;
    Net_BlendRemotePose(VQVector(10.0f, 5.0f, 0.0f), VQQuaternion(), s, &p, &q);
    EXPECT_NEAR(p.x, 10.0f + c.movedX, 1e-5) << c.dx;
    EXPECT_FLOAT_EQ(p.y, 5.0f);
  }
  // A quarter turn about z, taken 0.3 of the way: 27 degrees.
  NetCarState s;
  const float half = 0.5f * 1.5707963f;
  s.orientation[2] = std::sin(half);
  s.orientation[3] = std::cos(half);
  VQVector p;
  VQQuaternion q;
  Net_BlendRemotePose(VQVector(0, 0, 0), VQQuaternion(), s, &p, &q);
  EXPECT_NEAR(2.0f * std::atan2(q.z, q.w), 0.3f * 1.5707963f, 1e-4);
  EXPECT_NEAR(q.x, 0.0f, 1e-6);
}

TEST(NetTypedAddress, MissingPartsKeepTheirDefaultsAndBadNumbersAreRefused) {
  struct Case {
    const char* text;
    bool ok;
    int32_t a, b, c, d;
  };
  const Case cases[] = {
      {"192.168.0.7", true, 192, 168, 0, 7},
      {"10", true, 10, 0, 0, 0},
      {"10.1", true, 10, 1, 0, 0},
      {"", true, 1, 0, 0, 0},
      {"256.1.1.1", false, 0, 0, 0, 0},
      {"1.2.3.4.5", false, 0, 0, 0, 0},
      {"a.b", false, 0, 0, 0, 0},
      {"1.2.x", false, 0, 0, 0, 0},
      {"99999999999", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t address[4] = {-1, -1, -1, -1};
    EXPECT_EQ(Net_ParseTypedAddress(c.text, address), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address[0], c.a) << c.text;
      EXPECT_EQ(address[1], c.b) << c.text;
      EXPECT_EQ(address[2], c.c) << c.text;
      EXPECT_EQ(address[3], c.d) << c.text;
    } else {
      EXPECT_EQ(address[0], -1) << c.text;
    }
  }
}

}  // namespace
}  // namespace netgame
