#include <gtest/gtest.h>

#include "Zentri/util/VQerror.h"

TEST(ErrorCode, FailSetsCodeAndReturnsFalse) {
  g_VQerror = 0;
  EXPECT_FALSE(VQerror_Fail(VQERR_DEVICE_KIND));
  EXPECT_EQ(g_VQerror, 38);
}

TEST(ErrorCode, EveryCodeHasANameAndAMeaning) {
  struct Case {
    int32_t code;
    const char* name;
  };
  const Case cases[] = {{VQERR_TEXTURE_FORMAT, "VQERR_TEXTURE_FORMAT"},
                        {14, "VQERR_TOO_MANY_CANVASES"},
                        {37, "VQERR_NO_SUCH_FILE"},
                        {78, "VQERR_CONNECTION_STATE"},
                        {84, "VQERR_HOST_LOOKUP_AGAIN"}};
  for (const Case& c : cases) {
    EXPECT_STREQ(VQerror_Name(c.code), c.name);
    EXPECT_STRNE(VQerror_Meaning(c.code), "unknown error code") << c.code;
  }
  EXPECT_STREQ(VQerror_Name(30), "VQERR_UNKNOWN");
  EXPECT_STREQ(VQerror_Meaning(-5), "unknown error code");
  EXPECT_EQ(VQerror_Describe(37), "error 37 VQERR_NO_SUCH_FILE: no such file or folder");
}

TEST(ErrorCode, NumericValuesAreFixed) {
  static_assert(VQERR_TEXTURE_FORMAT == 6 && VQERR_DISPLAY_MODE_QUERY == 11 && VQERR_TOO_MANY_CANVASES == 14 &&
                VQERR_TOO_MANY_VIEWPORTS == 15 && VQERR_WINDOW_CREATE == 17 && VQERR_LIGHT_INDEX == 18 &&
                VQERR_WINDOWED_UNSUPPORTED == 46 && VQERR_NO_RENDER_DEVICE == 47 && VQERR_NO_CANVAS == 56 &&
                VQERR_SOCKET_CLOSED == 61 && VQERR_SEND_INCOMPLETE == 62 && VQERR_SOCKET_NOT_STARTED == 64 &&
                VQERR_CONNECTION_STATE == 78 && VQERR_CONNECTION_ACTIVE == 79 && VQERR_NO_CLIENTS == 80 &&
                VQERR_HOST_NOT_FOUND == 81 && VQERR_HOST_NO_ADDRESS == 82 && VQERR_HOST_LOOKUP_FAILED == 83 &&
                VQERR_HOST_LOOKUP_AGAIN == 84);
  SUCCEED();
}
