// The simulator's own pieces: loading a car from defaults, a text data file or a store image,
// the input schedule, and the ground it answers with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/tolvu-sim/sim.h"

namespace {

std::string tempPath(const char* name) {
  return ::testing::TempDir() + "car1_sim_" + name;
}

TEST(TolvuSim, TextDataFileIsReadOverTheDefaults) {
  const std::string path = tempPath("data.txt");
  {
    std::ofstream f(path);
    f << "A smaller car\nR_WHEEL 0.3\nM_CAR 800.0\n";
  }
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1, path.c_str())) << sim.error;
  EXPECT_EQ(sim.get("R_WHEEL"), 0.3);
  EXPECT_EQ(sim.get("M_CAR"), 800.0);
  EXPECT_DOUBLE_EQ(sim.get("Z_AXLE"), -0.3);  // the first call derived the geometry from it
  EXPECT_DOUBLE_EQ(sim.get("M_TOTAL"), 1040.0);
  std::remove(path.c_str());
}

TEST(TolvuSim, StoreImageRoundTripsAndAWrongSizeIsRefused) {
  tolvusim::Sim a;
  ASSERT_TRUE(a.init(1)) << a.error;
  a.setInput(1, 1.0);
  a.setInput(3, 1.0);
  a.setInput(4, 1.0);
  for (int k = 0; k < 100; ++k) ASSERT_TRUE(a.step());
  const std::string path = tempPath("store.bin");
  ASSERT_TRUE(a.writeStoreImage(path));
  tolvusim::Sim b;
  ASSERT_TRUE(b.init(1, nullptr, path.c_str())) << b.error;
  EXPECT_EQ(b.get("VG100(1)"), a.get("VG100(1)"));
  EXPECT_EQ(b.states()[0], a.states()[0]);
  EXPECT_EQ(b.inputs()[1], 1.0);

  // One byte short, and one byte long.
  std::vector<char> bytes;
  {
    std::ifstream f(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(bytes.size(), 1963u * 8u);
  std::vector<char> shorter(bytes.begin(), bytes.end() - 1), longer = bytes;
  longer.push_back('x');
  for (const std::vector<char>* image : {&shorter, &longer}) {
    std::ofstream(path, std::ios::binary).write(image->data(), static_cast<std::streamsize>(image->size()));
    tolvusim::Sim c;
    EXPECT_FALSE(c.init(1, nullptr, path.c_str())) << image->size();
  }
  std::remove(path.c_str());
  tolvusim::Sim d;
  EXPECT_FALSE(d.init(1, nullptr, path.c_str()));
}

TEST(TolvuSim, ScheduleLinesSetInputsFromTheirTimeOn) {
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  std::vector<tolvusim::Event> ev;
  std::string err;
  ASSERT_TRUE(tolvusim::parseScheduleLine(sim, "0.5 Throttle=1, gear=2\tsteer=-0.5", ev, err)) << err;
  ASSERT_TRUE(tolvusim::parseScheduleLine(sim, "  # comment", ev, err));
  ASSERT_TRUE(tolvusim::parseScheduleLine(sim, "", ev, err));
  ASSERT_TRUE(tolvusim::parseScheduleLine(sim, "0 brake=1", ev, err));
  ASSERT_EQ(ev.size(), 4u);
  tolvusim::sortEvents(ev);
  size_t next = 0;
  tolvusim::applyEvents(sim, ev, next);
  EXPECT_EQ(sim.inputs()[2], 1.0);
  EXPECT_EQ(sim.inputs()[1], 0.0);
  for (int k = 0; k < 50; ++k) ASSERT_TRUE(sim.step());
  tolvusim::applyEvents(sim, ev, next);
  EXPECT_EQ(sim.inputs()[1], 1.0);
  EXPECT_EQ(sim.inputs()[4], 2.0);
  EXPECT_EQ(sim.inputs()[0], -0.5);

  for (const char* bad : {"x throttle=1", "-1 throttle=1", "1 throttle", "1 wings=2", "1 gear=abc", "1 gear=", "1 gear=nan"}) {
    std::vector<tolvusim::Event> none;
    EXPECT_FALSE(tolvusim::parseScheduleLine(sim, bad, none, err)) << bad;
  }
}

TEST(TolvuSim, SlopedGroundRisesAlongX) {
  tolvusim::ground() = tolvusim::Ground{};
  tolvusim::ground().slope = std::atan(0.1);
  double out[8];
  const double point[3] = {10.0, 2.0, -5.0}, aux[3] = {0, 0, 0.4};
  tolvusim::groundQuery(out, point, aux, 1.0);
  EXPECT_DOUBLE_EQ(out[2], -1.0);  // 1 m above the reference, z down
  EXPECT_NEAR(std::hypot(std::hypot(out[3], out[4]), out[5]), 1.0, 1e-15);
  EXPECT_LT(out[3], 0.0);  // the normal leans back, against the rise
  EXPECT_EQ(out[6], 1.0);
  EXPECT_EQ(out[7], 0.01);
  tolvusim::ground() = tolvusim::Ground{};
}

TEST(TolvuSim, UnknownModelTypeIsRefused) {
  tolvusim::Sim sim;
  EXPECT_FALSE(sim.init(7));
  EXPECT_FALSE(sim.error.empty());
}

}  // namespace
