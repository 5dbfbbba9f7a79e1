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
#include "Zentri/resources/VQImageFile.h"
#include "tests/support/run_tool.h"

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
  EXPECT_NE(out.find("triangles  3338"), std::string::npos) << out;
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

TEST(VqtoolTerrain, BuildsFromTheCollidersOfASceneFile) {
  const std::string dir = ::testing::TempDir() + "vqts_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  VQSampleTrack track;
  ASSERT_TRUE(track.BuildTerrain());
  ASSERT_TRUE(track.WriteScene((dir + "/track.vqo").c_str()));
  std::string out;
  // Words from the texture list: the race's surface table gives the in-code track's tree.
  ASSERT_EQ(RunTool("vqtool terrain-build " + dir + "/track.vqo " + dir + "/t.vqt asphalt.jpg GRASS.JPG wall.jpg", &out), 0) << out;
  EXPECT_NE(out.find("3338 triangles"), std::string::npos) << out;
  VQTerrainTree tree;
  ASSERT_TRUE(tree.Read((dir + "/t.vqt").c_str()));
  EXPECT_EQ(tree.WriteToMemory(), track.m_terrain.WriteToMemory());
  // Without a list every word is 0.
  ASSERT_EQ(RunTool("vqtool terrain-build " + dir + "/track.vqo " + dir + "/z.vqt", &out), 0) << out;
  ASSERT_TRUE(tree.Read((dir + "/z.vqt").c_str()));
  for (uint32_t i = 0; i < tree.GetTriangleCount(); ++i) ASSERT_EQ(tree.GetTriangles()[i].word, 0u);
  // A damaged scene is refused.
  std::ofstream(dir + "/bad.vqo") << "VQO_Database";
  EXPECT_EQ(RunTool("vqtool terrain-build " + dir + "/bad.vqo " + dir + "/b.vqt", &out), 1);
  EXPECT_NE(out.find("cannot read the scene"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/b.vqt"));
  std::filesystem::remove_all(dir);
}

TEST(PhysicsDemo, DrivesTheScriptAndPrintsATrace) {
  std::string out;
  const std::string scene = ::testing::TempDir() + "demo_track_" + std::to_string(::getpid()) + ".vqo";
  ASSERT_EQ(RunTool("physics-demo --time 2 --every 1 --cars 3 --write-scene " + scene, &out), 0) << out;
  EXPECT_NE(out.find("# terrain built from the scene"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(scene));  // kept when named
  std::filesystem::remove(scene);
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

// The view: the race through the OpenGL device, the CAR_2 car (a red box on black wheels)
// in the middle of the picture under the sky, and the same trace as without the view.
TEST(PhysicsDemo, ViewShowsTheChasedCarAndKeepsTheTrace) {
  const std::string dir = ::testing::TempDir() + "demo_view_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::string plain, viewed;
  ASSERT_EQ(RunTool("physics-demo --time 1 --every 0.5 --cars 1", &plain), 0) << plain;
  ASSERT_EQ(RunTool("physics-demo --time 1 --every 0.5 --cars 1 --view --shot " + dir + "/shot.jpg", &viewed), 0)
      << viewed;
  // The rows after the first line (which names the temporary scene file) are equal.
  EXPECT_EQ(viewed.substr(viewed.find('\n')), plain.substr(plain.find('\n')));
  uint32_t width = 0, height = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* rgb = VQimage_ReadFile((dir + "/shot.jpg").c_str(), &width, &height, &format, &palette);
  ASSERT_NE(rgb, nullptr);
  ASSERT_EQ(width, 800u);
  ASSERT_EQ(height, 480u);
  auto pixel = [&](uint32_t x, uint32_t y, int c) { return int(rgb[3 * (size_t(y) * width + x) + c]); };
  EXPECT_GT(pixel(400, 250, 0), pixel(400, 250, 1) + 80);  // the car body
  EXPECT_GT(pixel(400, 250, 0), pixel(400, 250, 2) + 80);
  EXPECT_GT(pixel(400, 4, 2), pixel(400, 4, 0) + 40);      // the sky
  EXPECT_NEAR(pixel(100, 400, 0), pixel(100, 400, 1), 12);  // grey asphalt beside the car
  std::free(rgb);
  std::free(palette);
  EXPECT_EQ(RunTool("physics-demo --shot " + dir + "/x.jpg", &plain), 2);  // a shot needs the view
  std::filesystem::remove_all(dir);
}

// Options that name inputs only read them; outputs have options of their own; an unreadable
// input is an error; the program leaves a "logfile.txt" of the folder it runs in alone.
TEST(PhysicsDemo, InputsAreReadNeverWrittenAndBadInputsFail) {
  namespace fs = std::filesystem;
  const std::string dir = ::testing::TempDir() + "demo_inputs_" + std::to_string(::getpid());
  fs::remove_all(dir);
  fs::create_directories(dir);
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  std::ofstream(dir + "/logfile.txt") << "my own notes\n";
  std::string out;
  ASSERT_EQ(vqtest::RunTool("physics-demo --time 0.5 --cars 1 --write-scene track.vqo --write-terrain track.vqt", &out, dir), 0)
      << out;
  const std::string scene = slurp(dir + "/track.vqo"), terrain = slurp(dir + "/track.vqt");
  ASSERT_FALSE(scene.empty());
  ASSERT_FALSE(terrain.empty());

  ASSERT_EQ(vqtest::RunTool("physics-demo --time 0.5 --cars 1 --scene track.vqo --terrain track.vqt", &out, dir), 0) << out;
  EXPECT_NE(out.find("# terrain read from track.vqt"), std::string::npos) << out;
  EXPECT_EQ(slurp(dir + "/track.vqo"), scene);
  EXPECT_EQ(slurp(dir + "/track.vqt"), terrain);

  std::ofstream(dir + "/junk.vqt") << "not a terrain cache";
  fs::create_directories(dir + "/folder.vqo");
  struct Bad {
    const char* args;
    int rc;
    const char* says;
  };
  for (const Bad& b : {Bad{"--scene missing.vqo", 1, "cannot read the track scene 'missing.vqo'"},
                       Bad{"--scene folder.vqo", 1, "cannot read the track scene"},
                       Bad{"--terrain junk.vqt", 1, "cannot read the terrain cache 'junk.vqt'"},
                       Bad{"--terrain missing.vqt", 1, "cannot read the terrain cache"},
                       Bad{"--scene track.vqo --write-scene x.vqo", 2, "give one"},
                       Bad{"--terrain track.vqt --write-terrain x.vqt", 2, "give one"}}) {
    SCOPED_TRACE(b.args);
    EXPECT_EQ(vqtest::RunTool(std::string("physics-demo --time 0.5 --cars 1 ") + b.args, &out, dir), b.rc) << out;
    EXPECT_NE(out.find(b.says), std::string::npos) << out;
  }
  EXPECT_EQ(slurp(dir + "/junk.vqt"), "not a terrain cache");
  EXPECT_FALSE(fs::exists(dir + "/missing.vqt"));
  EXPECT_FALSE(fs::exists(dir + "/x.vqo"));
  EXPECT_EQ(slurp(dir + "/logfile.txt"), "my own notes\n");

  // The view starts the engine, whose log would otherwise replace the folder's logfile.txt.
  ASSERT_EQ(vqtest::RunTool("physics-demo --time 0.2 --cars 1 --view --shot shot.jpg", &out, dir), 0) << out;
  EXPECT_EQ(slurp(dir + "/logfile.txt"), "my own notes\n");
  fs::remove_all(dir);
}
