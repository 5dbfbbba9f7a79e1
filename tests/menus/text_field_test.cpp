// Typed menu texts: the cursor glyph, its limits, insertion and deletion at the cursor.
#include <gtest/gtest.h>

#include <string>

#include "QVX/menu/TextField.h"

namespace {

std::string Shown(const char* text) {
  std::string s(text);
  for (char& c : s)
    if (c == TEXTFIELD_CURSOR || c == TEXTFIELD_CURSOR_BLINK) c = '|';
  return s;
}

TEST(TextField, TheCursorStaysWithinTheText) {
  char buffer[32] = "Ann";
  TextField f;
  f.Begin(buffer, sizeof buffer, 15);
  EXPECT_EQ(Shown(buffer), "|Ann");
  f.Move(-1);
  EXPECT_EQ(Shown(buffer), "|Ann");
  for (int i = 0; i < 5; ++i) f.Move(1);
  EXPECT_EQ(Shown(buffer), "Ann|");
  EXPECT_EQ(f.cursor, 3);
  f.End();
  EXPECT_STREQ(buffer, "Ann");
  EXPECT_FALSE(f.editing);
}

TEST(TextField, TypingInsertsAndBackspaceDeletesAtTheCursor) {
  char buffer[32] = "Bo";
  TextField f;
  f.Begin(buffer, sizeof buffer, 15);
  f.Move(1);
  EXPECT_TRUE(f.Insert('x'));
  EXPECT_EQ(Shown(buffer), "Bx|o");
  EXPECT_TRUE(f.Backspace());
  EXPECT_TRUE(f.Backspace());
  EXPECT_FALSE(f.Backspace());  // at the start
  EXPECT_EQ(Shown(buffer), "|o");
  EXPECT_FALSE(f.Insert('\n'));
  f.End();
  EXPECT_STREQ(buffer, "o");
}

TEST(TextField, DeleteTakesTheCharacterAtTheCursorAndTheBlinkingGlyphLeavesNoTrace) {
  // The default text is cleared from the start of the field with Delete.
  char buffer[32] = "Name";
  TextField f;
  f.Begin(buffer, sizeof buffer, 15);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(f.Delete());
  EXPECT_FALSE(f.Delete());  // at the end
  EXPECT_EQ(Shown(buffer), "|");
  for (char c : {'Z', 'e', 'd'}) EXPECT_TRUE(f.Insert(c));
  f.Move(-1);
  EXPECT_TRUE(f.Delete());
  EXPECT_EQ(Shown(buffer), "Ze|");
  // Whichever face the caret shows, moving, typing and leaving the field keep only the text.
  for (bool on : {true, false, true}) {
    f.Blink(on);
    EXPECT_EQ(f.Length(), 2u);
    f.Move(-1);
    f.Move(1);
    f.Blink(on);
    EXPECT_TRUE(f.Insert('x'));
    EXPECT_TRUE(f.Backspace());
    f.Blink(on);
  }
  EXPECT_FALSE(f.Insert(TEXTFIELD_CURSOR_BLINK));
  f.End();
  EXPECT_STREQ(buffer, "Ze");
}

TEST(TextField, TheLengthLimitAndTheBufferHold) {
  char buffer[8] = "";
  TextField f;
  f.Begin(buffer, sizeof buffer, 15);  // the buffer is the tighter limit
  int typed = 0;
  for (int i = 0; i < 20; ++i) typed += f.Insert('a') ? 1 : 0;
  EXPECT_EQ(typed, 7);
  EXPECT_EQ(f.Length(), 7u);
  f.End();
  EXPECT_STREQ(buffer, "aaaaaaa");
  char name[32] = "";
  f.Begin(name, sizeof name, 3);
  for (int i = 0; i < 5; ++i) f.Insert('b');
  f.End();
  EXPECT_STREQ(name, "bbb");
}

}  // namespace
