// Tests of the disk and memory files: open results, the zero-count transfers,
// the truncating zero-length write, 64-bit sizes, CopyFrom's chunks, reopening
// on flag changes, locking between two opens and SetSize's raised OS error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestDir.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/FaultFileSystem.h"
#include "platform/Files.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"

namespace {

using platform::FaultFileSystem;
using platform::FaultOp;
using platform::ScopedService;

std::string ReadAllFrom(TSFSAbstractFile& f) {
  const int64_t size = f.GetSize();
  std::string out(static_cast<size_t>(size), '\0');
  f.SetPosition(0);
  f.ReadBuffer(out.data(), static_cast<int32_t>(size));
  return out;
}

TEST(DiskFile, OpenOfAMissingPathFailsAndKeepsNoHandle) {
  TestDir dir;
  TSFSDiskFile f(dir / "nothing.dat", false, false);
  EXPECT_FALSE(f.Open(false));
  EXPECT_FALSE(f.HasHandle());
  TSFSDiskFile g(dir / "no/folder/x.dat", false, false);
  EXPECT_FALSE(g.Open(true));
  EXPECT_FALSE(g.HasHandle());
  EXPECT_EQ(g.Read(nullptr, 0), -1);
  EXPECT_EQ(g.Seek(0, 0), -1);
}

TEST(DiskFile, CreateTruncatesAndOpenKeeps) {
  TestDir dir;
  const std::string path = dir / "a.dat";
  WriteWhole(path, "old content");
  {
    TSFSDiskFile f(path, false, false);
    ASSERT_TRUE(f.Open(false));
    EXPECT_EQ(f.GetSize(), 11);
    EXPECT_EQ(ReadAllFrom(f), "old content");
  }
  {
    TSFSDiskFile f(path, false, false);
    ASSERT_TRUE(f.Open(true));
    EXPECT_EQ(f.GetSize(), 0);
    f.WriteBuffer("new", 3);
  }  // the destructor closes (and flushes)
  EXPECT_EQ(ReadWhole(path), "new");
}

TEST(DiskFile, ReadOnlyCreateGivesAnEmptyReadableFile) {
  TestDir dir;
  const std::string path = dir / "ro.dat";
  WriteWhole(path, "xyz");
  TSFSDiskFile f(path, true, false);
  ASSERT_TRUE(f.Open(true));
  EXPECT_EQ(f.GetSize(), 0);
  EXPECT_EQ(f.Write("a", 1), -1);
  EXPECT_THROW(f.WriteBuffer("a", 1), EWriteError);
}

TEST(AbstractFile, ZeroCountBuffersTouchNothing) {
  platform::MemoryFileSystem memory;
  FaultFileSystem faults(memory);
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, faults);
  TSFSDiskFile f("z.dat", false, false);
  ASSERT_TRUE(f.Open(true));
  f.WriteBuffer("abc", 3);
  const int64_t reads = faults.Calls(FaultOp::Read), writes = faults.Calls(FaultOp::Write);
  const int64_t ends = faults.Calls(FaultOp::SetEndOfFile);
  f.ReadBuffer(nullptr, 0);
  f.WriteBuffer(nullptr, 0);
  EXPECT_EQ(faults.Calls(FaultOp::Read), reads);
  EXPECT_EQ(faults.Calls(FaultOp::Write), writes);
  EXPECT_EQ(faults.Calls(FaultOp::SetEndOfFile), ends);  // not even the truncating write
  EXPECT_EQ(memory.Contents("z.dat"), "abc");
}

TEST(AbstractFile, ShortTransfersRaiseTheBufferMessages) {
  TSFSMemoryFile f("m", false, false);
  ASSERT_TRUE(f.Open(true));
  f.WriteBuffer("abcd", 4);
  f.SetPosition(2);
  char buf[8];
  try {
    f.ReadBuffer(buf, 3);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TSFSAbstractFile.ReadBuffer - Stream read error");
  }
  TestDir dir;
  TSFSDiskFile d(dir / "r.dat", true, false);
  ASSERT_TRUE(d.Open(true));
  try {
    d.WriteBuffer("x", 1);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TSFSAbstractFile.WriteBuffer - Stream write error");
  }
}

