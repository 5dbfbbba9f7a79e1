// The network drivers: one row per driver.
#include <iterator>

#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/network/VQConnectionDevice.h"

namespace {

const VQDriverRow kNetworkDrivers[] = {
    {VQDEVICE_CONNECTION, "connection", VQnet_GetConnectionDevice},
};

}  // namespace

const VQDriverFamily g_VQnetworkDrivers = {"network", kNetworkDrivers, std::size(kNetworkDrivers)};
