#include "QVX/race/PlayerView.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/resources/VQImageRef.h"

namespace {

struct Placement {
  int32_t h, v, x, y;
};

// Full-screen and split-screen placement of elements 0..13 and 15..17 (14 is the map's, 18
// the frame rate's own).
constexpr Placement kFull[HUD_ELEMENTS] = {
    {1, 2, 5, 10},    {1, 2, -50, 24},   {1, 2, 5, 50},  {1, 2, -50, 64}, {1, 2, 5, 90},
    {1, 2, -50, 104}, {1, 2, 5, 250},    {1, 2, 5, 250}, {1, 2, 5, 130},  {1, 2, -180, 144},
    {1, 2, 5, 170},   {1, 2, -180, 184}, {4, 2, 0, 120}, {1, 3, 5, 15},   {0, 2, 0, 0},
    {0, 3, 5, 52},    {0, 3, 5, 15},     {4, 3, 0, 1},   {0, 3, 240, 40}};
constexpr Placement kSplit[HUD_ELEMENTS] = {
    {1, 2, 2, 0},    {1, 2, -50, 12},   {1, 2, 2, 30},  {1, 2, -50, 42}, {1, 2, 2, 60},
    {1, 2, -50, 72}, {1, 2, 2, 150},    {1, 2, 2, 150}, {1, 2, 2, 90},   {1, 2, -180, 102},
    {1, 2, 2, 120},  {1, 2, -180, 132}, {4, 2, 0, 160}, {1, 3, 5, 15},   {0, 2, 0, 0},
    {0, 3, 5, 52},   {0, 3, 5, 15},     {4, 3, 0, 1},   {4, 3, 0, 80}};

// Value elements with their bars and label indices, in drawing order.
constexpr uint32_t kValues[5] = {HUD_LAP_TIME, HUD_TIME_LEFT, HUD_RECORD, HUD_LAP, HUD_POSITION};
constexpr uint32_t kLabelOf[5] = {1, 0, 2, 3, 4};  // labels 8025, 8024, 8026, 8027, 8028

constexpr uint32_t kTabStops[5] = {30, 70, 210, 240, 280};
constexpr int32_t kStandingsWidth = 320;

const char* FormatMSH(uint32_t minutes, uint32_t seconds, uint32_t hundredths, char* out,
                      size_t size) {
  if (minutes > 9)
    std::snprintf(out, size, "%1u%1u:%1u%1u:%1u%1u", (minutes / 10) % 10, minutes % 10,
                  seconds / 10, seconds % 10, hundredths / 10, hundredths % 10);
  else
    std::snprintf(out, size, "%1u:%1u%1u:%1u%1u", minutes, seconds / 10, seconds % 10,
                  hundredths / 10, hundredths % 10);
  return out;
}

uint32_t NonNegativeInt(double v) {
  if (!(v > 0.0)) return 0;
  if (v > 4.0e9) return 4000000000u;
  return uint32_t(v);
}

}  // namespace

void Hud_Place(const HudElement& e, int32_t w, int32_t h, const HudRect& view, int32_t* x,
               int32_t* y) {
  int32_t px, py;
  switch (e.horizontal) {
    case HUD_FAR:
    case HUD_FAR2: px = view.width - e.x - w; break;
    case HUD_CENTRE: px = (view.width - w) / 2 + e.x; break;
    default: px = e.x; break;
  }
  switch (e.vertical) {
    case HUD_FAR:
    case HUD_FAR2: py = e.y; break;
    case HUD_CENTRE: py = (view.height - h) / 2 + e.y; break;
    default: py = view.height - e.y - h; break;
  }
  *x = px + view.x;
  *y = py + view.y;
}

uint32_t Hud_SizeClass(uint32_t width) { return width <= 640 ? 0 : (width < 1024 ? 1 : 2); }

void Hud_SplitRects(uint32_t width, uint32_t height, HudRect* upper, HudRect* lower) {
  const int32_t half = int32_t((height + 1) / 2);
  *lower = HudRect{0, 0, int32_t(width), half};
  *upper = HudRect{0, half, int32_t(width), int32_t(height) - half};
}

