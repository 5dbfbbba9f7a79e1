// What every program says on the command line: --help, option errors, engine error texts, and
// a folder given where a file is expected.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string Bin() {
  const char* env = std::getenv("VQ_BIN_DIR");
  return env ? env : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs a program of the build with stdout and stderr captured into *out.
int RunTool(const std::string& cmd, std::string* out) {
  const std::string file = ::testing::TempDir() + "cli_out_" + std::to_string(::getpid());
  const int rc = std::system(("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + Bin() + "/" + cmd + " >" + file +
                              " 2>&1")
                                 .c_str());
  std::ifstream in(file);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(file.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

TEST(CommandLine, HelpPrintsUsageAndSucceedsInEveryProgram) {
  for (const char* program : {"vqtool", "vqview", "physics-demo", "tolvu-sim", "zentri-demo", "overlay-demo", "Pindrel", "datagen"}) {
    std::string out;
    EXPECT_EQ(RunTool(std::string(program) + " --help", &out), 0) << program;
    EXPECT_NE(out.find("usage:"), std::string::npos) << program << ": " << out;
  }
}

TEST(CommandLine, VqtoolHelpDescribesTheFormats) {
  std::string out;
  ASSERT_EQ(RunTool("vqtool help", &out), 0);
  EXPECT_NE(out.find("\"<key>\" or \"<key:id>\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"v X Y Z\" vertex"), std::string::npos) << out;
}

TEST(CommandLine, OutOfRangeOptionsSayWhichAndWhy) {
  struct Case {
    const char* command;
    const char* message;
  };
  const Case cases[] = {
      {"physics-demo --cars 99", "--cars: needs a whole number of cars from 0 to 31"},
      {"physics-demo --time -1", "--time: needs a number of seconds from 0 to 3600"},
      {"vqview x.vqo --size 8x8", "--size: needs WIDTHxHEIGHT, each from 16 to 8192"},
      {"vqview x.vqo --frames 0", "--frames: needs a whole number of frames above 0"},
      {"zentri-demo --frames abc", "--frames: needs a whole number of frames above 0"},
      {"overlay-demo --frames abc", "--frames: needs a whole number of frames above 0"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunTool(c.command, &out), 2) << c.command;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.command << ": " << out;
  }
}

TEST(CommandLine, EngineErrorsAreNamedBesideTheirNumber) {
  std::string out;
  EXPECT_EQ(RunTool("vqtool scene-info /nonexistent/none.vqo", &out), 1);
  EXPECT_NE(out.find("VQERR_"), std::string::npos) << out;
}

TEST(CommandLine, AFolderGivenForAFileIsACleanError) {
  const std::string dir = ::testing::TempDir() + "cli_dirs_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir + "/d.vqo");
  std::filesystem::create_directories(dir + "/d.vqt");
  const std::string commands[] = {
      "vqtool scene-info " + dir + "/d.vqo",
      "vqtool scene-vrml " + dir + "/d.vqo " + dir + "/out.wrl",
      "vqtool terrain-info " + dir + "/d.vqt",
      "vqtool terrain-build " + dir + "/d.vqo " + dir + "/out.vqt",
      "vqtool scramble " + dir + "/d.vqo " + dir + "/out.bin",
      "vqview " + dir + "/d.vqo --frames 1",
  };
  for (const std::string& command : commands) {
    std::string out;
    const int rc = RunTool(command, &out);
    EXPECT_GE(rc, 1) << command << ": " << out;
    EXPECT_LE(rc, 2) << command << ": " << out;
    EXPECT_EQ(out.find("bad_alloc"), std::string::npos) << command << ": " << out;
    EXPECT_NE(out.find("VQERR_"), std::string::npos) << command << ": " << out;
  }
  // physics-demo's --terrain names an input: a folder there is an error, never a rewrite.
  std::string out;
  EXPECT_EQ(RunTool("physics-demo --time 0 --cars 1 --terrain " + dir + "/d.vqt", &out), 1) << out;
  EXPECT_EQ(out.find("bad_alloc"), std::string::npos) << out;
  EXPECT_NE(out.find("VQERR_FILE_ACCESS"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/out.wrl"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/out.bin"));
  std::filesystem::remove_all(dir);
}
