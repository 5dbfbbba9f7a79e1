#include "QVX/race/Simulation.h"

#include <cmath>
#include <cstring>

#include "QVX/race/Track.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"

Simulation* g_the_simulation = nullptr;
SimulationViewOps g_simulationViewOps;

namespace {
int64_t EngineTimer(void*) { return VQwin32_ReadTimer(); }

int AsciiLower(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
bool SameNameIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (AsciiLower(static_cast<unsigned char>(*a)) != AsciiLower(static_cast<unsigned char>(*b)))
      return false;
    if (*a == 0) return true;
  }
}
bool IntervalBound(const TrackCameraRecord* c) { return c->intervalFrom != c->intervalTo; }
}  // namespace

Simulation::Simulation() {
  g_the_simulation = this;
  // The high-resolution timer is always there on Linux; a failed initialisation still leaves
  // the timer readable, so the counter clock is the one clock.
  VQwin32_InitHighResolutionTimer();
  m_clock.now = EngineTimer;
  m_clock.frequency = VQwin32_GetTimerFrequency();
  if (m_clock.frequency <= 0) m_clock.frequency = 1000000000;
}

Simulation::~Simulation() {
  if (g_the_simulation == this) g_the_simulation = nullptr;
}

void Simulation::SetClock(const SimulationClock& clock) {
  if (clock.now && clock.frequency > 0) {
    m_clock = clock;
  } else {
    m_clock.now = EngineTimer;
    m_clock.frequency = VQwin32_GetTimerFrequency();
    m_clock.user = nullptr;
    if (m_clock.frequency <= 0) m_clock.frequency = 1000000000;
  }
}

int64_t Simulation::Now() const { return m_clock.now(m_clock.user); }

float Simulation::ReadClock() const {
  return float(double(Now() - m_base - m_offset) / double(m_clock.frequency));
}

bool Simulation::Start(bool paused, bool runPump) {
  if (m_cameraCount == 0) return false;
  g_VQsystem.m_timeScale = m_timeScaleSetting;
  m_running = 1;
  m_paused = 0;
  Pause(paused);
  m_raceTime = 0.0f;
  m_lastClock = 0.0f;
  m_base = Now();
  m_offset = 0;
  m_frameStep = m_frameTime = m_averageStep = SIMULATION_DEFAULT_STEP;
  m_stepSum = 0.0f;
  m_stepCount = 0;
  if (runPump) g_VQsystem.Run();
  return true;
}

void Simulation::Stop() {
  if (!m_running) return;
  g_VQsystem.m_stop = 1;
  m_running = 0;
  m_paused = 0;
  m_raceTime = 0.0f;
}

void Simulation::Pause(bool on) {
  if (on && !m_paused) {
    m_pauseStart = Now();
    g_VQsystem.m_timeScale = 0.0f;
    m_paused = 1;
  } else if (!on && m_paused) {
    m_offset += Now() - m_pauseStart;
    g_VQsystem.m_timeScale = m_timeScaleSetting;
    m_paused = 0;
  }
}

void Simulation::SetRaceTime(float seconds) {
  m_raceTime = seconds;
  m_offset = Now() - m_base + int64_t(-(double(m_clock.frequency) * seconds));
}

void Simulation::Tick() {
  if (!m_running) return;
  const float previous = m_lastClock;
  const float raceTime = m_raceTime;
  const float t = ReadClock();
  m_lastClock = t;
  const float d = (t - raceTime) * m_timeScale;
  if (m_paused) {
    m_frameStep = 0.0f;
    m_frameTime = t - previous;
  } else {
    m_frameStep = m_frameTime = d;
    m_raceTime = t;
  }
  // A stall (loading, a moved window, a stopped debugger): the excess is taken off the clock,
  // so the race goes on from where it was instead of jumping ahead by the stall. The race time
  // keeps this frame's reading and never runs backwards: the next frames' steps are 0 until the
  // clock has caught up with it again.
  if (m_frameStep > m_maxStep) {
    const double excess =
        (double(m_frameStep) - double(SIMULATION_DEFAULT_STEP)) / double(m_timeScale);
    m_offset += int64_t(double(m_clock.frequency) * excess);
    m_frameStep = SIMULATION_DEFAULT_STEP;
    m_raceTime = float(double(t) - excess);
    m_lastClock = m_raceTime;
  }
  if (!(m_frameStep >= 0.0f)) {
    m_frameStep = 0.0f;
    // The clock reads less than the race time after a stall was taken off: hold the race time.
    if (!m_paused && t < raceTime) m_raceTime = raceTime;
  }
  m_stepSum += m_frameStep;
  if (++m_stepCount == SIMULATION_AVERAGE_FRAMES) {
    m_averageStep = m_stepSum * 0.05f;
    m_stepSum = 0.0f;
    m_stepCount = 0;
  }
  if (m_track) {
    m_track->UpdateRace(m_raceTime, m_frameStep);
    if (!m_running) return;
  }
  for (uint32_t i = 0; i < m_viewCount; ++i) {
    if (g_simulationViewOps.update) g_simulationViewOps.update(m_views[i], m_frameStep);
    if (!m_running) return;
  }
}

void Simulation::SetTimeScale(float scale) {
  m_timeScale = scale;
  g_VQsystem.m_timeScale = scale;
}

