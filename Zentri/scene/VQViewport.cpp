#include "Zentri/scene/VQViewport.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/util/VQStrings.h"

VQViewport::~VQViewport() {
  // The camera outlives its viewport: it must not keep pointing at it.
  if (m_camera && m_camera->m_viewport == this) m_camera->m_viewport = nullptr;
  if (m_created) Destroy();
  std::free(m_name);
  delete m_background;
}

void VQViewport::SetBackground(VQImageRef* image) {
  if (image == m_background) return;
  delete m_background;
  m_background = image;
}

bool VQViewport::Begin() {
  if (!m_camera) return false;
  VQRenderContext& rc = g_VQrender;
  m_camera->m_matrix.Inverse(rc.m_view);
  rc.m_matrices[0] = rc.m_view;
  rc.m_matrixCount = 1;
  rc.m_matrixChanged = 1;
  return true;
}

void VQViewport::SetProjection(float, float, float, float, float, float) {}

bool VQViewport::Create(VQCanvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height) {
  m_canvas = canvas;
  if (canvas) {
    if (!m_display) m_display = canvas->m_device;
    m_canvasWidth = int32_t(canvas->m_width);
    m_canvasHeight = int32_t(canvas->m_height);
  }
  m_x = x;
  m_y = y;
  m_width = width;
  m_height = height;
  m_fillMode = 3;
  m_clearFlags = 3;
  std::free(m_name);
  m_name = nullptr;
  delete m_background;
  m_background = nullptr;
  m_active = 0;
  m_portalMode = 0;
  m_camera = nullptr;
  m_root = nullptr;
  m_clearColour.r = m_clearColour.g = m_clearColour.b = 0;
  m_preRender = nullptr;
  m_beforeScene = nullptr;
  m_beforeWord = 0;
  m_afterScene = nullptr;
  m_afterWord = 0;
  m_lighting = 1;
  m_further = 1;
  m_furtherWord = 1;
  m_created = 1;
  return true;
}

void VQViewport::Destroy() {
  if (!m_created) return;
  std::free(m_name);
  m_name = nullptr;
  delete m_background;
  m_background = nullptr;
  if (m_camera) m_camera->m_viewport = nullptr;
  m_camera = nullptr;
  m_created = 0;
}

void VQViewport::SetCamera(VQCamera* camera) {
  // A camera that is replaced (or detached) forgets this viewport, so deleting either one later
  // never touches the other.
  if (m_camera && m_camera != camera && m_camera->m_viewport == this) m_camera->m_viewport = nullptr;
  m_camera = camera;
  if (!camera) return;
  if (camera->m_viewHeight == 0.0f && m_width != 0)
    camera->SetViewSize(camera->m_viewWidth,
                        float(double(camera->m_viewWidth) * m_height / m_width));
  camera->m_viewport = this;
}

bool VQViewport::SetPosition(int32_t x, int32_t y) {
  if (x == m_x && y == m_y) return true;
  if (!ApplyPosition(x, y)) return false;
  m_x = x;
  m_y = y;
  return true;
}

bool VQViewport::SetSize(int32_t width, int32_t height) {
  if (width == 0 || height == 0) return false;
  if (width == m_width && height == m_height) return true;
  if (m_active && !ApplySize(width, height)) return false;
  m_width = width;
  m_height = height;
  return true;
}

bool VQViewport::SetRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (width == 0 || height == 0) return false;
  if (x == m_x && y == m_y && width == m_width && height == m_height) return true;
  if (!ApplyRect(x, y, width, height)) return false;
  m_x = x;
  m_y = y;
  m_width = width;
  m_height = height;
  return true;
}

void VQViewport::SetName(const char* text) {
  std::free(m_name);
  m_name = VQstrdup(text);
}

void VQViewport::ProjectPoint(const VQVector& point, float& x, float& y, bool& behind) const {
  x = y = 0;
  behind = false;
  if (!m_camera) return;
  VQVector p;
  g_VQrender.Top().TransformPoint(p, point);
  double u, v;
  if (m_camera->m_projection == 1) {
    if (std::fabs(p.y) <= 0.0001f) {
      u = double(p.x) * 10000.0;
      v = double(p.z) * 10000.0;
    } else {
      u = double(p.x) / p.y;
      v = double(p.z) / p.y;
    }
  } else {
    u = p.x;
    v = p.z;
  }
  x = float(u / m_camera->m_viewWidth * m_width + m_width / 2 + m_x);
  y = float(v / m_camera->m_viewHeight * m_height + m_height / 2 + m_y);
  behind = p.y < 0;
}

void VQViewport::Render(uint32_t argument) {
  if (!m_created || !m_active || !m_camera) return;
  VQRenderContext& rc = g_VQrender;
  if (rc.m_frame >= 16777216u)
    rc.m_frame = 1;
  else
    rc.m_frame++;
  for (auto& s : rc.m_stats) s = 0;
  rc.m_canvas = m_canvas;
  rc.m_viewport = this;
  rc.m_camera = m_camera;
  rc.m_lodScale = m_camera->m_lodScale;
  rc.m_lodBias = m_camera->m_lodBias;
  rc.m_fog = nullptr;
  rc.m_display = m_display;
  const double n = m_camera->m_near, w = m_camera->m_viewWidth, h = m_camera->m_viewHeight;
  const double cx = m_camera->m_centreX, cz = m_camera->m_centreZ;
  rc.m_left = float(cx * n - w * n / 2);
  rc.m_right = float(cx * n + w * n / 2);
  rc.m_bottom = float(cz * n - h * n / 2);
  rc.m_top = float(cz * n + h * n / 2);
  rc.m_near = m_camera->m_near;
  rc.m_far = m_camera->m_far;
  rc.m_centreX = m_camera->m_centreX;
  rc.m_centreZ = m_camera->m_centreZ;
  m_camera->m_matrix.RotateVector(rc.m_right3, VQVector(1, 0, 0));
  m_camera->m_matrix.RotateVector(rc.m_forward, VQVector(0, 1, 0));
  m_camera->m_matrix.RotateVector(rc.m_up, VQVector(0, 0, 1));
  if (m_display) m_display->SetFillMode(m_fillMode);
  if (!Begin()) return;
  if (m_preRender)
    m_preRender(this);
  else
    Clear(argument);
  if (m_beforeScene) m_beforeScene(this, m_beforeWord);
  if (m_root) m_root->Render(0);
  if (m_afterScene) m_afterScene(this, m_afterWord);
  End();
}
