// overlay-demo: the 2D overlay on an OpenGL canvas.
//
// Three overlay windows: a draggable panel with a centred title and a wrapped paragraph, a
// controls window with a slider, a toggle, an image button and an image list, and an info
// window with a table laid out on tab stops, a centred line and a custom-drawn colour bar.
// The texts use two bitmap fonts that `vqtool font-sheet` made at build time; hovering over
// a control shows its tooltip after half a second; the overlay cursor follows the mouse.
// Mouse and keys come from the system's input devices (the Windows mouse and keyboard, fed by
// the window procedure): each event goes to the devices' pushed handlers first and then to the
// canvas's window manager; the mouse draws the overlay cursor. Up, Down and Return move and
// press the highlight; Escape or Q quits.
//
// With --frames N (and always without a display) it runs N frames (300 by default when
// headless) and plays a short script of mouse input, posted to the window as mouse messages:
// the panel is dragged, the slider and an image-list entry are clicked and the pointer rests on
// the toggle until its tooltip shows.
// --shot OUT.jpg writes the last frame.
//
//   overlay-demo [--frames N] [--shot OUT.jpg] [--data DIR]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQTooltips.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"

namespace {

constexpr int32_t kWidth = 640, kHeight = 480;

// Element identifiers (also the tooltip keys: tooltips.txt numbers its lines from 1).
enum : uint32_t { kSlider = 1, kToggle = 2, kList = 3, kButton = 4, kCustom = 5 };

struct Demo {
  VQDisplayDevice* device = nullptr;
  VQCanvas* canvas = nullptr;
  VQWindowManager* manager = nullptr;
  VQMouseDevice* mouse = nullptr;
  VQKeyboardDevice* keyboard = nullptr;
  VQImageRef* cursor = nullptr;
  VQImageRef* bar = nullptr;
  VQTooltips tooltips;
  VQTextElement* status = nullptr;
  std::string statusText = "Ready";
  long frames = 0, frameLimit = 0;
  bool scripted = false;
  std::string shot;
  bool shotWritten = false;
  std::vector<VQImageRef*> images;  // owned by the demo (window backgrounds, the bar)
  VQFontManager fonts;
};
Demo g_demo;

// A width x height texture of one colour with a border of another (colours 0xAARRGGBB).
VQImageRef* MakeImage(uint32_t width, uint32_t height, uint32_t fill, uint32_t border, uint32_t borderWidth = 1) {
  std::vector<uint8_t> px(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool edge = x < borderWidth || y < borderWidth || x >= width - borderWidth || y >= height - borderWidth;
      const uint32_t c = edge ? border : fill;
      uint8_t* p = &px[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(c);  // blue, green, red, alpha: format 11
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c >> 16);
      p[3] = uint8_t(c >> 24);
    }
  VQTexture* t = g_demo.device->m_textureManager->CreateEmpty(px.data(), width, height, VQPF_BGRA8888, nullptr, 0);
  if (!t) return nullptr;
  auto* ref = new VQImageRef(t);
  --t->m_refCount;  // the handle holds the texture
  return ref;
}

// A small arrow pointing up-left, its tip at the image's top-left corner.
VQImageRef* MakeCursor() {
  const uint32_t size = 16;
  std::vector<uint8_t> px(size * size * 4, 0);
  for (uint32_t row = 0; row < 12; ++row)        // row 0 is the tip, at the top
    for (uint32_t x = 0; x <= row / 2 + row / 3 && x < size; ++x) {
      const uint32_t y = size - 1 - row;          // textures keep the bottom row first
      uint8_t* p = &px[(size_t(y) * size + x) * 4];
      const bool edge = x == 0 || x == row / 2 + row / 3 || row == 11;
      p[0] = p[1] = p[2] = edge ? 0 : 255;
      p[3] = 255;
    }
  VQTexture* t = g_demo.device->m_textureManager->CreateEmpty(px.data(), size, size, VQPF_BGRA8888, nullptr, 0);
  if (!t) return nullptr;
  auto* ref = new VQImageRef(t);
  --t->m_refCount;
  return ref;
}

bool OnElement(uintptr_t id, uint32_t param, uint32_t event, uintptr_t) {
  static char text[64];
  switch (event) {
    case VQELEMENT_EVENT_SLIDER:
      std::snprintf(text, sizeof text, "Volume %u%%", unsigned(param * 100u / 65536u));
      break;
    case VQELEMENT_EVENT_CLICK:
      if (id == kList) {
        std::snprintf(text, sizeof text, "Colour %u", unsigned(param + 1));
      } else if (id == kButton) {
        std::snprintf(text, sizeof text, "Button pressed");
      } else {
        return false;
      }
      break;
    default: return false;
  }
  g_demo.statusText = text;
  if (g_demo.status) g_demo.status->SetText(g_demo.statusText.c_str());
  return false;
}

bool DrawColourBar(VQWindow* window, VQCustomElement* e, uintptr_t) {
  // Eight steps of the bar image side by side, filling the element.
  for (int32_t i = 0; i < 8; ++i) window->DrawImage(g_demo.bar, e->m_x + i * 16, e->m_y);
  return true;
}

// The shot is taken last in the frame, after the overlay and its cursor.
void OnLast(VQCanvas* canvas, uintptr_t) {
  if (g_demo.shot.empty() || !g_VQsystem.m_stop) return;
  VQPixmap* p = canvas->GrabRect(0, 0, int32_t(canvas->m_width), int32_t(canvas->m_height));
  if (!p) return;
  g_demo.shotWritten = p->SaveImage(g_demo.shot.c_str(), VQIMAGE_JPEG, 0);
  canvas->m_device->DeletePixmap(p);
}

// The script of the headless run: frame number, event, canvas point.
struct Step {
  long frame;
  uint32_t event;
  int32_t x, y;
};
constexpr Step kScript[] = {
    {4, VQEVENT_POINTER_MOVE, 60, 420},  {5, VQEVENT_LEFT_DOWN, 60, 420},   // the panel's title bar
    {6, VQEVENT_POINTER_MOVE, 66, 414},  {7, VQEVENT_POINTER_MOVE, 72, 408}, {8, VQEVENT_POINTER_MOVE, 76, 404},
    {9, VQEVENT_LEFT_UP, 76, 404},                                          // panel moved by (16, -16)
    {11, VQEVENT_POINTER_MOVE, 432, 390}, {12, VQEVENT_LEFT_DOWN, 432, 390}, {13, VQEVENT_LEFT_UP, 432, 390},
    {15, VQEVENT_POINTER_MOVE, 452, 330}, {16, VQEVENT_LEFT_DOWN, 452, 330}, {17, VQEVENT_LEFT_UP, 452, 330},
    {19, VQEVENT_POINTER_MOVE, 520, 360},                                   // rest on the toggle
};

// Posts a script step to the canvas's window as the mouse message the system would send
// (client coordinates: y counts down from the top row).
void PostScriptStep(const Step& s) {
  const intptr_t at = host::make_lparam(s.x, kHeight - 1 - s.y);
  uint32_t message = host::WM_MOUSEMOVE;
  if (s.event == VQEVENT_LEFT_DOWN) message = host::WM_LBUTTONDOWN;
  if (s.event == VQEVENT_LEFT_UP) message = host::WM_LBUTTONUP;
  host::post_message(g_demo.canvas->m_window, message, 0, at);
}

void OnFrame(uintptr_t) {
  ++g_demo.frames;
  if (g_demo.scripted)
    for (const Step& s : kScript)
      if (s.frame == g_demo.frames) PostScriptStep(s);
  if (g_demo.frameLimit > 0 && g_demo.frames >= g_demo.frameLimit) g_VQsystem.m_stop = 1;
}

// The demo's own keys, first in the keyboard's handler stack: Escape and Q quit; every other
// key goes on to the overlay.
bool OnKey(uint32_t event, void* record, uintptr_t) {
  if (event != VQEVENT_KEY) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  const bool quit = key->code == VQKEY_ESCAPE || key->code == VQKEY_A + ('Q' - 'A');
  if (!key->pressed || !quit) return false;
  g_VQsystem.m_stop = 1;
  return true;
}

// Opens the Windows mouse and keyboard, attaches them to the canvas and gives the mouse the
// overlay cursor (its tip, the hot spot, at the image's top-left corner).
bool OpenInput() {
  g_demo.mouse = static_cast<VQMouseDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_MOUSE, 0));
  g_demo.keyboard =
      static_cast<VQKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_KEYBOARD, 0));
  if (!g_demo.mouse || !g_demo.mouse->Open(0)) return false;
  if (!g_demo.keyboard || !g_demo.keyboard->Open(0)) return false;
  if (!g_demo.mouse->AttachToCanvas(g_demo.canvas)) return false;
  if (!g_demo.keyboard->AttachToCanvas(g_demo.canvas)) return false;
  if (!g_demo.keyboard->PushHandler(OnKey, 0)) return false;
  const uint32_t hotspot[2] = {0, 15};
  g_demo.mouse->SetCursorImage(g_demo.cursor, hotspot);
  g_demo.mouse->ShowCursor(true);
  return true;
}

