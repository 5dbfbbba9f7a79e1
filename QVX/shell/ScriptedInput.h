// The Linux program's start-up glue and scripted input: the working folder and SDL drivers of a
// run (--data, --headless), and a script of key, mouse and quit events fed into the game
// window's message queue at given frames, the way a player's hands would reach it.
//
// Script lines (blank lines and lines starting with '#' are skipped):
//   FRAME key CODE down|up     CODE: an input binding code (200..296) or its name ("left", "a")
//   FRAME mouse X Y BUTTONS    client position; BUTTONS bit 0 left, 1 right, 2 middle
//   FRAME quit
//   FRAME wait TEXT            from FRAME on, wait for a game log line that holds TEXT (the rest
//                              of the line); the lines after it count their frames from the
//                              frame that logged TEXT (so they start at 1), and wait on
//                              themselves until it is logged. A race driven by held keys then
//                              goes on when its finish is logged, however long it took.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class VQCanvas;
struct ProgramOptions;

// Changes to the data folder and picks the offscreen video and dummy audio drivers for a
// headless run. False (with a message on stderr) when the folder cannot be entered.
bool ProgramSetUpHost(const ProgramOptions& options);

class ScriptedInput {
 public:
  enum Kind { KEY, MOUSE, QUIT, WAIT };
  struct Event {
    uint32_t frame = 0;    // counted from the start of its part of the script
    uint32_t part = 0;     // the number of wait lines before this line
    std::string text;      // wait: what the log line must hold
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
  // A line of the game log (any thread): ends the wait that runs, when the line holds its text.
  void NoteLogLine(const char* line);
  // The frame a part of the script counts from; -1 while its wait has not ended.
  int64_t PartStart(uint32_t part) const;
  const std::string& Error() const { return m_error; }
  const std::vector<Event>& Events() const { return m_events; }

 private:
  std::vector<Event> m_events;  // in file order; frames need not be sorted
  std::string m_error;
  uint32_t m_buttons = 0;
  mutable std::mutex m_lock;      // the log may be written from the race loader's thread
  std::vector<int64_t> m_starts;  // per part: the frame it counts from, -1 unknown
  uint32_t m_frame = 0;           // the frame last fed
  int64_t m_waiting = -1;         // the event index of the wait that runs, -1 none
};

// The Windows virtual-key code the keyboard device reads for a key index (binding code - 200);
// 0 outside the key list.
uint32_t ScriptedInput_VirtualKey(uint32_t keyIndex);
