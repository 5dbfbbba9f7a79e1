// Run-time libraries loaded by name, the stand-in for LoadLibrary / GetProcAddress /
// FreeLibrary: each library is a row of a table (a name and its exported functions), so a
// library "loads" only when its row is there and a missing export is a real failure.
// Tests replace or remove rows to drive the callers' failure paths.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

using library_handle = uintptr_t;  // 0 = not loaded

struct library_export {
  const char* name;
  void* address;
};

// Loads a library by name (case-insensitive, as Windows matches file names); every load
// adds one reference. 0 when no library of that name exists.
library_handle load_library(const char* name);
// The address of an export of a loaded library; null when it has none or the handle is
// not loaded.
void* get_proc_address(library_handle library, const char* name);
// Drops one reference; false for a handle that is not loaded.
bool free_library(library_handle library);
// References held on a library now (0 when not loaded).
uint32_t library_references(const char* name);

// Replaces the exports of a library (count 0 with a null table removes it so that loading
// fails); restore_libraries brings back the built-in table. The table must outlive its use.
void set_library(const char* name, const library_export* exports, size_t count);
void restore_libraries();

}  // namespace host
