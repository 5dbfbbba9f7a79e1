#include "QVX/race/RaceDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "QVX/race/CarShadow.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceCamera.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/RaceSounds.h"
#include "QVX/race/RaceTracker.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/TrackMap.h"
#include "QVX/race/WeatherEffects.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/vehicle/VQVehicleModel.h"

namespace {

constexpr float kCameraFov = 1.2f;  // radians, horizontal, until a track camera is chosen
// Where a fixed camera looks at the followed car: this far above its origin on the ground.
constexpr float kTargetHeight = 0.8f;
constexpr int32_t kMapSize = 96;    // pixels of the map square in the HUD
constexpr int32_t kMapMargin = 8;
// The selection kind of the trackside cameras a race of computer drivers moves on to at the lap
// line.
constexpr int32_t kLapLineCameraKind = 2;

enum HudFontSlot : uint32_t {
  FONT_A = 0,
  FONT_B,
  FONT_GREEN,
  FONT_ORANGE,
  FONT_BLUE,
  FONT_MARKERS,
  FONT_SLOTS
};
const char* const kFontFiles[FONT_SLOTS] = {"font_laptimes.tga",        "font_laptimes75white.tga",
                                            "font_laptimes75green.tga", "font_laptimes75orange.tga",
                                            "font_laptimes75blue.tga",  "font_minimap.tga"};
// The map image: 32-bit pixels with alpha in the top byte, rows stored bottom first.
constexpr uint32_t kMapFormat = 11;
constexpr uint32_t kMapClear = 0x60000000u;  // a see-through dark square
constexpr uint32_t kMapEdge = 0xFF202020u;
constexpr uint32_t kMapRoad = 0xFFF0F0F0u;
constexpr uint32_t kMapStart = 0xFFE03020u;

}  // namespace

struct RaceDisplay::Impl {
  RaceSession* race = nullptr;
  VQCanvas* canvas = nullptr;
  RaceDisplayOptions options;
  uint32_t viewCount = 0;
  struct View {
    VQViewport* viewport = nullptr;
    std::unique_ptr<VQCamera> camera;
    PlayerView hud;
    HudFrame frame;
    TrackMap map;
    uint32_t follow = 0;
    HudRect rect;
    // The track camera in use and the race camera that moves the engine camera for it; the
    // target stands for the followed car (its pose copied from the vehicle model every frame),
    // so that bare vehicle models and game cars are followed alike.
    RaceCamera controller;
    const TrackCameraRecord* current = nullptr;
    std::unique_ptr<VQTransformNode> target;
    float cameraTimer = 100.0f;
    bool flyInDone = false;
    Impl* owner = nullptr;
    uint32_t index = 0;
  } views[RACEDISPLAY_MAX_VIEWS];
  VQFontManager fonts;
  HudFonts hudFonts;
  std::unique_ptr<ShadowManager> shadows;
  VQGroupNode* shadowGroup = nullptr;
  struct CarShadowLink {
    CarShadow* shadow;
    VQVehicleModel* model;
    VQNode* wheels[4];
    VQNode* mesh;
    VQNode* home;  // the car's group the shadow mesh came from; it goes back there
    uint8_t enabled;  // the mesh's own enabled byte, given back with it
  };
  std::vector<CarShadowLink> carShadows;
  std::unique_ptr<WeatherEffects> weather;
  RainConfig rain;
  // The track map: an image of the computer line drawn at Init, and the frame that maps the
  // ground plane into it (map pixel = (point - mapLow) x mapScale).
  VQPixmap* mapPixmap = nullptr;
  std::unique_ptr<VQImageRef> mapImage;
  VQVector2 mapLow{0, 0};
  float mapScale = 0.0f;
  VQFont* markerFont = nullptr;

  bool MakeMap();
  void DrawMap(View& view, int32_t x, int32_t y);
  float step = 0.0f;
  bool callbacksSet = false;

  void SelectCamera(View& view, const TrackCameraRecord* record);
  void UpdateCamera(View& view, float dt);
  // The view's next camera of a selection kind; the first time after the race start it only
  // ends the fly-in on the camera the view holds.
  void NextCamera(View& view, int32_t kind);
  // The end of the start fly-in: the view's own camera from now on, the rain at its full
  // strength.
  void EndFlyIn(View& view);
  // Tells the race's sounds which car the view shows (its collision sounds carry the view).
  void TagCar(uint32_t participant, uint32_t view);
  // Before a view's scene renders: the rain scrolls with that view's own state, and on a split
  // screen only the collision sounds of the view's car are heard.
  static void BeforeScene(VQViewport* viewport, uintptr_t word);
  // Race events: in a race of computer drivers only, the first view moves on to its next
  // trackside camera each time the car it follows crosses the lap line.
  static void OnRaceEvent(void* user, int32_t event, TrackRacer* racer, int32_t argument);
  // The followed car's distance along the lap (metres along the computer line).
  float LapDistance(uint32_t participant) const;
};

