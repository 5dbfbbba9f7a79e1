// Fuzz target: the WAVE reader. The input is written to a ".wav" file and read into a sound
// buffer; a read must fail with a code or give data that the file really held, all readable.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Zentri/devices/sound/VQDSoundDevice.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path base = fs::temp_directory_path() / ("vq_fuzz_wave_" + std::to_string(getpid()));
  static const fs::path file = base / "in.wav";
  static const struct Cleanup {
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(base, ec);
    }
  } cleanup;
  fs::create_directories(base);
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  VQDSoundBuffer b;
  if (b.ReadWave(file.c_str(), true)) {
    if (b.m_dataSize > size) std::abort();
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < b.m_dataSize; i += 61) sum = uint8_t(sum + b.m_data[i]);
    if (b.m_dataSize) sum = uint8_t(sum + b.m_data[b.m_dataSize - 1]);
    (void)sum;
  }
  b.ReleaseData();
  return 0;
}
