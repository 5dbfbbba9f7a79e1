#include "QVX/race/RaceCamera.h"

#include <cmath>

#include "QVX/shell/Program.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"

namespace {
constexpr float kPi = 3.14159265f;

float FovScale() {
  const float s = g_program ? g_program->GetFovScale() : 1.0f;
  return s > 0.0f && std::isfinite(s) ? s : 1.0f;
}
}  // namespace

VQMatrix RaceCamera_WorldMatrix(const VQNode* node) {
  VQMatrix world;
  for (const VQNode* n = node; n; n = n->m_parent)
    if (n->m_type == VQNODE_TRANSFORM)
      world = world * static_cast<const VQTransformNode*>(n)->m_matrix;
  return world;
}

void RaceCamera_LookAt(VQCamera* camera, const VQVector& point) {
  VQVector dir = point - camera->GetPosition();
  if (dir.LengthSquared() < 1e-12f) return;
  dir.Normalize();
  VQVector right;
  right.SetCross(dir, VQVector(0, 0, 1));
  if (right.LengthSquared() < 1e-10f) right = VQVector(1, 0, 0);  // straight up or down
  right.Normalize();
  VQVector up;
  up.SetCross(right, dir);
  up.Normalize();
  float* m = camera->m_matrix.m;
  m[0] = right.x, m[1] = right.y, m[2] = right.z;
  m[4] = dir.x, m[5] = dir.y, m[6] = dir.z;
  m[8] = up.x, m[9] = up.y, m[10] = up.z;
}

void RaceCamera::SetClipRange(float nearClip, float farClip) {
  m_near = nearClip;
  m_far = farClip;
}

void RaceCamera::SetCameraVector(const VQVector& v) {
  // The engine camera keeps no vector of this kind; the race camera keeps it for its owner.
  m_vector = v;
}

void RaceCamera::BindCamera(VQCamera* camera) {
  m_camera = camera;
  if (camera) m_baseWidth = camera->m_viewWidth;
}

void RaceCamera::SetZoomFactor() {
  if (m_camera) m_camera->m_lodScale = m_camera->m_viewWidth / FovScale();
}

void RaceCamera::SetFieldOfView(float degrees) {
  m_fov = degrees;
  if (!m_camera) return;
  m_camera->SetFieldOfView(degrees * kPi / 180.0f, 0.0f);
  m_baseWidth = m_camera->m_viewWidth;
  SetZoomFactor();
}

VQNode* RaceCamera::TargetTransform() const {
  for (VQNode* n = m_target; n; n = n->m_parent)
    if (n->m_type == VQNODE_TRANSFORM) return n;
  return nullptr;
}

void RaceCamera::Apply() {
  if (!m_camera) return;
  if (m_near > 0.0f) m_camera->m_near = m_near;
  if (m_far > m_near) m_camera->m_far = m_far;
  switch (m_mode) {
    case RACECAMERA_FIXED:
      m_zoom = m_initialZoom;
      m_camera->SetPosition(m_position);
      m_camera->SetViewSize(m_baseWidth, 0.0f);
      SetZoomFactor();
      break;
    case RACECAMERA_ATTACHED: SetFieldOfView(m_fov); break;
    case RACECAMERA_CHASE:
      SetFieldOfView(m_fov);
      if (VQNode* t = TargetTransform()) {
        const VQMatrix world = RaceCamera_WorldMatrix(t);
        VQVector offset, origin;
        world.RotateVector(offset, m_chaseOffset);
        world.GetTranslation(origin);
        m_chasePoint = origin + offset;
        m_camera->SetPosition(m_chasePoint);
      }
      break;
    default: break;
  }
}

void RaceCamera::Update(float dt, bool lookBack) {
  if (!m_camera || !m_enabled) return;
  VQNode* transform = TargetTransform();
  switch (m_mode) {
    case RACECAMERA_FIXED: {
      if (!transform) return;
      VQVector p;
      RaceCamera_WorldMatrix(m_target).TransformPoint(p, m_targetPoint);
      m_camera->SetPosition(m_position);
      if (m_zoom != m_finalZoom) {
        const float step = dt * m_zoomSpeed;
        if (m_zoom < m_finalZoom)
          m_zoom = m_zoom + step >= m_finalZoom ? m_finalZoom : m_zoom + step;
        else
          m_zoom = m_zoom - step <= m_finalZoom ? m_finalZoom : m_zoom - step;
      }
      const float d = std::max(1e-3f, (p - m_position).Length());
      m_camera->SetViewSize((m_near / d * (1.0f - m_zoom) + m_zoom) * m_baseWidth, 0.0f);
      SetZoomFactor();
      RaceCamera_LookAt(m_camera, p);
      break;
    }
    case RACECAMERA_ATTACHED: {
      VQMatrix m = m_relative;
      float lift = 0.0f;
      if (transform) {
        const VQMatrix world = RaceCamera_WorldMatrix(transform);
        m = m_relative * world;
        if (m_near == 0.1f)
          lift = std::max(0.0f, -world.m[10]) * 0.1f;  // an overturned car lifts the in-car view
      }
      m.m[14] += lift;
      if (lookBack)
        for (int i : {0, 1, 2, 4, 5, 6}) m.m[i] = -m.m[i];
      m_camera->m_matrix = m;
      break;
    }
    case RACECAMERA_CHASE: {
      if (!transform) return;
      const VQMatrix world = RaceCamera_WorldMatrix(m_target);
      VQVector p;
      world.TransformPoint(p, m_targetPoint);
      VQVector u(m_chasePoint.x - p.x, m_chasePoint.y - p.y, 0.0f);
      if (u.LengthSquared() < 1e-10f) {
        // On top of the target: trail behind it.
        world.GetAxisY(u);
        u = VQVector(-u.x, -u.y, 0.0f);
        if (u.LengthSquared() < 1e-10f) u = VQVector(0, -1, 0);
      }
      u.Normalize();
      const VQVector leash = m_targetPoint - m_chaseOffset * m_chaseFactor;
      const float length = std::sqrt(leash.x * leash.x + leash.y * leash.y);
      m_chasePoint = VQVector(p.x + length * u.x, p.y + length * u.y, p.z + m_chaseOffset.z);
      VQVector at = m_chasePoint;
      const float yaw = m_yawOffset + (lookBack ? kPi : 0.0f);
      if (yaw != 0.0f) {
        const float c = std::cos(yaw), s = std::sin(yaw), dx = at.x - p.x, dy = at.y - p.y;
        at.x = p.x + c * dx - s * dy;
        at.y = p.y + s * dx + c * dy;
      }
      m_camera->SetPosition(at);
      RaceCamera_LookAt(m_camera, p);
      break;
    }
    default: break;
  }
}
