// DirectInput 7 over SDL2 (see dinput.h).
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "host/directx/dinput.h"

const GUID IID_IDirectInput7A = {0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const GUID IID_IDirectInputDevice7A = {0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 16, 0, 256, 256};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 16, 2, sizeof(DIMOUSESTATE), 7};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT), 16, 1, sizeof(DIJOYSTATE), 44};

namespace host {
namespace {

constexpr int32_t kSdlAxisMin = -32768;
constexpr int32_t kSdlAxisMax = 32767;
constexpr uint32_t kWheelNotch = 120;
constexpr uint32_t kDeadZoneFull = 10000;
constexpr uint32_t kMouseButtons = 4;
// Joystick instance GUIDs carry the SDL instance id in Data1 and this mark in the rest.
constexpr uint16_t kJoystickMark2 = 0x4A53;  // "JS"
constexpr uint16_t kJoystickMark3 = 0x0007;

enum class device_kind { keyboard, mouse, joystick };

// DirectInput scan code of an SDL scancode: the PC set-1 scan code of the window layer, with
// bit 7 for extended keys. Num Lock and Pause share scan code 0x45; DirectInput gives Pause
// the extended number.
uint32_t dik_of(int scancode) {
  if (scancode == SDL_SCANCODE_NUMLOCKCLEAR) return 0x45;
  if (scancode == SDL_SCANCODE_PAUSE) return 0xC5;
  const key_info k = key_for_scancode(scancode);
  if (k.vk == 0 || k.scan == 0 || k.scan > 0x7F) return 0;
  return k.scan | (k.extended ? 0x80u : 0u);
}

class sdl_device;

struct layer_state {
  uint32_t objects = 0;  // live DirectInput objects
  std::vector<sdl_device*> devices;
  std::map<uint32_t, bool> focus;  // SDL window id -> has the input focus (unknown: yes)
  bool watching = false;
  uint32_t sequence = 0;
};

layer_state& L() {
  static layer_state s;
  return s;
}

bool window_focused(uint32_t sdl_id) {
  auto it = L().focus.find(sdl_id);
  return it == L().focus.end() || it->second;
}

int event_watch(void*, SDL_Event* e);

class sdl_device final : public IDirectInputDevice7A {
 public:
  sdl_device(device_kind kind, SDL_Joystick* joystick) : m_kind(kind), m_joystick(joystick) {
    if (joystick != nullptr) {
      m_axes = static_cast<uint32_t>(std::max(0, SDL_JoystickNumAxes(joystick)));
      m_buttons = static_cast<uint32_t>(std::max(0, SDL_JoystickNumButtons(joystick)));
      m_hats = static_cast<uint32_t>(std::max(0, SDL_JoystickNumHats(joystick)));
      for (uint32_t i = 0; i < DIJOYSTATE_AXES; ++i) {
        m_min[i] = kSdlAxisMin;
        m_max[i] = kSdlAxisMax;
        m_deadZone[i] = 0;
      }
    }
    L().devices.push_back(this);
    if (!L().watching) {
      SDL_AddEventWatch(event_watch, nullptr);
      L().watching = true;
    }
  }

  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override {
    if (--m_refs > 0) return m_refs;
    auto& d = L().devices;
    d.erase(std::remove(d.begin(), d.end(), this), d.end());
    if (d.empty() && L().watching) {
      SDL_DelEventWatch(event_watch, nullptr);
      L().watching = false;
    }
    if (m_joystick != nullptr) {
      SDL_JoystickClose(m_joystick);
      SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    delete this;
    return 0;
  }

  HRESULT GetCapabilities(DIDEVCAPS* caps) override {
    if (caps == nullptr || caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = sizeof(DIDEVCAPS);
    caps->dwFlags = DIDC_ATTACHED;
    switch (m_kind) {
      case device_kind::keyboard:
        caps->dwDevType = DIDEVTYPE_KEYBOARD;
        caps->dwButtons = 128;
        break;
      case device_kind::mouse:
        caps->dwDevType = DIDEVTYPE_MOUSE;
        caps->dwAxes = 3;
        caps->dwButtons = kMouseButtons;
        break;
      case device_kind::joystick:
        caps->dwDevType = DIDEVTYPE_JOYSTICK;
        // SDL joysticks are read by updating them, so the data format is a polled one.
        caps->dwFlags |= DIDC_POLLEDDEVICE | DIDC_POLLEDDATAFORMAT;
        if (!SDL_JoystickGetAttached(m_joystick)) caps->dwFlags &= ~DIDC_ATTACHED;
        if (SDL_JoystickHasRumble(m_joystick)) caps->dwFlags |= DIDC_FORCEFEEDBACK;
        caps->dwAxes = m_axes;
        caps->dwButtons = m_buttons;
        caps->dwPOVs = m_hats;
        break;
    }
    return DI_OK;
  }

  HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, void* ref, uint32_t flags) override {
    if (callback == nullptr) return DIERR_INVALIDPARAM;
    const bool axes = flags == DIDFT_ALL || (flags & DIDFT_AXIS) != 0;
    const bool buttons = flags == DIDFT_ALL || (flags & DIDFT_BUTTON) != 0;
    DIDEVICEOBJECTINSTANCEA o{};
    o.dwSize = sizeof o;
    auto give = [&](uint32_t offset, uint32_t type, uint32_t instance, const char* name) {
      o.dwOfs = offset;
      o.dwType = type | (instance << 8);
      SDL_snprintf(o.tszName, sizeof o.tszName, "%s %u", name, instance);
      return callback(&o, ref) != DIENUM_STOP;
    };
    if (m_kind == device_kind::joystick) {
      // Axes past the eighth have no field in DIJOYSTATE: their offsets lie past its end.
      for (uint32_t i = 0; axes && i < m_axes; ++i)
        if (!give(i < DIJOYSTATE_AXES ? DIJOFS_X + 4 * i : sizeof(DIJOYSTATE) + 4 * (i - DIJOYSTATE_AXES),
                  DIDFT_ABSAXIS, i, "Axis"))
          return DI_OK;
      for (uint32_t i = 0; buttons && i < std::min(m_buttons, DIJOYSTATE_BUTTONS); ++i)
        if (!give(DIJOFS_BUTTON0 + i, DIDFT_BUTTON, i, "Button")) return DI_OK;
    } else if (m_kind == device_kind::mouse) {
      for (uint32_t i = 0; axes && i < 3; ++i)
        if (!give(DIMOFS_X + 4 * i, DIDFT_RELAXIS, i, "Axis")) return DI_OK;
      for (uint32_t i = 0; buttons && i < kMouseButtons; ++i)
        if (!give(DIMOFS_BUTTON0 + i, DIDFT_BUTTON, i, "Button")) return DI_OK;
    } else {
      for (uint32_t i = 1; buttons && i < 256; ++i)
        if (!give(i, DIDFT_BUTTON, i, "Key")) return DI_OK;
    }
    return DI_OK;
  }

  HRESULT GetProperty(dinput_property property, DIPROPHEADER* h) override {
    if (h == nullptr || h->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    switch (property) {
      case DIPROP_BUFFERSIZE:
        if (h->dwSize != sizeof(DIPROPDWORD) || h->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
        reinterpret_cast<DIPROPDWORD*>(h)->dwData = m_bufferSize;
        return DI_OK;
      case DIPROP_AXISMODE:
        if (h->dwSize != sizeof(DIPROPDWORD) || h->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
        reinterpret_cast<DIPROPDWORD*>(h)->dwData = m_relative ? DIPROPAXISMODE_REL : DIPROPAXISMODE_ABS;
        return DI_OK;
      case DIPROP_RANGE: {
        if (h->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
        const int axis = AxisAt(h);
        if (axis < 0) return DIERR_OBJECTNOTFOUND;
        auto* r = reinterpret_cast<DIPROPRANGE*>(h);
        r->lMin = m_min[axis];
        r->lMax = m_max[axis];
        return DI_OK;
      }
      case DIPROP_DEADZONE: {
        if (h->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        const int axis = AxisAt(h);
        if (axis < 0) return DIERR_OBJECTNOTFOUND;
        reinterpret_cast<DIPROPDWORD*>(h)->dwData = m_deadZone[axis];
        return DI_OK;
      }
    }
    return DIERR_UNSUPPORTED;
  }

  HRESULT SetProperty(dinput_property property, const DIPROPHEADER* h) override {
    if (h == nullptr || h->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    switch (property) {
      case DIPROP_BUFFERSIZE:
        if (h->dwSize != sizeof(DIPROPDWORD) || h->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
        if (m_acquired) return DIERR_ACQUIRED;
        m_bufferSize = reinterpret_cast<const DIPROPDWORD*>(h)->dwData;
        m_buffer.clear();
        return DI_OK;
      case DIPROP_AXISMODE: {
        if (h->dwSize != sizeof(DIPROPDWORD) || h->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
        if (m_acquired) return DIERR_ACQUIRED;
        const uint32_t mode = reinterpret_cast<const DIPROPDWORD*>(h)->dwData;
        if (mode != DIPROPAXISMODE_REL && mode != DIPROPAXISMODE_ABS) return DIERR_INVALIDPARAM;
        // Only the mouse has relative axes; its axes are relative whatever is asked.
        if (m_kind != device_kind::mouse) return DIERR_UNSUPPORTED;
        m_relative = true;
        return mode == DIPROPAXISMODE_REL ? DI_OK : DI_PROPNOEFFECT;
      }
      case DIPROP_RANGE: {
        if (h->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
        const int axis = AxisAt(h);
        if (axis < 0) return DIERR_OBJECTNOTFOUND;
        const auto* r = reinterpret_cast<const DIPROPRANGE*>(h);
        if (r->lMin > r->lMax) return DIERR_INVALIDPARAM;
        m_min[axis] = r->lMin;
        m_max[axis] = r->lMax;
        return DI_OK;
      }
      case DIPROP_DEADZONE: {
        if (h->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        const int axis = AxisAt(h);
        if (axis < 0) return DIERR_OBJECTNOTFOUND;
        const uint32_t v = reinterpret_cast<const DIPROPDWORD*>(h)->dwData;
        if (v > kDeadZoneFull) return DIERR_INVALIDPARAM;
        m_deadZone[axis] = v;
        return DI_OK;
      }
    }
    return DIERR_UNSUPPORTED;
  }

  HRESULT Acquire() override {
    if (m_format == nullptr) return DIERR_INVALIDPARAM;
    if (m_joystick != nullptr && !SDL_JoystickGetAttached(m_joystick)) return DIERR_UNPLUGGED;
    if (m_acquired) return DI_NOEFFECT;  // already acquired: S_FALSE
    if ((m_coopFlags & DISCL_FOREGROUND) != 0 && !window_focused(m_windowId)) return DIERR_OTHERAPPHASPRIO;
    m_acquired = true;
    m_lost = false;
    m_overflow = false;
    m_buffer.clear();
    m_dx = m_dy = m_dz = 0;
    return DI_OK;
  }

  HRESULT Unacquire() override {
    if (!m_acquired) return DI_NOEFFECT;
    m_acquired = false;
    return DI_OK;
  }

  HRESULT GetDeviceState(uint32_t size, void* data) override {
    if (data == nullptr || m_format == nullptr || size != m_format->dwDataSize) return DIERR_INVALIDPARAM;
    if (HRESULT r = ReadyToRead(); r != DI_OK) return r;
    switch (m_kind) {
      case device_kind::keyboard:
        std::memcpy(data, m_keys, sizeof m_keys);
        break;
      case device_kind::mouse: {
        DIMOUSESTATE s{};
        s.lX = m_dx;
        s.lY = m_dy;
        s.lZ = m_dz;
        m_dx = m_dy = m_dz = 0;
        std::memcpy(s.rgbButtons, m_mouseButtons, sizeof s.rgbButtons);
        std::memcpy(data, &s, sizeof s);
        break;
      }
      case device_kind::joystick:
        ReadJoystick(static_cast<DIJOYSTATE*>(data));
        break;
    }
    return DI_OK;
  }

  HRESULT GetDeviceData(uint32_t objectSize, DIDEVICEOBJECTDATA* records, uint32_t* count, uint32_t) override {
    if (count == nullptr || objectSize != sizeof(DIDEVICEOBJECTDATA)) return DIERR_INVALIDPARAM;
    if (m_format == nullptr) return DIERR_INVALIDPARAM;
    if (m_bufferSize == 0) return DIERR_NOTBUFFERED;
    SDL_PumpEvents();
    if (HRESULT r = ReadyToRead(); r != DI_OK) {
      *count = 0;
      return r;
    }
    const uint32_t n = std::min<uint32_t>(*count, static_cast<uint32_t>(m_buffer.size()));
    for (uint32_t i = 0; i < n; ++i) {
      if (records != nullptr) records[i] = m_buffer.front();
      m_buffer.pop_front();
    }
    *count = n;
    const bool overflow = m_overflow;
    m_overflow = false;
    return overflow ? DI_BUFFEROVERFLOW : DI_OK;
  }

  HRESULT SetDataFormat(const DIDATAFORMAT* format) override {
    if (format == nullptr) return DIERR_INVALIDPARAM;
    if (m_acquired) return DIERR_ACQUIRED;
    const DIDATAFORMAT* own = m_kind == device_kind::keyboard ? &c_dfDIKeyboard
                              : m_kind == device_kind::mouse  ? &c_dfDIMouse
                                                              : &c_dfDIJoystick;
    if (format->dwDataSize != own->dwDataSize) return DIERR_INVALIDPARAM;
    m_format = own;
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(host::window_handle window, uint32_t flags) override {
    const bool exclusive = (flags & DISCL_EXCLUSIVE) != 0, shared = (flags & DISCL_NONEXCLUSIVE) != 0;
    const bool fore = (flags & DISCL_FOREGROUND) != 0, back = (flags & DISCL_BACKGROUND) != 0;
    if (exclusive == shared || fore == back) return DIERR_INVALIDPARAM;
    uint32_t id = 0;
    if (window != 0) {
      auto* sdl = static_cast<SDL_Window*>(native_window(window));
      if (sdl == nullptr) return DIERR_INVALIDPARAM;
      id = SDL_GetWindowID(sdl);
    } else if (fore || exclusive) {
      return DIERR_INVALIDPARAM;  // foreground and exclusive levels need a window
    }
    m_coopFlags = flags;
    m_windowId = id;
    return DI_OK;
  }

  HRESULT Poll() override {
    if (m_kind != device_kind::joystick) return DI_NOEFFECT;
    if (HRESULT r = ReadyToRead(); r != DI_OK) return r;
    return DI_OK;
  }

  // Event watch: records what the device sees.
  void OnEvent(const SDL_Event& e) {
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        if (m_kind != device_kind::keyboard || e.key.repeat != 0) break;
        const uint32_t dik = dik_of(e.key.keysym.scancode);
        if (dik == 0) break;
        const uint8_t data = e.type == SDL_KEYDOWN ? 0x80 : 0x00;
        m_keys[dik] = data;
        Record(dik, data);
        break;
      }
      case SDL_MOUSEMOTION:
        if (m_kind != device_kind::mouse || !m_acquired) break;
        m_dx += e.motion.xrel;
        m_dy += e.motion.yrel;
        if (e.motion.xrel != 0) Record(DIMOFS_X, static_cast<uint32_t>(e.motion.xrel));
        if (e.motion.yrel != 0) Record(DIMOFS_Y, static_cast<uint32_t>(e.motion.yrel));
        break;
      case SDL_MOUSEWHEEL: {
        if (m_kind != device_kind::mouse || !m_acquired) break;
        const int32_t notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (notches == 0) break;
        const int32_t delta = notches * static_cast<int32_t>(kWheelNotch);
        m_dz += delta;
        Record(DIMOFS_Z, static_cast<uint32_t>(delta));
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        if (m_kind != device_kind::mouse) break;
        uint32_t b = 0;
        switch (e.button.button) {
          case SDL_BUTTON_LEFT: b = 0; break;
          case SDL_BUTTON_RIGHT: b = 1; break;
          case SDL_BUTTON_MIDDLE: b = 2; break;
          case SDL_BUTTON_X1: b = 3; break;
          default: return;
        }
        const uint8_t data = e.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0x00;
        m_mouseButtons[b] = data;
        Record(DIMOFS_BUTTON0 + b, data);
        break;
      }
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && e.window.windowID == m_windowId && m_acquired &&
            (m_coopFlags & DISCL_FOREGROUND) != 0) {
          m_acquired = false;
          m_lost = true;
        }
        break;
      default:
        break;
    }
  }

 private:
  ~sdl_device() override = default;

  // The result a read gives before any data: input lost once after the device lost its
  // acquisition, else not acquired.
  HRESULT ReadyToRead() {
    if (m_joystick != nullptr) {
      SDL_JoystickUpdate();
      if (!SDL_JoystickGetAttached(m_joystick) && m_acquired) {
        m_acquired = false;
        m_lost = true;
      }
    }
    if (m_lost) {
      m_lost = false;
      return DIERR_INPUTLOST;
    }
    return m_acquired ? DI_OK : DIERR_NOTACQUIRED;
  }

  void Record(uint32_t offset, uint32_t data) {
    if (!m_acquired || m_bufferSize == 0) return;
    if (m_buffer.size() >= m_bufferSize) {
      m_overflow = true;
      return;
    }
    m_buffer.push_back(DIDEVICEOBJECTDATA{offset, data, SDL_GetTicks(), ++L().sequence});
  }

  // -1 unless the header names one of the first eight axes of a joystick by its offset.
  int AxisAt(const DIPROPHEADER* h) const {
    if (m_kind != device_kind::joystick || h->dwHow != DIPH_BYOFFSET) return -1;
    if (h->dwObj % 4 != 0 || h->dwObj / 4 >= std::min(m_axes, DIJOYSTATE_AXES)) return -1;
    return static_cast<int>(h->dwObj / 4);
  }

  void ReadJoystick(DIJOYSTATE* s) {
    std::memset(s, 0, sizeof *s);
    int32_t* const fields[DIJOYSTATE_AXES] = {&s->lX,  &s->lY,  &s->lZ,           &s->lRx,
                                              &s->lRy, &s->lRz, &s->rglSlider[0], &s->rglSlider[1]};
    for (uint32_t i = 0; i < std::min(m_axes, DIJOYSTATE_AXES); ++i) {
      const int64_t raw = SDL_JoystickGetAxis(m_joystick, static_cast<int>(i));
      const int64_t span = static_cast<int64_t>(m_max[i]) - m_min[i];
      int64_t v = m_min[i] + (raw - kSdlAxisMin) * span / (static_cast<int64_t>(kSdlAxisMax) - kSdlAxisMin);
      // Dead zone: a fraction (in ten-thousandths) of the half range about the centre.
      const int64_t centre = (static_cast<int64_t>(m_min[i]) + m_max[i]) / 2;
      const int64_t dead = span / 2 * m_deadZone[i] / kDeadZoneFull;
      if (v - centre < dead && centre - v < dead) v = centre;
      *fields[i] = static_cast<int32_t>(v);
    }
    for (uint32_t i = 0; i < 4; ++i) {
      s->rgdwPOV[i] = 0xFFFFFFFFu;  // centred
      if (i >= m_hats) continue;
      static const struct {
        uint8_t hat;
        uint32_t degrees100;
      } kHat[] = {{SDL_HAT_UP, 0},        {SDL_HAT_RIGHTUP, 4500},  {SDL_HAT_RIGHT, 9000},
                  {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000}, {SDL_HAT_LEFTDOWN, 22500},
                  {SDL_HAT_LEFT, 27000},  {SDL_HAT_LEFTUP, 31500}};
      const uint8_t hat = SDL_JoystickGetHat(m_joystick, static_cast<int>(i));
      for (const auto& h : kHat)
        if (h.hat == hat) s->rgdwPOV[i] = h.degrees100;
    }
    for (uint32_t i = 0; i < std::min(m_buttons, DIJOYSTATE_BUTTONS); ++i)
      s->rgbButtons[i] = SDL_JoystickGetButton(m_joystick, static_cast<int>(i)) ? 0x80 : 0x00;
  }

  device_kind m_kind;
  SDL_Joystick* m_joystick;
  uint32_t m_refs = 1;
  const DIDATAFORMAT* m_format = nullptr;
  uint32_t m_bufferSize = 0;
  std::deque<DIDEVICEOBJECTDATA> m_buffer;
  bool m_overflow = false;
  bool m_acquired = false;
  bool m_lost = false;
  bool m_relative = true;
  uint32_t m_coopFlags = 0;
  uint32_t m_windowId = 0;
  uint8_t m_keys[256] = {};
  uint8_t m_mouseButtons[kMouseButtons] = {};
  int32_t m_dx = 0, m_dy = 0, m_dz = 0;
  uint32_t m_axes = 0, m_buttons = 0, m_hats = 0;
  int32_t m_min[DIJOYSTATE_AXES] = {};
  int32_t m_max[DIJOYSTATE_AXES] = {};
  uint32_t m_deadZone[DIJOYSTATE_AXES] = {};
};

int event_watch(void*, SDL_Event* e) {
  if (e->type == SDL_WINDOWEVENT) {
    if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST) L().focus[e->window.windowID] = false;
    if (e->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) L().focus[e->window.windowID] = true;
  }
  // A copy: a device released by a handler elsewhere cannot happen during the watch, but the
  // list may grow while events are recorded.
  const std::vector<sdl_device*> devices = L().devices;
  for (sdl_device* d : devices) d->OnEvent(*e);
  return 1;
}

GUID joystick_guid(SDL_JoystickID id) {
  GUID g{};
  g.Data1 = static_cast<uint32_t>(id);
  g.Data2 = kJoystickMark2;
  g.Data3 = kJoystickMark3;
  std::memcpy(g.Data4, "QVXJOY\0", 8);
  return g;
}

class sdl_dinput final : public IDirectInput7A {
 public:
  sdl_dinput() { ++L().objects; }
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override {
    if (--m_refs > 0) return m_refs;
    --L().objects;
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    delete this;
    return 0;
  }

  HRESULT EnumDevices(uint32_t type, LPDIENUMDEVICESCALLBACKA callback, void* ref, uint32_t) override {
    if (callback == nullptr || type > DIDEVTYPE_JOYSTICK) return DIERR_INVALIDPARAM;
    DIDEVICEINSTANCEA d{};
    d.dwSize = sizeof d;
    auto give = [&](const GUID& instance, uint32_t devType, const char* name) {
      d.guidInstance = instance;
      d.guidProduct = instance;
      d.dwDevType = devType;
      SDL_strlcpy(d.tszInstanceName, name, sizeof d.tszInstanceName);
      SDL_strlcpy(d.tszProductName, name, sizeof d.tszProductName);
      return callback(&d, ref) != DIENUM_STOP;
    };
    if ((type == 0 || type == DIDEVTYPE_MOUSE) && !give(GUID_SysMouse, DIDEVTYPE_MOUSE, "Mouse")) return DI_OK;
    if ((type == 0 || type == DIDEVTYPE_KEYBOARD) && !give(GUID_SysKeyboard, DIDEVTYPE_KEYBOARD, "Keyboard"))
      return DI_OK;
    if (type == 0 || type == DIDEVTYPE_JOYSTICK) {
      // Joysticks plugged in since the last look are found here.
      SDL_JoystickUpdate();
      const int n = SDL_NumJoysticks();
      for (int i = 0; i < n; ++i) {
        const char* name = SDL_JoystickNameForIndex(i);
        if (!give(joystick_guid(SDL_JoystickGetDeviceInstanceID(i)), DIDEVTYPE_JOYSTICK, name ? name : "Joystick"))
          return DI_OK;
      }
    }
    return DI_OK;
  }

  HRESULT CreateDeviceEx(const GUID& instance, const GUID& iid, void** device, void* outer) override {
    if (device == nullptr) return DIERR_INVALIDPARAM;
    *device = nullptr;
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    if (!(iid == IID_IDirectInputDevice7A)) return DIERR_NOINTERFACE;
    sdl_device* d = nullptr;
    if (instance == GUID_SysKeyboard) {
      d = new (std::nothrow) sdl_device(device_kind::keyboard, nullptr);
    } else if (instance == GUID_SysMouse) {
      d = new (std::nothrow) sdl_device(device_kind::mouse, nullptr);
    } else {
      if (instance.Data2 != kJoystickMark2 || instance.Data3 != kJoystickMark3) return DIERR_DEVICENOTREG;
      const int n = SDL_NumJoysticks();
      int index = -1;
      for (int i = 0; i < n; ++i)
        if (static_cast<uint32_t>(SDL_JoystickGetDeviceInstanceID(i)) == instance.Data1) index = i;
      if (index < 0) return DIERR_DEVICENOTREG;
      if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return DIERR_GENERIC;
      SDL_Joystick* js = SDL_JoystickOpen(index);
      if (js == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        return DIERR_DEVICENOTREG;
      }
      d = new (std::nothrow) sdl_device(device_kind::joystick, js);
      if (d == nullptr) {
        SDL_JoystickClose(js);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
      }
    }
    if (d == nullptr) return DIERR_OUTOFMEMORY;
    *device = static_cast<IDirectInputDevice7A*>(d);
    return DI_OK;
  }

 private:
  ~sdl_dinput() override = default;
  uint32_t m_refs = 1;
};

}  // namespace

HRESULT dinput_create_ex(uintptr_t, uint32_t version, const GUID& iid, void** object, void* outer) {
  if (object == nullptr) return DIERR_INVALIDPARAM;
  *object = nullptr;
  if (outer != nullptr) return DIERR_NOAGGREGATION;
  if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
  if (!(iid == IID_IDirectInput7A)) return DIERR_NOINTERFACE;
  // Joysticks (and with them the event queue the keyboard and mouse are read from). They are
  // read in the background, as DirectInput joysticks are: SDL would otherwise drop their
  // changes while no window of the program has the keyboard focus.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return DIERR_GENERIC;
  auto* di = new (std::nothrow) sdl_dinput();
  if (di == nullptr) {
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    return DIERR_OUTOFMEMORY;
  }
  *object = static_cast<IDirectInput7A*>(di);
  return DI_OK;
}

uint32_t dinput_live_objects() { return L().objects; }

}  // namespace host
