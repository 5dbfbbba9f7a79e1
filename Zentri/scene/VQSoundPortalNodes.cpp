// Sound-source and portal nodes: they act during the render pass without drawing geometry.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

// ---- Sound source --------------------------------------------------------------------------------

VQSoundSourceNode::VQSoundSourceNode(uint32_t userId) : VQNode(VQNODE_SOUND_SOURCE, userId) {
  m_sphere = &m_record;
}

void VQSoundSourceNode::SetPosition(const VQVector& position, float falloff, float range) {
  m_position = position;
  m_falloff = falloff;
  m_range = range;
  m_sphere->m_centre = position;
  m_sphere->m_radius = range;
  VQNode::BoundsChanged();
}

void VQSoundSourceNode::SetRange(float range) {
  m_range = range;
  m_sphere->m_radius = range;
  VQNode::BoundsChanged();
}

void VQSoundSourceNode::SetSample(VQSoundBuffer* buffer, bool releaseOld) {
  if (m_buffer && m_playing && m_buffer->m_device) {
    m_buffer->m_device->StopLimited(m_buffer);
    if (releaseOld) m_buffer->m_device->DeleteBuffer(m_buffer);
  }
  m_playing = 0;
  m_buffer = buffer;
}

void VQSoundSourceNode::Translate(const VQVector& v) {
  m_position += v;
  m_sphere->m_centre += v;
  VQNode::BoundsChanged();
}

VQBoundingSphere VQSoundSourceNode::GetBoundingSphere() {
  m_sphere->m_centre = m_position;
  m_sphere->m_radius = m_falloff;
  return *m_sphere;
}

void VQSoundSourceNode::GetStoredSphere(VQVector& centre, float& radius) {
  centre = m_sphere->m_centre;
  radius = m_sphere->m_radius;
}

void VQSoundSourceNode::Render(int) {
  if (!m_enabled || !m_buffer) return;
  VQSoundDevice* device = m_buffer->m_device;
  if (!device) return;
  VQRenderContext& rc = g_VQrender;
  VQVector p;
  rc.Top().TransformPoint(p, m_position);
  const double d = p.Length();
  if (m_range >= 0.0f) {
    if (d > m_range) {
      if (m_playing) device->StopLimited(m_buffer);
      m_playing = 0;
      return;
    }
    if (!m_playing) {
      device->PlayLimited(m_buffer, m_buffer->m_loop, 0.0f);
      m_playing = 1;
    }
  }
  VQCamera* camera = rc.m_camera;
  if (m_doppler && camera) {
    VQMatrix toWorld = rc.Top() * camera->m_matrix;
    VQVector world;
    toWorld.TransformPoint(world, m_position);
    VQVector u = world - camera->GetPosition();
    u.Normalize();
    const double v = (m_velocity - camera->m_velocity).Dot(u);
    double speed = m_speed * (1.0 - 0.005 * v);
    // Absurd relative speeds must not overflow the integer percentage.
    if (!(speed > -1e9)) speed = -1e9;
    if (speed > 1e9) speed = 1e9;
    m_buffer->SetSpeed(int32_t(speed));
  } else if (m_speed != m_speedSent) {
    m_buffer->SetSpeed(m_speed);
    m_speedSent = m_speed;
  }
  float priority;
  if (m_attenuation) {
    m_volumeInForce = m_volume;
    if (d >= m_falloff) {
      m_buffer->SetVolume(0.0f);
      priority = 0.0f;
    } else {
      const double a = 1.0 - d / m_falloff;
      m_buffer->SetVolume(float(m_volume * a));
      priority = float(m_gain * m_volume * a);
    }
  } else {
    if (m_volume != m_volumeInForce) {
      m_volumeInForce = m_volume;
      m_buffer->SetVolume(m_volume);
    }
    priority = m_gain;
  }
  if (device->m_limiter) device->m_limiter->SetPriority(m_buffer, priority);
  // The pan angle is kept in single precision: a source straight to the side must come out
  // at exactly 100 (pan 0), which double rounding of pi / 2 misses by a hair.
  float angle = 0.0f;
  if (!(std::fabs(p.x) < 0.0001f && std::fabs(p.y) < 0.0001f))
    angle = float(std::atan2(-double(p.x), double(p.y)));
  const float pi = 3.14159265f;
  if (angle < -pi / 2) angle = -pi - angle;
  if (angle > pi / 2) angle = pi - angle;
  const float a = angle * 63.661976f;
  if (a > 0)
    m_buffer->SetPan(int32_t(100 - int32_t(a)), 1);
  else
    m_buffer->SetPan(int32_t(a + 100), 0);
}

