// A player's view onto the race: a viewport on the game's canvas and the head-up display drawn
// over it. The HUD is a fixed set of 19 placed elements whose placement depends on the layout
// (full screen or split) and whose visibility is chosen by a HUD mode per game mode. The race
// hands the view what it shows each frame as a HudFrame (times, laps, positions, standings,
// gauges); DrawHud lays it out and draws it through a HudPainter, which on the canvas is the
// overlay's fonts and image blits.
//
// Canvas positions are pixels with the origin at the lower-left corner and y upward.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Zentri/math/VQVector.h"

class VQCanvas;
class VQFont;
class VQImageRef;
class VQViewport;

constexpr uint32_t HUD_ELEMENTS = 19;
constexpr uint32_t HUD_MESSAGE_SIZE = 256;  // 255 characters and the terminator
constexpr uint32_t HUD_MAX_PLAYERS = 32;    // players on a track
constexpr uint32_t HUD_LAP_LIST = 5;
constexpr uint32_t HUD_LABELS = 5;
constexpr float HUD_NO_RECORD = 100.0f;

enum HudElementId : uint32_t {
  HUD_TIME_LEFT = 0,
  HUD_TIME_LEFT_BAR = 1,
  HUD_LAP_TIME = 2,
  HUD_LAP_TIME_BAR = 3,
  HUD_RECORD = 4,
  HUD_RECORD_BAR = 5,
  HUD_LAP_LIST_ELEMENT = 6,
  HUD_SPARE = 7,
  HUD_LAP = 8,
  HUD_LAP_BAR = 9,
  HUD_POSITION = 10,
  HUD_POSITION_BAR = 11,
  HUD_MESSAGE = 12,
  HUD_STANDINGS = 13,
  HUD_TRACK_MAP = 14,
  HUD_SPEEDOMETER = 15,
  HUD_REV_COUNTER = 16,
  HUD_RACE_INFO = 17,
  HUD_FRAME_RATE = 18,
};

// Anchors: 0 and 2 measure from the left / down from the top, 1 and 3 from the right / up from
// the bottom, 4 centres.
enum HudAnchor : int32_t { HUD_NEAR = 0, HUD_FAR = 1, HUD_NEAR2 = 2, HUD_FAR2 = 3, HUD_CENTRE = 4 };

struct HudElement {
  int32_t visible = 0;
  int32_t horizontal = 0;
  int32_t vertical = 0;
  int32_t x = 0;
  int32_t y = 0;
};

struct HudRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// Where a box of w x h goes for the element inside the viewport rectangle.
void Hud_Place(const HudElement& e, int32_t w, int32_t h, const HudRect& view, int32_t* x,
               int32_t* y);
// The HUD size class of a canvas width: 0 up to 640, 1 below 1024, 2 from 1024.
uint32_t Hud_SizeClass(uint32_t width);
// The two rectangles of the split screen: the first view takes the upper part, the second the
// lower; together they cover every row of the canvas exactly once, also for odd heights.
void Hud_SplitRects(uint32_t width, uint32_t height, HudRect* upper, HudRect* lower);

// Texts. Each writes a terminated text into out (size bytes) and returns out.
// A lap time: "M:SS:HH" or, from ten minutes, "MM:SS:HH" (rounded to hundredths).
const char* Hud_FormatLapTime(float seconds, char* out, size_t size);
// Time left of a race of raceMinutes after elapsed seconds: "MM:SS", never negative.
const char* Hud_FormatTimeLeft(uint32_t raceMinutes, float elapsed, char* out, size_t size);
// A record: "--:--:--" for exactly 100.0 (no record), else as a lap time (truncated).
const char* Hud_FormatRecord(float seconds, char* out, size_t size);
const char* Hud_FormatStoredLap(uint32_t minutes, uint32_t seconds, uint32_t hundredths, char* out,
                                size_t size);
// A race position 1..32 as its number; "" for 0 or anything beyond the track's players.
const char* Hud_PositionText(uint32_t position, char* out, size_t size);
// The gap to another car: "\t+12m" within one lap length, else "\t+2l" (whole laps).
const char* Hud_GapText(float gap, float lapLength, char* out, size_t size);
// The mode text of the info line: lower-cased, and the bytes 0xB6..0xBE lowered by 9.
void Hud_LowerModeText(char* text);
// Orders up to count name tags by decreasing squared distance; order receives the indices
// (count entries, at most HUD_MAX_PLAYERS). Returns the number ordered.
uint32_t Hud_OrderNameTags(const float* distances, uint32_t count, uint32_t* order);
// Whether a lap distance d lies in a camera interval [from, to) (wrapping when from > to).
bool Hud_IntervalHolds(float from, float to, float d);

// What the view draws through. The canvas painter draws with the overlay fonts and blits.
class HudPainter {
 public:
  virtual ~HudPainter() = default;
  virtual void MeasureText(VQFont* font, const char* text, int32_t* w, int32_t* h) = 0;
  virtual void DrawText(VQFont* font, int32_t x, int32_t y, const char* text) = 0;
  virtual void DrawTextInRect(VQFont* font, const char* text, int32_t x, int32_t y, int32_t w,
                              int32_t h) = 0;
  virtual void DrawTextAtPoint(VQFont* font, const VQVector& point, const char* text) = 0;
  virtual void SetTabStops(VQFont* font, const uint32_t* stops, uint32_t count) = 0;
  virtual void ImageSize(const VQImageRef* image, int32_t* w, int32_t* h) = 0;
  // The image's left w columns (full height) at x, y.
  virtual void DrawImage(const VQImageRef* image, int32_t x, int32_t y, int32_t w) = 0;
};

