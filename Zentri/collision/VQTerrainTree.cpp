#include "Zentri/collision/VQTerrainTree.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Zentri/util/VQbytes.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "model/numerics/fminmax.h"

namespace {

constexpr char kMagic[12] = "VQT_Terrain";
constexpr size_t kTriangleRecord = 60;
constexpr size_t kNodeRecord = 48;
// Deeper trees than this are refused when read and capped when built: the float rectangles
// stop shrinking long before, and the walks recurse once per level.
constexpr uint32_t kDepthLimit = 64;

struct Box {
  double minX, minY, minZ, maxX, maxY, maxZ;
};

Box SweepBox(const VQVector& s, const VQVector& e, double r) {
  Box b;
  b.minX = tolvu::fmin(s.x - r, e.x - r);
  b.minY = tolvu::fmin(s.y - r, e.y - r);
  b.minZ = tolvu::fmin(s.z - r, e.z - r);
  b.maxX = tolvu::fmax(s.x + r, e.x + r);
  b.maxY = tolvu::fmax(s.y + r, e.y + r);
  b.maxZ = tolvu::fmax(s.z + r, e.z + r);
  return b;
}

bool BoxOverlaps(const VQTerrainTriangle& t, const Box& b) {
  return t.boxMin.x <= b.maxX && t.boxMax.x >= b.minX && t.boxMin.y <= b.maxY &&
         t.boxMax.y >= b.minY && t.boxMin.z <= b.maxZ && t.boxMax.z >= b.minZ;
}

// The sweep of one triangle whose box already overlaps the sweep box.
bool SweepOne(const VQTerrainTriangle& t, const VQVector& start, const VQVector& end, double r,
              double L, float* distance, VQVector* hit) {
  double nx, ny, nz, d;
  if (t.IsFlat()) {
    nx = 0.0, ny = 0.0, nz = 1.0, d = -double(t.flatHeight);
  } else {
    nx = t.normal.x, ny = t.normal.y, nz = t.normal.z, d = t.planeD;
  }
  const double Dx = double(end.x) - start.x, Dy = double(end.y) - start.y,
               Dz = double(end.z) - start.z;
  const double dn = Dx * nx + Dy * ny + Dz * nz;
  if (dn > 0.0) return false;
  const double psx = start.x - r * nx, psy = start.y - r * ny, psz = start.z - r * nz;
  const double side = start.x * nx + start.y * ny + start.z * nz + d;
  double qx, qy, qz;
  if (std::fabs(side) <= r) {
    qx = start.x - side * nx, qy = start.y - side * ny, qz = start.z - side * nz;
  } else {
    if (dn == 0.0) return false;
    const double s = -(psx * nx + psy * ny + psz * nz + d) / dn;
    if (s < 0.0 || s > 1.0) return false;
    qx = psx + Dx * s, qy = psy + Dy * s, qz = psz + Dz * s;
  }
  const VQVector Q{float(qx), float(qy), float(qz)};
  const VQVector N{float(nx), float(ny), float(nz)};
  double dist;
  VQVector H;
  if (Q.IsInTriangle(*t.a, *t.b, *t.c, &N)) {
    H = Q;
    const double ex = Q.x - psx, ey = Q.y - psy, ez = Q.z - psz;
    dist = std::sqrt(ex * ex + ey * ey + ez * ez);
  } else {
    Q.ClosestPointOnTriangleEdges(H, *t.a, *t.b, *t.c);
    const double hx = double(Q.x) - H.x, hy = double(Q.y) - H.y, hz = double(Q.z) - H.z;
    if (hx * hx + hy * hy + hz * hz > r * r) return false;
    if (L == 0.0) return false;
    const double ux = -Dx / L, uy = -Dy / L, uz = -Dz / L;
    const double mx = double(start.x) - H.x, my = double(start.y) - H.y,
                 mz = double(start.z) - H.z;
    const double b = mx * ux + my * uy + mz * uz;
    const double disc = r * r - (mx * mx + my * my + mz * mz - b * b);
    if (disc < 0.0) return false;
    dist = b - std::sqrt(disc);
  }
  if (!(dist >= 0.0 && dist <= L)) return false;
  *distance = float(dist);
  *hit = H;
  return true;
}

// The engine's little-endian writer and reader, with the vector fields of the cache file.
struct Writer : VQByteWriter {
  using VQByteWriter::VQByteWriter;
  void Vec(const VQVector& v) {
    F32(v.x);
    F32(v.y);
    F32(v.z);
  }
};

struct Reader : VQByteReader {
  using VQByteReader::VQByteReader;
  VQVector Vec() {
    VQVector v;
    v.x = F32();
    v.y = F32();
    v.z = F32();
    return v;
  }
};

}  // namespace

