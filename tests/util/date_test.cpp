#include <gtest/gtest.h>

#include <string>

#include "Zentri/util/VQdate.h"

TEST(DateTime, FormatDate) {
  char buf[VQDATE_STRING_SIZE];
  uint32_t d = VQdate_Pack(2003, 7, 5);
  EXPECT_EQ(d, (2003u << 16) | (7u << 8) | 5u);
  EXPECT_STREQ(VQdate_Format(buf, sizeof buf, d, '.', true), "5.7.2003");
  EXPECT_STREQ(VQdate_Format(buf, sizeof buf, d, '.', false), "5.7");
  EXPECT_STREQ(VQdate_Format(buf, sizeof buf, VQdate_Pack(1999, 12, 31), '/', true), "31/12/1999");
  // Out-of-range fields still fit the documented buffer size.
  EXPECT_STREQ(VQdate_Format(buf, sizeof buf, 0xffffffffu, '.', true), "255.255.65535");
}

TEST(DateTime, FormatTimeWithTwoDigitFields) {
  struct Case {
    int h, m, s;
    bool withSeconds;
    const char* text;
  } cases[] = {
      {9, 5, 3, false, "09:05"},   {9, 5, 3, true, "09:05:03"}, {0, 0, 0, false, "00:00"},
      {0, 0, 0, true, "00:00:00"}, {23, 59, 59, true, "23:59:59"},
  };
  char buf[VQTIME_STRING_SIZE];
  for (const Case& c : cases) {
    EXPECT_STREQ(VQtime_Format(buf, sizeof buf, VQtime_Pack(c.h, c.m, c.s), ':', c.withSeconds), c.text);
  }
  // A corrupt packed time is cut to the buffer instead of running past it.
  EXPECT_STREQ(VQtime_Format(buf, sizeof buf, 0x00ffffffu, ':', true), "255:255:");
}

TEST(DateTime, PackedValuesCompareInOrder) {
  EXPECT_LT(VQdate_Pack(2003, 12, 31), VQdate_Pack(2004, 1, 1));
  EXPECT_LT(VQdate_Pack(2004, 1, 31), VQdate_Pack(2004, 2, 1));
  EXPECT_LT(VQdate_Pack(2004, 2, 1), VQdate_Pack(2004, 2, 2));
  EXPECT_LT(VQtime_Pack(9, 59, 59), VQtime_Pack(10, 0, 0));
  EXPECT_LT(VQtime_Pack(10, 0, 59), VQtime_Pack(10, 1, 0));
}

TEST(DateTime, CurrentValuesAreConsistentAndInRange) {
  // Read twice around the packed form; retry once in case a second or a day boundary passed.
  for (int attempt = 0; attempt < 2; ++attempt) {
    int y, mo, d, h, mi, s;
    VQdate_Current(&y, &mo, &d);
    VQtime_Current(&h, &mi, &s);
    uint32_t pd = VQdate_CurrentPacked();
    uint32_t pt = VQtime_CurrentPacked();
    if (pd != VQdate_Pack(y, mo, d) || pt != VQtime_Pack(h, mi, s)) continue;
    EXPECT_GE(y, 2020);
    EXPECT_TRUE(mo >= 1 && mo <= 12);
    EXPECT_TRUE(d >= 1 && d <= 31);
    EXPECT_TRUE(h >= 0 && h <= 23);
    EXPECT_TRUE(mi >= 0 && mi <= 59);
    EXPECT_TRUE(s >= 0 && s <= 60);
    char buf[VQDATE_STRING_SIZE], expect[VQDATE_STRING_SIZE];
    EXPECT_STREQ(VQdate_CurrentString(buf, sizeof buf, '.', true),
                 VQdate_Format(expect, sizeof expect, pd, '.', true));
    return;
  }
  ADD_FAILURE() << "clock changed between reads twice";
}
