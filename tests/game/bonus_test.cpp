// Bonus archives at start-up: a car and a track made by vqtool are installed and found by the
// content scan of the same start; damaged and doctored archives are logged and left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "QVX/shell/Program.h"
#include "tests/support/run_tool.h"
#include "Zentri/util/VQarchive.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char(v >> (8 * i));
}

class BonusInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("bonus_trees") / info->name());
    m_work = fs::absolute(fs::path("bonus_work") / info->name());
    fs::remove_all(m_dir);
    fs::remove_all(m_work);
    fs::create_directories(m_dir);
    fs::create_directories(m_work);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    m_old = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(m_old);
    if (!HasFailure()) {
      fs::remove_all(m_dir);
      fs::remove_all(m_work);
    }
  }
  // Makes an archive with vqtool from files of the game tree copied under new names.
  void MakeArchive(const char* kind, const std::vector<std::pair<std::string, std::string>>& files,
                   const std::string& out) {
    const fs::path folder = m_work / (std::string(kind) + "_files");
    for (const auto& [from, to] : files) {
      fs::create_directories((folder / to).parent_path());
      fs::copy_file(m_dir / from, folder / to);
    }
    std::string text;
    ASSERT_EQ(vqtest::RunTool("vqtool bonus-create " + std::string(kind) + " '" + folder.string() +
                                  "' '" + (m_dir / out).string() + "'",
                              &text),
              0)
        << text;
  }
  Program* Start() {
    fs::current_path(m_dir);
    ProgramOptions options;
    options.headless = true;
    auto* program = new Program(options);
    program->LoadLanguageStrings();
    EXPECT_TRUE(program->Initialize(0, nullptr)) << program->m_lastError;
    return program;
  }
  void Stop(Program* program) {
    program->Shutdown();
    delete program;
  }
  fs::path m_dir, m_work, m_old;
};

}  // namespace

TEST_F(BonusInstall, ACarAndATrackMadeByTheToolJoinTheContent) {
  MakeArchive("car", {{"Data/Cars/class_rookie.bin", "Data/Cars/class_bonusrod.bin"}},
              "bonusrod.car");
  MakeArchive("track",
              {{"Data/Tracks/menutrack_city.vqo", "Data/Tracks/menutrack_bonusring.vqo"},
               {"Data/class_AI_city.bin", "Data/class_AI_bonusring.bin"}},
              "bonusring.trk");
  std::ofstream(m_dir / "bonusrod.ok") << "an older install";
  Program* p = Start();
  EXPECT_EQ(p->m_classCount, 11u);
  EXPECT_NE(p->FindClassIndex("bonusrod"), PROGRAM_NOT_FOUND);
  bool track = false;
  for (uint32_t i = 0; i < p->m_trackCount; ++i)
    track |= std::string(p->m_tracks[i].name) == "bonusring";
  EXPECT_TRUE(track);
  Stop(p);
  // Installed archives are renamed so that the next start does not install them again; an
  // older ".ok" file is replaced.
  EXPECT_FALSE(fs::exists(m_dir / "bonusrod.car"));
  EXPECT_FALSE(fs::exists(m_dir / "bonusring.trk"));
  EXPECT_GT(fs::file_size(m_dir / "bonusrod.ok"), 16u);
  EXPECT_TRUE(fs::exists(m_dir / "bonusring.ok"));
  EXPECT_FALSE(fs::exists(m_dir / "bonusrod.vqa"));
  EXPECT_TRUE(fs::exists(m_dir / "Data/Cars/class_bonusrod.bin"));
  const std::string log = ReadText(m_dir / "qvxlog.txt");
  EXPECT_NE(log.find("Installed bonus car 'bonusrod'"), std::string::npos) << log;
  EXPECT_NE(log.find("Added track 'bonusring' (bonusring)"), std::string::npos);
}

TEST_F(BonusInstall, DamagedAndDoctoredArchivesInstallNothingAndKeepTheirNames) {
  std::ofstream(m_dir / "broken.car") << "VQBA this is not a compressed package";
  // A package whose second entry climbs out of the game folder, compressed properly.
  std::string package;
  PutU32(package, 2);
  for (const std::string name : {"Data\\first.txt", "..\\escaped.txt"}) {
    const std::string data = "payload";
    PutU32(package, uint32_t(8 + name.size() + 1 + data.size()));
    PutU32(package, uint32_t(data.size()));
    package += name;
    package += '\0';
    package += data;
  }
  std::ofstream(m_work / "evil.pkg", std::ios::binary) << package;
  ASSERT_TRUE(VQarchive_Compress((m_work / "evil.pkg").c_str(), (m_dir / "evil.trk").c_str()));
  Program* p = Start();
  EXPECT_EQ(p->m_classCount, 10u);
  Stop(p);
  EXPECT_TRUE(fs::exists(m_dir / "broken.car"));
  EXPECT_TRUE(fs::exists(m_dir / "evil.trk"));
  EXPECT_FALSE(fs::exists(m_dir / "Data/first.txt"));
  EXPECT_FALSE(fs::exists(m_dir.parent_path() / "escaped.txt"));
  EXPECT_FALSE(fs::exists(m_dir / "broken.vqa"));
  EXPECT_FALSE(fs::exists(m_dir / "evil.vqa"));
  const std::string log = ReadText(m_dir / "qvxlog.txt");
  EXPECT_NE(log.find("Cannot decompress bonus car archive 'broken.car'"), std::string::npos) << log;
  EXPECT_NE(
      log.find(
          "Bonus track archive 'evil.trk' has a damaged or unsafe entry 1 (nothing installed)"),
      std::string::npos);
  EXPECT_EQ(log.find("No new bonus"), std::string::npos) << "archives were found";
}
