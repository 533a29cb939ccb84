// Tests of the page file: creating and opening a container with every check
// and message, the stored header byte for byte, page input and output with
// checksums, encryption and the LastError codes, and growth by whole pages.
// Containers are real disk files in a scratch directory.
#include "engine/PageFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "crypto/ZUZCipher.h"
#include "crypto/ZUZPassword.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/FaultFileSystem.h"
#include "platform/Files.h"
#include "platform/Service.h"

namespace {

using engine_test::kCreate;
using engine_test::kPage;
using engine_test::kReadOnly;
using engine_test::kReadWrite;
using engine_test::ThrownMessage;
using engine_test::UnlimitedVolumes;

// XOR of the little-endian 32-bit words of a buffer, computed independently
// of the code under test.
inline uint32_t XorWords(const uint8_t* data, size_t size) {
  uint32_t x = 0;
  for (size_t i = 0; i + 4 <= size; i += 4) {
    x ^= static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8 |
         static_cast<uint32_t>(data[i + 2]) << 16 | static_cast<uint32_t>(data[i + 3]) << 24;
  }
  return x;
}

// A fresh directory per test, removed afterwards, with the unlimited volume
// service installed.
class DiskFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::random_device rd;
    Dir = std::filesystem::path(::testing::TempDir()) /
          (std::string("vv_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(rd()));
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }

  std::string PathOf(const std::string& name) const { return (Dir / name).string(); }

  // Logical offset -> bytes of the first part (the volume header is 280 bytes).
  static std::string ReadLogical(const std::string& path, int64_t offset, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset + kVolumeHeaderSize);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
  }
  static void WriteLogical(const std::string& path, int64_t offset, const std::string& bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset + kVolumeHeaderSize);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static int64_t PhysicalSize(const std::string& path) {
    return static_cast<int64_t>(std::filesystem::file_size(path));
  }

  std::filesystem::path Dir;
  UnlimitedVolumes Volumes;
  platform::ScopedService<platform::IVolumes> VolumesInstalled{platform::SetVolumes, Volumes};
};

constexpr uint16_t kExclusiveReadWrite = 0x12;

const char kLoadHeaderMessage[] = "TSingleFileSystem.LoadHeader - Invalid ZUZ file, header is corrupted.";

class PageFileTest : public DiskFixture {
 protected:
  std::unique_ptr<TPageFileManager> Create(const std::string& name, const std::string& password = "",
                                           int32_t pageSize = kPage, int32_t extent = 8) {
    return std::make_unique<TPageFileManager>(PathOf(name), kCreate, password, "", "", false, pageSize,
                                              extent, -1);
  }
  std::unique_ptr<TPageFileManager> Open(const std::string& name, uint16_t mode = kReadWrite,
                                         const std::string& password = "") {
    return std::make_unique<TPageFileManager>(PathOf(name), mode, password, "", "", false, kPage, 8, -1);
  }
  // Writes the 256 header bytes at logical offset 0, with the checksum
  // recomputed unless `keepChecksum`.
  void StoreHeader(const std::string& name, TSFSFileHeader header, bool fixChecksum = true) {
    if (fixChecksum) {
      header.HeaderChecksum = XorWords(reinterpret_cast<const uint8_t*>(&header) + 12, 244);
    }
    WriteLogical(PathOf(name), 0, std::string(reinterpret_cast<const char*>(&header), sizeof(header)));
  }
  TSFSFileHeader StoredHeader(const std::string& name) {
    TSFSFileHeader header;
    const std::string bytes = ReadLogical(PathOf(name), 0, sizeof(header));
    EXPECT_EQ(bytes.size(), sizeof(header));
    std::memcpy(&header, bytes.data(), std::min(bytes.size(), sizeof(header)));
    return header;
  }
};

// ---------------------------------------------------------------------------
// Creating and the stored header.

