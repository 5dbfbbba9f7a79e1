// DirectInput 7 as the engine's input devices use it, over SDL2: the types, constants and
// the two interfaces (the DirectInput object and its devices) the keyboard, mouse and
// joystick drivers were written against. The layer is reached only through the create
// function that dx_library.h hands out under "dinput.dll", so the engine loads it by name
// at run time and its failure paths stay real.
//
// What the SDL layer does:
// - The keyboard (one, GUID_SysKeyboard) and the mouse (one, GUID_SysMouse) record SDL key,
//   motion, button and wheel events through an SDL event watch while acquired, into a
//   buffer of the size set with DIPROP_BUFFERSIZE; a full buffer drops the newest records
//   and the next read answers DI_BUFFEROVERFLOW. Keys are DIK scan codes (extended keys
//   have bit 7 set); key and button data have bit 7 set while down. Mouse axes are
//   relative (X, Y in pixels, Y down; Z in wheel units of 120 a notch).
// - Joysticks are SDL joysticks (all of them, hot-plugged ones included), with their raw
//   axis range -32768..32767 unless DIPROP_RANGE changes it, the first eight axes at the
//   axis fields of DIJOYSTATE in the order X, Y, Z, Rx, Ry, Rz, slider 0, slider 1, and up to
//   32 buttons. A joystick that is unplugged answers DIERR_INPUTLOST and then DIERR_UNPLUGGED.
// - A foreground device loses its acquisition when its window loses the input focus
//   (DIERR_INPUTLOST on the next read) and cannot be acquired again until the window has
//   the focus back (DIERR_OTHERAPPHASPRIO).
// Everything runs on the thread that runs the window layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/directx/dx_types.h"
#include "host/window/window.h"

// Success codes.
constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOTATTACHED = 1;
constexpr HRESULT DI_BUFFEROVERFLOW = 1;
constexpr HRESULT DI_PROPNOEFFECT = 1;
constexpr HRESULT DI_NOEFFECT = 1;
constexpr HRESULT DI_POLLEDDEVICE = 2;

// Failure codes (the generic ones are the shared DXERR_ values of dx_types.h).
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047Eu);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = static_cast<HRESULT>(0x80070481u);
constexpr HRESULT DIERR_BADDRIVERVER = static_cast<HRESULT>(0x80070077u);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT DIERR_NOTFOUND = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT DIERR_OBJECTNOTFOUND = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT DIERR_INVALIDPARAM = DXERR_INVALIDPARAMS;
constexpr HRESULT DIERR_NOINTERFACE = DXERR_NOINTERFACE;
constexpr HRESULT DIERR_GENERIC = DXERR_GENERIC;
constexpr HRESULT DIERR_OUTOFMEMORY = DXERR_OUTOFMEMORY;
constexpr HRESULT DIERR_UNSUPPORTED = DXERR_UNSUPPORTED;
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015u);
constexpr HRESULT DIERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x800704DFu);
constexpr HRESULT DIERR_NOAGGREGATION = DXERR_NOAGGREGATION;
constexpr HRESULT DIERR_OTHERAPPHASPRIO = DXERR_ACCESSDENIED;
constexpr HRESULT DIERR_HANDLEEXISTS = DXERR_ACCESSDENIED;
constexpr HRESULT DIERR_READONLY = DXERR_ACCESSDENIED;
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AAu);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_PENDING = static_cast<HRESULT>(0x8000000Au);
constexpr HRESULT DIERR_INSUFFICIENTPRIVS = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT DIERR_DEVICEFULL = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT DIERR_MOREDATA = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT DIERR_NOTDOWNLOADED = static_cast<HRESULT>(0x80040203u);
constexpr HRESULT DIERR_HASEFFECTS = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT DIERR_NOTEXCLUSIVEACQUIRED = static_cast<HRESULT>(0x80040205u);
constexpr HRESULT DIERR_INCOMPLETEEFFECT = static_cast<HRESULT>(0x80040206u);
constexpr HRESULT DIERR_NOTBUFFERED = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT DIERR_EFFECTPLAYING = static_cast<HRESULT>(0x80040208u);
constexpr HRESULT DIERR_UNPLUGGED = static_cast<HRESULT>(0x80040209u);

constexpr uint32_t DIRECTINPUT_VERSION = 0x0700;

