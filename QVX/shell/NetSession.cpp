#include "QVX/shell/NetSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/util/VQerror.h"

namespace {

uint32_t SteadySeconds() {
  using namespace std::chrono;
  return uint32_t(duration_cast<seconds>(steady_clock::now().time_since_epoch()).count());
}

VQNetAddress AddressOf(const uint8_t bytes[4], uint32_t port) {
  return VQnet_MakeAddress(bytes[0], bytes[1], bytes[2], bytes[3], port);
}

bool SameBytes(const VQNetAddress& a, const VQNetAddress& b) {
  return std::memcmp(a.m_bytes, b.m_bytes, sizeof(a.m_bytes)) == 0;
}

}  // namespace

NetSession::NetSession(VQConnectionDevice* device, NetGameHooks* hooks,
                       const NetSessionConfig& config)
    : m_device(device),
      m_hooks(hooks ? hooks : &m_noHooks),
      m_config(config),
      m_wallClock(SteadySeconds),
      m_random(config.randomSeed ? config.randomSeed : 1) {
  if (m_config.maxPlayers < 2) m_config.maxPlayers = 2;
  if (m_config.maxPlayers > NET_MAX_PLAYERS) m_config.maxPlayers = NET_MAX_PLAYERS;
  m_config.broadcastAddress[sizeof(m_config.broadcastAddress) - 1] = 0;
  if (uint8_t* frame = new (std::nothrow) uint8_t[VQFRAME_MAX_SIZE]) {
    m_frame = frame;
    m_frameCapacity = int32_t(VQFRAME_MAX_SIZE);
  }
}

NetSession::~NetSession() {
  Close();
  if (m_frame != m_buffer) delete[] m_frame;
}

uint32_t NetSession::Now() const { return m_wallClock(); }

uint32_t NetSession::PeerUdpPort() const {
  return m_config.peerUdpPort ? m_config.peerUdpPort : m_config.udpPort;
}

// ---- Opening and closing.

