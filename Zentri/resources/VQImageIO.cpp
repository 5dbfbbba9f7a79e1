#include "Zentri/resources/VQImageIO.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/util/VQpath.h"

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
