// Settings text files: "@" section lines and key = value entries, as in "SkinEditor.ini".
//
//   @Screen800          a section; its name is the rest of the line, taken exactly
//   width = 640         a number (read as atof reads it)
//   title = "Paint"     a text in double quotes, on one line, without quotes inside
//   flag = true         a boolean ("true" / "false")
//
// A key is one or more letters and digits; blanks may surround the "=", but a tab right after
// the key makes the line no entry. Every other line (comments, blank lines, entries before the
// first section, malformed entries) is kept as it is and written back unchanged, and so is
// every entry line whose value nobody changed. Lines end with CR LF, LF or CR; a save writes LF.
// Only the first VQSETTINGS_MAX_LINE characters of a line are parsed: a longer line is kept
// whole as an unparsed line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Zentri/util/VQList.h"

inline constexpr size_t VQSETTINGS_MAX_LINE = 4096;

enum VQSettingsType : int32_t {
  VQSETTINGS_NONE = -1,  // added by FindOrAdd, no value set yet
  VQSETTINGS_NUMBER = 0,
  VQSETTINGS_BOOLEAN = 1,
  VQSETTINGS_TEXT = 2,
};

class VQSettingsLine : public VQListItem {
 public:
  explicit VQSettingsLine(std::string text) : m_text(std::move(text)) {}
  VQSettingsLine* NextLine() const { return static_cast<VQSettingsLine*>(Next()); }
  std::string m_text;  // without the line end
};

class VQSettingsEntry : public VQListItem {
 public:
  VQSettingsEntry* NextEntry() const { return static_cast<VQSettingsEntry*>(Next()); }
  std::string m_key;
  VQSettingsType m_type = VQSETTINGS_NONE;
  double m_number = 0;   // VQSETTINGS_NUMBER
  uint8_t m_boolean = 0;  // VQSETTINGS_BOOLEAN: 1 true, 0 false
  std::string m_text;    // VQSETTINGS_TEXT
  VQSettingsLine* m_line = nullptr;  // the file line that holds the entry (owned by the file)
  bool m_changed = false;  // set by the setters: the next save rewrites the line
};

class VQSettingsSection : public VQListItem {
 public:
  VQSettingsSection* NextSection() const { return static_cast<VQSettingsSection*>(Next()); }
  VQSettingsEntry* FirstEntry() const { return static_cast<VQSettingsEntry*>(m_entries.First()); }
  std::string m_name;
  VQList m_entries;                  // of VQSettingsEntry
  VQSettingsLine* m_header = nullptr;  // the "@" line (owned by the file)
};

class VQSettingsFile {
 public:
  VQSettingsFile() = default;
  ~VQSettingsFile();
  VQSettingsFile(const VQSettingsFile&) = delete;
  VQSettingsFile& operator=(const VQSettingsFile&) = delete;

  // Reads the file; the path is kept for Save. A missing file is created empty and, like an
  // empty file or a failed read, gives false (with an empty table, ready for setters and Save).
  bool Load(const char* path);
  // Reads settings text from memory (as Load does after reading the file). False with
  // VQERR_OUT_OF_MEMORY when memory runs out (what was read so far is kept).
  bool LoadText(const char* data, size_t size);

  // The entry key in the first section named section (both compared exactly), or null.
  VQSettingsEntry* Find(const char* key, const char* section) const;
  // Find, creating what is missing: a new section goes to the end of the file after an empty
  // line; a new entry (no value yet) gets a line right after its section's header line.
  // Null (error 28) for a key that is not one or more letters and digits, or a section name
  // holding a line end, or either too long for a line.
  VQSettingsEntry* FindOrAdd(const char* key, const char* section);

  // False unless the entry exists and holds a number; the number cut toward zero (clamped to
  // the range of the result). Out arguments are left unchanged on false.
  bool GetInt(const char* key, int32_t* value, const char* section) const;
  bool GetByte(const char* key, uint8_t* value, const char* section) const;
  // False unless the entry exists and holds a text; *value is the entry's own text.
  bool GetString(const char* key, const char** value, const char* section) const;

  // Store a value (creating section and entry as FindOrAdd does). False when the entry holds
  // a value of another type, and for a text that cannot be written on one line (a quote or a
  // line end in it, or too long).
  bool SetNumber(const char* key, int32_t value, const char* section);
  bool SetString(const char* key, const char* text, const char* section);

  // Writes the file (null or "" : the name given to Load). Entry lines whose values were set,
  // by the setters or through the entry that Find returns (the way booleans are changed), are
  // rewritten as "key = value"; all other lines are written as read; each line ends with LF.
  // The old file is replaced only once the new one is complete.
  bool Save(const char* path);

  void Clear();

  const std::string& GetFileName() const { return m_fileName; }
  VQSettingsLine* FirstLine() const { return static_cast<VQSettingsLine*>(m_lines.First()); }
  uint32_t LineCount() const { return m_lines.Count(); }
  VQSettingsSection* FirstSection() const { return static_cast<VQSettingsSection*>(m_sections.First()); }
  // The text Save would write.
  std::string ToText();

 private:
  VQSettingsSection* FindSection(const char* section) const;
  void RebuildChangedLines();

  std::string m_fileName;
  VQList m_lines;     // of VQSettingsLine, in file order
  VQList m_sections;  // of VQSettingsSection
};
