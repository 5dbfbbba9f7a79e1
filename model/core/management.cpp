// Model management: sizes, the shared name table, defaults, data files, the input-block copy,
// name lookup, evaluation dispatch and the state dump.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/core/tolvu_model.h"
#include "model/datafile/datafile.h"

namespace tolvu {
namespace {

// The one name table of the library, with the model type it holds (0: none). Whatever routine
// fills it records the type, so every lookup knows what the table holds.
char g_nameTable[MAX_NAMES * NAME_RECORD_LENGTH];
int g_tableType = 0;
int g_tableCount = 0;

// The counts of a model type.
struct Counts {
  char name[10];
  int nvars, nstates, ninertia, ninputs, nextra;
};

std::string num(long long v) { return std::to_string(v); }

void message(const std::string& text) { OutputMessage(text.c_str(), static_cast<int>(text.size())); }

Counts size_of(int type) {
  Counts c{};
  Size_Model(type, c.name, c.nvars, c.nstates, c.ninertia, c.ninputs, c.nextra);
  return c;
}

// The store length each known type needs, fixed for the life of the library: worked out once
// (thread-safe), not by every evaluation. Index 0 is unused.
int needed_length(int type) {
  static const auto lengths = [] {
    std::array<int, MODEL_COUNT + 1> n{};
    for (int k = 1; k <= MODEL_COUNT; ++k) {
      const Counts c = size_of(k);
      n[static_cast<size_t>(k)] = c.nvars + 2 * c.nstates + c.ninputs + c.nextra;
    }
    return n;
  }();
  return lengths[static_cast<size_t>(type)];
}

// Fills the global name table with the type's whole vocabulary (unless it already holds it).
void fill_table(int type, int nvars) {
  if (nvars > MAX_NAMES) nvars = MAX_NAMES;
  INI_NAM_MODEL(type, g_nameTable, NAME_RECORD_LENGTH, nvars);
  g_tableType = type;
  g_tableCount = nvars;
}

// Copies the INP_VARS block into the input area behind the variables and both state blocks,
// writing nothing at or beyond `length` elements.
void copy_inputs(int type, double* store, int length, const Counts& c) {
  static const char kInpVars[] = "INP_VARS";
  const int k = Get_Var_Index(type, kInpVars, static_cast<int>(sizeof kInpVars - 1));
  if (k < 1 || c.ninputs < 1) return;
  const int dst = c.nvars + 2 * c.nstates;  // 0-based position of the input area
  for (int i = 0; i < c.ninputs; ++i) {
    const int from = k - 1 + i, to = dst + i;
    if (from >= length || to >= length) break;
    store[to] = store[from];
  }
}

// Fortran-style exponent form, 14 characters with 7 digits after the point: " 0.1234567E+01".
std::string exponent_form(double v) {
  if (!std::isfinite(v)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%14s", std::isnan(v) ? "NaN" : (v > 0 ? "Infinity" : "-Infinity"));
    return buf;
  }
  int exp10 = 0;
  double m = 0.0;
  if (v != 0.0) {
    exp10 = static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
    m = std::fabs(v) / std::pow(10.0, exp10);
    // Rounding to 7 digits may carry to 1.0.
    if (std::round(m * 1e7) >= 1e7) {
      m /= 10.0;
      ++exp10;
    }
    if (m < 0.1) {
      m *= 10.0;
      --exp10;
    }
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s0.%07lldE%c%02d", v < 0 ? "-" : "", static_cast<long long>(std::llround(m * 1e7)),
                exp10 < 0 ? '-' : '+', std::abs(exp10));
  char out[64];
  std::snprintf(out, sizeof out, "%14s", buf);
  return out;
}

std::string padded(const std::string& s, size_t width) {
  std::string r = s;
  if (r.size() < width) r.resize(width, ' ');
  return r;
}

}  // namespace
}  // namespace tolvu

using namespace tolvu;

