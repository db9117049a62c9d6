#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sp::tool {

// Runs one command line (args without the program name): the result on
// out, every message on err. Returns the exit status: 0 done, 1 failed
// (a damaged file included), 2 a wrong command line.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

int ToolMain(int argc, char** argv);

}  // namespace sp::tool