const char* Hud_FormatLapTime(float t, char* out, size_t size) {
  const uint32_t n = NonNegativeInt(double(t) * 100.0 + 0.5);
  return FormatMSH(n / 6000, (n / 100) % 60, n % 100, out, size);
}

const char* Hud_FormatTimeLeft(uint32_t raceMinutes, float elapsed, char* out, size_t size) {
  const double left = double(raceMinutes) * 60.0 - double(elapsed);
  const uint32_t s = NonNegativeInt(left);
  const uint32_t m = s / 60, r = s % 60;
  std::snprintf(out, size, "%1u%1u:%1u%1u", (m / 10) % 10, m % 10, r / 10, r % 10);
  return out;
}

const char* Hud_FormatRecord(float v, char* out, size_t size) {
  if (v == HUD_NO_RECORD || !std::isfinite(v)) {
    std::snprintf(out, size, "--:--:--");
    return out;
  }
  const uint32_t s = NonNegativeInt(v);
  return FormatMSH(s / 60, s % 60, NonNegativeInt(double(v) * 100.0) % 100, out, size);
}

const char* Hud_FormatStoredLap(uint32_t minutes, uint32_t seconds, uint32_t hundredths, char* out,
                                size_t size) {
  return FormatMSH(minutes % 100, seconds % 100, hundredths % 100, out, size);
}

const char* Hud_PositionText(uint32_t position, char* out, size_t size) {
  if (position == 0 || position > HUD_MAX_PLAYERS)
    out[0] = 0;
  else
    std::snprintf(out, size, "%u", position);
  return out;
}

const char* Hud_GapText(float g, float lapLength, char* out, size_t size) {
  const char sign = g < 0 ? '-' : '+';
  if (std::fabs(g) <= lapLength || lapLength < 1.0f) {
    std::snprintf(out, size, "\t%c%um", sign, NonNegativeInt(std::fabs(double(g) + 0.5)));
  } else {
    const uint32_t laps =
        NonNegativeInt(std::fabs(double(g))) / std::max(1u, NonNegativeInt(lapLength));
    std::snprintf(out, size, "\t%c%ul", sign, laps);
  }
  return out;
}

void Hud_LowerModeText(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
    if (*p < 0x80) *p = uint8_t(std::tolower(*p));
    if (*p >= 0xB6 && *p <= 0xBE) *p = uint8_t(*p - 9);
  }
}

uint32_t Hud_OrderNameTags(const float* distances, uint32_t count, uint32_t* order) {
  if (count > HUD_MAX_PLAYERS) count = HUD_MAX_PLAYERS;
  float kept[HUD_MAX_PLAYERS];
  uint32_t n = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at = 0;
    while (at < n && !(distances[i] > kept[at])) ++at;
    for (uint32_t k = n; k > at; --k) {
      kept[k] = kept[k - 1];
      order[k] = order[k - 1];
    }
    kept[at] = distances[i];
    order[at] = i;
    ++n;
  }
  return n;
}

bool Hud_IntervalHolds(float from, float to, float d) {
  if (from < to) return from <= d && d < to;
  if (from > to) return d < to || d >= from;
  return false;
}

// ---- Canvas painter ------------------------------------------------------------------------

void CanvasHudPainter::MeasureText(VQFont* font, const char* text, int32_t* w, int32_t* h) {
  *w = *h = 0;
  if (font) font->MeasureText(text, w, h);
}

void CanvasHudPainter::DrawText(VQFont* font, int32_t x, int32_t y, const char* text) {
  if (font) font->DrawToCanvas(m_canvas, x, y, text);
}

void CanvasHudPainter::DrawTextInRect(VQFont* font, const char* text, int32_t x, int32_t y,
                                      int32_t w, int32_t h) {
  if (!font) return;
  const int32_t position[2] = {x, y}, size[2] = {w, h};
  font->DrawInRect(m_canvas, text, position, size, 0, 0);
}

void CanvasHudPainter::DrawTextAtPoint(VQFont* font, const VQVector& point, const char* text) {
  if (font) font->DrawAtPoint(m_canvas, m_viewport, point, text, true);
}

