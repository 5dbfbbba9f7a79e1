// Names and text data files of the model library: the variable lookup over a model's name table,
// the shape of a variable, display names, and the reader of model data files, which assigns
// values to store variables by name.
//
// A name table is an array of 12-byte records (record k describes store element k): 10
// characters of name, the shape character, the type letter. See model/README.md for the
// encoding of arrays and text variables.
#pragma once

#include <string>

namespace tolvu {

// Rows and columns of the variable whose first record is `index`: 1 x 1 for a scalar, 0 x 0 for a
// record that continues an array. A first record whose dimension records are malformed, or whose
// elements would run past the table, reports "N006 " and counts as 1 x 1. Returns false (with
// 0 x 0) for an index outside 1..nvars.
bool VariableDims(int index, int& rows, int& cols, const char* table, int nvars);

// The store index of "NAME", "NAME(i)" or "NAME(i,j)" (1-based), or 0 when the name resolves to
// nothing: unknown, an index out of the variable's shape, a pattern ("*"), "DIA", or malformed.
// An index may be the name of an H/I/J/K variable whose value in `store` gives it; with a null
// store such indices resolve to nothing. The table is searched from its last record to its
// first; records that continue a text variable are passed over.
int LookupVariable(const char* name, int nameLength, const char* table, int nvars, const double* store);

// "NAME(i,j)" for an element of an array variable, "NAME" for a scalar; empty when the index is
// outside 1..nvars.
std::string ElementName(int index, const char* table, int nvars);

// The display name of a store index: the name of a scalar, "NAME(i,j)" for an element of an array
// of several columns, "NAME(i)" for one of a single column, and "ZZHELP(rest)" for a help text
// record (a text variable whose name begins with "#"). A negative index asks for the same name
// without a trailing "(1,1)" or "(1)", so an array's first element shows as its bare name. An
// index of 0 or beyond nvars reports "B058 " and gives an empty name.
std::string DisplayName(int index, const char* table, int nvars);

// Reads a model data file into the store. The store must hold at least `nvars` doubles; only
// elements 1..nvars are written. `table` may be modified by text lines (text variables keep their
// text in the table). Every problem is reported through the discarded diagnostics; the values
// assigned before a failing line stay. Each call reads with a DataFileReader of its own.
void ReadDataFile(double* store, const char* fileName, int fileNameLength, char* table, int nvars);

// The compact copy: `text` without its blanks and tabs into `dest` of `destLength` characters,
// blank-padded behind the copy; a text that begins with a single quote is copied whole, blanks
// included. A text that does not fit reports "S0180" with the text and is cut at `destLength`.
// Returns the number of characters copied. Names pass through it before they are parsed.
int CompactCopy(const std::string& text, char* dest, int destLength);

// The token splitter of the data-file lines: skips separators from `pos` (the library's separator
// character, a blank after start-up, and tabs with it), copies the next token (up to the next
// separator or the line's end) into `token` and moves `pos` past it; false when the line ends
// first.
bool NextToken(const std::string& line, size_t& pos, std::string& token);

// ---- Default-index registry --------------------------------------------------------------------
// The last indices given by variable names, remembered per name pattern while a data file is read
// (each read has its own registry, so a lookup from outside a file read never meets an entry). An index given by a variable name records (name, row, column); a
// later value reference to that variable without indices means the element at the remembered
// row and column instead of the whole variable. An assignment target removes the entries that
// fit its name, and a target index that is not a number empties the registry.
//
// Patterns have 10 characters: "*" fits any character, "_" a digit, a blank or an underscore
// (so a name's own pattern fits it), any other character itself; a pattern of "*" alone or of
// blanks fits every name. A pattern that begins with "@" is of the second kind (the "@" is not
// part of what is matched).
inline constexpr int kMaxDefaultIndices = 40;

// The state of one data-file read, which lives from line to line of that file only: the
// default-index registry above and the number scanner's memory. ReadDataFile makes one per
// file; separate readers share nothing, so reads on several threads do not meet.
class DataFileReader {
 public:
  // Reads a data file (see ReadDataFile) with this reader's state.
  void Read(double* store, const char* fileName, int fileNameLength, char* table, int nvars);

  // The variable lookup of LookupVariable as this read sees it: an array named without indices
  // means the element of its remembered index, and an index given by a name is remembered.
  int Lookup(const char* name, int nameLength, const char* table, int nvars, const double* store);

  // Carries out one assignment: target token, value token. Returns false when the line was
  // skipped with a diagnostic.
  bool AssignDataValue(const std::string& target, const std::string& value, double* store, char* table, int nvars);
  // Carries out one text line. Returns false when nothing was written.
  bool AssignText(const std::string& target, const std::string& text, char* table, int nvars);

  // The number rule of the data files: the value of a number token, or false when the token is
  // no number (it is then taken as a variable reference). The reader remembers the last token
  // it examined with its result and answers a repeat from memory.
  bool ParseNumber(const std::string& token, double& value);

  // Adds an entry, or updates the entry of the same pattern and kind. A 41st entry reports
  // "D0519" and is not added; returns false then.
  bool DefaultIndexAdd(const std::string& pattern, int row, int column);
  // Removes every entry whose pattern fits `name`.
  void DefaultIndexRemoveMatching(const std::string& name);
  void DefaultIndexClear() { m_defaultCount = 0; }
  int DefaultIndexCount() const { return m_defaultCount; }
  // Among the entries of `kind` (1 or 2) that fit `name`, the one with the most characters equal
  // to the name's gives row and column; false when none fits.
  bool DefaultIndexLookup(const std::string& name, int kind, int& row, int& column) const;

 private:
  struct DefaultIndex {
    char pattern[10];
    int row, column, kind;
  };
  DefaultIndex m_defaults[kMaxDefaultIndices] = {};
  int m_defaultCount = 0;
  // The last token the number scanner examined, with its result.
  struct LastNumber {
    bool valid = false;
    std::string token;
    bool isNumber = false;
    double value = 0.0;
  };
  LastNumber m_lastNumber;
};

}  // namespace tolvu
