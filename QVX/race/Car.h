// The visible, audible body of one race participant. A Car clones its class's scene model,
// finds the model's named nodes, adds tyre smoke, engine smoke and spray emitters, head-light
// glows, a wet-road reflection and three sounds (engine, road noise, horn), and owns the
// vehicle model that drives it (TolvuCarModel2 "CAR_2" for a human driver, TolvuCarModel1
// "CAR_1" for computer and remote drivers). Every frame Update copies the vehicle model's pose
// into the scene nodes, shifts gears for the automatic gearbox and drives effects, sounds and
// shading from the model's state.
//
// Use: Create (from a CarCatalog, on a CarEnvironment), Attach (joins the environment's scene,
// collision world and tracker), per frame the Set* controls and Update, Detach, Release (or
// the destructor).
//
// Scene model node names: "g_body" (group), "x_body" (body transform), "m_body" (body geoset),
// "x_whl_lf", "x_whl_rf", "x_whl_lr", "x_whl_rr" (wheel transforms) must exist; "x_engine"
// (engine transform), "m_brakes" (brake lights), "m_shadow" (shadow geoset), "m_light_lf" and
// "m_light_rf*" (head lights) are optional: a car without them drives as well.
//
// Gears: index 0 reverse, 1 neutral, 2 first gear .. gear count + 1 top gear; the index goes
// unchanged to the vehicle model's gear input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Zentri/math/VQColor.h"
#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

class CarCatalog;
class CarEnvironment;
struct CarClassInfo;
class Player;
class TolvuCarModel;
class VQNode;
class VQGroupNode;
class VQTransformNode;
class VQGeosetNode;
class VQCallbackNode;
class VQSoundSourceNode;
class VQSoundBuffer;
class VQParticleSystem;
class VQTexture;

// How to make a car.
struct CarSetup {
  bool computer = false;          // computer or remote driver: the simpler "mid" model
  VQVector position{0, 0, 0};     // start position (engine axes)
  VQVector angles{0, 0, 0};       // start angles; angles.z the heading (0 faces +y)
  const char* carName = nullptr;  // the class name in the catalog
  VQTexture* paint = nullptr;     // body texture (skin); null keeps the model's own
  VQTexture* wheels = nullptr;    // wheel texture; null keeps the model's own
  int32_t number = 1;             // race number
  uint32_t detail = 2;            // scene detail 0..2
  bool horn = true;               // horn sound (human and remote drivers)
  bool manual = false;            // manual gearbox (no automatic shifting)
};

enum CarWheel : int { CAR_WHEEL_LF = 0, CAR_WHEEL_RF = 1, CAR_WHEEL_LR = 2, CAR_WHEEL_RR = 3 };
enum CarGear : int32_t { CAR_GEAR_REVERSE = 0, CAR_GEAR_NEUTRAL = 1, CAR_GEAR_FIRST = 2 };

class Car {
 public:
  Car();
  ~Car();  // Release(true) when created
  Car(const Car&) = delete;
  Car& operator=(const Car&) = delete;

  // Builds the car. False, with the reason in GetError() (and Program::Error when a Program
  // exists), when the class is unknown, its scene model cannot be loaded or lacks a required
  // node, or its model data file does not exist or cannot be read ("TOLVU model file '%s' does
  // not exist"). A second call on a created car does nothing and returns true.
  bool Create(CarCatalog* catalog, CarEnvironment* environment, const CarSetup& setup);
  // Frees everything Create made; the shadow node too when asked. The car must be detached.
  void Release(bool destroyShadowNode);
  bool IsCreated() const { return m_created != 0; }
  const std::string& GetError() const { return m_error; }

  // Joins / leaves the environment (scene group, collision world, tracker). Attach returns
  // the environment's answer.
  bool Attach();
  void Detach();
  bool IsAttached() const { return m_attached != 0; }

  // One frame: automatic gearbox, frozen blips, pose, effects, sounds, shading. raceTime is
  // the race clock (the gearbox's shift times).
  void Update(float dt, float raceTime);
  // Back to the start placement (or the last SetStartPlacement of the vehicle model).
  void Reset();
  void UpdateTransforms();

