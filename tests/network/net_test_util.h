// Helpers of the network tests: an open connection device of the test's own, loopback
// layers on free ports, and bounded polling loops (the sockets never block, so every wait
// is a loop of zero-time-out polls with a short pause, ended by a generous deadline).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace nettest {

constexpr auto kDeadline = std::chrono::seconds(20);

// Repeats step until it returns true or the deadline passes; true when it did.
inline bool PollUntil(const std::function<bool()>& step) {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  while (!step()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

inline VQNetAddress Loopback(uint32_t port, uint32_t last = 1) { return VQnet_MakeAddress(127, 0, 0, last, port); }

// Payload bytes that tell message `index` apart at every position.
inline std::vector<uint8_t> Pattern(uint32_t index, uint32_t length) {
  std::vector<uint8_t> bytes(length);
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>((index * 131u + i * 7u + (i >> 8)) & 0xff);
  return bytes;
}

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_device.Open(0)) << g_VQerror;
  }
  void TearDown() override { m_device.Close(); }

  VQProtocolLayer* Create(uint32_t code, const VQNetAddress& address) {
    return m_device.CreateLayer(&address, VQNET_LAYER_MODE, code);
  }

  VQFramedTcpServerLayer* StartFramedServer(uint32_t last = 1) {
    VQNetAddress a = Loopback(0, last);
    auto* server = static_cast<VQFramedTcpServerLayer*>(Create(VQLAYER_FRAMED_TCP_SERVER, a));
    if (server == nullptr || !server->Start()) return nullptr;
    return server;
  }

  // Connects a framed client and has the server accept it; the accepted record in *accepted.
  VQFramedTcpClientLayer* ConnectFramed(VQProtocolLayer* server, VQNetAddress** accepted = nullptr,
                                        uint32_t last = 1) {
    VQNetAddress a = Loopback(server->GetLocalPort(), last);
    auto* client = static_cast<VQFramedTcpClientLayer*>(Create(VQLAYER_FRAMED_TCP_CLIENT, a));
    if (client == nullptr || !client->Start()) return nullptr;
    VQNetAddress* record = nullptr;
    if (!PollUntil([&] { return (record = server->Accept()) != nullptr; })) return nullptr;
    if (accepted) *accepted = record;
    return client;
  }

  // Receives one whole message from a framed client layer (pumping until it comes).
  // `pump` runs before every try (for instance the peer's Flush).
  static int32_t ReceiveOne(VQProtocolLayer* layer, std::vector<uint8_t>* out,
                            const std::function<void()>& pump = nullptr) {
    out->assign(VQFRAME_MAX_SIZE, 0);
    int32_t n = 0;
    PollUntil([&] {
      if (pump) pump();
      n = layer->Receive(out->data(), static_cast<int32_t>(out->size()));
      return n != 0;
    });
    out->resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
  }

  // Receives one whole message from any client of a framed server.
  static int32_t ReceiveFromAny(VQProtocolLayer* server, std::vector<uint8_t>* out, int32_t* client,
                                const std::function<void()>& pump = nullptr) {
    out->assign(VQFRAME_MAX_SIZE, 0);
    int32_t n = 0;
    PollUntil([&] {
      if (pump) pump();
      n = server->ReceiveFromClient(out->data(), static_cast<int32_t>(out->size()), client);
      return n != 0;
    });
    out->resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
  }

  VQConnectionDevice m_device;
};

}  // namespace nettest
