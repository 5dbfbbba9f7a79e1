#include <gtest/gtest.h>

#include "Zentri/util/VQerror.h"

TEST(ErrorCode, FailSetsCodeAndReturnsFalse) {
  g_VQerror = 0;
  EXPECT_FALSE(VQerror_Fail(VQERR_DEVICE_KIND));
  EXPECT_EQ(g_VQerror, 38);
}
