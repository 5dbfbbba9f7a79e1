// The engine's path layer. Engine and game code write paths the old way, with backslashes
// and without caring about the case of names ("Data\Tracks\Oval\track.vqo"); this maps them
// onto the Linux file system. Every file operation of the engine goes through it: open files
// with VQfile_Open (VQfile.h), never with fopen on an engine path.
//
// Resolution: backslashes become slashes; each component that does not exist under its exact
// spelling is matched in its folder without regard to ASCII case. A component without a match,
// and everything after it, keeps the caller's spelling, so a file or folder about to be created
// gets the name the caller wrote. Among several case-insensitive matches the exact name wins,
// then the smallest in byte order. A leading backslash or slash makes the path absolute; other
// paths are relative to the current folder. Nothing is cached: resolution is thread-safe and
// sees files created a moment ago.
#pragma once

#include <string>

// The real path for an engine path; "" for null or "".
std::string VQpath_Resolve(const char* path);
inline std::string VQpath_Resolve(const std::string& path) { return VQpath_Resolve(path.c_str()); }
