// A small test track made in code, with a stand-in for the race's track services that the
// physics needs: the ground query under a wheel and the sphere sweep for the collision world,
// both answered from a terrain tree and a table of surface materials. Tests, the collision
// benchmark and physics-demo drive cars on it.
//
// Layout (engine axes, metres, z up; a car at rest with start angles 0 faces +y):
//   ground    [-120, 120] x [-120, 120] at z = 0, asphalt inside |x|, |y| <= 90, grass outside
//   ramp      x in [-6, 6], rising from y = 18 (z = 0) to y = 43 (z = 2.5), flat to y = 48,
//             with no ground below it
//   curve     a banked quarter ring around (-60, 60), radii 20 to 36, z = 0 inside to 3 outside,
//             with no ground below it
//   wall      a solid block x in [50, 90], y in [40, 42], 2 high
//   boundary  walls 4 high around the ground, facing inwards
//
// The same track as a scene (BuildScene, WriteScene): root -> group "track" holding one
// collider geoset node per mesh, each with a one-material table whose first texture stage names
// the surface ("asphalt.jpg", ...), and a transform node with a flat sign above the start that
// is not a collider. BuildTerrainFromScene builds the terrain from such a scene the way a race
// does: each triangle's word is the first surface whose texture name matches its material's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQTerrainTree.h"

class VQNode;

struct VQSampleSurface {
  VQContactMaterial contact;  // first: the collision world reads it through a pointer
  float dryFriction;
  float wetFriction;
  float coefficient;  // rolling resistance
  const char* name;
  const char* texture;  // the texture name that marks this surface in a track scene
};

// Surface indices of the sample track (the triangles' words).
enum VQSampleSurfaceId : uint32_t { VQSAMPLE_ASPHALT = 0, VQSAMPLE_GRASS = 1, VQSAMPLE_WALL = 2 };

class VQSampleTrack {
 public:
  struct Mesh {
    std::vector<VQVector> vertices;
    std::vector<uint32_t> indices;
    uint32_t surface = 0;
  };

  VQSampleTrack();  // makes the geometry and the surfaces; the terrain stays empty
  // The collider meshes as the terrain tree takes them (pointing into this object).
  std::vector<VQTerrainMesh> TerrainMeshes() const;
  // Builds the terrain tree from the meshes (32 triangles per leaf, depth 8).
  bool BuildTerrain();

  // The track as a scene tree (owned by the caller; VQNode::Destroy), null when out of memory.
  VQNode* BuildScene() const;
  // Writes BuildScene's tree as a scene database file.
  bool WriteScene(const char* path) const;
  // Builds the terrain tree from the collider meshes of a track scene (32 per leaf, depth 8).
  bool BuildTerrainFromScene(VQNode* root);
  // The triangle word a race stores: the index of the first surface whose texture name equals,
  // ignoring case, the texture of the triangle's material (stage 0); the last surface when the
  // material has no texture or no surface lists it. Used while BuildTerrainFromScene runs.
  uint32_t SurfaceForTexture(const char* textureName) const;

  // The track that the static queries answer from (null: no ground, no contacts).
  static void SetCurrent(VQSampleTrack* track);
  static VQSampleTrack* GetCurrent();
  // The ground query for the vehicle models (signature VQGroundQuery): the first triangle below
  // the point, answered 0.01 above it (the raw height 0.005 above it). No ground: 0.005 with
  // normal (0, 0, 1), friction 1, coefficient 0.001. No surface lies over another (a hint on
  // a lower triangle would keep answering it), so every point has at most one answer.
  static float GroundHeight(const VQVector* point, VQVector* normal, float* dryFriction,
                            float* wetFriction, float* coefficient, float* rawHeight,
                            uint32_t* material, uint32_t* hint);
  // The collision world's track query (signature VQTrackQuery). The material is null when the
  // triangle's word names no surface.
  static bool SweepSphere(const VQVector& start, const VQVector& end, float radius,
                          float* distance, VQVector* contact, const VQContactMaterial** material);
  // The collision world's box query (signature VQTrackBoxQuery), from the terrain tree.
  static bool BoxHasTrack(const double boxMin[3], const double boxMax[3]);

  // Gives a car the sample contact spheres (body frame: origin on the ground at the rear axle,
  // y forward, front axle at y = 2.6) and the asphalt material: eight spheres of radius 0.4 at
  // the body's corners and sides 0.6 above the ground, two on the roof. True when all fitted.
  bool AddCarSpheres(VQVehicleModel& car) const;

  std::vector<Mesh> m_meshes;
  std::vector<VQSampleSurface> m_surfaces;
  VQTerrainTree m_terrain;
  bool m_flatTest = false;  // answer every ground query with flat ground at -10

 private:
  void AddQuad(Mesh& m, const VQVector& p0, const VQVector& p1, const VQVector& p2,
               const VQVector& p3, const VQVector& facing);
  void AddBox(Mesh& m, float x0, float y0, float x1, float y1, float height);
};
