// One contract run over the operating system's and the in-memory file
// system, and the fault-injecting wrapper's rules.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/FaultFileSystem.h"
#include "platform/Files.h"
#include "platform/MemoryFileSystem.h"

namespace platform {
namespace {

class FileSystemContract : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "os") {
      char tmpl[] = "/tmp/vv_contract_XXXXXX";
      ASSERT_NE(::mkdtemp(tmpl), nullptr);
      root_ = tmpl;
      fs_ = &OsFileSystem();
    } else {
      root_ = "/mem";
      fs_ = &memory_;
    }
  }
  void TearDown() override {
    if (GetParam() == "os") {
      std::error_code ec;
      std::filesystem::remove_all(root_, ec);
    }
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  std::unique_ptr<IFile> Open(const std::string& name, FileAccess a, FileShare s, FileDisposition d) {
    return fs_->Open(Path(name), a, s, d);
  }
  std::string ReadAll(const std::string& name) {
    auto f = Open(name, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    if (!f) return "<missing>";
    std::string out(static_cast<size_t>(f->Seek(0, 2)), '\0');
    f->Seek(0, 0);
    if (!out.empty() &&
        f->Read(out.data(), static_cast<int32_t>(out.size())) != static_cast<int32_t>(out.size()))
      return "<short>";
    return out;
  }

  MemoryFileSystem memory_;
  IFileSystem* fs_ = nullptr;
  std::string root_;
};

TEST_P(FileSystemContract, WriteReadSeekTruncate) {
  auto f = Open("a", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Write("0123456789", 10), 10);
  EXPECT_EQ(f->Seek(12, 0), 12);
  EXPECT_EQ(f->Write("x", 1), 1);  // leaves a gap of zero bytes
  EXPECT_EQ(f->Seek(0, 2), 13);
  EXPECT_EQ(f->Seek(4, 0), 4);
  EXPECT_TRUE(f->SetEndOfFile());
  EXPECT_EQ(f->Seek(0, 2), 4);
  EXPECT_EQ(f->Seek(-5, 2), -1);
  EXPECT_EQ(LastErrorCode(), kErrorNegativeSeek);
  char c;
  EXPECT_EQ(f->Read(&c, 1), 0);
  EXPECT_TRUE(f->Flush());
  f.reset();
  EXPECT_EQ(ReadAll("a"), "0123");
  EXPECT_TRUE(fs_->Exists(Path("a")));
  EXPECT_TRUE(fs_->Exists(root_ + "\\a"));
  EXPECT_TRUE(fs_->Remove(Path("a")));
  EXPECT_FALSE(fs_->Exists(Path("a")));
  EXPECT_FALSE(fs_->Remove(Path("a")));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
}

TEST_P(FileSystemContract, AccessIsEnforced) {
  auto w = Open("b", FileAccess::Write, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(w, nullptr);
  char c;
  EXPECT_EQ(w->Read(&c, 1), -1);
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_EQ(w->Write("z", 1), 1);
  w.reset();
  auto r = Open("b", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Write("z", 1), -1);
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(r->SetEndOfFile());
}

TEST_P(FileSystemContract, DispositionsAndSharing) {
  EXPECT_EQ(Open("c", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  {
    auto f = Open("c", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateNew);
    ASSERT_NE(f, nullptr);
    f->Write("data", 4);
  }
  EXPECT_EQ(Open("c", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateNew), nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorFileExists);
  {
    auto f = Open("c", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenAlways);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Seek(0, 2), 4);
  }
  auto exclusive = Open("c", FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting);
  ASSERT_NE(exclusive, nullptr);
  EXPECT_EQ(Open("c", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorSharingViolation);
  EXPECT_EQ(Open("c", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways), nullptr);
  exclusive.reset();
  EXPECT_EQ(ReadAll("c"), "data");  // the refused CreateAlways cut nothing
  auto shared1 = Open("c", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  auto shared2 = Open("c", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  EXPECT_NE(shared1, nullptr);
  EXPECT_NE(shared2, nullptr);
  EXPECT_EQ(Open("c", FileAccess::Read, FileShare::None, FileDisposition::OpenExisting), nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorSharingViolation);
  shared1.reset();
  shared2.reset();
  {
    auto f = Open("c", FileAccess::ReadWrite, FileShare::None, FileDisposition::CreateAlways);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Seek(0, 2), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, FileSystemContract, ::testing::Values("os", "memory"),
                         [](const auto& info) { return info.param; });

TEST(MemoryFileSystem, DropUnflushedGoesBackToTheLastFlush) {
  MemoryFileSystem fs;
  auto f = fs.Open("d\\x", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  f->Write("first", 5);
  ASSERT_TRUE(f->Flush());
  f->Write("-second", 7);
  EXPECT_EQ(fs.Contents("d/x"), "first-second");
  fs.DropUnflushed();
  EXPECT_EQ(fs.Contents("d/x"), "first");
  EXPECT_EQ(fs.Names(), std::vector<std::string>{"d/x"});
}

TEST(MemoryFileSystem, CapacityGivesDiskFull) {
  MemoryFileSystem fs;
  fs.SetContents("other", std::string(60, 'o'));
  fs.SetCapacity(100);
  auto f = fs.Open("x", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Write(std::string(40, 'a').data(), 40), 40);
  EXPECT_EQ(f->Write("b", 1), -1);
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
  EXPECT_EQ(f->Seek(1000, 0), 1000);
  EXPECT_FALSE(f->SetEndOfFile());
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
  EXPECT_EQ(fs.Contents("x")->size(), 40u);
}

TEST(MemoryFileSystem, RemovedOpenFileKeepsItsContentForTheHandle) {
  MemoryFileSystem fs;
  fs.SetContents("r", "abc");
  auto f = fs.Open("r", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  ASSERT_TRUE(fs.Remove("r"));
  EXPECT_FALSE(fs.Exists("r"));
  char buf[3];
  EXPECT_EQ(f->Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST(FaultFileSystem, FailsTheNthCallOnceOrFromThenOn) {
  struct Case {
    FaultOp op;
    bool persistent;
    std::vector<bool> expectOk;  // five calls
  };
  const std::vector<Case> cases = {
      {FaultOp::Write, false, {true, true, false, true, true}},
      {FaultOp::Write, true, {true, true, false, false, false}},
      {FaultOp::Read, false, {true, true, false, true, true}},
      {FaultOp::Flush, true, {true, true, false, false, false}},
      {FaultOp::SetEndOfFile, false, {true, true, false, true, true}},
  };
  for (const Case& c : cases) {
    MemoryFileSystem memory;
    FaultFileSystem fs(memory);
    memory.SetContents("f", "0123456789");
    auto f = fs.Open("f", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting);
    ASSERT_NE(f, nullptr);
    fs.FailNth(c.op, 3, c.persistent);
    for (size_t i = 0; i < c.expectOk.size(); ++i) {
      bool ok = false;
      char b = 'w';
      switch (c.op) {
        case FaultOp::Write:
          ok = f->Write(&b, 1) == 1;
          break;
        case FaultOp::Read:
          f->Seek(0, 0);
          ok = f->Read(&b, 1) == 1;
          break;
        case FaultOp::Flush:
          ok = f->Flush();
          break;
        case FaultOp::SetEndOfFile:
          ok = f->SetEndOfFile();
          break;
        default:
          break;
      }
      EXPECT_EQ(ok, c.expectOk[i]) << static_cast<int>(c.op) << " call " << i + 1;
      if (!ok) {
        EXPECT_EQ(LastErrorCode(), c.op == FaultOp::Read ? kErrorReadFault : kErrorWriteFault);
      }
    }
    EXPECT_EQ(fs.Calls(c.op), 5);
    EXPECT_EQ(fs.Injected(), c.persistent ? 3 : 1);
  }
}

TEST(FaultFileSystem, FailedWriteChangesNothingAndChosenErrorIsReported) {
  MemoryFileSystem memory;
  FaultFileSystem fs(memory);
  auto f = fs.Open("g", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  fs.FailNth(FaultOp::Write, 1, false, kErrorDiskFull);
  EXPECT_EQ(f->Write("abc", 3), -1);
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
  EXPECT_EQ(memory.Contents("g"), "");
  EXPECT_EQ(f->Write("abc", 3), 3);
  fs.FailNth(FaultOp::Open, 1);
  EXPECT_EQ(fs.Open("g", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  fs.Disarm();
  EXPECT_NE(fs.Open("g", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting), nullptr);
}

TEST(FaultFileSystem, CrashDropsUnflushedDataAndKillsOpenFiles) {
  MemoryFileSystem memory;
  FaultFileSystem fs(memory);
  auto f = fs.Open("h", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  f->Write("kept", 4);
  f->Flush();
  f->Write("lost", 4);
  fs.Crash();
  EXPECT_EQ(f->Write("more", 4), -1);
  EXPECT_EQ(LastErrorCode(), kErrorNotReady);
  EXPECT_EQ(f->Seek(0, 0), -1);
  EXPECT_EQ(memory.Contents("h"), "kept");
  f.reset();
  auto again = fs.Open("h", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Seek(0, 2), 4);
}

}  // namespace
}  // namespace platform
