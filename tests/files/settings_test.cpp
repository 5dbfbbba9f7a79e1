#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Zentri/util/VQSettingsFile.h"
#include "Zentri/util/VQerror.h"
#include "tests/files/test_helpers.h"

using files_test::ReadFile;
using files_test::WriteFile;
namespace fs = files_test::fs;

namespace {

void Parse(VQSettingsFile& s, const std::string& text) { s.LoadText(text.data(), text.size()); }

std::vector<std::string> Lines(const VQSettingsFile& s) {
  std::vector<std::string> out;
  for (auto* l = s.FirstLine(); l; l = l->NextLine()) out.push_back(l->m_text);
  return out;
}

const char kSkinEditor[] =
    "// layout of the editor\r\n"
    "@Screen800\r\n"
    "width = 640\r\n"
    "title= \"Paint\"\r\n"
    "flag = true\r\n"
    "off = false\r\n"
    "// two slashes: a comment\r\n";

class VQSettings : public files_test::TempDir {};

}  // namespace

TEST(VQSettingsParse, ReadsSectionsAndEveryValueKind) {
  VQSettingsFile s;
  Parse(s, kSkinEditor);
  int32_t width = 0;
  const char* title = nullptr;
  EXPECT_TRUE(s.GetInt("width", &width, "Screen800"));
  EXPECT_EQ(width, 640);
  EXPECT_TRUE(s.GetString("title", &title, "Screen800"));
  EXPECT_STREQ(title, "Paint");
  ASSERT_NE(s.Find("flag", "Screen800"), nullptr);
  EXPECT_EQ(s.Find("flag", "Screen800")->m_type, VQSETTINGS_BOOLEAN);
  EXPECT_EQ(s.Find("flag", "Screen800")->m_boolean, 1);
  EXPECT_EQ(s.Find("off", "Screen800")->m_boolean, 0);
  EXPECT_EQ(s.Find("two", "Screen800"), nullptr);  // the comment is no entry
  EXPECT_EQ(s.LineCount(), 7u);
  EXPECT_EQ(Lines(s).back(), "// two slashes: a comment");

  // Wrong types, sections and keys leave the out arguments alone.
  width = 5;
  EXPECT_FALSE(s.GetInt("title", &width, "Screen800"));
  EXPECT_FALSE(s.GetInt("width", &width, "screen800"));
  EXPECT_FALSE(s.GetInt("Width", &width, "Screen800"));
  EXPECT_FALSE(s.GetString("width", &title, "Screen800"));
  EXPECT_EQ(width, 5);
  EXPECT_STREQ(title, "Paint");
}

TEST(VQSettingsParse, EntryLines) {
  enum Kind { NONE = -2 };
  struct Case {
    const char* line;
    int kind;  // VQSettingsType, or NONE for no entry
    const char* key;
    double number;
    const char* text;
  } cases[] = {
      {"width = 3", VQSETTINGS_NUMBER, "width", 3, ""},
      {"  depth=3", VQSETTINGS_NUMBER, "depth", 3, ""},
      {"width\t= 3", NONE, "", 0, ""},
      {"width \t= 3", NONE, "", 0, ""},
      {"\twidth = 3", NONE, "", 0, ""},
      {"w1dth2 = -7.9", VQSETTINGS_NUMBER, "w1dth2", -7.9, ""},
      {"k = 1.5e2 cm", VQSETTINGS_NUMBER, "k", 150, ""},
      {"k = abc", VQSETTINGS_NUMBER, "k", 0, ""},
      {"k =", VQSETTINGS_NUMBER, "k", 0, ""},
      {"k == 3", VQSETTINGS_NUMBER, "k", 0, ""},
      {"k = \"a b\" trailing", VQSETTINGS_TEXT, "k", 0, "a b"},
      {"k = \"\"", VQSETTINGS_TEXT, "k", 0, ""},
      {"k = \"unterminated", NONE, "", 0, ""},
      {"k = trueish", VQSETTINGS_BOOLEAN, "k", 1, ""},
      {"k = falsey", VQSETTINGS_BOOLEAN, "k", 0, ""},
      {"k = tru", NONE, "", 0, ""},
      {"k = fa", NONE, "", 0, ""},
      {"k = True", VQSETTINGS_NUMBER, "k", 0, ""},
      {"k-1 = 3", NONE, "", 0, ""},
      {"= 3", NONE, "", 0, ""},
      {"k 3", NONE, "", 0, ""},
      {"k_x = 3", NONE, "", 0, ""},
  };
  for (const Case& c : cases) {
    VQSettingsFile s;
    Parse(s, std::string("@S\n") + c.line + "\n");
    const VQSettingsSection* section = s.FirstSection();
    ASSERT_NE(section, nullptr);
    const VQSettingsEntry* e = section->FirstEntry();
    if (c.kind == NONE) {
      EXPECT_EQ(e, nullptr) << c.line;
      continue;
    }
    ASSERT_NE(e, nullptr) << c.line;
    EXPECT_EQ(e->m_key, c.key) << c.line;
    EXPECT_EQ(int(e->m_type), c.kind) << c.line;
    if (c.kind == VQSETTINGS_NUMBER) {
      EXPECT_DOUBLE_EQ(e->m_number, c.number) << c.line;
    } else if (c.kind == VQSETTINGS_BOOLEAN) {
      EXPECT_EQ(e->m_boolean, int(c.number)) << c.line;
    } else {
      EXPECT_EQ(e->m_text, c.text) << c.line;
    }
  }
}