VQTerrainTree::VQTerrainTree() = default;
VQTerrainTree::~VQTerrainTree() { Clear(); }

void VQTerrainTree::Clear() {
  m_root = nullptr;
  m_colliderRoot = nullptr;
  m_nodes.clear();
  m_leafEntries.clear();
  m_triangles.clear();
  m_vertices.clear();
}

VQTerrainNode* VQTerrainTree::NewNode() {
  return &m_nodes.emplace_back();
}

void VQTerrainTree::MakeTriangle(VQTerrainTriangle& t, uint32_t ia, uint32_t ib, uint32_t ic) {
  const VQVector& a = m_vertices[ia];
  const VQVector& b = m_vertices[ib];
  const VQVector& c = m_vertices[ic];
  t.a = &a;
  t.b = &b;
  t.c = &c;
  t.word = 0;
  (b - a).Cross(c - a, t.normal);
  t.normal.Normalize();
  t.planeD = -t.normal.Dot(a);
  const bool flat = std::fabs(double(a.z) - b.z) < 0.0001 && std::fabs(double(b.z) - c.z) < 0.0001 &&
                    t.normal.z > 0.0f;
  t.flatHeight = flat ? a.z : VQTERRAIN_NO_GROUND;
  t.boxMin.Set(tolvu::fmin(a.x, tolvu::fmin(b.x, c.x)), tolvu::fmin(a.y, tolvu::fmin(b.y, c.y)),
               tolvu::fmin(a.z, tolvu::fmin(b.z, c.z)));
  t.boxMax.Set(tolvu::fmax(a.x, tolvu::fmax(b.x, c.x)), tolvu::fmax(a.y, tolvu::fmax(b.y, c.y)),
               tolvu::fmax(a.z, tolvu::fmax(b.z, c.z)));
}

bool VQTerrainTree::Build(const VQTerrainMesh* meshes, uint32_t meshCount,
                          const VQTerrainTriangleCallback& callback, bool takeAll,
                          uint32_t trianglesPerLeaf, uint32_t maxDepth) {
  Clear();
  m_takeAll = takeAll;
  m_trianglesPerLeaf = trianglesPerLeaf;
  m_maxDepth = maxDepth < kDepthLimit ? maxDepth : kDepthLimit;

  // Gather the colliders and check their arrays before anything is copied.
  std::vector<const VQTerrainMesh*> colliders;
  size_t vertexTotal = 0, triangleTotal = 0;
  for (uint32_t i = 0; i < meshCount && meshes; ++i) {
    const VQTerrainMesh& m = meshes[i];
    if (m.triangleCount == 0) continue;
    if (!takeAll && !(m.flags & VQTERRAIN_COLLIDER_FLAG)) continue;
    if (colliders.size() >= VQTERRAIN_MAX_COLLIDERS) break;
    if (!m.vertices || !m.indices) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    for (size_t k = 0; k < size_t(m.triangleCount) * 3; ++k)
      if (m.indices[k] >= m.vertexCount) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    colliders.push_back(&m);
    vertexTotal += m.vertexCount;
    triangleTotal += m.triangleCount;
  }
  if (vertexTotal > UINT32_MAX || triangleTotal > UINT32_MAX)
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);

  m_vertices.reserve(vertexTotal);  // never reallocated afterwards: triangles point into it
  m_triangles.resize(triangleTotal);
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  size_t next = 0;
  for (size_t ci = 0; ci < colliders.size(); ++ci) {
    const VQTerrainMesh& m = *colliders[ci];
    const uint32_t first = uint32_t(m_vertices.size());
    m_vertices.insert(m_vertices.end(), m.vertices, m.vertices + m.vertexCount);
    for (uint32_t k = 0; k < m.triangleCount; ++k) {
      VQTerrainTriangle& t = m_triangles[next++];
      MakeTriangle(t, first + m.indices[3 * k], first + m.indices[3 * k + 1],
                   first + m.indices[3 * k + 2]);
      if (callback) callback(m, k, &t.word);
    }
    for (uint32_t v = 0; v < m.vertexCount; ++v) {
      const VQVector& p = m.vertices[v];
      if (ci == 0 && v == 0) {
        minX = maxX = p.x;
        minY = maxY = p.y;
      } else {
        minX = tolvu::fmin(minX, p.x);
        maxX = tolvu::fmax(maxX, p.x);
        minY = tolvu::fmin(minY, p.y);
        maxY = tolvu::fmax(maxY, p.y);
      }
    }
  }
  if (m_triangles.empty()) return true;

  // A square root keeps the quadrants square; the minimum corner stays.
  const float width = maxX - minX, height = maxY - minY;
  if (width > height)
    maxY = minY + width;
  else
    maxX = minX + height;

  std::vector<VQTerrainTriangle*> all(m_triangles.size());
  for (size_t i = 0; i < m_triangles.size(); ++i) all[i] = &m_triangles[i];
  m_root = BuildNode(all, minX, minY, maxX, maxY, 0);
  return true;
}

