// The network lobby pages inside one started Program (offscreen video, dummy audio) against
// sessions on 127.0.0.1: hosting and joining through the pages, the lobby's player lines, the
// chat entry, ready and start, leaving, and the pages of failed attempts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "net_session_util.h"
#include "QVX/menu/Menu.h"
#include "QVX/race/Player.h"
#include "QVX/shell/LobbyMenus.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/ProgramNetwork.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"

namespace fs = std::filesystem;

namespace {

using netgame::Choice;
using netgame::Member;

class LobbyMenus : public netgame::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    m_dir = fs::temp_directory_path() /
            ("qvx_lobby_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    m_old = fs::current_path();
    fs::current_path(m_dir);
    ProgramOptions options;
    options.headless = true;
    m_program = new Program(options);
    m_program->LoadLanguageStrings();
    ASSERT_TRUE(m_program->Initialize(0, nullptr));
    ASSERT_TRUE(m_program->BuildMenus());
    ASSERT_TRUE(m_program->BuildSessionMenus());
    m_menu = m_program->m_menu;
    m_program->m_config.tcpPort = 0;
    m_program->m_config.udpPort = 0;
    std::strcpy(m_program->m_config.netAddress, "127.0.0.1");
    std::strcpy(m_program->m_config.broadcastAddress, "127.0.0.1");
    m_program->m_ms.menuRunning = 1;
    g_VQsystem.m_stop = 0;
    ASSERT_GT(m_program->m_playerCount, 0u);
    m_name = m_program->m_players[0]->m_name;
  }
  void TearDown() override {
    if (m_program) {
      m_program->CloseNetwork();
      m_program->m_ms.menuRunning = 0;
      m_program->Shutdown();
      delete m_program;
    }
    SessionTest::TearDown();
    fs::current_path(m_old);
    fs::remove_all(m_dir);
  }
  // Menu frames of the Program and updates of the sessions until done() holds.
  bool Pump(const std::function<bool()>& done) {
    return PumpUntil([&] {
      LobbyMenus_Frame(*m_program, 0.01f);
      return done();
    });
  }
  int32_t PageId() const {
    MenuPage* page = m_menu->GetCurrentPage();
    return page ? page->m_id : -1;
  }
  void Activate(int32_t page, int32_t item) {
    ASSERT_EQ(PageId(), page);
    MenuPage* p = m_menu->GetCurrentPage();
    ASSERT_NE(p->GetItem(item), nullptr);
    p->Activate(p->GetItem(item));
  }
  // A session that joins the Program's game (the Program's frames run meanwhile).
  Member& JoinProgram(const char* name) {
    Member& c = Add();
    const uint8_t loop[4] = {127, 0, 0, 1};
    EXPECT_TRUE(c.session->Join(loop, Choice(name))) << g_VQerror;
    EXPECT_TRUE(Pump([&] { return c.session->IsConnected(); }));
    return c;
  }
  MenuItem* Item(int32_t id) { return m_menu->GetCurrentPage()->GetItem(id); }
  void Type(const char* text) {
    for (const char* c = text; *c; ++c) {
      const uint32_t key = *c == ' '                  ? VQKEY_SPACE
                           : (*c >= '0' && *c <= '9') ? VQKEY_0 + uint32_t(*c - '0')
                                                      : VQKEY_A + uint32_t(*c - 'a');
      EXPECT_TRUE(m_program->OnMenuKey(key, true)) << *c;
    }
  }
  // The Program hosts from page 3; the sessions of the test then join its port.
  void HostFromMenu() {
    m_menu->ShowPage(3);
    Activate(3, 290);
    ASSERT_EQ(PageId(), 34);
    ASSERT_NE(m_program->m_net, nullptr);
    EXPECT_EQ(m_program->m_gameMode, 6);
    m_tcpPort = m_program->m_net->GetTcpPort();
    m_hostUdpPort = m_program->m_net->GetUdpPort();
  }

  fs::path m_dir, m_old;
  Program* m_program = nullptr;
  Menu* m_menu = nullptr;
  std::string m_name;
};

