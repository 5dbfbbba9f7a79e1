// car-demo: one car of a racing class on a flat test ground, seen by a chase camera, driven from
// the keyboard (arrows: steer, throttle, brake; l lights, h horn), a joystick, or a script.
//
//   car-demo [--data DIR] [--class NAME] [--car N] [--computer] [--seconds S] [--input FILE]
//            [--shot OUT.jpg] [--sound OUT.wav] [--trace] [--headless]
//
// --data: the data tree (default: the build's generated tree). --car N: the class's shipped skin
// N (0 or 1; default the model's own paint). --computer: the computer drivers' simpler model.
// --seconds: the run ends after S seconds of race time (a headless run: 10 s unless given).
// --input: a script of "FRAME key CODE down|up" and "FRAME quit" lines (see Pindrel --input),
// fed to the window at 60 frames a second. --shot: the last frame as a JPEG file (TGA when the name ends in ".tga"). --sound: the
// mixer renders to memory instead of a sound card and its output goes to a WAVE file (44100 Hz
// stereo, 16 bits). --trace: a CSV line every 0.25 s (time, position, up axis, speed, engine
// rpm, gear, controls, tyre smoke, slip, engine sound). --headless: SDL's offscreen video and
// dummy audio. A headless run advances exactly 1/60 s a frame.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/directx/dsound.h"
#include "QVX/race/Car.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/FlatGround.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceCamera.h"
#include "QVX/shell/ScriptedInput.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQlog.h"

namespace {

constexpr uint32_t kRate = 44100, kChannels = 2;
constexpr float kStep = 1.0f / 60.0f;

struct Options {
  std::string data = VQ_GAME_DIR, cls = "sport", input, shot, sound;
  int car = -1;
  bool computer = false, trace = false, headless = false;
  float seconds = -1.0f;
};

void Usage(FILE* to) {
  std::fprintf(
      to,
      "usage: car-demo [--data DIR] [--class NAME] [--car N] [--computer] [--seconds S]\n"
      "                [--input FILE] [--shot OUT.jpg] [--sound OUT.wav] [--trace] [--headless]\n");
}

// 0 on success, 2 for a bad command line (message printed), 1 for --help (exit 0).
int Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    auto bad = [&](const char* why) {
      std::fprintf(stderr, "car-demo: %s: %s\n", a.c_str(), why);
      return 2;
    };
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 1;
    } else if (a == "--data" && value) {
      o->data = argv[++i];
    } else if (a == "--class" && value) {
      o->cls = argv[++i];
    } else if (a == "--car" && value) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end || n < 0 || n > 1) return bad("needs a skin number 0 or 1");
      o->car = int(n);
    } else if (a == "--computer") {
      o->computer = true;
    } else if (a == "--seconds" && value) {
      char* end = nullptr;
      o->seconds = std::strtof(argv[++i], &end);
      if (*end || !(o->seconds > 0.0f) || o->seconds > 3600.0f)
        return bad("needs a number of seconds above 0 and at most 3600");
    } else if (a == "--input" && value) {
      o->input = argv[++i];
    } else if (a == "--shot" && value) {
      o->shot = argv[++i];
    } else if (a == "--sound" && value) {
      o->sound = argv[++i];
    } else if (a == "--trace") {
      o->trace = true;
    } else if (a == "--headless") {
      o->headless = true;
    } else {
      const bool takesValue = a == "--data" || a == "--class" || a == "--car" || a == "--seconds" ||
                              a == "--input" || a == "--shot" || a == "--sound";
      std::fprintf(stderr, "car-demo: %s %s\n", a.c_str(),
                   takesValue ? "needs a value" : "is not an option");
      Usage(stderr);
      return 2;
    }
  }
  return 0;
}

