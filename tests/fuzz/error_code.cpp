// Smoke target: keeps the fuzz build exercised until the file readers add their own targets.
#include <cstddef>
#include <cstdint>

#include "Zentri/util/VQerror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0) VQerror_Fail(static_cast<int32_t>(data[0]));
  return 0;
}
