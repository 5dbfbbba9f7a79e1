// The ten exports of the library: thin layers that take their arguments by value and hand them,
// with the measured length of every text, to the management routines.
#include <cstring>

#include "model/core/earth.h"
#include "model/core/tolvu_model.h"
#include "model/include/tolvu.h"

namespace {
int text_length(const char* text) { return text == nullptr ? 0 : static_cast<int>(std::strlen(text)); }

struct SizeCounts {
  int nvars = 0, nstates = 0, ninertia = 0, ninputs = 0, nextra = 0;
};

SizeCounts sizes(int type) {
  SizeCounts c;
  char name[10];
  Size_Model(type, name, c.nvars, c.nstates, c.ninertia, c.ninputs, c.nextra);
  return c;
}
}  // namespace

extern "C" {

void tolvu_SetEarthDataFunction(TolvuEarthDataFunction function) { tolvu::SetEarthDataFunction(function); }

int tolvu_GetNumberOfModelDefinitions(void) { return tolvu::MODEL_COUNT; }

int tolvu_GetModelDefinitionSize(int modelType) {
  const SizeCounts c = sizes(modelType);
  return c.nvars + 2 * c.nstates + c.ninputs + c.nextra;
}

int tolvu_InitializeModel(int modelType, double* store, int storeLength, const char* dataFile) {
  return Init_Model_CPP(modelType, store, storeLength, dataFile, text_length(dataFile));
}

int tolvu_InitializeData(int modelType, double* store, int storeLength, const char* dataFile) {
  return Init_Data(modelType, store, storeLength, dataFile, text_length(dataFile));
}

int tolvu_CallModel(int modelType, int firstCall, int mode, double time, double* store, int storeLength) {
  return CALL_MODEL(modelType, firstCall, mode, time, store, storeLength);
}

int tolvu_CallModelWithGround(int modelType, int firstCall, int mode, double time, double* store,
                              int storeLength, TolvuGroundFunction ground, void* context) {
  const tolvu::GroundScope scope(ground, context);
  return CALL_MODEL(modelType, firstCall, mode, time, store, storeLength);
}

int tolvu_GetVarIndex(int modelType, const char* name) { return Get_Var_Index(modelType, name, text_length(name)); }

int tolvu_Dump(int modelType, double writeFormat, double* store, int count) {
  return Dump_Model(modelType, writeFormat, store, count);
}

int tolvu_GetNumberOfStates(int modelType) { return sizes(modelType).nstates; }

int tolvu_GetNumberOfInertiaStates(int modelType) { return sizes(modelType).ninertia; }

void* const tolvu_ExportTable[TOLVU_EXPORT_COUNT] = {
    reinterpret_cast<void*>(&tolvu_SetEarthDataFunction),
    reinterpret_cast<void*>(&tolvu_GetNumberOfModelDefinitions),
    reinterpret_cast<void*>(&tolvu_GetModelDefinitionSize),
    reinterpret_cast<void*>(&tolvu_InitializeModel),
    reinterpret_cast<void*>(&tolvu_InitializeData),
    reinterpret_cast<void*>(&tolvu_CallModel),
    reinterpret_cast<void*>(&tolvu_GetVarIndex),
    reinterpret_cast<void*>(&tolvu_Dump),
    reinterpret_cast<void*>(&tolvu_GetNumberOfStates),
    reinterpret_cast<void*>(&tolvu_GetNumberOfInertiaStates),
};

}  // extern "C"