  // ---- Driver controls (vehicle model inputs).
  void SetSteering(float v);  // -1 full left .. +1 full right (steering wheel radians)
  float GetSteering() const;
  void SetThrottle(float v);
  float GetThrottle() const;
  // With brake lights, "m_brakes" shows from 0.1 on.
  void SetBrake(float v);
  float GetBrake() const;
  void SetClutch(float v);  // 1 engaged, 0 open
  float GetClutch() const;
  void SetParkBrake(float v);
  // Ignored outside 0 .. gear count + 1.
  void SelectGear(int32_t index);
  // Ignored for 0 and when the result leaves 0 .. gear count + 1.
  void ShiftGear(int32_t delta);
  int32_t GetGear() const { return m_gear; }
  int32_t GetGearCount() const { return m_gearCount; }
  void SetManualGearbox(bool manual) { m_manual = manual ? 1 : 0; }
  bool IsManualGearbox() const { return m_manual != 0; }

  // ---- Lights, horn, sounds, effects.
  void SetHeadLights(bool on);
  void ToggleHeadLights();
  bool AreHeadLightsOn() const { return m_lightsOn != 0; }
  bool HasHeadLights() const { return m_hasLights != 0; }
  bool HasBrakeLights() const { return m_hasBrakeLights != 0; }
  bool AreBrakeLightsOn() const;
  void SetHorn(bool on);
  bool IsHornOn() const;
  void SetHornVolume(float v);
  void EnableSounds();
  void DisableSounds();
  void SetEngineSmoke(bool on);
  void ClearEffects();
  void ShowReflection(bool on);
  // Every "m_body" material gets the alpha (translucent blending below 1.0).
  void SetBodyAlpha(float alpha);

  // ---- Placement and state.
  VQVector GetReferencePosition() const { return m_referencePosition; }
  void GetPositions(VQVector* reference, VQVector* reset) const;
  void HoldPosition(bool on);
  void SetFrozen(bool on) { m_frozen = on ? 1 : 0; }
  bool IsFrozen() const { return m_frozen != 0; }
  // The wheel transform's matrix (wheel 0..3: lf, rf, lr, rr); null for other indices.
  const VQMatrix* GetWheelNodeMatrix(int wheel) const;
  const VQMatrix* GetBodyMatrix() const;
  VQVector GetPosition() const;  // the body's position (vehicle model)
  VQVector GetVelocity() const;
  float GetSpeed() const;  // m/s
  float GetEngineRpm() const;
  // Up axis z component of the body (1 upright, -1 on its roof).
  float GetUpAxisZ() const;
  TolvuCarModel* GetModel() const { return m_model; }
  VQNode* GetRoot() const { return m_root; }
  VQNode* FindNode(const char* name) const;
  const CarClassInfo* GetClass() const { return m_class; }
  uint32_t GetClassIndex() const { return m_classIndex; }
  bool IsComputer() const { return m_computer != 0; }
  CarEnvironment* GetEnvironment() const { return m_environment; }

  // ---- What the last Update made of the state (for HUDs, tests and tools).
  float GetTyreSmokeRate(int wheel) const;  // particles per second, 0..3
  float GetEngineSmokeRate() const;
  float GetSprayRate() const;
  float GetEnginePitch() const { return m_enginePitch; }  // playback speed factor
  float GetEngineGain() const { return m_engineGain; }
  float GetRoadGain() const { return m_roadGain; }
  float GetWheelSlip(int wheel) const {
    return wheel >= 0 && wheel < 4 ? m_wheelSlip[wheel] : 0.0f;
  }
  float GetSprayFactor() const { return m_sprayFactor; }

  Player* m_owner = nullptr;  // set by the owner after creation
  // Engine-smoke emission weight per rpm direction (from the class record).
  uint32_t m_trackerEntry = 0;  // the environment's own use

 private:
  void ClearFields();
  bool Fail(const char* format, ...);
  VQParticleSystem* MakeEmitter(const char* name, const VQVector& at, VQNode* parent,
                                VQNode** effectNode);
  void MakeSounds();
  void MakeReflection();
  void UpdateGearbox(float raceTime);
  void UpdateWheel(int wheel, float effectGain, const VQVector& velocity, float* pitch,
                   float* gain);
  void ReleaseSound(VQSoundSourceNode*& node, VQSoundBuffer*& buffer);
  static bool GlowCallback(VQCallbackNode* node, uintptr_t user);

  CarCatalog* m_catalog = nullptr;
  CarEnvironment* m_environment = nullptr;
  CarClassInfo* m_class = nullptr;
  uint32_t m_detail = 2;
  uint32_t m_classIndex = 0;
  uint8_t m_computer = 0;
  std::string m_error;

