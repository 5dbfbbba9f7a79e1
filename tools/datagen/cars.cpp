// The racing classes' cars: for every class a car scene at three detail levels (body, cabin,
// wheels, head and brake lights, engine, shadow) with its textures, its menu model, the car
// fields of the class record (wheel points, sound gains, pitch, smoke, contact spheres) and the
// two vehicle model data files (store images of "CAR_2" for human and "CAR_1" for computer
// drivers) in Data\Cars\default. Each class is its own kind of car: size, mass, power,
// gearing, grip and look.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "model/include/tolvu.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/RecordBytes.h"
#include "tools/datagen/datagen.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"

namespace datagen {
namespace {

constexpr float kPi = 3.14159265f;

// What makes one class's car (body frame: origin on the ground below the rear axle, y forward,
// front axle at y = 2.6, wheels 0.85 to the sides).
struct CarKind {
  const char* name;
  float mass, torque;                        // kg, N m
  float topSpeed;                            // m/s in top gear at 9000 rpm
  float firstRatio;                          // overall ratio of first gear
  float grip;                                // tyre friction factor
  float length, width, height, cabinHeight;  // body outline
  float rear, front;                         // body ends (y)
  float wheelScale;                          // drawn wheel size factor
  bool wing, openCockpit, tall;
};

const CarKind kKinds[] = {
    {"junior_std", 800, 150, 45, 15, 0.95f, 3.4f, 1.5f, 0.55f, 0.45f, -0.3f, 3.1f, 0.9f, false,
     false, false},
    {"rookie", 950, 220, 55, 16, 1.0f, 3.9f, 1.7f, 0.6f, 0.5f, -0.5f, 3.4f, 1.0f, false, false,
     false},
    {"street", 1150, 280, 60, 16, 1.0f, 4.2f, 1.75f, 0.62f, 0.55f, -0.6f, 3.6f, 1.0f, false, false,
     false},
    {"touring", 1200, 320, 60, 16, 1.05f, 4.4f, 1.8f, 0.6f, 0.5f, -0.7f, 3.7f, 1.0f, true, false,
     false},
    {"sport", 1100, 380, 64, 16, 1.1f, 4.2f, 1.85f, 0.5f, 0.4f, -0.6f, 3.6f, 1.05f, true, false,
     false},
    {"rally", 1250, 360, 62, 17, 1.0f, 4.0f, 1.8f, 0.7f, 0.55f, -0.6f, 3.4f, 1.05f, true, false,
     false},
    {"gt", 1300, 480, 66, 15, 1.1f, 4.6f, 1.95f, 0.48f, 0.38f, -0.8f, 3.8f, 1.1f, true, false,
     false},
    {"prototype", 1050, 520, 68, 15, 1.1f, 4.7f, 1.95f, 0.42f, 0.3f, -0.9f, 3.8f, 1.1f, true, false,
     false},
    {"formula", 800, 420, 70, 14, 1.1f, 4.4f, 1.2f, 0.35f, 0.0f, -0.8f, 3.6f, 1.1f, true, true,
     false},
    {"monster", 2400, 700, 45, 20, 1.1f, 4.0f, 2.0f, 1.0f, 0.7f, -0.6f, 3.2f, 1.4f, false, false,
     true},
};

const CarKind& KindOf(const std::string& cls) {
  for (const CarKind& k : kKinds)
    if (cls == k.name) return k;
  return kKinds[2];
}

// ---- meshes ---------------------------------------------------------------------------------

struct MeshBuilder {
  std::vector<VQVector> p, n;
  std::vector<float> uv;
  std::vector<uint16_t> idx;
  std::vector<uint16_t> mat;

