// The connection device over loopback, in one process: framed messages per second from a
// framed client to a framed server (pipelined batches of 64 messages), and the round-trip
// time of one message echoed back. The baseline moves the same byte counts through the same
// socket objects without framing: the cost of the polled sockets themselves, so the ratio
// shows what framing and whole-message delivery add.
#include <benchmark/benchmark.h>

#include <vector>

#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace {

constexpr uint32_t kBatch = 64;

struct Pair {
  VQConnectionDevice device;
  VQFramedTcpServerLayer* server = nullptr;
  VQFramedTcpClientLayer* client = nullptr;
  int32_t channel = -1;

  bool Setup() {
    if (!device.Open(0)) return false;
    VQNetAddress a = VQnet_MakeAddress(127, 0, 0, 1, 0);
    server = static_cast<VQFramedTcpServerLayer*>(device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_SERVER));
    if (server == nullptr || !server->Start()) return false;
    a.m_port = server->GetLocalPort();
    client = static_cast<VQFramedTcpClientLayer*>(device.CreateLayer(&a, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_CLIENT));
    if (client == nullptr || !client->Start()) return false;
    for (int i = 0; i < 100000; ++i) {
      if (VQNetAddress* r = server->Accept()) {
        channel = static_cast<int32_t>(r->m_channel);
        return true;
      }
    }
    return false;
  }
  ~Pair() { device.Close(); }
};

void BM_Baseline_RawSocketBytes(benchmark::State& state) {
  Pair p;
  if (!p.Setup()) {
    state.SkipWithError("no loopback connection");
    return;
  }
  const int32_t size = static_cast<int32_t>(state.range(0)) + static_cast<int32_t>(VQFRAME_HEADER_SIZE);
  std::vector<uint8_t> frame(static_cast<size_t>(size), 4), in(static_cast<size_t>(size) * kBatch);
  VQSocket* tx = p.client->GetSocket();
  for (auto _ : state) {
    for (uint32_t i = 0; i < kBatch; ++i) tx->Send(frame.data(), size);
    int64_t got = 0, want = static_cast<int64_t>(size) * kBatch;
    while (got < want) {
      int32_t from = -1;
      int32_t n = p.server->GetSocket()->ReceiveFromClient(in.data(), static_cast<int32_t>(in.size()), &from);
      if (n < 0) {
        state.SkipWithError("receive failed");
        return;
      }
      got += n;
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * size);
}
BENCHMARK(BM_Baseline_RawSocketBytes)->Arg(64)->Arg(1024);

void BM_FramedMessagesPerSecond(benchmark::State& state) {
  Pair p;
  if (!p.Setup()) {
    state.SkipWithError("no loopback connection");
    return;
  }
  const int32_t size = static_cast<int32_t>(state.range(0));
  std::vector<uint8_t> message(static_cast<size_t>(size), 0x42), in(VQFRAME_MAX_SIZE);
  for (auto _ : state) {
    for (uint32_t i = 0; i < kBatch; ++i) p.client->Send(message.data(), size);
    uint32_t got = 0;
    while (got < kBatch) {
      int32_t from = -1;
      int32_t n = p.server->ReceiveFromClient(in.data(), static_cast<int32_t>(in.size()), &from);
      if (n < 0) {
        state.SkipWithError("receive failed");
        return;
      }
      if (n > 0) ++got;
      else p.client->Flush();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.SetBytesProcessed(state.iterations() * kBatch * (size + VQFRAME_HEADER_SIZE));
}
BENCHMARK(BM_FramedMessagesPerSecond)->Arg(64)->Arg(1024);

void BM_FramedRoundTrip(benchmark::State& state) {
  Pair p;
  if (!p.Setup()) {
    state.SkipWithError("no loopback connection");
    return;
  }
  std::vector<uint8_t> message(64, 0x17), in(VQFRAME_MAX_SIZE);
  for (auto _ : state) {
    p.client->Send(message.data(), static_cast<int32_t>(message.size()));
    int32_t n = 0, from = -1;
    while ((n = p.server->ReceiveFromClient(in.data(), static_cast<int32_t>(in.size()), &from)) == 0) {
    }
    p.server->SendToClient(in.data(), n, from);
    while ((n = p.client->Receive(in.data(), static_cast<int32_t>(in.size()))) == 0) {
    }
    if (n < 0) {
      state.SkipWithError("echo failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FramedRoundTrip);

}  // namespace