bool NetSession::OpenDatagram() {
  if (m_udp != nullptr) return true;
  if (m_device == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  VQNetAddress any = VQnet_MakeAddress(0, 0, 0, 0, m_config.udpPort);
  auto* udp = static_cast<VQUdpReceiveLayer*>(
      m_device->CreateLayer(&any, VQNET_LAYER_MODE, VQLAYER_UDP_RECEIVE));
  if (udp == nullptr) return false;
  if (!udp->Start()) {
    int32_t error = g_VQerror;
    m_device->DeleteLayer(udp);
    return VQerror_Fail(error);
  }
  m_udp = udp;
  return true;
}

bool NetSession::Host(const NetCarChoice& own) {
  Close();
  if (m_device == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const uint8_t* a = m_config.localAddress;
  VQNetAddress bind = AddressOf(a, m_config.tcpPort);
  VQProtocolLayer* server =
      m_device->CreateLayer(&bind, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_SERVER);
  if (server == nullptr) return false;
  if (!server->Start()) {
    int32_t error = g_VQerror;
    m_device->DeleteLayer(server);
    return VQerror_Fail(error);
  }
  m_game = server;
  if (!OpenDatagram()) {
    int32_t error = g_VQerror;
    Close();
    return VQerror_Fail(error);
  }
  // The beacon carries the configured address, else the host name's.
  std::memcpy(m_beaconAddress, a, 4);
  if ((a[0] | a[1] | a[2] | a[3]) == 0) {
    VQNetAddress local;
    if (VQnet_GetLocalAddress(&local))
      for (int i = 0; i < 4; ++i) m_beaconAddress[i] = uint8_t(local.m_bytes[i]);
  }
  m_role = NET_ROLE_HOST;
  m_phase = NET_PHASE_ACTIVE;
  m_own = own;
  m_own.playerId = m_ownId = 0;
  m_own.ready = true;
  m_beaconDue = true;
  m_lastSend = Now();
  return true;
}

bool NetSession::Search(const NetCarChoice& own) {
  Close();
  if (!OpenDatagram()) return false;
  m_role = NET_ROLE_CLIENT;
  m_phase = NET_PHASE_SEARCHING;
  m_own = own;
  m_phaseStart = Now();
  return true;
}

bool NetSession::Join(const uint8_t address[4], const NetCarChoice& own) {
  Close();
  m_own = own;
  m_role = NET_ROLE_CLIENT;
  if (!OpenDatagram() || !Connect(address)) {
    int32_t error = g_VQerror;
    Close();
    return VQerror_Fail(error);
  }
  return true;
}

bool NetSession::Connect(const uint8_t address[4]) {
  VQNetAddress host = AddressOf(address, m_config.tcpPort);
  VQProtocolLayer* client =
      m_device->CreateLayer(&host, VQNET_LAYER_MODE, VQLAYER_FRAMED_TCP_CLIENT);
  if (client == nullptr) return false;
  // The frame goes on while the connection is made; the welcome shows that it stands.
  if (client->GetSocket() != nullptr) client->GetSocket()->SetFlags(VQSOCKET_CONNECT_IN_BACKGROUND);
  if (!client->Start()) {
    int32_t error = g_VQerror;
    m_device->DeleteLayer(client);
    return VQerror_Fail(error);
  }
  m_game = client;
  std::memcpy(m_hostAddress, address, 4);
  // Until the host's own datagrams show its port, the configured one.
  const VQNetAddress joined = AddressOf(address, PeerUdpPort());
  if (m_hostDatagram.m_port == 0 || !SameBytes(m_hostDatagram, joined)) m_hostDatagram = joined;
  m_phase = NET_PHASE_JOINING;
  m_lastSend = m_phaseStart = Now();
  return true;
}

void NetSession::Close() {
  if (m_device != nullptr) {
    if (m_udp != nullptr) m_device->DeleteLayer(m_udp);
    if (m_game != nullptr) m_device->DeleteLayer(m_game);
  }
  m_udp = nullptr;
  m_game = nullptr;
  m_role = NET_ROLE_NONE;
  m_phase = NET_PHASE_CLOSED;
  m_peerCount = 0;
  m_refusedCount = 0;
  m_raceRunning = false;
  m_raceState = NET_RACE_IDLE;
  m_ownId = 0;
  m_ownChannel = -1;
  m_ownOffset = 0.0f;
  m_ownFinished = false;
  m_hostDatagram = VQNetAddress{};
}

void NetSession::Finish(NetCloseReason reason) {
  Close();
  m_hooks->OnClosed(reason);
}

void NetSession::Leave() {
  if (m_phase == NET_PHASE_CLOSED || m_phase == NET_PHASE_DRAINING) return;
  if (m_game == nullptr) {
    Finish(NET_CLOSED_LEFT);
    return;
  }
  if (m_role == NET_ROLE_HOST) {
    uint32_t n = NetWrite_PlayerLeft(m_buffer, m_ownId, NET_LEFT_HOST);
    SendToAll(m_buffer, n);
  } else if (m_phase == NET_PHASE_ACTIVE) {
    uint32_t n = NetWrite_ClientLeaves(m_buffer, m_ownId);
    SendToHost(m_buffer, n);
  }
  m_game->Flush();
  m_game->Shutdown();
  m_drainReason = NET_CLOSED_LEFT;
  m_phase = NET_PHASE_DRAINING;
  m_phaseStart = Now();
}

// ---- Sending.

void NetSession::SendToHost(const uint8_t* data, uint32_t length) {
  if (m_game == nullptr || m_role != NET_ROLE_CLIENT) return;
  if (m_game->Send(data, int32_t(length)) >= 0) {
    m_traffic.sentBytes += length;
    ++m_traffic.sentMessages;
  }
  m_lastSend = Now();
}

void NetSession::SendToChannel(int32_t channel, const uint8_t* data, uint32_t length) {
  if (m_game == nullptr || m_role != NET_ROLE_HOST || channel < 0) return;
  if (m_game->SendToClient(data, int32_t(length), channel) >= 0) {
    m_traffic.sentBytes += length;
    ++m_traffic.sentMessages;
  }
  m_lastSend = Now();
}

void NetSession::SendToAll(const uint8_t* data, uint32_t length, int32_t exceptChannel) {
  if (m_role == NET_ROLE_CLIENT) {
    SendToHost(data, length);
    return;
  }
  // Peer by peer: a refused connection waiting to close gets nothing.
  for (uint32_t i = 0; i < m_peerCount; ++i)
    if (m_peers[i].channel != exceptChannel) SendToChannel(m_peers[i].channel, data, length);
  m_lastSend = Now();
}

void NetSession::SendDatagram(const uint8_t* data, uint32_t length, const VQNetAddress& to) {
  if (m_udp == nullptr) return;
  if (m_udp->SendTo(data, int32_t(length), &to) >= 0) {
    m_traffic.sentBytes += length;
    ++m_traffic.sentMessages;
  }
  m_lastSend = Now();
}

// ---- Peers.

NetPeer* NetSession::PeerById(uint8_t id) {
  for (uint32_t i = 0; i < m_peerCount; ++i)
    if (m_peers[i].id == id) return &m_peers[i];
  return nullptr;
}

const NetPeer* NetSession::FindPeer(uint8_t id) const {
  return const_cast<NetSession*>(this)->PeerById(id);
}

NetPeer* NetSession::PeerByChannel(int32_t channel) {
  if (channel < 0) return nullptr;
  for (uint32_t i = 0; i < m_peerCount; ++i)
    if (m_peers[i].channel == channel) return &m_peers[i];
  return nullptr;
}

NetPeer* NetSession::AddPeer(uint8_t id, int32_t channel) {
  if (m_peerCount >= NET_MAX_PEERS || id >= NET_MAX_PLAYERS || PeerById(id) != nullptr)
    return nullptr;
  NetPeer& p = m_peers[m_peerCount++];
  p = NetPeer{};
  p.id = id;
  p.channel = channel;
  p.choice.playerId = id;
  p.lastMessage = Now();
  return &p;
}

void NetSession::RemovePeer(uint8_t id) {
  uint32_t index = m_peerCount;
  for (uint32_t i = 0; i < m_peerCount; ++i)
    if (m_peers[i].id == id) index = i;
  if (index == m_peerCount) return;
  char name[NET_NAME_SIZE];
  Net_CopyText(name, sizeof(name), m_peers[index].choice.name);
  const int32_t slot = m_peers[index].lobbySlot;
  for (uint32_t i = index + 1; i < m_peerCount; ++i) m_peers[i - 1] = m_peers[i];
  --m_peerCount;
  // Ids stay 0..n without gaps; lobby slots close up behind the removed one.
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    NetPeer& p = m_peers[i];
    if (p.id > id) p.choice.playerId = --p.id;
    if (slot >= 0 && p.lobbySlot > slot) --p.lobbySlot;
  }
  bool ownMoved = false;
  if (m_ownId > id) {
    m_own.playerId = --m_ownId;
    ownMoved = true;
  }
  m_hooks->OnPeerLeft(id, name);
  if (ownMoved) m_hooks->OnOwnIdChanged(m_ownId);
}

void NetSession::HostDropClient(NetPeer* peer) {
  const uint8_t id = peer->id;
  const int32_t channel = peer->channel;
  m_game->ShutdownClient(channel);
  m_game->CloseClient(channel);
  // Gone from the list first, so the notice reaches only the others.
  peer->channel = -1;
  uint32_t n = NetWrite_PlayerLeft(m_buffer, id, NET_LEFT_DROPPED);
  SendToAll(m_buffer, n, -1);
  RemovePeer(id);
  UpdateStartAllowed();
}

uint32_t NetSession::GetFinishedCount() const {
  uint32_t count = m_ownFinished ? 1 : 0;
  for (uint32_t i = 0; i < m_peerCount; ++i) count += m_peers[i].finished ? 1 : 0;
  return count;
}

uint32_t NetSession::GetTcpPort() const {
  return (m_role == NET_ROLE_HOST && m_game) ? m_game->GetLocalPort() : 0;
}
uint32_t NetSession::GetUdpPort() const { return m_udp ? m_udp->GetLocalPort() : 0; }

// ---- Lobby.

bool NetSession::AllClientsReady() const {
  for (uint32_t i = 0; i < m_peerCount; ++i)
    if (!m_peers[i].carChosen || !m_peers[i].choice.ready) return false;
  return true;
}

void NetSession::UpdateStartAllowed() {
  if (m_role == NET_ROLE_HOST && !m_raceRunning) m_hooks->OnStartAllowed(AllClientsReady());
}

void NetSession::SetOwnCarChoice(const NetCarChoice& choice) {
  m_own = choice;
  m_own.playerId = m_ownId;
  m_own.name[NET_NAME_SIZE - 1] = 0;
  if (m_phase != NET_PHASE_ACTIVE || m_raceRunning) return;
  if (m_role == NET_ROLE_HOST) {
    m_own.ready = true;
    uint32_t n = NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, m_own);
    SendToAll(m_buffer, n);
  } else {
    uint32_t n = NetWrite_CarChoice(m_buffer, NETMSG_CAR_CHOICE, m_own);
    SendToHost(m_buffer, n);
  }
}

