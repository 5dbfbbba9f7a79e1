#include "Zentri/resources/VQImageIO.h"

#include <cstdarg>
#include <cstdio>

std::string VQimage_HostPath(const char* path) {
  std::string p = path ? path : "";
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

bool VQimage_LoadBytes(const char* path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::FILE* f = std::fopen(VQimage_HostPath(path).c_str(), "rb");
  if (!f) return false;
  bool ok = true;
  uint8_t chunk[65536];
  for (;;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, f);
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (n < sizeof chunk) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  return ok;
}

bool VQimage_SaveBytes(const char* path, const uint8_t* data, size_t size) {
  const std::string target = VQimage_HostPath(path);
  const std::string temp = target + ".part~";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

void VQimage_Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}