  void Tri(const VQVector& a, const VQVector& b, const VQVector& c, uint16_t m, float u0 = 0,
           float v0 = 0, float u1 = 1, float v1 = 0, float u2 = 1, float v2 = 1) {
    VQVector normal;
    normal.SetCross(b - a, c - a);
    normal.Normalize();
    const uint16_t base = uint16_t(p.size());
    for (const VQVector* v : {&a, &b, &c}) {
      p.push_back(*v);
      n.push_back(normal);
    }
    uv.insert(uv.end(), {u0, v0, u1, v1, u2, v2});
    idx.insert(idx.end(), {base, uint16_t(base + 1), uint16_t(base + 2)});
    mat.push_back(m);
  }
  // A quad a-b-c-d counter-clockwise seen from outside.
  void Quad(const VQVector& a, const VQVector& b, const VQVector& c, const VQVector& d,
            uint16_t m) {
    Tri(a, b, c, m, 0, 0, 1, 0, 1, 1);
    Tri(a, c, d, m, 0, 0, 1, 1, 0, 1);
  }
  // A flat quad of four shared vertices a-b-c-d (counter-clockwise seen from above), the
  // triangles a-b-c and a-c-d: the form a shadow mesh that is rewritten every frame needs.
  void SharedQuad(const VQVector& a, const VQVector& b, const VQVector& c, const VQVector& d,
                  uint16_t m) {
    const uint16_t base = uint16_t(p.size());
    for (const VQVector* v : {&a, &b, &c, &d}) {
      p.push_back(*v);
      n.push_back(VQVector(0, 0, 1));
    }
    uv.insert(uv.end(), {0, 1, 0, 0, 1, 0, 1, 1});
    idx.insert(idx.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2),
                           uint16_t(base + 3)});
    mat.insert(mat.end(), {m, m});
  }
  // A solid between a bottom rectangle at z0 and a top rectangle at z1 (x half-widths, y ranges).
  void Block(float bx, float by0, float by1, float z0, float tx, float ty0, float ty1, float z1,
             uint16_t m) {
    const VQVector b[4] = {{-bx, by0, z0}, {bx, by0, z0}, {bx, by1, z0}, {-bx, by1, z0}};
    const VQVector t[4] = {{-tx, ty0, z1}, {tx, ty0, z1}, {tx, ty1, z1}, {-tx, ty1, z1}};
    Quad(b[3], b[2], b[1], b[0], m);  // bottom
    Quad(t[0], t[1], t[2], t[3], m);  // top
    for (int i = 0; i < 4; ++i) {
      const int j = (i + 1) % 4;
      Quad(b[i], b[j], t[j], t[i], m);
    }
  }
  void Box(float x0, float y0, float z0, float x1, float y1, float z1, uint16_t m) {
    const float cx = (x0 + x1) / 2, hx = (x1 - x0) / 2;
    const size_t first = p.size();
    Block(hx, y0, y1, z0, hx, y0, y1, z1, m);
    for (size_t i = first; i < p.size(); ++i) p[i].x += cx;
  }
  // A wheel: a cylinder along x centred at the origin, tyre material m, rim material rim.
  void Wheel(float radius, float width, uint32_t segments, uint16_t m, uint16_t rim) {
    const float h = width / 2;
    for (uint32_t s = 0; s < segments; ++s) {
      const float a0 = 2 * kPi * float(s) / float(segments),
                  a1 = 2 * kPi * float(s + 1) / float(segments);
      const VQVector o0(0, radius * std::cos(a0), radius * std::sin(a0)),
          o1(0, radius * std::cos(a1), radius * std::sin(a1));
      const VQVector l0 = o0 + VQVector(-h, 0, 0), l1 = o1 + VQVector(-h, 0, 0),
                     r0 = o0 + VQVector(h, 0, 0), r1 = o1 + VQVector(h, 0, 0);
      const float u0 = float(s) / float(segments), u1 = float(s + 1) / float(segments);
      Tri(l0, r0, r1, m, u0, 0, u0, 1, u1, 1);
      Tri(l0, r1, l1, m, u0, 0, u1, 1, u1, 0);
      // Side discs.
      Tri(VQVector(-h, 0, 0), l1, l0, rim, 0.5f, 0.5f, 0.5f + 0.5f * std::cos(a1),
          0.5f + 0.5f * std::sin(a1), 0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0));
      Tri(VQVector(h, 0, 0), r0, r1, rim, 0.5f, 0.5f, 0.5f + 0.5f * std::cos(a0),
          0.5f + 0.5f * std::sin(a0), 0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1));
    }
  }

  VQGeoset* Build() const {
    if (p.empty() || p.size() > 65535) Fail("car mesh out of range");
    const uint32_t verts = uint32_t(p.size()), tris = uint32_t(idx.size() / 3);
    // No vertex colours: the materials colour the car.
    VQMesh* mesh = VQMesh::Create(verts, tris, 0, true, false, true);
    VQGeoset* g = VQGeoset::Create();
    if (!mesh || !g) Fail("out of memory");
    for (uint32_t i = 0; i < verts; ++i) {
      mesh->m_positions[i] = p[i];
      mesh->m_normals[i] = n[i];
      mesh->m_uv0[2 * i] = uv[2 * i];
      mesh->m_uv0[2 * i + 1] = uv[2 * i + 1];
    }
    std::memcpy(mesh->m_indices, idx.data(), idx.size() * sizeof(uint16_t));
    for (uint32_t t = 0; t < tris; ++t) mesh->SetMaterialOf(t, mat[t]);
    g->AddLevel(mesh, 1000.0f);
    g->GetBoundingSphere(g->m_centre, g->m_radius);
    return g;
  }
};

