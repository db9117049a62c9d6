#pragma once

#include <ostream>

#include "tools/command_line.h"

namespace sp::tool {

// `selfplay-tool export`: its options and what it does with them.
CommandSpec ExportCommandSpec();
int RunExport(const ParsedArgs& args, std::ostream& out, std::ostream& err);

}  // namespace sp::tool
