// POSIX file-system services for the engine's file layer: path resolution with
// case-insensitive lookup, status, folder creation, delete, rename and folder scans.
// Functions return 0 on success or the errno value of the failure, so the engine
// can translate the number into its own error code. Paths here are real (slash) paths,
// except resolve_path, which accepts the engine's backslash form.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace host {

// Turns an engine path into a real path: backslashes become slashes, and each component
// that does not exist under its exact name is looked up in its folder without regard to
// ASCII case. A component with no match keeps the spelling given (so new files and folders
// get the name the caller chose), and so do all components after it. When several names
// in one folder match without regard to case, the exact name wins, then the smallest name
// in byte order. A leading slash or backslash makes the path absolute. Thread-safe.
std::string resolve_path(const char* path);

struct FileStatus {
  int64_t size = 0;        // bytes
  bool is_folder = false;
  int64_t modified = 0;    // seconds since 1970 (UTC)
};

// All of these take real paths (already resolved).
int stat_path(const char* real_path, FileStatus* out);  // follows symbolic links
int make_folder(const char* real_path);                 // mode 0777 less the umask
int change_folder(const char* real_path);               // the working folder of the process
int delete_file(const char* real_path);                 // a file, not a folder
int delete_folder(const char* real_path);               // an empty folder
int rename_path(const char* real_to, const char* real_from);  // replaces an existing file
// fopen with the mode given; a 't' (text) in the mode is dropped, as text and binary are
// the same here. Returns null with *err set on failure (err may be null).
FILE* open_file(const char* real_path, const char* mode, int* err);

// A folder scan over the entries of one folder, in the order the system returns them,
// "." and ".." included.
struct FolderScan;
// Null with *err set when the folder cannot be opened.
FolderScan* open_folder(const char* real_path, int* err);
// Next entry: returns 1 with the name and folder flag, 0 at the end, or -errno on failure.
int read_folder(FolderScan* scan, std::string* name, bool* is_folder);
// Closes the scan; 0 or the errno value (EBADF for a null scan).
int close_folder(FolderScan* scan);

}  // namespace host
