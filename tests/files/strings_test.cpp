#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQscramble.h"
#include "tests/files/test_helpers.h"

using files_test::PutU32;
using files_test::ReadFile;
using files_test::WriteFile;

namespace {

struct Entry {
  std::string key;
  int32_t id;
  std::string text;
};

std::vector<Entry> Entries(const VQStrings& t) {
  std::vector<Entry> out;
  for (uint32_t i = 0; i < t.GetCount(); ++i) out.push_back({t.GetKey(i), t.GetId(i), t.GetText(i)});
  return out;
}

bool operator==(const Entry& a, const Entry& b) { return a.key == b.key && a.id == b.id && a.text == b.text; }

void PrintTo(const Entry& e, std::ostream* os) { *os << "(" << e.key << ", " << e.id << ", \"" << e.text << "\")"; }

// The binary form as stored: plain bytes, then scrambled with the built-in key.
std::string Scrambled(std::string plain) {
  VQscramble_Builtin(plain.data(), plain.size());
  return plain;
}

std::string BinaryEntry(uint32_t id, const std::string& key, const std::string& text) {
  std::string out;
  PutU32(out, id);
  out += key;
  out.push_back('\0');
  out += text;
  out.push_back('\0');
  return out;
}

std::string TextTable(int n, int firstId = 0) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "<k" + std::to_string(i) + ":" + std::to_string(firstId + i) + "> t\n";
  return out;
}

const char kSample[] = "<a>\nHello\n\n<b:7>  Two\\nlines\n";

}  // namespace

TEST(VQStringsText, ReadsTagsIdentifiersAndEscapes) {
  VQStrings t;
  ASSERT_TRUE(t.LoadText(kSample, std::strlen(kSample), false));
  EXPECT_EQ(Entries(t), (std::vector<Entry>{{"a", -1, "Hello"}, {"b", 7, "Two\nlines"}}));
}

TEST(VQStringsText, CrLfLineEndsReadAsLf) {
  const std::string crlf = "<a>\r\nHello\r\n\r\n<b:7>  Two\\nlines\r\n<c> x\ty\r\n";
  VQStrings t;
  ASSERT_TRUE(t.LoadText(crlf.data(), crlf.size(), false));
  EXPECT_EQ(Entries(t), (std::vector<Entry>{{"a", -1, "Hello"}, {"b", 7, "Two\nlines"}, {"c", -1, "x\ty"}}));
}

TEST(VQStringsText, TagIdentifiers) {
  struct Case {
    const char* tag;
    const char* key;
    int32_t id;
  } cases[] = {
      {"<c:>", "c", 0},
      {"<d:12abc>", "d", 12},
      {"<e:-3>", "e", -3},
      {"<f:99999999999>", "f", INT32_MAX},
      {"<g:1:2>", "g", 1},
      {"<>", "", -1},
      {"<h>>", "h>", -1},
      {"< spaced>", "spaced", -1},  // white space after "<" is skipped like before a word
  };
  for (const Case& c : cases) {
    std::string text = std::string(c.tag) + " body\n";
    VQStrings t;
    ASSERT_TRUE(t.LoadText(text.data(), text.size(), false)) << c.tag;
    ASSERT_EQ(t.GetCount(), 1u) << c.tag;
    EXPECT_STREQ(t.GetKey(0), c.key) << c.tag;
    EXPECT_EQ(t.GetId(0), c.id) << c.tag;
    EXPECT_STREQ(t.GetText(0), "body") << c.tag;
  }
}

TEST(VQStringsText, TextRules) {
  struct Case {
    const char* file;
    const char* text;
  } cases[] = {
      {"<k>   \t\n\n  indented\n", "indented"},           // white space after the tag skipped
      {"<k> trailing blanks  \n\n\n", "trailing blanks  "},  // newlines at the end go, blanks stay
      {"<k> a\\x\\\\n", "a\\x\\\n"},                         // only \n and \t are escapes
      {"<k> one\ntwo\n", "one\ntwo"},                        // real newlines inside are kept
      {"<k> lone\rcr\n", "lone\rcr"},                        // a lone CR is an ordinary character
      {"<k>\n<l> next", ""},                                 // an empty text
      {"<k>", ""},                                           // the tag at the very end
  };
  for (const Case& c : cases) {
    VQStrings t;
    ASSERT_TRUE(t.LoadText(c.file, std::strlen(c.file), false)) << c.file;
    ASSERT_GE(t.GetCount(), 1u) << c.file;
    EXPECT_STREQ(t.GetText(0), c.text) << c.file;
  }
}