  // Scene nodes (the root owned, the rest inside it).
  VQNode* m_root = nullptr;
  VQNode* m_bodyGroup = nullptr;
  VQGeosetNode* m_bodyGeoset = nullptr;
  VQTransformNode* m_bodyTransform = nullptr;
  VQTransformNode* m_wheels[4] = {};
  VQTransformNode* m_engine = nullptr;
  VQNode* m_brakes = nullptr;
  VQGeosetNode* m_shadow = nullptr;
  VQNode* m_lights[2] = {};
  VQCallbackNode* m_glows[2] = {};
  VQGroupNode* m_reflectGroup = nullptr;
  VQTransformNode* m_reflectTransform = nullptr;
  VQGeosetNode* m_reflectGeoset = nullptr;

  // Sounds.
  VQSoundSourceNode* m_engineNode = nullptr;
  VQSoundBuffer* m_engineSound = nullptr;
  VQSoundSourceNode* m_roadNode = nullptr;
  VQSoundBuffer* m_roadSound = nullptr;
  VQSoundSourceNode* m_hornNode = nullptr;
  VQSoundBuffer* m_hornSound = nullptr;
  float m_pitch[2] = {0.6f, 1.8f};
  float m_slipTuning[4] = {0.2f, 1.0f, 0.8f, 1.2f};
  float m_engineGainBase = 1.0f;
  float m_roadGainBase = 0.6f;

  float m_wheelPoints[4][3] = {};
  TolvuCarModel* m_model = nullptr;
  uint8_t m_manual = 0;
  VQVector m_resetPosition{0, 0, 0};
  VQVector m_referencePosition{0, 0, 0};
  VQVector m_startAngles{0, 0, 0};

  // Tyre smoke, engine smoke and spray tuning.
  float m_smokeGain = 1.0f, m_smokeThreshold = 1.0f, m_smokeEmission = 4.0f,
        m_smokeVelocityFactor = 0.5f;
  VQVector m_smokeVelocityOffset{0, 0, 0};
  float m_engineSmokeEmission = 4.0f, m_engineSmokeVelocityFactor = 0.5f;
  VQVector m_engineSmokeOffset{0, 0, 0}, m_engineSmokeWeight{0, 0, 0},
      m_engineSmokePosition{0, 0, 0};
  float m_sprayVelocityFactor = 0.0f, m_sprayHeightWeight = 0.0f, m_sprayHeightOffset = 0.0f,
        m_sprayCeiling = 0.0f;
  VQVector m_sprayOffset{0, 0, 0};

  uint8_t m_lightsOn = 0, m_parkBrake = 1, m_hasLights = 0, m_hasBrakeLights = 0, m_hasHorn = 0;
  uint8_t m_attached = 0;
  uint8_t m_engineSmokeOn = 1;
  int32_t m_gearCount = 5;
  int32_t m_gear = CAR_GEAR_NEUTRAL;
  float m_lastShift = 0.0f;
  float m_shiftInterval = 0.1f;
  uint8_t m_frozen = 0;
  uint32_t m_frozenFrames = 0;
  uint32_t m_blipCounter = 0;
  uint8_t m_hold = 0;
  float m_holdX = 0.0f, m_holdY = 0.0f;
  float m_sprayFactor = 0.0f;
  VQVector m_previousPosition{0, 0, 0};

  VQParticleSystem* m_tyreSmoke[4] = {};
  VQParticleSystem* m_engineSmoke = nullptr;
  VQParticleSystem* m_spray = nullptr;

  // The body materials' own diffuse colours, which the shading scales.
  std::vector<VQColor> m_bodyColours;

  // State of the last Update.
  float m_enginePitch = 1.0f, m_engineGain = 0.0f, m_roadGain = 0.0f;
  float m_wheelSlip[4] = {};

  uint8_t m_created = 0;
};

// The automatic gearbox's decision for one frame, apart from the car (tests and tools use it).
struct CarGearboxInput {
  int32_t gear;  // current index
  int32_t gearCount;
  float throttle, brake, rpm, speed;
  float now, lastShift, interval;
};
struct CarGearboxOutput {
  int32_t gear;  // new index (unchanged when no shift)
  bool shifted;
  float clutch;      // clutch to set
  bool throttleCut;  // throttle forced to 0
  float interval;    // blocking interval after this frame's shift
};
CarGearboxOutput CarGearbox_Decide(const CarGearboxInput& in);
