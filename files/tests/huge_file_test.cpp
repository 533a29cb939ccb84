// Tests of the multi-volume file: the part chain and its headers, naming,
// size limits, truncation, a container appended behind other bytes, reads at
// and beyond the end, memory mode, incomplete chains, hostile chains, 64-bit
// positions on a sparse part, and a model test against a plain string.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
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

using platform::ScopedService;

std::string Header(int64_t partSize, const std::string& next) {
  TSFSVolumeHeader h = BuildVolumeHeader(partSize);
  h.SetNextName(next);
  std::string out(kVolumeHeaderSize, '\0');
  h.Encode(reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

// The NextPartName stored in the header at `offset` of a file's bytes.
std::string NextNameIn(const std::string& bytes, size_t offset = 0) {
  if (bytes.size() < offset + kVolumeHeaderSize) return "<short>";
  return TSFSVolumeHeader::Decode(reinterpret_cast<const uint8_t*>(bytes.data() + offset)).NextName();
}

std::string Pattern(size_t n, int seed = 0) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 17 + i / 97) & 0xFF);
  return s;
}

std::string ReadLogical(TSFSHugeFile& f) {
  std::string out(static_cast<size_t>(f.GetSize()), '\0');
  f.SetPosition(0);
  f.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "<no error>";
}

TEST(HugeFile, ThousandBytePartsMakeTheExpectedChain) {
  TestDir dir;
  const std::string data = Pattern(1500);
  {
    TSFSHugeFile f(dir / "c.dat", false, false, false, 1000);
    EXPECT_EQ(f.GetPartDataSize(), 720);
    ASSERT_TRUE(f.Open(true, false));
    f.WriteBuffer(data.data(), 1500);
    EXPECT_EQ(f.GetSize(), 1500);
    EXPECT_EQ(f.PartCount(), 3);
  }
  EXPECT_EQ(SizeOf(dir / "c.dat"), 1000);
  EXPECT_EQ(SizeOf(dir / "c.dat1"), 1000);
  EXPECT_EQ(SizeOf(dir / "c.dat2"), 340);
  const std::string p0 = ReadWhole(dir / "c.dat"), p1 = ReadWhole(dir / "c.dat1"),
                    p2 = ReadWhole(dir / "c.dat2");
  EXPECT_EQ(p0.substr(0, 8), "ZKMVHFSS");
  EXPECT_EQ(p0.substr(0, kVolumeHeaderSize), Header(1000, "c.dat1").substr(0, kVolumeHeaderSize));
  EXPECT_EQ(NextNameIn(p0), "c.dat1");
  EXPECT_EQ(NextNameIn(p1), "c.dat2");
  EXPECT_EQ(NextNameIn(p2), "");
  EXPECT_EQ(p0.substr(280) + p1.substr(280) + p2.substr(280), data);

  TSFSHugeFile again(dir / "c.dat", true, false, false, -1);
  ASSERT_TRUE(again.Open(false, true));
  EXPECT_EQ(again.GetPartSize(), 1000);  // taken from part 0
  EXPECT_EQ(again.GetSize(), 1500);
  EXPECT_EQ(ReadLogical(again), data);
  again.SetPosition(715);  // a read across the part boundary
  char buf[10];
  again.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(715, 10));
}

