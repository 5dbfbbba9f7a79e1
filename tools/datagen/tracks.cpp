// The race tracks of the sample data tree, built in code: for each circuit a closed centre line
// of its own shape, length, elevation and banking, and from it the road with kerbs, markings and
// a start/finish line, verges, barriers along the outer edge, scenery (trees, buildings,
// grandstands with a crowd), a sky dome, the sun light and the start-light gantry; the scene at
// three detail levels, the meta markers (grid, pit, podium, prize points, the computer-driver
// line with its borders, checkpoints), the settings record with its sound events, the cameras
// and the textures in the track's texture folders. The terrain cache is not written: the first
// load of a track builds and saves it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "QVX/race/Track.h"
#include "QVX/shell/RecordBytes.h"
#include "tools/datagen/datagen.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQscramble.h"

namespace datagen {
namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kRoadHalf = 6.0f;  // road half width, metres
constexpr float kKerb = 1.2f;      // kerb width
constexpr float kVerge = 14.0f;    // verge width beyond the kerb
constexpr float kBarrierHeight = 1.4f;
constexpr uint32_t kGridSlots = 32;

// The shape of one circuit: radius with two harmonics, elevation and banking.
struct CircuitSpec {
  const char* name;
  float radius;
  float a1, k1, p1;  // radius harmonic 1: amplitude (fraction), order, phase
  float a2, k2, p2;
  float stretch;                      // y scale of the loop
  float hills, hillOrder, hillPhase;  // elevation amplitude (m), order, phase
  float bank;                         // banking per unit curvature (radians x metres)
  uint8_t ground[3];                  // verge colour
  uint32_t trees, buildings;
};

// clang-format off
const CircuitSpec kCircuits[] = {
    // name       radius  a1  k1  p1    a2  k2  p2  stretch hills order phase bank  verge colour   trees buildings
    {"harbour",  95.0f, 0.18f, 2, 0.3f, 0.06f, 3, 1.0f, 0.70f,  1.5f, 1, 0.0f, 1.5f, {70, 120, 60},  30, 14},
    {"forest",  120.0f, 0.22f, 3, 0.0f, 0.05f, 5, 0.4f, 1.00f,  6.0f, 2, 0.5f, 2.5f, {40, 100, 40},  90,  4},
    {"desert",  160.0f, 0.10f, 2, 1.2f, 0.08f, 4, 0.2f, 1.30f,  3.0f, 1, 1.5f, 4.0f, {200, 170, 110}, 10,  6},
    {"canyon",  120.0f, 0.15f, 4, 0.9f, 0.05f, 2, 0.0f, 0.90f,  5.0f, 2, 2.0f, 3.0f, {150, 90, 60},   20,  4},
    {"city",     85.0f, 0.12f, 4, 0.0f, 0.08f, 2, 0.8f, 1.10f,  0.8f, 1, 0.0f, 0.5f, {90, 95, 90},    12, 40},
    {"alpine",  130.0f, 0.20f, 3, 0.6f, 0.07f, 2, 1.7f, 0.85f, 12.0f, 1, 0.3f, 3.5f, {60, 110, 70},   70,  8},
};
// clang-format on

struct Sample {
  VQVector p;      // centre
  VQVector t;      // unit tangent (ground plane)
  VQVector n;      // unit left normal (ground plane)
  float bank = 0;  // roll, radians (positive lifts the outer, right side)
  float s = 0;     // distance along the loop
};

std::vector<Sample> CentreLine(const CircuitSpec& c, uint32_t count) {
  std::vector<Sample> out(count);
  for (uint32_t i = 0; i < count; ++i) {
    const float th = 2.0f * kPi * float(i) / float(count);
    const float r =
        c.radius * (1.0f + c.a1 * std::cos(c.k1 * th + c.p1) + c.a2 * std::sin(c.k2 * th + c.p2));
    // The loop runs counter-clockwise; its start (th = 0) is on the +x side heading +y.
    out[i].p = VQVector(
        r * std::cos(th), c.stretch * r * std::sin(th),
        c.hills * std::sin(c.hillOrder * th + c.hillPhase) - c.hills * std::sin(c.hillPhase));
  }
  float s = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const VQVector& a = out[(i + count - 1) % count].p;
    const VQVector& b = out[(i + 1) % count].p;
    VQVector t(b.x - a.x, b.y - a.y, 0);
    t.Normalize();
    out[i].t = t;
    out[i].n = VQVector(-t.y, t.x, 0);
    out[i].s = s;
    const VQVector& next = out[(i + 1) % count].p;
    s += std::sqrt((next.x - out[i].p.x) * (next.x - out[i].p.x) +
                   (next.y - out[i].p.y) * (next.y - out[i].p.y));
  }
  for (uint32_t i = 0; i < count; ++i) {
    const VQVector& t0 = out[(i + count - 1) % count].t;
    const VQVector& t1 = out[(i + 1) % count].t;
    const float ds = std::max(1.0f, out[(i + 1) % count].s - out[(i + count - 1) % count].s);
    const float curvature = (t0.x * t1.y - t0.y * t1.x) / (ds > 0 ? ds : 1.0f);  // > 0 turning left
    out[i].bank = std::clamp(c.bank * curvature * 10.0f, -0.12f, 0.12f);
  }
  return out;
}

// A point across the road at lateral offset d (positive: left), on the banked road surface.
VQVector Across(const Sample& s, float d, float lift = 0.0f) {
  const float z = s.p.z - d * std::tan(s.bank) + lift;
  return VQVector(s.p.x + s.n.x * d, s.p.y + s.n.y * d, z);
}

float LoopLength(const std::vector<Sample>& line) {
  const VQVector& a = line.back().p;
  const VQVector& b = line.front().p;
  return line.back().s + std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
}

