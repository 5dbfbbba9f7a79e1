// Helpers for tests that need bitmap font sheets: runs `vqtool font-sheet` into a temporary
// folder and walks a sheet the way the engine's font reader does, independently of it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"

namespace overlay_test {

namespace fs = std::filesystem;

inline const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const char* kDejaVuSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// Runs vqtool (beside the test program) with the arguments; gives its exit code and its
// standard output in `out`.
inline int RunVqtool(const std::string& args, std::string* out = nullptr) {
  const std::string bin = fs::read_symlink("/proc/self/exe").parent_path().string();
  const std::string cmd = bin + "/vqtool " + args + " 2>/dev/null";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[256];
  std::string text;
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  const int rc = pclose(p);
  if (out) *out = text;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A folder of its own for one test, removed afterwards.
class SheetDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vqfont_") + std::to_string(::getpid()) + "_" + info->test_suite_name() +
                       "_" + info->name();
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
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  fs::path m_dir;
};

// A sheet's pixels as red, green, blue, alpha bytes, top row first.
struct Sheet {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
  uint32_t Word(uint32_t x, uint32_t y) const {
    const uint8_t* p = At(x, y);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
};

inline bool ReadSheet(const std::string& path, Sheet* sheet) {
  uint32_t w = 0, h = 0, f = 0;
  uint8_t* pal = nullptr;
  uint8_t* px = VQimage_ReadFile(path.c_str(), &w, &h, &f, &pal);
  if (!px) return false;
  std::free(pal);
  if (f != VQPF_BGRA8888) {
    std::free(px);
    return false;
  }
  sheet->width = w;
  sheet->height = h;
  sheet->rgba.resize(size_t(w) * h * 4);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* s = px + (size_t(h - 1 - y) * w + x) * 4;  // the reader gives bottom row first
      uint8_t* d = &sheet->rgba[(size_t(y) * w + x) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = s[3];
    }
  std::free(px);
  return true;
}

// A glyph box: left column, band top row (top-down), width.
struct Box {
  uint32_t x, top, width;
};

// The glyph layout of a sheet: marker colour in the top-left pixel, glyph height = the run of
// marker pixels down column 0, bands every height + 1 rows, glyphs = runs of non-marker pixels
// on a band's top row.
struct Layout {
  uint32_t marker = 0;
  uint32_t glyphHeight = 0;
  std::vector<Box> boxes;
};

inline Layout Walk(const Sheet& s) {
  Layout l;
  l.marker = s.Word(0, 0);
  while (l.glyphHeight < s.height && s.Word(0, l.glyphHeight) == l.marker) ++l.glyphHeight;
  for (uint32_t top = 0; top + l.glyphHeight <= s.height; top += l.glyphHeight + 1) {
    bool inGlyph = false;
    uint32_t start = 0;
    for (uint32_t x = 0; x < s.width; ++x) {
      const bool marker = s.Word(x, top) == l.marker;
      if (!inGlyph && !marker) start = x;
      if (inGlyph && marker) l.boxes.push_back(Box{start, top, x - start});
      inGlyph = !marker;
    }
  }
  return l;
}

}  // namespace overlay_test
