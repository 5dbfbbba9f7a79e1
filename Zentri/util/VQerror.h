// The engine error code. Every engine operation that fails returns false or null and
// leaves one of these numbers in g_VQerror; success never clears it. The engine compares
// numbers; the programs print a code's name and one-line meaning (VQerror_Name,
// VQerror_Meaning, VQerror_Describe) beside the number.
#pragma once

#include <cstdint>
#include <string>

extern int32_t g_VQerror;

// Every code: X(name, value, meaning). The values are fixed; gaps are codes never set.
#define VQERROR_CODES(X)                                                                           \
  X(VQERR_NONE, 0, "no error recorded")                                                            \
  X(VQERR_SYSTEM_CALL, 1, "a system call failed (a folder listing or the network cannot start)")  \
  X(VQERR_SYSTEM, 2, "a system or file operation failed")                                          \
  X(VQERR_GL_LOAD, 3, "an OpenGL entry point cannot be loaded")                                    \
  X(VQERR_GL_PROBE_WINDOW, 4, "the OpenGL probe cannot make its window")                           \
  X(VQERR_GL_PROBE_PIXELFORMAT, 5, "no suitable OpenGL pixel format")                              \
  X(VQERR_TEXTURE_FORMAT, 6, "the display device has no texture format for the image's format")   \
  X(VQERR_GL_PROBE_CONTEXT, 7, "an OpenGL rendering context cannot be made")                       \
  X(VQERR_GL_PROBE_VERSION, 8, "the OpenGL version cannot be read")                                \
  X(VQERR_GL_LOAD_LIBRARY, 9, "the OpenGL library cannot be loaded")                               \
  X(VQERR_GL_PROBE_OLD, 10, "the OpenGL version is older than 1.1")                                \
  X(VQERR_DISPLAY_MODE_QUERY, 11, "the screen's current mode cannot be queried")                  \
  X(VQERR_MODE_SWITCH, 12, "the display mode cannot be switched")                                  \
  X(VQERR_MODE_RESTART, 13, "the display mode switch needs a restart")                             \
  X(VQERR_TOO_MANY_CANVASES, 14, "the display device already has its 64 canvases")                \
  X(VQERR_TOO_MANY_VIEWPORTS, 15, "the canvas already has its 16 viewports")                      \
  X(VQERR_OUT_OF_MEMORY, 16, "out of memory")                                                      \
  X(VQERR_WINDOW_CREATE, 17, "the canvas window cannot be created")                                \
  X(VQERR_LIGHT_INDEX, 18, "the light index is beyond the device's lights")                       \
  X(VQERR_NOT_SUPPORTED, 21, "data or format not supported")                                       \
  X(VQERR_FILE_ACCESS, 22, "a file cannot be examined or opened")                                  \
  X(VQERR_CREATE_OUTPUT, 23, "the output file cannot be created")                                  \
  X(VQERR_OPEN_INPUT, 24, "the input file cannot be opened")                                       \
  X(VQERR_FILE_TYPE, 25, "unknown file type, or the file cannot be read as its type")              \
  X(VQERR_BAD_HEADER, 26, "bad file or message header")                                            \
  X(VQERR_TABLE_FULL, 27, "a fixed-size table is full")                                            \
  X(VQERR_INVALID_ARGUMENT, 28, "invalid argument")                                                \
  X(VQERR_NOT_FOUND, 29, "not found")                                                              \
  X(VQERR_NAME_TOO_LONG, 31, "a name is too long")                                                 \
  X(VQERR_NOT_OPEN, 32, "not initialised or not open")                                             \
  X(VQERR_ALREADY_EXISTS, 34, "already exists")                                                    \
  X(VQERR_RENAME_DENIED, 35, "rename refused: access denied")                                      \
  X(VQERR_RENAME_MISSING, 36, "rename refused: the source is missing")                             \
  X(VQERR_NO_SUCH_FILE, 37, "no such file or folder")                                              \
  X(VQERR_DEVICE_KIND, 38, "device kind not served")                                               \
  X(VQERR_DEVICE_UNAVAILABLE, 39, "device not available")                                          \
  X(VQERR_TOO_MANY_DEVICES, 41, "more than 32 devices registered")                                 \
  X(VQERR_TOO_MANY_STRINGS, 42, "more than 500 message strings")                                   \
  X(VQERR_HANDLER_STACK_FULL, 43, "the event-handler stack is full")                               \
  X(VQERR_HANDLER_STACK_EMPTY, 44, "the event-handler stack is empty")                             \
  X(VQERR_WINDOWED_UNSUPPORTED, 46, "the display device cannot render into a window")             \
  X(VQERR_NO_RENDER_DEVICE, 47, "no rendering device matches the requested flags")                \
  X(VQERR_BUFFER_TOO_SMALL, 48, "buffer too small")                                                \
  X(VQERR_OPERATION_NOT_OFFERED, 52, "the socket or protocol layer does not offer this operation") \
  X(VQERR_NO_CANVAS, 56, "the display device has no canvas yet (texture limits unknown)")         \
  X(VQERR_TOO_MANY_LAYERS, 57, "more than 128 protocol layers")                                    \
  X(VQERR_ACCESS_DENIED, 58, "access denied")                                                      \
  X(VQERR_UNSUPPORTED_OPERATION, 59, "operation not supported")                                    \
  X(VQERR_PACKAGE_NOT_OPEN, 60, "package file not open")                                           \
  X(VQERR_SOCKET_CLOSED, 61, "the connection was closed or shut down")                             \
  X(VQERR_SEND_INCOMPLETE, 62, "queued data cannot be sent now")                                   \
  X(VQERR_SERVER_NO_SLOT, 63, "the server has no free client slot")                                \
  X(VQERR_SOCKET_NOT_STARTED, 64, "the socket or client is not connected")                         \
  X(VQERR_BAD_HANDLE, 65, "bad handle")                                                            \
  X(VQERR_INTERRUPTED, 66, "interrupted")                                                          \
  X(VQERR_TRY_AGAIN, 67, "resource temporarily unavailable, try again")                            \
  X(VQERR_BROKEN_PIPE, 68, "broken pipe")                                                          \
  X(VQERR_ALREADY_OPEN, 77, "already open")                                                        \
  X(VQERR_CONNECTION_STATE, 78, "the connection is not in a state that allows this")               \
  X(VQERR_CONNECTION_ACTIVE, 79, "a connection is still active")                                   \
  X(VQERR_NO_CLIENTS, 80, "the server has no connected clients")                                   \
  X(VQERR_HOST_NOT_FOUND, 81, "the host name is not known")                                        \
  X(VQERR_HOST_NO_ADDRESS, 82, "the host name has no address")                                     \
  X(VQERR_HOST_LOOKUP_FAILED, 83, "the host name lookup failed")                                   \
  X(VQERR_HOST_LOOKUP_AGAIN, 84, "the host name lookup failed for now, try again")