void RaceDisplay::Impl::SelectCamera(View& view, const TrackCameraRecord* r) {
  view.current = r;
  if (!r) return;
  RaceCamera& c = view.controller;
  c.SetMode(r->type);
  c.SetClipRange(r->Float1(0), r->Float1(1));
  if (r->Float1(2) > 0.0f && r->Float1(2) < 180.0f) c.SetFieldOfView(r->Float1(2));
  c.SetTarget(std::strcmp(r->target, "<none>") == 0 ? nullptr : view.target.get());
  switch (r->type) {
    case TRACK_CAMERA_FIXED:
      c.SetZoom(r->Float2(0), r->Float2(1), r->Float2(2));
      c.SetPosition(r->vector1);
      c.SetCameraVector(r->vector2);
      c.SetTargetPoint(VQVector(0, 0, kTargetHeight));
      break;
    case TRACK_CAMERA_ATTACHED: {
      VQMatrix m;
      std::memcpy(m.m, r->matrix, sizeof m.m);
      c.SetRelativeMatrix(m);
      break;
    }
    case TRACK_CAMERA_CHASE: {
      c.SetChaseOffset(r->vector1);
      c.SetTargetPoint(r->vector2);
      // The record's first chase value is the share of the offset the leash keeps; a record
      // without one keeps the whole offset behind the car.
      float factor = 0.0f;
      std::memcpy(&factor, &r->values3[0], 4);
      c.SetChaseFactor(factor > 0.0f && factor <= 1.0f ? factor : 1.0f);
      break;
    }
    default: break;
  }
  c.Apply();
  view.cameraTimer = r->intervalFrom == r->intervalTo ? 0.0f : 100.0f;
}

void RaceDisplay::Impl::NextCamera(View& view, int32_t kind) {
  if (!view.flyInDone) {
    EndFlyIn(view);
    return;
  }
  if (const TrackCameraRecord* r = race->GetSimulation().NextCamera(view.current, kind))
    SelectCamera(view, r);
}

void RaceDisplay::Impl::EndFlyIn(View& view) {
  view.flyInDone = true;
  const TrackCameraRecord* own = race->GetSimulation().FindCamera(options.camera.c_str());
  SelectCamera(view, own ? own : race->GetTrack().m_startCameras[1]);
  if (weather && weather->m_rain) {
    weather->m_rain->SetOpacity(rain.opacity);
    weather->SetRainVolume(1.0f);
  }
}

void RaceDisplay::Impl::TagCar(uint32_t participant, uint32_t view) {
  RaceSounds* sounds = race ? race->GetSounds() : nullptr;
  TrackRacer* racer = race ? race->GetRacer(participant) : nullptr;
  if (sounds && racer && racer->GetVehicle()) sounds->SetCarView(racer->GetVehicle(), view);
}

void RaceDisplay::Impl::BeforeScene(VQViewport*, uintptr_t word) {
  auto* view = reinterpret_cast<View*>(word);
  Impl& s = *view->owner;
  if (s.weather) s.weather->SetCurrentView(view->index);
  if (s.viewCount > 1 && s.race)
    if (RaceSounds* sounds = s.race->GetSounds())
      sounds->Board().EnableCollisionSoundsOf(view->index + 1);
}

void RaceDisplay::Impl::OnRaceEvent(void* user, int32_t event, TrackRacer* racer, int32_t) {
  auto& s = *static_cast<Impl*>(user);
  if (event != RACE_EVENT_LAP || !s.race || s.viewCount == 0) return;
  if (s.race->GetTrack().m_services.gameMode != GAME_MODE_COMPUTERS) return;
  View& view = s.views[0];
  if (!racer || s.race->GetRacer(view.follow) != racer) return;
  s.NextCamera(view, kLapLineCameraKind);
}

float RaceDisplay::Impl::LapDistance(uint32_t participant) const {
  TrackRacer* r = race->GetRacer(participant);
  Track& track = race->GetTrack();
  const TrackAILine* line = track.m_aiLineCount ? track.m_aiLines[0] : nullptr;
  if (!r || !line) return 0.0f;
  uint32_t lap = 0, segment = 0;
  float fraction = 0.0f;
  r->GetProgress(&lap, &segment, &fraction);
  float d = 0.0f;
  for (uint32_t k = 0; k < segment && k < line->Count(); ++k) d += line->lengths[k];
  if (segment < line->Count()) d += line->lengths[segment] * fraction;
  return d;
}

