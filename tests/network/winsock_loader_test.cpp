#include <gtest/gtest.h>

#include <cstring>

#include "Zentri/devices/network/VQnet.h"
#include "Zentri/util/VQerror.h"
#include "host/net/winsock.h"

namespace {

const char* g_missing = nullptr;  // the entry point the test loader pretends not to have
bool g_refuseLibrary = false;

uintptr_t TestLoad(const char* name) { return g_refuseLibrary ? 0 : host::net::load_library(name); }
void* TestProc(uintptr_t library, const char* name) {
  if (g_missing != nullptr && std::strcmp(name, g_missing) == 0) return nullptr;
  return host::net::proc_address(library, name);
}
const VQnetLoader kTestLoader = {TestLoad, TestProc, host::net::free_library};

bool TableIsEmpty() {
  const VQwinsockTable empty{};
  return std::memcmp(&g_VQwinsock, &empty, sizeof(empty)) == 0;
}

class WinsockLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    VQnet_Shutdown();
    VQnet_SetLoader(&kTestLoader);
  }
  void TearDown() override {
    g_missing = nullptr;
    g_refuseLibrary = false;
    VQnet_SetLoader(nullptr);
  }
};

TEST_F(WinsockLoader, LoadsEveryEntryPoint) {
  ASSERT_TRUE(VQnet_LoadWinsock());
  EXPECT_TRUE(VQnet_IsLoaded());
  EXPECT_NE(g_VQwinsock.closesocket, nullptr);
  EXPECT_NE(g_VQwinsock.WSAFDIsSet, nullptr);
  VQnet_Shutdown();
  EXPECT_TRUE(TableIsEmpty());
}

// Whichever entry point is missing, nothing of the table is left behind.
TEST_F(WinsockLoader, MissingEntryPointLeavesEveryEntryNull) {
  for (const char* name : {"closesocket", "select", "WSAStartup", "__WSAFDIsSet"}) {
    g_missing = name;
    EXPECT_FALSE(VQnet_LoadWinsock()) << name;
    EXPECT_FALSE(VQnet_IsLoaded()) << name;
    EXPECT_TRUE(TableIsEmpty()) << name;
  }
}

TEST_F(WinsockLoader, StartupFailsWithoutTheLibrary) {
  g_refuseLibrary = true;
  g_VQerror = 0;
  EXPECT_FALSE(VQnet_Startup());
  EXPECT_EQ(g_VQerror, VQERR_SYSTEM_CALL);
  EXPECT_TRUE(TableIsEmpty());
}

TEST_F(WinsockLoader, StartupFailsWithAMissingEntryPoint) {
  g_missing = "recv";
  g_VQerror = 0;
  EXPECT_FALSE(VQnet_Startup());
  EXPECT_EQ(g_VQerror, VQERR_SYSTEM_CALL);
}

TEST(HostSockets, OnlyTheSocketsLibraryIsFound) {
  EXPECT_EQ(host::net::load_library("opengl32.dll"), 0u);
  EXPECT_EQ(host::net::load_library(nullptr), 0u);
  uintptr_t lib = host::net::load_library("WS2_32.DLL");
  ASSERT_NE(lib, 0u);
  EXPECT_EQ(host::net::proc_address(lib, "WSAConnectEx"), nullptr);
  EXPECT_NE(host::net::proc_address(lib, "inet_ntoa"), nullptr);
  host::net::free_library(lib);
}

TEST(HostSockets, CallsBeforeStartupFail) {
  VQnet_Shutdown();
  EXPECT_EQ(host::net::open_socket(host::net::af_inet, host::net::sock_stream, 0), host::net::invalid_socket);
  EXPECT_EQ(host::net::wsa_get_last_error(), host::net::wsa_error::not_initialised);
  host::net::startup_data data;
  EXPECT_NE(host::net::wsa_startup(0x0001, &data), 0);  // version 1.0 is not offered
  ASSERT_EQ(host::net::wsa_startup(host::net::winsock_version_1_1, &data), 0);
  host::net::socket_handle s = host::net::open_socket(host::net::af_inet, host::net::sock_dgram, 0);
  EXPECT_NE(s, host::net::invalid_socket);
  EXPECT_EQ(host::net::close_socket(s), 0);
  EXPECT_EQ(host::net::wsa_cleanup(), 0);
}

