#include "Zentri/vehicle/TolvuCarModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQlog.h"
#include "model/include/tolvu.h"

namespace {

// A state whose magnitude exceeds this (or that is not a number) makes the car unstable.
constexpr double kInstability = 1e10;

// The library's ground callback: the context is the model evaluated (null: none).
void GroundOfModel(void* context, double out[8], const double point[3], const double* aux, double wheel) {
  TolvuCarModel_EarthData(static_cast<TolvuCarModel*>(context), out, point, aux, wheel);
}

}  // namespace

void TolvuCarModel_EarthData(TolvuCarModel* model, double out[8], const double point[3], const double*,
                             double wheel) {
  const bool wheelOk = wheel >= 1.0 && wheel < 5.0;
  // Flat ground also for a model without a ground query: leaving out[] unwritten would hand
  // the equations whatever the caller's array held.
  if (!model || !wheelOk || !model->m_groundQuery) {
    out[0] = point[0];
    out[1] = point[1];
    out[2] = 0.0;
    out[3] = 0.0;
    out[4] = 0.0;
    out[5] = -1.0;
    out[6] = 1.0;
    out[7] = 0.0001;
    return;
  }
  const int w = int(wheel) - 1;
  VQVector q = TolvuFrame_ToEngine(point);
  q.z = 0.0f;
  out[0] = point[0];
  out[1] = point[1];
  VQVector normal(0, 0, 1);
  float dry = 1.0f, wet = 1.0f, coefficient = 0.001f, raw = 0.0f;
  uint32_t material = 0, hint = model->m_wheelHint[w];
  const float h = model->m_groundQuery(&q, &normal, &dry, &wet, &coefficient, &raw, &material, &hint);
  out[2] = -double(h);
  TolvuFrame_ToModel(normal, out + 3);
  out[6] = double(dry) + (double(wet) - dry) * model->m_wetness;
  out[7] = coefficient;
  model->m_wheelContact[w].Set(q.x, q.y, h);
  model->m_wheelGroundHeight[w] = raw;
  model->m_wheelMaterial[w] = material;
  model->m_wheelHint[w] = hint;
}

bool TolvuCarModel_WriteDefaultStoreFile(int modelType, const char* fileName) {
  if (!fileName) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const int length = tolvu_GetModelDefinitionSize(modelType);
  if (length <= 0) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::vector<double> store(size_t(length), 0.0);
  if (!tolvu_InitializeModel(modelType, store.data(), length, " "))
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  // No car of the race: the ground of the first call is the library's own (or the program's
  // registered function); the engine registers none.
  tolvu_CallModel(modelType, 1, 0, 0.0, store.data(), length);
  std::vector<uint8_t> bytes(store.size() * 8);
  for (size_t i = 0; i < store.size(); ++i) {
    uint64_t v;
    std::memcpy(&v, &store[i], 8);
    for (int b = 0; b < 8; ++b) bytes[8 * i + b] = uint8_t(v >> (8 * b));
  }
  return vqfileio::WriteWholeFile(fileName, bytes.data(), bytes.size());
}

TolvuCarModel::TolvuCarModel(uint32_t modelType, uint32_t variables, uint32_t states,
                             double* store, double* backup, double* previousDerivatives,
                             uint32_t capacity)
    : m_modelType(modelType),
      m_variableCount(variables),
      m_stateCount(states),
      m_store(store),
      m_backupStore(backup),
      m_previousDerivatives(previousDerivatives),
      m_capacity(capacity) {
  m_enabled = 1;
  m_collidable = 1;
}

TolvuCarModel::~TolvuCarModel() {
  Uninitialize();
}

void TolvuCarModel::Uninitialize() {
  std::free(m_dataFile);
  std::free(m_modelFile);
  m_dataFile = nullptr;
  m_modelFile = nullptr;
  m_initialised = 0;
}

double* TolvuCarModel::Lookup(const char* name) const {
  const int k = tolvu_GetVarIndex(int(m_modelType), name);
  return k >= 1 && uint32_t(k) <= m_variableCount ? m_store + (k - 1) : nullptr;
}

