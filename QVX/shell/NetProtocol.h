// The messages of network play: one writer and one checked reader per message type, and the
// discovery beacon. A message is one frame of the framed TCP layer or one datagram; byte 0 is
// its type, numbers are little-endian, and no message is longer than NET_MESSAGE_MAX bytes.
//
// The reader (NetMessage_Parse) trusts nothing: a message whose length is not the one of its
// type, a player id outside 0..NET_MAX_PLAYERS-1, a race state outside 1..6, a slot or result
// list longer than a game can hold, or a number that is not finite is refused as a whole.
// Names and chat texts are cut to their field and always terminated.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t NET_MESSAGE_MAX = 256;  // the receive buffer; longer messages are not read
constexpr uint32_t NET_MAX_PLAYERS = 8;    // the host and up to seven clients
constexpr uint32_t NET_NAME_SIZE = 16;     // 15 characters and the terminator
constexpr uint32_t NET_CHAT_MAX_CHARS = 77;
constexpr uint32_t NET_CHAT_SIZE = NET_CHAT_MAX_CHARS + 1;
constexpr uint32_t NET_RESULT_ENTRY_SIZE = 20;

enum NetMessageType : uint8_t {
  NETMSG_WELCOME = 0,
  NETMSG_REFUSAL = 1,
  NETMSG_HOST_CAR_CHOICE = 2,
  NETMSG_HOST_CAR_STATE = 3,
  NETMSG_RACE_CLOCK = 4,
  NETMSG_PLAYER_LEFT = 5,
  NETMSG_RACE_STATE = 6,
  NETMSG_LOBBY_SETTINGS = 7,
  NETMSG_CLOCK_PING = 8,
  NETMSG_CLOCK_ANSWER = 9,
  NETMSG_HOST_RESCUE = 10,
  NETMSG_RESULTS = 11,
  NETMSG_PLAYER_OFFSET = 12,
  NETMSG_BEACON = 13,
  NETMSG_CAR_CHOICE = 14,
  NETMSG_CAR_STATE = 15,
  NETMSG_SYNC_REQUEST = 16,
  NETMSG_RACE_LOADED = 17,
  NETMSG_CLIENT_LEAVES = 18,
  NETMSG_PING_ANSWER = 19,
  NETMSG_RESCUE = 20,
  NETMSG_FINISHED = 21,
  NETMSG_CHAT = 22,
  NETMSG_KEEP_ALIVE = 23,
  NETMSG_TYPE_COUNT = 24,
};

// Fixed message lengths (type byte included).
enum NetMessageLength : uint32_t {
  NETLEN_WELCOME = 3,
  NETLEN_REFUSAL = 2,
  NETLEN_CAR_CHOICE = 22,
  NETLEN_CAR_STATE = 71,
  NETLEN_RACE_CLOCK = 5,
  NETLEN_PLAYER_LEFT = 3,
  NETLEN_LOBBY_SETTINGS = 6,
  NETLEN_EMPTY = 1,  // ping, sync request, race loaded, keep-alive
  NETLEN_CLOCK_ANSWER = 9,
  NETLEN_RESCUE = 34,
  NETLEN_PLAYER_OFFSET = 6,
  NETLEN_BEACON = 8,
  NETLEN_CLIENT_LEAVES = 2,
  NETLEN_PING_ANSWER = 5,
  NETLEN_FINISHED = 2,
  NETLEN_CHAT_MIN = 2,
  NETLEN_CHAT_MAX = NET_CHAT_SIZE + 1,
  NETLEN_RACE_STATE_SHORT = 2,       // states 2, 5, 6
  NETLEN_RACE_STATE_START = 6,       // states 3, 4 (with the start moment)
  NETLEN_RACE_STATE_SETUP_BASE = 4,  // state 1: then one start slot per player
};

enum NetRefusalReason : uint8_t {
  NET_REFUSED_FULL = 0,
  NET_REFUSED_RACE_RUNNING = 1,
};

enum NetLeaveFlag : uint8_t {
  NET_LEFT_DROPPED = 0,  // the player dropped or timed out
  NET_LEFT_HOST = 1,     // the host leaves: the game ends
};

// The race state of a network game (0 outside a race).
enum NetRaceState : uint8_t {
  NET_RACE_IDLE = 0,
  NET_RACE_SETUP = 1,       // the race is being set up and loaded
  NET_RACE_SYNCING = 2,     // loaded: clocks are synchronised
  NET_RACE_START_SENT = 3,  // the start moment is known
  NET_RACE_RACING = 4,
  NET_RACE_RESULTS = 5,
  NET_RACE_LOBBY = 6,  // back to the lobby
};

struct NetCarChoice {
  uint8_t playerId = 0;
  uint8_t classIndex = 0;
  uint8_t skinIndex = 0;
  uint8_t carNumber = 0;
  bool ready = false;
  char name[NET_NAME_SIZE] = {};
};

