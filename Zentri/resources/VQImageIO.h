// File glue of the image code: whole-file reads, safe whole-file writes and the image log line.
// Paths are engine paths (backslashes, any case), resolved by the path layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Reads the whole file; false when it cannot be opened or read.
bool VQimage_LoadBytes(const char* path, std::vector<uint8_t>& bytes);

// Writes the bytes to a temporary name beside the path and renames it over the path once
// complete, so that a failed save leaves the old file in place. False on any failure.
bool VQimage_SaveBytes(const char* path, const uint8_t* data, size_t size);

// Informational message of the image code, through the engine's message handler.
void VQimage_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Records a folder about to be searched by its real location; false when a search has been
// there already (a symbolic-link cycle, or two links to one folder), so it is not entered again.
bool VQimage_EnterFolder(std::set<std::string>& visited, const std::string& folder);
