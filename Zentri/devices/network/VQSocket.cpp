#include "Zentri/devices/network/VQSocket.h"

#include <cstring>
#include <new>

#include "Zentri/util/VQerror.h"

namespace hn = host::net;

namespace {

constexpr int kStreamProtocol = 0;
constexpr uint32_t kNonBlocking = 1;

// Sets the handle's non-blocking mode; false with g_VQerror on failure.
bool SetNonBlocking(uintptr_t handle) {
  uint32_t value = kNonBlocking;
  if (g_VQwinsock.ioctlsocket(handle, hn::fionbio, &value) != 0) return VQnet_FailFromSocket();
  return true;
}

bool SetOption(uintptr_t handle, int name) {
  int32_t on = 1;
  if (g_VQwinsock.setsockopt(handle, hn::sol_socket, name, reinterpret_cast<const char*>(&on), sizeof(on)) != 0)
    return VQnet_FailFromSocket();
  return true;
}

// Failure of an operation that returns a byte count: the code, -1.
int32_t FailCount(int32_t code) {
  g_VQerror = code;
  return -1;
}

int32_t SocketFailCount() {
  VQnet_FailFromSocket();
  return -1;
}

bool WouldBlock() { return g_VQwinsock.WSAGetLastError() == hn::wsa_error::would_block; }

bool ConnectionLost(int wsaError) {
  return wsaError == hn::wsa_error::connection_reset || wsaError == hn::wsa_error::connection_aborted ||
         wsaError == hn::wsa_error::shutdown || wsaError == hn::wsa_error::not_connected;
}

// Fills a record from a network-order socket address; the host text goes into `text`.
void FillRecord(const hn::socket_address& from, VQNetAddress* record, char* text, uint32_t channel) {
  *record = VQNetAddress{};
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&from.address);
  for (int i = 0; i < 4; ++i) record->m_bytes[i] = b[i];
  VQnet_FormatAddress(record, text);
  record->m_host = text;
  record->m_port = hn::net_to_host_short(from.port);
  record->m_channel = channel;
}

}  // namespace

// ---- Base.

VQSocket::VQSocket() : m_address(nullptr), m_flags(0), m_queue(nullptr), m_handle(VQNET_NO_SOCKET), m_timeout{} {}

VQSocket::~VQSocket() {
  CloseHandle(&m_handle);
  delete m_queue;
}

bool VQSocket::LibraryReady() { return VQnet_IsLoaded() || VQerror_Fail(VQERR_NOT_OPEN); }

bool VQSocket::CloseHandle(uintptr_t* handle) {
  if (*handle == VQNET_NO_SOCKET) return true;
  uintptr_t h = *handle;
  *handle = VQNET_NO_SOCKET;  // released either way: a failed close leaves nothing to retry
  if (!VQnet_IsLoaded()) return VQerror_Fail(VQERR_NOT_OPEN);
  if (g_VQwinsock.closesocket(h) != 0) return VQnet_FailFromSocket();
  return true;
}

bool VQSocket::SetAddress(const VQNetAddress* address) {
  if (m_flags & VQSOCKET_OPEN) return VQerror_Fail(VQERR_ALREADY_OPEN);
  m_address = address;
  m_timeout = hn::time_value{};
  return true;
}

// Operations a socket class does not offer.
bool VQSocket::HasCapability(uint32_t) { return false; }
int32_t VQSocket::SendTo(const void*, int32_t, const VQNetAddress*) { return FailCount(VQERR_OPERATION_NOT_OFFERED); }
int32_t VQSocket::SendToClient(const void*, int32_t, int32_t) { return FailCount(VQERR_OPERATION_NOT_OFFERED); }
int32_t VQSocket::Send(const void*, int32_t) { return FailCount(VQERR_OPERATION_NOT_OFFERED); }
bool VQSocket::Flush(int32_t) { return VQerror_Fail(VQERR_OPERATION_NOT_OFFERED); }
int32_t VQSocket::ReceiveFromClient(void*, int32_t, int32_t* client) {
  if (client) *client = -1;
  return FailCount(VQERR_OPERATION_NOT_OFFERED);
}
int32_t VQSocket::Receive(void*, int32_t) { return FailCount(VQERR_OPERATION_NOT_OFFERED); }
VQNetAddress* VQSocket::Accept() {
  g_VQerror = VQERR_OPERATION_NOT_OFFERED;
  return nullptr;
}
bool VQSocket::CloseClient(int32_t) { return VQerror_Fail(VQERR_OPERATION_NOT_OFFERED); }
bool VQSocket::Shutdown() { return VQerror_Fail(VQERR_OPERATION_NOT_OFFERED); }
bool VQSocket::ShutdownClient(int32_t) { return VQerror_Fail(VQERR_OPERATION_NOT_OFFERED); }

