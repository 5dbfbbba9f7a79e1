// Registration of the program's ground-query function (the trampoline is GetEarthData in
// model/core/tolvu_model.h).
#pragma once

#include "model/include/tolvu.h"

namespace tolvu {
void SetEarthDataFunction(TolvuEarthDataFunction function);
}
