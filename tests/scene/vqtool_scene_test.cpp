#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "tests/scene/scene_support.h"
#include "tests/support/run_tool.h"

namespace {
// Runs vqtool from the build's bin folder; the output goes to a file for the checks.
int Vqtool(const std::string& args, const std::string& output) {
  const std::string cmd = std::string(VQ_BIN_DIR) + "/vqtool " + args + " >" + output + " 2>&1";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
}  // namespace

TEST(VqtoolScene, DemoInfoAndVrml) {
  SceneTemp tmp;
  ASSERT_EQ(Vqtool("scene-demo " + tmp.Path("demo.vqo"), tmp.Path("out1.txt")), 0);
  VQNode* demo = VQscene_BuildDemo();
  std::vector<uint8_t> expected;
  ASSERT_TRUE(VQscene_WriteDatabaseMemory(demo, expected, 11));
  EXPECT_EQ(tmp.Read("demo.vqo"), expected);

  ASSERT_EQ(Vqtool("scene-info " + tmp.Path("demo.vqo"), tmp.Path("info.txt")), 0);
  const std::string info = Text(tmp.Read("info.txt"));
  EXPECT_EQ(info.rfind(VQscene_Describe(demo), 0), 0u);
  EXPECT_NE(info.find("nodes 21, geoset nodes 8"), std::string::npos);

  ASSERT_EQ(Vqtool("scene-vrml " + tmp.Path("demo.vqo") + " " + tmp.Path("demo.wrl"), tmp.Path("out2.txt")), 0);
  EXPECT_EQ(Text(tmp.Read("demo.wrl")).rfind("#VRML V1.0 ascii\n\n", 0), 0u);

  tmp.Write("bad.vqo", {1, 2, 3});
  EXPECT_EQ(Vqtool("scene-info " + tmp.Path("bad.vqo"), tmp.Path("out3.txt")), 1);
  EXPECT_EQ(Vqtool("scene-info", tmp.Path("out4.txt")), 2);
  VQNode::Destroy(demo);
}

namespace {
struct GridCorners {
  std::vector<uint32_t> colours;  // the colour of each grid's vertex at x = n, y = 0
};
bool CollectCorner(VQNode* node, void* context) {
  if (node->m_type != VQNODE_GEOSET) return true;
  const VQGeoset* g = static_cast<VQGeosetNode*>(node)->m_geoset;
  if (!g || g->m_levelCount == 0 || !g->m_meshes[0] || !g->m_meshes[0]->m_colours) return true;
  const VQMesh* m = g->m_meshes[0];
  uint32_t n = 1;
  while ((n + 1) * (n + 1) < m->m_vertexCount) ++n;
  if ((n + 1) * (n + 1) == m->m_vertexCount) static_cast<GridCorners*>(context)->colours.push_back(m->m_colours[n]);
  return true;
}
}  // namespace

// The demo file stores colours as the scene file does (blue in the low byte); a reader for a
// device that wants red in the low byte (colour format code 12) gets the red corner as red.
TEST(VqtoolScene, DemoColoursFollowTheFileColourOrder) {
  SceneTemp tmp;
  ASSERT_EQ(Vqtool("scene-demo " + tmp.Path("demo.vqo"), tmp.Path("out.txt")), 0);
  const std::vector<uint8_t> file = tmp.Read("demo.vqo");
  const struct {
    uint32_t colourFormat;
    uint32_t red;
  } cases[] = {{12, 0xFF0000FFu}, {11, 0xFFFF0000u}, {0, 0xFFFF0000u}};
  for (const auto& k : cases) {
    VQNode* root = nullptr;
    ASSERT_TRUE(VQscene_ReadDatabaseMemory(&root, file.data(), file.size(), nullptr, k.colourFormat, false));
    GridCorners corners;
    root->Visit(CollectCorner, &corners);
    EXPECT_GE(corners.colours.size(), 4u) << "format " << k.colourFormat;
    for (uint32_t c : corners.colours) EXPECT_EQ(c, k.red) << "format " << k.colourFormat;
    VQNode::Destroy(root);
  }
}

// The demo scene works with every tool: its textures are written beside it and found by vqview,
// its ground is a collider mesh for terrain-build; a scene without colliders is refused by
// terrain-build, which then writes nothing.
TEST(VqtoolScene, DemoHasTexturesAndCollidersAndAnEmptyTerrainIsRefused) {
  namespace fs = std::filesystem;
  const std::string dir = ::testing::TempDir() + "scene_demo_tools_" + std::to_string(::getpid());
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string out;
  ASSERT_EQ(vqtest::RunTool("vqtool scene-demo demo.vqo", &out, dir), 0) << out;
  for (const char* t : {"road_0.tga", "road_2.tga", "glass_0.tga", "detail.tga"})
    EXPECT_TRUE(fs::is_regular_file(dir + "/Textures/" + t)) << t;
  ASSERT_EQ(vqtest::RunTool("vqview demo.vqo --camera 0,-150,60 --frames 2 --size 64x64", &out, dir), 0) << out;
  EXPECT_EQ(out.find("Cannot load texture"), std::string::npos) << out;

  ASSERT_EQ(vqtest::RunTool("vqtool terrain-build demo.vqo demo.vqt", &out, dir), 0) << out;
  ASSERT_EQ(vqtest::RunTool("vqtool terrain-info demo.vqt", &out, dir), 0) << out;
  EXPECT_EQ(out.find("triangles  0\n"), std::string::npos) << out;

  // A scene of one mesh that is not a collider.
  VQNode* root = new VQRootNode(1);
  VQGeosetNode* node = new VQGeosetNode(VQscene_MakeGridGeoset(2, 4.0f, 1), 2);
  node->SetMattable(VQscene_MakeMattable(1, "m_"));
  root->SetChild(node);
  ASSERT_TRUE(VQscene_WriteDatabase(root, (dir + "/plain.vqo").c_str(), 11));
  VQNode::Destroy(root);
  EXPECT_EQ(vqtest::RunTool("vqtool terrain-build plain.vqo plain.vqt", &out, dir), 1) << out;
  EXPECT_NE(out.find("holds no collider meshes"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir + "/plain.vqt"));
  fs::remove_all(dir);
}
