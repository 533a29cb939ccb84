// Tests of the block stream: the stored layout of compressed files (header,
// block chain, checksums), random access over it, resizing, whole-file
// copies, progress events and the handling of damaged stored files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ContainerTestSupport.h"
#include "compress/ZUZCompress.h"
#include "container/SingleFileSystem.h"
#include "crypto/ZUZPassword.h"
#include "platform/Exception.h"

namespace {

using container_test::Bytes;
using container_test::ExceptionText;
using container_test::Random;

// Text-like bytes that compress well.
Bytes Compressible(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "epsilon ", "zeta "};
  return container_test::WordText(n, seed, kWords);
}

uint32_t U32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class BlockStreamTest : public container_test::OpenContainerTest {
 protected:
  BlockStreamTest() : OpenContainerTest("vv_block_") {}

  std::unique_ptr<TSFSAdvancedFileStream> Create(const std::string& name, uint8_t method) {
    return std::make_unique<TSFSAdvancedFileStream>(c_.get(), name, kModeCreate, "", "", "", method);
  }
  std::unique_ptr<TSFSAdvancedFileStream> Open(const std::string& name, uint16_t mode = 2) {
    return std::make_unique<TSFSAdvancedFileStream>(c_.get(), name, mode, "", "", "", 0);
  }

  // Replaces the stored bytes of a stored file.
  void SetStored(const std::string& name, const Bytes& bytes) {
    TSFSUserFileStream raw(c_.get(), name, 2, "", "", "");
    raw.SetSize(static_cast<int64_t>(0));
    raw.SetPosition(0);
    if (!bytes.empty()) raw.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  static void WriteAt(TStream& s, int64_t at, const Bytes& b) {
    s.SetPosition(at);
    s.WriteBuffer(b.data(), static_cast<int32_t>(b.size()));
  }

};

// ---------------------------------------------------------------------------
// Round trips

class MethodRoundTrip : public BlockStreamTest, public ::testing::WithParamInterface<int> {};

// Writes a little more than two blocks in uneven pieces, reads them back in
// pieces that cross block edges, and again after the container was reopened.
TEST_P(MethodRoundTrip, WriteReadReopen) {
  const uint8_t method = static_cast<uint8_t>(GetParam());
  const int32_t B = BlockSizeForMethod(method);
  Make(2);
  Bytes data = Compressible(static_cast<size_t>(2 * B + 777), method);
  const Bytes noise = Random(5000, 9);
  std::copy(noise.begin(), noise.end(), data.begin() + B - 2500);  // noise across the first block edge
  {
    auto s = Create("f.bin", method);
    EXPECT_EQ(s->Method(), method);
    size_t at = 0;
    for (size_t piece : {size_t{1}, size_t{100000}, static_cast<size_t>(B), size_t{3}}) {
      s->WriteBuffer(data.data() + at, static_cast<int32_t>(piece));
      at += piece;
    }
    s->WriteBuffer(data.data() + at, static_cast<int32_t>(data.size() - at));
    EXPECT_EQ(s->GetSize(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(ReadAll(*s), data);
  }
  Reopen();
  auto s = Open("f.bin", 0);
  EXPECT_EQ(s->Method(), method);
  EXPECT_EQ(s->BlockSize(), B);
  EXPECT_EQ(s->Headers().Count(), 3);
  EXPECT_EQ(s->GetSize(), static_cast<int64_t>(data.size()));
  // Pieces across block edges.
  s->SetPosition(B - 10);
  Bytes piece(B + 20);
  EXPECT_EQ(s->Read(piece.data(), static_cast<int32_t>(piece.size())), static_cast<int32_t>(piece.size()));
  EXPECT_TRUE(std::equal(piece.begin(), piece.end(), data.begin() + B - 10));
  EXPECT_EQ(ReadAll(*s), data);
  EXPECT_LT(s->CompressedSize(), static_cast<int64_t>(data.size()));
  EXPECT_GT(s->CompressionRatio(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodRoundTrip, ::testing::Values(1, 2, 3, 5, 7, 8, 9));

TEST_F(BlockStreamTest, DiskFileRoundTripThroughBlocks) {
  for (uint8_t method : {uint8_t{2}, uint8_t{7}}) {
    SCOPED_TRACE(static_cast<int>(method));
    Make(method);
    const int32_t B = BlockSizeForMethod(method);
    Bytes data = Compressible(static_cast<size_t>(3 * B + 12345), 77);
    const Bytes noise = Random(70000, 3);
    std::copy(noise.begin(), noise.end(), data.begin() + B);
    WriteDisk(DiskPath("in.bin"), data);
    {
      auto s = Create("in.bin", 0);  // the container's default
      EXPECT_EQ(s->Method(), method);
      s->LoadFromFile(DiskPath("in.bin"));
      EXPECT_EQ(s->Headers().Count(), 4);
      EXPECT_EQ(s->GetPosition(), 0);
    }
    Reopen();
    {
      auto s = Open("in.bin", 0);
      s->SaveToFile(DiskPath("out.bin"));
    }
    EXPECT_EQ(ReadDisk(DiskPath("out.bin")), data);
  }
}

TEST_F(BlockStreamTest, MethodZeroIsRawPassThrough) {
  const Bytes data = Random(300000, 5);
  {
    TSingleFileSystem plain(DiskPath("plain.sfs"), kModeCreate, "", "", "", 0);
    {
      TSFSAdvancedFileStream s(&plain, "raw.bin", kModeCreate, "", "", "", 0);
      EXPECT_EQ(s.Method(), 0);
      EXPECT_EQ(s.BlockSize(), 0);
      s.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
      EXPECT_EQ(s.GetSize(), static_cast<int64_t>(data.size()));
    }
    TSFSUserFileStream raw(&plain, "raw.bin", 0, "", "", "");
    Bytes stored(static_cast<size_t>(raw.GetSize()));
    raw.ReadBuffer(stored.data(), static_cast<int32_t>(stored.size()));
    EXPECT_EQ(stored, data);  // no header: the stored bytes are the user's bytes
  }
  TSingleFileSystem plain(DiskPath("plain.sfs"), 2, "", "", "", 0);
  TSFSAdvancedFileStream s(&plain, "raw.bin", 2, "", "", "", 7);
  EXPECT_EQ(s.Method(), 0);
  EXPECT_EQ(ReadAll(s), data);
  EXPECT_EQ(s.CompressedSize(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(s.CompressionRatio(), 0.0);
  s.SetPosition(10);
  const Bytes patch = {1, 2, 3};
  s.WriteBuffer(patch.data(), 3);
  s.SetSize(static_cast<int64_t>(100));
  Bytes expect(data.begin(), data.begin() + 100);
  std::copy(patch.begin(), patch.end(), expect.begin() + 10);
  EXPECT_EQ(ReadAll(s), expect);
  EXPECT_EQ(s.Seek(static_cast<int64_t>(-5), 0), 0);
}

// ---------------------------------------------------------------------------
// Stored layout

// 2.5 blocks into a new method-2 stream: three blocks B, B, B/2, the header
// fields at their offsets, and a chain whose NextOffsets name the next header.
TEST_F(BlockStreamTest, LayoutOfThreeBlocks) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 1);
  {
    auto s = Create("three.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  const Bytes st = Stored("three.bin");
  ASSERT_GE(st.size(), 128u + 3 * 16);
  EXPECT_EQ(std::string(st.begin(), st.begin() + 4), "ZKCS");
  EXPECT_EQ(U32(st, 4), static_cast<uint32_t>(B));
  EXPECT_EQ(U32(st, 8), 0u);
  EXPECT_EQ(U32(st, 12), 3u);
  EXPECT_EQ(U32(st, 16), 0x40000000u);
  EXPECT_EQ(st[20], 2);
  EXPECT_EQ(U32(st, 23), 0u);  // ExtraLength
  for (size_t i = 21; i < 128; ++i) {
    if (i < 23 || i >= 27) {
      EXPECT_EQ(st[i], 0) << "reserved byte " << i;
    }
  }

  const uint32_t raws[3] = {static_cast<uint32_t>(B), static_cast<uint32_t>(B), static_cast<uint32_t>(B / 2)};
  size_t at = 128;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const uint32_t stored = U32(st, at), raw = U32(st, at + 4), crc = U32(st, at + 8), next = U32(st, at + 12);
    EXPECT_EQ(raw, raws[i]);
    EXPECT_EQ(next, at + 16 + stored);
    EXPECT_EQ(crc, CalcChecksum(data.data() + static_cast<size_t>(i) * B, static_cast<int32_t>(raw), ckCRC16));
    EXPECT_LT(crc, 0x10000u);
    // The stored bytes are the method's own block format.
    Bytes out;
    int32_t rawLength = static_cast<int32_t>(raw);
    ASSERT_TRUE(DecompressBuffer(st.data() + at + 16, static_cast<int32_t>(stored), out, 2, rawLength));
    ASSERT_EQ(rawLength, static_cast<int32_t>(raw));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + rawLength, data.begin() + static_cast<size_t>(i) * B));
    at = next;
  }
  EXPECT_EQ(at, st.size());

  Reopen();
  auto s = Open("three.bin", 0);
  ASSERT_EQ(s->Headers().Count(), 3);
  EXPECT_EQ(s->Headers().Offset(0), 128);
  EXPECT_EQ(s->Headers().Offset(1), s->Headers().Header(0).NextOffset);
  EXPECT_EQ(s->Headers().Offset(2), s->Headers().Header(1).NextOffset);
  EXPECT_EQ(s->CompressedSize(), static_cast<int64_t>(U32(st, 128)) + U32(st, s->Headers().Offset(1)) +
                                     U32(st, s->Headers().Offset(2)));
  EXPECT_EQ(s->CopyBufferSize, B);
}

// ---------------------------------------------------------------------------
// Damaged blocks

// A flipped stored byte makes reads of that block fail with the checksum or
// decompression message, while the blocks around it still read.
TEST_F(BlockStreamTest, FlippedStoredByteFailsOnlyItsBlock) {
  for (uint8_t method : {uint8_t{2}, uint8_t{7}}) {
    SCOPED_TRACE(static_cast<int>(method));
    Make(method);
    const int32_t B = BlockSizeForMethod(method);
    const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 4);
    {
      auto s = Create("f.bin", method);
      s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    }
    Bytes st = Stored("f.bin");
    const size_t second = U32(st, 128 + 12);
    st[second + 16 + U32(st, second) / 2] ^= 0x20;
    SetStored("f.bin", st);

    auto s = Open("f.bin", 0);
    Bytes buf(static_cast<size_t>(B));
    s->SetPosition(0);
    EXPECT_EQ(s->Read(buf.data(), B), B);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin()));
    const std::string msg = ExceptionText([&] {
      s->SetPosition(B + 5);
      s->Read(buf.data(), 10);
    });
    EXPECT_TRUE(msg == "TSFSAdvancedFileStream.LoadBlock - decompression crc error." ||
                msg == "TSFSAdvancedFileStream.LoadBlock - decompression error." ||
                msg == "TSFSAdvancedFileStream.LoadBlock - decompression error, invalid size.")
        << msg;
    s->SetPosition(2 * B);
    EXPECT_EQ(s->Read(buf.data(), B), B / 2);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + B / 2, data.begin() + 2 * B));
  }
}

