// The connection device over loopback in one process: framed streams, the send queue, many
// clients, broken peers and datagrams.
#include <cstring>
#include <string>
#include <vector>

#include "net_test_util.h"

namespace {

using nettest::Loopback;
using nettest::NetTest;
using nettest::Pattern;
using nettest::PollUntil;

using Loopback1 = NetTest;

TEST_F(Loopback1, PipelinedMessagesArriveWholeAndInOrder) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  ASSERT_NE(server, nullptr);
  VQNetAddress* accepted = nullptr;
  VQFramedTcpClientLayer* client = ConnectFramed(server, &accepted);
  ASSERT_NE(client, nullptr);
  constexpr uint32_t kCount = 2000;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, 1 + (i * 37) % 3000);
    ASSERT_EQ(client->Send(m.data(), static_cast<int32_t>(m.size())), static_cast<int32_t>(m.size() + 4)) << i;
  }
  std::vector<uint8_t> got;
  for (uint32_t i = 0; i < kCount; ++i) {
    int32_t from = -1;
    // The client's queue goes out as the client polls (here: Flush; in a game its receives).
    ASSERT_GT(ReceiveFromAny(server, &got, &from, [&] { client->Flush(); }), 0) << i << " error " << g_VQerror;
    ASSERT_EQ(from, static_cast<int32_t>(accepted->m_channel));
    ASSERT_EQ(got, Pattern(i, 1 + (i * 37) % 3000)) << i;
    ASSERT_GT(server->SendToClient(got.data(), static_cast<int32_t>(got.size()), from), 0);
  }
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_GT(ReceiveOne(client, &got, [&] { server->Flush(); }), 0) << i;
    ASSERT_EQ(got, Pattern(i, 1 + (i * 37) % 3000)) << i;
  }
}

TEST_F(Loopback1, LargestPayloadCrossesAndLargerIsRefused) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  std::vector<uint8_t> largest = Pattern(1, VQFRAME_MAX_PAYLOAD);
  std::vector<uint8_t> tooLarge = Pattern(2, VQFRAME_MAX_PAYLOAD + 1);
  g_VQerror = 0;
  EXPECT_EQ(client->Send(tooLarge.data(), static_cast<int32_t>(tooLarge.size())), -1);
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  ASSERT_GT(client->Send(largest.data(), static_cast<int32_t>(largest.size())), 0);
  ASSERT_GT(client->Send("after", 5), 0);
  std::vector<uint8_t> got;
  int32_t from = -1;
  ASSERT_EQ(ReceiveFromAny(server, &got, &from), static_cast<int32_t>(VQFRAME_MAX_PAYLOAD));
  EXPECT_EQ(got, largest);
  ASSERT_EQ(ReceiveFromAny(server, &got, &from), 5);
  EXPECT_EQ(server->Send(largest.data(), static_cast<int32_t>(largest.size())), static_cast<int32_t>(VQFRAME_MAX_SIZE));
  ASSERT_EQ(ReceiveOne(client, &got), static_cast<int32_t>(VQFRAME_MAX_PAYLOAD));
  EXPECT_EQ(got, largest);
}

TEST_F(Loopback1, ZeroLengthSendIsRefused) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  g_VQerror = 0;
  EXPECT_EQ(client->Send("x", 0), -1);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
}

TEST_F(Loopback1, CallerBufferTooSmallKeepsTheMessage) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  ASSERT_GT(server->Send("abcdef", 6), 0);
  char small[5];
  int32_t n = 0;
  ASSERT_TRUE(PollUntil([&] { return (n = client->Receive(small, sizeof(small))) != 0; }));
  EXPECT_EQ(n, -1);
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  char big[6];
  EXPECT_EQ(client->Receive(big, sizeof(big)), 6);
  EXPECT_EQ(std::memcmp(big, "abcdef", 6), 0);
}