// A mesh under construction: positions, normals, texture coordinates and triangles.
struct MeshData {
  std::vector<VQVector> v;
  std::vector<VQVector> nrm;
  std::vector<float> uv;
  std::vector<uint16_t> idx;
  std::vector<uint16_t> mat;

  uint16_t Add(const VQVector& p, float u, float w, const VQVector& normal = VQVector(0, 0, 1)) {
    v.push_back(p);
    nrm.push_back(normal);
    uv.push_back(u);
    uv.push_back(w);
    return uint16_t(v.size() - 1);
  }
  void Tri(uint16_t a, uint16_t b, uint16_t c, uint16_t m = 0) {
    idx.insert(idx.end(), {a, b, c});
    mat.push_back(m);
  }
  // A quad a-b-c-d, counter-clockwise seen from its front.
  void Quad(uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint16_t m = 0) {
    Tri(a, b, c, m);
    Tri(a, c, d, m);
  }
  bool Full() const { return v.size() > 60000; }
};

VQMattable* Table(const std::vector<std::pair<std::string, const char*>>& materials,
                  const std::vector<VQColor>& colours) {
  VQMattable* t = VQMattable::Create(0);
  t->Resize(uint32_t(materials.size()));
  for (size_t i = 0; i < materials.size(); ++i) {
    VQMaterial* m = VQMaterial::Create(materials[i].first.c_str());
    m->SetDefaults();
    m->m_diffuse = colours[i];
    m->m_ambient = VQColor(colours[i].r * 0.6f, colours[i].g * 0.6f, colours[i].b * 0.6f, 1.0f);
    if (materials[i].second) {
      SetModulatedTexture(m, materials[i].second);
    }
    t->Set(m, uint32_t(i));
  }
  return t;
}

VQGeosetNode* Node(const std::string& name, const MeshData& d, VQMattable* table, bool collider) {
  VQMesh* mesh =
      VQMesh::Create(uint32_t(d.v.size()), uint32_t(d.idx.size() / 3), 0, true, true, true);
  VQGeoset* g = VQGeoset::Create();
  if (!mesh || !g) Fail("out of memory building " + name);
  for (size_t i = 0; i < d.v.size(); ++i) {
    mesh->m_positions[i] = d.v[i];
    mesh->m_normals[i] = d.nrm[i];
    mesh->m_uv0[2 * i] = d.uv[2 * i];
    mesh->m_uv0[2 * i + 1] = d.uv[2 * i + 1];
  }
  std::memcpy(mesh->m_indices, d.idx.data(), d.idx.size() * sizeof(uint16_t));
  // Vertex colours: the diffuse colour of the material of a triangle that uses the vertex
  // (packed as the scene file stores them, red in bits 16-23, blue in the low byte).
  for (size_t t = 0; t < d.mat.size(); ++t) {
    const VQColor& c = table->m_slots[d.mat[t] < table->m_count ? d.mat[t] : 0]->m_diffuse;
    const uint32_t packed = 0xFF000000u | uint32_t(c.r * 255.0f) << 16 |
                            uint32_t(c.g * 255.0f) << 8 | uint32_t(c.b * 255.0f);
    for (int k = 0; k < 3; ++k) mesh->m_colours[d.idx[3 * t + size_t(k)]] = packed;
  }
  for (size_t t = 0; t < d.mat.size(); ++t) mesh->SetMaterialOf(uint32_t(t), d.mat[t]);
  if (collider) mesh->m_flags |= VQMESH_COLLIDER;
  g->AddLevel(mesh, 100000.0f);
  g->GetBoundingSphere(g->m_centre, g->m_radius);
  auto* node = new VQGeosetNode(g, 0);
  node->SetName(name.c_str());
  node->SetMattable(table);
  return node;
}

// The one-material tables of the file being built, by material name: a scene file keeps one
// material per name (a reader takes the newest of a name), so nodes of one look share a table.
std::map<std::string, VQMattable*> g_tables;

VQGeosetNode* Simple(const std::string& name, const MeshData& d, const std::string& material,
                     const char* texture, VQColor colour, bool collider) {
  VQMattable*& table = g_tables[material];
  if (!table) table = Table({{material, texture}}, {colour});
  return Node(name, d, table, collider);
}

// A strip between two lateral offsets along the whole loop (closed), u across, v along.
void Strip(MeshData& m, const std::vector<Sample>& line, float from, float to, float liftFrom,
           float liftTo, float uScale, float vScale) {
  const uint16_t base = uint16_t(m.v.size());
  const uint32_t n = uint32_t(line.size());
  for (uint32_t i = 0; i <= n; ++i) {
    const Sample& s = line[i % n];
    const float along = (i == n ? LoopLength(line) : s.s) * vScale;
    m.Add(Across(s, from, liftFrom), 0.0f, along);
    m.Add(Across(s, to, liftTo), uScale, along);
  }
  // from < to means the strip runs from the right to the left edge.
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t a = uint16_t(base + 2 * i), b = uint16_t(a + 1), c = uint16_t(a + 3),
                   d = uint16_t(a + 2);
    if (from < to)
      m.Quad(a, d, c, b);
    else
      m.Quad(a, b, c, d);
  }
}

void Box(MeshData& m, const VQVector& centre, float hx, float hy, float h, float yaw,
         uint16_t material = 0) {
  const float c = std::cos(yaw), s = std::sin(yaw);
  auto at = [&](float x, float y, float z) {
    return VQVector(centre.x + x * c - y * s, centre.y + x * s + y * c, centre.z + z);
  };
  const VQVector corners[4] = {at(-hx, -hy, 0), at(hx, -hy, 0), at(hx, hy, 0), at(-hx, hy, 0)};
  for (int k = 0; k < 4; ++k) {
    const VQVector& p = corners[k];
    const VQVector& q = corners[(k + 1) % 4];
    VQVector out(q.y - p.y, -(q.x - p.x), 0);
    out.Normalize();
    const uint16_t a = m.Add(p, 0, 0, out), b = m.Add(q, 1, 0, out);
    const uint16_t cc = m.Add(VQVector(q.x, q.y, q.z + h), 1, 1, out),
                   d = m.Add(VQVector(p.x, p.y, p.z + h), 0, 1, out);
    m.Quad(a, b, cc, d, material);
  }
  uint16_t top[4];
  for (int k = 0; k < 4; ++k)
    top[k] = m.Add(VQVector(corners[k].x, corners[k].y, corners[k].z + h), float(k & 1),
                   float(k >> 1), VQVector(0, 0, 1));
  m.Quad(top[0], top[1], top[2], top[3], material);
}

