// Fuzz target: the network play message reader. Whatever it accepts is within its bounds
// (ids, counts, terminated texts, finite numbers), and written again it reads back the same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "QVX/shell/NetProtocol.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Writes the message again with its own writer; 0 for the types read only by their bytes.
uint32_t Rewrite(const NetMessage& m, uint8_t* out) {
  switch (m.type) {
    case NETMSG_WELCOME: return NetWrite_Welcome(out, m.channel, m.playerId);
    case NETMSG_REFUSAL: return NetWrite_Refusal(out, m.reason);
    case NETMSG_HOST_CAR_CHOICE:
    case NETMSG_CAR_CHOICE: return NetWrite_CarChoice(out, m.type, m.carChoice);
    case NETMSG_HOST_CAR_STATE:
    case NETMSG_CAR_STATE: return NetWrite_CarState(out, m.type, m.carState);
    case NETMSG_RACE_CLOCK: return NetWrite_RaceClock(out, m.time);
    case NETMSG_PLAYER_LEFT: return NetWrite_PlayerLeft(out, m.playerId, m.reason);
    case NETMSG_RACE_STATE:
      return m.raceState == NET_RACE_SETUP ? NetWrite_RaceSetup(out, m.setup)
                                           : NetWrite_RaceState(out, m.raceState, m.time);
    case NETMSG_LOBBY_SETTINGS: return NetWrite_LobbySettings(out, m.lobby);
    case NETMSG_CLOCK_ANSWER: return NetWrite_ClockAnswer(out, m.time, m.offset);
    case NETMSG_HOST_RESCUE:
    case NETMSG_RESCUE: return NetWrite_Rescue(out, m.type, m.rescue);
    case NETMSG_RESULTS: return NetWrite_Results(out, m.results, m.resultCount);
    case NETMSG_PLAYER_OFFSET: return NetWrite_PlayerOffset(out, m.playerId, m.time);
    case NETMSG_BEACON: return NetWrite_Beacon(out, m.address);
    case NETMSG_CLIENT_LEAVES: return NetWrite_ClientLeaves(out, m.playerId);
    case NETMSG_PING_ANSWER: return NetWrite_PingAnswer(out, m.time);
    case NETMSG_FINISHED: return NetWrite_Finished(out, m.resultByte);
    case NETMSG_CHAT: return NetWrite_Chat(out, m.chat);
    default: return NetWrite_Empty(out, m.type);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NetMessage m;
  if (!NetMessage_Parse(data, size, &m)) return 0;
  Check(m.type < NETMSG_TYPE_COUNT && m.length == size);
  Check(std::strlen(m.chat) <= NET_CHAT_MAX_CHARS && std::strlen(m.carChoice.name) < NET_NAME_SIZE);
  Check(m.resultCount <= NET_MAX_PLAYERS && m.setup.playerCount <= NET_MAX_PLAYERS);
  Check(m.carChoice.playerId < NET_MAX_PLAYERS && m.carState.playerId < NET_MAX_PLAYERS);
  Check(std::isfinite(m.time) && std::isfinite(m.offset) && std::isfinite(m.carState.position[0]));
  uint8_t out[NET_MESSAGE_MAX];
  const uint32_t n = Rewrite(m, out);
  Check(n >= 1 && n <= NET_MESSAGE_MAX);
  NetMessage back;
  Check(NetMessage_Parse(out, n, &back));
  Check(back.type == m.type && back.playerId == m.playerId && back.resultCount == m.resultCount);
  Check(std::strcmp(back.chat, m.chat) == 0 &&
        std::strcmp(back.carChoice.name, m.carChoice.name) == 0);
  // Texts and names may be cut on reading; everything else keeps its length.
  if (m.type != NETMSG_CHAT && m.type != NETMSG_CAR_CHOICE && m.type != NETMSG_HOST_CAR_CHOICE)
    Check(n == size);
  return 0;
}