TEST(VQSettingsParse, SectionsLineEndsAndUnparsedLines) {
  VQSettingsFile s;
  // Entries before the first section stay unparsed; sections keep blanks in their names;
  // CR LF, LF and a lone CR all end lines.
  Parse(s, "early = 1\r@ Spaced Name \rk = 2\n@Second\r\nk = 3\r\n@ Spaced Name \nk = 4");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"early = 1", "@ Spaced Name ", "k = 2", "@Second", "k = 3",
                                                 "@ Spaced Name ", "k = 4"}));
  int32_t v = 0;
  EXPECT_TRUE(s.GetInt("k", &v, " Spaced Name "));
  EXPECT_EQ(v, 2);  // the first section of a name wins
  EXPECT_TRUE(s.GetInt("k", &v, "Second"));
  EXPECT_EQ(v, 3);
  EXPECT_EQ(s.Find("early", ""), nullptr);
}

TEST(VQSettingsParse, NumbersAreCutTowardZeroAndClamped) {
  VQSettingsFile s;
  Parse(s, "@S\nspeed = 12.75\nneg = -3.9\nhuge = 1e30\nbyte = 300\nnan = nan\n");
  struct Case {
    const char* key;
    int32_t value;
  } cases[] = {{"speed", 12}, {"neg", -3}, {"huge", INT32_MAX}, {"byte", 300}, {"nan", 0}};
  for (const Case& c : cases) {
    int32_t v = 77;
    EXPECT_TRUE(s.GetInt(c.key, &v, "S"));
    EXPECT_EQ(v, c.value) << c.key;
  }
  uint8_t b = 0;
  EXPECT_TRUE(s.GetByte("speed", &b, "S"));
  EXPECT_EQ(b, 12);
  EXPECT_TRUE(s.GetByte("byte", &b, "S"));
  EXPECT_EQ(b, uint8_t(300));
}

TEST(VQSettingsParse, OverlongLinesAreKeptWholeAndNotParsed) {
  const std::string longComment(VQSETTINGS_MAX_LINE + 500, '#');
  const std::string longEntry = "long = \"" + std::string(VQSETTINGS_MAX_LINE, 'x') + "\"";
  const std::string fits = "fits = \"" + std::string(VQSETTINGS_MAX_LINE - 9, 'y') + "\"";
  ASSERT_EQ(fits.size(), VQSETTINGS_MAX_LINE);
  VQSettingsFile s;
  Parse(s, "@S\n" + longComment + "\n" + longEntry + "\r\n" + fits + "\n");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"@S", longComment, longEntry, fits}));
  EXPECT_EQ(s.Find("long", "S"), nullptr);
  EXPECT_NE(s.Find("fits", "S"), nullptr);
  EXPECT_EQ(s.ToText(), "@S\n" + longComment + "\n" + longEntry + "\n" + fits + "\n");
}

TEST(VQSettingsEdit, SetNumberRewritesTheLineInNormalForm) {
  VQSettingsFile s;
  Parse(s, "@S\nspeed = 12.75\n  depth=3\ngamma = 1.23456789 // tuned\n");
  EXPECT_TRUE(s.SetNumber("speed", 13, "S"));
  EXPECT_TRUE(s.SetNumber("depth", 3, "S"));
  // Lines nobody changed keep their spelling and precision.
  EXPECT_EQ(s.ToText(), "@S\nspeed = 13.\ndepth = 3.\ngamma = 1.23456789 // tuned\n");
}

// Booleans have no setter: callers change them through the entry that Find returns, and the
// save must write that change, while lines whose values still match stay as they were read.
TEST(VQSettingsEdit, ValuesChangedThroughFindAreSaved) {
  VQSettingsFile s;
  Parse(s, "@S\nflag=true // on\noff = false\ntitle = \"Paint\"\nn = 2.50\nx = nan // odd\n");
  VQSettingsEntry* flag = s.Find("flag", "S");
  ASSERT_NE(flag, nullptr);
  flag->m_boolean = 0;
  s.Find("title", "S")->m_text = "Draw";
  s.Find("n", "S")->m_number = 7;
  s.Find("off", "S")->m_boolean = 0;  // the same value: the line stays
  EXPECT_EQ(s.ToText(), "@S\nflag = false\noff = false\ntitle = \"Draw\"\nn = 7.\nx = nan // odd\n");
}

