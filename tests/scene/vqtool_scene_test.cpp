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