// The server writes far more than the socket buffers hold to a client that does not read:
// every send returns at once, the rest waits in the queue, and the client later reads every
// message whole and in order.
TEST_F(Loopback1, SlowReaderMakesTheServerQueueAndKeepOrder) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQNetAddress* accepted = nullptr;
  VQFramedTcpClientLayer* client = ConnectFramed(server, &accepted);
  ASSERT_NE(client, nullptr);
  int32_t channel = static_cast<int32_t>(accepted->m_channel);
  constexpr uint32_t kCount = 300;
  constexpr uint32_t kSize = 40000;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, kSize - (i % 7));
    ASSERT_EQ(server->SendToClient(m.data(), static_cast<int32_t>(m.size()), channel), static_cast<int32_t>(m.size() + 4)) << i;
  }
  const VQChannelQueue* queue = server->GetSocket()->GetQueue();
  EXPECT_GT(queue->QueuedBytes(static_cast<uint32_t>(channel)), 0u);
  std::vector<uint8_t> got(VQFRAME_MAX_SIZE);
  for (uint32_t i = 0; i < kCount; ++i) {
    int32_t n = 0;
    ASSERT_TRUE(PollUntil([&] {
      server->Flush();
      n = client->Receive(got.data(), static_cast<int32_t>(got.size()));
      return n != 0;
    })) << i;
    ASSERT_EQ(n, static_cast<int32_t>(kSize - (i % 7))) << i;
    got.resize(static_cast<size_t>(n));
    ASSERT_EQ(got, Pattern(i, kSize - (i % 7))) << i;
    got.resize(VQFRAME_MAX_SIZE);
  }
  EXPECT_TRUE(queue->IsEmpty(static_cast<uint32_t>(channel)));
}

TEST_F(Loopback1, SlowServerMakesTheClientQueueAndKeepOrder) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  constexpr uint32_t kCount = 300;
  constexpr uint32_t kSize = 50000;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, kSize);
    ASSERT_GT(client->Send(m.data(), static_cast<int32_t>(m.size())), 0) << i;
  }
  EXPECT_FALSE(client->GetSocket()->GetQueue()->IsEmpty(0));
  std::vector<uint8_t> got(VQFRAME_MAX_SIZE);
  for (uint32_t i = 0; i < kCount; ++i) {
    int32_t n = 0, from = -1;
    ASSERT_TRUE(PollUntil([&] {
      client->Flush();
      n = server->ReceiveFromClient(got.data(), static_cast<int32_t>(got.size()), &from);
      return n != 0;
    })) << i;
    ASSERT_EQ(n, static_cast<int32_t>(kSize)) << i;
    ASSERT_EQ(std::memcmp(got.data(), Pattern(i, kSize).data(), kSize), 0) << i;
  }
}

TEST_F(Loopback1, BroadcastReachesEveryClient) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* clients[3];
  for (auto& c : clients) ASSERT_NE(c = ConnectFramed(server), nullptr);
  ASSERT_EQ(server->Send("to all", 6), 10);
  std::vector<uint8_t> got;
  for (auto* c : clients) {
    ASSERT_EQ(ReceiveOne(c, &got), 6);
    EXPECT_EQ(std::string(got.begin(), got.end()), "to all");
  }
}