double* TolvuCarModel::StateCopy(double* variable) const {
  if (!variable) return nullptr;
  const size_t i = size_t(variable - m_store);
  return i < m_stateCount ? m_store + m_variableCount + i : nullptr;
}

bool TolvuCarModel::Initialize(const char* modelFile, const char* dataFile,
                               const VQVector& startPosition, const VQVector& startAngles,
                               VQGroundQuery groundQuery) {
  Uninitialize();
  const int type = int(m_modelType);
  const int length = tolvu_GetModelDefinitionSize(type);
  const int inertia = tolvu_GetNumberOfInertiaStates(type);
  // The arrays of this class are sized for its model; a library reporting other sizes would
  // make every block address wrong.
  if (length != int(m_capacity) || tolvu_GetNumberOfStates(type) != int(m_stateCount) ||
      inertia < 0 || uint32_t(inertia) > m_stateCount ||
      uint32_t(length) < m_variableCount + 2 * m_stateCount + 6 + 120)
    return VQerror_Fail(VQERR_NOT_SUPPORTED);
  if (!dataFile) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  m_dataFile = VQstrdup(dataFile);
  m_modelFile = VQstrdup(modelFile);
  if (!m_dataFile || (modelFile && !m_modelFile)) {
    Uninitialize();  // the copy that failed left the out-of-memory code
    return false;
  }
  m_storeLength = uint32_t(length);
  m_inertiaStateCount = uint32_t(inertia);

  m_position = Lookup("RG100(1)");
  m_orientation = Lookup("EUL100(1)");
  m_velocity = Lookup("VG100(1)");
  m_acceleration = Lookup("AG100(1)");
  m_localVelocity = Lookup("VL100(1)");
  m_angularVelocity = Lookup("OL100(1)");
  m_angularAcceleration = Lookup("DL100(1)");
  m_positionState = StateCopy(m_position);
  m_orientationState = StateCopy(m_orientation);
  m_velocityState = StateCopy(m_velocity);
  m_angularVelocityState = StateCopy(m_angularVelocity);
  m_engineRpm = Lookup("RPM1600");
  const bool car2 = m_modelType == 2;
  for (int w = 0; w < 4; ++w) {
    char name[16];
    std::snprintf(name, sizeof name, "FZ_DL2%d00", w + 1);
    m_wheelLoad[w] = Lookup(name);
    std::snprintf(name, sizeof name, car2 ? "KPD2%d00" : "FX_DL2%d00", w + 1);
    m_wheelValueA[w] = Lookup(name);
    std::snprintf(name, sizeof name, car2 ? "ALPD2%d00" : "FY_DL2%d00", w + 1);
    m_wheelValueB[w] = Lookup(name);
  }
  m_carMass = Lookup("M_CAR");
  m_fuelMass = Lookup("M_FUEL");
  m_axleMass = Lookup("M_AXLE");
  m_externalForce = Lookup("F_CLN100");
  m_externalTorque = Lookup("T_CLN100");

  m_startPosition = startPosition;
  m_startAngles = startAngles;
  m_worldMatrixValid = 0;
  m_inverseValid = 0;
  m_body.worldCentresValid = 0;
  m_groundQuery = groundQuery;

  if (!Reset(true)) {
    const int32_t code = g_VQerror;
    Uninitialize();
    return VQerror_Fail(code);
  }
  m_initialised = 1;
  return true;
}

void TolvuCarModel::SetStartPlacement(const VQVector& position, const VQVector& angles) {
  m_startPosition = position;
  m_startAngles = angles;
}

void TolvuCarModel::Evaluate(int first, int mode, double time, bool asCurrent) {
  tolvu_CallModelWithGround(int(m_modelType), first, mode, time, m_store, int(m_storeLength), GroundOfModel,
                            asCurrent ? this : nullptr);
}

