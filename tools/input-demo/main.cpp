// input-demo: the engine's input devices at work.
//
// Opens an OpenGL canvas with the keyboard, the mouse and every joystick of one driver
// family (DirectInput by default, or the Windows drivers), draws the overlay cursor, and
// prints one line for each key event (code, name, pressed), each mouse event and each change
// of a joystick's axes or buttons. Esc ends it, as does closing the window or --seconds S of
// engine time; without a display it stops after 3 seconds unless told otherwise.
//
//   input-demo [--driver directinput|windows] [--list] [--seconds S]
//
// --list prints the joysticks with their axis and button counts and exits.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"

namespace {

constexpr uint32_t kCursorSize = 16;
constexpr uint32_t kCursorFormat = 11;  // 32-bit, alpha in the top byte
constexpr float kAxisStep = 0.01f;      // smaller axis changes are not printed

struct Kinds {
  int keyboard, mouse, joystick;
  uint32_t joysticks;
};
constexpr Kinds kDirectInput = {VQDEVICE_DINPUT_KEYBOARD, VQDEVICE_DINPUT_MOUSE, VQDEVICE_DINPUT_JOYSTICK,
                                VQDINPUT_JOYSTICKS};
constexpr Kinds kWindows = {VQDEVICE_WINDOWS_KEYBOARD, VQDEVICE_WINDOWS_MOUSE, VQDEVICE_WINDOWS_JOYSTICK,
                            VQWINDOWS_JOYSTICKS};

struct Demo {
  VQJoystickDevice* joysticks[VQDINPUT_JOYSTICKS] = {};
  uint32_t joystickCount = 0;
  double seconds = 0.0;
  double limit = 0.0;
};
Demo g_demo;

bool OnKey(uint32_t, void* record, uintptr_t) {
  const auto* k = static_cast<const VQKeyEvent*>(record);
  std::printf("key %u %s %s\n", k->code, VQkey_Name(k->code), k->pressed ? "pressed" : "released");
  if (k->code == VQKEY_ESCAPE && k->pressed) g_VQsystem.m_stop = 1;
  return false;
}

bool OnMouse(uint32_t event, void* record, uintptr_t) {
  static const char* const kNames[] = {"left down", "left up", "middle down", "middle up",
                                       "right down", "right up", "move"};
  const auto* m = static_cast<const VQMouseEvent*>(record);
  std::printf("mouse %s %d %d %d\n", event < 7 ? kNames[event] : "?", int32_t(m->x), int32_t(m->y), int32_t(m->z));
  return false;
}

void PollJoysticks() {
  for (uint32_t n = 0; n < g_demo.joystickCount; ++n) {
    VQJoystickDevice* j = g_demo.joysticks[n];
    if (!j->Poll()) continue;
    for (uint32_t a = 0; a < j->m_axisCount; ++a)
      if (std::fabs(j->m_axes[a] - j->m_prevAxes[a]) >= kAxisStep)
        std::printf("joystick %u axis %u %.3f\n", n, a, j->m_axes[a]);
    const uint32_t changed = j->m_buttons ^ j->m_prevButtons;
    for (uint32_t b = 0; b < 32; ++b)
      if (changed & (1u << b))
        std::printf("joystick %u button %u %s\n", n, b, (j->m_buttons >> b) & 1u ? "down" : "up");
    j->StorePreviousState();
  }
}

void OnFrame(uintptr_t) {
  PollJoysticks();
  std::fflush(stdout);
  g_demo.seconds += g_VQsystem.GetFrameTime(1);
  if (g_demo.limit > 0.0 && g_demo.seconds >= g_demo.limit) g_VQsystem.m_stop = 1;
}

// Opens every joystick of the family that answers its probe.
void OpenJoysticks(const Kinds& kinds) {
  for (uint32_t i = 0; i < kinds.joysticks; ++i) {
    auto* j = static_cast<VQJoystickDevice*>(g_VQsystem.GetDevice(kinds.joystick, int(i)));
    if (j == nullptr || !j->Open(0)) continue;
    g_demo.joysticks[g_demo.joystickCount++] = j;
  }
}

// A white arrow with a black rim, its point at the top-left corner (the hot spot).
VQPixmap* MakeCursor(VQDisplayDevice* device) {
  VQPixmap* p = device->CreatePixmap(kCursorSize, kCursorSize, kCursorFormat);
  if (p == nullptr) return nullptr;
  uint32_t pitch = 0;
  auto* pixels = static_cast<uint32_t*>(p->Lock(&pitch));
  if (pixels == nullptr) return p;
  for (uint32_t row = 0; row < kCursorSize; ++row) {
    const uint32_t fromTop = kCursorSize - 1 - row;  // rows are stored bottom first
    for (uint32_t x = 0; x < kCursorSize; ++x) {
      uint32_t colour = 0;  // transparent
      if (x <= fromTop / 2 + fromTop / 4 && fromTop < 12) colour = (x == 0 || x == fromTop / 2 + fromTop / 4) ? 0xFF000000u : 0xFFFFFFFFu;
      pixels[row * pitch + x] = colour;
    }
  }
  p->m_valid = 1;
  return p;
}

int Usage(FILE* to = stderr) {
  std::fprintf(to, "usage: input-demo [--driver directinput|windows] [--list] [--seconds S]\n");
  return to == stderr ? 2 : 0;
}

// An option whose value is out of range or malformed: says which and why, exit status 2.
int BadOption(const char* option, const char* why) {
  std::fprintf(stderr, "input-demo: %s: %s\n", option, why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const Kinds* kinds = &kDirectInput;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return Usage(stdout);
    } else if (std::strcmp(argv[i], "--driver") == 0) {
      const char* d = hasValue ? argv[++i] : "";
      if (std::strcmp(d, "directinput") == 0)
        kinds = &kDirectInput;
      else if (std::strcmp(d, "windows") == 0)
        kinds = &kWindows;
      else
        return BadOption("--driver", "needs directinput or windows");
    } else if (std::strcmp(argv[i], "--list") == 0) {
      list = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0) {
      errno = 0;
      char* end = nullptr;
      const char* text = hasValue ? argv[++i] : "";
      g_demo.limit = std::strtod(text, &end);
      if (errno != 0 || end == text || *end != '\0' || !(g_demo.limit > 0.0) ||
          g_demo.limit > 86400.0)
        return BadOption("--seconds", "needs a number of seconds above 0 and at most 86400");
    } else {
      std::fprintf(stderr, "input-demo: unknown option %s\n", argv[i]);
      return Usage();
    }
  }

