#include "tools/completions.h"

#include <algorithm>
#include <vector>

namespace sp::tool {
namespace {

enum class ValueKind { kNone, kWord, kFile, kFolder };

// What an option's value is, from the name its help shows for it.
ValueKind KindOf(const OptionSpec& option) {
  const std::string& v = option.valueName;
  if (v.empty()) return ValueKind::kNone;
  if (v == "DIR") return ValueKind::kFolder;
  static const char* kWords[] = {"N", "MS", "PT", "X,Y", "RRGGBB", "TEXT", "NAME", "SHELL", "SECONDS"};
  for (const char* word : kWords) {
    if (v == word) return ValueKind::kWord;
  }
  // "mp4|webm|gif|png", "json": the value is one of the words shown.
  if (v.find('|') != std::string::npos ||
      std::all_of(v.begin(), v.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
    return ValueKind::kWord;
  }
  return ValueKind::kFile;
}

// The words a value may be, when its name lists them: "mp4|webm|gif|png",
// "json", "bash|zsh|fish"; none for names such as "N" or "OUT.mp4".
std::vector<std::string> Choices(const std::string& valueName) {
  const bool listed = !valueName.empty() && std::all_of(valueName.begin(), valueName.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '|';
  });
  std::vector<std::string> words;
  if (!listed) return words;
  size_t from = 0;
  for (size_t bar = valueName.find('|'); ; bar = valueName.find('|', from)) {
    words.push_back(valueName.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos) break;
    from = bar + 1;
  }
  return words;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string Replace(std::string text, char from, const std::string& to) {
  std::string out;
  for (char c : text) {
    if (c == from) {
      out += to;
    } else {
      out += c;
    }
  }
  return out;
}

// Inside single quotes in bash and zsh.
std::string SingleQuoted(const std::string& text) { return Replace(text, '\'', "'\\''"); }

std::string FunctionName(const std::string& program) { return "_" + Replace(program, '-', "_"); }

std::string Bash(const std::string& program, const std::vector<CommandSpec>& commands,
                 const std::vector<CommandSpec>& extra) {
  std::string names;
  for (const CommandSpec& c : commands) names += c.name + " ";
  for (const CommandSpec& c : extra) names += c.name + " ";
  names.pop_back();
  const std::string function = FunctionName(program);
  std::string s = "# bash completion for " + program + "; generated from its command tables\n" + function +
                  "() {\n"
                  "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                  "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
                  "    COMPREPLY=($(compgen -W '" + names + "' -- \"$cur\"))\n"
                  "    return\n"
                  "  fi\n"
                  "  local options='' files='' folders='' words=''\n"
                  "  case ${COMP_WORDS[1]} in\n";
  for (const CommandSpec& c : commands) {
    std::string options = "--help";
    std::string files, folders, words;
    for (const OptionSpec& o : c.options) {
      options += " " + o.name + (o.shortName.empty() ? "" : " " + o.shortName);
      std::string& list = KindOf(o) == ValueKind::kFile     ? files
                          : KindOf(o) == ValueKind::kFolder ? folders
                          : KindOf(o) == ValueKind::kWord   ? words
                                                            : options;
      if (&list == &options) continue;
      list += " " + o.name + (o.shortName.empty() ? "" : " " + o.shortName);
    }
    s += "    " + c.name + ") options='" + options + "' files='" + files + "' folders='" + folders +
         "' words='" + words + "'\n";
    for (const OptionSpec& o : c.options) {
      if (const std::vector<std::string> choices = Choices(o.valueName); !choices.empty()) {
        s += "      case $prev in " + o.name + ") COMPREPLY=($(compgen -W '" + Joined(choices) +
             "' -- \"$cur\")); return ;; esac\n";
      }
    }
    if (const std::vector<std::string> choices = Choices(c.arguments); !choices.empty()) {
      s += "      [[ $cur != -* ]] && { COMPREPLY=($(compgen -W '" + Joined(choices) + "' -- \"$cur\")); return; }\n";
    }
    s += "      ;;\n";
  }
  s += "    help) COMPREPLY=($(compgen -W '" + names + "' -- \"$cur\")); return ;;\n"
       "  esac\n"
       "  case \" $folders \" in *\" $prev \"*) COMPREPLY=($(compgen -d -- \"$cur\")); return ;; esac\n"
       "  case \" $files \" in *\" $prev \"*) COMPREPLY=($(compgen -f -- \"$cur\")); return ;; esac\n"
       "  case \" $words \" in *\" $prev \"*) COMPREPLY=(); return ;; esac\n"
       "  if [[ $cur == -* ]]; then\n"
       "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
       "  else\n"
       "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
       "  fi\n"
       "}\n"
       "complete -o filenames -F " + function + " " + program + "\n";
  return s;
}

// A description inside the brackets of one of zsh's _arguments entries.
std::string ZshDescription(const std::string& text) {
  std::string d = Replace(Replace(Replace(text, '[', "("), ']', ")"), ':', "\\:");
  return SingleQuoted(d);
}

std::string Zsh(const std::string& program, const std::vector<CommandSpec>& commands,
                const std::vector<CommandSpec>& extra) {
  const std::string function = FunctionName(program);
  std::string s = "#compdef " + program + "\n# zsh completion for " + program +
                  "; generated from its command tables\n" + function +
                  "() {\n"
                  "  local -a commands\n"
                  "  commands=(\n";
  std::vector<CommandSpec> all = commands;
  all.insert(all.end(), extra.begin(), extra.end());
  for (const CommandSpec& c : all) {
    s += "    '" + c.name + ":" + SingleQuoted(Replace(c.summary, ':', "\\:")) + "'\n";
  }
  s += "  )\n"
       "  if (( CURRENT == 2 )); then\n"
       "    _describe 'command' commands\n"
       "    return\n"
       "  fi\n"
       "  case $words[2] in\n";
  for (const CommandSpec& c : commands) {
    s += "    " + c.name + ")\n      _arguments \\\n        '--help[show the options]' \\\n";
    for (const OptionSpec& o : c.options) {
      std::string action;
      switch (KindOf(o)) {
        case ValueKind::kNone: break;
        case ValueKind::kWord:
          action = ":" + o.valueName + ":" +
                   (Choices(o.valueName).empty() ? " " : "(" + Joined(Choices(o.valueName)) + ")");
          break;
        case ValueKind::kFile: action = ":" + o.valueName + ":_files"; break;
        case ValueKind::kFolder: action = ":" + o.valueName + ":_files -/"; break;
      }
      const std::string described = "[" + ZshDescription(o.help) + "]" + SingleQuoted(action);
      if (o.shortName.empty()) {
        s += "        '" + o.name + described + "' \\\n";
      } else {
        s += "        '(" + o.shortName + " " + o.name + ")'{" + o.shortName + "," + o.name + "}'" + described +
             "' \\\n";
      }
    }
    if (const std::vector<std::string> choices = Choices(c.arguments); !choices.empty()) {
      s += "        '1:" + c.arguments + ":(" + Joined(choices) + ")'\n";
    } else {
      s += c.maxPositional > 0 ? "        '*:file:_files'\n" : "        \n";
    }
    s += "      ;;\n";
  }
  s += "    help)\n      _describe 'command' commands\n      ;;\n"
       "  esac\n"
       "}\n" + function + " \"$@\"\n";
  return s;
}

std::string FishQuoted(const std::string& text) { return "'" + Replace(Replace(text, '\\', "\\\\"), '\'', "\\'") + "'"; }

std::string Fish(const std::string& program, const std::vector<CommandSpec>& commands,
                 const std::vector<CommandSpec>& extra) {
  std::string s = "# fish completion for " + program + "; generated from its command tables\n";
  s += "complete -c " + program + " -f\n";
  std::string names;
  std::vector<CommandSpec> all = commands;
  all.insert(all.end(), extra.begin(), extra.end());
  for (const CommandSpec& c : all) {
    names += " " + c.name;
    s += "complete -c " + program + " -n __fish_use_subcommand -a " + c.name + " -d " + FishQuoted(c.summary) +
         "\n";
  }
  s += "complete -c " + program + " -n '__fish_seen_subcommand_from help' -a '" + names.substr(1) + "'\n";
  for (const CommandSpec& c : commands) {
    const std::string when = " -n '__fish_seen_subcommand_from " + c.name + "'";
    s += "complete -c " + program + when + " -l help -d 'show the options'\n";
    for (const OptionSpec& o : c.options) {
      s += "complete -c " + program + when + " -l " + o.name.substr(2);
      if (!o.shortName.empty()) s += " -s " + o.shortName.substr(1);
      switch (KindOf(o)) {
        case ValueKind::kNone: break;
        case ValueKind::kWord:
          s += " -x";
          if (!Choices(o.valueName).empty()) s += " -a " + FishQuoted(Joined(Choices(o.valueName)));
          break;
        case ValueKind::kFile: s += " -r -F"; break;
        case ValueKind::kFolder: s += " -x -a '(__fish_complete_directories)'"; break;
      }
      s += " -d " + FishQuoted(o.help) + "\n";
    }
    if (const std::vector<std::string> choices = Choices(c.arguments); !choices.empty()) {
      s += "complete -c " + program + when + " -a " + FishQuoted(Joined(choices)) + "\n";
    } else if (c.maxPositional > 0) {
      s += "complete -c " + program + when + " -F\n";
    }
  }
  return s;
}

}  // namespace

std::string CompletionScript(Shell shell, const std::string& program, const std::vector<CommandSpec>& commands,
                             const std::vector<CommandSpec>& extraCommands) {
  switch (shell) {
    case Shell::kBash: return Bash(program, commands, extraCommands);
    case Shell::kZsh: return Zsh(program, commands, extraCommands);
    case Shell::kFish: return Fish(program, commands, extraCommands);
  }
  return {};
}

}  // namespace sp::tool