void Tree(MeshData& m, const VQVector& at, float h) {
  Box(m, at, 0.25f, 0.25f, h * 0.35f, 0.0f, 0);  // trunk
  const uint16_t tip = m.Add(VQVector(at.x, at.y, at.z + h), 0.5f, 1.0f);
  uint16_t ring[6];
  for (int k = 0; k < 6; ++k) {
    const float a = float(k) * kPi / 3.0f;
    ring[k] = m.Add(VQVector(at.x + 1.6f * std::cos(a), at.y + 1.6f * std::sin(a), at.z + h * 0.3f),
                    float(k) / 6.0f, 0.0f, VQVector(std::cos(a), std::sin(a), 0.5f));
  }
  for (int k = 0; k < 6; ++k) m.Tri(ring[k], ring[(k + 1) % 6], tip, 1);
}

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}
float Rand01(uint32_t& seed) {
  return float((seed = Hash(seed + 0x9e3779b9U)) & 0xFFFFFF) / float(0x1000000);
}

// The grid slot n behind the start line: two staggered columns, 8 m apart per row.
struct Placement {
  VQVector p, d;
};
Placement AlongBack(const std::vector<Sample>& line, float back, float lateral) {
  const float total = LoopLength(line);
  float s = std::fmod(total - back, total);
  size_t i = 0;
  while (i + 1 < line.size() && line[i + 1].s <= s) ++i;
  return {Across(line[i], lateral, 0.3f), line[i].t};
}

VQGeosetNode* Marker(const std::string& name, const VQVector& at, const VQVector& d) {
  MeshData m;
  const VQVector side(-d.y * 0.5f, d.x * 0.5f, 0);
  m.Add(at - d * 2.0f, 0, 0);
  m.Add(at - d * 2.0f + side, 1, 0);
  m.Add(at + side, 1, 1);
  m.Add(at, 0, 1);
  m.Quad(0, 1, 2, 3);
  return Simple(name, m, "meta_marker", nullptr, VQColor(1, 0, 1, 1), false);
}

VQGeosetNode* LineMarker(const std::string& name, const std::vector<VQVector>& points) {
  MeshData m;
  for (size_t k = 0; k <= points.size(); ++k) {
    const VQVector& p = points[k % points.size()];
    const uint16_t a = m.Add(p, 0, 0), b = m.Add(p + VQVector(0.2f, 0, 0), 1, 0),
                   c = m.Add(p + VQVector(0, 0.2f, 0), 0, 1);
    m.Tri(a, b, c);
  }
  return Simple(name, m, "meta_line", nullptr, VQColor(0, 1, 1, 1), false);
}

struct TrackBuild {
  const CircuitSpec& circuit;
  uint32_t index;
  std::vector<Sample> fine;  // the high-detail line
  float length = 0;
};

