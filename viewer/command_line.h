#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sp::view {

// What selfplay-view is asked to do from its command line.
struct ViewerOptions {
  std::vector<std::string> files;
  std::optional<double> startMilliseconds;
  double speed = 1.0;
  bool fullScreen = false;
  bool mute = false;
  bool loop = false;
};

struct CommandLine {
  // kUnknownOption is an error too: an unknown option of one dash, told
  // apart because before QApplication has taken Qt's own options
  // (-platform ...) out, it may be one of those.
  enum class Action { kRun, kHelp, kVersion, kError, kUnknownOption };
  Action action = Action::kRun;
  ViewerOptions options;
  std::string error;  // for the errors: what is wrong, for the user
};

// The speeds --speed takes (the keys step through 0.5x .. 4x).
inline constexpr double kSlowestSpeed = 0.5;
inline constexpr double kFastestSpeed = 4.0;

// `args` without the program's name. Options may come anywhere; after "--"
// every argument is a file.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// "90", "90.5", "1:30", "1:02:03.250": milliseconds; nothing for anything else.
std::optional<double> ParseTime(std::string_view text);

// The --help text (usage, options, keys, exit status, examples) and the
// --version line.
const char* HelpText();
std::string VersionText();

}  // namespace sp::view
