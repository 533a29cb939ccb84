// Tests of the block stream: the stored layout of compressed files (header,
// block chain, checksums), random access over it, resizing, whole-file
// copies, progress events and the handling of damaged stored files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compress/ZUZCompress.h"
#include "container/SingleFileSystem.h"
#include "crypto/ZUZPassword.h"
#include "platform/Exception.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t n, uint32_t seed) {
  Bytes v(n);
  std::mt19937 rng(seed);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Text-like bytes that compress well.
Bytes Compressible(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "epsilon ", "zeta "};
  Bytes v;
  v.reserve(n);
  std::mt19937 rng(seed);
  while (v.size() < n) {
    const char* w = kWords[rng() % 6];
    for (const char* p = w; *p && v.size() < n; ++p) v.push_back(static_cast<uint8_t>(*p));
  }
  return v;
}

uint32_t U32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string ExceptionText(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "<no exception>";
}

class BlockStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vv_block_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "store.sfs").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Make(uint8_t defaultMethod = 2) {
    c_.reset();
    c_ = std::make_unique<TSingleFileSystem>(path_, kModeCreate, "", "", "", defaultMethod);
  }
  void Reopen(uint16_t mode = 2) {
    c_.reset();
    c_ = std::make_unique<TSingleFileSystem>(path_, mode, "", "", "", 0);
  }
  std::unique_ptr<TSFSAdvancedFileStream> Create(const std::string& name, uint8_t method) {
    return std::make_unique<TSFSAdvancedFileStream>(c_.get(), name, kModeCreate, "", "", "", method);
  }
  std::unique_ptr<TSFSAdvancedFileStream> Open(const std::string& name, uint16_t mode = 2) {
    return std::make_unique<TSFSAdvancedFileStream>(c_.get(), name, mode, "", "", "", 0);
  }

  // The stored bytes of a stored file, read through a raw stream.
  Bytes Stored(const std::string& name) {
    TSFSUserFileStream raw(c_.get(), name, 0, "", "", "");
    Bytes out(static_cast<size_t>(raw.GetSize()));
    raw.SetPosition(0);
    if (!out.empty()) raw.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
    return out;
  }
  // Replaces the stored bytes of a stored file.
  void SetStored(const std::string& name, const Bytes& bytes) {
    TSFSUserFileStream raw(c_.get(), name, 2, "", "", "");
    raw.SetSize(static_cast<int64_t>(0));
    raw.SetPosition(0);
    if (!bytes.empty()) raw.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  static Bytes ReadAll(TStream& s) {
    s.SetPosition(0);
    Bytes out(static_cast<size_t>(s.GetSize()));
    if (!out.empty()) s.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
    return out;
  }
  static void WriteAt(TStream& s, int64_t at, const Bytes& b) {
    s.SetPosition(at);
    s.WriteBuffer(b.data(), static_cast<int32_t>(b.size()));
  }

  std::string DiskPath(const std::string& leaf) const { return (dir_ / leaf).string(); }
  static void WriteDisk(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  static Bytes ReadDisk(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
  std::string path_;
  std::unique_ptr<TSingleFileSystem> c_;
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

}  // namespace