void NetSession::SetLobbySettings(const NetLobbySettings& settings) {
  m_lobby = settings;
  if (m_role != NET_ROLE_HOST || m_phase != NET_PHASE_ACTIVE) return;
  uint32_t n = NetWrite_LobbySettings(m_buffer, m_lobby);
  SendToAll(m_buffer, n);
}

void NetSession::SendChat(const char* text) {
  if (m_phase != NET_PHASE_ACTIVE || m_raceRunning) return;
  uint32_t n = NetWrite_Chat(m_buffer, text);
  SendToAll(m_buffer, n);
}

bool NetSession::StartRace(uint8_t weather) {
  if (m_role != NET_ROLE_HOST || m_phase != NET_PHASE_ACTIVE || m_raceRunning) return false;
  NetRaceSetup setup;
  setup.weather = weather;
  m_random = m_random * 1103515245u + 12345u;
  setup.randomValue = uint8_t((m_random >> 16) % 101);
  // The host draws its grid slot; the clients fill the others in list order.
  const uint32_t players = m_peerCount + 1;
  m_random = m_random * 1103515245u + 12345u;
  const uint8_t hostSlot = uint8_t((m_random >> 16) % players);
  setup.playerCount = uint8_t(players);
  setup.startSlots[0] = hostSlot;
  uint8_t slot = 0;
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    if (slot == hostSlot) ++slot;
    m_peers[i].startSlot = slot++;
  }
  for (uint32_t i = 0; i < m_peerCount; ++i) setup.startSlots[m_peers[i].id] = m_peers[i].startSlot;
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    m_peers[i].finished = false;
    m_peers[i].loaded = false;
  }
  uint32_t n = NetWrite_RaceSetup(m_buffer, setup);
  SendToAll(m_buffer, n);
  m_hooks->OnRaceSetup(setup);
  SetRaceState(NET_RACE_SETUP);
  return true;
}

// ---- Race.

void NetSession::SetRaceState(uint8_t state) {
  switch (state) {
    case NET_RACE_SETUP:
      for (uint32_t i = 0; i < m_peerCount; ++i) {
        m_peers[i].synced = false;
        m_peers[i].clockOffset = 0.0f;
        m_peers[i].finished = false;
        m_peers[i].syncRequested = m_peers[i].loaded = m_peers[i].pingOutstanding = false;
        m_peers[i].pingCount = 0;
        m_peers[i].returnSum = 0.0f;
      }
      m_ownFinished = false;
      m_raceRunning = true;
      break;
    case NET_RACE_SYNCING:
      // A client's sync request and "loaded" may arrive before the host's own race is loaded:
      // they were cleared when the race was set up, not here.
      break;
    case NET_RACE_START_SENT: m_raceClockTimer = NET_RACE_CLOCK_INTERVAL; break;
    case NET_RACE_RACING: m_carStateTimer = 0.0f; break;
    case NET_RACE_RESULTS: break;
    case NET_RACE_LOBBY:
      m_raceRunning = false;
      for (uint32_t i = 0; i < m_peerCount; ++i) m_peers[i].choice.ready = false;
      if (m_role == NET_ROLE_CLIENT) m_own.ready = false;
      break;
    default: return;
  }
  m_raceState = state;
  m_hooks->OnRaceState(state);
}

void NetSession::RaceLoaded() {
  if (m_phase != NET_PHASE_ACTIVE || !m_raceRunning) return;
  SetRaceState(NET_RACE_SYNCING);
  if (m_role == NET_ROLE_CLIENT) {
    uint32_t n = NetWrite_Empty(m_buffer, NETMSG_SYNC_REQUEST);
    SendToHost(m_buffer, n);
    n = NetWrite_Empty(m_buffer, NETMSG_RACE_LOADED);
    SendToHost(m_buffer, n);
  }
}

void NetSession::RacingStarted() {
  if (m_phase == NET_PHASE_ACTIVE && m_raceRunning && m_raceState < NET_RACE_RACING)
    SetRaceState(NET_RACE_RACING);
}

