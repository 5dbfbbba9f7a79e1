#include "QVX/race/RaceTracker.h"

#include <algorithm>
#include <cstring>
#include <new>

LapTime LapTime::FromHundredths(uint32_t h) {
  LapTime t;
  t.minutes = uint8_t(std::min<uint32_t>(h / 6000u, 255u));
  t.seconds = uint8_t((h / 100u) % 60u);
  t.hundredths = uint8_t(h % 100u);
  return t;
}

void TrackCheckpoint::SetEnds(float ax, float ay, float bx, float by) {
  a[0] = ax, a[1] = ay, b[0] = bx, b[1] = by;
  box[0] = std::min(ax, bx), box[1] = std::min(ay, by);
  box[2] = std::max(ax, bx), box[3] = std::max(ay, by);
}

RaceTracker::RaceTracker(uint32_t capacity, TrackCheckpoint* const* checkpoints,
                         uint32_t checkpointCount, uint8_t initialLapStarted)
    : m_capacity(capacity),
      m_checkpointCount(std::min(checkpointCount, TRACKER_MAX_CHECKPOINTS)),
      m_checkpoints(checkpoints),
      m_initialLapStarted(initialLapStarted) {
  m_entries = new (std::nothrow) RaceTrackerEntry*[capacity]();
  m_standings = new (std::nothrow) RaceTrackerEntry*[capacity]();
  m_keys = new (std::nothrow) uint32_t[capacity]();
  if (!m_entries || !m_standings || !m_keys) m_capacity = 0;
  if (!m_checkpoints) m_checkpointCount = 0;
}

RaceTracker::~RaceTracker() {
  while (m_count) RemoveCarAt(m_count - 1);
  delete[] m_entries;
  delete[] m_standings;
  delete[] m_keys;
}

bool RaceTracker::AddCar(TrackRacer* car) {
  if (m_count >= m_capacity || !car) return false;
  auto* e = new (std::nothrow) RaceTrackerEntry;
  if (!e) return false;
  e->flags = new (std::nothrow) uint8_t[m_checkpointCount + 1]();
  if (!e->flags) {
    delete e;
    return false;
  }
  e->car = car;
  m_entries[m_count++] = e;
  ResetEntry(m_count - 1);
  return true;
}

void RaceTracker::RemoveCarAt(uint32_t index) {
  if (index >= m_count) return;
  delete[] m_entries[index]->flags;
  delete m_entries[index];
  for (uint32_t i = index; i + 1 < m_count; ++i) m_entries[i] = m_entries[i + 1];
  m_entries[--m_count] = nullptr;
  // The standings may still point at the removed entry: rebuild them now.
  for (uint32_t i = 0; i < m_count; ++i) m_standings[i] = m_entries[i];
  if (m_count < m_capacity) m_standings[m_count] = nullptr;
  m_accumulator = m_interval + 1.0f;
}

void RaceTracker::RemoveCar(TrackRacer* car) {
  for (uint32_t i = m_count; i-- > 0;)
    if (m_entries[i]->car == car) RemoveCarAt(i);
}

void RaceTracker::ResetAll() {
  m_raceTime = 0.0f;
  m_accumulator = 0.0f;
  m_finishCounter = 0;
  for (uint32_t i = 0; i < m_count; ++i) ResetEntry(i);
}

void RaceTracker::ResetEntry(uint32_t index) {
  if (index >= m_count) return;
  RaceTrackerEntry* e = m_entries[index];
  e->lapTime = 0.0f;
  e->lapStart = m_raceTime;
  e->carRaceTime = 0.0f;
  e->carStart = m_raceTime;
  e->laps = 0;
  e->lapCount = 0;
  e->position = index + 1;
  e->lapStarted = m_initialLapStarted;
  e->finished = 0;
  e->crossings = 0;
  e->bestLap = LapTime();
  std::memset(e->flags, 0, m_checkpointCount);
  m_accumulator = m_interval + 1.0f;
}

void RaceTracker::Start(float time) {
  if (m_running) return;
  m_running = 1;
  m_startTime = time;
}

RaceTrackerEntry* RaceTracker::FindEntry(const TrackRacer* car) const {
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_entries[i]->car == car) return m_entries[i];
  return nullptr;
}

RaceTrackerEntry* RaceTracker::FindEntryByPosition(uint32_t position) const {
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_entries[i]->position == position) return m_entries[i];
  return nullptr;
}

double RaceTracker::GetBestLapTime(const TrackRacer* car) const {
  const RaceTrackerEntry* e = FindEntry(car);
  return e ? e->bestLap.Seconds() : 0.0;
}

bool RaceTracker::CrossesCheckpoint(const TrackCheckpoint& c, const VQVector& p,
                                    const VQVector& q) {
  if (std::max(p.x, q.x) < c.box[0] || std::min(p.x, q.x) > c.box[2] ||
      std::max(p.y, q.y) < c.box[1] || std::min(p.y, q.y) > c.box[3])
    return false;
  auto side = [&](const VQVector& v) {
    return (c.b[0] - c.a[0]) * (v.y - c.a[1]) - (c.b[1] - c.a[1]) * (v.x - c.a[0]) >= 0.0f;
  };
  return side(p) != side(q);
}