TEST(VQSettingsEdit, WholeNumbersKeepAllTheirDigits) {
  VQSettingsFile s;
  for (int32_t v : {0, -1, 12345, 16777217, INT32_MIN, INT32_MAX}) {
    ASSERT_TRUE(s.SetNumber("v", v, "S"));
    std::string text = s.ToText();
    VQSettingsFile back;
    Parse(back, text);
    int32_t got = 0;
    ASSERT_TRUE(back.GetInt("v", &got, "S")) << text;
    EXPECT_EQ(got, v) << text;
  }
}

TEST(VQSettingsEdit, TypeClashesChangeNothing) {
  VQSettingsFile s;
  Parse(s, kSkinEditor);
  const std::string before = s.ToText();
  EXPECT_FALSE(s.SetString("width", "x", "Screen800"));
  EXPECT_FALSE(s.SetNumber("title", 1, "Screen800"));
  EXPECT_FALSE(s.SetNumber("flag", 1, "Screen800"));
  EXPECT_FALSE(s.SetString("off", "x", "Screen800"));
  EXPECT_EQ(s.ToText(), before);
}

TEST(VQSettingsEdit, ValuesThatCannotBeWrittenBackAreRefused) {
  VQSettingsFile s;
  Parse(s, kSkinEditor);
  const std::string before = s.ToText();
  EXPECT_FALSE(s.SetString("title", "say \"hi\"", "Screen800"));
  EXPECT_FALSE(s.SetString("title", "two\nlines", "Screen800"));
  EXPECT_FALSE(s.SetString("title", std::string(VQSETTINGS_MAX_LINE, 'x').c_str(), "Screen800"));
  EXPECT_FALSE(s.SetNumber("bad key", 1, "Screen800"));
  EXPECT_FALSE(s.SetNumber("", 1, "Screen800"));
  EXPECT_FALSE(s.SetNumber("k", 1, "two\nlines"));
  EXPECT_FALSE(s.SetNumber("k", 1, nullptr));
  EXPECT_EQ(s.ToText(), before);
  EXPECT_TRUE(s.SetString("title", "", "Screen800"));
}

TEST(VQSettingsEdit, NewSectionsGoToTheEndAndNewKeysRightAfterTheHeader) {
  VQSettingsFile s;
  Parse(s, kSkinEditor);
  EXPECT_TRUE(s.SetNumber("x", 1, "Screen1024"));
  EXPECT_TRUE(s.SetString("name", "Blue", "Screen1024"));
  EXPECT_TRUE(s.SetNumber("height", 480, "Screen800"));
  VQSettingsEntry* pending = s.FindOrAdd("later", "Screen1024");  // no value: an empty line
  ASSERT_NE(pending, nullptr);
  EXPECT_EQ(pending->m_type, VQSETTINGS_NONE);
  EXPECT_EQ(s.FindOrAdd("later", "Screen1024"), pending);
  EXPECT_EQ(s.ToText(),
            "// layout of the editor\n"
            "@Screen800\n"
            "height = 480.\n"
            "width = 640\n"
            "title= \"Paint\"\n"
            "flag = true\n"
            "off = false\n"
            "// two slashes: a comment\n"
            "\n"
            "@Screen1024\n"
            "\n"
            "name = \"Blue\"\n"
            "x = 1.\n");
}

TEST_F(VQSettings, ReadChangeSaveAndReadAgain) {
  WriteFile(Path("SkinEditor.ini"), kSkinEditor);
  VQSettingsFile s;
  ASSERT_TRUE(s.Load(Path("SkinEditor.ini").c_str()));
  ASSERT_TRUE(s.SetNumber("width", 800, "Screen800"));
  ASSERT_TRUE(s.SetString("title", "Paint Shop", "Screen800"));
  ASSERT_TRUE(s.SetNumber("brush", 4, "Tools"));
  ASSERT_TRUE(s.Save(nullptr));  // the file's own name
  EXPECT_EQ(ReadFile(Path("SkinEditor.ini")),
            "// layout of the editor\n"
            "@Screen800\n"
            "width = 800.\n"
            "title = \"Paint Shop\"\n"
            "flag = true\n"
            "off = false\n"
            "// two slashes: a comment\n"
            "\n"
            "@Tools\n"
            "brush = 4.\n");

  VQSettingsFile again;
  ASSERT_TRUE(again.Load(Path("SkinEditor.ini").c_str()));
  int32_t v = 0;
  const char* text = nullptr;
  EXPECT_TRUE(again.GetInt("width", &v, "Screen800"));
  EXPECT_EQ(v, 800);
  EXPECT_TRUE(again.GetString("title", &text, "Screen800"));
  EXPECT_STREQ(text, "Paint Shop");
  EXPECT_TRUE(again.GetInt("brush", &v, "Tools"));
  EXPECT_EQ(v, 4);
  EXPECT_EQ(again.Find("flag", "Screen800")->m_boolean, 1);
  // Saving unchanged gives the same bytes.
  ASSERT_TRUE(again.Save(Path("copy.ini").c_str()));
  EXPECT_EQ(ReadFile(Path("copy.ini")), ReadFile(Path("SkinEditor.ini")));
}