void Put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
bool WriteWave(const std::string& path, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  Put(b, 36 + dataBytes, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(b, 16, 4);
  Put(b, 1, 2);
  Put(b, kChannels, 2);
  Put(b, kRate, 4);
  Put(b, kRate * kChannels * 2, 4);
  Put(b, kChannels * 2, 2);
  Put(b, 16, 2);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  Put(b, dataBytes, 4);
  for (int16_t s : samples) Put(b, uint16_t(s), 2);
  return vqfileio::WriteWholeFile(path.c_str(), b.data(), b.size());
}

struct Demo {
  Options o;
  VQDisplayDevice* device = nullptr;
  VQCanvas* canvas = nullptr;
  VQDSoundDevice* sound = nullptr;
  VQKeyboardDevice* keyboard = nullptr;
  FlatGround ground;
  CarCatalog* catalog = nullptr;
  Car car;
  Player player;
  PlayerInputDevices input;
  RaceCamera chase;
  VQCamera camera{float(70.0 * M_PI / 180.0), 0.0f};
  ScriptedInput script;
  uint32_t frame = 0;
  float nextTrace = 0.0f;
  bool shotWritten = false;
  std::vector<int16_t> mix;
};
Demo* g_demo = nullptr;

void Trace(Demo& d) {
  const Car& c = d.car;
  const VQVector p = c.GetPosition();
  float smoke = 0.0f, slip = 0.0f;
  for (int w = 0; w < 4; ++w) {
    smoke = std::max(smoke, c.GetTyreSmokeRate(w));
    slip = std::max(slip, c.GetWheelSlip(w));
  }
  std::printf("%.3f,%.3f,%.3f,%.3f,%.4f,%.3f,%.1f,%d,%.3f,%.3f,%.3f,%.2f,%.3f,%.3f,%.3f\n",
              d.ground.GetRaceTime(), p.x, p.y, c.GetBodyMatrix()->m[14], c.GetUpAxisZ(),
              c.GetSpeed(), c.GetEngineRpm(), c.GetGear(), c.GetThrottle(), c.GetBrake(),
              c.GetSteering(), smoke, slip, c.GetEnginePitch(), c.GetEngineGain());
}

void OnFrame(uintptr_t) {
  Demo& d = *g_demo;
  if (d.device->m_canvasCount == 0) {
    g_VQsystem.m_stop = 1;
    return;
  }
  d.script.Feed(d.frame, d.canvas);
  for (VQJoystickDevice* j : d.input.joysticks)
    if (j) j->Poll();
  const float dt = d.o.headless ? kStep : std::clamp(g_VQsystem.GetFrameTime(1), 0.001f, 0.05f);
  // Physics first, then the human's controls for the next frame (as in a race).
  d.ground.StepPhysics(dt);
  d.player.UpdateHuman(dt, d.ground.GetRaceTime());
  d.chase.Update(dt, false);
  d.camera.m_velocity = d.car.GetVelocity();
  if (d.o.trace && d.ground.GetRaceTime() + 1e-4f >= d.nextTrace) {
    Trace(d);
    d.nextTrace += 0.25f;
  }
  if (d.sound && !d.o.sound.empty()) {
    const uint32_t n = uint32_t(std::lround(dt * kRate));
    const size_t at = d.mix.size();
    d.mix.resize(at + size_t(n) * kChannels);
    d.sound->m_dsound->render(d.mix.data() + at, n);
  }
  ++d.frame;
  const float limit = d.o.seconds > 0 ? d.o.seconds : (d.o.headless ? 10.0f : 0.0f);
  if ((limit > 0.0f && d.ground.GetRaceTime() + 1e-4f >= limit) ||
      (d.keyboard && d.keyboard->IsKeyDown(VQKEY_ESCAPE)))
    g_VQsystem.m_stop = 1;
}

void OnLast(VQCanvas* canvas, uintptr_t) {
  Demo& d = *g_demo;
  if (d.o.shot.empty() || !g_VQsystem.m_stop) return;
  VQPixmap* p = canvas->GrabRect(0, 0, int32_t(canvas->m_width), int32_t(canvas->m_height));
  if (!p) return;
  const std::string& shot = d.o.shot;
  const bool tga = shot.size() > 4 && (shot.compare(shot.size() - 4, 4, ".tga") == 0);
  d.shotWritten = p->SaveImage(shot.c_str(), tga ? VQIMAGE_TGA : VQIMAGE_JPEG, 0);
  canvas->m_device->DeletePixmap(p);
}

}  // namespace

