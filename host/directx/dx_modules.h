// Run-time libraries of the Direct3D-shaped host layer, loaded by name as the engine loads its
// Windows libraries: load_library ("ddraw.dll") gives a module whose entry points are found
// by name. The libraries are built into the program; a library is found only while it is
// registered and available, so the engine's paths for a missing library or a missing entry
// point stay real (tests switch a library or an entry point off).
#pragma once

#include <cstdint>

namespace host::dx {

using module = uintptr_t;  // 0 = none

// A loaded library's module, counted; 0 when the name is unknown or switched off.
module load_library(const char* name);
// Drops one load; false for a module that is not loaded.
bool free_library(module m);
// Address of an entry point, null when the library lacks it (or it is switched off).
void* get_proc_address(module m, const char* name);
// Loads of a library not yet freed (0 when not loaded).
uint32_t load_count(const char* name);

// Test switches: a library that cannot be loaded, an entry point that is missing. Both stay
// until switched back.
void set_library_available(const char* name, bool available);
void set_export_available(const char* library, const char* name, bool available);

}  // namespace host::dx
