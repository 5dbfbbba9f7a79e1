// The engine error code. Every engine operation that fails returns false or null and
// leaves one of these numbers in g_VQerror; success never clears it. Callers compare
// numbers: there is no table of texts.
#pragma once

#include <cstdint>

extern int32_t g_VQerror;

enum VQErrorCode : int32_t {
  VQERR_NONE = 0,
  VQERR_SYSTEM_CALL = 1,          // a folder listing or the network library cannot start
  VQERR_SYSTEM = 2,               // any other system error number; other file failures
  VQERR_GL_LOAD = 3,              // an OpenGL entry point or library cannot be loaded (also 9)
  VQERR_GL_PROBE_WINDOW = 4,
  VQERR_GL_PROBE_PIXELFORMAT = 5,
  VQERR_DRIVER_6 = 6,
  VQERR_GL_PROBE_CONTEXT = 7,
  VQERR_GL_PROBE_VERSION = 8,
  VQERR_GL_LOAD_LIBRARY = 9,
  VQERR_GL_PROBE_OLD = 10,
  VQERR_DRIVER_11 = 11,
  VQERR_MODE_SWITCH = 12,
  VQERR_MODE_RESTART = 13,
  VQERR_DRIVER_14 = 14,
  VQERR_DRIVER_15 = 15,
  VQERR_OUT_OF_MEMORY = 16,
  VQERR_DRIVER_17 = 17,
  VQERR_DRIVER_18 = 18,
  VQERR_NOT_SUPPORTED = 21,       // data or format not supported
  VQERR_FILE_ACCESS = 22,         // a file cannot be examined or opened
  VQERR_CREATE_OUTPUT = 23,
  VQERR_OPEN_INPUT = 24,
  VQERR_FILE_TYPE = 25,           // unknown type, or cannot be read as its type
  VQERR_BAD_HEADER = 26,
  VQERR_TABLE_FULL = 27,
  VQERR_INVALID_ARGUMENT = 28,
  VQERR_NOT_FOUND = 29,
  VQERR_NAME_TOO_LONG = 31,
  VQERR_NOT_OPEN = 32,            // not initialised or not open
  VQERR_ALREADY_EXISTS = 34,
  VQERR_RENAME_DENIED = 35,
  VQERR_RENAME_MISSING = 36,
  VQERR_NO_SUCH_FILE = 37,
  VQERR_DEVICE_KIND = 38,
  VQERR_DEVICE_UNAVAILABLE = 39,
  VQERR_TOO_MANY_DEVICES = 41,
  VQERR_TOO_MANY_STRINGS = 42,
  VQERR_HANDLER_STACK_FULL = 43,
  VQERR_HANDLER_STACK_EMPTY = 44,
  VQERR_DRIVER_46 = 46,
  VQERR_DRIVER_47 = 47,
  VQERR_BUFFER_TOO_SMALL = 48,
  VQERR_OPERATION_NOT_OFFERED = 52,  // a socket or protocol layer does not offer this operation
  VQERR_DRIVER_56 = 56,
  VQERR_TOO_MANY_LAYERS = 57,
  VQERR_ACCESS_DENIED = 58,
  VQERR_UNSUPPORTED_OPERATION = 59,
  VQERR_PACKAGE_NOT_OPEN = 60,
  VQERR_SERVER_61 = 61,
  VQERR_SERVER_62 = 62,
  VQERR_SERVER_NO_SLOT = 63,
  VQERR_SERVER_64 = 64,
  VQERR_BAD_HANDLE = 65,
  VQERR_INTERRUPTED = 66,
  VQERR_TRY_AGAIN = 67,
  VQERR_BROKEN_PIPE = 68,
  VQERR_ALREADY_OPEN = 77,
  VQERR_CONNECTION_78 = 78,
  VQERR_CONNECTION_79 = 79,
  VQERR_CONNECTION_80 = 80,
  VQERR_LOCAL_ADDRESS_81 = 81,
  VQERR_LOCAL_ADDRESS_82 = 82,
  VQERR_LOCAL_ADDRESS_83 = 83,
  VQERR_LOCAL_ADDRESS_84 = 84,
};

// Records a failure and returns false, for the common "fail with code" return.
inline bool VQerror_Fail(int32_t code) {
  g_VQerror = code;
  return false;
}

// The engine code for a system error number (errno; the numbers the engine names are the
// same on Linux and in the old run-time library): 2 -> 37, 4 -> 66, 9 -> 65, 11 -> 67,
// 13 -> 58, 22 -> 28, 32 -> 68, every other number (0 included) -> 2.
int32_t VQerror_FromSystem(int errnum);
// Sets g_VQerror from a system error number and returns false.
bool VQerror_FailFromSystem(int errnum);
