// vqtool tolvu-info TYPE [NAMES...]: a model's sizes and, given variable names, their store indices.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/include/tolvu.h"
#include "tools/vqtool/vqtool.h"

namespace {

// TYPE is a model type number or a model name (CAR_1, CAR_2, CAR_R).
bool parse_type(const std::string& text, int& type) {
  static const char* const kNames[] = {"CAR_1", "CAR_2", "CAR_R"};
  for (int i = 0; i < 3; ++i)
    if (text == kNames[i]) {
      type = i + 1;
      return true;
    }
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < -1000000 || v > 1000000) return false;
  type = static_cast<int>(v);
  return true;
}

int run(const std::vector<std::string>& args) {
  int type = 0;
  if (args.empty() || !parse_type(args[0], type)) {
    if (!args.empty())
      std::fprintf(
          stderr,
          "tolvu-info: TYPE '%s': needs a model type number or name (CAR_1, CAR_2, CAR_R)\n",
          args[0].c_str());
    std::fprintf(stderr, "usage: vqtool tolvu-info TYPE [NAMES...]\n");
    return 2;
  }
  const int size = tolvu_GetModelDefinitionSize(type);
  if (size <= 0) {
    std::fprintf(stderr, "tolvu-info: no model of type %d (the library has types 1 to %d)\n", type,
                 tolvu_GetNumberOfModelDefinitions());
    return 1;
  }
  std::printf("model type %d\n", type);
  std::printf("  store length    %d\n", size);
  std::printf("  states          %d\n", tolvu_GetNumberOfStates(type));
  std::printf("  inertia states  %d\n", tolvu_GetNumberOfInertiaStates(type));
  int unknown = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const int index = tolvu_GetVarIndex(type, args[i].c_str());
    if (index > 0) {
      std::printf("%-20s %d\n", args[i].c_str(), index);
    } else {
      std::printf("%-20s unknown\n", args[i].c_str());
      ++unknown;
    }
  }
  return unknown == 0 ? 0 : 1;
}

const VQToolCommand g_command("tolvu-info", "tolvu-info TYPE [NAMES...]",
                              "sizes of a Tolvu model and the store indices of variable names", run,
                              "TYPE: the model type number (1 or 2); NAMES: variable names of that model");

}  // namespace