bool TolvuCarModel::Reset(bool reload) {
  if (m_storeLength == 0) return VQerror_Fail(VQERR_NOT_OPEN);
  const int type = int(m_modelType);
  const uint32_t V = m_variableCount, S = m_stateCount;
  std::memset(m_store, 0, sizeof(double) * (V + 2 * S));
  std::memset(m_previousDerivatives, 0, sizeof(double) * S);

  bool loaded = true;
  if (reload && !m_modelFile) {
    loaded = ReadStoreFile(m_dataFile);
    if (loaded) SaveStore();
  } else if (reload) {
    tolvu_InitializeModel(type, m_store, int(m_storeLength), m_modelFile);
    Evaluate(1, 0, 0.0, false);
    tolvu_InitializeData(type, m_store, int(m_storeLength), m_dataFile);
    SaveStore();
  } else {
    RestoreStore();
  }
  if (!loaded) {
    // Leave nothing half-read behind: a zeroed store, which is no longer evaluated.
    std::memset(m_store, 0, sizeof(double) * m_storeLength);
    m_initialised = 0;
    return false;
  }
  if (reload && m_dataFile) m_initialised = 1;

  m_presetTorque.Set(0, 0, 0);
  m_presetForce.Set(0, 0, 0);
  m_worldMatrixValid = 0;
  m_inverseValid = 0;
  m_body.worldCentresValid = 0;

  const int k = tolvu_GetVarIndex(type, "X_COG(1)");
  if (k >= 1 && uint32_t(k) + 2 <= m_variableCount)
    m_centreOfGravity = TolvuFrame_ToEngine(&m_store[k - 1]);
  else
    m_centreOfGravity.Set(0, 0, 0);
  VQVector offset = m_centreOfGravity;
  if (IsFullRate()) {
    offset.x *= 2.0f;
    offset.y *= 2.0f;
  }
  VQMatrix rotation;
  rotation.MakeRotation(m_startAngles);
  VQVector position;
  rotation.TransformPoint(position, offset);
  position = m_startPosition + position;
  SetPosition(position);
  SetOrientationAngles(m_startAngles);
  m_lastPosition = position;

  Evaluate(1, 0, 0.0, false);

  VQMatrix body;
  GetBodyMatrix(body);
  for (uint32_t i = 0; i < m_body.sphereCount; ++i)
    body.TransformPoint(m_body.previousWorldCentres[i], m_body.localCentres[i]);
  m_body.trackContactBits = 0;
  m_body.bodyContactBits = 0;
  for (int w = 0; w < 4; ++w) {
    m_wheelMaterial[w] = 0;
    m_wheelContact[w].Set(0, 0, 0);
    m_wheelHint[w] = 0;
  }
  return true;
}

// ---------------------------------------------------------------- stepping

// A car whose initialisation failed holds no model data (a zeroed store): it is never
// evaluated, so it neither moves nor turns unstable.
void TolvuCarModel::Prepare(int, float time) {
  if (!m_enabled || !m_initialised) return;
  m_lastPosition = GetPosition();
  std::memcpy(m_previousDerivatives, m_store + m_variableCount + m_stateCount,
              sizeof(double) * m_stateCount);
  Evaluate(0, 1, double(time), true);
  m_worldMatrixValid = 0;
  m_inverseValid = 0;
  m_body.worldCentresValid = 0;
}

bool TolvuCarModel::Unstable(uint32_t i) {
  const double x = m_store[m_variableCount + i];
  // Written so that a NaN counts as unstable too.
  if (std::fabs(x) <= kInstability) return false;
  VQlog_Printf(1, "Instab. in model car : %d, state %d\n", int(m_modelType), int(i + 1));
  Reset(false);
  return true;
}

void TolvuCarModel::Step(int, float time, float dt) {
  if (!m_enabled || !m_initialised) return;
  const uint32_t V = m_variableCount, S = m_stateCount, N = m_inertiaStateCount;
  double* x = m_store + V;
  const double* f = m_store + V + S;
  const double* fp = m_previousDerivatives;
  const double h = double(dt) * 0.5;

  Evaluate(0, 2, double(time), true);
  for (uint32_t i = 0; i < N; ++i) {
    if (Unstable(i)) return;
    x[i] = x[i] + (3.0 * f[i] - fp[i]) * h;
  }
  Evaluate(0, 1, double(time), true);
  for (uint32_t i = N; i < S; ++i) {
    if (Unstable(i)) return;
    x[i] = x[i] + (3.0 * f[i] - fp[i]) * h;
  }
  m_worldMatrixValid = 0;
  m_inverseValid = 0;
  if (m_postStepCallback) m_postStepCallback(this, dt, m_postStepUserData);
}