// A changed checksum with intact stored bytes raises the checksum message.
TEST_F(BlockStreamTest, WrongChecksumRaisesCrcError) {
  Make(2);
  const Bytes data = Compressible(5000, 2);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  Bytes st = Stored("f.bin");
  PutU32(st, 128 + 8, U32(st, 128 + 8) ^ 1);
  SetStored("f.bin", st);
  auto s = Open("f.bin", 0);
  Bytes buf(10);
  EXPECT_EQ(ExceptionText([&] { s->Read(buf.data(), 10); }), "TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  EXPECT_EQ(s->GetPosition(), 0);
}

// ---------------------------------------------------------------------------
// Raw form

// Stored bytes that are too short for a header or do not start with "ZKCS"
// are read as they are.
TEST_F(BlockStreamTest, ShortOrForeignStoredBytesOpenRaw) {
  Make(2);
  Bytes shortHeader = Random(127, 1);
  std::memcpy(shortHeader.data(), "ZKCS", 4);
  Bytes foreign = Random(4000, 2);
  std::memcpy(foreign.data(), "ZKCX", 4);
  for (const Bytes& bytes : {shortHeader, foreign, Bytes{}}) {
    SCOPED_TRACE(bytes.size());
    { TSFSUserFileStream created(c_.get(), "r.bin", kModeCreate, "", "", ""); }
    SetStored("r.bin", bytes);
    auto s = Open("r.bin", 0);
    EXPECT_EQ(s->Method(), 0);
    EXPECT_EQ(s->GetSize(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(ReadAll(*s), bytes);
  }
}

// ---------------------------------------------------------------------------
// Rewriting blocks

TEST_F(BlockStreamTest, OverwriteInPlaceWhileNoBlockGrows) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 11);
  const Bytes middle = Random(static_cast<size_t>(B), 12);  // stored by deflate: size does not depend on content
  std::copy(middle.begin(), middle.end(), data.begin() + B);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  const Bytes before = Stored("f.bin");
  const size_t second = U32(before, 128 + 12);
  const size_t third = U32(before, second + 12);
  {
    auto s = Open("f.bin");
    const Bytes one = {static_cast<uint8_t>(data[B + 1000] ^ 0x5A)};
    WriteAt(*s, B + 1000, one);
    data[B + 1000] = one[0];
    ASSERT_LE(s->Headers().Header(1).StoredSize, U32(before, second)) << "precondition: the block did not grow";
    EXPECT_EQ(s->Headers().Offset(1), static_cast<int64_t>(second));
    EXPECT_EQ(s->Headers().Offset(2), static_cast<int64_t>(third));
    EXPECT_EQ(ReadAll(*s), data);
  }
  const Bytes after = Stored("f.bin");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + second, after.begin())) << "header and first block";
  EXPECT_TRUE(std::equal(before.begin() + third, before.end(), after.begin() + third)) << "last block";
  EXPECT_NE(before, after);

  // A block that shrinks stays where it is and keeps its NextOffset.
  {
    auto s = Open("f.bin");
    const Bytes zeros(static_cast<size_t>(B), 0);
    WriteAt(*s, B, zeros);
    std::fill(data.begin() + B, data.begin() + 2 * B, 0);
    EXPECT_LT(s->Headers().Header(1).StoredSize, U32(before, second));
    EXPECT_EQ(s->Headers().Header(1).NextOffset, third);
  }
  const Bytes shrunk = Stored("f.bin");
  EXPECT_TRUE(std::equal(before.begin() + third, before.end(), shrunk.begin() + third));
  Reopen();
  auto s = Open("f.bin", 0);
  EXPECT_EQ(ReadAll(*s), data);
}