TEST(HostSockets, AddressTextsRoundTrip) {
  uint32_t a = host::net::inet_address("127.0.0.2");
  EXPECT_STREQ(host::net::inet_text(a), "127.0.0.2");
  EXPECT_EQ(host::net::inet_address("not an address"), host::net::inaddr_none);
  EXPECT_EQ(host::net::inet_address("300.1.1.1"), host::net::inaddr_none);
}

TEST(NetAddress, FormatAndBuild) {
  VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 3, 4567);
  char text[VQNET_ADDRESS_TEXT_SIZE];
  VQnet_FormatAddress(&a, text);
  EXPECT_STREQ(text, "127.0.0.3");
  host::net::socket_address s;
  ASSERT_TRUE(VQnet_BuildSocketAddress(&a, &s));
  EXPECT_EQ(s.family, host::net::af_inet);
  EXPECT_EQ(s.port, host::net::host_to_net_short(4567));
  EXPECT_EQ(s.address, host::net::inet_address("127.0.0.3"));
  a.m_unset = 1;
  VQnet_FormatAddress(&a, text);
  EXPECT_STREQ(text, "");
}

// A record the sockets cannot trust is refused instead of becoming some other address (a
// mistyped host would otherwise read as 255.255.255.255, the broadcast address).
TEST(NetAddress, BuildRefusesBadRecords) {
  host::net::socket_address s;
  VQNetAddress unset = VQnet_MakeAddress(127, 0, 0, 1, 80);
  unset.m_unset = 1;
  VQNetAddress bigByte = VQnet_MakeAddress(127, 0, 0, 256, 80);
  VQNetAddress bigPort = VQnet_MakeAddress(127, 0, 0, 1, 65536);
  VQNetAddress badHost = VQnet_MakeAddress(0, 0, 0, 0, 80);
  badHost.m_host = "no.such.host";
  for (const VQNetAddress* a : {&unset, &bigByte, &bigPort, &badHost}) {
    g_VQerror = 0;
    EXPECT_FALSE(VQnet_BuildSocketAddress(a, &s));
    EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  }
}

TEST(NetAddress, BroadcastTargetIsConfigurable) {
  VQNetAddress a{};
  a.m_port = 999;
  ASSERT_TRUE(VQnet_SetBroadcastTarget("127.0.0.1"));
  ASSERT_TRUE(VQnet_GetBroadcastAddress(&a));
  EXPECT_EQ(a.m_bytes[0], 127u);
  EXPECT_EQ(a.m_bytes[3], 1u);
  EXPECT_EQ(a.m_port, 999u);
  EXPECT_FALSE(VQnet_SetBroadcastTarget("127.0.0"));
  EXPECT_TRUE(VQnet_SetBroadcastTarget(nullptr));
}

TEST(NetAddress, LocalAddressNeedsTheLibrary) {
  VQnet_Shutdown();
  VQNetAddress a{};
  g_VQerror = 0;
  EXPECT_FALSE(VQnet_GetLocalAddress(&a));
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
  ASSERT_TRUE(VQnet_Startup());
  // The host name may or may not resolve on a build machine; either way the answer is clean.
  if (VQnet_GetLocalAddress(&a)) {
    EXPECT_EQ(a.m_unset, 0u);
    EXPECT_LE(a.m_bytes[0], 255u);
  } else {
    EXPECT_TRUE(g_VQerror >= VQERR_HOST_NOT_FOUND || g_VQerror == VQERR_SYSTEM) << g_VQerror;
  }
  VQnet_Shutdown();
}

}  // namespace