TEST(HugeFile, CreateDeletesTheOldChainAndSkipsUnrelatedNames) {
  TestDir dir;
  {
    TSFSHugeFile old(dir / "c.dat", false, false, false, 400);
    ASSERT_TRUE(old.Open(true, false));
    const std::string d = Pattern(300);
    old.WriteBuffer(d.data(), 300);  // c.dat, c.dat1, c.dat2
  }
  ASSERT_TRUE(FileThere(dir / "c.dat2"));
  // Now a single-part c.dat beside an unrelated c.dat1.
  {
    TSFSHugeFile single(dir / "c.dat", false, false, false, 400);
    ASSERT_TRUE(single.Open(true, false));
    EXPECT_FALSE(FileThere(dir / "c.dat1"));
    EXPECT_FALSE(FileThere(dir / "c.dat2"));
  }
  WriteWhole(dir / "c.dat1", "unrelated");
  {
    TSFSHugeFile f(dir / "c.dat", false, false, false, 1000);
    ASSERT_TRUE(f.Open(true, false));
    const std::string d = Pattern(1500);
    f.WriteBuffer(d.data(), 1500);
  }
  EXPECT_EQ(ReadWhole(dir / "c.dat1"), "unrelated");
  EXPECT_EQ(NextNameIn(ReadWhole(dir / "c.dat")), "c.dat2");
  EXPECT_EQ(NextNameIn(ReadWhole(dir / "c.dat2")), "c.dat3");
  EXPECT_EQ(SizeOf(dir / "c.dat3"), 340);
  // Creating again deletes that chain but leaves the unrelated file.
  TSFSHugeFile f(dir / "c.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  EXPECT_FALSE(FileThere(dir / "c.dat2"));
  EXPECT_FALSE(FileThere(dir / "c.dat3"));
  EXPECT_EQ(ReadWhole(dir / "c.dat1"), "unrelated");
}

TEST(HugeFile, PartSizeBounds) {
  EXPECT_EQ(MessageOf([] { TSFSHugeFile f("/tmp/never.dat", false, false, true, 379); }),
            "File part size is too small. Minimal part size is 380");
  TSFSHugeFile f("m.dat", false, false, true, 380);
  EXPECT_EQ(f.GetPartDataSize(), 100);
  ASSERT_TRUE(f.Open(true, false));
  const std::string d = Pattern(250);
  f.WriteBuffer(d.data(), 250);
  EXPECT_EQ(f.PartCount(), 3);
  EXPECT_EQ(ReadLogical(f), d);
}

TEST(HugeFile, TruncatingIntoPartZeroDeletesLaterPartsAndClearsTheNextName) {
  TestDir dir;
  TSFSHugeFile f(dir / "t.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  const std::string d = Pattern(2000);
  f.WriteBuffer(d.data(), 2000);
  ASSERT_EQ(f.PartCount(), 3);
  f.SetSize(500);
  EXPECT_EQ(f.GetSize(), 500);
  EXPECT_EQ(f.GetPosition(), 500);
  EXPECT_EQ(f.PartCount(), 1);
  f.Flush();
  EXPECT_FALSE(FileThere(dir / "t.dat1"));
  EXPECT_FALSE(FileThere(dir / "t.dat2"));
  EXPECT_EQ(SizeOf(dir / "t.dat"), 780);
  EXPECT_EQ(NextNameIn(ReadWhole(dir / "t.dat")), "");
  EXPECT_EQ(ReadLogical(f), d.substr(0, 500));
  EXPECT_EQ(MessageOf([&] { f.DeleteLastPartFile(); }),
            "TSFSHugeFile.DeleteLastPartFile - No parts to delete.");
}

TEST(HugeFile, GrowingBySetSizeFillsPartsAndEndsOnABoundaryWithAHeaderOnlyPart) {
  TestDir dir;
  TSFSHugeFile f(dir / "g.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  f.SetSize(1440);  // exactly two parts of data
  EXPECT_EQ(f.PartCount(), 3);
  f.Flush();
  EXPECT_EQ(SizeOf(dir / "g.dat"), 1000);
  EXPECT_EQ(SizeOf(dir / "g.dat1"), 1000);
  EXPECT_EQ(SizeOf(dir / "g.dat2"), 280);
  f.Close();
  ASSERT_TRUE(f.Open(false, true));
  EXPECT_EQ(f.GetSize(), 1440);
}

TEST(HugeFile, WritingBeyondTheEndFillsTheGap) {
  TestDir dir;
  TSFSHugeFile f(dir / "w.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  f.WriteBuffer("ab", 2);
  f.SetPosition(900);
  f.WriteBuffer("xyz", 3);
  EXPECT_EQ(f.GetSize(), 903);
  const std::string all = ReadLogical(f);
  EXPECT_EQ(all.substr(0, 2), "ab");
  EXPECT_EQ(all.substr(900), "xyz");
}

TEST(HugeFile, ReadAtAndBeyondTheEndAndSeekRules) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  TSFSHugeFile f("r.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  f.WriteBuffer("hello", 5);
  EXPECT_EQ(f.Seek(0, 2), 5);
  char buf[4];
  EXPECT_EQ(f.Read(buf, 4), 0);
  EXPECT_EQ(f.Seek(3, 0), 3);
  EXPECT_EQ(f.Read(buf, 4), 2);
  EXPECT_EQ(f.Seek(1, 2), 6);
  EXPECT_EQ(MessageOf([&] { f.Read(buf, 1); }), "TSFSHugeFile.Read - Stream read error.");
  f.SetPosition(4);
  EXPECT_EQ(MessageOf([&] { f.ReadBuffer(buf, 2); }), "TSFSHugeFile.ReadBuffer - Stream read error");
  EXPECT_EQ(MessageOf([&] { f.Seek(-1, 0); }), "TSFSHugeFile.Seek - Offset < 0 from file beginning.");
  EXPECT_EQ(f.GetPosition(), 5);  // the short read moved on by what it got
  EXPECT_EQ(f.Seek(-2, 1), 3);
  EXPECT_EQ(f.Seek(0, 5), 3);  // an unknown origin leaves the position
  EXPECT_THROW(f.Seek(-10, 2), Exception);
  EXPECT_EQ(f.GetPosition(), 3);
}

TEST(HugeFile, OpenAndCloseStates) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  TSFSHugeFile f("s.dat", false, false, false, 1000);
  EXPECT_FALSE(f.Open(false, true));  // nothing there
  ASSERT_TRUE(f.Open(true, false));
  EXPECT_EQ(MessageOf([&] { f.Open(false, true); }), "TSFSHugeFile.InternalOpen - File is already open.");
  f.WriteBuffer("abc", 3);
  f.Close();
  EXPECT_EQ(f.GetSize(), 0);
  EXPECT_EQ(f.PartCount(), 0);
  ASSERT_TRUE(f.Open(false, false));
  EXPECT_EQ(f.GetSize(), 3);
}

// A part whose NextPartName points at a part that is shorter than PartSize
// in the middle of the chain: the open fails but keeps the part.
TEST(HugeFile, ShortMiddlePartFailsTheOpenAndNeedsAClose) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  memory.SetContents("k.dat", Header(400, "k.dat1") + "ZKSFSSGN" + std::string(112, 'a'));
  memory.SetContents("k.dat1", Header(400, "k.dat2") + std::string(10, 'b'));  // short
  memory.SetContents("k.dat2", Header(400, "") + std::string(10, 'c'));
  TSFSHugeFile f("k.dat", false, false, false, 1000);
  EXPECT_FALSE(f.Open(false, false));
  EXPECT_EQ(f.PartCount(), 2);
  EXPECT_EQ(MessageOf([&] { f.Open(false, false); }), "TSFSHugeFile.InternalOpen - File was not closed.");
  f.Close();
  ASSERT_TRUE(f.Open(false, true));  // incomplete: the parts read so far
  EXPECT_EQ(f.PartCount(), 2);
  EXPECT_EQ(f.GetSize(), 120 + 10);
}

TEST(HugeFile, MissingPartOpensOnlyWhenIncompleteIsAllowed) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  memory.SetContents("i.dat", Header(400, "i.dat1") + "ZKSFSSGN" + std::string(112, 'a'));
  TSFSHugeFile strict("i.dat", true, false, false, 1000);
  EXPECT_FALSE(strict.Open(false, false));
  TSFSHugeFile lenient("i.dat", true, false, false, 1000);
  ASSERT_TRUE(lenient.Open(false, true));
  EXPECT_EQ(lenient.PartCount(), 1);
  EXPECT_EQ(lenient.GetSize(), 120);
  EXPECT_EQ(lenient.GetPartSize(), 400);
}

TEST(HugeFile, ContainerAppendedBehindOtherBytesIsFoundAndShifted) {
  TestDir dir;
  // A prefix with a decoy: the volume magic without the container magic after
  // the header is not a header.
  std::string prefix = "MZ program bytes " + Header(1000, "") + "not a container" + std::string(70000, 'p');
  const std::string body = "ZKSFSSGN" + Pattern(200);
  WriteWhole(dir / "app.exe", prefix + Header(1000000, "") + body);
  const int64_t h = static_cast<int64_t>(prefix.size());  // beyond the first 65535-byte chunk
  {
    TSFSHugeFile f(dir / "app.exe", false, false, false, -1);
    ASSERT_TRUE(f.Open(false, true));
    EXPECT_EQ(f.GetHeaderOffset(), h);
    EXPECT_EQ(f.GetPartSize(), 1000000);
    EXPECT_EQ(f.GetSize(), static_cast<int64_t>(body.size()));
    EXPECT_EQ(ReadLogical(f), body);
    // Part 0 holds PartDataSize - HeaderOffset bytes; writing past that adds a part.
    const int64_t room0 = f.GetPartDataSize() - h;
    f.SetPosition(room0 - 4);
    f.WriteBuffer("12345678", 8);
    EXPECT_EQ(f.PartCount(), 2);
    EXPECT_EQ(f.GetSize(), room0 + 4);
  }
  EXPECT_EQ(SizeOf(dir / "app.exe"), 1000000);
  EXPECT_EQ(SizeOf(dir / "app.exe1"), 284);
  const std::string p0 = ReadWhole(dir / "app.exe");
  EXPECT_EQ(p0.substr(0, static_cast<size_t>(h)), prefix);
  EXPECT_EQ(NextNameIn(p0, static_cast<size_t>(h)), "app.exe1");
  TSFSHugeFile f(dir / "app.exe", true, false, false, -1);
  ASSERT_TRUE(f.Open(false, false));
  f.SetPosition(f.GetSize() - 8);
  char buf[8];
  f.ReadBuffer(buf, 8);
  EXPECT_EQ(std::string(buf, 8), "12345678");
}

TEST(HugeFile, MemoryModeCopiesPartsInAndNeverWritesToDisk) {
  TestDir dir;
  const std::string data = Pattern(1500);
  {
    TSFSHugeFile f(dir / "m.dat", false, false, false, 1000);
    ASSERT_TRUE(f.Open(true, false));
    f.WriteBuffer(data.data(), 1500);
  }
  const std::string before0 = ReadWhole(dir / "m.dat"), before2 = ReadWhole(dir / "m.dat2");
  {
    TSFSHugeFile f(dir / "m.dat", false, false, true, -1);
    ASSERT_TRUE(f.Open(false, true));
    EXPECT_EQ(f.PartCount(), 3);
    EXPECT_EQ(ReadLogical(f), data);
    f.SetPosition(0);
    f.WriteBuffer("changed", 7);
    f.SetPosition(1500);
    f.WriteBuffer(data.data(), 1000);  // grows into a fourth, memory-only part
    f.SetSize(100);
    f.Flush();
    f.Close();  // memory parts stay for the next open
    ASSERT_TRUE(f.Open(false, false));
    EXPECT_EQ(f.GetSize(), 100);
    char buf[7];
    f.ReadBuffer(buf, 7);
    EXPECT_EQ(std::string(buf, 7), "changed");
  }
  EXPECT_EQ(ReadWhole(dir / "m.dat"), before0);
  EXPECT_EQ(ReadWhole(dir / "m.dat2"), before2);
  EXPECT_TRUE(FileThere(dir / "m.dat1"));
  EXPECT_FALSE(FileThere(dir / "m.dat3"));
  // Creating in memory touches nothing on disk either.
  TSFSHugeFile created(dir / "new.dat", false, false, true, 1000);
  ASSERT_TRUE(created.Open(true, false));
  created.WriteBuffer(data.data(), 1500);
  EXPECT_EQ(created.PartCount(), 3);
  EXPECT_EQ(ReadLogical(created), data);
  EXPECT_FALSE(FileThere(dir / "new.dat"));
  EXPECT_FALSE(FileThere(dir / "new.dat1"));
}

// Hostile NextPartName values: the chain must stay inside the folder of
// part 0 and must not loop.
TEST(HugeFile, UnsafeChainsEndWhereTheyWouldLeaveTheFolderOrLoop) {
  struct Case {
    std::string next0;  // NextPartName of part 0
    std::string next1;  // NextPartName of u.dat1 (when it is reached)
    int32_t partsOpen;  // with AllowIncomplete
  };
  const std::vector<Case> cases = {
      {"../outside.dat", "", 1},
      {"sub/inner.dat", "", 1},
      {"sub\\inner.dat", "", 1},
      {"..", "", 1},
      {".", "", 1},
      {"u.dat", "", 1},
      {"u.dat1", "u.dat", 2},
      {"u.dat1", "u.dat1", 2},
      {"C:evil.dat", "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.next0 + " / " + c.next1);
    TestDir dir;
    std::filesystem::create_directory(dir / "store");
    std::filesystem::create_directory(dir / "store/sub");
    const std::string victim = Header(400, "") + std::string(120, 'v');
    WriteWhole(dir / "outside.dat", victim);
    WriteWhole(dir / "store/sub/inner.dat", victim);
    WriteWhole(dir / "store/u.dat", Header(400, c.next0) + "ZKSFSSGN" + std::string(112, 'a'));
    WriteWhole(dir / "store/u.dat1", Header(400, c.next1) + std::string(120, 'b'));
    {
      TSFSHugeFile strict(dir / "store/u.dat", true, false, false, -1);
      EXPECT_FALSE(strict.Open(false, false));
      TSFSHugeFile lenient(dir / "store/u.dat", true, false, false, -1);
      ASSERT_TRUE(lenient.Open(false, true));
      EXPECT_EQ(lenient.PartCount(), c.partsOpen);
      EXPECT_EQ(lenient.GetSize(), 120 * c.partsOpen);
    }
    {
      // Creating deletes the chain it can follow safely, nothing else.
      TSFSHugeFile f(dir / "store/u.dat", false, false, false, 400);
      ASSERT_TRUE(f.Open(true, false));
    }
    EXPECT_EQ(ReadWhole(dir / "outside.dat"), victim);
    EXPECT_EQ(ReadWhole(dir / "store/sub/inner.dat"), victim);
    EXPECT_EQ(FileThere(dir / "store/u.dat1"), c.partsOpen == 1);
  }
}

TEST(HugeFile, DeletingAChainStopsAtAFileThatIsNoVolumePart) {
  TestDir dir;
  WriteWhole(dir / "d.dat", Header(400, "notes.txt") + "ZKSFSSGN");
  WriteWhole(dir / "notes.txt", "my notes, not a volume part");
  TSFSHugeFile f(dir / "d.dat", false, false, false, 400);
  ASSERT_TRUE(f.Open(true, false));
  EXPECT_EQ(ReadWhole(dir / "notes.txt"), "my notes, not a volume part");
}

TEST(HugeFile, StoredPartSizeBelowTheMinimumIsRefusedLikeAMissingHeader) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  for (int64_t stored : {int64_t{-1}, int64_t{0}, int64_t{280}, int64_t{379}, int64_t{380}}) {
    SCOPED_TRACE(stored);
    memory.SetContents("p.dat", Header(stored, "") + "ZKSFSSGN" + std::string(92, 'z'));
    TSFSHugeFile f("p.dat", true, false, false, 1000);
    const bool opened = f.Open(false, true);
    EXPECT_EQ(opened, stored >= 380);
    if (opened) {
      EXPECT_EQ(f.GetPartDataSize(), 100);
      EXPECT_EQ(f.GetSize(), 100);
    } else {
      EXPECT_EQ(f.PartCount(), 0);
      EXPECT_EQ(f.GetPartSize(), 1000);  // not taken from a refused header
    }
  }
}

TEST(HugeFile, NotAVolumeFileDoesNotOpen) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  memory.SetContents("x.dat", std::string(1000, 'x'));
  memory.SetContents("y.dat", "ZKMVHFSS");
  for (const char* name : {"x.dat", "y.dat"}) {
    TSFSHugeFile f(name, true, false, false, 1000);
    EXPECT_FALSE(f.Open(false, true)) << name;
    EXPECT_EQ(f.PartCount(), 0);
  }
}

