// The table of run-time libraries (see dx_library.h).
#include "host/directx/dx_library.h"

#include <strings.h>

#include <cstring>

#include "host/directx/dinput.h"

namespace host {
namespace {

constexpr size_t kMaxLibraries = 8;
constexpr size_t kNameSize = 64;

const library_export kDinputExports[] = {
    {DINPUT_CREATE_EXPORT, reinterpret_cast<void*>(&dinput_create_ex)},
};

struct library_row {
  char name[kNameSize];
  const library_export* exports;
  size_t count;
  uint32_t references;
};

struct library_table {
  library_row rows[kMaxLibraries];
  size_t used = 0;
};

void put_row(library_table& t, const char* name, const library_export* exports, size_t count) {
  library_row* row = nullptr;
  for (size_t i = 0; i < t.used; ++i)
    if (strcasecmp(t.rows[i].name, name) == 0) row = &t.rows[i];
  if (row == nullptr) {
    if (t.used == kMaxLibraries) return;
    row = &t.rows[t.used++];
    std::strncpy(row->name, name, kNameSize - 1);
    row->name[kNameSize - 1] = '\0';
    row->references = 0;
  }
  row->exports = exports;
  row->count = exports != nullptr ? count : 0;
}

void fill_built_in(library_table& t) {
  for (size_t i = 0; i < t.used; ++i) {
    t.rows[i].exports = nullptr;
    t.rows[i].count = 0;
  }
  put_row(t, DINPUT_LIBRARY, kDinputExports, sizeof kDinputExports / sizeof kDinputExports[0]);
}

library_table& T() {
  static library_table t = [] {
    library_table table;
    fill_built_in(table);
    return table;
  }();
  return t;
}

library_row* row_of(library_handle h) {
  library_table& t = T();
  if (h == 0 || h > t.used) return nullptr;
  library_row* row = &t.rows[h - 1];
  return row->references > 0 ? row : nullptr;
}

}  // namespace

library_handle load_library(const char* name) {
  if (name == nullptr) return 0;
  library_table& t = T();
  for (size_t i = 0; i < t.used; ++i) {
    library_row& row = t.rows[i];
    if (row.exports != nullptr && strcasecmp(row.name, name) == 0) {
      ++row.references;
      return i + 1;
    }
  }
  return 0;
}

void* get_proc_address(library_handle library, const char* name) {
  const library_row* row = row_of(library);
  if (row == nullptr || name == nullptr) return nullptr;
  for (size_t i = 0; i < row->count; ++i)
    if (std::strcmp(row->exports[i].name, name) == 0) return row->exports[i].address;
  return nullptr;
}

bool free_library(library_handle library) {
  library_row* row = row_of(library);
  if (row == nullptr) return false;
  --row->references;
  return true;
}

uint32_t library_references(const char* name) {
  if (name == nullptr) return 0;
  library_table& t = T();
  for (size_t i = 0; i < t.used; ++i)
    if (strcasecmp(t.rows[i].name, name) == 0) return t.rows[i].references;
  return 0;
}

void set_library(const char* name, const library_export* exports, size_t count) {
  if (name != nullptr) put_row(T(), name, exports, count);
}

void restore_libraries() { fill_built_in(T()); }

}  // namespace host
