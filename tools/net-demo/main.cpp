// net-demo: the connection device and its framed protocol layers at work.
//
//   net-demo echo PORT          framed TCP server on 127.0.0.1:PORT sending every message back
//                               to its sender, and a UDP socket on the same port sending every
//                               datagram back; runs until killed. PORT 0 picks a free port.
//   net-demo send HOST PORT TEXT...
//                               connects, sends each TEXT as one framed message, prints the
//                               replies.
//
// Output lines: "listening tcp 127.0.0.1:P udp 127.0.0.1:P", "open N A.B.C.D:P", "close N",
// "reply TEXT"; failures go to stderr with the engine error (number, name and meaning).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace {

constexpr auto kIdlePause = std::chrono::milliseconds(1);
constexpr auto kReplyTimeout = std::chrono::seconds(10);

int Usage(FILE* to = stderr) {
  std::fprintf(to, "usage: net-demo echo PORT\n       net-demo send HOST PORT TEXT...\n");
  return to == stderr ? 2 : 0;
}

int BadPort(const char* text) {
  std::fprintf(stderr, "net-demo: PORT '%s': needs a whole number from 0 to 65535\n", text);
  return 2;
}

bool ParsePort(const char* text, uint32_t* port) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value > 0xffff) return false;
  *port = static_cast<uint32_t>(value);
  return true;
}

int Fail(const char* what) {
  std::fprintf(stderr, "net-demo: %s failed (%s)\n", what, VQerror_Describe(g_VQerror).c_str());
  return 1;
}

VQConnectionDevice* OpenDevice() {
  VQConnectionDevice* device = static_cast<VQConnectionDevice*>(VQnet_GetConnectionDevice(VQDEVICE_CONNECTION, 0));
  if (device == nullptr || !device->Open(0)) return nullptr;
  return device;
}

int Echo(uint32_t port) {
  VQConnectionDevice* device = OpenDevice();
  if (device == nullptr) return Fail("opening the connection device");
  VQNetAddress address = VQnet_MakeAddress(127, 0, 0, 1, port);
  VQProtocolLayer* server = device->CreateLayer(&address, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_SERVER);
  if (server == nullptr || !server->Start()) return Fail("starting the TCP server");
  address.m_port = server->GetLocalPort();
  auto* udp = static_cast<VQUdpReceiveLayer*>(device->CreateLayer(&address, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE));
  if (udp == nullptr || !udp->Start()) return Fail("starting the UDP socket");
  std::printf("listening tcp 127.0.0.1:%u udp 127.0.0.1:%u\n", server->GetLocalPort(), udp->GetLocalPort());

  static uint8_t buffer[VQFRAME_MAX_SIZE];
  for (;;) {
    bool busy = false;
    while (VQNetAddress* client = server->Accept()) {
      char text[VQNET_ADDRESS_TEXT_SIZE];
      VQnet_FormatAddress(client, text);
      std::printf("open %u %s:%u\n", client->m_channel, text, client->m_port);
      busy = true;
    }
    if (g_VQerror == VQERR_SERVER_NO_SLOT) {
      std::printf("refused\n");
      g_VQerror = VQERR_NONE;
    }
    for (;;) {
      int32_t client = -1;
      int32_t n = server->ReceiveFromClient(buffer, sizeof(buffer), &client);
      if (n > 0) {
        server->SendToClient(buffer, n, client);
        busy = true;
        continue;
      }
      if (n < 0 && client >= 0) {
        // A closed peer, a failed connection or a malformed frame (already dropped) ends it.
        if (g_VQerror != VQERR_BAD_HEADER) server->CloseClient(client);
        std::printf("close %d\n", client);
        busy = true;
        continue;
      }
      break;
    }
    for (;;) {
      int32_t n = udp->Receive(buffer, sizeof(buffer));
      if (n <= 0) break;
      udp->SendTo(buffer, n, udp->GetLastSender());
      busy = true;
    }
    server->Flush();
    if (!busy) std::this_thread::sleep_for(kIdlePause);
  }
}

int Send(const char* host, uint32_t port, int count, char** texts) {
  VQConnectionDevice* device = OpenDevice();
  if (device == nullptr) return Fail("opening the connection device");
  VQNetAddress address = VQnet_MakeAddress(0, 0, 0, 0, port);
  address.m_host = host;
  VQProtocolLayer* client = device->CreateLayer(&address, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_CLIENT);
  if (client == nullptr) return Fail("creating the client");
  if (!client->Start()) return Fail("connecting");
  for (int i = 0; i < count; ++i)
    if (client->Send(texts[i], static_cast<int32_t>(std::strlen(texts[i]))) < 0) return Fail("sending");
  static uint8_t buffer[VQFRAME_MAX_SIZE];
  int replies = 0;
  auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
  while (replies < count) {
    int32_t n = client->Receive(buffer, sizeof(buffer));
    if (n < 0) return Fail("receiving");
    if (n > 0) {
      std::printf("reply %.*s\n", n, reinterpret_cast<const char*>(buffer));
      ++replies;
      continue;
    }
    client->Flush();
    if (std::chrono::steady_clock::now() > deadline) {
      std::fprintf(stderr, "net-demo: %d of %d replies before the time-out\n", replies, count);
      return 1;
    }
    std::this_thread::sleep_for(kIdlePause);
  }
  client->Shutdown();
  device->DeleteLayer(client);
  device->Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  uint32_t port = 0;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    return Usage(stdout);
  if (argc == 3 && std::strcmp(argv[1], "echo") == 0) {
    if (!ParsePort(argv[2], &port)) return BadPort(argv[2]);
    return Echo(port);
  }
  if (argc >= 5 && std::strcmp(argv[1], "send") == 0) {
    if (!ParsePort(argv[3], &port)) return BadPort(argv[3]);
    return Send(argv[2], port, argc - 4, argv + 4);
  }
  return Usage();
}