int Size_Model(const int& type, char name[10], int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra) {
  nvars = nstates = ninertia = ninputs = nextra = 0;
  std::memset(name, ' ', 10);
  const char* model = nullptr;
  switch (type) {
    case MODEL_CAR_1: Sizes_Car_1(nvars, nstates, ninertia, ninputs, nextra); model = "CAR_1"; break;
    case MODEL_CAR_2: Size_Car_2(nvars, nstates, ninertia, ninputs, nextra); model = "CAR_2"; break;
    case MODEL_CAR_R: Size_Car_R(nvars, nstates, ninertia, ninputs, nextra); model = "CAR_R"; break;
    default:
      message(" Size_Model: No such model: index: " + num(type));
      return 0;
  }
  std::memcpy(name, model, std::strlen(model));
  if (nvars > MAX_NAMES)
    message(" Too many variables in model " + num(type) + "  Number = " + num(nvars) + "  Maximum = " + num(MAX_NAMES));
  return 0;
}

void INI_NAM_MODEL(const int& type, char* table, int recordLength, int count) {
  switch (type) {
    case MODEL_CAR_1: Names_Car_1(table, recordLength, count); break;
    case MODEL_CAR_2: Names_Car_2(table, recordLength, count); break;
    case MODEL_CAR_R: Names_Car_R(table, recordLength, count); break;
    default:
      message("Wrong model index in INI_NAM_MODEL: " + num(type));
      TOLVU_STOP();
  }
}

void INI_VAR_MODEL(const int& type, double* store, int count) {
  switch (type) {
    case MODEL_CAR_1: Defaults_Car_1(store, count); break;
    case MODEL_CAR_2: Defaults_Car_2(store, count); break;
    case MODEL_CAR_R: Defaults_Car_R(store, count); break;
    default:
      message("Wrong model index in INI_VAR_MODEL: " + num(type));
      TOLVU_STOP();
  }
}

int CALL_MODEL(const int& type, const int& first, const int& mode, const double& time, double* store,
               const int& length) {
  if (type < MODEL_CAR_1 || type > MODEL_CAR_R) {
    message("Wrong model index in CALL_MODEL: " + num(type));
    TOLVU_STOP();
  }
  // The evaluation writes every block of the store: a store shorter than the model's is refused.
  const int needed = needed_length(type);
  if (store == nullptr || length < needed) {
    message(" CALL_MODEL: store too short in model " + num(type) + " LN_STORE  = " + num(length) +
            " needed = " + num(needed));
    return 0;
  }
  switch (type) {
    case MODEL_CAR_1: Call_Car_1(first, mode, time, store, length); break;
    case MODEL_CAR_2: Call_Car_2(first, mode, time, store, length); break;
    default: Call_Car_R(first, mode, time, store, length); break;
  }
  return 0;
}

int Init_Model_CPP(const int& type, double* store, const int& length, const char* dataFile, int fileLength) {
  const Counts c = size_of(type);
  if (!(c.nvars >= 1 && c.nvars < length && c.nvars < MAX_NAMES) || store == nullptr) {
    message(" Init_Model_CPP: Alloc. error in model " + num(type) + " NM_VARS   = " + num(c.nvars) +
            " MAX_NAMES = " + num(MAX_NAMES) + " LN_STORE  = " + num(length));
    return 0;
  }
  fill_table(type, c.nvars);
  INI_VAR_MODEL(type, store, c.nvars);
  const std::string file = dataFile && fileLength > 0 ? std::string(dataFile, static_cast<size_t>(fileLength)) : "";
  message(" Init_Model_CPP: DAT_FILE = " + file);
  if (!file.empty() && file[0] != ' ') ReadDataFile(store, file.c_str(), static_cast<int>(file.size()), g_nameTable, c.nvars);
  copy_inputs(type, store, length, c);
  return 1;
}

int Init_Data(const int& type, double* store, const int& length, const char* dataFile, int fileLength) {
  const Counts c = size_of(type);
  if (type < MODEL_CAR_1 || type > MODEL_CAR_R) INI_NAM_MODEL(type, g_nameTable, NAME_RECORD_LENGTH, 0);
  fill_table(type, c.nvars);
  if (store == nullptr || length < 1) return 1;
  // Only the elements within the caller's store are read or written.
  const int limit = c.nvars < length ? c.nvars : length;
  const std::string file = dataFile && fileLength > 0 ? std::string(dataFile, static_cast<size_t>(fileLength)) : "";
  if (!file.empty() && file[0] != ' ') ReadDataFile(store, file.c_str(), static_cast<int>(file.size()), g_nameTable, limit);
  copy_inputs(type, store, length, c);
  return 1;
}

