// Vehicle models driven by the model library Tolvu: one car's whole model store lives inside
// the object; the library is reached only through its exported functions (model/include/
// tolvu.h). The object loads the car's initial store from a model data file, places the car,
// evaluates the library in every collision sub-step and integrates the states itself with the
// two-step Adams-Bashforth formula. It also answers the library's ground queries
// (TolvuCarModel_EarthData) from its own track query: every evaluation hands the library the
// car itself as the ground query's context, so cars can be evaluated on several threads at once.
//
// Axes: the model has x forward and z down; engine (x, y, z) = model (y, x, -z) both ways.
// Every vector crossing between the store and the engine goes through TolvuFrame_ToEngine and
// TolvuFrame_ToModel, and the store's doubles become floats.
//
// TolvuCarModel2 runs "CAR_2" (human drivers, every sub-step); TolvuCarModel1 runs "CAR_1"
// (computer and remote drivers, every second sub-step with twice the step).
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/vehicle/VQVehicleModel.h"

class TolvuCarModel;

// The one pair of mappings between the model's frame (x forward, y right, z down; doubles) and
// the engine's z-up frame (floats): engine (x, y, z) = model (y, x, -z), both ways.
inline VQVector TolvuFrame_ToEngine(const double model[3]) {
  return VQVector(float(model[1]), float(model[0]), float(-model[2]));
}
inline void TolvuFrame_ToModel(const VQVector& engine, double model[3]) {
  model[0] = engine.y;
  model[1] = engine.x;
  model[2] = -double(engine.z);
}

// The program's answer to the library's ground query for one wheel of a model: from the model's
// ground query. A null model (an evaluation that is not a race step), wheel numbers outside 1 to
// 4 (and a non-finite number), and a model without a ground query get flat ground and touch no
// per-wheel memory.
void TolvuCarModel_EarthData(TolvuCarModel* model, double out[8], const double point[3],
                             const double aux[3], double wheel);

// Writes the library's default store of a model type ("tolvu_<car>_<level>.bin" image): the
// library's defaults and its first-call set-up. False with an engine error when the type is
// unknown or the file cannot be written.
bool TolvuCarModel_WriteDefaultStoreFile(int modelType, const char* fileName);

// Output block poses used by the game.
enum TolvuPose { TOLVU_POSE_BODY = 1, TOLVU_POSE_WHEEL1 = 6, TOLVU_POSE_LAST = 10 };

class TolvuCarModel : public VQVehicleModel {
 public:
  ~TolvuCarModel() override;

  // ---- Body operations (collision world).
  VQVector& GetVL100(VQVector& out) override;
  VQVector& GetOL100(VQVector& out) override;
  const VQMatrix* GetWorldMatrix() override;
  const VQMatrix* GetInverseWorldMatrix() override;
  VQVector& GetCentreOfGravity(VQVector& out) override;
  void ApplyForceAtPoint(const VQVector& force, const VQVector& point) override;
  void SetExternalTorque(const VQVector& torque) override;
  void AddExternalTorque(const VQVector& torque) override;
  VQVector& GetExternalTorque(VQVector& out) override;
  void SetExternalForce(const VQVector& force) override;
  void AddExternalForce(const VQVector& force) override;
  void Prepare(int bodyNumber, float time) override;
  void Step(int bodyNumber, float time, float dt) override;

  // Loads the store and places the car. modelFile null: dataFile is a store image read
  // whole; otherwise the library's text data files are read. False (engine error set, object
  // not initialised) when the library's sizes do not fit this class or the store image is
  // missing, short or unreadable: a car without its model data must not drive.
  bool Initialize(const char* modelFile, const char* dataFile, const VQVector& startPosition,
                  const VQVector& startAngles, VQGroundQuery groundQuery) override;
  void Uninitialize() override;
  // Back to the start placement with the stored initial state (reload: read the files again).
  // False when a reload cannot read the store image: the store is then zeroed and the car is
  // no longer initialised (never evaluated) until a reload succeeds.
  bool Reset(bool reload) override;
  void SetStartPlacement(const VQVector& position, const VQVector& angles) override;
  // Pose 1 into the body node, poses 6 to 9 into the wheel nodes, pose 10 into the last node
  // (engine axes, the pose mapping of GetPoseMatrix). Rotation and translation elements only:
  // the nodes keep their own elements 3, 7, 11 and 15.
  void GetTransforms(VQTransformNode* body, VQTransformNode* wheel1, VQTransformNode* wheel2,
                     VQTransformNode* wheel3, VQTransformNode* wheel4, VQTransformNode* last) override;
  bool IsInitialised() const { return m_initialised != 0; }

