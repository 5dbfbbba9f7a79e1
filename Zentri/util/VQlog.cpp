#include "Zentri/util/VQlog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

namespace {
VQlogHandler g_handler = VQlog_DefaultHandler;
char g_message[VQLOG_MESSAGE_SIZE];
VQLogFile* g_engineLog = nullptr;
constexpr size_t kLogNameSize = 4096;
char g_engineLogName[kLogNameSize] = "logfile.txt";

const char* LevelText(int level) {
  return level == VQLOG_INFO    ? "Informational Error"
         : level == VQLOG_FATAL ? "Fatal Error"
                                : "Unknown Error";
}
}  // namespace

bool VQlog_SetFileName(const char* name) {
  if (!name) name = "";
  const size_t n = std::strlen(name);
  if (n >= kLogNameSize) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  std::memcpy(g_engineLogName, name, n + 1);
  return true;
}

const char* VQlog_GetFileName() { return g_engineLogName; }

void VQlog_StderrHandler(int level, const char* text) {
  std::fprintf(stderr, "%s : %s\n", LevelText(level), text ? text : "");
  VQlog_DefaultHandler(level, text);
}

void VQlog_SetHandler(VQlogHandler handler) { g_handler = handler; }

VQlogHandler VQlog_GetHandler() { return g_handler; }

void VQlog_Printf(int level, const char* format, ...) {
  if (g_handler) {
    g_message[0] = 0;
    if (format) {
      va_list args;
      va_start(args, format);
      std::vsnprintf(g_message, sizeof g_message, format, args);
      va_end(args);
    }
    g_handler(level, g_message);
  }
  if (level == VQLOG_FATAL) std::exit(1);
}

void VQlog_DefaultHandler(int level, const char* text) {
  if (!g_engineLog) return;
  g_engineLog->Print("%s : %s", LevelText(level), text ? text : "");
}

void VQlog_Open() {
  delete g_engineLog;
  g_engineLog = nullptr;
  if (!g_engineLogName[0]) return;
  g_engineLog = new VQLogFile(g_engineLogName);
  // A missing log is the normal case; it must not leave an error code behind.
  int32_t saved = g_VQerror;
  g_engineLog->DeleteFile();
  g_VQerror = saved;
}

void VQlog_Close() {
  delete g_engineLog;
  g_engineLog = nullptr;
}

VQLogFile* VQlog_EngineLog() { return g_engineLog; }

VQLogFile::VQLogFile(const char* fileName) : m_fileName(fileName ? fileName : "") {}

VQLogFile::~VQLogFile() = default;

bool VQLogFile::DeleteFile() { return VQfile_Delete(m_fileName.c_str()); }

bool VQLogFile::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = PrintV(format, args);
  va_end(args);
  return ok;
}

bool VQLogFile::PrintV(const char* format, va_list args) {
  if (!m_enabled) return true;
  std::unique_ptr<char[]> line(new char[VQLOGFILE_LINE_SIZE]);
  line[0] = 0;
  if (format) std::vsnprintf(line.get(), VQLOGFILE_LINE_SIZE, format, args);
  int32_t saved = g_VQerror;  // a lost log line is not an engine failure
  FILE* f = VQfile_Open(m_fileName.c_str(), "a+");
  g_VQerror = saved;
  if (!f) return false;
  bool ok = std::fprintf(f, "%s\n", line.get()) >= 0;
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}
