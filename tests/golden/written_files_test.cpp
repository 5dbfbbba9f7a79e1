// The files the tools write must stay byte-identical across restructuring of the engine: each
// case writes a file from fixed input and compares its size and FNV-1a hash with the values
// recorded from a known-good build. A deliberate format change updates the table.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Zentri/vehicle/TolvuCarModel.h"

namespace {


std::string Bin() {
  const char* env = std::getenv("VQ_BIN_DIR");
  return env ? env : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

int RunTool(const std::string& cmd) {
  const int rc = std::system((Bin() + "/" + cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

struct Digest {
  uint64_t size = 0;
  uint64_t hash = 0;
};

Digest DigestOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Digest d;
  d.hash = 1469598103934665603ull;
  char c;
  while (in.get(c)) {
    d.hash = (d.hash ^ uint8_t(c)) * 1099511628211ull;
    ++d.size;
  }
  return d;
}

class WrittenFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = ::testing::TempDir() + "golden_" + std::to_string(::getpid());
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  void Expect(const std::string& path, uint64_t size, uint64_t hash) {
    const Digest d = DigestOf(path);
    EXPECT_EQ(d.size, size) << path;
    EXPECT_EQ(d.hash, hash) << path << ": hash 0x" << std::hex << d.hash;
  }
  std::string m_dir;
};

}  // namespace

TEST_F(WrittenFiles, DemoSceneIsUnchanged) {
  ASSERT_EQ(RunTool("vqtool scene-demo " + m_dir + "/demo.vqo"), 0);
  // Recorded with the demo's collider ground and floors and the pieces lifted off the ground.
  Expect(m_dir + "/demo.vqo", 8572, 0xc9f83b48fff50d89ull);
  ASSERT_EQ(RunTool("vqtool scene-vrml " + m_dir + "/demo.vqo " + m_dir + "/demo.wrl"), 0);
  Expect(m_dir + "/demo.wrl", 300, 0xa1b3c624dbfca86full);
}

TEST_F(WrittenFiles, TerrainCachesAreUnchanged) {
  ASSERT_EQ(RunTool("vqtool terrain-build sample " + m_dir + "/s.vqt"), 0);
  Expect(m_dir + "/s.vqt", 332252, 0x4d768016925612a9ull);
  std::ofstream(m_dir + "/t.txt") << "v 0 0 0\nv 4 0 0\nv 0 4 0\nv 4 4 1\nw 5\nf 1 2 3\nf 2 4 3\nm\n"
                                     "v 0 0 2\nv 1 0 2\nv 0 1 2\nw 6\nf 1 2 3\n";
  ASSERT_EQ(RunTool("vqtool terrain-build " + m_dir + "/t.txt " + m_dir + "/t.vqt"), 0);
  Expect(m_dir + "/t.vqt", 344, 0x19dc02f28ffcbd81ull);
}

TEST_F(WrittenFiles, PackageAndStringsAreUnchanged) {
  std::filesystem::create_directories(m_dir + "/in/sub");
  std::ofstream(m_dir + "/in/a.txt") << "first file\n";
  std::ofstream(m_dir + "/in/sub/b.txt") << "second file, in a folder\n";
  ASSERT_EQ(RunTool("vqtool package-create -C " + m_dir + "/in " + m_dir + "/p.pak a.txt sub"), 0);
  Expect(m_dir + "/p.pak", 72, 0x003e923aef08585eull);
  std::ofstream(m_dir + "/s.txt") << "<hello> Hello\n<bye:7> Good\tbye\n";
  ASSERT_EQ(RunTool("vqtool strings-compile " + m_dir + "/s.txt " + m_dir + "/s.bin"), 0);
  Expect(m_dir + "/s.bin", 37, 0x26a4dd6c95b85a68ull);
}

TEST_F(WrittenFiles, ConvertedImageIsUnchanged) {
  // A 3x2 uncompressed 24-bit TGA with distinct pixels.
  std::string tga(18, '\0');
  tga[2] = 2;
  tga[12] = 3;
  tga[14] = 2;
  tga[16] = 24;
  for (int i = 0; i < 6; ++i) tga += {char(10 * i), char(40 + 30 * i), char(250 - 20 * i)};
  std::ofstream(m_dir + "/in.tga", std::ios::binary) << tga;
  ASSERT_EQ(RunTool("vqtool image-convert " + m_dir + "/in.tga " + m_dir + "/out.vqp"), 0);
  Expect(m_dir + "/out.vqp", 38, 0x49abea87af495233ull);
}

TEST_F(WrittenFiles, DefaultStoreImagesAreUnchanged) {
  ASSERT_TRUE(TolvuCarModel_WriteDefaultStoreFile(1, (m_dir + "/car1.bin").c_str()));
  Expect(m_dir + "/car1.bin", 15704, 0x03fe7d068de2cba8ull);
  ASSERT_TRUE(TolvuCarModel_WriteDefaultStoreFile(2, (m_dir + "/car2.bin").c_str()));
  Expect(m_dir + "/car2.bin", 21944, 0x832fa111e1f774b2ull);
}
