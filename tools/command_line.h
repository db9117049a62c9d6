#pragma once

#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace sp::tool {

// A wrong command line: reported with a pointer to the command's --help,
// exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command that could not do its work: exit status 1.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  std::string name;       // "--frames"
  std::string valueName;  // "DIR"; empty for a flag
  std::string help;
  std::string shortName;  // "-o", or empty
};

// A command line a user might type, and what it does.
struct Example {
  std::string command;
  std::string what;
};

struct CommandSpec {
  std::string name;
  std::string arguments;  // "FILE", shown in the usage line
  std::string summary;    // one line for `help`
  std::string description;
  std::vector<OptionSpec> options;
  size_t minPositional = 0;
  size_t maxPositional = 0;
  std::vector<Example> examples;
};

class ParsedArgs {
 public:
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The option's value; nullopt when it was not given.
  std::optional<std::string> Get(const std::string& name) const;
  // The value of an option the command cannot do without.
  std::string Require(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  friend ParsedArgs ParseArgs(const CommandSpec&, std::span<const std::string>);
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
};

// --name VALUE, --name=VALUE, -o VALUE, flags, positional arguments and
// "--" to end the options. "--help" is a flag of every command.
ParsedArgs ParseArgs(const CommandSpec& command, std::span<const std::string> args);

std::string CommandHelp(const CommandSpec& command);

// Values. `what` names the option in the error.
int64_t ParseInteger(const std::string& text, const std::string& what, int64_t min, int64_t max);
Size ParsePair(const std::string& text, const std::string& what);  // "X,Y"
uint32_t ParseRrggbb(const std::string& text, const std::string& what);  // "FF8000" or "#FF8000"

}  // namespace sp::tool
