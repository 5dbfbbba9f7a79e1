#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Zentri/util/VQPackageFile.h"
#include "Zentri/util/VQerror.h"
#include "tests/files/test_helpers.h"

using files_test::PutU32;
using files_test::ReadFile;
using files_test::WriteFile;
namespace fs = files_test::fs;

namespace {

// One entry as stored; padding goes after the data and is counted in the entry length.
std::string RawEntry(const std::string& name, const std::string& data, size_t padding = 0) {
  std::string e;
  PutU32(e, uint32_t(8 + name.size() + 1 + data.size() + padding));
  PutU32(e, uint32_t(data.size()));
  e += name;
  e.push_back('\0');
  e += data;
  e.append(padding, '\xAA');
  return e;
}

std::string RawPackage(uint32_t count, const std::string& entries) {
  std::string p;
  PutU32(p, count);
  return p + entries;
}

class VQPackage : public files_test::TempDir {};

}  // namespace

TEST_F(VQPackage, CreateListExtractRoundTrip) {
  const std::vector<VQPackageItem> items = {
      {"car.ini", "name=Red\n"},
      {"Textures\\body.tga", std::string("\0\x01\x02\xff", 4)},
      {"Textures\\Wheels\\rim.tga", std::string(200000, 'w')},  // larger than one copy chunk
      {"empty.txt", ""},
  };
  ASSERT_TRUE(VQpackage_Write(Path("red.car").c_str(), items));

  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("red.car").c_str()));
  ASSERT_EQ(package.GetCount(), items.size());
  for (uint32_t i = 0; i < items.size(); ++i) {
    std::string name;
    uint32_t size = 0;
    ASSERT_TRUE(package.GetEntry(i, &name, &size));
    EXPECT_EQ(name, items[i].name);
    EXPECT_EQ(size, items[i].data.size());
  }
  // Extract in reverse order into a folder given with backslashes.
  const std::string target = Path("Data") + "\\Cars\\red";
  for (uint32_t i = uint32_t(items.size()); i-- > 0;) ASSERT_TRUE(package.Extract(i, target.c_str(), true)) << i;
  EXPECT_EQ(ReadFile(Path("Data/Cars/red/car.ini")), items[0].data);
  EXPECT_EQ(ReadFile(Path("Data/Cars/red/Textures/body.tga")), items[1].data);
  EXPECT_EQ(ReadFile(Path("Data/Cars/red/Textures/Wheels/rim.tga")), items[2].data);
  EXPECT_TRUE(fs::exists(Path("Data/Cars/red/empty.txt")));
  EXPECT_EQ(fs::file_size(Path("Data/Cars/red/empty.txt")), 0u);
}

TEST_F(VQPackage, ExtractsIntoExistingFoldersOfAnotherCase) {
  fs::create_directories(Path("DATA/cars"));
  ASSERT_TRUE(VQpackage_Write(Path("p.car").c_str(), {{"Sub\\f.txt", "x"}}));
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("p.car").c_str()));
  ASSERT_TRUE(package.Extract(0, (Path("Data") + "\\Cars").c_str(), true));
  EXPECT_EQ(ReadFile(Path("DATA/cars/Sub/f.txt")), "x");
}

TEST_F(VQPackage, MissingFoldersNeedMakeFolders) {
  ASSERT_TRUE(VQpackage_Write(Path("p.car").c_str(), {{"a\\b\\c.txt", "abc"}}));
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("p.car").c_str()));
  g_VQerror = 0;
  EXPECT_FALSE(package.Extract(0, Path("out").c_str(), false));
  EXPECT_EQ(g_VQerror, VQERR_CREATE_OUTPUT);
  EXPECT_FALSE(fs::exists(Path("out")));
  EXPECT_TRUE(package.Extract(0, Path("out").c_str(), true));
  EXPECT_EQ(ReadFile(Path("out/a/b/c.txt")), "abc");
}

