// tolvu-sim --shift as a user runs it on CAR_2: from first gear at full throttle the gears rise one
// at a time, each after the engine has followed the last, and the car gets well past the speed at
// which it crawled when every step above the shift speed raised the gear.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_tool.h"

namespace {

struct TraceRow {
  double t, speed, rpm, gear;
};

// Rows of the trace's t, speed, engine_rpm and gear columns.
std::vector<TraceRow> ParseTrace(const std::string& csv) {
  std::vector<TraceRow> rows;
  std::istringstream in(csv);
  std::string line;
  std::vector<std::string> header;
  int ct = -1, cs = -1, cr = -1, cg = -1;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    if (ct < 0) {
      for (int k = 0; k < int(cells.size()); ++k) {
        if (cells[size_t(k)] == "t") ct = k;
        if (cells[size_t(k)] == "speed") cs = k;
        if (cells[size_t(k)] == "engine_rpm") cr = k;
        if (cells[size_t(k)] == "gear") cg = k;
      }
      continue;
    }
    if (int(cells.size()) <= std::max(std::max(ct, cs), std::max(cr, cg))) continue;
    rows.push_back({std::atof(cells[size_t(ct)].c_str()), std::atof(cells[size_t(cs)].c_str()),
                    std::atof(cells[size_t(cr)].c_str()), std::atof(cells[size_t(cg)].c_str())});
  }
  return rows;
}

TEST(Car2ShiftTool, GearsRiseOneAtATimeAndTheCarGetsUpToSpeed) {
  std::string out;
  ASSERT_EQ(vqtest::RunTool("tolvu-sim --type 2 --time 30 --at '0 clutch=1 gear=1 throttle=1' --shift 6000:5", &out),
            0)
      << out;
  const std::vector<TraceRow> rows = ParseTrace(out);
  ASSERT_GT(rows.size(), 1000u) << out.substr(0, 400);

  std::vector<double> shiftTimes;
  double gear = rows.front().gear, fastest = 0.0;
  for (const TraceRow& r : rows) {
    if (r.gear != gear) {
      EXPECT_EQ(r.gear, gear + 1.0) << "at t=" << r.t;
      gear = r.gear;
      shiftTimes.push_back(r.t);
    }
    fastest = std::max(fastest, r.speed);
  }
  ASSERT_GE(shiftTimes.size(), 2u);
  for (size_t k = 1; k < shiftTimes.size(); ++k)
    EXPECT_GT(shiftTimes[k] - shiftTimes[k - 1], 1.0) << "shift " << k;
  EXPECT_LE(gear, 5.0);
  // It crawled at 94 km/h in fifth gear before; it now runs well beyond.
  EXPECT_GT(fastest * 3.6, 120.0);
  EXPECT_GT(rows.back().rpm, 3000.0);
}

}  // namespace