VQMaterial* Material(const std::string& name, float r, float g, float b, const char* texture,
                     float emission = 0, float alpha = 1) {
  VQMaterial* m = VQMaterial::Create(name.c_str());
  m->SetDefaults();
  VQColor_Set(m->m_diffuse, r, g, b, alpha);
  VQColor_Set(m->m_ambient, r * 0.6f, g * 0.6f, b * 0.6f, 1.0f);
  VQColor_Set(m->m_specular, 0.5f, 0.5f, 0.5f, 1.0f);
  VQColor_Set(m->m_emission, r * emission, g * emission, b * emission, 1.0f);
  m->m_shininess = 0.4f;
  if (alpha < 1.0f) {
    m->m_opacity = alpha;
    m->m_srcBlend = 2;
    m->m_dstBlend = 3;
  }
  if (texture) {
    // The texture modulated by the lit material colour (white: the texture's own colours).
    SetModulatedTexture(m, texture);
    VQColor_Set(m->m_diffuse, 1.0f, 1.0f, 1.0f, alpha);
    VQColor_Set(m->m_ambient, 0.6f, 0.6f, 0.6f, 1.0f);
  }
  return m;
}

VQGeosetNode* GeosetNode(const char* name, const MeshBuilder& b,
                         std::initializer_list<VQMaterial*> materials) {
  auto* node = new VQGeosetNode(b.Build(), 0);
  node->SetName(name);
  VQMattable* t = VQMattable::Create(0);
  t->Resize(uint32_t(materials.size()));
  uint32_t i = 0;
  for (VQMaterial* m : materials) t->Set(m, i++);
  node->SetMattable(t);
  return node;
}

VQTransformNode* Transform(const char* name, const VQVector& at, VQNode* child) {
  auto* t = new VQTransformNode(0);
  t->SetName(name);
  t->SetPosition(at);
  if (child) t->SetChild(child);
  return t;
}

