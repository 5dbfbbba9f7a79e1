// The six translations of the message strings against English, read from the language
// sources the build copies into the data tree: every English entry is translated (and no
// entry names a key English does not have), the printf conversions, tabs and
// newlines of each text match the English one, and every byte of every text is a character
// the menu fonts draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/util/VQStrings.h"

namespace {

const char* const kTranslations[] = {"Nederlands", "Deutsch",  "Francais",
                                     "Italiano",   "Espagnol", "Polish"};

std::string LanguageFile(const std::string& language, const char* extension) {
  return std::string(VQ_GAME_DIR) + "/Data/Languages/" + language + extension;
}

// An entry is named by its key, or by its number when it has no key.
using EntryName = std::pair<std::string, int32_t>;

std::string Describe(const EntryName& name) {
  return name.first.empty() ? "<:" + std::to_string(name.second) + ">" : "<" + name.first + ">";
}

std::map<EntryName, std::string> Entries(const VQStrings& table) {
  std::map<EntryName, std::string> entries;
  for (uint32_t i = 0; i < table.GetCount(); ++i) {
    const std::string key = table.GetKey(i);
    entries.emplace(EntryName(key, key.empty() ? table.GetId(i) : -1), table.GetText(i));
  }
  return entries;
}

// The printf conversions of a text in order ("%%" is no conversion); a '%' that starts no
// valid conversion is given as "bad %".
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && std::strchr("-+ #0", text[j])) ++j;
    while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '*'))
      ++j;
    if (j < text.size() && text[j] == '.') {
      ++j;
      while (j < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '*'))
        ++j;
    }
    while (j < text.size() && std::strchr("hlLzjt", text[j])) ++j;
    if (j < text.size() && std::strchr("diouxXeEfFgGaAcsp", text[j])) {
      found.push_back(text.substr(i, j + 1 - i));
      i = j;
    } else {
      found.push_back("bad %");
    }
  }
  return found;
}

size_t Count(const std::string& text, char c) {
  return size_t(std::count(text.begin(), text.end(), c));
}

class Translation : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(english_.Load(LanguageFile("English", ".txt").c_str(), false, false));
    ASSERT_TRUE(own_.Load(LanguageFile(GetParam(), ".txt").c_str(), false, false));
    ASSERT_GT(english_.GetCount(), 300u);
  }
  VQStrings english_, own_;
};

TEST_P(Translation, GivesEveryEnglishEntryAndNoOtherKey) {
  const auto english = Entries(english_);
  const auto own = Entries(own_);
  EXPECT_EQ(own.size(), size_t(own_.GetCount())) << "an entry is given twice";
  for (const auto& [name, text] : english) {
    const auto found = own.find(name);
    if (found == own.end()) {
      ADD_FAILURE() << Describe(name) << " is missing (English: \"" << text << "\")";
      continue;
    }
    EXPECT_TRUE(text.empty() || !found->second.empty()) << Describe(name) << " is empty";
  }
  // A key English does not have is a misspelt one. Numbered entries may run ahead of English
  // (texts of screens still being built); the compiler leaves them out until English has them.
  for (const auto& [name, text] : own)
    EXPECT_TRUE(name.first.empty() || english.count(name))
        << Describe(name) << " is no English key";

  // The compiled table the game loads holds the translated texts.
  VQStrings compiled;
  ASSERT_TRUE(compiled.Load(LanguageFile(GetParam(), ".bin").c_str(), false, true));
  EXPECT_EQ(compiled.GetCount(), english_.GetCount());
  for (const auto& [name, text] : own) {
    if (!english.count(name)) continue;
    const char* shown =
        name.first.empty() ? compiled.GetById(name.second) : compiled.GetByKey(name.first.c_str());
    EXPECT_EQ(shown, text) << Describe(name);
  }
}

