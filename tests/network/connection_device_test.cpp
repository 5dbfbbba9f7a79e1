#include <gtest/gtest.h>

#include <dirent.h>

#include "Zentri/devices/VQDriverTable.h"
#include "net_test_util.h"

namespace {

using nettest::Loopback;
using nettest::NetTest;

// Open descriptors of this process.
int OpenHandles() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (readdir(d) != nullptr) ++count;
  closedir(d);
  return count;
}

TEST(ConnectionDevice, GetterHandsOutIndexZeroOnly) {
  g_VQerror = 0;
  EXPECT_EQ(VQnet_GetConnectionDevice(VQDEVICE_CONNECTION, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_EQ(VQnet_GetConnectionDevice(VQDEVICE_SOUND, 0), nullptr);
  VQDevice* d = VQnet_GetConnectionDevice(VQDEVICE_CONNECTION, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->GetName(), "connection device");
  EXPECT_EQ(d->m_kind, static_cast<uint32_t>(VQDEVICE_CONNECTION));
}

TEST(ConnectionDevice, IsTheNetworkFamilysDriver) {
  const VQDriverRow* row = VQdevices_FindDriver(VQDEVICE_CONNECTION);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->create, VQnet_GetConnectionDevice);
}

TEST(ConnectionDevice, CountsLiveDevices) {
  uint32_t before = VQConnectionDevice::s_live;
  {
    VQConnectionDevice a;
    EXPECT_EQ(VQConnectionDevice::s_live, before + 1);
  }
  EXPECT_EQ(VQConnectionDevice::s_live, before);
}

TEST(ConnectionDevice, TwoOpenDevicesShareTheLibrary) {
  VQConnectionDevice a, b;
  ASSERT_TRUE(a.Open(0));
  ASSERT_TRUE(b.Open(0));
  a.Close();
  EXPECT_TRUE(VQnet_IsLoaded());
  b.Close();
  EXPECT_FALSE(VQnet_IsLoaded());
}

using CreateLayer = NetTest;

TEST_F(CreateLayer, RefusesBadArguments) {
  VQNetAddress a = Loopback(0);
  g_VQerror = 0;
  EXPECT_EQ(m_device.CreateLayer(&a, 2, VQLAYER_TCP_CLIENT), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  VQNetAddress unset = a;
  unset.m_unset = 1;
  g_VQerror = 0;
  EXPECT_EQ(m_device.CreateLayer(&unset, VQNET_LAYER_MODE, VQLAYER_TCP_CLIENT), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  g_VQerror = 12345;
  EXPECT_EQ(m_device.CreateLayer(&a, VQNET_LAYER_MODE, 35), nullptr);
  EXPECT_EQ(g_VQerror, 12345);  // an unknown code leaves the error as it was
  EXPECT_EQ(m_device.GetLayerCount(), 0u);
}

TEST_F(CreateLayer, EveryCodeMakesItsLayer) {
  VQNetAddress a = Loopback(0);
  for (uint32_t code : {33u, 34u, 92u, 116u, 156u, 180u}) {
    VQProtocolLayer* layer = m_device.CreateLayer(&a, VQNET_LAYER_MODE, code);
    ASSERT_NE(layer, nullptr) << code;
    EXPECT_EQ(layer->GetCode(), code);
  }
  EXPECT_EQ(m_device.GetLayerCount(), 6u);
}

// The device holds 128 layers, all of them working sockets; a 129th is refused.
TEST_F(CreateLayer, HoldsAHundredAndTwentyEightWorkingLayers) {
  VQNetAddress a = Loopback(0);
  for (uint32_t i = 0; i < VQNET_MAX_LAYERS; ++i) {
    VQProtocolLayer* layer = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
    ASSERT_NE(layer, nullptr) << i;
    ASSERT_TRUE(layer->Start()) << i << " error " << g_VQerror;
  }
  g_VQerror = 0;
  EXPECT_EQ(m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_LAYERS);
  // Each of them receives: the last one created gets a datagram from the first.
  VQProtocolLayer* last = m_device.GetLayer(VQNET_MAX_LAYERS - 1);
  VQNetAddress to = Loopback(last->GetLocalPort());
  ASSERT_EQ(m_device.GetLayer(0)->SendTo("hi", 2, &to), 2);
  char buffer[8];
  int32_t n = 0;
  ASSERT_TRUE(nettest::PollUntil([&] { return (n = last->Receive(buffer, sizeof(buffer))) != 0; }));
  EXPECT_EQ(n, 2);
}

TEST_F(CreateLayer, DeletingTheFirstKeepsTheOrder) {
  VQNetAddress a = Loopback(0);
  VQProtocolLayer* l[3];
  for (auto& layer : l) layer = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_SEND);
  m_device.DeleteLayer(l[0]);
  ASSERT_EQ(m_device.GetLayerCount(), 2u);
  EXPECT_EQ(m_device.GetLayer(0), l[1]);
  EXPECT_EQ(m_device.GetLayer(1), l[2]);
  m_device.DeleteLayer(l[0]);  // not held any more: nothing happens
  EXPECT_EQ(m_device.GetLayerCount(), 2u);
}

TEST_F(CreateLayer, LayerKeepsItsOwnCopyOfTheHostText) {
  char host[] = "127.0.0.1";
  VQNetAddress a = Loopback(0);
  a.m_host = host;
  VQProtocolLayer* layer = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
  ASSERT_NE(layer, nullptr);
  host[0] = 'x';
  EXPECT_STREQ(layer->GetAddress()->m_host, "127.0.0.1");
  EXPECT_TRUE(layer->Start());
}

TEST_F(CreateLayer, StartedLayerCannotBeReopened) {
  VQNetAddress a = Loopback(0);
  VQProtocolLayer* layer = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE);
  ASSERT_TRUE(layer->Start());
  g_VQerror = 0;
  EXPECT_FALSE(layer->Open(&a));
  EXPECT_EQ(g_VQerror, VQERR_ALREADY_OPEN);
}

// Failed connects and closed connections give their handles back.
TEST_F(CreateLayer, FailedConnectsAndClosesLeakNoHandles) {
  VQNetAddress a = Loopback(0);
  // A port nobody listens on: bind a UDP socket to get a free number, then use it for TCP.
  VQProtocolLayer* probe = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_TCP_SERVER);
  ASSERT_TRUE(probe->Start());
  uint32_t closedPort = probe->GetLocalPort();
  m_device.DeleteLayer(probe);

  int before = OpenHandles();
  VQNetAddress target = Loopback(closedPort);
  for (int i = 0; i < 20; ++i) {
    VQProtocolLayer* client = m_device.CreateLayer(&target, VQNET_LAYER_MODE, VQLAYER_TCP_CLIENT);
    ASSERT_NE(client, nullptr);
    g_VQerror = 0;
    EXPECT_FALSE(client->Start());  // refused: reported, not taken for a connection
    EXPECT_NE(g_VQerror, 0);
    EXPECT_EQ(client->GetSocket()->GetFlags(), 0u);
    m_device.DeleteLayer(client);
  }
  EXPECT_EQ(OpenHandles(), before);

  VQProtocolLayer* server = m_device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_TCP_SERVER);
  ASSERT_TRUE(server->Start());
  VQNetAddress to = Loopback(server->GetLocalPort());
  for (int i = 0; i < 20; ++i) {
    VQProtocolLayer* client = m_device.CreateLayer(&to, VQNET_LAYER_MODE, VQLAYER_TCP_CLIENT);
    ASSERT_TRUE(client->Start());
    VQNetAddress* accepted = nullptr;
    ASSERT_TRUE(nettest::PollUntil([&] { return (accepted = server->Accept()) != nullptr; }));
    EXPECT_TRUE(client->Close());
    EXPECT_TRUE(server->CloseClient(static_cast<int32_t>(accepted->m_channel)));
    // A closed client can start again.
    ASSERT_TRUE(client->Start());
    ASSERT_TRUE(nettest::PollUntil([&] { return (accepted = server->Accept()) != nullptr; }));
    EXPECT_TRUE(server->CloseClient(static_cast<int32_t>(accepted->m_channel)));
    m_device.DeleteLayer(client);
  }
  m_device.DeleteLayer(server);
  EXPECT_EQ(OpenHandles(), before);
}

TEST_F(CreateLayer, DeviceCloseReleasesEveryHandle) {
  int before = OpenHandles();
  {
    VQConnectionDevice other;
    ASSERT_TRUE(other.Open(0));
    VQNetAddress a = Loopback(0);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(other.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE)->Start());
    other.Close();
  }
  EXPECT_EQ(OpenHandles(), before);
}

}  // namespace
