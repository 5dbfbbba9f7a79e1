// Whole-file reading and replacing writes for the engine's small file readers and writers
// (message strings, settings, packages). Paths go through the path layer (VQfile_Open).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vqfileio {

// Reads the whole file into out. When the file cannot be opened: openError in g_VQerror;
// its size not known, 2 GiB or more (a folder, too), or a short read: VQERR_FILE_ACCESS; out
// of memory: VQERR_OUT_OF_MEMORY. Every engine reader of a whole file goes through here, so
// a folder given for a file is refused before anything is allocated.
bool ReadWholeFile(const char* path, std::string& out, int32_t openError);
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, int32_t openError);

// Writes a file so that the old one is replaced only once the new one is complete: the data go
// to a temporary file beside it, which is renamed over the target after a successful close.
// VQERR_CREATE_OUTPUT when the temporary file cannot be created, VQERR_SYSTEM (or the
// system's code) when a write, the close or the rename fails; the temporary file is removed
// then and the target untouched.
bool WriteWholeFile(const char* path, const void* data, size_t size);

// A file being written in place of a target, as above, for writers that produce their output
// piece by piece. Commit closes and renames; destruction without Commit removes the temporary.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file beside path. VQERR_CREATE_OUTPUT when it cannot be created.
  bool Open(const char* path);
  // Appends size bytes; false (error from the system, VQERR_SYSTEM at least) on a short write. After a
  // failed write further writes fail too.
  bool Write(const void* data, size_t size);
  // Flushes, closes and renames over the target. False, and the target untouched, when any
  // write, the close or the rename failed.
  bool Commit();
  // Closes and removes the temporary file (also done by the destructor).
  void Abandon();

 private:
  std::FILE* m_file = nullptr;
  bool m_failed = false;
  int32_t m_error = 0;
  std::string m_target;
  std::string m_temp;
};

}  // namespace vqfileio