int main(int argc, char** argv) {
  // Engine messages go to stderr; the program writes no engine log into the folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  Demo* demo = new Demo();
  Demo& d = *demo;
  g_demo = demo;
  const int parsed = Parse(argc, argv, &d.o);
  if (parsed) {
    delete demo;
    return parsed == 1 ? 0 : 2;
  }
  if (!d.o.headless && !d.o.shot.empty() && std::getenv("SDL_VIDEODRIVER") &&
      std::string(std::getenv("SDL_VIDEODRIVER")) == "offscreen")
    d.o.headless = true;
  if (d.o.headless) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  if (!d.o.input.empty() && !d.script.Load(d.o.input.c_str())) {
    std::fprintf(stderr, "car-demo: --input %s: %s\n", d.o.input.c_str(), d.script.Error().c_str());
    delete demo;
    return 2;
  }
  int status = 0;
  g_VQsystem.Init();
  d.device = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!d.device || !d.device->Open(0)) {
    std::fprintf(stderr, "car-demo: cannot open the OpenGL display device (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    delete demo;
    g_VQsystem.Shutdown();
    return 1;
  }
  const uint32_t width = 800, height = 480;
  d.canvas = d.device->CreateCanvas(2, 0, width, height, 0, 0);
  VQViewport* viewport =
      d.canvas ? d.canvas->CreateViewport(0, 0, int32_t(width), int32_t(height)) : nullptr;
  if (!viewport) {
    std::fprintf(stderr, "car-demo: cannot make the canvas (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    d.device->Close();
    delete demo;
    g_VQsystem.Shutdown();
    return 1;
  }
  d.canvas->SetTitle("car-demo - arrows drive, Esc quits");

  // Sound: a sound card, or the mixer rendering to memory for --sound.
  host::ds_set_render_to_memory(!d.o.sound.empty());
  d.sound = static_cast<VQDSoundDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0));
  if (d.sound && d.sound->Open(0)) {
    d.sound->AttachToCanvas(d.canvas);
    d.sound->SetPrimaryFormat(kChannels, 16, kRate);
    if (d.sound->m_limiter) d.sound->m_limiter->SetMaxVoices(8);
    if (d.sound->m_cache) d.sound->m_cache->SetFolder((d.o.data + "\\Data\\Audio").c_str(), false);
  } else {
    d.sound = nullptr;
    if (!d.o.sound.empty()) {
      std::fprintf(stderr, "car-demo: cannot open the sound device\n");
      status = 1;
    }
  }

  // Input: the keyboard of the window, the first joystick when one is there.
  d.keyboard = static_cast<VQKeyboardDevice*>(g_VQsystem.GetDevice(VQDEVICE_WINDOWS_KEYBOARD, 0));
  if (d.keyboard && d.keyboard->Open(0))
    d.keyboard->AttachToCanvas(d.canvas);
  else
    d.keyboard = nullptr;
  d.input.keyboard = d.keyboard;
  auto* joystick =
      static_cast<VQJoystickDevice*>(g_VQsystem.GetDevice(VQDEVICE_DINPUT_JOYSTICK, 0));
  if (joystick && joystick->Open(0)) d.input.joysticks[0] = joystick;

  d.catalog = new CarCatalog(d.o.data.c_str(), d.device, d.sound);
  d.ground.AddGroundMesh(d.device);
  if (!status && !d.catalog->LoadClass(d.o.cls.c_str(), nullptr)) {
    std::fprintf(stderr, "car-demo: no racing class '%s' in %s\n", d.o.cls.c_str(),
                 d.o.data.c_str());
    status = 1;
  }
  VQTexture* paint = nullptr;
  if (!status && d.o.car >= 0 && d.device->m_textureManager) {
    const std::string folder = d.o.data + "\\Data\\Maps_cars\\Update1skins";
    d.device->m_textureManager->PushFolder(folder.c_str(), false);
    const std::string name = "MS " + d.o.cls + (d.o.car == 0 ? " works.tga" : " classic.tga");
    paint = d.device->m_textureManager->Load(name.c_str(), 0, true, true, 32768, 32768);
    d.device->m_textureManager->PopFolder();
    if (!paint)
      std::fprintf(stderr, "car-demo: skin '%s' not found, the model's paint stays\n",
                   name.c_str());
  }
  CarSetup setup;
  setup.carName = d.o.cls.c_str();
  setup.computer = d.o.computer;
  setup.paint = paint;
  if (!status && !(d.car.Create(d.catalog, &d.ground, setup) && d.car.Attach())) {
    std::fprintf(stderr, "car-demo: %s\n", d.car.GetError().c_str());
    status = 1;
  }
  if (!status) {
    d.player.Reset(PLAYER_HUMAN);
    d.player.SetDefaultKeyBindings(1);
    if (d.input.joysticks[0] && d.o.input.empty()) d.player.SetDefaultJoystickBindings();
    d.player.m_input = &d.input;
    d.player.m_car = &d.car;

    d.camera.m_near = 0.5f;
    d.camera.m_far = 1500.0f;
    viewport->m_root = d.ground.GetScene();
    viewport->m_clearColour = VQColor(0.45f, 0.6f, 0.85f, 1.0f);
    viewport->m_active = 1;
    viewport->SetCamera(&d.camera);
    d.chase.BindCamera(&d.camera);
    d.chase.SetMode(RACECAMERA_CHASE);
    d.chase.SetTarget(d.car.FindNode("x_body"));
    d.chase.SetTargetPoint(VQVector(0, 1.3f, 0.8f));
    d.chase.SetChaseOffset(VQVector(0, -18.0f, 2.6f));
    d.chase.SetClipRange(0.5f, 1500.0f);
    d.chase.Apply();
    d.chase.Update(0.0f, false);
    if (d.o.trace)
      std::printf(
          "t,x,y,z,up,speed,rpm,gear,throttle,brake,steering,smoke,slip,engine_pitch,engine_"
          "gain\n");
    d.canvas->SetCallbacks(nullptr, 0, nullptr, 0, OnLast, 0);
    d.canvas->Show(true);
    g_VQsystem.m_updateCallback = OnFrame;
    g_VQsystem.Run();
    g_VQsystem.m_updateCallback = nullptr;
    if (!d.o.shot.empty() && !d.shotWritten) {
      std::fprintf(stderr, "car-demo: cannot write %s\n", d.o.shot.c_str());
      status = 1;
    }
    if (!d.o.sound.empty() && d.sound && !WriteWave(d.o.sound, d.mix)) {
      std::fprintf(stderr, "car-demo: cannot write %s\n", d.o.sound.c_str());
      status = 1;
    }
  }
  d.car.Detach();
  d.car.Release(true);  // its sound buffers go back through the sound cache first
  delete d.catalog;
  if (paint) paint->Release();
  if (joystick && d.input.joysticks[0]) joystick->Close();
  if (d.keyboard) d.keyboard->Close();
  if (d.sound) d.sound->Close();
  d.device->Close();
  delete demo;
  g_VQsystem.Shutdown();
  return status;
}
