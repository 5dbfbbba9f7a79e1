#include "Zentri/resources/VQImageIO.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/util/VQpath.h"

bool VQimage_LoadBytes(const char* path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::FILE* f = VQfile_Open(path, "rb");
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
  const std::string temp = std::string(path) + ".part~";
  std::FILE* f = VQfile_Open(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = VQfile_Rename(path, temp.c_str());
  if (!ok) {
    const int32_t code = g_VQerror;
    VQfile_Delete(temp.c_str());
    g_VQerror = code;
  }
  return ok;
}

void VQimage_Log(const char* format, ...) {
  char text[VQLOG_MESSAGE_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  VQlog_Printf(VQLOG_INFO, "%s", text);
}

bool VQimage_EnterFolder(std::set<std::string>& visited, const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::weakly_canonical(VQpath_Resolve(folder), ec);
  return visited.insert(ec ? VQpath_Resolve(folder) : real.string()).second;
}