TEST(HugeFile, LocatePositionTable) {
  struct Case {
    int64_t partSize, headerOffset, p;
    int32_t index;
    int64_t offset;
  };
  // headerOffset is set through an appended file; here it is reached through
  // a subclass that exposes the field.
  struct Probe : TSFSHugeFile {
    Probe(int64_t partSize, int64_t h) : TSFSHugeFile("probe", true, false, true, partSize) {
      HeaderOffset = h;
    }
  };
  const int64_t fat32 = 4294967295LL, d32 = fat32 - 280;
  const std::vector<Case> cases = {
      {1000, 0, 0, 0, 0},
      {1000, 0, 719, 0, 719},
      {1000, 0, 720, 1, 0},
      {1000, 0, 1500, 2, 60},
      {1000, 100, 619, 0, 619},
      {1000, 100, 620, 1, 0},
      {fat32, 0, d32 - 1, 0, d32 - 1},
      {fat32, 0, d32, 1, 0},
      {fat32, 0, 3 * d32 + 5, 3, 5},
      {fat32, 77, d32 - 77, 1, 0},
      {380, 0, 250, 2, 50},
  };
  for (const Case& c : cases) {
    Probe f(c.partSize, c.headerOffset);
    int32_t index = -1;
    int64_t offset = -1;
    f.LocatePosition(c.p, index, offset);
    EXPECT_EQ(index, c.index) << c.p;
    EXPECT_EQ(offset, c.offset) << c.p;
  }
}

