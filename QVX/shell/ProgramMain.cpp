// The main routine, the Linux command line and the screens' frame pumps.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QVX/shell/Launcher.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/ScriptedInput.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQlog.h"
#include "host/crash/crash_report.h"

namespace {

// The frame budget of this run (--frames) and the scripted input, shared by every screen.
struct RunState {
  uint32_t frame = 0;
  uint32_t frameLimit = 0;
  ScriptedInput* input = nullptr;
  Program* program = nullptr;
};
RunState s_run;

// The fixed-step clock: each read advances the time stamp by one step, and the frame pump reads
// it once per frame.
uint64_t s_fixedStepNs = 0;
uint64_t s_fixedClock = 0;
uint64_t FixedStepSource() { return s_fixedClock += s_fixedStepNs; }

void OnScreenFrame(uintptr_t) {
  ++s_run.frame;
  // Closing the game window destroys its canvas: that ends the program like quitting does.
  if (s_run.program && !s_run.program->CanvasAlive()) {
    s_run.program->m_canvas = nullptr;
    s_run.program->m_mainViewport = nullptr;
    s_run.program->m_quit = 1;
    g_VQsystem.m_stop = 1;
    return;
  }
  if (s_run.input && s_run.program) s_run.input->Feed(s_run.frame, s_run.program->m_canvas);
  if (s_run.frameLimit && s_run.frame >= s_run.frameLimit) {
    if (s_run.program) s_run.program->m_quit = 1;
    g_VQsystem.m_stop = 1;
  }
}

bool ParseUnsigned(const char* text, uint32_t* out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (errno || !end || *end || end == text || v > 0xFFFFFFFFul) return false;
  *out = uint32_t(v);
  return true;
}

}  // namespace

bool ParseProgramOptions(int argc, char** argv, ProgramOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--headless") {
      options->headless = true;
    } else if (arg == "--data") {
      if (!value(&v)) return false;
      options->dataDir = v;
    } else if (arg == "--seed") {
      if (!value(&v) || !ParseUnsigned(v, &options->seed)) {
        *error = "--seed needs a number";
        return false;
      }
      options->seeded = true;
    } else if (arg == "--fixed-step") {
      if (!value(&v)) return false;
      char* end = nullptr;
      options->fixedStep = std::strtof(v, &end);
      if (!end || *end || !(options->fixedStep > 0.0f) || options->fixedStep > 10.0f) {
        *error = "--fixed-step needs seconds above 0 (at most 10)";
        return false;
      }
    } else if (arg == "--input") {
      if (!value(&v)) return false;
      options->inputFile = v;
    } else if (arg == "--frames") {
      if (!value(&v) || !ParseUnsigned(v, &options->frames)) {
        *error = "--frames needs a number";
        return false;
      }
    } else if (arg == "--results") {
      if (!value(&v)) return false;
      options->resultsFile = v;
    } else if (arg == "--steer-assist") {
      options->steerAssist = true;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

// ---- screens ----------------------------------------------------------------------------------

void ProgramSetFrameBudget(Program* program, uint32_t frames) {
  s_run = RunState();
  s_run.program = program;
  s_run.frameLimit = frames;
}

bool ProgramScreenFrame() {
  OnScreenFrame(0);
  return !g_VQsystem.m_stop;
}

// ---- main routine -----------------------------------------------------------------------------

int RunProgram(int argc, char** argv) {
  static const char* const kUsage =
      "usage: Pindrel [--data DIR] [--headless] [--seed N] [--fixed-step S] [--input FILE] [--frames N] "
      "[--results FILE] [--steer-assist]\n"
      "  --data DIR        the folder holding Config.ini and Data (default: the working folder)\n"
      "  --headless        offscreen video, dummy audio, message boxes on stderr\n"
      "  --seed N          random numbers seeded with N instead of the time\n"
      "  --fixed-step S    the clock advances S seconds a frame; frames run back to back\n"
      "  --input FILE      scripted input: 'FRAME key CODE down|up', 'FRAME mouse X Y BUTTONS', 'FRAME quit'\n"
      "  --frames N        close the window after N frames\n"
      "  --results FILE    append race results as CSV\n"
      "  --steer-assist    the local players' cars steer along the racing line (scripted runs)\n";
  ProgramOptions options;
  std::string error;
  if (!ParseProgramOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "Pindrel: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ProgramSetUpHost(options)) return 1;
  // A fault from here on writes "Crashlog.txt" into the data folder.
  host::crash_install(".", "Quorvex");
  VQlog_SetHandler(nullptr);
  Program* program = new (std::nothrow) Program(options);
  if (!program) return 1;
  program->LoadLanguageStrings();
  LauncherHooks hooks;
  hooks.text = [program](int id) { return program->m_texts->GetById(id); };
  hooks.setLanguage = [program](int language) {
    program->m_config.language = language;
    program->LoadLanguageStrings();
  };
  hooks.open = [](const char* target) { return host::launcher_open_with_desktop(target); };
  // Leaving the launcher without playing ends the program at once.
  if (!RunLauncher(hooks)) return 0;
  ScriptedInput input;
  if (!options.inputFile.empty() && !input.Load(options.inputFile.c_str())) {
    std::fprintf(stderr, "Pindrel: cannot read the input script '%s': %s\n", options.inputFile.c_str(),
                 input.Error().c_str());
    return 2;
  }
  s_run = RunState();
  s_run.program = program;
  s_run.frameLimit = options.frames ? options.frames : (options.headless ? 1 : 0);
  s_run.input = options.inputFile.empty() ? nullptr : &input;
  if (s_run.input) {
    // The script's waits end on lines of the game log.
    program->m_logObserverUser = &input;
    program->m_logObserver = [](void* user, const char* line) {
      static_cast<ScriptedInput*>(user)->NoteLogLine(line);
    };
  }
  if (options.fixedStep > 0.0f) {
    s_fixedStepNs = uint64_t(double(options.fixedStep) * 1e9);
    s_fixedClock = 0;
    VQwin32_SetTimeStampSource(FixedStepSource);
    VQwin32_SetFrameSleep(0);
  }
  const unsigned count = argc > 1 ? unsigned(argc - 1) : 0;
  if (!program->Initialize(count, argc > 1 ? argv + 1 : nullptr)) {
    // A failed start-up ends at once, leaving what it opened; the exit code tells the caller.
    return 1;
  }
  program->PlayIntro();
  if (program->m_canvas) program->m_canvas->Show(true);
  if (!program->RunMenus()) program->m_quit = 1;
  while (!program->m_quit) {
    program->RunRace();
    if (program->m_quit) break;
    if (!program->RunMenus()) break;
  }
  program->PlayOutro();
  program->Shutdown();
  delete program;
  g_program = nullptr;
  s_run = RunState();
  return 0;
}
