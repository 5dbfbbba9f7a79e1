#include "QVX/shell/ProgramNetwork.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "QVX/menu/Menu.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/HumanRacer.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/RemoteRacer.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/LobbyMenus.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/network/VQConnectionDevice.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQStrings.h"

// What the Program keeps of network play beyond the session: the race set-up from the host,
// the race under way with the other players' cars, and the pacing of the frames.
struct NetRaceData {
  NetRaceSetup setup;
  bool haveSetup = false;
  RaceSession* race = nullptr;
  // Every remote car of the race; one whose player left is out of the track but kept (with
  // the id NET_UNKNOWN_ID) until the race's teardown.
  std::vector<std::unique_ptr<RemoteRacer>> racers;
  bool loadedSent = false, racingSent = false, finishSent = false, resultsDone = false,
       ended = false;
  bool timeUp = false;  // host: the race ran out of time; the field is classified as it stands
  int32_t rescuesSent = 0;  // the own car's rescues the others were told of
  float nextProgressLog = 0.0f;  // race time of the next line on the own car's progress
  // The session's byte counts at the green light, for the race's traffic in the log.
  NetTraffic atGreen;
  bool trafficLogged = false;
  bool paced = false;
  std::chrono::steady_clock::time_point paceAnchor;
  double paceGameTime = 0.0;
};

