#include "QVX/shell/ScriptedInput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/util/VQfileio.h"
#include "host/fs/fs.h"
#include "host/window/window.h"

namespace {
// Virtual-key codes in key-index order (see InputCodes.h for the names).
const uint8_t kVirtualKeys[INPUTCODE_KEY_COUNT] = {
    0x0D, 0x0D, 0x10, 0x11, 0x11, 0x12, 0x12, 0x25, 0x26, 0x27, 0x28, 0x08, 0x09, 0x1B, 0x20, 0x90, 0x2D,
    0x2E, 0x24, 0x23, 0x21, 0x22, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x60, 0x61,
    0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6D, 0x6F, 0x6E, 0x41, 0x42, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5A, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B,
    0xBC, 0xBE, 0xBF, 0xDB, 0xDD, 0xDC, 0xBD, 0xBB, 0xDE, 0xC0, 0xBA, 0x10};
// Keys whose messages carry the extended bit: numeric-pad enter, right control and alt, the
// arrows and the navigation block, numeric-pad divide.
bool IsExtended(uint32_t keyIndex) {
  return keyIndex == 1 || keyIndex == 4 || keyIndex == 6 || (keyIndex >= 7 && keyIndex <= 10) ||
         (keyIndex >= 16 && keyIndex <= 21) || keyIndex == 45;
}
}  // namespace

uint32_t ScriptedInput_VirtualKey(uint32_t keyIndex) {
  return keyIndex < uint32_t(INPUTCODE_KEY_COUNT) ? kVirtualKeys[keyIndex] : 0;
}

bool ProgramSetUpHost(const ProgramOptions& options) {
  if (options.headless) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  if (!options.dataDir.empty() && host::change_folder(options.dataDir.c_str()) != 0) {
    std::fprintf(stderr, "Pindrel: cannot enter the data folder '%s'\n", options.dataDir.c_str());
    return false;
  }
  return true;
}

bool ScriptedInput::Load(const char* path) {
  std::string text;
  if (!vqfileio::ReadWholeFile(path, text, 24)) {
    m_error = "cannot read the file";
    return false;
  }
  return Parse(text);
}

bool ScriptedInput::Parse(const std::string& text) {
  m_events.clear();
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_starts.assign(1, 0);
    m_waiting = -1;
  }
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  uint32_t part = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') continue;
    Event e;
    char* end = nullptr;
    const unsigned long frame = std::strtoul(first.c_str(), &end, 10);
    std::string kind;
    bool ok = end && !*end && frame <= 0xFFFFFFFFul && (words >> kind);
    e.frame = uint32_t(frame);
    e.part = part;
    if (ok && kind == "quit") {
      e.kind = QUIT;
    } else if (ok && kind == "wait") {
      e.kind = WAIT;
      std::getline(words, e.text);
      const size_t start = e.text.find_first_not_of(" \t");
      const size_t end = e.text.find_last_not_of(" \t\r");
      e.text = start == std::string::npos ? "" : e.text.substr(start, end - start + 1);
      ok = !e.text.empty();
    } else if (ok && kind == "key") {
      std::string code, state;
      ok = bool(words >> code >> state) && (state == "down" || state == "up");
      if (ok) {
        e.kind = KEY;
        e.down = state == "down";
        char* codeEnd = nullptr;
        const long n = std::strtol(code.c_str(), &codeEnd, 10);
        e.code = (codeEnd && !*codeEnd) ? int32_t(n) : InputCodeFromName(code.c_str());
        ok = InputCodeClass(e.code) == INPUTCODE_KEY;
      }
    } else if (ok && kind == "mouse") {
      e.kind = MOUSE;
      ok = bool(words >> e.x >> e.y >> e.buttons);
    } else {
      ok = false;
    }
    std::string extra;
    if (!ok || (words >> extra)) {
      m_error = "line " + std::to_string(number) + ": " + line;
      m_events.clear();
      return false;
    }
    m_events.push_back(e);
    if (e.kind == WAIT) ++part;
  }
  std::lock_guard<std::mutex> hold(m_lock);
  m_starts.assign(part + 1, -1);
  m_starts[0] = 0;
  return true;
}

void ScriptedInput::NoteLogLine(const char* line) {
  if (!line) return;
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_waiting < 0) return;
  const Event& wait = m_events[size_t(m_waiting)];
  if (!std::strstr(line, wait.text.c_str())) return;
  m_starts[wait.part + 1] = m_frame;
  m_waiting = -1;
}

int64_t ScriptedInput::PartStart(uint32_t part) const {
  std::lock_guard<std::mutex> hold(m_lock);
  return part < m_starts.size() ? m_starts[part] : -1;
}

void ScriptedInput::Feed(uint32_t frame, VQCanvas* canvas) {
  const host::window_handle window = canvas ? canvas->m_window : 0;
  std::vector<int64_t> starts;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_frame = frame;
    starts = m_starts;
  }
  for (size_t i = 0; i < m_events.size(); ++i) {
    const Event& e = m_events[i];
    if (e.part >= starts.size() || starts[e.part] < 0 ||
        int64_t(frame) != starts[e.part] + int64_t(e.frame))
      continue;
    switch (e.kind) {
      case WAIT: {
        std::lock_guard<std::mutex> hold(m_lock);
        m_waiting = int64_t(i);
        break;
      }
      case QUIT:
        host::post_quit_message(0);
        break;
      case KEY: {
        const uint32_t index = InputCodeKeyIndex(uint32_t(e.code));
        intptr_t lparam = 1 | (IsExtended(index) ? host::KEY_EXTENDED_BIT : 0);
        if (!e.down) lparam |= intptr_t(3) << 30;
        host::post_message(window, e.down ? host::WM_KEYDOWN : host::WM_KEYUP, ScriptedInput_VirtualKey(index), lparam);
        break;
      }
      case MOUSE: {
        const intptr_t at = host::make_lparam(e.x, e.y);
        host::post_message(window, host::WM_MOUSEMOVE, e.buttons, at);
        static const uint32_t kDown[3] = {host::WM_LBUTTONDOWN, host::WM_RBUTTONDOWN, host::WM_MBUTTONDOWN};
        static const uint32_t kUp[3] = {host::WM_LBUTTONUP, host::WM_RBUTTONUP, host::WM_MBUTTONUP};
        for (int b = 0; b < 3; ++b) {
          const uint32_t bit = 1u << b;
          if ((e.buttons & bit) != (m_buttons & bit))
            host::post_message(window, (e.buttons & bit) ? kDown[b] : kUp[b], e.buttons, at);
        }
        m_buttons = e.buttons;
        break;
      }
    }
  }
}