void NetSession::SendRescue(const NetRescue& rescue) {
  if (m_phase != NET_PHASE_ACTIVE || !m_raceRunning) return;
  NetRescue r = rescue;
  r.playerId = m_ownId;
  uint32_t n = NetWrite_Rescue(m_buffer, IsHost() ? NETMSG_HOST_RESCUE : NETMSG_RESCUE, r);
  SendToAll(m_buffer, n);
}

void NetSession::OwnPlayerFinished(uint8_t resultByte) {
  if (m_phase != NET_PHASE_ACTIVE || !m_raceRunning || m_ownFinished) return;
  m_ownFinished = true;
  m_ownResult = resultByte;
  if (m_role == NET_ROLE_CLIENT) {
    uint32_t n = NetWrite_Finished(m_buffer, resultByte);
    SendToHost(m_buffer, n);
  }
}

void NetSession::RestartRace() {
  if (m_phase != NET_PHASE_ACTIVE || !m_raceRunning) return;
  uint32_t n = NetWrite_RaceState(m_buffer, NET_RACE_SYNCING);
  SendToAll(m_buffer, n);
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    NetPeer& p = m_peers[i];
    p.synced = p.syncRequested = p.loaded = p.pingOutstanding = p.finished = false;
    p.pingCount = 0;
    p.returnSum = 0.0f;
  }
  m_ownFinished = false;
  SetRaceState(NET_RACE_SYNCING);
}

void NetSession::ReturnToLobby() {
  if (m_role != NET_ROLE_HOST || m_phase != NET_PHASE_ACTIVE) return;
  uint32_t n = NetWrite_RaceState(m_buffer, NET_RACE_LOBBY);
  SendToAll(m_buffer, n);
  SetRaceState(NET_RACE_LOBBY);
}

void NetSession::RaceEnded() {
  m_raceRunning = false;
  m_raceState = NET_RACE_IDLE;
}

// ---- The frame.

void NetSession::Update(float frameTime) {
  if (!std::isfinite(frameTime) || frameTime < 0.0f) frameTime = 0.0f;
  switch (m_phase) {
    case NET_PHASE_CLOSED: return;
    case NET_PHASE_SEARCHING: UpdateSearch(); return;
    case NET_PHASE_DRAINING: UpdateDraining(); return;
    default: break;
  }
  if (m_role == NET_ROLE_HOST)
    UpdateHost(frameTime);
  else
    UpdateClient(frameTime);
  if (m_game != nullptr) m_game->Flush();
}

void NetSession::UpdateSearch() {
  if (Now() - m_phaseStart > m_config.searchSeconds) {
    Finish(NET_CLOSED_SEARCH_TIMED_OUT);
    return;
  }
  for (uint32_t i = 0; i < NET_READS_PER_FRAME && m_udp != nullptr; ++i) {
    int32_t n = m_udp->Receive(m_buffer, sizeof(m_buffer));
    if (n == 0) return;
    if (n < 0) {
      if (g_VQerror == VQERR_BUFFER_TOO_SMALL) continue;  // an oversized datagram
      return;
    }
    NetMessage m;
    if (!NetMessage_Parse(m_buffer, uint32_t(n), &m) || m.type != NETMSG_BEACON) continue;
    // The host is joined where its beacon came from, not at the address written in it: a host
    // whose name resolves to a loopback address would otherwise send every client to itself,
    // and an address nobody answers at would hold the connect up. The beacon leaves from the
    // host's datagram socket, so its port is where the host's datagrams come from.
    uint8_t host[4];
    std::memcpy(host, m.address, 4);
    const VQNetAddress* from = m_udp->GetLastSender();
    if (from != nullptr)
      for (int b = 0; b < 4; ++b) host[b] = uint8_t(from->m_bytes[b]);
    m_hostDatagram = AddressOf(host, from ? from->m_port : PeerUdpPort());
    m_hooks->OnHostFound(host);
    if (!Connect(host)) {
      Finish(NET_CLOSED_CONNECTION_LOST);
      return;
    }
    return;
  }
}

void NetSession::UpdateDraining() {
  // Reads until the other side has closed, at most NET_DRAIN_SECONDS; never waits.
  bool done = m_game == nullptr || Now() - m_phaseStart > NET_DRAIN_SECONDS;
  for (uint32_t i = 0; !done && i < NET_READS_PER_FRAME; ++i) {
    int32_t n;
    if (m_role == NET_ROLE_HOST) {
      int32_t client = -1;
      n = m_game->ReceiveFromClient(m_frame, m_frameCapacity, &client);
      if (n < 0 && client >= 0) {
        m_game->CloseClient(client);
        continue;
      }
    } else {
      n = m_game->Receive(m_frame, m_frameCapacity);
    }
    if (n < 0) done = true;
    if (n <= 0) break;
  }
  if (done) Finish(m_drainReason);
}

void NetSession::UpdateRaceTimers(float frameTime) {
  if (!m_raceRunning || (m_raceState != NET_RACE_RACING && m_raceState != NET_RACE_RESULTS)) return;
  m_carStateTimer -= frameTime;
  if (m_carStateTimer <= 0.0f) {
    m_carStateTimer += NET_CAR_STATE_INTERVAL;
    if (m_carStateTimer <= 0.0f) m_carStateTimer = NET_CAR_STATE_INTERVAL;
    NetCarState state;
    if (m_hooks->TrackPhase() != 5 && m_hooks->GetOwnCarState(&state)) {
      state.playerId = m_ownId;
      if (m_role == NET_ROLE_HOST) {
        uint32_t n = NetWrite_CarState(m_buffer, NETMSG_HOST_CAR_STATE, state);
        for (uint32_t i = 0; i < m_peerCount; ++i)
          SendDatagram(m_buffer, n, m_peers[i].datagramAddress);
      } else {
        uint32_t n = NetWrite_CarState(m_buffer, NETMSG_CAR_STATE, state);
        SendDatagram(m_buffer, n, m_hostDatagram);
      }
    }
  }
  if (m_role == NET_ROLE_HOST) {
    m_raceClockTimer -= frameTime;
    if (m_raceClockTimer <= 0.0f) {
      m_raceClockTimer += NET_RACE_CLOCK_INTERVAL;
      if (m_raceClockTimer <= 0.0f) m_raceClockTimer = NET_RACE_CLOCK_INTERVAL;
      uint32_t n = NetWrite_RaceClock(m_buffer, m_hooks->RaceTime());
      for (uint32_t i = 0; i < m_peerCount; ++i)
        SendDatagram(m_buffer, n, m_peers[i].datagramAddress);
    }
  }
}

