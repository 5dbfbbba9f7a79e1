#include "host/fs/fs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace host {

namespace {

bool exists_exact(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

bool ascii_iequal(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a);
    unsigned char cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

// Looks for name in folder without regard to case; empty when nothing matches.
std::string find_case_insensitive(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string best;
  while (struct dirent* e = ::readdir(dir)) {
    if (!ascii_iequal(e->d_name, name.c_str())) continue;
    if (best.empty() || std::strcmp(e->d_name, best.c_str()) < 0) best = e->d_name;
  }
  ::closedir(dir);
  return best;
}

}  // namespace

std::string resolve_path(const char* path) {
  if (!path || !*path) return std::string();
  std::string p(path);
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (exists_exact(p)) return p;

  const bool absolute = p[0] == '/';
  const bool trailing = p.size() > 1 && p.back() == '/';
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    if (end > start) parts.emplace_back(p, start, end - start);
    start = end + 1;
  }

  std::string out = absolute ? "/" : "";
  bool missing = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& comp = parts[i];
    std::string folder = out;
    if (!out.empty() && out.back() != '/') out += '/';
    if (missing || comp == "." || comp == "..") {
      out += comp;
      continue;
    }
    if (exists_exact(out + comp)) {
      out += comp;
      continue;
    }
    std::string match = find_case_insensitive(folder, comp);
    if (match.empty()) {
      out += comp;
      missing = true;
    } else {
      out += match;
    }
  }
  if (trailing && !out.empty() && out.back() != '/') out += '/';
  return out;
}

int stat_path(const char* real_path, FileStatus* out) {
  struct stat st;
  if (::stat(real_path, &st) != 0) return errno;
  if (out) {
    out->size = static_cast<int64_t>(st.st_size);
    out->is_folder = S_ISDIR(st.st_mode);
    out->modified = static_cast<int64_t>(st.st_mtime);
  }
  return 0;
}

int make_folder(const char* real_path) { return ::mkdir(real_path, 0777) == 0 ? 0 : errno; }
int change_folder(const char* real_path) { return ::chdir(real_path) == 0 ? 0 : errno; }

int delete_file(const char* real_path) { return ::unlink(real_path) == 0 ? 0 : errno; }

int delete_folder(const char* real_path) { return ::rmdir(real_path) == 0 ? 0 : errno; }

int rename_path(const char* real_to, const char* real_from) {
  return ::rename(real_from, real_to) == 0 ? 0 : errno;
}

FILE* open_file(const char* real_path, const char* mode, int* err) {
  char m[16];
  size_t n = 0;
  for (const char* c = mode ? mode : ""; *c && n + 1 < sizeof m; ++c) {
    if (std::strchr("rwa+bxe", *c)) m[n++] = *c;
  }
  m[n] = 0;
  if (n == 0 || !std::strchr("rwa", m[0])) {
    if (err) *err = EINVAL;
    return nullptr;
  }
  FILE* f = std::fopen(real_path, m);
  if (!f && err) *err = errno;
  return f;
}

struct FolderScan {
  DIR* dir = nullptr;
  std::string path;
};

FolderScan* open_folder(const char* real_path, int* err) {
  DIR* dir = ::opendir(real_path && *real_path ? real_path : ".");
  if (!dir) {
    if (err) *err = errno;
    return nullptr;
  }
  FolderScan* scan = new FolderScan;
  scan->dir = dir;
  scan->path = real_path && *real_path ? real_path : ".";
  return scan;
}

int read_folder(FolderScan* scan, std::string* name, bool* is_folder) {
  if (!scan) return -EBADF;
  errno = 0;
  struct dirent* e = ::readdir(scan->dir);
  if (!e) return errno ? -errno : 0;
  bool folder = false;
  if (e->d_type == DT_DIR) {
    folder = true;
  } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
    struct stat st;
    std::string full = scan->path + "/" + e->d_name;
    folder = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  if (name) *name = e->d_name;
  if (is_folder) *is_folder = folder;
  return 1;
}

int close_folder(FolderScan* scan) {
  if (!scan) return EBADF;
  int rc = ::closedir(scan->dir) == 0 ? 0 : errno;
  delete scan;
  return rc;
}

}  // namespace host
