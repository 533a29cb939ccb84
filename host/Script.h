// The host's small script language, one command per line:
//
//   # a comment line
//   ActionName "param 1" "param 2" ...
//   SetVar "[name]" "value"
//   Print "text"
//
// Parameters are double-quoted; a doubled quote "" inside stands for one
// quote; every other byte, the backslash included, is taken literally.
// Before a command runs, each `[name]` in its parameters that names a known
// variable is replaced by the variable's value (the name of SetVar excepted).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vvhost {

struct ScriptCommand {
  int Line = 0;                     // 1-based line number in the script
  std::string Name;                 // "SetVar", "Print" or an action name
  std::vector<std::string> Params;  // unquoted, not yet expanded
};

// Splits `line` into a command. Returns nullopt for a blank or comment line.
// A malformed line sets `error` (text without the line number) and returns
// nullopt.
std::optional<ScriptCommand> ParseScriptLine(std::string_view line, std::string& error);

// Splits a script into lines at LF (a CR before the LF is dropped) and
// parses each one. On the first malformed line, `errorLine` is set to its
// number and `error` to the message, and the commands before it are
// returned; otherwise `errorLine` is 0.
std::vector<ScriptCommand> ParseScript(std::string_view text, int& errorLine, std::string& error);

// Replaces each `[name]` whose bracketed name is a key of `variables` with
// its value, in one pass (values are not expanded again). Unknown names and
// unmatched brackets stay as written.
std::string ExpandVariables(std::string_view text, const std::map<std::string, std::string>& variables);

}  // namespace vvhost