TEST_F(BlockStreamTest, GrowingBlockLaysOutTheTailAgain) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 13);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  const Bytes before = Stored("f.bin");
  const size_t second = U32(before, 128 + 12);
  {
    auto s = Open("f.bin");
    const Bytes noise = Random(200000, 14);
    WriteAt(*s, B + 100, noise);
    std::copy(noise.begin(), noise.end(), data.begin() + B + 100);
    const auto& h = s->Headers();
    EXPECT_GT(h.Header(1).StoredSize, U32(before, second));
    EXPECT_EQ(h.Offset(1), static_cast<int64_t>(second));
    EXPECT_EQ(h.Header(1).NextOffset, second + 16 + h.Header(1).StoredSize);
    EXPECT_EQ(h.Offset(2), static_cast<int64_t>(h.Header(1).NextOffset));
    EXPECT_EQ(h.Header(2).NextOffset, h.Offset(2) + 16 + h.Header(2).StoredSize);
    EXPECT_EQ(ReadAll(*s), data);
  }
  const Bytes after = Stored("f.bin");
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + second, after.begin())) << "blocks before never move";
  Reopen();
  auto s = Open("f.bin", 0);
  EXPECT_EQ(s->Headers().Count(), 3);
  EXPECT_EQ(ReadAll(*s), data);
}

