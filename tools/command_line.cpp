#include "tools/command_line.h"

#include <charconv>

namespace sp::tool {
namespace {

const OptionSpec* FindOption(const CommandSpec& command, const std::string& name) {
  for (const OptionSpec& option : command.options) {
    if (option.name == name || (!option.shortName.empty() && option.shortName == name)) return &option;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> ParsedArgs::Get(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string ParsedArgs::Require(const std::string& name) const {
  if (auto value = Get(name)) return *value;
  throw UsageError("the option " + name + " is required");
}

ParsedArgs ParseArgs(const CommandSpec& command, std::span<const std::string> args) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.values_["--help"] = "";
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const OptionSpec* option = FindOption(command, name);
    if (!option) throw UsageError("unknown option " + name);
    if (option->valueName.empty()) {
      if (inlineValue) throw UsageError("the option " + option->name + " takes no value");
      parsed.values_[option->name] = "";
      continue;
    }
    if (inlineValue) {
      parsed.values_[option->name] = *inlineValue;
    } else if (i + 1 < args.size()) {
      parsed.values_[option->name] = args[++i];
    } else {
      throw UsageError("the option " + option->name + " needs a value (" + option->valueName + ")");
    }
  }
  if (parsed.Has("--help")) return parsed;
  if (parsed.positional_.size() < command.minPositional) {
    throw UsageError("missing " + command.arguments);
  }
  if (parsed.positional_.size() > command.maxPositional) {
    throw UsageError("unexpected argument " + parsed.positional_[command.maxPositional]);
  }
  return parsed;
}

std::string CommandHelp(const CommandSpec& command) {
  std::string out = "usage: selfplay-tool " + command.name;
  if (!command.options.empty()) out += " [options]";
  if (!command.arguments.empty()) out += " " + command.arguments;
  out += "\n\n" + command.description + "\n";
  if (!command.options.empty()) {
    // Capitalised as help2man expects, which makes OPTIONS and EXAMPLES
    // sections of the man pages from them.
    out += "\nOptions:\n";
    for (const OptionSpec& option : command.options) {
      std::string left = "  ";
      if (!option.shortName.empty()) left += option.shortName + ", ";
      left += option.name;
      if (!option.valueName.empty()) left += " " + option.valueName;
      if (left.size() < 26) left.resize(26, ' ');
      else left += "\n" + std::string(26, ' ');
      out += left + option.help + "\n";
    }
  }
  if (!command.examples.empty()) {
    out += "\nExamples:\n";
    for (const Example& example : command.examples) out += "  " + example.command + "\n      " + example.what + "\n";
  }
  return out;
}

int64_t ParseInteger(const std::string& text, const std::string& what, int64_t min, int64_t max) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw UsageError(what + " must be a whole number, not \"" + text + "\"");
  }
  if (value < min || value > max) {
    throw UsageError(what + " must be from " + std::to_string(min) + " to " + std::to_string(max));
  }
  return value;
}

Size ParsePair(const std::string& text, const std::string& what) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) throw UsageError(what + " must be X,Y, not \"" + text + "\"");
  constexpr int64_t kLimit = 1 << 30;
  return {static_cast<int>(ParseInteger(text.substr(0, comma), what + " x", -kLimit, kLimit)),
          static_cast<int>(ParseInteger(text.substr(comma + 1), what + " y", -kLimit, kLimit))};
}

uint32_t ParseRrggbb(const std::string& text, const std::string& what) {
  const std::string digits = text.starts_with("#") ? text.substr(1) : text;
  uint32_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [ptr, ec] = std::from_chars(digits.data(), end, value, 16);
  if (digits.size() != 6 || ec != std::errc() || ptr != end) {
    throw UsageError(what + " must be six hex digits RRGGBB, not \"" + text + "\"");
  }
  return value;
}

}  // namespace sp::tool
