// The camera: camera-to-world matrix (row 0 right, row 1 viewing direction, row 2 up,
// translation the position), a view window at distance 1, near and far, level-of-detail
// scale and bias, the room it is in for portal rendering, and the derived frustum used to
// cull bounding spheres. Camera space: x right, y depth, z up.
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

class VQViewport;

class VQCamera {
 public:
  VQCamera();
  // Angles in radians; a vertical angle of 0 leaves the height to the viewport's aspect.
  VQCamera(float horizontal, float vertical);
  ~VQCamera();
  VQCamera(const VQCamera&) = delete;
  VQCamera& operator=(const VQCamera&) = delete;

  void SetCentreOffset(float x, float z);
  void GetCentreOffset(float& x, float& z) const {
    x = m_centreX;
    z = m_centreZ;
  }
  void SetFieldOfView(float horizontal, float vertical);
  void SetViewSize(float width, float height);
  void Translate(const VQVector& v, int space);
  void Rotate(const VQVector& angles, int space);
  void SetPosition(const VQVector& v) { m_matrix.SetTranslation(v); }
  VQVector GetPosition() const { return VQVector(m_matrix.m[12], m_matrix.m[13], m_matrix.m[14]); }
  void SetRotation(const VQVector& angles) { m_matrix.SetRotation(angles); }
  VQVector GetRotation() const;
  void SetViewDirection(const VQVector& direction);
  // True when the sphere (centre in camera space) lies wholly outside the view volume.
  bool IsSphereOutside(const VQVector& c, float r) const;

  VQViewport* m_viewport = nullptr;
  VQMatrix m_matrix;
  VQVector m_velocity{0, 0, 0};
  float m_viewWidth = 1.5f;
  float m_viewHeight = 0.0f;
  float m_centreX = 0.0f, m_centreZ = 0.0f;
  float m_near = 1.0f;
  float m_far = 100000.0f;
  uint32_t m_projection = 1;  // 1 perspective, 0 orthographic
  float m_lodScale = 1.0f;
  uint32_t m_lodBias = 0;
  int32_t m_cellIndex = -1;
  float m_frustum[8] = {};  // left, right, bottom, top slopes, then their normalisers

 private:
  void UpdateFrustum();
};
