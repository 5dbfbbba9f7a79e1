// Engine messages and logs. Messages that a person should read go through one replaceable
// message handler, at level 1 (informational) or 2 (fatal: the program ends with exit code 1
// after the handler, even when no handler is set). The default handler appends each message to
// the engine log "logfile.txt", which exists as an object between VQlog_Open and VQlog_Close.
// VQLogFile is an append-only text log that opens and closes its file for every line, so the
// log is complete on disk even when the program ends abruptly.
// None of this takes a lock: it is used from the main thread (and the race loader).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#define VQ_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))

enum VQLogLevel : int {
  VQLOG_INFO = 1,
  VQLOG_FATAL = 2,
};

constexpr size_t VQLOG_MESSAGE_SIZE = 1024;     // shared message buffer: 1023 characters
constexpr size_t VQLOGFILE_LINE_SIZE = 100000;  // one log line: 99999 characters

// A message handler receives the level and the formatted text (valid during the call only).
using VQlogHandler = void (*)(int level, const char* text);

// Replaces the message handler; null turns all engine messages off (fatal still ends the program).
void VQlog_SetHandler(VQlogHandler handler);
VQlogHandler VQlog_GetHandler();
// Formats the message into the shared buffer (cut at 1023 characters) and hands it to the
// handler; at level 2 then ends the program with exit code 1.
void VQlog_Printf(int level, const char* format, ...) VQ_PRINTF_LIKE(2, 3);
// The initial handler: writes "<level text> : <message>" to the engine log, where the level text
// is "Informational Error", "Fatal Error" or, for any other level, "Unknown Error". Writes
// nothing when the engine log is not open.
void VQlog_DefaultHandler(int level, const char* text);
// Creates the engine log object for its file ("logfile.txt" in the current folder unless
// VQlog_SetFileName chose another) and deletes that file, so every start of the engine begins
// with no log; the file reappears with the first message. With no file name set, no log object
// is made and nothing is deleted.
void VQlog_Open();
// Chooses the engine log's file for the next VQlog_Open: a path, or null or "" for no log file
// at all. The game keeps the default "logfile.txt"; tools and tests, which run in folders that
// belong to their user, choose their own place or none. False (error 31, nothing changes) when
// the name is longer than a path may be.
bool VQlog_SetFileName(const char* name);
// The engine log's file name as set; "" when there is none.
const char* VQlog_GetFileName();
// A message handler for command-line programs: writes "<level text> : <message>" to stderr,
// then hands the message to the default handler (the engine log, when one is open).
void VQlog_StderrHandler(int level, const char* text);
// Destroys the engine log object; the file stays.
void VQlog_Close();

class VQLogFile;
// The engine log object, or null outside VQlog_Open .. VQlog_Close.
VQLogFile* VQlog_EngineLog();

class VQLogFile {
 public:
  explicit VQLogFile(const char* fileName);
  ~VQLogFile();
  VQLogFile(const VQLogFile&) = delete;
  VQLogFile& operator=(const VQLogFile&) = delete;

  // Removes the file from disk (VQfile_Delete); its result.
  bool DeleteFile();
  // Appends the formatted message (cut at 99999 characters) and a newline. True without
  // writing when disabled; false (message lost) when the file cannot be opened or written.
  bool Print(const char* format, ...) VQ_PRINTF_LIKE(2, 3);
  bool PrintV(const char* format, va_list args);

  const char* FileName() const { return m_fileName.c_str(); }

  uint8_t m_enabled = 1;  // 0: Print writes nothing

 private:
  std::string m_fileName;  // engine path, resolved at every write
};
