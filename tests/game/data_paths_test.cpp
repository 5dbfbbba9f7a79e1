#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QVX/shell/DataPaths.h"

namespace {
std::string Folder(const DataPaths& p, uint32_t id) {
  char out[DATAPATH_MAX_PATH] = "untouched";
  if (!p.GetFolderPath(out, sizeof out, id)) return "<false:" + std::string(out) + ">";
  return out;
}
std::string File(const DataPaths& p, uint32_t id) {
  char out[DATAPATH_MAX_PATH] = "untouched";
  if (!p.GetFilePath(out, sizeof out, id)) return "<false:" + std::string(out) + ">";
  return out;
}
}  // namespace

TEST(DataPaths, FoldersAndFilesWithDefaultRoots) {
  DataPaths p;
  EXPECT_EQ(Folder(p, 0), ".\\Data\\Players");
  EXPECT_EQ(Folder(p, 1), "<false:untouched>");
  EXPECT_EQ(Folder(p, 14), ".\\Data\\Maps_cars\\Myskins");
  EXPECT_EQ(Folder(p, 22), ".");
  EXPECT_EQ(Folder(p, 26), ".\\Data\\Maps_skineditor\\Patterns");
  EXPECT_EQ(Folder(p, 27), "<false:untouched>");
  EXPECT_EQ(File(p, 0), ".\\Config.ini");
  EXPECT_EQ(File(p, 7), ".\\Data\\Languages\\Polish.txt");
  EXPECT_EQ(File(p, 25), ".\\Data\\Menuscene.vqo");
  EXPECT_EQ(File(p, 35), ".\\Data\\weather_thunder.ini");
  EXPECT_EQ(File(p, 36), "<false:untouched>");
  EXPECT_EQ(File(p, 23), File(p, 24));
  for (uint32_t id = 19; id <= 24; ++id) EXPECT_EQ(File(p, id).find('\\'), std::string::npos) << id;
}

TEST(DataPaths, RootSlots) {
  DataPaths p;
  p.SetDataRoot(3, "elsewhere");
  p.SetDataRoot(-1, "elsewhere");
  EXPECT_EQ(File(p, 0), ".\\Config.ini");
  p.SetDataRoot(0, "zero");
  p.SetDataRoot(1, "one");
  EXPECT_EQ(File(p, 0), ".\\Config.ini");
  p.SetDataRoot(2, "two");
  EXPECT_EQ(File(p, 0), "two\\Config.ini");
  EXPECT_EQ(Folder(p, 22), "two");
}

TEST(DataPaths, LongRootsAreRefusedNotOverrun) {
  DataPaths p;
  const std::string tooLong(DATAPATH_ROOT_SIZE, 'r');
  p.SetDataRoot(2, tooLong.c_str());
  EXPECT_STREQ(p.GetRoot(2), ".");
  const std::string longest(DATAPATH_ROOT_SIZE - 1, 'r');
  p.SetDataRoot(2, longest.c_str());
  char out[DATAPATH_MAX_PATH];
  EXPECT_TRUE(p.GetFilePath(out, sizeof out, 13));  // the longest file path
  EXPECT_TRUE(p.GetFolderPath(out, sizeof out, 26));
  char small[8] = "keep";
  EXPECT_FALSE(p.GetFilePath(small, sizeof small, 13));
  EXPECT_STREQ(small, "keep");
}

TEST(DataPaths, ReplaceTail) {
  char a[32] = "Data\\Materials.ini";
  EXPECT_TRUE(ReplaceTail(a, ".bin"));
  EXPECT_STREQ(a, "Data\\Materials.bin");
  char b[32] = "ab";
  EXPECT_FALSE(ReplaceTail(b, ".bin"));
  EXPECT_STREQ(b, "ab");
}
