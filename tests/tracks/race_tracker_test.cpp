// The race tracker on a square of four checkpoint lines, with racers moved by hand.
#include <gtest/gtest.h>

#include "QVX/race/RaceTracker.h"
#include "tests/tracks/track_world.h"

using namespace trackstest;

namespace {

// Four checkpoints on a 100 x 100 square loop run counter-clockwise: the start line across
// x = 100 (y from -10 to 10), then y = 100, x = 0 and y = 0 (line 3 sits on the left edge).
class Tracker : public ::testing::Test {
 protected:
  void SetUp() override {
    const float ends[4][4] = {
        {90, 0, 110, 0}, {100, 90, 100, 110}, {-10, 100, 10, 100}, {0, -10, 0, 10}};
    for (int i = 0; i < 4; ++i) {
      lines_[i].SetEnds(ends[i][0], ends[i][1], ends[i][2], ends[i][3]);
      pointers_[i] = &lines_[i];
    }
    tracker_ = std::make_unique<RaceTracker>(4, pointers_, 4, 0);
    tracker_->SetEventCallback(
        [](int32_t event, TrackRacer* racer, int32_t argument, void* user) {
          static_cast<Tracker*>(user)->events_.push_back({event, argument, racer});
        },
        this);
  }
  // Moves the racer across line i (from just before to just after it) at the given time.
  void Cross(TestRacer& r, int i, float time) {
    static const float before[4][2] = {{100, -1}, {101, 100}, {0, 101}, {-1, 0}};
    static const float after[4][2] = {{100, 1}, {99, 100}, {0, 99}, {1, 0}};
    r.MoveTo(before[i][0], before[i][1]);
    r.MoveTo(after[i][0], after[i][1]);
    tracker_->Update(time);
    r.MoveTo(after[i][0], after[i][1]);  // parked: later updates see no move
  }
  // A whole lap from the start line round to it again, ending at time end.
  void Lap(TestRacer& r, float start, float end) {
    for (int i = 1; i < 4; ++i) Cross(r, i, start + (end - start) * float(i) / 4.0f);
    Cross(r, 0, end);
  }
  int Count(int32_t event) const {
    int n = 0;
    for (const auto& e : events_) n += e.event == event;
    return n;
  }
  struct Seen {
    int32_t event, argument;
    TrackRacer* racer;
  };
  TrackCheckpoint lines_[4];
  TrackCheckpoint* pointers_[4];
  std::unique_ptr<RaceTracker> tracker_;
  std::vector<Seen> events_;
};

}  // namespace

TEST(LapTimeBytes, HoldMinutesSecondsHundredths) {
  const LapTime t = LapTime::FromHundredths(6123);  // 61.234 s rounded to hundredths
  EXPECT_EQ(t.minutes, 1);
  EXPECT_EQ(t.seconds, 1);
  EXPECT_EQ(t.hundredths, 23);
  EXPECT_EQ(t.Hundredths(), 6123u);
  EXPECT_NEAR(t.Seconds(), 61.23, 1e-9);
  EXPECT_EQ(LapTime::FromHundredths(100000000).minutes, 255);  // minutes stop at their byte
}

TEST(CheckpointCrossing, OnTheLineCountsFromTheNegativeSideOnly) {
  TrackCheckpoint c;
  c.SetEnds(0, 0, 10, 0);  // side: (B - A) x (p - A) >= 0 means y >= 0
  EXPECT_TRUE(RaceTracker::CrossesCheckpoint(c, VQVector(5, -1, 0), VQVector(5, 0, 0)));
  EXPECT_FALSE(RaceTracker::CrossesCheckpoint(c, VQVector(5, 0, 0), VQVector(5, 1, 0)));
  EXPECT_TRUE(RaceTracker::CrossesCheckpoint(c, VQVector(5, 1, 0), VQVector(5, -1, 0)));
  EXPECT_FALSE(
      RaceTracker::CrossesCheckpoint(c, VQVector(11, -1, 0), VQVector(11, 1, 0)));  // beyond B
  EXPECT_TRUE(RaceTracker::CrossesCheckpoint(c, VQVector(10, -1, 0),
                                             VQVector(10, 1, 0)));  // box bounds count
}

