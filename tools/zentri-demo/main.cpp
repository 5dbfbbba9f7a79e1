// zentri-demo: the engine's frame pump in action.
//
// Opens one render window (SDL's offscreen driver when there is no display), gives it a
// small canvas of a demo display device, and runs VQSystem::Run for two screens in a row,
// each with its own update callback. Every 0.5 s of engine time it prints the average frame
// time. It ends when the window is closed, when Escape or Q is pressed (the key handler sets
// the stop byte), or after --frames N frames in all. Without a display nobody can close the
// window, so it then stops after 300 frames unless --frames says otherwise.
//
//   zentri-demo [--frames N] [--screen-seconds S]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQlog.h"

namespace {

// A display device that draws nothing: it counts frames and learns when its canvas goes.
class DemoDisplay : public VQDisplayDevice {
 public:
  DemoDisplay() : VQDisplayDevice(4) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override {
    if (!g_VQsystem.AddDevice(this)) return false;
    m_initialised = 1;
    return true;
  }
  void Close() override { g_VQsystem.RemoveDevice(this); }
  const char* GetName() override { return "Demo display device"; }
  void RenderAll() override { ++m_frames; }
  void PresentAll() override {}
  void DestroyCanvas(VQCanvas* canvas, int) override {
    if (canvas == m_canvas) m_canvas = nullptr;
    m_windowClosed = true;
    g_VQsystem.m_stop = 1;
  }

  VQCanvas* m_canvas = nullptr;
  long m_frames = 0;
  bool m_windowClosed = false;
};

class DemoCanvas : public VQCanvas {
 public:
  bool RecreateSurfaces() override { return true; }
};

struct Screen {
  const char* name;
  long frameLimit;      // frames this screen runs; 0 = until stopped otherwise
  double secondsLimit;  // engine seconds this screen runs; 0 = no limit
  long frames = 0;
  double seconds = 0.0;
  float lastTimeSum = 0.0f;
};

DemoDisplay g_display;
DemoCanvas g_canvas;
bool g_quitRequested = false;

void UpdateScreen(uintptr_t user) {
  Screen* s = reinterpret_cast<Screen*>(user);
  ++s->frames;
  // The frame time of the previous frame: this frame's is measured after it ends.
  const double dt = g_VQsystem.GetFrameTime(1);
  s->seconds += dt;
  // The system restarts its time sum when it has taken a new average (every 0.5 s).
  const bool newAverage = g_VQsystem.m_timeSum < s->lastTimeSum;
  s->lastTimeSum = g_VQsystem.m_timeSum;
  if (newAverage) {
    std::printf("%s: frame %ld, average frame time %.2f ms\n", s->name, s->frames,
                1000.0 * g_VQsystem.m_averageFrameTime);
    std::fflush(stdout);
  }
  if ((s->frameLimit > 0 && s->frames >= s->frameLimit) || (s->secondsLimit > 0.0 && s->seconds >= s->secondsLimit)) {
    g_VQsystem.m_stop = 1;
  }
}

void OnKey(uintptr_t, uint32_t key, intptr_t, int pressed, VQCanvas*) {
  if (pressed && (key == 27 || key == 'Q')) {
    g_quitRequested = true;
    g_VQsystem.m_stop = 1;
  }
}

bool ParseLong(const char* text, long* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v <= 0) return false;
  *out = v;
  return true;
}

int Usage(FILE* to = stderr) {
  std::fprintf(to, "usage: zentri-demo [--frames N] [--screen-seconds S]\n");
  return to == stderr ? 2 : 0;
}

// An option whose value is out of range or malformed: says which and why, exit status 2.
int BadOption(const char* option, const char* why) {
  std::fprintf(stderr, "zentri-demo: %s: %s\n", option, why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Engine messages go to stderr; a command-line program writes no engine log file into the
  // folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  long totalFrames = 0;
  long screenSeconds = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return Usage(stdout);
    } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      if (!ParseLong(argv[++i], &totalFrames)) return BadOption("--frames", "needs a whole number of frames above 0");
    } else if (std::strcmp(argv[i], "--screen-seconds") == 0 && i + 1 < argc) {
      if (!ParseLong(argv[++i], &screenSeconds))
        return BadOption("--screen-seconds", "needs a whole number of seconds above 0");
    } else {
      return Usage();
    }
  }

  g_VQsystem.Init();
  const VQWindow window = VQwin32_CreateWindow(640, 480);
  if (window == 0) {
    VQwin32_MessageBox("Cannot open a window.", "Error");
    g_VQsystem.Shutdown();
    return 1;
  }
  VQwin32_SetWindowTitle(window, "Zentri demo - Esc or Q quits");
  if (totalFrames == 0 && host::video_headless()) {
    totalFrames = 300;
    std::printf("no display: running %ld frames\n", totalFrames);
  }
  if (!g_display.Open(0)) {
    VQwin32_MessageBox("Cannot open the demo display device.", "Error");
    VQwin32_DestroyWindow(window);
    g_VQsystem.Shutdown();
    return 1;
  }
  g_canvas.m_device = &g_display;
  g_canvas.m_width = 640;
  g_canvas.m_height = 480;
  g_canvas.m_mode = 0;
  g_canvas.m_window = window;
  g_display.m_canvas = &g_canvas;
  host::set_user_data(window, reinterpret_cast<uintptr_t>(&g_canvas));
  host::show_window(window, true);
  g_VQwin32Devices.keyMessage = OnKey;

  // With --frames N the first screen takes half the frames and the second the rest;
  // otherwise the first lasts a few seconds and the second until the window closes.
  Screen screens[2] = {
      {"intro", totalFrames > 0 ? totalFrames / 2 : 0, totalFrames > 0 ? 0.0 : static_cast<double>(screenSeconds)},
      {"main", totalFrames > 0 ? totalFrames - totalFrames / 2 : 0, 0.0},
  };
  long framesRun = 0;
  for (Screen& s : screens) {
    if (g_quitRequested || g_display.m_windowClosed) break;
    if (s.frameLimit == 0 && totalFrames > 0) continue;  // --frames 1: nothing left for this screen
    std::printf("screen %s\n", s.name);
    g_VQsystem.m_updateCallback = UpdateScreen;
    g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(&s);
    g_VQsystem.Run();
    framesRun += s.frames;
    // Run ends without the stop byte only on a quit message (Ctrl+C, or the system asking
    // the program to end): then no further screen starts.
    if (!g_VQsystem.m_stop) g_quitRequested = true;
  }
  std::printf("frames %ld, average frame time %.2f ms\n", framesRun, 1000.0 * g_VQsystem.m_averageFrameTime);

  g_VQwin32Devices.keyMessage = nullptr;
  if (host::is_window(window)) {
    host::set_user_data(window, 0);
    VQwin32_DestroyWindow(window);
  }
  g_VQsystem.Shutdown();
  if (totalFrames > 0 && framesRun != totalFrames && !g_quitRequested && !g_display.m_windowClosed) {
    std::fprintf(stderr, "zentri-demo: ran %ld frames of %ld\n", framesRun, totalFrames);
    return 1;
  }
  return 0;
}
