#include "Zentri/util/VQfileio.h"

#include <cerrno>
#include <cstdint>
#include <new>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

namespace vqfileio {

namespace {

// The one whole-file read: Buffer is std::string or std::vector<uint8_t>.
template <typename Buffer>
bool ReadInto(const char* path, Buffer& out, int32_t openError) {
  out.clear();
  std::FILE* f = VQfile_Open(path, "rb");
  if (!f) return VQerror_Fail(openError);
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  // A folder opened as a file reports the largest offset on some file systems; like
  // VQfile_Size, sizes that do not fit 31 bits are refused before anything is allocated.
  if (size < 0 || size > long(INT32_MAX) || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return VQerror_Fail(VQERR_FILE_ACCESS);
  }
  try {
    out.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    std::fclose(f);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  size_t got = size ? std::fread(out.data(), 1, out.size(), f) : 0;
  // A folder can also open and report size 0 and then fail to read: refused as well.
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (got != out.size() || failed) {
    out.clear();
    return VQerror_Fail(VQERR_FILE_ACCESS);
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& out, int32_t openError) { return ReadInto(path, out, openError); }

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, int32_t openError) {
  return ReadInto(path, out, openError);
}

bool WriteWholeFile(const char* path, const void* data, size_t size) {
  ReplacingFile file;
  if (!file.Open(path)) return false;
  if (!file.Write(data, size)) return false;
  return file.Commit();
}

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open(const char* path) {
  Abandon();
  if (!path || !*path) return VQerror_Fail(VQERR_CREATE_OUTPUT);
  m_target = path;
  m_temp = m_target + ".vqtmp";
  m_failed = false;
  m_error = 0;
  m_file = VQfile_Open(m_temp.c_str(), "wb");
  if (!m_file) {
    m_temp.clear();
    return VQerror_Fail(VQERR_CREATE_OUTPUT);
  }
  return true;
}

bool ReplacingFile::Write(const void* data, size_t size) {
  if (!m_file || m_failed) return VQerror_Fail(m_error ? m_error : VQERR_SYSTEM);
  if (size && std::fwrite(data, 1, size, m_file) != size) {
    m_failed = true;
    m_error = VQerror_FromSystem(errno);
    return VQerror_Fail(m_error);
  }
  return true;
}

bool ReplacingFile::Commit() {
  if (!m_file) return VQerror_Fail(VQERR_SYSTEM);
  if (m_failed) {
    int32_t code = m_error;
    Abandon();
    return VQerror_Fail(code ? code : VQERR_SYSTEM);
  }
  bool ok = true;
  int err = 0;
  if (std::fflush(m_file) != 0) {
    ok = false;
    err = errno;
  }
  if (std::fclose(m_file) != 0) {
    if (ok) err = errno;
    ok = false;
  }
  m_file = nullptr;
  if (!ok) {
    Abandon();
    return VQerror_Fail(VQerror_FromSystem(err));
  }
  if (!VQfile_Rename(m_target.c_str(), m_temp.c_str())) {
    int32_t code = g_VQerror;
    Abandon();
    return VQerror_Fail(code);
  }
  m_temp.clear();
  return true;
}

void ReplacingFile::Abandon() {
  if (m_file) {
    std::fclose(m_file);
    m_file = nullptr;
  }
  if (!m_temp.empty()) {
    int32_t keep = g_VQerror;
    VQfile_Delete(m_temp.c_str());
    g_VQerror = keep;
    m_temp.clear();
  }
}

}  // namespace vqfileio
