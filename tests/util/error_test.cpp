#include <gtest/gtest.h>

#include "Zentri/util/VQerror.h"

TEST(ErrorCode, SystemNumbersMapToEngineCodes) {
  struct Case {
    int errnum;
    int32_t code;
  } cases[] = {{2, 37}, {4, 66}, {9, 65}, {11, 67}, {13, 58}, {22, 28}, {32, 68},
               {0, 2},  {1, 2},  {5, 2},  {17, 2},  {28, 2},  {-1, 2},  {10000, 2}};
  for (const Case& c : cases) {
    EXPECT_EQ(VQerror_FromSystem(c.errnum), c.code) << "errno " << c.errnum;
    g_VQerror = 0;
    EXPECT_FALSE(VQerror_FailFromSystem(c.errnum));
    EXPECT_EQ(g_VQerror, c.code) << "errno " << c.errnum;
  }
}