// 64 clients are served at once; a 65th is refused cleanly (its connection is closed at
// once rather than left waiting unserved).
TEST_F(Loopback1, SixtyFourClientsAtOnceAndTheNextRefused) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  ASSERT_NE(server, nullptr);
  std::vector<VQFramedTcpClientLayer*> clients;
  std::vector<int32_t> channels;
  for (uint32_t i = 0; i < VQNET_MAX_CLIENTS; ++i) {
    VQNetAddress* accepted = nullptr;
    VQFramedTcpClientLayer* c = ConnectFramed(server, &accepted);
    ASSERT_NE(c, nullptr) << i;
    clients.push_back(c);
    channels.push_back(static_cast<int32_t>(accepted->m_channel));
  }
  VQNetAddress a = Loopback(server->GetLocalPort());
  VQProtocolLayer* extra = Create(VQLAYER_FRAMED_TCP_CLIENT, a);
  ASSERT_TRUE(extra->Start());
  ASSERT_TRUE(PollUntil([&] {
    g_VQerror = 0;
    return server->Accept() == nullptr && g_VQerror == VQERR_SERVER_NO_SLOT;
  }));
  std::vector<uint8_t> got;
  EXPECT_EQ(ReceiveOne(extra, &got), -1);
  EXPECT_EQ(g_VQerror, VQERR_SOCKET_CLOSED);

  for (uint32_t i = 0; i < clients.size(); ++i) {
    std::vector<uint8_t> m = Pattern(i, 100 + i);
    ASSERT_GT(clients[i]->Send(m.data(), static_cast<int32_t>(m.size())), 0);
  }
  std::vector<int> seen(VQNET_SERVER_CHANNELS, 0);
  for (uint32_t k = 0; k < clients.size(); ++k) {
    int32_t from = -1;
    ASSERT_GT(ReceiveFromAny(server, &got, &from), 0) << k;
    ASSERT_GE(from, 0);
    ++seen[from];
    ASSERT_GT(server->SendToClient(got.data(), static_cast<int32_t>(got.size()), from), 0);
  }
  for (uint32_t i = 0; i < clients.size(); ++i) {
    EXPECT_EQ(seen[channels[i]], 1) << i;
    ASSERT_EQ(ReceiveOne(clients[i], &got), static_cast<int32_t>(100 + i)) << i;
    EXPECT_EQ(got, Pattern(i, 100 + i)) << i;
  }
}

// A peer that closes in the middle of a frame ends only its own connection.
TEST_F(Loopback1, PeerClosingMidFrameEndsOnlyItsConnection) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* good = ConnectFramed(server);
  ASSERT_NE(good, nullptr);
  VQNetAddress a = Loopback(server->GetLocalPort());
  VQProtocolLayer* raw = Create(VQLAYER_TCP_CLIENT, a);
  ASSERT_TRUE(raw->Start());
  VQNetAddress* accepted = nullptr;
  ASSERT_TRUE(PollUntil([&] { return (accepted = server->Accept()) != nullptr; }));
  int32_t rawChannel = static_cast<int32_t>(accepted->m_channel);
  const uint8_t half[] = {4, 0, 10, 0, 'p', 'a', 'r'};
  ASSERT_EQ(raw->Send(half, sizeof(half)), static_cast<int32_t>(sizeof(half)));
  ASSERT_TRUE(raw->Close());

  std::vector<uint8_t> got;
  int32_t from = -1;
  EXPECT_EQ(ReceiveFromAny(server, &got, &from), -1);
  EXPECT_EQ(from, rawChannel);
  EXPECT_EQ(g_VQerror, VQERR_SOCKET_CLOSED);
  EXPECT_TRUE(server->CloseClient(from));

  ASSERT_GT(good->Send("still here", 10), 0);
  ASSERT_EQ(ReceiveFromAny(server, &got, &from), 10);
  EXPECT_EQ(std::string(got.begin(), got.end()), "still here");
}

struct Garbage {
  const char* name;
  std::vector<uint8_t> bytes;
};

