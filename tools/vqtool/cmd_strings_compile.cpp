// vqtool strings-compile IN.txt OUT.bin: the text form of a message-string table to the
// scrambled binary form that the game reads.
#include <cstdio>

#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "tools/vqtool/vqtool.h"

namespace {

int run(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vqtool strings-compile IN.txt OUT.bin\n");
    return 2;
  }
  VQStrings table;
  g_VQerror = 0;
  if (!table.Load(args[0].c_str(), false, false)) {
    if (g_VQerror == VQERR_TOO_MANY_STRINGS)
      std::fprintf(stderr, "strings-compile: %s holds more than %u entries\n", args[0].c_str(),
                   unsigned(VQSTRINGS_MAX_ENTRIES));
    else
      std::fprintf(stderr, "strings-compile: cannot read %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  if (!table.SaveBinary(args[1].c_str())) {
    std::fprintf(stderr, "strings-compile: cannot write %s (%s)\n", args[1].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("%u entries\n", unsigned(table.GetCount()));
  return 0;
}

VQToolCommand g_command("strings-compile", "strings-compile IN.txt OUT.bin",
                        "message strings: text form to the scrambled binary form", run,
                        "IN.txt: \"<key>\" or \"<key:id>\" tags, each followed by white space and the text up to\n"
                        "the next \"<\"; \\n and \\t in a text stand for newline and tab (at most 500 entries)\n"
                        "OUT.bin: scrambled with the built-in key: u32 count, then per entry u32 identifier,\n"
                        "key and text as NUL-terminated strings (little-endian)");

}  // namespace