TEST_F(VQSettings, BackslashPathInAnyCase) {
  WriteFile(Path("Data/Menu/Layout.INI"), "@A\nk = 1\n");
  VQSettingsFile s;
  ASSERT_TRUE(s.Load((Path("data") + "\\menu\\layout.ini").c_str()));
  int32_t v = 0;
  EXPECT_TRUE(s.GetInt("k", &v, "A"));
  EXPECT_TRUE(s.SetNumber("k", 2, "A"));
  ASSERT_TRUE(s.Save(""));
  EXPECT_EQ(ReadFile(Path("Data/Menu/Layout.INI")), "@A\nk = 2.\n");
}

TEST_F(VQSettings, FolderInPlaceOfTheFileFails) {
  fs::create_directories(Path("SkinEditor.ini"));
  VQSettingsFile s;
  EXPECT_FALSE(s.Load(Path("SkinEditor.ini").c_str()));
  EXPECT_EQ(s.LineCount(), 0u);
  EXPECT_TRUE(fs::is_directory(Path("SkinEditor.ini")));
}

TEST_F(VQSettings, MissingFileIsCreatedEmptyAndEmptyFilesFail) {
  VQSettingsFile s;
  EXPECT_FALSE(s.Load(Path("new.ini").c_str()));
  EXPECT_TRUE(fs::exists(Path("new.ini")));
  EXPECT_EQ(fs::file_size(Path("new.ini")), 0u);
  EXPECT_FALSE(s.Load(Path("new.ini").c_str()));
  // The table is usable and saves to the name given.
  ASSERT_TRUE(s.SetNumber("k", 5, "S"));
  ASSERT_TRUE(s.Save(nullptr));
  EXPECT_EQ(ReadFile(Path("new.ini")), "\n@S\nk = 5.\n");
}

TEST_F(VQSettings, FailedSavesReportFailureAndKeepTheOldFile) {
  VQSettingsFile s;
  Parse(s, "@S\nk = 1\n");
  g_VQerror = 0;
  EXPECT_FALSE(s.Save(Path("no/such/dir/x.ini").c_str()));
  EXPECT_EQ(g_VQerror, VQERR_CREATE_OUTPUT);
  EXPECT_FALSE(s.Save(nullptr));  // no name known

  WriteFile(Path("x.ini"), "@S\nk = 1\n");
  ASSERT_TRUE(s.SetString("big", std::string(4000, 'b').c_str(), "S"));
  {
    files_test::FileSizeLimit limit(1024);
    EXPECT_FALSE(s.Save(Path("x.ini").c_str()));
  }
  EXPECT_EQ(ReadFile(Path("x.ini")), "@S\nk = 1\n");
  EXPECT_FALSE(fs::exists(Path("x.ini.vqtmp")));
}

namespace {

struct Node : VQListItem {
  explicit Node(int v, int* deleted) : value(v), deleted(deleted) {}
  ~Node() override { ++*deleted; }
  int value;
  int* deleted;
};

std::vector<int> Values(const VQList& list) {
  std::vector<int> out;
  for (VQListItem* n = list.First(); n; n = n->Next()) out.push_back(static_cast<Node*>(n)->value);
  std::vector<int> back;
  for (VQListItem* n = list.Last(); n; n = n->Prev()) back.insert(back.begin(), static_cast<Node*>(n)->value);
  EXPECT_EQ(out, back) << "links both ways agree";
  EXPECT_EQ(out.size(), list.Count());
  return out;
}

}  // namespace

TEST(VQListOps, AppendPrependInsertRemoveAndDelete) {
  int deleted = 0;
  {
    VQList list;
    auto* two = new Node(2, &deleted);
    list.Append(two);
    list.Prepend(new Node(1, &deleted));
    list.Append(new Node(4, &deleted));
    list.InsertAfter(two, new Node(3, &deleted));
    list.InsertAfter(nullptr, new Node(0, &deleted));
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 2, 3, 4}));
    list.Remove(two);
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 3, 4}));
    delete two;
    EXPECT_EQ(deleted, 1);
    list.InsertAfter(list.Last(), new Node(5, &deleted));
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 3, 4, 5}));
  }
  EXPECT_EQ(deleted, 6);  // the list deletes what it still holds
}