// The car scene. detail 0..2; menu: a model for the menus (no shadow, wheels already placed).
VQNode* BuildCar(const CarKind& k, const std::string& prefix, uint8_t r, uint8_t g, uint8_t b,
                 uint32_t detail, bool menu) {
  const float cr = r / 255.0f, cg = g / 255.0f, cb = b / 255.0f;
  const std::string texture = "car_" + std::string(k.name) + ".tga";
  auto* root = new VQRootNode(1);
  root->SetName(("car_" + std::string(k.name)).c_str());
  auto* car = new VQGroupNode(2);
  car->SetName("g_car");
  root->SetChild(car);

  // Body: a lower slab and a cabin, both in the class colour (the skin texture on top).
  const float lift = k.tall ? 0.9f : 0.25f, w = k.width / 2;
  MeshBuilder body;
  const float slabTop = lift + k.height;
  body.Block(w, k.rear, k.front, lift, w * 0.95f, k.rear + 0.1f, k.front - 0.25f, slabTop, 0);
  if (k.cabinHeight > 0.0f) {
    const float c0 = k.rear + 0.25f * (k.front - k.rear), c1 = k.rear + 0.68f * (k.front - k.rear);
    body.Block(w * 0.85f, c0, c1, slabTop, w * 0.7f, c0 + 0.3f, c1 - 0.45f, slabTop + k.cabinHeight,
               1);
  }
  if (k.openCockpit) body.Block(0.3f, 0.6f, 1.4f, slabTop, 0.25f, 0.7f, 1.2f, slabTop + 0.35f, 2);
  if (k.wing) {
    body.Box(-w * 0.9f, k.rear, slabTop + 0.25f, w * 0.9f, k.rear + 0.35f, slabTop + 0.3f, 2);
    body.Box(-0.4f, k.rear + 0.1f, slabTop, -0.35f, k.rear + 0.2f, slabTop + 0.25f, 2);
    body.Box(0.35f, k.rear + 0.1f, slabTop, 0.4f, k.rear + 0.2f, slabTop + 0.25f, 2);
    if (k.openCockpit)
      body.Box(-w * 1.1f, k.front - 0.2f, lift, w * 1.1f, k.front + 0.15f, lift + 0.06f, 2);
  }
  if (detail >= 2) {
    // Mirrors and a grille.
    body.Box(-w - 0.12f, 1.9f, slabTop + 0.05f, -w, 2.0f, slabTop + 0.15f, 2);
    body.Box(w, 1.9f, slabTop + 0.05f, w + 0.12f, 2.0f, slabTop + 0.15f, 2);
    body.Box(-w * 0.5f, k.front, lift + 0.1f, w * 0.5f, k.front + 0.02f, lift + 0.3f, 2);
  }
  auto* gBody = new VQGroupNode(3);
  gBody->SetName("g_body");
  gBody->AddChild(GeosetNode("m_body", body,
                             {Material(prefix + "paint", cr, cg, cb, texture.c_str()),
                              Material(prefix + "glass", 0.15f, 0.2f, 0.3f, nullptr),
                              Material(prefix + "trim", 0.1f, 0.1f, 0.1f, nullptr)}));
  // Lights: two head lights at the front, brake lights at the rear.
  MeshBuilder brakes, left, right;
  brakes.Box(-w * 0.9f, k.rear - 0.03f, slabTop - 0.25f, -w * 0.5f, k.rear, slabTop - 0.1f, 0);
  brakes.Box(w * 0.5f, k.rear - 0.03f, slabTop - 0.25f, w * 0.9f, k.rear, slabTop - 0.1f, 0);
  left.Box(-w * 0.85f, k.front - 0.2f, slabTop - 0.22f, -w * 0.5f, k.front + 0.01f, slabTop - 0.08f,
           0);
  right.Box(w * 0.5f, k.front - 0.2f, slabTop - 0.22f, w * 0.85f, k.front + 0.01f, slabTop - 0.08f,
            0);
  gBody->AddChild(GeosetNode("m_brakes", brakes,
                             {Material(prefix + "brake", 1.0f, 0.1f, 0.05f, nullptr, 1.0f)}));
  gBody->AddChild(GeosetNode("m_light_lf", left,
                             {Material(prefix + "lightl", 1.0f, 1.0f, 0.85f, nullptr, 1.0f)}));
  gBody->AddChild(GeosetNode("m_light_rf", right,
                             {Material(prefix + "lightr", 1.0f, 1.0f, 0.85f, nullptr, 1.0f)}));
  MeshBuilder engine;
  engine.Box(-0.3f, -0.3f, -0.2f, 0.3f, 0.3f, 0.2f, 0);
  gBody->AddChild(Transform(
      "x_engine", VQVector(0, k.openCockpit ? 0.0f : 2.9f, lift + 0.3f),
      GeosetNode("m_engine", engine, {Material(prefix + "engine", 0.3f, 0.3f, 0.32f, nullptr)})));
  if (!menu) {
    MeshBuilder shadow;
    // Vertices: left front, left rear, right rear, right front (the car shadow's corners).
    shadow.SharedQuad(
        VQVector(-w - 0.1f, k.front + 0.1f, 0.03f), VQVector(-w - 0.1f, k.rear - 0.1f, 0.03f),
        VQVector(w + 0.1f, k.rear - 0.1f, 0.03f), VQVector(w + 0.1f, k.front + 0.1f, 0.03f), 0);
    gBody->AddChild(
        GeosetNode("m_shadow", shadow, {Material(prefix + "shadow", 0, 0, 0, nullptr, 0, 0.5f)}));
  }
  car->AddChild(Transform("x_body", VQVector(0, 0, 0), gBody));

  // Wheels: the vehicle model poses their transforms; the menu model places them itself.
  static const char* const kNames[4][2] = {{"x_whl_lf", "m_whl_lf"},
                                           {"x_whl_rf", "m_whl_rf"},
                                           {"x_whl_lr", "m_whl_lr"},
                                           {"x_whl_rr", "m_whl_rr"}};
  static const float kAt[4][2] = {{-0.85f, 2.6f}, {0.85f, 2.6f}, {-0.85f, 0.0f}, {0.85f, 0.0f}};
  const uint32_t segments = detail == 0 ? 6 : detail == 1 ? 10 : 16;
  for (int i = 0; i < 4; ++i) {
    MeshBuilder wheel;
    wheel.Wheel(0.4f * k.wheelScale, 0.3f * k.wheelScale, segments, 0, 1);
    VQGeosetNode* node =
        GeosetNode(kNames[i][1], wheel,
                   {Material(prefix + "tyre" + char('0' + i), 0.12f, 0.12f, 0.12f, "carwheel.tga"),
                    Material(prefix + "rim" + char('0' + i), 0.75f, 0.75f, 0.78f, nullptr)});
    car->AddChild(Transform(kNames[i][0],
                            menu ? VQVector(kAt[i][0], kAt[i][1], 0.4f) : VQVector(0, 0, 0), node));
  }
  return root;
}

