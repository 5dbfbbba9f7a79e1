#include "Zentri/vehicle/VQVehicleModel.h"

#include "Zentri/math/VQGeometry.h"

bool VQVehicleModel::AddCollisionSphere(const VQVector& centre, float radius, uint8_t noTrack) {
  VQCollisionBody& b = m_body;
  if (b.sphereCount >= VQCOLLISION_MAX_SPHERES) return false;
  b.localCentres[b.sphereCount] = centre;
  b.radii[b.sphereCount] = radius;
  b.noTrack[b.sphereCount] = noTrack;
  // The sphere's first track sweep starts where it stands now; left at the origin it would
  // sweep in from there through whatever lies between (the race adds spheres after the car
  // has been placed).
  GetWorldMatrix()->TransformPoint(b.previousWorldCentres[b.sphereCount], centre);
  ++b.sphereCount;
  b.worldCentresValid = 0;
  VQmath_SpheresBoundingSphere(b.localCentres, b.radii, int(b.sphereCount), b.enclosingCentre,
                               b.enclosingRadius);
  return true;
}

void VQVehicleModel::SetAllSphereValues(const VQContactMaterial* material) {
  for (uint32_t i = 0; i < m_body.sphereCount; ++i) m_body.materials[i] = material;
}
