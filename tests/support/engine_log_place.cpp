// Linked into every test program of the engine: the engine log of a test process goes to a file
// of its own in the temporary folder, removed when the process ends, instead of "logfile.txt" in
// the folder the tests run from (which may hold somebody's file of that name).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Zentri/util/VQlog.h"

namespace {

struct EngineLogPlace {
  std::string path;
  EngineLogPlace() {
    path = (std::filesystem::temp_directory_path() / ("vq_test_engine_log_" + std::to_string(::getpid()) + ".txt"))
               .string();
    VQlog_SetFileName(path.c_str());
  }
  ~EngineLogPlace() { std::remove(path.c_str()); }
};

const EngineLogPlace g_place;

}  // namespace