TEST_F(Tracker, CountsLapsTimesAndBestLap) {
  TestRacer car;
  ASSERT_TRUE(tracker_->AddCar(&car));
  tracker_->Start(10.0f);
  car.MoveTo(100, -5);
  car.MoveTo(100, -5);
  tracker_->Update(10.0f);
  Cross(car, 0, 11.0f);  // the first crossing starts the timing
  const RaceTrackerEntry* e = tracker_->FindEntry(&car);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->laps, 1u);
  EXPECT_EQ(e->lapCount, 0u);
  EXPECT_EQ(Count(RACE_EVENT_LAP), 1);
  EXPECT_FLOAT_EQ(car.GetLapMarkTime(), 1.0f);
  Lap(car, 11.0f, 72.234f);
  EXPECT_EQ(e->laps, 2u);
  ASSERT_EQ(e->lapCount, 1u);
  EXPECT_EQ(e->lastLaps[0].Hundredths(), 6123u);
  EXPECT_EQ(e->bestLap.Hundredths(), 6123u);
  Lap(car, 72.234f, 122.0f);  // faster: new best
  EXPECT_EQ(e->bestLap.Hundredths(), 4977u);
  Lap(car, 122.0f, 190.0f);  // slower: best stays
  EXPECT_EQ(e->bestLap.Hundredths(), 4977u);
  EXPECT_NEAR(tracker_->GetBestLapTime(&car), 49.77, 1e-4);
  EXPECT_EQ(tracker_->GetBestLapTime(nullptr), 0.0);
  EXPECT_EQ(e->laps, 4u);
}

TEST_F(Tracker, StartLineWithinFiveSecondsOfTheLastCountedCrossingDoesNotCount) {
  TestRacer car;
  tracker_->AddCar(&car);
  tracker_->Start(0.0f);
  Cross(car, 0, 1.0f);
  Cross(car, 0, 6.0f);  // 5.0 s later: not counted
  EXPECT_EQ(Count(RACE_EVENT_LAP), 1);
  Cross(car, 0, 6.01f);  // 5.01 s: counted
  EXPECT_EQ(Count(RACE_EVENT_LAP), 2);
}

TEST_F(Tracker, SkippedCheckpointRaisesMissedAndStaysClear) {
  TestRacer car;
  tracker_->AddCar(&car);
  tracker_->Start(0.0f);
  Cross(car, 0, 1.0f);
  Cross(car, 2, 10.0f);  // line 1 not crossed
  const RaceTrackerEntry* e = tracker_->FindEntry(&car);
  EXPECT_EQ(Count(RACE_EVENT_CHECKPOINT), 2);
  ASSERT_EQ(Count(RACE_EVENT_MISSED), 1);
  EXPECT_EQ(events_.back().argument, 2);
  EXPECT_EQ(e->flags[2], 0);
}

TEST_F(Tracker, LapCallbackDecidesAndRejectedLapKeepsTimerAndFlags) {
  TestRacer car;
  tracker_->AddCar(&car);
  bool accept = false;
  struct Seen {
    uint32_t missed = 0;
    int calls = 0;
    bool* accept = nullptr;
  } seen;
  seen.accept = &accept;
  tracker_->SetLapCallback(
      [](RaceTrackerEntry*, bool, uint32_t missed, const LapTime* t, uint32_t flag, void* user,
         uint8_t*) {
        auto* s = static_cast<Seen*>(user);
        if (!t || !flag) return true;
        ++s->calls;
        s->missed = missed;
        return *s->accept;
      },
      &seen);
  tracker_->Start(0.0f);
  Cross(car, 0, 1.0f);
  Cross(car, 1, 20.0f);
  Cross(car, 0, 40.0f);  // lines 2 and 3 missed
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.missed, 2u);
  const RaceTrackerEntry* e = tracker_->FindEntry(&car);
  EXPECT_EQ(e->laps, 1u);
  EXPECT_EQ(e->lapCount, 0u);
  EXPECT_FLOAT_EQ(e->lapStart, 1.0f);  // the timer runs on from the lap's start
  EXPECT_EQ(e->flags[1], 1);
  accept = true;
  Lap(car, 40.0f, 100.0f);
  EXPECT_EQ(e->laps, 2u);
  EXPECT_EQ(e->lastLaps[0].Hundredths(), 9900u);
}

