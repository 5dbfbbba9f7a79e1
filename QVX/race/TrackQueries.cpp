// Track queries: the ground under a wheel, sphere sweeps for the collision world, the computer-
// driver lines and borders, the start point and the shadow maps.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "QVX/race/Track.h"
#include "QVX/shell/Content.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQNodes.h"

namespace {

constexpr float kGroundLift = 0.005f;

bool BoxesOverlap(const VQVector2& a, const VQVector2& b, const VQVector2& c, const VQVector2& d) {
  return std::max(a.x, b.x) >= std::min(c.x, d.x) && std::min(a.x, b.x) <= std::max(c.x, d.x) &&
         std::max(a.y, b.y) >= std::min(c.y, d.y) && std::min(a.y, b.y) <= std::max(c.y, d.y);
}

// The crossing of segments p-q and a-b (inclusive of the ends).
bool SegmentsCross(const VQVector2& p, const VQVector2& q, const VQVector2& a, const VQVector2& b,
                   VQVector2* at) {
  const double rx = double(q.x) - p.x, ry = double(q.y) - p.y;
  const double sx = double(b.x) - a.x, sy = double(b.y) - a.y;
  const double den = rx * sy - ry * sx;
  if (den == 0.0) return false;
  const double wx = double(a.x) - p.x, wy = double(a.y) - p.y;
  const double t = (wx * sy - wy * sx) / den;
  const double u = (wx * ry - wy * rx) / den;
  if (t < 0.0 || t > 1.0 || u < 0.0 || u > 1.0) return false;
  if (at) *at = VQVector2(float(p.x + t * rx), float(p.y + t * ry));
  return true;
}

// The two points where the line through a-b meets the circle; false when it misses.
bool CircleLine(const VQVector2& c, float r, const VQVector2& a, const VQVector2& b, VQVector2* p1,
                VQVector2* p2) {
  const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  const double fx = double(a.x) - c.x, fy = double(a.y) - c.y;
  const double A = dx * dx + dy * dy;
  if (A == 0.0) return false;
  const double B = 2 * (fx * dx + fy * dy);
  const double C = fx * fx + fy * fy - double(r) * r;
  const double disc = B * B - 4 * A * C;
  if (disc < 0) return false;
  const double s = std::sqrt(disc);
  const double t1 = (-B - s) / (2 * A), t2 = (-B + s) / (2 * A);
  const bool in1 = t1 >= 0 && t1 <= 1, in2 = t2 >= 0 && t2 <= 1;
  if (!in1 && !in2) return false;
  const double u1 = in1 ? t1 : t2, u2 = in2 ? t2 : t1;
  *p1 = VQVector2(float(a.x + u1 * dx), float(a.y + u1 * dy));
  *p2 = VQVector2(float(a.x + u2 * dx), float(a.y + u2 * dy));
  return true;
}

float MapAt(VQTexture* map, const float offset[2], const float scale[2], float x, float y) {
  if (!map || !map->m_width || !map->m_height) return 1.0f;
  const float cx = std::trunc(x * scale[0] + offset[0] + 0.5f);
  const float cy = std::trunc(y * scale[1] + offset[1] + 0.5f);
  const uint32_t col = uint32_t(std::clamp(cx, 0.0f, float(map->m_width - 1)));
  const uint32_t row = uint32_t(std::clamp(cy, 0.0f, float(map->m_height - 1)));
  float rgba[4] = {1, 1, 1, 1};
  map->GetPixel(rgba, col, row);
  return rgba[0];
}

// Visits every edge of the border meshes in group order, strip and edge order.
template <class F>
void ForEachBorderEdge(VQGroupNode* group, bool onlyLeftSoft, F&& f) {
  if (!group) return;
  for (uint32_t i = 0; i < group->ChildCount(); ++i) {
    VQNode* node = group->ChildAt(i);
    if (!node || !node->m_name || std::strncmp(node->m_name, "m_meta_ai", 9) != 0) continue;
    const char* side = node->m_name + 9;
    if (side[0] == 'i') continue;  // a computer-driver line marker
    int32_t code = 0;
    if (!std::strncmp(side, "sl", 2))
      code = 1;
    else if (!std::strncmp(side, "sr", 2))
      code = 2;
    else if (!std::strncmp(side, "hl", 2))
      code = 3;
    else if (!std::strncmp(side, "hr", 2))
      code = 4;
    if (onlyLeftSoft && code != 1) continue;
    if (node->m_type != VQNODE_GEOSET) continue;
    VQGeoset* g = static_cast<VQGeosetNode*>(node)->m_geoset;
    if (!g || !g->m_levelCount || !g->m_meshes[0] || !g->m_meshes[0]->m_positions) continue;
    const VQMesh* m = g->m_meshes[0];
    const uint32_t n = m->m_vertexCount / 3;
    for (uint32_t k = 0; k < n; ++k) {
      const VQVector& p = m->m_positions[3 * k];
      const VQVector& q = m->m_positions[3 * ((k + 1) % n)];
      if (!f(code, VQVector2(p.x, p.y), VQVector2(q.x, q.y))) return;
    }
  }
}

}  // namespace

