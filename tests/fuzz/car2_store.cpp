// CAR_2 evaluations over a store patched with arbitrary values, as a model data file or a store
// image may deliver them: the first call and modes 1, 2 and 0 must neither crash nor index
// outside the store. Input: records of a 2-byte little-endian element number and an 8-byte double.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/include/tolvu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int len = tolvu_GetModelDefinitionSize(2);
  static std::vector<double> defaults;
  if (defaults.empty()) {
    defaults.assign(len, 0.0);
    tolvu_InitializeModel(2, defaults.data(), len, " ");
  }
  std::vector<double> store = defaults;
  for (size_t p = 0; p + 10 <= size; p += 10) {
    const int k = (data[p] | (data[p + 1] << 8)) % len;
    uint64_t u = 0;
    for (int b = 7; b >= 0; --b) u = (u << 8) | data[p + 2 + b];
    std::memcpy(&store[k], &u, 8);
  }
  tolvu_SetEarthDataFunction(nullptr);
  tolvu_CallModel(2, 1, 0, 0.0, store.data(), len);
  for (int step = 0; step < 3; ++step) {
    tolvu_CallModel(2, 0, 1, 0.005 * step, store.data(), len);
    tolvu_CallModel(2, 0, 2, 0.005 * step, store.data(), len);
  }
  tolvu_CallModel(2, 0, 0, 0.02, store.data(), len);
  return 0;
}
