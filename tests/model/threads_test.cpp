// Evaluations on several threads at once, each car with its own store and its own ground query
// (tolvu_CallModelWithGround), give the same bytes as the same evaluations one after another.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "model/include/tolvu.h"

namespace {

// A ground that tilts with the context: each car drives on a slope of its own.
void SlopedGround(void* context, double out[8], const double point[3], const double*, double) {
  const double slope = *static_cast<const double*>(context);
  out[0] = point[0];
  out[1] = point[1];
  out[2] = -slope * point[0];
  out[3] = -slope;
  out[4] = 0.0;
  out[5] = -1.0;
  out[6] = 1.0;
  out[7] = 0.01;
}

// Sets a car up and drives it for `steps` evaluations of both modes with full throttle.
std::vector<double> Drive(int type, double* slope, int steps) {
  const int length = tolvu_GetModelDefinitionSize(type);
  std::vector<double> store(size_t(length), 0.0);
  EXPECT_EQ(tolvu_InitializeModel(type, store.data(), length, " "), 1);
  const int vars = length - 2 * tolvu_GetNumberOfStates(type) - 6 - 120;
  const int states = tolvu_GetNumberOfStates(type);
  double* inputs = store.data() + vars + 2 * states;
  inputs[1] = 1.0;  // throttle
  inputs[3] = 1.0;  // clutch
  inputs[4] = 1.0;  // first gear
  tolvu_CallModelWithGround(type, 1, 0, 0.0, store.data(), length, SlopedGround, slope);
  for (int n = 0; n < steps; ++n) {
    tolvu_CallModelWithGround(type, 0, 1, 0.01 * n, store.data(), length, SlopedGround, slope);
    tolvu_CallModelWithGround(type, 0, 2, 0.01 * n, store.data(), length, SlopedGround, slope);
    // A plain Euler step is enough to move the states between evaluations.
    for (int i = 0; i < states; ++i) store[size_t(vars + i)] += 0.01 * store[size_t(vars + states + i)];
  }
  return store;
}

TEST(TolvuThreads, ConcurrentEvaluationsMatchSerialOnes) {
  constexpr int kCars = 8, kSteps = 200;
  double slopes[kCars];
  std::vector<double> serial[kCars], parallel[kCars];
  for (int c = 0; c < kCars; ++c) {
    slopes[c] = 0.01 * c;
    serial[c] = Drive(c % 2 ? 1 : 2, &slopes[c], kSteps);
  }
  std::vector<std::thread> threads;
  for (int c = 0; c < kCars; ++c)
    threads.emplace_back([&, c] { parallel[c] = Drive(c % 2 ? 1 : 2, &slopes[c], kSteps); });
  for (std::thread& t : threads) t.join();
  for (int c = 0; c < kCars; ++c) {
    ASSERT_EQ(serial[c].size(), parallel[c].size());
    EXPECT_EQ(std::memcmp(serial[c].data(), parallel[c].data(), serial[c].size() * sizeof(double)), 0) << "car " << c;
  }
  // The slopes mattered: neighbouring cars ended apart.
  EXPECT_NE(std::memcmp(serial[0].data(), serial[2].data(), serial[0].size() * sizeof(double)), 0);
}

}  // namespace
