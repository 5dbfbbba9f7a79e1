// What every program says on the command line: --help, option errors, engine error texts, and
// a folder given where a file is expected.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/run_tool.h"

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

// Runs a program of the build with only its stdout captured into *out (stderr dropped).
int RunToolStdout(const std::string& cmd, std::string* out) {
  const std::string file = ::testing::TempDir() + "cli_stdout_" + std::to_string(::getpid());
  const int rc = std::system(("{ SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + Bin() + "/" +
                              cmd + " 2>/dev/null; } >" + file)
                                 .c_str());
  std::ifstream in(file);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(file.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

TEST(CommandLine, HelpPrintsUsageAndSucceedsInEveryProgram) {
  for (const char* program :
       {"vqtool", "vqview", "physics-demo", "tolvu-sim", "zentri-demo", "overlay-demo", "Pindrel",
        "datagen", "car-demo", "track-demo", "sound-demo", "net-demo", "netgame-peer", "input-demo",
        "vqtool scene-info", "vqtool terrain-build"}) {
    for (const char* option : {" --help", " -h"}) {
      // The usage goes to stdout alone: a user pipes it into a pager.
      std::string out;
      EXPECT_EQ(RunToolStdout(std::string(program) + option, &out), 0) << program << option;
      EXPECT_NE(out.find("usage:"), std::string::npos) << program << option << ": " << out;
    }
  }
}

// Every program's directory listing: a program nobody runs here would be a program without
// --help and option checks.
TEST(CommandLine, EveryProgramOfTheToolsFolderIsChecked) {
  const std::string checked =
      " vqtool vqview physics-demo tolvu-sim zentri-demo overlay-demo datagen car-demo track-demo "
      "sound-demo net-demo"
      " netgame-peer input-demo ";
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(VQ_SOURCE_DIR) + "/tools")) {
    if (!entry.is_directory() || !std::filesystem::exists(entry.path() / "CMakeLists.txt"))
      continue;
    const std::string name = entry.path().filename().string();
    EXPECT_NE(checked.find(" " + name + " "), std::string::npos)
        << name << " is not among the checked programs";
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
      {"sound-demo x.wav --pan 101", "--pan: needs a percentage from 0 to 100"},
      {"sound-demo x.wav --seconds -2", "--seconds: needs a number of seconds from 0 to 3600"},
      {"sound-demo x.wav --volume nan", "--volume: needs a gain from 0 to 1000"},
      {"sound-demo --loop", "give at least one sound file"},
      {"input-demo --driver joystick", "--driver: needs directinput or windows"},
      {"input-demo --seconds 0", "--seconds: needs a number of seconds above 0"},
      {"net-demo echo 70000", "PORT '70000': needs a whole number from 0 to 65535"},
      {"netgame-peer host --players 9", "--players: needs a whole number of players from 1 to 8"},
      {"netgame-peer host --tcp 1.5", "--tcp: needs a port number from 0 to 65535"},
      {"netgame-peer join 300.1.2.3", "needs an address of four numbers"},
      {"netgame-peer fly", "fly: is no mode"},
      {"netgame-peer host --colour red", "--colour: is not an option"},
      {"tolvu-sim --type 7", "--type: needs a model type the simulator knows"},
      {"tolvu-sim --every 0", "--every: needs a whole number of steps from 1"},
      {"tolvu-sim --mu -1", "--mu: needs a friction coefficient from 0 to 10"},
      {"tolvu-sim --rolling 2", "--rolling: needs a rolling coefficient from 0 to 1"},
      {"tolvu-sim --slope 95", "--slope: needs an angle in degrees above -90 and below 90"},
      {"tolvu-sim --shift 6000:9",
       "--shift: needs a top gear (after the colon) that is a whole number from 1 to 6"},
      {"tolvu-sim --dt 5", "--dt: needs a step in seconds from 0.000001 to 1"},
      {"tolvu-sim --time -3", "--time: needs a number of seconds from 0 to 1000000"},
      {"tolvu-sim --wheels 3", "unknown option --wheels"},
      {"car-demo --car 2", "--car: needs a skin number 0 or 1"},
      {"car-demo --seconds 0", "--seconds: needs a number of seconds above 0 and at most 3600"},
      {"car-demo --turbo", "--turbo is not an option"},
      {"track-demo oval --laps 0", "--laps needs a whole number of laps from 1 to 100"},
      {"track-demo oval --seconds 1e9",
       "--seconds needs a number of seconds above 0 and at most 36000"},
      {"track-demo", "give the name of a track"},
      {"vqtool image-convert a.tga b.jpg --bogus", "--bogus is not an option (--raw or --packed)"},
      {"vqtool tolvu-info x", "TYPE 'x': needs a model type number or name"},
      {"vqtool scramble a b zz", "the key must be a non-empty even number of hex digits"},
      {"vqtool font-sheet a.ttf 12 b.tga --outline 99", "outline 0-8"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunTool(c.command, &out), 2) << c.command;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.command << ": " << out;
  }
}

