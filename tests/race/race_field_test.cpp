// The field of every game mode on a generated track: who is in it and where each car starts.
// The players of the field are stand-ins driven by computer drivers; each car must stand on its
// own grid place (the pit place in practice), in the order the mode lines them up.
#include <cmath>
#include <memory>
#include <vector>

#include "QVX/race/Player.h"
#include "QVX/race/RaceField.h"
#include "tests/race/race_world.h"

using namespace racetest;

namespace {

class RaceFieldOnTrack : public RaceWorld {};

TEST_F(RaceFieldOnTrack, EachModeStartsItsFieldOnItsOwnPlaces) {
  const std::string name = "forest";
  const std::vector<AIParameters> drivers = TrackDrivers(name, 12);
  struct Case {
    int32_t mode;
    std::vector<int32_t> computers, remoteIds;
    int32_t ownId;
  };
  const Case cases[] = {
      {GAMEMODE_PRACTICE, {1, 2}, {}, -1},
      {GAMEMODE_SPLIT, {1, 2}, {}, -1},
      {GAMEMODE_SINGLE, {4, 1, 6}, {}, -1},
      {GAMEMODE_CHAMPIONSHIP, {9, 8, 7, 6, 5, 4, 3}, {}, -1},
      {GAMEMODE_AI_ONLY, {0, 2, 4, 6, 8, 10, 1, 3, 5, 7}, {}, -1},
      {GAMEMODE_NETWORK, {}, {2, 0, 3}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::vector<FieldSlot> order = RaceField_Order(c.mode, c.computers, c.remoteIds, c.ownId);
    std::vector<std::unique_ptr<Player>> players;  // they outlive the race
    RaceSession race;
    RaceSessionConfig config = Config(name, 1);
    config.gameMode = c.mode;
    ASSERT_TRUE(race.Load(config)) << race.m_error;
    for (const FieldSlot& slot : order) {
      // Locals and remotes get names of their own; computers their drivers' records.
      AIParameters p = drivers[size_t(slot.kind == FIELD_COMPUTER ? slot.index : 11)];
      if (slot.kind != FIELD_COMPUTER)
        std::snprintf(p.name, sizeof p.name, "%s %d", slot.kind == FIELD_LOCAL ? "P" : "R",
                      int(slot.index + 1));
      auto player = std::make_unique<Player>();
      ASSERT_TRUE(player->SetupComputer(p));
      if (slot.kind == FIELD_LOCAL) player->m_type = PLAYER_HUMAN;
      if (slot.kind == FIELD_REMOTE) player->m_type = PLAYER_REMOTE;
      ASSERT_TRUE(race.AddPlayer(player.get())) << race.m_error;
      players.push_back(std::move(player));
    }
    ASSERT_EQ(race.ParticipantCount(), order.size());
    const Track& track = race.GetTrack();
    const bool practice = c.mode == GAMEMODE_PRACTICE;
    const TrackPoint* places = practice ? track.m_pit : track.m_grid;
    const uint32_t placeCount = practice ? track.m_pitCount : track.m_gridCount;
    ASSERT_GE(placeCount, order.size());
    for (uint32_t k = 0; k < order.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_STREQ(race.GetPlayer(k)->m_name, players[k]->m_name);
      // The nearest place of the car is its own: the k-th in the order.
      const VQVector at = race.GetRacer(k)->GetPosition();
      uint32_t nearest = 0;
      float best = 1e30f;
      for (uint32_t g = 0; g < placeCount; ++g) {
        const float dx = places[g].position.x - at.x, dy = places[g].position.y - at.y;
        if (dx * dx + dy * dy < best) best = dx * dx + dy * dy, nearest = g;
      }
      EXPECT_EQ(nearest, k);
      EXPECT_LT(best, 3.0f * 3.0f);
    }
    // The first place of a race holds the front of the field: a single race's player starts last.
    if (c.mode == GAMEMODE_SINGLE || c.mode == GAMEMODE_CHAMPIONSHIP)
      EXPECT_EQ(race.GetPlayer(race.ParticipantCount() - 1)->m_type, PLAYER_HUMAN);
  }
}

}  // namespace