TEST_F(VQPackage, EntriesAreSkippedByTheirLengthsSoPaddingIsIgnored) {
  WriteFile(Path("pad.car"), RawPackage(3, RawEntry("one", "1111", 7) + RawEntry("two", "22", 13) +
                                               RawEntry("three", "333")));
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("pad.car").c_str()));
  ASSERT_TRUE(package.Extract(2, Path("x").c_str(), true));
  EXPECT_EQ(ReadFile(Path("x/three")), "333");
  ASSERT_TRUE(package.Extract(0, Path("x").c_str(), true));
  EXPECT_EQ(ReadFile(Path("x/one")), "1111");
}

TEST_F(VQPackage, EmptyPackageAndClosedPackage) {
  WriteFile(Path("empty.car"), RawPackage(0, ""));
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("empty.car").c_str()));
  EXPECT_EQ(package.GetCount(), 0u);
  g_VQerror = 0;
  for (uint32_t i : {0u, 1u, 0xffffffffu}) EXPECT_FALSE(package.Extract(i, Path("x").c_str(), true));
  EXPECT_EQ(g_VQerror, 0);

  ASSERT_TRUE(VQpackage_Write(Path("one.car").c_str(), {{"f", "x"}}));
  ASSERT_TRUE(package.Open(Path("one.car").c_str()));  // reopening closes the first
  EXPECT_EQ(package.GetCount(), 1u);
  package.Close();
  EXPECT_EQ(package.GetCount(), 0u);
  EXPECT_FALSE(package.Extract(0, Path("x").c_str(), true));
  EXPECT_EQ(g_VQerror, VQERR_PACKAGE_NOT_OPEN);
  package.Close();  // closing twice is harmless
}

TEST_F(VQPackage, OpenRefusesMissingAndShortFiles) {
  struct Case {
    const char* what;
    std::string bytes;  // empty string and no file when null
    int32_t error;
  } cases[] = {
      {"short count", std::string("\x01\x00", 2), VQERR_BAD_HEADER},
      {"count the file cannot hold", RawPackage(2, RawEntry("a", "")), VQERR_BAD_HEADER},
  };
  VQPackageFile package;
  g_VQerror = 0;
  EXPECT_FALSE(package.Open(Path("missing.car").c_str()));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
  for (const Case& c : cases) {
    WriteFile(Path("bad.car"), c.bytes);
    g_VQerror = 0;
    EXPECT_FALSE(package.Open(Path("bad.car").c_str())) << c.what;
    EXPECT_EQ(g_VQerror, c.error) << c.what;
    EXPECT_FALSE(package.IsOpen());
  }
}

TEST_F(VQPackage, DamagedEntriesFailWithoutWriting) {
  auto entry_with = [](uint32_t length, uint32_t size, const std::string& rest) {
    std::string e;
    PutU32(e, length);
    PutU32(e, size);
    return e + rest;
  };
  const std::string padding(32, '\0');  // keeps the count plausible for the file's size
  struct Case {
    const char* what;
    std::string package;
    uint32_t index;
    int32_t error;
  } cases[] = {
      {"entry length past the end", RawPackage(1, entry_with(4000, 1, std::string("f\0x", 3))), 0, VQERR_FILE_TYPE},
      {"entry length below its header", RawPackage(2, entry_with(4, 0, std::string("f\0", 2)) + padding), 1,
       VQERR_FILE_TYPE},
      {"data size past the entry", RawPackage(1, entry_with(12, 100, std::string("f\0xx", 4)) + padding), 0,
       VQERR_FILE_TYPE},
      {"data size past the file", RawPackage(1, entry_with(12, 0xffffffffu, std::string("f\0xx", 4))), 0,
       VQERR_FILE_TYPE},
      {"name without terminator", RawPackage(1, entry_with(12, 0, "abcd") + padding), 0, VQERR_FILE_TYPE},
      {"skipped entry past the end", RawPackage(2, RawEntry("a", "1") + entry_with(999, 0, "b")), 1,
       VQERR_FILE_TYPE},
      {"name longer than a path", RawPackage(1, RawEntry(std::string(VQPACKAGE_MAX_PATH + 1, 'n'), "")), 0,
       VQERR_NAME_TOO_LONG},
  };
  for (const Case& c : cases) {
    WriteFile(Path("bad.car"), c.package);
    VQPackageFile package;
    ASSERT_TRUE(package.Open(Path("bad.car").c_str())) << c.what;
    g_VQerror = 0;
    EXPECT_FALSE(package.Extract(c.index, Path("out").c_str(), true)) << c.what;
    EXPECT_EQ(g_VQerror, c.error) << c.what;
    EXPECT_FALSE(package.GetEntry(c.index, nullptr, nullptr)) << c.what;
    EXPECT_FALSE(fs::exists(Path("out"))) << c.what;
  }
}