// ---------------------------------------------------------------------------
// Positions

TEST_F(BlockStreamTest, SeekRules) {
  Make(2);
  auto s = Create("f.bin", 2);
  const Bytes data = Compressible(1000, 1);
  s->WriteBuffer(data.data(), 1000);
  struct Case {
    int64_t start, offset;
    uint16_t origin;
    int64_t expect;
  } cases[] = {
      {500, 10, 0, 10},   {500, -1, 0, 0},    {500, 20, 1, 520},  {500, -501, 1, 0},
      {500, -10, 2, 990}, {500, 50, 2, 1050}, {500, -2000, 2, 0}, {500, 7, 3, 500},
  };
  for (const Case& c : cases) {
    s->Seek(c.start, 0);
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expect) << c.offset << " from " << c.origin;
    EXPECT_EQ(s->GetPosition(), c.expect);
  }
  EXPECT_EQ(s->GetSize(), 1000);  // seeking touches nothing
}

TEST_F(BlockStreamTest, ReadsAtAndBeyondTheEnd) {
  Make(7);
  auto s = Create("f.bin", 7);
  const Bytes data = Compressible(3000, 1);
  s->WriteBuffer(data.data(), 3000);
  Bytes buf(100, 0xEE);
  s->SetPosition(3000);
  EXPECT_EQ(s->Read(buf.data(), 100), 0);
  s->SetPosition(2960);
  EXPECT_EQ(s->Read(buf.data(), 100), 40);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 40, data.begin() + 2960));
  EXPECT_EQ(buf[40], 0xEE);
  EXPECT_EQ(s->GetPosition(), 3000);
  s->SetPosition(5000);
  EXPECT_EQ(s->Read(buf.data(), 100), 0);
  EXPECT_EQ(s->GetPosition(), 5000);
  EXPECT_EQ(s->GetSize(), 3000);
}

// Writing beyond the end fills the gap with zeros, also across blocks.
TEST_F(BlockStreamTest, WriteBeyondEndFillsZeros) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(5000, 3);
  for (int64_t gap : {int64_t{10}, static_cast<int64_t>(B) + 10}) {
    SCOPED_TRACE(gap);
    {
      auto s = Create("f.bin", 2);
      s->WriteBuffer(data.data(), 5000);
      s->Seek(gap, 2);
      const uint8_t one = 0x77;
      EXPECT_EQ(s->Write(&one, 1), 1);
      EXPECT_EQ(s->GetSize(), 5000 + gap + 1);
      EXPECT_EQ(s->GetPosition(), 5000 + gap + 1);
    }
    auto s = Open("f.bin", 0);
    Bytes expect = data;
    expect.resize(static_cast<size_t>(5000 + gap), 0);
    expect.push_back(0x77);
    EXPECT_EQ(ReadAll(*s), expect);
  }
}

