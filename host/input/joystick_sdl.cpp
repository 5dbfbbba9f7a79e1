// Multimedia joystick functions over SDL2 (see joystick.h).
#include "host/input/joystick.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace host {
namespace {

constexpr uint32_t kJoystickIds = 16;
constexpr uint32_t kPositionMax = 65535;
constexpr int32_t kSdlOffset = 32768;
constexpr uint32_t kMaxButtons = 32;

// Opened SDL joysticks by identifier; reopened when the place now holds another joystick.
struct open_joysticks {
  SDL_Joystick* js[kJoystickIds] = {};
  bool subsystem = false;
};
open_joysticks& J() {
  static open_joysticks j;
  return j;
}

SDL_Joystick* joystick_at(uint32_t id) {
  if (id >= kJoystickIds) return nullptr;
  open_joysticks& j = J();
  if (!j.subsystem) {
    // Joystick positions are read whatever window has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return nullptr;
    j.subsystem = true;
  }
  SDL_JoystickUpdate();
  const int index = static_cast<int>(id);
  if (index >= SDL_NumJoysticks()) {
    if (j.js[id] != nullptr) SDL_JoystickClose(j.js[id]);
    j.js[id] = nullptr;
    return nullptr;
  }
  const SDL_JoystickID wanted = SDL_JoystickGetDeviceInstanceID(index);
  if (j.js[id] != nullptr && (!SDL_JoystickGetAttached(j.js[id]) || SDL_JoystickInstanceID(j.js[id]) != wanted)) {
    SDL_JoystickClose(j.js[id]);
    j.js[id] = nullptr;
  }
  if (j.js[id] == nullptr) j.js[id] = SDL_JoystickOpen(index);
  return j.js[id];
}

uint32_t position(SDL_Joystick* js, int axis) {
  if (axis >= SDL_JoystickNumAxes(js)) return kPositionMax / 2;
  return static_cast<uint32_t>(SDL_JoystickGetAxis(js, axis) + kSdlOffset);
}

}  // namespace

uint32_t joyGetNumDevs() { return kJoystickIds; }

uint32_t joyGetDevCapsA(uint32_t id, JOYCAPSA* caps, uint32_t size) {
  if (caps == nullptr || size != sizeof(JOYCAPSA)) return JOYERR_PARMS;
  if (id >= kJoystickIds) return MMSYSERR_NODRIVER;
  SDL_Joystick* js = joystick_at(id);
  if (js == nullptr) return JOYERR_UNPLUGGED;
  std::memset(caps, 0, sizeof *caps);
  caps->wMid = SDL_JoystickGetVendor(js);
  caps->wPid = SDL_JoystickGetProduct(js);
  const char* name = SDL_JoystickName(js);
  SDL_strlcpy(caps->szPname, name ? name : "Joystick", sizeof caps->szPname);
  uint32_t* ranges[JOY_MAXAXES][2] = {{&caps->wXmin, &caps->wXmax}, {&caps->wYmin, &caps->wYmax},
                                      {&caps->wZmin, &caps->wZmax}, {&caps->wRmin, &caps->wRmax},
                                      {&caps->wUmin, &caps->wUmax}, {&caps->wVmin, &caps->wVmax}};
  for (auto& r : ranges) {
    *r[0] = 0;
    *r[1] = kPositionMax;
  }
  caps->wNumButtons = std::min<uint32_t>(static_cast<uint32_t>(std::max(0, SDL_JoystickNumButtons(js))), kMaxButtons);
  caps->wPeriodMin = 10;
  caps->wPeriodMax = 1000;
  caps->wMaxAxes = JOY_MAXAXES;
  caps->wNumAxes = static_cast<uint32_t>(std::max(0, SDL_JoystickNumAxes(js)));
  caps->wMaxButtons = kMaxButtons;
  return JOYERR_NOERROR;
}

uint32_t joyGetPosEx(uint32_t id, JOYINFOEX* info) {
  if (info == nullptr || info->dwSize != sizeof(JOYINFOEX)) return JOYERR_PARMS;
  if (id >= kJoystickIds) return MMSYSERR_NODRIVER;
  SDL_Joystick* js = joystick_at(id);
  if (js == nullptr) return JOYERR_UNPLUGGED;
  const uint32_t flags = info->dwFlags;
  uint32_t* fields[JOY_MAXAXES] = {&info->dwXpos, &info->dwYpos, &info->dwZpos,
                                   &info->dwRpos, &info->dwUpos, &info->dwVpos};
  for (uint32_t i = 0; i < JOY_MAXAXES; ++i)
    if (flags & (JOY_RETURNX << i)) *fields[i] = position(js, static_cast<int>(i));
  if (flags & JOY_RETURNBUTTONS) {
    info->dwButtons = 0;
    info->dwButtonNumber = 0;
    const int n = std::min(SDL_JoystickNumButtons(js), static_cast<int>(kMaxButtons));
    for (int b = 0; b < n; ++b)
      if (SDL_JoystickGetButton(js, b)) {
        info->dwButtons |= 1u << b;
        ++info->dwButtonNumber;
      }
  }
  if (flags & JOY_RETURNPOV) info->dwPOV = 0xFFFF;  // centred
  return JOYERR_NOERROR;
}

}  // namespace host
