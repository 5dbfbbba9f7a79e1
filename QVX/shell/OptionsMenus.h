// The menu area that gives the options and championship pages their meaning.
#pragma once

#include "QVX/menu/MenuAreas.h"

MenuArea OptionsMenus_Area();

class Program;
// While a binding item of the controls page waits for its input: takes the pressed key (the
// keyboard device's key index), binds it or refuses it, and returns true (the key is used).
// False when no capture runs.
bool OptionsMenus_CaptureKey(Program& p, uint32_t key);
// Once a menu frame: while a capture runs, polls the joysticks and binds the first axis moved
// or button pressed since the capture began.
void OptionsMenus_PollCapture(Program& p);
