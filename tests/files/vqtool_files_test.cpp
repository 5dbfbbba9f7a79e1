// The vqtool commands for message strings and packages, run as the data authors run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "Zentri/util/VQPackageFile.h"
#include "Zentri/util/VQStrings.h"
#include "tests/files/test_helpers.h"

using files_test::ReadFile;
using files_test::WriteFile;
namespace fs = files_test::fs;

namespace {

struct Result {
  int code;
  std::string out;
};

class VQToolFiles : public files_test::TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    m_tool = (fs::path(VQ_BIN_DIR) / "vqtool").string();
    ASSERT_TRUE(fs::exists(m_tool)) << "vqtool not built at " << m_tool;
  }

  Result Run(const std::string& args) {
    std::string cmd = "'" + m_tool + "' " + args + " 2>" + Path("stderr.txt");
    Result r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }

  std::string m_tool;
};

}  // namespace

TEST_F(VQToolFiles, StringsCompileAndDumpRoundTrip) {
  const std::string text = "<title:1204> Quorvex\r\n<quit> Quit\\tnow\n<two:2> Line one\\nLine two\n";
  WriteFile(Path("en.txt"), text);
  Result r = Run("strings-compile " + Path("en.txt") + " " + Path("en.bin"));
  ASSERT_EQ(r.code, 0) << ReadFile(Path("stderr.txt"));
  EXPECT_EQ(r.out, "3 entries\n");

  VQStrings game;
  ASSERT_TRUE(game.Load(Path("en.bin").c_str(), false, true));
  EXPECT_STREQ(game.GetById(2), "Line one\nLine two");

  r = Run("strings-dump " + Path("en.bin"));
  ASSERT_EQ(r.code, 0) << ReadFile(Path("stderr.txt"));
  EXPECT_EQ(r.out, "<title:1204> Quorvex\n<quit> Quit\\tnow\n<two:2> Line one\\nLine two\n");
}

TEST_F(VQToolFiles, StringsCompileRefusesMoreEntriesThanTheTableHolds) {
  std::string text;
  for (int i = 0; i <= 500; ++i) text += "<k" + std::to_string(i) + "> t\n";
  WriteFile(Path("big.txt"), text);
  Result r = Run("strings-compile " + Path("big.txt") + " " + Path("big.bin"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(ReadFile(Path("stderr.txt")).find("more than 500"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("big.bin")));
}

TEST_F(VQToolFiles, StringsDumpReportsEntriesTheTextFormCannotCarry) {
  VQStrings t;
  ASSERT_TRUE(t.Add("a<b", 1, "x"));
  ASSERT_TRUE(t.SaveBinary(Path("odd.bin").c_str()));
  EXPECT_EQ(Run("strings-dump " + Path("odd.bin")).code, 3);
  EXPECT_EQ(Run("strings-dump " + Path("missing.bin")).code, 1);
}

TEST_F(VQToolFiles, PackageCreateListAndExtract) {
  WriteFile(Path("src/car.ini"), "name=Red\n");
  WriteFile(Path("src/Textures/body.tga"), "TGA");
  WriteFile(Path("src/Textures/Wheels/rim.tga"), "RIM");
  Result r = Run("package-create -C " + Path("src") + " " + Path("red.car") + " car.ini Textures");
  ASSERT_EQ(r.code, 0) << ReadFile(Path("stderr.txt"));
  EXPECT_EQ(r.out, "3 entries\n");

  r = Run("package-list " + Path("red.car"));
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "3 entries\n"
            "         9  car.ini\n"
            "         3  Textures\\Wheels\\rim.tga\n"
            "         3  Textures\\body.tga\n");

  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("red.car").c_str()));
  for (uint32_t i = 0; i < package.GetCount(); ++i) ASSERT_TRUE(package.Extract(i, Path("out").c_str(), true));
  EXPECT_EQ(ReadFile(Path("out/Textures/Wheels/rim.tga")), "RIM");
}

TEST_F(VQToolFiles, PackageCreateRefusesNamesOutsideTheFolder) {
  WriteFile(Path("src/a.txt"), "a");
  EXPECT_EQ(Run("package-create -C " + Path("src") + " " + Path("p.car") + " ../src/a.txt").code, 1);
  EXPECT_EQ(Run("package-create " + Path("p.car") + " " + Path("src/a.txt")).code, 1);  // absolute
  EXPECT_FALSE(fs::exists(Path("p.car")));
  WriteFile(Path("bad.car"), std::string("\x05\x00\x00\x00", 4));
  EXPECT_EQ(Run("package-list " + Path("bad.car")).code, 1);
}
