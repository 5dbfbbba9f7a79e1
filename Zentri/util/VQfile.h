// File utilities: open, rename, existence, status and size, delete, folder creation, the
// folder listing, the engine's file types by extension, and token readers over an open stream.
// Every path goes through the path layer (VQpath.h): backslashes and names in any case work.
// Failures return false (or -1 / null) and leave the engine error code in g_VQerror,
// translated from the system error number; success leaves g_VQerror untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Zentri/util/VQpath.h"

// ---- Opening, status and changes --------------------------------------------------------

// fopen on the resolved path. The mode is the usual one ("rb", "wt", "a+"); 't' is accepted
// and ignored. On failure: null, and g_VQerror from the system error (37 missing, 58 denied,
// 28 bad mode, 2 other); callers that report "cannot open input/output" set 24/23 over it.
FILE* VQfile_Open(const char* path, const char* mode);

// The status of a file or folder, as far as the engine needs it.
struct VQFileStatus {
  int64_t size = 0;          // bytes
  bool isFolder = false;
  int64_t modified = 0;      // seconds since 1970, UTC
};

// Renames (moves) source to destination. An existing destination file is replaced, so a save
// can write a temporary file and rename it over the old one. Errors: source missing 36,
// access denied 35, invalid argument 28, any other 2.
bool VQfile_Rename(const char* destination, const char* source);
// Like VQfile_Rename, but refuses (35, nothing renamed) when the destination exists.
bool VQfile_MoveNew(const char* destination, const char* source);
// Errors: no such file 37 (also a path through something that is not a folder), any other 22.
bool VQfile_Stat(const char* path, VQFileStatus* status);
// True unless VQfile_Stat fails with 37: a path whose status cannot be read for another reason
// counts as present. Leaves VQfile_Stat's error code behind.
bool VQfile_Exists(const char* path);
// The size in bytes, or -1 with error 22 (also for a missing file, and for a file of 2 GiB or
// more, whose size does not fit the result).
int32_t VQfile_Size(const char* path);
// Removes a file. Errors: missing 37, access denied (also a folder) 58, any other 2.
bool VQfile_Delete(const char* path);
// Creates one folder. Errors: parent missing 37, already exists 34, any other 2.
bool VQfile_MakeFolder(const char* path);
// Creates every missing folder along a backslash (or slash) path, the last component included;
// "." and ".." prefixes are skipped; "" gives true. A path that begins with a backslash has an
// empty first prefix, which cannot be created: false. A path longer than 255 characters fails
// with 31 before anything is created.
bool VQfile_MakePath(const char* path);

// ---- File types ---------------------------------------------------------------------------

enum VQFileType : int32_t {
  VQFILE_UNKNOWN = 0,  // "unk", and every extension not in the table
  VQFILE_TGA = 1,
  VQFILE_PCX = 2,
  VQFILE_JPG = 3,
  VQFILE_VQO = 4,
  VQFILE_3DS = 5,
  VQFILE_TXT = 6,
  VQFILE_VQP = 7,
  VQFILE_VQM = 8,
  VQFILE_WAV = 9,
  VQFILE_VQW = 10,
  VQFILE_MP3 = 11,
  VQFILE_VQ3 = 12,
  VQFILE_MDL = 13,
  VQFILE_WRL = 14,
  VQFILE_PNG = 15,
  VQFILE_BMP = 16,
};
constexpr int VQFILE_TYPE_COUNT = 17;

// The type from the last three characters of the name, compared without regard to case; no
// dot is looked for ("road.jpeg" -> "peg" -> unknown, "mytga" -> tga). Shorter names and null
// give VQFILE_UNKNOWN.
VQFileType VQfile_TypeFromExtension(const char* name);

// ---- Folder listing -------------------------------------------------------------------------

constexpr size_t VQFOLDER_NAME_SIZE = 256;  // 255 characters and the NUL

// An open folder listing. Zero-initialise it; VQfile_FindFirst opens it, VQfile_FindClose
// releases it.
struct VQFolderScan {
  void* m_handle = nullptr;       // the host's folder scan
  uint32_t m_firstPending = 0;    // 1 after VQfile_FindFirst until the first entry is taken
};

struct VQFolderEntry {
  char m_name[VQFOLDER_NAME_SIZE] = {};  // at most 255 characters
  uint8_t m_isFolder = 0;
};

// Starts listing a folder (resolved through the path layer). Error 1 when it cannot start.
bool VQfile_FindFirst(VQFolderScan* scan, const char* folder);
// The next entry, "." and ".." skipped, in the order the system returns them. At the end: false,
// empty name, g_VQerror unchanged. On a system failure: false with the translated error.
bool VQfile_FindNext(VQFolderScan* scan, VQFolderEntry* entry);
// Ends the listing; false with the translated error (65 for a scan that is not open).
bool VQfile_FindClose(VQFolderScan* scan);

// ---- Token readers over a stream opened by the caller ---------------------------------------

// Skips blanks, tabs and newlines ('\r' is not skipped) and pushes the next character back.
void VQfile_SkipBlank(FILE* stream);
// Reads into buffer (size n, at least 1) up to the stop character, which is pushed back and not
// stored, or the end of the stream: true. At the end of the stream already: empty buffer, true.
// When the text does not fit (an n-th character that is not the stop arrives): the first n - 1
// characters, false, and that character is left unread with the rest of the text.
bool VQfile_ReadUntil(FILE* stream, char* buffer, size_t n, int stop);
// As VQfile_ReadUntil with '\n' as the stop, except that the newline is consumed.
bool VQfile_ReadLine(FILE* stream, char* buffer, size_t n);
// Reads a NUL-terminated string (or up to the end of the stream) into buffer of size n and
// returns the number of characters before the NUL. A string that does not fit is read on up to
// its NUL, so the stream stays at the next record; the buffer keeps its first n - 1 characters,
// g_VQerror is set to 48 and the result is -1. n == 0 or a null buffer/stream: -1 with 28.
int32_t VQfile_ReadString(FILE* stream, char* buffer, size_t n);
// As VQfile_ReadString for text stored with 127 added to every byte (modulo 256): each byte is
// turned back before it is stored, and the string ends at the stored byte 127.
int32_t VQfile_ReadScrambledString(FILE* stream, char* buffer, size_t n);
