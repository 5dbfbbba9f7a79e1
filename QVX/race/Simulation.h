// The running race: the race clock (wall-clock time turned into the step that drives the race,
// with the time scale, pause and stall handling), the player views (at most 4) and the track's
// camera list (at most 50). One object exists while races run (g_the_simulation); Start blocks
// in the engine's frame pump until Stop, and every frame Tick advances the clock, runs the
// track's race update and updates the views.
//
// The views themselves are the views module's: the simulation keeps them as opaque pointers and
// reaches them through SimulationViewOps, which that module installs.
#pragma once

#include <cstdint>

class Track;
class VQCanvas;
class VQImageRef;
struct TrackCameraRecord;
class PlayerView;

constexpr uint32_t SIMULATION_MAX_VIEWS = 4;
constexpr uint32_t SIMULATION_MAX_CAMERAS = 50;
constexpr uint32_t SIMULATION_AVERAGE_FRAMES = 20;
// 1/60 s as the race clock's float (bits 0x3C888889).
constexpr float SIMULATION_DEFAULT_STEP = 0.016666668f;

// The operations of the views module that the simulation calls. Null members are skipped;
// create returns null when it cannot make a view.
struct SimulationViewOps {
  PlayerView* (*create)(uint32_t sizeClass, VQCanvas* canvas) = nullptr;
  void (*release)(PlayerView* view) = nullptr;  // releases and deletes
  void (*setRect)(PlayerView* view, int32_t x, int32_t y, int32_t width, int32_t height) = nullptr;
  void (*setTrack)(PlayerView* view, Track* track) = nullptr;
  void (*layout)(PlayerView* view, bool split, bool second, const char* name) = nullptr;
  void (*update)(PlayerView* view, float dt) = nullptr;
  void (*setMessage)(PlayerView* view, const char* text, float seconds) = nullptr;
  void (*enable)(PlayerView* view, uint8_t flag) = nullptr;
  // Loads the split-screen divider ("doublesplit.tga") into a new image handle; null when none.
  VQImageRef* (*loadDivider)() = nullptr;
};
extern SimulationViewOps g_simulationViewOps;

// The race clock's source: a counter and its frequency per second. The default reads the
// engine's high-resolution timer; tests install their own.
struct SimulationClock {
  int64_t (*now)(void* user) = nullptr;
  int64_t frequency = 0;
  void* user = nullptr;
};

class Simulation {
 public:
  Simulation();
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // Starts a race (paused when asked) and runs the frame pump until Stop. With runPump false the
  // clock is started and Start returns at once (for tools and tests that call Tick themselves).
  // False, and nothing started, when no camera is registered: the views would have none to show.
  bool Start(bool paused, bool runPump = true);
  void Stop();
  void Pause(bool on);
  void SetRaceTime(float seconds);
  void Tick();
  void SetTimeScale(float scale);
  void SetTrack(Track* track);

  bool CreateViews(uint32_t layout, VQCanvas* canvas, uint32_t width, uint32_t height);
  PlayerView* GetView(uint32_t index) const {
    return index < m_viewCount ? m_views[index] : nullptr;
  }
  void DestroyView(uint32_t index);
  void DestroyAllViews();
  void SetCurrentView(const PlayerView* view);
  // The rectangles (x, y, width, height; origin lower-left) of one or two views on a canvas.
  void RelayoutViews(uint32_t width, uint32_t height);
  void EnableViews(uint8_t flag);
  void ShowMessage(const char* text, float seconds);

  bool AddCamera(TrackCameraRecord* camera);
  uint32_t CountCameras(uint32_t type) const;
  TrackCameraRecord* GetCamera(uint32_t type, uint32_t n) const;
  TrackCameraRecord* FindCamera(const char* name) const;
  TrackCameraRecord* NextCamera(const TrackCameraRecord* current, int32_t kind) const;
  // The HUD size class of a canvas width: 0 up to 640, 1 below 1024, 2 from 1024.
  static uint32_t SizeClass(uint32_t width);

  // Replaces the clock source (null now: the engine's timer). Takes effect at the next Start.
  void SetClock(const SimulationClock& clock);
  // The current clock reading in seconds (base and offset applied).
  float ReadClock() const;

  uint32_t m_cameraCount = 0;
  TrackCameraRecord* m_cameras[SIMULATION_MAX_CAMERAS] = {};
  float m_frameStep = SIMULATION_DEFAULT_STEP;
  float m_frameTime = SIMULATION_DEFAULT_STEP;
  float m_lastClock = 0.0f;
  float m_averageStep = 0.0f;
  float m_stepSum = 0.0f;
  uint32_t m_stepCount = 0;
  float m_maxStep = 2.0f;
  float m_raceTime = 0.0f;
  float m_timeScale = 1.0f;
  // The program's time-scale setting: the engine clock's scale while the race runs unpaused.
  float m_timeScaleSetting = 1.0f;
  uint32_t m_viewCount = 0;
  PlayerView* m_views[SIMULATION_MAX_VIEWS] = {};
  uint32_t m_currentView = 0;
  uint8_t m_running = 0;
  uint8_t m_paused = 0;
  Track* m_track = nullptr;
  VQImageRef* m_divider = nullptr;
  int64_t m_base = 0, m_offset = 0, m_pauseStart = 0;

 private:
  int64_t Now() const;
  SimulationClock m_clock;
};

extern Simulation* g_the_simulation;
