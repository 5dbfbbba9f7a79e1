#include "host/dynlib/library.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "host/directx/dsound.h"

namespace host {

namespace {

struct builtin_symbol {
  const char* name;
  void* address;
};

struct builtin_library {
  const char* name;
  const builtin_symbol* symbols;
};

const builtin_symbol kDsoundSymbols[] = {
    {"DirectSoundCreate", reinterpret_cast<void*>(&direct_sound_create)},
    {"DirectSoundEnumerateA", reinterpret_cast<void*>(&direct_sound_enumerate)},
    {nullptr, nullptr},
};

const builtin_library kBuiltins[] = {
    {"dsound.dll", kDsoundSymbols},
};

std::mutex g_mutex;
std::set<std::string> g_blocked;  // lower-case names

std::string lower(const char* s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// "NAME.dll" -> "libNAME.so"; other names are used as given.
std::string shared_object_name(const std::string& lowered) {
  const std::string ext = ".dll";
  if (lowered.size() > ext.size() && lowered.compare(lowered.size() - ext.size(), ext.size(), ext) == 0)
    return "lib" + lowered.substr(0, lowered.size() - ext.size()) + ".so";
  return lowered;
}

std::string executable_folder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = '\0';
  std::string s(path);
  const size_t slash = s.rfind('/');
  return slash == std::string::npos ? std::string() : s.substr(0, slash);
}

}  // namespace

struct library {
  const builtin_library* builtin = nullptr;
  void* handle = nullptr;
};

library* library_load(const char* name) {
  if (!name || !*name) return nullptr;
  const std::string lowered = lower(name);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_blocked.count(lowered)) return nullptr;
  }
  for (const builtin_library& b : kBuiltins) {
    if (lowered == b.name) {
      auto* lib = new (std::nothrow) library;
      if (lib) lib->builtin = &b;
      return lib;
    }
  }
  const std::string file = shared_object_name(lowered);
  void* handle = nullptr;
  const std::string folder = executable_folder();
  if (!folder.empty()) handle = dlopen((folder + "/../lib/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto* lib = new (std::nothrow) library;
  if (!lib) {
    dlclose(handle);
    return nullptr;
  }
  lib->handle = handle;
  return lib;
}

void* library_symbol(library* lib, const char* symbol) {
  if (!lib || !symbol) return nullptr;
  if (lib->builtin) {
    for (const builtin_symbol* s = lib->builtin->symbols; s->name; ++s)
      if (std::string(s->name) == symbol) return s->address;
    return nullptr;
  }
  return dlsym(lib->handle, symbol);
}

void library_free(library* lib) {
  if (!lib) return;
  if (lib->handle) dlclose(lib->handle);
  delete lib;
}

void library_block(const char* name, bool blocked) {
  if (!name) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (blocked)
    g_blocked.insert(lower(name));
  else
    g_blocked.erase(lower(name));
}

}  // namespace host