TEST(VQStringsText, EmptyAndBlankFilesAreEmptyTables) {
  for (const char* file : {"", "   \n\r\n", "<", "<  \n"}) {
    VQStrings t;
    g_VQerror = 0;
    EXPECT_TRUE(t.LoadText(file, std::strlen(file), false)) << '"' << file << '"';
    EXPECT_EQ(t.GetCount(), 0u);
    EXPECT_EQ(g_VQerror, 0);
  }
}

TEST(VQStringsText, DamagedFilesFailWithFormatError) {
  const std::string longKey = "<" + std::string(VQSTRINGS_MAX_TEXT + 1, 'k') + "> x";
  const std::string longText = "<a> ok\n<k> " + std::string(VQSTRINGS_MAX_TEXT, 'x');
  struct Case {
    std::string file;
    uint32_t keptEntries;
  } cases[] = {
      {"not a tag", 0},
      {"\xef\xbb\xbf<a> x", 0},
      {longKey, 0},
      {longText, 1},
  };
  for (const Case& c : cases) {
    VQStrings t;
    g_VQerror = 0;
    EXPECT_FALSE(t.LoadText(c.file.data(), c.file.size(), false)) << c.file.substr(0, 20);
    EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE);
    EXPECT_EQ(t.GetCount(), c.keptEntries);
  }
}

TEST(VQStringsText, LongestKeyAndTextFit) {
  const std::string key(VQSTRINGS_MAX_TEXT, 'k');
  const std::string text(VQSTRINGS_MAX_TEXT - 1, 'x');
  const std::string file = "<" + key + "> " + text;
  VQStrings t;
  ASSERT_TRUE(t.LoadText(file.data(), file.size(), false));
  EXPECT_EQ(t.GetByKey(key.c_str()), text);
}

TEST(VQStringsLookup, MissingEntriesGiveTheSharedEmptyString) {
  VQStrings t;
  ASSERT_TRUE(t.LoadText(kSample, std::strlen(kSample), false));
  EXPECT_STREQ(t.GetById(7), "Two\nlines");
  EXPECT_STREQ(t.GetByKey("a"), "Hello");
  const char* empty = t.GetById(-1);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  EXPECT_EQ(t.GetByKey("A"), empty);  // case matters
  EXPECT_EQ(t.GetById(8), empty);
  EXPECT_EQ(t.GetByKey(nullptr), empty);
  EXPECT_EQ(t.GetText(99), empty);
  VQStrings none;
  EXPECT_EQ(none.GetById(0), empty);
}

TEST(VQStringsLookup, FirstMatchWins) {
  const char file[] = "<x:1> first\n<x:1> second\n<y:-1> minus\n";
  VQStrings t;
  ASSERT_TRUE(t.LoadText(file, std::strlen(file), false));
  EXPECT_STREQ(t.GetByKey("x"), "first");
  EXPECT_STREQ(t.GetById(1), "first");
  EXPECT_STREQ(t.GetById(-1), "");  // an entry written with -1 still has no identifier
}

class VQStringsFiles : public files_test::TempDir {};

