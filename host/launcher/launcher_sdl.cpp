// The launcher's machine facts through SDL2, and the desktop opener.
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "host/launcher/launcher.h"

extern char** environ;

namespace host {
namespace {

// SDL's video subsystem for the length of one enumeration.
struct VideoSession {
  bool ok;
  VideoSession() : ok(SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {}
  ~VideoSession() {
    if (ok) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
};

}  // namespace

bool launcher_video_available() {
  VideoSession video;
  return video.ok;
}

std::vector<DisplayAdapterInfo> launcher_list_displays() {
  std::vector<DisplayAdapterInfo> out;
  VideoSession video;
  if (!video.ok) return out;
  const char* driver = SDL_GetCurrentVideoDriver();
  // Rendering goes through OpenGL on every real video driver; the offscreen and dummy drivers
  // render in software.
  const bool accelerated =
      driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
  const int displays = SDL_GetNumVideoDisplays();
  for (int d = 0; d < displays; ++d) {
    DisplayAdapterInfo info;
    const char* name = SDL_GetDisplayName(d);
    info.name = name && *name ? name : "Display " + std::to_string(d + 1);
    if (driver) info.name += std::string(" (") + driver + ")";
    // The offscreen driver still renders through Mesa's OpenGL, so it counts as a device with
    // transform and lighting, like every OpenGL device.
    info.hardware = accelerated;
    info.hardware_tnl = true;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(d, &mode) == 0)
      info.desktop = DisplayModeInfo{mode.w, mode.h, int(SDL_BITSPERPIXEL(mode.format))};
    const int count = SDL_GetNumDisplayModes(d);
    for (int m = 0; m < count; ++m)
      if (SDL_GetDisplayMode(d, m, &mode) == 0)
        info.modes.push_back(DisplayModeInfo{mode.w, mode.h, int(SDL_BITSPERPIXEL(mode.format))});
    out.push_back(std::move(info));
  }
  return out;
}

std::vector<std::string> launcher_list_sound_devices() {
  std::vector<std::string> out;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return out;
  const int count = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < count; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    out.push_back(name && *name ? name : "Audio device " + std::to_string(i + 1));
  }
  // Drivers that cannot list their devices still play on the default one.
  if (count <= 0) {
    const char* driver = SDL_GetCurrentAudioDriver();
    out.push_back(std::string("Default output") + (driver ? std::string(" (") + driver + ")" : ""));
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return out;
}

bool launcher_display_present() {
  const char* video = std::getenv("SDL_VIDEODRIVER");
  if (video && (std::strcmp(video, "offscreen") == 0 || std::strcmp(video, "dummy") == 0))
    return false;
  // The dialogs are X11 windows (XWayland on a Wayland desktop).
  const char* x11 = std::getenv("DISPLAY");
  return x11 && *x11;
}

bool launcher_open_with_desktop(const char* target) {
  if (!target || !*target) return false;
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(target), nullptr};
  pid_t child;
  if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return false;
  // The opener hands the target to the desktop and ends; it is reaped at once so that no
  // zombie is left, but the launcher does not wait for whatever it starts.
  int status = 0;
  for (int i = 0; i < 50; ++i) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return true;
    usleep(20000);
  }
  return true;
}

}  // namespace host
