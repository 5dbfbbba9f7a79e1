// vqtool package-list IN: prints a package's entries, one line each: data size and name.
// Exit code 1 when the package cannot be read or an entry is damaged; names that would land
// outside the target folder on extraction are marked.
#include <cstdio>
#include <string>

#include "Zentri/util/VQPackageFile.h"
#include "Zentri/util/VQerror.h"
#include "tools/vqtool/vqtool.h"

namespace {

int run(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool package-list IN\n");
    return 2;
  }
  VQPackageFile package;
  g_VQerror = 0;
  if (!package.Open(args[0].c_str())) {
    std::fprintf(stderr, "package-list: cannot open %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("%u entries\n", unsigned(package.GetCount()));
  for (uint32_t i = 0; i < package.GetCount(); ++i) {
    std::string name;
    uint32_t size = 0;
    if (!package.GetEntry(i, &name, &size)) {
      std::fprintf(stderr, "package-list: entry %u is damaged (%s)\n", unsigned(i), VQerror_Describe(g_VQerror).c_str());
      return 1;
    }
    std::printf("%10u  %s%s\n", unsigned(size), name.c_str(),
                VQpackage_IsSafeName(name.c_str()) ? "" : "  (unsafe name: not extracted)");
  }
  return 0;
}

VQToolCommand g_command("package-list", "package-list IN", "list the entries of a package", run,
                        "prints each entry's data size and name; IN: a package as package-create writes it");

}  // namespace