uint16_t VQSocket::GetLocalPort() const { return m_handle == VQNET_NO_SOCKET ? 0 : hn::local_port(m_handle); }

int VQSocket::Poll(uintptr_t handle, bool forWrite) {
  hn::socket_set set;
  hn::set_add(&set, handle);
  int rc = g_VQwinsock.select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &m_timeout);
  if (rc < 0) {
    VQnet_FailFromSocket();
    return -1;
  }
  return g_VQwinsock.WSAFDIsSet(handle, &set) ? 1 : 0;
}

bool VQSocket::WriteQueue(uint32_t channel, uintptr_t handle) {
  if (m_queue == nullptr || m_queue->IsEmpty(channel)) return true;
  while (!m_queue->IsEmpty(channel)) {
    int ready = Poll(handle, true);
    if (ready < 0) return false;
    if (ready == 0) return VQerror_Fail(VQERR_SEND_INCOMPLETE);
    const uint8_t* data;
    uint32_t length;
    m_queue->Peek(channel, &data, &length);
    int sent = g_VQwinsock.send(handle, reinterpret_cast<const char*>(data), static_cast<int>(length), 0);
    if (sent < 0) {
      if (WouldBlock()) return VQerror_Fail(VQERR_SEND_INCOMPLETE);
      return VQnet_FailFromSocket();
    }
    if (static_cast<uint32_t>(sent) < length) {
      m_queue->Consume(channel, length - static_cast<uint32_t>(sent));
      return VQerror_Fail(VQERR_SEND_INCOMPLETE);
    }
    m_queue->Dequeue(channel);
  }
  return true;
}

int32_t VQSocket::SendInOrder(uint32_t channel, uintptr_t handle, const void* data, int32_t length,
                              VQQueueBuffer** shared) {
  // What waits goes first; a peer that takes nothing more is not a failure here.
  if (!m_queue->IsEmpty(channel) && !WriteQueue(channel, handle) && g_VQerror != VQERR_SEND_INCOMPLETE) return -1;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint32_t sent = 0;
  if (m_queue->IsEmpty(channel)) {
    int ready = Poll(handle, true);
    if (ready < 0) return -1;
    if (ready > 0) {
      int rc = g_VQwinsock.send(handle, reinterpret_cast<const char*>(bytes), length, 0);
      if (rc < 0 && !WouldBlock()) {
        VQnet_FailFromSocket();
        return -1;
      }
      sent = rc < 0 ? 0 : static_cast<uint32_t>(rc);
    }
  } else if (m_queue->QueuedBytes(channel) + static_cast<uint64_t>(length) > VQNET_QUEUE_LIMIT) {
    g_VQerror = VQERR_SEND_INCOMPLETE;
    return -1;
  }
  if (sent < static_cast<uint32_t>(length)) {
    // The rest of a partial send must follow the bytes already on the wire, so it cannot
    // share a broadcast copy that starts at the message's first byte.
    VQQueueBuffer* own = nullptr;
    VQQueueBuffer** use = (sent == 0 && shared != nullptr) ? shared : &own;
    if (!m_queue->EnqueueShared(channel, bytes + sent, static_cast<uint32_t>(length) - sent, use)) {
      if (sent == 0) return -1;
      // Part of the message is on the wire and the rest cannot be kept: the stream is broken.
      m_flags |= VQSOCKET_PEER_CLOSED;
      return -1;
    }
  }
  return length;
}