void CanvasHudPainter::SetTabStops(VQFont* font, const uint32_t* stops, uint32_t count) {
  if (font) font->SetTabStops(stops, count);
}

void CanvasHudPainter::ImageSize(const VQImageRef* image, int32_t* w, int32_t* h) {
  *w = image ? int32_t(image->GetWidth()) : 0;
  *h = image ? int32_t(image->GetHeight()) : 0;
}

void CanvasHudPainter::DrawImage(const VQImageRef* image, int32_t x, int32_t y, int32_t w) {
  if (!image || !m_canvas) return;
  const int32_t full = int32_t(image->GetWidth()), h = int32_t(image->GetHeight());
  if (w >= full) {
    m_canvas->BlitImage(image, x, y, 1, 0);
    return;
  }
  if (w <= 0) return;
  const int32_t sx = 0, sy = 0;
  m_canvas->BlitImageRects(image, 1, &x, &y, &sx, &sy, &w, &h);
}

// ---- The view ------------------------------------------------------------------------------

void PlayerView::Layout(bool split, uint32_t which, bool hasMap, int32_t mapX, int32_t mapY) {
  const Placement* table = split ? kSplit : kFull;
  for (uint32_t i = 0; i < HUD_ELEMENTS; ++i) {
    if (i == HUD_TRACK_MAP) {
      if (hasMap) m_elements[i] = HudElement{1, HUD_NEAR, HUD_NEAR2, mapX, mapY};
      continue;
    }
    if (i == HUD_FRAME_RATE && split && which == 0) continue;
    m_elements[i] = HudElement{1, table[i].h, table[i].v, table[i].x, table[i].y};
  }
  if (split && which == 0) m_elements[HUD_RACE_INFO].visible = 0;
}

void PlayerView::SetHudMode(uint32_t mode) {
  for (auto& e : m_elements) e.visible = 0;
  auto show = [&](uint32_t from, uint32_t to) {
    for (uint32_t i = from; i <= to; ++i) m_elements[i].visible = 1;
  };
  switch (mode) {
    case 0: show(0, HUD_ELEMENTS - 1); break;
    case 1: show(0, 12), show(15, 16); break;
    case 2: show(0, 12), show(15, 16), show(18, 18); break;
    case 3: show(2, 9), show(12, 12), show(14, 18); break;
    case 4: show(18, 18); break;
    default: break;
  }
}

void PlayerView::SetMessage(const char* text, float seconds, float now) {
  if (!text) {
    m_message[0] = 0;
  } else {
    std::strncpy(m_message, text, HUD_MESSAGE_SIZE - 1);
    m_message[HUD_MESSAGE_SIZE - 1] = 0;
  }
  m_messageDuration = seconds;
  m_messageStart = now;
}

void PlayerView::SetRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  m_rect = HudRect{x, y, width, height};
}

void PlayerView::Place(uint32_t element, int32_t w, int32_t h, int32_t* x, int32_t* y) const {
  Hud_Place(m_elements[element], w, h, m_rect, x, y);
}

void PlayerView::DrawValue(HudPainter& p, VQFont* font, uint32_t element, const char* text) {
  if (!m_elements[element].visible || !font || !text[0]) return;
  int32_t w, h, x, y;
  p.MeasureText(font, text, &w, &h);
  Place(element, w, h, &x, &y);
  p.DrawText(font, x, y, text);
}

