#include "Zentri/devices/network/VQProtocolLayer.h"

#include <cstring>
#include <new>

#include "Zentri/util/VQerror.h"

namespace {

int32_t FailCount(int32_t code) {
  g_VQerror = code;
  return -1;
}

// Frames the payload and hands the frame to `send`; the frame is freed afterwards.
template <typename SendFrame>
int32_t SendFramed(const void* data, int32_t length, SendFrame send) {
  uint32_t size = 0;
  uint8_t* frame = VQframe_Make(data, length, &size);
  if (frame == nullptr) return -1;
  int32_t rc = send(frame, static_cast<int32_t>(size));
  delete[] frame;
  return rc;
}

}  // namespace

// ---- Base.

VQProtocolLayer::VQProtocolLayer(uint32_t code)
    : m_code(code), m_address(nullptr), m_hostText{}, m_open(false), m_socket(nullptr), m_started(false), m_flushArgument(0) {}

VQProtocolLayer::~VQProtocolLayer() {
  delete m_socket;
  delete m_address;
}

bool VQProtocolLayer::Open(const VQNetAddress* address) {
  if (address == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_socket != nullptr && (m_socket->GetFlags() & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_ALREADY_OPEN);
  if (address->m_host != nullptr && std::strlen(address->m_host) >= sizeof(m_hostText))
    return VQerror_Fail(VQERR_NAME_TOO_LONG);
  if (m_address == nullptr) {
    m_address = new (std::nothrow) VQNetAddress{};
    if (m_address == nullptr) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  if (m_socket == nullptr) {
    m_socket = CreateSocket();
    if (m_socket == nullptr) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  // The copy keeps its own host text: the caller's may not outlive the layer.
  *m_address = *address;
  if (address->m_host != nullptr) {
    std::memcpy(m_hostText, address->m_host, std::strlen(address->m_host) + 1);
    m_address->m_host = m_hostText;
  }
  m_open = true;
  m_started = true;
  m_socket->SetAddress(m_address);
  return true;
}

bool VQProtocolLayer::Start() { return m_socket ? m_socket->Start() : VQerror_Fail(VQERR_SOCKET_NOT_STARTED); }
bool VQProtocolLayer::Shutdown() { return m_socket ? m_socket->Shutdown() : VQerror_Fail(VQERR_SOCKET_NOT_STARTED); }
bool VQProtocolLayer::Close() { return m_socket ? m_socket->Close() : VQerror_Fail(VQERR_SOCKET_NOT_STARTED); }
bool VQProtocolLayer::HasCapability(uint32_t) { return false; }

int32_t VQProtocolLayer::SendTo(const void* data, int32_t length, const VQNetAddress* address) {
  return m_socket ? m_socket->SendTo(data, length, address) : FailCount(VQERR_SOCKET_NOT_STARTED);
}
int32_t VQProtocolLayer::SendToClient(const void* data, int32_t length, int32_t client) {
  return m_socket ? m_socket->SendToClient(data, length, client) : FailCount(VQERR_SOCKET_NOT_STARTED);
}
int32_t VQProtocolLayer::Send(const void* data, int32_t length) {
  return m_socket ? m_socket->Send(data, length) : FailCount(VQERR_SOCKET_NOT_STARTED);
}
int32_t VQProtocolLayer::ReceiveFromClient(void* buffer, int32_t length, int32_t* client) {
  return m_socket ? m_socket->ReceiveFromClient(buffer, length, client) : FailCount(VQERR_SOCKET_NOT_STARTED);
}
int32_t VQProtocolLayer::Receive(void* buffer, int32_t length) {
  return m_socket ? m_socket->Receive(buffer, length) : FailCount(VQERR_SOCKET_NOT_STARTED);
}
VQNetAddress* VQProtocolLayer::Accept() {
  if (m_socket) return m_socket->Accept();
  g_VQerror = VQERR_SOCKET_NOT_STARTED;
  return nullptr;
}
bool VQProtocolLayer::ShutdownClient(int32_t client) {
  return m_socket ? m_socket->ShutdownClient(client) : VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
}
bool VQProtocolLayer::CloseClient(int32_t client) {
  return m_socket ? m_socket->CloseClient(client) : VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
}
bool VQProtocolLayer::Flush() { return m_socket ? m_socket->Flush(m_flushArgument) : VQerror_Fail(VQERR_SOCKET_NOT_STARTED); }

// ---- Plain layers.

VQSocket* VQUdpReceiveLayer::CreateSocket() { return new (std::nothrow) VQUdpReceiveSocket(); }

const VQNetAddress* VQUdpReceiveLayer::GetLastSender() const {
  return m_socket ? static_cast<const VQUdpReceiveSocket*>(m_socket)->GetLastSender() : nullptr;
}

VQSocket* VQUdpSendLayer::CreateSocket() { return new (std::nothrow) VQUdpSendSocket(); }

VQTcpServerLayer::VQTcpServerLayer() : VQTcpServerLayer(VQLAYER_TCP_SERVER) {}

VQSocket* VQTcpServerLayer::CreateSocket() { return new (std::nothrow) VQTcpServerSocket(); }

int32_t VQTcpServerLayer::Send(const void* data, int32_t length) {
  if (data == nullptr && length == 0) return Flush() ? 0 : -1;
  return VQProtocolLayer::Send(data, length);
}

VQSocket* VQTcpClientLayer::CreateSocket() { return new (std::nothrow) VQTcpClientSocket(); }

// ---- Framed client.

VQFramedTcpClientLayer::VQFramedTcpClientLayer() : VQTcpClientLayer(VQLAYER_FRAMED_TCP_CLIENT), m_frames(VQFRAME_MAX_SIZE) {}

bool VQFramedTcpClientLayer::Open(const VQNetAddress* address) {
  if (!m_frames.IsValid()) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  if (!VQTcpClientLayer::Open(address)) return false;
  m_frames.Clear();
  return true;
}

int32_t VQFramedTcpClientLayer::Send(const void* data, int32_t length) {
  return SendFramed(data, length, [this](const uint8_t* f, int32_t n) { return VQTcpClientLayer::Send(f, n); });
}

int32_t VQFramedTcpClientLayer::SendToClient(const void* data, int32_t length, int32_t client) {
  return SendFramed(data, length,
                    [this, client](const uint8_t* f, int32_t n) { return VQTcpClientLayer::SendToClient(f, n, client); });
}

int32_t VQFramedTcpClientLayer::Receive(void* buffer, int32_t length) { return ReceiveFrame(buffer, length); }

bool VQFramedTcpClientLayer::Close() {
  m_frames.Clear();
  return VQTcpClientLayer::Close();
}

int32_t VQFramedTcpClientLayer::ReceiveFrame(void* buffer, int32_t length) {
  if (m_socket == nullptr) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (m_frames.State() == VQFrameState::Incomplete) {
    int32_t got = m_socket->Receive(m_frames.Tail(), static_cast<int32_t>(m_frames.FreeSpace()));
    if (got < 0) return -1;
    m_frames.Commit(static_cast<uint32_t>(got));
  }
  switch (m_frames.State()) {
    case VQFrameState::Malformed:
      // Nothing after a broken header can be trusted to start a frame.
      m_frames.Clear();
      m_socket->Close();
      return FailCount(VQERR_BAD_HEADER);
    case VQFrameState::Incomplete:
      return 0;
    case VQFrameState::Complete:
    default:
      return m_frames.Take(buffer, length);
  }
}

// ---- Framed server.

VQFramedTcpServerLayer::VQFramedTcpServerLayer()
    : VQTcpServerLayer(VQLAYER_FRAMED_TCP_SERVER), m_channels{}, m_scratch(new (std::nothrow) uint8_t[VQFRAME_MAX_SIZE]), m_lastServed(-1), m_scanStart(0) {}

VQFramedTcpServerLayer::~VQFramedTcpServerLayer() {
  for (VQFrameBuffer*& c : m_channels) {
    delete c;
    c = nullptr;
  }
  delete[] m_scratch;
}

bool VQFramedTcpServerLayer::Open(const VQNetAddress* address) {
  if (m_scratch == nullptr) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  return VQTcpServerLayer::Open(address);
}

int32_t VQFramedTcpServerLayer::Send(const void* data, int32_t length) {
  return SendFramed(data, length, [this](const uint8_t* f, int32_t n) { return VQProtocolLayer::Send(f, n); });
}

int32_t VQFramedTcpServerLayer::SendToClient(const void* data, int32_t length, int32_t client) {
  return SendFramed(data, length,
                    [this, client](const uint8_t* f, int32_t n) { return VQProtocolLayer::SendToClient(f, n, client); });
}

int32_t VQFramedTcpServerLayer::Receive(void*, int32_t) { return FailCount(VQERR_UNSUPPORTED_OPERATION); }

int32_t VQFramedTcpServerLayer::ReceiveFromClient(void* buffer, int32_t length, int32_t* client) {
  return ReceiveFrame(buffer, length, client);
}

VQNetAddress* VQFramedTcpServerLayer::Accept() {
  VQNetAddress* client = VQProtocolLayer::Accept();
  if (client == nullptr) return nullptr;
  uint32_t c = client->m_channel;
  delete m_channels[c];
  m_channels[c] = new (std::nothrow) VQFrameBuffer(kChannelBufferSize);
  if (m_channels[c] == nullptr || !m_channels[c]->IsValid()) {
    DropChannel(c);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  return client;
}

void VQFramedTcpServerLayer::DropChannel(uint32_t channel) {
  delete m_channels[channel];
  m_channels[channel] = nullptr;
  if (m_socket) m_socket->CloseClient(static_cast<int32_t>(channel));
}

bool VQFramedTcpServerLayer::CloseClient(int32_t client) {
  if (client >= 0 && static_cast<uint32_t>(client) < VQNET_SERVER_CHANNELS) {
    delete m_channels[client];
    m_channels[client] = nullptr;
  }
  return VQProtocolLayer::CloseClient(client);
}

bool VQFramedTcpServerLayer::Close() {
  for (VQFrameBuffer*& c : m_channels) {
    delete c;
    c = nullptr;
  }
  return VQProtocolLayer::Close();
}

int32_t VQFramedTcpServerLayer::Deliver(uint32_t channel, void* buffer, int32_t length) {
  m_lastServed = static_cast<int32_t>(channel);
  return m_channels[channel]->Take(buffer, length);
}

int32_t VQFramedTcpServerLayer::ReceiveFrame(void* buffer, int32_t length, int32_t* client) {
  int32_t unused;
  if (client == nullptr) client = &unused;
  m_lastServed = -1;
  *client = -1;
  if (m_socket == nullptr) return FailCount(VQERR_SOCKET_NOT_STARTED);
  for (uint32_t n = 0; n < VQNET_SERVER_CHANNELS; ++n) {
    uint32_t c = (m_scanStart + n) % VQNET_SERVER_CHANNELS;
    if (m_channels[c] == nullptr) continue;
    VQFrameState state = m_channels[c]->State();
    if (state == VQFrameState::Incomplete) continue;
    *client = m_lastServed = static_cast<int32_t>(c);
    if (state == VQFrameState::Complete) return Deliver(c, buffer, length);
    // Bytes left behind a delivered frame that cannot start a frame.
    DropChannel(c);
    return FailCount(VQERR_BAD_HEADER);
  }
  int32_t from = -1;
  int32_t got = m_socket->ReceiveFromClient(m_scratch, static_cast<int32_t>(VQFRAME_MAX_SIZE), &from);
  m_lastServed = from;
  *client = from;
  if (got <= 0) return got;
  uint32_t c = static_cast<uint32_t>(from);
  if (m_channels[c] == nullptr) {  // accepted on the socket directly, not through this layer
    m_channels[c] = new (std::nothrow) VQFrameBuffer(kChannelBufferSize);
    if (m_channels[c] == nullptr || !m_channels[c]->IsValid()) {
      DropChannel(c);
      return FailCount(VQERR_OUT_OF_MEMORY);
    }
  }
  if (!m_channels[c]->Append(m_scratch, static_cast<uint32_t>(got))) {
    DropChannel(c);
    return FailCount(VQERR_BUFFER_TOO_SMALL);
  }
  switch (m_channels[c]->State()) {
    case VQFrameState::Malformed:
      DropChannel(c);
      return FailCount(VQERR_BAD_HEADER);
    case VQFrameState::Incomplete:
      return 0;
    case VQFrameState::Complete:
    default:
      return Deliver(c, buffer, length);
  }
}
