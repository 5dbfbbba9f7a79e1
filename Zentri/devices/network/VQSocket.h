// The socket objects under the protocol layers: a TCP client, a TCP server with its
// clients, a UDP sender and a UDP receiver, all over the loaded sockets library (VQnet.h).
//
// No operation waits: every one polls with a zero time-out first, and every handle is in
// non-blocking mode once connected or accepted (only a client's connect waits). A TCP stream
// never reorders or loses bytes: whatever cannot be written at once waits in the socket's
// send queue, new data always goes behind data already waiting, and the queue is written out
// by Flush and, as far as the peer takes it, at the start of every later send or receive.
//
// A TCP send returns `length` once every byte was either written or queued; -1 with g_VQerror
// when nothing was taken.
#pragma once

#include <cstdint>

#include "Zentri/devices/network/VQChannelQueue.h"
#include "Zentri/devices/network/VQnet.h"

// Socket flag bits.
enum VQSocketFlag : uint32_t {
  VQSOCKET_OPEN = 1u << 0,         // started
  VQSOCKET_SHUT_DOWN = 1u << 1,    // our sending side is shut down
  VQSOCKET_PEER_CLOSED = 1u << 2,  // the peer closed (or the connection failed)
  VQSOCKET_FINISHED = VQSOCKET_OPEN | VQSOCKET_SHUT_DOWN | VQSOCKET_PEER_CLOSED,
  // Set before a TCP client's Start: the connection is made in the background (Start returns
  // at once; sends wait in the queue until it stands, and a failed connection shows as an
  // error of the next Receive or Send). Cleared by Close.
  VQSOCKET_CONNECT_IN_BACKGROUND = 1u << 3,
};

constexpr uintptr_t VQNET_NO_SOCKET = host::net::invalid_socket;
constexpr uint32_t VQNET_SERVER_CHANNELS = 128;
// Clients a server serves at once: the poll set of the sockets library holds 64 handles, so a
// server refuses further clients (it accepts and closes them at once) rather than leave them
// connected and never polled.
constexpr uint32_t VQNET_MAX_CLIENTS = host::net::fd_set_size;
// Bytes one channel may hold waiting before a new message is refused (error 62): a peer that
// stops reading cannot make the queue grow without bound.
constexpr uint64_t VQNET_QUEUE_LIMIT = 16u << 20;
// Flush argument of a server: every client's queue.
constexpr int32_t VQNET_FLUSH_ALL = -1;
constexpr uint32_t VQNET_SERVER_BACKLOG = 1;

class VQSocket {
 public:
  VQSocket();
  // Releases the handle and the queue.
  virtual ~VQSocket();
  VQSocket(const VQSocket&) = delete;
  VQSocket& operator=(const VQSocket&) = delete;

  // Keeps the record (owned by the caller, must outlive the socket's use). Already started:
  // error 77, false.
  virtual bool SetAddress(const VQNetAddress* address);
  virtual bool Start() = 0;
  // Releases every handle and queued byte; the socket can be started again.
  virtual bool Close() = 0;
  virtual bool HasCapability(uint32_t id);
  uint32_t GetFlags() const { return m_flags; }
  void SetFlags(uint32_t bits) { m_flags |= bits; }
  void ToggleFlags(uint32_t bits) { m_flags ^= bits; }
  // Operations a class does not offer: -1, false or null with error 52.
  virtual int32_t SendTo(const void* data, int32_t length, const VQNetAddress* address);
  virtual int32_t SendToClient(const void* data, int32_t length, int32_t client);
  virtual int32_t Send(const void* data, int32_t length);
  virtual bool Flush(int32_t which);
  virtual int32_t ReceiveFromClient(void* buffer, int32_t length, int32_t* client);
  virtual int32_t Receive(void* buffer, int32_t length);
  virtual VQNetAddress* Accept();
  virtual bool CloseClient(int32_t client);
  virtual bool Shutdown();
  virtual bool ShutdownClient(int32_t client);

  // The local port of the started socket (host order); 0 when none.
  uint16_t GetLocalPort() const;
  const VQChannelQueue* GetQueue() const { return m_queue; }