void RaceTracker::Raise(int32_t event, RaceTrackerEntry* entry, int32_t argument) {
  if (m_eventCallback) m_eventCallback(event, entry->car, argument, m_eventUser);
}

void RaceTracker::Update(float time) {
  const float step = time - (m_raceTime + m_startTime);
  if (!m_running) return;
  m_raceTime = time - m_startTime;
  bool lapEvent = false;
  for (uint32_t n = 0; n < m_count; ++n) {
    RaceTrackerEntry* e = m_entries[n];
    if (e->finished) continue;
    e->lapTime = m_raceTime - e->lapStart;
    e->carRaceTime = m_raceTime - e->carStart;
    const VQVector previous = e->car->GetPreviousPosition();
    const VQVector current = e->car->GetPosition();
    for (uint32_t i = 0; i < m_checkpointCount; ++i) {
      if (!m_checkpoints[i] || !CrossesCheckpoint(*m_checkpoints[i], previous, current)) continue;
      Raise(1, e, int32_t(i));
      if (i > 0 && !e->flags[i - 1]) {
        Raise(2, e, int32_t(i));
        continue;
      }
      e->history[e->crossings % TRACKER_HISTORY] = e->position;
      ++e->crossings;
      if (i > 0) {
        e->flags[i] = 1;
        continue;
      }
      if (!(m_raceTime - e->car->GetLapMarkTime() > 5.0f)) {
        e->flags[0] = 1;
        continue;
      }
      lapEvent = true;
      const uint32_t h = uint32_t(e->lapTime * 100.0f + 0.5f);
      const uint32_t best = e->bestLap.Hundredths();
      e->car->SetLapMarkTime(m_raceTime);
      Raise(0, e, 0);
      uint8_t finished = 0;
      if (e->lapStarted) {
        const LapTime lap = LapTime::FromHundredths(h);
        const bool newBest = h < best || best == 0;
        uint32_t missed = 0;
        for (uint32_t k = 0; k < m_checkpointCount; ++k) missed += e->flags[k] == 0;
        if (!m_lapCallback || m_lapCallback(e, newBest, missed, &lap, 1, m_lapUser, &finished)) {
          if (e->lapCount == TRACKER_MAX_LAPS_KEPT) {
            std::memmove(e->lastLaps, e->lastLaps + 1,
                         sizeof(LapTime) * (TRACKER_MAX_LAPS_KEPT - 1));
            --e->lapCount;
          }
          if (newBest) e->bestLap = lap;
          e->lastLaps[e->lapCount++] = lap;
          ++e->laps;
          e->lapTime = 0.0f;
          e->lapStart = m_raceTime;
          std::memset(e->flags, 0, m_checkpointCount);
        }
      } else {
        std::memset(e->flags, 0, m_checkpointCount);
        e->lapTime = 0.0f;
        e->lapStart = m_raceTime;
        e->lapStarted = 1;
        if (m_lapCallback) m_lapCallback(e, false, 0, nullptr, 0, m_lapUser, &finished);
        if (e->laps == 0) e->laps = 1;
      }
      if (finished) {
        m_accumulator = m_interval + 1.0f;
        e->finished = 1;
        e->finishKey = (e->laps << 24) - m_finishCounter + 2576u;
        ++m_finishCounter;
      }
      e->flags[0] = 1;
    }
    if (e->lapTime >= 100.0f) {
      Raise(7, e, 0);
      if (e->car->GetDriverType() == TRACK_DRIVER_COMPUTER) {
        e->lapTime -= 50.0f;
        e->lapStart += 50.0f;
      }
    }
  }
  m_accumulator += step;
  if (!(m_accumulator > m_interval) && !lapEvent) return;
  m_accumulator -= m_interval;
  ComputeStandings();
}

void RaceTracker::ComputeStandings() {
  uint32_t humanPosition = 0;
  bool human = false;
  uint32_t placed = 0;
  for (uint32_t n = 0; n < m_count; ++n) {
    RaceTrackerEntry* e = m_entries[n];
    if (e->car->GetDriverType() == TRACK_DRIVER_HUMAN) {
      humanPosition = e->position;
      human = true;
    }
    uint32_t key;
    if (e->finished) {
      key = e->finishKey;
    } else {
      uint32_t lap = 0, segment = 0;
      float fraction = 0.0f;
      e->car->GetProgress(&lap, &segment, &fraction);
      fraction = std::clamp(fraction, 0.0f, 1.0f);
      key = (((lap << 16) + segment) << 8) + uint32_t(fraction * 255.0f);
    }
    uint32_t at = placed;
    for (uint32_t k = 0; k < placed; ++k)
      if (m_keys[k] < key) {
        at = k;
        break;
      }
    for (uint32_t k = placed; k > at; --k) {
      m_standings[k] = m_standings[k - 1];
      m_keys[k] = m_keys[k - 1];
    }
    m_standings[at] = e;
    m_keys[at] = key;
    ++placed;
  }
  for (uint32_t k = 0; k < placed; ++k) m_standings[k]->position = m_positionBase + k + 1;
  if (!human) return;
  for (uint32_t n = 0; n < m_count; ++n) {
    RaceTrackerEntry* e = m_entries[n];
    if (e->car->GetDriverType() == TRACK_DRIVER_HUMAN && e->position == 1 && humanPosition != 1)
      Raise(10, e, 1);
  }
}
