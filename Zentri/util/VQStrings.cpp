#include "Zentri/util/VQStrings.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQbytes.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQscramble.h"

namespace {

const char kEmpty[] = "";


void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xff));
}

// atoi as the run-time library reads it (leading white space, sign, digits; no digits gives 0),
// but saturating instead of overflowing.
int32_t parse_int(const char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  int64_t value = 0;
  while (*s >= '0' && *s <= '9') {
    value = value * 10 + (*s++ - '0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return int32_t(value);
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

VQStrings::VQStrings() : m_count(0), m_texts(), m_keys(), m_ids() {}

VQStrings::~VQStrings() { Clear(); }

void VQStrings::Clear() {
  for (uint32_t i = 0; i < m_count; ++i) {
    std::free(m_texts[i]);
    std::free(m_keys[i]);
    m_texts[i] = nullptr;
    m_keys[i] = nullptr;
    m_ids[i] = -1;
  }
  m_count = 0;
}

bool VQStrings::Add(const char* key, int32_t id, const char* text) {
  if (!key || !text) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_count >= VQSTRINGS_MAX_ENTRIES) return VQerror_Fail(VQERR_TOO_MANY_STRINGS);
  char* k = VQstrdup(key);
  char* t = VQstrdup(text);
  if (!k || !t) {
    std::free(k);
    std::free(t);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  m_keys[m_count] = k;
  m_texts[m_count] = t;
  m_ids[m_count] = id;
  ++m_count;
  return true;
}

const char* VQStrings::GetByKey(const char* key) const {
  if (!key) return kEmpty;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (std::strcmp(m_keys[i], key) == 0) return m_texts[i];
  }
  return kEmpty;
}

const char* VQStrings::GetById(int32_t id) const {
  if (id == -1) return kEmpty;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_ids[i] == id) return m_texts[i];
  }
  return kEmpty;
}

const char* VQStrings::GetKey(uint32_t index) const { return index < m_count ? m_keys[index] : kEmpty; }
const char* VQStrings::GetText(uint32_t index) const { return index < m_count ? m_texts[index] : kEmpty; }
int32_t VQStrings::GetId(uint32_t index) const { return index < m_count ? m_ids[index] : -1; }

bool VQStrings::Load(const char* path, bool append, bool binary) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::string bytes;
  if (binary) {
    // The size is taken first: a file that is missing or whose size cannot be read fails
    // with 22, one that exists but cannot be opened with 24.
    if (VQfile_Size(path) < 0) return VQerror_Fail(VQERR_FILE_ACCESS);
    if (!vqfileio::ReadWholeFile(path, bytes, VQERR_OPEN_INPUT)) return false;
    return LoadBinary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), append);
  }
  if (!vqfileio::ReadWholeFile(path, bytes, VQERR_OPEN_INPUT)) return false;
  return LoadText(bytes.data(), bytes.size(), append);
}

bool VQStrings::LoadBinary(const uint8_t* data, size_t size, bool append) {
  if (!data && size) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::vector<uint8_t> buf(data, data + size);
  VQscramble_Builtin(buf.data(), buf.size());

  // Check the whole file before touching the table: a damaged file adds nothing.
  struct Entry {
    int32_t id;
    const char* key;
    const char* text;
  };
  if (buf.size() < 4) return VQerror_Fail(VQERR_FILE_TYPE);
  const uint32_t count = VQbytes_GetU32(buf.data());
  // Each entry takes at least 6 bytes (identifier and two terminators).
  if (count > (buf.size() - 4) / 6) return VQerror_Fail(VQERR_FILE_TYPE);
  std::vector<Entry> entries;
  entries.reserve(count);
  size_t pos = 4;
  const size_t end = buf.size();
  for (uint32_t i = 0; i < count; ++i) {
    if (end - pos < 4) return VQerror_Fail(VQERR_FILE_TYPE);
    Entry e;
    e.id = int32_t(VQbytes_GetU32(buf.data() + pos));
    pos += 4;
    const char* strings[2];
    for (int s = 0; s < 2; ++s) {
      const void* nul = std::memchr(buf.data() + pos, 0, end - pos);
      if (!nul) return VQerror_Fail(VQERR_FILE_TYPE);
      strings[s] = reinterpret_cast<const char*>(buf.data() + pos);
      pos = size_t(static_cast<const uint8_t*>(nul) - buf.data()) + 1;
    }
    e.key = strings[0];
    e.text = strings[1];
    entries.push_back(e);
  }

  if (!append) Clear();
  for (const Entry& e : entries) {
    if (!Add(e.key, e.id, e.text)) return false;
  }
  return true;
}