void PlayerView::DrawStandings(HudPainter& p, const HudFrame& f, const HudFonts& fonts) {
  for (VQFont* font : {fonts.behind, fonts.own, fonts.ahead}) p.SetTabStops(font, kTabStops, 5);
  if (f.lapCounter == 0 || !fonts.own) return;
  int32_t tw, rowHeight;
  p.MeasureText(fonts.own, "0", &tw, &rowHeight);
  int32_t x, y;
  Place(HUD_STANDINGS, kStandingsWidth, rowHeight, &x, &y);
  char line[160], gap[32];
  auto row = [&](const HudStandingsRow& r, bool own) {
    if (own) {
      std::snprintf(line, sizeof line, "%u\t%s%u\t%s\t%u\t ", r.position,
                    r.raceNumber < 10 ? "0" : "", r.raceNumber, r.name ? r.name : "", r.laps);
    } else {
      Hud_GapText(r.distance - f.myDistance, f.lapLength, gap, sizeof gap);
      std::snprintf(line, sizeof line, "%u\t%s%u\t%s\t%u%s", r.position,
                    r.raceNumber < 10 ? "0" : "", r.raceNumber, r.name ? r.name : "", r.laps, gap);
    }
  };
  if (f.behind.present && f.position < f.playerCount) {
    row(f.behind, false);
    p.DrawTextInRect(fonts.behind, line, x, y, kStandingsWidth, rowHeight);
  }
  y += rowHeight + 4;
  row(f.own, true);
  p.DrawTextInRect(fonts.own, line, x, y, kStandingsWidth, rowHeight);
  y += rowHeight + 4;
  if (f.ahead.present && f.position > 1) {
    row(f.ahead, false);
    p.DrawTextInRect(fonts.ahead, line, x, y, kStandingsWidth, rowHeight);
  }
}

