#include <gtest/gtest.h>

#include <string>

#include "Zentri/util/VQStrings.h"

namespace {
const char* const kLanguages[7] = {"English", "Nederlands", "Deutsch", "Francais", "Italiano", "Espagnol", "Polish"};
std::string Bin(const char* language) { return std::string(VQ_GAME_DIR) + "/Data/Languages/" + language + ".bin"; }
}  // namespace

TEST(Languages, EveryLanguageHasEveryEnglishEntry) {
  VQStrings english;
  ASSERT_TRUE(english.Load(Bin("English").c_str(), false, true));
  ASSERT_GT(english.GetCount(), 300u);
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    VQStrings table;
    ASSERT_TRUE(table.Load(Bin(language).c_str(), false, true));
    EXPECT_LE(table.GetCount(), VQSTRINGS_MAX_ENTRIES);
    for (uint32_t i = 0; i < english.GetCount(); ++i) {
      const char* key = english.GetKey(i);
      const char* text = *key ? table.GetByKey(key) : table.GetById(english.GetId(i));
      EXPECT_NE(*text, 0) << "key '" << key << "' id " << english.GetId(i);
    }
    // The texts start-up shows, the keys it asks for, the names of classes and tracks.
    for (int32_t id : {2, 3, 4, 5, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 126, 163, 205})
      EXPECT_NE(*table.GetById(id), 0) << id;
    for (const char* key : {"cantloadplayers", "cantinitmenus", "junior_std", "monster", "harbour", "random",
                            "class_junior_std_help"})
      EXPECT_NE(*table.GetByKey(key), 0) << key;
  }
}

TEST(Languages, TranslatedTextsDiffer) {
  VQStrings english, german;
  ASSERT_TRUE(english.Load(Bin("English").c_str(), false, true));
  ASSERT_TRUE(german.Load(Bin("Deutsch").c_str(), false, true));
  EXPECT_STRNE(english.GetById(2), german.GetById(2));
  EXPECT_STREQ(german.GetByKey("harbour"), "Hafen");
}
