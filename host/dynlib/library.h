// Run-time libraries by their Windows names, the stand-in for LoadLibrary/GetProcAddress.
// A few names are built in (their entry points live in the host layer itself: "dsound.dll");
// any other "NAME.dll" is looked for as "libNAME.so" beside the program (../lib from the
// executable's folder, where the build puts its shared libraries) and then on the system's
// library path.
#pragma once

namespace host {

struct library;

// The library, or null when it cannot be found or loaded. Every successful load must be
// matched by library_free.
library* library_load(const char* name);
// An exported entry point, or null.
void* library_symbol(library* lib, const char* symbol);
void library_free(library* lib);

// Makes library_load fail for a name (case-insensitive) while set, as if the file were
// missing: for tests of the failure paths of the code that loads it.
void library_block(const char* name, bool blocked);

}  // namespace host