TEST_F(PageFileTest, NewContainerHeaderByteForByte) {
  {
    auto pf = Create("c.dat");
    EXPECT_EQ(pf->HugeFile().GetSize(), 256);  // only the header's 256 bytes
    EXPECT_TRUE(pf->Exclusive);                // creating is exclusive
    EXPECT_FALSE(pf->ReadOnly);
    EXPECT_TRUE(pf->ContainerKey.empty());
    EXPECT_EQ(pf->PageDataSize(), 4064);
  }
  EXPECT_EQ(PhysicalSize(PathOf("c.dat")), 280 + 256);
  const std::string raw = ReadLogical(PathOf("c.dat"), 0, 256);
  ASSERT_EQ(raw.size(), 256u);
  const auto* b = reinterpret_cast<const uint8_t*>(raw.data());
  const uint8_t magic[8] = {0x5A, 0x4B, 0x53, 0x46, 0x53, 0x53, 0x47, 0x4E};
  EXPECT_EQ(std::memcmp(b, magic, 8), 0);
  auto u32 = [&](int off) {
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
  };
  EXPECT_EQ(u32(8), XorWords(b + 12, 244));
  EXPECT_EQ(u32(12), 0x40070A3Du);  // version 2.11
  EXPECT_EQ(u32(16), 4096u);        // PageSize
  EXPECT_EQ(u32(20), 8u);           // ExtentPageCount
  EXPECT_EQ(u32(24), 1u);           // FirstExtentPage
  for (int off = 28; off < 48; off += 4) EXPECT_EQ(u32(off), 0u) << "offset " << off;
  EXPECT_EQ(u32(48), 1u);  // PageCount
  for (int off = 52; off < 256; ++off) EXPECT_EQ(b[off], 0) << "offset " << off;
}

TEST_F(PageFileTest, PageSizeAndExtentChecks) {
  EXPECT_EQ(ThrownMessage([&] { Create("a.dat", "", 543); }),
            "TPageFileManager.Create - page size should be >= 544bytes .");
  EXPECT_EQ(ThrownMessage([&] { Create("b.dat", "", 4096, 0); }),
            "TPageFileManager.Create - extent page count should be >= 1 Page.");
  EXPECT_FALSE(std::filesystem::exists(PathOf("a.dat")));  // refused before anything is made

  auto small = Create("c.dat", "", 544, 1);
  EXPECT_EQ(small->PageDataSize(), 512);
  EXPECT_EQ(small->Header.ExtentPageCount, 1);
  small.reset();

  // The argument checks are made when opening too.
  EXPECT_EQ(
      ThrownMessage([&] { TPageFileManager(PathOf("c.dat"), kReadWrite, "", "", "", false, 543, 8, -1); }),
      "TPageFileManager.Create - page size should be >= 544bytes .");
  EXPECT_EQ(
      ThrownMessage([&] { TPageFileManager(PathOf("c.dat"), kReadWrite, "", "", "", false, 4096, 0, -1); }),
      "TPageFileManager.Create - extent page count should be >= 1 Page.");
  // ...but the stored geometry is the one used.
  auto opened = Open("c.dat");
  EXPECT_EQ(opened->Header.PageSize, 544);
  EXPECT_EQ(opened->PageDataSize(), 512);
}

TEST_F(PageFileTest, ModeBits) {
  Create("c.dat").reset();
  struct Case {
    uint16_t mode;
    bool readOnly;
    bool exclusive;
  };
  for (const Case& c : {Case{kReadOnly, true, false}, Case{1, false, false}, Case{kReadWrite, false, false},
                        Case{0x10, true, true}, Case{kExclusiveReadWrite, false, true}}) {
    auto pf = Open("c.dat", c.mode);
    EXPECT_EQ(pf->ReadOnly, c.readOnly) << c.mode;
    EXPECT_EQ(pf->Exclusive, c.exclusive) << c.mode;
  }
}

TEST_F(PageFileTest, ReadOnlyNeverWritesTheHeader) {
  Create("c.dat").reset();
  const std::string before = ReadLogical(PathOf("c.dat"), 0, 256);
  {
    auto pf = Open("c.dat", kReadOnly);
    pf->Header.DirItemCount = 77;
    pf->Header.DefaultCompression = 2;
    pf->SaveHeader();
  }
  EXPECT_EQ(ReadLogical(PathOf("c.dat"), 0, 256), before);
}

TEST_F(PageFileTest, OpenMissingOrUnreadableFile) {
  EXPECT_EQ(ThrownMessage([&] { Open("none.dat"); }), "File '" + PathOf("none.dat") + "' not found");
  // A file without a volume header cannot be opened by the volume layer.
  {
    std::ofstream junk(PathOf("junk.dat"), std::ios::binary);
    junk << std::string(1000, 'x');
  }
  EXPECT_EQ(ThrownMessage([&] { Open("junk.dat"); }), "File junk.dat has corrupted header.");
}

