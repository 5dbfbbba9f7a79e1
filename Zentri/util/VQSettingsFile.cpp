#include "Zentri/util/VQSettingsFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"

namespace {

bool is_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool is_valid_key(const char* key) {
  if (!key || !*key) return false;
  size_t n = 0;
  for (; key[n]; ++n) {
    if (!is_key_char(key[n])) return false;
  }
  // "key = " plus at least one character of value must fit a line.
  return n + 4 <= VQSETTINGS_MAX_LINE;
}

// Parses an entry line. False when the line is no entry.
bool parse_entry(const std::string& line, VQSettingsEntry* e) {
  const char* s = line.c_str();
  const char* end = s + line.size();
  const char* p = s;
  while (p < end && *p == ' ') ++p;
  const char* key = p;
  while (p < end && is_key_char(*p)) ++p;
  if (p == key) return false;
  const char* keyEnd = p;
  if (p < end && *p == '\t') return false;
  while (p < end && *p == ' ') ++p;
  if (p >= end || *p != '=') return false;
  ++p;
  while (p < end && *p == ' ') ++p;

  if (p < end && *p == '"') {
    const char* close = static_cast<const char*>(std::memchr(p + 1, '"', size_t(end - p - 1)));
    if (!close) return false;
    e->m_type = VQSETTINGS_TEXT;
    e->m_text.assign(p + 1, close);
  } else if (p < end && *p == 't') {
    if (end - p < 4 || std::memcmp(p, "true", 4) != 0) return false;
    e->m_type = VQSETTINGS_BOOLEAN;
    e->m_boolean = 1;
  } else if (p < end && *p == 'f') {
    if (end - p < 5 || std::memcmp(p, "false", 5) != 0) return false;
    e->m_type = VQSETTINGS_BOOLEAN;
    e->m_boolean = 0;
  } else {
    e->m_type = VQSETTINGS_NUMBER;
    e->m_number = std::atof(p);  // stops at the line's end: the text is NUL-terminated there
  }
  e->m_key.assign(key, keyEnd);
  return true;
}

// The number cut toward zero, clamped to the int32 range; NaN reads as 0.
int32_t to_int(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

// A number as a settings line writes it. Whole numbers keep the trailing point of the
// original writer ("13."), and all their digits; others are written exactly.
std::string format_number(double v) {
  char buf[64];
  if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15)
    std::snprintf(buf, sizeof buf, "%.0f.", v);
  else
    std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

VQSettingsFile::~VQSettingsFile() { Clear(); }

void VQSettingsFile::Clear() {
  m_sections.DeleteAll();  // sections point at lines: they go first
  m_lines.DeleteAll();
}

bool VQSettingsFile::Load(const char* path) {
  Clear();
  m_fileName = path ? path : "";
  if (!path || !*path) return VQerror_Fail(VQERR_OPEN_INPUT);
  std::string bytes;
  if (!vqfileio::ReadWholeFile(path, bytes, VQERR_OPEN_INPUT)) {
    if (!VQfile_Exists(path)) {
      // A missing settings file is created empty, so the next save has a place to go.
      if (std::FILE* f = VQfile_Open(path, "wb")) std::fclose(f);
    }
    return false;
  }
  if (bytes.empty()) return false;
  return LoadText(bytes.data(), bytes.size());
}

bool VQSettingsFile::LoadText(const char* data, size_t size) {
  Clear();
  if (!data) size = 0;
  size_t pos = 0;
  while (pos < size) {
    size_t start = pos;
    while (pos < size && data[pos] != '\r' && data[pos] != '\n') ++pos;
    auto* text = new (std::nothrow) VQSettingsLine(std::string(data + start, pos - start));
    if (!text) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
    m_lines.Append(text);
    if (pos < size) {
      // CR LF counts as one line end; a lone CR or LF ends the line too.
      if (data[pos] == '\r' && pos + 1 < size && data[pos + 1] == '\n') ++pos;
      ++pos;
    }
  }

  VQSettingsSection* current = nullptr;
  for (VQSettingsLine* line = FirstLine(); line; line = line->NextLine()) {
    if (line->m_text.size() > VQSETTINGS_MAX_LINE) continue;  // kept, never parsed
    if (!line->m_text.empty() && line->m_text[0] == '@') {
      current = new (std::nothrow) VQSettingsSection;
      if (!current) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
      current->m_name.assign(line->m_text, 1);
      current->m_header = line;
      m_sections.Append(current);
      continue;
    }
    if (!current) continue;
    auto* entry = new (std::nothrow) VQSettingsEntry;
    if (!entry) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
    if (parse_entry(line->m_text, entry)) {
      entry->m_line = line;
      current->m_entries.Append(entry);
    } else {
      delete entry;
    }
  }
  return true;
}

VQSettingsSection* VQSettingsFile::FindSection(const char* section) const {
  if (!section) return nullptr;
  for (auto* s = FirstSection(); s; s = s->NextSection()) {
    if (s->m_name == section) return s;
  }
  return nullptr;
}

VQSettingsEntry* VQSettingsFile::Find(const char* key, const char* section) const {
  if (!key) return nullptr;
  VQSettingsSection* s = FindSection(section);
  if (!s) return nullptr;
  for (auto* e = s->FirstEntry(); e; e = e->NextEntry()) {
    if (e->m_key == key) return e;
  }
  return nullptr;
}

VQSettingsEntry* VQSettingsFile::FindOrAdd(const char* key, const char* section) {
  if (!is_valid_key(key) || !section || std::strpbrk(section, "\r\n") ||
      std::strlen(section) + 1 > VQSETTINGS_MAX_LINE) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQSettingsSection* s = FindSection(section);
  if (!s) {
    auto* blank = new (std::nothrow) VQSettingsLine(std::string());
    auto* header = new (std::nothrow) VQSettingsLine(std::string("@") + section);
    s = new (std::nothrow) VQSettingsSection;
    if (!blank || !header || !s) {
      delete blank;
      delete header;
      delete s;
      g_VQerror = VQERR_OUT_OF_MEMORY;
      return nullptr;
    }
    m_lines.Append(blank);
    m_lines.Append(header);
    s->m_name = section;
    s->m_header = header;
    m_sections.Append(s);
  }
  for (auto* e = s->FirstEntry(); e; e = e->NextEntry()) {
    if (e->m_key == key) return e;
  }
  auto* line = new (std::nothrow) VQSettingsLine(std::string());
  auto* e = new (std::nothrow) VQSettingsEntry;
  if (!line || !e) {
    delete line;
    delete e;
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  m_lines.InsertAfter(s->m_header, line);
  e->m_key = key;
  e->m_line = line;
  s->m_entries.Append(e);
  return e;
}

bool VQSettingsFile::GetInt(const char* key, int32_t* value, const char* section) const {
  VQSettingsEntry* e = Find(key, section);
  if (!e || e->m_type != VQSETTINGS_NUMBER) return false;
  if (value) *value = to_int(e->m_number);
  return true;
}

bool VQSettingsFile::GetByte(const char* key, uint8_t* value, const char* section) const {
  int32_t v;
  if (!GetInt(key, &v, section)) return false;
  if (value) *value = uint8_t(v);
  return true;
}

bool VQSettingsFile::GetString(const char* key, const char** value, const char* section) const {
  VQSettingsEntry* e = Find(key, section);
  if (!e || e->m_type != VQSETTINGS_TEXT) return false;
  if (value) *value = e->m_text.c_str();
  return true;
}

bool VQSettingsFile::SetNumber(const char* key, int32_t value, const char* section) {
  VQSettingsEntry* e = FindOrAdd(key, section);
  if (!e) return false;
  if (e->m_type == VQSETTINGS_NONE) e->m_type = VQSETTINGS_NUMBER;
  if (e->m_type != VQSETTINGS_NUMBER) return false;
  e->m_number = value;
  e->m_changed = true;
  return true;
}

bool VQSettingsFile::SetString(const char* key, const char* text, const char* section) {
  // The text must come back from the file as it went in: one line, no quote inside.
  if (!text || std::strpbrk(text, "\"\r\n") || !key ||
      std::strlen(key) + std::strlen(text) + 5 > VQSETTINGS_MAX_LINE) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return false;
  }
  VQSettingsEntry* e = FindOrAdd(key, section);
  if (!e) return false;
  if (e->m_type == VQSETTINGS_NONE) e->m_type = VQSETTINGS_TEXT;
  if (e->m_type != VQSETTINGS_TEXT) return false;
  e->m_text = text;
  e->m_changed = true;
  return true;
}

// True when the entry's line still reads as the entry's key and value. Callers may change a
// value through the entry that Find returns (booleans have no setter), so an entry counts as
// changed when its value no longer matches its line, not only when a setter marked it.
static bool line_holds_value(const VQSettingsEntry& e) {
  VQSettingsEntry parsed;
  if (!e.m_line || e.m_line->m_text.size() > VQSETTINGS_MAX_LINE ||
      !parse_entry(e.m_line->m_text, &parsed))
    return false;
  if (parsed.m_key != e.m_key || parsed.m_type != e.m_type) return false;
  switch (e.m_type) {
    case VQSETTINGS_NUMBER:
      return parsed.m_number == e.m_number || (std::isnan(parsed.m_number) && std::isnan(e.m_number));
    case VQSETTINGS_BOOLEAN: return parsed.m_boolean == (e.m_boolean ? 1 : 0);
    case VQSETTINGS_TEXT: return parsed.m_text == e.m_text;
    default: return false;
  }
}

void VQSettingsFile::RebuildChangedLines() {
  for (auto* s = FirstSection(); s; s = s->NextSection()) {
    for (auto* e = s->FirstEntry(); e; e = e->NextEntry()) {
      if (e->m_type == VQSETTINGS_NONE || !e->m_line) continue;
      if (!e->m_changed && line_holds_value(*e)) continue;
      std::string text = e->m_key + " = ";
      switch (e->m_type) {
        case VQSETTINGS_NUMBER: text += format_number(e->m_number); break;
        case VQSETTINGS_BOOLEAN: text += e->m_boolean ? "true" : "false"; break;
        case VQSETTINGS_TEXT: text += '"' + e->m_text + '"'; break;
        default: break;
      }
      e->m_line->m_text = std::move(text);
    }
  }
}

std::string VQSettingsFile::ToText() {
  RebuildChangedLines();
  std::string out;
  for (auto* line = FirstLine(); line; line = line->NextLine()) {
    out += line->m_text;
    out += '\n';
  }
  return out;
}

bool VQSettingsFile::Save(const char* path) {
  const char* target = (path && *path) ? path : m_fileName.c_str();
  if (!*target) return VQerror_Fail(VQERR_CREATE_OUTPUT);
  std::string text = ToText();
  return vqfileio::WriteWholeFile(target, text.data(), text.size());
}
