#include "Zentri/platform/VQSystem.h"

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"

VQSystem g_VQsystem;

namespace {

constexpr float kInitialFrameTime = 1.0f / 30.0f;

// The getter of a kind's driver in the driver tables; null for kinds no family serves.
VQDeviceGetter BuiltInGetter(int kind) {
  if (kind < 1) return nullptr;
  const VQDriverRow* row = VQdevices_FindDriver(uint32_t(kind));
  return row ? row->create : nullptr;
}

// Installed getters by kind; an empty entry falls back to the built-in one.
VQDeviceGetter g_getters[VQDEVICE_KIND_LIMIT + 1] = {};

VQDeviceGetter GetterFor(int kind) {
  if (kind < 1 || kind > static_cast<int>(VQDEVICE_KIND_LIMIT)) return nullptr;
  VQDeviceGetter builtIn = BuiltInGetter(kind);
  if (builtIn == nullptr) return nullptr;  // unassigned kinds cannot be overridden
  return g_getters[kind] != nullptr ? g_getters[kind] : builtIn;
}

// Removes the first entry equal to device from a dense list; true when found.
bool RemoveFromList(VQDevice** list, uint32_t& count, VQDevice* device) {
  for (uint32_t i = 0; i < count; ++i) {
    if (list[i] == device) {
      for (uint32_t j = i + 1; j < count; ++j) list[j - 1] = list[j];
      --count;
      list[count] = nullptr;
      return true;
    }
  }
  return false;
}

}  // namespace

VQDevice* VQunsupported_GetDevice(int, int) {
  g_VQerror = VQERR_DEVICE_KIND;
  return nullptr;
}

VQDeviceGetter VQsystem_SetDeviceGetter(int kind, VQDeviceGetter getter) {
  if (kind < 1 || kind > static_cast<int>(VQDEVICE_KIND_LIMIT) || BuiltInGetter(kind) == nullptr) return nullptr;
  VQDeviceGetter previous = GetterFor(kind);
  g_getters[kind] = getter;
  return previous;
}

VQDevice* VQdevice_HandOut(VQDevice* device) {
  if (device == nullptr) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  if (device->m_initialised) return device;
  if (!device->Init()) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return device;
}

VQSystem::VQSystem()
    : m_timeScale(1.0f),
      m_frameTime(kInitialFrameTime),
      m_averageFrameTime(kInitialFrameTime),
      m_frameTimes{},
      m_timeSum(0.0f),
      m_averagingPeriod(0.5f),
      m_updateCallback(nullptr),
      m_renderCallback(nullptr),
      m_updateUserData(0),
      m_renderUserData(0),
      m_displayCount(0),
      m_deviceCount(0),
      m_displays{},
      m_devices{},
      m_stop(0),
      m_initialised(0),
      m_framesSinceAverage(0) {}

VQSystem::~VQSystem() {
  if (m_initialised) Shutdown();
}

bool VQSystem::Init() {
  VQwin32_MeasureCpuClock();

  m_timeScale = 1.0f;
  m_stop = 0;
  m_frameTime = kInitialFrameTime;
  m_averageFrameTime = kInitialFrameTime;
  m_timeSum = 0.0f;
  // The frame count belongs to m_timeSum: both start again together, or the first average
  // after a second Init would divide this period's time by frames of an earlier one.
  m_framesSinceAverage = 0;
  m_averagingPeriod = 0.5f;
  m_updateCallback = nullptr;
  m_renderCallback = nullptr;
  m_updateUserData = 0;
  m_renderUserData = 0;
  m_displayCount = 0;
  m_deviceCount = 0;
  for (uint32_t i = 0; i < VQSYSTEM_MAX_DEVICES; ++i) {
    m_displays[i] = nullptr;
    m_devices[i] = nullptr;
  }
  for (float& t : m_frameTimes) t = kInitialFrameTime;

  // Every viewport render advances the render context's frame counter; a new run of the
  // engine counts from 0 again, with an empty material library (name counter 1).
  g_VQrender.m_frame = 0;
  VQmaterial_LibraryReset();

  VQlog_Open();

  g_VQerror = VQERR_NONE;
  m_initialised = 1;
  return true;
}

void VQSystem::Shutdown() {
  if (!m_initialised) return;
  // Close may unregister the device and shift the list: walk a copy taken now.
  VQDevice* devices[VQSYSTEM_MAX_DEVICES];
  const uint32_t count = m_deviceCount;
  for (uint32_t i = 0; i < count; ++i) devices[i] = m_devices[i];
  for (uint32_t i = 0; i < count; ++i) devices[i]->Close();

  // Frees every material still in the library, referenced or not: nothing may use a
  // material table after Shutdown.
  VQmaterial_LibraryShutdown();
  VQlog_Close();
  m_initialised = 0;
}

void VQSystem::Run() {
  if (!m_initialised) return;
  m_stop = 0;
  VQwin32_RunMessageLoop();
}

float VQSystem::GetFrameTime(int n) const {
  if (n == 1) return m_frameTime;
  if (n == 0) n = 1;
  if (n < 0 || n > static_cast<int>(VQSYSTEM_FRAME_HISTORY)) n = VQSYSTEM_FRAME_HISTORY;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += m_frameTimes[i];
  return static_cast<float>(sum / n);
}

void VQSystem::AdvanceTime(float seconds) {
  if (!m_initialised) return;
  const float dt = seconds * m_timeScale;
  m_frameTime = dt;
  m_timeSum += dt;
  ++m_framesSinceAverage;
  if (m_timeSum >= m_averagingPeriod) {
    m_averageFrameTime = m_timeSum / static_cast<float>(m_framesSinceAverage);
    m_timeSum = 0.0f;
    m_framesSinceAverage = 0;
  }
  for (uint32_t i = VQSYSTEM_FRAME_HISTORY - 1; i > 0; --i) m_frameTimes[i] = m_frameTimes[i - 1];
  m_frameTimes[0] = dt;
}

VQDevice* VQSystem::GetDevice(int kind, int index) {
  if (!m_initialised) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  VQDeviceGetter getter = GetterFor(kind);
  if (getter == nullptr) {
    g_VQerror = VQERR_DEVICE_KIND;
    return nullptr;
  }
  return getter(kind, index);
}

void VQSystem::RenderDisplays() {
  if (!m_initialised) return;
  // The count is read anew at each step: a device may unregister while it renders.
  for (uint32_t i = 0; i < m_displayCount; ++i) static_cast<VQDisplayDevice*>(m_displays[i])->RenderAll();
}

void VQSystem::PresentDisplays() {
  if (!m_initialised) return;
  for (uint32_t i = 0; i < m_displayCount; ++i) static_cast<VQDisplayDevice*>(m_displays[i])->PresentAll();
}

bool VQSystem::AddDevice(VQDevice* device) {
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  if (device == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_deviceCount >= VQSYSTEM_MAX_DEVICES) return VQerror_Fail(VQERR_TOO_MANY_DEVICES);
  m_devices[m_deviceCount++] = device;
  // Every listed display is also listed in m_devices, so m_displays has room here.
  if (VQdevice_IsDisplayKind(static_cast<int>(device->m_kind))) m_displays[m_displayCount++] = device;
  return true;
}

void VQSystem::RemoveDevice(VQDevice* device) {
  if (!m_initialised || device == nullptr) return;
  RemoveFromList(m_devices, m_deviceCount, device);
  if (VQdevice_IsDisplayKind(static_cast<int>(device->m_kind))) RemoveFromList(m_displays, m_displayCount, device);
}