VQNode* BuildScene(const TrackBuild& b, uint32_t level) {
  const CircuitSpec& c = b.circuit;
  const std::string t = c.name;
  const uint32_t samples[3] = {96, 160, 240};
  const std::vector<Sample> line = CentreLine(c, samples[level]);
  auto* root = new VQRootNode(1);
  root->SetName(t.c_str());
  auto* sun = new VQLightNode(2);
  sun->SetName("l_sun");
  sun->m_direction = VQVector(-0.4f, -0.3f, -0.85f);
  sun->m_diffuse = VQColor(1, 1, 0.95f, 1);
  sun->m_ambient = VQColor(0.45f, 0.45f, 0.5f, 1);
  root->SetChild(sun);
  auto* main = new VQGroupNode(3);
  main->SetName("g_main");
  sun->SetChild(main);

  // Sky domes.
  MeshData dome;
  const int rings = 6, segments = 16;
  for (int r = 0; r <= rings; ++r)
    for (int k = 0; k <= segments; ++k) {
      const float el = float(r) / rings * kPi / 2.0f, az = float(k) / segments * 2.0f * kPi;
      const VQVector p(900.0f * std::cos(el) * std::cos(az), 900.0f * std::cos(el) * std::sin(az),
                       900.0f * std::sin(el) - 60.0f);
      dome.Add(p, float(k) / segments, float(r) / rings, VQVector(-p.x, -p.y, -p.z));
    }
  for (int r = 0; r < rings; ++r)
    for (int k = 0; k < segments; ++k) {
      const uint16_t a = uint16_t(r * (segments + 1) + k), bb = uint16_t(a + 1),
                     cc = uint16_t(a + segments + 2), d = uint16_t(a + segments + 1);
      dome.Quad(a, d, cc, bb);  // seen from inside
    }
  auto* domeAt = new VQTransformNode(4);
  domeAt->SetName("x_dome");
  // The domes glow in the sky's colour (the weather sets it on loading) and take no light: their
  // lit colour, and so the vertex colours a display device lights in its place, is black.
  VQGeosetNode* domeNode = Simple("m_dome", dome, t + "_sky", "sky.tga", VQColor(0, 0, 0, 1), false);
  domeNode->m_table->m_slots[0]->m_emission = VQColor(0.5f, 0.6f, 0.9f, 1);
  domeAt->SetChild(domeNode);
  main->AddChild(domeAt);
  auto* reflection = new VQGroupNode(5);
  reflection->SetName("g_reflection");
  MeshData dome2 = dome;
  for (VQVector& p : dome2.v) p = VQVector(p.x * 0.98f, p.y * 0.98f, p.z * 0.98f);
  VQGeosetNode* dome2Node =
      Simple("m_dome02", dome2, t + "_sky2", "sky.tga", VQColor(0, 0, 0, 1), false);
  dome2Node->m_table->m_slots[0]->m_emission = VQColor(0.4f, 0.5f, 0.8f, 1);
  reflection->AddChild(dome2Node);
  main->AddChild(reflection);

  // Road, kerbs, verges and barriers: the colliders.
  MeshData road, kerbs, verges, barriers;
  Strip(road, line, -kRoadHalf, kRoadHalf, 0, 0, 1.0f, 0.1f);
  Strip(kerbs, line, kRoadHalf, kRoadHalf + kKerb, 0, 0.05f, 1.0f, 0.5f);
  Strip(kerbs, line, -kRoadHalf - kKerb, -kRoadHalf, 0.05f, 0, 1.0f, 0.5f);
  const float edge = kRoadHalf + kKerb;
  Strip(verges, line, edge, edge + kVerge, 0.05f, -0.3f, 4.0f, 0.25f);
  Strip(verges, line, -edge - kVerge, -edge, -0.3f, 0.05f, 4.0f, 0.25f);
  const float wall = edge + kVerge;
  // Barriers face the road: the left one's front looks right, the right one's left.
  for (int side : {1, -1}) {
    const uint16_t base = uint16_t(barriers.v.size());
    const uint32_t n = uint32_t(line.size());
    for (uint32_t i = 0; i <= n; ++i) {
      const Sample& s = line[i % n];
      const VQVector foot = Across(s, side * wall, -0.5f);
      const VQVector facing = s.n * float(-side);
      barriers.Add(foot, s.s * 0.2f, 0, facing);
      barriers.Add(VQVector(foot.x, foot.y, foot.z + kBarrierHeight + 0.5f), s.s * 0.2f, 1, facing);
    }
    for (uint32_t i = 0; i < n; ++i) {
      const uint16_t a = uint16_t(base + 2 * i), top = uint16_t(a + 1), a2 = uint16_t(a + 2),
                     top2 = uint16_t(a + 3);
      if (side > 0)
        barriers.Quad(a, a2, top2, top);
      else
        barriers.Quad(a, top, top2, a2);
    }
  }
  // Textured materials are white where the texture carries the colour (the track's own road
  // and ground textures among them); a tint stays where one texture serves several looks.
  const VQColor white(1, 1, 1, 1);
  main->AddChild(Simple("m_road", road, t + "_road", "road.tga", white, true));
  main->AddChild(Simple("m_kerbs", kerbs, t + "_kerb", "kerb.tga", white, true));
  main->AddChild(Simple("m_verges", verges, t + "_verge", "ground.tga", white, true));
  main->AddChild(Simple("m_barriers", barriers, t + "_barrier", "barrier.tga", white, true));

  // Markings: dashes on the centre line and the start/finish line (drawn, not colliders).
  MeshData marks;
  for (size_t i = 0; i + 1 < line.size(); i += 2) {
    const Sample& s = line[i];
    const VQVector f = s.t * 1.5f;
    const uint16_t a = marks.Add(Across(s, -0.1f, 0.02f) - f, 0, 0),
                   bb = marks.Add(Across(s, -0.1f, 0.02f) + f, 1, 0),
                   cc = marks.Add(Across(s, 0.1f, 0.02f) + f, 1, 1),
                   d = marks.Add(Across(s, 0.1f, 0.02f) - f, 0, 1);
    marks.Quad(a, bb, cc, d);
  }
  {
    const Sample& s = line[0];
    const VQVector f = s.t * 0.6f;
    const uint16_t a = marks.Add(Across(s, -kRoadHalf, 0.03f) - f, 0, 0),
                   bb = marks.Add(Across(s, -kRoadHalf, 0.03f) + f, 1, 0),
                   cc = marks.Add(Across(s, kRoadHalf, 0.03f) + f, 1, 1),
                   d = marks.Add(Across(s, kRoadHalf, 0.03f) - f, 0, 1);
    marks.Quad(a, bb, cc, d);
  }
  main->AddChild(Simple("m_markings", marks, t + "_marks", "marking.tga", white, false));

  // The ground beyond the barriers, below everything (drawn only).
  MeshData ground;
  float minZ = 0;
  for (const Sample& s : line) minZ = std::min(minZ, s.p.z);
  const float half = c.radius * 2.6f;
  ground.Add(VQVector(-half, -half * c.stretch, minZ - 1.5f), 0, 0);
  ground.Add(VQVector(half, -half * c.stretch, minZ - 1.5f), 20, 0);
  ground.Add(VQVector(half, half * c.stretch, minZ - 1.5f), 20, 20);
  ground.Add(VQVector(-half, half * c.stretch, minZ - 1.5f), 0, 20);
  ground.Quad(0, 1, 2, 3);
  main->AddChild(Simple("m_ground", ground, t + "_ground", "ground.tga", white, false));

  // Scenery beyond the barriers.
  uint32_t seed = b.index * 977u + level;
  const float detail = level == 0 ? 0.35f : (level == 1 ? 0.7f : 1.0f);
  MeshData trees, buildings;
  for (uint32_t k = 0; k < uint32_t(float(c.trees) * detail); ++k) {
    const Sample& s = line[Hash(seed + k) % line.size()];
    const float side = (Rand01(seed) < 0.5f ? -1.0f : 1.0f) * (wall + 4.0f + Rand01(seed) * 30.0f);
    Tree(trees, Across(s, side, -0.5f), 5.0f + Rand01(seed) * 6.0f);
  }
  for (uint32_t k = 0; k < uint32_t(float(c.buildings) * detail); ++k) {
    const Sample& s = line[Hash(seed * 3 + k) % line.size()];
    const float side = (Rand01(seed) < 0.5f ? -1.0f : 1.0f) * (wall + 12.0f + Rand01(seed) * 40.0f);
    Box(buildings, Across(s, side, -0.5f), 4.0f + Rand01(seed) * 6.0f, 4.0f + Rand01(seed) * 6.0f,
        6.0f + Rand01(seed) * 20.0f, std::atan2(s.t.y, s.t.x), uint16_t(k % 2));
  }
  if (!trees.v.empty())
    main->AddChild(Node("m_trees", trees,
                        Table({{t + "_bark", "bark.tga"}, {t + "_leaves", "leaves.tga"}},
                              {white, white}),
                        false));
  if (!buildings.v.empty())
    main->AddChild(Node("m_buildings", buildings,
                        Table({{t + "_wall1", "building.tga"}, {t + "_wall2", "building.tga"}},
                              {white, VQColor(0.75f, 0.88f, 1.0f, 1)}),
                        false));

  // Grandstands with the crowd along the start straight, right side, beyond the barrier.
  auto* crowd = new VQGroupNode(6);
  crowd->SetName("g_publiek");
  MeshData stands, people;
  for (int k = 0; k < 3; ++k) {
    const Sample& s = line[(line.size() - 2 + size_t(k) * 2) % line.size()];
    const VQVector at = Across(s, -(wall + 6.0f), -0.5f);
    Box(stands, at, 3.0f, 9.0f, 4.0f, std::atan2(s.t.y, s.t.x));
    for (int p = 0; p < 12; ++p) {
      const VQVector head = at + s.t * (float(p) * 1.4f - 8.0f) + VQVector(0, 0, 4.0f);
      Box(people, head, 0.3f, 0.3f, 1.6f, 0.0f, uint16_t(p % 3));
    }
  }
  main->AddChild(
      Simple("m_stands", stands, t + "_stand", "stand.tga", white, false));
  crowd->AddChild(Node("m_crowd", people,
                       Table({{t + "_crowd1", "crowd.tga"},
                              {t + "_crowd2", "crowd.tga"},
                              {t + "_crowd3", "crowd.tga"}},
                             {VQColor(0.9f, 0.2f, 0.2f, 1), VQColor(0.2f, 0.3f, 0.9f, 1),
                              VQColor(0.9f, 0.9f, 0.2f, 1)}),
                       false));
  main->AddChild(crowd);

  // Start-light gantry over the start line with the three light materials.
  MeshData gantry, lights;
  const Sample& s0 = line[0];
  for (int side : {-1, 1})
    Box(gantry, Across(s0, float(side) * (kRoadHalf + 1.5f), 0), 0.3f, 0.3f, 6.5f, 0);
  const VQVector beam = Across(s0, 0, 6.0f);
  const float yaw = std::atan2(s0.t.y, s0.t.x) + kPi / 2.0f;
  Box(gantry, beam, kRoadHalf + 1.8f, 0.3f, 0.5f, yaw);
  for (int k = 0; k < 3; ++k)
    Box(lights, beam + s0.n * (float(k) - 1.0f) * 1.2f - s0.t * 0.4f, 0.4f, 0.15f, 0.4f, yaw,
        uint16_t(k));
  main->AddChild(Simple("m_gantry", gantry, t + "_gantry", "barrier.tga",
                        VQColor(0.38f, 0.38f, 0.38f, 1), false));
  main->AddChild(Node("m_startlights", lights,
                      Table({{"rood", nullptr}, {"oranje", nullptr}, {"groen", nullptr}},
                            {VQColor(0.8f, 0.05f, 0.05f, 1), VQColor(0.9f, 0.5f, 0.05f, 1),
                             VQColor(0.05f, 0.8f, 0.1f, 1)}),
                      false));
  return root;
}