TEST(CommandLine, EngineErrorsAreNamedBesideTheirNumber) {
  const std::string wav = ::testing::TempDir() + "cli_named_" + std::to_string(::getpid()) + ".wav";
  const std::string commands[] = {
      "vqtool scene-info /nonexistent/none.vqo",
      "vqtool terrain-info /nonexistent/none.vqt",
      "sound-demo /nonexistent/none.wav --render " + wav + " --seconds 0.1",
      "vqview /nonexistent/none.vqo --frames 1",
  };
  for (const std::string& command : commands) {
    std::string out;
    EXPECT_EQ(RunTool(command, &out), 1) << command;
    // "error N VQERR_NAME: meaning"
    const size_t at = out.find("error ");
    ASSERT_NE(at, std::string::npos) << command << ": " << out;
    EXPECT_NE(out.find(" VQERR_", at), std::string::npos) << command << ": " << out;
    EXPECT_NE(out.find(": ", out.find(" VQERR_", at)), std::string::npos) << command << ": " << out;
  }
  std::remove(wav.c_str());
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
      "vqtool package-list " + dir + "/d.vqo",
      "vqtool image-info " + dir + "/d.vqo",
      "vqtool strings-dump " + dir + "/d.vqo",
      "sound-demo " + dir + "/d.vqo --render " + dir + "/out.wav --seconds 0.1",
  };
  for (const std::string& command : commands) {
    std::string out;
    const int rc = RunTool(command, &out);
    EXPECT_GE(rc, 1) << command << ": " << out;
    EXPECT_LE(rc, 2) << command << ": " << out;
    EXPECT_EQ(out.find("bad_alloc"), std::string::npos) << command << ": " << out;
    EXPECT_NE(out.find("VQERR_"), std::string::npos) << command << ": " << out;
    EXPECT_EQ(out.find("VQERR_BAD_HEADER"), std::string::npos)
        << command << ": a folder is no bad file: " << out;
  }
  // physics-demo's --terrain names an input: a folder there is an error, never a rewrite.
  std::string out;
  EXPECT_EQ(RunTool("physics-demo --time 0 --cars 1 --terrain " + dir + "/d.vqt", &out), 1) << out;
  EXPECT_EQ(out.find("bad_alloc"), std::string::npos) << out;
  EXPECT_NE(out.find("VQERR_FILE_ACCESS"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/out.wrl"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/out.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/out.wav"));
  std::filesystem::remove_all(dir);
}

// A user's own "logfile.txt" in the folder a program runs from is neither deleted nor written,
// and a program run in a folder without one leaves none there (its engine messages go to stderr).
TEST(CommandLine, ProgramsLeaveTheFoldersLogfileAlone) {
  namespace fs = std::filesystem;
  const std::string base = ::testing::TempDir() + "cli_logs_" + std::to_string(::getpid());
  fs::remove_all(base);
  const std::string own = base + "/own", empty = base + "/empty";
  fs::create_directories(own);
  fs::create_directories(empty);
  const std::string mine = "my own notes, kept for years\n";
  std::ofstream(own + "/logfile.txt") << mine;
  struct Case {
    const char* command;
    bool succeeds;
  };
  const Case cases[] = {
      {"vqtool scene-demo demo.vqo", true},
      {"vqview demo.vqo --frames 2", true},
      {"vqtool terrain-build demo.vqo demo.vqt", true},
      {"zentri-demo --frames 2", true},
      {"overlay-demo --frames 2", true},
      {"input-demo --seconds 0.1", true},
      {"sound-demo missing.wav --render out.wav --seconds 0.1", false},
      {"physics-demo --time 0.1 --cars 1", true},
      {"tolvu-sim --time 0.1", true},
      {"car-demo --headless --seconds 0.2", true},
  };
  for (const std::string& dir : {own, empty}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(dir + ": " + c.command);
      std::string out;
      const int rc = vqtest::RunCommand(
          "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" + vqtest::BinDir() + "'/" + c.command,
          &out, dir);
      if (c.succeeds)
        EXPECT_EQ(rc, 0) << out;
      else
        EXPECT_EQ(rc, 1) << out;
    }
  }
  std::ifstream in(own + "/logfile.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            mine);
  EXPECT_FALSE(fs::exists(empty + "/logfile.txt"));
  fs::remove_all(base);
}
