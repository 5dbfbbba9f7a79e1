// vqtool bonus-create KIND FOLDER OUT: makes a bonus archive (a compressed package) of every
// file below FOLDER, named relative to it, so that installing it unpacks those files into the
// game folder. FOLDER is laid out like the game folder and holds one class's files (KIND car,
// OUT ending in .car: at least one Data/Cars/class_*.bin) or one track's files (KIND track,
// OUT ending in .trk: at least one Data/Tracks/menutrack_*.vqo).
#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/vqtool/vqtool.h"
#include "Zentri/util/VQarchive.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQPackageFile.h"

namespace fs = std::filesystem;

namespace {

bool EndsWithNoCase(const std::string& text, const char* tail) {
  const size_t n = std::char_traits<char>::length(tail);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

bool StartsWithNoCase(const std::string& text, const char* head) {
  const size_t n = std::char_traits<char>::length(head);
  return text.size() >= n && strncasecmp(text.c_str(), head, n) == 0;
}

int run(const std::vector<std::string>& args) {
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: vqtool bonus-create car|track FOLDER OUT.car|OUT.trk\n");
    return 2;
  }
  const std::string& kind = args[0];
  const fs::path folder = args[1];
  const std::string out = args[2];
  const bool car = kind == "car";
  if (!car && kind != "track") {
    std::fprintf(stderr, "bonus-create: KIND is car or track, not '%s'\n", kind.c_str());
    return 2;
  }
  if (!EndsWithNoCase(out, car ? ".car" : ".trk")) {
    std::fprintf(stderr, "bonus-create: a %s archive's name ends in %s\n", kind.c_str(),
                 car ? ".car" : ".trk");
    return 2;
  }
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "bonus-create: %s is not a folder\n", folder.c_str());
    return 1;
  }
  // The archive must not land among the files it packs.
  const fs::path outFull = fs::weakly_canonical(fs::absolute(out), ec);
  const fs::path base = fs::canonical(folder, ec);
  const auto rel = outFull.lexically_relative(base);
  if (!rel.empty() && *rel.begin() != "..") {
    std::fprintf(stderr, "bonus-create: OUT must lie outside FOLDER\n");
    return 2;
  }
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).generic_string());
  if (ec) {
    std::fprintf(stderr, "bonus-create: cannot list %s\n", folder.c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());
  bool found = false;
  std::vector<VQPackageItem> items;
  for (const std::string& f : files) {
    const fs::path p(f);
    const std::string parent = p.parent_path().generic_string(), name = p.filename().string();
    if (car && strcasecmp(parent.c_str(), "Data/Cars") == 0 && StartsWithNoCase(name, "class_") &&
        EndsWithNoCase(name, ".bin"))
      found = true;
    if (!car && strcasecmp(parent.c_str(), "Data/Tracks") == 0 &&
        StartsWithNoCase(name, "menutrack_") && EndsWithNoCase(name, ".vqo"))
      found = true;
    VQPackageItem item;
    item.name = f;
    std::replace(item.name.begin(), item.name.end(), '/', '\\');
    std::ifstream in(folder / p, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "bonus-create: cannot read %s\n", f.c_str());
      return 1;
    }
    item.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    items.push_back(std::move(item));
  }
  if (!found) {
    std::fprintf(stderr, "bonus-create: %s holds no %s\n", folder.c_str(),
                 car ? "Data/Cars/class_*.bin" : "Data/Tracks/menutrack_*.vqo");
    return 1;
  }
  const std::string package = out + ".vqa-part";
  g_VQerror = 0;
  bool ok =
      VQpackage_Write(package.c_str(), items) && VQarchive_Compress(package.c_str(), out.c_str());
  const int32_t error = g_VQerror;
  std::remove(package.c_str());
  if (!ok) {
    std::fprintf(stderr, "bonus-create: cannot write %s (%s)\n", out.c_str(),
                 VQerror_Describe(error).c_str());
    return 1;
  }
  std::printf("%zu files\n", items.size());
  return 0;
}

VQToolCommand g_command(
    "bonus-create", "bonus-create car|track FOLDER OUT.car|OUT.trk",
    "make a bonus car or track archive of a folder laid out like the game folder", run,
    "FOLDER: the class's files (Data/Cars/class_NAME.bin, textures, ...) or the track's\n"
    "(Data/Tracks/menutrack_NAME.vqo, ...), named relative to FOLDER\n"
    "OUT: \"VQBA\", u32 version 1, u64 package size, then the package as one zlib stream");

}  // namespace
