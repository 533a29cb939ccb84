#include "host/Script.h"

namespace vvhost {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<ScriptCommand> ParseScriptLine(std::string_view line, std::string& error) {
  error.clear();
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] == '#') return std::nullopt;

  ScriptCommand command;
  while (i < line.size() && !IsBlank(line[i]) && line[i] != '"') command.Name += line[i++];
  if (command.Name.empty()) {
    error = "expected a command name before the first parameter";
    return std::nullopt;
  }
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    if (line[i] != '"') {
      error = "parameter " + std::to_string(command.Params.size() + 1) + " must be in double quotes";
      return std::nullopt;
    }
    ++i;
    std::string param;
    bool closed = false;
    while (i < line.size()) {
      if (line[i] == '"') {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          param += '"';
          i += 2;
          continue;
        }
        ++i;
        closed = true;
        break;
      }
      param += line[i++];
    }
    if (!closed) {
      error = "parameter " + std::to_string(command.Params.size() + 1) + " has no closing quote";
      return std::nullopt;
    }
    if (i < line.size() && !IsBlank(line[i])) {
      error = "parameter " + std::to_string(command.Params.size() + 1) +
              " must be followed by a blank or the end of the line";
      return std::nullopt;
    }
    command.Params.push_back(std::move(param));
  }
  return command;
}

std::vector<ScriptCommand> ParseScript(std::string_view text, int& errorLine, std::string& error) {
  error.clear();
  errorLine = 0;
  std::vector<ScriptCommand> commands;
  int lineNo = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNo;
    std::string lineError;
    std::optional<ScriptCommand> command = ParseScriptLine(line, lineError);
    if (!lineError.empty()) {
      errorLine = lineNo;
      error = lineError;
      return commands;
    }
    if (command) {
      command->Line = lineNo;
      commands.push_back(std::move(*command));
    }
    start = end + 1;
  }
  return commands;
}

std::string ExpandVariables(std::string_view text, const std::map<std::string, std::string>& variables) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '[') {
      const size_t close = text.find_first_of("[]", i + 1);
      if (close != std::string_view::npos && text[close] == ']') {
        const auto it = variables.find(std::string(text.substr(i, close - i + 1)));
        if (it != variables.end()) {
          out += it->second;
          i = close + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace vvhost