void CloseInput() {
  if (g_demo.mouse) g_demo.mouse->Close();
  if (g_demo.keyboard) g_demo.keyboard->Close();
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
  std::fprintf(to, "usage: overlay-demo [--frames N] [--shot OUT.jpg] [--data DIR]\n");
  return to == stderr ? 2 : 0;
}

// An option whose value is out of range or malformed: says which and why, exit status 2.
int BadOption(const char* option, const char* why) {
  std::fprintf(stderr, "overlay-demo: %s: %s\n", option, why);
  return 2;
}

// Builds the three windows; false when an image, a font or a window cannot be made.
bool BuildWindows(const std::string& data) {
  VQFontManager* fonts = &g_demo.fonts;
  fonts->Init(g_demo.device, true);
  VQFont* sans = fonts->Load((data + "/sans14.tga").c_str());
  VQFont* bold = fonts->Load((data + "/bold18.tga").c_str());
  if (!sans || !bold) {
    std::fprintf(stderr, "overlay-demo: cannot load the fonts in %s (run the build first)\n", data.c_str());
    return false;
  }
  VQWindowManager* m = g_demo.manager;
  // Images of windows and of the custom bar stay the demo's; element images go to their
  // elements (deleted with them).
  auto image = [](uint32_t w, uint32_t h, uint32_t fill, uint32_t border, uint32_t bw = 1) {
    return MakeImage(w, h, fill, border, bw);
  };
  auto kept = [](uint32_t w, uint32_t h, uint32_t fill, uint32_t border, uint32_t bw = 1) {
    VQImageRef* r = MakeImage(w, h, fill, border, bw);
    if (r) g_demo.images.push_back(r);
    return r;
  };

  // Panel: draggable, title centred in bold, a wrapped paragraph.
  VQImageRef* panelBg = kept(256, 256, 0xF0284878, 0xFFA0C0F0, 2);
  VQWindow* panel = m->CreateWindow(256, 256, panelBg, OnElement, 0, false);
  if (!panel) return false;
  panel->SetPosition(16, 176);
  auto* title = new VQTextElement(0, nullptr, "Overlay", bold);
  title->SetSize(240, bold->m_glyphHeight);
  title->m_alignment = VQTEXT_CENTRE;
  title->m_x = 8;
  title->m_y = 256 - 8 - int32_t(bold->m_glyphHeight);
  panel->AddElement(title);
  auto* para = new VQTextElement(0, nullptr,
                                 "Drag this window by its title. The text is laid out in its rectangle with "
                                 "word wrapping; a long line breaks between words.",
                                 sans);
  para->SetSize(232, 150);
  para->m_x = 12;
  para->m_y = 40;
  panel->AddElement(para);
  g_demo.status = new VQTextElement(0, nullptr, g_demo.statusText.c_str(), sans);
  g_demo.status->SetSize(232, sans->m_glyphHeight);
  g_demo.status->m_alignment = VQTEXT_RIGHT;
  g_demo.status->m_x = 12;
  g_demo.status->m_y = 10;
  panel->AddElement(g_demo.status);
  panel->Show();

  // Controls: slider, toggle, image button, image list.
  VQImageRef* controlsBg = kept(256, 128, 0xF0303030, 0xFFC0C0C0);
  VQWindow* controls = m->CreateWindow(256, 128, controlsBg, OnElement, 0, false);
  if (!controls) return false;
  controls->SetPosition(320, 304);
  controls->SetMovable(false);
  auto* slider = new VQSliderElement(kSlider, image(16, 16, 0xFFF0D040, 0xFF000000), nullptr,
                                     image(128, 16, 0xFF606060, 0xFF909090), nullptr, 8, 8, 120, 8);
  slider->m_x = 16;
  slider->m_y = 80;
  slider->SetId(kSlider);
  controls->AddElement(slider);
  auto* toggle = new VQToggleElement(kToggle, image(32, 32, 0xFF20C040, 0xFFFFFFFF), nullptr, true);
  toggle->m_x = 184;
  toggle->m_y = 40;
  toggle->SetId(kToggle);
  controls->AddElement(toggle);
  auto* button = new VQImageElement(kButton, image(64, 32, 0xFF8040C0, 0xFFFFFFFF),
                                    image(64, 32, 0xFFC080FF, 0xFFFFFFFF), image(64, 32, 0xFF9050D0, 0xFFFFFFFF),
                                    nullptr, nullptr);
  button->m_x = 16;
  button->m_y = 16;
  std::snprintf(button->m_label, sizeof button->m_label, "Press");
  button->m_labelFont = sans;
  button->m_labelX = 10;
  button->m_labelY = 8;
  controls->AddElement(button);
  auto* list = new VQImageListElement(kList);
  list->m_x = 96;
  list->m_y = 16;
  const uint32_t colours[3] = {0xFFE04040, 0xFF40A0E0, 0xFFE0E040};
  for (int i = 0; i < 3; ++i)
    list->AddImage(i * 26, 0, image(24, 24, colours[i], 0xFF000000), image(24, 24, colours[i], 0xFFFFFFFF, 3),
                   nullptr);
  list->SetId(kList);
  controls->AddElement(list);
  controls->Show();

  // Info: a table on tab stops, a centred line and a custom colour bar.
  VQImageRef* infoBg = kept(512, 128, 0xF0402818, 0xFFE0B080);
  VQWindow* info = m->CreateWindow(512, 128, infoBg, OnElement, 0, false);
  if (!info) return false;
  info->SetPosition(16, 16);
  info->SetMovable(false);
  const uint32_t stops[3] = {0, 140, 220};
  sans->SetTabStops(stops, 3);
  auto* table = new VQTextElement(0, nullptr, "Driver\tLap\tTime\nAlva\t3\t1:02.4\nBrin\t3\t1:03.9", sans);
  table->SetSize(300, 3 * (sans->m_glyphHeight + 2));
  table->m_x = 12;
  table->m_y = 128 - 10 - table->m_height;
  info->AddElement(table);
  auto* centred = new VQTextElement(0, nullptr, "Centred line", bold);
  centred->SetSize(512, bold->m_glyphHeight);
  centred->m_alignment = VQTEXT_CENTRE;
  centred->m_x = 0;
  centred->m_y = 8;
  info->AddElement(centred);
  g_demo.bar = kept(16, 16, 0xFF00C0C0, 0xFF008080);
  auto* custom = new VQCustomElement(kCustom, 128, 16, DrawColourBar, 0);
  custom->m_x = 360;
  custom->m_y = 80;
  custom->SetId(kCustom);
  info->AddElement(custom);
  info->Show();
  // The panel starts on top.
  panel->Show();
  m->Raise(panel);
  m->SetActive(panel);

  if (!VQtooltips_LoadFile((data + "/tooltips.txt").c_str(), false)) return false;
  const uint32_t colour = 0xF0203050, word = 0;
  if (!g_demo.tooltips.Create(g_demo.device->m_textureManager, nullptr, 0, m, sans, &colour, &word)) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string data =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" / "overlay").string();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return Usage(stdout);
    } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      if (!ParseLong(argv[++i], &g_demo.frameLimit)) return BadOption("--frames", "needs a whole number of frames above 0");
    } else if (std::strcmp(argv[i], "--shot") == 0 && i + 1 < argc) {
      g_demo.shot = argv[++i];
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
    } else {
      std::fprintf(stderr, "overlay-demo: %s %s\n", argv[i],
                   argv[i][0] == '-' && (std::strcmp(argv[i], "--frames") == 0 ||
                                         std::strcmp(argv[i], "--shot") == 0 ||
                                         std::strcmp(argv[i], "--data") == 0)
                       ? "needs a value"
                       : "is not an option");
      return Usage();
    }
  }

  // The overlay joins every canvas created from here on.
  VQoverlay_InstallCanvasHooks();
  // Engine messages go to stderr; the program writes no engine log into the folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  g_VQsystem.Init();
  g_demo.device = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!g_demo.device || !g_demo.device->Open(0)) {
    std::fprintf(stderr, "overlay-demo: cannot open the OpenGL display device (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  if (g_demo.frameLimit == 0 && host::video_headless()) g_demo.frameLimit = 300;
  g_demo.scripted = g_demo.frameLimit > 0;
  g_demo.canvas = g_demo.device->CreateCanvas(2, 0, kWidth, kHeight, 0, 0);
  VQViewport* viewport = g_demo.canvas ? g_demo.canvas->CreateViewport(0, 0, kWidth, kHeight) : nullptr;
  g_demo.manager = VQoverlay_Manager(g_demo.canvas);
  if (!viewport || !g_demo.manager) {
    std::fprintf(stderr, "overlay-demo: cannot make the canvas (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    g_demo.device->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  // The viewport clears the canvas each frame; it renders no scene, but a viewport renders
  // (and clears) only through a camera.
  VQCamera camera;
  viewport->m_clearColour = VQColor(0.08f, 0.1f, 0.14f, 1.0f);
  viewport->m_active = 1;
  viewport->SetCamera(&camera);
  g_demo.cursor = MakeCursor();
  if (!BuildWindows(data) || !g_demo.cursor || !OpenInput()) {
    std::fprintf(stderr, "overlay-demo: cannot build the overlay or open the input (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    CloseInput();
    g_demo.device->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  g_demo.canvas->SetTitle("overlay-demo - Esc or Q quits");
  g_demo.canvas->SetCallbacks(nullptr, 0, nullptr, 0, OnLast, 0);
  g_demo.canvas->Show(true);

  g_VQsystem.m_updateCallback = OnFrame;
  g_VQsystem.Run();
  g_VQsystem.m_updateCallback = nullptr;
  std::printf("frames %ld, status \"%s\"\n", g_demo.frames, g_demo.statusText.c_str());

  g_demo.tooltips.Destroy();
  CloseInput();
  // The canvas goes first (its windows and elements with it), then the images the windows drew.
  g_demo.device->DestroyCanvas(g_demo.canvas, 1);
  for (VQImageRef* r : g_demo.images) delete r;
  delete g_demo.cursor;
  g_demo.fonts.ReleaseAll();
  g_demo.device->Close();
  g_VQsystem.Shutdown();
  if (!g_demo.shot.empty() && !g_demo.shotWritten) {
    std::fprintf(stderr, "overlay-demo: cannot write %s\n", g_demo.shot.c_str());
    return 1;
  }
  return 0;
}
