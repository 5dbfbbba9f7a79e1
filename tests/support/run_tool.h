// Runs a program of the build (build/bin) as a user would and captures what it prints.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vqtest {

// The folder of the built programs: VQ_BIN_DIR from the environment, else this test's own folder.
inline std::string BinDir() {
  const char* env = std::getenv("VQ_BIN_DIR");
  return env ? env : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs `cmd` through the shell (in `cwd` when given) with stdout and stderr captured into *out;
// returns the exit status, or -1 when the program did not exit normally (a crash).
inline int RunCommand(const std::string& cmd, std::string* out, const std::string& cwd = "") {
  const std::string file =
      ::testing::TempDir() + "run_out_" + std::to_string(::getpid()) + "_" + std::to_string(std::rand());
  std::string line = cmd + " >" + file + " 2>&1";
  if (!cwd.empty()) line = "cd '" + cwd + "' && " + line;
  const int rc = std::system(line.c_str());
  std::ifstream in(file);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(file.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Runs a program of the build by name with its arguments.
inline int RunTool(const std::string& programAndArgs, std::string* out, const std::string& cwd = "") {
  return RunCommand("'" + BinDir() + "'/" + programAndArgs, out, cwd);
}

}  // namespace vqtest
