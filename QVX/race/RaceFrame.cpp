#include "QVX/race/RaceFrame.h"

#include <cstdio>

#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/util/VQfile.h"

namespace {
// JPEG as the pixmap writer's file type.
constexpr uint32_t kJpegFileType = 3;
}  // namespace

bool RaceFrame::OnFrame() {
  float step = m_simulation ? m_simulation->m_frameStep : SIMULATION_DEFAULT_STEP;
  if (step > 1.0f) step = SIMULATION_DEFAULT_STEP;
  g_VQsystem.AdvanceTime(step);
  if (m_gameMode == 6 && m_hooks.updateNetwork) m_hooks.updateNetwork(m_hooks.user, step);
  if (m_hooks.updateMusic) m_hooks.updateMusic(m_hooks.user, step);
  m_lastStep = step;
  for (uint32_t i = 0; i < RACE_FRAME_JOYSTICKS; ++i)
    if (m_joystickEnabled[i] && m_joysticks[i])
      static_cast<VQJoystickDevice*>(m_joysticks[i])->Poll();
  if (m_simulation) m_simulation->Tick();
  return true;
}

bool RaceFrame::OnKey(uint32_t key, bool pressed) {
  if (!pressed || key > RACE_KEY_F9) return false;
  const bool menu = m_hooks.menuShown && m_hooks.menuShown(m_hooks.user);
  switch (key) {
    case RACE_KEY_RETURN:
      if (m_track && m_track->m_state == RACE_STATE_PODIUM && !menu)
        return OnKey(RACE_KEY_ESCAPE, true);
      return false;
    case RACE_KEY_DIGIT2:
      if (m_gameMode != 5) return false;
      if (m_hooks.followNext) m_hooks.followNext(m_hooks.user);
      return true;
    case RACE_KEY_ESCAPE:
    case RACE_KEY_F1:
      if (m_repeatRace) return true;
      if (menu) {
        if (m_hooks.menuBack) m_hooks.menuBack(m_hooks.user);
        return true;
      }
      if (key == RACE_KEY_F1) return true;
      if (m_hooks.openRaceMenu) m_hooks.openRaceMenu(m_hooks.user, m_track ? m_track->m_state : 0);
      if (m_gameMode != 6 && m_simulation && !m_simulation->m_paused) Pause(false);
      return true;
    case RACE_KEY_F9: Screenshot(); return true;
    default: return false;
  }
}

void RaceFrame::Pause(bool withMessage) {
  if (!m_simulation) return;
  if (m_simulation->m_paused) {
    if (m_hooks.pauseSound) m_hooks.pauseSound(m_hooks.user, false);
    m_simulation->Pause(false);
    if (withMessage) m_simulation->ShowMessage("", 0.0f);
  } else {
    if (m_hooks.pauseSound) m_hooks.pauseSound(m_hooks.user, true);
    m_simulation->Pause(true);
    if (withMessage) {
      const char* text = m_hooks.text ? m_hooks.text(m_hooks.user, RACE_TEXT_PAUSED) : nullptr;
      m_simulation->ShowMessage(text ? text : "", 0.0f);
    }
  }
}

std::string RaceFrame::NextScreenshotPath(const std::string& folder) {
  char name[32];
  for (uint32_t n = 1; n <= RACE_SCREENSHOT_LAST; ++n) {
    std::snprintf(name, sizeof name, "\\snap%1u%1u%1u.jpg", n / 100, (n / 10) % 10, n % 10);
    const std::string path = folder + name;
    if (!VQfile_Exists(path.c_str())) return path;
  }
  return "";
}

std::string RaceFrame::Screenshot() {
  if (!m_canvas) return "";
  VQPixmap* image = m_canvas->Grab(0);
  if (!image) return "";
  std::string path = NextScreenshotPath(m_dataRoot);
  if (!path.empty() && !image->SaveImage(path.c_str(), kJpegFileType, 0)) path.clear();
  if (m_display)
    m_display->DeletePixmap(image);
  else if (m_canvas->m_device)
    m_canvas->m_device->DeletePixmap(image);
  return path;
}

void RaceFrame::FrameCallback(uintptr_t user) { reinterpret_cast<RaceFrame*>(user)->OnFrame(); }

bool RaceFrame::KeyHandler(uint32_t type, void* record, uintptr_t user) {
  if (type != VQEVENT_KEY || !record) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  return reinterpret_cast<RaceFrame*>(user)->OnKey(key->code, key->pressed != 0);
}
