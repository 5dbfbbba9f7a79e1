// The engine's abstract vehicle: one rigid body of the collision world whose motion is
// computed elsewhere (by the model library, TolvuCarModel). It owns the body record that the
// collision world reads (the contact spheres with their contact memory), a preset external
// force and torque, the memory of the ground under each wheel, and the operations through
// which the world, the car and the drivers read and drive the vehicle.
//
// Every vector that crosses this interface is in the engine's axes (z up); body coordinates
// are the body's own axes with torques about the centre of gravity.
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

struct VQContactMaterial;
class VQVehicleModel;
class VQTransformNode;

// Room for contact spheres in one body record.
constexpr uint32_t VQCOLLISION_MAX_SPHERES = 16;

// The contact-sphere record of one body. Lives inside the vehicle and is never copied; the
// collision world keeps only the pointer GetCollisionBody returns.
struct VQCollisionBody {
  uint32_t sphereCount = 0;
  VQVector localCentres[VQCOLLISION_MAX_SPHERES] = {};
  float radii[VQCOLLISION_MAX_SPHERES] = {};
  uint8_t noTrack[VQCOLLISION_MAX_SPHERES] = {};  // non-zero: no track contacts for the sphere
  const VQContactMaterial* materials[VQCOLLISION_MAX_SPHERES] = {};
  VQVector enclosingCentre{0, 0, 0};  // local frame: centre of the spheres' bounding box
  float enclosingRadius = 0.0f;       // half that box's diagonal
  VQVector previousWorldCentres[VQCOLLISION_MAX_SPHERES] = {};  // start of the next track sweep
  uint32_t trackContactBits = 0;
  uint32_t bodyContactBits = 0;
  VQVector worldEnclosingCentre{0, 0, 0};  // written by the world in each sub-step the body steps
  VQVector worldCentres[VQCOLLISION_MAX_SPHERES] = {};
  uint8_t worldCentresValid = 0;  // cleared whenever the pose may have changed
};

// The program's ground query under a wheel (the track's GroundHeight): point in engine axes;
// outputs the ground normal, dry and wet friction, rolling coefficient, the height without
// surface detail, the ground material index; hint is the caller's last triangle, updated.
// Returns the ground height.
using VQGroundQuery = float (*)(const VQVector* point, VQVector* normal, float* dryFriction,
                                float* wetFriction, float* coefficient, float* rawHeight,
                                uint32_t* material, uint32_t* hint);
// Called after every Step with (vehicle, dt, user word).
using VQPostStepCallback = void (*)(VQVehicleModel* vehicle, float dt, uintptr_t userData);

class VQVehicleModel {
 public:
  VQVehicleModel() = default;
  virtual ~VQVehicleModel() = default;
  VQVehicleModel(const VQVehicleModel&) = delete;
  VQVehicleModel& operator=(const VQVehicleModel&) = delete;

  // ---- Body operations used by the collision world and its contact routines.
  virtual VQCollisionBody* GetCollisionBody() { return &m_body; }
  virtual VQVector& GetVL100(VQVector& out) = 0;  // linear velocity, body frame
  virtual VQVector& GetOL100(VQVector& out) = 0;  // angular velocity, body frame
  virtual const VQMatrix* GetWorldMatrix() = 0;   // body to world, cached per evaluation
  virtual const VQMatrix* GetInverseWorldMatrix() = 0;
  virtual VQVector& GetCentreOfGravity(VQVector& out) = 0;  // body frame
  // Adds the force (body frame) and its moment about the centre of gravity.
  virtual void ApplyForceAtPoint(const VQVector& force, const VQVector& point) = 0;
  virtual void SetExternalTorque(const VQVector& torque) = 0;
  virtual void AddExternalTorque(const VQVector& torque) = 0;
  virtual VQVector& GetExternalTorque(VQVector& out) = 0;
  virtual void SetExternalForce(const VQVector& force) = 0;
  virtual void AddExternalForce(const VQVector& force) = 0;
  virtual VQVector& GetPresetTorque(VQVector& out) {
    out = m_presetTorque;
    return out;
  }
  virtual VQVector& GetPresetForce(VQVector& out) {
    out = m_presetForce;
    return out;
  }
  // True: steps in every sub-step with the sub-step; false: in every second one with twice it.
  virtual bool IsFullRate() = 0;
  virtual void Prepare(int bodyNumber, float time) = 0;
  virtual void Step(int bodyNumber, float time, float dt) = 0;
  virtual bool IsCollidable() { return m_collidable != 0; }
  // Alternative contact treatments; no vehicle of this system enables them.
  virtual bool IsSpecialTrackContact() { return false; }
  virtual bool IsSpecialTrackResponse() { return false; }
  virtual bool IsSpecialBodyContact() { return false; }

