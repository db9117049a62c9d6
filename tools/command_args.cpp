#include "tools/command_args.h"

#include <exception>

#include "payload/layout.h"
#include "payload/payload_locator.h"
#include "platform/stream.h"
#include "tools/interrupt.h"
#include "tools/stub_choice.h"

namespace sp::tool {

const OptionSpec kJobsOption{"--jobs", "N", "work on N files at once (default 1)", "-j"};
const OptionSpec kProgressOption{"--progress", "json",
                                 "one JSON object a line on stderr per file and every 5 percent", ""};

const OptionSpec kForceOption{"--force", "", "overwrite outputs that exist", ""};

Overwrite OverwriteOf(const ParsedArgs& args) {
  return args.Has("--force") ? Overwrite::kForce : Overwrite::kRefuse;
}

const OptionSpec kOffsetOption{"--offset", "N",
                               "the payload begins at offset N (the stub's size; default: found in the "
                               "file, behind a Windows executable's image, a 495616-byte stub, or at 0)",
                               ""};

uint32_t PayloadOffset(const ParsedArgs& args) {
  if (auto text = args.Get("--offset")) {
    return static_cast<uint32_t>(ParseInteger(*text, "--offset", 0, UINT32_MAX - 4));
  }
  try {
    FileStream file(args.Positional().at(0));
    return LocatePayload(file).offset;
  } catch (const std::exception&) {
    return PAYLOAD_OFFSET;
  }
}

std::string StubPath(const ParsedArgs& args) {
  return ChooseStub(args.Get("--stub"), args.Get("--for"), ProgramDirectory());
}

int Jobs(const ParsedArgs& args) {
  return static_cast<int>(ParseInteger(args.Get("--jobs").value_or("1"), "--jobs", 1, 64));
}


ProgressLines Progress(const ParsedArgs& args) {
  const auto value = args.Get("--progress");
  if (!value) return ProgressLines::kNone;
  if (*value != "json") throw UsageError("--progress takes json, not \"" + *value + "\"");
  return ProgressLines::kJson;
}

std::string ProgressLine(const nlohmann::ordered_json& line) {
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}


Batch FindBatch(const ParsedArgs& args) {
  Batch batch;
  batch.files = FindRecordings(args.Positional(), PayloadOffset(args));
  batch.summarised = batch.files.size() != 1 || AnyFolder(args.Positional());
  // Folders without a single recording are more likely a wrong path than
  // a batch that succeeded.
  if (batch.files.empty()) throw ToolError("no recordings found in the folders given");
  return batch;
}

int ReportBatchEnd(const std::string& command, const Batch& batch, const BatchCounts& counts, std::ostream& err,
                   const std::string& extra) {
  if (counts.signal != 0) {
    // What is whole is kept; a second run finishes the rest.
    err << "selfplay-tool " << command << ": " << InterruptionName(counts.signal) << ": " << counts.succeeded
        << " of " << batch.files.size() << " file" << (batch.files.size() == 1 ? "" : "s") << " finished, "
        << counts.failed << " failed, " << counts.stopped << " stopped, " << counts.notStarted
        << " not started; nothing of the stopped ones was kept\n";
    return 128 + counts.signal;
  }
  if (batch.summarised) {
    err << "selfplay-tool " << command << ": " << counts.succeeded + counts.failed << " file"
        << (counts.succeeded + counts.failed == 1 ? "" : "s") << ", " << counts.succeeded << " succeeded, "
        << counts.failed << " failed" << extra;
    if (counts.skipped > 0) {
      err << "; " << counts.skipped << " skipped, as " << (counts.skipped == 1 ? "its output exists" : "their outputs exist")
          << " already (--force writes " << (counts.skipped == 1 ? "it" : "them") << " again)";
    }
    err << "\n";
  }
  return counts.failed == 0 ? 0 : 1;
}

const OptionSpec kOutputOption{"--output", "OUT", "the file to write", "-o"};

}  // namespace sp::tool
