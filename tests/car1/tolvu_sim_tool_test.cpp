// tolvu-sim as a user runs it: inputs are checked before they reach the library, and the
// README's examples run as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_tool.h"

namespace {

std::string Dir() {
  const std::string d = ::testing::TempDir() + "tolvu_sim_tool_" + std::to_string(::getpid());
  std::filesystem::create_directories(d);
  return d;
}

struct BadCase {
  std::string args;
  std::string says;  // part of the message
};

TEST(TolvuSimTool, RefusesBadInputsWithANonZeroExitAndAReason) {
  const std::string d = Dir();
  std::filesystem::create_directories(d + "/folder");
  std::ofstream(d + "/binary.bin", std::ios::binary).write("\x7f" "ELF\0\0\1\2", 8);
  const std::vector<BadCase> cases = {
      {"--data " + d + "/missing.txt", "cannot read the data file"},
      {"--data " + d + "/folder", "cannot read the data file"},
      {"--data " + d + "/binary.bin", "not a text file"},
      {"--store " + d + "/folder", "cannot read the store image " + d + "/folder (it is a folder)"},
      {"--store " + d + "/missing.bin", "cannot read the store image"},
      {"--schedule " + d + "/folder", "cannot read the schedule"},
      {"--schedule " + d + "/missing.txt", "cannot read the schedule"},
      {"--at '0 gear=99999999999'", "gear=1e+11 is out of range"},
      {"--at '0 gear=1.5'", "gear takes a whole number from -1 to 6"},
      {"--at '0 throttle=5'", "throttle=5 is out of range"},
      {"--at '0 throttle=1e308'", "throttle takes a value from 0 to 1"},
      {"--at '0 brake=-0.5'", "brake=-0.5 is out of range"},
      {"--at '0 steer=100'", "steer=100 is out of range"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_NE(vqtest::RunTool("tolvu-sim --time 0.1 " + c.args, &out), 0);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(out.find("t,x,y,z"), std::string::npos) << "no trace may be printed";
  }
}

TEST(TolvuSimTool, ReadmeExamplesRunAsWritten) {
  std::ifstream readme(std::string(VQ_SOURCE_DIR) + "/tools/tolvu-sim/README.md");
  ASSERT_TRUE(readme);
  std::string line;
  int examples = 0;
  while (std::getline(readme, line)) {
    const std::string prefix = "build/bin/tolvu-sim ";
    if (line.rfind(prefix, 0) != 0) continue;
    SCOPED_TRACE(line);
    std::string out;
    EXPECT_EQ(vqtest::RunTool("tolvu-sim " + line.substr(prefix.size()), &out, VQ_SOURCE_DIR), 0) << out;
    EXPECT_NE(out.find("t,x,y,z"), std::string::npos) << out;
    ++examples;
  }
  EXPECT_GE(examples, 4);
}

}  // namespace