TEST_F(LobbyMenus, TheHostsLobbyListsTheGuestCarriesChatAndStartsWhenAllAreReady) {
  HostFromMenu();
  // The client's start item waits: nobody is ready yet.
  EXPECT_EQ(Item(274)->selectable, 0);
  EXPECT_EQ(Item(279)->hidden, 1);      // the host is always ready
  EXPECT_EQ(Item(273)->selectable, 1);  // the host sets the race
  Member& guest = JoinProgram("guest");
  guest.session->SetOwnCarChoice(Choice("guest", 1));
  ASSERT_TRUE(Pump([&] { return std::string(LobbyMenus_PlayerLine(1)).find("guest") == 0; }));
  EXPECT_EQ(std::string(LobbyMenus_PlayerLine(0)).find(m_name), 0u);
  EXPECT_NE(std::string(LobbyMenus_PlayerLine(1)).find("Not ready"), std::string::npos);
  EXPECT_STREQ(LobbyMenus_PlayerLine(2), "");

  // Chat both ways: the guest's line shows here, a typed line goes out under the own name.
  guest.session->SendChat("guest: hello");
  ASSERT_TRUE(Pump([&] { return std::strcmp(m_program->m_chatLines[4], "guest: hello") == 0; }));
  Type("hi 2");
  EXPECT_STREQ(LobbyMenus_ChatEntry(), "> hi 2");
  EXPECT_TRUE(m_program->OnMenuKey(VQKEY_BACKSPACE, true));
  EXPECT_STREQ(LobbyMenus_ChatEntry(), "> hi ");
  EXPECT_TRUE(m_program->OnMenuKey(VQKEY_RETURN, true));
  EXPECT_STREQ(LobbyMenus_ChatEntry(), "");
  const std::string sent = m_name + ": hi ";
  EXPECT_EQ(m_program->m_chatLines[4], sent);
  EXPECT_STREQ(m_program->m_chatLines[3], "guest: hello");
  ASSERT_TRUE(Pump([&] { return !guest.hooks.chats.empty(); }));
  EXPECT_EQ(guest.hooks.chats.back(), sent);

  // The guest gets ready: the start item opens, and starting tells the guest and ends the menus.
  guest.session->SetOwnCarChoice(Choice("guest", 1, true));
  ASSERT_TRUE(Pump([&] { return Item(274)->selectable == 1; }));
  EXPECT_EQ(Item(274)->disabled, 0);
  EXPECT_NE(std::string(LobbyMenus_PlayerLine(1)).find("Ready"), std::string::npos);
  m_program->m_sessionRequest = -1;
  Activate(34, 274);
  ASSERT_TRUE(Pump([&] { return !guest.hooks.setups.empty(); }));
  EXPECT_EQ(guest.hooks.setups[0].playerCount, 2);
  EXPECT_EQ(m_program->m_sessionRequest, SESSION_RACE);
  EXPECT_EQ(g_VQsystem.m_stop, 1);
  EXPECT_EQ(m_menu->GetCurrentPage(), nullptr);
}

TEST_F(LobbyMenus, AClientJoinsTheTypedAddressGetsReadyAndFollowsTheHostsStart) {
  Member& host = AddHost();
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  m_menu->ShowPage(3);
  Activate(3, 291);
  ASSERT_EQ(PageId(), 39);
  EXPECT_NE(std::string(m_program->m_ms.networkLine).find("127.0.0.1"), std::string::npos);
  Activate(39, 311);
  ASSERT_EQ(PageId(), 40);
  std::strcpy(m_program->m_ms.addressText, "127.0.0.1");
  Activate(40, 322);
  EXPECT_EQ(PageId(), NETPAGE_JOINING);
  ASSERT_TRUE(Pump([&] { return PageId() == 34; }));
  const int32_t* a = m_program->m_players[0]->m_profile.server_address;
  EXPECT_EQ(a[0], 127);
  EXPECT_EQ(a[3], 1);
  // A client takes the host's settings and sees the host in its list.
  EXPECT_EQ(Item(273)->selectable, 0);
  EXPECT_EQ(Item(274)->hidden, 1);
  EXPECT_EQ(Item(279)->hidden, 0);
  ASSERT_TRUE(Pump([&] { return std::string(LobbyMenus_PlayerLine(1)).find("host") == 0; }));
  ASSERT_TRUE(Pump([&] { return host.session->GetPeerCount() == 1; }));

  host.session->SendChat("host: welcome");
  ASSERT_TRUE(Pump([&] { return std::strcmp(m_program->m_chatLines[4], "host: welcome") == 0; }));

  // The host's settings arrive: the track goes into the profile and the item; outside the
  // free class choice the host's class is taken and sent back as the new car.
  ASSERT_GE(m_program->m_trackCount, 2u);
  ASSERT_GE(m_program->m_classCount, 3u);
  NetLobbySettings settings;
  settings.track = uint8_t(m_program->m_trackCount - 1);
  settings.classIndex = 2;
  settings.raceType = 0;
  settings.length = 200;  // out of range: the last length
  host.session->SetLobbySettings(settings);
  const PlayerProfile& prof = m_program->m_players[0]->m_profile;
  ASSERT_TRUE(Pump([&] { return prof.normal_track == settings.track; }));
  EXPECT_EQ(Item(273)->value->choice, settings.track);
  EXPECT_EQ(prof.normal_frame, 2);
  EXPECT_EQ(prof.normal_length, int32_t(m_program->m_lengthChoices.count) - 1);
  EXPECT_EQ(Item(271)->selectable, 0);
  ASSERT_TRUE(Pump([&] { return host.session->GetPeer(0).choice.classIndex == 2; }));

  Activate(34, 279);
  EXPECT_EQ(Item(272)->selectable, 0);  // no colour change while ready
  ASSERT_TRUE(Pump([&] { return host.session->AllClientsReady(); }));
  EXPECT_EQ(host.session->GetPeer(0).choice.name, m_name.substr(0, NET_NAME_SIZE - 1));
  m_program->m_sessionRequest = -1;
  ASSERT_TRUE(host.session->StartRace(0));
  ASSERT_TRUE(Pump([&] { return m_program->m_sessionRequest == SESSION_RACE; }));
  EXPECT_EQ(g_VQsystem.m_stop, 1);
}

