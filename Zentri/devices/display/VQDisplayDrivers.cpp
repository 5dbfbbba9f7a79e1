// The display drivers: one row per driver. A new display driver (a Direct3D-shaped one, say)
// replaces its kind's row here.
#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"

namespace {

const VQDriverRow kDisplayDrivers[] = {
    {VQDEVICE_NONE_DISPLAY, "none", VQunsupported_GetDevice},
    {VQDEVICE_D3D_DISPLAY, "direct3d", VQdevices_Unavailable},
    {VQDEVICE_OPENGL_DISPLAY, "opengl", VQopengl_GetDisplayDevice},
    {VQDEVICE_SOFTWARE_DISPLAY, "software", VQsoftware_GetDisplayDevice},
};

}  // namespace

const VQDriverFamily g_VQdisplayDrivers = {"display", kDisplayDrivers, std::size(kDisplayDrivers)};