TEST(HugeFile, SparsePartBeyondFourGiB) {
  TestDir dir;
  const int64_t far = (int64_t{5} << 30) + 11;  // nothing before it is written
  const int64_t partSize = int64_t{1} << 40;
  {
    TSFSHugeFile f(dir / "big.dat", false, false, false, partSize);
    ASSERT_TRUE(f.Open(true, false));
    f.WriteBuffer("ZKSFSSGN", 8);
    f.SetPosition(far);
    f.WriteBuffer("tail", 4);
    EXPECT_EQ(f.GetSize(), far + 4);
    EXPECT_EQ(f.PartCount(), 1);
  }
  EXPECT_EQ(SizeOf(dir / "big.dat"), far + 4 + 280);
  TSFSHugeFile f(dir / "big.dat", false, false, false, -1);
  ASSERT_TRUE(f.Open(false, false));
  EXPECT_EQ(f.GetPartSize(), partSize);
  EXPECT_EQ(f.GetSize(), far + 4);
  EXPECT_EQ(f.Seek(-4, 2), far);
  char buf[4];
  f.ReadBuffer(buf, 4);
  EXPECT_EQ(std::string(buf, 4), "tail");
  f.SetSize(far - 100);
  EXPECT_EQ(f.GetPosition(), far - 100);
  f.Flush();
  EXPECT_EQ(SizeOf(dir / "big.dat"), far - 100 + 280);
}

