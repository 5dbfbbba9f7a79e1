// An evaluation allocates nothing: counts the global allocations made while a car is evaluated
// in every mode (the library's code calls this program's replacement of operator new).
#include <gtest/gtest.h>

#include <vector>

#include "model/include/tolvu.h"
#include "tests/support/count_allocations.h"

namespace {

TEST(Car1Alloc, EvaluationsAllocateNothing) {
  const int len = tolvu_GetModelDefinitionSize(1);
  std::vector<double> store(len, 0.0);
  ASSERT_EQ(tolvu_InitializeModel(1, store.data(), len, " "), 1);
  tolvu_CallModel(1, 1, 0, 0.0, store.data(), len);  // the first evaluation may set up lookups
  const long before = g_allocations.load();
  for (int k = 0; k < 10; ++k) {
    tolvu_CallModel(1, 1, 0, 0.0, store.data(), len);
    tolvu_CallModel(1, 0, 1, 0.01 * k, store.data(), len);
    tolvu_CallModel(1, 0, 2, 0.01 * k, store.data(), len);
    tolvu_CallModel(1, 0, 0, 0.01 * k, store.data(), len);
  }
  EXPECT_EQ(g_allocations.load(), before);
}

}  // namespace
