// The storage actions end to end through the built vvhost program and the
// real plug-in: the command lines and the output lines that scripts and
// other tools rely on.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

class ActionsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vv_actions_e2e_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "in");
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs vvhost with `args`, "$D" in an argument standing for the test's
  // folder; returns what it printed and sets `status` to its exit status.
  std::string Vvhost(const std::vector<std::string>& args, int& status) const {
    std::string command = ShellQuote(VV_HOST);
    for (std::string arg : args) {
      for (size_t at = arg.find("$D"); at != std::string::npos; at = arg.find("$D", at))
        arg.replace(at, 2, dir_.string());
      command += ' ' + ShellQuote(arg);
    }
    command += " 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "<popen failed>";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
  }

  void Write(const std::string& relative, const std::string& bytes) const {
    std::ofstream(dir_ / relative, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(dir_ / relative, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  struct Step {
    std::vector<std::string> args;
    std::string expected;
  };
  void RunSteps(const std::vector<Step>& steps) const {
    for (const Step& step : steps) {
      int status = -1;
      const std::string out = Vvhost(step.args, status);
      EXPECT_EQ(status, 0) << testing::PrintToString(step.args);
      EXPECT_EQ(out, step.expected) << testing::PrintToString(step.args);
    }
  }

  fs::path dir_;
};

TEST_F(ActionsEndToEnd, AWalkThroughACompressedStorage) {
  Write("in/a.txt", "first\r\nsecond\nthird");
  std::string binary(3 << 20, '\0');
  std::mt19937 rng(7);
  for (size_t i = 0; i < binary.size(); i += 3) binary[i] = static_cast<char>(rng());
  Write("in/b.bin", binary);

  const std::string ok = "result=true\n[veVazevidError]=vqST-000\n";
  RunSteps({
      {{"exec", "vqCreateStream", "$D/s.vvs", "", "1"}, ok},
      {{"exec", "vqCreateStream", "$D/s.vvs", "", "1"}, "result=false\n[veVazevidError]=vqST-010\n"},
      {{"exec", "vqPutFile", "$D/s.vvs", "$D/in/a.txt", "", "0"}, ok},
      {{"exec", "1", "$D/s.vvs", "$D/in/b.bin", "", "0"}, ok},  // by id
      // Entries come in the directory's search order.
      {{"exec", "veVazevidGetFileList", "$D/s.vvs", "", "0"},
       "result=true\n[veVazevidError]=\n[veVazevidListDir]=b.bin\\r\\na.txt\\r\\n\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/s.vvs", "", "a.txt", "1", "0"},
       "result=true\n[veVazevidError]=vqST-000\n[vqLineFromStorageTXT]=second\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/s.vvs", "", "a.txt", "-5", "0"},
       "result=true\n[veVazevidError]=vqST-000\n[vqLineFromStorageTXT]=first\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/s.vvs", "", "a.txt", "3", "0"},
       "result=false\n[veVazevidError]=vqST-004\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/s.vvs", "", "a.txt", "x", "0"},
       "result=false\n[veVazevidError]=vqST-004\n"},
      {{"exec", "--var", "[veVazevidVar]=one\ntwo", "vqSaveVarToStream", "$D/s.vvs", "notes.txt", "", "0"},
       ok},
      {{"exec", "vqLoadVarFromStream", "$D/s.vvs", "notes.txt", "", "0"},
       "result=true\n[veVazevidError]=vqST-000\n[veVazevidVar]=one\\r\\ntwo\\r\\n\n"},
      {{"exec", "vqLoadVarFromStream", "$D/s.vvs", "absent.txt", "", "0"},
       "result=true\n[veVazevidError]=vqST-000\n[veVazevidVar]=\n"},
      {{"exec", "vqSaveVarToStream", "$D/s.vvs", "no\\such.txt", "", "0"},
       "result=false\n[veVazevidError]=vqST-002\n"},
      {{"exec", "vqExtractFile", "$D/s.vvs", "b.bin", "", "$D/out", "0"}, ok},
      {{"exec", "vqExtractFile", "$D/s.vvs", "absent.bin", "", "$D/out", "0"},
       "result=false\n[veVazevidError]=\n[LastError]=vqST-003\n"},
      {{"exec", "vqDeleteFile", "$D/s.vvs", "a.txt", "", "0"}, ok},
      {{"exec", "vqDeleteFile", "$D/s.vvs", "a.txt", "", "0"}, ok},
      {{"exec", "veVazevidGetFileList", "$D/s.vvs", "", "0"},
       "result=true\n[veVazevidError]=\n[veVazevidListDir]=notes.txt\\r\\nb.bin\\r\\n\n"},
      {{"exec", "vqPutFile", "$D/s.vvs", "$D/in/absent.txt", "", "0"},
       "result=false\n[veVazevidError]=vqST-002\n"},
      {{"exec", "veVazevidGetFileList", "$D/none.vvs", "", "0"}, "result=false\n[veVazevidError]=vqST-001\n"},
      {{"exec", "vqLoadVarFromStream", "$D/none.vvs", "notes.txt", "", "0"},
       "result=false\n[veVazevidError]=vqST-001\n[veVazevidVar]=\n"},
  });
  EXPECT_TRUE(Read("out/b.bin") == binary) << "extracted bytes differ";
}

