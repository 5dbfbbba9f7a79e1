// Message-string tables and the engine's small string and path helpers.
//
// A VQStrings table holds the texts the game shows in one language: at most
// VQSTRINGS_MAX_ENTRIES entries of key, optional numeric identifier and text, in load order.
// It reads two file forms:
//  - binary: the whole file scrambled with the built-in key; u32 count, then per entry a u32
//    identifier, the key and the text as NUL-terminated strings (little-endian);
//  - text: "<key>" or "<key:id>" tags, each followed by white space and the entry's text up to
//    the next "<"; "\n" and "\t" in a text stand for newline and tab. CR LF line ends are read
//    as LF.
// Lookups never fail: a missing entry gives one shared empty string, never null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint32_t VQSTRINGS_MAX_ENTRIES = 500;
// Longest key or text of the text form, in characters (the text reader's work buffer holds
// this many characters and a NUL).
inline constexpr size_t VQSTRINGS_MAX_TEXT = 16384;

class VQStrings {
 public:
  VQStrings();
  ~VQStrings();
  VQStrings(const VQStrings&) = delete;
  VQStrings& operator=(const VQStrings&) = delete;

  // Reads a table from a file in the binary (scrambled) or the text form. Without append the
  // table is cleared first. On failure g_VQerror holds the reason: 22 size not available,
  // 24 cannot open, 16 out of memory, 42 more entries than the table holds (the table is then
  // full with the first ones), 25 a damaged file (count or lengths past its end, a missing
  // terminator, a key or text longer than VQSTRINGS_MAX_TEXT). A damaged binary file adds
  // nothing and leaves the table as it was; a damaged text file keeps the entries before the
  // damage.
  bool Load(const char* path, bool append, bool binary);

  // The same readers over bytes in memory. LoadBinary takes the file's bytes as stored
  // (still scrambled).
  bool LoadBinary(const uint8_t* data, size_t size, bool append);
  bool LoadText(const char* data, size_t size, bool append);

  // Writes the table in the binary form (scrambled). The file is replaced only once the new
  // one is complete; a failed write returns false (error 23 or 2) and leaves the old file.
  bool SaveBinary(const char* path) const;
  // The binary form (scrambled) as bytes.
  std::string ToBinary() const;

  // Text of the first entry whose key equals key exactly (case matters), else "".
  const char* GetByKey(const char* key) const;
  // Text of the first entry with this identifier, else ""; -1 never matches.
  const char* GetById(int32_t id) const;

  // Adds one entry after the existing ones. False with error 42 when the table is full,
  // 28 for a null key or text.
  bool Add(const char* key, int32_t id, const char* text);

  void Clear();

  uint32_t GetCount() const { return m_count; }
  // Entry accessors; index must be below GetCount() (else "" and -1).
  const char* GetKey(uint32_t index) const;
  const char* GetText(uint32_t index) const;
  int32_t GetId(uint32_t index) const;

 private:
  uint32_t m_count;
  char* m_texts[VQSTRINGS_MAX_ENTRIES];
  char* m_keys[VQSTRINGS_MAX_ENTRIES];
  int32_t m_ids[VQSTRINGS_MAX_ENTRIES];
};

// ---- string helpers -------------------------------------------------------------------------

// A copy of text in memory from malloc (release with free); null gives null. Null also when
// memory runs out (error 16).
char* VQstrdup(const char* text);
// Lower-cases every character in place.
void VQstring_ToLower(char* text);
// In place: each "\n" becomes a newline and each "\t" a tab; other backslashes stay.
void VQstring_Unescape(char* text);
// Removes the first n characters in place; n beyond the length empties the text.
void VQstring_RemoveChars(char* text, size_t n);
// Position of the first occurrence of separator in text; false when there is none, when the
// text or the separator is empty, or either is null.
bool VQstring_Split(const char* text, const char* separator, size_t* position);
// True when text is empty (or null) or holds only blanks and tabs. The flag is not used.
bool VQstring_IsBlank(const char* text, bool flag = false);
// Character-by-character comparison (case matters) in which a "*" in either string, at the
// first place where they differ or where one of them ends, matches the whole rest.
bool VQstring_WildcardMatch(const char* a, const char* b);

// ---- path helpers (backslash paths) ---------------------------------------------------------

// The part after the last backslash: returns its offset and points *name at it (name may be
// null). Without a backslash: offset 0 and the path itself.
size_t VQpath_FileName(const char* path, const char** name);
// Copies the part before the last backslash into out (at most outSize bytes with the NUL).
// Empty when there is no backslash or the only one is the first character. False with error 48
// when out is too small (out then holds an empty string when outSize > 0).
bool VQpath_Folder(const char* path, char* out, size_t outSize);
// True for paths of at least 3 characters that begin with a drive letter and ":\" or ":/", or
// with two backslashes.
bool VQpath_IsAbsolute(const char* path);
