// Fuzz target: the package reader. The input is written to a file and opened as a package;
// every entry is listed and the first few are extracted into a scratch folder, which must hold
// everything that was written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Zentri/util/VQPackageFile.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path base = fs::temp_directory_path() / ("vq_fuzz_package_" + std::to_string(getpid()));
  static const fs::path file = base / "in.pkg";
  static const fs::path out = base / "out";
  static const struct Cleanup {
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(base, ec);
    }
  } cleanup;
  fs::create_directories(base);
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  VQPackageFile package;
  if (!package.Open(file.c_str())) return 0;
  const uint32_t count = package.GetCount();
  for (uint32_t i = 0; i < count && i < 64; ++i) {
    std::string name;
    uint32_t dataSize = 0;
    if (!package.GetEntry(i, &name, &dataSize)) break;
    if (name.size() > VQPACKAGE_MAX_PATH) __builtin_trap();
  }
  for (uint32_t i = 0; i < count && i < 4; ++i) package.Extract(i, out.c_str(), true);
  // Nothing may land beside the scratch folder: base holds only the input and "out".
  for (const auto& entry : fs::directory_iterator(base)) {
    if (entry.path() != file && entry.path() != out) __builtin_trap();
  }
  std::error_code ec;
  fs::remove_all(out, ec);
  return 0;
}