// The computer-driver line: the centre line, slightly inside on bends, cut into segments whose
// lengths tell the drivers how fast each stretch may be driven. A driver's speed limit is the
// shortest segment ahead times its speed per metre plus its offset (kAISpeedPerLength,
// kAISpeedOffset at full pace); each segment is as long as gives, on the tightest bend it
// covers, the speed the computer cars hold there, between kAIShortestPiece and kAILongestPiece
// (the straights). That speed grows more slowly than the square root of the radius: on wide
// bends the cars come in faster, under throttle, and keep less sideways grip in hand.
constexpr float kAIBendSpeed = 18.5f;     // m/s held on a bend of kAIBendRadius
constexpr float kAIBendRadius = 30.0f;    // m
constexpr float kAIBendExponent = 0.26f;  // growth of that speed with the radius
constexpr float kAIShortestPiece = 1.5f;  // m
constexpr float kAILongestPiece = 30.0f;  // m

float DriverPiece(float curvature) {
  const float c = std::fabs(curvature);
  if (c < 1e-5f) return kAILongestPiece;
  const float speed = kAIBendSpeed * std::pow(1.0f / (c * kAIBendRadius), kAIBendExponent);
  return std::clamp((speed - kAISpeedOffset) / kAISpeedPerLength, kAIShortestPiece,
                    kAILongestPiece);
}

