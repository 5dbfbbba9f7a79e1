#include "Zentri/util/VQerror.h"

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