// ---------------------------------------------------------------- poses and forces

bool TolvuCarModel::GetPoseMatrix(int pose, VQMatrix& m) const {
  if (pose < 1 || pose > 10 || !m_storeLength) return false;
  const double* p = m_store + m_variableCount + 2 * m_stateCount + 6 + 12 * (pose - 1);
  const double* r = p + 3;
  m.m[0] = float(r[4]);
  m.m[1] = float(r[3]);
  m.m[2] = float(-r[5]);
  m.m[4] = float(r[1]);
  m.m[5] = float(r[0]);
  m.m[6] = float(-r[2]);
  m.m[8] = float(-r[7]);
  m.m[9] = float(-r[6]);
  m.m[10] = float(r[8]);
  const VQVector t = TolvuFrame_ToEngine(p);
  m.m[12] = t.x;
  m.m[13] = t.y;
  m.m[14] = t.z;
  return true;
}

void TolvuCarModel::GetTransforms(VQTransformNode* body, VQTransformNode* wheel1,
                                  VQTransformNode* wheel2, VQTransformNode* wheel3,
                                  VQTransformNode* wheel4, VQTransformNode* last) {
  if (!m_enabled || !m_storeLength) return;
  VQTransformNode* const nodes[6] = {body, wheel1, wheel2, wheel3, wheel4, last};
  const int poses[6] = {TOLVU_POSE_BODY, TOLVU_POSE_WHEEL1, TOLVU_POSE_WHEEL1 + 1,
                        TOLVU_POSE_WHEEL1 + 2, TOLVU_POSE_WHEEL1 + 3, TOLVU_POSE_LAST};
  for (int i = 0; i < 6; ++i)
    if (nodes[i]) GetPoseMatrix(poses[i], nodes[i]->m_matrix);
}

const VQMatrix* TolvuCarModel::GetWorldMatrix() {
  if (!m_worldMatrixValid) {
    GetPoseMatrix(TOLVU_POSE_BODY, m_worldMatrix);
    m_worldMatrixValid = 1;
  }
  return &m_worldMatrix;
}

const VQMatrix* TolvuCarModel::GetInverseWorldMatrix() {
  if (!m_inverseValid) {
    GetWorldMatrix()->GetRigidInverse(m_inverseWorldMatrix);
    m_inverseValid = 1;
  }
  return &m_inverseWorldMatrix;
}

VQVector& TolvuCarModel::GetVL100(VQVector& out) { return out = Mapped(m_localVelocity); }
VQVector& TolvuCarModel::GetOL100(VQVector& out) { return out = Mapped(m_angularVelocity); }
VQVector& TolvuCarModel::GetCentreOfGravity(VQVector& out) { return out = m_centreOfGravity; }

void TolvuCarModel::ApplyForceAtPoint(const VQVector& force, const VQVector& point) {
  const VQVector r = point - m_centreOfGravity;
  AddExternalForce(force);
  VQVector t;
  r.Cross(force, t);
  AddExternalTorque(t);
}

void TolvuCarModel::SetExternalTorque(const VQVector& t) { MapIn(m_externalTorque, t); }
void TolvuCarModel::AddExternalTorque(const VQVector& t) {
  if (!m_externalTorque) return;
  double m[3];
  TolvuFrame_ToModel(t, m);
  for (int k = 0; k < 3; ++k) m_externalTorque[k] += m[k];
}
VQVector& TolvuCarModel::GetExternalTorque(VQVector& out) { return out = Mapped(m_externalTorque); }
void TolvuCarModel::SetExternalForce(const VQVector& f) { MapIn(m_externalForce, f); }
void TolvuCarModel::AddExternalForce(const VQVector& f) {
  if (!m_externalForce) return;
  double m[3];
  TolvuFrame_ToModel(f, m);
  for (int k = 0; k < 3; ++k) m_externalForce[k] += m[k];
}

// ---------------------------------------------------------------- accessors

VQVector TolvuCarModel::GetPosition() const { return Mapped(m_position); }

void TolvuCarModel::SetPosition(const VQVector& p) {
  MapIn(m_position, p);
  MapIn(m_positionState, p);
}