TEST_F(VQStringsFiles, TextToBinaryToLookupsRoundTrip) {
  const std::string text = "<title:1204> Quorvex\n<menu.quit:3> Quit\\tnow\n<help> Line one\\nLine two  \n";
  WriteFile(Path("lang.txt"), text);
  VQStrings source;
  ASSERT_TRUE(source.Load(Path("lang.txt").c_str(), false, false));
  ASSERT_TRUE(source.SaveBinary(Path("lang.bin").c_str()));

  const std::string stored = ReadFile(Path("lang.bin"));
  EXPECT_EQ(stored.find("Quorvex"), std::string::npos) << "the binary form is scrambled";

  VQStrings game;
  ASSERT_TRUE(game.Load(Path("lang.bin").c_str(), false, true));
  EXPECT_EQ(Entries(game), Entries(source));
  EXPECT_STREQ(game.GetById(1204), "Quorvex");
  EXPECT_STREQ(game.GetById(3), "Quit\tnow");
  EXPECT_STREQ(game.GetByKey("help"), "Line one\nLine two  ");
}

TEST_F(VQStringsFiles, BackslashPathsInAnyCaseAreFound) {
  WriteFile(Path("Data/Languages/English.txt"), kSample);
  VQStrings t;
  const std::string path = Path("data") + "\\LANGUAGES\\english.TXT";
  ASSERT_TRUE(t.Load(path.c_str(), false, false));
  EXPECT_EQ(t.GetCount(), 2u);
}

TEST_F(VQStringsFiles, FullTableInBothForms) {
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    VQStrings source;
    ASSERT_TRUE(source.LoadText(TextTable(500).data(), TextTable(500).size(), false));
    std::string full = TextTable(500), over = TextTable(501);
    if (binary) {
      full = source.ToBinary();
      std::string plain;
      PutU32(plain, 501);
      for (int i = 0; i < 501; ++i) plain += BinaryEntry(uint32_t(i), "k" + std::to_string(i), "t");
      over = Scrambled(plain);
    }
    WriteFile(Path("full"), full);
    WriteFile(Path("over"), over);

    VQStrings t;
    EXPECT_TRUE(t.Load(Path("full").c_str(), false, binary));
    EXPECT_EQ(t.GetCount(), 500u);
    g_VQerror = 0;
    EXPECT_FALSE(t.Load(Path("over").c_str(), false, binary));
    EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_STRINGS);
    EXPECT_EQ(t.GetCount(), 500u);
    EXPECT_STREQ(t.GetById(499), "t");
    EXPECT_STREQ(t.GetById(500), "");
  }
}

TEST_F(VQStringsFiles, AppendAddsAfterExistingEntriesInBothForms) {
  const char more[] = "<m:10> ten\n<n:11> eleven\n";
  VQStrings more_table;
  ASSERT_TRUE(more_table.LoadText(more, std::strlen(more), false));
  WriteFile(Path("more.txt"), more);
  WriteFile(Path("more.bin"), more_table.ToBinary());
  for (bool binary : {false, true}) {
    VQStrings t;
    ASSERT_TRUE(t.LoadText("<a> 1\n<b> 2\n<c> 3\n", 18, false));
    ASSERT_TRUE(t.Load(Path(binary ? "more.bin" : "more.txt").c_str(), true, binary));
    ASSERT_EQ(t.GetCount(), 5u);
    EXPECT_STREQ(t.GetKey(2), "c");
    EXPECT_STREQ(t.GetKey(3), "m");
    EXPECT_STREQ(t.GetText(4), "eleven");
    // Without append the table starts over.
    ASSERT_TRUE(t.Load(Path(binary ? "more.bin" : "more.txt").c_str(), false, binary));
    EXPECT_EQ(t.GetCount(), 2u);
  }
}

TEST(VQStringsBinary, ZeroCountIsAnEmptyTable) {
  std::string plain;
  PutU32(plain, 0);
  const std::string file = Scrambled(plain);
  VQStrings t;
  EXPECT_TRUE(t.LoadBinary(reinterpret_cast<const uint8_t*>(file.data()), file.size(), false));
  EXPECT_EQ(t.GetCount(), 0u);
}

TEST(VQStringsBinary, IdentifierAllOnesMeansNone) {
  std::string plain;
  PutU32(plain, 2);
  plain += BinaryEntry(0xffffffffu, "none", "x") + BinaryEntry(5, "five", "y");
  const std::string file = Scrambled(plain);
  VQStrings t;
  ASSERT_TRUE(t.LoadBinary(reinterpret_cast<const uint8_t*>(file.data()), file.size(), false));
  EXPECT_EQ(t.GetId(0), -1);
  EXPECT_STREQ(t.GetById(5), "y");
}

