// One machine's side of a network game: hosting or joining, the lobby (car choices, chat,
// lobby settings), the race start with the clock synchronisation, car states, rescues, finish
// and results during the race, keep-alives, time-outs and leaving.
//
// NetSession owns its protocol layers (a framed TCP server or client and one datagram
// socket) and never waits: Update, called once a frame, reads what has arrived, answers,
// and returns. Leaving and refusals drain the connection across later frames. What the game
// must supply or learn (race clock, own car, track phase, results, what arrived) goes through
// NetGameHooks; a hook that is not overridden does nothing.
//
// Datagrams leave from the receiving socket, so a peer's datagrams always come from its own
// receiving port: each side sends to the port the other's datagrams (or beacons) came from,
// and falls back to the configured UDP port until one has arrived. Games on one machine can
// then use different UDP ports.
#pragma once

#include <cstdint>
#include <functional>

#include "QVX/shell/NetProtocol.h"
#include "Zentri/devices/network/VQnet.h"

class VQConnectionDevice;
class VQProtocolLayer;
class VQUdpReceiveLayer;

constexpr uint32_t NET_MAX_PEERS = NET_MAX_PLAYERS - 1;
constexpr uint32_t NET_PINGS_PER_PLAYER = 10;
constexpr uint32_t NET_PINGS_IGNORED = 2;         // the first answers warm the path up
constexpr uint32_t NET_KEEP_ALIVE_SECONDS = 2;    // a keep-alive after more than this
constexpr uint32_t NET_SILENCE_SECONDS = 30;      // the host drops a client silent longer
constexpr uint32_t NET_SEARCH_SECONDS = 30;       // a client searches this long for a beacon
constexpr uint32_t NET_BEACON_LOBBY_SECONDS = 1;  // beacon after more than this in the lobby
constexpr uint32_t NET_BEACON_RACE_SECONDS = 5;   // ... and during a race
constexpr uint32_t NET_DRAIN_SECONDS = 10;        // a leaving side reads this long at most
constexpr uint32_t NET_JOIN_SECONDS = 10;         // a client waits this long for the welcome
constexpr float NET_CAR_STATE_INTERVAL = 0.1f;    // seconds of frame time
constexpr float NET_RACE_CLOCK_INTERVAL = 2.0f;   // seconds of frame time
constexpr float NET_CLOCK_TOLERANCE = 0.1f;       // a client's clock closer than this stays
constexpr uint32_t NET_READS_PER_FRAME = 256;     // bound of one frame's reading per layer
constexpr uint32_t NET_MAX_REFUSED = 16;          // refused connections waiting to close
constexpr uint8_t NET_UNKNOWN_ID = 0xff;          // a chat text relayed by the host names nobody

enum NetRole : uint8_t { NET_ROLE_NONE = 0, NET_ROLE_HOST = 1, NET_ROLE_CLIENT = 2 };

enum NetPhase : uint8_t {
  NET_PHASE_CLOSED = 0,
  NET_PHASE_SEARCHING,  // client: waiting for a beacon
  NET_PHASE_JOINING,    // client: connected, waiting for the welcome
  NET_PHASE_ACTIVE,     // host: hosting; client: welcomed
  NET_PHASE_DRAINING,   // leaving or refused: reading until the other side closes
};

// Why a session ended (NetGameHooks::OnClosed).
enum NetCloseReason : uint8_t {
  NET_CLOSED_LEFT = 0,          // this side left
  NET_CLOSED_REFUSED,           // the host refused the client
  NET_CLOSED_CONNECTION_LOST,   // the host closed or vanished
  NET_CLOSED_HOST_LEFT,         // the host announced that it leaves
  NET_CLOSED_SEARCH_TIMED_OUT,  // no beacon within the search limit
  NET_CLOSED_CONNECT_FAILED,    // the host could not be reached, or sent no welcome in time
};