void WriteScene(VQNode* root, const std::string& path) {
  const bool ok = VQscene_WriteDatabase(root, path.c_str(), 11);
  VQNode::Destroy(root);
  if (!ok) Fail("cannot write " + path + " (" + VQerror_Describe(g_VQerror) + ")");
}

// ---- vehicle model data ---------------------------------------------------------------------

void Set(int type, std::vector<double>& store, const char* name, double value) {
  const int k = tolvu_GetVarIndex(type, name);
  if (k <= 0 || size_t(k) > store.size()) Fail(std::string("model variable ") + name + " unknown");
  store[size_t(k) - 1] = value;
}
void Scale(int type, std::vector<double>& store, const char* name, double factor) {
  const int k = tolvu_GetVarIndex(type, name);
  if (k > 0 && size_t(k) <= store.size()) store[size_t(k) - 1] *= factor;
}

std::string StoreFile(int type, const CarKind& k, uint32_t gears) {
  const int length = tolvu_GetModelDefinitionSize(type);
  if (length <= 0) Fail("the model library does not know model type " + std::to_string(type));
  std::vector<double> store(size_t(length), 0.0);
  if (!tolvu_InitializeModel(type, store.data(), length, " ")) Fail("model initialisation failed");
  Set(type, store, "M_CAR", k.mass);
  Set(type, store, "ENG_TC_MX", k.torque);
  // The engine's speed range puts the automatic gearbox's upshift point (9000 rpm) inside the
  // torque table, so every gear reaches it.
  Set(type, store, "ENG_RP_MX", 7500.0);
  // The detailed model's crank inertia defaults to that of a big industrial engine (1 kg m2);
  // through a short first gear it weighs like another car on the back of a light one. A car
  // engine's crank, flywheel and clutch turn about 0.15 kg m2.
  if (type == 2) Set(type, store, "ENG_IX_CR", 0.15);
  Set(type, store, "STEER_RAT", 0.3);
  Set(type, store, "ANG_MAX", 0.6);
  // Ratios from first gear down to the top gear's, evenly in the logarithm.
  const double top = 9000.0 * 2.0 * 3.14159265 / 60.0 * 0.4 / k.topSpeed;
  char name[16];
  std::snprintf(name, sizeof name, "GEARS(1)");
  Set(type, store, name, -k.firstRatio);
  Set(type, store, "GEARS(2)", 0.0);
  for (uint32_t g = 0; g < 6; ++g) {
    std::snprintf(name, sizeof name, "GEARS(%u)", g + 3);
    double ratio = 0.0;
    if (g < gears)
      ratio = gears == 1
                  ? top
                  : k.firstRatio * std::pow(top / k.firstRatio, double(g) / double(gears - 1));
    Set(type, store, name, ratio);
  }
  Set(type, store, "GEAR_MAX", double(gears));
  for (const char* mu : {"MUL900", "MUH900", "MUL950", "MUH950"}) Scale(type, store, mu, k.grip);
  if (type == 1) {
    // The simpler model's springs carry the class's mass with the default model's ride height.
    const double stiffer = 2.5 * k.mass / 1000.0;
    for (const char* spring : {"SPRL_FRONT", "SPRL_REAR"}) Scale(type, store, spring, stiffer);
    for (const char* damper : {"DMPI_FRONT", "DMPI_REAR"})
      Scale(type, store, damper, std::sqrt(stiffer));
  }
  tolvu_CallModel(type, 1, 0, 0.0, store.data(), length);
  std::string bytes(store.size() * 8, '\0');
  for (size_t i = 0; i < store.size(); ++i) {
    uint64_t v;
    std::memcpy(&v, &store[i], 8);
    for (int b = 0; b < 8; ++b) bytes[8 * i + size_t(b)] = char(uint8_t(v >> (8 * b)));
  }
  return bytes;
}

