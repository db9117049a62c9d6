#pragma once

#include <string>

#include "tools/command_line.h"

namespace sp::tool {

// Ctrl-C (SIGINT) and SIGTERM, caught by commands that stop at a safe point
// and remove what they had begun to write, instead of dying with a part of
// an output under its name. Child processes of a batch inherit the catch.
void CatchInterrupts();

// The signal caught, 0 when none.
int Interruption();

// "Ctrl-C" or "SIGTERM".
std::string InterruptionName(int signal);

class Interrupted : public ToolError {
 public:
  explicit Interrupted(int signal) : ToolError("stopped by " + InterruptionName(signal)) {}
};

// Throws Interrupted once a signal was caught.
void StopIfInterrupted();

}  // namespace sp::tool
