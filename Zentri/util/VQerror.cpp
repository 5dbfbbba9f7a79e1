#include "Zentri/util/VQerror.h"

int32_t g_VQerror = 0;
