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

void FlatGround::Step(float dt) {
  if (!(dt > 0.0f)) dt = 0.0f;
  m_world.Step(m_time, dt);
  m_time += dt;
  for (Car* car : m_cars) car->Update(dt, m_time);
}

void FlatGround::AddGroundMesh(VQDisplayDevice* device) {
  if (!device) return;
  // A 400 m square of 40 x 40 tiles in two shades, so that motion shows.
  VQGeoset* geoset = VQscene_MakeGridGeoset(40, 400.0f, 2);
  if (!geoset) return;
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
  m_group->InsertChild(node, 0);
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
