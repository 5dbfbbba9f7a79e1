// Helpers shared by the file-format tests: a temporary folder per test, whole-file reads and
// writes on real paths, and a file-size limit that makes writes fail.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace files_test {

namespace fs = std::filesystem;

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vqfiles_") + std::to_string(::getpid()) + "_" +
                       info->test_suite_name() + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    m_dir = fs::temp_directory_path() / name;
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  // A real path inside the temporary folder.
  std::string Path(const std::string& relative) const { return (m_dir / relative).string(); }

  fs::path m_dir;
};

inline void WriteFile(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xff));
}

// While alive, files cannot grow beyond `bytes`: a write past it fails with EFBIG (the signal
// that would end the process is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lim = m_old;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
};

}  // namespace files_test