TEST_F(PageFileTest, HeaderSavedAndReopened) {
  {
    auto pf = Create("c.dat");
    pf->Header.DirPageCount = 3;
    pf->Header.DirFirstPage = 12;
    pf->Header.DirItemCount = 40;
    pf->Header.DefaultCompression = 2;
    pf->SaveHeader();
  }
  auto pf = Open("c.dat");
  EXPECT_EQ(pf->Header.DirPageCount, 3);
  EXPECT_EQ(pf->Header.DirFirstPage, 12);
  EXPECT_EQ(pf->Header.DirItemCount, 40);
  EXPECT_EQ(pf->Header.DefaultCompression, 2);
  EXPECT_EQ(std::bit_cast<uint32_t>(pf->Header.Version), 0x40070A3Du);
}

TEST_F(PageFileTest, AnyChangedHeaderByteRefusesTheOpen) {
  Create("c.dat").reset();
  const TSFSFileHeader good = StoredHeader("c.dat");
  for (int off = 8; off < 256; ++off) {
    TSFSFileHeader bad = good;
    reinterpret_cast<uint8_t*>(&bad)[off] ^= 0x01;
    StoreHeader("c.dat", bad, /*fixChecksum=*/false);
    EXPECT_EQ(ThrownMessage([&] { Open("c.dat"); }), kLoadHeaderMessage) << "offset " << off;
  }
  // The magic is compared exactly, letter case included.
  TSFSFileHeader lower = good;
  lower.Magic[7] = 'n';
  StoreHeader("c.dat", lower);
  EXPECT_EQ(ThrownMessage([&] { Open("c.dat"); }), kLoadHeaderMessage);
}

TEST_F(PageFileTest, EditedVersionWithFixedChecksumOpens) {
  Create("c.dat").reset();
  TSFSFileHeader header = StoredHeader("c.dat");
  header.Version = 9.5f;
  StoreHeader("c.dat", header);
  auto pf = Open("c.dat");
  EXPECT_EQ(pf->Header.Version, 9.5f);
}

TEST_F(PageFileTest, StoredGeometryThatBreaksThePageArithmeticIsRefused) {
  Create("c.dat").reset();
  const TSFSFileHeader good = StoredHeader("c.dat");
  struct Case {
    const char* what;
    void (*edit)(TSFSFileHeader&);
    bool opens;
  };
  const Case cases[] = {
      {"PageSize 543", [](TSFSFileHeader& h) { h.PageSize = 543; }, false},
      {"PageSize 0", [](TSFSFileHeader& h) { h.PageSize = 0; }, false},
      {"PageSize negative", [](TSFSFileHeader& h) { h.PageSize = -4096; }, false},
      {"PageSize above 1 MiB", [](TSFSFileHeader& h) { h.PageSize = 1024 * 1024 + 1; }, false},
      {"PageSize 1 MiB", [](TSFSFileHeader& h) { h.PageSize = 1024 * 1024; }, true},
      {"PageSize 544", [](TSFSFileHeader& h) { h.PageSize = 544; }, true},
      {"ExtentPageCount 0", [](TSFSFileHeader& h) { h.ExtentPageCount = 0; }, false},
      {"ExtentPageCount -8", [](TSFSFileHeader& h) { h.ExtentPageCount = -8; }, false},
      {"PageCount 0", [](TSFSFileHeader& h) { h.PageCount = 0; }, false},
      {"PageCount negative", [](TSFSFileHeader& h) { h.PageCount = -1; }, false},
      {"FirstExtentPage 0", [](TSFSFileHeader& h) { h.FirstExtentPage = 0; }, false},
      {"FirstExtentPage 2", [](TSFSFileHeader& h) { h.FirstExtentPage = 2; }, false},
  };
  for (const Case& c : cases) {
    TSFSFileHeader header = good;
    c.edit(header);
    StoreHeader("c.dat", header);
    if (c.opens) {
      EXPECT_NO_THROW(Open("c.dat")) << c.what;
    } else {
      EXPECT_EQ(ThrownMessage([&] { Open("c.dat"); }), kLoadHeaderMessage) << c.what;
    }
  }
}

TEST_F(PageFileTest, AddPagesGrowsTheFileAndSavesTheHeader) {
  {
    auto pf = Create("c.dat");
    ASSERT_TRUE(pf->AddPages(8));
    EXPECT_EQ(pf->Header.PageCount, 9);
    EXPECT_EQ(pf->HugeFile().GetSize(), 9 * kPage);
    ASSERT_TRUE(pf->AddPages(2));
    EXPECT_EQ(pf->HugeFile().GetSize(), 11 * kPage);
  }
  EXPECT_EQ(PhysicalSize(PathOf("c.dat")), 280 + 11 * kPage);
  EXPECT_EQ(StoredHeader("c.dat").PageCount, 11);
}