void TolvuCarModel::SetOrientationAngles(const VQVector& angles) {
  const double half = -0.5 * double(angles.z);
  const double e[4] = {std::cos(half), 0.0, 0.0, std::sin(half)};
  for (int i = 0; i < 4; ++i) {
    if (m_orientation) m_orientation[i] = e[i];
    if (m_orientationState) m_orientationState[i] = e[i];
  }
}

void TolvuCarModel::GetOrientation(float out[4]) const {
  for (int i = 0; i < 4; ++i) out[i] = m_orientation ? float(m_orientation[i]) : 0.0f;
}

void TolvuCarModel::SetOrientation(const float in[4]) {
  for (int i = 0; i < 4; ++i) {
    if (m_orientation) m_orientation[i] = in[i];
    if (m_orientationState) m_orientationState[i] = in[i];
  }
}

double TolvuCarModel::GetSpeed() const {
  if (!m_velocity) return 0.0;
  return std::sqrt(m_velocity[0] * m_velocity[0] + m_velocity[1] * m_velocity[1] +
                   m_velocity[2] * m_velocity[2]);
}

VQVector TolvuCarModel::GetVelocity() const { return Mapped(m_velocity); }

void TolvuCarModel::SetVelocity(const VQVector& v) {
  MapIn(m_velocity, v);
  MapIn(m_velocityState, v);
}

void TolvuCarModel::SetAngularVelocity(const VQVector& w) {
  MapIn(m_angularVelocity, w);
  MapIn(m_angularVelocityState, w);
}

void TolvuCarModel::AddFuel(float amount) {
  if (!m_fuelMass) return;
  const double v = *m_fuelMass + amount;
  *m_fuelMass = v < 0.0 ? 0.0 : v;
}

double TolvuCarModel::GetWheelValueA(int w) const { return w >= 0 && w < 4 ? Value(m_wheelValueA[w]) : 0.0; }
double TolvuCarModel::GetWheelValueB(int w) const { return w >= 0 && w < 4 ? Value(m_wheelValueB[w]) : 0.0; }
double TolvuCarModel::GetWheelLoad(int w) const { return w >= 0 && w < 4 ? Value(m_wheelLoad[w]) : 0.0; }

// ---------------------------------------------------------------- store

void TolvuCarModel::GetStateArrays(double** previous, double** derivatives, double** states) {
  if (previous) *previous = m_previousDerivatives;
  if (derivatives) *derivatives = m_store + m_variableCount + m_stateCount;
  if (states) *states = m_store + m_variableCount;
}

void TolvuCarModel::SaveStore() { std::memcpy(m_backupStore, m_store, sizeof(double) * m_capacity); }
void TolvuCarModel::RestoreStore() { std::memcpy(m_store, m_backupStore, sizeof(double) * m_capacity); }

bool TolvuCarModel::WriteStoreFile(const char* name) const {
  if (!name || !m_storeLength) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::vector<uint8_t> bytes(size_t(m_storeLength) * 8);
  for (uint32_t i = 0; i < m_storeLength; ++i) {
    uint64_t v;
    std::memcpy(&v, &m_store[i], 8);
    for (int b = 0; b < 8; ++b) bytes[8 * i + b] = uint8_t(v >> (8 * b));
  }
  return vqfileio::WriteWholeFile(name, bytes.data(), bytes.size());
}

bool TolvuCarModel::ReadStoreFile(const char* name) {
  if (!name || !m_storeLength) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  FILE* f = VQfile_Open(name, "rb");
  if (!f) return VQerror_Fail(VQERR_OPEN_INPUT);
  std::vector<uint8_t> bytes(size_t(m_storeLength) * 8 + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  // Exactly the store: a short image would leave variables unset, a longer one is another model.
  if (got != size_t(m_storeLength) * 8) return VQerror_Fail(VQERR_FILE_TYPE);
  for (uint32_t i = 0; i < m_storeLength; ++i) {
    uint64_t v = 0;
    for (int b = 0; b < 8; ++b) v |= uint64_t(bytes[8 * i + b]) << (8 * b);
    std::memcpy(&m_store[i], &v, 8);
  }
  return true;
}
