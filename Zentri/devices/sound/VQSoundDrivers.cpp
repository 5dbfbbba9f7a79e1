// The sound drivers: one row per driver.
#include <iterator>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/sound/VQDSoundDevice.h"

namespace {

const VQDriverRow kSoundDrivers[] = {
    {VQDEVICE_SOUND, "directsound", VQdsound_GetSoundDevice},
};

}  // namespace

const VQDriverFamily g_VQsoundDrivers = {"sound", kSoundDrivers, std::size(kSoundDrivers)};