std::vector<VQVector> DriverLine(const CircuitSpec& circuit) {
  // A dense centre line (about every half metre) with its curvature at each sample.
  const std::vector<Sample> coarse = CentreLine(circuit, 240);
  const uint32_t count = std::max<uint32_t>(960, uint32_t(LoopLength(coarse) * 2.0f));
  const std::vector<Sample> line = CentreLine(circuit, count);
  const float total = LoopLength(line);
  std::vector<float> curvature(count);
  for (uint32_t i = 0; i < count; ++i) {
    const Sample& a = line[(i + count - 1) % count];
    const Sample& c = line[(i + 1) % count];
    float ds = c.s - a.s;
    if (ds <= 0.0f) ds += total;
    const float turn = std::atan2(a.t.x * c.t.y - a.t.y * c.t.x, a.t.x * c.t.x + a.t.y * c.t.y);
    curvature[i] = ds > 1e-4f ? turn / ds : 0.0f;
  }
  const auto ahead = [&](uint32_t from, uint32_t j) {
    float d = line[j].s - line[from].s;
    return d < 0.0f ? d + total : d;
  };
  std::vector<uint32_t> picks{0};
  uint32_t i = 0;
  for (;;) {
    // The piece from sample i: as long as the tightest bend within it allows.
    float piece = kAILongestPiece;
    for (int pass = 0; pass < 8; ++pass) {
      float tightest = 0.0f;
      for (uint32_t j = i; j < count && ahead(i, j) <= piece; ++j)
        tightest = std::max(tightest, std::fabs(curvature[j]));
      const float fits = DriverPiece(tightest);
      if (fits >= piece) break;
      piece = fits;
    }
    uint32_t next = i + 1;
    while (next < count && line[next].s - line[i].s < piece) ++next;
    // The closing segment (back to the first point) is not walked by the drivers: it is kept
    // between half and one and a half pieces long.
    if (next >= count || total - line[next].s < 0.5f * piece) break;
    picks.push_back(next);
    i = next;
  }
  std::vector<VQVector> out;
  for (uint32_t k : picks) {
    const Sample& s = line[k];
    out.push_back(Across(s, std::clamp(s.bank * 20.0f, -2.5f, 2.5f), 0.3f));
  }
  return out;
}

VQNode* BuildMeta(const TrackBuild& b) {
  const std::vector<Sample>& line = b.fine;
  auto* root = new VQRootNode(1);
  root->SetName("meta");
  auto* group = new VQGroupNode(2);
  group->SetName("g_meta");
  root->SetChild(group);
  auto* colliders = new VQGroupNode(3);
  colliders->SetName("g_colliders");
  group->AddChild(colliders);
  char name[40];
  for (uint32_t n = 1; n <= kGridSlots; ++n) {
    const uint32_t row = (n - 1) / 2;
    const Placement p = AlongBack(line, 8.0f + 8.0f * float(row) + ((n - 1) % 2 ? 4.0f : 0.0f),
                                  (n % 2) ? 2.8f : -2.8f);
    std::snprintf(name, sizeof name, "m_meta_gridpos%u%u", n / 10, n % 10);
    group->AddChild(Marker(name, p.p, p.d));
    const Placement pit = AlongBack(line, 150.0f + 9.0f * float(n), 0.0f);
    std::snprintf(name, sizeof name, "m_meta_pitpos%u%u", n / 10, n % 10);
    group->AddChild(Marker(name, pit.p, pit.d));
  }
  for (uint32_t n = 1; n <= 3; ++n) {
    const Placement p = AlongBack(line, 20.0f - 5.0f * float(n), -(kRoadHalf + kKerb + 6.0f));
    std::snprintf(name, sizeof name, "m_meta_podiumpos%u%u", n / 10, n % 10);
    group->AddChild(Marker(name, p.p, p.d));
    const Placement q = AlongBack(line, 20.0f - 5.0f * float(n), -(kRoadHalf + kKerb + 10.0f));
    std::snprintf(name, sizeof name, "m_meta_prizepos%u%u", n / 10, n % 10);
    group->AddChild(Marker(name, q.p + VQVector(0, 0, 1.0f), q.d));
  }
  // The computer-driver line and its borders.
  const std::vector<VQVector> ai = DriverLine(b.circuit);
  std::vector<VQVector> left, right;
  for (const Sample& s : line) {
    left.push_back(Across(s, kRoadHalf + kKerb, 0.0f));
    right.push_back(Across(s, -kRoadHalf - kKerb, 0.0f));
  }
  group->AddChild(LineMarker("m_meta_aii01", ai));
  group->AddChild(LineMarker("m_meta_aisl01", left));
  group->AddChild(LineMarker("m_meta_aisr01", right));
  // Checkpoints across road and verges, the first on the start line.
  const uint32_t checkpoints = 8;
  for (uint32_t n = 1; n <= checkpoints; ++n) {
    const Sample& s = line[(n - 1) * line.size() / checkpoints];
    const float w = kRoadHalf + kKerb + kVerge + 1.0f;
    MeshData m;
    m.Add(Across(s, w, 0.5f), 0, 0);
    m.Add(Across(s, w, 2.5f), 0, 1);
    m.Add(Across(s, -w, 2.5f), 1, 1);
    m.Add(Across(s, -w, 0.5f), 1, 0);
    m.Quad(0, 3, 2, 1);
    std::snprintf(name, sizeof name, "m_meta_checkpoint%u%u", n / 10, n % 10);
    group->AddChild(Simple(name, m, "meta_checkpoint", "XT_checkpoint.tga",
                           VQColor(1, 0.2f, 0.2f, 0.5f), false));
  }
  return root;
}

void PutVector(uint8_t* r, size_t offset, const VQVector& v) {
  Record_PutF32(r, offset, v.x);
  Record_PutF32(r, offset + 4, v.y);
  Record_PutF32(r, offset + 8, v.z);
}