int VQTerrainTree::ClassifyTriangle(const VQTerrainTriangle& t, float minX, float minY,
                                    float maxX, float maxY) {
  // Sutherland-Hodgman in double against x >= minX, x <= maxX, y <= maxY, y >= minY, with the
  // boundaries counting as inside.
  struct P {
    double x, y;
  };
  P buf[2][16];
  int n = 3;
  buf[0][0] = {t.a->x, t.a->y};
  buf[0][1] = {t.b->x, t.b->y};
  buf[0][2] = {t.c->x, t.c->y};
  bool clipped = false;
  int cur = 0;
  for (int side = 0; side < 4 && n > 0; ++side) {
    auto value = [&](const P& p) {  // >= 0 inside
      switch (side) {
        case 0: return p.x - minX;
        case 1: return double(maxX) - p.x;
        case 2: return double(maxY) - p.y;
        default: return p.y - minY;
      }
    };
    const P* in = buf[cur];
    P* out = buf[cur ^ 1];
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const P& s = in[i];
      const P& e = in[(i + 1) % n];
      const double vs = value(s), ve = value(e);
      if (vs >= 0.0) {
        out[m++] = s;
        if (ve < 0.0) {
          const double k = vs / (vs - ve);
          out[m++] = {s.x + (e.x - s.x) * k, s.y + (e.y - s.y) * k};
        }
      } else {
        clipped = true;
        if (ve >= 0.0) {
          const double k = vs / (vs - ve);
          out[m++] = {s.x + (e.x - s.x) * k, s.y + (e.y - s.y) * k};
        }
      }
    }
    n = m;
    cur ^= 1;
  }
  if (n == 0) return 2;
  return clipped ? 3 : 1;
}

VQTerrainNode* VQTerrainTree::BuildNode(const std::vector<VQTerrainTriangle*>& input, float minX,
                                        float minY, float maxX, float maxY, uint32_t depth) {
  std::vector<VQTerrainTriangle*> kept;
  kept.reserve(input.size());
  for (VQTerrainTriangle* t : input)
    if (ClassifyTriangle(*t, minX, minY, maxX, maxY) != 2) kept.push_back(t);

  VQTerrainNode* node = NewNode();
  node->minX = minX;
  node->minY = minY;
  node->maxX = maxX;
  node->maxY = maxY;
  node->centreX = float((double(minX) + maxX) / 2.0);
  node->centreY = float((double(minY) + maxY) / 2.0);
  if (kept.size() > m_trianglesPerLeaf && depth < m_maxDepth) {
    const float cx = node->centreX, cy = node->centreY;
    node->lowXHighY = BuildNode(kept, minX, cy, cx, maxY, depth + 1);
    node->highXHighY = BuildNode(kept, cx, cy, maxX, maxY, depth + 1);
    node->lowXLowY = BuildNode(kept, minX, minY, cx, cy, depth + 1);
    node->highXLowY = BuildNode(kept, cx, minY, maxX, cy, depth + 1);
  } else {
    node->triangleCount = uint32_t(kept.size());
    node->firstEntry = uint32_t(m_leafEntries.size());
    m_leafEntries.insert(m_leafEntries.end(), kept.begin(), kept.end());
  }
  return node;
}

// ---------------------------------------------------------------- queries

bool VQTerrainTree::PointInTriangle(float x, float y, const VQVector& a, const VQVector& b,
                                    const VQVector& c) {
  const double px = x, py = y;
  auto edge = [&](const VQVector& s, const VQVector& e) {
    return (double(e.x) - s.x) * (py - s.y) - (double(e.y) - s.y) * (px - s.x) >= 0.0;
  };
  return edge(a, b) && edge(b, c) && edge(c, a);
}

