#include "QVX/shell/NetProtocol.h"

#include <cmath>
#include <cstring>

#include "QVX/shell/RecordBytes.h"

namespace {

constexpr uint8_t kBeaconMagic[3] = {'Q', 'V', 'X'};

// Car state field offsets.
enum : size_t {
  CS_ID = 1,
  CS_TIME = 2,
  CS_POSITION = 6,
  CS_ORIENTATION = 18,
  CS_LINEAR = 34,
  CS_ANGULAR = 46,
  CS_INPUT_A = 58,
  CS_GEAR = 62,
  CS_INPUT_B = 66,
  CS_HORN = 70,
};

// Car choice field offsets.
enum : size_t { CC_ID = 1, CC_CLASS = 2, CC_SKIN = 3, CC_NUMBER = 4, CC_READY = 5, CC_NAME = 6 };

// Rescue field offsets.
enum : size_t { RS_ID = 1, RS_FIRST = 2, RS_SECOND = 14, RS_WORD_A = 26, RS_WORD_B = 30 };

// A float read from a message; false when it is not finite (a NaN or an infinity would reach
// the car physics and the race clock).
bool GetFinite(const uint8_t* data, size_t offset, float* out) {
  *out = Record_GetF32(data, offset);
  return std::isfinite(*out);
}

bool GetFinites(const uint8_t* data, size_t offset, float* out, int count) {
  for (int i = 0; i < count; ++i)
    if (!GetFinite(data, offset + 4 * size_t(i), &out[i])) return false;
  return true;
}

void PutFloats(uint8_t* out, size_t offset, const float* values, int count) {
  for (int i = 0; i < count; ++i) Record_PutF32(out, offset + 4 * size_t(i), values[i]);
}

bool ValidId(uint32_t id) { return id < NET_MAX_PLAYERS; }

bool ParseCarChoice(const uint8_t* d, NetCarChoice* c) {
  c->playerId = d[CC_ID];
  if (!ValidId(c->playerId)) return false;
  c->classIndex = d[CC_CLASS];
  c->skinIndex = d[CC_SKIN];
  c->carNumber = d[CC_NUMBER];
  c->ready = d[CC_READY] != 0;
  Record_GetName(c->name, sizeof(c->name), d, CC_NAME, NET_NAME_SIZE);
  return true;
}

bool ParseCarState(const uint8_t* d, NetCarState* s) {
  s->playerId = d[CS_ID];
  if (!ValidId(s->playerId)) return false;
  s->horn = (d[CS_HORN] & 1) != 0;
  return GetFinite(d, CS_TIME, &s->raceTime) && GetFinites(d, CS_POSITION, s->position, 3) &&
         GetFinites(d, CS_ORIENTATION, s->orientation, 4) &&
         GetFinites(d, CS_LINEAR, s->linearVelocity, 3) &&
         GetFinites(d, CS_ANGULAR, s->angularVelocity, 3) && GetFinite(d, CS_INPUT_A, &s->inputA) &&
         GetFinite(d, CS_GEAR, &s->gear) && GetFinite(d, CS_INPUT_B, &s->inputB);
}

bool ParseRescue(const uint8_t* d, NetRescue* r) {
  r->playerId = d[RS_ID];
  if (!ValidId(r->playerId)) return false;
  r->wordA = Record_GetI32(d, RS_WORD_A);
  r->wordB = Record_GetI32(d, RS_WORD_B);
  return GetFinites(d, RS_FIRST, r->first, 3) && GetFinites(d, RS_SECOND, r->second, 3);
}

bool ParseRaceState(const uint8_t* d, size_t length, NetMessage* m) {
  if (length < NETLEN_RACE_STATE_SHORT) return false;
  m->raceState = d[1];
  switch (m->raceState) {
    case NET_RACE_SETUP: {
      if (length <= NETLEN_RACE_STATE_SETUP_BASE ||
          length > NETLEN_RACE_STATE_SETUP_BASE + NET_MAX_PLAYERS)
        return false;
      m->setup.weather = d[2];
      m->setup.randomValue = d[3];
      if (m->setup.randomValue > 100) return false;
      m->setup.playerCount = uint8_t(length - NETLEN_RACE_STATE_SETUP_BASE);
      std::memcpy(m->setup.startSlots, d + NETLEN_RACE_STATE_SETUP_BASE, m->setup.playerCount);
      for (uint32_t i = 0; i < m->setup.playerCount; ++i)
        if (m->setup.startSlots[i] >= m->setup.playerCount) return false;
      return true;
    }
    case NET_RACE_SYNCING:
    case NET_RACE_RESULTS:
    case NET_RACE_LOBBY: return length == NETLEN_RACE_STATE_SHORT;
    case NET_RACE_START_SENT:
    case NET_RACE_RACING: return length == NETLEN_RACE_STATE_START && GetFinite(d, 2, &m->time);
    default: return false;
  }
}

bool ParseResults(const uint8_t* d, size_t length, NetMessage* m) {
  if (length < 1 || (length - 1) % NET_RESULT_ENTRY_SIZE != 0) return false;
  const size_t count = (length - 1) / NET_RESULT_ENTRY_SIZE;
  if (count > NET_MAX_PLAYERS) return false;
  m->resultCount = uint32_t(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t o = 1 + i * NET_RESULT_ENTRY_SIZE;
    NetResultEntry& e = m->results[i];
    e.playerId = Record_GetU32(d, o);
    e.finishWord = Record_GetU32(d, o + 4);
    e.wordA = Record_GetU32(d, o + 8);
    e.resultValue = Record_GetU32(d, o + 12);
    e.wordB = Record_GetU32(d, o + 16);
    // Entries of ids no game can hold are kept as they are: the receiver ignores ids it does
    // not know, so one odd entry does not spoil the others.
  }
  return true;
}

bool ParseChat(const uint8_t* d, size_t length, NetMessage* m) {
  if (length < NETLEN_CHAT_MIN || length > NETLEN_CHAT_MAX) return false;
  Record_GetName(m->chat, sizeof(m->chat), d, 1, length - 1);
  return true;
}

}  // namespace