TEST_F(PageFileTest, AddPagesFailureLeavesTheHeader) {
  Create("c.dat").reset();
  auto pf = Open("c.dat", kReadOnly);  // the file cannot be grown
  EXPECT_FALSE(pf->AddPages(8));
  EXPECT_EQ(pf->Header.PageCount, 1);
  // A page count beyond the signed 32-bit page numbers is refused as well.
  auto rw = std::make_unique<TPageFileManager>(PathOf("d.dat"), kCreate, "", "", "", false, kPage, 8, -1);
  rw->Header.PageCount = 2147483640;
  EXPECT_FALSE(rw->AddPages(8));
  EXPECT_EQ(rw->Header.PageCount, 2147483640);
}

// ---------------------------------------------------------------------------
// Pages.

class PageIoTest : public PageFileTest {
 protected:
  void SetUp() override {
    PageFileTest::SetUp();
    pf = Create("c.dat");
    ASSERT_TRUE(pf->AddPages(8));
  }
  std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return data;
  }
  std::unique_ptr<TPageFileManager> pf;
};

TEST_F(PageIoTest, InitPageAndDonePage) {
  TSFSPage page;
  page.Header.NextPage = 5;
  page.Header.EncryptionType = 1;
  page.Header.ChecksumKind = 1;
  page.Header.PageType = 6;
  pf->InitPage(page);
  EXPECT_EQ(page.Header.NextPage, -1);
  EXPECT_EQ(page.Header.EncryptionType, 0);
  EXPECT_EQ(page.Header.ChecksumKind, 0);
  EXPECT_EQ(page.Header.PageType, 6);  // left for the caller
  ASSERT_NE(page.pData, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(page.pData, page.pData + 4064), std::vector<uint8_t>(4064, 0));
  pf->DonePage(page);
  EXPECT_EQ(page.pData, nullptr);
}

TEST_F(PageIoTest, PlainRoundTripWithChecksumOverStoredBytes) {
  std::vector<uint8_t> data = Pattern(4064, 3);
  TSFSPage page;
  page.Header.NextPage = 7;
  page.Header.PageType = kPageTypeFileData;
  page.pData = data.data();
  ASSERT_TRUE(pf->WritePage(page, 5, -1, ""));
  EXPECT_EQ(pf->LastError, 0);
  EXPECT_EQ(page.Header.Checksum, XorWords(data.data(), data.size()));
  EXPECT_EQ(data, Pattern(4064, 3));  // type 0 leaves the buffer alone

  // On disk: the 32 header bytes, then the data, at 5 * PageSize.
  const std::string raw = ReadLogical(PathOf("c.dat"), 5 * kPage, 32 + 4064);
  ASSERT_EQ(raw.size(), 32u + 4064u);
  TSFSPageHeader stored;
  std::memcpy(&stored, raw.data(), 32);
  EXPECT_EQ(stored.NextPage, 7);
  EXPECT_EQ(stored.PageType, kPageTypeFileData);
  EXPECT_EQ(stored.Checksum, page.Header.Checksum);
  EXPECT_EQ(std::memcmp(raw.data() + 32, data.data(), 4064), 0);

  std::vector<uint8_t> back(4064, 0xEE);
  TSFSPage in;
  in.pData = back.data();
  ASSERT_TRUE(pf->ReadPage(in, 5, -1, "", false));
  EXPECT_EQ(back, data);
  EXPECT_EQ(in.Header.NextPage, 7);
}

TEST_F(PageIoTest, ShortDataSizeAndCrc16Kind) {
  std::vector<uint8_t> data = Pattern(100, 9);
  TSFSPage page;
  page.Header.ChecksumKind = 1;
  page.pData = data.data();
  ASSERT_TRUE(pf->WritePage(page, 2, 100, ""));
  EXPECT_EQ(page.Header.Checksum, CalcChecksum(data.data(), 100, 1));
  std::vector<uint8_t> back(100);
  TSFSPage in;
  in.pData = back.data();
  ASSERT_TRUE(pf->ReadPage(in, 2, 100, "", false));
  EXPECT_EQ(back, data);
}