// ---------------------------------------------------------------------------
// Resizing

TEST_F(BlockStreamTest, ShrinkToZeroKeepsHeaderAndReloads) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 2 + 10, 5);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    s->SetPosition(1234);
    s->SetSize(static_cast<int64_t>(0));
    EXPECT_EQ(s->GetSize(), 0);
    EXPECT_EQ(s->GetPosition(), 0);
    EXPECT_EQ(s->Headers().Count(), 0);
    EXPECT_EQ(s->CompressedSize(), 0);
  }
  const Bytes st = Stored("f.bin");
  ASSERT_EQ(st.size(), 128u);
  EXPECT_EQ(std::string(st.begin(), st.begin() + 4), "ZKCS");
  EXPECT_EQ(U32(st, 12), 0u);

  WriteDisk(DiskPath("in.bin"), data);
  {
    auto s = Open("f.bin");
    EXPECT_EQ(s->Method(), 2);
    s->LoadFromFile(DiskPath("in.bin"));
    EXPECT_EQ(s->Headers().Offset(0), 128);
  }
  auto s = Open("f.bin", 0);
  EXPECT_EQ(s->Headers().Count(), 3);
  EXPECT_EQ(ReadAll(*s), data);
}

TEST_F(BlockStreamTest, ShrinkToBlockEdgeAndInsideABlock) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 6);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    const int64_t third = s->Headers().Offset(2);
    s->SetSize(static_cast<int64_t>(2 * B));
    EXPECT_EQ(s->Headers().Count(), 2);
    EXPECT_EQ(s->DataStream().GetSize(), third);
  }
  Reopen();
  {
    auto s = Open("f.bin");
    EXPECT_EQ(s->Headers().Count(), 2);
    EXPECT_EQ(ReadAll(*s), Bytes(data.begin(), data.begin() + 2 * B));
    const int64_t second = s->Headers().Offset(1);
    const int64_t newSize = B + 4321;
    s->SetSize(newSize);
    s->SetPosition(0);
    const auto& h = s->Headers();
    ASSERT_EQ(h.Count(), 2);
    EXPECT_EQ(h.Header(1).RawSize, 4321u);
    EXPECT_EQ(h.Header(1).BlockChecksum, CalcChecksum(data.data() + B, 4321, ckCRC16));
    EXPECT_EQ(h.Offset(1), second);
    EXPECT_EQ(h.Header(1).NextOffset, second + 16 + h.Header(1).StoredSize);
    EXPECT_EQ(s->DataStream().GetSize(), static_cast<int64_t>(h.Header(1).NextOffset));
  }
  Reopen();
  auto s = Open("f.bin", 0);
  EXPECT_EQ(ReadAll(*s), Bytes(data.begin(), data.begin() + B + 4321));
  const Bytes st = Stored("f.bin");
  EXPECT_EQ(U32(st, 12), 2u);
}

TEST_F(BlockStreamTest, GrowingSizeAppendsZeros) {
  Make(7);
  auto s = Create("f.bin", 7);
  const Bytes data = Compressible(1000, 7);
  s->WriteBuffer(data.data(), 1000);
  s->SetPosition(10);
  s->SetSize(static_cast<int64_t>(700000));
  EXPECT_EQ(s->GetSize(), 700000);
  EXPECT_EQ(s->GetPosition(), 700000);
  EXPECT_EQ(s->Headers().Count(), 2);
  Bytes expect = data;
  expect.resize(700000, 0);
  EXPECT_EQ(ReadAll(*s), expect);
}

// Sizes the stream cannot hold are refused before anything is allocated.
TEST_F(BlockStreamTest, SizesBeyondTheLimitAreRefused) {
  Make(2);
  auto s = Create("f.bin", 2);
  const Bytes data = Compressible(1000, 7);
  s->WriteBuffer(data.data(), 1000);
  EXPECT_EQ(ExceptionText([&] { s->SetSize(int64_t{1} << 40); }),
            "TSFSAdvancedFileStream.SetSize - error extending file. NewSize = 1099511627776, extSize = 1099511626776");
  EXPECT_EQ(ExceptionText([&] { s->SetSize(int64_t{-5}); }), "TSFSAdvancedFileStream.SetSize - invalid size, NewSize = -5");
  s->SetPosition(int64_t{1} << 40);
  const uint8_t one = 1;
  EXPECT_EQ(s->Write(&one, 1), 0);
  EXPECT_EQ(s->GetSize(), 1000);
  EXPECT_EQ(ReadAll(*s), data);
}

// ---------------------------------------------------------------------------
// Failing writes

