// Bonus archives: compression round trip, every kind of damage, and vqtool bonus-create.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/run_tool.h"
#include "Zentri/util/VQarchive.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQPackageFile.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

class Archive : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() /
            ("quorvex_archive_" + std::to_string(getpid()) + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    std::string noise;
    for (uint32_t i = 0; i < 300000; ++i) noise += char((i * 7919u) % 251u);
    ASSERT_TRUE(VQpackage_Write(
        (m_dir / "pack.bin").c_str(),
        {{"Data\\Cars\\class_x.bin", noise}, {"Readme2.txt", std::string(5000, 'r')}}));
    ASSERT_TRUE(VQarchive_Compress((m_dir / "pack.bin").c_str(), (m_dir / "bonus.car").c_str()));
    m_archive = Read(m_dir / "bonus.car");
  }
  void TearDown() override { fs::remove_all(m_dir); }
  // Inflates a copy of the archive with the given bytes; the error code, 0 on success.
  int32_t Inflate(const std::string& bytes) {
    Write(m_dir / "try.car", bytes);
    g_VQerror = 0;
    return VQarchive_Decompress((m_dir / "try.car").c_str(), m_dir.c_str()) ? 0 : g_VQerror;
  }
  fs::path m_dir;
  std::string m_archive;
};

}  // namespace

TEST_F(Archive, RoundTripGivesThePackageBack) {
  EXPECT_LT(m_archive.size(), Read(m_dir / "pack.bin").size());
  EXPECT_EQ(m_archive.compare(0, 4, "VQBA"), 0);
  ASSERT_EQ(Inflate(m_archive), 0);
  EXPECT_EQ(Read(m_dir / "try.vqa"), Read(m_dir / "pack.bin"));
  EXPECT_EQ(VQarchive_PackageName("a/b/bonus.trk", "."), "./bonus.vqa");
}

TEST_F(Archive, DamageIsRefusedAndLeavesNoPackage) {
  struct Case {
    const char* what;
    std::string bytes;
    int32_t error;
  };
  std::string flipped = m_archive;
  flipped[m_archive.size() / 2] ^= 0x55;
  std::string bigger = m_archive, smaller = m_archive, huge = m_archive, version = m_archive;
  bigger[8] = char(uint8_t(bigger[8]) + 1);
  smaller[8] = char(uint8_t(smaller[8]) - 1);
  huge[15] = 0x40;
  version[4] = 2;
  const Case cases[] = {
      {"empty", "", VQERR_BAD_HEADER},
      {"not an archive", "PK\3\4 something else entirely", VQERR_BAD_HEADER},
      {"other version", version, VQERR_BAD_HEADER},
      {"stated size beyond the limit", huge, VQERR_BAD_HEADER},
      {"a flipped byte", flipped, VQERR_FILE_TYPE},
      {"cut short", m_archive.substr(0, m_archive.size() - 40), VQERR_FILE_TYPE},
      {"bytes behind the stream", m_archive + "trailing", VQERR_FILE_TYPE},
      {"inflates past its stated size", smaller, VQERR_FILE_TYPE},
      {"inflates short of its stated size", bigger, VQERR_FILE_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Inflate(c.bytes), c.error);
    EXPECT_FALSE(fs::exists(m_dir / "try.vqa"));
    EXPECT_FALSE(fs::exists(m_dir / "try.vqa.part"));
  }
  g_VQerror = 0;
  EXPECT_FALSE(VQarchive_Decompress((m_dir / "missing.car").c_str(), m_dir.c_str()));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
}

TEST_F(Archive, ToolMakesAnArchiveOfAFolder) {
  Write(m_dir / "car/Data/Cars/class_bonus.bin", std::string(1940, 'c'));
  Write(m_dir / "car/Data/Maps_low/bonus.tga", "image");
  std::string out;
  ASSERT_EQ(vqtest::RunTool("vqtool bonus-create car '" + (m_dir / "car").string() + "' '" +
                                (m_dir / "bonus2.car").string() + "'",
                            &out),
            0)
      << out;
  ASSERT_EQ(Inflate(Read(m_dir / "bonus2.car")), 0);
  VQPackageFile package;
  ASSERT_TRUE(package.Open((m_dir / "try.vqa").c_str()));
  ASSERT_EQ(package.GetCount(), 2u);
  std::string name;
  uint32_t size = 0;
  ASSERT_TRUE(package.GetEntry(0, &name, &size));
  EXPECT_EQ(name, "Data\\Cars\\class_bonus.bin");
  EXPECT_EQ(size, 1940u);
}

TEST_F(Archive, ToolRefusesWrongUse) {
  Write(m_dir / "car/Data/Cars/class_bonus.bin", "c");
  Write(m_dir / "notrack/Data/Tracks/readme.txt", "t");
  const std::string car = "'" + (m_dir / "car").string() + "'";
  struct Case {
    std::string args;
    int code;
  };
  const Case cases[] = {
      {"bonus-create car " + car, 2},
      {"bonus-create boat " + car + " '" + (m_dir / "x.car").string() + "'", 2},
      {"bonus-create car " + car + " '" + (m_dir / "x.trk").string() + "'", 2},
      {"bonus-create car " + car + " '" + (m_dir / "car/Data/Cars/class_bonus.bin").string() +
           ".car'",
       2},
      {"bonus-create track '" + (m_dir / "notrack").string() + "' '" + (m_dir / "x.trk").string() +
           "'",
       1},
      {"bonus-create car '" + (m_dir / "missing").string() + "' '" + (m_dir / "x.car").string() +
           "'",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_EQ(vqtest::RunTool("vqtool " + c.args, &out), c.code) << out;
  }
  EXPECT_FALSE(fs::exists(m_dir / "x.car"));
  EXPECT_FALSE(fs::exists(m_dir / "x.trk"));
  EXPECT_EQ(Read(m_dir / "car/Data/Cars/class_bonus.bin"), "c");
}