TEST_F(ActionsEndToEnd, APasswordProtectedStorage) {
  Write("in/a.txt", "secret text");
  const std::string ok = "result=true\n[veVazevidError]=vqST-000\n";
  RunSteps({
      {{"exec", "vqCreateStream", "$D/long.vvs", std::string(33, 'p'), "1"},
       "result=false\n[veVazevidError]=vqST-011\n"},
      {{"exec", "vqCreateStream", "$D/p.vvs", "pw", "0"}, ok},  // stored raw, so only the cipher hides it
      {{"exec", "vqPutFile", "$D/p.vvs", "$D/in/a.txt", "pw", "1"}, ok},
      {{"exec", "vqPutFile", "$D/p.vvs", "$D/in/a.txt", "bad", "1"},
       "result=false\n[veVazevidError]=vqST-005\n"},
      {{"exec", "vqExtractFile", "$D/p.vvs", "a.txt", "bad", "$D/out", "1"},
       "result=false\n[veVazevidError]=vqST-005\n"},
      {{"exec", "veVazevidGetFileList", "$D/p.vvs", "", "1"}, "result=false\n[veVazevidError]=vqST-005\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/p.vvs", "bad", "a.txt", "0", "1"},
       "result=false\n[veVazevidError]=vqST-006\n"},
      {{"exec", "vqLoadVarFromStream", "$D/p.vvs", "a.txt", "bad", "1"},
       "result=false\n[veVazevidError]=vqST-005\n[veVazevidVar]=\n"},
      {{"exec", "--var", "[veVazevidVar]=x", "vqSaveVarToStream", "$D/p.vvs", "v.txt", "bad", "1"},
       "result=false\n[veVazevidError]=vqST-005\n"},
      {{"exec", "vqDeleteFile", "$D/p.vvs", "a.txt", "bad", "1"},
       "result=false\n[veVazevidError]=vqST-008\n"},
      {{"exec", "vqLoadTXTLineFromStream", "$D/p.vvs", "pw", "a.txt", "0", "1"},
       "result=true\n[veVazevidError]=vqST-000\n[vqLineFromStorageTXT]=secret text\n"},
      {{"exec", "vqExtractFile", "$D/p.vvs", "a.txt", "pw", "$D/out/", "1"}, ok},
  });
  EXPECT_EQ(Read("out/a.txt"), "secret text");
  // The container file does not hold the uncompressed text in the clear.
  EXPECT_EQ(Read("p.vvs").find("secret text"), std::string::npos);
}

}  // namespace
