#include "Zentri/util/VQPackageFile.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"

namespace {

// Header bytes of an entry before its name: entry length and data size.
constexpr uint64_t kEntryFixed = 8;
// The smallest sound entry: the two lengths and an empty name's terminator.
constexpr uint64_t kEntryMin = kEntryFixed + 1;
constexpr size_t kCopyChunk = 64 * 1024;

bool read_u32(std::FILE* f, uint32_t* v) {
  uint8_t b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xff));
}

bool seek_to(std::FILE* f, uint64_t offset) {
  return offset <= uint64_t(LONG_MAX) && std::fseek(f, long(offset), SEEK_SET) == 0;
}

}  // namespace

bool VQpackage_IsSafeName(const char* name) {
  if (!name || !*name) return false;
  if (name[0] == '\\' || name[0] == '/') return false;
  if (std::strchr(name, ':')) return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      size_t len = size_t(p - component);
      if (len == 2 && component[0] == '.' && component[1] == '.') return false;
      if (*p == '\0') return len > 0;  // a trailing separator names a folder, not a file
      component = p + 1;
    }
  }
}

VQPackageFile::VQPackageFile() : m_open(0), m_count(0), m_name(nullptr), m_stream(nullptr), m_fileSize(0) {}

VQPackageFile::~VQPackageFile() { Close(); }

void VQPackageFile::Close() {
  if (m_stream) std::fclose(m_stream);
  std::free(m_name);
  m_open = 0;
  m_count = 0;
  m_name = nullptr;
  m_stream = nullptr;
  m_fileSize = 0;
}

bool VQPackageFile::Open(const char* path) {
  Close();
  if (!path) return VQerror_Fail(VQERR_OPEN_INPUT);
  std::FILE* f = VQfile_Open(path, "rb");
  if (!f) return VQerror_Fail(VQERR_OPEN_INPUT);
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  uint32_t count = 0;
  if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return VQerror_Fail(VQERR_OPEN_INPUT);
  }
  if (!read_u32(f, &count) || uint64_t(count) > (uint64_t(size) - 4) / kEntryMin) {
    // A folder opens as a stream too, but cannot be read: that is a file access error, not a
    // package with a bad header.
    const bool unreadable = std::ferror(f) != 0;
    std::fclose(f);
    return VQerror_Fail(unreadable ? VQERR_FILE_ACCESS : VQERR_BAD_HEADER);
  }
  m_name = static_cast<char*>(std::malloc(VQPACKAGE_MAX_PATH + 1));
  if (!m_name) {
    std::fclose(f);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  m_name[0] = '\0';
  m_stream = f;
  m_fileSize = uint64_t(size);
  m_count = count;
  m_open = 1;
  return true;
}

// Walks from the first entry to entry index by the entry lengths, checking each against the
// file's size, then reads that entry's data size and name into m_name.
bool VQPackageFile::ReadEntryHeader(uint32_t index, EntryHeader* header) {
  uint64_t pos = 4;
  uint32_t length = 0;
  for (uint32_t i = 0;; ++i) {
    if (!seek_to(m_stream, pos) || !read_u32(m_stream, &length)) return VQerror_Fail(VQERR_FILE_TYPE);
    if (length < kEntryMin || length > m_fileSize - pos) return VQerror_Fail(VQERR_FILE_TYPE);
    if (i == index) break;
    pos += length;
  }
  uint32_t dataSize = 0;
  if (!read_u32(m_stream, &dataSize)) return VQerror_Fail(VQERR_FILE_TYPE);

  // The name ends at a NUL inside the entry and fits the name buffer.
  const uint64_t room = length - kEntryFixed;
  size_t n = 0;
  for (;;) {
    if (n >= room) return VQerror_Fail(VQERR_FILE_TYPE);
    int c = std::fgetc(m_stream);
    if (c == EOF) return VQerror_Fail(VQERR_FILE_TYPE);
    if (c == 0) break;
    if (n >= VQPACKAGE_MAX_PATH) return VQerror_Fail(VQERR_NAME_TOO_LONG);
    m_name[n++] = char(c);
  }
  m_name[n] = '\0';
  const uint64_t used = kEntryFixed + n + 1;
  if (uint64_t(dataSize) > uint64_t(length) - used) return VQerror_Fail(VQERR_FILE_TYPE);
  header->dataOffset = pos + used;
  header->dataSize = dataSize;
  return true;
}

