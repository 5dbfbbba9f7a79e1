#include "Zentri/util/VQpath.h"

#include "host/fs/fs.h"

std::string VQpath_Resolve(const char* path) { return host::resolve_path(path); }
