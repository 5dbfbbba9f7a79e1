#include "Zentri/devices/display/opengl/VQopengl.h"

#include <cstdio>
#include <cstring>

#include "Zentri/util/VQerror.h"
#include "host/gl/gl.h"

VQopenglTable g_VQgl = {};

namespace {

const char* const kSymbols[VQGL_FUNCTION_COUNT] = {
#define VQGL_SYMBOL(ret, name, symbol, params) symbol,
    VQGL_FUNCTIONS(VQGL_SYMBOL)
#undef VQGL_SYMBOL
};

const VQopenglLoader kHostLoader = {host::gl::load_library, host::gl::load_glu,
                                    host::gl::unload_library, host::gl::proc_address};

const VQopenglLoader* s_loader = &kHostLoader;
bool s_loaded = false;

// Fills entry i of the table with an address (null clears it).
void SetEntry(uint32_t index, void* address) {
  switch (index) {
#define VQGL_SET(ret, name, symbol, params) \
  case VQGLI_##name:                        \
    g_VQgl.name = reinterpret_cast<ret(*) params>(address); \
    break;
    VQGL_FUNCTIONS(VQGL_SET)
#undef VQGL_SET
    default:
      break;
  }
}

void ClearTable() {
  for (uint32_t i = 0; i < VQGL_FUNCTION_COUNT; ++i) SetEntry(i, nullptr);
}

}  // namespace

const VQopenglLoader* VQopengl_SetLoader(const VQopenglLoader* loader) {
  VQopengl_UnloadLibrary();
  const VQopenglLoader* previous = s_loader;
  s_loader = loader ? loader : &kHostLoader;
  return previous;
}

bool VQopengl_LoadLibrary() {
  if (s_loaded) return true;
  if (!s_loader->loadLibrary()) return VQerror_Fail(VQERR_GL_LOAD_LIBRARY);
  if (!s_loader->loadGlu()) {
    s_loader->unloadLibraries();
    return VQerror_Fail(VQERR_GL_LOAD_LIBRARY);
  }
  for (uint32_t i = 0; i < VQGL_FUNCTION_COUNT; ++i) {
    void* address = s_loader->procAddress(kSymbols[i]);
    if (!address) {
      ClearTable();
      s_loader->unloadLibraries();
      return VQerror_Fail(VQERR_GL_LOAD);
    }
    SetEntry(i, address);
  }
  s_loaded = true;
  return true;
}

void VQopengl_UnloadLibrary() {
  if (!s_loaded) return;
  ClearTable();
  s_loader->unloadLibraries();
  s_loaded = false;
}

bool VQopengl_IsLoaded() { return s_loaded; }

const char* VQopengl_Symbol(uint32_t index) {
  return index < VQGL_FUNCTION_COUNT ? kSymbols[index] : nullptr;
}

int32_t VQopengl_CheckVersion(const char* version) {
  int major = 0, minor = 0;
  if (!version || std::sscanf(version, "%d.%d", &major, &minor) < 2) return VQERR_GL_PROBE_VERSION;
  if (major < 1 || (major == 1 && minor < 1)) return VQERR_GL_PROBE_OLD;
  return 0;
}