TEST(VQStringsBinary, DamagedFilesAddNothing) {
  std::string good = BinaryEntry(1, "key", "text");
  auto with_count = [](uint32_t count, const std::string& body) {
    std::string s;
    PutU32(s, count);
    return s + body;
  };
  struct Case {
    const char* what;
    std::string plain;
  } cases[] = {
      {"empty file", ""},
      {"short count", std::string("\x01\x00", 2)},
      {"count past the end", with_count(2, good)},
      {"huge count", with_count(0xffffffffu, good)},
      {"identifier cut off", with_count(1, std::string("\x01\x00", 2))},
      {"key without terminator", with_count(1, good.substr(0, 6))},
      {"text without terminator", with_count(1, good.substr(0, good.size() - 1))},
  };
  for (const Case& c : cases) {
    VQStrings t;
    ASSERT_TRUE(t.LoadText("<keep:1> kept", 13, false));
    const std::string file = Scrambled(c.plain);
    g_VQerror = 0;
    EXPECT_FALSE(t.LoadBinary(reinterpret_cast<const uint8_t*>(file.data()), file.size(), false)) << c.what;
    EXPECT_EQ(g_VQerror, VQERR_FILE_TYPE) << c.what;
    ASSERT_EQ(t.GetCount(), 1u) << c.what;
    EXPECT_STREQ(t.GetById(1), "kept") << c.what;
  }
}

TEST_F(VQStringsFiles, MissingFilesFailWithTheirCodes) {
  VQStrings t;
  g_VQerror = 0;
  EXPECT_FALSE(t.Load(Path("nothere.bin").c_str(), false, true));
  EXPECT_EQ(g_VQerror, VQERR_FILE_ACCESS);
  g_VQerror = 0;
  EXPECT_FALSE(t.Load(Path("nothere.txt").c_str(), false, false));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
}

TEST_F(VQStringsFiles, BinaryFileThatCannotBeOpenedFailsWith24) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not hold back the superuser";
  WriteFile(Path("locked.bin"), "data");
  files_test::fs::permissions(Path("locked.bin"), files_test::fs::perms::none);
  VQStrings t;
  g_VQerror = 0;
  EXPECT_FALSE(t.Load(Path("locked.bin").c_str(), false, true));
  EXPECT_EQ(g_VQerror, VQERR_OPEN_INPUT);
}

// A folder where a file is expected: the readers fail with an error code instead of trusting
// the size the system reports for it (on some file systems the largest file offset).
TEST_F(VQStringsFiles, FolderInPlaceOfAFileFails) {
  files_test::fs::create_directories(Path("lang"));
  for (bool binary : {false, true}) {
    VQStrings t;
    ASSERT_TRUE(t.LoadText("<keep> kept", 11, false));
    g_VQerror = 0;
    EXPECT_FALSE(t.Load(Path("lang").c_str(), true, binary)) << binary;
    EXPECT_NE(g_VQerror, 0);
    EXPECT_EQ(t.GetCount(), 1u);
  }
}

TEST_F(VQStringsFiles, FailedSaveReportsFailureAndKeepsTheOldFile) {
  VQStrings t;
  ASSERT_TRUE(t.LoadText(kSample, std::strlen(kSample), false));
  g_VQerror = 0;
  EXPECT_FALSE(t.SaveBinary(Path("no/such/folder/x.bin").c_str()));
  EXPECT_EQ(g_VQerror, VQERR_CREATE_OUTPUT);

  WriteFile(Path("old.bin"), "old contents");
  VQStrings big;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(big.Add("k", i, std::string(4000, 'x').c_str()));
  {
    files_test::FileSizeLimit limit(1024);
    g_VQerror = 0;
    EXPECT_FALSE(big.SaveBinary(Path("old.bin").c_str()));
    EXPECT_NE(g_VQerror, 0);
  }
  EXPECT_EQ(ReadFile(Path("old.bin")), "old contents");
  EXPECT_FALSE(files_test::fs::exists(Path("old.bin.vqtmp")));
}