struct NetSessionConfig {
  uint32_t tcpPort = 2000;  // 0 (host): any free port, see NetSession::GetTcpPort
  uint32_t udpPort = 2001;  // 0: any free port
  // The own IPv4 address: bound by the host's server and announced in its beacon. All zero:
  // the server listens on every interface and the beacon carries the host name's address.
  uint8_t localAddress[4] = {};
  // Where beacons go: a dotted address ("" = the network's broadcast address) and a port
  // (0 = udpPort).
  char broadcastAddress[VQNET_ADDRESS_TEXT_SIZE] = {};
  uint32_t broadcastPort = 0;
  // Further ports the beacon goes to (games on one machine, each on its own port): with any
  // listed, the beacon goes to these instead of broadcastPort.
  uint32_t beaconPorts[NET_MAX_PLAYERS - 1] = {};
  uint32_t beaconPortCount = 0;
  // The other side's datagram port until its own datagrams show it (0 = udpPort).
  uint32_t peerUdpPort = 0;
  uint32_t maxPlayers = NET_MAX_PLAYERS;  // the host's slots, itself included (2..8)
  uint32_t searchSeconds = NET_SEARCH_SECONDS;
  uint32_t silenceSeconds = NET_SILENCE_SECONDS;
  uint32_t randomSeed = 1;
};

// One other member of the game as this machine knows it.
struct NetPeer {
  uint8_t id = 0;
  int32_t channel = -1;          // host side: the client's channel of the game connection
  VQNetAddress datagramAddress;  // host side: where its car states and race clocks go
  bool datagramLearned = false;  // the port came from one of its own datagrams
  NetCarChoice choice;
  bool carChosen = false;
  int32_t lobbySlot = -1;
  bool synced = false;
  float clockOffset = 0.0f;
  uint8_t startSlot = 0;
  uint8_t resultByte = 0;
  bool finished = false;
  bool loaded = false;  // host: sent "race loaded"
  bool syncRequested = false;
  uint32_t lastMessage = 0;  // host: wall-clock second of its last message
  // Host: the clock synchronisation of this client.
  uint32_t pingCount = 0;
  bool pingOutstanding = false;
  float pingSentAt = 0.0f;
  float returnSum = 0.0f;
};

class NetGameHooks {
 public:
  virtual ~NetGameHooks() = default;
  // The race clock (seconds) and setting it.
  virtual float RaceTime() { return 0.0f; }
  virtual void SetRaceTime(float) {}
  // The track's race phase (0 none .. 6); 5 is the finished phase.
  virtual int TrackPhase() { return 0; }
  virtual float TrackStartMoment() { return 0.0f; }
  // The own car's state; false when there is no car.
  virtual bool GetOwnCarState(NetCarState*) { return false; }
  // Host: the results of the race, in the track's player order; returns the count.
  virtual uint32_t BuildResults(NetResultEntry*, uint32_t /*capacity*/) { return 0; }
  // The host may hold the start back (for instance while a menu page shows).
  virtual bool MayStartRace() { return true; }

  virtual void OnHostFound(const uint8_t /*address*/[4]) {}
  virtual void OnJoined(uint8_t /*ownId*/) {}
  virtual void OnRefused(uint8_t /*reason*/) {}
  virtual void OnClosed(NetCloseReason) {}
  virtual void OnPeerJoined(const NetPeer&) {}
  virtual void OnCarChoice(const NetPeer&) {}
  // A player left; ids above it have already moved down.
  virtual void OnPeerLeft(uint8_t /*id*/, const char* /*name*/) {}
  virtual void OnOwnIdChanged(uint8_t /*id*/) {}
  virtual void OnChat(uint8_t /*fromId*/, const char* /*text*/) {}
  virtual void OnLobbySettings(const NetLobbySettings&) {}
  // Host: whether every client is ready (the start item's state).
  virtual void OnStartAllowed(bool) {}
  virtual void OnRaceSetup(const NetRaceSetup&) {}
  virtual void OnRaceState(uint8_t /*state*/) {}
  virtual void OnStartSequence(float /*startMoment*/) {}
  virtual void OnCarState(const NetPeer&, const NetCarState&) {}
  virtual void OnRescue(const NetPeer&, const NetRescue&) {}
  virtual void OnPeerFinished(const NetPeer&) {}
  // A results entry of a known player: peer is null for the own player.
  virtual void OnResult(const NetPeer* /*peer*/, const NetResultEntry&) {}
  virtual void OnResultsDone() {}
  virtual void OnClockOffset(uint8_t /*id*/, float /*offset*/) {}
};