TEST_F(PageIoTest, HeaderOnlyReadAndWrite) {
  // WritePage without data writes the 32 header bytes with the caller's checksum.
  TSFSPage page;
  page.Header.NextPage = 42;
  page.Header.Checksum = 0xDEADBEEF;
  page.Header.PageType = kPageTypeDirectory;
  ASSERT_TRUE(pf->WritePage(page, 3, -1, ""));
  EXPECT_EQ(page.Header.Checksum, 0xDEADBEEFu);
  // DataSize 0 with data present also writes only the header.
  std::vector<uint8_t> data(4064, 0x55);
  TSFSPage withData;
  withData.Header.NextPage = 43;
  withData.Header.Checksum = 0x1234;
  withData.pData = data.data();
  ASSERT_TRUE(pf->WritePage(withData, 4, 0, ""));
  EXPECT_EQ(withData.Header.Checksum, 0x1234u);
  EXPECT_EQ(ReadLogical(PathOf("c.dat"), 4 * kPage + 32, 4), std::string(4, '\0'));

  TSFSPage in;  // pData null
  ASSERT_TRUE(pf->ReadPage(in, 3, 0, "", false));
  EXPECT_EQ(in.Header.NextPage, 42);
  EXPECT_EQ(in.Header.Checksum, 0xDEADBEEFu);
  EXPECT_EQ(in.Header.PageType, kPageTypeDirectory);
  EXPECT_EQ(in.pData, nullptr);
}

TEST_F(PageIoTest, ReadPageFailures) {
  std::vector<uint8_t> data = Pattern(4064, 1);
  TSFSPage page;
  page.pData = data.data();
  ASSERT_TRUE(pf->WritePage(page, 1, -1, ""));

  TSFSPage noData;
  EXPECT_EQ(ThrownMessage([&] { pf->ReadPage(noData, 1, -1, "", false); }),
            "TPageFileManager.ReadPage - pData is nil.");

  std::vector<uint8_t> back(4064);
  TSFSPage in;
  in.pData = back.data();
  // -11: one stored data byte changed.
  WriteLogical(PathOf("c.dat"), 1 * kPage + 32 + 100, std::string(1, static_cast<char>(data[100] ^ 0x80)));
  EXPECT_FALSE(pf->ReadPage(in, 1, -1, "", false));
  EXPECT_EQ(pf->LastError, -11);
  // Success resets LastError.
  ASSERT_TRUE(pf->ReadPage(in, 1, 0, "", false));
  EXPECT_EQ(pf->LastError, 0);

  // -7: no header at the page's place (at the end of the file, beyond it and
  // before it).
  for (int32_t pageNo : {9, 10, 1000000, -1}) {
    EXPECT_FALSE(pf->ReadPage(in, pageNo, -1, "", false)) << pageNo;
    EXPECT_EQ(pf->LastError, -7) << pageNo;
  }

  // -9: the header is there, the data is cut short.
  auto other = Create("d.dat");
  std::vector<uint8_t> few = Pattern(100, 2);
  TSFSPage shortPage;
  shortPage.pData = few.data();
  ASSERT_TRUE(other->WritePage(shortPage, 1, 100, ""));  // the file ends after these 100 bytes
  EXPECT_FALSE(other->ReadPage(in, 1, -1, "", false));
  EXPECT_EQ(other->LastError, -9);
}

TEST_F(PageIoTest, WritePageRefusesTheHeaderPage) {
  const std::string before = ReadLogical(PathOf("c.dat"), 0, 256);
  std::vector<uint8_t> data = Pattern(4064, 1);
  TSFSPage page;
  page.pData = data.data();
  for (int32_t pageNo : {0, -1, -100}) {
    EXPECT_FALSE(pf->WritePage(page, pageNo, -1, "")) << pageNo;
    EXPECT_EQ(pf->LastError, -8) << pageNo;
  }
  EXPECT_EQ(ReadLogical(PathOf("c.dat"), 0, 256), before);
}

TEST_F(PageIoTest, WriteFailsOnReadOnlyContainer) {
  pf.reset();
  auto ro = Open("c.dat", kReadOnly);
  std::vector<uint8_t> data = Pattern(4064, 1);
  TSFSPage page;
  page.pData = data.data();
  EXPECT_FALSE(ro->WritePage(page, 1, -1, ""));
  EXPECT_EQ(ro->LastError, -8);
}