float Track::GroundHeight(const VQVector& point, VQVector* normal, float* a, float* b, float* c,
                          float* ground, uint32_t* material, uint32_t* hint) const {
  uint32_t word = 0;
  VQVector n(0, 0, 1);
  const float h = m_terrain ? m_terrain->GetHeight(point, &n, &word, hint) : VQTERRAIN_NO_GROUND;
  if (h >= VQTERRAIN_NO_GROUND) {
    if (normal) *normal = VQVector(0, 0, 1);
    if (a) *a = 1.0f;
    if (b) *b = 1.0f;
    if (c) *c = 0.001f;
    if (ground) *ground = 0.0f;
    if (material) *material = 0;
    return kGroundLift;
  }
  const float g = h + kGroundLift;
  n.Normalize();
  if (normal) *normal = n;
  if (ground) *ground = g;
  if (material) *material = word;
  const std::vector<CollisionMaterial>* list = m_services.materials;
  if (list && word < list->size()) {
    const CollisionMaterial& m = (*list)[word];
    if (a) *a = float(m.values[3]) * 0.01f;
    if (b) *b = float(m.values[4]) * 0.01f;
    if (c) *c = float(m.values[5]) * 0.01f;
    return DetailHeight(&m, point.x, point.y) + g + kGroundLift;
  }
  if (a) *a = 1.0f;
  if (b) *b = 1.0f;
  if (c) *c = 0.001f;
  return g + kGroundLift;
}