class CanvasHudPainter : public HudPainter {
 public:
  CanvasHudPainter(VQCanvas* canvas, VQViewport* viewport)
      : m_canvas(canvas), m_viewport(viewport) {}
  void MeasureText(VQFont* font, const char* text, int32_t* w, int32_t* h) override;
  void DrawText(VQFont* font, int32_t x, int32_t y, const char* text) override;
  void DrawTextInRect(VQFont* font, const char* text, int32_t x, int32_t y, int32_t w,
                      int32_t h) override;
  void DrawTextAtPoint(VQFont* font, const VQVector& point, const char* text) override;
  void SetTabStops(VQFont* font, const uint32_t* stops, uint32_t count) override;
  void ImageSize(const VQImageRef* image, int32_t* w, int32_t* h) override;
  void DrawImage(const VQImageRef* image, int32_t x, int32_t y, int32_t w) override;

  VQCanvas* m_canvas;
  VQViewport* m_viewport;
};

struct HudFonts {
  VQFont* a = nullptr;       // "font_laptimes.tga"
  VQFont* b = nullptr;       // "font_laptimes75white.tga"
  VQFont* own = nullptr;     // green row
  VQFont* ahead = nullptr;   // orange row
  VQFont* behind = nullptr;  // blue row
  VQFont* countdown = nullptr;
  VQFont* menu = nullptr;  // the menu's font
};

struct HudStandingsRow {
  bool present = false;
  uint32_t position = 0;
  uint32_t raceNumber = 0;
  const char* name = "";
  uint32_t laps = 0;
  float distance = 0.0f;  // laps x lap length + distance along the lap
};

struct HudLap {
  uint32_t minutes = 0, seconds = 0, hundredths = 0;
};

struct HudNameTag {
  VQVector position{0, 0, 0};
  float distance2 = 0.0f;  // squared distance from the view's camera
  const char* name = "";
};

// One frame of what the HUD shows; filled by the race for the view's player.
struct HudFrame {
  bool hasEntry = false;  // the player, its car and its tracker entry exist
  float lapTime = 0.0f;
  uint32_t raceMinutes = 3;
  float elapsed = 0.0f;
  float record = HUD_NO_RECORD;
  uint32_t lapCounter = 0;
  uint32_t position = 0;
  uint32_t playerCount = 1;
  uint32_t lapCount = 0;  // laps held (the last HUD_LAP_LIST are given, oldest first)
  HudLap laps[HUD_LAP_LIST];
  float raceTime = 0.0f;
  // Gauges of the car's class.
  const VQImageRef* speedGauge = nullptr;
  const VQImageRef* speedBar = nullptr;
  const VQImageRef* revGauge = nullptr;
  const VQImageRef* revBar = nullptr;
  VQFont* gaugeFont = nullptr;
  float speed = 0.0f;  // metres per second
  float engineSpeed = 0.0f;
  float fullSpeed = 0.0f;
  float fullEngine = 0.0f;
  const char* speedLabel = "";
  const char* engineLabel = "";
  const char* infoLine = nullptr;  // the finished info line (null: none)
  // Standings.
  float lapLength = 0.0f;
  float myDistance = 0.0f;
  HudStandingsRow behind, own, ahead;
  // Countdown: -1 none, else 0.. (the character 32 + n of the countdown font).
  int32_t countdown = -1;
  // Frame rate.
  bool showFrameRate = false;
  float frameTime = 0.0f;
  float averageStep = 0.0f;
  // Name tags (network play).
  bool nameTags = false;
  uint32_t tagCount = 0;
  HudNameTag tags[HUD_MAX_PLAYERS];
  // Track map.
  const VQImageRef* mapImage = nullptr;
  void (*drawMap)(void* context, float step, int32_t x, int32_t y) = nullptr;
  void* mapContext = nullptr;
};

class PlayerView {
 public:
  PlayerView() = default;

  // Element placement of a layout; the map element only with a map (at its own offsets); the
  // first split view hides the race info and leaves the frame rate where it was.
  void Layout(bool split, uint32_t which, bool hasMap = false, int32_t mapX = 0, int32_t mapY = 0);
  void SetHudMode(uint32_t mode);
  // Copies at most 255 characters (null empties), shown for seconds from now (0: until replaced).
  void SetMessage(const char* text, float seconds, float now);
  void SetRect(int32_t x, int32_t y, int32_t width, int32_t height);
  // Draws the HUD of this view. bar is the shared HUD bar image (may be null).
  void DrawHud(HudPainter& painter, const HudFrame& frame, const HudFonts& fonts,
               const VQImageRef* bar, float step);

  HudElement m_elements[HUD_ELEMENTS];
  HudRect m_rect;
  uint32_t m_sizeClass = 0;
  const char* m_labels[HUD_LABELS] = {"", "", "", "", ""};  // message strings 8024..8028
  char m_message[HUD_MESSAGE_SIZE] = {};
  float m_messageDuration = 0.0f;
  float m_messageStart = 0.0f;
  float m_cameraTimer = 100.0f;
  uint8_t m_flyInDone = 0;

 private:
  void Place(uint32_t element, int32_t w, int32_t h, int32_t* x, int32_t* y) const;
  void DrawValue(HudPainter& p, VQFont* font, uint32_t element, const char* text);
  void DrawStandings(HudPainter& p, const HudFrame& f, const HudFonts& fonts);
};