// ---- string and path helpers ----------------------------------------------------------------

TEST(VQstring, WildcardMatch) {
  struct Case {
    const char* a;
    const char* b;
    bool match;
  } cases[] = {
      {"car*", "car_red", true}, {"car_red", "car*", true}, {"road", "road", true}, {"", "", true},
      {"car", "cat", false},     {"car", "car_red", false}, {"*", "", true},        {"", "*", true},
      {"c*r", "cxr", true},  // the star at the first difference takes the rest
      {"ca*", "cb", false},      {"Road", "road", false},
  };
  for (const Case& c : cases) EXPECT_EQ(VQstring_WildcardMatch(c.a, c.b), c.match) << c.a << " / " << c.b;
}

TEST(VQstring, EditingHelpers) {
  char esc[] = "a\\nb\\tc\\d\\";
  VQstring_Unescape(esc);
  EXPECT_STREQ(esc, "a\nb\tc\\d\\");

  char lower[] = "MiXeD 12";
  VQstring_ToLower(lower);
  EXPECT_STREQ(lower, "mixed 12");

  char rm[] = "#name";
  VQstring_RemoveChars(rm, 1);
  EXPECT_STREQ(rm, "name");
  char all[] = "ab";
  VQstring_RemoveChars(all, 5);
  EXPECT_STREQ(all, "");

  size_t pos = 99;
  EXPECT_TRUE(VQstring_Split("key=value", "=", &pos));
  EXPECT_EQ(pos, 3u);
  EXPECT_FALSE(VQstring_Split("novalue", "=", &pos));
  EXPECT_FALSE(VQstring_Split("", "=", &pos));

  EXPECT_EQ(VQstrdup(nullptr), nullptr);
  char* copy = VQstrdup("copy");
  EXPECT_STREQ(copy, "copy");
  free(copy);
}

TEST(VQstring, IsBlank) {
  struct Case {
    const char* text;
    bool blank;
  } cases[] = {{"", true}, {" \t ", true}, {" \n", false}, {" x ", false}, {"\r", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(VQstring_IsBlank(c.text, false), c.blank);
    EXPECT_EQ(VQstring_IsBlank(c.text, true), c.blank);
  }
}

TEST(VQpath, FileNameAndFolder) {
  const char* name = nullptr;
  EXPECT_EQ(VQpath_FileName("Data\\Cars\\red.tga", &name), 10u);
  EXPECT_STREQ(name, "red.tga");
  EXPECT_EQ(VQpath_FileName("plain.tga", &name), 0u);
  EXPECT_STREQ(name, "plain.tga");

  struct Case {
    const char* path;
    const char* folder;
  } cases[] = {{"Data\\Cars\\red.tga", "Data\\Cars"}, {"red.tga", ""}, {"\\red.tga", ""}, {"a\\", "a"}};
  for (const Case& c : cases) {
    char out[64] = "junk";
    EXPECT_TRUE(VQpath_Folder(c.path, out, sizeof out));
    EXPECT_STREQ(out, c.folder) << c.path;
  }
  char small[4];
  g_VQerror = 0;
  EXPECT_FALSE(VQpath_Folder("Data\\Cars\\red.tga", small, sizeof small));
  EXPECT_EQ(g_VQerror, VQERR_BUFFER_TOO_SMALL);
  EXPECT_STREQ(small, "");
}

TEST(VQpath, IsAbsolute) {
  struct Case {
    const char* path;
    bool absolute;
  } cases[] = {{"D:\\x", true},  {"D:/x", true},     {"\\\\server", true}, {"D:", false},
               {"Data\\x", false}, {"\\\\", false}, {"1:\\x", false},     {"", false}};
  for (const Case& c : cases) EXPECT_EQ(VQpath_IsAbsolute(c.path), c.absolute) << c.path;
}
