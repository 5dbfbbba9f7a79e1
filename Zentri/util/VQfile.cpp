#include "Zentri/util/VQfile.h"

#include <cerrno>
#include <cstring>

#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"
#include "host/fs/fs.h"

FILE* VQfile_Open(const char* path, const char* mode) {
  if (!path || !*path || !mode) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  int err = 0;
  FILE* f = host::open_file(VQpath_Resolve(path).c_str(), mode, &err);
  if (!f) VQerror_FailFromSystem(err);
  return f;
}

bool VQfile_Rename(const char* destination, const char* source) {
  if (!destination || !source) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  int err = host::rename_path(VQpath_Resolve(destination).c_str(), VQpath_Resolve(source).c_str());
  switch (err) {
    case 0: return true;
    case ENOENT: return VQerror_Fail(VQERR_RENAME_MISSING);
    case EACCES:
    case EPERM: return VQerror_Fail(VQERR_RENAME_DENIED);
    case EINVAL: return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    default: return VQerror_Fail(VQERR_SYSTEM);
  }
}

bool VQfile_MoveNew(const char* destination, const char* source) {
  if (VQfile_Exists(destination)) return VQerror_Fail(VQERR_RENAME_DENIED);
  return VQfile_Rename(destination, source);
}

bool VQfile_Stat(const char* path, VQFileStatus* status) {
  if (!path || !*path) return VQerror_Fail(VQERR_NO_SUCH_FILE);
  host::FileStatus st;
  int err = host::stat_path(VQpath_Resolve(path).c_str(), &st);
  if (err == ENOENT || err == ENOTDIR) return VQerror_Fail(VQERR_NO_SUCH_FILE);
  if (err != 0) return VQerror_Fail(VQERR_FILE_ACCESS);
  if (status) {
    status->size = st.size;
    status->isFolder = st.is_folder;
    status->modified = st.modified;
  }
  return true;
}

bool VQfile_Exists(const char* path) {
  return VQfile_Stat(path, nullptr) || g_VQerror != VQERR_NO_SUCH_FILE;
}

int32_t VQfile_Size(const char* path) {
  VQFileStatus st;
  if (!VQfile_Stat(path, &st) || st.size > INT32_MAX) {
    g_VQerror = VQERR_FILE_ACCESS;
    return -1;
  }
  return static_cast<int32_t>(st.size);
}

bool VQfile_Delete(const char* path) {
  if (!path || !*path) return VQerror_Fail(VQERR_NO_SUCH_FILE);
  int err = host::delete_file(VQpath_Resolve(path).c_str());
  switch (err) {
    case 0: return true;
    case ENOENT:
    case ENOTDIR: return VQerror_Fail(VQERR_NO_SUCH_FILE);
    case EACCES:
    case EPERM:
    case EISDIR: return VQerror_Fail(VQERR_ACCESS_DENIED);
    default: return VQerror_Fail(VQERR_SYSTEM);
  }
}

bool VQfile_MakeFolder(const char* path) {
  if (!path || !*path) return VQerror_Fail(VQERR_NO_SUCH_FILE);
  int err = host::make_folder(VQpath_Resolve(path).c_str());
  switch (err) {
    case 0: return true;
    case ENOENT: return VQerror_Fail(VQERR_NO_SUCH_FILE);
    case EEXIST: return VQerror_Fail(VQERR_ALREADY_EXISTS);
    default: return VQerror_Fail(VQERR_SYSTEM);
  }
}

namespace {
// One step of VQfile_MakePath: make the prefix unless it is "." / ".." or already there.
bool make_prefix(const char* prefix) {
  if (std::strcmp(prefix, ".") == 0 || std::strcmp(prefix, "..") == 0) return true;
  if (*prefix && VQfile_Exists(prefix)) return true;
  return VQfile_MakeFolder(prefix);
}
}  // namespace