void PutFloats(uint8_t* r, size_t offset, std::initializer_list<float> values) {
  for (float v : values) {
    Record_PutF32(r, offset, v);
    offset += 4;
  }
}

}  // namespace

void FillCarRecord(uint8_t* r, const std::string& cls) {
  const CarKind& k = KindOf(cls);
  const uint32_t gears = std::clamp<uint32_t>(Record_GetU32(r, CLASSREC_GEARS), 1, 6);
  Record_PutU32(r, CLASSREC_GEARS, gears);
  PutFloats(r, CLASSREC_WHEEL_POINTS,
            {-0.85f, 2.6f, 0.0f, 0.85f, 2.6f, 0.0f, -0.85f, 0.0f, 0.0f, 0.85f, 0.0f, 0.0f});
  PutFloats(r, CLASSREC_PITCH, {0.45f, 1.6f, 0.45f, 1.3f});
  PutFloats(r, CLASSREC_SLIP, {0.5f, 0.8f, 0.2f, 1.5f});
  PutFloats(r, CARREC_GAINS, {1.0f, 0.8f, 0.7f, 1.0f});
  // Tyre smoke: present, emission, velocity factor, offset (3), gain, slip threshold.
  PutFloats(r, CLASSREC_SMOKE, {1.0f, 4.0f, 0.3f, 0.0f, 0.0f, 0.4f, 1.0f, 0.2f});
  // Spray per rain level: present, velocity factor, offset (3), height weight, height offset, ceiling.
  for (int level = 0; level < 3; ++level)
    PutFloats(r, CLASSREC_SPRAY + 64 * size_t(level),
              {1.0f, 0.2f, 0.0f, 0.0f, 0.5f, 0.02f * float(level + 1), 0.3f, 3.0f});
  // Engine smoke only for the heavy classes: present, position (3), emission, velocity factor,
  // offset (3), rpm weights (3).
  if (k.tall || k.mass > 1250)
    PutFloats(r, CLASSREC_ENGINE_SMOKE,
              {1.0f, 0.0f, k.rear, 0.4f, 3.0f, 0.1f, 0.0f, -1.0f, 1.0f, 0.0f, 0.0f, 1.0f});
  // Contact spheres around the body (radius 0.4), two on the roof.
  const float lift = k.tall ? 0.9f : 0.25f;
  // The roof pair never reaches below the side spheres: on a low open car it would sink into
  // the ground and hold the car up on its body.
  const float z = lift + 0.35f,
              roof = std::max(z, lift + k.height + std::max(0.0f, k.cabinHeight) - 0.3f);
  const float x = std::max(0.3f, k.width / 2 - 0.4f);
  std::vector<std::array<float, 4>> spheres;
  for (float y : {k.rear + 0.3f, k.front - 0.3f})
    for (float sx : {-x, x}) spheres.push_back({sx, y, z, 0.4f});
  spheres.push_back({-x, 1.3f, z, 0.4f});
  spheres.push_back({x, 1.3f, z, 0.4f});
  spheres.push_back({0.0f, 1.0f, roof, 0.4f});
  spheres.push_back({0.0f, 1.9f, roof, 0.4f});
  Record_PutU32(r, CARREC_SPHERE_COUNT, uint32_t(spheres.size()));
  for (size_t i = 0; i < spheres.size(); ++i) {
    PutFloats(r, CARREC_SPHERES + 16 * i,
              {spheres[i][0], spheres[i][1], spheres[i][2], spheres[i][3]});
    r[CARREC_SPHERE_FLAGS + i] = 0;
  }
}