bool RaceDisplay::Impl::MakeMap() {
  Track& track = race->GetTrack();
  const TrackAILine* line = track.m_aiLineCount ? track.m_aiLines[0] : nullptr;
  if (!line || line->Count() < 2 || !canvas->m_device) return false;
  float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
  for (const VQVector2& p : line->points) {
    lo[0] = std::fmin(lo[0], p.x), lo[1] = std::fmin(lo[1], p.y);
    hi[0] = std::fmax(hi[0], p.x), hi[1] = std::fmax(hi[1], p.y);
  }
  const float span = std::fmax(hi[0] - lo[0], hi[1] - lo[1]);
  if (!(span > 0.0f)) return false;
  // A margin of a few pixels keeps the line's rim inside the square.
  const float inner = float(kMapSize - 8);
  mapScale = inner / span;
  mapLow = VQVector2(lo[0] - 4.0f / mapScale - (span - (hi[0] - lo[0])) * 0.5f,
                     lo[1] - 4.0f / mapScale - (span - (hi[1] - lo[1])) * 0.5f);
  mapPixmap = canvas->m_device->CreatePixmap(kMapSize, kMapSize, kMapFormat);
  if (!mapPixmap) return false;
  uint32_t pitch = 0;
  auto* px = static_cast<uint32_t*>(mapPixmap->Lock(&pitch));
  if (!px) return false;
  for (uint32_t y = 0; y < uint32_t(kMapSize); ++y)
    for (uint32_t x = 0; x < uint32_t(kMapSize); ++x) px[y * pitch + x] = kMapClear;
  auto disc = [&](float cx, float cy, int r, uint32_t colour) {
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        if (dx * dx + dy * dy > r * r + r) continue;
        const int x = int(cx) + dx, y = int(cy) + dy;
        if (x >= 0 && y >= 0 && x < kMapSize && y < kMapSize)
          px[uint32_t(y) * pitch + uint32_t(x)] = colour;
      }
  };
  // The rim first, then the road over it, in half-pixel steps along the closed line.
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t n = line->Count();
    for (uint32_t k = 0; k < n; ++k) {
      const VQVector2 a = line->points[k], b = line->points[(k + 1) % n];
      const float ax = (a.x - mapLow.x) * mapScale, ay = (a.y - mapLow.y) * mapScale;
      const float bx = (b.x - mapLow.x) * mapScale, by = (b.y - mapLow.y) * mapScale;
      const int steps = std::max(1, int(std::hypot(bx - ax, by - ay) * 2.0f));
      for (int i = 0; i < steps; ++i) {
        const float t = float(i) / float(steps);
        disc(ax + (bx - ax) * t, ay + (by - ay) * t, pass ? 1 : 2, pass ? kMapRoad : kMapEdge);
      }
    }
  }
  const VQVector2 s0 = line->points[0];
  disc((s0.x - mapLow.x) * mapScale, (s0.y - mapLow.y) * mapScale, 2, kMapStart);
  mapPixmap->m_valid = 1;
  mapImage = std::make_unique<VQImageRef>(mapPixmap);
  return true;
}

void RaceDisplay::Impl::DrawMap(View& view, int32_t x, int32_t y) {
  if (!mapImage) return;
  canvas->BlitImage(mapImage.get(), x, y, 1, 0);
  // The cars' marks: the marker font's glyph of each car's standing, seen from the followed car.
  Track& track = race->GetTrack();
  std::vector<TrackMapCar> cars;
  uint32_t reference = 0;
  for (uint32_t i = 0; i < race->ParticipantCount(); ++i) {
    TrackRacer* r = race->GetRacer(i);
    if (!r) continue;
    const RaceTrackerEntry* e = track.m_tracker ? track.m_tracker->FindEntry(r) : nullptr;
    TrackMapCar c;
    const VQVector p = r->GetPosition();
    c.position = VQVector2(p.x - mapLow.x, p.y - mapLow.y);
    c.standing = e ? e->position : 0;
    if (i == view.follow) reference = c.standing;
    cars.push_back(c);
  }
  const uint32_t n = view.map.BuildCars(float(x), float(y), cars, reference, false);
  if (markerFont) {
    char glyphs[TRACKMAP_MAX_MARKERS];
    for (uint32_t i = 0; i < n; ++i) glyphs[i] = char(view.map.m_glyphs[i]);
    markerFont->DrawGlyphRun(canvas, glyphs, n, view.map.m_markerX, view.map.m_markerY);
  } else if (hudFonts.b) {
    // Without the marker font: the first pass of marks as the standing's digit.
    std::string digits;
    const uint32_t half = n / 2;
    for (uint32_t i = 0; i < half; ++i) {
      const uint32_t pos = cars[i].standing;
      digits.push_back(pos >= 1 && pos <= 9 ? char('0' + pos) : '*');
    }
    hudFonts.b->DrawGlyphRun(canvas, digits.data(), uint32_t(digits.size()), view.map.m_markerX,
                             view.map.m_markerY);
  }
}