bool VQStrings::LoadText(const char* data, size_t size, bool append) {
  if (!data && size) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (!append) Clear();

  // The file was written as text: CR LF reads as LF.
  std::string text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
    text.push_back(data[i]);
  }
  const size_t end = text.size();
  size_t pos = 0;

  // Reads "<" and the key token after it (white space before the token is skipped, as a
  // formatted read of a word does). False at the end of the text (no further entry); sets
  // *damaged when the text goes on but does not hold a tag here.
  std::string token;
  auto next_tag = [&](bool* damaged) -> bool {
    *damaged = false;
    size_t p = pos;
    if (p >= end) return false;
    if (text[p] != '<') {
      // White space alone up to the end is an empty rest, anything else is damage.
      while (p < end && is_space(text[p])) ++p;
      if (p < end) *damaged = true;
      return false;
    }
    ++p;
    while (p < end && is_space(text[p])) ++p;
    if (p >= end) return false;
    size_t start = p;
    while (p < end && !is_space(text[p]) && text[p] != '\0') ++p;
    // The key may use the whole limit; the closing ">" comes on top.
    const size_t limit = VQSTRINGS_MAX_TEXT + (text[p - 1] == '>' ? 1 : 0);
    if (p - start > limit) {
      *damaged = true;
      return false;
    }
    token.assign(text, start, p - start);
    pos = p;
    return true;
  };

  bool damaged = false;
  if (!next_tag(&damaged)) return damaged ? VQerror_Fail(VQERR_FILE_TYPE) : true;
  for (;;) {
    if (m_count >= VQSTRINGS_MAX_ENTRIES) return VQerror_Fail(VQERR_TOO_MANY_STRINGS);

    if (!token.empty() && token.back() == '>') token.pop_back();
    int32_t id = -1;
    size_t colon = token.find(':');
    if (colon != std::string::npos) {
      id = parse_int(token.c_str() + colon + 1);
      token.resize(colon);
    }

    // The text: white space after the tag skipped (a lone CR is not white space here), then
    // everything up to the next "<".
    while (pos < end && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n')) ++pos;
    size_t start = pos;
    while (pos < end && text[pos] != '<') ++pos;
    if (pos - start > VQSTRINGS_MAX_TEXT - 1) return VQerror_Fail(VQERR_FILE_TYPE);
    std::string body(text, start, pos - start);
    while (!body.empty() && body.back() == '\n') body.pop_back();
    VQstring_Unescape(body.data());
    body.resize(std::strlen(body.c_str()));

    if (!Add(token.c_str(), id, body.c_str())) return false;

    if (!next_tag(&damaged)) return damaged ? VQerror_Fail(VQERR_FILE_TYPE) : true;
  }
}

std::string VQStrings::ToBinary() const {
  std::string out;
  put_u32(out, m_count);
  for (uint32_t i = 0; i < m_count; ++i) {
    put_u32(out, uint32_t(m_ids[i]));
    out.append(m_keys[i]);
    out.push_back('\0');
    out.append(m_texts[i]);
    out.push_back('\0');
  }
  VQscramble_Builtin(reinterpret_cast<uint8_t*>(out.data()), out.size());
  return out;
}

bool VQStrings::SaveBinary(const char* path) const {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  std::string out = ToBinary();
  return vqfileio::WriteWholeFile(path, out.data(), out.size());
}

// ---- string helpers -------------------------------------------------------------------------

char* VQstrdup(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (!copy) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  std::memcpy(copy, text, n);
  return copy;
}

void VQstring_ToLower(char* text) {
  if (!text) return;
  for (; *text; ++text) *text = char(std::tolower(static_cast<unsigned char>(*text)));
}

void VQstring_Unescape(char* text) {
  if (!text) return;
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (in[0] == '\\' && (in[1] == 'n' || in[1] == 't')) {
      *out++ = in[1] == 'n' ? '\n' : '\t';
      ++in;
    } else {
      *out++ = *in;
    }
  }
  *out = '\0';
}

void VQstring_RemoveChars(char* text, size_t n) {
  if (!text || n == 0) return;
  size_t len = std::strlen(text);
  if (n >= len) {
    text[0] = '\0';
    return;
  }
  std::memmove(text, text + n, len - n + 1);
}

bool VQstring_Split(const char* text, const char* separator, size_t* position) {
  if (!text || !separator || !*text || !*separator) return false;
  const char* hit = std::strstr(text, separator);
  if (!hit) return false;
  if (position) *position = size_t(hit - text);
  return true;
}

bool VQstring_IsBlank(const char* text, bool) {
  if (!text) return true;
  for (; *text; ++text) {
    if (*text != ' ' && *text != '\t') return false;
  }
  return true;
}

bool VQstring_WildcardMatch(const char* a, const char* b) {
  if (!a) a = kEmpty;
  if (!b) b = kEmpty;
  for (;; ++a, ++b) {
    if (*a == *b) {
      if (*a == '\0') return true;
      continue;
    }
    // First difference (or one string ended): a star on either side takes the rest.
    return *a == '*' || *b == '*';
  }
}

size_t VQpath_FileName(const char* path, const char** name) {
  if (!path) {
    if (name) *name = kEmpty;
    return 0;
  }
  const char* slash = std::strrchr(path, '\\');
  size_t offset = slash ? size_t(slash - path) + 1 : 0;
  if (name) *name = path + offset;
  return offset;
}

bool VQpath_Folder(const char* path, char* out, size_t outSize) {
  if (!out || outSize == 0) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
  out[0] = '\0';
  if (!path) return true;
  const char* slash = std::strrchr(path, '\\');
  if (!slash || slash == path) return true;
  size_t n = size_t(slash - path);
  if (n >= outSize) return VQerror_Fail(VQERR_BUFFER_TOO_SMALL);
  std::memcpy(out, path, n);
  out[n] = '\0';
  return true;
}

bool VQpath_IsAbsolute(const char* path) {
  if (!path || std::strlen(path) < 3) return false;
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && (path[2] == '\\' || path[2] == '/'))
    return true;
  return path[0] == '\\' && path[1] == '\\';
}