std::vector<uint8_t> Settings(const TrackBuild& b) {
  std::vector<uint8_t> r(TRACK_SETTINGS_SIZE, 0);
  uint8_t* p = r.data();
  Record_PutU32(p, 0, b.index);
  PutVector(p, 12, VQVector(0.4f, 0.3f, -0.8f));
  Record_PutF32(p, 24, 0.0f);
  Record_PutF32(p, 28, 1.0f);
  // Shadow map: 256 pixels over the track's square.
  const float extent = b.circuit.radius * 3.0f;
  for (size_t o : {size_t(32), size_t(48)}) {
    Record_PutF32(p, o, 128.0f);
    Record_PutF32(p, o + 4, 128.0f);
    Record_PutF32(p, o + 8, 128.0f / extent);
    Record_PutF32(p, o + 12, 128.0f / extent);
  }
  Record_PutF32(p, 64, 10.0f);
  PutVector(p, 68, VQVector(-0.4f, -0.3f, 0.8f));
  for (size_t i = 0; i < 3; ++i) {
    Record_PutName(p, 80 + 256 * i, 256, (std::string("map_") + b.circuit.name + ".tga").c_str());
    Record_PutF32(p, 848 + 8 * i, 64.0f / extent);
    Record_PutF32(p, 852 + 8 * i, 64.0f / extent);
    Record_PutU32(p, 876 + 8 * i, 16);
    Record_PutU32(p, 880 + 8 * i, 16);
  }
  const uint32_t points = 8;
  Record_PutU32(p, 924, points);
  for (size_t i = 0; i < 3; ++i)
    for (uint32_t k = 0; k < points; ++k) {
      const Sample& s = b.fine[k * b.fine.size() / points];
      Record_PutF32(p, 928 + 128 * i + 8 * k, s.p.x);
      Record_PutF32(p, 932 + 128 * i + 8 * k, s.p.y);
    }
  struct Event {
    uint32_t kind;
    VQVector at;
    float volume, range, delay, interval;
    uint32_t repeat, mode;
    const char* sound;
  };
  const Sample& s0 = b.fine[0];
  const VQVector stands = Across(s0, -(kRoadHalf + kKerb + kVerge + 6.0f), 2.0f);
  const Event events[] = {
      {5, stands, 0.8f, 120.0f, 0.0f, 0.0f, 0, 0, "fx_crowd.wav"},
      {0, stands, 1.0f, 150.0f, 0.0f, 0.0f, 1, 2, "fx_crowd.wav"},
      {0, stands, 1.0f, 150.0f, 0.5f, 0.0f, 1, 3, "fx_crowd.wav"},
  };
  const uint32_t n = uint32_t(sizeof events / sizeof events[0]);
  Record_PutU32(p, 1312, n);
  for (uint32_t k = 0; k < n; ++k) {
    uint8_t* e = p + 1316 + TRACK_SOUND_EVENT_SIZE * k;
    Record_PutU32(e, 0, events[k].kind);
    PutVector(e, 4, events[k].at);
    Record_PutF32(e, 16, events[k].volume);
    Record_PutF32(e, 20, events[k].range);
    Record_PutF32(e, 24, events[k].delay);
    Record_PutF32(e, 28, events[k].interval);
    Record_PutU32(e, 32, events[k].repeat);
    Record_PutU32(e, 36, events[k].mode);
    Record_PutName(e, 40, 64, events[k].sound);
  }
  VQscramble(r.data(), r.size(), nullptr, 0);
  return r;
}

uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// Cameras: values1 = near, far, field of view (degrees); values2 = the three zoom values of a
// fixed camera; vector1 = position (fixed) or offset behind the car (chase); vector2 = the aim
// point (fixed) or aim offset (chase).
std::vector<uint8_t> Cameras(const TrackBuild& b) {
  std::vector<TrackCameraRecord> cams;
  auto fixed = [&](const char* name, const VQVector& at, const VQVector& aim, int32_t kind,
                   float from, float to, uint32_t group) {
    TrackCameraRecord c;
    std::snprintf(c.name, sizeof c.name, "%s", name);
    c.type = TRACK_CAMERA_FIXED;
    c.kind = kind;
    c.values1[0] = FloatBits(1.0f), c.values1[1] = FloatBits(2000.0f),
    c.values1[2] = FloatBits(60.0f);
    c.values2[0] = FloatBits(1.0f), c.values2[1] = FloatBits(3.0f), c.values2[2] = FloatBits(1.0f);
    c.vector1 = at;
    c.vector2 = aim;
    std::snprintf(c.target, sizeof c.target, "m_body");
    c.intervalFrom = from, c.intervalTo = to, c.group = group;
    cams.push_back(c);
  };
  const Sample& s0 = b.fine[0];
  const VQVector start = s0.p;
  fixed("tower", Across(s0, -(kRoadHalf + 20.0f), 25.0f) - s0.t * 30.0f, start, 0, 0, 0, 0);
  fixed("towerpractice", Across(s0, kRoadHalf + 20.0f, 20.0f) + s0.t * 20.0f, start, 0, 0, 0, 0);
  TrackCameraRecord follow;
  std::snprintf(follow.name, sizeof follow.name, "follow");
  follow.type = TRACK_CAMERA_CHASE;
  follow.kind = 1;
  follow.values1[0] = FloatBits(0.5f), follow.values1[1] = FloatBits(2000.0f),
  follow.values1[2] = FloatBits(70.0f);
  follow.vector1 = VQVector(0, -7.0f, 2.8f);
  follow.vector2 = VQVector(0, 4.0f, 0.8f);
  std::snprintf(follow.target, sizeof follow.target, "m_body");
  cams.push_back(follow);
  const Placement podium = AlongBack(b.fine, 10.0f, -(kRoadHalf + kKerb + 6.0f));
  fixed("podium", podium.p + VQVector(0, 0, 3.0f) - podium.d * 12.0f, podium.p, 0, 0, 0, 0);
  // Trackside cameras, each watching its stretch of the lap.
  const uint32_t side = 6;
  for (uint32_t k = 0; k < side; ++k) {
    const Sample& s = b.fine[(k * b.fine.size()) / side + b.fine.size() / (2 * side)];
    const float from = b.length * float(k) / side, to = b.length * float(k + 1) / side;
    char name[32];
    std::snprintf(name, sizeof name, "trackside%u", k + 1);
    fixed(name, Across(s, (k % 2 ? 1.0f : -1.0f) * (kRoadHalf + kKerb + kVerge + 3.0f), 6.0f), s.p,
          2, from, to, 1);
  }
  std::vector<uint8_t> out(cams.size() * TRACK_CAMERA_SIZE);
  for (size_t i = 0; i < cams.size(); ++i) cams[i].Store(out.data() + i * TRACK_CAMERA_SIZE);
  VQscramble(out.data(), out.size(), nullptr, 0);
  return out;
}

