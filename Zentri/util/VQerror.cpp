#include "Zentri/util/VQerror.h"

#include <string>

int32_t g_VQerror = 0;

int32_t VQerror_FromSystem(int errnum) {
  switch (errnum) {
    case 2: return VQERR_NO_SUCH_FILE;
    case 4: return VQERR_INTERRUPTED;
    case 9: return VQERR_BAD_HANDLE;
    case 11: return VQERR_TRY_AGAIN;
    case 13: return VQERR_ACCESS_DENIED;
    case 22: return VQERR_INVALID_ARGUMENT;
    case 32: return VQERR_BROKEN_PIPE;
    default: return VQERR_SYSTEM;
  }
}

bool VQerror_FailFromSystem(int errnum) { return VQerror_Fail(VQerror_FromSystem(errnum)); }

namespace {

struct ErrorRow {
  int32_t code;
  const char* name;
  const char* meaning;
};

constexpr ErrorRow kErrorRows[] = {
#define VQERROR_ROW(name, value, meaning) {value, #name, meaning},
    VQERROR_CODES(VQERROR_ROW)
#undef VQERROR_ROW
};

const ErrorRow* FindRow(int32_t code) {
  for (const ErrorRow& row : kErrorRows)
    if (row.code == code) return &row;
  return nullptr;
}

}  // namespace

const char* VQerror_Name(int32_t code) {
  const ErrorRow* row = FindRow(code);
  return row ? row->name : "VQERR_UNKNOWN";
}

const char* VQerror_Meaning(int32_t code) {
  const ErrorRow* row = FindRow(code);
  return row ? row->meaning : "unknown error code";
}

std::string VQerror_Describe(int32_t code) {
  return "error " + std::to_string(code) + " " + VQerror_Name(code) + ": " + VQerror_Meaning(code);
}
