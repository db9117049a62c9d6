#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "tools/batch.h"
#include "tools/command_line.h"
#include "tools/file_util.h"

namespace sp::tool {

// Options and values that several commands share, read from their command
// lines in one way.

extern const OptionSpec kJobsOption;
extern const OptionSpec kProgressOption;
extern const OptionSpec kForceOption;
extern const OptionSpec kOffsetOption;
extern const OptionSpec kOutputOption;
// Command lines hold far fewer; this is "no limit".
inline constexpr size_t kManyFiles = 1'000'000;

Overwrite OverwriteOf(const ParsedArgs& args);
// --offset, else where the first file's payload is found (the stub's size
// when none is).
uint32_t PayloadOffset(const ParsedArgs& args);
// The player built beside this program (the Windows one when it is there),
// unless --stub or --for names another; checked to be a stub.
std::string StubPath(const ParsedArgs& args);
int Jobs(const ParsedArgs& args);

enum class ProgressLines { kNone, kJson };
ProgressLines Progress(const ParsedArgs& args);
// One JSON object on one line, bytes that are no UTF-8 replaced.
std::string ProgressLine(const nlohmann::ordered_json& line);

// The files of a batch, and whether its end is reported with a count.
struct Batch {
  std::vector<std::string> files;
  bool summarised = false;
};
Batch FindBatch(const ParsedArgs& args);

// The line that ends a batch of several files ("3 files, 2 succeeded, 1
// failed" and `extra`), and the exit status of the batch.
int ReportBatchEnd(const std::string& command, const Batch& batch, const BatchCounts& counts, std::ostream& err,
                   const std::string& extra = "");

}  // namespace sp::tool