void RaceDisplay::Impl::UpdateCamera(View& view, float dt) {
  Track& track = race->GetTrack();
  Simulation& sim = race->GetSimulation();
  // The start fly-in: from the track's first start camera to its final one over the first four
  // seconds of the start sequence, as a fixed camera moving between the two positions.
  const TrackCameraRecord* first = track.m_startCameras[0];
  const TrackCameraRecord* final = track.m_startCameras[1];
  const bool starting = track.m_state == RACE_STATE_WAITING ||
                        (track.m_state == RACE_STATE_START && track.m_stateTime < 4.0f);
  if (options.flyIn && starting && !view.flyInDone && first && final) {
    const float f = track.m_state == RACE_STATE_START ? Track::FlyInBlend(track.m_stateTime) : 0.0f;
    auto zoom = [](const TrackCameraRecord* r) {
      return r->type == TRACK_CAMERA_FIXED ? r->Float2(2) : 1.0f;
    };
    SelectCamera(view, first);
    view.controller.Update(0.0f, false);
    const VQVector p1 = view.camera->GetPosition();
    SelectCamera(view, final);
    view.controller.Update(0.0f, false);
    const VQVector p2 = view.camera->GetPosition();
    RaceCamera& c = view.controller;
    c.SetMode(RACECAMERA_FIXED);
    c.SetPosition(p1 * (1.0f - f) + p2 * f);
    c.SetFieldOfView(first->Float1(2) * (1.0f - f) + final->Float1(2) * f);
    const float z = zoom(first) * (1.0f - f) + zoom(final) * f;
    c.SetZoom(z, z, 0.0f);
    c.SetTargetPoint(VQVector(0, 0, kTargetHeight));
    c.Apply();
    c.Update(dt, false);
    if (weather && weather->m_rain) {
      weather->m_rain->SetOpacity(rain.opacity * f);
      weather->SetRainVolume(f);
    }
    return;
  }
  if (!view.flyInDone) EndFlyIn(view);
  if (!view.current) {
    view.cameraTimer += dt;
    return;
  }
  // A camera watching a stretch of the lap hands over to the next one of its group when the
  // car leaves its stretch.
  const TrackCameraRecord* cur = view.current;
  if (cur->intervalFrom != cur->intervalTo && view.cameraTimer > 1.0f) {
    const float d = LapDistance(view.follow);
    if (!Hud_IntervalHolds(cur->intervalFrom, cur->intervalTo, d))
      for (uint32_t i = 0; i < sim.m_cameraCount; ++i) {
        const TrackCameraRecord* r = sim.m_cameras[i];
        if (r && r->intervalFrom != r->intervalTo && r->group == cur->group &&
            Hud_IntervalHolds(r->intervalFrom, r->intervalTo, d)) {
          SelectCamera(view, r);
          break;
        }
      }
  }
  view.controller.Update(dt, false);
  view.cameraTimer += dt;
}

RaceDisplay::RaceDisplay() : m_impl(std::make_unique<Impl>()) {}
RaceDisplay::~RaceDisplay() { Release(); }

uint32_t RaceDisplay::ViewCount() const { return m_impl->viewCount; }
PlayerView* RaceDisplay::View(uint32_t v) {
  return v < m_impl->viewCount ? &m_impl->views[v].hud : nullptr;
}
const HudFrame* RaceDisplay::Frame(uint32_t v) const {
  return v < m_impl->viewCount ? &m_impl->views[v].frame : nullptr;
}
HudRect RaceDisplay::ViewRect(uint32_t v) const {
  return v < m_impl->viewCount ? m_impl->views[v].rect : HudRect();
}
uint32_t RaceDisplay::ShadowCount() const { return uint32_t(m_impl->carShadows.size()); }
bool RaceDisplay::HasRain() const { return m_impl->weather && m_impl->weather->m_rain; }
WeatherEffects* RaceDisplay::Weather() const { return m_impl->weather.get(); }

