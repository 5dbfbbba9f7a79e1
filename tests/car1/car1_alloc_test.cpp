// An evaluation allocates nothing: counts the global allocations made while a car is evaluated
// in every mode (the library's code calls this program's replacement of operator new).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "model/include/tolvu.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

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
