// The script language: line parsing, errors and variable expansion.
#include "host/Script.h"

#include <gtest/gtest.h>

namespace {

using vvhost::ParseScript;
using vvhost::ParseScriptLine;

struct LineCase {
  std::string line;
  std::string name;
  std::vector<std::string> params;
};

TEST(ScriptLine, ParsesCommandsAndQuotedParameters) {
  const LineCase cases[] = {
      {"Print \"hello\"", "Print", {"hello"}},
      {"  \tvqCreateStream \"a.vvs\"  \"\"\t\"1\"  ", "vqCreateStream", {"a.vvs", "", "1"}},
      {"SetVar \"[x]\" \"say \"\"hi\"\"\"", "SetVar", {"[x]", "say \"hi\""}},
      {"Print \"\"\"\"", "Print", {"\""}},
      {"Print \"C:\\dir\\\"", "Print", {"C:\\dir\\"}},  // backslash is an ordinary byte
      {"Print \"# not a comment\"", "Print", {"# not a comment"}},
      {"vqPutFile", "vqPutFile", {}},
      {"Print \"\xD0\xAF [v] \\n\"", "Print", {"\xD0\xAF [v] \\n"}},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto command = ParseScriptLine(c.line, error);
    ASSERT_TRUE(command.has_value()) << c.line << ": " << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(command->Name, c.name);
    EXPECT_EQ(command->Params, c.params) << c.line;
  }
}

TEST(ScriptLine, BlankAndCommentLinesAreNoCommands) {
  for (const char* line : {"", "   ", "\t", "# comment", "   # indented comment \"unclosed"}) {
    std::string error = "stale";
    EXPECT_FALSE(ParseScriptLine(line, error).has_value()) << line;
    EXPECT_EQ(error, "") << line;
  }
}

TEST(ScriptLine, MalformedLinesSayWhatIsWrong) {
  const std::pair<std::string, std::string> cases[] = {
      {"Print \"unclosed", "parameter 1 has no closing quote"},
      {"Print \"a\" \"b", "parameter 2 has no closing quote"},
      {"Print \"say \"\"", "parameter 1 has no closing quote"},
      {"Print bare", "parameter 1 must be in double quotes"},
      {"Print \"a\" b", "parameter 2 must be in double quotes"},
      {"Print \"a\"\"b\"c", "parameter 1 must be followed by a blank or the end of the line"},
      {"Print \"a\"x", "parameter 1 must be followed by a blank or the end of the line"},
      {"\"no command\"", "expected a command name before the first parameter"},
  };
  for (const auto& [line, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParseScriptLine(line, error).has_value()) << line;
    EXPECT_EQ(error, message) << line;
  }
}

TEST(Script, NumbersLinesAndAcceptsCrLf) {
  int errorLine = -1;
  std::string error;
  const auto commands =
      ParseScript("# demo\r\nPrint \"a\"\r\n\r\nSetVar \"[x]\" \"1\"\nPrint \"b\"", errorLine, error);
  EXPECT_EQ(errorLine, 0);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].Line, 2);
  EXPECT_EQ(commands[0].Params, std::vector<std::string>{"a"});  // no CR left in the parameter
  EXPECT_EQ(commands[1].Line, 4);
  EXPECT_EQ(commands[2].Line, 5);
}

TEST(Script, StopsAtTheFirstMalformedLine) {
  int errorLine = 0;
  std::string error;
  const auto commands = ParseScript("Print \"ok\"\n\n# c\nPrint \"broken\nPrint \"x", errorLine, error);
  EXPECT_EQ(errorLine, 4);
  EXPECT_EQ(error, "parameter 1 has no closing quote");
  EXPECT_EQ(commands.size(), 1u);
}

TEST(Expand, ReplacesKnownVariablesOnce) {
  const std::map<std::string, std::string> vars = {
      {"[a]", "1"}, {"[name]", "[a]"}, {"[veVazevidError]", "vqST-000"}, {"[empty]", ""}};
  const std::pair<std::string, std::string> cases[] = {
      {"[a]", "1"},
      {"x[a]y[a]", "x1y1"},
      {"[name]", "[a]"},  // a value is not expanded again
      {"code=[veVazevidError]", "code=vqST-000"},
      {"[unknown] stays", "[unknown] stays"},
      {"[empty]|", "|"},
      {"[[a]]", "[1]"},
      {"[a", "[a"},
      {"a]", "a]"},
      {"[]", "[]"},
      {"C:\\[a]\\", "C:\\1\\"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(vvhost::ExpandVariables(in, vars), out) << in;
}

}  // namespace
