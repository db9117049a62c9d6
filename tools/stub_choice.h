#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sp::tool {

enum class StubPlatform { Windows, Linux };

// The player that pack and repack put in front of a recording: the one
// --stub names, else the one --for names built beside this tool, else the
// Windows player when it is built (the self-playing file people expect),
// else the Linux one. Whatever is chosen is checked to be a stub (ToolError
// otherwise); `forOption` is "windows" or "linux" (UsageError otherwise).
std::string ChooseStub(const std::optional<std::string>& stubOption,
                       const std::optional<std::string>& forOption, const std::string& toolDir);

// Checks that bytes are a player stub: exactly PAYLOAD_OFFSET bytes, and a
// PE image when they claim to be a Windows program (or must be one).
// ToolError names what is wrong.
void CheckStub(const std::string& path, const std::vector<uint8_t>& bytes,
               std::optional<StubPlatform> expected);

// The platform a stub that passed CheckStub plays on: Windows when it is a
// Windows program.
StubPlatform PlatformOfStub(const std::string& path);

// What pack says after writing `output` with a player it chose by itself:
// which one it was and how to get the other.
std::string DefaultStubNote(StubPlatform platform, const std::string& output);

// Where the player for a platform is looked for, in order.
std::vector<std::string> StubCandidates(StubPlatform platform, const std::string& toolDir);

}  // namespace sp::tool
