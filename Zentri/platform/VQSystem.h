// The engine's one system object, g_VQsystem: the engine clock (time scale, frame-time
// history and averages), the two per-frame callbacks through which the application takes
// part in every frame, the registry of open devices (at most 32, the display devices
// among them listed once more) and the entry to the frame pump.
//
// Usage: Init once at start-up, GetDevice and the device's Open, set the callbacks and call
// Run once per screen; a screen ends when something sets m_stop. At the end close the
// devices and Shutdown.
#pragma once

#include <atomic>
#include <cstdint>

class VQDevice;

// A per-frame callback with its user word. The word may carry a pointer.
using VQFrameCallback = void (*)(uintptr_t userData);

// A device getter: (kind, index) -> the static device, probed through Init when not yet
// usable, or null with the reason in g_VQerror.
using VQDeviceGetter = VQDevice* (*)(int kind, int index);

constexpr uint32_t VQSYSTEM_MAX_DEVICES = 32;
constexpr uint32_t VQSYSTEM_FRAME_HISTORY = 10;

class VQSystem {
 public:
  VQSystem();
  ~VQSystem();

  VQSystem(const VQSystem&) = delete;
  VQSystem& operator=(const VQSystem&) = delete;

  // Resets clock, callbacks and both device lists (open devices stay open), the render
  // context's frame counter and the material library; opens the engine log and clears
  // g_VQerror. Always true.
  bool Init();
  // Closes every registered device once, empties the material library, closes the engine
  // log. Nothing when not initialised.
  void Shutdown();
  // Runs the frame pump until m_stop is set or a quit message arrives; clears m_stop first.
  // Returns at once when not initialised.
  void Run();

  // n = 1: the last frame time; otherwise the mean of the n most recent frame times, where
  // n = 0 counts as 1 and n outside 1..10 as 10. Seconds, already scaled.
  float GetFrameTime(int n) const;
  // Advances the clock by one frame of the given unscaled length in seconds.
  void AdvanceTime(float seconds);

  // The device of a kind and index, or null (error 32 before Init, 38 for a kind without
  // devices, 39 when the index is not served or the device's probe fails). Does not open
  // or register the device.
  VQDevice* GetDevice(int kind, int index);

  // RenderAll / PresentAll on every registered display device, in registration order.
  void RenderDisplays();
  void PresentDisplays();

  // Registers an opened device (error 32 before Init, 41 when 32 are registered). Duplicates
  // are not looked for.
  bool AddDevice(VQDevice* device);
  // Unregisters the first entry equal to the device; an unlisted device changes nothing.
  void RemoveDevice(VQDevice* device);

  float m_timeScale;                              // applied to every measured frame time
  float m_frameTime;                              // last frame time, scaled
  float m_averageFrameTime;                       // mean over the last completed period
  float m_frameTimes[VQSYSTEM_FRAME_HISTORY];     // most recent first
  float m_timeSum;                                // scaled time since the last average
  float m_averagingPeriod;                        // seconds; 0.5 after Init
  VQFrameCallback m_updateCallback;               // before the displays render; null = none
  VQFrameCallback m_renderCallback;               // between render and present; null = none
  uintptr_t m_updateUserData;
  uintptr_t m_renderUserData;
  uint32_t m_displayCount;
  uint32_t m_deviceCount;
  VQDevice* m_displays[VQSYSTEM_MAX_DEVICES];     // dense, in registration order
  VQDevice* m_devices[VQSYSTEM_MAX_DEVICES];      // dense, in registration order
  // Stop byte of the frame pump: 1 ends the running Run. Another thread (a race loader) may
  // set it, so it is atomic; the pump reads it after each message and after each frame.
  std::atomic<uint8_t> m_stop;
  uint8_t m_initialised;

 private:
  uint32_t m_framesSinceAverage;  // frames counted into m_timeSum
};

extern VQSystem g_VQsystem;

// The getter of kind 1 (a display kind without a device) and of unassigned kinds: always
// error 38, null.
VQDevice* VQunsupported_GetDevice(int kind, int index);

// Installs the getter of a device kind (1 to 14) and returns the one it replaces; null
// restores the built-in getter. Drivers whose getters live outside the engine core plug in
// here; kinds whose drivers are not built answer error 39.
VQDeviceGetter VQsystem_SetDeviceGetter(int kind, VQDeviceGetter getter);

// The common tail of every getter: hands out a usable device at once, else probes it with
// Init; a failed probe (or a null device) gives error 39 and null.
VQDevice* VQdevice_HandOut(VQDevice* device);