void Net_CopyText(char* field, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = 0;
  if (text != nullptr)
    while (n + 1 < size && text[n] != 0) {
      field[n] = text[n];
      ++n;
    }
  field[n] = 0;
}

bool NetMessage_Parse(const uint8_t* d, size_t length, NetMessage* m) {
  if (d == nullptr || m == nullptr || length == 0 || length > NET_MESSAGE_MAX) return false;
  *m = NetMessage{};
  m->type = d[0];
  m->length = uint32_t(length);
  switch (m->type) {
    case NETMSG_WELCOME:
      if (length != NETLEN_WELCOME) return false;
      m->channel = d[1];
      m->playerId = d[2];
      // The host is id 0; a client's id is 1..7.
      return m->playerId >= 1 && ValidId(m->playerId);
    case NETMSG_REFUSAL:
      if (length != NETLEN_REFUSAL) return false;
      m->reason = d[1];
      return true;
    case NETMSG_HOST_CAR_CHOICE:
    case NETMSG_CAR_CHOICE: return length == NETLEN_CAR_CHOICE && ParseCarChoice(d, &m->carChoice);
    case NETMSG_HOST_CAR_STATE:
    case NETMSG_CAR_STATE: return length == NETLEN_CAR_STATE && ParseCarState(d, &m->carState);
    case NETMSG_RACE_CLOCK:
    case NETMSG_PING_ANSWER: return length == NETLEN_RACE_CLOCK && GetFinite(d, 1, &m->time);
    case NETMSG_PLAYER_LEFT:
      if (length != NETLEN_PLAYER_LEFT) return false;
      m->playerId = d[1];
      m->reason = d[2];
      return ValidId(m->playerId);
    case NETMSG_RACE_STATE: return ParseRaceState(d, length, m);
    case NETMSG_LOBBY_SETTINGS:
      if (length != NETLEN_LOBBY_SETTINGS) return false;
      m->lobby.classIndex = d[1];
      m->lobby.track = d[2];
      m->lobby.length = d[3];
      m->lobby.raceType = d[4];
      m->lobby.weather = d[5];
      return true;
    case NETMSG_CLOCK_PING:
    case NETMSG_SYNC_REQUEST:
    case NETMSG_RACE_LOADED:
    case NETMSG_KEEP_ALIVE: return length == NETLEN_EMPTY;
    case NETMSG_CLOCK_ANSWER:
      return length == NETLEN_CLOCK_ANSWER && GetFinite(d, 1, &m->time) &&
             GetFinite(d, 5, &m->offset);
    case NETMSG_HOST_RESCUE:
    case NETMSG_RESCUE: return length == NETLEN_RESCUE && ParseRescue(d, &m->rescue);
    case NETMSG_RESULTS: return ParseResults(d, length, m);
    case NETMSG_PLAYER_OFFSET:
      if (length != NETLEN_PLAYER_OFFSET) return false;
      m->playerId = d[1];
      return ValidId(m->playerId) && GetFinite(d, 2, &m->time);
    case NETMSG_BEACON:
      if (length != NETLEN_BEACON || std::memcmp(d + 1, kBeaconMagic, 3) != 0) return false;
      std::memcpy(m->address, d + 4, 4);
      return true;
    case NETMSG_CLIENT_LEAVES:
      if (length != NETLEN_CLIENT_LEAVES) return false;
      m->playerId = d[1];
      return ValidId(m->playerId);
    case NETMSG_FINISHED:
      if (length != NETLEN_FINISHED) return false;
      m->resultByte = d[1];
      return true;
    case NETMSG_CHAT: return ParseChat(d, length, m);
    default: return false;
  }
}

