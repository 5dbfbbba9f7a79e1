#include "host/crash/crash_report.h"

#include <execinfo.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace host {
namespace {

constexpr size_t kPathSize = PATH_MAX + 32;
constexpr size_t kTextSize = 256;
constexpr size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 512;
constexpr size_t kStackDumpWords = 1024;  // 8 KB of stack
constexpr size_t kStackWordsPerLine = 4;
constexpr size_t kCodeBytes = 16;

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Everything the handler needs, gathered at installation.
struct CrashState {
  bool installed = false;
  char reportPath[kPathSize] = {};
  char programPath[kPathSize] = {};
  char programName[kTextSize] = {};
  char title[kTextSize] = {};
  char user[kTextSize] = {};
  char machine[kTextSize] = {};
  long processors = 0;
  unsigned long long memoryMb = 0;
  long timeZoneOffset = 0;  // seconds east of UTC when installed
  void* altStack = nullptr;
  stack_t oldStack = {};
  struct sigaction oldActions[kSignalCount] = {};
};
CrashState s_state;
volatile sig_atomic_t s_written = 0;

// ---- async-signal-safe output ----------------------------------------------------------------

// A fixed buffer flushed to the file whenever it fills; nothing here allocates or locks.
struct Out {
  explicit Out(int file) : fd(file) {}
  int fd;
  char buffer[1024] = {};
  size_t used = 0;

  void Flush() {
    size_t done = 0;
    while (done < used) {
      const ssize_t n = write(fd, buffer + done, used - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += size_t(n);
    }
    used = 0;
  }
  void Char(char c) {
    if (used == sizeof buffer) Flush();
    buffer[used++] = c;
  }
  void Str(const char* s) {
    if (!s) s = "(null)";
    while (*s) Char(*s++);
  }
  void Dec(unsigned long long v, int width = 0, char pad = ' ') {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = char('0' + v % 10);
      v /= 10;
    } while (v && n < 24);
    for (int i = n; i < width; ++i) Char(pad);
    while (n) Char(digits[--n]);
  }
  void SignedDec(long long v) {
    if (v < 0) {
      Char('-');
      Dec(0ull - (unsigned long long)v);
    } else {
      Dec((unsigned long long)v);
    }
  }
  void Hex(unsigned long long v, int width) {
    static const char kDigits[] = "0123456789abcdef";
    char digits[16];
    int n = 0;
    do {
      digits[n++] = kDigits[v & 15];
      v >>= 4;
    } while (v && n < 16);
    for (int i = n; i < width; ++i) Char('0');
    while (n) Char(digits[--n]);
  }
  void Line(const char* s) {
    Str(s);
    Str("\r\n");
  }
};

// Copies up to size - 1 characters.
void Copy(char* out, size_t size, const char* text) {
  size_t n = 0;
  if (text)
    for (; text[n] && n + 1 < size; ++n) out[n] = text[n];
  out[n] = 0;
}

// Reads memory that may not be mapped: through /proc/self/mem, which reports a fault as a
// failed read instead of raising a signal. False when the bytes cannot be read.
bool SafeRead(int memFd, uintptr_t address, void* out, size_t size) {
  if (memFd < 0) return false;
  const ssize_t n = pread(memFd, out, size, off_t(address));
  return n == ssize_t(size);
}

// ---- /proc/self/maps, read in the handler ----------------------------------------------------

struct MapLine {
  uintptr_t start, end, offset;
  char perms[5];
  const char* path;  // points into the line buffer; "" for anonymous mappings
};

// Parses one maps line in place ("start-end perms offset dev inode path").
bool ParseMapLine(char* line, MapLine* m) {
  auto hex = [](char** p, uintptr_t* v) {
    uintptr_t r = 0;
    int n = 0;
    for (;; ++*p, ++n) {
      const char c = **p;
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (d < 0) break;
      r = r * 16 + uintptr_t(d);
    }
    *v = r;
    return n > 0;
  };
  char* p = line;
  if (!hex(&p, &m->start) || *p++ != '-' || !hex(&p, &m->end) || *p++ != ' ') return false;
  for (int i = 0; i < 4; ++i) m->perms[i] = *p ? *p++ : '-';
  m->perms[4] = 0;
  if (*p++ != ' ' || !hex(&p, &m->offset)) return false;
  // dev and inode, then blanks up to the path.
  for (int field = 0; field < 2; ++field) {
    while (*p == ' ') ++p;
    while (*p && *p != ' ') ++p;
  }
  while (*p == ' ') ++p;
  m->path = p;
  return true;
}

// Calls visit(line) for every line of /proc/self/maps; lines longer than the buffer are cut.
template <typename Visit>
void ForEachMapping(Visit visit) {
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char chunk[4096];
  char line[kPathSize + 128];
  size_t used = 0;
  bool cut = false;
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (chunk[i] == '\n') {
        line[used] = 0;
        MapLine m;
        if (ParseMapLine(line, &m)) visit(m);
        used = 0;
        cut = false;
      } else if (used + 1 < sizeof line) {
        line[used++] = chunk[i];
      } else {
        cut = true;
      }
    }
  }
  (void)cut;
  close(fd);
}

