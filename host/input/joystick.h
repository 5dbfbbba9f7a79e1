// The Windows multimedia joystick functions (joyGetNumDevs, joyGetDevCapsA, joyGetPosEx) as
// the engine's Windows joystick driver uses them, over SDL2 joysticks: joystick identifier
// n is the n-th SDL joystick attached now, so one plugged in later is found by the next
// call. Positions are unsigned, 0 at one end of an axis and 65535 at the other (SDL's
// -32768..32767 moved up by 32768); axes X, Y, Z, R, U, V are SDL axes 0 to 5. Buttons are
// the first 32 SDL buttons, bit i for button i.
#pragma once

#include <cstdint>

namespace host {

constexpr uint32_t JOYERR_NOERROR = 0;
constexpr uint32_t MMSYSERR_NODRIVER = 6;
constexpr uint32_t MMSYSERR_INVALPARAM = 11;
constexpr uint32_t JOYERR_PARMS = 165;
constexpr uint32_t JOYERR_UNPLUGGED = 167;

constexpr uint32_t JOY_RETURNX = 0x001, JOY_RETURNY = 0x002, JOY_RETURNZ = 0x004, JOY_RETURNR = 0x008,
                   JOY_RETURNU = 0x010, JOY_RETURNV = 0x020, JOY_RETURNPOV = 0x040, JOY_RETURNBUTTONS = 0x080;
constexpr uint32_t JOY_RETURNALL = 0x0FF;

constexpr uint32_t JOY_MAXAXES = 6;  // X, Y, Z, R, U, V
constexpr uint32_t JOY_MAXPNAMELEN = 32;

struct JOYCAPSA {
  uint16_t wMid, wPid;
  char szPname[JOY_MAXPNAMELEN];
  uint32_t wXmin, wXmax, wYmin, wYmax, wZmin, wZmax;
  uint32_t wNumButtons;
  uint32_t wPeriodMin, wPeriodMax;
  uint32_t wRmin, wRmax, wUmin, wUmax, wVmin, wVmax;
  uint32_t wCaps;
  uint32_t wMaxAxes;
  uint32_t wNumAxes;  // the device's real axis count (may exceed JOY_MAXAXES)
  uint32_t wMaxButtons;
};

struct JOYINFOEX {
  uint32_t dwSize;
  uint32_t dwFlags;
  uint32_t dwXpos, dwYpos, dwZpos, dwRpos, dwUpos, dwVpos;
  uint32_t dwButtons;
  uint32_t dwButtonNumber;
  uint32_t dwPOV;
  uint32_t dwReserved1, dwReserved2;
};

// Joystick identifiers the system serves (always 16, as Windows answers).
uint32_t joyGetNumDevs();
// Capabilities of joystick id; JOYERR_UNPLUGGED when no joystick has that place, JOYERR_PARMS
// for a bad size or a null record.
uint32_t joyGetDevCapsA(uint32_t id, JOYCAPSA* caps, uint32_t size);
// Position of joystick id; dwSize must be sizeof(JOYINFOEX). JOYERR_UNPLUGGED when the
// joystick is gone.
uint32_t joyGetPosEx(uint32_t id, JOYINFOEX* info);

}  // namespace host
