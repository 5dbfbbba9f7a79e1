#include "QVX/race/FlatGround.h"

#include <algorithm>
#include <cmath>

#include "QVX/race/Car.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {
// Asphalt: stiff and rough.
const VQContactMaterial kGroundMaterial = {200000.0f, 8000.0f, 0.9f};
bool AnyBox(const double boxMin[3], const double[3]) { return boxMin[2] <= 0.0; }
}  // namespace

FlatGround::FlatGround() {
  m_scene = new VQRootNode(1);
  m_scene->SetName("flatground");
  m_group = new VQGroupNode(2);
  m_group->SetName("g_cars");
  m_scene->SetChild(m_group);
  m_world.SetTrackQuery(&FlatGround::SweepSphere);
  m_world.SetTrackBoxQuery(&AnyBox);
}

FlatGround::~FlatGround() {
  // Cars still attached leave the world; their roots belong to them.
  for (Car* car : std::vector<Car*>(m_cars)) car->Detach();
  VQNode::Destroy(m_scene);
}

VQNode* FlatGround::GetCarGroup() { return m_group; }

bool FlatGround::AttachCar(Car* car) {
  if (!car || !car->GetModel()) return false;
  if (!m_world.AddBody(car->GetModel())) return false;
  m_cars.push_back(car);
  return true;
}

void FlatGround::DetachCar(Car* car) {
  if (!car) return;
  if (car->GetModel()) m_world.RemoveBody(car->GetModel());
  m_cars.erase(std::remove(m_cars.begin(), m_cars.end(), car), m_cars.end());
}

void FlatGround::StepPhysics(float dt) {
  if (!(dt > 0.0f)) dt = 0.0f;
  m_world.Step(m_time, dt);
  m_time += dt;
}

void FlatGround::Step(float dt) {
  StepPhysics(dt);
  for (Car* car : m_cars) car->Update(dt, m_time);
}

void FlatGround::AddGroundMesh(VQDisplayDevice* device) {
  if (!device) return;
  // A 400 m square of 40 x 40 tiles in two shades (a checkerboard), so that motion shows. No
  // vertex colours: the materials colour it.
  constexpr uint32_t n = 40;
  constexpr float size = 400.0f, tile = size / n;
  VQMesh* mesh = VQMesh::Create(4 * n * n, 2 * n * n, 0, true, false, false);
  VQGeoset* geoset = mesh ? VQGeoset::Create() : nullptr;
  if (!geoset) {
    VQMesh::Destroy(mesh);
    return;
  }
  for (uint32_t y = 0, q = 0; y < n; ++y)
    for (uint32_t x = 0; x < n; ++x, ++q) {
      const float x0 = -size / 2 + tile * float(x), y0 = -size / 2 + tile * float(y);
      const VQVector corners[4] = {
          {x0, y0, 0}, {x0 + tile, y0, 0}, {x0 + tile, y0 + tile, 0}, {x0, y0 + tile, 0}};
      for (uint32_t k = 0; k < 4; ++k) {
        mesh->m_positions[4 * q + k] = corners[k];
        mesh->m_normals[4 * q + k] = VQVector(0, 0, 1);
      }
      const uint16_t b = uint16_t(4 * q);
      const uint16_t indices[6] = {b, uint16_t(b + 1), uint16_t(b + 2),
                                   b, uint16_t(b + 2), uint16_t(b + 3)};
      for (uint32_t k = 0; k < 6; ++k) mesh->m_indices[6 * q + k] = indices[k];
      mesh->SetMaterialOf(2 * q, uint16_t((x + y) % 2));
      mesh->SetMaterialOf(2 * q + 1, uint16_t((x + y) % 2));
    }
  geoset->AddLevel(mesh, 100000.0f);
  geoset->GetBoundingSphere(geoset->m_centre, geoset->m_radius);
  auto* node = new VQGeosetNode(geoset, 0);
  node->SetName("m_ground");
  VQMattable* table = VQMattable::Create(2);
  if (table && table->m_count == 2) {
    VQColor_Set(table->m_slots[0]->m_diffuse, 0.35f, 0.35f, 0.38f, 1.0f);
    VQColor_Set(table->m_slots[1]->m_diffuse, 0.28f, 0.3f, 0.28f, 1.0f);
    VQColor_Set(table->m_slots[0]->m_ambient, 0.35f, 0.35f, 0.38f, 1.0f);
    VQColor_Set(table->m_slots[1]->m_ambient, 0.28f, 0.3f, 0.28f, 1.0f);
  }
  node->SetMattable(table);
  VQscene_SetGeosetDevice(geoset, device);
  if (m_group->ChildCount() == 0 ? !m_group->AddChild(node) : !m_group->InsertChild(node, 0)) {
    VQNode::Destroy(node);
    return;
  }
  // A sun from the upper left behind the start, and some sky light.
  if (m_scene->GetChild() == m_group) {
    auto* sun = new VQLightNode(0);
    sun->m_direction = VQVector(0.3f, 0.5f, -0.8f);
    sun->m_direction.Normalize();
    VQColor_Set(sun->m_diffuse, 0.85f, 0.85f, 0.8f, 1.0f);
    VQColor_Set(sun->m_ambient, 0.45f, 0.45f, 0.5f, 1.0f);
    m_scene->SetChild(sun);
    sun->SetChild(m_group);
  }
}

float FlatGround::GroundHeight(const VQVector* point, VQVector* normal, float* dryFriction,
                               float* wetFriction, float* coefficient, float* rawHeight,
                               uint32_t* material, uint32_t* hint) {
  (void)point;
  if (normal) *normal = VQVector(0, 0, 1);
  if (dryFriction) *dryFriction = 1.0f;
  if (wetFriction) *wetFriction = 0.7f;
  if (coefficient) *coefficient = 0.012f;
  if (rawHeight) *rawHeight = 0.0f;
  if (material) *material = 0;
  if (hint) *hint = 0;
  return 0.0f;
}

bool FlatGround::SweepSphere(const VQVector& start, const VQVector& end, float radius,
                             float* distance, VQVector* contact,
                             const VQContactMaterial** material) {
  // The sphere touches the plane where its centre comes down to z = radius.
  if (end.z >= radius && start.z >= radius) return false;
  const VQVector d = end - start;
  const float length = float(d.Length());
  float t = 0.0f;
  if (start.z > radius && d.z < 0.0f) t = (start.z - radius) / -d.z;
  t = std::clamp(t, 0.0f, 1.0f);
  const VQVector at = start + d * t;
  if (distance) *distance = t * length;
  if (contact) *contact = VQVector(at.x, at.y, 0.0f);
  if (material) *material = &kGroundMaterial;
  return true;
}
