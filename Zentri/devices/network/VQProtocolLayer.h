// Protocol layers: each wraps one socket (VQSocket.h) and gives the game one set of
// operations (send, receive, accept, shut down, close) whatever the transport. The framed
// layers carry whole messages over a TCP stream (VQFrame.h): a receive hands out one whole
// payload or nothing.
//
// Results: sends give the socket's byte count (a framed send counts the 4 header bytes) or
// -1; receives give the payload or datagram length, 0 when nothing complete waits, or -1
// with g_VQerror. Operations a layer does not offer fail (-1, false or null).
#pragma once

#include <cstdint>

#include "Zentri/devices/network/VQFrame.h"
#include "Zentri/devices/network/VQSocket.h"
#include "Zentri/devices/network/VQnet.h"

// Layer codes as VQConnectionDevice::CreateLayer takes them.
enum VQLayerCode : uint32_t {
  VQLAYER_UDP_RECEIVE = 33,
  VQLAYER_UDP_SEND = 34,
  VQLAYER_TCP_SERVER = 92,
  VQLAYER_FRAMED_TCP_SERVER = 116,
  VQLAYER_TCP_CLIENT = 156,
  VQLAYER_FRAMED_TCP_CLIENT = 180,
};

constexpr uint32_t VQNET_HOST_TEXT_SIZE = 256;

class VQProtocolLayer {
 public:
  explicit VQProtocolLayer(uint32_t code);
  // Deletes the socket (which releases its handles) and the address copy.
  virtual ~VQProtocolLayer();
  VQProtocolLayer(const VQProtocolLayer&) = delete;
  VQProtocolLayer& operator=(const VQProtocolLayer&) = delete;

  // Keeps a copy of the record (its host text too) and makes the socket. A started socket:
  // error 77, false. Host text too long: error 31; no memory: error 16.
  virtual bool Open(const VQNetAddress* address);
  virtual bool Start();
  virtual bool Shutdown();
  virtual bool Close();
  virtual bool HasCapability(uint32_t id);
  virtual int32_t SendTo(const void* data, int32_t length, const VQNetAddress* address);
  virtual int32_t SendToClient(const void* data, int32_t length, int32_t client);
  virtual int32_t Send(const void* data, int32_t length);
  virtual int32_t ReceiveFromClient(void* buffer, int32_t length, int32_t* client);
  virtual int32_t Receive(void* buffer, int32_t length);
  virtual VQNetAddress* Accept();
  virtual bool ShutdownClient(int32_t client);
  virtual bool CloseClient(int32_t client);
  // Writes queued bytes out (a server: every client's queue, or the client named by the flush
  // argument). True when nothing waits any more.
  virtual bool Flush();

  uint32_t GetCode() const { return m_code; }
  VQSocket* GetSocket() const { return m_socket; }
  const VQNetAddress* GetAddress() const { return m_address; }
  // The port the started socket is bound to (useful with port 0); 0 when none.
  uint16_t GetLocalPort() const { return m_socket ? m_socket->GetLocalPort() : 0; }
  void SetFlushArgument(int32_t which) { m_flushArgument = which; }

 protected:
  virtual VQSocket* CreateSocket() = 0;

  uint32_t m_code;
  VQNetAddress* m_address;  // own copy; m_host points at m_hostText
  char m_hostText[VQNET_HOST_TEXT_SIZE];
  bool m_open;
  VQSocket* m_socket;
  bool m_started;
  int32_t m_flushArgument;
};

class VQUdpReceiveLayer : public VQProtocolLayer {
 public:
  VQUdpReceiveLayer() : VQProtocolLayer(VQLAYER_UDP_RECEIVE) {}
  // The sender of the last datagram received (unset before the first).
  const VQNetAddress* GetLastSender() const;

 protected:
  VQSocket* CreateSocket() override;
};

class VQUdpSendLayer : public VQProtocolLayer {
 public:
  VQUdpSendLayer() : VQProtocolLayer(VQLAYER_UDP_SEND) {}

 protected:
  VQSocket* CreateSocket() override;
};

class VQTcpServerLayer : public VQProtocolLayer {
 public:
  VQTcpServerLayer();
  // Send(null, 0) writes the queues out (as Flush).
  int32_t Send(const void* data, int32_t length) override;

 protected:
  VQTcpServerLayer(uint32_t code) : VQProtocolLayer(code) { m_flushArgument = VQNET_FLUSH_ALL; }
  VQSocket* CreateSocket() override;
};

class VQTcpClientLayer : public VQProtocolLayer {
 public:
  VQTcpClientLayer() : VQProtocolLayer(VQLAYER_TCP_CLIENT) {}

 protected:
  explicit VQTcpClientLayer(uint32_t code) : VQProtocolLayer(code) {}
  VQSocket* CreateSocket() override;
};

// Framed client: one stream, one frame buffer.
class VQFramedTcpClientLayer : public VQTcpClientLayer {
 public:
  VQFramedTcpClientLayer();
  bool Open(const VQNetAddress* address) override;
  int32_t Send(const void* data, int32_t length) override;
  int32_t SendToClient(const void* data, int32_t length, int32_t client) override;
  int32_t Receive(void* buffer, int32_t length) override;
  bool Close() override;
  // One whole payload into buffer (capacity `length`): its length, 0 when none is complete,
  // -1 on failure. A malformed header drops the connection (error 26).
  int32_t ReceiveFrame(void* buffer, int32_t length);

 private:
  VQFrameBuffer m_frames;
};

// Framed server: one frame buffer per client channel.
class VQFramedTcpServerLayer : public VQTcpServerLayer {
 public:
  // A channel buffer takes a whole read behind an incomplete frame, so no read is ever cut.
  static constexpr uint32_t kChannelBufferSize = 2 * VQFRAME_MAX_SIZE;

  VQFramedTcpServerLayer();
  ~VQFramedTcpServerLayer() override;
  bool Open(const VQNetAddress* address) override;
  int32_t Send(const void* data, int32_t length) override;
  int32_t SendToClient(const void* data, int32_t length, int32_t client) override;
  int32_t Receive(void* buffer, int32_t length) override;  // error 59
  // One whole payload from any client; *client names it (or -1 when none was served).
  int32_t ReceiveFromClient(void* buffer, int32_t length, int32_t* client) override;
  VQNetAddress* Accept() override;
  bool CloseClient(int32_t client) override;
  bool Close() override;
  // The lowest-numbered active channel holding a whole frame is served first; then one read
  // from whichever client has data. A malformed header drops that client (error 26, -1,
  // *client set).
  int32_t ReceiveFrame(void* buffer, int32_t length, int32_t* client);
  int32_t GetLastServed() const { return m_lastServed; }

 private:
  int32_t Deliver(uint32_t channel, void* buffer, int32_t length);
  // Closes the client and forgets its buffered bytes.
  void DropChannel(uint32_t channel);

  // The frame buffer of each active channel, made when its client is accepted (null: the
  // channel is not active).
  VQFrameBuffer* m_channels[VQNET_SERVER_CHANNELS];
  uint8_t* m_scratch;  // one read, VQFRAME_MAX_SIZE bytes
  int32_t m_lastServed;
  uint32_t m_scanStart;
};
