#include <gtest/gtest.h>

#include "QVX/shell/InputCodes.h"

TEST(InputCodes, NamesOfEveryRange) {
  struct Case {
    uint32_t code;
    const char* name;
  };
  const Case cases[] = {{0, ""},          {1, "joy1_1_pos"},     {2, "joy1_1_neg"},  {17, "joy1_button1"},
                        {48, "joy2_8_neg"}, {128, "joy4_button16"}, {129, ""},        {150, ""},
                        {199, ""},        {200, "enter"},        {222, "0"},         {232, "n0"},
                        {247, "a"},       {272, "z"},            {273, "F1"},        {284, "F12"},
                        {290, "\\"},      {296, "right_shift"},  {297, ""},          {0xFFFFFFFFu, ""}};
  for (const Case& c : cases) EXPECT_STREQ(InputCodeName(c.code), c.name) << c.code;
}

TEST(InputCodes, NamesReadBack) {
  for (uint32_t code = 0; code < 400; ++code) {
    const char* name = InputCodeName(code);
    EXPECT_EQ(InputCodeFromName(name), *name ? int32_t(code) : 0) << code;
  }
}

TEST(InputCodes, ClassesAndParts) {
  EXPECT_EQ(InputCodeClass(0), INPUTCODE_NONE);
  EXPECT_EQ(InputCodeClass(150), INPUTCODE_NONE);
  EXPECT_EQ(InputCodeJoystick(150), -1);
  EXPECT_EQ(InputCodeClass(5), INPUTCODE_JOYSTICK_AXIS);
  EXPECT_EQ(InputCodeClass(27), INPUTCODE_JOYSTICK_BUTTON);
  EXPECT_EQ(InputCodeClass(250), INPUTCODE_KEY);
  EXPECT_EQ(InputCodeAxis(47), 7);
  EXPECT_EQ(InputCodeAxis(27), -1);
  EXPECT_EQ(InputCodeJoystick(128), 3);
  EXPECT_TRUE(InputCodeIsOfJoystick(1, 47));
  EXPECT_FALSE(InputCodeIsOfJoystick(4, 47));
  EXPECT_FALSE(InputCodeIsOfJoystick(0, 250));
}

TEST(InputCodes, JoystickConversions) {
  EXPECT_EQ(JoystickAxisCode(1, 7, true), 47);
  EXPECT_EQ(JoystickAxisCode(1, 7, false), 48);
  EXPECT_STREQ(InputCodeName(47), "joy2_8_pos");
  EXPECT_EQ(JoystickAxisCode(4, 0, true), 0);
  EXPECT_EQ(JoystickAxisCode(0, 8, true), 0);
  EXPECT_EQ(JoystickButtonCode(3, 2048), 124);
  EXPECT_STREQ(InputCodeName(124), "joy4_button12");
  EXPECT_EQ(JoystickButtonCode(0, 3), 0);
  EXPECT_EQ(JoystickButtonCode(0, 0), 0);
  EXPECT_EQ(JoystickButtonCode(4, 1), 0);
  EXPECT_EQ(JoystickButtonCode(0, 0x10000), 0);
  EXPECT_EQ(InputCodeButtonMask(27), 1024);
  EXPECT_STREQ(InputCodeName(27), "joy1_button11");
  EXPECT_EQ(InputCodeButtonMask(5), 0);
  for (uint32_t j = 0; j < 4; ++j)
    for (int b = 0; b < 16; ++b) EXPECT_EQ(InputCodeButtonMask(JoystickButtonCode(j, 1 << b)), 1 << b);
}

TEST(InputCodes, DirectionsAndKeys) {
  EXPECT_TRUE(InputCodeIsPositive(17));
  EXPECT_TRUE(InputCodeIsPositive(18));
  EXPECT_FALSE(InputCodeIsPositive(16));
  EXPECT_TRUE(InputCodeIsPositive(15));
  EXPECT_TRUE(InputCodeIsPositive(250));
  EXPECT_EQ(InputCodeKeyIndex(296), 96u);
  EXPECT_EQ(KeyIndexInputCode(96), 296u);
}