// A malformed header drops that connection; the server and its other clients carry on.
TEST_F(Loopback1, MalformedHeaderDropsOnlyThatClient) {
  const Garbage cases[] = {
      {"bad marker", {7, 0, 1, 0, 'x'}},
      {"byte one set", {4, 9, 1, 0, 'x'}},
      {"length above the limit", {4, 0, 0xfe, 0xff, 'x'}},
      {"text", {'G', 'E', 'T', ' ', '/'}},
      {"good frame then garbage", {4, 0, 1, 0, 'k', 0xff, 0xff}},
  };
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* good = ConnectFramed(server);
  ASSERT_NE(good, nullptr);
  VQNetAddress a = Loopback(server->GetLocalPort());
  for (const Garbage& c : cases) {
    VQProtocolLayer* raw = Create(VQLAYER_TCP_CLIENT, a);
    ASSERT_TRUE(raw->Start()) << c.name;
    VQNetAddress* accepted = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (accepted = server->Accept()) != nullptr; })) << c.name;
    int32_t rawChannel = static_cast<int32_t>(accepted->m_channel);
    ASSERT_GT(raw->Send(c.bytes.data(), static_cast<int32_t>(c.bytes.size())), 0);
    std::vector<uint8_t> got;
    int32_t from = -1;
    int32_t n = ReceiveFromAny(server, &got, &from);
    if (n > 0) {  // the good frame before the garbage is still delivered
      EXPECT_EQ(got, std::vector<uint8_t>{'k'}) << c.name;
      n = ReceiveFromAny(server, &got, &from);
    }
    EXPECT_EQ(n, -1) << c.name;
    EXPECT_EQ(g_VQerror, VQERR_BAD_HEADER) << c.name;
    EXPECT_EQ(from, rawChannel) << c.name;
    EXPECT_EQ(static_cast<VQTcpServerSocket*>(server->GetSocket())->GetClientFlags(rawChannel), 0u) << c.name;
    // The dropped peer sees its connection closed.
    char buffer[16];
    int32_t r = 0;
    ASSERT_TRUE(PollUntil([&] { return (r = raw->Receive(buffer, sizeof(buffer))) != 0; })) << c.name;
    EXPECT_EQ(r, -1) << c.name;
    m_device.DeleteLayer(raw);

    ASSERT_GT(good->Send("ok", 2), 0);
    ASSERT_EQ(ReceiveFromAny(server, &got, &from), 2) << c.name;
  }
}

TEST_F(Loopback1, MalformedHeaderDropsTheClientStream) {
  VQNetAddress a = Loopback(0);
  VQProtocolLayer* server = Create(VQLAYER_TCP_SERVER, a);
  ASSERT_TRUE(server->Start());
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  const uint8_t garbage[] = {4, 1, 2, 0, 'h', 'i'};
  ASSERT_EQ(server->Send(garbage, sizeof(garbage)), static_cast<int32_t>(sizeof(garbage)));
  std::vector<uint8_t> got;
  EXPECT_EQ(ReceiveOne(client, &got), -1);
  EXPECT_EQ(g_VQerror, VQERR_BAD_HEADER);
  EXPECT_EQ(client->GetSocket()->GetFlags(), 0u);
  g_VQerror = 0;
  EXPECT_EQ(client->Receive(got.data(), 0), -1);
  EXPECT_EQ(g_VQerror, VQERR_SOCKET_NOT_STARTED);
}

TEST_F(Loopback1, ShutdownReachesThePeerAndClosesCleanly) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQNetAddress* accepted = nullptr;
  VQFramedTcpClientLayer* client = ConnectFramed(server, &accepted);
  ASSERT_NE(client, nullptr);
  int32_t channel = static_cast<int32_t>(accepted->m_channel);
  ASSERT_GT(client->Send("last words", 10), 0);
  ASSERT_TRUE(client->Shutdown());
  EXPECT_TRUE(client->Shutdown());  // again: nothing to do
  g_VQerror = 0;
  EXPECT_EQ(client->Send("more", 4), -1);
  EXPECT_EQ(g_VQerror, VQERR_SOCKET_CLOSED);
  std::vector<uint8_t> got;
  int32_t from = -1;
  ASSERT_EQ(ReceiveFromAny(server, &got, &from), 10);
  EXPECT_EQ(ReceiveFromAny(server, &got, &from), -1);
  EXPECT_EQ(g_VQerror, VQERR_SOCKET_CLOSED);
  // Next receive on that client fails at once: the peer is known to be gone.
  ASSERT_TRUE(server->ShutdownClient(channel));
  auto* socket = static_cast<VQTcpServerSocket*>(server->GetSocket());
  EXPECT_EQ(socket->GetClientFlags(channel), static_cast<uint32_t>(VQSOCKET_FINISHED));
  g_VQerror = 0;
  EXPECT_TRUE(server->CloseClient(channel));
  EXPECT_EQ(g_VQerror, 0);  // a finished client closes without complaint
  EXPECT_EQ(socket->GetClientCount(), 0u);
  // The client sees the server's side end too.
  EXPECT_EQ(ReceiveOne(client, &got), -1);
}