TEST_F(PageIoTest, EncryptedRoundTripIsDeterministic) {
  const std::string key = "page key";
  const std::vector<uint8_t> plain = Pattern(4064, 11);

  std::vector<uint8_t> first = plain;
  TSFSPage page;
  page.Header.EncryptionType = kEncryptionRijndael;
  page.pData = first.data();
  ASSERT_TRUE(pf->WritePage(page, 2, -1, key));
  EXPECT_NE(first, plain);  // the caller's buffer holds the stored bytes
  EXPECT_EQ(page.Header.Checksum, XorWords(first.data(), first.size()));
  const std::string stored = ReadLogical(PathOf("c.dat"), 2 * kPage + 32, 4064);
  EXPECT_EQ(stored, std::string(first.begin(), first.end()));

  // The same data with the same key gives the same stored bytes, on another page too.
  std::vector<uint8_t> second = plain;
  TSFSPage again;
  again.Header.EncryptionType = kEncryptionRijndael;
  again.pData = second.data();
  ASSERT_TRUE(pf->WritePage(again, 6, -1, key));
  EXPECT_EQ(second, first);

  // Independently: a fresh cipher from the key over the whole buffer.
  std::vector<uint8_t> expected = plain;
  TCipher_Rijndael cipher(key);
  cipher.EncryptBuffer(expected.data(), expected.data(), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(first, expected);

  std::vector<uint8_t> back(4064);
  TSFSPage in;
  in.pData = back.data();
  ASSERT_TRUE(pf->ReadPage(in, 2, -1, key, false));
  EXPECT_EQ(back, plain);
  // SkipDecrypt gives the stored bytes.
  ASSERT_TRUE(pf->ReadPage(in, 2, -1, key, true));
  EXPECT_EQ(back, first);
  // A wrong key passes the checksum and yields wrong plaintext.
  ASSERT_TRUE(pf->ReadPage(in, 2, -1, "other key", false));
  EXPECT_NE(back, plain);
  // No key at all (and no container key): decryption fails.
  EXPECT_FALSE(pf->ReadPage(in, 2, -1, "", false));
  EXPECT_EQ(pf->LastError, -12);
}

TEST_F(PageIoTest, EncryptionWithoutKeyWritesNothing) {
  const std::string before = ReadLogical(PathOf("c.dat"), 3 * kPage, 4096);
  std::vector<uint8_t> data = Pattern(4064, 5);
  TSFSPage page;
  page.Header.EncryptionType = kEncryptionRijndael;
  page.pData = data.data();
  EXPECT_FALSE(pf->WritePage(page, 3, -1, ""));
  EXPECT_EQ(pf->LastError, -13);
  EXPECT_EQ(data, Pattern(4064, 5));
  EXPECT_EQ(ReadLogical(PathOf("c.dat"), 3 * kPage, 4096), before);
}

TEST_F(PageIoTest, UnknownEncryptionType) {
  std::vector<uint8_t> data(4064, 0);
  TSFSPage page;
  page.Header.EncryptionType = 2;
  page.pData = data.data();
  EXPECT_EQ(ThrownMessage([&] { pf->WritePage(page, 1, -1, "k"); }),
            "TPageFileManager.EncodeBuffer - Unknown encryption type");
  EXPECT_EQ(ThrownMessage([&] { pf->EncodeBuffer(data.data(), 16, "k", 7); }),
            "TPageFileManager.EncodeBuffer - Unknown encryption type");
  EXPECT_FALSE(pf->DecodeBuffer(data.data(), 16, "k", 2));

  // A stored page whose header says type 2 (its zero data has checksum 0).
  TSFSPage headerOnly;
  headerOnly.Header.EncryptionType = 2;
  headerOnly.Header.Checksum = 0;
  ASSERT_TRUE(pf->WritePage(headerOnly, 1, -1, "k"));
  TSFSPage in;
  in.pData = data.data();
  EXPECT_FALSE(pf->ReadPage(in, 1, -1, "k", false));
  EXPECT_EQ(pf->LastError, -12);
  // Skipping the decryption skips the type test too.
  EXPECT_TRUE(pf->ReadPage(in, 1, -1, "k", true));
}

TEST_F(PageIoTest, EncodeBufferTypes) {
  std::vector<uint8_t> data = Pattern(37, 1);
  const std::vector<uint8_t> plain = data;
  EXPECT_TRUE(pf->EncodeBuffer(data.data(), 37, "", 0));  // type 0: nothing, no key needed
  EXPECT_EQ(data, plain);
  EXPECT_FALSE(pf->EncodeBuffer(data.data(), 37, "", 1));  // the cipher has no key
  EXPECT_EQ(data, plain);
  ASSERT_TRUE(pf->EncodeBuffer(data.data(), 37, "k", 1));
  EXPECT_NE(data, plain);
  ASSERT_TRUE(pf->DecodeBuffer(data.data(), 37, "k", 1));
  EXPECT_EQ(data, plain);
}

// ---------------------------------------------------------------------------
// Containers with a password.

TEST_F(PageFileTest, PasswordContainerKeyAndPages) {
  std::string key;
  {
    auto pf = Create("p.dat", "secret");
    EXPECT_EQ(pf->Header.Encrypted, 1);
    ASSERT_EQ(pf->ContainerKey.size(), 33u);
    EXPECT_EQ(pf->ContainerKey[32], '\0');
    key = pf->ContainerKey;
    std::string check;
    EXPECT_TRUE(VerifyPassword(pf->Header.PasswordRecord, "secret", check));
    EXPECT_EQ(check, key);

    ASSERT_TRUE(pf->AddPages(8));
    std::vector<uint8_t> data(4064, 0x61);
    TSFSPage page;
    page.Header.EncryptionType = kEncryptionRijndael;
    page.pData = data.data();
    ASSERT_TRUE(pf->WritePage(page, 1, -1, ""));  // empty key: the container key
    std::vector<uint8_t> expected(4064, 0x61);
    TCipher_Rijndael cipher(key);
    cipher.EncryptBuffer(expected.data(), expected.data(), 4064);
    EXPECT_EQ(data, expected);
  }
  const TSFSFileHeader stored = StoredHeader("p.dat");
  EXPECT_EQ(stored.Encrypted, 1);
  TSFSPasswordRecord zero{};
  EXPECT_NE(std::memcmp(&stored.PasswordRecord, &zero, sizeof(zero)), 0);

  auto right = Open("p.dat", kReadWrite, "secret");
  EXPECT_EQ(right->ContainerKey, key);
  std::vector<uint8_t> back(4064);
  TSFSPage in;
  in.pData = back.data();
  ASSERT_TRUE(right->ReadPage(in, 1, -1, "", false));
  EXPECT_EQ(back, std::vector<uint8_t>(4064, 0x61));
  right.reset();

  // A wrong password gives a wrong key silently.
  auto wrong = Open("p.dat", kReadWrite, "wrong");
  EXPECT_EQ(wrong->ContainerKey.size(), 33u);
  EXPECT_NE(wrong->ContainerKey, key);
  wrong.reset();
  // No password: no key at all.
  EXPECT_TRUE(Open("p.dat", kReadWrite, "")->ContainerKey.empty());
}

TEST_F(PageFileTest, PasswordLengthErrorPassesThrough) {
  EXPECT_EQ(ThrownMessage([&] { Create("p.dat", std::string(33, 'x')); }),
            "Password length should be shorter then 32");
}

TEST_F(PageFileTest, ShortWritesGiveTheirCodes) {
  Create("c.dat").reset();
  platform::FaultFileSystem faults(platform::OsFileSystem());
  platform::ScopedService<platform::IFileSystem> installed{platform::SetFiles, faults};
  auto pf = Open("c.dat");
  ASSERT_TRUE(pf->AddPages(8));
  std::vector<uint8_t> data(4064, 0x33);
  TSFSPage page;
  page.pData = data.data();
  faults.FailNth(platform::FaultOp::Write, 1);  // the header write
  EXPECT_FALSE(pf->WritePage(page, 1, -1, ""));
  EXPECT_EQ(pf->LastError, -8);
  faults.FailNth(platform::FaultOp::Write, 2);  // the data write
  EXPECT_FALSE(pf->WritePage(page, 1, -1, ""));
  EXPECT_EQ(pf->LastError, -10);
  faults.Disarm();
  EXPECT_TRUE(pf->WritePage(page, 1, -1, ""));
  EXPECT_EQ(pf->LastError, 0);
  // A failed size change makes AddPages false and leaves the header alone.
  faults.FailNth(platform::FaultOp::SetEndOfFile, 1);
  EXPECT_FALSE(pf->AddPages(8));
  EXPECT_EQ(pf->Header.PageCount, 9);
}

}  // namespace
