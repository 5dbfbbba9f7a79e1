// Helpers shared by the model library's tests: temporary data files and a store of the right size.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tolvu_test {

// A file in a private temporary folder, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& contents, const std::string& name = "model.dat") {
    static int counter = 0;
    m_dir = std::filesystem::temp_directory_path() /
            ("tolvu_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(m_dir);
    m_path = (m_dir / name).string();
    std::ofstream(m_path, std::ios::binary) << contents;
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  const char* path() const { return m_path.c_str(); }

 private:
  std::filesystem::path m_dir;
  std::string m_path;
};

// Runs the enclosing scope in a fresh folder of its own: the dump writes "My_States.mdl" into the
// current folder, and tests of one program may run in parallel processes.
class InPrivateFolder {
 public:
  InPrivateFolder() : m_old(std::filesystem::current_path()) {
    static int counter = 0;
    m_dir = std::filesystem::temp_directory_path() /
            ("tolvu_cwd_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(m_dir);
    std::filesystem::current_path(m_dir);
  }
  ~InPrivateFolder() {
    std::error_code ec;
    std::filesystem::current_path(m_old, ec);
    std::filesystem::remove_all(m_dir, ec);
  }

 private:
  std::filesystem::path m_old, m_dir;
};

}  // namespace tolvu_test