extern const GUID IID_IDirectInput7A;
extern const GUID IID_IDirectInputDevice7A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;

// Device types (low byte of dwDevType) and enumeration.
constexpr uint32_t DIDEVTYPE_MOUSE = 2;
constexpr uint32_t DIDEVTYPE_KEYBOARD = 3;
constexpr uint32_t DIDEVTYPE_JOYSTICK = 4;
constexpr uint32_t DIEDFL_ATTACHEDONLY = 0x00000001;
constexpr int DIENUM_STOP = 0;
constexpr int DIENUM_CONTINUE = 1;

// Object types for EnumObjects.
constexpr uint32_t DIDFT_RELAXIS = 0x00000001;
constexpr uint32_t DIDFT_ABSAXIS = 0x00000002;
constexpr uint32_t DIDFT_AXIS = 0x00000003;
constexpr uint32_t DIDFT_BUTTON = 0x0000000C;
constexpr uint32_t DIDFT_ALL = 0x00000000;

// Cooperative levels.
constexpr uint32_t DISCL_EXCLUSIVE = 0x00000001;
constexpr uint32_t DISCL_NONEXCLUSIVE = 0x00000002;
constexpr uint32_t DISCL_FOREGROUND = 0x00000004;
constexpr uint32_t DISCL_BACKGROUND = 0x00000008;
constexpr uint32_t DISCL_NOWINKEY = 0x00000010;

// Capabilities.
constexpr uint32_t DIDC_ATTACHED = 0x00000001;
constexpr uint32_t DIDC_POLLEDDEVICE = 0x00000002;
constexpr uint32_t DIDC_POLLEDDATAFORMAT = 0x00000008;
constexpr uint32_t DIDC_FORCEFEEDBACK = 0x00000100;

// Properties (in DirectX these are small numbers cast to GUID pointers).
enum dinput_property : uint32_t {
  DIPROP_BUFFERSIZE = 1,
  DIPROP_AXISMODE = 2,
  DIPROP_RANGE = 4,
  DIPROP_DEADZONE = 5,
};
constexpr uint32_t DIPH_DEVICE = 0;
constexpr uint32_t DIPH_BYOFFSET = 1;
constexpr uint32_t DIPROPAXISMODE_ABS = 0;
constexpr uint32_t DIPROPAXISMODE_REL = 1;

struct DIPROPHEADER {
  uint32_t dwSize;
  uint32_t dwHeaderSize;
  uint32_t dwObj;  // data offset with DIPH_BYOFFSET, 0 with DIPH_DEVICE
  uint32_t dwHow;
};
struct DIPROPDWORD {
  DIPROPHEADER diph;
  uint32_t dwData;
};
struct DIPROPRANGE {
  DIPROPHEADER diph;
  int32_t lMin;
  int32_t lMax;
};

// Data formats; the layer knows the three standard ones by their data size.
struct DIDATAFORMAT {
  uint32_t dwSize;
  uint32_t dwObjSize;
  uint32_t dwFlags;
  uint32_t dwDataSize;
  uint32_t dwNumObjs;
};
extern const DIDATAFORMAT c_dfDIKeyboard;  // 256 bytes, one per scan code
extern const DIDATAFORMAT c_dfDIMouse;     // DIMOUSESTATE, 16 bytes
extern const DIDATAFORMAT c_dfDIJoystick;  // DIJOYSTATE, 80 bytes

struct DIMOUSESTATE {
  int32_t lX, lY, lZ;
  uint8_t rgbButtons[4];
};
static_assert(sizeof(DIMOUSESTATE) == 16, "DIMOUSESTATE is 16 bytes");
constexpr uint32_t DIMOFS_X = 0;
constexpr uint32_t DIMOFS_Y = 4;
constexpr uint32_t DIMOFS_Z = 8;
constexpr uint32_t DIMOFS_BUTTON0 = 12;  // left; 13 right, 14 middle, 15 the fourth