  // Engine messages go to stderr; the program writes no engine log into the folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  g_VQsystem.Init();
  if (list) {
    OpenJoysticks(*kinds);
    std::printf("%u joystick(s)\n", g_demo.joystickCount);
    for (uint32_t n = 0; n < g_demo.joystickCount; ++n) {
      VQJoystickDevice* j = g_demo.joysticks[n];
      std::printf("joystick %u: %s, %u axes, %u buttons\n", n, j->GetName(), j->m_axisCount, j->m_buttonCount);
    }
    g_VQsystem.Shutdown();
    return 0;
  }

  auto* display = static_cast<VQOpenGLDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (display == nullptr || !display->Open(0)) {
    std::fprintf(stderr, "input-demo: cannot open the OpenGL display device (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  VQCanvas* canvas = display->CreateCanvas(2, 0, 640, 480, 0, 0);
  if (canvas == nullptr) {
    std::fprintf(stderr, "input-demo: cannot make the canvas (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  canvas->SetTitle("input-demo - Esc quits");
  canvas->Show(true);

  auto* keyboard = static_cast<VQKeyboardDevice*>(g_VQsystem.GetDevice(kinds->keyboard, 0));
  auto* mouse = static_cast<VQMouseDevice*>(g_VQsystem.GetDevice(kinds->mouse, 0));
  if (keyboard == nullptr || !keyboard->Open(0) || !keyboard->AttachToCanvas(canvas)) {
    std::fprintf(stderr, "input-demo: no keyboard (%s)\n", VQerror_Describe(g_VQerror).c_str());
    keyboard = nullptr;
  }
  if (mouse == nullptr || !mouse->Open(0) || !mouse->AttachToCanvas(canvas)) {
    std::fprintf(stderr, "input-demo: no mouse (%s)\n", VQerror_Describe(g_VQerror).c_str());
    mouse = nullptr;
  }
  if (keyboard != nullptr) keyboard->PushHandler(OnKey, 0);
  VQPixmap* cursorPixmap = MakeCursor(display);
  VQImageRef cursor(cursorPixmap);
  if (mouse != nullptr) {
    mouse->PushHandler(OnMouse, 0);
    const uint32_t hot[2] = {0, kCursorSize - 1};
    mouse->SetCursorImage(&cursor, hot);
    mouse->ShowCursor(true);
  }
  OpenJoysticks(*kinds);
  std::printf("%s drivers: keyboard %s, mouse %s, %u joystick(s)\n", kinds == &kWindows ? "Windows" : "DirectInput",
              keyboard ? "open" : "missing", mouse ? "open" : "missing", g_demo.joystickCount);
  if (g_demo.limit == 0.0 && host::video_headless()) {
    g_demo.limit = 3.0;
    std::printf("no display: running %.0f seconds\n", g_demo.limit);
  }

  g_VQsystem.m_updateCallback = OnFrame;
  g_VQsystem.Run();
  g_VQsystem.m_updateCallback = nullptr;

  if (mouse != nullptr) {
    mouse->ShowCursor(false);
    mouse->ShowPointer();
    mouse->SetCursorImage(nullptr, nullptr);
  }
  if (cursorPixmap != nullptr) display->DeletePixmap(cursorPixmap);
  g_VQsystem.Shutdown();  // closes the input devices and the display with its canvas
  return 0;
}
