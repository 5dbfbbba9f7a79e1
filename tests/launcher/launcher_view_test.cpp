// The launcher's FLTK dialogs on a virtual X server (skipped when Xvfb is not installed): a
// script presses the real widgets and the model behind them answers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "QVX/shell/Launcher.h"

namespace fs = std::filesystem;

// The leak checker of sanitizer builds: the font library under FLTK keeps its caches for the
// life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// An Xvfb server on a display number it picks itself; stopped with the object.
class VirtualDisplay {
 public:
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    m_pid = fork();
    if (m_pid == 0) {
      close(fds[0]);
      // The server ends with the test, and never holds the test's output open.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    size_t used = 0;
    while (used + 1 < sizeof buffer) {
      const ssize_t n = read(fds[0], buffer + used, 1);
      if (n <= 0 || buffer[used] == '\n') break;
      ++used;
    }
    close(fds[0]);
    buffer[used] = 0;
    if (!used) return false;
    m_display = std::string(":") + buffer;
    return true;
  }
  ~VirtualDisplay() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  const std::string& Name() const { return m_display; }

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

bool HaveXvfb() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

}  // namespace

TEST(LauncherView, ScriptedDialogsDriveTheModel) {
  if (!HaveXvfb()) GTEST_SKIP() << "Xvfb is not installed";
  VirtualDisplay display;
  if (!display.Start()) GTEST_SKIP() << "Xvfb does not start here";
  setenv("DISPLAY", display.Name().c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  ASSERT_TRUE(host::launcher_display_present());

  const fs::path dir =
      fs::temp_directory_path() / ("quorvex_launcher_view_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Languages");
  for (const char* name : {"English.bin", "Deutsch.bin"})
    std::ofstream(dir / "Languages" / name) << "x";
  std::ofstream(dir / "Config.ini") << "// kept\nlanguage = english\nwindowed = 1\nbuffers = 2\n";

  int language = 0;
  std::string text;
  LauncherHooks hooks;
  hooks.text = [&](int id) {
    text = (language == 2 ? "de" : "en") + std::to_string(id);
    return text.c_str();
  };
  hooks.setLanguage = [&](int l) { language = l; };
  Launcher launcher((dir / "Config.ini").string(), (dir / "Languages").string(), hooks);
  LauncherEnvironment environment;
  environment.videoPresent = true;
  host::DisplayAdapterInfo card;
  card.name = "Card";
  card.hardware = card.hardware_tnl = true;
  card.modes = {{640, 480, 24}, {800, 600, 24}};
  environment.displays = {card};
  environment.soundDevices = {"Speakers"};
  launcher.SetEnvironment(environment);

  host::LauncherRunOptions options = launcher.Start();
  std::vector<std::string> boxes;
  std::vector<std::pair<int, std::string>> labels;
  options.script = {{host::LAUNCHER_CONFIGURE, 0},  {host::CONFIG_LANGUAGE_LIST, 0},
                    {host::CONFIG_TRIPLE, 1},       {host::CONFIG_RESOLUTION_LIST, 1},
                    {host::CONFIG_TEXTURE_HIGH, 1}, {host::CONFIG_OK, 0},
                    {host::LAUNCHER_CLOSE, 0},      {host::LAUNCHER_PLAY, 0}};
  options.script_skips_boxes = true;
  options.shown_boxes = &boxes;
  options.final_labels = &labels;
  ASSERT_TRUE(host::launcher_run(launcher, options));

  // The close box ended the run before Play! could be pressed: no game.
  EXPECT_FALSE(launcher.Play());
  std::map<int, std::string> shown(labels.begin(), labels.end());
  EXPECT_EQ(shown[host::LAUNCHER_PLAY], "de56");  // relabelled in the chosen language
  EXPECT_EQ(shown[host::CONFIG_TITLE], "de51");
  EXPECT_EQ(shown[host::LAUNCHER_WEB], LAUNCHER_WEB_ADDRESS);
  std::ifstream in(dir / "Config.ini");
  std::stringstream written;
  written << in.rdbuf();
  const std::string config = written.str();
  EXPECT_NE(config.find("// kept\n"), std::string::npos) << config;
  EXPECT_NE(config.find("windowed = 1\n"), std::string::npos);
  EXPECT_NE(config.find("buffers = 3\n"), std::string::npos);
  EXPECT_NE(config.find("horizontalresolution = 800\n"), std::string::npos);
  EXPECT_NE(config.find("language = deutsch\n"), std::string::npos);
  EXPECT_NE(config.find("texturequality = 0\n"), std::string::npos)
      << "the texture controls are disabled";
  EXPECT_TRUE(boxes.empty());
  fs::remove_all(dir);
}