bool RaceDisplay::SelectCamera(uint32_t view, const char* name) {
  Impl& s = *m_impl;
  if (view >= s.viewCount || !name || !s.race) return false;
  const TrackCameraRecord* r = s.race->GetSimulation().FindCamera(name);
  if (!r) return false;
  s.views[view].flyInDone = true;
  s.SelectCamera(s.views[view], r);
  return true;
}

bool RaceDisplay::NextCamera(uint32_t view, int32_t kind) {
  Impl& s = *m_impl;
  if (view >= s.viewCount || !s.race) return false;
  Impl::View& v = s.views[view];
  const TrackCameraRecord* r = s.race->GetSimulation().NextCamera(v.current, kind);
  if (!r) return false;
  v.flyInDone = true;
  s.SelectCamera(v, r);
  return true;
}

const char* RaceDisplay::CameraName(uint32_t view) const {
  const Impl& s = *m_impl;
  return view < s.viewCount && s.views[view].current ? s.views[view].current->name : "";
}

void RaceDisplay::Follow(uint32_t view, uint32_t participant) {
  Impl& s = *m_impl;
  if (view >= s.viewCount || !s.race || participant >= s.race->ParticipantCount()) return;
  s.TagCar(s.views[view].follow, 0);
  s.views[view].follow = participant;
  for (uint32_t v = 0; v < s.viewCount; ++v) s.TagCar(s.views[v].follow, v + 1);
}

