#include "tools/stub_choice.h"

#include <filesystem>

#include "payload/layout.h"
#include "tools/command_line.h"
#include "tools/file_util.h"
#include "tools/text_format.h"

namespace sp::tool {

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// An MZ header whose e_lfanew leads to "PE\0\0" and a machine of x86 or x64.
bool IsPeImage(const std::vector<uint8_t>& b) {
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return false;
  const uint32_t pe = Le32(b, 0x3C);
  if (pe > b.size() - 6 || pe < 0x40) return false;
  if (b[pe] != 'P' || b[pe + 1] != 'E' || b[pe + 2] != 0 || b[pe + 3] != 0) return false;
  const unsigned machine = b[pe + 4] | b[pe + 5] << 8;
  return machine == 0x8664 || machine == 0x014C;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

const char* Name(StubPlatform p) { return p == StubPlatform::Windows ? "Windows" : "Linux"; }

}  // namespace

StubPlatform PlatformOfStub(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z' ? StubPlatform::Windows : StubPlatform::Linux;
}

std::string DefaultStubNote(StubPlatform platform, const std::string& output) {
  if (platform == StubPlatform::Windows) {
    return output + " holds the Windows player (on Linux it runs under Wine, not as ./" +
           std::filesystem::path(output).filename().string() + "); --for linux writes the Linux player";
  }
  return output + " holds the Linux player; --for windows writes the Windows player";
}

std::vector<std::string> StubCandidates(StubPlatform platform, const std::string& toolDir) {
  if (platform == StubPlatform::Linux) return {toolDir + "/selfplay"};
  // Installed side by side, or the windows preset's build next to this one.
  return {toolDir + "/selfplay.exe", toolDir + "/../build-windows/selfplay.exe"};
}

void CheckStub(const std::string& path, const std::vector<uint8_t>& bytes,
               std::optional<StubPlatform> expected) {
  if (bytes.size() != PAYLOAD_OFFSET) {
    throw ToolError(path + " is " + Thousands(static_cast<int64_t>(bytes.size())) +
                    " bytes, not a player stub: a stub is exactly " + Thousands(PAYLOAD_OFFSET) +
                    " bytes, the offset where its recording begins");
  }
  const bool claimsWindows = bytes[0] == 'M' && bytes[1] == 'Z';
  if ((claimsWindows || expected == StubPlatform::Windows) && !IsPeImage(bytes)) {
    throw ToolError(path + " is not a Windows program (no PE image), so it is no Windows player stub");
  }
}

std::string ChooseStub(const std::optional<std::string>& stubOption,
                       const std::optional<std::string>& forOption, const std::string& toolDir) {
  std::optional<StubPlatform> platform;
  if (forOption) {
    if (*forOption == "windows") {
      platform = StubPlatform::Windows;
    } else if (*forOption == "linux") {
      platform = StubPlatform::Linux;
    } else {
      throw UsageError("--for takes windows or linux, not " + *forOption);
    }
  }
  if (stubOption && platform) throw UsageError("give --stub or --for, not both");

  std::string path;
  if (stubOption) {
    path = *stubOption;
  } else {
    const std::vector<StubPlatform> order =
        platform ? std::vector{*platform} : std::vector{StubPlatform::Windows, StubPlatform::Linux};
    for (StubPlatform p : order) {
      for (const std::string& candidate : StubCandidates(p, toolDir)) {
        if (path.empty() && IsFile(candidate)) {
          path = candidate;
          platform = p;
        }
      }
    }
    if (path.empty()) {
      const StubPlatform wanted = order.size() == 1 ? order[0] : StubPlatform::Linux;
      std::string message = std::string("no ") + (order.size() == 1 ? Name(wanted) : "") +
                            (order.size() == 1 ? " " : "") + "player stub is built: looked at";
      for (StubPlatform p : order) {
        for (const std::string& candidate : StubCandidates(p, toolDir)) message += " " + candidate;
      }
      message += order.size() == 1 && wanted == StubPlatform::Windows
                     ? "; build it with cmake --preset windows && cmake --build --preset windows"
                     : "; build the player first";
      throw ToolError(message + ", or name one with --stub");
    }
  }
  CheckStub(path, ReadWholeFile(path), platform);
  return path;
}

}  // namespace sp::tool
