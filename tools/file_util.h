#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sp::tool {

// The whole file; ToolError naming it when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

enum class FileMode { Plain, Executable };

// Writes bytes to path (ToolError naming it on failure); an executable gets
// mode 0755. A regular file appears under its name only when whole: it is
// written beside it and renamed, and on failure nothing is left.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, FileMode mode);

// Whether a command may replace a file that exists already.
enum class Overwrite { kRefuse, kForce };

// ToolError "PATH exists already; --force overwrites it" when the path
// exists and overwriting was not asked for. Every command that writes asks
// this before it begins its work.
void CheckOutputFree(const std::string& path, Overwrite overwrite);

// The folder holding the running program, from /proc/self/exe.
std::string ProgramDirectory();

}  // namespace sp::tool