void NetSession::ReadDatagrams() {
  for (uint32_t i = 0; i < NET_READS_PER_FRAME && m_udp != nullptr; ++i) {
    int32_t n = m_udp->Receive(m_buffer, sizeof(m_buffer));
    if (n == 0) return;
    if (n < 0) {
      if (g_VQerror == VQERR_BUFFER_TOO_SMALL) {
        ++m_traffic.droppedMessages;
        continue;
      }
      return;
    }
    m_traffic.receivedBytes += uint32_t(n);
    ++m_traffic.receivedMessages;
    bool taken;
    if (m_role == NET_ROLE_HOST)
      taken = OnHostMessage(-1, m_buffer, uint32_t(n), true);
    else
      taken = OnClientMessage(m_buffer, uint32_t(n), true);
    if (!taken) ++m_traffic.droppedMessages;
    if (m_phase != NET_PHASE_ACTIVE) return;
  }
}

void NetSession::UpdateHost(float frameTime) {
  const uint32_t now = Now();
  const uint32_t beaconGap = m_raceRunning ? NET_BEACON_RACE_SECONDS : NET_BEACON_LOBBY_SECONDS;
  if (m_beaconDue || now - m_lastBeacon > beaconGap) {
    VQNetAddress target = VQnet_MakeAddress(255, 255, 255, 255, 0);
    bool found = true;
    if (m_config.broadcastAddress[0] != 0)
      target.m_host = m_config.broadcastAddress;
    else
      found = VQnet_GetBroadcastAddress(&target);
    target.m_port = m_config.broadcastPort ? m_config.broadcastPort : m_config.udpPort;
    if (found) {
      uint32_t n = NetWrite_Beacon(m_buffer, m_beaconAddress);
      const uint32_t listed = std::min<uint32_t>(m_config.beaconPortCount, NET_MAX_PLAYERS - 1);
      for (uint32_t i = 0; i < listed; ++i) {
        target.m_port = m_config.beaconPorts[i];
        SendDatagram(m_buffer, n, target);
      }
      if (listed == 0) SendDatagram(m_buffer, n, target);
    }
    m_lastBeacon = now;
    m_beaconDue = false;
  }
  if (now - m_lastSend > NET_KEEP_ALIVE_SECONDS && m_peerCount > 0) {
    uint32_t n = NetWrite_Empty(m_buffer, NETMSG_KEEP_ALIVE);
    SendToAll(m_buffer, n);
  }
  ReadDatagrams();
  HostReadClients();
  HostDropSilent();
  HostCloseStaleRefused();
  HostAccept();
  if (m_raceState == NET_RACE_SYNCING) {
    HostPing();
    HostCheckStart();
  }
  UpdateRaceTimers(frameTime);
  if (m_raceState == NET_RACE_RACING) HostCheckResults();
}

void NetSession::HostReadClients() {
  for (uint32_t i = 0; i < NET_READS_PER_FRAME && m_game != nullptr; ++i) {
    int32_t channel = -1;
    int32_t n = m_game->ReceiveFromClient(m_frame, m_frameCapacity, &channel);
    if (n == 0) return;
    if (n < 0) {
      if (channel < 0) return;  // no clients
      // A closed, reset or malformed connection: that client is gone.
      if (NetPeer* p = PeerByChannel(channel)) {
        HostDropClient(p);
      } else {
        m_game->CloseClient(channel);
        ForgetRefused(channel);
      }
      continue;
    }
    m_traffic.receivedBytes += uint32_t(n);
    ++m_traffic.receivedMessages;
    if (!OnHostMessage(channel, m_frame, uint32_t(n), false)) ++m_traffic.droppedMessages;
  }
}

void NetSession::HostDropSilent() {
  const uint32_t now = Now();
  for (uint32_t i = 0; i < m_peerCount;) {
    if (now - m_peers[i].lastMessage > m_config.silenceSeconds)
      HostDropClient(&m_peers[i]);  // the list closes up: same index again
    else
      ++i;
  }
}

void NetSession::ForgetRefused(int32_t channel) {
  for (uint32_t i = 0; i < m_refusedCount; ++i)
    if (m_refused[i].channel == channel) {
      m_refused[i] = m_refused[--m_refusedCount];
      return;
    }
}

void NetSession::HostCloseStaleRefused() {
  const uint32_t now = Now();
  for (uint32_t i = 0; i < m_refusedCount;) {
    if (now - m_refused[i].since > NET_DRAIN_SECONDS) {
      m_game->CloseClient(m_refused[i].channel);
      m_refused[i] = m_refused[--m_refusedCount];
    } else {
      ++i;
    }
  }
}

