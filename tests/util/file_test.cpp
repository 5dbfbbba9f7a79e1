#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "temp_tree.h"

// A tree with mixed-case names, entered as the current folder, so that the tests can use the
// engine's relative backslash paths.
class FileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.MakeFolder("Data/Tracks/Oval");
    tree.MakeFolder("Data/Cars");
    tree.Write("Data/Tracks/Oval/Track.VQO", "track");
    tree.Write("Data/Cars/readme.txt", "cars");
    tree.Enter();
    g_VQerror = 0;
  }
  TempTree tree;
};

TEST_F(FileTree, ResolveMapsBackslashesAndCase) {
  struct Case {
    const char* engine;
    const char* real;
  } cases[] = {
      {"Data\\Tracks\\Oval\\Track.VQO", "Data/Tracks/Oval/Track.VQO"},     // exact
      {"data\\tracks\\OVAL\\track.vqo", "Data/Tracks/Oval/Track.VQO"},     // every component folded
      {".\\DATA\\cars\\README.TXT", "./Data/Cars/readme.txt"},             // "." kept
      {"Data\\Cars\\..\\TRACKS\\oval", "Data/Cars/../Tracks/Oval"},         // ".." kept
      {"data\\Cars\\New\\Sub\\x.bin", "Data/Cars/New/Sub/x.bin"},          // missing tail as given
      {"Data\\Cars\\", "Data/Cars/"},                                      // trailing separator
      {"DATA\\\\cars", "Data/Cars"},                                       // doubled separator
      {"Data/tracks/oval", "Data/Tracks/Oval"},                            // slashes work too
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(VQpath_Resolve(c.engine), c.real) << c.engine;
  EXPECT_EQ(VQpath_Resolve(static_cast<const char*>(nullptr)), "");
}

TEST_F(FileTree, ResolveAbsolutePathAndPrefersExactName) {
  tree.Write("Data/Cars/CAR.bin", "upper");
  tree.Write("Data/Cars/car.bin", "lower");
  tree.Write("Data/Cars/Car.bin", "mixed");
  EXPECT_EQ(VQpath_Resolve("Data\\Cars\\car.bin"), "Data/Cars/car.bin");
  EXPECT_EQ(VQpath_Resolve("Data\\Cars\\cAR.bin"), "Data/Cars/CAR.bin");  // smallest in byte order
  std::string abs = tree.Root() + "\\DATA\\tracks";
  EXPECT_EQ(VQpath_Resolve(abs.c_str()), tree.Real("Data/Tracks"));
}

TEST_F(FileTree, OpenReadsAndWritesThroughMixedCasePaths) {
  FILE* f = VQfile_Open("DATA\\TRACKS\\oval\\track.vqo", "rt");
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 5u);
  std::fclose(f);
  EXPECT_STREQ(buf, "track");

  // Writing under another spelling replaces the existing file instead of adding a second one.
  f = VQfile_Open("data\\cars\\README.txt", "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("new", f);
  std::fclose(f);
  EXPECT_EQ(tree.Read("Data/Cars/readme.txt"), "new");
  EXPECT_FALSE(tree.Exists("Data/Cars/README.txt"));

  EXPECT_EQ(VQfile_Open("Data\\missing.txt", "rb"), nullptr);
  EXPECT_EQ(g_VQerror, 37);
  EXPECT_EQ(VQfile_Open("Data\\Cars\\readme.txt", "q"), nullptr);
  EXPECT_EQ(g_VQerror, 28);
}

TEST_F(FileTree, StatExistsAndSize) {
  VQFileStatus st;
  EXPECT_TRUE(VQfile_Stat("data\\tracks\\oval\\TRACK.vqo", &st));
  EXPECT_EQ(st.size, 5);
  EXPECT_FALSE(st.isFolder);
  EXPECT_TRUE(VQfile_Stat("DATA\\Tracks", &st));
  EXPECT_TRUE(st.isFolder);
  EXPECT_EQ(g_VQerror, 0);

  EXPECT_EQ(VQfile_Size("Data\\Cars\\README.TXT"), 4);
  EXPECT_TRUE(VQfile_Exists("data\\cars\\readme.txt"));

  EXPECT_FALSE(VQfile_Stat("Data\\nothing", &st));
  EXPECT_EQ(g_VQerror, 37);
  // A path through a file is as absent as a missing one.
  EXPECT_FALSE(VQfile_Exists("Data\\Cars\\readme.txt\\x"));
  EXPECT_EQ(g_VQerror, 37);
  g_VQerror = 0;
  EXPECT_EQ(VQfile_Size("Data\\nothing"), -1);
  EXPECT_EQ(g_VQerror, 22);
}

TEST_F(FileTree, RenameAndMoveNew) {
  EXPECT_TRUE(VQfile_Rename("Data\\Cars\\info.txt", "data\\CARS\\readme.txt"));
  EXPECT_EQ(tree.Read("Data/Cars/info.txt"), "cars");
  EXPECT_FALSE(tree.Exists("Data/Cars/readme.txt"));

  EXPECT_FALSE(VQfile_Rename("Data\\Cars\\x.txt", "Data\\Cars\\gone.txt"));
  EXPECT_EQ(g_VQerror, 36);

  // Rename replaces an existing destination: the save-by-temporary-file pattern.
  tree.Write("Data/Cars/new.tmp", "fresh");
  EXPECT_TRUE(VQfile_Rename("data\\cars\\INFO.txt", "Data\\Cars\\new.tmp"));
  EXPECT_EQ(tree.Read("Data/Cars/info.txt"), "fresh");

  // MoveNew refuses an existing destination and renames nothing.
  tree.Write("Data/Cars/other.txt", "other");
  g_VQerror = 0;
  EXPECT_FALSE(VQfile_MoveNew("DATA\\cars\\info.txt", "Data\\Cars\\other.txt"));
  EXPECT_EQ(g_VQerror, 35);
  EXPECT_EQ(tree.Read("Data/Cars/other.txt"), "other");
  EXPECT_EQ(tree.Read("Data/Cars/info.txt"), "fresh");
  EXPECT_TRUE(VQfile_MoveNew("Data\\Cars\\moved.txt", "Data\\Cars\\other.txt"));
  EXPECT_EQ(tree.Read("Data/Cars/moved.txt"), "other");
}

TEST_F(FileTree, DeleteAndMakeFolderErrors) {
  EXPECT_TRUE(VQfile_Delete("DATA\\Cars\\Readme.Txt"));
  EXPECT_FALSE(tree.Exists("Data/Cars/readme.txt"));
  EXPECT_FALSE(VQfile_Delete("Data\\Cars\\readme.txt"));
  EXPECT_EQ(g_VQerror, 37);
  EXPECT_FALSE(VQfile_Delete("Data\\Cars"));  // a folder is not deleted as a file
  EXPECT_EQ(g_VQerror, 58);

  EXPECT_TRUE(VQfile_MakeFolder("data\\cars\\Skins"));
  EXPECT_TRUE(tree.Exists("Data/Cars/Skins"));
  EXPECT_FALSE(VQfile_MakeFolder("Data\\CARS\\skins"));
  EXPECT_EQ(g_VQerror, 34);
  EXPECT_FALSE(VQfile_MakeFolder("Data\\Nope\\Sub"));
  EXPECT_EQ(g_VQerror, 37);
}

TEST_F(FileTree, MakePathCreatesEveryMissingFolder) {
  EXPECT_TRUE(VQfile_MakePath("DATA\\Skins\\New"));
  EXPECT_TRUE(tree.Exists("Data/Skins/New"));
  EXPECT_FALSE(tree.Exists("DATA"));  // the existing Data folder was used
  EXPECT_TRUE(VQfile_MakePath("Data\\Skins\\New"));  // all there already
  EXPECT_TRUE(VQfile_MakePath(".\\out"));
  EXPECT_TRUE(tree.Exists("out"));
  EXPECT_TRUE(VQfile_MakePath("out\\..\\out2\\deep\\"));
  EXPECT_TRUE(tree.Exists("out2/deep"));
  EXPECT_TRUE(VQfile_MakePath(""));
  EXPECT_TRUE(VQfile_MakePath((tree.Root() + "/abs\\one").c_str()));
  EXPECT_TRUE(tree.Exists("abs/one"));

  // A leading backslash gives an empty first prefix, which cannot be created.
  EXPECT_FALSE(VQfile_MakePath("\\Data\\X"));
  // A file in the way.
  EXPECT_FALSE(VQfile_MakePath("Data\\Cars\\readme.txt\\Sub"));

  std::string tooLong = "a\\" + std::string(260, 'b');
  g_VQerror = 0;
  EXPECT_FALSE(VQfile_MakePath(tooLong.c_str()));
  EXPECT_EQ(g_VQerror, 31);
  EXPECT_FALSE(tree.Exists("a"));
}

TEST(FileType, FromLastThreeCharacters) {
  struct Case {
    const char* name;
    VQFileType type;
  } cases[] = {
      {"Snap.JPG", VQFILE_JPG}, {"car.vqp", VQFILE_VQP},   {"notes.doc", VQFILE_UNKNOWN},
      {"a", VQFILE_UNKNOWN},    {"ab", VQFILE_UNKNOWN},    {"", VQFILE_UNKNOWN},
      {"road.jpeg", VQFILE_UNKNOWN}, {"mytga", VQFILE_TGA}, {"tga", VQFILE_TGA},
      {"x.unk", VQFILE_UNKNOWN}, {"x.PCX", VQFILE_PCX},    {"scene.vqo", VQFILE_VQO},
      {"m.3DS", VQFILE_3DS},    {"t.txt", VQFILE_TXT},     {"m.vqm", VQFILE_VQM},
      {"s.wav", VQFILE_WAV},    {"s.vqw", VQFILE_VQW},     {"m.Mp3", VQFILE_MP3},
      {"a.vq3", VQFILE_VQ3},    {"a.mdl", VQFILE_MDL},     {"a.wrl", VQFILE_WRL},
      {"a.png", VQFILE_PNG},    {"a.bmp", VQFILE_BMP},
  };
  for (const Case& c : cases) EXPECT_EQ(VQfile_TypeFromExtension(c.name), c.type) << c.name;
  EXPECT_EQ(VQfile_TypeFromExtension(nullptr), VQFILE_UNKNOWN);
}

TEST_F(FileTree, ListingSkipsDotEntriesAndEndsWithoutError) {
  tree.MakeFolder("List/sub");
  tree.Write("List/a.txt", "a");
  g_VQerror = 12345;
  VQFolderScan scan;
  ASSERT_TRUE(VQfile_FindFirst(&scan, "list"));
  EXPECT_EQ(scan.m_firstPending, 1u);
  std::vector<std::pair<std::string, int>> seen;
  VQFolderEntry entry;
  while (VQfile_FindNext(&scan, &entry)) seen.emplace_back(entry.m_name, entry.m_isFolder);
  EXPECT_STREQ(entry.m_name, "");
  EXPECT_EQ(g_VQerror, 12345);
  EXPECT_TRUE(VQfile_FindClose(&scan));
  std::sort(seen.begin(), seen.end());
  std::vector<std::pair<std::string, int>> expected = {{"a.txt", 0}, {"sub", 1}};
  EXPECT_EQ(seen, expected);
}

TEST_F(FileTree, PlatformListingTakesRealPathsAndTheFileLayerResolvesThem) {
  tree.MakeFolder("List/Sub");
  VQFolderScan scan;
  VQFolderEntry entry;
  g_VQerror = 0;
  EXPECT_FALSE(VQwin32_FindFirst(&scan, "LIST"));  // no case-insensitive lookup down here
  EXPECT_EQ(g_VQerror, 1);
  ASSERT_TRUE(VQwin32_FindFirst(&scan, tree.Real("List").c_str()));
  EXPECT_EQ(scan.m_firstPending, 1u);
  ASSERT_TRUE(VQwin32_FindNext(&scan, &entry));
  EXPECT_STREQ(entry.m_name, "Sub");
  EXPECT_EQ(entry.m_isFolder, 1);
  EXPECT_EQ(scan.m_firstPending, 0u);
  EXPECT_FALSE(VQwin32_FindNext(&scan, &entry));
  EXPECT_TRUE(VQwin32_FindClose(&scan));
  ASSERT_TRUE(VQfile_FindFirst(&scan, "LIST"));
  ASSERT_TRUE(VQfile_FindNext(&scan, &entry));
  EXPECT_STREQ(entry.m_name, "Sub");
  EXPECT_TRUE(VQfile_FindClose(&scan));
}

TEST_F(FileTree, ListingOfEmptyFolderAndFailures) {
  tree.MakeFolder("Empty");
  VQFolderScan scan;
  VQFolderEntry entry;
  ASSERT_TRUE(VQfile_FindFirst(&scan, "EMPTY"));
  EXPECT_FALSE(VQfile_FindNext(&scan, &entry));
  EXPECT_TRUE(VQfile_FindClose(&scan));

  g_VQerror = 0;
  EXPECT_FALSE(VQfile_FindFirst(&scan, "Data\\NoSuchFolder"));
  EXPECT_EQ(g_VQerror, 1);
  EXPECT_FALSE(VQfile_FindFirst(&scan, "Data\\Cars\\readme.txt"));  // a file is no folder
  EXPECT_EQ(g_VQerror, 1);
  // A scan that never opened: next gives nothing, close reports a bad handle.
  VQFolderScan closed;
  EXPECT_FALSE(VQfile_FindNext(&closed, &entry));
  EXPECT_FALSE(VQfile_FindClose(&closed));
  EXPECT_EQ(g_VQerror, 65);
}

TEST_F(FileTree, ListingKeepsLongNamesWhole) {
  std::string name(255, 'n');
  tree.MakeFolder("Long");
  tree.Write("Long/" + name, "x");
  VQFolderScan scan;
  VQFolderEntry entry;
  ASSERT_TRUE(VQfile_FindFirst(&scan, "long"));
  ASSERT_TRUE(VQfile_FindNext(&scan, &entry));
  EXPECT_EQ(std::string(entry.m_name), name);
  EXPECT_TRUE(VQfile_FindClose(&scan));
}
