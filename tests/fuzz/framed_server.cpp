// The framed server layer's receive path over a scripted socket: bytes arrive for up to four
// clients in arbitrary chunks, interleaved in arbitrary order. Whatever arrives, a receive
// hands out a payload that fits the caller's buffer and names an accepted client, waits, or
// drops the client whose stream broke; it never reads or writes out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Zentri/devices/network/VQProtocolLayer.h"
#include "Zentri/util/VQerror.h"

namespace {

constexpr int32_t kClients = 4;

// A server socket whose clients' bytes come from the fuzz input: each read takes a byte
// naming the client, a byte giving the chunk size, then the chunk.
class ScriptedServerSocket : public VQSocket {
 public:
  ScriptedServerSocket(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Start() override {
    m_flags = VQSOCKET_OPEN;
    return true;
  }
  bool Close() override { return true; }
  VQNetAddress* Accept() override {
    for (int32_t c = 0; c < kClients; ++c) {
      if (m_open[c]) continue;
      m_open[c] = true;
      m_records[c] = VQnet_MakeAddress(127, 0, 0, 1, 1000 + c);
      m_records[c].m_channel = static_cast<uint32_t>(c);
      return &m_records[c];
    }
    return nullptr;
  }
  bool CloseClient(int32_t client) override {
    if (client < 0 || client >= kClients || !m_open[client]) abort();  // the layer names only its clients
    m_open[client] = false;
    return true;
  }
  int32_t ReceiveFromClient(void* buffer, int32_t length, int32_t* client) override {
    *client = -1;
    if (m_at + 2 > m_size) return 0;
    int32_t c = m_data[m_at] % kClients;
    size_t n = 1 + m_data[m_at + 1] * 131u;
    m_at += 2;
    if (!m_open[c]) return 0;
    if (n > m_size - m_at) n = m_size - m_at;
    if (n > static_cast<size_t>(length)) n = static_cast<size_t>(length);
    std::memcpy(buffer, m_data + m_at, n);
    m_at += n;
    *client = c;
    return static_cast<int32_t>(n);
  }
  bool Exhausted() const { return m_at + 2 > m_size; }
  bool IsOpen(int32_t c) const { return c >= 0 && c < kClients && m_open[c]; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
  bool m_open[kClients] = {};
  VQNetAddress m_records[kClients];
};

class ScriptedServerLayer : public VQFramedTcpServerLayer {
 public:
  ScriptedServerLayer(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  ScriptedServerSocket* Scripted() { return static_cast<ScriptedServerSocket*>(m_socket); }

 protected:
  VQSocket* CreateSocket() override { return new ScriptedServerSocket(m_data, m_size); }

 private:
  const uint8_t* m_data;
  size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int32_t capacity = data[0] == 0xff ? static_cast<int32_t>(VQFRAME_MAX_PAYLOAD) : data[0] * 3;
  ScriptedServerLayer layer(data + 1, size - 1);
  VQNetAddress address = VQnet_MakeAddress(127, 0, 0, 1, 0);
  if (!layer.Open(&address) || !layer.Start()) abort();
  std::vector<uint8_t> out(VQFRAME_MAX_PAYLOAD);
  for (int guard = 0; guard < 100000; ++guard) {
    while (layer.Accept() != nullptr) {
    }
    int32_t client = -2;
    int32_t n = layer.ReceiveFromClient(out.data(), capacity, &client);
    if (n > capacity) abort();
    if (n > 0 && !layer.Scripted()->IsOpen(client)) abort();
    if (n < 0 && client >= 0) {
      if (g_VQerror == VQERR_BUFFER_TOO_SMALL) {
        // The frame waits for a larger buffer.
        n = layer.ReceiveFromClient(out.data(), static_cast<int32_t>(out.size()), &client);
        if (n < 0) abort();
      }
    }
    if (n == 0 && layer.Scripted()->Exhausted()) break;
  }
  return 0;
}