TEST(HugeFile, FailedPartWriteSurfacesThroughWriteBuffer) {
  platform::MemoryFileSystem memory;
  platform::FaultFileSystem faults(memory);
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, faults);
  TSFSHugeFile f("f.dat", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  const std::string d = Pattern(2000);
  faults.FailNth(platform::FaultOp::Write, 3, true);  // part 0 header, first data chunk, then fail
  EXPECT_EQ(MessageOf([&] { f.WriteBuffer(d.data(), 2000); }),
            "TSFSHugeFile.WriteBuffer - Stream write error");
  EXPECT_EQ(f.GetSize(), 720);
  faults.Disarm();

  // Adding a part that cannot be created stops the write short.
  TSFSHugeFile g("g.dat", false, false, false, 1000);
  ASSERT_TRUE(g.Open(true, false));
  g.WriteBuffer(d.data(), 720);  // fills part 0 exactly, adds nothing
  EXPECT_EQ(g.PartCount(), 1);
  faults.FailNth(platform::FaultOp::Open, 1, true);
  EXPECT_EQ(g.Write(d.data(), 100), 0);
  EXPECT_EQ(g.GetSize(), 720);
  EXPECT_EQ(g.Write(d.data(), 100), 0);  // the unopened part refuses as well
  EXPECT_EQ(g.GetSize(), 720);
}

