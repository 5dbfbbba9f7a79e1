// Fuzz target: the model library's data-file reader and name lookup, through the exports.
// The input becomes a data file read over a fresh model; its first line is also looked up as a
// variable name.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/include/tolvu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tolvu_fuzz_" + std::to_string(::getpid()) + ".dat";
  const int type = size > 0 ? 1 + data[0] % 3 : 2;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  std::vector<double> store(static_cast<size_t>(tolvu_GetModelDefinitionSize(type)));
  tolvu_InitializeModel(type, store.data(), static_cast<int>(store.size()), path.c_str());
  tolvu_InitializeData(type, store.data(), static_cast<int>(store.size()), path.c_str());

  std::string name(reinterpret_cast<const char*>(data), size);
  name = name.substr(0, name.find_first_of("\n\0", 0, 2));
  tolvu_GetVarIndex(type, name.c_str());
  return 0;
}