void WriteScene(VQNode* root, const std::string& relative) {
  std::vector<uint8_t> bytes;
  const bool ok = VQscene_WriteDatabaseMemory(root, bytes, 11);
  VQNode::Destroy(root);
  g_tables.clear();  // the tables went with their nodes
  if (!ok) Fail("cannot write " + relative + " (" + VQerror_Describe(g_VQerror) + ")");
  WriteFile(relative, bytes.data(), bytes.size());
}

void WriteTextures(const std::string& t, uint32_t index, const CircuitSpec& c) {
  for (const char* quality : {"Data/Maps_low/", "Data/Maps_high/"}) {
    const std::string folder = OutPath(quality + t + "/");
    // The road and the ground of this track: the track's folder is where its scene's textures
    // are looked up, and the ground takes the track's own verge colour.
    // Seeds that are multiples of 3 give the pattern's smallest checks.
    WriteTga(folder + "road.tga", PatternImage(64, 64, 150, 150, 156, 3 * (10 + index)), false);
    WriteTga(folder + "ground.tga",
             PatternImage(64, 64, c.ground[0], c.ground[1], c.ground[2], 3 * (20 + index)), false);
    WriteTga(folder + "kerb.tga", PatternImage(32, 32, 220, 60, 60, 11 + index), false);
    WriteTga(folder + "gravel.tga", PatternImage(64, 64, 170, 160, 140, 12 + index), false);
    WriteTga(folder + "barrier.tga", PatternImage(32, 32, 200, 200, 205, 13 + index), false);
    WriteTga(folder + "marking.tga", PatternImage(16, 16, 250, 250, 250, 14), false);
    // Near white: the texture shades the sky's colour, which the weather gives the domes.
    WriteTga(folder + "sky.tga", PatternImage(64, 64, 232, 238, 245, 15 + index), false);
    WriteTga(folder + "bark.tga", PatternImage(16, 16, 100, 70, 40, 16), false);
    WriteTga(folder + "leaves.tga", PatternImage(32, 32, 40, 120, 40, 17 + index), false);
    WriteTga(folder + "building.tga", PatternImage(64, 64, 170, 160, 150, 18 + index), false);
    WriteTga(folder + "stand.tga", PatternImage(32, 32, 150, 150, 170, 19), false);
    // Light grey: the crowd's three materials tint it.
    WriteTga(folder + "crowd.tga", PatternImage(32, 32, 225, 225, 225, 20), false);
  }
}

}  // namespace

// Tracks differ in their weather: on some the evening is a night race under dim light, and each
// track's sun stands in its own direction.
void TrackWeather(const std::string& t, uint32_t index) {
  const float angle = 0.7f + 1.1f * float(index);
  for (const char* variant : {"sunny", "overcast", "evening", "showers", "thunderstorm"}) {
    const std::string path = "Data/Tracks/" + t + "_weather_" + variant + ".bin";
    std::vector<uint8_t> r;
    {
      std::FILE* f = std::fopen(OutPath(path).c_str(), "rb");
      if (!f) continue;  // the variant is not shipped
      r.resize(TRACK_WEATHER_SIZE);
      const size_t got = std::fread(r.data(), 1, r.size(), f);
      std::fclose(f);
      if (got != r.size()) continue;
    }
    VQscramble(r.data(), r.size(), nullptr, 0);
    const VQVector shadow(0.45f * std::cos(angle), 0.45f * std::sin(angle), -0.8f);
    PutVector(r.data(), 652, shadow);
    PutVector(r.data(), 668, VQVector(-shadow.x, -shadow.y, 0.8f));
    if (std::string(variant) == "evening" && (t == "city" || t == "harbour" || index % 3 == 1)) {
      std::memset(r.data() + 768, 0, 32 * 16);
      Record_PutU32(r.data(), 764, 1);
      Record_PutName(r.data(), 768, 32, "night");
      Record_PutF32(r.data(), 1280, 1.0f);
    }
    VQscramble(r.data(), r.size(), nullptr, 0);
    WriteFile(path, r.data(), r.size());
  }
}

void WriteTracks(const std::vector<std::string>& tracks) {
  for (uint32_t i = 0; i < tracks.size(); ++i) {
    const CircuitSpec* chosen = nullptr;
    for (const CircuitSpec& c : kCircuits)
      if (tracks[i] == c.name) chosen = &c;
    if (!chosen) chosen = &kCircuits[i % (sizeof kCircuits / sizeof kCircuits[0])];
    CircuitSpec named = *chosen;
    named.name = tracks[i].c_str();
    TrackBuild b{named, i, CentreLine(named, 240), 0.0f};
    b.length = LoopLength(b.fine);
    const std::string base = "Data/Tracks/" + tracks[i];
    for (uint32_t level = 0; level < 3; ++level)
      WriteScene(BuildScene(b, level), base + "_" + g_trackDetailNames[level] + ".vqo");
    WriteScene(BuildMeta(b), base + "_meta.vqo");
    const std::vector<uint8_t> settings = Settings(b);
    WriteFile(base + ".bin", settings.data(), settings.size());
    const std::vector<uint8_t> cams = Cameras(b);
    WriteFile(base + "_cams.bin", cams.data(), cams.size());
    WriteTextures(tracks[i], i, named);
    TrackWeather(tracks[i], i);
  }
}

}  // namespace datagen
