// A loaded Track as the computer drivers see it (AICourse): the track's computer-driver lines as
// AIPaths, its border meshes for the two border questions, its ground, its checkpoints with
// their places on line 0, the race clock and lap-tracker entries of the racers, and the
// participants whose traffic the planner watches.
//
// Build it after Track::Load and before the racers are placed; register every participant's
// driver (AddParticipant) with the TrackRacer the lap tracker knows it by. The course keeps
// pointers only: the track and the registered drivers and racers must outlive it or be removed.
#pragma once

#include <cstdint>
#include <vector>

#include "QVX/race/AIDriver.h"
#include "QVX/race/AIPath.h"

class Track;
class TrackRacer;

class TrackCourse : public AICourse {
 public:
  // Takes the track's lines (a line the AIPath cannot use, fewer than three points or
  // non-finite, is left empty and never chosen). False when the track has no usable line: the
  // computer drivers would have nothing to follow; the course then answers LineCount() 0.
  bool Build(const Track* track);
  const Track* GetTrack() const { return m_track; }

  // Participants in list order. Adding a driver again only updates its racer.
  void AddParticipant(AIDriver* driver, TrackRacer* racer);
  void RemoveParticipant(const AIDriver* driver);
  void ClearParticipants() { m_entries.clear(); }
  TrackRacer* RacerOf(const AIDriver& driver) const;

  // ---- AICourse ----
  uint32_t LineCount() const override;
  const AIPath* Line(uint32_t i) const override;
  int32_t FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                    VQVector2* d) const override;
  int32_t SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                               VQVector2* d) const override;
  float GroundHeight(float x, float y) const override;
  bool Practice() const override;
  // Seconds since the green light (the lap tracker's race time); 0 before it.
  float RaceTime() const override;
  bool RaceRunning() const override;
  uint32_t CheckpointCount() const override;
  void CheckpointOnLine(uint32_t i, uint32_t* segment, float* fraction) const override;
  uint32_t Laps(const AIDriver& d) const override;
  bool CheckpointPassed(const AIDriver& d, uint32_t i) const override;
  uint32_t ParticipantCount() const override;
  const AIDriver* Participant(uint32_t i) const override;

 private:
  struct Entry {
    AIDriver* driver;
    TrackRacer* racer;
  };
  const Track* m_track = nullptr;
  std::vector<AIPath> m_lines;  // empty paths stand for unusable lines, keeping the indices
  uint32_t m_usable = 0;
  std::vector<Entry> m_entries;
};