bool RaceDisplay::Init(RaceSession* race, VQCanvas* canvas, const RaceDisplayOptions& options) {
  Release();
  m_error.clear();
  Impl& s = *m_impl;
  if (!race || !canvas || !canvas->m_device) return m_error = "no race or no canvas", false;
  if (options.views < 1 || options.views > RACEDISPLAY_MAX_VIEWS)
    return m_error = "one or two views", false;
  Track& track = race->GetTrack();
  if (!track.m_scene) return m_error = "no track is loaded", false;
  s.race = race;
  s.canvas = canvas;
  s.options = options;
  if (options.hud && options.map) s.MakeMap();
  const uint32_t w = canvas->m_width, h = canvas->m_height;
  HudRect rects[RACEDISPLAY_MAX_VIEWS];
  if (options.views == 2)
    Hud_SplitRects(w, h, &rects[0], &rects[1]);
  else
    rects[0] = {0, 0, int32_t(w), int32_t(h)};
  for (uint32_t v = 0; v < options.views; ++v) {
    Impl::View& view = s.views[v];
    view.rect = rects[v];
    view.viewport = canvas->CreateViewport(rects[v].x, rects[v].y, rects[v].width, rects[v].height);
    if (!view.viewport) {
      Release();
      return m_error = "the canvas has no room for another viewport", false;
    }
    view.camera = std::make_unique<VQCamera>(kCameraFov, 0.0f);
    view.camera->m_near = 0.5f;
    view.camera->m_far = 3000.0f;
    view.target = std::make_unique<VQTransformNode>(0);
    view.controller = RaceCamera();
    view.controller.BindCamera(view.camera.get());
    view.current = nullptr;
    view.flyInDone = false;
    view.cameraTimer = 100.0f;
    view.viewport->m_root = track.m_scene;
    view.viewport->m_clearColour = VQColor(0.45f, 0.6f, 0.85f, 1.0f);
    view.viewport->m_active = 1;
    view.viewport->SetCamera(view.camera.get());
    view.owner = &s;
    view.index = v;
    view.viewport->m_beforeScene = &Impl::BeforeScene;
    view.viewport->m_beforeWord = reinterpret_cast<uintptr_t>(&view);
    view.follow = v < race->ParticipantCount() ? v : 0;
    view.hud.SetRect(rects[v].x, rects[v].y, rects[v].width, rects[v].height);
    view.hud.m_sizeClass = Hud_SizeClass(w);
    view.hud.Layout(options.views == 2, v, options.map, -(kMapSize + kMapMargin),
                    kMapSize + kMapMargin);
    view.hud.SetHudMode(0);
    if (s.mapImage) {
      const float extent = float(kMapSize) / s.mapScale;
      view.map.Init(v, float(kMapSize), float(kMapSize), extent, extent, VQVector2(0, 0), 1.0f,
                    VQVector2(0, 0), true);
    }
    ++s.viewCount;
  }
  s.viewCount = options.views;
  for (uint32_t v = 0; v < s.viewCount; ++v) s.TagCar(s.views[v].follow, v + 1);
  race->SetViewEventHook(&Impl::OnRaceEvent, &s);

  if (options.hud) {
    VQDisplayDevice* device = canvas->m_device;
    VQTextureManager* textures = device->m_textureManager;
    const std::string folder = options.fontFolder;
    const bool pushed = textures && !folder.empty() && textures->PushFolder(folder.c_str(), false);
    s.fonts.Init(device, true);
    VQFont* loaded[FONT_SLOTS] = {};
    for (uint32_t i = 0; i < FONT_SLOTS; ++i) loaded[i] = s.fonts.Load(kFontFiles[i]);
    if (pushed) textures->PopFolder();
    s.hudFonts.a = loaded[FONT_A];
    s.hudFonts.b = loaded[FONT_B] ? loaded[FONT_B] : loaded[FONT_A];
    s.hudFonts.own = loaded[FONT_GREEN] ? loaded[FONT_GREEN] : s.hudFonts.b;
    s.hudFonts.ahead = loaded[FONT_ORANGE] ? loaded[FONT_ORANGE] : s.hudFonts.b;
    s.hudFonts.behind = loaded[FONT_BLUE] ? loaded[FONT_BLUE] : s.hudFonts.b;
    s.hudFonts.countdown = s.hudFonts.a;
    s.hudFonts.menu = s.hudFonts.b;
    s.markerFont = loaded[FONT_MARKERS];
  }

  if (options.shadows && track.m_main) {
    s.shadows = std::make_unique<ShadowManager>();
    s.shadowGroup = new VQGroupNode(0);
    s.shadowGroup->SetName("g_shadows");
    s.shadowGroup->m_record.m_cull = 0;  // the shadows move with the cars
    track.m_main->AddChild(s.shadowGroup);
    s.shadows->Init(s.shadowGroup);
    // A track without a sun light leaves the shadows off.
    if (s.shadows->SetSun(track.m_sun, track.m_shadowDirection, track.m_shadowValues[0],
                          track.m_shadowValues[1])) {
      for (uint32_t i = 0; i < race->ParticipantCount(); ++i) {
        TrackRacer* racer = race->GetRacer(i);
        VQVehicleModel* model = racer ? racer->GetVehicle() : nullptr;
        VQNode* root = race->GetCarRoot(i);
        VQNode* mesh = root ? root->FindByName("m_shadow") : nullptr;
        if (!model || !mesh) continue;
        Impl::CarShadowLink link{nullptr, model, {}, mesh, mesh->m_parent, mesh->m_enabled};
        static const char* const kWheels[4] = {"x_whl_lf", "x_whl_rf", "x_whl_lr", "x_whl_rr"};
        // The wheel points in the frame of the mesh's parent (the car's body), where the mesh's
        // corners are given.
        const VQMatrix frame = RaceCamera_WorldMatrix(mesh->m_parent);
        VQVector points[4];
        bool wheels = true;
        for (int k = 0; k < 4; ++k) {
          link.wheels[k] = root->FindByName(kWheels[k]);
          wheels = wheels && link.wheels[k];
          if (!link.wheels[k]) continue;
          const VQMatrix w = RaceCamera_WorldMatrix(link.wheels[k]);
          const VQVector d(w.m[12] - frame.m[12], w.m[13] - frame.m[13], w.m[14] - frame.m[14]);
          points[k] = VQVector(d.Dot(VQVector(frame.m[0], frame.m[1], frame.m[2])),
                               d.Dot(VQVector(frame.m[4], frame.m[5], frame.m[6])), 0.0f);
        }
        if (!wheels) continue;
        // The shadow lies on the ground in the shadow group, not in the car's moving body.
        if (link.home) link.home->RemoveChild(mesh);
        Shadow* made = s.shadows->Create(SHADOW_CAR, mesh);
        auto* shadow = static_cast<CarShadow*>(made);
        if (shadow && !shadow->Init(mesh, i, model, points)) {
          s.shadows->Remove(shadow);
          shadow = nullptr;
        }
        if (!shadow) {
          if (link.home) link.home->AddChild(mesh);
          continue;
        }
        link.shadow = shadow;
        mesh->m_enabled = 1;  // a car made without shadows has its mesh switched off
        s.carShadows.push_back(link);
      }
    }
  }

  if (options.weather && (track.m_rainConfig || track.m_thunderCount) && track.m_main) {
    auto setupPtr = std::make_unique<WeatherSetup>();
    WeatherSetup& setup = *setupPtr;
    if (track.m_rainConfig) {
      RainConfig_Decode(track.m_rainConfig, s.rain);
      setup.rain = &s.rain;
    }
    // Thunderstorms flash the sky dome, the fog and the sun.
    setup.thunderCount = std::min(track.m_thunderCount, WEATHER_MAX_THUNDER);
    for (uint32_t i = 0; i < setup.thunderCount; ++i)
      if (track.m_thunder[i]) ThunderConfig_Decode(track.m_thunder[i], setup.thunder[i]);
    if (track.m_weatherConfig) {
      float weights[WEATHER_MAX_THUNDER] = {};
      const uint32_t n = WeatherConfig_ThunderWeights(track.m_weatherConfig, weights);
      for (uint32_t i = 0; i < n && i < setup.thunderCount; ++i) setup.weights[i] = weights[i];
      setup.domeFollow = WeatherConfig_DomeFollow(track.m_weatherConfig);
    }
    setup.sceneGroup = track.m_main;
    setup.seed = 7;
    // The rain is heard through the race's sound device, at the ambient volume.
    if (RaceSounds* sounds = race->GetSounds()) {
      setup.sound = sounds->Device();
      setup.soundFolder = sounds->AudioFolder();
      setup.effectsVolume = track.m_services.volumeAmbient;
      setup.masterVolume = track.m_services.volumeMaster;
    }
    VQNode* dome = track.m_scene->FindByName("x_dome");
    VQNode* dome2 = track.m_scene->FindByName("m_dome02");
    s.weather = std::make_unique<WeatherEffects>(dome, dome2, track.m_sun, nullptr,
                                                 track.m_sunDirection, nullptr, track.m_fog, setup);
    s.weather->Realize();
    if (s.weather->m_rain) s.weather->m_rain->SetOpacity(s.rain.opacity);
  }

  // The groups added to the track's scene (shadows, rain, sounds) leave the stored bounding
  // spheres above them stale, and a stale sphere culls the whole track away: every sphere of
  // the scene is computed anew.
  track.m_scene->GetBoundingSphere();
  canvas->SetCallbacks(nullptr, 0, &RaceDisplay::DrawOverlay, reinterpret_cast<uintptr_t>(this),
                       nullptr, 0);
  s.callbacksSet = true;
  Update(0.0f);
  return true;
}