bool VQTerrainTree::TriangleHeight(const VQTerrainTriangle& t, float x, float y, float* height) {
  if (x < t.boxMin.x || x > t.boxMax.x || y < t.boxMin.y || y > t.boxMax.y) return false;
  if (!PointInTriangle(x, y, *t.a, *t.b, *t.c)) return false;
  if (t.IsFlat()) {
    *height = t.flatHeight;
    return true;
  }
  if (t.normal.z == 0.0f) return false;
  *height = float((-double(t.planeD) - double(t.normal.x) * x - double(t.normal.y) * y) /
                  double(t.normal.z));
  return true;
}

const VQTerrainTriangle* VQTerrainTree::FindGround(float x, float y, float* height) const {
  const VQTerrainNode* node = m_root;
  if (!node || x < node->minX || x > node->maxX || y < node->minY || y > node->maxY)
    return nullptr;
  while (!node->IsLeaf()) {
    if (x <= node->centreX)
      node = y <= node->centreY ? node->lowXLowY : node->lowXHighY;
    else
      node = y <= node->centreY ? node->highXLowY : node->highXHighY;
    if (!node) return nullptr;
  }
  VQTerrainTriangle* const* list = LeafTriangles(*node);
  for (uint32_t i = 0; i < node->triangleCount; ++i)
    if (TriangleHeight(*list[i], x, y, height)) return list[i];
  return nullptr;
}

float VQTerrainTree::GetHeight(const VQVector& point, VQVector* normal, uint32_t* word,
                               uint32_t* hint) const {
  float h = 0.0f;
  const VQTerrainTriangle* found = nullptr;
  if (hint && *hint != 0 && *hint <= m_triangles.size()) {
    const VQTerrainTriangle& t = m_triangles[*hint - 1];
    if (TriangleHeight(t, point.x, point.y, &h)) found = &t;
  }
  if (!found) found = FindGround(point.x, point.y, &h);
  if (!found) {
    if (normal) normal->Set(0.0f, 0.0f, 1.0f);
    if (word) *word = 0;
    if (hint) *hint = 0;
    return VQTERRAIN_NO_GROUND;
  }
  if (normal) {
    if (found->IsFlat())
      normal->Set(0.0f, 0.0f, 1.0f);
    else
      *normal = found->normal;
  }
  if (word) *word = found->word;
  if (hint) *hint = uint32_t(found - m_triangles.data()) + 1;
  return h;
}

bool VQTerrainTree::TriangleSweep(const VQTerrainTriangle& t, const VQVector& start,
                                  const VQVector& end, float radius, float* distance,
                                  VQVector* hit) {
  const Box box = SweepBox(start, end, radius);
  if (!BoxOverlaps(t, box)) return false;
  const double L = double((end - start).Length());
  return SweepOne(t, start, end, radius, L, distance, hit);
}

bool VQTerrainTree::SweepSphere(const VQVector& start, const VQVector& end, float radius,
                                float* distance, VQVector* contact, uint32_t* word) const {
  if (!m_root) return false;
  const double L = double((end - start).Length());
  const Box box = SweepBox(start, end, radius);
  if (box.maxX < m_root->minX || box.minX > m_root->maxX || box.maxY < m_root->minY ||
      box.minY > m_root->maxY)
    return false;

  float bestT = 0.0f;
  VQVector bestH(0, 0, 0);
  const VQTerrainTriangle* best = nullptr;
  const VQTerrainNode* stack[4 * kDepthLimit + 4];
  int top = 0;
  stack[top++] = m_root;
  while (top > 0) {
    const VQTerrainNode* node = stack[--top];
    if (!node->IsLeaf()) {
      // Pushed in reverse so that they are visited low x low y, low x high y, high x low y,
      // high x high y.
      const bool lowX = box.minX <= node->centreX, highX = box.maxX >= node->centreX;
      const bool lowY = box.minY <= node->centreY, highY = box.maxY >= node->centreY;
      if (highX && highY && node->highXHighY) stack[top++] = node->highXHighY;
      if (highX && lowY && node->highXLowY) stack[top++] = node->highXLowY;
      if (lowX && highY && node->lowXHighY) stack[top++] = node->lowXHighY;
      if (lowX && lowY && node->lowXLowY) stack[top++] = node->lowXLowY;
      continue;
    }
    VQTerrainTriangle* const* list = LeafTriangles(*node);
    for (uint32_t i = 0; i < node->triangleCount; ++i) {
      const VQTerrainTriangle* t = list[i];
      if (!BoxOverlaps(*t, box)) continue;
      float dist;
      VQVector h;
      if (!SweepOne(*t, start, end, radius, L, &dist, &h)) continue;
      if (!best || dist < bestT) {
        best = t;
        bestT = dist;
        bestH = h;
      }
    }
  }
  if (!best) return false;
  if (distance) *distance = bestT;
  if (contact) *contact = bestH;
  if (word) *word = best->word;
  return true;
}

