// Skin files: the typed name checked before it becomes a file name, the description text, and
// a saved pair read back by the content loader into the class's skin list.
#include <fstream>
#include <sstream>

#include "QVX/race/Player.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "QVX/SkinEditor/SkinFiles.h"
#include "tests/skineditor/skin_support.h"

namespace skin_test {
namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SkinNames, TypedNamesAreCheckedBeforeTheyBecomeFileNames) {
  struct Case {
    const char* typed;
    bool ok;
    const char* clean;
  };
  const Case cases[] = {
      {"Fire", true, "Fire"},
      {"  Red Fire  ", true, "Red Fire"},
      {"abcdefghijklmnopqrstuvwxyz0123456789", true, "abcdefghijklmnopqrstuvwxyz01"},
      {"", false, ""},
      {"   ", false, ""},
      {nullptr, false, ""},
      {"..", false, ""},
      {"..\\..\\Config", false, ""},
      {"a/b", false, ""},
      {"a\\b", false, ""},
      {"v1.2", false, ""},
      {"what?", false, ""},
      {"c:x", false, ""},
      {"a*b", false, ""},
      {"tab\there", false, ""},
      {"\"q\"", false, ""},
  };
  for (const Case& c : cases) {
    std::string clean, reason;
    EXPECT_EQ(SkinFiles_CheckName(c.typed, &clean, &reason), c.ok)
        << (c.typed ? c.typed : "(null)");
    if (c.ok)
      EXPECT_EQ(clean, c.clean);
    else
      EXPECT_FALSE(reason.empty());
  }
}

TEST(SkinNames, DescriptionHasFiveLinesInOrder) {
  EXPECT_EQ(
      SkinFiles_Description("Anna", true, "rim7"),
      "Author = Anna\nVersion = 1.0\nComment = Created with the Quorvex skin editor\nNumbers = on\n"
      "Wheels = rim7.tga\n");
  EXPECT_NE(SkinFiles_Description("", false, "").find("Numbers = off\nWheels = .tga\n"),
            std::string::npos);
  EXPECT_EQ(SkinFiles_BaseName("junior_std", "Fire"), "MS junior_std Fire");
}

class SkinSave : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    m_old = fs::current_path();
    fs::current_path(m_dir);
    m_program = new Program();
    m_program->m_options.headless = true;
    for (const char* name : {"junior_std", "monster"}) {
      auto* cls = new RacingClass();
      std::snprintf(cls->m_name, sizeof cls->m_name, "%s", name);
      m_program->m_classes[m_program->m_classCount++] = cls;
    }
    auto* player = new Player();
    std::snprintf(player->m_name, sizeof player->m_name, "Anna");
    m_program->m_players[m_program->m_playerCount++] = player;
  }
  void TearDown() override {
    delete m_program;
    delete g_gameLog;
    g_gameLog = nullptr;
    fs::current_path(m_old);
    SkinFixture::TearDown();
  }
  SkinEditorResult Result() {
    SkinEditorResult r;
    r.texture = Solid(256, 256, {10, 20, 30, 255});
    r.wheelTexture = "rim7.tga";
    r.showNumbers = false;
    return r;
  }
  fs::path m_old;
  Program* m_program = nullptr;
};

TEST_F(SkinSave, SavedPairIsListedForItsClassAtTheNextScan) {
  SkinEditorResult result = Result();
  std::string reason;
  ASSERT_TRUE(SkinFiles_Save(m_program, 0, "Fire", &result, &reason)) << reason;
  EXPECT_EQ(result.texture, nullptr);  // released once saved
  const fs::path folder = m_dir / "Data" / "Maps_cars" / "Myskins";
  EXPECT_EQ(ReadText(folder / "MS junior_std Fire.txt"),
            "Author = Anna\nVersion = 1.0\nComment = Created with the Quorvex skin editor\nNumbers "
            "= off\n"
            "Wheels = rim7.tga\n");
  ASSERT_TRUE(fs::exists(folder / "MS junior_std Fire.tga"));
  RacingClass* cls = m_program->m_classes[0];
  ASSERT_EQ(cls->m_skins.size(), 1u);
  EXPECT_STREQ(cls->m_skins[0]->name, "Fire");
  EXPECT_EQ(cls->m_skins[0]->wheels, "rim7");
  EXPECT_EQ(m_program->m_players[0]->m_profile.normal_color, 0);

  // The next start: a fresh class table scans the player skins folder.
  for (Skin* s : cls->m_skins) delete s;
  cls->m_skins.clear();
  char path[DATAPATH_MAX_PATH];
  ASSERT_TRUE(GetDataFolderPath(path, DATAFOLDER_MY_SKINS));
  m_program->LoadSkins(path);
  ASSERT_EQ(cls->m_skins.size(), 1u);
  EXPECT_STREQ(cls->m_skins[0]->name, "Fire");
  EXPECT_EQ(cls->m_skins[0]->author, "Anna");
  EXPECT_EQ(cls->m_skins[0]->comment, "Created with the Quorvex skin editor");
  EXPECT_FALSE(cls->m_skins[0]->numbers);
  EXPECT_TRUE(m_program->m_classes[1]->m_skins.empty());
}