// One car's state as its own machine sees it.
struct NetCarState {
  uint8_t playerId = 0;
  float raceTime = 0.0f;
  float position[3] = {};
  float orientation[4] = {0, 0, 0, 1};  // quaternion x, y, z, w
  float linearVelocity[3] = {};
  float angularVelocity[3] = {};
  float inputA = 0.0f;
  float gear = 0.0f;
  float inputB = 0.0f;
  bool horn = false;
};

struct NetRescue {
  uint8_t playerId = 0;
  float first[3] = {};
  float second[3] = {};
  int32_t wordA = 0;
  int32_t wordB = 0;
};

struct NetLobbySettings {
  uint8_t classIndex = 0;
  uint8_t track = 0;
  uint8_t length = 0;
  uint8_t raceType = 0;
  uint8_t weather = 0;
};

struct NetResultEntry {
  uint32_t playerId = 0;
  uint32_t finishWord = 0;
  uint32_t wordA = 0;
  uint32_t resultValue = 0;
  uint32_t wordB = 0;
};

// Race state 1: how the race is set up.
struct NetRaceSetup {
  uint8_t weather = 0;
  uint8_t randomValue = 0;                   // 0..100
  uint8_t playerCount = 0;                   // the players of the game (1..NET_MAX_PLAYERS)
  uint8_t startSlots[NET_MAX_PLAYERS] = {};  // by player id
};

// Any message, read. Only the members of its type are meaningful.
struct NetMessage {
  uint8_t type = 0;
  uint32_t length = 0;     // the whole message, type byte included
  uint8_t channel = 0;     // welcome
  uint8_t playerId = 0;    // welcome (the client's id), left, offset, leaves
  uint8_t reason = 0;      // refusal; left: the flag
  uint8_t raceState = 0;   // race state
  uint8_t resultByte = 0;  // finished
  float time = 0.0f;    // race clock, clock answer (host time), ping answer, start moment, offset
  float offset = 0.0f;  // clock answer
  uint8_t address[4] = {};  // beacon
  NetCarChoice carChoice;
  NetCarState carState;
  NetRescue rescue;
  NetLobbySettings lobby;
  NetRaceSetup setup;
  uint32_t resultCount = 0;
  NetResultEntry results[NET_MAX_PLAYERS];
  char chat[NET_CHAT_SIZE] = {};
};

// Reads one message of `length` bytes. False when it is malformed (see the header comment).
bool NetMessage_Parse(const uint8_t* data, size_t length, NetMessage* out);

// Writers: each fills `out` (at least NET_MESSAGE_MAX bytes) and returns the message length.
// `type` picks between the host's and the client's form where both share a layout.
uint32_t NetWrite_Welcome(uint8_t* out, uint8_t channel, uint8_t playerId);
uint32_t NetWrite_Refusal(uint8_t* out, uint8_t reason);
uint32_t NetWrite_CarChoice(uint8_t* out, uint8_t type, const NetCarChoice& choice);
uint32_t NetWrite_CarState(uint8_t* out, uint8_t type, const NetCarState& state);
uint32_t NetWrite_RaceClock(uint8_t* out, float hostTime);
uint32_t NetWrite_PlayerLeft(uint8_t* out, uint8_t playerId, uint8_t flag);
uint32_t NetWrite_RaceSetup(uint8_t* out, const NetRaceSetup& setup);
// States 2, 5 and 6 (short) and 3, 4 (with the start moment).
uint32_t NetWrite_RaceState(uint8_t* out, uint8_t state, float startMoment = 0.0f);
uint32_t NetWrite_LobbySettings(uint8_t* out, const NetLobbySettings& settings);
uint32_t NetWrite_Empty(uint8_t* out, uint8_t type);  // ping, sync request, race loaded, keep-alive
uint32_t NetWrite_ClockAnswer(uint8_t* out, float hostTime, float offset);
uint32_t NetWrite_Rescue(uint8_t* out, uint8_t type, const NetRescue& rescue);
// At most NET_MAX_PLAYERS entries are written.
uint32_t NetWrite_Results(uint8_t* out, const NetResultEntry* entries, uint32_t count);
uint32_t NetWrite_PlayerOffset(uint8_t* out, uint8_t playerId, float offset);
uint32_t NetWrite_Beacon(uint8_t* out, const uint8_t address[4]);
uint32_t NetWrite_ClientLeaves(uint8_t* out, uint8_t playerId);
uint32_t NetWrite_PingAnswer(uint8_t* out, float clientTime);
uint32_t NetWrite_Finished(uint8_t* out, uint8_t resultByte);
// The text is cut to NET_CHAT_MAX_CHARS characters; null is an empty text.
uint32_t NetWrite_Chat(uint8_t* out, const char* text);

// Copies text into a field of `size` bytes: cut to size - 1 characters and terminated.
void Net_CopyText(char* field, size_t size, const char* text);
