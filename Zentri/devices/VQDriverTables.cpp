// The device families compiled into the program, and the search of a kind's driver.
#include <iterator>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/util/VQerror.h"

VQDevice* VQdevices_Unavailable(int, int) {
  g_VQerror = VQERR_DEVICE_UNAVAILABLE;
  return nullptr;
}

VQDevice* VQdevices_UnavailableWindowsInput(int, int index) {
  if (index != 0) return nullptr;
  g_VQerror = VQERR_DEVICE_UNAVAILABLE;
  return nullptr;
}

namespace {

// Families whose drivers are not built yet: their kinds exist but no device can be had. A
// family folder that brings its own table replaces its entry here.

const VQDriverRow kInputDrivers[] = {
    {VQDEVICE_WINDOWS_KEYBOARD, "keyboard", VQdevices_UnavailableWindowsInput},
    {VQDEVICE_WINDOWS_MOUSE, "mouse", VQdevices_UnavailableWindowsInput},
    {VQDEVICE_WINDOWS_JOYSTICK, "joystick", VQdevices_Unavailable},
    {VQDEVICE_DINPUT_KEYBOARD, "dinput-keyboard", VQdevices_Unavailable},
    {VQDEVICE_DINPUT_MOUSE, "dinput-mouse", VQdevices_Unavailable},
    {VQDEVICE_DINPUT_JOYSTICK, "dinput-joystick", VQdevices_Unavailable},
};
const VQDriverFamily kInputFamily = {"input", kInputDrivers, std::size(kInputDrivers)};

// One line per family.
const VQDriverFamily* const kFamilies[] = {
    &g_VQdisplayDrivers,
    &g_VQsoundDrivers,
    &g_VQnetworkDrivers,
    &kInputFamily,
};

}  // namespace

size_t VQdevices_FamilyCount() { return std::size(kFamilies); }

const VQDriverFamily* VQdevices_Family(size_t index) {
  return index < std::size(kFamilies) ? kFamilies[index] : nullptr;
}

const VQDriverRow* VQdevices_FindDriver(uint32_t kind) {
  for (const VQDriverFamily* family : kFamilies)
    for (size_t i = 0; i < family->count; ++i)
      if (family->rows[i].kind == kind) return &family->rows[i];
  return nullptr;
}
