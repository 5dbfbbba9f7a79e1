// What the players see of a RaceSession on a canvas: one view on the whole canvas or two on a
// split screen (the first above, the second below; an odd height leaves no row out), each a
// viewport of the track's scene whose race camera shows the car it follows through the track's
// cameras (the start fly-in from the tower, then the chase camera or the trackside cameras along
// the lap), a HUD per view (lap time, laps, position, standings,
// countdown, messages, the track map with the cars) drawn by the canvas's post-scene hook, the
// cars' shadows on the ground under the track's sun, and the weather's rain streaks.
//
// Use, once the session is loaded with the canvas's display device and its field added:
//   RaceDisplay display;
//   display.Init(&race, canvas, options);   // false: display.m_error
//   each frame: race.Frame(); display.Update(step); then the engine renders the canvas.
// Release (or the destructor) takes everything out of the track's scene and the canvas again;
// it must run before the session unloads the track.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QVX/race/PlayerView.h"

class RaceSession;
class VQCanvas;
class WeatherEffects;

constexpr uint32_t RACEDISPLAY_MAX_VIEWS = 2;

struct RaceDisplayOptions {
  uint32_t views = 1;  // 1 full screen, 2 split screen
  bool hud = true;
  bool shadows = true;
  bool weather = true;  // rain streaks and thunder of the track's weather
  bool map = true;      // the track map in the HUD
  // The track camera a view shows after the start fly-in ("follow" chases its car; a trackside
  // camera hands over to the next one of its group along the lap). A name the track does not
  // have leaves the fly-in's final camera.
  std::string camera = "follow";
  // Before the green light the views fly in from the track's first start camera to its final
  // one; off: they show their own camera at once.
  bool flyIn = true;
  // Where the HUD fonts ("font_laptimes*.tga") are; empty: the data folder's "Maps_high".
  std::string fontFolder;
};

class RaceDisplay {
 public:
  RaceDisplay();
  ~RaceDisplay();
  RaceDisplay(const RaceDisplay&) = delete;
  RaceDisplay& operator=(const RaceDisplay&) = delete;

  bool Init(RaceSession* race, VQCanvas* canvas, const RaceDisplayOptions& options);
  void Release();
  // View v follows participant p (view 0 follows participant 0 and view 1 participant 1 at
  // first). Out-of-range values are ignored.
  void Follow(uint32_t view, uint32_t participant);
  // Shows the track camera of that name in the view; false when the track has none.
  bool SelectCamera(uint32_t view, const char* name);
  // The next camera of a selection kind after the view's current one; false when none.
  bool NextCamera(uint32_t view, int32_t kind);
  // The name of the view's track camera ("" before one is chosen).
  const char* CameraName(uint32_t view) const;
  // After each RaceSession::Frame: cameras, HUD frames, shadows, weather.
  void Update(float dt);

  uint32_t ViewCount() const;
  PlayerView* View(uint32_t v);
  const HudFrame* Frame(uint32_t v) const;
  HudRect ViewRect(uint32_t v) const;
  // Shadows made for the cars (0 when the track has no sun light: shadows stay off).
  uint32_t ShadowCount() const;
  bool HasRain() const;
  // The weather's rain and thunder (null without them or with the weather option off).
  WeatherEffects* Weather() const;

  std::string m_error;

 private:
  struct Impl;
  static void DrawOverlay(VQCanvas* canvas, uintptr_t user);
  void FillFrame(uint32_t v);
  std::unique_ptr<Impl> m_impl;
};