TEST_F(LobbyMenus, TheSearchFindsTheHostByItsBeaconOnLoopbackAndJoins) {
  Member& host = AddHost();
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  m_menu->ShowPage(3);
  Activate(3, 291);
  Activate(39, 310);
  ASSERT_EQ(PageId(), NETPAGE_SEARCHING);
  ASSERT_NE(m_program->m_net, nullptr);
  // The host's beacons go to 127.0.0.1 at the port the search listens on.
  host.session->MutableConfig().broadcastPort = m_program->m_net->GetUdpPort();
  ASSERT_TRUE(Pump([&] {
    ++m_now;  // the host's wall clock: a beacon every new second
    return PageId() == 34;
  }));
  EXPECT_NE(std::string(m_program->m_connectionText).find("127.0.0.1"), std::string::npos);
  ASSERT_TRUE(Pump([&] { return std::string(LobbyMenus_PlayerLine(1)).find("host") == 0; }));
  EXPECT_EQ(host.session->GetPeerCount(), 1u);
}

TEST_F(LobbyMenus, LeavingTheLobbyTellsTheHostAndEndsTheGame) {
  HostFromMenu();
  Member& guest = JoinProgram("guest");
  Activate(34, 275);
  ASSERT_EQ(PageId(), 41);
  Activate(41, 330);
  EXPECT_EQ(PageId(), 3);
  EXPECT_EQ(m_program->m_net, nullptr);
  EXPECT_EQ(m_program->m_gameMode, 0);
  ASSERT_TRUE(PumpUntil([&] { return !guest.hooks.closed.empty(); }));
}

TEST_F(LobbyMenus, FailedAttemptsShowTheirPages) {
  // A full game refuses: page 43 carries the reason.
  AddHost(2);
  Join("first");
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  m_menu->ShowPage(3);
  Activate(3, 291);
  Activate(39, 311);
  std::strcpy(m_program->m_ms.addressText, "127.0.0.1");
  Activate(40, 322);
  ASSERT_TRUE(Pump([&] { return PageId() == NETPAGE_REFUSED; }));
  EXPECT_STREQ(m_menu->GetCurrentPage()->GetItem(0, false)->label, m_program->m_netPageText);
  EXPECT_NE(m_program->m_netPageText[0], 0);
  EXPECT_EQ(m_program->m_net, nullptr);

  // A typed address that is no address goes to the failed connection page.
  m_menu->ShowPage(3);
  Activate(3, 291);
  Activate(39, 311);
  std::strcpy(m_program->m_ms.addressText, "300.1");
  Activate(40, 322);
  EXPECT_EQ(PageId(), NETPAGE_CONNECT_FAILED);
}

}  // namespace

namespace {

TEST_F(LobbyMenus, ATypedAddressNobodyAnswersAtFailsInALaterFrame) {
  // A port nobody listens on: the connection is made in the background, so the joining page
  // shows first and the failed connection page follows from the frames.
  Member& gone = AddHost();
  gone.session->Close();
  gone.frozen = true;
  m_program->m_config.tcpPort = int32_t(m_tcpPort);
  m_menu->ShowPage(3);
  Activate(3, 291);
  Activate(39, 311);
  std::strcpy(m_program->m_ms.addressText, "127.0.0.1");
  Activate(40, 322);
  EXPECT_EQ(PageId(), NETPAGE_JOINING);
  ASSERT_TRUE(Pump([&] { return PageId() == NETPAGE_CONNECT_FAILED; }));
  EXPECT_EQ(m_program->m_net, nullptr);
}

}  // namespace