bool VQTerrainTree::BoxTouchesTriangles(const double boxMin[3], const double boxMax[3]) const {
  if (!m_root) return false;
  const Box box{boxMin[0], boxMin[1], boxMin[2], boxMax[0], boxMax[1], boxMax[2]};
  if (box.maxX < m_root->minX || box.minX > m_root->maxX || box.maxY < m_root->minY ||
      box.minY > m_root->maxY)
    return false;
  // The same walk as SweepSphere's, stopping at the first overlap.
  const VQTerrainNode* stack[4 * kDepthLimit + 4];
  int top = 0;
  stack[top++] = m_root;
  while (top > 0) {
    const VQTerrainNode* node = stack[--top];
    if (!node->IsLeaf()) {
      const bool lowX = box.minX <= node->centreX, highX = box.maxX >= node->centreX;
      const bool lowY = box.minY <= node->centreY, highY = box.maxY >= node->centreY;
      if (highX && highY && node->highXHighY) stack[top++] = node->highXHighY;
      if (highX && lowY && node->highXLowY) stack[top++] = node->highXLowY;
      if (lowX && highY && node->lowXHighY) stack[top++] = node->lowXHighY;
      if (lowX && lowY && node->lowXLowY) stack[top++] = node->lowXLowY;
      continue;
    }
    VQTerrainTriangle* const* list = LeafTriangles(*node);
    for (uint32_t i = 0; i < node->triangleCount; ++i)
      if (BoxOverlaps(*list[i], box)) return true;
  }
  return false;
}

// ---------------------------------------------------------------- cache file

std::vector<uint8_t> VQTerrainTree::WriteToMemory() const {
  std::vector<uint8_t> out;
  out.reserve(20 + 12 * m_vertices.size() + kTriangleRecord * m_triangles.size() + kNodeRecord * m_nodes.size());
  Writer w(out);
  for (char ch : kMagic) w.U8(uint8_t(ch));
  w.U32(uint32_t(m_vertices.size()));
  w.U32(uint32_t(m_triangles.size()));
  for (const VQVector& v : m_vertices) w.Vec(v);
  const VQVector* base = m_vertices.data();
  for (const VQTerrainTriangle& t : m_triangles) {
    w.F32(t.flatHeight);
    w.U32(uint32_t(t.a - base));
    w.U32(uint32_t(t.b - base));
    w.U32(uint32_t(t.c - base));
    w.U32(t.word);
    w.Vec(t.normal);
    w.F32(t.planeD);
    w.Vec(t.boxMin);
    w.Vec(t.boxMax);
  }
  // Depth first; an inner node's children follow it in the order low x low y, low x high y,
  // high x low y, high x high y.
  struct Rec {
    static void Node(Writer& w, const VQTerrainNode* n, const VQTerrainTriangle* tris,
                     VQTerrainTriangle* const* entries) {
      w.U32(n->triangleCount);
      w.U32(0);
      w.F32(n->minX);
      w.F32(n->minY);
      w.F32(n->maxX);
      w.F32(n->maxY);
      w.F32(n->centreX);
      w.F32(n->centreY);
      w.U32(n->lowXHighY ? 1 : 0);
      w.U32(n->highXHighY ? 1 : 0);
      w.U32(n->lowXLowY ? 1 : 0);
      w.U32(n->highXLowY ? 1 : 0);
      if (n->triangleCount) {
        for (uint32_t i = 0; i < n->triangleCount; ++i)
          w.U32(uint32_t(entries[n->firstEntry + i] - tris));
        return;
      }
      if (n->lowXLowY) Node(w, n->lowXLowY, tris, entries);
      if (n->lowXHighY) Node(w, n->lowXHighY, tris, entries);
      if (n->highXLowY) Node(w, n->highXLowY, tris, entries);
      if (n->highXHighY) Node(w, n->highXHighY, tris, entries);
    }
  };
  if (m_root) Rec::Node(w, m_root, m_triangles.data(), m_leafEntries.data());
  return out;
}

