// The fuzz check of `selfplay-tool info`: its text and JSON reports of any
// file, through the tool's own command line.
#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/hardening/fuzz_checks.h"
#include "tests/hardening/headless_run.h"
#include "tools/tool_main.h"

namespace sp::hardening {
namespace {

// nlohmann's dump refuses a string that is no UTF-8.
bool IsUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == size;
}

std::string Run(const std::vector<std::string>& args, std::string& out) {
  std::ostringstream o;
  std::ostringstream e;
  const int status = tool::RunTool(args, o, e);
  out = o.str();
  const std::string command = args[0] + " " + args[1];
  if (status != 0 && status != 1) return command + ": exit status " + std::to_string(status);
  if (!IsUtf8(out)) return command + ": the report is no UTF-8";
  if (!IsUtf8(e.str())) return command + ": a message is no UTF-8";
  if (status == 1 && e.str().empty()) return command + ": failed without a message";
  return {};
}

}  // namespace

std::string CheckInfo(const uint8_t* data, size_t size) {
  static ScratchDir dir("fuzz-info");
  const std::string path = dir.File("FUZZ.EXE");
  if (!WriteWhole(path, data, size)) return "cannot write the recording";
  // The full decode costs the most; the input's first byte chooses it.
  std::vector<std::string> args = {"info", path};
  if (size > 0 && data[0] % 4 == 0) args.insert(args.begin() + 1, "--decode");
  std::string text;
  std::string problem = Run(args, text);
  if (!problem.empty()) return problem;
  args.insert(args.begin() + 1, "--json");
  std::string json;
  problem = Run(args, json);
  if (!problem.empty()) return problem;
  std::istringstream lines(json);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    if (!nlohmann::json::accept(line)) return "info --json: a line is no JSON: " + line.substr(0, 200);
  }
  if (count != 1) return "info --json: " + std::to_string(count) + " lines for one file";
  return {};
}

}  // namespace sp::hardening
