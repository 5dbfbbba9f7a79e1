// The remote cars of a network race: the car state between its message and race forms, the
// blend of a received state into the car, what a remote racer takes and refuses, and the host
// ending a race at once.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "net_session_util.h"
#include "QVX/race/RemoteRacer.h"
#include "QVX/shell/ProgramNetwork.h"

namespace netgame {
namespace {

TEST(RemoteCarState, TheMessageFormCarriesEveryFieldBothWays) {
  RemoteCarState s;
  s.raceTime = 12.5f;
  s.position = VQVector(1, 2, 3);
  const float q[4] = {0.1f, 0.2f, 0.3f, 0.9f};
  std::copy(q, q + 4, s.orientation);
  s.velocity = VQVector(4, 5, 6);
  s.angularVelocity = VQVector(7, 8, 9);
  s.steering = -0.5f;
  s.pedal = -0.25f;  // braking
  s.gear = 3;
  s.horn = true;
  NetCarState message;
  Net_FromRemoteState(s, &message);
  EXPECT_EQ(message.inputA, -0.5f);
  EXPECT_EQ(message.inputB, -0.25f);
  EXPECT_EQ(message.gear, 3.0f);
  EXPECT_TRUE(message.horn);
  RemoteCarState back;
  Net_ToRemoteState(message, &back);
  EXPECT_EQ(back.raceTime, s.raceTime);
  EXPECT_EQ(back.position.y, 2.0f);
  EXPECT_EQ(back.velocity.z, 6.0f);
  EXPECT_EQ(back.angularVelocity.x, 7.0f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back.orientation[i], q[i]);
  EXPECT_EQ(back.steering, s.steering);
  EXPECT_EQ(back.pedal, s.pedal);
  EXPECT_EQ(back.gear, 3);
  EXPECT_TRUE(back.horn);
  // A gear that is no number leaves neutral (not reverse, the car's gear 0).
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), 1e9f}) {
    message.gear = bad;
    Net_ToRemoteState(message, &back);
    EXPECT_EQ(back.gear, int32_t(CAR_GEAR_NEUTRAL));
  }
}