namespace {

NetRaceData& NetRace(Program& p) {
  if (p.m_netRace == nullptr) p.m_netRace = new NetRaceData;
  return *p.m_netRace;
}

RaceSession* CurrentRace(Program& p) { return p.m_netRace ? p.m_netRace->race : nullptr; }

// The local player's car: the first human racer of the track.
TrackRacer* OwnRacer(Track& t) {
  for (uint32_t i = 0; i < t.m_playerCount; ++i)
    if (t.m_players[i]->GetDriverType() == TRACK_DRIVER_HUMAN) return t.m_players[i];
  return nullptr;
}

RemoteRacer* RacerOf(NetRaceData& d, uint8_t id) {
  if (id == NET_UNKNOWN_ID) return nullptr;
  for (auto& r : d.racers)
    if (r->PlayerId() == id) return r.get();
  return nullptr;
}

uint32_t Hundredths(float seconds) {
  return seconds > 0.0f && std::isfinite(seconds) ? uint32_t(std::lround(double(seconds) * 100.0))
                                                  : 0u;
}

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

void Net_ToRemoteState(const NetCarState& in, RemoteCarState* out) {
  out->raceTime = in.raceTime;
  out->position = VQVector(in.position[0], in.position[1], in.position[2]);
  std::memcpy(out->orientation, in.orientation, sizeof(out->orientation));
  out->velocity = VQVector(in.linearVelocity[0], in.linearVelocity[1], in.linearVelocity[2]);
  out->angularVelocity =
      VQVector(in.angularVelocity[0], in.angularVelocity[1], in.angularVelocity[2]);
  out->steering = in.inputA;
  out->pedal = in.inputB;
  // The gear travels as a number; one that is no gear leaves neutral.
  out->gear = std::isfinite(in.gear) && std::fabs(in.gear) < 100.0f
                  ? int32_t(std::lround(in.gear))
                  : int32_t(CAR_GEAR_NEUTRAL);
  out->horn = in.horn;
}

void Net_FromRemoteState(const RemoteCarState& in, NetCarState* out) {
  out->raceTime = in.raceTime;
  const VQVector* vectors[3] = {&in.position, &in.velocity, &in.angularVelocity};
  float* fields[3] = {out->position, out->linearVelocity, out->angularVelocity};
  for (int k = 0; k < 3; ++k) {
    fields[k][0] = vectors[k]->x;
    fields[k][1] = vectors[k]->y;
    fields[k][2] = vectors[k]->z;
  }
  std::memcpy(out->orientation, in.orientation, sizeof(out->orientation));
  out->inputA = in.steering;
  out->inputB = in.pedal;
  out->gear = float(in.gear);
  out->horn = in.horn;
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

void Net_WriteRescue(const VQVector& position, float heading, uint32_t segment, float fraction,
                     int32_t number, NetRescue* out) {
  out->first[0] = position.x;
  out->first[1] = position.y;
  out->first[2] = position.z;
  out->second[0] = heading;
  out->second[1] = fraction;
  out->second[2] = 0.0f;
  out->wordA = int32_t(std::min<uint32_t>(segment, uint32_t(INT32_MAX)));
  out->wordB = number;
}

bool Net_ReadRescue(const NetRescue& in, VQVector* position, float* heading, uint32_t* segment,
                    float* fraction) {
  for (float v : {in.first[0], in.first[1], in.first[2], in.second[0], in.second[1]})
    if (!std::isfinite(v)) return false;
  if (in.wordA < 0) return false;
  *position = VQVector(in.first[0], in.first[1], in.first[2]);
  *heading = in.second[0];
  *fraction = std::clamp(in.second[1], 0.0f, 1.0f);
  *segment = uint32_t(in.wordA);
  return true;
}

int32_t Net_RaceWeather(const std::vector<std::string>& names, int32_t chosen, uint32_t draw) {
  auto concrete = [&](size_t i) {
    return i < names.size() && !names[i].empty() && names[i] != TRACK_WEATHER_RANDOM;
  };
  if (chosen >= 0 && concrete(size_t(chosen))) return chosen;
  std::vector<int32_t> weathers;
  for (size_t i = 0; i < names.size(); ++i)
    if (concrete(i)) weathers.push_back(int32_t(i));
  return weathers.empty() ? 0 : weathers[draw % weathers.size()];
}

// ---- Hooks.

float ProgramNetHooks::RaceTime() {
  if (RaceSession* race = CurrentRace(*m_program)) return race->GetSimulation().m_raceTime;
  return m_program->m_netRaceTime;
}

void ProgramNetHooks::SetRaceTime(float t) {
  if (RaceSession* race = CurrentRace(*m_program))
    race->GetSimulation().SetRaceTime(t);
  else
    m_program->m_netRaceTime = t;
}

int ProgramNetHooks::TrackPhase() {
  RaceSession* race = CurrentRace(*m_program);
  if (race == nullptr) return RACE_STATE_NONE;
  Track& t = race->GetTrack();
  // Once the own car is home this machine's race is over, whatever the others still do.
  TrackRacer* own = OwnRacer(t);
  const RaceTrackerEntry* e = own && t.m_tracker ? t.m_tracker->FindEntry(own) : nullptr;
  if (e && e->finished && t.m_state < RACE_STATE_FINISH_CAMERA) return RACE_STATE_FINISH_CAMERA;
  return int(t.m_state);
}

float ProgramNetHooks::TrackStartMoment() { return RaceTime(); }

bool ProgramNetHooks::GetOwnCarState(NetCarState* state) {
  RaceSession* race = CurrentRace(*m_program);
  RemoteCarState s;
  if (race == nullptr || !RemoteCarState_Read(OwnRacer(race->GetTrack()), &s)) return false;
  s.raceTime = race->GetSimulation().m_raceTime;
  Net_FromRemoteState(s, state);
  return true;
}

uint32_t ProgramNetHooks::BuildResults(NetResultEntry* out, uint32_t capacity) {
  RaceSession* race = CurrentRace(*m_program);
  if (race == nullptr || m_program->m_net == nullptr) return 0;
  Track& t = race->GetTrack();
  uint32_t n = 0;
  for (uint32_t i = 0; i < t.m_playerCount && n < capacity; ++i) {
    TrackRacer* racer = t.m_players[i];
    RaceTrackerEntry* e = t.m_tracker ? t.m_tracker->FindEntry(racer) : nullptr;
    if (e == nullptr) continue;
    NetResultEntry& r = out[n];
    bool finished = e->finished != 0;
    if (racer->GetDriverType() == TRACK_DRIVER_HUMAN) {
      r.playerId = m_program->m_net->GetOwnId();
    } else if (racer->GetDriverType() == TRACK_DRIVER_REMOTE) {
      const uint8_t id = static_cast<RemoteRacer*>(racer)->PlayerId();
      const NetPeer* peer = m_program->m_net->FindPeer(id);
      if (peer == nullptr) continue;
      r.playerId = id;
      // Its own machine saw it finish, whether or not its car here crossed the line yet.
      finished = finished || peer->finished;
    } else {
      continue;
    }
    // The host's own table is the classification everybody takes, itself included. When time
    // is up, everybody is classified in the running order.
    if (m_program->m_netRace->timeUp) finished = true;
    e->finished = finished ? 1 : 0;
    r.finishWord = e->finished;
    r.wordA = Hundredths(e->carRaceTime);
    r.resultValue = e->position;
    r.wordB = e->bestLap.Hundredths();
    ++n;
  }
  return n;
}

bool ProgramNetHooks::MayStartRace() {
  return !(m_program->m_menu && m_program->m_menu->GetCurrentPage());
}

void ProgramNetHooks::OnRaceSetup(const NetRaceSetup& setup) {
  NetRaceData& d = NetRace(*m_program);
  d.setup = setup;
  d.haveSetup = true;
  m_program->Log("Network : race set up for %u players", setup.playerCount);
}

void ProgramNetHooks::OnRaceState(uint8_t state) {
  m_program->Log("Network : race state %u", state);
  // The host went back to the lobby: a client still in the race (on its results or podium)
  // leaves it too, and its menus show the lobby, where the next race is got ready.
  if (state == NET_RACE_LOBBY && m_program->m_net != nullptr && !m_program->m_net->IsHost() &&
      CurrentRace(*m_program) != nullptr && m_program->m_raceRunning) {
    m_program->Log("Network : back to the lobby");
    m_program->m_sessionRequest = SESSION_RACE;  // the race loop's way back to the menus
    g_VQsystem.m_stop = 1;
  }
}

void ProgramNetHooks::OnStartSequence(float) {
  RaceSession* race = CurrentRace(*m_program);
  if (race == nullptr) return;
  Track& t = race->GetTrack();
  if (t.m_state == RACE_STATE_WAITING) t.SetState(RACE_STATE_START);
  m_program->Log("Network : start sequence");
}

void ProgramNetHooks::OnCarState(const NetPeer& peer, const NetCarState& state) {
  RaceSession* race = CurrentRace(*m_program);
  RemoteRacer* racer = race ? RacerOf(*m_program->m_netRace, peer.id) : nullptr;
  if (racer == nullptr) return;
  RemoteCarState s;
  Net_ToRemoteState(state, &s);
  racer->Receive(s, race->GetSimulation().m_raceTime);
}

void ProgramNetHooks::OnRescue(const NetPeer& peer, const NetRescue& rescue) {
  RaceSession* race = CurrentRace(*m_program);
  RemoteRacer* racer = race ? RacerOf(*m_program->m_netRace, peer.id) : nullptr;
  VQVector position;
  float heading = 0.0f, fraction = 0.0f;
  uint32_t segment = 0;
  if (racer == nullptr || !Net_ReadRescue(rescue, &position, &heading, &segment, &fraction))
    return;
  if (racer->Rescue(position, heading, segment, fraction))
    m_program->Log("Network : the car of %s is rescued", racer->GetName());
}

void ProgramNetHooks::OnResult(const NetPeer* peer, const NetResultEntry& entry) {
  RaceSession* race = CurrentRace(*m_program);
  if (race == nullptr) return;
  Track& t = race->GetTrack();
  TrackRacer* racer = peer ? RacerOf(*m_program->m_netRace, peer->id) : OwnRacer(t);
  RaceTrackerEntry* e = racer && t.m_tracker ? t.m_tracker->FindEntry(racer) : nullptr;
  if (e == nullptr) return;
  e->finished = entry.finishWord != 0 ? 1 : 0;
  e->position = entry.resultValue;
  e->carRaceTime = float(entry.wordA) * 0.01f;
  e->bestLap = LapTime::FromHundredths(entry.wordB);
}

void ProgramNetHooks::OnResultsDone() {
  RaceSession* race = CurrentRace(*m_program);
  if (race == nullptr) return;
  if (RaceTracker* tracker = race->GetTrack().m_tracker) tracker->Stop();
  m_program->m_netRace->resultsDone = true;
  m_program->Log("Network : results of the race");
}

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
    case NET_CLOSED_CONNECT_FAILED: m_program->m_netPage = NETPAGE_CONNECT_FAILED; break;
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
  NetRaceData* d = m_program->m_netRace;
  if (d == nullptr) return;
  if (RemoteRacer* gone = RacerOf(*d, id)) {
    // Its car leaves the race here too; the object stays until the race's teardown.
    if (d->race != nullptr) {
      gone->Retire();  // the race's views still hold its car's nodes
      d->race->GetCourse().RemoveParticipant(&gone->Follower());
      d->race->GetTrack().RemovePlayer(gone);
      m_program->Log("Network : the car of %s left the race", name);
    }
    gone->SetPlayerId(NET_UNKNOWN_ID);
  }
  // The ids above the one that left move down, as the session's did.
  for (auto& r : d->racers)
    if (r->PlayerId() != NET_UNKNOWN_ID && r->PlayerId() > id) r->SetPlayerId(r->PlayerId() - 1);
}

void ProgramNetHooks::OnChat(uint8_t, const char* text) { m_program->AddChatLine(text); }

void ProgramNetHooks::OnLobbySettings(const NetLobbySettings& settings) {
  LobbyMenus_ApplySettings(*m_program, settings);
}

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
    for (uint32_t i = 0; i < m_config.broadcastPortCount && i < NET_MAX_PLAYERS - 1; ++i)
      config.beaconPorts[config.beaconPortCount++] = uint32_t(m_config.broadcastPorts[i]);
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
                NetText(this, NETTEXT_CONNECTED_TO), address[0], address[1], address[2],
                address[3]);
  *page = NETPAGE_JOINING;
  return true;
}