TEST_F(Loopback1, ClientOperationsCheckTheirArguments) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  char buffer[4];
  int32_t from = 7;
  g_VQerror = 0;
  EXPECT_EQ(server->ReceiveFromClient(buffer, sizeof(buffer), &from), -1);
  EXPECT_EQ(g_VQerror, VQERR_NO_CLIENTS);
  EXPECT_EQ(from, -1);
  for (int32_t bad : {-1, 128, 5000}) {
    g_VQerror = 0;
    EXPECT_EQ(server->SendToClient("x", 1, bad), -1) << bad;
    EXPECT_FALSE(server->CloseClient(bad)) << bad;
    EXPECT_FALSE(server->ShutdownClient(bad)) << bad;
  }
  EXPECT_EQ(server->Receive(buffer, sizeof(buffer)), -1);
  EXPECT_EQ(g_VQerror, VQERR_UNSUPPORTED_OPERATION);
}

TEST_F(Loopback1, OtherLoopbackAddressesWork) {
  VQFramedTcpServerLayer* server = StartFramedServer(2);
  ASSERT_NE(server, nullptr);
  VQNetAddress* accepted = nullptr;
  VQFramedTcpClientLayer* client = ConnectFramed(server, &accepted, 2);
  ASSERT_NE(client, nullptr);
  char text[VQNET_ADDRESS_TEXT_SIZE];
  VQnet_FormatAddress(accepted, text);
  EXPECT_EQ(std::string(text).rfind("127.", 0), 0u) << text;
  EXPECT_EQ(accepted->m_port, client->GetLocalPort());
  EXPECT_STREQ(accepted->m_host, text);
  ASSERT_GT(client->Send("two", 3), 0);
  std::vector<uint8_t> got;
  int32_t from = -1;
  EXPECT_EQ(ReceiveFromAny(server, &got, &from), 3);
}

TEST_F(Loopback1, DatagramsTravelBothWays) {
  VQNetAddress a = Loopback(0);
  auto* receiver = static_cast<VQUdpReceiveLayer*>(Create(VQLAYER_UDP_RECEIVE, a));
  ASSERT_TRUE(receiver->Start());
  VQNetAddress to = Loopback(receiver->GetLocalPort());
  VQProtocolLayer* sender = Create(VQLAYER_UDP_SEND, to);
  ASSERT_TRUE(sender->Start());
  char buffer[64];
  EXPECT_EQ(receiver->Receive(buffer, sizeof(buffer)), 0);  // nothing yet: no wait
  ASSERT_EQ(sender->Send("beacon", 6), 6);
  int32_t n = 0;
  ASSERT_TRUE(PollUntil([&] { return (n = receiver->Receive(buffer, sizeof(buffer))) != 0; }));
  ASSERT_EQ(n, 6);
  EXPECT_EQ(std::memcmp(buffer, "beacon", 6), 0);
  // The reply goes back to the sender's port from the receiver's own port.
  const VQNetAddress* from = receiver->GetLastSender();
  EXPECT_EQ(from->m_unset, 0u);
  EXPECT_EQ(from->m_port, sender->GetLocalPort());
  EXPECT_EQ(receiver->SendTo("ack", 3, from), 3);

  // A datagram longer than the buffer is reported, not cut short silently.
  ASSERT_EQ(sender->Send("0123456789", 10), 10);
  ASSERT_TRUE(PollUntil([&] { return (n = receiver->Receive(buffer, 4)) != 0; }));
  EXPECT_EQ(n, -1);
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(receiver->GetSocket()->HasCapability(0), false);
  EXPECT_EQ(g_VQerror, VQERR_UNSUPPORTED_OPERATION);
}

