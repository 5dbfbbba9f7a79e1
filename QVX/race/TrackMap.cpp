#include "QVX/race/TrackMap.h"

#include <cmath>

void TrackMap::Init(uint32_t viewIndex, float imageW, float imageH, float extentW, float extentH,
                    VQVector2 screen, float scale, VQVector2 origin, bool mirror) {
  *this = TrackMap();
  m_view = viewIndex;
  m_hasImage = imageW > 0.0f && imageH > 0.0f;
  m_screen = screen;
  m_scale = scale;
  m_origin = origin;
  m_mirror = mirror;
  m_factorX = m_hasImage && extentW != 0.0f ? imageW / extentW : 0.0f;
  m_factorY = m_hasImage && extentH != 0.0f ? imageH / extentH : 0.0f;
}

VQVector2 TrackMap::MapPosition(const VQVector2& p, float x, float y) const {
  if (m_mirror)
    return VQVector2(p.x * m_factorX + m_screen.x + x - 1.0f,
                     p.y * m_factorY + m_screen.y + y + 2.0f);
  return VQVector2(x - p.x * m_factorX + m_screen.x - 1.0f,
                   y - p.y * m_factorY + m_screen.y - 2.0f);
}

uint32_t TrackMap::BuildCheckpoints(float dt, float x, float y,
                                    const std::vector<VQVector2>& mapPoints,
                                    const std::vector<uint8_t>& passed) {
  m_checkpointCount = 0;
  if (!m_hasImage) return 0;
  bool first = true;
  const size_t count = mapPoints.size();
  for (size_t i = 1; i + 1 < count; ++i) {
    if (i < passed.size() && passed[i]) continue;
    if (first) {
      first = false;
      m_blinkTimer += dt;
      if (m_blinkTimer > TRACKMAP_BLINK) {
        m_blinkShown = !m_blinkShown;
        m_blinkTimer -= TRACKMAP_BLINK;
      }
      if (!m_blinkShown) continue;
    }
    if (m_checkpointCount >= TRACKMAP_MAX_MARKERS) break;
    m_checkpointX[m_checkpointCount] = int32_t(std::lround(mapPoints[i].x + x));
    m_checkpointY[m_checkpointCount] = int32_t(std::lround(mapPoints[i].y + y));
    ++m_checkpointCount;
  }
  return m_checkpointCount;
}

void TrackMap::Add(uint8_t glyph, const VQVector2& p, float x, float y) {
  if (m_markerCount >= TRACKMAP_MAX_MARKERS) return;
  const VQVector2 m = MapPosition(p, x, y);
  m_glyphs[m_markerCount] = glyph;
  m_markerX[m_markerCount] = int32_t(std::lround(m.x - 2.5f));
  m_markerY[m_markerCount] = int32_t(std::lround(m.y - 2.5f));
  ++m_markerCount;
}

uint32_t TrackMap::BuildCars(float x, float y, const std::vector<TrackMapCar>& cars,
                             uint32_t reference, bool plain) {
  m_markerCount = 0;
  if (!m_hasImage) return 0;
  for (const TrackMapCar& c : cars) {
    if (c.ghostVisible) Add(TMGLYPH_GHOST, c.ghostPosition, x, y);
    uint8_t g;
    if (plain) {
      g = c.standing == 1 ? TMGLYPH_PLAIN_LEADER : TMGLYPH_GHOST;
    } else {
      if (c.standing + 1 == reference)
        g = TMGLYPH_BASE_ONE_AHEAD;
      else if (c.standing == reference + 1)
        g = TMGLYPH_BASE_ONE_BEHIND;
      else if (c.standing == reference)
        g = TMGLYPH_BASE_SAME;
      else if (c.standing == 1)
        g = TMGLYPH_BASE_LEADER;
      else
        g = TMGLYPH_BASE_OTHER;
      g = uint8_t(g + uint8_t(c.standing & 0xFF));
    }
    Add(g, c.position, x, y);
  }
  for (const TrackMapCar& c : cars) {
    if (c.ghostVisible) Add(TMGLYPH_GHOST_OVERLAY, c.ghostPosition, x, y);
    uint8_t g;
    if (plain)
      g = c.standing == 1 ? TMGLYPH_PLAIN_OVERLAY_LEADER : TMGLYPH_GHOST_OVERLAY;
    else
      g = uint8_t(TMGLYPH_OVERLAY_BASE + c.standing);
    Add(g, c.position, x, y);
  }
  return m_markerCount;
}
