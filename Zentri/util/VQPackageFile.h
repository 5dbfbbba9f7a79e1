// Package files: one file carrying several named files (the game's bonus car and track
// archives). Little-endian: u32 entry count, then per entry a u32 entry length (bytes from
// the start of that field to the start of the next entry), a u32 data size, the entry's
// relative file name (backslashes between folders) NUL-terminated, and the data as stored.
// Bytes between the end of the data and the next entry are skipped.
//
// VQPackageFile lists and extracts entries; VQpackage_Write makes packages for the tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Longest output path of an extracted entry (folder, backslash and name), in characters.
inline constexpr size_t VQPACKAGE_MAX_PATH = 1023;

class VQPackageFile {
 public:
  VQPackageFile();
  ~VQPackageFile();
  VQPackageFile(const VQPackageFile&) = delete;
  VQPackageFile& operator=(const VQPackageFile&) = delete;

  // Opens a package for reading and reads its entry count; an open package is closed first.
  // Errors: 24 cannot open, 26 shorter than its count or a count that the file's size cannot
  // hold.
  bool Open(const char* path);
  // Closes the stream and resets everything; nothing happens when closed.
  void Close();
  bool IsOpen() const { return m_open != 0; }
  // The entry count; 0 when closed.
  uint32_t GetCount() const { return m_count; }

  // Name (as stored) and data size of entry index. Errors: 60 not open, 28 index out of range,
  // 25 a damaged entry (lengths past the end of the file, a name without terminator), 31 a
  // name longer than VQPACKAGE_MAX_PATH.
  bool GetEntry(uint32_t index, std::string* name, uint32_t* dataSize);

  // Writes entry index as the file folder\name (the name alone with a null or empty folder).
  // With makeFolders the missing folders of that path are created. The output is replaced only
  // once it is complete. False: 60 not open; no error code for an index not below the count;
  // 25 a damaged entry; 28 a name that is absolute, has a drive, climbs out with "..", or is
  // empty; 31 an output path longer than VQPACKAGE_MAX_PATH; 23 the output cannot be created;
  // 2 (or the system's code) a failed write.
  bool Extract(uint32_t index, const char* folder, bool makeFolders);

 private:
  struct EntryHeader {
    uint64_t dataOffset;
    uint32_t dataSize;
  };
  bool ReadEntryHeader(uint32_t index, EntryHeader* header);

  uint32_t m_open;
  uint32_t m_count;
  char* m_name;  // name of the entry read last (VQPACKAGE_MAX_PATH + 1 bytes)
  std::FILE* m_stream;
  uint64_t m_fileSize;
};

// True when an entry name stays inside the folder it is extracted to: not empty, not
// beginning with a backslash or slash, no drive (no ":" at all), no ".." component, and not
// ending in a separator. Both backslash and slash count as separators.
bool VQpackage_IsSafeName(const char* name);

struct VQPackageItem {
  std::string name;  // relative path with backslashes
  std::string data;  // the file's bytes
};

// Writes a package of the items in order. Names must pass VQpackage_IsSafeName (error 28) and
// be at most VQPACKAGE_MAX_PATH characters (31); an entry that would not fit the 32-bit lengths
// fails with 21. The file is replaced only once the new one is complete.
bool VQpackage_Write(const char* path, const std::vector<VQPackageItem>& items);