// A datagram the network refuses is a failure, never a success with 0 bytes.
TEST_F(Loopback1, FailedDatagramSendIsReported) {
  VQNetAddress to = Loopback(9);
  VQProtocolLayer* sender = Create(VQLAYER_UDP_SEND, to);
  ASSERT_TRUE(sender->Start());
  std::vector<uint8_t> huge(70000, 1);
  g_VQerror = 0;
  EXPECT_EQ(sender->Send(huge.data(), static_cast<int32_t>(huge.size())), -1);
  EXPECT_NE(g_VQerror, 0);
  VQNetAddress bad = Loopback(9);
  bad.m_bytes[3] = 300;
  EXPECT_EQ(sender->SendTo("x", 1, &bad), -1);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
}

TEST_F(Loopback1, BroadcastTargetReachesALoopbackReceiver) {
  VQNetAddress a = Loopback(0);
  VQProtocolLayer* receiver = Create(VQLAYER_UDP_RECEIVE, a);
  ASSERT_TRUE(receiver->Start());
  ASSERT_TRUE(VQnet_SetBroadcastTarget("127.0.0.1"));
  VQNetAddress target{};
  target.m_port = receiver->GetLocalPort();
  ASSERT_TRUE(VQnet_GetBroadcastAddress(&target));
  VQnet_SetBroadcastTarget(nullptr);
  VQProtocolLayer* beacon = Create(VQLAYER_UDP_SEND, target);
  ASSERT_TRUE(beacon->Start());
  ASSERT_EQ(beacon->Send("here", 4), 4);
  char buffer[8];
  int32_t n = 0;
  ASSERT_TRUE(PollUntil([&] { return (n = receiver->Receive(buffer, sizeof(buffer))) != 0; }));
  EXPECT_EQ(n, 4);
}

}  // namespace

namespace {

using nettest::Loopback;
using nettest::NetTest;
using nettest::Pattern;
using nettest::PollUntil;

using Loopback2 = NetTest;

// One read can bring the rest of a frame and a whole second frame of the largest size: the
// channel buffer takes it all, nothing is lost.
TEST_F(Loopback2, ReadBehindAPartialLargestFrameLosesNothing) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQNetAddress a = Loopback(server->GetLocalPort());
  VQProtocolLayer* raw = Create(VQLAYER_TCP_CLIENT, a);
  ASSERT_TRUE(raw->Start());
  ASSERT_TRUE(PollUntil([&] { return server->Accept() != nullptr; }));
  std::vector<uint8_t> stream;
  for (uint32_t i = 0; i < 2; ++i) {
    std::vector<uint8_t> p = Pattern(i, VQFRAME_MAX_PAYLOAD);
    uint32_t size = 0;
    uint8_t* f = VQframe_Make(p.data(), static_cast<int32_t>(p.size()), &size);
    stream.insert(stream.end(), f, f + size);
    delete[] f;
  }
  std::vector<uint8_t> got(VQFRAME_MAX_SIZE);
  int32_t from = -1;
  ASSERT_GT(raw->Send(stream.data(), 100), 0);
  ASSERT_TRUE(PollUntil([&] {
    return server->ReceiveFromClient(got.data(), static_cast<int32_t>(got.size()), &from) == 0 && from >= 0;
  }));  // the first 100 bytes are buffered
  ASSERT_GT(raw->Send(stream.data() + 100, static_cast<int32_t>(stream.size() - 100)), 0);
  for (uint32_t i = 0; i < 2; ++i) {
    int32_t n = 0;
    ASSERT_TRUE(PollUntil([&] {
      raw->Flush();
      n = server->ReceiveFromClient(got.data(), static_cast<int32_t>(got.size()), &from);
      return n != 0;
    })) << i;
    ASSERT_EQ(n, static_cast<int32_t>(VQFRAME_MAX_PAYLOAD)) << i << " error " << g_VQerror;
    got.resize(static_cast<size_t>(n));
    EXPECT_EQ(got, Pattern(i, VQFRAME_MAX_PAYLOAD)) << i;
    got.resize(VQFRAME_MAX_SIZE);
  }
}