int32_t VQSocket::ReceiveStream(uintptr_t handle, uint32_t* flags, void* buffer, int32_t length) {
  int ready = Poll(handle, false);
  if (ready <= 0) return ready;
  int rc = g_VQwinsock.recv(handle, static_cast<char*>(buffer), length, 0);
  if (rc > 0) return rc;
  if (rc == 0 || ConnectionLost(g_VQwinsock.WSAGetLastError())) {
    *flags |= VQSOCKET_PEER_CLOSED;
    g_VQerror = VQERR_SOCKET_CLOSED;
    return -1;
  }
  if (WouldBlock()) return 0;
  VQnet_FailFromSocket();
  return -1;
}

// ---- TCP client.

VQTcpClientSocket::VQTcpClientSocket() { m_queue = new (std::nothrow) VQChannelQueue(1); }

VQTcpClientSocket::~VQTcpClientSocket() { Close(); }

bool VQTcpClientSocket::Start() {
  if (m_flags & VQSOCKET_OPEN) return VQerror_Fail(VQERR_ALREADY_OPEN);
  if (!LibraryReady()) return false;
  if (m_queue == nullptr || m_queue->ChannelCount() == 0) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  hn::socket_address target;
  if (!VQnet_BuildSocketAddress(m_address, &target)) return false;
  m_handle = g_VQwinsock.socket(hn::af_inet, hn::sock_stream, kStreamProtocol);
  if (m_handle == VQNET_NO_SOCKET) return VQnet_FailFromSocket();
  bool ok;
  if (m_flags & VQSOCKET_CONNECT_IN_BACKGROUND) {
    // A connection under way is "would block" (Windows Sockets) or "in progress" (POSIX).
    ok = SetNonBlocking(m_handle);
    if (ok && g_VQwinsock.connect(m_handle, &target, sizeof(target)) != 0) {
      const int error = g_VQwinsock.WSAGetLastError();
      if (error != hn::wsa_error::would_block && error != hn::wsa_error::in_progress)
        ok = VQnet_FailFromSocket();
    }
  } else {
    ok = (g_VQwinsock.connect(m_handle, &target, sizeof(target)) == 0 || VQnet_FailFromSocket()) &&
         SetNonBlocking(m_handle);
  }
  if (!ok) {
    int32_t error = g_VQerror;
    CloseHandle(&m_handle);
    return VQerror_Fail(error);
  }
  m_queue->SetActive(0, true);
  m_flags = VQSOCKET_OPEN;
  return true;
}

bool VQTcpClientSocket::Close() {
  bool ok = CloseHandle(&m_handle);
  if (m_queue) {
    m_queue->Clear(0);
    m_queue->SetActive(0, false);
  }
  m_flags = 0;
  return ok;
}

