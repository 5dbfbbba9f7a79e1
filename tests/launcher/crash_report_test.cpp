// The crash report: child processes fault on purpose and the parent reads their reports.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/crash/crash_report.h"

namespace fs = std::filesystem;

// Kept out of line and exported so that the report's call stack can name them; the
// undefined-behaviour checker is kept out of them so that the fault itself happens.
#define QUORVEX_FAULT extern "C" __attribute__((noinline, no_sanitize("undefined")))
QUORVEX_FAULT void QuorvexTestReadNull(volatile int* p) { std::exit(*p); }
QUORVEX_FAULT void QuorvexTestWriteNull(volatile int* p) { *p = 7; }
QUORVEX_FAULT int QuorvexTestDivide(int d) {
  volatile int divisor = d;
  return 100 / divisor;
}

namespace {

class CrashReport : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() /
            ("quorvex_crash_" + std::to_string(getpid()) + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Runs fault in a child that installed the handler; returns the signal that ended it (0 for
  // a normal exit) and the report's text.
  template <typename Fault>
  int Crash(Fault fault, std::string* report) {
    const pid_t child = fork();
    if (child == 0) {
      if (!host::crash_install(m_dir.c_str(), "Quorvex")) _exit(90);
      fault();
      _exit(91);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(m_dir / host::CRASH_REPORT_NAME, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    *report = text.str();
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
  }
  fs::path m_dir;
};

}  // namespace

TEST_F(CrashReport, ReadingAddressZeroIsReportedWithEverySection) {
  std::string report;
  ASSERT_EQ(Crash([] { QuorvexTestReadNull(nullptr); }, &report), SIGSEGV);
  EXPECT_NE(report.find("caused an Access Violation (signal 11) in module "), std::string::npos)
      << report;
  EXPECT_NE(report.find("Exception handler called in Quorvex.\r\n"), std::string::npos);
  EXPECT_NE(report.find("Error occurred at "), std::string::npos);
  EXPECT_NE(report.find(" processor(s), type "), std::string::npos);
  EXPECT_NE(report.find(" MBytes physical memory.\r\n"), std::string::npos);
  EXPECT_NE(report.find("Read from location 0000000000000000 caused an access violation.\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("\r\nRegisters:\r\n"), std::string::npos);
  EXPECT_NE(report.find("Bytes at CS:EIP:\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\nStack dump:\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\nProgram Stack:\r\n"), std::string::npos);
  EXPECT_NE(report.find("QuorvexTestReadNull"), std::string::npos)
      << "the faulting function is named";
  EXPECT_NE(report.find("Module list"), std::string::npos);
  EXPECT_NE(report.find("libc"), std::string::npos) << "loaded modules are listed";
  EXPECT_NE(report.find("test_launcher"), std::string::npos);
}

TEST_F(CrashReport, WritesAreToldFromReads) {
  std::string report;
  ASSERT_EQ(Crash([] { QuorvexTestWriteNull(reinterpret_cast<volatile int*>(16)); }, &report),
            SIGSEGV);
#if defined(__x86_64__)
  EXPECT_NE(report.find("Write to location 0000000000000010 caused an access violation."),
            std::string::npos)
      << report;
#endif
}

TEST_F(CrashReport, EachSignalIsNamedAndEndsTheProcess) {
  struct Case {
    const char* name;
    int signal;
    void (*fault)();
  };
  const Case cases[] = {
      {"an Integer Divide by Zero", SIGFPE, [] { QuorvexTestDivide(0); }},
      {"an Abort", SIGABRT, [] { std::abort(); }},
      {"an Illegal Instruction", SIGILL, [] { raise(SIGILL); }},
      {"an In Page Error", SIGBUS, [] { raise(SIGBUS); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(m_dir / host::CRASH_REPORT_NAME);
    std::string report;
    EXPECT_EQ(Crash(c.fault, &report), c.signal);
    EXPECT_NE(report.find(std::string("caused ") + c.name), std::string::npos) << report;
    EXPECT_NE(report.find("Program Stack:"), std::string::npos);
  }
}

TEST_F(CrashReport, AnOldReportIsReplaced) {
  std::ofstream(m_dir / host::CRASH_REPORT_NAME) << std::string(100000, 'x');
  std::string report;
  ASSERT_EQ(Crash([] { std::abort(); }, &report), SIGABRT);
  EXPECT_EQ(report.find('x' + std::string(50, 'x')), std::string::npos);
  EXPECT_NE(report.find("caused an Abort"), std::string::npos);
}

TEST_F(CrashReport, UnwritableFolderIsRefusedAtInstall) {
  EXPECT_FALSE(host::crash_install((m_dir / "missing" / "deeper").c_str(), "Quorvex"));
  std::string report;
  EXPECT_EQ(Crash([] { std::exit(3); }, &report), -3);
  EXPECT_TRUE(report.empty());
}
