#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/collision/VQTerrainTree.h"

namespace {

std::string Bin() {
  const char* env = std::getenv("VQ_BIN_DIR");
  return env ? env : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs a program of the build with its output captured into *out.
int RunTool(const std::string& cmd, std::string* out) {
  const std::string file = ::testing::TempDir() + "tool_out_" + std::to_string(::getpid());
  const int rc = std::system((Bin() + "/" + cmd + " >" + file + " 2>&1").c_str());
  std::ifstream in(file);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(file.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

TEST(VqtoolTerrain, BuildsTheSampleAndTriangleFilesAndDescribesThem) {
  const std::string dir = ::testing::TempDir() + "vqt_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::string out;
  ASSERT_EQ(RunTool("vqtool terrain-build sample " + dir + "/s.vqt", &out), 0) << out;
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Read((dir + "/s.vqt").c_str()));
  VQSampleTrack track;
  ASSERT_TRUE(track.BuildTerrain());
  EXPECT_EQ(tree.WriteToMemory(), track.m_terrain.WriteToMemory());
  ASSERT_EQ(RunTool("vqtool terrain-info " + dir + "/s.vqt", &out), 0);
  EXPECT_NE(out.find("triangles  3392"), std::string::npos) << out;
  EXPECT_NE(out.find("word 2     18 triangles"), std::string::npos) << out;

  std::ofstream(dir + "/t.txt") << "# two meshes\nv 0 0 0\nv 2 0 0\nv 0 2 0\nw 5\nf 1 2 3\nm\n"
                                   "v 0 0 1\nv 1 0 1\nv 0 1 1\nw 6\nf 1 2 3\n";
  ASSERT_EQ(RunTool("vqtool terrain-build " + dir + "/t.txt " + dir + "/t.vqt", &out), 0) << out;
  ASSERT_TRUE(tree.Read((dir + "/t.vqt").c_str()));
  uint32_t word = 0;
  EXPECT_EQ(tree.GetHeight({0.2f, 0.2f, 0}, nullptr, &word, nullptr), 0.0f);
  EXPECT_EQ(word, 5u);
  EXPECT_EQ(tree.GetHeight({1.5f, 0.2f, 0}, nullptr, &word, nullptr), 0.0f);

  std::ofstream(dir + "/bad.txt") << "v 0 0 0\nf 1 2 3\n";
  EXPECT_EQ(RunTool("vqtool terrain-build " + dir + "/bad.txt " + dir + "/b.vqt", &out), 1);
  EXPECT_NE(out.find("bad.txt:2"), std::string::npos) << out;
  std::ofstream(dir + "/junk.vqt") << "VQT_Terrain";
  EXPECT_EQ(RunTool("vqtool terrain-info " + dir + "/junk.vqt", &out), 1);
  std::filesystem::remove_all(dir);
}

TEST(PhysicsDemo, DrivesTheScriptAndPrintsATrace) {
  std::string out;
  ASSERT_EQ(RunTool("physics-demo --time 2 --every 1 --cars 3", &out), 0) << out;
  // Header, then the rows at 0, 1 and 2 s, each with 4 cars of 4 columns and two counters.
  int rows = 0;
  size_t at = 0;
  while ((at = out.find('\n', at)) != std::string::npos) {
    ++at;
    if (at < out.size() && out[at] >= '0' && out[at] <= '9') ++rows;
  }
  EXPECT_EQ(rows, 3) << out;
  EXPECT_NE(out.find("\n2.000,"), std::string::npos) << out;
  EXPECT_EQ(RunTool("physics-demo --cars 40", &out), 2);
}
