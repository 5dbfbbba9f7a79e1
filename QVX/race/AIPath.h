// A computer driver's line: a closed polyline in the ground plane (the first two coordinates of
// engine positions) that the computer drivers follow, with its unit directions, segment lengths
// and bend flags. Tracks hold one or more of them; the planner, the rescue and the race field
// read them through this class so that they can be built and tested on synthetic lines.
#pragma once

#include <cstdint>
#include <vector>

#include "Zentri/math/VQVector.h"

// "No previous segment" for the circle query: every later candidate replaces the earlier one.
constexpr uint32_t AIPATH_NO_SEGMENT = 0xFFFFFFFFu;

class AIPath {
 public:
  // Builds the line from its points. Direction i points from point i to point i + 1, the last one
  // back to point 0. Bend flag i (i > 0) is set when the line turns counter-clockwise from segment
  // i - 1 to segment i; flag 0 compares direction n - 2 with direction 0. A zero-length segment
  // keeps the direction of the one before it (or +y). False, the line left empty, for fewer than
  // three points or non-finite coordinates.
  bool Build(const std::vector<VQVector2>& points);

  uint32_t Count() const { return uint32_t(m_points.size()); }
  bool Empty() const { return m_points.empty(); }
  float TotalLength() const { return m_total; }
  const VQVector2& Point(uint32_t i) const { return m_points[Clamp(i)]; }
  const VQVector2& Direction(uint32_t i) const { return m_dirs[Clamp(i)]; }
  float Length(uint32_t i) const { return m_lengths[Clamp(i)]; }
  bool Bend(uint32_t i) const { return m_bends[Clamp(i)] != 0; }

  // A segment index that is valid on this line: indices are carried from one line of a track to
  // another, whose point counts differ, so an index beyond this line's last segment becomes the
  // last segment. An empty line has no valid index; callers test Empty first.
  uint32_t Clamp(uint32_t i) const { return i < Count() ? i : Count() - 1; }
  // The segment after i: i + 1, wrapping to 0 when i + 1 reaches the last segment (the closing
  // segment from the last point back to the first is not walked).
  uint32_t Next(uint32_t i) const;
  // The segment before i, the inverse of Next.
  uint32_t Prev(uint32_t i) const;

  // point i + direction i x fraction x length i (segment clamped).
  VQVector2 PointAt(uint32_t segment, float fraction) const;
  // Distance from the start of segment 0 to (segment, fraction), along the line.
  float DistanceAt(uint32_t segment, float fraction) const;
  // Walks `distance` forward (negative: backward) from (segment, fraction); the result's
  // fraction lies in 0..1.
  void Walk(uint32_t segment, float fraction, float distance, uint32_t* outSegment,
            float* outFraction) const;
  // The shorter distance along the closed line between two positions (never negative).
  float Separation(uint32_t segA, float fracA, uint32_t segB, float fracB) const;

  // The point where the circle (centre, radius) crosses the line ahead: for each segment whose
  // box touches the circle's box, the first of the two crossings that lies ahead of the centre
  // along the segment's direction; the first candidate wins, a later one replaces it when its
  // segment lies closer to *segment (around the closed line). *segment is the previous answer
  // (AIPATH_NO_SEGMENT for none) and receives the new one. False (outputs untouched) when no
  // segment gives a candidate.
  bool CircleCrossing(const VQVector2& centre, float radius, VQVector2* point,
                      uint32_t* segment) const;

  // The nearest point of the line to p among the `window` segments from `first` on (all segments
  // when window is 0 or covers the line): its segment and fraction; returns the squared distance.
  float Nearest(const VQVector2& p, uint32_t first, uint32_t window, uint32_t* outSegment,
                float* outFraction) const;

  // Signed lateral offset of p from the line at (segment, point on it): positive on the clockwise
  // side of the segment's direction.
  float Lateral(uint32_t segment, const VQVector2& onLine, const VQVector2& p) const;

 private:
  std::vector<VQVector2> m_points, m_dirs;
  std::vector<float> m_lengths;
  std::vector<uint8_t> m_bends;
  std::vector<double> m_starts;  // distance from point 0 to point i along the line
  float m_total = 0.0f;
};

// Brings an angle into -pi .. pi.
float AIPath_WrapAngle(float a);