// A write whose blocks cannot be compressed raises and leaves the stored
// bytes as they were.
TEST_F(BlockStreamTest, CompressionFailureWritesNothing) {
  Make(2);
  {
    auto s = Create("f.bin", 10);  // a method number without codec
    EXPECT_EQ(s->BlockSize(), BlockSizeForMethod(10));
    const Bytes data = Compressible(1000, 1);
    EXPECT_EQ(ExceptionText([&] { s->Write(data.data(), 1000); }),
              "TSFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  }
  const Bytes st = Stored("f.bin");
  EXPECT_EQ(st.size(), 128u);
  EXPECT_EQ(U32(st, 12), 0u);
}

// Writing into a damaged block raises its message and changes no stored byte.
TEST_F(BlockStreamTest, WriteIntoDamagedBlockChangesNothing) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) + 100, 8);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  Bytes st = Stored("f.bin");
  PutU32(st, 128 + 8, U32(st, 128 + 8) ^ 0x100);
  SetStored("f.bin", st);
  {
    auto s = Open("f.bin");
    const Bytes patch(10, 1);
    s->SetPosition(5);
    EXPECT_EQ(ExceptionText([&] { s->Write(patch.data(), 10); }),
              "TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
    EXPECT_EQ(ExceptionText([&] { s->SetSize(static_cast<int64_t>(50)); }),
              "TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  }
  EXPECT_EQ(Stored("f.bin"), st);
}

// ---------------------------------------------------------------------------
// Damaged chains

// The last block header cut off: the file opens with the blocks before it,
// the data stream is cut at the lost header and BlockCount is corrected.
TEST_F(BlockStreamTest, CutOffLastHeaderIsRepaired) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 9);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  Bytes st = Stored("f.bin");
  const size_t third = U32(st, U32(st, 128 + 12) + 12);
  struct Case {
    const char* what;
    size_t keep;      // stored bytes kept
    uint32_t count;   // BlockCount in the header
  } cases[] = {{"header cut inside", third + 7, 3}, {"header gone", third, 3}, {"count too high", st.size(), 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes cut = st;
    cut.resize(c.keep);
    PutU32(cut, 12, c.count);
    SetStored("f.bin", cut);
    {
      auto s = Open("f.bin");
      const int expected = c.count == 9 ? 3 : 2;
      EXPECT_EQ(s->Headers().Count(), expected);
      EXPECT_EQ(ReadAll(*s), Bytes(data.begin(), data.begin() + std::min<size_t>(data.size(), expected * size_t(B))));
    }
    const Bytes repaired = Stored("f.bin");
    EXPECT_EQ(U32(repaired, 12), c.count == 9 ? 3u : 2u);
    EXPECT_EQ(repaired.size(), c.count == 9 ? st.size() : third);
  }
}

// Headers and chains that would size buffers wrongly, index past a block or
// walk forever are refused with a message, never followed.
TEST_F(BlockStreamTest, UnsafeHeadersAreRefused) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 10);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  const Bytes good = Stored("f.bin");
  const uint32_t b1 = U32(good, 128 + 12), b2 = U32(good, b1 + 12);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* openError;  // nullptr: opens
    int64_t readAt;         // when it opens: a read there fails ...
    const char* readError;
  } cases[] = {
      {"BlockSize 0", [](Bytes& b) { PutU32(b, 4, 0); }, "TSFSAdvancedFileStream.ReadHeader - invalid block size, BlockSize = 0", 0, nullptr},
      {"BlockSize negative", [](Bytes& b) { PutU32(b, 4, 0xFFFFFFF0u); }, "TSFSAdvancedFileStream.ReadHeader - invalid block size, BlockSize = -16", 0, nullptr},
      {"BlockSize huge", [](Bytes& b) { PutU32(b, 4, 0x1000001); }, "TSFSAdvancedFileStream.ReadHeader - invalid block size, BlockSize = 16777217", 0, nullptr},
      {"ExtraLength beyond data", [](Bytes& b) { PutU32(b, 23, 0x7FFFFFF0); }, "TSFSAdvancedFileStream.ReadHeader - invalid extra length, ExtraLength = 2147483632", 0, nullptr},
      {"ExtraLength negative", [](Bytes& b) { PutU32(b, 23, 0xFFFFFF00u); }, "TSFSAdvancedFileStream.ReadHeader - invalid extra length, ExtraLength = -256", 0, nullptr},
      {"RawSize 0", [=](Bytes& b) { PutU32(b, b1 + 4, 0); }, "TSFSAdvancedFileStream.ReadHeader - invalid raw size 0, block = 1, offset = ", 0, nullptr},
      {"RawSize above BlockSize", [=](Bytes& b) { PutU32(b, b2 + 4, B + 1); }, "TSFSAdvancedFileStream.ReadHeader - invalid raw size ", 0, nullptr},
      {"short middle block", [=](Bytes& b) { PutU32(b, b1 + 4, B - 1); }, "TSFSAdvancedFileStream.ReadHeader - invalid raw size ", 0, nullptr},
      {"NextOffset to itself", [](Bytes& b) { PutU32(b, 128 + 12, 128); }, "TSFSAdvancedFileStream.ReadHeader - invalid next offset 128, block = 0, offset = 128", 0, nullptr},
      {"NextOffset backwards", [=](Bytes& b) { PutU32(b, b1 + 12, 128); }, "TSFSAdvancedFileStream.ReadHeader - invalid next offset 128, block = 1", 0, nullptr},
      {"NextOffset into own bytes", [=](Bytes& b) { PutU32(b, b1 + 12, b1 + 20); }, "TSFSAdvancedFileStream.ReadHeader - invalid next offset ", 0, nullptr},
      {"last NextOffset 0", [=](Bytes& b) { PutU32(b, b2 + 12, 0); }, "TSFSAdvancedFileStream.ReadHeader - invalid next offset 0, block = 2", 0, nullptr},
      {"StoredSize beyond data", [=](Bytes& b) { PutU32(b, b2, 0x100000); PutU32(b, b2 + 12, b2 + 16 + 0x100000); }, nullptr, 2 * B, "TSFSAdvancedFileStream.LoadBlock - stored bytes missing, block = 2"},
      {"StoredSize 0", [=](Bytes& b) { PutU32(b, b1, 0); }, nullptr, B, "TSFSAdvancedFileStream.LoadBlock - stored bytes missing, block = 1"},
      {"StoredSize shorter", [=](Bytes& b) { PutU32(b, b1, U32(b, b1) - 40); }, nullptr, B, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bad = good;
    c.damage(bad);
    SetStored("f.bin", bad);
    std::unique_ptr<TSFSAdvancedFileStream> s;
    const std::string openText = ExceptionText([&] { s = Open("f.bin", 0); });
    if (c.openError != nullptr) {
      EXPECT_EQ(openText.rfind(c.openError, 0), 0u) << openText;
      EXPECT_EQ(Stored("f.bin"), bad) << "a refused file is left alone";
      continue;
    }
    ASSERT_EQ(openText, "<no exception>");
    Bytes buf(100);
    s->SetPosition(0);
    EXPECT_EQ(s->Read(buf.data(), 100), 100) << "block 0 still reads";
    const std::string readText = ExceptionText([&] {
      s->SetPosition(c.readAt);
      s->Read(buf.data(), 100);
    });
    if (c.readError != nullptr) {
      EXPECT_EQ(readText, c.readError);
    } else {
      EXPECT_EQ(readText.rfind("TSFSAdvancedFileStream.LoadBlock - decompression", 0), 0u) << readText;
    }
  }
}

