// Driver tables: every device family (display, sound, input, network) lists its drivers as rows
// of one table, and the system object finds a kind's driver there. Adding a driver adds a row
// to its family's table; adding a family adds one line to the family list in
// VQDriverTables.cpp. Nothing in the engine core names a concrete driver.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Zentri/platform/VQSystem.h"

// One driver: the device kind it serves, a short name, and its getter, which returns the
// static device for (kind, index) initialised on first use, or null with g_VQerror set.
struct VQDriverRow {
  uint32_t kind;
  const char* name;
  VQDeviceGetter create;
};

// A family's table of drivers.
struct VQDriverFamily {
  const char* name;
  const VQDriverRow* rows;
  size_t count;
};

// The driver of a device kind, or null when no family serves the kind (kinds 7, 8 and those
// out of range).
const VQDriverRow* VQdevices_FindDriver(uint32_t kind);
// The families compiled into the program, in search order.
size_t VQdevices_FamilyCount();
const VQDriverFamily* VQdevices_Family(size_t index);

// Getters for kinds whose driver is not part of this build: the device cannot be had
// (VQERR_DEVICE_UNAVAILABLE). The Windows keyboard and mouse kinds answer an index other than
// 0 with null and leave the error code as it was.
VQDevice* VQdevices_Unavailable(int kind, int index);
VQDevice* VQdevices_UnavailableWindowsInput(int kind, int index);

// The display family's table (Zentri/devices/display/VQDisplayDrivers.cpp).
extern const VQDriverFamily g_VQdisplayDrivers;
// The sound family's table (Zentri/devices/sound/VQSoundDrivers.cpp).
extern const VQDriverFamily g_VQsoundDrivers;
// The network family's table (Zentri/devices/network/VQNetworkDrivers.cpp).
extern const VQDriverFamily g_VQnetworkDrivers;
