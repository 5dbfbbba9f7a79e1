// vqview: opens a window with a canvas and a viewport of the OpenGL display device, renders a
// scene database with a camera that slowly orbits the scene's centre, and can write a
// screenshot of the canvas (read back with GrabRect, written with the JPEG writer).
//
//   vqview FILE.vqo [--camera X,Y,Z] [--orbit DEGREES_PER_SECOND] [--frames N]
//                   [--shot OUT.jpg] [--size WIDTHxHEIGHT]
//
// The camera starts at X,Y,Z (default 0,-150,60) looking at the origin and turns about the
// vertical axis through the origin (default 10 degrees a second; 0 keeps it still). Escape
// or Q, or closing the window, ends it; so do N frames. Without a display nobody can close
// the window, so it then stops after 300 frames unless --frames says otherwise. The shot is
// taken of the last frame.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"

namespace {

struct View {
  VQOpenGLDisplayDevice* device = nullptr;
  VQCanvas* canvas = nullptr;
  VQCamera* camera = nullptr;
  VQVector start{0, -150, 60};
  double orbit = 10.0;  // degrees per second
  double angle = 0.0;   // degrees turned so far
  long frames = 0;
  long frameLimit = 0;
  std::string shot;
  bool shotWritten = false;
  bool quit = false;
};

View g_view;

void PlaceCamera() {
  const double a = g_view.angle * 3.14159265358979 / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  const VQVector p(float(g_view.start.x * c - g_view.start.y * s), float(g_view.start.x * s + g_view.start.y * c),
                   g_view.start.z);
  g_view.camera->m_matrix.SetIdentity();
  g_view.camera->SetPosition(p);
  VQVector direction(-p.x, -p.y, -p.z);
  direction.Normalize();
  g_view.camera->SetViewDirection(direction);
}

void OnFrame(uintptr_t) {
  // The window was closed: the device destroyed the canvas with it.
  if (g_view.device->m_canvasCount == 0) {
    g_view.canvas = nullptr;
    g_VQsystem.m_stop = 1;
    return;
  }
  ++g_view.frames;
  g_view.angle += g_view.orbit * g_VQsystem.GetFrameTime(1);
  PlaceCamera();
  if (g_view.frameLimit > 0 && g_view.frames >= g_view.frameLimit) g_VQsystem.m_stop = 1;
}

// Last callback of the canvas: the frame is complete in the back buffer.
void OnLast(VQCanvas* canvas, uintptr_t) {
  if (g_view.shot.empty() || !g_VQsystem.m_stop) return;
  VQPixmap* p = canvas->GrabRect(0, 0, int32_t(canvas->m_width), int32_t(canvas->m_height));
  if (!p) {
    std::fprintf(stderr, "vqview: cannot read the canvas (%s)\n", VQerror_Describe(g_VQerror).c_str());
    return;
  }
  g_view.shotWritten = p->SaveImage(g_view.shot.c_str(), VQIMAGE_JPEG, 0);
  if (!g_view.shotWritten) std::fprintf(stderr, "vqview: cannot write %s (%s)\n", g_view.shot.c_str(), VQerror_Describe(g_VQerror).c_str());
  canvas->m_device->DeletePixmap(p);
}

void OnKey(uintptr_t, uint32_t key, intptr_t, int pressed, VQCanvas*) {
  if (pressed && (key == 27 || key == 'Q')) {
    g_view.quit = true;
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
  std::fprintf(to,
               "usage: vqview FILE.vqo [--camera X,Y,Z] [--orbit DEGREES_PER_SECOND] [--frames N]\n"
               "              [--shot OUT.jpg] [--size WIDTHxHEIGHT]\n");
  return to == stderr ? 2 : 0;
}

// An option whose value is out of range or malformed: says which and why, exit status 2.
int BadOption(const char* option, const char* why) {
  std::fprintf(stderr, "vqview: %s: %s\n", option, why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Engine messages go to stderr; a command-line program writes no engine log file into the
  // folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  const char* file = nullptr;
  long width = 640, height = 480;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool more = i + 1 < argc;
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      return Usage(stdout);
    } else if (std::strcmp(a, "--frames") == 0 && more) {
      if (!ParseLong(argv[++i], &g_view.frameLimit)) return BadOption(a, "needs a whole number of frames above 0");
    } else if (std::strcmp(a, "--camera") == 0 && more) {
      float x, y, z;
      char extra;
      if (std::sscanf(argv[++i], "%f,%f,%f%c", &x, &y, &z, &extra) != 3) return BadOption(a, "needs three numbers X,Y,Z");
      g_view.start = VQVector(x, y, z);
    } else if (std::strcmp(a, "--orbit") == 0 && more) {
      char* end = nullptr;
      g_view.orbit = std::strtod(argv[++i], &end);
      if (!end || *end) return BadOption(a, "needs a number of degrees per second");
    } else if (std::strcmp(a, "--shot") == 0 && more) {
      g_view.shot = argv[++i];
    } else if (std::strcmp(a, "--size") == 0 && more) {
      char extra;
      if (std::sscanf(argv[++i], "%ldx%ld%c", &width, &height, &extra) != 2 || width < 16 || height < 16 ||
          width > 8192 || height > 8192)
        return BadOption(a, "needs WIDTHxHEIGHT, each from 16 to 8192");
    } else if (a[0] != '-' && !file) {
      file = a;
    } else {
      return Usage();
    }
  }
  if (!file) return Usage();
  if (g_view.start.x == 0 && g_view.start.y == 0) {
    std::fprintf(stderr, "vqview: the camera must not stand above the centre\n");
    return 2;
  }

  g_VQsystem.Init();
  auto* device = static_cast<VQOpenGLDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!device || !device->Open(0)) {
    std::fprintf(stderr, "vqview: cannot open the OpenGL display device (%s)\n", VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  g_view.device = device;
  // Textures are looked for beside the scene file (and in its subfolders).
  const std::string sceneFolder = std::string(file).find('/') == std::string::npos
                                      ? std::string(".")
                                      : std::string(file).substr(0, std::string(file).find_last_of('/'));
  if (device->m_textureManager) device->m_textureManager->PushFolder(sceneFolder.c_str(), true);
  VQNode* root = device->ReadSceneFile(file, 1, 0);
  if (!root) {
    std::fprintf(stderr, "vqview: cannot read %s (%s)\n", file, VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  VQCanvas* canvas = device->CreateCanvas(2, 0, uint32_t(width), uint32_t(height), 0, 0);
  VQViewport* viewport = canvas ? canvas->CreateViewport(0, 0, int32_t(width), int32_t(height)) : nullptr;
  if (!viewport) {
    std::fprintf(stderr, "vqview: cannot make the canvas (%s)\n", VQerror_Describe(g_VQerror).c_str());
    VQNode::Destroy(root);
    g_VQsystem.Shutdown();
    return 1;
  }
  g_view.canvas = canvas;
  std::string title = std::string("vqview - ") + file + " - Esc or Q quits";
  canvas->SetTitle(title.c_str());
  VQCamera camera(float(60.0 * 3.14159265358979 / 180.0), 0.0f);
  camera.m_near = 1.0f;
  camera.m_far = 2000.0f;
  g_view.camera = &camera;
  viewport->m_root = root;
  viewport->m_clearColour = VQColor(0.1f, 0.1f, 0.3f, 1.0f);
  viewport->m_active = 1;
  viewport->SetCamera(&camera);
  PlaceCamera();
  canvas->SetCallbacks(nullptr, 0, nullptr, 0, OnLast, 0);
  canvas->Show(true);

  if (g_view.frameLimit == 0 && host::video_headless()) {
    g_view.frameLimit = 300;
    std::printf("no display: running %ld frames\n", g_view.frameLimit);
  }
  g_VQwin32Devices.keyMessage = OnKey;
  g_VQsystem.m_updateCallback = OnFrame;
  g_VQsystem.Run();
  g_VQwin32Devices.keyMessage = nullptr;
  std::printf("frames %ld, average frame time %.2f ms\n", g_view.frames, 1000.0 * g_VQsystem.m_averageFrameTime);

  device->Close();  // destroys the canvas and its viewport, which lets go of the camera
  VQNode::Destroy(root);
  g_VQsystem.Shutdown();
  if (!g_view.shot.empty() && !g_view.shotWritten) return 1;
  return 0;
}