TEST_F(Tracker, KeepsTheLastTenLaps) {
  TestRacer car;
  tracker_->AddCar(&car);
  tracker_->Start(0.0f);
  Cross(car, 0, 1.0f);
  float t = 1.0f;
  for (int lap = 0; lap < 11; ++lap) {
    Lap(car, t, t + 30.0f + float(lap));
    t += 30.0f + float(lap);
  }
  const RaceTrackerEntry* e = tracker_->FindEntry(&car);
  EXPECT_EQ(e->lapCount, 10u);
  EXPECT_EQ(e->lastLaps[0].Hundredths(), 3100u);  // the first (30 s) lap was dropped
  EXPECT_EQ(e->lastLaps[9].Hundredths(), 4000u);
  EXPECT_EQ(e->laps, 12u);
}

TEST_F(Tracker, LongLapEventComesAgainFiftySecondsLaterForComputers) {
  TestRacer computer(TRACK_DRIVER_COMPUTER), human(TRACK_DRIVER_HUMAN);
  tracker_->AddCar(&computer);
  tracker_->AddCar(&human);
  tracker_->Start(0.0f);
  Cross(computer, 0, 1.0f);
  Cross(human, 0, 1.0f);
  int computerEvents = 0, humanEvents = 0;
  for (float t = 2.0f; t <= 160.0f; t += 1.0f) {
    events_.clear();
    tracker_->Update(t);
    for (const auto& e : events_)
      if (e.event == RACE_EVENT_LONG_LAP) (e.racer == &computer ? computerEvents : humanEvents)++;
  }
  EXPECT_EQ(computerEvents, 2);       // at 100 s and at 150 s of lap time
  EXPECT_EQ(humanEvents, 160 - 100);  // every update from 100 s on
}

TEST_F(Tracker, StandingsFollowProgressAndFinishOrder) {
  TestRacer a, b, c(TRACK_DRIVER_HUMAN);
  tracker_->AddCar(&a);
  tracker_->AddCar(&b);
  tracker_->AddCar(&c);
  tracker_->Start(0.0f);
  a.lap_ = 1, a.segment_ = 10;
  b.lap_ = 1, b.segment_ = 30;
  c.lap_ = 1, c.segment_ = 20, c.fraction_ = 0.5f;
  tracker_->Update(0.1f);  // the first update after a reset orders at once
  EXPECT_EQ(tracker_->FindEntry(&b)->position, 1u);
  EXPECT_EQ(tracker_->FindEntry(&c)->position, 2u);
  EXPECT_EQ(tracker_->FindEntry(&a)->position, 3u);
  EXPECT_EQ(tracker_->FindEntryByPosition(1)->car, &b);
  EXPECT_EQ(tracker_->FindEntryByPosition(4), nullptr);
  // The human takes the lead: event 10 once, when the order is worked out again.
  c.lap_ = 2;
  events_.clear();
  for (float t = 0.3f; t < 3.0f; t += 0.2f) tracker_->Update(t);
  EXPECT_EQ(Count(RACE_EVENT_LEADER), 1);
  EXPECT_EQ(tracker_->FindEntry(&c)->position, 1u);
  // Two cars finishing on the same lap count: the first to finish ranks ahead.
  tracker_->SetLapCallback(
      [](RaceTrackerEntry*, bool, uint32_t, const LapTime*, uint32_t, void*, uint8_t* finished) {
        *finished = 1;
        return true;
      },
      nullptr);
  Cross(a, 0, 10.0f);
  Cross(b, 0, 11.0f);
  EXPECT_TRUE(tracker_->FindEntry(&a)->finished);
  EXPECT_GT(tracker_->FindEntry(&a)->finishKey, tracker_->FindEntry(&b)->finishKey);
  tracker_->Update(12.0f);
  EXPECT_LT(tracker_->FindEntry(&a)->position, tracker_->FindEntry(&b)->position);
}

TEST_F(Tracker, FullTrackerRefusesAndRemovalRebuildsStandings) {
  TestRacer r[5];
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(tracker_->AddCar(&r[i]));
  EXPECT_FALSE(tracker_->AddCar(&r[4]));  // capacity 4: races untracked
  tracker_->Start(0.0f);
  tracker_->Update(0.1f);
  tracker_->RemoveCar(&r[1]);
  EXPECT_EQ(tracker_->m_count, 3u);
  EXPECT_EQ(tracker_->FindEntry(&r[1]), nullptr);
  tracker_->Update(0.2f);  // a removal forces a new order: no stale entry is touched
  for (uint32_t p = 1; p <= 3; ++p) EXPECT_NE(tracker_->FindEntryByPosition(p), nullptr) << p;
  tracker_->RemoveCarAt(99);  // ignored
  EXPECT_EQ(tracker_->m_count, 3u);
}