// ---- Portal --------------------------------------------------------------------------------------

VQPortalNode::~VQPortalNode() {
  std::free(m_points);
  delete m_placement;
}

bool VQPortalNode::SetPoints(const VQVector* points, uint32_t count) {
  if (count > VQRENDER_MAX_PORTAL_POINTS || (count > 0 && !points))
    return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  VQVector* copy = nullptr;
  if (count > 0) {
    copy = static_cast<VQVector*>(std::malloc(count * sizeof(VQVector)));
    if (!copy) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
    std::memcpy(copy, points, count * sizeof(VQVector));
  }
  std::free(m_points);
  m_points = copy;
  m_pointCount = count;
  return true;
}

bool VQPortalNode::SetPlacement(const VQMatrix* placement) {
  if (!placement) {
    delete m_placement;
    m_placement = nullptr;
    return true;
  }
  if (!m_placement) m_placement = new (std::nothrow) VQMatrix();
  if (!m_placement) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  *m_placement = *placement;
  return true;
}

void VQPortalNode::GetStoredSphere(VQVector&, float& radius) { radius = -1.0f; }

void VQPortalNode::Render(int depth) {
  VQRenderContext& rc = g_VQrender;
  VQViewport* vp = rc.m_viewport;
  if (!m_enabled || m_pointCount == 0 || !m_cell || !vp || !vp->m_portalMode) return;
  if (m_pointCount > VQRENDER_MAX_PORTAL_POINTS || !m_points) return;
  if (m_frameStamp != rc.m_frame) {
    m_frameStamp = rc.m_frame;
    m_passes = 0;
  }
  if (m_passes >= m_passesPerFrame) return;
  const VQMatrix top = rc.Top();
  VQVector* pts = rc.m_portalPoints;
  for (uint32_t i = 0; i < m_pointCount; ++i) top.TransformPoint(pts[i], m_points[i]);
  VQVector tip;
  top.TransformPoint(tip, m_points[0] + m_normal);
  const VQVector n = tip - pts[0];
  if (n.Dot(pts[0]) > 0.0f) return;
  bool anyInFront = false;
  for (uint32_t i = 0; i < m_pointCount; ++i) anyInFront |= pts[i].y > 0.0f;
  if (!anyInFront) return;

  // Clip against y = 0, keeping y >= 0. At most one point more than the polygon.
  VQVector* out = rc.m_portalClipped;
  uint32_t outCount = 0;
  for (uint32_t i = 0; i < m_pointCount; ++i) {
    const VQVector& a = pts[(i + m_pointCount - 1) % m_pointCount];
    const VQVector& b = pts[i];
    const bool ain = a.y >= 0.0f, bin = b.y >= 0.0f;
    if (ain != bin && outCount <= VQRENDER_MAX_PORTAL_POINTS) {
      const double t = double(a.y) / (double(a.y) - b.y);
      out[outCount++] = VQVector(float(a.x + t * (b.x - a.x)), 0.0f, float(a.z + t * (b.z - a.z)));
    }
    if (bin && outCount <= VQRENDER_MAX_PORTAL_POINTS) out[outCount++] = b;
  }
  const double W = (double(rc.m_right) - rc.m_left) / rc.m_near;
  const double H = (double(rc.m_top) - rc.m_bottom) / rc.m_near;
  const double cw = vp->m_canvasWidth, ch = vp->m_canvasHeight;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (uint32_t i = 0; i < outCount; ++i) {
    const VQVector& q = out[i];
    double xp, yp;
    if (std::fabs(q.y) <= 0.0001f) {
      xp = double(q.x) * 10000.0 - rc.m_centreX;
      yp = double(q.z) * 10000.0 - rc.m_centreZ;
    } else {
      xp = double(q.x) / q.y - rc.m_centreX;
      yp = double(q.z) / q.y - rc.m_centreZ;
    }
    const double px = xp * (vp->m_width / W) + cw * 0.5;
    const double py = yp * (vp->m_height / H) + ch * 0.5;
    if (i == 0 || px < minX) minX = px;
    if (i == 0 || px > maxX) maxX = px;
    if (i == 0 || py < minY) minY = py;
    if (i == 0 || py > maxY) maxY = py;
  }
  if (!(minX < vp->m_x + vp->m_width && maxX >= vp->m_x && minY < vp->m_y + vp->m_height &&
        maxY >= vp->m_y))
    return;
  m_passes++;
  if (minX < vp->m_x) minX = vp->m_x;
  if (maxX > vp->m_x + vp->m_width) maxX = vp->m_x + vp->m_width - 1;
  if (minY < vp->m_y) minY = vp->m_y;
  if (maxY > vp->m_y + vp->m_height) maxY = vp->m_y + vp->m_height - 1;
  const int32_t x0 = int32_t(std::floor(minX));
  const int32_t x1 = int32_t(std::fmin(std::ceil(maxX) + 1, cw));
  const int32_t y0 = int32_t(std::floor(minY));
  const int32_t y1 = int32_t(std::fmin(std::ceil(maxY) + 1, ch));
  const double nearZ = rc.m_near;
  const double l2 = (x0 - cw * 0.5) * (W / vp->m_width) * nearZ + nearZ * rc.m_centreX;
  const double r2 = l2 + (x1 - x0) * (W / vp->m_width) * nearZ;
  const double b2 = (y0 - ch * 0.5) * (H / vp->m_height) * nearZ + nearZ * rc.m_centreZ;
  const double t2 = b2 + (y1 - y0) * (H / vp->m_height) * nearZ;

  const float keptL = rc.m_left, keptR = rc.m_right, keptB = rc.m_bottom, keptT = rc.m_top;
  const int32_t keptX = vp->m_x, keptY = vp->m_y, keptW = vp->m_width, keptH = vp->m_height;
  if (m_clip) {
    rc.m_left = float(l2);
    rc.m_right = float(r2);
    rc.m_bottom = float(b2);
    rc.m_top = float(t2);
    vp->SetProjection(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far);
    vp->SetRect(x0, y0, x1 - x0, y1 - y0);
  }
  VQCamera* camera = rc.m_camera;
  float keptW2 = 0, keptH2 = 0, keptCx = 0, keptCz = 0;
  if (camera) {
    keptW2 = camera->m_viewWidth;
    keptH2 = camera->m_viewHeight;
    camera->GetCentreOffset(keptCx, keptCz);
    const float nw = float((r2 - l2) / nearZ), nh = float((t2 - b2) / nearZ);
    camera->SetViewSize(nw, nh);
    camera->SetCentreOffset(float(l2 / nearZ + nw / 2.0), float(b2 / nearZ + nh / 2.0));
  }
  bool pushed = false;
  if (m_placement) pushed = rc.PushModel(*m_placement);
  if (!m_placement || pushed) {
    if (m_target >= 0 && uint32_t(m_target) < m_cell->m_count && m_cell->m_slots[m_target])
      m_cell->m_slots[m_target]->Render(depth + 1);
  }
  if (pushed) rc.PopModel();
  if (camera) {
    camera->m_viewWidth = keptW2;
    camera->m_viewHeight = keptH2;
    camera->SetCentreOffset(keptCx, keptCz);
  }
  if (m_clip) {
    vp->SetRect(keptX, keptY, keptW, keptH);
    vp->SetProjection(keptL, keptR, keptB, keptT, rc.m_near, rc.m_far);
    rc.m_left = keptL;
    rc.m_right = keptR;
    rc.m_bottom = keptB;
    rc.m_top = keptT;
  }
}
