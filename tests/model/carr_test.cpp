// The pass-through model "CAR_R" through the exports.
#include <gtest/gtest.h>

#include <vector>

#include "model/include/tolvu.h"

namespace {

class CarR : public testing::Test {
 protected:
  void SetUp() override {
    s.assign(370, 0.0);
    ASSERT_EQ(tolvu_InitializeModel(3, s.data(), 370, " "), 1);
  }
  double& var(const char* name) {
    const int k = tolvu_GetVarIndex(3, name);
    EXPECT_GT(k, 0) << name;
    return s[static_cast<size_t>(k > 0 ? k - 1 : 0)];
  }
  std::vector<double> s;
  static constexpr int kInputArea = 292;  // 0-based start of the 78 inputs
};

TEST_F(CarR, FirstCallSeedsTheInputAreaFromTheDefaults) {
  for (int i = 0; i < 78; ++i) s[kInputArea + i] = -5.0;
  EXPECT_EQ(tolvu_CallModel(3, 1, 0, 2.5, s.data(), 370), 0);
  EXPECT_EQ(var("ONE"), 1.0);  // the time slot 35 is ONE, rewritten by the set-up
  EXPECT_EQ(var("PI"), 3.1415927);
  EXPECT_EQ(var("INT12"), 12.0);
  EXPECT_EQ(s[kInputArea + 9], 1.0);  // CM1000(1,1) of the list
  EXPECT_EQ(s[kInputArea + 0], 0.0);
  EXPECT_EQ(var("CM1000(1,1)"), 1.0);
  EXPECT_EQ(var("CM1500(3,3)"), 1.0);
  EXPECT_EQ(var("CM1500(2,3)"), 0.0);
}

TEST_F(CarR, InputsWrittenByTheCallerReachTheNamedVariables) {
  ASSERT_EQ(tolvu_CallModel(3, 1, 0, 0.0, s.data(), 370), 0);
  for (int i = 0; i < 78; ++i) s[kInputArea + i] = 100.0 + i;
  EXPECT_EQ(tolvu_CallModel(3, 0, 1, 4.25, s.data(), 370), 0);
  EXPECT_EQ(s[35 - 1], 4.25);
  // Controls in list order STEER, THROTTLE, BRAKE, CLUTCH, GEAR, PARK_BRAKE.
  EXPECT_EQ(var("STEER"), 100.0);
  EXPECT_EQ(var("THROTTLE"), 101.0);
  EXPECT_EQ(var("BRAKE"), 102.0);
  EXPECT_EQ(var("CLUTCH"), 103.0);
  EXPECT_EQ(var("GEAR"), 104.0);
  EXPECT_EQ(var("PARK_BRAKE"), 105.0);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(var(("RG1000(" + std::to_string(i) + ")").c_str()), 105.0 + i);
  for (int e = 0; e < 9; ++e) EXPECT_EQ(s[tolvu_GetVarIndex(3, "CM1000") - 1 + e], 109.0 + e);
  const int rg2100 = tolvu_GetVarIndex(3, "RG2100");
  for (int e = 0; e < 60; ++e) EXPECT_EQ(s[rg2100 - 1 + e], 118.0 + e);
  EXPECT_EQ(var("INP_VARS(78)"), 177.0);
}

TEST_F(CarR, ModeTwoOnlyPassesTheExternalLoads) {
  ASSERT_EQ(tolvu_CallModel(3, 1, 0, 0.0, s.data(), 370), 0);
  for (int i = 0; i < 78; ++i) s[kInputArea + i] = 7.0;
  var("F_CLN100(2)") = 11.0;
  var("T_CLN100(3)") = -3.0;
  const double one = var("ONE");
  EXPECT_EQ(tolvu_CallModel(3, 0, 2, 9.0, s.data(), 370), 0);
  EXPECT_EQ(var("STEER"), 0.0);
  EXPECT_EQ(var("ONE"), one);
  EXPECT_EQ(var("FL100(2)"), 11.0);
  EXPECT_EQ(var("TL100(3)"), -3.0);
}

TEST_F(CarR, ShortStoreIsNotEvaluated) {
  std::vector<double> small(300, -1.0);
  EXPECT_EQ(tolvu_CallModel(3, 1, 0, 1.0, small.data(), 300), 0);
  for (double v : small) EXPECT_EQ(v, -1.0);
}

}  // namespace
