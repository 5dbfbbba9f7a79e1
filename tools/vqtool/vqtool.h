// vqtool: the data tool for authoring and checking the sample data tree.
// Each subcommand lives in its own file in this folder and registers itself with
// a static VQToolCommand object, so adding a command touches no shared file.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct VQToolCommand {
  // run receives the arguments after the subcommand name and returns the exit code.
  using Handler = std::function<int(const std::vector<std::string>& args)>;
  // formats: the file forms the command reads and writes, printed by "vqtool help" under the
  // summary (lines separated by newlines); null when there is nothing to add.
  VQToolCommand(const char* name, const char* usage, const char* summary, Handler run,
                const char* formats = nullptr);
  const char* name;
  const char* usage;
  const char* summary;
  Handler run;
  const char* formats;
};

// All registered subcommands, sorted by name.
const std::vector<const VQToolCommand*>& vqtool_Commands();
