// vqtool package-create [-C DIR] OUT FILE...: makes a package of the files. Each entry is
// named by the path as given (relative to DIR when -C is used), with backslashes between
// folders; a folder adds every file below it, in name order.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Zentri/util/VQPackageFile.h"
#include "Zentri/util/VQerror.h"
#include "tools/vqtool/vqtool.h"

namespace fs = std::filesystem;

namespace {

bool read_file(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string entry_name(const std::string& relative) {
  std::string name = relative;
  std::replace(name.begin(), name.end(), '/', '\\');
  while (name.size() > 2 && name[0] == '.' && name[1] == '\\') name.erase(0, 2);
  return name;
}

bool add(const fs::path& base, const std::string& relative, std::vector<VQPackageItem>* items) {
  fs::path source = base / relative;
  std::error_code ec;
  if (fs::is_directory(source, ec)) {
    std::vector<std::string> files;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_regular_file()) files.push_back(fs::relative(it->path(), base).generic_string());
    }
    if (ec) {
      std::fprintf(stderr, "package-create: cannot list %s\n", source.c_str());
      return false;
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
      if (!add(base, f, items)) return false;
    }
    return true;
  }
  VQPackageItem item;
  item.name = entry_name(relative);
  if (!VQpackage_IsSafeName(item.name.c_str())) {
    std::fprintf(stderr, "package-create: %s: entry names must be relative and stay inside the target folder\n",
                 relative.c_str());
    return false;
  }
  if (!read_file(source, &item.data)) {
    std::fprintf(stderr, "package-create: cannot read %s\n", source.c_str());
    return false;
  }
  items->push_back(std::move(item));
  return true;
}

int run(const std::vector<std::string>& args) {
  size_t i = 0;
  fs::path base = ".";
  if (args.size() >= 2 && args[0] == "-C") {
    base = args[1];
    i = 2;
  }
  if (args.size() < i + 2) {
    std::fprintf(stderr, "usage: vqtool package-create [-C DIR] OUT FILE...\n");
    return 2;
  }
  const std::string out = args[i++];
  std::vector<VQPackageItem> items;
  for (; i < args.size(); ++i) {
    if (!add(base, args[i], &items)) return 1;
  }
  g_VQerror = 0;
  if (!VQpackage_Write(out.c_str(), items)) {
    std::fprintf(stderr, "package-create: cannot write %s (%s)\n", out.c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("%zu entries\n", items.size());
  return 0;
}

VQToolCommand g_command("package-create", "package-create [-C DIR] OUT FILE...",
                        "make a package of files and folders", run,
                        "FILE: paths relative to DIR (default: the current folder); folders are packed whole\n"
                        "OUT: u32 entry count, then per entry u32 record size, u32 data size, the\n"
                        "backslash-separated name with a NUL, and the data (little-endian)");

}  // namespace