const char* FilePart(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// ---- report ----------------------------------------------------------------------------------

const char* SignalName(int sig, int code) {
  switch (sig) {
    case SIGSEGV: return "an Access Violation";
    case SIGBUS: return code == BUS_ADRALN ? "a Datatype Misalignment" : "an In Page Error";
    case SIGILL: return code == ILL_PRVOPC ? "a Privileged Instruction" : "an Illegal Instruction";
    case SIGABRT: return "an Abort";
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return "an Integer Divide by Zero";
        case FPE_INTOVF: return "an Integer Overflow";
        case FPE_FLTDIV: return "a Float Divide by Zero";
        case FPE_FLTOVF: return "a Float Overflow";
        case FPE_FLTUND: return "a Float Underflow";
        case FPE_FLTRES: return "a Float Inexact Result";
        case FPE_FLTINV: return "a Float Invalid Operation";
        case FPE_FLTSUB: return "a Array Bounds Exceeded";
        default: return "a Float Exception";
      }
    default: return "Unknown exception type";
  }
}

// Civil date from days since 1970-01-01 (no C library, no locks).
void CivilFromDays(long long z, int* year, unsigned* month, unsigned* day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = (long long)yoe + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = int(y + (*month <= 2));
}

void WriteTime(Out& out) {
  const time_t now = time(nullptr);  // async-signal-safe
  if (now == time_t(-1)) return;
  const long long local = (long long)now + s_state.timeZoneOffset;
  long long days = local / 86400;
  long long secs = local % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  int year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  out.Dec(month);
  out.Char('/');
  out.Dec(day);
  out.Char('/');
  out.SignedDec(year);
  out.Char(' ');
  out.Dec(unsigned(secs / 3600), 2, '0');
  out.Char(':');
  out.Dec(unsigned(secs / 60 % 60), 2, '0');
  out.Char(':');
  out.Dec(unsigned(secs % 60), 2, '0');
}

uintptr_t ProgramCounter(const ucontext_t* uc) {
#if defined(__x86_64__)
  return uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(uc->uc_mcontext.pc);
#else
  (void)uc;
  return 0;
#endif
}

