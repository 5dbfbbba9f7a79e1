// A race camera moves one engine camera during a race: fixed at a point and zooming on a target
// (mode 1), rigidly attached to a target (mode 2: in-car, bumper, helicopter views), or chasing
// it on a leash of fixed length that swings behind the target as it turns (mode 3). A player
// view binds its engine camera, sets target and mode from a camera record, calls Apply when the
// record is chosen and Update once per frame.
//
// The target is followed through the nearest transform node at or above the target node.
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

class VQCamera;
class VQNode;

enum RaceCameraMode : uint32_t {
  RACECAMERA_FIXED = 1,
  RACECAMERA_ATTACHED = 2,
  RACECAMERA_CHASE = 3
};

class RaceCamera {
 public:
  RaceCamera() = default;

  void SetMode(uint32_t mode) { m_mode = mode; }
  uint32_t GetMode() const { return m_mode; }
  void SetEnabled(bool on) { m_enabled = on ? 1 : 0; }
  // Near and far clip, applied by Apply (near only when above 0, far only when above near).
  void SetClipRange(float nearClip, float farClip);
  void SetCameraVector(const VQVector& v);
  // Binds the engine camera (not owned); its view width becomes the base width.
  void BindCamera(VQCamera* camera);
  VQCamera* GetCamera() const { return m_camera; }
  void SetTarget(VQNode* node) { m_target = node; }
  VQNode* GetTarget() const { return m_target; }
  void SetPosition(const VQVector& v) { m_position = v; }  // modes 1 and 3
  // Horizontal field of view in degrees; the base width follows.
  void SetFieldOfView(float degrees);
  void SetChaseOffset(const VQVector& v) { m_chaseOffset = v; }  // mode 3, target axes
  void SetTargetPoint(const VQVector& v) { m_targetPoint = v; }  // target's own space
  void SetWord(uint32_t w) { m_word = w; }
  void SetRelativeMatrix(const VQMatrix& m) { m_relative = m; }  // mode 2, target space
  void SetZoom(float initial, float final, float speed) {
    m_initialZoom = initial;
    m_finalZoom = final;
    m_zoomSpeed = speed;
  }
  void SetChaseFactor(float f) { m_chaseFactor = f; }
  void SetYawOffset(float radians) { m_yawOffset = radians; }

  // Puts the bound camera into the mode's starting state.
  void Apply();
  // One frame (only with a bound camera and enabled). lookBack turns the view around.
  void Update(float dt, bool lookBack);

  float GetZoom() const { return m_zoom; }
  VQVector GetChasePoint() const { return m_chasePoint; }

 private:
  // The nearest transform at or above the target; null without one.
  VQNode* TargetTransform() const;
  void SetZoomFactor();

  uint32_t m_mode = RACECAMERA_ATTACHED;
  uint32_t m_enabled = 1;
  VQCamera* m_camera = nullptr;
  float m_near = 1.0f;
  float m_far = 1000.0f;
  VQVector m_vector{0, 0, 0};
  VQNode* m_target = nullptr;
  VQVector m_position{0, 0, 0};
  VQVector m_targetPoint{0, 0, 0};
  uint32_t m_word = 0;
  float m_initialZoom = 1.0f;
  float m_zoom = 1.0f;
  float m_zoomSpeed = 2.0f;
  float m_finalZoom = 1.0f;
  float m_baseWidth = 1.5f;
  VQMatrix m_relative;
  float m_fov = 70.0f;
  VQVector m_chasePoint{0, 0, 0};
  VQVector m_chaseOffset{0, 0, 0};
  float m_chaseFactor = 0.3f;
  float m_yawOffset = 0.0f;
};

// The world matrix of a node: the product of the transforms from it up to the root.
VQMatrix RaceCamera_WorldMatrix(const VQNode* node);
// Points the camera from its position at a point, with no roll.
void RaceCamera_LookAt(VQCamera* camera, const VQVector& point);
