// A temporary folder for one test, removed with everything in it when the test ends. The test
// may also make it the current folder; the previous current folder comes back at the end.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TempTree {
 public:
  TempTree() {
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            ("vq_util_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~TempTree() {
    if (!saved_.empty()) std::filesystem::current_path(saved_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  void Enter() {
    saved_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
  }
  // The real path of a relative slash path inside the tree.
  std::string Real(const std::string& rel) const { return (root_ / rel).string(); }
  std::string Root() const { return root_.string(); }
  void MakeFolder(const std::string& rel) const { std::filesystem::create_directories(root_ / rel); }
  void Write(const std::string& rel, const std::string& content) const {
    std::ofstream(root_ / rel, std::ios::binary) << content;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(root_ / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& rel) const { return std::filesystem::exists(root_ / rel); }

 private:
  std::filesystem::path root_;
  std::filesystem::path saved_;
};