TEST_P(Translation, KeepsTheConversionsTabsAndNewlinesOfEnglish) {
  const auto own = Entries(own_);
  for (const auto& [name, text] : Entries(english_)) {
    const auto found = own.find(name);
    if (found == own.end()) continue;  // reported by the test above
    EXPECT_EQ(Conversions(found->second), Conversions(text))
        << Describe(name) << ": \"" << found->second << "\" against \"" << text << "\"";
    EXPECT_EQ(Count(found->second, '\t'), Count(text, '\t')) << Describe(name);
    EXPECT_EQ(Count(found->second, '\n'), Count(text, '\n')) << Describe(name);
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, Translation, ::testing::ValuesIn(kTranslations));

TEST(TranslationCheck, ConversionsAreReadLikePrintf) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Conversions("Lap %d of %d"), (V{"%d", "%d"}));
  EXPECT_EQ(Conversions("%-8s|%05.2f|%ld|%%|%*d"), (V{"%-8s", "%05.2f", "%ld", "%*d"}));
  EXPECT_EQ(Conversions("100% sure"), (V{"% s"}));  // printf reads it so: a stray argument
  EXPECT_EQ(Conversions("100%!"), (V{"bad %"}));
  EXPECT_EQ(Conversions("ends in %"), (V{"bad %"}));
  EXPECT_NE(Conversions("%s %d"), Conversions("%d %s"));
}

// A menu font sheet of the data tree, read the way the game's software display reads it.
class MenuFont {
 public:
  explicit MenuFont(const char* name) : image_(&pixmap_) {
    const std::string path = std::string(VQ_GAME_DIR) + "/Data/Maps_high/" + name + ".tga";
    loaded_ =
        pixmap_.LoadImage(path.c_str()) && font_.BuildGlyphs(&image_) && font_.m_glyphCount > 0;
  }
  bool Loaded() const { return loaded_; }
  // True when the glyph of byte c has ink: some pixel of its box is mostly opaque.
  bool Inks(uint8_t c) {
    if (!font_.HasGlyph(c)) return false;
    const uint32_t i = c - VQFONT_FIRST_CODE;
    float rgba[4];
    for (uint32_t y = font_.m_glyphY[i]; y < font_.m_glyphY[i] + font_.m_glyphHeight; ++y)
      for (uint32_t x = font_.m_glyphX[i]; x < font_.m_glyphX[i] + font_.m_glyphWidth[i]; ++x)
        if (image_.GetPixel(rgba, x, y)[3] > 0.5f) return true;
    return false;
  }

 private:
  VQSoftwarePixmap pixmap_;
  VQImageRef image_;
  VQFont font_;
  bool loaded_ = false;
};

// Bytes a text may hold: tab, newline, and the printable characters of the Western code page
// (Latin-1 with the code page's additions at 128-159; 127 and its unassigned codes excluded).
bool Printable(uint8_t c) {
  if (c == '\t' || c == '\n') return true;
  if (c < 32 || c == 127) return false;
  return c != 129 && c != 141 && c != 143 && c != 144 && c != 157;
}

TEST(TranslationCheck, EveryByteOfEveryLanguageIsDrawnByTheMenuFonts) {
  MenuFont normal("Font_menu_normal"), title("Font_menu_title"), help("Font_menu_help");
  ASSERT_TRUE(normal.Loaded() && title.Loaded() && help.Loaded());
  ASSERT_TRUE(normal.Inks('A') && normal.Inks(0xE9) && !normal.Inks(' '));  // the check can see ink

  std::vector<std::string> languages(std::begin(kTranslations), std::end(kTranslations));
  languages.push_back("English");
  std::set<uint8_t> used;
  for (const std::string& language : languages) {
    SCOPED_TRACE(language);
    VQStrings table;
    ASSERT_TRUE(table.Load(LanguageFile(language, ".txt").c_str(), false, false));
    for (uint32_t i = 0; i < table.GetCount(); ++i)
      for (const char* p = table.GetText(i); *p; ++p) {
        const uint8_t c = uint8_t(*p);
        EXPECT_TRUE(Printable(c)) << "byte " << int(c) << " in \"" << table.GetText(i) << "\"";
        used.insert(c);
      }
  }
  for (uint8_t c : used) {
    if (c <= ' ' || !Printable(c)) continue;
    EXPECT_TRUE(normal.Inks(c)) << "byte " << int(c);
    EXPECT_TRUE(title.Inks(c)) << "byte " << int(c);
    EXPECT_TRUE(help.Inks(c)) << "byte " << int(c);
  }
  // The translations use letters beyond ASCII (accents, umlauts, inverted marks).
  EXPECT_GE(std::count_if(used.begin(), used.end(), [](uint8_t c) { return c >= 128; }), 20);
}

}  // namespace