uintptr_t StackPointer(const ucontext_t* uc) {
#if defined(__x86_64__)
  return uintptr_t(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
  return uintptr_t(uc->uc_mcontext.sp);
#else
  (void)uc;
  return 0;
#endif
}

void WriteRegisters(Out& out, const ucontext_t* uc) {
  out.Line("");
  out.Line("Registers:");
#if defined(__x86_64__)
  struct Reg {
    const char* name;
    int index;
  };
  static const Reg kRegs[] = {
      {"RAX", REG_RAX}, {"RBX", REG_RBX},   {"RCX", REG_RCX}, {"RDX", REG_RDX},
      {"RSI", REG_RSI}, {"RDI", REG_RDI},   {"RBP", REG_RBP}, {"RSP", REG_RSP},
      {"R8", REG_R8},   {"R9", REG_R9},     {"R10", REG_R10}, {"R11", REG_R11},
      {"R12", REG_R12}, {"R13", REG_R13},   {"R14", REG_R14}, {"R15", REG_R15},
      {"RIP", REG_RIP}, {"EFLGS", REG_EFL}, {"ERR", REG_ERR}, {"TRAPNO", REG_TRAPNO}};
  int column = 0;
  for (const Reg& r : kRegs) {
    if (column) out.Char(' ');
    out.Str(r.name);
    out.Char('=');
    out.Hex((unsigned long long)uc->uc_mcontext.gregs[r.index], 16);
    if (++column == 4) {
      out.Str("\r\n");
      column = 0;
    }
  }
  // CS, GS and FS share one greg word, 16 bits each.
  const unsigned long long segs = (unsigned long long)uc->uc_mcontext.gregs[REG_CSGSFS];
  out.Str("CS=");
  out.Hex(segs & 0xffff, 4);
  out.Str(" GS=");
  out.Hex((segs >> 16) & 0xffff, 4);
  out.Str(" FS=");
  out.Hex((segs >> 32) & 0xffff, 4);
  out.Str("\r\n");
#elif defined(__aarch64__)
  for (int i = 0; i < 31; ++i) {
    out.Char('X');
    out.Dec(unsigned(i));
    out.Char('=');
    out.Hex(uc->uc_mcontext.regs[i], 16);
    out.Str((i % 4 == 3) ? "\r\n" : " ");
  }
  out.Str("SP=");
  out.Hex(uc->uc_mcontext.sp, 16);
  out.Str(" PC=");
  out.Hex(uc->uc_mcontext.pc, 16);
  out.Str(" PSTATE=");
  out.Hex(uc->uc_mcontext.pstate, 16);
  out.Str("\r\n");
#else
  (void)uc;
  out.Line("(not available on this processor)");
#endif
}

void WriteCodeBytes(Out& out, int memFd, uintptr_t pc) {
  out.Line("Bytes at CS:EIP:");
  unsigned char bytes[kCodeBytes];
  if (!SafeRead(memFd, pc, bytes, sizeof bytes)) {
    out.Line("(unreadable)");
    return;
  }
  for (unsigned char b : bytes) {
    out.Hex(b, 2);
    out.Char(' ');
  }
  out.Str("\r\n");
}

void WriteStackDump(Out& out, int memFd, uintptr_t sp) {
  out.Str("\r\nStack dump:\r\n");
  // The top of the mapping that holds the stack pointer bounds the dump.
  uintptr_t top = 0;
  ForEachMapping([&](const MapLine& m) {
    if (sp >= m.start && sp < m.end) top = m.end;
  });
  if (!top) {
    out.Line("Exception encountered during stack dump.");
    return;
  }
  size_t words = (top - sp) / sizeof(uintptr_t);
  if (words > kStackDumpWords) words = kStackDumpWords;
  for (size_t i = 0; i < words; ++i) {
    const uintptr_t address = sp + i * sizeof(uintptr_t);
    uintptr_t value;
    if (!SafeRead(memFd, address, &value, sizeof value)) {
      if (i % kStackWordsPerLine) out.Str("\r\n");
      out.Line("Exception encountered during stack dump.");
      return;
    }
    if (i % kStackWordsPerLine == 0) {
      out.Hex(address, 16);
      out.Str(": ");
    }
    out.Hex(value, 16);
    out.Str((i % kStackWordsPerLine == kStackWordsPerLine - 1 || i + 1 == words) ? "\r\n" : " ");
  }
}

void WriteCallStack(Out& out) {
  out.Str("\r\nProgram Stack:\r\n");
  void* frames[kMaxFrames];
  const int count = backtrace(frames, kMaxFrames);
  out.Flush();
  // One line a frame: module(symbol+offset) [address]; symbols of the program itself need
  // its dynamic symbol table (linked with exports).
  if (count > 0) backtrace_symbols_fd(frames, count, out.fd);
}

void WriteModules(Out& out) {
  out.Str("\r\n\tModule list: names, addresses, sizes:\r\n");
  // One line per file: its first mapping (offset 0) gives the base, the last one the end.
  char current[kPathSize] = {};
  uintptr_t base = 0, end = 0;
  auto emit = [&]() {
    if (!current[0]) return;
    out.Str(current);
    out.Str(", loaded at 0x");
    out.Hex(base, 16);
    out.Str(" - ");
    out.Dec(end - base);
    out.Str(" bytes\r\n");
  };
  ForEachMapping([&](const MapLine& m) {
    if (m.path[0] != '/') return;
    if (std::strcmp(current, m.path) == 0 && m.start >= end) {
      end = m.end;
      return;
    }
    emit();
    Copy(current, sizeof current, m.path);
    base = m.start;
    end = m.end;
  });
  emit();
}

void WriteReport(int sig, siginfo_t* info, void* context) {
  const int fd = open(s_state.reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_SYNC, 0644);
  if (fd < 0) {
    static const char kMessage[] = "Error creating exception report\n";
    (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    return;
  }
  const int memFd = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  const auto* uc = static_cast<const ucontext_t*>(context);
  const uintptr_t pc = uc ? ProgramCounter(uc) : 0;
  const uintptr_t sp = uc ? StackPointer(uc) : 0;
  char module[kPathSize] = "Unknown";
  ForEachMapping([&](const MapLine& m) {
    if (pc >= m.start && pc < m.end && m.path[0]) Copy(module, sizeof module, FilePart(m.path));
  });

  Out out(fd);
  out.Str(s_state.programName);
  out.Str(" caused ");
  out.Str(SignalName(sig, info ? info->si_code : 0));
  out.Str(" (signal ");
  out.Dec(unsigned(sig));
  out.Str(") in module ");
  out.Str(module);
  out.Str(" at ");
  out.Hex(pc, 16);
  out.Line(".");
  out.Str("Exception handler called in ");
  out.Str(s_state.title);
  out.Line(".");
  out.Str("Error occurred at ");
  WriteTime(out);
  out.Line(".");
  out.Str(s_state.programPath);
  out.Str(", run by ");
  out.Str(s_state.user);
  out.Line(".");
  out.Dec((unsigned long long)s_state.processors);
  out.Str(" processor(s), type ");
  out.Str(s_state.machine);
  out.Line(".");
  out.Dec(s_state.memoryMb);
  out.Line(" MBytes physical memory.");
  if ((sig == SIGSEGV || sig == SIGBUS) && info) {
    bool write = false;
#if defined(__x86_64__)
    // Bit 1 of the page-fault error code: the access was a write.
    if (uc) write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#endif
    out.Str(write ? "Write to" : "Read from");
    out.Str(" location ");
    out.Hex(uintptr_t(info->si_addr), 16);
    out.Line(" caused an access violation.");
  }
  if (uc) {
    WriteRegisters(out, uc);
    WriteCodeBytes(out, memFd, pc);
    WriteStackDump(out, memFd, sp);
  }
  WriteCallStack(out);
  WriteModules(out);
  out.Flush();
  if (memFd >= 0) close(memFd);
  close(fd);
}

void OnFault(int sig, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  if (!s_written) {
    s_written = 1;
    WriteReport(sig, info, context);
  }
  errno = savedErrno;
  // SA_RESETHAND put back the default action: a fault repeats on return and ends the process;
  // a raised signal (abort, kill) is raised again for the same effect.
  if (!info || info->si_code <= 0) raise(sig);
}

}  // namespace

bool crash_install(const char* folder, const char* title) {
  crash_uninstall();
  CrashState& s = s_state;
  char base[PATH_MAX];
  if (!folder || !*folder) folder = ".";
  if (!realpath(folder, base)) return false;
  const size_t baseLength = std::strlen(base);
  if (baseLength + 1 + std::strlen(CRASH_REPORT_NAME) + 1 > sizeof s.reportPath) return false;
  std::memcpy(s.reportPath, base, baseLength);
  s.reportPath[baseLength] = '/';
  Copy(s.reportPath + baseLength + 1, sizeof s.reportPath - baseLength - 1, CRASH_REPORT_NAME);

  const ssize_t n = readlink("/proc/self/exe", s.programPath, sizeof s.programPath - 1);
  s.programPath[n > 0 ? n : 0] = 0;
  if (n <= 0) Copy(s.programPath, sizeof s.programPath, "Unknown");
  Copy(s.programName, sizeof s.programName, FilePart(s.programPath));
  if (char* dot = std::strrchr(s.programName, '.')) *dot = 0;
  Copy(s.title, sizeof s.title, title ? title : "");
  const struct passwd* pw = getpwuid(getuid());
  const char* user = pw && pw->pw_name ? pw->pw_name : std::getenv("USER");
  Copy(s.user, sizeof s.user, user ? user : "Unknown");
  struct utsname names;
  Copy(s.machine, sizeof s.machine, uname(&names) == 0 ? names.machine : "unknown");
  s.processors = sysconf(_SC_NPROCESSORS_ONLN);
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  const unsigned long long bytes =
      pages > 0 && pageSize > 0 ? (unsigned long long)pages * (unsigned long long)pageSize : 0;
  s.memoryMb = (bytes + (1ull << 20) - 1) >> 20;  // a part of a MB counts as a whole one
  const time_t now = time(nullptr);
  struct tm local;
  s.timeZoneOffset = localtime_r(&now, &local) ? local.tm_gmtoff : 0;

  // The first backtrace loads the unwinder; doing it here keeps the handler from allocating.
  void* warm[4];
  backtrace(warm, 4);

  s.altStack = std::malloc(kAltStackSize);
  if (!s.altStack) return false;
  stack_t stack = {};
  stack.ss_sp = s.altStack;
  stack.ss_size = kAltStackSize;
  if (sigaltstack(&stack, &s.oldStack) != 0) {
    std::free(s.altStack);
    s.altStack = nullptr;
    return false;
  }
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (sigaction(kSignals[i], &action, &s.oldActions[i]) != 0) {
      for (size_t k = 0; k < i; ++k) sigaction(kSignals[k], &s.oldActions[k], nullptr);
      sigaltstack(&s.oldStack, nullptr);
      std::free(s.altStack);
      s.altStack = nullptr;
      return false;
    }
  }
  s.installed = true;
  s_written = 0;
  return true;
}

void crash_uninstall() {
  CrashState& s = s_state;
  if (!s.installed) return;
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &s.oldActions[i], nullptr);
  sigaltstack(&s.oldStack, nullptr);
  std::free(s.altStack);
  s.altStack = nullptr;
  s.installed = false;
}

const char* crash_report_path() { return s_state.reportPath; }

bool crash_report_written() { return s_written != 0; }

}  // namespace host