struct DIJOYSTATE {
  int32_t lX, lY, lZ, lRx, lRy, lRz;
  int32_t rglSlider[2];
  uint32_t rgdwPOV[4];
  uint8_t rgbButtons[32];
};
static_assert(sizeof(DIJOYSTATE) == 80, "DIJOYSTATE is 80 bytes");
constexpr uint32_t DIJOYSTATE_AXES = 8;     // axis fields: X, Y, Z, Rx, Ry, Rz, two sliders
constexpr uint32_t DIJOYSTATE_BUTTONS = 32;
constexpr uint32_t DIJOFS_X = 0;
constexpr uint32_t DIJOFS_SLIDER0 = 24;
constexpr uint32_t DIJOFS_POV0 = 32;
constexpr uint32_t DIJOFS_BUTTON0 = 48;

struct DIDEVICEOBJECTDATA {
  uint32_t dwOfs;
  uint32_t dwData;
  uint32_t dwTimeStamp;
  uint32_t dwSequence;
};

constexpr size_t DI_NAME_SIZE = 260;

struct DIDEVCAPS {
  uint32_t dwSize;  // 44
  uint32_t dwFlags;
  uint32_t dwDevType;
  uint32_t dwAxes;
  uint32_t dwButtons;
  uint32_t dwPOVs;
  uint32_t dwFFSamplePeriod;
  uint32_t dwFFMinTimeResolution;
  uint32_t dwFirmwareRevision;
  uint32_t dwHardwareRevision;
  uint32_t dwFFDriverVersion;
};
static_assert(sizeof(DIDEVCAPS) == 44, "DIDEVCAPS is 44 bytes");

struct DIDEVICEINSTANCEA {
  uint32_t dwSize;
  GUID guidInstance;
  GUID guidProduct;
  uint32_t dwDevType;
  char tszInstanceName[DI_NAME_SIZE];
  char tszProductName[DI_NAME_SIZE];
};

struct DIDEVICEOBJECTINSTANCEA {
  uint32_t dwSize;
  GUID guidType;
  uint32_t dwOfs;
  uint32_t dwType;
  uint32_t dwFlags;
  char tszName[DI_NAME_SIZE];
};

using LPDIENUMDEVICESCALLBACKA = int (*)(const DIDEVICEINSTANCEA* instance, void* ref);
using LPDIENUMDEVICEOBJECTSCALLBACKA = int (*)(const DIDEVICEOBJECTINSTANCEA* object, void* ref);

// One input device. Every call returns a DirectInput result.
class IDirectInputDevice7A {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual HRESULT GetCapabilities(DIDEVCAPS* caps) = 0;
  virtual HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, void* ref, uint32_t flags) = 0;
  virtual HRESULT GetProperty(dinput_property property, DIPROPHEADER* header) = 0;
  virtual HRESULT SetProperty(dinput_property property, const DIPROPHEADER* header) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT GetDeviceState(uint32_t size, void* data) = 0;
  // Takes up to *count buffered records (objectSize must be sizeof(DIDEVICEOBJECTDATA))
  // and leaves in *count how many were written.
  virtual HRESULT GetDeviceData(uint32_t objectSize, DIDEVICEOBJECTDATA* records, uint32_t* count,
                                uint32_t flags) = 0;
  virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
  virtual HRESULT SetCooperativeLevel(host::window_handle window, uint32_t flags) = 0;
  virtual HRESULT Poll() = 0;

 protected:
  virtual ~IDirectInputDevice7A() = default;
};

// The DirectInput object.
class IDirectInput7A {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual HRESULT EnumDevices(uint32_t deviceType, LPDIENUMDEVICESCALLBACKA callback, void* ref,
                              uint32_t flags) = 0;
  virtual HRESULT CreateDeviceEx(const GUID& instance, const GUID& iid, void** device, void* outer) = 0;

 protected:
  virtual ~IDirectInput7A() = default;
};

// The exported create function of "dinput.dll".
using DirectInputCreateEx_t = HRESULT (*)(uintptr_t instance, uint32_t version, const GUID& iid, void** object,
                                          void* outer);
constexpr const char* DINPUT_LIBRARY = "dinput.dll";
constexpr const char* DINPUT_CREATE_EXPORT = "DirectInputCreateEx";

namespace host {
// The SDL implementation of DirectInputCreateEx: a new DirectInput object with one
// reference. Version 0x0700 (or later) and IID_IDirectInput7A only.
HRESULT dinput_create_ex(uintptr_t instance, uint32_t version, const GUID& iid, void** object, void* outer);
// DirectInput objects alive now (for tests).
uint32_t dinput_live_objects();
}  // namespace host
