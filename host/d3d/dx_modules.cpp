#include "host/directx/dx_modules.h"

#include <mutex>
#include <set>
#include <string>
#include <strings.h>

#include "host/d3d/d3d_local.h"

namespace host::dx {

namespace {

struct entry {
  const char* name;
  void* address;
};

struct library {
  const char* name;
  const entry* entries;
  uint32_t entry_count;
  uint32_t loads;
};

const entry kDdrawEntries[] = {
    {"DirectDrawCreateEx", reinterpret_cast<void*>(&host::d3d::create_ddraw)},
    {"DirectDrawEnumerateExA", reinterpret_cast<void*>(&host::d3d::enumerate_ddraw)},
};

struct registry {
  std::mutex mutex;
  library libraries[1] = {{"ddraw.dll", kDdrawEntries, 2, 0}};
  std::set<std::string> off_libraries;
  std::set<std::string> off_exports;  // "library!name"
};

// Never destroyed: engine objects with static lifetime may free the library at exit.
registry& R() {
  static registry* r = new registry();
  return *r;
}

std::string Lower(const char* s) {
  std::string out(s ? s : "");
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

library* Find(const char* name) {
  for (library& l : R().libraries)
    if (strcasecmp(l.name, name) == 0) return &l;
  return nullptr;
}

}  // namespace

module load_library(const char* name) {
  if (!name) return 0;
  std::lock_guard<std::mutex> lock(R().mutex);
  library* l = Find(name);
  if (!l || R().off_libraries.count(Lower(name))) return 0;
  ++l->loads;
  return reinterpret_cast<module>(l);
}

bool free_library(module m) {
  std::lock_guard<std::mutex> lock(R().mutex);
  for (library& l : R().libraries) {
    if (reinterpret_cast<module>(&l) != m) continue;
    if (l.loads == 0) return false;
    --l.loads;
    return true;
  }
  return false;
}

void* get_proc_address(module m, const char* name) {
  if (!name) return nullptr;
  std::lock_guard<std::mutex> lock(R().mutex);
  for (library& l : R().libraries) {
    if (reinterpret_cast<module>(&l) != m || l.loads == 0) continue;
    if (R().off_exports.count(Lower(l.name) + "!" + Lower(name))) return nullptr;
    for (uint32_t i = 0; i < l.entry_count; ++i)
      if (std::string(l.entries[i].name) == name) return l.entries[i].address;
  }
  return nullptr;
}

uint32_t load_count(const char* name) {
  std::lock_guard<std::mutex> lock(R().mutex);
  library* l = name ? Find(name) : nullptr;
  return l ? l->loads : 0;
}

void set_library_available(const char* name, bool available) {
  std::lock_guard<std::mutex> lock(R().mutex);
  if (available)
    R().off_libraries.erase(Lower(name));
  else
    R().off_libraries.insert(Lower(name));
}

void set_export_available(const char* library_name, const char* name, bool available) {
  std::lock_guard<std::mutex> lock(R().mutex);
  const std::string key = Lower(library_name) + "!" + Lower(name);
  if (available)
    R().off_exports.erase(key);
  else
    R().off_exports.insert(key);
}

}  // namespace host::dx
