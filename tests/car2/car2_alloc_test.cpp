// A CAR_2 evaluation allocates nothing: counts the global allocations made while a car is
// evaluated in every mode (the library's code calls this program's replacement of operator new).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "model/include/tolvu.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Every form of the global allocation functions is replaced, so each pair stays matched.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
void* counted(std::size_t n) {
  ++g_allocations;
  return std::malloc(n ? n : 1);
}
void* countedAligned(std::size_t n, std::align_val_t a) {
  ++g_allocations;
  const std::size_t al = static_cast<std::size_t>(a);
  return std::aligned_alloc(al, (n + al - 1) / al * al);
}
}  // namespace

void* operator new(std::size_t n) {
  if (void* p = counted(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = counted(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return counted(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return counted(n); }
void* operator new(std::size_t n, std::align_val_t a) {
  if (void* p = countedAligned(n, a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
  if (void* p = countedAligned(n, a)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

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