void NetSession::HostAccept() {
  VQNetAddress* client = m_game->Accept();
  if (client == nullptr) return;
  const int32_t channel = int32_t(client->m_channel);
  const uint32_t players = m_peerCount + 1;
  if (m_raceRunning || players >= m_config.maxPlayers || channel > 255) {
    uint32_t n =
        NetWrite_Refusal(m_buffer, m_raceRunning ? NET_REFUSED_RACE_RUNNING : NET_REFUSED_FULL);
    m_game->SendToClient(m_buffer, int32_t(n), channel);
    m_game->Flush();
    m_game->ShutdownClient(channel);
    // Closed when the client has read its refusal and gone, or after the drain time.
    if (m_refusedCount < NET_MAX_REFUSED) {
      m_refused[m_refusedCount].channel = channel;
      m_refused[m_refusedCount++].since = Now();
    } else {
      m_game->CloseClient(channel);
    }
    return;
  }
  const uint8_t id = uint8_t(players);
  VQNetAddress address = VQnet_MakeAddress(client->m_bytes[0], client->m_bytes[1],
                                           client->m_bytes[2], client->m_bytes[3], PeerUdpPort());
  NetPeer* peer = AddPeer(id, channel);
  if (peer == nullptr) {
    m_game->CloseClient(channel);
    return;
  }
  peer->datagramAddress = address;
  uint32_t n = NetWrite_Welcome(m_buffer, uint8_t(channel), id);
  SendToChannel(channel, m_buffer, n);
  n = NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, m_own);
  SendToChannel(channel, m_buffer, n);
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    if (m_peers[i].id == id || !m_peers[i].carChosen) continue;
    n = NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, m_peers[i].choice);
    SendToChannel(channel, m_buffer, n);
  }
  n = NetWrite_LobbySettings(m_buffer, m_lobby);
  SendToChannel(channel, m_buffer, n);
  m_hooks->OnPeerJoined(*peer);
  UpdateStartAllowed();
}

void NetSession::HostPing() {
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    NetPeer& p = m_peers[i];
    if (!p.syncRequested || p.pingCount >= NET_PINGS_PER_PLAYER || p.pingOutstanding) continue;
    p.pingSentAt = m_hooks->RaceTime();
    p.pingOutstanding = true;
    uint32_t n = NetWrite_Empty(m_buffer, NETMSG_CLOCK_PING);
    SendToChannel(p.channel, m_buffer, n);
    return;  // one ping a frame
  }
}

void NetSession::HostCheckStart() {
  uint32_t synced = 0, loaded = 0;
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    synced += m_peers[i].synced ? 1 : 0;
    loaded += m_peers[i].loaded ? 1 : 0;
  }
  if (synced < m_peerCount || loaded < m_peerCount || !m_hooks->MayStartRace()) return;
  const float start = m_hooks->TrackStartMoment();
  uint32_t n = NetWrite_RaceState(m_buffer, NET_RACE_START_SENT, start);
  SendToAll(m_buffer, n);
  m_hooks->OnStartSequence(start);
  SetRaceState(NET_RACE_START_SENT);
}

void NetSession::HostCheckResults() {
  const int phase = m_hooks->TrackPhase();
  if (GetFinishedCount() < m_peerCount + 1 || phase < 4 || phase > 6) return;
  HostSendResults();
}

bool NetSession::EndRaceNow() {
  if (m_role != NET_ROLE_HOST || m_phase != NET_PHASE_ACTIVE || !m_raceRunning ||
      m_raceState >= NET_RACE_RESULTS)
    return false;
  HostSendResults();
  return true;
}

void NetSession::HostSendResults() {
  NetResultEntry entries[NET_MAX_PLAYERS];
  uint32_t count = m_hooks->BuildResults(entries, NET_MAX_PLAYERS);
  if (count > NET_MAX_PLAYERS) count = NET_MAX_PLAYERS;
  uint32_t n = NetWrite_Results(m_buffer, entries, count);
  SendToAll(m_buffer, n);
  m_hooks->OnResultsDone();
  n = NetWrite_RaceState(m_buffer, NET_RACE_RESULTS);
  SendToAll(m_buffer, n);
  SetRaceState(NET_RACE_RESULTS);
}

void NetSession::HostSendOffsets(const NetPeer& peer) {
  uint32_t n = NetWrite_ClockAnswer(m_buffer, m_hooks->RaceTime(), peer.clockOffset);
  SendToChannel(peer.channel, m_buffer, n);
  n = NetWrite_PlayerOffset(m_buffer, peer.id, peer.clockOffset);
  SendToAll(m_buffer, n, peer.channel);
  n = NetWrite_PlayerOffset(m_buffer, m_ownId, m_ownOffset);
  SendToChannel(peer.channel, m_buffer, n);
  for (uint32_t i = 0; i < m_peerCount; ++i) {
    if (m_peers[i].id == peer.id) continue;
    n = NetWrite_PlayerOffset(m_buffer, m_peers[i].id, m_peers[i].clockOffset);
    SendToChannel(peer.channel, m_buffer, n);
  }
}

