// The Program's side of network play (game mode 6): it opens and closes the game's NetSession
// on the configured ports and addresses, runs it once a frame from the menu and race frames,
// keeps the lobby's chat lines and tells the menus which page to show when the network changes
// the game's course (joined, refused, connection lost, search over).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QVX/shell/NetSession.h"

class Program;
class VQVector;
class VQQuaternion;

// How a remote car follows its car states: the position moves toward the received one by
// 2.5 x the distance (a deviation of 0.4 or more jumps there at once), the orientation turns
// 0.3 of the way by spherical interpolation.
constexpr float NET_POSITION_GAIN = 2.5f;
constexpr float NET_ORIENTATION_BLEND = 0.3f;
void Net_BlendRemotePose(const VQVector& position, const VQQuaternion& orientation,
                         const NetCarState& received, VQVector* outPosition,
                         VQQuaternion* outOrientation);

struct RemoteCarState;

// A car state between its message form and the race's form (the steering is the message's
// driver input A, the pedal its input B).
void Net_ToRemoteState(const NetCarState& in, RemoteCarState* out);
void Net_FromRemoteState(const RemoteCarState& in, NetCarState* out);

// A rescue's placement in its message form: the first vector is the place, the second holds
// the heading (radians) and the fraction of the computer-line segment, word A that segment and
// word B the number of the rescue in the race.
void Net_WriteRescue(const VQVector& position, float heading, uint32_t segment, float fraction,
                     int32_t number, NetRescue* out);
// False for a placement that is not finite or whose segment is negative.
bool Net_ReadRescue(const NetRescue& in, VQVector* position, float* heading, uint32_t* segment,
                    float* fraction);

// The weather a host sends with the race start, as an index of the track's weather list
// (`names`, in the menu's order): the chosen entry when it names a weather of the track, else
// (the list's "random" entry, an empty slot, the menu's last entry or any index past the list)
// the `draw` % count-th of the track's weathers, so that every machine loads the same one.
// 0 when the track names no weather.
int32_t Net_RaceWeather(const std::vector<std::string>& names, int32_t chosen, uint32_t draw);

// What a network race frame reports to the race run.
enum NetRaceFrame : int32_t {
  NETRACE_OFF = 0,      // no network race: the race ends by itself
  NETRACE_RUNNING = 1,  // the network decides when it ends
  NETRACE_RESULTS = 2,  // the results are in (or the game ended): show them
};

// A network game runs in real time: with a fixed frame step the frames are paced so that game
// time keeps to the wall clock (every machine's race then runs at the same speed). A machine
// that falls further behind than this does not hurry to catch up.
constexpr double NET_PACE_MAX_LAG = 0.5;
// Race seconds between two log lines on the own car's progress in a network race.
constexpr float NET_PROGRESS_LOG_INTERVAL = 10.0f;

// Menu pages the network sends the player to.
enum NetMenuPage : int32_t {
  NETPAGE_NONE = -1,
  NETPAGE_LOBBY = 34,
  NETPAGE_CONNECT_FAILED = 37,
  NETPAGE_GAME_ENDED = 38,
  NETPAGE_JOINING = 42,
  NETPAGE_REFUSED = 43,
  NETPAGE_NETWORK_FAILED = 44,
  NETPAGE_SEARCHING = 45,
  NETPAGE_NOBODY_FOUND = 46,
};

// Message strings of network play.
enum NetTextId : int32_t {
  NETTEXT_PLAYER = 163,
  NETTEXT_ADDRESS = 165,
  NETTEXT_CONNECTED_TO = 5001,
  NETTEXT_REFUSED = 5101,
  NETTEXT_REASON_FULL = 8017,
  NETTEXT_REASON_RACING = 8018,
  NETTEXT_REASON_OTHER = 8019,
  NETTEXT_LEFT_THE_GAME = 8022,
};

constexpr uint32_t NET_CHAT_LINES = 5;
constexpr size_t NET_CONNECTION_TEXT_SIZE = 128;
constexpr size_t NET_PAGE_TEXT_SIZE = 256;

// Reads a typed host address: up to four numbers 0..255 separated by dots; parts that are
// missing keep 1, 0, 0, 0. False (address unchanged) for a number above 255 or other text.
bool Net_ParseTypedAddress(const char* text, int32_t address[4]);

// What the session reports, applied to the Program.
class ProgramNetHooks : public NetGameHooks {
 public:
  explicit ProgramNetHooks(Program* program) : m_program(program) {}
  float RaceTime() override;
  void SetRaceTime(float t) override;
  void OnJoined(uint8_t ownId) override;
  void OnRefused(uint8_t reason) override;
  void OnClosed(NetCloseReason reason) override;
  void OnHostFound(const uint8_t address[4]) override;
  void OnPeerJoined(const NetPeer& peer) override;
  void OnPeerLeft(uint8_t id, const char* name) override;
  void OnChat(uint8_t fromId, const char* text) override;
  void OnLobbySettings(const NetLobbySettings& settings) override;
  // The race.
  int TrackPhase() override;
  float TrackStartMoment() override;
  bool GetOwnCarState(NetCarState* state) override;
  uint32_t BuildResults(NetResultEntry* out, uint32_t capacity) override;
  bool MayStartRace() override;
  void OnRaceSetup(const NetRaceSetup& setup) override;
  void OnRaceState(uint8_t state) override;
  void OnStartSequence(float startMoment) override;
  void OnCarState(const NetPeer& peer, const NetCarState& state) override;
  void OnRescue(const NetPeer& peer, const NetRescue& rescue) override;
  void OnResult(const NetPeer* peer, const NetResultEntry& entry) override;
  void OnResultsDone() override;

 private:
  Program* m_program;
};