void PlayerView::DrawHud(HudPainter& p, const HudFrame& f, const HudFonts& fonts,
                         const VQImageRef* bar, float step) {
  if (!f.hasEntry) return;
  char text[300];
  // Name tags, farthest first, so nearer names are drawn over farther ones.
  if (f.nameTags && fonts.menu) {
    float d[HUD_MAX_PLAYERS];
    uint32_t order[HUD_MAX_PLAYERS];
    const uint32_t n = std::min(f.tagCount, HUD_MAX_PLAYERS);
    for (uint32_t i = 0; i < n; ++i) d[i] = f.tags[i].distance2;
    const uint32_t k = Hud_OrderNameTags(d, n, order);
    for (uint32_t i = 0; i < k; ++i) {
      const HudNameTag& t = f.tags[order[i]];
      p.DrawTextAtPoint(fonts.menu, t.position + VQVector(0, 0.3f, 0), t.name ? t.name : "");
    }
  }
  if (m_elements[HUD_TRACK_MAP].visible && f.mapImage) {
    int32_t w, h, x, y;
    p.ImageSize(f.mapImage, &w, &h);
    Place(HUD_TRACK_MAP, w, h, &x, &y);
    if (f.drawMap) f.drawMap(f.mapContext, step, x, y);
  }
  for (uint32_t i = 0; i < 5; ++i) {
    const uint32_t e = kValues[i];
    if (!m_elements[e].visible || !bar) continue;
    int32_t w, h, x, y;
    p.ImageSize(bar, &w, &h);
    Place(e + 1, w, h, &x, &y);
    p.DrawImage(bar, x, y, w);
  }
  if (fonts.menu) {
    for (uint32_t i = 0; i < 5; ++i) {
      const uint32_t e = kValues[i];
      if (!m_elements[e].visible) continue;
      int32_t w = 0, h = 0, x, y;
      if (bar) p.ImageSize(bar, &w, &h);
      Place(e + 1, w, h, &x, &y);
      const char* label = m_labels[kLabelOf[i]];
      p.DrawText(fonts.menu, x + 10, y + 2, label ? label : "");
    }
  }
  DrawValue(p, fonts.a, HUD_LAP_TIME, Hud_FormatLapTime(f.lapTime, text, sizeof text));
  DrawValue(p, fonts.a, HUD_TIME_LEFT,
            Hud_FormatTimeLeft(f.raceMinutes, f.elapsed, text, sizeof text));
  DrawValue(p, fonts.a, HUD_RECORD, Hud_FormatRecord(f.record, text, sizeof text));
  if (f.lapCounter > 0) {
    std::snprintf(text, sizeof text, "%u", f.lapCounter);
    DrawValue(p, fonts.a, HUD_LAP, text);
  }
  DrawValue(p, fonts.a, HUD_POSITION, Hud_PositionText(f.position, text, sizeof text));
  // The message, placed with x kept on the canvas; it disappears once its time has passed.
  if (m_message[0] && fonts.a) {
    if (m_elements[HUD_MESSAGE].visible) {
      int32_t w, h, x, y;
      p.MeasureText(fonts.a, m_message, &w, &h);
      Place(HUD_MESSAGE, w, h, &x, &y);
      if (x < 0) x = 0;
      p.DrawText(fonts.a, x, y, m_message);
    }
    if (m_messageDuration > 0.0f && f.raceTime > m_messageStart + m_messageDuration) {
      m_message[0] = 0;
      m_messageDuration = 0.0f;
    }
  }
  if (m_elements[HUD_LAP_LIST_ELEMENT].visible && fonts.b) {
    const uint32_t k = std::min(f.lapCount, HUD_LAP_LIST);
    for (uint32_t i = 0; i < k; ++i) {
      const HudLap& l = f.laps[i];
      Hud_FormatStoredLap(l.minutes, l.seconds, l.hundredths, text, sizeof text);
      int32_t w, h, x, y;
      p.MeasureText(fonts.b, text, &w, &h);
      Place(HUD_LAP_LIST_ELEMENT, w, h, &x, &y);
      p.DrawText(fonts.b, x, y - 20 * int32_t(i), text);
    }
  }
  struct Gauge {
    uint32_t element;
    const VQImageRef* gauge;
    const VQImageRef* bar;
    float value, full;
    const char* label;
    int32_t textY;
  };
  const Gauge gauges[2] = {
      {HUD_SPEEDOMETER, f.speedGauge, f.speedBar, f.speed * 3.6f, f.fullSpeed, f.speedLabel, 19},
      {HUD_REV_COUNTER, f.revGauge, f.revBar, std::fabs(f.engineSpeed + 500.0f), f.fullEngine,
       f.engineLabel, 3}};
  for (const Gauge& g : gauges) {
    if (!m_elements[g.element].visible || !g.gauge) continue;
    int32_t w, h, x, y;
    p.ImageSize(g.gauge, &w, &h);
    Place(g.element, w, h, &x, &y);
    p.DrawImage(g.gauge, x, y, w);
    if (g.bar && g.full > 0.0f && g.value / g.full > 0.0f) {
      int32_t bw, bh;
      p.ImageSize(g.bar, &bw, &bh);
      const int32_t fill = int32_t(std::min(double(bw), std::floor(double(bw) * g.value / g.full)));
      if (fill > 0) p.DrawImage(g.bar, x, y, fill);
    }
    std::snprintf(text, sizeof text, "%s %u", g.label ? g.label : "", NonNegativeInt(g.value));
    if (f.gaugeFont) p.DrawText(f.gaugeFont, x + 3, y + g.textY, text);
  }
  if (f.infoLine && fonts.menu) DrawValue(p, fonts.menu, HUD_RACE_INFO, f.infoLine);
  DrawStandings(p, f, fonts);
  if (f.countdown >= 0 && fonts.countdown) {
    const char c[2] = {char(32 + std::min(f.countdown, 223)), 0};
    int32_t w, h;
    p.MeasureText(fonts.countdown, c, &w, &h);
    const int32_t x = m_rect.x + (m_rect.width - w) / 2;
    const int32_t y = m_rect.y + (m_rect.height - h) / 2 + int32_t(0.1f * float(m_rect.height));
    p.DrawText(fonts.countdown, x, y, c);
  }
  if (m_elements[HUD_FRAME_RATE].visible && f.showFrameRate && fonts.a) {
    std::snprintf(text, sizeof text, "CUR %.0f", f.frameTime > 0 ? 1.0 / f.frameTime : 0.0);
    DrawValue(p, fonts.a, HUD_FRAME_RATE, text);
    std::snprintf(text, sizeof text, "AVG %.0f", f.averageStep > 0 ? 1.0 / f.averageStep : 0.0);
    int32_t w, h, x, y;
    p.MeasureText(fonts.a, text, &w, &h);
    HudElement e = m_elements[HUD_FRAME_RATE];
    e.x += 150;
    Hud_Place(e, w, h, m_rect, &x, &y);
    p.DrawText(fonts.a, x, y, text);
  }
}