TEST_F(VQPackage, NamesThatLeaveTheTargetFolderAreRefused) {
  const char* unsafe[] = {"\\etc\\passwd", "/etc/passwd", "C:\\x.txt", "c:x.txt", "..\\up.txt",
                          "a\\..\\..\\up.txt", "a/../../up.txt", "..", "", "dir\\"};
  const char* safe[] = {"a\\b.txt", "a/b.txt", "..x", "x..", ".\\dot.txt", "a\\.\\b2.txt"};
  fs::create_directories(Path("target"));
  for (const char* name : unsafe) {
    EXPECT_FALSE(VQpackage_IsSafeName(name)) << name;
    WriteFile(Path("p.car"), RawPackage(1, RawEntry(name, "evil")));
    VQPackageFile package;
    ASSERT_TRUE(package.Open(Path("p.car").c_str()));
    g_VQerror = 0;
    EXPECT_FALSE(package.Extract(0, Path("target").c_str(), true)) << name;
    EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT) << name;
    EXPECT_FALSE(VQpackage_Write(Path("w.car").c_str(), {{name, "x"}})) << name;
  }
  EXPECT_TRUE(fs::is_empty(Path("target")));
  EXPECT_FALSE(fs::exists(Path("up.txt")));
  for (const char* name : safe) {
    EXPECT_TRUE(VQpackage_IsSafeName(name)) << name;
    WriteFile(Path("p.car"), RawPackage(1, RawEntry(name, "ok")));
    VQPackageFile package;
    ASSERT_TRUE(package.Open(Path("p.car").c_str()));
    EXPECT_TRUE(package.Extract(0, Path("target").c_str(), true)) << name;
  }
  EXPECT_EQ(ReadFile(Path("target/a/b.txt")), "ok");
  EXPECT_EQ(ReadFile(Path("target/a/b2.txt")), "ok");
}

TEST_F(VQPackage, TooLongOutputPathIsRefused) {
  ASSERT_TRUE(VQpackage_Write(Path("p.car").c_str(), {{std::string(600, 'n'), "x"}}));
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("p.car").c_str()));
  g_VQerror = 0;
  EXPECT_FALSE(package.Extract(0, (Path("") + std::string(500, 'f')).c_str(), true));
  EXPECT_EQ(g_VQerror, VQERR_NAME_TOO_LONG);
}

TEST_F(VQPackage, FailedWriteIsReportedAndKeepsTheOldFile) {
  ASSERT_TRUE(VQpackage_Write(Path("p.car").c_str(), {{"big.bin", std::string(300000, 'b')}}));
  WriteFile(Path("out/big.bin"), "previous");
  VQPackageFile package;
  ASSERT_TRUE(package.Open(Path("p.car").c_str()));
  {
    files_test::FileSizeLimit limit(4096);
    g_VQerror = 0;
    EXPECT_FALSE(package.Extract(0, Path("out").c_str(), true));
    EXPECT_NE(g_VQerror, 0);
    EXPECT_FALSE(VQpackage_Write(Path("p2.car").c_str(), {{"big.bin", std::string(300000, 'b')}}));
  }
  EXPECT_EQ(ReadFile(Path("out/big.bin")), "previous");
  EXPECT_FALSE(fs::exists(Path("p2.car")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator()), 1);
}