  // ---- Set-up, placement, accessors and driver inputs: implemented by the model-library cars
  // (TolvuCarModel); the base answers zero and ignores writes. Engine axes throughout; scalar
  // getters return double, setters take float.
  virtual bool Initialize(const char* modelFile, const char* dataFile,
                          const VQVector& startPosition, const VQVector& startAngles,
                          VQGroundQuery groundQuery) {
    (void)modelFile, (void)dataFile, (void)startPosition, (void)startAngles, (void)groundQuery;
    return false;
  }
  virtual void Uninitialize() {}
  virtual bool Reset(bool reload) { return (void)reload, false; }
  // Poses the car's scene nodes: the body, the four wheels and, when given, a last node (the
  // car's own use). Only each node's local matrix changes, and only while the vehicle is
  // enabled; null nodes are skipped. The base has no poses and changes nothing.
  virtual void GetTransforms(VQTransformNode* body, VQTransformNode* wheel1, VQTransformNode* wheel2,
                             VQTransformNode* wheel3, VQTransformNode* wheel4,
                             VQTransformNode* last) {
    (void)body, (void)wheel1, (void)wheel2, (void)wheel3, (void)wheel4, (void)last;
  }
  virtual void SetStartPlacement(const VQVector& position, const VQVector& angles) {
    (void)position, (void)angles;
  }
  virtual VQVector GetPosition() const { return VQVector(0, 0, 0); }
  virtual void SetPosition(const VQVector&) {}
  virtual VQVector GetLastPosition() const { return VQVector(0, 0, 0); }
  virtual void SetOrientationAngles(const VQVector&) {}
  virtual void GetOrientation(float out[4]) const { out[0] = out[1] = out[2] = out[3] = 0.0f; }
  virtual void SetOrientation(const float in[4]) { (void)in; }
  virtual double GetSpeed() const { return 0.0; }
  virtual VQVector GetVelocity() const { return VQVector(0, 0, 0); }
  virtual void SetVelocity(const VQVector&) {}
  virtual VQVector GetLocalVelocity() const { return VQVector(0, 0, 0); }
  virtual VQVector GetAngularVelocity() const { return VQVector(0, 0, 0); }
  virtual void SetAngularVelocity(const VQVector&) {}
  virtual VQVector GetAcceleration() const { return VQVector(0, 0, 0); }
  virtual VQVector GetAngularAcceleration() const { return VQVector(0, 0, 0); }
  virtual double GetFuelMass() const { return 0.0; }
  virtual double GetCarMass() const { return 0.0; }
  virtual double GetTotalMass() const { return 0.0; }
  virtual void AddFuel(float) {}
  virtual double GetWheelValueA(int) const { return 0.0; }
  virtual double GetWheelValueB(int) const { return 0.0; }
  virtual double GetWheelLoad(int) const { return 0.0; }
  virtual double GetEngineRpm() const { return 0.0; }
  virtual double GetThrottle() const { return 0.0; }
  virtual double GetBrake() const { return 0.0; }
  virtual double GetClutch() const { return 0.0; }
  virtual double GetSteering() const { return 0.0; }
  virtual int GetGear() const { return 0; }
  virtual void SetSteering(float) {}
  virtual void SetThrottle(float) {}
  virtual void SetBrake(float) {}
  virtual void SetClutch(float) {}
  virtual void SetGear(int) {}
  virtual void SetParkBrake(float) {}

  // Stores the next contact sphere (local frame) and recomputes the enclosing sphere; the
  // sphere's previous world centre is where the current pose puts it. False, and nothing
  // changes, when the record already holds VQCOLLISION_MAX_SPHERES spheres.
  bool AddCollisionSphere(const VQVector& centre, float radius, uint8_t noTrack);
  // Gives every sphere held so far the material (not owned; may be null).
  void SetAllSphereValues(const VQContactMaterial* material);

  uintptr_t m_userWord = 0;
  uint8_t m_enabled = 0;
  uint8_t m_collidable = 0;
  uint32_t m_wheelMaterial[4] = {};
  VQVector m_wheelContact[4] = {};
  uint32_t m_wheelHint[4] = {};
  VQGroundQuery m_groundQuery = nullptr;
  VQPostStepCallback m_postStepCallback = nullptr;
  uintptr_t m_postStepUserData = 0;
  float m_wetness = 0.0f;
  float m_wheelGroundHeight[4] = {};

 protected:
  VQCollisionBody m_body;
  VQVector m_presetTorque{0, 0, 0};
  VQVector m_presetForce{0, 0, 0};
};