// A header with ExtraLength bytes: the chain starts behind them, and
// Size := 0 keeps them.
TEST_F(BlockStreamTest, ExtraLengthIsSkippedAndKept) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) + 500, 12);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  const Bytes good = Stored("f.bin");
  Bytes shifted(good.begin(), good.begin() + 128);
  PutU32(shifted, 23, 5);
  for (uint8_t x : {1, 2, 3, 4, 5}) shifted.push_back(x);
  shifted.insert(shifted.end(), good.begin() + 128, good.end());
  const uint32_t b1 = U32(good, 128 + 12);
  PutU32(shifted, 128 + 5 + 12, b1 + 5);
  PutU32(shifted, b1 + 5 + 12, U32(good, b1 + 12) + 5);
  SetStored("f.bin", shifted);
  {
    auto s = Open("f.bin");
    EXPECT_EQ(s->Headers().Offset(0), 133);
    EXPECT_EQ(ReadAll(*s), data);
    s->SetSize(static_cast<int64_t>(0));
    const Bytes patch = Compressible(300, 1);
    s->WriteBuffer(patch.data(), 300);
    EXPECT_EQ(s->Headers().Offset(0), 133);
  }
  const Bytes st = Stored("f.bin");
  EXPECT_EQ(U32(st, 12), 1u);
  EXPECT_EQ(U32(st, 23), 5u);
  EXPECT_TRUE(std::equal(shifted.begin() + 128, shifted.begin() + 133, st.begin() + 128)) << "extra bytes kept";
  auto s = Open("f.bin", 0);
  EXPECT_EQ(ReadAll(*s), Compressible(300, 1));
}

// ---------------------------------------------------------------------------
// Progress

