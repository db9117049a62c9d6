#pragma once

#include <string>
#include <vector>

#include "tools/command_line.h"

namespace sp::tool {

enum class Shell { kBash, kZsh, kFish };

// Shell completion for `program` from its command tables: command names,
// each command's options, files or folders for their values by the value's
// name (DIR: a folder; N, MS, TEXT and the like: nothing), files for
// positional arguments. `extraCommands` are completed as names only.
std::string CompletionScript(Shell shell, const std::string& program, const std::vector<CommandSpec>& commands,
                             const std::vector<CommandSpec>& extraCommands = {});

}  // namespace sp::tool