bool NetSession::OnHostMessage(int32_t channel, const uint8_t* data, uint32_t length,
                               bool datagram) {
  NetMessage m;
  if (!NetMessage_Parse(data, length, &m)) return false;
  if (m.type < NETMSG_CAR_CHOICE) return false;  // a host takes 14 to 23
  if (datagram != (m.type == NETMSG_CAR_STATE)) return false;
  NetPeer* peer = nullptr;
  if (datagram) {
    peer = PeerById(m.carState.playerId);
    const VQNetAddress* from = m_udp->GetLastSender();
    // A car state counts only from the machine that player joined from.
    if (peer == nullptr || from == nullptr || !SameBytes(*from, peer->datagramAddress))
      return false;
    peer->datagramAddress.m_port = from->m_port;
    peer->datagramLearned = true;
  } else {
    peer = PeerByChannel(channel);
    if (peer == nullptr) return false;  // a refused connection waiting to close
  }
  peer->lastMessage = Now();
  const bool running = m_raceRunning;
  switch (m.type) {
    case NETMSG_CAR_CHOICE: {
      if (running || m.carChoice.playerId != peer->id) return false;
      if (!peer->carChosen) {
        uint32_t chosen = 0;
        for (uint32_t i = 0; i < m_peerCount; ++i) chosen += m_peers[i].carChosen ? 1 : 0;
        peer->lobbySlot = int32_t(chosen);
      }
      peer->choice = m.carChoice;
      peer->carChosen = true;
      uint32_t n = NetWrite_CarChoice(m_buffer, NETMSG_HOST_CAR_CHOICE, peer->choice);
      SendToAll(m_buffer, n, channel);
      m_hooks->OnCarChoice(*peer);
      UpdateStartAllowed();
      return true;
    }
    case NETMSG_CAR_STATE: {
      if (!running) return false;
      uint32_t n = NetWrite_CarState(m_buffer, NETMSG_HOST_CAR_STATE, m.carState);
      for (uint32_t i = 0; i < m_peerCount; ++i)
        if (&m_peers[i] != peer) SendDatagram(m_buffer, n, m_peers[i].datagramAddress);
      if (m_hooks->TrackPhase() != 5) m_hooks->OnCarState(*peer, m.carState);
      return true;
    }
    case NETMSG_SYNC_REQUEST:
      if (!running) return false;
      peer->syncRequested = true;
      peer->synced = false;
      peer->pingCount = 0;
      peer->pingOutstanding = false;
      peer->returnSum = 0.0f;
      peer->clockOffset = 0.0f;
      return true;
    case NETMSG_RACE_LOADED:
      if (!running) return false;
      peer->loaded = true;
      return true;
    case NETMSG_CLIENT_LEAVES:
      return m.playerId == peer->id;  // the closing connection does the rest
    case NETMSG_PING_ANSWER: {
      if (!running || !peer->pingOutstanding) return false;
      const float back = m_hooks->RaceTime() - peer->pingSentAt;
      peer->pingOutstanding = false;
      if (peer->pingCount >= NET_PINGS_PER_PLAYER) return true;
      if (peer->pingCount >= NET_PINGS_IGNORED) peer->returnSum += back;
      if (++peer->pingCount == NET_PINGS_PER_PLAYER) {
        // The mean round trip of the counted answers; the message that carries the host's
        // clock takes half of it, so half is what the client adds.
        const float meanTrip = peer->returnSum / float(NET_PINGS_PER_PLAYER - NET_PINGS_IGNORED);
        peer->clockOffset = meanTrip * 0.5f;
        peer->synced = true;
        HostSendOffsets(*peer);
        m_hooks->OnClockOffset(peer->id, peer->clockOffset);
      }
      return true;
    }
    case NETMSG_RESCUE: {
      if (!running || m.rescue.playerId != peer->id) return false;
      uint32_t n = NetWrite_Rescue(m_buffer, NETMSG_HOST_RESCUE, m.rescue);
      SendToAll(m_buffer, n, channel);
      m_hooks->OnRescue(*peer, m.rescue);
      return true;
    }
    case NETMSG_FINISHED:
      if (!running) return false;
      if (!peer->finished) {
        peer->finished = true;
        peer->resultByte = m.resultByte;
        m_hooks->OnPeerFinished(*peer);
      }
      return true;
    case NETMSG_CHAT: {
      if (running) return false;
      uint32_t n = NetWrite_Chat(m_buffer, m.chat);
      SendToAll(m_buffer, n, channel);
      m_hooks->OnChat(peer->id, m.chat);
      return true;
    }
    case NETMSG_KEEP_ALIVE: return true;
    default: return false;
  }
}

// ---- Client.

void NetSession::UpdateClient(float frameTime) {
  ReadDatagrams();
  if (m_phase != NET_PHASE_ACTIVE && m_phase != NET_PHASE_JOINING) return;
  if (m_phase == NET_PHASE_JOINING && Now() - m_phaseStart > NET_JOIN_SECONDS) {
    Finish(NET_CLOSED_CONNECT_FAILED);
    return;
  }
  if (Now() - m_lastSend > NET_KEEP_ALIVE_SECONDS && m_phase == NET_PHASE_ACTIVE) {
    uint32_t n = NetWrite_Empty(m_buffer, NETMSG_KEEP_ALIVE);
    SendToHost(m_buffer, n);
  }
  for (uint32_t i = 0; i < NET_READS_PER_FRAME && m_game != nullptr; ++i) {
    int32_t n = m_game->Receive(m_frame, m_frameCapacity);
    if (n == 0) break;
    if (n < 0) {
      // The host closed or vanished; before the welcome, the connection was never made.
      Finish(m_phase == NET_PHASE_JOINING ? NET_CLOSED_CONNECT_FAILED : NET_CLOSED_CONNECTION_LOST);
      return;
    }
    m_traffic.receivedBytes += uint32_t(n);
    ++m_traffic.receivedMessages;
    if (!OnClientMessage(m_frame, uint32_t(n), false)) ++m_traffic.droppedMessages;
    if (m_phase != NET_PHASE_ACTIVE && m_phase != NET_PHASE_JOINING) return;
  }
  UpdateRaceTimers(frameTime);
}

