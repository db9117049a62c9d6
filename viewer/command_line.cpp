#include "viewer/command_line.h"

#include <charconv>
#include <cmath>

namespace sp::view {

namespace {

constexpr const char* kHelp =
    "Usage: selfplay-view [OPTION]... [FILE]...\n"
    "\n"
    "Plays self-playing screen recordings (Linux or Windows stub, or a bare\n"
    "payload) and moves through them freely, with their sound in step. Given\n"
    "several files, it opens the first; PageDown and PageUp go through the others.\n"
    "\n"
    "Options:\n"
    "  --start TIME        start at TIME: seconds (90, 90.5) or [h:]mm:ss[.mmm]\n"
    "  --speed X           play at X times the speed, from 0.5 to 4\n"
    "  --fullscreen        start in full screen\n"
    "  --mute              start with the sound muted\n"
    "  --loop              play the recording again from the start when it ends\n"
    "  -h, --help          print this help and exit\n"
    "  --version           print the version and exit\n"
    "\n"
    "Keys:\n"
    "  Space, click        play / pause\n"
    "  Left / Right        5 seconds back / forward\n"
    "  Shift+Left / Right  1 minute back / forward\n"
    "  Home / End          start / end\n"
    "  , / .               one frame back / forward (pauses)\n"
    "  [ / ]               previous / next scene mark\n"
    "  - / +               slower / faster: 0.5x 0.75x 1x 1.25x 1.5x 2x 3x 4x\n"
    "  I                   skip idle stretches on / off\n"
    "  M                   mute; mouse wheel over the picture: volume (unmutes)\n"
    "  1                   actual size / fit to the window; drag to see the rest\n"
    "  S                   save the picture as FILE-HH-MM-SS.mmm.png beside the file\n"
    "  F, double click     full screen; Esc leaves it\n"
    "  PageDown / PageUp   next / previous of the files given\n"
    "  Ctrl+O              open a file (or drop one on the window)\n"
    "  Ctrl+Q              quit\n"
    "\n"
    "Exit status:\n"
    "  0   the window was closed\n"
    "  2   the command line is wrong (an unknown option, a bad TIME or X)\n"
    "\n"
    "Examples:\n"
    "  selfplay-view lesson.exe\n"
    "                      play lesson.exe from its start\n"
    "  selfplay-view --start 1:30 --speed 1.5 lesson\n"
    "                      play the Linux recording lesson from 1:30 at 1.5x\n"
    "  selfplay-view --fullscreen --loop demo.exe\n"
    "                      show demo.exe on the whole screen, over and over\n"
    "  selfplay-view part1.exe part2.exe part3.exe\n"
    "                      open part1.exe; PageDown opens the next part\n";

bool ParseNumber(std::string_view text, double* value) {
  if (text.empty() || text.front() == '-' || text.front() == '+') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(*value);
}

}  // namespace

const char* HelpText() { return kHelp; }

std::string VersionText() { return std::string("selfplay-view ") + SELFPLAY_VERSION; }

std::optional<double> ParseTime(std::string_view text) {
  // Up to two whole fields before the seconds, each under 60 but the first.
  double total = 0;
  int fields = 0;
  size_t colon;
  while ((colon = text.find(':')) != std::string_view::npos) {
    const std::string_view field = text.substr(0, colon);
    double value = 0;
    if (++fields > 2 || field.find('.') != std::string_view::npos || !ParseNumber(field, &value)) {
      return std::nullopt;
    }
    if (fields > 1 && value >= 60) return std::nullopt;
    total = total * 60 + value;
    text.remove_prefix(colon + 1);
  }
  double seconds = 0;
  if (!ParseNumber(text, &seconds) || (fields > 0 && seconds >= 60)) return std::nullopt;
  return (total * 60 + seconds) * 1000;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  auto fail = [&line](std::string error) {
    line.action = CommandLine::Action::kError;
    line.error = std::move(error);
    return line;
  };
  bool filesOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      line.options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      filesOnly = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      line.action = CommandLine::Action::kHelp;
      return line;
    }
    if (arg == "--version") {
      line.action = CommandLine::Action::kVersion;
      return line;
    }
    // --start and --speed take a value: "--start 90" or "--start=90".
    std::optional<std::string> value;
    if (const size_t equals = arg.find('='); equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    if (arg == "--start" || arg == "--speed") {
      if (!value) {
        if (i + 1 >= args.size()) return fail(arg + " needs a value");
        value = args[++i];
      }
      if (arg == "--start") {
        line.options.startMilliseconds = ParseTime(*value);
        if (!line.options.startMilliseconds) {
          return fail("--start takes seconds (90, 90.5) or [h:]mm:ss[.mmm], not \"" + *value + "\"");
        }
      } else {
        double speed = 0;
        if (!ParseNumber(*value, &speed) || speed < kSlowestSpeed || speed > kFastestSpeed) {
          return fail("--speed takes a number from 0.5 to 4, not \"" + *value + "\"");
        }
        line.options.speed = speed;
      }
      continue;
    }
    bool* flag = arg == "--fullscreen" || arg == "--fs" ? &line.options.fullScreen
                 : arg == "--mute"                      ? &line.options.mute
                 : arg == "--loop"                      ? &line.options.loop
                                                        : nullptr;
    if (!flag) {
      fail("unknown option " + arg);
      if (arg.rfind("--", 0) != 0) line.action = CommandLine::Action::kUnknownOption;
      return line;
    }
    if (value) return fail(arg + " takes no value");
    *flag = true;
  }
  return line;
}

}  // namespace sp::view