uint32_t NetWrite_Welcome(uint8_t* out, uint8_t channel, uint8_t playerId) {
  out[0] = NETMSG_WELCOME;
  out[1] = channel;
  out[2] = playerId;
  return NETLEN_WELCOME;
}

uint32_t NetWrite_Refusal(uint8_t* out, uint8_t reason) {
  out[0] = NETMSG_REFUSAL;
  out[1] = reason;
  return NETLEN_REFUSAL;
}

uint32_t NetWrite_CarChoice(uint8_t* out, uint8_t type, const NetCarChoice& c) {
  out[0] = type;
  out[CC_ID] = c.playerId;
  out[CC_CLASS] = c.classIndex;
  out[CC_SKIN] = c.skinIndex;
  out[CC_NUMBER] = c.carNumber;
  out[CC_READY] = c.ready ? 1 : 0;
  char name[NET_NAME_SIZE];
  Net_CopyText(name, sizeof(name), c.name);
  Record_PutName(out, CC_NAME, NET_NAME_SIZE, name);
  return NETLEN_CAR_CHOICE;
}

uint32_t NetWrite_CarState(uint8_t* out, uint8_t type, const NetCarState& s) {
  out[0] = type;
  out[CS_ID] = s.playerId;
  Record_PutF32(out, CS_TIME, s.raceTime);
  PutFloats(out, CS_POSITION, s.position, 3);
  PutFloats(out, CS_ORIENTATION, s.orientation, 4);
  PutFloats(out, CS_LINEAR, s.linearVelocity, 3);
  PutFloats(out, CS_ANGULAR, s.angularVelocity, 3);
  Record_PutF32(out, CS_INPUT_A, s.inputA);
  Record_PutF32(out, CS_GEAR, s.gear);
  Record_PutF32(out, CS_INPUT_B, s.inputB);
  out[CS_HORN] = s.horn ? 1 : 0;
  return NETLEN_CAR_STATE;
}

uint32_t NetWrite_RaceClock(uint8_t* out, float hostTime) {
  out[0] = NETMSG_RACE_CLOCK;
  Record_PutF32(out, 1, hostTime);
  return NETLEN_RACE_CLOCK;
}

uint32_t NetWrite_PlayerLeft(uint8_t* out, uint8_t playerId, uint8_t flag) {
  out[0] = NETMSG_PLAYER_LEFT;
  out[1] = playerId;
  out[2] = flag;
  return NETLEN_PLAYER_LEFT;
}

uint32_t NetWrite_RaceSetup(uint8_t* out, const NetRaceSetup& setup) {
  uint32_t count = setup.playerCount;
  if (count > NET_MAX_PLAYERS) count = NET_MAX_PLAYERS;
  out[0] = NETMSG_RACE_STATE;
  out[1] = NET_RACE_SETUP;
  out[2] = setup.weather;
  out[3] = setup.randomValue;
  std::memcpy(out + NETLEN_RACE_STATE_SETUP_BASE, setup.startSlots, count);
  return NETLEN_RACE_STATE_SETUP_BASE + count;
}