bool VQfile_MakePath(const char* path) {
  if (!path || !*path) return true;
  const size_t len = std::strlen(path);
  if (len > 255) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  char copy[256];
  std::memcpy(copy, path, len + 1);
  for (size_t i = 0; i < len; ++i) {
    if (copy[i] != '\\' && copy[i] != '/') continue;
    // A leading slash is the root of an absolute Linux path, which exists.
    if (i == 0 && copy[i] == '/') continue;
    char saved = copy[i];
    copy[i] = 0;
    bool ok = make_prefix(copy);
    copy[i] = saved;
    if (!ok) return false;
  }
  return make_prefix(copy);
}

VQFileType VQfile_TypeFromExtension(const char* name) {
  static const char* const kExtensions[VQFILE_TYPE_COUNT] = {
      "unk", "tga", "pcx", "jpg", "vqo", "3ds", "txt", "vqp", "vqm",
      "wav", "vqw", "mp3", "vq3", "mdl", "wrl", "png", "bmp"};
  if (!name) return VQFILE_UNKNOWN;
  const size_t len = std::strlen(name);
  if (len < 3) return VQFILE_UNKNOWN;
  char ext[4];
  for (int i = 0; i < 3; ++i) {
    char c = name[len - 3 + i];
    ext[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  ext[3] = 0;
  for (int t = 0; t < VQFILE_TYPE_COUNT; ++t) {
    if (std::strcmp(ext, kExtensions[t]) == 0) return static_cast<VQFileType>(t);
  }
  return VQFILE_UNKNOWN;
}

bool VQfile_FindFirst(VQFolderScan* scan, const char* folder) {
  return VQwin32_FindFirst(scan, VQpath_Resolve(folder ? folder : "").c_str());
}

bool VQfile_FindNext(VQFolderScan* scan, VQFolderEntry* entry) { return VQwin32_FindNext(scan, entry); }

bool VQfile_FindClose(VQFolderScan* scan) { return VQwin32_FindClose(scan); }

void VQfile_SkipBlank(FILE* stream) {
  if (!stream) return;
  int c;
  do {
    c = std::fgetc(stream);
  } while (c == ' ' || c == '\t' || c == '\n');
  if (c != EOF) std::ungetc(c, stream);
}

namespace {
bool read_until(FILE* stream, char* buffer, size_t n, int stop, bool consumeStop) {
  if (!stream || !buffer || n == 0) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  stop = static_cast<unsigned char>(stop);  // a char argument may arrive sign-extended
  size_t count = 0;
  for (;;) {
    int c = std::fgetc(stream);
    if (c == EOF) break;
    if (c == stop) {
      if (!consumeStop) std::ungetc(c, stream);
      break;
    }
    if (count + 1 >= n) {
      std::ungetc(c, stream);
      buffer[count] = 0;
      return false;
    }
    buffer[count++] = static_cast<char>(c);
  }
  buffer[count] = 0;
  return true;
}

int32_t read_string(FILE* stream, char* buffer, size_t n, int offset) {
  if (!stream || !buffer || n == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return -1;
  }
  size_t count = 0;
  bool fits = true;
  for (;;) {
    int c = std::fgetc(stream);
    if (c == EOF) break;
    char ch = static_cast<char>((c - offset) & 0xff);
    if (ch == 0) break;
    if (count + 1 >= n) {
      fits = false;  // keep reading to the terminator, storing nothing more
      continue;
    }
    buffer[count++] = ch;
  }
  buffer[count] = 0;
  if (!fits || count > INT32_MAX) {
    g_VQerror = VQERR_BUFFER_TOO_SMALL;
    return -1;
  }
  return static_cast<int32_t>(count);
}
}  // namespace

bool VQfile_ReadUntil(FILE* stream, char* buffer, size_t n, int stop) {
  return read_until(stream, buffer, n, stop, false);
}

bool VQfile_ReadLine(FILE* stream, char* buffer, size_t n) {
  return read_until(stream, buffer, n, '\n', true);
}

int32_t VQfile_ReadString(FILE* stream, char* buffer, size_t n) {
  return read_string(stream, buffer, n, 0);
}

int32_t VQfile_ReadScrambledString(FILE* stream, char* buffer, size_t n) {
  return read_string(stream, buffer, n, 127);
}