void Simulation::SetTrack(Track* track) {
  m_track = track;
  if (track) track->m_simulation = this;
  for (uint32_t i = 0; i < m_viewCount; ++i)
    if (g_simulationViewOps.setTrack) g_simulationViewOps.setTrack(m_views[i], track);
}

uint32_t Simulation::SizeClass(uint32_t width) { return width <= 640 ? 0 : (width < 1024 ? 1 : 2); }

bool Simulation::CreateViews(uint32_t layout, VQCanvas* canvas, uint32_t w, uint32_t h) {
  const SimulationViewOps& ops = g_simulationViewOps;
  if (layout > 1) return true;
  if (m_viewCount >= SIMULATION_MAX_VIEWS || !ops.create) return false;
  auto add = [&](uint32_t sizeClass, int32_t y, int32_t height, bool split, bool second,
                 const char* name) {
    PlayerView* v = ops.create(sizeClass, canvas);
    if (!v) return false;
    m_views[m_viewCount++] = v;
    if (ops.setRect) ops.setRect(v, 0, y, int32_t(w), height);
    if (ops.setTrack) ops.setTrack(v, m_track);
    if (ops.layout) ops.layout(v, split, second, name);
    return true;
  };
  if (layout == 0) return add(SizeClass(w), 0, int32_t(h), false, false, "View 1");
  const uint32_t half = (h + 1) / 2;
  if (!add(0, int32_t(half), int32_t(h - half), true, false, "View 1")) return false;
  if (m_viewCount >= SIMULATION_MAX_VIEWS) {
    DestroyView(m_viewCount - 1);
    return false;
  }
  if (!add(0, 0, int32_t(half), true, true, "View 2")) {
    DestroyView(m_viewCount - 1);
    return false;
  }
  if (ops.loadDivider) m_divider = ops.loadDivider();
  return true;
}

void Simulation::DestroyView(uint32_t index) {
  if (index >= m_viewCount) return;
  if (g_simulationViewOps.release) g_simulationViewOps.release(m_views[index]);
  for (uint32_t i = index; i + 1 < m_viewCount; ++i) m_views[i] = m_views[i + 1];
  m_views[--m_viewCount] = nullptr;
}

void Simulation::DestroyAllViews() {
  const uint32_t n = m_viewCount;
  for (uint32_t i = 0; i < n; ++i) DestroyView(0);
}

void Simulation::SetCurrentView(const PlayerView* view) {
  for (uint32_t i = 0; i < m_viewCount; ++i)
    if (m_views[i] == view) m_currentView = i;
}

void Simulation::RelayoutViews(uint32_t width, uint32_t height) {
  if (!g_simulationViewOps.setRect) return;
  if (m_viewCount == 1) {
    g_simulationViewOps.setRect(m_views[0], 0, 0, int32_t(width), int32_t(height));
  } else if (m_viewCount == 2) {
    const uint32_t half = (height + 1) / 2;
    g_simulationViewOps.setRect(m_views[0], 0, int32_t(half), int32_t(width),
                                int32_t(height - half));
    g_simulationViewOps.setRect(m_views[1], 0, 0, int32_t(width), int32_t(half));
  }
}

void Simulation::EnableViews(uint8_t flag) {
  for (uint32_t i = 0; i < m_viewCount; ++i)
    if (g_simulationViewOps.enable) g_simulationViewOps.enable(m_views[i], flag);
}

void Simulation::ShowMessage(const char* text, float seconds) {
  for (uint32_t i = 0; i < m_viewCount; ++i)
    if (g_simulationViewOps.setMessage) g_simulationViewOps.setMessage(m_views[i], text, seconds);
}

bool Simulation::AddCamera(TrackCameraRecord* camera) {
  if (m_cameraCount >= SIMULATION_MAX_CAMERAS || !camera) return false;
  m_cameras[m_cameraCount++] = camera;
  return true;
}

uint32_t Simulation::CountCameras(uint32_t type) const {
  if (type == 0) return m_cameraCount;
  uint32_t n = 0;
  for (uint32_t i = 0; i < m_cameraCount; ++i) n += m_cameras[i]->type == type;
  return n;
}

TrackCameraRecord* Simulation::GetCamera(uint32_t type, uint32_t n) const {
  if (type == 0) return n < m_cameraCount ? m_cameras[n] : nullptr;
  for (uint32_t i = 0; i < m_cameraCount; ++i)
    if (m_cameras[i]->type == type && n-- == 0) return m_cameras[i];
  return nullptr;
}

TrackCameraRecord* Simulation::FindCamera(const char* name) const {
  if (!name) return nullptr;
  for (uint32_t i = 0; i < m_cameraCount; ++i)
    if (SameNameIgnoringCase(m_cameras[i]->name, name)) return m_cameras[i];
  return nullptr;
}

TrackCameraRecord* Simulation::NextCamera(const TrackCameraRecord* current, int32_t kind) const {
  if (m_cameraCount == 0) return nullptr;
  uint32_t at = 0;
  bool found = false;
  for (uint32_t i = 0; i < m_cameraCount; ++i)
    if (m_cameras[i] == current) {
      at = i;
      found = true;
      break;
    }
  const bool bound = current && IntervalBound(current);
  for (uint32_t step = 1; step <= m_cameraCount; ++step) {
    TrackCameraRecord* c = m_cameras[(at + step) % m_cameraCount];
    if (bound && IntervalBound(c) && c->group == current->group) continue;
    if (c->kind == kind) return c;
  }
  (void)found;
  return const_cast<TrackCameraRecord*>(current);
}