// Byte counters of one session (for the soak measurement).
struct NetTraffic {
  uint64_t sentBytes = 0, receivedBytes = 0;
  uint64_t sentMessages = 0, receivedMessages = 0, droppedMessages = 0;
};

class NetSession {
 public:
  // The session uses the device (opened by the caller) for its layers; hooks may be null.
  NetSession(VQConnectionDevice* device, NetGameHooks* hooks, const NetSessionConfig& config);
  ~NetSession();
  NetSession(const NetSession&) = delete;
  NetSession& operator=(const NetSession&) = delete;

  // The settings; changes count from the next operation that uses them.
  NetSessionConfig& MutableConfig() { return m_config; }
  // The wall clock in whole seconds (tests replace it).
  void SetWallClock(std::function<uint32_t()> clock) { m_wallClock = std::move(clock); }

  // Host: opens the game connection and the datagram socket; the first beacon goes out in
  // the next Update. False (g_VQerror) when a layer cannot be opened; nothing stays open.
  bool Host(const NetCarChoice& own);
  // Client: opens the datagram socket and searches for a beacon.
  bool Search(const NetCarChoice& own);
  // Client: connects to a host. The connection is made in the background: Join returns at
  // once, and a host that cannot be reached (or sends no welcome within NET_JOIN_SECONDS)
  // ends the session in a later Update (NET_CLOSED_CONNECT_FAILED).
  bool Join(const uint8_t address[4], const NetCarChoice& own);
  // Leaves: says goodbye, then drains the connection in later Updates and closes.
  void Leave();
  // Closes every layer at once (no message).
  void Close();

  // The per-frame step; frameTime in seconds.
  void Update(float frameTime);

  // Lobby.
  void SetOwnCarChoice(const NetCarChoice& choice);
  void SetLobbySettings(const NetLobbySettings& settings);  // host
  void SendChat(const char* text);
  bool AllClientsReady() const;
  // Host: starts the race (message 6/1 to everybody), drawing the start slots.
  bool StartRace(uint8_t weather);

  // Race.
  // The race is loaded: synchronisation starts (a client asks the host for it).
  void RaceLoaded();
  // The track reached its racing phase (race state 4) on this machine.
  void RacingStarted();
  void SendRescue(const NetRescue& rescue);
  void OwnPlayerFinished(uint8_t resultByte);
  // The race restarts (from the race menu): the synchronisation starts again. The host tells
  // the clients (who do nothing until their race is loaded again); a client's notice goes to
  // the host, which drops it.
  void RestartRace();
  // Host: ends the race at once, whoever has finished: the results (as BuildResults gives them)
  // go to everybody, as when the last player finishes. False outside a running race.
  bool EndRaceNow();
  // Host: after the results, everybody back to the lobby.
  void ReturnToLobby();
  // The game ended its race screen by itself (the race no longer runs).
  void RaceEnded();

  NetRole GetRole() const { return m_role; }
  NetPhase GetPhase() const { return m_phase; }
  bool IsHost() const { return m_role == NET_ROLE_HOST; }
  bool IsConnected() const { return m_phase == NET_PHASE_ACTIVE; }
  bool IsRaceRunning() const { return m_raceRunning; }
  uint8_t GetRaceState() const { return m_raceState; }
  uint8_t GetOwnId() const { return m_ownId; }
  float GetOwnClockOffset() const { return m_ownOffset; }
  const NetCarChoice& GetOwnChoice() const { return m_own; }
  uint32_t GetPeerCount() const { return m_peerCount; }
  const NetPeer& GetPeer(uint32_t index) const { return m_peers[index]; }
  const NetPeer* FindPeer(uint8_t id) const;
  uint32_t GetTcpPort() const;  // the host's listening port
  uint32_t GetUdpPort() const;  // the own datagram port
  const uint8_t* GetHostAddress() const { return m_hostAddress; }
  const NetTraffic& GetTraffic() const { return m_traffic; }
  uint32_t GetFinishedCount() const;