  // ---- Accessors and driver inputs (engine axes; scalar getters double, setters float).
  VQVector GetPosition() const override;
  void SetPosition(const VQVector& p) override;
  VQVector GetLastPosition() const override { return m_lastPosition; }
  // Only the heading angles.z counts.
  void SetOrientationAngles(const VQVector& angles) override;
  void GetOrientation(float out[4]) const override;
  void SetOrientation(const float in[4]) override;
  double GetSpeed() const override;
  VQVector GetVelocity() const override;
  void SetVelocity(const VQVector& v) override;
  VQVector GetLocalVelocity() const override { return Mapped(m_localVelocity); }
  VQVector GetAngularVelocity() const override { return Mapped(m_angularVelocity); }
  void SetAngularVelocity(const VQVector& w) override;
  VQVector GetAcceleration() const override { return Mapped(m_acceleration); }
  VQVector GetAngularAcceleration() const override { return Mapped(m_angularAcceleration); }
  double GetFuelMass() const override { return Value(m_fuelMass); }
  double GetCarMass() const override { return Value(m_carMass); }
  double GetTotalMass() const override { return 4.0 * Value(m_axleMass) + Value(m_fuelMass) + Value(m_carMass); }
  void AddFuel(float amount) override;
  // Wheels 0 to 3; any other wheel, or a variable the model lacks, gives 0.0.
  double GetWheelValueA(int wheel) const override;
  double GetWheelValueB(int wheel) const override;
  double GetWheelLoad(int wheel) const override;
  double GetEngineRpm() const override { return Value(m_engineRpm); }
  double GetSteering() const override { return Input(0); }
  double GetThrottle() const override { return Input(1); }
  double GetBrake() const override { return Input(2); }
  double GetClutch() const override { return Input(3); }
  // The car counts gears from 0; the model's input is that number minus 1.
  int GetGear() const override { return int(Input(4)) + 1; }
  void SetSteering(float v) override { SetInput(0, v); }
  void SetThrottle(float v) override { SetInput(1, v); }
  void SetBrake(float v) override { SetInput(2, v); }
  void SetClutch(float v) override { SetInput(3, v); }
  void SetGear(int gear) override { SetInput(4, double(gear) - 1.0); }
  void SetParkBrake(float v) override { SetInput(5, v); }

  // ---- Store access.
  uint32_t GetStoreSize() const { return m_capacity * 8; }  // fixed by the class
  double* GetStore() { return m_store; }
  void GetStateArrays(double** previous, double** derivatives, double** states);
  double* GetStates() { return m_store + m_variableCount; }
  // Pose 1 (the body) of the output block, built anew on every call.
  void GetBodyMatrix(VQMatrix& out) const { GetPoseMatrix(TOLVU_POSE_BODY, out); }
  // Any pose 1 to 10 of the output block (6 to 9 the wheels); false for another number.
  bool GetPoseMatrix(int pose, VQMatrix& out) const;
  void SaveStore();
  void RestoreStore();
  // The raw store image: storeLength little-endian doubles, no header. Read accepts only a
  // file of exactly that size; Write replaces the file once the new one is complete.
  bool WriteStoreFile(const char* name) const;
  bool ReadStoreFile(const char* name);