enum VQErrorCode : int32_t {
#define VQERROR_ENUM(name, value, meaning) name = value,
  VQERROR_CODES(VQERROR_ENUM)
#undef VQERROR_ENUM
};

// Records a failure and returns false, for the common "fail with code" return.
inline bool VQerror_Fail(int32_t code) {
  g_VQerror = code;
  return false;
}

// The code's name ("VQERR_NO_SUCH_FILE"), or "VQERR_UNKNOWN" for a number that is no code.
const char* VQerror_Name(int32_t code);
// One line saying what failed ("no such file or folder"); "unknown error code" for others.
const char* VQerror_Meaning(int32_t code);
// The text programs print: "error 37 VQERR_NO_SUCH_FILE: no such file or folder".
std::string VQerror_Describe(int32_t code);

// The engine code for a system error number (errno; the numbers the engine names are the
// same on Linux and in the old run-time library): ENOENT -> VQERR_NO_SUCH_FILE, EINTR ->
// VQERR_INTERRUPTED, EBADF -> VQERR_BAD_HANDLE, EAGAIN -> VQERR_TRY_AGAIN, EACCES ->
// VQERR_ACCESS_DENIED, EINVAL -> VQERR_INVALID_ARGUMENT, EPIPE -> VQERR_BROKEN_PIPE, every
// other number (0 included) -> VQERR_SYSTEM.
int32_t VQerror_FromSystem(int errnum);
// Sets g_VQerror from a system error number and returns false.
bool VQerror_FailFromSystem(int errnum);
