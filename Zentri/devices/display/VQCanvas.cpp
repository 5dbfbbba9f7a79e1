#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"

#include <cstdlib>
#include <new>

#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

VQCanvasOverlayHooks g_VQcanvasOverlay;

namespace {
VQClipRect s_clip[VQCLIP_STACK] = {{0, 0, 640, 480}};
uint32_t s_clipDepth = 1;
}  // namespace

bool VQclip_Push(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (s_clipDepth >= VQCLIP_STACK) return false;
  s_clip[s_clipDepth++] = {x0, y0, x1, y1};
  return true;
}
void VQclip_Pop() {
  if (s_clipDepth > 1) --s_clipDepth;
}
const VQClipRect& VQclip_Top() { return s_clip[s_clipDepth - 1]; }

VQViewport* VQCanvas::CreateViewport(int32_t, int32_t, int32_t, int32_t) {
  g_VQerror = m_created ? VQERR_OUT_OF_MEMORY : VQERR_NOT_OPEN;
  return nullptr;
}

bool VQCanvas::ReadPixels(uint32_t, uint32_t, uint32_t, uint8_t*) { return false; }
VQPixmap* VQCanvas::GrabRect(int32_t, int32_t, int32_t, int32_t) { return nullptr; }

void VQCanvas::GetTitle(char* buffer, uint32_t size) {
  if (buffer && size) buffer[0] = 0;
}

void VQCanvas::DeleteViewport(VQViewport* viewport) {
  if (!viewport) return;
  RemoveViewport(viewport);
  delete viewport;
}

bool VQCanvas::Create(uint32_t mode, uint32_t width, uint32_t height, uint32_t colourBits) {
  if (m_created) return true;
  m_mode = mode;
  m_width = width;
  m_height = height;
  m_colourBits = colourBits;
  m_shown = 0;
  m_viewportCount = 0;
  for (auto& v : m_viewports) v = nullptr;
  m_preFrame = m_postScene = m_lastCallback = m_resizeCallback = nullptr;
  m_preFrameWord = m_postSceneWord = m_lastWord = m_resizeWord = 0;
  m_mouse = nullptr;
  m_overlayCursor = 0;
  m_in2D = m_spareByte = m_spareByte2 = 0;
  m_spareWords[0] = m_spareWords[1] = 0;
  m_spareFloats[0] = m_spareFloats[1] = 1000.0f;
  m_bufferingMode = GetBufferingMode();
  switch (m_bufferingMode) {
    case VQBUFFERING_TRIPLE: m_bufferCount = 3; break;
    case VQBUFFERING_DOUBLE: case VQBUFFERING_DOUBLE_ALT: m_bufferCount = 2; break;
    case VQBUFFERING_SINGLE: m_bufferCount = 1; break;
    default: m_bufferCount = 0; break;
  }
  m_backBufferCount = m_bufferingMode == VQBUFFERING_TRIPLE ? 2 : (m_bufferingMode == VQBUFFERING_DOUBLE ? 1 : 0);
  m_swapCount = m_backBufferCount + 1;
  if (mode == VQCANVAS_FULLSCREEN_SCRATCH) {
    m_scratch = static_cast<uint8_t*>(std::calloc(1, 20));
    if (!m_scratch) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  if (g_VQcanvasOverlay.create && !g_VQcanvasOverlay.create(this)) {
    std::free(m_scratch);
    m_scratch = nullptr;
    return false;
  }
  m_created = 1;
  return true;
}

void VQCanvas::Destroy() {
  while (m_viewportCount > 0) DeleteViewport(m_viewports[m_viewportCount - 1]);
  if (g_VQcanvasOverlay.destroy) g_VQcanvasOverlay.destroy(this);
  m_windowManager = m_rootWindow = nullptr;
  std::free(m_scratch);
  m_scratch = nullptr;
  m_mouse = nullptr;
  m_created = 0;
}

VQViewport* VQCanvas::GetViewport(uint32_t index) const {
  return index < m_viewportCount ? m_viewports[index] : nullptr;
}

bool VQCanvas::AddViewport(VQViewport* viewport) {
  if (m_viewportCount >= VQCANVAS_MAX_VIEWPORTS) return false;
  m_viewports[m_viewportCount++] = viewport;
  return true;
}

bool VQCanvas::RemoveViewport(VQViewport* viewport) {
  if (m_viewportCount == 0) return false;
  if (m_viewports[m_viewportCount - 1] == viewport) {
    m_viewports[--m_viewportCount] = nullptr;
    return true;
  }
  for (uint32_t i = 0; i + 1 < m_viewportCount; ++i) {
    if (m_viewports[i] != viewport) continue;
    for (uint32_t j = i + 1; j < m_viewportCount; ++j) m_viewports[j - 1] = m_viewports[j];
    m_viewports[--m_viewportCount] = nullptr;
    return true;
  }
  return false;
}

bool VQCanvas::Resize(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const uint32_t oldWidth = m_width;
  const uint32_t oldHeight = m_height;
  m_width = width;
  m_height = height;
  if (!RecreateSurfaces()) {
    m_width = oldWidth;
    m_height = oldHeight;
    RecreateSurfaces();
    return false;
  }
  if (oldWidth != 0 && oldHeight != 0) {
    const double xr = double(width) / oldWidth;
    const double yr = double(height) / oldHeight;
    for (uint32_t i = 0; i < m_viewportCount; ++i) {
      VQViewport* v = m_viewports[i];
      if (!v || !v->m_active) continue;
      // A viewport never shrinks below one pixel: a zero size would be refused.
      auto scale = [](int32_t value, double ratio, int32_t least) {
        const int32_t r = int32_t(value * ratio + 0.5);
        return r < least ? least : r;
      };
      v->m_canvasWidth = int32_t(width);
      v->m_canvasHeight = int32_t(height);
      v->SetRect(scale(v->m_x, xr, INT32_MIN), scale(v->m_y, yr, INT32_MIN),
                 scale(v->m_width, xr, 1), scale(v->m_height, yr, 1));
      if (v->m_camera) {
        VQCamera* c = v->m_camera;
        c->SetViewSize(c->m_viewWidth, float(c->m_viewHeight / (xr / yr)));
      }
    }
  }
  if (m_resizeCallback) m_resizeCallback(this, m_resizeWord);
  return true;
}

void VQCanvas::RenderFrame() {
  if (!m_created || !m_shown) return;
  if (m_preFrame) m_preFrame(this, m_preFrameWord);
  if (!MakeCurrent()) return;
  for (uint32_t i = 0; i < m_viewportCount; ++i) {
    VQViewport* v = m_viewports[i];
    if (v && v->m_active) v->Render(i);
  }
  Begin2D();
  if (m_postScene) m_postScene(this, m_postSceneWord);
  if (g_VQcanvasOverlay.draw) g_VQcanvasOverlay.draw(this);
  if (m_mouse && m_overlayCursor && g_VQcanvasOverlay.drawCursor) g_VQcanvasOverlay.drawCursor(this);
  if (m_lastCallback) m_lastCallback(this, m_lastWord);
  End();
}

void VQCanvas::SetCallbacks(VQCanvasCallback preFrame, uintptr_t preWord,
                            VQCanvasCallback postScene, uintptr_t postWord,
                            VQCanvasCallback last, uintptr_t lastWord) {
  m_preFrame = preFrame;
  m_preFrameWord = preWord;
  m_postScene = postScene;
  m_postSceneWord = postWord;
  m_lastCallback = last;
  m_lastWord = lastWord;
}