int32_t VQTcpClientSocket::Send(const void* data, int32_t length) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (m_flags & (VQSOCKET_SHUT_DOWN | VQSOCKET_PEER_CLOSED)) return FailCount(VQERR_SOCKET_CLOSED);
  if (length < 0 || (data == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  if (length == 0) return 0;
  int32_t rc = SendInOrder(0, m_handle, data, length, nullptr);
  if (rc < 0 && g_VQerror == VQERR_SOCKET_CLOSED) m_flags |= VQSOCKET_PEER_CLOSED;
  return rc;
}

int32_t VQTcpClientSocket::Receive(void* buffer, int32_t length) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (m_flags & VQSOCKET_PEER_CLOSED) return FailCount(VQERR_SOCKET_CLOSED);
  if (length < 0 || (buffer == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  if (!(m_flags & VQSOCKET_SHUT_DOWN) && !m_queue->IsEmpty(0)) WriteQueue(0, m_handle);
  return ReceiveStream(m_handle, &m_flags, buffer, length);
}

bool VQTcpClientSocket::Flush(int32_t) {
  if (!(m_flags & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
  if ((m_flags & VQSOCKET_SHUT_DOWN) && !m_queue->IsEmpty(0)) return VQerror_Fail(VQERR_SYSTEM);
  return WriteQueue(0, m_handle);
}

bool VQTcpClientSocket::Shutdown() {
  if (!(m_flags & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_CONNECTION_STATE);
  if (m_flags & VQSOCKET_SHUT_DOWN) return true;
  if (m_flags & VQSOCKET_PEER_CLOSED) m_queue->Clear(0);  // nobody left to take it
  if (!WriteQueue(0, m_handle)) return false;
  if (g_VQwinsock.shutdown(m_handle, hn::sd_send) != 0) return VQnet_FailFromSocket();
  m_flags |= VQSOCKET_SHUT_DOWN;
  m_queue->SetActive(0, false);
  return true;
}

// ---- TCP server.

VQTcpServerSocket::VQTcpServerSocket() : m_clientAddresses{}, m_clientTexts{}, m_clientFlags{}, m_clientCount(0), m_scanStart(0) {
  for (uintptr_t& c : m_clients) c = VQNET_NO_SOCKET;
  m_queue = new (std::nothrow) VQChannelQueue(VQNET_SERVER_CHANNELS);
}

VQTcpServerSocket::~VQTcpServerSocket() { Close(); }

bool VQTcpServerSocket::SetAddress(const VQNetAddress* address) {
  if (!VQSocket::SetAddress(address)) return false;
  for (uint32_t& f : m_clientFlags) f = 0;
  m_clientCount = 0;
  m_scanStart = 0;
  return true;
}

bool VQTcpServerSocket::ValidClient(int32_t client) const {
  return client >= 0 && static_cast<uint32_t>(client) < VQNET_SERVER_CHANNELS;
}

uint32_t VQTcpServerSocket::GetClientFlags(int32_t client) const {
  return ValidClient(client) ? m_clientFlags[client] : 0;
}

bool VQTcpServerSocket::Start() {
  if (m_flags & VQSOCKET_OPEN) return VQerror_Fail(VQERR_ALREADY_OPEN);
  if (!LibraryReady()) return false;
  if (m_queue == nullptr || m_queue->ChannelCount() == 0) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  hn::socket_address local;
  if (!VQnet_BuildSocketAddress(m_address, &local)) return false;
  m_handle = g_VQwinsock.socket(hn::af_inet, hn::sock_stream, kStreamProtocol);
  if (m_handle == VQNET_NO_SOCKET) return VQnet_FailFromSocket();
  bool ok = SetOption(m_handle, hn::so_reuseaddr) &&
            (g_VQwinsock.bind(m_handle, &local, sizeof(local)) == 0 || VQnet_FailFromSocket()) &&
            (g_VQwinsock.listen(m_handle, VQNET_SERVER_BACKLOG) == 0 || VQnet_FailFromSocket()) &&
            SetNonBlocking(m_handle);
  if (!ok) {
    int32_t error = g_VQerror;
    CloseHandle(&m_handle);
    return VQerror_Fail(error);
  }
  m_flags = VQSOCKET_OPEN;
  return true;
}

void VQTcpServerSocket::ForgetClient(uint32_t slot) {
  m_clientFlags[slot] = 0;
  m_queue->Clear(slot);
  m_queue->SetActive(slot, false);
  if (m_clientCount > 0) --m_clientCount;
}

VQNetAddress* VQTcpServerSocket::Accept() {
  if (!(m_flags & VQSOCKET_OPEN) || m_handle == VQNET_NO_SOCKET) {
    g_VQerror = VQERR_SOCKET_NOT_STARTED;
    return nullptr;
  }
  int ready = Poll(m_handle, false);
  if (ready < 0) return nullptr;
  if (ready == 0) {
    g_VQerror = VQERR_NONE;
    return nullptr;
  }
  hn::socket_address peer;
  int peerLength = sizeof(peer);
  uintptr_t handle = g_VQwinsock.accept(m_handle, &peer, &peerLength);
  if (handle == VQNET_NO_SOCKET) {
    if (WouldBlock()) {  // the peer gave up between poll and accept
      g_VQerror = VQERR_NONE;
      return nullptr;
    }
    VQnet_FailFromSocket();
    return nullptr;
  }
  uint32_t slot = VQNET_SERVER_CHANNELS;
  if (m_clientCount < VQNET_MAX_CLIENTS) {
    for (uint32_t i = 0; i < VQNET_SERVER_CHANNELS && slot == VQNET_SERVER_CHANNELS; ++i)
      if (!(m_clientFlags[i] & VQSOCKET_OPEN)) slot = i;
  }
  if (slot == VQNET_SERVER_CHANNELS) {
    // Refused: the peer sees its connection closed instead of waiting unserved.
    CloseHandle(&handle);
    g_VQerror = VQERR_SERVER_NO_SLOT;
    return nullptr;
  }
  if (!SetNonBlocking(handle)) {
    int32_t error = g_VQerror;
    CloseHandle(&handle);
    g_VQerror = error;
    return nullptr;
  }
  m_clients[slot] = handle;
  m_clientFlags[slot] = VQSOCKET_OPEN;
  FillRecord(peer, &m_clientAddresses[slot], m_clientTexts[slot], slot);
  ++m_clientCount;
  m_queue->Clear(slot);
  m_queue->SetActive(slot, true);
  return &m_clientAddresses[slot];
}

void VQTcpServerSocket::PumpQueues() {
  int32_t error = g_VQerror;
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c) {
    if (m_queue->IsEmpty(c) || m_clientFlags[c] != VQSOCKET_OPEN) continue;
    if (!WriteQueue(c, m_clients[c]) && g_VQerror == VQERR_SOCKET_CLOSED) m_clientFlags[c] |= VQSOCKET_PEER_CLOSED;
  }
  g_VQerror = error;
}

int32_t VQTcpServerSocket::Send(const void* data, int32_t length) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (length < 0 || (data == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  if (m_clientCount == 0 || length == 0) return 0;
  VQQueueBuffer* shared = nullptr;
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c) {
    if (m_clientFlags[c] != VQSOCKET_OPEN) continue;  // open, not shut down, peer still there
    // One client's failure ends only that client's stream; the others still get the message.
    if (SendInOrder(c, m_clients[c], data, length, &shared) < 0) {
      m_clientFlags[c] |= VQSOCKET_PEER_CLOSED;
      m_queue->Clear(c);
    }
  }
  return length;
}

int32_t VQTcpServerSocket::SendToClient(const void* data, int32_t length, int32_t client) {
  if (!ValidClient(client) || !(m_clientFlags[client] & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (m_clientFlags[client] & (VQSOCKET_SHUT_DOWN | VQSOCKET_PEER_CLOSED)) return FailCount(VQERR_SOCKET_CLOSED);
  if (length < 0 || (data == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  if (length == 0) return 0;
  int32_t rc = SendInOrder(static_cast<uint32_t>(client), m_clients[client], data, length, nullptr);
  if (rc < 0 && g_VQerror == VQERR_SOCKET_CLOSED) m_clientFlags[client] |= VQSOCKET_PEER_CLOSED;
  return rc;
}

int32_t VQTcpServerSocket::ReceiveFromClient(void* buffer, int32_t length, int32_t* client) {
  if (client) *client = -1;
  if (!(m_flags & VQSOCKET_OPEN) && m_clientCount == 0) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (m_clientCount == 0) return FailCount(VQERR_NO_CLIENTS);
  if (length < 0 || (buffer == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  PumpQueues();
  hn::socket_set readable;
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c)
    if ((m_clientFlags[c] & VQSOCKET_OPEN) && !(m_clientFlags[c] & VQSOCKET_PEER_CLOSED))
      hn::set_add(&readable, m_clients[c]);
  if (readable.count == 0) return 0;
  int rc = g_VQwinsock.select(0, &readable, nullptr, nullptr, &m_timeout);
  if (rc < 0) return SocketFailCount();
  if (rc == 0) return 0;
  for (uint32_t n = 0; n < VQNET_SERVER_CHANNELS; ++n) {
    uint32_t c = (m_scanStart + n) % VQNET_SERVER_CHANNELS;
    if (!(m_clientFlags[c] & VQSOCKET_OPEN) || (m_clientFlags[c] & VQSOCKET_PEER_CLOSED)) continue;
    if (!g_VQwinsock.WSAFDIsSet(m_clients[c], &readable)) continue;
    // The next scan starts behind this client, so one busy client cannot starve the others.
    m_scanStart = (c + 1) % VQNET_SERVER_CHANNELS;
    if (client) *client = static_cast<int32_t>(c);
    int got = g_VQwinsock.recv(m_clients[c], static_cast<char*>(buffer), length, 0);
    if (got > 0) return got;
    if (got == 0 || ConnectionLost(g_VQwinsock.WSAGetLastError())) {
      m_clientFlags[c] |= VQSOCKET_PEER_CLOSED;
      return FailCount(VQERR_SOCKET_CLOSED);
    }
    if (WouldBlock()) return 0;
    return SocketFailCount();
  }
  return 0;
}

int32_t VQTcpServerSocket::Receive(void*, int32_t) { return FailCount(VQERR_OPERATION_NOT_OFFERED); }

bool VQTcpServerSocket::Flush(int32_t which) {
  if (which != VQNET_FLUSH_ALL) {
    if (!ValidClient(which)) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    if (!(m_clientFlags[which] & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
    return WriteQueue(static_cast<uint32_t>(which), m_clients[which]);
  }
  bool ok = true;
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c)
    if ((m_clientFlags[c] & VQSOCKET_OPEN) && !WriteQueue(c, m_clients[c])) ok = false;
  return ok;
}

bool VQTcpServerSocket::Shutdown() {
  if (!CloseHandle(&m_handle)) return false;
  m_flags = 0;
  bool ok = true;
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c)
    if ((m_clientFlags[c] & VQSOCKET_OPEN) && !(m_clientFlags[c] & VQSOCKET_SHUT_DOWN) && !ShutdownClient(static_cast<int32_t>(c)))
      ok = false;
  return ok;
}

bool VQTcpServerSocket::ShutdownClient(int32_t client) {
  if (!ValidClient(client) || !(m_clientFlags[client] & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
  if (m_clientFlags[client] & VQSOCKET_SHUT_DOWN) return true;
  // Queued bytes go out first; a peer that does not take them yet keeps the side open.
  if (!(m_clientFlags[client] & VQSOCKET_PEER_CLOSED) && !m_queue->IsEmpty(client)) {
    if (!WriteQueue(static_cast<uint32_t>(client), m_clients[client])) return false;
  }
  if (g_VQwinsock.shutdown(m_clients[client], hn::sd_send) != 0 && !ConnectionLost(g_VQwinsock.WSAGetLastError()))
    return VQnet_FailFromSocket();
  m_clientFlags[client] |= VQSOCKET_SHUT_DOWN;
  m_queue->SetActive(static_cast<uint32_t>(client), false);
  return true;
}

bool VQTcpServerSocket::CloseClient(int32_t client) {
  if (!ValidClient(client) || !(m_clientFlags[client] & VQSOCKET_OPEN)) return VQerror_Fail(VQERR_SOCKET_NOT_STARTED);
  if (m_clientFlags[client] != VQSOCKET_FINISHED) g_VQerror = VQERR_CONNECTION_STATE;
  bool ok = CloseHandle(&m_clients[client]);
  ForgetClient(static_cast<uint32_t>(client));
  return ok;
}

bool VQTcpServerSocket::Close() {
  bool ok = CloseHandle(&m_handle);
  for (uint32_t c = 0; c < VQNET_SERVER_CHANNELS; ++c) {
    if (!(m_clientFlags[c] & VQSOCKET_OPEN)) continue;
    if (!CloseHandle(&m_clients[c])) ok = false;
    ForgetClient(c);
  }
  m_clientCount = 0;
  m_flags = 0;
  return ok;
}

// ---- UDP.

int32_t VQnet_SendDatagram(uintptr_t handle, const void* data, int32_t length, const hn::socket_address& to) {
  if (length < 0 || (data == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  int rc = g_VQwinsock.sendto(handle, static_cast<const char*>(data), length, 0, &to, sizeof(to));
  if (rc < 0) return SocketFailCount();
  return rc;
}

bool VQUdpSendSocket::HasCapability(uint32_t) { return VQerror_Fail(VQERR_UNSUPPORTED_OPERATION); }

bool VQUdpSendSocket::Start() {
  if (m_flags & VQSOCKET_OPEN) return VQerror_Fail(VQERR_ALREADY_OPEN);
  if (!LibraryReady()) return false;
  if (!VQnet_BuildSocketAddress(m_address, &m_target)) return false;
  m_handle = g_VQwinsock.socket(hn::af_inet, hn::sock_dgram, kStreamProtocol);
  if (m_handle == VQNET_NO_SOCKET) return VQnet_FailFromSocket();
  if (!SetOption(m_handle, hn::so_broadcast)) {
    int32_t error = g_VQerror;
    CloseHandle(&m_handle);
    return VQerror_Fail(error);
  }
  m_flags = VQSOCKET_OPEN;
  return true;
}

bool VQUdpSendSocket::Close() {
  m_flags = 0;
  return CloseHandle(&m_handle);
}

int32_t VQUdpSendSocket::Send(const void* data, int32_t length) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  return VQnet_SendDatagram(m_handle, data, length, m_target);
}

int32_t VQUdpSendSocket::SendTo(const void* data, int32_t length, const VQNetAddress* address) {
  if (address == nullptr) return Send(data, length);
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  hn::socket_address to;
  if (!VQnet_BuildSocketAddress(address, &to)) return -1;
  return VQnet_SendDatagram(m_handle, data, length, to);
}

bool VQUdpReceiveSocket::HasCapability(uint32_t) { return VQerror_Fail(VQERR_UNSUPPORTED_OPERATION); }

bool VQUdpReceiveSocket::Start() {
  if (m_flags & VQSOCKET_OPEN) return VQerror_Fail(VQERR_ALREADY_OPEN);
  if (!LibraryReady()) return false;
  if (!VQnet_BuildSocketAddress(m_address, &m_local)) return false;
  m_handle = g_VQwinsock.socket(hn::af_inet, hn::sock_dgram, kStreamProtocol);
  if (m_handle == VQNET_NO_SOCKET) return VQnet_FailFromSocket();
  bool ok = (g_VQwinsock.bind(m_handle, &m_local, sizeof(m_local)) == 0 || VQnet_FailFromSocket()) &&
            SetNonBlocking(m_handle) && SetOption(m_handle, hn::so_broadcast);
  if (!ok) {
    int32_t error = g_VQerror;
    CloseHandle(&m_handle);
    return VQerror_Fail(error);
  }
  m_flags = VQSOCKET_OPEN;
  return true;
}

bool VQUdpReceiveSocket::Close() {
  m_flags = 0;
  return CloseHandle(&m_handle);
}

int32_t VQUdpReceiveSocket::Receive(void* buffer, int32_t length) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  if (length < 0 || (buffer == nullptr && length > 0)) return FailCount(VQERR_INVALID_ARGUMENT);
  int ready = Poll(m_handle, false);
  if (ready <= 0) return ready;
  hn::socket_address from;
  int fromLength = sizeof(from);
  int rc = g_VQwinsock.recvfrom(m_handle, static_cast<char*>(buffer), length, 0, &from, &fromLength);
  if (rc < 0) {
    if (WouldBlock()) return 0;
    if (g_VQwinsock.WSAGetLastError() == hn::wsa_error::message_size)
      return FailCount(VQERR_BUFFER_TOO_SMALL);
    return SocketFailCount();
  }
  FillRecord(from, &m_lastSender, m_lastSenderText, 0);
  return rc;
}

int32_t VQUdpReceiveSocket::SendTo(const void* data, int32_t length, const VQNetAddress* address) {
  if (!(m_flags & VQSOCKET_OPEN)) return FailCount(VQERR_SOCKET_NOT_STARTED);
  hn::socket_address to;
  if (!VQnet_BuildSocketAddress(address, &to)) return -1;
  return VQnet_SendDatagram(m_handle, data, length, to);
}
