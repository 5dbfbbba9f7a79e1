// The border polylines beside a track's computer lines, and the two questions the computer
// drivers ask of them: where a circle around a car meets a guide border, and whether a short
// segment crosses any border. Each border is a closed polyline in the ground plane with a side
// kind; a track builds the set from its border meshes, tests build it from point lists.
#pragma once

#include <cstdint>
#include <vector>

#include "Zentri/math/VQVector.h"

// Side kinds of a border (the two letters of its name): soft left and right, hard left and right.
enum AIBorderKind : int32_t {
  AIBORDER_NONE = 0,
  AIBORDER_SL = 1,
  AIBORDER_SR = 2,
  AIBORDER_HL = 3,
  AIBORDER_HR = 4
};

class AIBorders {
 public:
  // Adds a closed polyline of at least two points; false (nothing added) otherwise.
  bool Add(AIBorderKind kind, const std::vector<VQVector2>& points);
  void Clear() { m_borders.clear(); }
  uint32_t Count() const { return uint32_t(m_borders.size()); }

  // The crossing of segment a-b with a border edge nearest to a: its kind, point and the edge's
  // unit direction. AIBORDER_NONE (outputs untouched) when nothing is crossed.
  int32_t SegmentCrosses(const VQVector2& a, const VQVector2& b, VQVector2* point,
                         VQVector2* direction) const;
  // The first point, in border and edge order, where the circle meets an edge of a soft-left
  // border ahead along that edge: AIBORDER_SL with the point and the edge's unit direction;
  // AIBORDER_NONE when there is none.
  int32_t CircleCrosses(const VQVector2& centre, float radius, VQVector2* point,
                        VQVector2* direction) const;

 private:
  struct Border {
    AIBorderKind kind;
    std::vector<VQVector2> points;
  };
  std::vector<Border> m_borders;
};