bool VQPackageFile::GetEntry(uint32_t index, std::string* name, uint32_t* dataSize) {
  if (!m_open) return VQerror_Fail(VQERR_PACKAGE_NOT_OPEN);
  if (index >= m_count) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  EntryHeader h;
  if (!ReadEntryHeader(index, &h)) return false;
  if (name) *name = m_name;
  if (dataSize) *dataSize = h.dataSize;
  return true;
}

bool VQPackageFile::Extract(uint32_t index, const char* folder, bool makeFolders) {
  if (!m_open) return VQerror_Fail(VQERR_PACKAGE_NOT_OPEN);
  if (index >= m_count) return false;
  EntryHeader h;
  if (!ReadEntryHeader(index, &h)) return false;
  if (!VQpackage_IsSafeName(m_name)) return VQerror_Fail(VQERR_INVALID_ARGUMENT);

  // Packages made on any system may separate folders with either slash.
  std::string out;
  if (folder && *folder) {
    out = folder;
    out.push_back('\\');
  }
  for (const char* p = m_name; *p; ++p) out.push_back(*p == '/' ? '\\' : *p);
  if (out.size() > VQPACKAGE_MAX_PATH) return VQerror_Fail(VQERR_NAME_TOO_LONG);

  vqfileio::ReplacingFile file;
  if (!file.Open(out.c_str())) {
    if (!makeFolders) return VQerror_Fail(VQERR_CREATE_OUTPUT);
    char parent[VQPACKAGE_MAX_PATH + 1];
    if (!VQpath_Folder(out.c_str(), parent, sizeof parent)) return VQerror_Fail(VQERR_CREATE_OUTPUT);
    if (parent[0] && !VQfile_MakePath(parent)) return VQerror_Fail(VQERR_CREATE_OUTPUT);
    if (!file.Open(out.c_str())) return VQerror_Fail(VQERR_CREATE_OUTPUT);
  }

  if (!seek_to(m_stream, h.dataOffset)) return VQerror_Fail(VQERR_FILE_TYPE);
  std::vector<char> chunk(kCopyChunk);
  uint64_t left = h.dataSize;
  while (left > 0) {
    size_t want = left < kCopyChunk ? size_t(left) : kCopyChunk;
    if (std::fread(chunk.data(), 1, want, m_stream) != want) return VQerror_Fail(VQERR_FILE_TYPE);
    if (!file.Write(chunk.data(), want)) return false;
    left -= want;
  }
  return file.Commit();
}

bool VQpackage_Write(const char* path, const std::vector<VQPackageItem>& items) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (items.size() > UINT32_MAX) return VQerror_Fail(VQERR_NOT_SUPPORTED);
  for (const VQPackageItem& item : items) {
    if (!VQpackage_IsSafeName(item.name.c_str()) || item.name.find('\0') != std::string::npos)
      return VQerror_Fail(VQERR_INVALID_ARGUMENT);
    if (item.name.size() > VQPACKAGE_MAX_PATH) return VQerror_Fail(VQERR_NAME_TOO_LONG);
    if (uint64_t(item.data.size()) + kEntryFixed + item.name.size() + 1 > UINT32_MAX)
      return VQerror_Fail(VQERR_NOT_SUPPORTED);
  }
  vqfileio::ReplacingFile file;
  if (!file.Open(path)) return false;
  std::string head;
  put_u32(head, uint32_t(items.size()));
  if (!file.Write(head.data(), head.size())) return false;
  for (const VQPackageItem& item : items) {
    head.clear();
    put_u32(head, uint32_t(kEntryFixed + item.name.size() + 1 + item.data.size()));
    put_u32(head, uint32_t(item.data.size()));
    head.append(item.name);
    head.push_back('\0');
    if (!file.Write(head.data(), head.size())) return false;
    if (!file.Write(item.data.data(), item.data.size())) return false;
  }
  return file.Commit();
}