TEST(RemoteRescue, ThePlacementTravelsBothWaysAndABrokenOneIsRefused) {
  NetRescue message;
  Net_WriteRescue(VQVector(10.5f, -3.0f, 1.25f), 1.5f, 42, 0.75f, 3, &message);
  VQVector at;
  float heading = 0.0f, fraction = 0.0f;
  uint32_t segment = 0;
  ASSERT_TRUE(Net_ReadRescue(message, &at, &heading, &segment, &fraction));
  EXPECT_EQ(at.x, 10.5f);
  EXPECT_EQ(at.y, -3.0f);
  EXPECT_EQ(at.z, 1.25f);
  EXPECT_EQ(heading, 1.5f);
  EXPECT_EQ(segment, 42u);
  EXPECT_EQ(fraction, 0.75f);
  EXPECT_EQ(message.wordB, 3);
  // A fraction past the segment is held to it.
  message.second[1] = 7.0f;
  ASSERT_TRUE(Net_ReadRescue(message, &at, &heading, &segment, &fraction));
  EXPECT_EQ(fraction, 1.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // (which number, its value): 0-2 the place, 3 the heading, 4 the fraction, 5 the segment.
  const std::pair<int, float> cases[] = {{1, nan}, {2, inf}, {3, nan}, {4, nan}, {5, -1.0f}};
  for (const auto& [which, value] : cases) {
    NetRescue bad;
    Net_WriteRescue(VQVector(1, 2, 3), 0.5f, 4, 0.5f, 1, &bad);
    if (which < 3) bad.first[which] = value;
    if (which == 3) bad.second[0] = value;
    if (which == 4) bad.second[1] = value;
    if (which == 5) bad.wordA = int32_t(value);
    VQVector out(9, 9, 9);
    EXPECT_FALSE(Net_ReadRescue(bad, &out, &heading, &segment, &fraction)) << which;
    EXPECT_EQ(out.x, 9.0f) << which;  // nothing taken
  }
}

TEST(RaceWeather, TheHostSendsOneOfTheTracksWeathers) {
  const std::vector<std::string> names = {"sunny", "overcast", "", "showers", "thunderstorm",
                                          "random"};
  struct Case {
    int32_t chosen;
    uint32_t draw;
    int32_t sent;
  } const cases[] = {
      {0, 7, 0},   // a weather of the track is sent as chosen
      {4, 7, 4},
      {5, 0, 0},   // the track's random entry: the draw picks among the four weathers
      {5, 1, 1},
      {5, 2, 3},   // the empty slot is skipped
      {5, 7, 4},
      {6, 2, 3},   // the menu's own last entry, past the track's list
      {2, 0, 0},   // an empty slot
      {-1, 3, 4},  // a negative index
      {200, 5, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Net_RaceWeather(names, c.chosen, c.draw), c.sent) << c.chosen << " " << c.draw;
  EXPECT_EQ(Net_RaceWeather({}, 3, 1), 0);
  EXPECT_EQ(Net_RaceWeather({"random"}, 0, 1), 0);
}

TEST(RemoteCarState, ABlendMovesByTheDeviationAndJumpsFromJumpDistanceOn) {
  struct Case {
    float deviation, expected;  // along x, from the origin
  };
  const Case cases[] = {{0.0f, 0.0f}, {0.2f, 0.1f}, {0.4f, 0.4f}, {1.0f, 1.0f}, {30.0f, 30.0f}};
  const float identity[4] = {0, 0, 0, 1};
  for (const Case& c : cases) {
    RemoteCarState target;
    target.position = VQVector(c.deviation, 0, 0);
    VQVector p;
    float q[4];
    RemoteCarState_Blend(VQVector(0, 0, 0), identity, target, &p, q);
    EXPECT_NEAR(p.x, c.expected, 1e-5f) << c.deviation;
    EXPECT_NEAR(q[3], 1.0f, 1e-5f);
  }
  // The orientation turns three tenths of the way: a quarter turn about z becomes 0.3 of it.
  RemoteCarState target;
  const float half = float(M_PI) / 4.0f;  // half the angle of a quarter turn
  target.orientation[2] = std::sin(half);
  target.orientation[3] = std::cos(half);
  VQVector p;
  float q[4];
  RemoteCarState_Blend(VQVector(0, 0, 0), identity, target, &p, q);
  EXPECT_NEAR(q[2], std::sin(half * REMOTE_ORIENTATION_BLEND), 1e-4f);
  EXPECT_NEAR(q[3], std::cos(half * REMOTE_ORIENTATION_BLEND), 1e-4f);
}

TEST(RemoteRacer, TakesTheNewestFiniteStateAndRefusesTheRest) {
  RemoteRacer racer(2, "remote", nullptr, nullptr, CarSetup(), nullptr, nullptr);
  EXPECT_EQ(racer.GetDriverType(), uint32_t(TRACK_DRIVER_REMOTE));
  EXPECT_STREQ(racer.GetName(), "remote");
  EXPECT_TRUE(racer.Stale(0.0f));
  RemoteCarState s;
  s.raceTime = 5.0f;
  ASSERT_TRUE(racer.Receive(s, 1.0f));
  EXPECT_EQ(racer.ReceivedCount(), 1u);
  EXPECT_FALSE(racer.Stale(1.5f));
  EXPECT_TRUE(racer.Stale(1.0f + REMOTE_STALE_AFTER + 0.1f));
  s.raceTime = 4.0f;  // sent before the one held
  EXPECT_TRUE(racer.Receive(s, 1.1f));
  EXPECT_EQ(racer.ReceivedCount(), 1u);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  RemoteCarState bad;
  bad.raceTime = 6.0f;
  bad.orientation[1] = nan;
  EXPECT_FALSE(racer.Receive(bad, 1.2f));
  bad = RemoteCarState{};
  bad.raceTime = 6.0f;
  bad.position.x = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(racer.Receive(bad, 1.2f));
  bad = RemoteCarState{};
  bad.raceTime = nan;
  EXPECT_FALSE(racer.Receive(bad, 1.2f));
  EXPECT_EQ(racer.ReceivedCount(), 1u);
  // Without a car nothing is applied, and nothing breaks.
  racer.Update(0.1f);
  EXPECT_FALSE(racer.HasCar());
  EXPECT_EQ(racer.GetVehicle(), nullptr);
}

TEST_F(SessionTest, TheHostEndsARaceAtOnceAndEverybodyGetsItsResults) {
  Member& host = AddHost();
  Member& alpha = Join("alpha");
  EXPECT_FALSE(host.session->EndRaceNow());  // no race runs
  ASSERT_TRUE(PumpUntil([&] { return alpha.session->FindPeer(0) != nullptr; }));
  ASSERT_TRUE(host.session->StartRace(0));
  ASSERT_TRUE(PumpUntil([&] { return alpha.session->IsRaceRunning(); }));
  EXPECT_FALSE(alpha.session->EndRaceNow());  // only the host ends races
  NetResultEntry mine, theirs;
  mine.playerId = 0;
  mine.resultValue = 2;
  mine.finishWord = 1;
  theirs.playerId = 1;
  theirs.resultValue = 1;
  theirs.finishWord = 1;
  host.hooks.results = {mine, theirs};
  ASSERT_TRUE(host.session->EndRaceNow());
  EXPECT_EQ(host.session->GetRaceState(), NET_RACE_RESULTS);
  EXPECT_EQ(host.hooks.resultsDone, 1);
  EXPECT_FALSE(host.session->EndRaceNow());  // once
  ASSERT_TRUE(PumpUntil([&] { return alpha.hooks.resultsDone == 1; }));
  ASSERT_EQ(alpha.hooks.received.size(), 2u);
  EXPECT_EQ(alpha.hooks.received[0].first, 0);   // the host's entry
  EXPECT_EQ(alpha.hooks.received[1].first, -1);  // its own
  EXPECT_EQ(alpha.hooks.received[1].second.resultValue, 1u);
  ASSERT_TRUE(PumpUntil([&] { return alpha.session->GetRaceState() == NET_RACE_RESULTS; }));
}

}  // namespace
}  // namespace netgame