void RaceDisplay::Release() {
  Impl& s = *m_impl;
  if (s.callbacksSet && s.canvas) s.canvas->SetCallbacks(nullptr, 0, nullptr, 0, nullptr, 0);
  s.callbacksSet = false;
  if (s.race) {
    s.race->SetViewEventHook(nullptr, nullptr);
    if (RaceSounds* sounds = s.race->GetSounds()) sounds->ClearCarViews();
  }
  s.weather.reset();
  for (Impl::CarShadowLink& l : s.carShadows) {
    if (s.shadows) s.shadows->Remove(l.shadow);
    l.mesh->m_enabled = l.enabled;
    if (l.home) l.home->AddChild(l.mesh);
  }
  s.carShadows.clear();
  s.shadows.reset();
  if (s.shadowGroup) {
    if (s.shadowGroup->m_parent) s.shadowGroup->m_parent->RemoveChild(s.shadowGroup);
    VQNode::Destroy(s.shadowGroup);
    s.shadowGroup = nullptr;
  }
  for (uint32_t v = 0; v < s.viewCount; ++v) {
    Impl::View& view = s.views[v];
    if (view.viewport) {
      view.viewport->m_beforeScene = nullptr;
      view.viewport->m_beforeWord = 0;
      view.viewport->m_root = nullptr;
      view.viewport->m_active = 0;
      view.viewport->SetCamera(nullptr);
      if (s.canvas) s.canvas->DeleteViewport(view.viewport);
      view.viewport = nullptr;
    }
    view.controller.BindCamera(nullptr);
    view.controller.SetTarget(nullptr);
    view.current = nullptr;
    view.target.reset();
    view.camera.reset();
  }
  s.viewCount = 0;
  s.fonts.ReleaseAll();
  s.hudFonts = HudFonts();
  s.markerFont = nullptr;
  s.mapImage.reset();
  if (s.mapPixmap && s.canvas && s.canvas->m_device) s.canvas->m_device->DeletePixmap(s.mapPixmap);
  s.mapPixmap = nullptr;
  s.race = nullptr;
  s.canvas = nullptr;
}