void Program::CloseNetwork() {
  delete m_net;  // closes its layers
  m_net = nullptr;
  delete m_netHooks;
  m_netHooks = nullptr;
  // A race under way still holds the remote cars: they go with its teardown.
  if (m_netRace != nullptr && m_netRace->race == nullptr) {
    delete m_netRace;
    m_netRace = nullptr;
  }
}

void Program::UpdateNetwork(float frameTime) {
  if (m_net == nullptr) return;
  m_net->Update(frameTime);
  if (m_options.fixedStep <= 0.0f) return;
  // Fixed steps run back to back; a network game keeps them to the wall clock instead.
  NetRaceData& d = NetRace(*this);
  const auto now = std::chrono::steady_clock::now();
  if (!d.paced) {
    d.paced = true;
    d.paceAnchor = now;
    d.paceGameTime = 0.0;
    return;
  }
  d.paceGameTime += double(frameTime);
  const double wall = std::chrono::duration<double>(now - d.paceAnchor).count();
  if (wall - d.paceGameTime > NET_PACE_MAX_LAG) {
    d.paceAnchor = now;  // too far behind (loading, a slow machine): go on from here
    d.paceGameTime = 0.0;
  } else if (d.paceGameTime > wall) {
    std::this_thread::sleep_for(std::chrono::duration<double>(d.paceGameTime - wall));
  }
}