// The next race's car takes the saved skin as its paint, read back from the saved image.
TEST_F(SkinSave, SavedSkinBecomesTheCarPaint) {
  SkinEditorResult result = Result();
  std::string reason;
  ASSERT_TRUE(SkinFiles_Save(m_program, 0, "Fire", &result, &reason)) << reason;
  m_program->m_textureManager = m_textures;
  m_program->m_softwareDevice = &m_device;
  const int32_t chosen = m_program->m_players[0]->m_profile.normal_color;
  VQTexture* paint = m_program->MakeRaceCarPaint(0, uint32_t(chosen), 7);
  // No skin of that index, or an image that is gone: no paint.
  EXPECT_EQ(m_program->MakeRaceCarPaint(0, 5, 7), nullptr);
  EXPECT_EQ(m_program->MakeCarPaint("Data\\Maps_cars\\Myskins\\gone.tga", 7, 0, true), nullptr);
  m_program->m_textureManager = nullptr;
  m_program->m_softwareDevice = nullptr;
  ASSERT_NE(paint, nullptr);
  EXPECT_EQ(paint->m_width, 256u);
  for (uint32_t x : {0u, 100u, 255u}) EXPECT_EQ(At(paint, x, x), (Px{10, 20, 30, 255})) << x;
  m_textures->Release(paint);
}

TEST_F(SkinSave, RefusedNamesWriteNothingAndKeepTheTexture) {
  for (const char* bad : {"..\\..\\Config", "a/b", "", "x.y"}) {
    SkinEditorResult result = Result();
    std::string reason;
    EXPECT_FALSE(SkinFiles_Save(m_program, 0, bad, &result, &reason)) << bad;
    EXPECT_NE(result.texture, nullptr);
    result.Release();
  }
  EXPECT_FALSE(fs::exists(m_dir / "Data" / "Maps_cars" / "Myskins" / "MS junior_std .txt"));
  EXPECT_FALSE(fs::exists(m_dir / "Config.txt"));
  EXPECT_TRUE(m_program->m_classes[0]->m_skins.empty());
}

TEST_F(SkinSave, LongNamesAreCutSoThatTheLoaderReadsThemBack) {
  SkinEditorResult result = Result();
  std::string reason;
  ASSERT_TRUE(
      SkinFiles_Save(m_program, 1, "abcdefghijklmnopqrstuvwxyz0123456789", &result, &reason))
      << reason;
  for (Skin* s : m_program->m_classes[1]->m_skins) delete s;
  m_program->m_classes[1]->m_skins.clear();
  char path[DATAPATH_MAX_PATH];
  ASSERT_TRUE(GetDataFolderPath(path, DATAFOLDER_MY_SKINS));
  m_program->LoadSkins(path);
  ASSERT_EQ(m_program->m_classes[1]->m_skins.size(), 1u);
  // "monster", a blank, 20 letters and the "." fill the 29 characters the loader reads.
  EXPECT_STREQ(m_program->m_classes[1]->m_skins[0]->name, "abcdefghijklmnopqrst");
  EXPECT_EQ(SkinFiles_NameLimit("junior_std"), 17u);
  EXPECT_EQ(SkinFiles_NameLimit(""), 27u);
  EXPECT_EQ(SkinFiles_NameLimit("abcdefghijklmnopqrstuvwxyz0"), 0u);
}

TEST_F(SkinSave, AFullClassGetsBothFilesButNoNewEntry) {
  RacingClass* cls = m_program->m_classes[0];
  for (uint32_t i = 0; i < CLASS_MAX_SKINS; ++i) cls->m_skins.push_back(new Skin());
  SkinEditorResult result = Result();
  std::string reason;
  EXPECT_TRUE(SkinFiles_Save(m_program, 0, "Extra", &result, &reason));
  EXPECT_EQ(cls->m_skins.size(), CLASS_MAX_SKINS);
  EXPECT_TRUE(fs::exists(m_dir / "Data" / "Maps_cars" / "Myskins" / "MS junior_std Extra.tga"));
}

TEST_F(SkinSave, WithoutTextureOrClassNothingIsWritten) {
  SkinEditorResult empty;
  std::string reason;
  EXPECT_FALSE(SkinFiles_Save(m_program, 0, "Fire", &empty, &reason));
  SkinEditorResult result = Result();
  EXPECT_FALSE(SkinFiles_Save(m_program, 7, "Fire", &result, &reason));
  result.Release();
  EXPECT_FALSE(fs::exists(m_dir / "Data" / "Maps_cars" / "Myskins" / "MS junior_std Fire.txt"));
}

}  // namespace
}  // namespace skin_test
