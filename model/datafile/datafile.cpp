#include "model/datafile/datafile.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "model/core/diagnostics.h"
#include "model/core/tolvu_model.h"

namespace tolvu {
namespace {

constexpr int kLineColumns = 81;    // a data-file line is read as this many characters
constexpr int kBlankTestColumns = 79;
constexpr int kMaxTargetName = 12;  // characters of a target name before its parenthesis
constexpr int kMaxIndex = 999;
constexpr int kMaxText = 100;       // characters of an assigned text
constexpr int kNumberChars = 30;    // characters of a number token that are examined

const char* record(const char* table, int k) { return table + static_cast<size_t>(k - 1) * NAME_RECORD_LENGTH; }
char* record(char* table, int k) { return table + static_cast<size_t>(k - 1) * NAME_RECORD_LENGTH; }
char shape_of(const char* table, int k) { return record(table, k)[10]; }
char type_of(const char* table, int k) { return record(table, k)[11]; }

bool is_text_type(char t) { return t == 'A' || t == 'B' || t == 'C'; }
bool is_dim_letter(char c) { return c >= 'a' && c <= 'y'; }
bool is_continuation_shape(char c) { return c == '.' || is_dim_letter(c); }

// A record that continues a text variable carries list text in its name field.
bool is_text_continuation(const char* table, int k) {
  return is_text_type(type_of(table, k)) && is_continuation_shape(shape_of(table, k));
}

std::string name_field(const char* table, int k) {
  std::string s(record(table, k), 10);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string to_text(long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

// ---- Parsed names ----------------------------------------------------------------------------

enum class IndexKind { Number, All, Diagonal, Name };

struct Index {
  IndexKind kind = IndexKind::Number;
  int value = 0;
  std::string name;
};

struct ParsedName {
  std::string base;            // upper case, without indices
  std::vector<Index> indices;  // 0, 1 or 2
  bool pattern = false;        // base contains '*'
};

// Names are parsed in their compact form (no blanks) of at most this many characters.
constexpr int kCanonicalName = 100;

std::string compact(const std::string& text, int destLength) {
  std::string out(static_cast<size_t>(destLength), ' ');
  const int n = CompactCopy(text, out.data(), destLength);
  out.resize(static_cast<size_t>(n));
  return out;
}

bool parse_name(const std::string& text, ParsedName& out) {
  out = ParsedName{};
  // A name that begins with a blank names nothing; inner blanks fall away in the compact copy.
  if (text.empty() || text[0] == ' ') return false;
  const std::string s = upper(compact(text, kCanonicalName));
  if (s.empty() || s[0] == '$' || s[0] == '(') return false;
  const size_t open = s.find('(');
  out.base = s.substr(0, open);
  if (out.base.empty() || out.base.size() > static_cast<size_t>(kMaxTargetName)) return false;
  out.pattern = out.base.find('*') != std::string::npos;
  if (open == std::string::npos) return out.base.find(')') == std::string::npos;
  if (s.back() != ')') return false;
  const std::string inner = s.substr(open + 1, s.size() - open - 2);
  size_t start = 0;
  for (int n = 0; n < 2; ++n) {
    const size_t comma = inner.find(',', start);
    std::string tok = trim(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    Index idx;
    if (tok.empty()) return false;
    if (tok == "*") {
      idx.kind = IndexKind::All;
    } else if (tok == "DIA") {
      if (n != 0) return false;
      idx.kind = IndexKind::Diagonal;
    } else if (std::isdigit(static_cast<unsigned char>(tok[0]))) {
      if (tok.size() > 4) return false;
      for (char c : tok)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      idx.value = std::atoi(tok.c_str());
      if (idx.value < 1 || idx.value > kMaxIndex) return false;
    } else {
      if (tok.size() > 10 || tok.find_first_of("()*,$") != std::string::npos) return false;
      idx.kind = IndexKind::Name;
      idx.name = tok;
    }
    out.indices.push_back(idx);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
  return false;  // more than two indices
}

bool pattern_matches(const std::string& pattern, const char* rec) {
  char pad[10];
  std::memset(pad, ' ', sizeof pad);
  std::memcpy(pad, pattern.data(), pattern.size() < 10 ? pattern.size() : 10);
  if (pattern.size() > 10) return false;
  for (int i = 0; i < 10; ++i) {
    if (pad[i] == '*' || pad[i] == ' ') continue;
    if (pad[i] != rec[i]) return false;
  }
  return true;
}

bool name_equals(const std::string& name, const char* rec) {
  if (name.size() > 10) return false;
  for (size_t i = 0; i < 10; ++i) {
    const char want = i < name.size() ? name[i] : ' ';
    if (rec[i] != want) return false;
  }
  return true;
}

// The record of a plain name, searched from the last record to the first; 0 when unknown.
int find_record(const std::string& name, const char* table, int nvars) {
  if (name.empty() || name[0] == ' ' || name[0] == '$') return 0;
  for (int k = nvars; k >= 1; --k) {
    if (is_text_continuation(table, k)) continue;
    if (name_equals(name, record(table, k))) return k;
  }
  return 0;
}

// Rows and columns that a lookup uses for a record: an element with a name of its own is one
// element.
void lookup_dims(int k, int& rows, int& cols, const char* table, int nvars) {
  VariableDims(k, rows, cols, table, nvars);
  if (rows * cols < 1) rows = cols = 1;
}

// The value of an index given by a variable name: an H, I, J or K variable whose value, to the
// nearest whole number, lies in 1..999.
bool resolve_name_index(const Index& idx, const char* table, int nvars, const double* store, int& value) {
  if (idx.kind == IndexKind::Number) {
    value = idx.value;
    return true;
  }
  if (idx.kind != IndexKind::Name || store == nullptr) return false;
  const int k = find_record(idx.name, table, nvars);
  if (k < 1) {
    ReportMessage("N021", idx.name.c_str(), " ", " ");
    return false;
  }
  const char t = type_of(table, k);
  if (t != 'H' && t != 'I' && t != 'J' && t != 'K') {
    ReportMessage("N021", idx.name.c_str(), " ", " ");
    return false;
  }
  const double v = store[k - 1];
  if (!(v >= 0.5 && v < kMaxIndex + 0.5)) {
    ReportMessage("N021", idx.name.c_str(), " ", " ");
    return false;
  }
  value = static_cast<int>(std::lround(v));
  return true;
}

// ---- Numbers ---------------------------------------------------------------------------------

bool number_chars_only(const std::string& t) {
  for (char c : t)
    if (std::strchr("0123456789-+eEdD.", c) == nullptr || c == '\0') return false;
  return true;
}

// ---- Text variables --------------------------------------------------------------------------

// The items of a text variable whose first record is k, n records long.
std::vector<std::string> read_items(const char* table, int k, int n) {
  std::string text;
  for (int r = k + 2; r < k + n; ++r) text.append(record(table, r), 10);
  // The header gives the number of characters in use.
  const std::string header(record(table, k + 1), 6);
  const int chars = std::atoi(header.substr(3, 3).c_str());
  if (chars >= 0 && static_cast<size_t>(chars) < text.size()) text.resize(static_cast<size_t>(chars));
  std::vector<std::string> items;
  size_t start = 0;
  while (start < text.size()) {
    const size_t dollar = text.find('$', start);
    if (dollar == std::string::npos) break;
    items.push_back(text.substr(start, dollar - start));
    start = dollar + 1;
  }
  return items;
}

bool write_items(char* table, int k, int n, const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& i : items) text += i + "$";
  const size_t capacity = static_cast<size_t>(n - 2) * 10;
  if (text.size() > capacity || items.size() > 999 || text.size() > 999) return false;
  char header[16];
  std::snprintf(header, sizeof header, "%3d%3d    ", static_cast<int>(items.size()), static_cast<int>(text.size()));
  std::memcpy(record(table, k + 1), header, 10);
  text.resize(capacity, ' ');
  for (int r = 0; r < n - 2; ++r) std::memcpy(record(table, k + 2 + r), text.data() + static_cast<size_t>(r) * 10, 10);
  return true;
}

// ---- Default-index registry ------------------------------------------------------------------

// The 10-character pattern and kind of a pattern text; "*" alone or blanks fit every name.
void normalise_pattern(const std::string& text, char out[10], int& kind) {
  std::string p = upper(text);
  kind = 1;
  if (!p.empty() && p[0] == '@') {
    kind = 2;
    p.erase(0, 1);
  }
  std::memset(out, ' ', 10);
  std::memcpy(out, p.data(), p.size() < 10 ? p.size() : 10);
  bool blank = true;
  for (int i = 0; i < 10; ++i) blank = blank && out[i] == ' ';
  if (blank || trim(p) == "*") std::memset(out, '*', 10);
}

void pad_name(const std::string& name, char out[10]) {
  const std::string n = upper(name);
  std::memset(out, ' ', 10);
  std::memcpy(out, n.data(), n.size() < 10 ? n.size() : 10);
}

// The number of characters equal to the name's, or -1 when the pattern does not fit it.
int default_fit(const char pattern[10], const char name[10]) {
  int equal = 0;
  for (int i = 0; i < 10; ++i) {
    const char p = pattern[i], c = name[i];
    if (p == c) {
      ++equal;
    } else if (p == '_') {
      if (!(c == ' ' || std::isdigit(static_cast<unsigned char>(c)))) return -1;
    } else if (p != '*') {
      return -1;
    }
  }
  return equal;
}

}  // namespace

bool DataFileReader::DefaultIndexAdd(const std::string& pattern, int row, int column) {
  DefaultIndex e;
  normalise_pattern(pattern, e.pattern, e.kind);
  e.row = row;
  e.column = column;
  for (int i = 0; i < m_defaultCount; ++i) {
    if (m_defaults[i].kind == e.kind && std::memcmp(m_defaults[i].pattern, e.pattern, 10) == 0) {
      m_defaults[i] = e;
      return true;
    }
  }
  if (m_defaultCount >= kMaxDefaultIndices) {
    ReportMessage("D0519", std::string(e.pattern, 10).c_str(), " ", " ");
    return false;
  }
  m_defaults[m_defaultCount++] = e;
  return true;
}

void DataFileReader::DefaultIndexRemoveMatching(const std::string& name) {
  char n[10];
  pad_name(name, n);
  int kept = 0;
  for (int i = 0; i < m_defaultCount; ++i)
    if (default_fit(m_defaults[i].pattern, n) < 0) m_defaults[kept++] = m_defaults[i];
  m_defaultCount = kept;
}

bool DataFileReader::DefaultIndexLookup(const std::string& name, int kind, int& row, int& column) const {
  char n[10];
  pad_name(name, n);
  int best = -1;
  for (int i = 0; i < m_defaultCount; ++i) {
    if (m_defaults[i].kind != kind) continue;
    const int fit = default_fit(m_defaults[i].pattern, n);
    if (fit > best) {
      best = fit;
      row = m_defaults[i].row;
      column = m_defaults[i].column;
    }
  }
  return best >= 0;
}

int CompactCopy(const std::string& text, char* dest, int destLength) {
  if (dest == nullptr || destLength <= 0) return 0;
  const bool whole = !text.empty() && text[0] == '\'';
  int n = 0;
  bool cut = false;
  for (char c : text) {
    if (!whole && (c == ' ' || c == '\t')) continue;
    if (n == destLength) {
      cut = true;
      break;
    }
    dest[n++] = c;
  }
  for (int i = n; i < destLength; ++i) dest[i] = ' ';
  if (cut) ReportMessage("S0180", text.substr(0, 80).c_str(), " ", " ");
  return n;
}

bool NextToken(const std::string& line, size_t& pos, std::string& token) {
  // The library's separator character; a tab counts as a blank while the separator is the blank.
  const char sep = settings().separator;
  auto separates = [sep](char c) { return c == sep || (sep == ' ' && c == '\t'); };
  while (pos < line.size() && separates(line[pos])) ++pos;
  if (pos >= line.size()) return false;
  size_t end = pos;
  while (end < line.size() && !separates(line[end])) ++end;
  token = line.substr(pos, end - pos);
  pos = end;
  return true;
}

bool VariableDims(int index, int& rows, int& cols, const char* table, int nvars) {
  rows = cols = 0;
  if (table == nullptr || index < 1 || index > nvars) return false;
  const char s = shape_of(table, index);
  if (is_continuation_shape(s)) return true;
  rows = cols = 1;
  if (s == '+' || s == '-') {
    const int r = s == '-' ? 2 : 1, c = s == '-' ? 1 : 2;
    if (index + 1 <= nvars && shape_of(table, index + 1) == '.') {
      rows = r;
      cols = c;
    } else {
      ReportMessage("N006 ", name_field(table, index).c_str(), " ", " ");
    }
    return true;
  }
  if (s < '1' || s > '3') return true;  // a scalar (blank or any other character)
  const int pairs = s - '0';
  long r = 0, c = 0, weight = 1;
  bool ok = index + 2 * pairs <= nvars;
  for (int p = 0; ok && p < pairs; ++p) {
    const char rc = shape_of(table, index + 1 + 2 * p), cc = shape_of(table, index + 2 + 2 * p);
    if (!is_dim_letter(rc) || !is_dim_letter(cc)) {
      ok = false;
      break;
    }
    r += (rc - 'a') * weight;
    c += (cc - 'a') * weight;
    weight *= 25;
  }
  const long n = r * c;
  ok = ok && r >= 1 && c >= 1 && n >= 1 + 2 * pairs && index - 1 + n <= nvars;
  for (long e = 1 + 2 * pairs; ok && e < n; ++e)
    if (shape_of(table, static_cast<int>(index + e)) != '.') ok = false;
  if (!ok) {
    ReportMessage("N006 ", name_field(table, index).c_str(), " ", " ");
    return true;
  }
  rows = static_cast<int>(r);
  cols = static_cast<int>(c);
  return true;
}

namespace {
// The variable lookup; `defaulted` tells whether a remembered index picked the element.
int lookup_variable(const char* name, int nameLength, const char* table, int nvars, const double* store,
                    DataFileReader* reader, bool& defaulted);
}  // namespace

int LookupVariable(const char* name, int nameLength, const char* table, int nvars, const double* store) {
  bool defaulted;
  return lookup_variable(name, nameLength, table, nvars, store, nullptr, defaulted);
}

int DataFileReader::Lookup(const char* name, int nameLength, const char* table, int nvars, const double* store) {
  bool defaulted;
  return lookup_variable(name, nameLength, table, nvars, store, this, defaulted);
}

namespace {
// `reader` is the data-file read in progress, null for a lookup outside one: only a read
// remembers indices given by names and uses them.
int find_variable(const char* name, int nameLength, const char* table, int nvars, const double* store,
                  DataFileReader* reader, bool& defaulted);

int lookup_variable(const char* name, int nameLength, const char* table, int nvars, const double* store,
                    DataFileReader* reader, bool& defaulted) {
  const int index = find_variable(name, nameLength, table, nvars, store, reader, defaulted);
  if (index > 0) ReportMessage("1X099 ", std::string(name, static_cast<size_t>(nameLength)).c_str(), to_text(index).c_str(), " ");
  return index;
}

int find_variable(const char* name, int nameLength, const char* table, int nvars, const double* store,
                  DataFileReader* reader, bool& defaulted) {
  defaulted = false;
  if (name == nullptr || nameLength <= 0 || table == nullptr || nvars < 1) return 0;
  if (name[0] == ' ') return 0;
  ParsedName p;
  if (!parse_name(std::string(name, static_cast<size_t>(nameLength)), p)) {
    ReportMessage("B042W", std::string(name, static_cast<size_t>(nameLength)).c_str(), " ", " ");
    return 0;
  }
  if (p.pattern) return 0;
  const int k = find_record(p.base, table, nvars);
  if (k < 1) return 0;
  int rows, cols;
  lookup_dims(k, rows, cols, table, nvars);
  int i = 1, j = 1;
  if (p.indices.empty()) {
    // A remembered index of this name (only while a data file is read) picks one element.
    if (reader && rows * cols >= 2 && reader->DefaultIndexLookup(p.base, 1, i, j) && i >= 1 && i <= rows &&
        j >= 1 && j <= cols) {
      defaulted = true;
      return k + (j - 1) * rows + (i - 1);
    }
    return k;
  }
  if (!resolve_name_index(p.indices[0], table, nvars, store, i)) return 0;
  if (p.indices.size() == 2 && !resolve_name_index(p.indices[1], table, nvars, store, j)) return 0;
  if (i < 1 || i > rows || j < 1 || j > cols) return 0;
  const bool byName = p.indices[0].kind == IndexKind::Name || (p.indices.size() == 2 && p.indices[1].kind == IndexKind::Name);
  if (byName && reader) reader->DefaultIndexAdd(p.base, i, j);
  return k + (j - 1) * rows + (i - 1);
}
}  // namespace

std::string ElementName(int index, const char* table, int nvars) {
  if (table == nullptr || index < 1 || index > nvars) return {};
  int first = index;
  while (first > 1 && is_continuation_shape(shape_of(table, first))) --first;
  int rows, cols;
  VariableDims(first, rows, cols, table, nvars);
  const std::string base = name_field(table, first);
  if (rows * cols <= 1) return first == index ? base : std::string{};
  const int offset = index - first;
  if (offset >= rows * cols) return {};
  return base + "(" + std::to_string(offset % rows + 1) + "," + std::to_string(offset / rows + 1) + ")";
}

std::string DisplayName(int index, const char* table, int nvars) {
  const int k = index < 0 ? -index : index;
  if (table == nullptr || k == 0 || k > nvars) {
    ReportMessage("B058 ", to_text(index).c_str(), " ", " ");
    return {};
  }
  const std::string own = name_field(table, k);
  if (!own.empty() && own[0] == '#' && is_text_type(type_of(table, k)) && !is_text_continuation(table, k))
    return "ZZHELP(" + own.substr(1) + ")";
  std::string name;
  if (shape_of(table, k) == ' ') {
    name = own;
  } else {
    int first = k;
    while (first > 1 && is_continuation_shape(shape_of(table, first))) --first;
    int rows, cols;
    VariableDims(first, rows, cols, table, nvars);
    const int offset = k - first;
    if (rows * cols <= 1 || offset >= rows * cols) {
      name = own;
    } else {
      name = name_field(table, first) + "(" + std::to_string(offset % rows + 1);
      if (cols > 1) name += "," + std::to_string(offset / rows + 1);
      name += ")";
    }
  }
  if (index < 0) {
    for (const char* tail : {"(1,1)", "(1)"}) {
      const size_t n = std::strlen(tail);
      if (name.size() > n && name.compare(name.size() - n, n, tail) == 0) {
        name.resize(name.size() - n);
        break;
      }
    }
  }
  return name;
}

namespace {

// The number rule itself (DataFileReader::ParseNumber remembers its last answer).
bool scan_number(const std::string& token, double& value) {
  std::string t = token.substr(0, kNumberChars);
  if (t.empty() || !number_chars_only(t)) return false;
  const char first = t[0];
  if (first == 'e' || first == 'E' || first == 'd' || first == 'D') return false;
  const char last = t.back();
  if (last == '+' || last == '-') return false;
  for (char& c : t)
    if (c == 'd' || c == 'D') c = 'E';
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  value = std::fabs(v) < 1e-10 ? 0.0 : v;
  return true;
}

}  // namespace

bool DataFileReader::ParseNumber(const std::string& token, double& value) {
  if (m_lastNumber.valid && m_lastNumber.token == token) {
    if (m_lastNumber.isNumber) value = m_lastNumber.value;
    return m_lastNumber.isNumber;
  }
  double v = 0.0;
  const bool isNumber = scan_number(token, v);
  m_lastNumber.valid = true;
  m_lastNumber.token = token;
  m_lastNumber.isNumber = isNumber;
  m_lastNumber.value = v;
  if (isNumber) value = v;
  return isNumber;
}

namespace {

// One element target of an assignment: the store indices it covers.
struct Target {
  int first = 0;       // first record of the variable
  int rows = 0, cols = 0;
  bool whole = false;  // no index: the whole variable
  std::vector<int> elements;
};

// The elements of variable k that the indices select; false when an index is out of shape.
bool select_elements(int k, const ParsedName& p, const char* table, int nvars, const double* store,
                     DataFileReader& reader, Target& t) {
  t = Target{};
  t.first = k;
  lookup_dims(k, t.rows, t.cols, table, nvars);
  if (p.indices.empty()) {
    t.whole = true;
    for (int e = 0; e < t.rows * t.cols; ++e) t.elements.push_back(k + e);
    return true;
  }
  auto range = [&](const Index& idx, int limit, int& lo, int& hi) {
    if (idx.kind == IndexKind::All) {
      lo = 1;
      hi = limit;
      return true;
    }
    int v;
    if (!resolve_name_index(idx, table, nvars, store, v) || v < 1 || v > limit) return false;
    lo = hi = v;
    return true;
  };
  if (p.indices[0].kind == IndexKind::Diagonal) {
    int lo = 1, hi = t.rows < t.cols ? t.rows : t.cols;
    if (p.indices.size() == 2 && !range(p.indices[1], hi, lo, hi)) return false;
    for (int d = lo; d <= hi; ++d) t.elements.push_back(k + (d - 1) * t.rows + (d - 1));
    return true;
  }
  int ilo, ihi, jlo = 1, jhi = 1;
  if (!range(p.indices[0], t.rows, ilo, ihi)) return false;
  if (p.indices.size() == 2 && !range(p.indices[1], t.cols, jlo, jhi)) return false;
  const bool byName = p.indices[0].kind == IndexKind::Name || (p.indices.size() == 2 && p.indices[1].kind == IndexKind::Name);
  if (byName && ilo == ihi && jlo == jhi) reader.DefaultIndexAdd(p.base, ilo, jlo);
  for (int j = jlo; j <= jhi; ++j)
    for (int i = ilo; i <= ihi; ++i) t.elements.push_back(k + (j - 1) * t.rows + (i - 1));
  return true;
}

// What parsing an assignment target does to the default-index registry: an index that is not a
// number empties it; otherwise the entries that fit the target's name go.
void target_parsed(const ParsedName& p, DataFileReader& reader) {
  for (const Index& idx : p.indices) {
    if (idx.kind != IndexKind::Number) {
      reader.DefaultIndexClear();
      return;
    }
  }
  reader.DefaultIndexRemoveMatching(p.base);
}

bool accepts_number(char t) { return t == 'J' || t == 'B' || t == 'C' || t == 'P' || t == 'Q' || t == 'R'; }

}  // namespace

bool DataFileReader::AssignDataValue(const std::string& targetToken, const std::string& valueToken, double* store,
                                     char* table, int nvars) {
  if (store == nullptr || table == nullptr || nvars < 1) return false;
  ParsedName target;
  if (!parse_name(targetToken, target)) {
    ReportMessage("B044W", targetToken.c_str(), " ", " ");
    return false;
  }
  target_parsed(target, *this);
  // The variables the target names: every match of a pattern in table order, else the one found
  // by the lookup.
  std::vector<int> vars;
  if (target.pattern) {
    for (int k = 1; k <= nvars; ++k) {
      if (is_text_continuation(table, k)) continue;
      if (name_field(table, k).empty()) continue;
      if (pattern_matches(target.base, record(table, k))) vars.push_back(k);
    }
  } else {
    const int k = find_record(target.base, table, nvars);
    if (k > 0) vars.push_back(k);
  }
  if (target.pattern) ReportMessage("1X293 ", targetToken.c_str(), to_text(static_cast<long long>(vars.size())).c_str(), " ");
  if (vars.empty()) {
    ReportMessage("B044W", targetToken.c_str(), " ", " ");
    return false;
  }

  // The value, interpreted once for the line.
  double number = 0.0;
  bool isNumber = ParseNumber(valueToken, number);
  int sourceFirst = 0, sourceRows = 1, sourceCols = 1;
  double sign = 1.0;
  bool arrayReference = false;
  if (!isNumber) {
    std::string ref = valueToken;
    if (!ref.empty() && (ref[0] == '-' || ref[0] == '+')) {
      sign = ref[0] == '-' ? -1.0 : 1.0;
      ref.erase(0, 1);
    }
    ParsedName src;
    bool defaulted = false;
    const int idx = parse_name(ref, src) && !src.pattern
                        ? lookup_variable(ref.c_str(), static_cast<int>(ref.size()), table, nvars, store, this,
                                          defaulted)
                        : 0;
    if (idx < 1) {
      ReportMessage("C065W", valueToken.c_str(), " ", " ");
      return false;
    }
    int r, c;
    lookup_dims(idx, r, c, table, nvars);
    if (src.indices.empty() && !defaulted && r * c >= 2) {
      arrayReference = true;
      sourceFirst = idx;
      sourceRows = r;
      sourceCols = c;
    }
    number = sign * store[idx - 1];
  }

  bool assigned = false;
  for (int k : vars) {
    Target t;
    if (!select_elements(k, target, table, nvars, store, *this, t)) {
      if (!target.pattern) ReportMessage("B044W", targetToken.c_str(), " ", " ");
      continue;
    }
    if (t.whole && t.elements.size() >= 2) {
      if (arrayReference && (sourceRows != t.rows || sourceCols != t.cols)) {
        ReportMessage("C065W", valueToken.c_str(), " ", " ");
        continue;
      }
      for (size_t e = 0; e < t.elements.size(); ++e) {
        const int dst = t.elements[e];
        if (!accepts_number(type_of(table, dst))) continue;
        store[dst - 1] = arrayReference ? sign * store[sourceFirst - 1 + static_cast<int>(e)] : number;
      }
      assigned = true;
      continue;
    }
    for (int dst : t.elements) {
      const char type = type_of(table, dst);
      if (type == 'J') {
        store[dst - 1] = std::trunc(number);
      } else if (accepts_number(type)) {
        store[dst - 1] = number;
      } else {
        if (!target.pattern) ReportMessage("C066W", targetToken.c_str(), " ", " ");
        continue;
      }
      assigned = true;
    }
  }
  return assigned;
}

bool DataFileReader::AssignText(const std::string& targetToken, const std::string& textToken, char* table,
                                int nvars) {
  if (table == nullptr || nvars < 1) return false;
  ParsedName target;
  const bool parsed = parse_name(targetToken, target);
  if (parsed) target_parsed(target, *this);
  if (!parsed || target.pattern || target.indices.size() > 1 ||
      (target.indices.size() == 1 && target.indices[0].kind != IndexKind::Number)) {
    ReportMessage("B044W", targetToken.c_str(), " ", " ");
    return false;
  }
  const int k = find_record(target.base, table, nvars);
  if (k < 1) {
    ReportMessage("B044W", targetToken.c_str(), " ", " ");
    return false;
  }
  int rows, cols;
  lookup_dims(k, rows, cols, table, nvars);
  const int n = rows * cols;
  const char type = type_of(table, k);
  char newType;
  switch (type) {
    case ' ': newType = 'A'; break;
    case 'P': newType = 'B'; break;
    case 'Q': newType = 'C'; break;
    case 'A': case 'B': case 'C': newType = type; break;
    default:
      ReportMessage("S059W", targetToken.c_str(), " ", " ");
      return false;
  }
  if (n < 3) {
    ReportMessage("S057", targetToken.c_str(), " ", " ");
    return false;
  }
  // The text: the token itself, or the text of the text variable it names.
  std::string text = textToken.substr(0, kMaxText);
  if (textToken.size() <= 20 && !textToken.empty() && textToken[0] != '\'' && textToken[0] != '$' &&
      textToken[0] != ' ') {
    const int src = find_record(upper(textToken), table, nvars);
    int sr, sc;
    if (src > 0) {
      lookup_dims(src, sr, sc, table, nvars);
      if (is_text_type(type_of(table, src)) && sr * sc >= 3) {
        text.clear();
        const std::vector<std::string> items = read_items(table, src, sr * sc);
        for (size_t i = 0; i < items.size(); ++i) text += (i ? "$" : "") + items[i];
      }
    }
  }
  for (char& c : text)
    if (c == '$') c = '@';
  std::vector<std::string> items;
  if (target.indices.empty()) {
    items.push_back(text);
  } else {
    items = is_text_type(type) ? read_items(table, k, n) : std::vector<std::string>{};
    const size_t at = static_cast<size_t>(target.indices[0].value);
    if (at > items.size() + 1) {
      ReportMessage("S057", targetToken.c_str(), " ", " ");
      return false;
    }
    if (at == items.size() + 1)
      items.push_back(text);
    else
      items[at - 1] = text;
  }
  // Check the fit before anything changes.
  size_t chars = 0;
  for (const std::string& i : items) chars += i.size() + 1;
  if (chars > static_cast<size_t>(n - 2) * 10 || chars > 999) {
    ReportMessage("S057", targetToken.c_str(), " ", " ");
    return false;
  }
  for (int r = k; r < k + n; ++r) record(table, r)[11] = newType;
  return write_items(table, k, n, items);
}

void ReadDataFile(double* store, const char* fileName, int fileNameLength, char* table, int nvars) {
  DataFileReader reader;  // remembered indices and the scanner's memory live for this file only
  reader.Read(store, fileName, fileNameLength, table, nvars);
}

void DataFileReader::Read(double* store, const char* fileName, int fileNameLength, char* table, int nvars) {
  std::string name = fileName && fileNameLength > 0 ? std::string(fileName, static_cast<size_t>(fileNameLength)) : "";
  while (!name.empty() && name.back() == ' ') name.pop_back();
  int lineNumber = 0;
  auto fail = [&](int line) {
    const std::string msg = " Error in data file: " + name + " on line " + to_text(line);
    OutputMessage(msg.c_str(), static_cast<int>(msg.size()));
  };
  if (store == nullptr || table == nullptr || nvars < 1 || name.empty()) {
    fail(0);
    return;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    fail(0);
    return;
  }
  std::string line;
  // Reads one line as exactly kLineColumns characters; false at the end of the file.
  auto read_line = [&]() -> bool {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line.resize(kLineColumns, ' ');
    return true;
  };
  if (!read_line()) {
    fail(1);
    return;
  }
  lineNumber = 1;
  while (true) {
    if (!read_line()) {
      if (in.bad()) fail(lineNumber + 1);
      return;
    }
    ++lineNumber;
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || first >= static_cast<size_t>(kBlankTestColumns)) continue;
    bool textLine = false;
    if (line[0] == '"' && line[1] == '"') {
      textLine = true;
      line[0] = line[1] = ' ';
    } else if (line[first] == '"') {
      continue;
    }
    // The first two tokens, separated by blanks or tabs.
    std::string tokens[2];
    size_t pos = 0;
    int found = 0;
    while (found < 2 && NextToken(line, pos, tokens[found])) ++found;
    if (found < 2) {
      fail(lineNumber);
      return;
    }
    if (textLine)
      AssignText(tokens[0], tokens[1], table, nvars);
    else
      AssignDataValue(tokens[0], tokens[1], store, table, nvars);
  }
}

}  // namespace tolvu