float Track::GroundHeightAt(const VQVector& point) const {
  return GroundHeight(point, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool Track::SweepTrack(const VQVector& from, const VQVector& to, float radius, float* distance,
                       VQVector* hit, const CollisionMaterial** material) const {
  uint32_t word = 0;
  if (!m_terrain || !m_terrain->SweepSphere(from, to, radius, distance, hit, &word)) return false;
  if (material) {
    const std::vector<CollisionMaterial>* list = m_services.materials;
    *material = (list && word < list->size()) ? &(*list)[word] : nullptr;
  }
  return true;
}

float Track::DetailHeight(const CollisionMaterial* material, float x, float y) {
  if (!material || !material->textureEntry) return 0.0f;
  const MaterialTextureEntry* e = material->textureEntry;
  // Base height and amplitude are stored in hundredths of a metre; the tile sizes in metres.
  const float base = float(e->values[2]) * 0.01f;
  VQTexture* map = e->texture;
  if (!map || !map->m_width || !map->m_height || !e->values[0] || !e->values[1]) return base;
  auto cell = [](float v, uint32_t tile, uint32_t size) {
    const int64_t u = int64_t(v * 65536.0f / float(tile));
    const int64_t frac = u & 0xFFFF;  // the fraction of a tile in 16.16 fixed point, always >= 0
    return uint32_t((frac * int64_t(size)) >> 16) % size;
  };
  float rgba[4] = {0, 0, 0, 1};
  map->GetPixel(rgba, cell(x, e->values[0], map->m_width), cell(y, e->values[1], map->m_height));
  return rgba[0] * float(e->values[3]) * 0.01f + base;
}

bool Track::IntersectAILine(uint32_t i, const VQVector2& a, const VQVector2& b, VQVector2* point,
                            uint32_t* segment) const {
  if (i >= m_aiLineCount || !m_aiLines[i] || m_aiLines[i]->Count() == 0) return false;
  const TrackAILine& l = *m_aiLines[i];
  const uint32_t n = l.Count();
  for (uint32_t k = 0; k < n; ++k) {
    const VQVector2& p = l.points[k];
    const VQVector2& q = l.points[(k + 1) % n];
    if (!BoxesOverlap(p, q, a, b)) continue;
    VQVector2 at;
    if (SegmentsCross(p, q, a, b, &at)) {
      if (point) *point = at;
      if (segment) *segment = k;
      return true;
    }
  }
  return false;
}

bool Track::CircleOnAILine(uint32_t i, const VQVector2& c, float r, VQVector2* point,
                           uint32_t* segment) const {
  if (i >= m_aiLineCount || !m_aiLines[i] || !segment) return false;
  const TrackAILine& l = *m_aiLines[i];
  const int64_t n = l.Count();
  const uint32_t s = *segment;
  bool have = false;
  VQVector2 best;
  uint32_t bestK = 0;
  auto distance = [&](uint32_t k) {
    int64_t d = int64_t(k) - int64_t(s);
    if (d < -n / 2) d += n;
    return d < 0 ? -d : d;
  };
  const VQVector2 lo(c.x - r, c.y - r), hi(c.x + r, c.y + r);
  for (int64_t k = 0; k < n; ++k) {
    const VQVector2& p = l.points[size_t(k)];
    const VQVector2& q = l.points[size_t((k + 1) % n)];
    if (!BoxesOverlap(p, q, lo, hi)) continue;
    VQVector2 p1, p2;
    if (!CircleLine(c, r, p, q, &p1, &p2)) continue;
    const VQVector2& d = l.directions[size_t(k)];
    VQVector2 candidate;
    if ((p1 - c).Dot(d) >= 0)
      candidate = p1;
    else if ((p2 - c).Dot(d) >= 0)
      candidate = p2;
    else
      continue;
    if (!have || s == 0xFFFFFFFFu || distance(uint32_t(k)) < distance(bestK)) {
      best = candidate;
      bestK = uint32_t(k);
      have = true;
    }
  }
  if (!have) return false;
  if (point) *point = best;
  *segment = bestK;
  return true;
}

int32_t Track::SegmentHitsAIBorder(const VQVector2& a, const VQVector2& b, VQVector2* point,
                                   VQVector2* direction) const {
  int32_t result = 0;
  bool have = false;
  float bestDistance = 0.0f;
  ForEachBorderEdge(m_aiBorders, false, [&](int32_t code, const VQVector2& p, const VQVector2& q) {
    VQVector2 at;
    if (!BoxesOverlap(p, q, a, b) || !SegmentsCross(a, b, p, q, &at)) return true;
    const VQVector2 d = at - a;
    const float dist = d.Dot(d);
    if (have && dist >= bestDistance) return true;
    have = true;
    bestDistance = dist;
    result = code;
    if (point) *point = at;
    if (direction) {
      VQVector2 e = q - p;
      e.Normalize();
      *direction = e;
    }
    return true;
  });
  return result;
}

int32_t Track::HitAIBorder(const VQVector2& c, float r, VQVector2* point,
                           VQVector2* direction) const {
  int32_t result = 0;
  const VQVector2 lo(c.x - r, c.y - r), hi(c.x + r, c.y + r);
  ForEachBorderEdge(m_aiBorders, true, [&](int32_t, const VQVector2& p, const VQVector2& q) {
    if (!BoxesOverlap(p, q, lo, hi)) return true;
    VQVector2 p1, p2;
    if (!CircleLine(c, r, p, q, &p1, &p2)) return true;
    const VQVector2 e = q - p;
    VQVector2 at;
    if ((p1 - c).Dot(e) >= 0)
      at = p1;
    else if ((p2 - c).Dot(e) >= 0)
      at = p2;
    else
      return true;
    result = 1;
    if (point) *point = at;
    if (direction) {
      VQVector2 d = e;
      d.Normalize();
      *direction = d;
    }
    return false;
  });
  return result;
}

VQVector2 Track::AIStartPoint() const {
  if (m_aiLineCount == 0 || !m_aiLines[0] || m_aiLines[0]->Count() == 0) return VQVector2(0, 0);
  const TrackAILine& l = *m_aiLines[0];
  float d = m_aiDistance;
  if (l.lengths[0] > 0.0f)
    while (d >= l.lengths[0]) d -= l.lengths[0];
  return l.points[0] + l.directions[0] * d;
}

float Track::ShadowAt(float x, float y) const {
  return MapAt(m_shadowMap, m_shadowOffset, m_shadowScale, x, y);
}

float Track::SecondMapAt(float x, float y) const {
  return MapAt(m_secondMap, m_secondOffset, m_secondScale, x, y);
}

bool Track::SweepQuery(const VQVector& start, const VQVector& end, float radius, float* distance,
                       VQVector* contact, const VQContactMaterial** material) {
  const Track* t = g_track;
  uint32_t word = 0;
  if (!t || !t->m_terrain ||
      !t->m_terrain->SweepSphere(start, end, radius, distance, contact, &word))
    return false;
  if (material) *material = word < t->m_contacts.size() ? &t->m_contacts[word] : nullptr;
  return true;
}

bool Track::BoxQuery(const double boxMin[3], const double boxMax[3]) {
  const Track* t = g_track;
  return t && t->m_terrain && t->m_terrain->BoxTouchesTriangles(boxMin, boxMax);
}

float Track::GroundQuery(const VQVector* point, VQVector* normal, float* dryFriction,
                         float* wetFriction, float* coefficient, float* rawHeight,
                         uint32_t* material, uint32_t* hint) {
  if (!g_track || !point) {
    if (normal) *normal = VQVector(0, 0, 1);
    if (dryFriction) *dryFriction = 1.0f;
    if (wetFriction) *wetFriction = 1.0f;
    if (coefficient) *coefficient = 0.001f;
    if (rawHeight) *rawHeight = 0.0f;
    if (material) *material = 0;
    return kGroundLift;
  }
  return g_track->GroundHeight(*point, normal, dryFriction, wetFriction, coefficient, rawHeight,
                               material, hint);
}
