// Runs the token readers over arbitrary stream contents with buffer sizes and stop characters
// taken from the input, checking that every result stays inside its buffer and is terminated.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/util/VQfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t n = 1 + data[0] % 64;
  const int stop = data[1];
  const uint8_t ops = data[2];
  data += 3;
  size -= 3;
  FILE* f = std::tmpfile();
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::rewind(f);

  // One byte past the buffer is a guard that must never change.
  char buf[65 + 1];
  for (int round = 0; round < 64 && !std::feof(f); ++round) {
    std::memset(buf, 0x5a, sizeof buf);
    int32_t len = 0;
    switch ((ops >> (round % 4 * 2)) & 3) {
      case 0: VQfile_ReadUntil(f, buf, n, stop); break;
      case 1: VQfile_ReadLine(f, buf, n); break;
      case 2: len = VQfile_ReadString(f, buf, n); break;
      case 3:
        VQfile_SkipBlank(f);
        len = VQfile_ReadScrambledString(f, buf, n);
        break;
    }
    if (buf[n] != 0x5a) std::abort();
    if (std::memchr(buf, 0, n) == nullptr) std::abort();
    if (len > 0 && static_cast<size_t>(len) != std::strlen(buf)) std::abort();
  }
  std::fclose(f);
  return 0;
}