// Random writes, size changes and reopenings against a plain string model.
TEST(HugeFile, ModelTest) {
  platform::MemoryFileSystem memory;
  ScopedService<platform::IFileSystem> use(&platform::SetFiles, memory);
  std::mt19937 rng(20261211);
  for (int64_t partSize : {int64_t{380}, int64_t{1000}, int64_t{4096}}) {
    for (bool inMemory : {false, true}) {
      SCOPED_TRACE(std::to_string(partSize) + (inMemory ? " memory" : " disk"));
      std::string model;
      auto f = std::make_unique<TSFSHugeFile>("model.dat", false, false, inMemory, partSize);
      ASSERT_TRUE(f->Open(true, false));
      for (int step = 0; step < 300; ++step) {
        const int op = static_cast<int>(rng() % 10);
        if (op < 6) {
          const size_t at = rng() % (model.size() + 600);
          const std::string d = Pattern(rng() % 900, step);
          f->SetPosition(static_cast<int64_t>(at));
          f->WriteBuffer(d.data(), static_cast<int32_t>(d.size()));
          if (!d.empty()) {
            if (model.size() < at + d.size()) model.resize(at + d.size(), '\0');
            model.replace(at, d.size(), d);
          }
        } else if (op < 8) {
          const size_t n = rng() % (model.size() + 800);
          f->SetSize(static_cast<int64_t>(n));
          model.resize(n, '\0');
        } else if (op == 8 && !inMemory) {
          f.reset();
          f = std::make_unique<TSFSHugeFile>("model.dat", false, false, false, -1);
          ASSERT_TRUE(f->Open(false, false));
        } else if (!model.empty()) {
          const size_t at = rng() % model.size();
          const size_t n = std::min<size_t>(rng() % 1500, model.size() - at);
          std::string got(n, '\0');
          f->SetPosition(static_cast<int64_t>(at));
          ASSERT_EQ(f->Read(got.data(), static_cast<int32_t>(n)), static_cast<int32_t>(n));
          // Bytes of a gap that a size change left are unspecified; compare
          // only what was written.
          for (size_t i = 0; i < n; ++i) {
            if (model[at + i] != '\0') {
              ASSERT_EQ(got[i], model[at + i]) << "step " << step << " at " << at + i;
            }
          }
        }
        ASSERT_EQ(f->GetSize(), static_cast<int64_t>(model.size())) << "step " << step;
        const int64_t data = partSize - 280;
        // One part per started PartDataSize bytes; a size on a part boundary
        // may leave one more part that holds only its header.
        const int64_t size = static_cast<int64_t>(model.size());
        const int64_t full = size / data, started = (size + data - 1) / data;
        ASSERT_GE(f->PartCount(), std::max<int64_t>(started, 1)) << "step " << step;
        ASSERT_LE(f->PartCount(), full + 1) << "step " << step;
      }
    }
  }
}

}  // namespace
