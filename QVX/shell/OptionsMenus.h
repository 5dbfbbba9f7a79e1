// The menu area that gives the options and championship pages their meaning.
#pragma once

#include "QVX/menu/MenuAreas.h"

MenuArea OptionsMenus_Area();
