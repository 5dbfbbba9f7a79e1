// File glue of the image code: the image log line and the folder-search guard. Whole-file reads
// and replacing writes are vqfileio's (Zentri/util/VQfileio.h).
// Paths are engine paths (backslashes, any case), resolved by the path layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Informational message of the image code, through the engine's message handler.
void VQimage_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Records a folder about to be searched by its real location; false when a search has been
// there already (a symbolic-link cycle, or two links to one folder), so it is not entered again.
bool VQimage_EnterFolder(std::set<std::string>& visited, const std::string& folder);
