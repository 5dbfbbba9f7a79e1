#include "QVX/shell/ProgramNetwork.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <cmath>

#include "QVX/race/Player.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQStrings.h"

namespace {

const char* NetText(const Program* p, int32_t id) {
  const char* t = p->m_texts ? p->m_texts->GetById(id) : nullptr;
  return t ? t : "";
}

const char* OwnName(const Program* p) {
  return p->m_playerCount > 0 ? p->m_players[0]->m_name : p->m_config.player1;
}

VQConnectionDevice* ConnectionDevice() {
  return static_cast<VQConnectionDevice*>(VQnet_GetConnectionDevice(VQDEVICE_CONNECTION, 0));
}

NetCarChoice OwnChoice(const Program* p) {
  NetCarChoice c;
  Net_CopyText(c.name, sizeof(c.name), OwnName(p));
  if (p->m_playerCount > 0) {
    const PlayerProfile& profile = p->m_players[0]->m_profile;
    c.classIndex = uint8_t(profile.normal_frame);
    c.skinIndex = uint8_t(profile.normal_color);
    c.carNumber = uint8_t(profile.number);
  }
  return c;
}

}  // namespace

bool Net_ParseTypedAddress(const char* text, int32_t address[4]) {
  int32_t parts[4] = {1, 0, 0, 0};
  const char* p = text ? text : "";
  for (int i = 0; i < 4 && *p != 0; ++i) {
    if (*p < '0' || *p > '9') return false;
    int32_t value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      if (value > 255) return false;
    }
    parts[i] = value;
    if (*p == '.')
      ++p;
    else if (*p != 0)
      return false;
  }
  if (*p != 0) return false;  // a fifth part
  std::memcpy(address, parts, sizeof(parts));
  return true;
}

void Net_BlendRemotePose(const VQVector& position, const VQQuaternion& orientation,
                         const NetCarState& received, VQVector* outPosition,
                         VQQuaternion* outOrientation) {
  const float dx = received.position[0] - position.x, dy = received.position[1] - position.y,
              dz = received.position[2] - position.z;
  float w = NET_POSITION_GAIN * std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(w <= 1.0f)) w = 1.0f;
  *outPosition = VQVector(position.x * (1.0f - w) + received.position[0] * w,
                          position.y * (1.0f - w) + received.position[1] * w,
                          position.z * (1.0f - w) + received.position[2] * w);
  const VQQuaternion target(received.orientation[0], received.orientation[1],
                            received.orientation[2], received.orientation[3]);
  outOrientation->Slerp(orientation, target, NET_ORIENTATION_BLEND);
}

// ---- Hooks.

float ProgramNetHooks::RaceTime() { return m_program->m_netRaceTime; }
void ProgramNetHooks::SetRaceTime(float t) { m_program->m_netRaceTime = t; }

void ProgramNetHooks::OnJoined(uint8_t ownId) {
  m_program->Log("Network : joined the game as player %u", ownId);
  m_program->m_netPage = NETPAGE_LOBBY;
}

void ProgramNetHooks::OnRefused(uint8_t reason) {
  const int32_t why = reason == NET_REFUSED_FULL           ? NETTEXT_REASON_FULL
                      : reason == NET_REFUSED_RACE_RUNNING ? NETTEXT_REASON_RACING
                                                           : NETTEXT_REASON_OTHER;
  // The format comes from the language file: only its first %s is filled, never more.
  const char* format = NetText(m_program, NETTEXT_REFUSED);
  const char* at = std::strchr(format, '%');
  if (at != nullptr && at[1] == 's' && std::strchr(at + 2, '%') == nullptr)
    std::snprintf(m_program->m_netPageText, sizeof(m_program->m_netPageText), format,
                  NetText(m_program, why));
  else
    std::snprintf(m_program->m_netPageText, sizeof(m_program->m_netPageText), "%s %s", format,
                  NetText(m_program, why));
  m_program->Log("Network : refused (%u)", reason);
  m_program->m_netPage = NETPAGE_REFUSED;
}

void ProgramNetHooks::OnClosed(NetCloseReason reason) {
  m_program->Log("Network : closed (%u)", unsigned(reason));
  switch (reason) {
    case NET_CLOSED_CONNECTION_LOST:
    case NET_CLOSED_HOST_LEFT:
      m_program->m_netPage = NETPAGE_GAME_ENDED;
      m_program->m_gameMode = 0;
      break;
    case NET_CLOSED_SEARCH_TIMED_OUT: m_program->m_netPage = NETPAGE_NOBODY_FOUND; break;
    default: break;  // leaving and refusals already chose their page
  }
}

void ProgramNetHooks::OnHostFound(const uint8_t a[4]) {
  std::snprintf(m_program->m_connectionText, sizeof(m_program->m_connectionText), "%s %d.%d.%d.%d",
                NetText(m_program, NETTEXT_CONNECTED_TO), a[0], a[1], a[2], a[3]);
  m_program->m_netPage = NETPAGE_JOINING;
}

void ProgramNetHooks::OnPeerJoined(const NetPeer& peer) {
  m_program->Log("Network : player %u joined", peer.id);
}