void RaceDisplay::Update(float dt) {
  Impl& s = *m_impl;
  if (!s.race) return;
  s.step = dt;
  for (uint32_t v = 0; v < s.viewCount; ++v) {
    Impl::View& view = s.views[v];
    TrackRacer* racer = s.race->GetRacer(view.follow);
    VQVehicleModel* model = racer ? racer->GetVehicle() : nullptr;
    if (model) {
      if (const VQMatrix* m = model->GetWorldMatrix()) view.target->m_matrix = *m;
      view.camera->m_velocity = model->GetVelocity();
    }
    s.UpdateCamera(view, dt);
    FillFrame(v);
  }
  for (Impl::CarShadowLink& l : s.carShadows) {
    VQMatrix wheels[4];
    for (int k = 0; k < 4; ++k) wheels[k] = RaceCamera_WorldMatrix(l.wheels[k]);
    l.shadow->Update(wheels);
  }
  if (s.weather) {
    s.weather->SetFrameStep(dt);
    // The sound page may change the volumes while the race runs: the rain and thunder follow.
    const TrackServices& sv = s.race->GetTrack().m_services;
    const float volume = sv.volumeAmbient * sv.volumeMaster;
    if (s.race->GetSounds() && volume != s.weather->m_volume) s.weather->SetVolume(volume);
  }
}

void RaceDisplay::FillFrame(uint32_t v) {
  Impl& s = *m_impl;
  Impl::View& view = s.views[v];
  HudFrame& f = view.frame;
  f = HudFrame();
  Track& track = s.race->GetTrack();
  const RaceTracker* t = track.m_tracker;
  TrackRacer* racer = s.race->GetRacer(view.follow);
  const RaceTrackerEntry* e = t && racer ? t->FindEntry(racer) : nullptr;
  f.countdown = track.m_countdownImage;
  if (!e) return;
  f.hasEntry = true;
  f.lapTime = e->lapStarted ? e->lapTime : 0.0f;
  f.raceMinutes = track.m_raceLength;
  f.elapsed = t->m_raceTime;
  f.record = e->bestLap.IsZero() ? HUD_NO_RECORD : float(e->bestLap.Seconds());
  f.lapCounter = e->laps;
  f.position = e->position;
  f.playerCount = t->m_count;
  const uint32_t first = e->lapCount > HUD_LAP_LIST ? e->lapCount - HUD_LAP_LIST : 0;
  for (uint32_t k = first; k < e->lapCount; ++k) {
    HudLap& lap = f.laps[f.lapCount++];
    lap.minutes = e->lastLaps[k].minutes;
    lap.seconds = e->lastLaps[k].seconds;
    lap.hundredths = e->lastLaps[k].hundredths;
  }
  f.raceTime = e->carRaceTime;
  if (VQVehicleModel* model = racer->GetVehicle()) {
    f.speed = float(model->GetSpeed());
    f.engineSpeed = float(model->GetEngineRpm());
  }
  // Standings: the cars just ahead of and behind this one, by distance along the race.
  const TrackAILine* line = track.m_aiLineCount ? track.m_aiLines[0] : nullptr;
  f.lapLength = line ? line->length : 0.0f;
  auto distance = [&](TrackRacer* r, const RaceTrackerEntry* re) {
    uint32_t lap = 0, segment = 0;
    float fraction = 0.0f;
    r->GetProgress(&lap, &segment, &fraction);
    float d = 0.0f;
    if (line)
      for (uint32_t k = 0; k < segment && k < line->Count(); ++k) d += line->lengths[k];
    if (line && segment < line->Count()) d += line->lengths[segment] * fraction;
    return float(re->laps) * f.lapLength + d;
  };
  auto row = [&](const RaceTrackerEntry* re, HudStandingsRow* out) {
    if (!re || !re->car) return;
    out->present = true;
    out->position = re->position;
    out->name = re->car->GetName();
    out->laps = re->laps;
    out->distance = distance(re->car, re);
    for (uint32_t i = 0; i < s.race->ParticipantCount(); ++i)
      if (s.race->GetRacer(i) == re->car && s.race->GetPlayer(i) && s.race->GetPlayer(i)->m_ai)
        out->raceNumber = s.race->GetPlayer(i)->m_ai->m_params.number;
  };
  row(e, &f.own);
  f.myDistance = f.own.distance;
  if (e->position > 1) row(t->FindEntryByPosition(e->position - 1), &f.ahead);
  row(t->FindEntryByPosition(e->position + 1), &f.behind);
}

void RaceDisplay::DrawOverlay(VQCanvas* canvas, uintptr_t user) {
  auto* self = reinterpret_cast<RaceDisplay*>(user);
  Impl& s = *self->m_impl;
  if (!s.options.hud || !s.race) return;
  for (uint32_t v = 0; v < s.viewCount; ++v) {
    Impl::View& view = s.views[v];
    CanvasHudPainter painter(canvas, view.viewport);
    view.hud.DrawHud(painter, view.frame, s.hudFonts, nullptr, s.step);
    if (s.options.map)
      s.DrawMap(view, view.rect.x + view.rect.width - kMapSize - kMapMargin,
                view.rect.y + kMapMargin);
  }
}
