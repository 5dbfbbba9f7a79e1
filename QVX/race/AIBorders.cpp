#include "QVX/race/AIBorders.h"

#include <cmath>

bool AIBorders::Add(AIBorderKind kind, const std::vector<VQVector2>& points) {
  if (points.size() < 2) return false;
  for (const VQVector2& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  m_borders.push_back(Border{kind, points});
  return true;
}

int32_t AIBorders::SegmentCrosses(const VQVector2& a, const VQVector2& b, VQVector2* point,
                                  VQVector2* direction) const {
  const double minX = std::fmin(a.x, b.x), maxX = std::fmax(a.x, b.x);
  const double minY = std::fmin(a.y, b.y), maxY = std::fmax(a.y, b.y);
  const double rx = double(b.x) - a.x, ry = double(b.y) - a.y;
  double best = -1.0;
  int32_t kind = AIBORDER_NONE;
  for (const Border& border : m_borders) {
    const size_t n = border.points.size();
    for (size_t i = 0; i < n; ++i) {
      const VQVector2& p = border.points[i];
      const VQVector2& q = border.points[(i + 1) % n];
      if (std::fmax(p.x, q.x) < minX || std::fmin(p.x, q.x) > maxX || std::fmax(p.y, q.y) < minY ||
          std::fmin(p.y, q.y) > maxY)
        continue;
      const double sx = double(q.x) - p.x, sy = double(q.y) - p.y;
      const double den = rx * sy - ry * sx;
      if (std::fabs(den) < 1e-12) continue;
      const double ex = double(p.x) - a.x, ey = double(p.y) - a.y;
      const double t = (ex * sy - ey * sx) / den;  // along a-b
      const double u = (ex * ry - ey * rx) / den;  // along the edge
      if (t < 0.0 || t > 1.0 || u < 0.0 || u > 1.0) continue;
      const double cx = a.x + rx * t, cy = a.y + ry * t;
      const double d2 = (cx - a.x) * (cx - a.x) + (cy - a.y) * (cy - a.y);
      if (best >= 0.0 && d2 >= best) continue;
      best = d2;
      kind = border.kind;
      const double len = std::sqrt(sx * sx + sy * sy);
      *point = VQVector2(float(cx), float(cy));
      *direction = VQVector2(float(sx / len), float(sy / len));
    }
  }
  return kind;
}

int32_t AIBorders::CircleCrosses(const VQVector2& c, float r, VQVector2* point,
                                 VQVector2* direction) const {
  for (const Border& border : m_borders) {
    if (border.kind != AIBORDER_SL) continue;
    const size_t n = border.points.size();
    for (size_t i = 0; i < n; ++i) {
      const VQVector2& p = border.points[i];
      const VQVector2& q = border.points[(i + 1) % n];
      if (std::fmax(p.x, q.x) < c.x - r || std::fmin(p.x, q.x) > c.x + r ||
          std::fmax(p.y, q.y) < c.y - r || std::fmin(p.y, q.y) > c.y + r)
        continue;
      const double ex = double(q.x) - p.x, ey = double(q.y) - p.y;
      const double len = std::sqrt(ex * ex + ey * ey);
      if (len < 1e-9) continue;
      const double dx = ex / len, dy = ey / len;
      const double fx = double(p.x) - c.x, fy = double(p.y) - c.y;
      const double bq = fx * dx + fy * dy;
      const double disc = bq * bq - (fx * fx + fy * fy - double(r) * r);
      if (disc < 0.0) continue;
      const double root = std::sqrt(disc);
      const double ts[2] = {-bq - root, -bq + root};
      for (double t : ts) {
        if (t < 0.0 || t > len) continue;
        const double px = p.x + dx * t, py = p.y + dy * t;
        if ((px - c.x) * ex + (py - c.y) * ey < 0.0) continue;  // behind the centre along the edge
        *point = VQVector2(float(px), float(py));
        *direction = VQVector2(float(dx), float(dy));
        return AIBORDER_SL;
      }
    }
  }
  return AIBORDER_NONE;
}