// A client whose connection fails does not cost the other clients a broadcast.
TEST_F(Loopback2, BroadcastGoesOnPastAClosedClient) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* gone = ConnectFramed(server);
  VQFramedTcpClientLayer* staying = ConnectFramed(server);
  ASSERT_NE(gone, nullptr);
  ASSERT_NE(staying, nullptr);
  ASSERT_TRUE(gone->Close());
  constexpr uint32_t kCount = 50;
  for (uint32_t i = 0; i < kCount; ++i) {
    std::vector<uint8_t> m = Pattern(i, 2000);
    ASSERT_EQ(server->Send(m.data(), static_cast<int32_t>(m.size())), 2004) << i;
  }
  std::vector<uint8_t> got;
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(ReceiveOne(staying, &got), 2000) << i;
    EXPECT_EQ(got, Pattern(i, 2000)) << i;
  }
}

// A peer that stops reading cannot make the queue grow without bound: past the limit a
// message is refused whole (error 62), and everything taken before still arrives in order.
TEST_F(Loopback2, QueueLimitRefusesWholeMessages) {
  VQFramedTcpServerLayer* server = StartFramedServer();
  VQFramedTcpClientLayer* client = ConnectFramed(server);
  ASSERT_NE(client, nullptr);
  constexpr uint32_t kSize = 60000;
  uint32_t taken = 0;
  for (;;) {
    std::vector<uint8_t> m = Pattern(taken, kSize);
    g_VQerror = 0;
    int32_t rc = client->Send(m.data(), static_cast<int32_t>(m.size()));
    if (rc < 0) {
      EXPECT_EQ(g_VQerror, VQERR_SEND_INCOMPLETE);
      break;
    }
    ASSERT_LT(++taken, 1000u) << "the queue never refused";
  }
  EXPECT_LE(client->GetSocket()->GetQueue()->QueuedBytes(0), VQNET_QUEUE_LIMIT);
  std::vector<uint8_t> got;
  int32_t from = -1;
  for (uint32_t i = 0; i < taken; ++i) {
    ASSERT_EQ(ReceiveFromAny(server, &got, &from, [&] { client->Flush(); }), static_cast<int32_t>(kSize)) << i;
    ASSERT_EQ(got, Pattern(i, kSize)) << i;
  }
}

}  // namespace

namespace {

using Loopback3 = nettest::NetTest;

TEST_F(Loopback3, OperationsALayerDoesNotOfferFailWithACode) {
  VQNetAddress a = nettest::Loopback(0);
  VQProtocolLayer* udp = Create(VQLAYER_UDP_SEND, a);
  VQProtocolLayer* client = Create(VQLAYER_TCP_CLIENT, a);
  int32_t who = 5;
  char buffer[4];
  g_VQerror = 0;
  EXPECT_EQ(udp->Accept(), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_OPERATION_NOT_OFFERED);
  g_VQerror = 0;
  EXPECT_EQ(udp->Receive(buffer, sizeof(buffer)), -1);
  EXPECT_EQ(g_VQerror, VQERR_OPERATION_NOT_OFFERED);
  g_VQerror = 0;
  EXPECT_EQ(client->ReceiveFromClient(buffer, sizeof(buffer), &who), -1);
  EXPECT_EQ(g_VQerror, VQERR_OPERATION_NOT_OFFERED);
  EXPECT_EQ(who, -1);
  g_VQerror = 0;
  EXPECT_FALSE(client->CloseClient(0));
  EXPECT_EQ(g_VQerror, VQERR_OPERATION_NOT_OFFERED);
}

}  // namespace