bool VQTerrainTree::Write(const char* fileName) const {
  if (!fileName) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const std::vector<uint8_t> data = WriteToMemory();
  return vqfileio::WriteWholeFile(fileName, data.data(), data.size());
}

bool VQTerrainTree::Read(const char* fileName) {
  Clear();
  if (!fileName) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::vector<uint8_t> data;
  if (!vqfileio::ReadWholeFile(fileName, data, VQERR_OPEN_INPUT)) return false;
  return ReadFromMemory(data.data(), data.size());
}

bool VQTerrainTree::ReadFromMemory(const uint8_t* data, size_t size) {
  Clear();
  if (!data || size < 12) return VQerror_Fail(VQERR_BAD_HEADER);
  // The magic compares as a zero-terminated string.
  if (std::memchr(data, 0, 12) == nullptr ||
      std::strcmp(reinterpret_cast<const char*>(data), kMagic) != 0)
    return VQerror_Fail(VQERR_BAD_HEADER);
  if (size < 20) return VQerror_Fail(VQERR_NOT_SUPPORTED);
  Reader r(data + 12, size - 12);
  const uint32_t vertexCount = r.U32();
  const uint32_t triangleCount = r.U32();
  if (uint64_t(vertexCount) * 12 + uint64_t(triangleCount) * kTriangleRecord > r.Left())
    return VQerror_Fail(VQERR_NOT_SUPPORTED);

  auto fail = [this]() {
    Clear();
    return VQerror_Fail(VQERR_NOT_SUPPORTED);
  };
  m_vertices.resize(vertexCount);
  for (VQVector& v : m_vertices) v = r.Vec();
  m_triangles.resize(triangleCount);
  for (VQTerrainTriangle& t : m_triangles) {
    t.flatHeight = r.F32();
    const uint32_t ia = r.U32(), ib = r.U32(), ic = r.U32();
    if (ia >= vertexCount || ib >= vertexCount || ic >= vertexCount) return fail();
    t.a = &m_vertices[ia];
    t.b = &m_vertices[ib];
    t.c = &m_vertices[ic];
    t.word = r.U32();
    t.normal = r.Vec();
    t.planeD = r.F32();
    t.boxMin = r.Vec();
    t.boxMax = r.Vec();
  }

  // The node tree: recursion bounded by kDepthLimit, every count checked against what is left.
  struct Rec {
    VQTerrainTree* tree;
    Reader* r;
    uint32_t triangleCount;
    VQTerrainNode* Node(uint32_t depth, bool* ok) {
      if (depth > kDepthLimit || !r->Has(kNodeRecord)) {
        *ok = false;
        return nullptr;
      }
      VQTerrainNode* n = tree->NewNode();
      const uint32_t count = r->U32();
      r->U32();
      n->minX = r->F32();
      n->minY = r->F32();
      n->maxX = r->F32();
      n->maxY = r->F32();
      n->centreX = r->F32();
      n->centreY = r->F32();
      const bool lowXHighY = r->U32() != 0, highXHighY = r->U32() != 0;
      const bool lowXLowY = r->U32() != 0, highXLowY = r->U32() != 0;
      if (count) {
        if (uint64_t(count) * 4 > r->Left()) {
          *ok = false;
          return n;
        }
        n->triangleCount = count;
        n->firstEntry = uint32_t(tree->m_leafEntries.size());
        for (uint32_t i = 0; i < count; ++i) {
          const uint32_t index = r->U32();
          if (index >= triangleCount) {
            *ok = false;
            return n;
          }
          tree->m_leafEntries.push_back(&tree->m_triangles[index]);
        }
        return n;
      }
      if (lowXLowY && *ok) n->lowXLowY = Node(depth + 1, ok);
      if (lowXHighY && *ok) n->lowXHighY = Node(depth + 1, ok);
      if (highXLowY && *ok) n->highXLowY = Node(depth + 1, ok);
      if (highXHighY && *ok) n->highXHighY = Node(depth + 1, ok);
      return n;
    }
  };
  if (r.Left() > 0) {
    m_leafEntries.reserve(r.Left() / 4);
    bool ok = true;
    Rec rec{this, &r, triangleCount};
    m_root = rec.Node(0, &ok);
    if (!ok) return fail();
  }
  // Bytes after the tree mean the file is not what this reader wrote.
  if (r.Left() != 0) return fail();
  // Queries rely on a root whenever there are triangles to find.
  if (!m_root && triangleCount) return fail();
  return true;
}