bool NetSession::OnClientMessage(const uint8_t* data, uint32_t length, bool datagram) {
  NetMessage m;
  if (!NetMessage_Parse(data, length, &m)) return false;
  if (m.type == NETMSG_BEACON) {
    // The host's beacon shows the port its datagrams come from.
    const VQNetAddress* from = m_udp ? m_udp->GetLastSender() : nullptr;
    if (datagram && from && std::memcmp(m.address, m_hostAddress, 4) == 0 &&
        SameBytes(*from, m_hostDatagram))
      m_hostDatagram.m_port = from->m_port;
    return false;
  }
  const bool udpType = m.type == NETMSG_HOST_CAR_STATE || m.type == NETMSG_RACE_CLOCK;
  if (datagram != udpType) return false;
  if (datagram) {
    // Only the host's machine sends race datagrams.
    const VQNetAddress* from = m_udp->GetLastSender();
    if (from == nullptr || !SameBytes(*from, m_hostDatagram)) return false;
  }
  if (m_phase == NET_PHASE_JOINING) {
    if (m.type == NETMSG_WELCOME) {
      m_ownChannel = m.channel;
      m_ownId = m.playerId;
      m_own.playerId = m_ownId;
      m_own.ready = false;
      m_phase = NET_PHASE_ACTIVE;
      uint32_t n = NetWrite_CarChoice(m_buffer, NETMSG_CAR_CHOICE, m_own);
      SendToHost(m_buffer, n);
      m_hooks->OnJoined(m_ownId);
      return true;
    }
    if (m.type == NETMSG_REFUSAL) {
      m_hooks->OnRefused(m.reason);
      m_game->Shutdown();
      m_drainReason = NET_CLOSED_REFUSED;
      m_phase = NET_PHASE_DRAINING;
      m_phaseStart = Now();
      return true;
    }
    return false;
  }
  const bool running = m_raceRunning;
  switch (m.type) {
    case NETMSG_HOST_CAR_CHOICE: {
      if (running) return false;
      const uint8_t id = m.carChoice.playerId;
      if (id == m_ownId) return false;
      NetPeer* peer = PeerById(id);
      if (peer == nullptr) {
        peer = AddPeer(id, -1);
        if (peer == nullptr) return false;  // the game cannot hold more players
        peer->lobbySlot = int32_t(m_peerCount) - 1;
        m_hooks->OnPeerJoined(*peer);
      }
      peer->choice = m.carChoice;
      peer->carChosen = true;
      m_hooks->OnCarChoice(*peer);
      return true;
    }
    case NETMSG_HOST_CAR_STATE: {
      if (!running) return false;
      NetPeer* peer = PeerById(m.carState.playerId);
      if (peer == nullptr) return false;
      if (m_hooks->TrackPhase() != 5) m_hooks->OnCarState(*peer, m.carState);
      return true;
    }
    case NETMSG_RACE_CLOCK: {
      if (!running) return false;
      const float t = m.time + m_ownOffset;
      if (std::fabs(m_hooks->RaceTime() - t) > NET_CLOCK_TOLERANCE) m_hooks->SetRaceTime(t);
      return true;
    }
    case NETMSG_PLAYER_LEFT:
      if (m.reason == NET_LEFT_HOST || m.playerId == m_ownId) {
        Finish(NET_CLOSED_HOST_LEFT);
        return true;
      }
      if (PeerById(m.playerId) == nullptr) return false;
      RemovePeer(m.playerId);
      return true;
    case NETMSG_RACE_STATE:
      switch (m.raceState) {
        case NET_RACE_SETUP:
          if (running) return false;
          for (uint32_t i = 0; i < m_peerCount && i < m.setup.playerCount; ++i)
            if (m_peers[i].id < m.setup.playerCount)
              m_peers[i].startSlot = m.setup.startSlots[m_peers[i].id];
          m_hooks->OnRaceSetup(m.setup);
          SetRaceState(NET_RACE_SETUP);
          return true;
        case NET_RACE_SYNCING: return true;
        case NET_RACE_START_SENT:
        case NET_RACE_RACING:
          if (!running) return false;
          if (m.raceState == NET_RACE_START_SENT) m_hooks->OnStartSequence(m.time);
          SetRaceState(m.raceState);
          return true;
        case NET_RACE_RESULTS:
          if (!running) return false;
          SetRaceState(NET_RACE_RESULTS);
          return true;
        case NET_RACE_LOBBY: SetRaceState(NET_RACE_LOBBY); return true;
        default: return false;
      }
    case NETMSG_LOBBY_SETTINGS:
      if (running) return false;
      m_lobby = m.lobby;
      m_hooks->OnLobbySettings(m.lobby);
      return true;
    case NETMSG_CLOCK_PING: {
      if (!running) return false;
      uint32_t n = NetWrite_PingAnswer(m_buffer, m_hooks->RaceTime());
      SendToHost(m_buffer, n);
      return true;
    }
    case NETMSG_CLOCK_ANSWER:
      if (!running) return false;
      m_ownOffset = m.offset;
      m_hooks->SetRaceTime(m.time + m.offset);
      m_hooks->OnClockOffset(m_ownId, m.offset);
      return true;
    case NETMSG_HOST_RESCUE: {
      if (!running) return false;
      NetPeer* peer = PeerById(m.rescue.playerId);
      if (peer == nullptr) return false;
      m_hooks->OnRescue(*peer, m.rescue);
      return true;
    }
    case NETMSG_RESULTS: {
      if (!running) return false;
      for (uint32_t i = 0; i < m.resultCount; ++i) {
        const NetResultEntry& e = m.results[i];
        if (e.playerId >= NET_MAX_PLAYERS) continue;
        const uint8_t id = uint8_t(e.playerId);
        if (id == m_ownId) {
          m_hooks->OnResult(nullptr, e);
        } else if (NetPeer* peer = PeerById(id)) {
          peer->resultByte = uint8_t(e.resultValue);
          peer->finished = true;
          m_hooks->OnResult(peer, e);
        }
        // An id nobody holds is ignored: it must never overwrite the own result.
      }
      m_hooks->OnResultsDone();
      return true;
    }
    case NETMSG_PLAYER_OFFSET: {
      if (!running) return false;
      if (m.playerId == m_ownId) return true;
      NetPeer* peer = PeerById(m.playerId);
      if (peer == nullptr) return false;
      peer->clockOffset = m.time;
      peer->synced = true;
      m_hooks->OnClockOffset(peer->id, m.time);
      return true;
    }
    case NETMSG_CHAT:
      if (running) return false;
      m_hooks->OnChat(NET_UNKNOWN_ID, m.chat);
      return true;
    case NETMSG_KEEP_ALIVE: return true;
    default: return false;  // a client takes 0 to 12, 22 and 23
  }
}