 protected:
  // 1 when the handle is ready (for writing, or for reading), 0 when not, -1 on failure
  // (g_VQerror set).
  int Poll(uintptr_t handle, bool forWrite);
  // Closes a handle (when valid) and forgets it; false with g_VQerror on failure.
  static bool CloseHandle(uintptr_t* handle);
  // Writes the channel's queue out. Empty at the end: true. Peer not taking more: error 62,
  // false, the rest stays queued. Failure: g_VQerror, false.
  bool WriteQueue(uint32_t channel, uintptr_t handle);
  // Sends on a connected stream in order: behind the channel's queue, whatever cannot be
  // written goes to the queue (sharing *shared when set). Returns length, or -1 with
  // g_VQerror when nothing was taken (a failed send, a full queue).
  int32_t SendInOrder(uint32_t channel, uintptr_t handle, const void* data, int32_t length,
                      VQQueueBuffer** shared);
  // Reads from a connected stream: >0 bytes, 0 nothing waiting, -1 failure. A closed or
  // reset connection sets VQSOCKET_PEER_CLOSED in *flags and error 61.
  int32_t ReceiveStream(uintptr_t handle, uint32_t* flags, void* buffer, int32_t length);
  // True when the sockets library is loaded, else error 32.
  static bool LibraryReady();

  const VQNetAddress* m_address;  // owned by the layer
  uint32_t m_flags;
  VQChannelQueue* m_queue;
  uintptr_t m_handle;
  host::net::time_value m_timeout;  // zero: polls never wait
};

class VQTcpClientSocket : public VQSocket {
 public:
  VQTcpClientSocket();
  ~VQTcpClientSocket() override;
  // Connects (waiting), then switches the handle to non-blocking mode; with
  // VQSOCKET_CONNECT_IN_BACKGROUND set it switches first and does not wait for the connection.
  // Failure: the handle is closed again, g_VQerror, false.
  bool Start() override;
  bool Close() override;
  int32_t Send(const void* data, int32_t length) override;
  int32_t Receive(void* buffer, int32_t length) override;
  bool Flush(int32_t which) override;
  bool Shutdown() override;
};

class VQTcpServerSocket : public VQSocket {
 public:
  VQTcpServerSocket();
  ~VQTcpServerSocket() override;
  bool SetAddress(const VQNetAddress* address) override;
  bool Start() override;
  bool Close() override;
  VQNetAddress* Accept() override;
  int32_t Send(const void* data, int32_t length) override;
  int32_t SendToClient(const void* data, int32_t length, int32_t client) override;
  int32_t ReceiveFromClient(void* buffer, int32_t length, int32_t* client) override;
  int32_t Receive(void* buffer, int32_t length) override;  // error 52
  bool Flush(int32_t which) override;
  bool Shutdown() override;
  bool ShutdownClient(int32_t client) override;
  bool CloseClient(int32_t client) override;

  uint32_t GetClientCount() const { return m_clientCount; }
  uint32_t GetClientFlags(int32_t client) const;

 private:
  bool ValidClient(int32_t client) const;
  // Writes the queues of the open clients out, as far as each peer takes them.
  void PumpQueues();
  void ForgetClient(uint32_t slot);

  uintptr_t m_clients[VQNET_SERVER_CHANNELS];
  VQNetAddress m_clientAddresses[VQNET_SERVER_CHANNELS];
  char m_clientTexts[VQNET_SERVER_CHANNELS][VQNET_ADDRESS_TEXT_SIZE];
  uint32_t m_clientFlags[VQNET_SERVER_CHANNELS];
  uint32_t m_clientCount;
  uint32_t m_scanStart;  // the slot at which the next receive scan starts
};

class VQUdpSendSocket : public VQSocket {
 public:
  bool HasCapability(uint32_t id) override;  // error 59, false
  bool Start() override;
  bool Close() override;
  int32_t Send(const void* data, int32_t length) override;
  int32_t SendTo(const void* data, int32_t length, const VQNetAddress* address) override;

 private:
  host::net::socket_address m_target{};
};

class VQUdpReceiveSocket : public VQSocket {
 public:
  bool HasCapability(uint32_t id) override;  // error 59, false
  bool Start() override;
  bool Close() override;
  // One datagram, 0 when none waits; a datagram longer than the buffer: error 48, -1.
  int32_t Receive(void* buffer, int32_t length) override;
  // Sends from the bound socket (so a reply comes from the port the peer wrote to).
  int32_t SendTo(const void* data, int32_t length, const VQNetAddress* address) override;
  // The sender of the last datagram received (unset before the first).
  const VQNetAddress* GetLastSender() const { return &m_lastSender; }

 private:
  host::net::socket_address m_local{};
  VQNetAddress m_lastSender{.m_unset = 1};
  char m_lastSenderText[VQNET_ADDRESS_TEXT_SIZE] = {};
};

// Sends a datagram through a handle to the record's address; shared by both UDP sockets.
int32_t VQnet_SendDatagram(uintptr_t handle, const void* data, int32_t length,
                           const host::net::socket_address& to);
