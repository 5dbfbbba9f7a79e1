// The line grammar shared by the shell's plain-text files (Config.ini, hud.ini, Music.ini, skin
// descriptions): a word that begins with "//" makes the rest of its line a comment; otherwise a
// key word, a separator word that is skipped, and the rest of the line without leading blanks
// and tabs as the value. Files are read whole into memory and parsed there; every word and
// value is cut to the caller's buffer, so no line of a file can overrun anything.
#pragma once

#include <cstddef>
#include <string>

class ShellTextReader {
 public:
  ShellTextReader(const char* data, size_t size) : m_data(data), m_size(size) {}

  // The next run of non-white characters (blanks, tabs, line ends skipped before it), cut to
  // size - 1 characters. False when no word is left, and also for a word that ends exactly at
  // the end of the data with no line end behind it (the stream reader of old reached the end
  // on such a word and did not use it).
  bool ReadWord(char* out, size_t size);
  // The same, but a last word that ends at the end of the data is taken.
  bool ReadWordAtEnd(char* out, size_t size);
  // Skips to the character after the next line end.
  void SkipLine();
  // The rest of the line: blanks and tabs at its start skipped, the line end consumed and not
  // stored (a carriage return before it is dropped), cut to size - 1 characters.
  void ReadValue(char* out, size_t size);
  bool AtEnd() const { return m_pos >= m_size; }

 private:
  bool ReadWordImpl(char* out, size_t size, bool takeLast);
  const char* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

// True when the word begins with "//".
bool ShellText_IsComment(const char* word);

// Reads a whole text file for the shell readers; false when it cannot be opened.
bool ShellText_ReadFile(const char* path, std::string& out);
