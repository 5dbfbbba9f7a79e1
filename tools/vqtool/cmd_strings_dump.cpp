// vqtool strings-dump IN.bin: prints a scrambled binary message-string table in the text form,
// which strings-compile reads back. Entries the text form cannot carry exactly are reported
// on stderr and make the exit code 3.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "tools/vqtool/vqtool.h"

namespace {

// Why the text form would not give this entry back, or null.
const char* lossy(const char* key, const char* text) {
  for (const char* p = key; *p; ++p) {
    if (std::isspace(static_cast<unsigned char>(*p)) || *p == '<') return "key holds white space or '<'";
  }
  if (std::strchr(key, ':')) return "key holds ':'";
  if (std::strchr(text, '<')) return "text holds '<'";
  if (*text == ' ' || *text == '\t' || *text == '\n') return "text begins with white space";
  size_t n = std::strlen(text);
  if (n && text[n - 1] == '\n') return "text ends in a newline";
  if (std::strstr(text, "\\n") || std::strstr(text, "\\t")) return "text holds a backslash before n or t";
  return nullptr;
}

int run(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool strings-dump IN.bin\n");
    return 2;
  }
  VQStrings table;
  g_VQerror = 0;
  if (!table.Load(args[0].c_str(), false, true)) {
    std::fprintf(stderr, "strings-dump: cannot read %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  int rc = 0;
  for (uint32_t i = 0; i < table.GetCount(); ++i) {
    const char* key = table.GetKey(i);
    const char* text = table.GetText(i);
    int32_t id = table.GetId(i);
    if (const char* why = lossy(key, text)) {
      std::fprintf(stderr, "strings-dump: entry %u (%s): %s\n", unsigned(i), key, why);
      rc = 3;
    }
    std::string out = "<";
    out += key;
    if (id != -1) out += ":" + std::to_string(id);
    out += "> ";
    for (const char* p = text; *p; ++p) {
      if (*p == '\n')
        out += "\\n";
      else if (*p == '\t')
        out += "\\t";
      else
        out += *p;
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return rc;
}

VQToolCommand g_command("strings-dump", "strings-dump IN.bin",
                        "message strings: print a binary table in the text form", run,
                        "IN.bin: as strings-compile writes it; the output is the text form strings-compile reads");

}  // namespace
