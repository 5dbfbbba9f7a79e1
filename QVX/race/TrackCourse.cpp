#include "QVX/race/TrackCourse.h"

#include "QVX/race/RaceTracker.h"
#include "QVX/race/Track.h"

bool TrackCourse::Build(const Track* track) {
  m_track = track;
  m_lines.clear();
  m_usable = 0;
  if (!track) return false;
  const uint32_t count =
      track->m_aiLineCount < TRACK_MAX_AI_LINES ? track->m_aiLineCount : TRACK_MAX_AI_LINES;
  for (uint32_t i = 0; i < count; ++i) {
    AIPath path;
    if (track->m_aiLines[i] && path.Build(track->m_aiLines[i]->points)) ++m_usable;
    m_lines.push_back(std::move(path));
  }
  // A first line that cannot be used makes the course unusable: the checkpoints and the rescue
  // placement are given on line 0.
  if (m_lines.empty() || m_lines[0].Empty()) {
    m_lines.clear();
    m_usable = 0;
  }
  return m_usable > 0;
}

void TrackCourse::AddParticipant(AIDriver* driver, TrackRacer* racer) {
  if (!driver) return;
  for (Entry& e : m_entries)
    if (e.driver == driver) {
      e.racer = racer;
      return;
    }
  m_entries.push_back({driver, racer});
}

void TrackCourse::RemoveParticipant(const AIDriver* driver) {
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (m_entries[i].driver == driver) {
      m_entries.erase(m_entries.begin() + long(i));
      return;
    }
}

TrackRacer* TrackCourse::RacerOf(const AIDriver& driver) const {
  for (const Entry& e : m_entries)
    if (e.driver == &driver) return e.racer;
  return nullptr;
}

// Lines past an unusable one are still counted so that a line index means the same line on
// the track and here; the planner never picks an empty line because Line() answers null for it.
uint32_t TrackCourse::LineCount() const { return uint32_t(m_lines.size()); }

const AIPath* TrackCourse::Line(uint32_t i) const {
  return i < m_lines.size() && !m_lines[i].Empty() ? &m_lines[i] : nullptr;
}

int32_t TrackCourse::FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                               VQVector2* d) const {
  return m_track ? m_track->HitAIBorder(c, r, p, d) : 0;
}

int32_t TrackCourse::SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                                          VQVector2* d) const {
  return m_track ? m_track->SegmentHitsAIBorder(a, b, p, d) : 0;
}

float TrackCourse::GroundHeight(float x, float y) const {
  if (!m_track) return AICOURSE_NO_GROUND;
  // From well above: the ground below a car that sank or a point under a bridge deck.
  const float h = m_track->GroundHeightAt(VQVector(x, y, 1000.0f));
  return h >= TRACK_NO_GROUND ? AICOURSE_NO_GROUND : h;
}

bool TrackCourse::Practice() const {
  return m_track && m_track->m_services.gameMode == GAME_MODE_PRACTICE;
}

float TrackCourse::RaceTime() const {
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  return t && t->m_running ? t->m_raceTime : 0.0f;
}

bool TrackCourse::RaceRunning() const {
  if (!m_track) return false;
  if (m_track->m_services.gameMode == GAME_MODE_PRACTICE) return true;
  return m_track->m_state >= RACE_STATE_RACING;
}

uint32_t TrackCourse::CheckpointCount() const {
  return m_track ? (m_track->m_checkpointCount < TRACK_MAX_CHECKPOINTS ? m_track->m_checkpointCount
                                                                       : TRACK_MAX_CHECKPOINTS)
                 : 0;
}

void TrackCourse::CheckpointOnLine(uint32_t i, uint32_t* segment, float* fraction) const {
  *segment = 0;
  *fraction = 0.0f;
  if (i >= CheckpointCount() || !m_track->m_checkpoints[i] || m_lines.empty()) return;
  *segment = m_lines[0].Clamp(m_track->m_checkpoints[i]->segment);
  const float f = m_track->m_checkpoints[i]->fraction;
  *fraction = f < 0.0f ? 0.0f : f > 1.0f ? 1.0f : f;
}

uint32_t TrackCourse::Laps(const AIDriver& d) const {
  const TrackRacer* racer = RacerOf(d);
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  const RaceTrackerEntry* e = racer && t ? t->FindEntry(racer) : nullptr;
  return e ? e->laps : 0;
}

bool TrackCourse::CheckpointPassed(const AIDriver& d, uint32_t i) const {
  const TrackRacer* racer = RacerOf(d);
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  const RaceTrackerEntry* e = racer && t ? t->FindEntry(racer) : nullptr;
  if (!e || !e->flags || i >= t->m_checkpointCount) return false;
  return e->flags[i] != 0;
}

uint32_t TrackCourse::ParticipantCount() const { return uint32_t(m_entries.size()); }

const AIDriver* TrackCourse::Participant(uint32_t i) const {
  return i < m_entries.size() ? m_entries[i].driver : nullptr;
}