uint32_t NetWrite_RaceState(uint8_t* out, uint8_t state, float startMoment) {
  out[0] = NETMSG_RACE_STATE;
  out[1] = state;
  if (state == NET_RACE_START_SENT || state == NET_RACE_RACING) {
    Record_PutF32(out, 2, startMoment);
    return NETLEN_RACE_STATE_START;
  }
  return NETLEN_RACE_STATE_SHORT;
}

uint32_t NetWrite_LobbySettings(uint8_t* out, const NetLobbySettings& s) {
  out[0] = NETMSG_LOBBY_SETTINGS;
  out[1] = s.classIndex;
  out[2] = s.track;
  out[3] = s.length;
  out[4] = s.raceType;
  out[5] = s.weather;
  return NETLEN_LOBBY_SETTINGS;
}

uint32_t NetWrite_Empty(uint8_t* out, uint8_t type) {
  out[0] = type;
  return NETLEN_EMPTY;
}

uint32_t NetWrite_ClockAnswer(uint8_t* out, float hostTime, float offset) {
  out[0] = NETMSG_CLOCK_ANSWER;
  Record_PutF32(out, 1, hostTime);
  Record_PutF32(out, 5, offset);
  return NETLEN_CLOCK_ANSWER;
}

uint32_t NetWrite_Rescue(uint8_t* out, uint8_t type, const NetRescue& r) {
  out[0] = type;
  out[RS_ID] = r.playerId;
  PutFloats(out, RS_FIRST, r.first, 3);
  PutFloats(out, RS_SECOND, r.second, 3);
  Record_PutI32(out, RS_WORD_A, r.wordA);
  Record_PutI32(out, RS_WORD_B, r.wordB);
  return NETLEN_RESCUE;
}

uint32_t NetWrite_Results(uint8_t* out, const NetResultEntry* entries, uint32_t count) {
  if (count > NET_MAX_PLAYERS) count = NET_MAX_PLAYERS;
  out[0] = NETMSG_RESULTS;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t o = 1 + size_t(i) * NET_RESULT_ENTRY_SIZE;
    Record_PutU32(out, o, entries[i].playerId);
    Record_PutU32(out, o + 4, entries[i].finishWord);
    Record_PutU32(out, o + 8, entries[i].wordA);
    Record_PutU32(out, o + 12, entries[i].resultValue);
    Record_PutU32(out, o + 16, entries[i].wordB);
  }
  return 1 + count * NET_RESULT_ENTRY_SIZE;
}

uint32_t NetWrite_PlayerOffset(uint8_t* out, uint8_t playerId, float offset) {
  out[0] = NETMSG_PLAYER_OFFSET;
  out[1] = playerId;
  Record_PutF32(out, 2, offset);
  return NETLEN_PLAYER_OFFSET;
}

uint32_t NetWrite_Beacon(uint8_t* out, const uint8_t address[4]) {
  out[0] = NETMSG_BEACON;
  std::memcpy(out + 1, kBeaconMagic, 3);
  std::memcpy(out + 4, address, 4);
  return NETLEN_BEACON;
}

uint32_t NetWrite_ClientLeaves(uint8_t* out, uint8_t playerId) {
  out[0] = NETMSG_CLIENT_LEAVES;
  out[1] = playerId;
  return NETLEN_CLIENT_LEAVES;
}

uint32_t NetWrite_PingAnswer(uint8_t* out, float clientTime) {
  out[0] = NETMSG_PING_ANSWER;
  Record_PutF32(out, 1, clientTime);
  return NETLEN_PING_ANSWER;
}

uint32_t NetWrite_Finished(uint8_t* out, uint8_t resultByte) {
  out[0] = NETMSG_FINISHED;
  out[1] = resultByte;
  return NETLEN_FINISHED;
}

uint32_t NetWrite_Chat(uint8_t* out, const char* text) {
  out[0] = NETMSG_CHAT;
  char cut[NET_CHAT_SIZE];
  Net_CopyText(cut, sizeof(cut), text);
  const size_t n = std::strlen(cut);
  std::memcpy(out + 1, cut, n + 1);
  return uint32_t(n + 2);
}
