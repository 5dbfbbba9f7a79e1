// The Linux program's start-up glue and scripted input: the working folder and SDL drivers of a
// run (--data, --headless), and a script of key, mouse and quit events fed into the game
// window's message queue at given frames, the way a player's hands would reach it.
//
// Script lines (blank lines and lines starting with '#' are skipped):
//   FRAME key CODE down|up     CODE: an input binding code (200..296) or its name ("left", "a")
//   FRAME mouse X Y BUTTONS    client position; BUTTONS bit 0 left, 1 right, 2 middle
//   FRAME quit
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VQCanvas;
struct ProgramOptions;

// Changes to the data folder and picks the offscreen video and dummy audio drivers for a
// headless run. False (with a message on stderr) when the folder cannot be entered.
bool ProgramSetUpHost(const ProgramOptions& options);

class ScriptedInput {
 public:
  enum Kind { KEY, MOUSE, QUIT };
  struct Event {
    uint32_t frame = 0;
    Kind kind = QUIT;
    int32_t code = 0;  // key: binding code
    bool down = false;
    int32_t x = 0, y = 0;
    uint32_t buttons = 0;
  };

  // Reads a script; false with Error() for a line that is not one of the forms above.
  bool Load(const char* path);
  bool Parse(const std::string& text);
  // Posts the events of this frame to the canvas's window (quit: a quit message).
  void Feed(uint32_t frame, VQCanvas* canvas);
  const std::string& Error() const { return m_error; }
  const std::vector<Event>& Events() const { return m_events; }

 private:
  std::vector<Event> m_events;  // in file order; frames need not be sorted
  std::string m_error;
  uint32_t m_buttons = 0;
};

// The Windows virtual-key code the keyboard device reads for a key index (binding code - 200);
// 0 outside the key list.
uint32_t ScriptedInput_VirtualKey(uint32_t keyIndex);
