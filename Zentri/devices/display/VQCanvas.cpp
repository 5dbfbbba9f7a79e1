#include "Zentri/devices/display/VQCanvas.h"

bool VQCanvas::Resize(uint32_t width, uint32_t height) {
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
  return true;
}
