// A CAR_2 evaluation allocates nothing: counts the global allocations made while a car is
// evaluated in every mode (the library's code calls this program's replacement of operator new).
#include <gtest/gtest.h>

#include <vector>

#include "model/include/tolvu.h"
#include "tests/support/count_allocations.h"

namespace {

TEST(Car2Alloc, EvaluationsAllocateNothing) {
  const int len = tolvu_GetModelDefinitionSize(2);
  ASSERT_GT(len, 0);
  std::vector<double> store(len, 0.0);
  ASSERT_EQ(tolvu_InitializeModel(2, store.data(), len, " "), 1);
  tolvu_CallModel(2, 1, 0, 0.0, store.data(), len);  // the first evaluation may set up lookups
  const long before = g_allocations.load();
  store[len - 120 - 6 + 1] = 1.0;  // throttle in the input area
  store[len - 120 - 6 + 3] = 1.0;  // clutch
  store[len - 120 - 6 + 4] = 1.0;  // first gear
  for (int k = 0; k < 10; ++k) {
    tolvu_CallModel(2, 0, 1, 0.005 * k, store.data(), len);
    tolvu_CallModel(2, 0, 2, 0.005 * k, store.data(), len);
    tolvu_CallModel(2, 0, 0, 0.005 * k, store.data(), len);
  }
  tolvu_CallModel(2, 1, 0, 0.0, store.data(), len);  // a second set-up of the same store
  EXPECT_EQ(g_allocations.load(), before);
}

}  // namespace
