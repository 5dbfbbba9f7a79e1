// The race screen's per-frame callback and key handler: each frame the race clock is advanced
// and the track's race update and the views run (through the Simulation); the keys pause and
// open the in-race menu (Escape, F1), finish the podium (Return), switch the followed car in a
// computer-only race (2) and take screenshots (F9) as "snapNNN.jpg" in the data root.
//
// The frame reaches the rest of the game (menus, music, network, voices) through RaceFrameHooks,
// so that it runs in the game, in tools and in tests alike.
#pragma once

#include <cstdint>
#include <string>

class Simulation;
class Track;
class VQCanvas;
class VQDisplayDevice;
class VQDevice;

constexpr uint32_t RACE_FRAME_JOYSTICKS = 4;
constexpr uint32_t RACE_SCREENSHOT_LAST = 998;  // snap001.jpg to snap998.jpg

enum RaceKey : uint32_t {
  RACE_KEY_RETURN = 0,
  RACE_KEY_ESCAPE = 13,
  RACE_KEY_DIGIT2 = 24,
  RACE_KEY_F1 = 73,
  RACE_KEY_F9 = 81,
};

// Message text shown on every view while the race is paused.
constexpr uint32_t RACE_TEXT_PAUSED = 301;

struct RaceFrameHooks {
  void* user = nullptr;
  void (*updateNetwork)(void* user, float step) = nullptr;  // network play only
  void (*updateMusic)(void* user, float step) = nullptr;
  bool (*menuShown)(void* user) = nullptr;
  // Escape or F1 while a menu page is shown: the page's back items (false: the page has none).
  bool (*menuBack)(void* user) = nullptr;
  // Escape without a page: the in-race menu of the race state (network play: the race goes on).
  void (*openRaceMenu)(void* user, uint32_t raceState) = nullptr;
  // The voice limiter and the music follow the pause.
  void (*pauseSound)(void* user, bool paused) = nullptr;
  // A message text by identifier on every view ("" clears).
  const char* (*text)(void* user, uint32_t id) = nullptr;
  // Key 2 in a computer-only race: the first view follows the next racer.
  void (*followNext)(void* user) = nullptr;
};

class RaceFrame {
 public:
  // One frame; always true.
  bool OnFrame();
  // A key event; true when consumed.
  bool OnKey(uint32_t key, bool pressed);
  // Toggles the pause of the running race (nothing without a Simulation).
  void Pause(bool withMessage);
  // Grabs the canvas and writes it as the first free "snapNNN.jpg" of the data root; the path
  // written, "" when nothing was written (no canvas, all names taken, or a failed write).
  std::string Screenshot();
  // The first free screenshot path of a folder, "" when snap001 to snap998 all exist.
  static std::string NextScreenshotPath(const std::string& folder);

  // The engine frame pump's callback and a keyboard handler, with the RaceFrame as user word.
  static void FrameCallback(uintptr_t user);
  static bool KeyHandler(uint32_t type, void* record, uintptr_t user);

  Simulation* m_simulation = nullptr;
  Track* m_track = nullptr;
  VQCanvas* m_canvas = nullptr;
  VQDisplayDevice* m_display = nullptr;  // deletes the grabbed pixmap
  VQDevice* m_joysticks[RACE_FRAME_JOYSTICKS] = {};
  uint8_t m_joystickEnabled[RACE_FRAME_JOYSTICKS] = {};
  int32_t m_gameMode = 3;
  bool m_repeatRace = false;
  std::string m_dataRoot = ".";
  float m_lastStep = 0.0f;
  RaceFrameHooks m_hooks;
};
