#include "Zentri/scene/VQCamera.h"

#include <cmath>

#include "Zentri/scene/VQViewport.h"

VQCamera::VQCamera() { UpdateFrustum(); }

VQCamera::VQCamera(float horizontal, float vertical) {
  m_viewWidth = float(2.0 * std::tan(horizontal / 2.0));
  m_viewHeight = vertical != 0.0f ? float(2.0 * std::tan(vertical / 2.0)) : 0.0f;
  UpdateFrustum();
}

VQCamera::~VQCamera() {
  if (m_viewport && m_viewport->m_camera == this) m_viewport->SetCamera(nullptr);
}

void VQCamera::UpdateFrustum() {
  const double l = double(m_centreX) - m_viewWidth / 2.0, r = double(m_centreX) + m_viewWidth / 2.0;
  const double b = double(m_centreZ) - m_viewHeight / 2.0, t = double(m_centreZ) + m_viewHeight / 2.0;
  const double s[4] = {l, r, b, t};
  for (int i = 0; i < 4; ++i) {
    m_frustum[i] = float(s[i]);
    m_frustum[4 + i] = float(1.0 / std::sqrt(double(m_frustum[i]) * m_frustum[i] + 1.0));
  }
}

void VQCamera::SetCentreOffset(float x, float z) {
  m_centreX = x;
  m_centreZ = z;
  UpdateFrustum();
}

void VQCamera::SetFieldOfView(float horizontal, float vertical) {
  SetViewSize(float(2.0 * std::tan(horizontal / 2.0)), float(2.0 * std::tan(vertical / 2.0)));
}

void VQCamera::SetViewSize(float width, float height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  const bool sized = m_viewport && m_viewport->m_width != 0 && m_viewport->m_height != 0;
  if (width != 0) {
    m_viewWidth = width;
    if (height == 0)
      m_viewHeight = sized ? float(double(width) * m_viewport->m_height / m_viewport->m_width) : 0.0f;
    else
      m_viewHeight = height;
  } else if (height != 0) {
    m_viewHeight = height;
    m_viewWidth = sized ? float(double(height) * m_viewport->m_width / m_viewport->m_height) : 0.0f;
  } else {
    return;
  }
  UpdateFrustum();
}

void VQCamera::Translate(const VQVector& v, int space) {
  VQMatrix t;
  t.MakeTranslation(v);
  if (space == 0)
    m_matrix = t * m_matrix;
  else if (space == 1)
    m_matrix = m_matrix * t;
}

void VQCamera::Rotate(const VQVector& angles, int space) {
  VQMatrix r;
  r.MakeRotation(angles);
  if (space == 0)
    m_matrix = r * m_matrix;
  else if (space == 1)
    m_matrix = m_matrix * r;
}

VQVector VQCamera::GetRotation() const {
  VQVector a;
  m_matrix.GetRotationAngles(a);
  return a;
}

void VQCamera::SetViewDirection(const VQVector& direction) {
  VQVector up, right, newUp;
  m_matrix.GetAxisZ(up);
  direction.Cross(up, right);
  right.Cross(direction, newUp);
  right.Normalize();
  newUp.Normalize();
  float* m = m_matrix.m;
  m[0] = right.x, m[1] = right.y, m[2] = right.z;
  m[4] = direction.x, m[5] = direction.y, m[6] = direction.z;
  m[8] = newUp.x, m[9] = newUp.y, m[10] = newUp.z;
}

bool VQCamera::IsSphereOutside(const VQVector& c, float r) const {
  const double y = c.y;
  if (y + r < m_near) return true;
  if (y - r > m_far) return true;
  if ((m_frustum[0] * y - c.x) * m_frustum[4] >= r) return true;
  if ((c.x - m_frustum[1] * y) * m_frustum[5] > r) return true;
  if ((m_frustum[2] * y - c.z) * m_frustum[6] >= r) return true;
  if ((c.z - m_frustum[3] * y) * m_frustum[7] > r) return true;
  return false;
}
