#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

namespace {
// A temporary stream holding the given bytes, positioned at its start.
FILE* stream_of(const std::string& bytes) {
  FILE* f = std::tmpfile();
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
  }
  return f;
}
struct Stream {
  explicit Stream(const std::string& bytes) : f(stream_of(bytes)) {}
  ~Stream() {
    if (f) std::fclose(f);
  }
  FILE* f;
};
}  // namespace

TEST(TokenReaders, ReadLineCutsAtBufferSize) {
  struct Case {
    const char* text;
    size_t n;
    const char* buffer;
    bool result;
    int next;  // the next character read afterwards
  } cases[] = {
      {"abcdefghij\nz", 8, "abcdefg", false, 'h'},
      {"abc\nz", 8, "abc", true, 'z'},
      {"", 8, "", true, EOF},
      {"abcdefg\nz", 8, "abcdefg", true, 'z'},  // exactly n - 1 letters fit
      {"abc", 8, "abc", true, EOF},             // last line without newline
      {"\nz", 8, "", true, 'z'},
      {"ab\r\nz", 8, "ab\r", true, 'z'},        // a carriage return is text
      {"xyz", 1, "", false, 'x'},
  };
  for (const Case& c : cases) {
    Stream s(c.text);
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(VQfile_ReadLine(s.f, buf, c.n), c.result) << c.text;
    EXPECT_STREQ(buf, c.buffer) << c.text;
    EXPECT_EQ(std::fgetc(s.f), c.next) << c.text;
  }
}

TEST(TokenReaders, ReadUntilPushesStopBack) {
  Stream s("key<rest");
  char buf[16];
  EXPECT_TRUE(VQfile_ReadUntil(s.f, buf, sizeof buf, '<'));
  EXPECT_STREQ(buf, "key");
  EXPECT_EQ(std::fgetc(s.f), '<');
  EXPECT_TRUE(VQfile_ReadUntil(s.f, buf, sizeof buf, '<'));  // to the end of the stream
  EXPECT_STREQ(buf, "rest");
  EXPECT_TRUE(VQfile_ReadUntil(s.f, buf, sizeof buf, '<'));  // already at the end
  EXPECT_STREQ(buf, "");

  Stream t("toolong=1");
  EXPECT_FALSE(VQfile_ReadUntil(t.f, buf, 4, '='));
  EXPECT_STREQ(buf, "too");
  EXPECT_EQ(std::fgetc(t.f), 'l');

  Stream u("a\xff" "b");  // a stop character above 127 given as a plain char
  EXPECT_TRUE(VQfile_ReadUntil(u.f, buf, sizeof buf, '\xff'));
  EXPECT_STREQ(buf, "a");
}

TEST(TokenReaders, SkipBlankStopsAtOtherCharacters) {
  Stream s(" \t\n \r x");
  VQfile_SkipBlank(s.f);
  EXPECT_EQ(std::fgetc(s.f), '\r');
  VQfile_SkipBlank(s.f);
  EXPECT_EQ(std::fgetc(s.f), 'x');
  VQfile_SkipBlank(s.f);  // at the end: nothing pushed back
  EXPECT_EQ(std::fgetc(s.f), EOF);
}

TEST(TokenReaders, ReadStringAndScrambledString) {
  Stream s(std::string("hello\0world", 11));
  char buf[16];
  EXPECT_EQ(VQfile_ReadString(s.f, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(VQfile_ReadString(s.f, buf, sizeof buf), 5);  // ends at the end of the stream
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(VQfile_ReadString(s.f, buf, sizeof buf), 0);

  // Each stored byte is the character plus 127; the stored 127 ends the string.
  std::string stored;
  for (char c : std::string("Hi\xc8")) stored += static_cast<char>((static_cast<unsigned char>(c) + 127) & 0xff);
  stored += '\x7f';
  stored += "next";
  Stream t(stored);
  EXPECT_EQ(VQfile_ReadScrambledString(t.f, buf, sizeof buf), 3);
  EXPECT_STREQ(buf, "Hi\xc8");
  EXPECT_EQ(std::fgetc(t.f), 'n');
}

TEST(TokenReaders, ReadStringTooLongKeepsStreamInStep) {
  Stream s(std::string("abcdefghij\0ok\0", 14));
  char buf[5];
  g_VQerror = 0;
  EXPECT_EQ(VQfile_ReadString(s.f, buf, sizeof buf), -1);
  EXPECT_EQ(g_VQerror, 48);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(VQfile_ReadString(s.f, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "ok");
  EXPECT_EQ(VQfile_ReadString(s.f, buf, 0), -1);
  EXPECT_EQ(g_VQerror, 28);
}