bool Program::AddNetworkRacers(RaceSession& race, const std::string& track,
                               const std::string& className, bool beforeOwn, std::string* error) {
  if (m_net == nullptr || !m_net->IsRaceRunning()) return true;
  NetRaceData& d = NetRace(*this);
  if (beforeOwn) {
    d.racers.clear();  // the last race's cars, released by its teardown
    d.race = &race;
    d.loadedSent = d.racingSent = d.finishSent = d.resultsDone = d.ended = d.timeUp = false;
    d.rescuesSent = 0;
    d.nextProgressLog = NET_PROGRESS_LOG_INTERVAL;
    d.trafficLogged = false;
  }
  CarCatalog* catalog = race.GetCarCatalog();
  TrackCarEnvironment* environment = race.GetCarEnvironment();
  if (catalog == nullptr || environment == nullptr) {
    *error = "Cannot find the model data of car '" + className + "'";
    return false;
  }
  const uint8_t ownId = m_net->GetOwnId();
  const uint32_t ownSlot =
      d.haveSetup && ownId < d.setup.playerCount ? d.setup.startSlots[ownId] : 0u;
  std::vector<const NetPeer*> peers;
  for (uint32_t i = 0; i < m_net->GetPeerCount(); ++i) {
    const NetPeer& peer = m_net->GetPeer(i);
    if ((peer.startSlot < ownSlot) == beforeOwn) peers.push_back(&peer);
  }
  std::stable_sort(peers.begin(), peers.end(),
                   [](const NetPeer* a, const NetPeer* b) { return a->startSlot < b->startSlot; });
  for (const NetPeer* peer : peers) {
    // The player's own class with its chosen skin and race number, as its machine races it.
    const uint32_t classIndex =
        peer->choice.classIndex < m_classCount ? peer->choice.classIndex : UINT32_MAX;
    const RacingClass* cls = classIndex != UINT32_MAX ? m_classes[classIndex] : nullptr;
    CarSetup setup;
    setup.carName = cls ? cls->m_name : className.c_str();
    setup.number = peer->choice.carNumber > 0 ? peer->choice.carNumber : 1;
    setup.detail = 1;
    if (cls && !cls->m_skins.empty())
      setup.paint = MakeRaceCarPaint(classIndex,
                                     std::min<uint32_t>(peer->choice.skinIndex,
                                                        uint32_t(cls->m_skins.size()) - 1),
                                     setup.number);
    auto racer =
        std::make_unique<RemoteRacer>(peer->id, peer->choice.name, catalog, environment, setup,
                                      &race.GetCourse(), &race.GetTrack());
    if (!race.AddRacer(racer.get(), &racer->Follower())) {
      *error = race.m_error;
      return false;
    }
    Log("Network : %s on grid place %u, class '%s', number %d", peer->choice.name,
        race.GetTrack().m_playerCount, setup.carName, setup.number);
    d.racers.push_back(std::move(racer));
  }
  return true;
}

