// The crash report: when the program faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) a
// handler running on its own stack writes a plain-text report, "Crashlog.txt", into the folder
// given at installation: what happened where and when, on which machine, the registers of the
// signal context, the code bytes and the stack at the fault, the call stack with the symbol
// names that can be found, and the loaded modules. Then the signal's default action follows
// (the process ends as it would have without the report).
//
// The handler uses only async-signal-safe calls: everything that needs the C library's
// allocating or locale-dependent parts (paths, user name, machine facts, the time-zone offset)
// is gathered when the handler is installed. At most one report is written per run.
#pragma once

#include <cstddef>

namespace host {

// The report's file name.
inline constexpr const char* CRASH_REPORT_NAME = "Crashlog.txt";

// Installs the handlers and their alternate stack. folder: where the report goes (null or ""
// for the working folder), resolved to an absolute path now; title: the program's title named
// in the report ("Quorvex"). False when the stack or a handler cannot be installed or the
// path is too long; nothing is left half installed.
bool crash_install(const char* folder, const char* title);
// Restores the previous handlers and frees the alternate stack.
void crash_uninstall();
// The full path of the report file ("" before crash_install).
const char* crash_report_path();
// Whether the handler of this process has written its report.
bool crash_report_written();

}  // namespace host
