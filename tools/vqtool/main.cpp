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

int print_help() {
  std::printf("usage: vqtool COMMAND [ARGS...]\n\ncommands:\n");
  for (const VQToolCommand* c : vqtool_Commands()) {
    std::printf("  %-40s %s\n", c->usage, c->summary);
  }
  return 0;
}

VQToolCommand g_help("help", "help", "list the commands",
                     [](const std::vector<std::string>&) { return print_help(); });
}  // namespace

VQToolCommand::VQToolCommand(const char* n, const char* u, const char* s, Handler r)
    : name(n), usage(u), summary(s), run(std::move(r)) {
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
  if (argc < 2) {
    print_help();
    return 2;
  }
  for (const VQToolCommand* c : vqtool_Commands()) {
    if (std::strcmp(c->name, argv[1]) == 0) {
      return c->run(std::vector<std::string>(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "vqtool: unknown command '%s' (try 'vqtool help')\n", argv[1]);
  return 2;
}