 private:
  uint32_t Now() const;
  uint32_t PeerUdpPort() const;
  bool OpenDatagram();
  bool Connect(const uint8_t address[4]);
  void Finish(NetCloseReason reason);

  // Sending (each notes the send time for the keep-alive).
  void SendToHost(const uint8_t* data, uint32_t length);
  void SendToChannel(int32_t channel, const uint8_t* data, uint32_t length);
  void SendToAll(const uint8_t* data, uint32_t length, int32_t exceptChannel = -1);
  void SendDatagram(const uint8_t* data, uint32_t length, const VQNetAddress& to);

  void UpdateHost(float frameTime);
  void UpdateClient(float frameTime);
  void UpdateSearch();
  void UpdateDraining();
  void UpdateRaceTimers(float frameTime);
  void ReadDatagrams();
  void HostReadClients();
  void HostAccept();
  void HostDropSilent();
  void HostCloseStaleRefused();
  void ForgetRefused(int32_t channel);
  void HostPing();
  void HostCheckStart();
  void HostCheckResults();
  void HostSendResults();
  void HostSendOffsets(const NetPeer& peer);

  bool OnHostMessage(int32_t channel, const uint8_t* data, uint32_t length, bool datagram);
  bool OnClientMessage(const uint8_t* data, uint32_t length, bool datagram);

  NetPeer* PeerById(uint8_t id);
  NetPeer* PeerByChannel(int32_t channel);
  NetPeer* AddPeer(uint8_t id, int32_t channel);
  // Removes the peer and moves every id above it (own id too) down by one.
  void RemovePeer(uint8_t id);
  void HostDropClient(NetPeer* peer);
  void SetRaceState(uint8_t state);
  void UpdateStartAllowed();

  VQConnectionDevice* m_device;
  NetGameHooks* m_hooks;
  NetGameHooks m_noHooks;
  NetSessionConfig m_config;
  std::function<uint32_t()> m_wallClock;

  NetRole m_role = NET_ROLE_NONE;
  NetPhase m_phase = NET_PHASE_CLOSED;
  NetCloseReason m_drainReason = NET_CLOSED_LEFT;
  VQProtocolLayer* m_game = nullptr;
  VQUdpReceiveLayer* m_udp = nullptr;
  uint8_t m_hostAddress[4] = {};
  VQNetAddress m_hostDatagram;  // client: where its datagrams go
  uint8_t m_beaconAddress[4] = {};

  NetCarChoice m_own;
  uint8_t m_ownId = 0;
  int32_t m_ownChannel = -1;
  float m_ownOffset = 0.0f;
  bool m_ownFinished = false;
  uint8_t m_ownResult = 0;
  NetLobbySettings m_lobby;

  NetPeer m_peers[NET_MAX_PEERS];
  uint32_t m_peerCount = 0;
  // Host: refused connections waiting for their client to close (channel, since when).
  struct Refused {
    int32_t channel = -1;
    uint32_t since = 0;
  };
  Refused m_refused[NET_MAX_REFUSED];
  uint32_t m_refusedCount = 0;

  bool m_raceRunning = false;
  uint8_t m_raceState = NET_RACE_IDLE;
  float m_carStateTimer = 0.0f;
  float m_raceClockTimer = 0.0f;
  uint32_t m_lastSend = 0;
  uint32_t m_lastBeacon = 0;
  bool m_beaconDue = false;
  uint32_t m_phaseStart = 0;  // search or drain start
  uint32_t m_random;
  NetTraffic m_traffic;
  uint8_t m_buffer[NET_MESSAGE_MAX];  // messages being written
  // Frames being read: big enough for any frame, so that a message longer than the game's
  // messages is read whole and dropped instead of sticking in its connection.
  uint8_t* m_frame = m_buffer;
  int32_t m_frameCapacity = NET_MESSAGE_MAX;
};
