// The input drivers: one row per driver of the keyboard, mouse and joystick kinds.
#include <iterator>

#include "Zentri/devices/VQDriverTable.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/input/VQMouseDevice.h"

namespace {

const VQDriverRow kInputDrivers[] = {
    {VQDEVICE_WINDOWS_KEYBOARD, "keyboard", VQwindows_GetKeyboardDevice},
    {VQDEVICE_WINDOWS_MOUSE, "mouse", VQwindows_GetMouseDevice},
    {VQDEVICE_WINDOWS_JOYSTICK, "joystick", VQwindows_GetJoystickDevice},
    {VQDEVICE_DINPUT_KEYBOARD, "dinput-keyboard", VQdirectinput_GetKeyboardDevice},
    {VQDEVICE_DINPUT_MOUSE, "dinput-mouse", VQdirectinput_GetMouseDevice},
    {VQDEVICE_DINPUT_JOYSTICK, "dinput-joystick", VQdirectinput_GetJoystickDevice},
};

}  // namespace

const VQDriverFamily g_VQinputDrivers = {"input", kInputDrivers, std::size(kInputDrivers)};