TEST_F(BlockStreamTest, ProgressEvents) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 5 / 2, 13);
  auto s = Create("f.bin", 2);
  std::vector<double> events;
  s->OnProgress = [&](TStream& sender, double percent) {
    EXPECT_EQ(&sender, s.get());
    events.push_back(percent);
  };
  s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), 0.0);
  EXPECT_EQ(events.back(), 100.0);
  for (size_t i = 1; i < events.size(); ++i) EXPECT_LE(events[i - 1], events[i] + 1e-9);

  events.clear();
  s->SetPosition(0);
  Bytes buf(data.size());
  s->ReadBuffer(buf.data(), static_cast<int32_t>(buf.size()));
  ASSERT_EQ(events.size(), 5u);  // start, one per block, end
  EXPECT_DOUBLE_EQ(events[1], 0.0);
  EXPECT_NEAR(events[2], 100.0 / 3, 1e-9);
  EXPECT_NEAR(events[3], 200.0 / 3, 1e-9);
  EXPECT_EQ(events[4], 100.0);

  events.clear();
  TSFSUserFileStream target(c_.get(), "copy.bin", kModeCreate, "", "", "");
  s->SaveToStream(target);
  EXPECT_EQ(events, (std::vector<double>{0, 40, 80, 100, 100}));
  EXPECT_EQ(ReadAll(target), data);

  events.clear();
  s->LoadFromStream(target);
  EXPECT_EQ(events, (std::vector<double>{0, 40, 80, 100, 100}));

  events.clear();
  s->InternalOperation = true;
  s->SetPosition(0);
  s->ReadBuffer(buf.data(), 100);
  s->WriteBuffer(buf.data(), 100);
  EXPECT_TRUE(events.empty());
}

// ---------------------------------------------------------------------------
// The chain table

TEST(HeadersArray, GrowsAndShrinksInSteps) {
  TSFSHeadersArray a;
  struct Step {
    int32_t n, capacity, grow, shrink;
  } steps[] = {
      {1, 200, 200, 100},    {200, 200, 200, 100},  {201, 600, 400, 100}, {550, 600, 400, 100},
      {50, 50, 400, 200},    {1500, 1500, 800, 200}, {1400, 1500, 800, 200}, {0, 0, 800, 200},
  };
  for (const Step& s : steps) {
    a.SetCount(s.n);
    EXPECT_EQ(a.Count(), s.n);
    EXPECT_EQ(a.Capacity(), s.capacity) << s.n;
    EXPECT_EQ(a.GrowDelta(), s.grow) << s.n;
    EXPECT_EQ(a.ShrinkDelta(), s.shrink) << s.n;
  }
  // Entries that come back after a cut are zero.
  a.SetCount(10);
  a.Header(9).StoredSize = 5;
  a.Offset(9) = 77;
  a.SetCount(9);
  a.SetCount(10);
  EXPECT_EQ(a.Header(9).StoredSize, 0u);
  EXPECT_EQ(a.Offset(9), 0);
  a.Add(TSFSBlockHeader{1, 2, 3, 4}, 99);
  EXPECT_EQ(a.Count(), 11);
  EXPECT_EQ(a.Header(10).RawSize, 2u);
  EXPECT_EQ(a.Offset(10), 99);
}

}  // namespace

namespace {

// In a container opened read only the repair of a cut chain cannot be
// written back: the chain is ended in memory, the whole blocks read, and the
// stored bytes stay as they are.
TEST_F(BlockStreamTest, RepairInReadOnlyContainer) {
  Make(2);
  const int32_t B = BlockSizeForMethod(2);
  const Bytes data = Compressible(static_cast<size_t>(B) * 3 / 2, 9);
  {
    auto s = Create("f.bin", 2);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  Bytes st = Stored("f.bin");
  st.resize(U32(st, 128 + 12) + 5);
  SetStored("f.bin", st);
  Reopen(0);
  {
    auto s = Open("f.bin", 0);
    EXPECT_EQ(s->Headers().Count(), 1);
    EXPECT_EQ(ReadAll(*s), Bytes(data.begin(), data.begin() + B));
  }
  EXPECT_EQ(Stored("f.bin"), st);
}


// Over an encrypted container the block layout seen through the raw stream
// is the same: the cipher lives below it.
TEST_F(BlockStreamTest, EncryptedContainerKeepsTheLayout) {
  const int32_t B = BlockSizeForMethod(7);
  const Bytes data = Compressible(static_cast<size_t>(B) + 999, 15);
  c_ = std::make_unique<TSingleFileSystem>(path_, kModeCreate, "secret", "q", "a", 7);
  {
    auto s = Create("f.bin", 0);
    s->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }
  c_.reset();
  c_ = std::make_unique<TSingleFileSystem>(path_, 0, "secret", "", "", 0);
  const Bytes st = Stored("f.bin");
  EXPECT_EQ(std::string(st.begin(), st.begin() + 4), "ZKCS");
  EXPECT_EQ(st[20], 7);
  EXPECT_EQ(U32(st, 12), 2u);
  auto s = Open("f.bin", 0);
  EXPECT_EQ(ReadAll(*s), data);
}

}  // namespace