void ProgramNetHooks::OnPeerLeft(uint8_t id, const char* name) {
  m_program->Log("Network : player %u (%s) left", id, name);
}

void ProgramNetHooks::OnChat(uint8_t, const char* text) { m_program->AddChatLine(text); }

// ---- Program.

bool Program::OpenNetwork() {
  VQConnectionDevice* device = ConnectionDevice();
  if (device == nullptr || !device->Open(0)) {
    std::snprintf(m_connectionText, sizeof(m_connectionText), "%s : %s, %s : -.-.-.-",
                  NetText(this, NETTEXT_PLAYER), OwnName(this), NetText(this, NETTEXT_ADDRESS));
    return false;
  }
  std::memset(m_localAddress, 0, sizeof(m_localAddress));
  if (!Config_ParseAddress(m_config.netAddress, m_localAddress)) {
    VQNetAddress local;
    if (VQnet_GetLocalAddress(&local))
      for (int i = 0; i < 4; ++i) m_localAddress[i] = uint8_t(local.m_bytes[i]);
  }
  std::snprintf(m_connectionText, sizeof(m_connectionText), "%s : %s, %s : %d.%d.%d.%d",
                NetText(this, NETTEXT_PLAYER), OwnName(this), NetText(this, NETTEXT_ADDRESS),
                m_localAddress[0], m_localAddress[1], m_localAddress[2], m_localAddress[3]);
  if (m_net == nullptr) {
    NetSessionConfig config;
    config.tcpPort = uint32_t(m_config.tcpPort);
    config.udpPort = uint32_t(m_config.udpPort);
    Config_ParseAddress(m_config.netAddress, config.localAddress);
    Net_CopyText(config.broadcastAddress, sizeof(config.broadcastAddress),
                 m_config.broadcastAddress);
    config.searchSeconds = m_networkTimeout;
    config.randomSeed = m_options.seeded ? m_options.seed : 1u;
    m_netHooks = new (std::nothrow) ProgramNetHooks(this);
    m_net = m_netHooks ? new (std::nothrow) NetSession(device, m_netHooks, config) : nullptr;
    if (m_net == nullptr) {
      delete m_netHooks;
      m_netHooks = nullptr;
      return false;
    }
  }
  return true;
}

bool Program::OpenDatagramLayers(int32_t* page) {
  if (!OpenNetwork()) {
    *page = NETPAGE_NETWORK_FAILED;
    return false;
  }
  // The host's datagram socket opens with its game connection; a client joining by the typed
  // address opens both there as well.
  if (m_isHost || !m_netSearch) return true;
  if (!m_net->Search(OwnChoice(this))) {
    Log("Network : cannot open the datagram socket (error %d)", g_VQerror);
    *page = NETPAGE_NETWORK_FAILED;
    return false;
  }
  *page = NETPAGE_SEARCHING;
  return true;
}

bool Program::OpenGameConnection(int32_t* page) {
  if (!OpenNetwork()) {
    *page = NETPAGE_NETWORK_FAILED;
    return false;
  }
  if (m_isHost) {
    if (!m_net->Host(OwnChoice(this))) {
      Log("Network : cannot host on port %d (error %d)", m_config.tcpPort, g_VQerror);
      *page = NETPAGE_NETWORK_FAILED;
      return false;
    }
    *page = NETPAGE_LOBBY;
    return true;
  }
  uint8_t address[4];
  const int32_t* typed = m_playerCount > 0 ? m_players[0]->m_profile.server_address : nullptr;
  for (int i = 0; i < 4; ++i) {
    const int32_t v = typed ? typed[i] : (i == 0 ? 127 : i == 3 ? 1 : 0);
    if (v < 0 || v > 255) {
      *page = NETPAGE_CONNECT_FAILED;
      return false;
    }
    address[i] = uint8_t(v);
  }
  if (!m_net->Join(address, OwnChoice(this))) {
    Log("Network : cannot connect to %d.%d.%d.%d (error %d)", address[0], address[1], address[2],
        address[3], g_VQerror);
    *page = NETPAGE_CONNECT_FAILED;
    return false;
  }
  std::snprintf(m_connectionText, sizeof(m_connectionText), "%s %d.%d.%d.%d",
                NetText(this, NETTEXT_CONNECTED_TO), address[0], address[1], address[2], address[3]);
  *page = NETPAGE_JOINING;
  return true;
}

void Program::CloseNetwork() {
  delete m_net;  // closes its layers
  m_net = nullptr;
  delete m_netHooks;
  m_netHooks = nullptr;
}

void Program::UpdateNetwork(float frameTime) {
  if (m_net != nullptr) m_net->Update(frameTime);
}

void Program::AddChatLine(const char* text) {
  for (uint32_t i = 1; i < NET_CHAT_LINES; ++i)
    std::memcpy(m_chatLines[i - 1], m_chatLines[i], sizeof(m_chatLines[i]));
  Net_CopyText(m_chatLines[NET_CHAT_LINES - 1], sizeof(m_chatLines[0]), text);
}