void WriteCars(const std::string& out, const std::vector<std::string>& classes,
               const std::vector<std::array<uint8_t, 3>>& colours,
               const std::vector<uint32_t>& gears) {
  for (size_t c = 0; c < classes.size(); ++c) {
    const std::string& cls = classes[c];
    const CarKind& k = KindOf(cls);
    const auto& rgb = colours[c];
    const std::string prefix = "car_" + cls + "_";
    for (uint32_t d = 0; d < CAR_DETAIL_LEVELS; ++d) {
      MakeFolder("Data/Cars/" + cls);
      WriteScene(BuildCar(k, prefix + char('0' + d) + "_", rgb[0], rgb[1], rgb[2], d, false),
                 out + "/Data/Cars/" + cls + "/" + cls + "_" + char('0' + d) + ".vqo");
    }
    WriteScene(BuildCar(k, "menu_" + prefix, rgb[0], rgb[1], rgb[2], 2, true),
               out + "/Data/Cars/menucar_" + cls + ".vqo");
    // Body texture: the class colour with a stripe and the number field.
    Image paint = PatternImage(256, 256, rgb[0], rgb[1], rgb[2], uint32_t(c * 7 + 3));
    paint.Rect(0, 112, 256, 32, 250, 250, 250);
    paint.Rect(96, 40, 64, 48, 255, 255, 255);
    WriteTga(out + "/Data/Maps_high/car_" + cls + ".tga", paint, false);
    WriteTga(out + "/Data/Maps_low/car_" + cls + ".tga", paint, false);
    const uint32_t g = std::clamp<uint32_t>(gears[c], 1, 6);
    WriteFile("Data/Cars/" + std::string(CAR_DEFAULT_MODEL_FOLDER) + "/tolvu_" + cls + "_high.bin",
              StoreFile(2, k, g));
    WriteFile("Data/Cars/" + std::string(CAR_DEFAULT_MODEL_FOLDER) + "/tolvu_" + cls + "_mid.bin",
              StoreFile(1, k, g));
  }
  // The wheel texture: a dark tyre with a light tread band.
  Image wheel = MakeImage(64, 64);
  wheel.Fill(30, 30, 32);
  for (int y = 0; y < 64; y += 8) wheel.Rect(0, y, 64, 2, 70, 70, 74);
  WriteTga(out + "/Data/Maps_high/carwheel.tga", wheel, false);
  WriteTga(out + "/Data/Maps_low/carwheel.tga", wheel, false);
}

}  // namespace datagen
