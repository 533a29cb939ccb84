// vvhost end to end: the command line run in-process against a test plug-in
// and the real plug-in, plus the built program itself.
#include "host/Cli.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Host(std::vector<std::string> args, const std::string& plugIn = VV_FAKE_PLUGIN) {
  std::ostringstream out, err;
  const int status = vvhost::RunHost(args, plugIn, out, err);
  return {status, out.str(), err.str()};
}

// A script file in the test's working folder, removed afterwards.
class ScriptFile {
 public:
  ScriptFile(const std::string& name, const std::string& text) : path_(name) {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~ScriptFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(HostExec, PrintsResultThenEachSetVariableInFirstSetOrderEscaped) {
  const Outcome r = Host({"exec", "Escapes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "result=false\n"
            "[b]=second\\\\\n"
            "[c]=\\\\ \\r\\n\\t\\x01\\x1F\x7f\xD0\xAF end\n"
            "[n]=\n");
  EXPECT_EQ(r.err, "");
}

TEST(HostExec, SlotsNotGivenAreNullAndParametersPassUnchanged) {
  Outcome r = Host({"exec", "Echo", "C:\\a b\\\"c\"", ""});
  EXPECT_EQ(r.out, "result=true\n[p1]=C:\\\\a b\\\\\"c\"\n[p2]=\n[p3]=(null)\n");
  r = Host({"exec", "10"});
  EXPECT_EQ(r.out, "result=true\n[p1]=(null)\n[p2]=(null)\n[p3]=(null)\n");
  r = Host({"exec", "Echo", "1", "2", "3", "4", "--var"});  // extra parameters are passed, not read
  EXPECT_EQ(r.out, "result=true\n[p1]=1\n[p2]=2\n[p3]=3\n");
}

TEST(HostExec, PresetVariablesReachGetVar) {
  Outcome r = Host({"exec", "--var", "[veVazevidVar]=line1\r\nline2", "Copy", "[veVazevidVar]", "[out]"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "result=true\n[out]=line1\\r\\nline2\n[present]=yes\n");
  r = Host({"exec", "--var=plain=x", "Copy", "[plain]", "[out]"});  // brackets added to a bare name
  EXPECT_EQ(r.out, "result=true\n[out]=x\n[present]=yes\n");
  r = Host({"exec", "Copy", "[missing]", "[out]"});
  EXPECT_EQ(r.out, "result=true\n[out]=\n[present]=no\n");
}

TEST(HostExec, UnknownIdsArePassedOn) {
  for (const char* id : {"0", "9", "-3"}) {
    const Outcome r = Host({"exec", id});
    EXPECT_EQ(r.status, 0) << id;
    EXPECT_EQ(r.out, "result=false\n") << id;
  }
}

TEST(HostUsage, MistakesGiveStatusTwoAndAMessage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"--frobnicate", "info"},
      {"--plugin"},
      {"exec"},
      {"exec", "NoSuchAction"},
      {"exec", "99999999999"},
      {"exec", "--var", "novalue", "Echo"},
      {"exec", "--var", "=x", "Echo"},
      {"exec", "--var"},
      {"info", "extra"},
      {"edit"},
      {"edit", "Echo", "stray"},
      {"edit", "Echo", "--slot"},
      {"run"},
      {"run", "a", "b"},
  };
  for (const auto& args : cases) {
    const Outcome r = Host(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("vvhost: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: vvhost"), std::string::npos);
  }
  EXPECT_EQ(Host({"--help"}).status, 0);
}

TEST(HostUsage, AMissingPlugInIsStatusOne) {
  const Outcome r = Host({"info"}, "/nonexistent/libveVazevid.so");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot load the plug-in /nonexistent/libveVazevid.so"), std::string::npos) << r.err;
}

TEST(HostEdit, PrintsEverySlotAfterTheDialog) {
  Outcome r = Host({"edit", "Echo", "--slot", "one", "--slot=two\\"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "result=true\nslot1=edited:one\nslot2=two\\\\\nslot3=x\\ty\n");
  r = Host({"edit", "Copy"});
  EXPECT_EQ(r.out, "result=false\nslot1=\nslot2=\n");
}

TEST(HostInfo, ConvertsThePlugInTextsAndListsTheActions) {
  const Outcome r = Host({"info"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "title=Fake Проба\n"
            "author=host tests\n"
            "description=line1\\r\\nline2\n"
            "action id=10 name=Echo params=3 kinds=1,2,3 hint=echoes its three slots\n"
            "action id=11 name=Escapes params=0 kinds=1 hint=А\\\\\n"
            "action id=12 name=Copy params=2 kinds=1,2 hint=copies variable 1 into variable 2\n");
}

TEST(HostRun, RunsCommandsWithVariablesExpanded) {
  ScriptFile script("run_ok.vvs",
                    "# a comment\r\n"
                    "SetVar \"[who]\" \"world\"\r\n"
                    "Print \"hello [who], \"\"C:\\dir\"\" [unknown]\"\r\n"
                    "\r\n"
                    "   Echo \"[who]\" \"x[who]\"\n"
                    "Print \"p1=[p1] p3=[p3]\"\n"
                    "SetVar \"[veVazevidVar]\" \"[p2]!\"\n"
                    // Action parameters are expanded too: Copy gets the value "xworld!" as its
                    // variable name, finds no such variable and sets [copy] empty.
                    "Copy \"[veVazevidVar]\" \"[copy]\"\n"
                    "Print \"[copy] [present]\"\n");
  const Outcome r = Host({"run", script.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "hello world, \"C:\\dir\" [unknown]\np1=world p3=(null)\n no\n");
}

TEST(HostRun, TraceShowsEachActionsOutcome) {
  ScriptFile script("run_trace.vvs", "Escapes\nPrint \"done\"\n");
  const Outcome r = Host({"run", "--trace", script.path()});
  EXPECT_EQ(
      r.out,
      "> line 1: Escapes\n> result=false\n> [b]=second\\\\\n> [c]=\\\\ \\r\\n\\t\\x01\\x1F\x7f\xD0\xAF end\n"
      "> [n]=\ndone\n");
}

TEST(HostRun, ErrorsNameTheLineAndNothingRuns) {
  const std::pair<std::string, std::string> cases[] = {
      {"Print \"ok\"\nPrint \"unclosed\n", ":2: parameter 1 has no closing quote"},
      {"Print \"ok\"\n\nNoSuch \"x\"\n", ":3: unknown command or action: NoSuch"},
      {"Print \"a\" \"b\"\n", ":1: Print takes 1 parameter"},
      {"SetVar \"[x]\"\n", ":1: SetVar takes 2 parameters: \"[name]\" \"value\""},
      {"# c\nCopy \"a\" \"b\" \"c\"\n", ":2: Copy takes 2 parameters, 3 given"},
      {"Print \"x\" junk\n", ":1: parameter 2 must be in double quotes"},
  };
  for (const auto& [text, message] : cases) {
    ScriptFile script("run_bad.vvs", text);
    const Outcome r = Host({"run", script.path()});
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_EQ(r.out, "") << "a malformed script must not run any line";
    EXPECT_EQ(r.err, "vvhost: run_bad.vvs" + message + "\n");
  }
  const Outcome missing = Host({"run", "no_such_script.vvs"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "vvhost: cannot read the script no_such_script.vvs\n");
}

// Against the real plug-in.
TEST(HostWithPlugIn, InfoListsTheEightActions) {
  const Outcome r = Host({"info"}, VV_PLUGIN);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("title=veVazevid [1.09]\nauthor=", 0), 0u);
  EXPECT_NE(r.out.find("\ndescription=Сохранить файлы в одном файле хранилища.\n"), std::string::npos);
  EXPECT_NE(r.out.find(
                "\naction id=8 name=vqDeleteFile params=4 kinds=1,1,1,1 hint=Удалить файл из хранилища. "
                "Синтаксис: vqDeleteFile \"Файл хранилища\" \"Имя файла\" \"Пароль\" \"0=не сжат 1=сжат\"\n"),
            std::string::npos);
  size_t lines = 0;
  for (size_t at = r.out.find("\naction id="); at != std::string::npos;
       at = r.out.find("\naction id=", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 8u);
}

TEST(HostWithPlugIn, EditPlaceholdersAndRefusedIds) {
  Outcome r = Host({"edit", "vqSaveVarToStream", "--slot", "old"}, VV_PLUGIN);
  EXPECT_EQ(r.out, "result=true\nslot1=value1\nslot2=value2\nslot3=value3\nslot4=value4\n");
  r = Host({"exec", "0"}, VV_PLUGIN);
  EXPECT_EQ(r.out, "result=false\n");
  r = Host({"exec", "9", "a"}, VV_PLUGIN);
  EXPECT_EQ(r.out, "result=false\n");
}

// The built program finds the plug-in next to itself.
TEST(VvhostProgram, LoadsThePlugInBesideItAndReportsStatus) {
  auto shell = [](const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
  };
  int status = -1;
  std::string out = shell(std::string("'") + VV_HOST + "' exec 0", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "result=false\n");
  out = shell(std::string("'") + VV_HOST + "' info", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.rfind("title=veVazevid [1.09]\n", 0), 0u);
  out = shell(std::string("'") + VV_HOST + "' exec 2>/dev/null", status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(out, "");
}

}  // namespace