int Get_Var_Index(const int& type, const char* name, int nameLength) {
  if (type != g_tableType || g_tableCount < 1) {
    const Counts c = size_of(type);
    if (c.nvars < 1 || c.nvars > MAX_NAMES - 1) {
      message(" Get_Var_Index: Alloc. error in model " + num(type) + " NM_VARS = " + num(c.nvars));
      g_tableType = 0;
      g_tableCount = 0;
      return -1;
    }
    fill_table(type, c.nvars);
  }
  // The name as 20 characters, cut or blank-padded.
  char buf[20];
  std::memset(buf, ' ', sizeof buf);
  if (name != nullptr && nameLength > 0) std::memcpy(buf, name, static_cast<size_t>(nameLength < 20 ? nameLength : 20));
  if (buf[0] == ' ') return 0;
  int len = 20;
  while (len > 0 && buf[len - 1] == ' ') --len;
  const int index = LookupVariable(buf, len, g_nameTable, g_tableCount, nullptr);
  message(" Model " + num(type) + " Variable: " + std::string(buf, static_cast<size_t>(len)) + " has index " + num(index));
  return index;
}

int Dump_Model(const int& type, const double& writeFormat, const double* store, const int& count) {
  const Counts c = size_of(type);
  if (type < MODEL_CAR_1 || type > MODEL_CAR_R) INI_NAM_MODEL(type, g_nameTable, NAME_RECORD_LENGTH, 0);
  static const char kFile[] = "My_States.mdl";
  static const char kTemp[] = "My_States.mdl.tmp";
  std::FILE* f = std::fopen(kTemp, "w");
  if (f == nullptr) {
    message(" Error opening file My_States.mdl");
    return 0;
  }
  fill_table(type, c.nvars);
  // Only variables have names: the dump covers at most the model's variable count.
  const int n = store == nullptr ? 0 : (count < c.nvars ? count : c.nvars);
  std::fprintf(f, "\"WRITEFORMAT= \n\" Time is %10.5f\"\n", writeFormat);
  for (int k = 1; k <= n;) {
    int rows, cols;
    VariableDims(k, rows, cols, g_nameTable, c.nvars);
    const char* rec = g_nameTable + static_cast<size_t>(k - 1) * NAME_RECORD_LENGTH;
    const int elements = rows * cols;
    if (elements <= 1) {
      const char t = rec[11];
      const std::string name = padded(ElementName(k, g_nameTable, c.nvars), 20);
      if (t == 'P' || t == 'Q' || t == 'R') {
        std::fprintf(f, "%s  %s\n", name.c_str(), exponent_form(store[k - 1]).c_str());
      } else if ((t == 'I' || t == 'J') && rec[0] != ' ') {
        const double v = store[k - 1];
        const long long iv = std::isfinite(v) && std::fabs(v) < 9.0e18 ? std::llround(v) : 0;
        std::fprintf(f, "%s  %6lld\n", name.c_str(), iv);
      }
      ++k;
      continue;
    }
    for (int e = 0; e < elements && k + e <= n; ++e) {
      const char t = g_nameTable[static_cast<size_t>(k + e - 1) * NAME_RECORD_LENGTH + 11];
      if (t == 'J' || t == 'P' || t == 'Q' || t == 'R' || t == 'B' || t == 'C') {
        const std::string name = padded(ElementName(k + e, g_nameTable, c.nvars), 20);
        std::fprintf(f, "%s  %s\n", name.c_str(), exponent_form(store[k + e - 1]).c_str());
      }
    }
    k += elements;
  }
  const bool ok = std::ferror(f) == 0;
  if (std::fclose(f) != 0 || !ok || std::rename(kTemp, kFile) != 0) {
    std::remove(kTemp);
    message(" Error opening file My_States.mdl");
  }
  return 0;
}