TEST(DiskFile, ZeroLengthWriteCutsAtThePosition) {
  TestDir dir;
  const std::string path = dir / "cut.dat";
  TSFSDiskFile f(path, false, false);
  ASSERT_TRUE(f.Open(true));
  f.WriteBuffer("0123456789", 10);
  f.SetPosition(4);
  EXPECT_EQ(f.Write("", 0), 0);
  EXPECT_EQ(f.GetSize(), 4);
  EXPECT_EQ(f.GetPosition(), 4);
  f.Close();
  EXPECT_EQ(ReadWhole(path), "0123");
}

TEST(DiskFile, SizeAndPositionBeyondFourGiBStayWhole) {
  TestDir dir;
  TSFSDiskFile f(dir / "sparse.dat", false, false);
  ASSERT_TRUE(f.Open(true));
  const int64_t big = (int64_t{1} << 32) + 12345;  // sparse: nothing of it is written
  f.SetSize(big);
  EXPECT_EQ(f.GetPosition(), big);
  EXPECT_EQ(f.GetSize(), big);
  const int64_t inside = (int64_t{1} << 31) + 7;
  f.SetPosition(inside);
  EXPECT_EQ(f.GetSize(), big);
  EXPECT_EQ(f.GetPosition(), inside);
  f.WriteBuffer("Q", 1);
  f.SetPosition(inside);
  char c = 0;
  f.ReadBuffer(&c, 1);
  EXPECT_EQ(c, 'Q');
  EXPECT_EQ(SizeOf(dir / "sparse.dat"), big);
}

TEST(DiskFile, SetSizeRaisesTheSystemErrorWithItsCode) {
  platform::MemoryFileSystem memory;
  FaultFileSystem faults(memory);
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, faults);
  TSFSDiskFile f("full.dat", false, false);
  ASSERT_TRUE(f.Open(true));
  faults.FailNth(FaultOp::SetEndOfFile, 1, false, platform::kErrorDiskFull);
  try {
    f.SetSize(100);
    FAIL() << "no error";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, platform::kErrorDiskFull);
    EXPECT_EQ(e.Message, "There is not enough space on the disk.");
  }
  f.SetSize(50);
  EXPECT_EQ(f.GetPosition(), 50);
  EXPECT_EQ(memory.Contents("full.dat")->size(), 50u);
  // A size the file pointer cannot take never cuts the file elsewhere.
  EXPECT_THROW(f.SetSize(-1), EOSError);
  EXPECT_EQ(memory.Contents("full.dat")->size(), 50u);
}

TEST(DiskFile, TwoOpensLockEachOtherOutAsExclusiveDecides) {
  TestDir dir;
  const std::string path = dir / "lock.dat";
  WriteWhole(path, "data");
  struct Case {
    bool firstExclusive;
    bool secondExclusive;
    bool secondOpens;
  };
  for (const Case& c : std::vector<Case>{
           {false, false, true}, {false, true, false}, {true, false, false}, {true, true, false}}) {
    TSFSDiskFile a(path, false, c.firstExclusive);
    ASSERT_TRUE(a.Open(false));
    TSFSDiskFile b(path, true, c.secondExclusive);
    EXPECT_EQ(b.Open(false), c.secondOpens) << c.firstExclusive << c.secondExclusive;
    if (!c.secondOpens) {
      EXPECT_EQ(platform::LastErrorCode(), platform::kErrorSharingViolation);
    }
  }
}

TEST(DiskFile, FlagChangesReopenAtTheSamePositionOnlyWhenTheyChange) {
  platform::MemoryFileSystem memory;
  FaultFileSystem faults(memory);
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, faults);
  TSFSDiskFile f("flags.dat", false, false);
  ASSERT_TRUE(f.Open(true));
  f.WriteBuffer("0123456789", 10);
  f.SetPosition(6);
  const int64_t opens = faults.Calls(FaultOp::Open);

  f.SetReadOnly(false);  // same value: no reopen
  f.SetExclusive(false);
  EXPECT_EQ(faults.Calls(FaultOp::Open), opens);

  f.SetReadOnly(true);
  EXPECT_EQ(faults.Calls(FaultOp::Open), opens + 1);
  EXPECT_EQ(f.GetPosition(), 6);
  EXPECT_EQ(f.Write("x", 1), -1);  // now read only
  char c;
  f.ReadBuffer(&c, 1);
  EXPECT_EQ(c, '6');

  f.SetExclusive(true);
  EXPECT_EQ(faults.Calls(FaultOp::Open), opens + 2);
  EXPECT_EQ(f.GetPosition(), 7);
  TSFSDiskFile other("flags.dat", true, false);
  EXPECT_FALSE(other.Open(false));  // locked out by the exclusive reopen
  f.SetExclusive(false);
  EXPECT_TRUE(other.Open(false));
}

