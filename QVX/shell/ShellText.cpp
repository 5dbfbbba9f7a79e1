#include "QVX/shell/ShellText.h"

#include <cstring>

#include "Zentri/util/VQfileio.h"

namespace {
bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

bool ShellTextReader::ReadWordImpl(char* out, size_t size, bool takeLast) {
  if (size) out[0] = 0;
  while (m_pos < m_size && IsWhite(m_data[m_pos])) ++m_pos;
  if (m_pos >= m_size) return false;
  size_t n = 0;
  while (m_pos < m_size && !IsWhite(m_data[m_pos])) {
    if (n + 1 < size) out[n++] = m_data[m_pos];
    ++m_pos;
  }
  if (size) out[n] = 0;
  return takeLast || m_pos < m_size;
}

bool ShellTextReader::ReadWord(char* out, size_t size) { return ReadWordImpl(out, size, false); }

bool ShellTextReader::ReadWordAtEnd(char* out, size_t size) { return ReadWordImpl(out, size, true); }

void ShellTextReader::SkipLine() {
  while (m_pos < m_size && m_data[m_pos] != '\n') ++m_pos;
  if (m_pos < m_size) ++m_pos;
}

void ShellTextReader::ReadValue(char* out, size_t size) {
  while (m_pos < m_size && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t')) ++m_pos;
  size_t n = 0;
  while (m_pos < m_size && m_data[m_pos] != '\n') {
    if (n + 1 < size) out[n++] = m_data[m_pos];
    ++m_pos;
  }
  if (m_pos < m_size) ++m_pos;
  if (n > 0 && out[n - 1] == '\r') --n;
  if (size) out[n] = 0;
}

bool ShellText_IsComment(const char* word) { return word[0] == '/' && word[1] == '/'; }

bool ShellText_ReadFile(const char* path, std::string& out) {
  return vqfileio::ReadWholeFile(path, out, 24);
}
