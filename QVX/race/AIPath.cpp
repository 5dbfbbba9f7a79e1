#include "QVX/race/AIPath.h"

#include <cmath>
#include <cstdlib>

float AIPath_WrapAngle(float a) {
  const double pi = 3.14159265358979323846;
  double x = a;
  if (!std::isfinite(x)) return 0.0f;
  x = std::fmod(x + pi, 2.0 * pi);
  if (x < 0.0) x += 2.0 * pi;
  return float(x - pi);
}

bool AIPath::Build(const std::vector<VQVector2>& points) {
  m_points.clear();
  m_dirs.clear();
  m_lengths.clear();
  m_bends.clear();
  m_starts.clear();
  m_total = 0.0f;
  if (points.size() < 3) return false;
  for (const VQVector2& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  const size_t n = points.size();
  m_points = points;
  m_dirs.resize(n);
  m_lengths.resize(n);
  m_bends.assign(n, 0);
  m_starts.resize(n);
  double total = 0.0;
  VQVector2 last(0.0f, 1.0f);
  for (size_t i = 0; i < n; ++i) {
    const VQVector2 d = points[(i + 1) % n] - points[i];
    const double len = std::sqrt(double(d.x) * d.x + double(d.y) * d.y);
    m_starts[i] = total;
    m_lengths[i] = float(len);
    if (len > 1e-6) last = VQVector2(float(d.x / len), float(d.y / len));
    m_dirs[i] = last;
    total += len;
  }
  m_total = float(total);
  auto cross = [](const VQVector2& a, const VQVector2& b) {
    return double(a.x) * b.y - double(a.y) * b.x;
  };
  for (size_t i = 1; i < n; ++i) m_bends[i] = cross(m_dirs[i - 1], m_dirs[i]) > 0.0 ? 1 : 0;
  m_bends[0] = cross(m_dirs[n - 2], m_dirs[0]) > 0.0 ? 1 : 0;
  return true;
}

uint32_t AIPath::Next(uint32_t i) const {
  const uint32_t n = Count();
  if (n < 2) return 0;
  i = Clamp(i);
  return i + 1 >= n - 1 ? 0 : i + 1;
}

uint32_t AIPath::Prev(uint32_t i) const {
  const uint32_t n = Count();
  if (n < 2) return 0;
  i = Clamp(i);
  return i == 0 ? n - 2 : i - 1;
}

VQVector2 AIPath::PointAt(uint32_t segment, float fraction) const {
  if (Empty()) return VQVector2(0.0f, 0.0f);
  segment = Clamp(segment);
  return m_points[segment] + m_dirs[segment] * (fraction * m_lengths[segment]);
}

float AIPath::DistanceAt(uint32_t segment, float fraction) const {
  if (Empty()) return 0.0f;
  segment = Clamp(segment);
  return float(m_starts[segment] + double(fraction) * m_lengths[segment]);
}

void AIPath::Walk(uint32_t segment, float fraction, float distance, uint32_t* outSegment,
                  float* outFraction) const {
  if (Empty()) {
    *outSegment = 0;
    *outFraction = 0.0f;
    return;
  }
  uint32_t s = Clamp(segment);
  double into = double(fraction < 0.0f ? 0.0f : (fraction > 1.0f ? 1.0f : fraction)) * m_lengths[s];
  double d = distance;
  // Each pass moves at least one segment; a bound keeps a line of zero-length segments finite.
  for (uint32_t guard = 0; guard < 4 * Count() + 4; ++guard) {
    if (d >= 0.0) {
      if (into + d <= m_lengths[s]) {
        into += d;
        break;
      }
      d -= m_lengths[s] - into;
      s = Next(s);
      into = 0.0;
    } else {
      if (into + d >= 0.0) {
        into += d;
        break;
      }
      d += into;
      s = Prev(s);
      into = m_lengths[s];
    }
  }
  *outSegment = s;
  *outFraction = m_lengths[s] > 1e-6f ? float(into / m_lengths[s]) : 0.0f;
  if (*outFraction > 1.0f) *outFraction = 1.0f;
  if (*outFraction < 0.0f) *outFraction = 0.0f;
}

float AIPath::Separation(uint32_t segA, float fracA, uint32_t segB, float fracB) const {
  if (Empty()) return 0.0f;
  const double d = std::fabs(double(DistanceAt(segA, fracA)) - DistanceAt(segB, fracB));
  const double other = double(m_total) - d;
  return float(d < other ? d : (other > 0.0 ? other : 0.0));
}

bool AIPath::CircleCrossing(const VQVector2& c, float r, VQVector2* point,
                            uint32_t* segment) const {
  const uint32_t n = Count();
  if (n == 0 || !(r >= 0.0f)) return false;
  const uint32_t s = *segment;
  bool found = false;
  uint32_t bestSeg = 0;
  long bestDist = 0;
  VQVector2 best(0.0f, 0.0f);
  for (uint32_t k = 0; k < n; ++k) {
    const VQVector2& a = m_points[k];
    const VQVector2& b = m_points[(k + 1) % n];
    if (std::fmax(a.x, b.x) < c.x - r || std::fmin(a.x, b.x) > c.x + r ||
        std::fmax(a.y, b.y) < c.y - r || std::fmin(a.y, b.y) > c.y + r)
      continue;
    const double len = m_lengths[k];
    if (len <= 1e-9) continue;
    const double dx = m_dirs[k].x, dy = m_dirs[k].y;
    const double ex = double(a.x) - c.x, ey = double(a.y) - c.y;
    // |e + d t|^2 = r^2, with |d| = 1.
    const double bq = ex * dx + ey * dy;
    const double cq = ex * ex + ey * ey - double(r) * r;
    const double disc = bq * bq - cq;
    if (disc < 0.0) continue;
    const double root = std::sqrt(disc);
    const double tc = -bq;  // the parameter of the centre's projection
    double t = -1.0;
    const double t1 = -bq - root, t2 = -bq + root;
    if (t1 >= 0.0 && t1 <= len && t1 >= tc)
      t = t1;
    else if (t2 >= 0.0 && t2 <= len && t2 >= tc)
      t = t2;
    if (t < 0.0) continue;
    long diff = long(k) - long(s);
    if (diff < -long(n) / 2) diff += long(n);
    const long dist = std::labs(diff);
    if (!found || s == AIPATH_NO_SEGMENT || dist < bestDist) {
      found = true;
      bestSeg = k;
      bestDist = dist;
      best = VQVector2(float(a.x + dx * t), float(a.y + dy * t));
    }
  }
  if (!found) return false;
  *point = best;
  *segment = bestSeg;
  return true;
}

float AIPath::Nearest(const VQVector2& p, uint32_t first, uint32_t window, uint32_t* outSegment,
                      float* outFraction) const {
  const uint32_t n = Count();
  *outSegment = 0;
  *outFraction = 0.0f;
  if (n == 0) return 0.0f;
  if (window == 0 || window > n) {
    window = n;
    first = 0;
  }
  first = Clamp(first);
  double best = -1.0;
  for (uint32_t j = 0; j < window; ++j) {
    const uint32_t k = (first + j) % n;
    const double len = m_lengths[k];
    const double ex = double(p.x) - m_points[k].x, ey = double(p.y) - m_points[k].y;
    double t = ex * m_dirs[k].x + ey * m_dirs[k].y;
    if (t < 0.0) t = 0.0;
    if (t > len) t = len;
    const double qx = ex - m_dirs[k].x * t, qy = ey - m_dirs[k].y * t;
    const double d2 = qx * qx + qy * qy;
    if (best < 0.0 || d2 < best) {
      best = d2;
      *outSegment = k;
      *outFraction = len > 1e-9 ? float(t / len) : 0.0f;
    }
  }
  return float(best);
}

float AIPath::Lateral(uint32_t segment, const VQVector2& onLine, const VQVector2& p) const {
  if (Empty()) return 0.0f;
  const VQVector2& d = m_dirs[Clamp(segment)];
  const double ex = double(p.x) - onLine.x, ey = double(p.y) - onLine.y;
  return float(double(d.y) * ex - double(d.x) * ey);
}