TEST(DiskFile, FlagChangeOnAClosedFileOpensNothing) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  TSFSDiskFile f("closed.dat", false, false);
  f.SetReadOnly(true);
  f.SetExclusive(true);
  EXPECT_TRUE(f.GetReadOnly());
  EXPECT_TRUE(f.GetExclusive());
  EXPECT_FALSE(f.HasHandle());
}

// Records the count of every Read that passes through.
class CountingMemoryFile : public TSFSMemoryFile {
 public:
  using TSFSMemoryFile::TSFSMemoryFile;
  int32_t Read(void* buffer, int32_t count) override {
    counts.push_back(count);
    return TSFSMemoryFile::Read(buffer, count);
  }
  std::vector<int32_t> counts;
};

TEST(AbstractFile, CopyFromZeroCopiesTheWholeSourceInChunks) {
  CountingMemoryFile source("src", false, false);
  ASSERT_TRUE(source.Open(true));
  std::string data(150000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  source.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  source.SetPosition(12345);  // ignored: a count of 0 starts at the first byte
  source.counts.clear();

  TestDir dir;
  TSFSDiskFile target(dir / "copy.dat", false, false);
  ASSERT_TRUE(target.Open(true));
  target.WriteBuffer("head", 4);
  EXPECT_EQ(target.CopyFrom(source, 0), 150000);
  EXPECT_EQ(source.counts, (std::vector<int32_t>{61440, 61440, 150000 - 2 * 61440}));
  target.Close();
  EXPECT_EQ(ReadWhole(dir / "copy.dat"), "head" + data);
}

TEST(AbstractFile, CopyFromCountStartsAtTheSourcePosition) {
  TSFSMemoryFile source("src", false, false), target("dst", false, false);
  ASSERT_TRUE(source.Open(true));
  ASSERT_TRUE(target.Open(true));
  source.WriteBuffer("abcdefgh", 8);
  source.SetPosition(2);
  EXPECT_EQ(target.CopyFrom(source, 3), 3);
  EXPECT_EQ(ReadAllFrom(target), "cde");
  source.SetPosition(6);
  EXPECT_THROW(target.CopyFrom(source, 5), EReadError);  // only 2 bytes left
}

TEST(MemoryFile, OpenWithoutCreateRaisesAndCloseDropsTheContent) {
  TSFSMemoryFile f("mem", false, false);
  try {
    f.Open(false);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TSFSMemoryFile.Open - File cannot be open, only creation is available.");
  }
  ASSERT_TRUE(f.Open(true));
  f.WriteBuffer("content", 7);
  f.Close();
  EXPECT_FALSE(f.HasStream());
  ASSERT_TRUE(f.Open(true));
  EXPECT_EQ(f.GetSize(), 0);
}

TEST(MemoryFile, BehavesLikeAMemoryStream) {
  TSFSMemoryFile f("mem", false, false);
  ASSERT_TRUE(f.Open(true));
  char buf[16];
  EXPECT_EQ(f.Read(buf, 4), 0);
  EXPECT_EQ(f.Seek(10, 0), 10);  // no clamping
  EXPECT_EQ(f.Read(buf, 4), 0);
  f.WriteBuffer("xy", 2);  // extends over the gap
  EXPECT_EQ(f.GetSize(), 12);
  EXPECT_EQ(f.Seek(-3, 2), 9);
  EXPECT_EQ(f.Read(buf, 16), 3);
  EXPECT_EQ(std::string(buf + 1, 2), "xy");
  f.SetPosition(5);
  f.SetSize(8);  // position inside: kept
  EXPECT_EQ(f.GetPosition(), 5);
  f.SetSize(3);  // position beyond the new end: moves to it
  EXPECT_EQ(f.GetPosition(), 3);
  EXPECT_EQ(f.GetSize(), 3);
  f.SetSize(6);
  EXPECT_EQ(f.GetPosition(), 3);
  // A position beyond the largest content is neither wrapped nor written.
  EXPECT_EQ(f.Seek(int64_t{1} << 32, 0), int64_t{1} << 32);
  EXPECT_EQ(f.Write("z", 1), 0);
  EXPECT_EQ(f.GetSize(), 6);
  EXPECT_THROW(f.SetSize(kMaxMemoryFileSize + 1), Exception);
}

}  // namespace