  uint32_t GetModelType() const { return m_modelType; }
  uint32_t GetVariableCount() const { return m_variableCount; }
  uint32_t GetStateCount() const { return m_stateCount; }
  uint32_t GetInertiaStateCount() const { return m_inertiaStateCount; }
  // 0-based store element of an input (0 steer .. 5 park brake).
  uint32_t InputElement(int input) const { return m_variableCount + 2 * m_stateCount + uint32_t(input); }

 protected:
  // The concrete class owns the three arrays (capacity doubles for the stores, states for the
  // previous derivatives).
  TolvuCarModel(uint32_t modelType, uint32_t variables, uint32_t states, double* store,
                double* backup, double* previousDerivatives, uint32_t capacity);

 private:
  static VQVector Mapped(const double* v) { return v ? TolvuFrame_ToEngine(v) : VQVector(0, 0, 0); }
  static void MapIn(double* v, const VQVector& e) {
    if (v) TolvuFrame_ToModel(e, v);
  }
  static double Value(const double* v) { return v ? *v : 0.0; }
  double Input(int i) const { return m_store[InputElement(i)]; }
  void SetInput(int i, double v) { m_store[InputElement(i)] = v; }
  double* Lookup(const char* name) const;
  double* StateCopy(double* variable) const;
  void Evaluate(int first, int mode, double time, bool asCurrent);
  bool Unstable(uint32_t i);

  uint32_t m_modelType;
  char* m_dataFile = nullptr;
  char* m_modelFile = nullptr;
  VQVector m_startPosition{0, 0, 0};
  VQVector m_startAngles{1, 0, 0};
  uint8_t m_initialised = 0;
  VQVector m_centreOfGravity{0, 0, 0};
  uint32_t m_variableCount;
  uint32_t m_stateCount;
  uint32_t m_storeLength = 0;
  uint32_t m_inertiaStateCount = 0;
  double* m_store;
  double* m_backupStore;
  double* m_previousDerivatives;
  uint32_t m_capacity;

  double* m_position = nullptr;
  double* m_orientation = nullptr;
  double* m_velocity = nullptr;
  double* m_acceleration = nullptr;
  double* m_localVelocity = nullptr;
  double* m_angularVelocity = nullptr;
  double* m_angularAcceleration = nullptr;
  double* m_positionState = nullptr;
  double* m_orientationState = nullptr;
  double* m_velocityState = nullptr;
  double* m_angularVelocityState = nullptr;
  double* m_engineRpm = nullptr;
  double* m_wheelLoad[4] = {};
  double* m_wheelValueA[4] = {};
  double* m_wheelValueB[4] = {};
  double* m_carMass = nullptr;
  double* m_fuelMass = nullptr;
  double* m_axleMass = nullptr;
  double* m_externalForce = nullptr;
  double* m_externalTorque = nullptr;

  uint8_t m_worldMatrixValid = 0;
  VQMatrix m_worldMatrix;
  uint8_t m_inverseValid = 0;
  VQMatrix m_inverseWorldMatrix;
  VQVector m_lastPosition{0, 0, 0};
};

class TolvuCarModel2 : public TolvuCarModel {
 public:
  static constexpr uint32_t kVariables = 2523, kStates = 47, kStoreLength = 2743;
  TolvuCarModel2()
      : TolvuCarModel(2, kVariables, kStates, m_storeData, m_backupData, m_previousData,
                      kStoreLength) {}
  bool IsFullRate() override { return true; }

 private:
  double m_storeData[kStoreLength] = {};
  double m_backupData[kStoreLength] = {};
  double m_previousData[kStates] = {};
};

class TolvuCarModel1 : public TolvuCarModel {
 public:
  static constexpr uint32_t kVariables = 1799, kStates = 19, kStoreLength = 1963;
  TolvuCarModel1()
      : TolvuCarModel(1, kVariables, kStates, m_storeData, m_backupData, m_previousData,
                      kStoreLength) {}
  bool IsFullRate() override { return false; }

 private:
  double m_storeData[kStoreLength] = {};
  double m_backupData[kStoreLength] = {};
  double m_previousData[kStates] = {};
};