int32_t Program::NetworkRaceFrame(RaceSession& race) {
  NetRaceData& d = NetRace(*this);
  d.race = &race;
  if (m_net == nullptr) return NETRACE_RESULTS;
  if (!d.loadedSent) {
    d.loadedSent = true;
    m_net->RaceLoaded();
    Log("Network : race loaded, waiting for the start");
  }
  UpdateNetwork(m_options.fixedStep > 0.0f ? m_options.fixedStep
                                           : race.GetSimulation().m_frameTime);
  if (m_net->GetPhase() == NET_PHASE_CLOSED) {
    // The game is over (the host left or vanished): this machine's race ends as it stands.
    if (!d.ended) Log("Network : the game ended during the race");
    d.ended = true;
    return NETRACE_RESULTS;
  }
  Track& t = race.GetTrack();
  if (!d.racingSent && t.m_state >= RACE_STATE_RACING) {
    d.racingSent = true;
    d.atGreen = m_net->GetTraffic();
    m_net->RacingStarted();
  }
  const int32_t limit = m_config.netRaceLimit;
  if (m_net->IsHost() && limit > 0 && !d.timeUp && !d.resultsDone &&
      t.m_state >= RACE_STATE_RACING && race.RaceTime() >= float(limit)) {
    d.timeUp = true;
    Log("Network : the race's time is up after %d seconds", int(limit));
    m_net->EndRaceNow();
  }
  if (TrackRacer* own = OwnRacer(t); own && race.RaceTime() >= d.nextProgressLog) {
    // Now and then a line on where the own car is (long runs and soaks read it).
    d.nextProgressLog = race.RaceTime() + NET_PROGRESS_LOG_INTERVAL;
    uint32_t lap = 0, segment = 0;
    float fraction = 0.0f;
    own->GetProgress(&lap, &segment, &fraction);
    const VQVector at = own->GetPosition();
    auto* human = static_cast<HumanRacer*>(own);
    Log("Network : race time %.0f s, own car on lap %u at segment %u (%.0f, %.0f), %.1f m/s%s",
        double(race.RaceTime()), lap, segment, double(at.x), double(at.y),
        double(human->Speed()), human->Started() ? "" : ", not started");
  }
  if (TrackRacer* own = OwnRacer(t)) {
    // The own car's rescue goes to the others once its place is chosen, so that its car is
    // put on the same place everywhere.
    const AIDriver& f = static_cast<HumanRacer*>(own)->Follower();
    if (f.Rescuing() && f.m_placed && f.m_rescueCount != d.rescuesSent) {
      d.rescuesSent = f.m_rescueCount;
      NetRescue rescue;
      Net_WriteRescue(f.m_placePos, f.m_placeHeading, f.m_placeSegment, f.m_placeFraction,
                      f.m_rescueCount, &rescue);
      m_net->SendRescue(rescue);
      Log("Network : own car rescued");
    }
  }
  if (!d.finishSent) {
    TrackRacer* own = OwnRacer(t);
    const RaceTrackerEntry* e = own && t.m_tracker ? t.m_tracker->FindEntry(own) : nullptr;
    if (e && e->finished) {
      d.finishSent = true;
      m_net->OwnPlayerFinished(uint8_t(std::min<uint32_t>(e->position, 255)));
      Log("Network : own car finished, place %u", e->position);
    }
  }
  if (d.resultsDone && !d.trafficLogged) {
    // What the race itself cost on the wire (the soak runs read this line).
    d.trafficLogged = true;
    const NetTraffic& now = m_net->GetTraffic();
    Log("Network : race traffic sent %llu bytes, received %llu bytes in %.1f race seconds",
        static_cast<unsigned long long>(now.sentBytes - d.atGreen.sentBytes),
        static_cast<unsigned long long>(now.receivedBytes - d.atGreen.receivedBytes),
        double(race.RaceTime()));
  }
  return d.resultsDone ? NETRACE_RESULTS : NETRACE_RUNNING;
}

bool Program::NetworkRaceWeather(int32_t* weather) const {
  if (m_netRace == nullptr || !m_netRace->haveSetup) return false;
  *weather = m_netRace->setup.weather;
  return true;
}

void Program::ReleaseLeftNetworkCars() {
  if (m_netRace == nullptr) return;
  for (auto& r : m_netRace->racers)
    if (r->Retired()) r->ReleaseRetiredCar();
}

void Program::EndNetworkRace() {
  if (m_netRace != nullptr) {
    m_netRace->racers.clear();
    m_netRace->race = nullptr;
    m_netRace->haveSetup = false;
  }
  if (m_net == nullptr) return;
  if (m_net->IsHost() && m_net->IsConnected())
    m_net->ReturnToLobby();
  else
    m_net->RaceEnded();
  if (m_net->IsConnected()) m_netPage = NETPAGE_LOBBY;
}

void Program::AddChatLine(const char* text) {
  Log("Chat: %s", text);
  for (uint32_t i = 1; i < NET_CHAT_LINES; ++i)
    std::memcpy(m_chatLines[i - 1], m_chatLines[i], sizeof(m_chatLines[i]));
  Net_CopyText(m_chatLines[NET_CHAT_LINES - 1], sizeof(m_chatLines[0]), text);
}
