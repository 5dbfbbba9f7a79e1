#include "tools/vqtool/vqtool.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Zentri/util/VQlog.h"

namespace {
std::vector<const VQToolCommand*>& registry() {
  static std::vector<const VQToolCommand*> commands;
  return commands;
}

// Prints text indented under a command, one output line per line of text.
void print_indented(const char* text) {
  while (*text) {
    const char* end = std::strchr(text, '\n');
    const int length = end ? int(end - text) : int(std::strlen(text));
    std::printf("      %.*s\n", length, text);
    text += length + (end ? 1 : 0);
  }
}

// The command list; with details, each command's file formats under its summary.
int print_help(FILE* to, bool details) {
  std::fprintf(to, "usage: vqtool COMMAND [ARGS...]\n\ncommands:\n");
  for (const VQToolCommand* c : vqtool_Commands()) {
    std::fprintf(to, "  %-40s %s\n", c->usage, c->summary);
    if (details && c->formats) print_indented(c->formats);
  }
  if (!details) std::fprintf(to, "\n'vqtool help' describes the file formats of each command.\n");
  return 0;
}

VQToolCommand g_help("help", "help", "list the commands and the file formats they read and write",
                     [](const std::vector<std::string>&) { return print_help(stdout, true); });
}  // namespace

VQToolCommand::VQToolCommand(const char* n, const char* u, const char* s, Handler r, const char* f)
    : name(n), usage(u), summary(s), run(std::move(r)), formats(f) {
  registry().push_back(this);
}

const std::vector<const VQToolCommand*>& vqtool_Commands() {
  auto& commands = registry();
  std::sort(commands.begin(), commands.end(),
            [](const VQToolCommand* a, const VQToolCommand* b) { return std::strcmp(a->name, b->name) < 0; });
  return commands;
}

int main(int argc, char** argv) {
  // Engine messages go to stderr; a command-line program writes no engine log file into the
  // folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  if (argc < 2) return print_help(stderr, false), 2;
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return print_help(stdout, true);
  for (const VQToolCommand* c : vqtool_Commands()) {
    if (std::strcmp(c->name, argv[1]) == 0) {
      // "vqtool COMMAND --help": that command's usage and formats.
      if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
        std::printf("usage: vqtool %s\n  %s\n", c->usage, c->summary);
        if (c->formats) print_indented(c->formats);
        return 0;
      }
      return c->run(std::vector<std::string>(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "vqtool: unknown command '%s' (try 'vqtool help')\n", argv[1]);
  return 2;
}
