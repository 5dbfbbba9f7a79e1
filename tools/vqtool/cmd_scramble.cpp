// vqtool scramble IN OUT [KEYHEX]: scrambles (or unscrambles: the same operation) a whole file
// with the given key, or with the built-in key when none is given. OUT is written to a
// temporary name first and renamed into place once complete.
#include <cstdio>
#include <string>
#include <vector>

#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQscramble.h"
#include "tools/vqtool/vqtool.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_key(const std::string& hex, std::vector<uint8_t>* key) {
  if (hex.empty() || hex.size() % 2 != 0) return false;
  key->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    key->push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

int run(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) {
    std::fprintf(stderr, "usage: vqtool scramble IN OUT [KEYHEX]\n");
    return 2;
  }
  std::vector<uint8_t> key;
  if (args.size() == 3 && !parse_key(args[2], &key)) {
    std::fprintf(stderr, "vqtool scramble: the key must be a non-empty even number of hex digits\n");
    return 2;
  }
  std::vector<uint8_t> data;
  if (!vqfileio::ReadWholeFile(args[0].c_str(), data, VQERR_OPEN_INPUT)) {
    std::fprintf(stderr, "vqtool scramble: cannot read '%s' (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  VQscramble(data.data(), data.size(), key.empty() ? nullptr : key.data(), key.size());
  if (!vqfileio::WriteWholeFile(args[1].c_str(), data.data(), data.size())) {
    std::fprintf(stderr, "vqtool scramble: cannot write '%s' (%s)\n", args[1].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  return 0;
}

VQToolCommand g_scramble("scramble", "scramble IN OUT [KEYHEX]",
                         "scramble or unscramble a file (built-in key when no key is given)", run,
                         "the same operation scrambles and unscrambles; KEYHEX: the key as hexadecimal digits\n"
                         "IN and OUT are any files; OUT is replaced only once complete");

}  // namespace
