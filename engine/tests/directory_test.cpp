// Tests of the directory manager over a real page file and free-space
// manager on the in-memory file system: the directory page format, slot
// reuse, page allocation and chain linking, item creation and opening,
// passwords, the page error messages and the refusal of damaged headers and
// chains.
#include "engine/Directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "crypto/ZUZPassword.h"
#include "engine/EngineUtils.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/FaultFileSystem.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"

namespace {

using engine_test::kPage;
using engine_test::kReadOnly;
using engine_test::kReadWrite;
using engine_test::ThrownMessage;
using engine_test::Values;

constexpr int32_t kDirBytes = 7 * 512;

class DirectoryTest : public engine_test::MemoryContainerTest {
 protected:
  DirectoryTest() : MemoryContainerTest("/vv/dir.sfs") {}

  void BuildUpper() override { Dir = std::make_unique<TDIRManager>(*Pf, *Free); }
  void DropUpper() override { Dir.reset(); }
  void AddFiles(int from, int to) {
    for (int i = from; i < to; ++i) ASSERT_EQ(Dir->CreateItem("f" + std::to_string(i), "", "", ""), i);
  }

  std::unique_ptr<TDIRManager> Dir;
};

TEST_F(DirectoryTest, GeometryForFourKilobytePages) {
  Create();
  EXPECT_EQ(Dir->ItemsPerPage(), 7);
  EXPECT_EQ(Dir->ItemCount(), 0);
  EXPECT_EQ(Dir->CurrentDir(), -1);
  EXPECT_EQ(Dir->CurrentDirName(), "\\");
  EXPECT_EQ(Dir->Table().Capacity(), 0);
}

TEST_F(DirectoryTest, SeventhItemFillsThePageAndTheEighthLinksASecondOne) {
  Create();
  AddFiles(0, 7);
  EXPECT_EQ(Pf->Header.DirPageCount, 1);
  EXPECT_EQ(Pf->Header.DirItemCount, 7);
  EXPECT_EQ(Pf->Header.DirFirstPage, 4);  // first free page of extent 0
  EXPECT_EQ(Values(Dir->DirPages()), (std::vector<int32_t>{4}));

  AddFiles(7, 8);
  EXPECT_EQ(Pf->Header.DirPageCount, 2);
  EXPECT_EQ(Pf->Header.DirItemCount, 8);
  EXPECT_EQ(Values(Dir->DirPages()), (std::vector<int32_t>{4, 5}));
  EXPECT_EQ(StoredPageHeader(4).NextPage, 5);

  const TSFSPageHeader second = StoredPageHeader(5);
  EXPECT_EQ(second.PageType, 1);
  EXPECT_EQ(second.EncryptionType, 0);
  EXPECT_EQ(second.ChecksumKind, 0);

  // Page 5 holds item 7 in its first slot, the other six slots zero, and the
  // checksum covers exactly the 3584 slot bytes.
  const std::string data = Logical(5 * kPage + 32, kDirBytes);
  ASSERT_EQ(data.size(), static_cast<size_t>(kDirBytes));
  const TDIRItem item7 = Dir->ReadItem(7);
  EXPECT_EQ(std::memcmp(data.data(), &item7, 512), 0);
  EXPECT_EQ(data.substr(512), std::string(kDirBytes - 512, '\0'));
  EXPECT_EQ(second.Checksum, CalcChecksum(data.data(), kDirBytes, 0));
  // The first page holds items 0..6 in slot order.
  const std::string first = Logical(4 * kPage + 32, kDirBytes);
  for (int n = 0; n < 7; ++n) {
    const TDIRItem item = Dir->ReadItem(n);
    EXPECT_EQ(std::memcmp(first.data() + n * 512, &item, 512), 0) << n;
  }
}

TEST_F(DirectoryTest, ItemsAndPagesSurviveReopening) {
  Create();
  AddFiles(0, 9);
  ASSERT_EQ(Dir->CreateItem("f0\\inner", "", "", ""), 9);
  TDIRItem item = Dir->ReadItem(3);
  item.Size = 12345;
  Dir->WriteItem(3, item);
  Reopen();
  EXPECT_EQ(Pf->Header.DirItemCount, 10);
  EXPECT_EQ(Values(Dir->DirPages()), (std::vector<int32_t>{4, 5}));
  EXPECT_EQ(Dir->ItemCount(), 10);
  EXPECT_EQ(Dir->FindPath("f8"), 8);
  EXPECT_EQ(Dir->FindPath("\\f0\\inner"), 9);
  EXPECT_EQ(Dir->ReadItem(3).Size, 12345);
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Dir->GetOpenCount(n), 0);
  EXPECT_EQ(Dir->GetOpenCount(10), -1);
}

TEST_F(DirectoryTest, ADeletedSlotIsReused) {
  Create();
  AddFiles(0, 8);
  std::string key;
  ASSERT_EQ(Dir->OpenItem("f2", "", key), 2);
  EXPECT_EQ(Dir->GetOpenCount(2), 1);
  TDIRItem gone;
  ClearItem(gone);
  gone.Deleted = 1;
  Dir->WriteItem(2, gone);
  EXPECT_EQ(Dir->GetOpenCount(2), 0);
  EXPECT_EQ(Dir->FindPath("f2"), -2);

  EXPECT_EQ(Dir->CreateItem("again", "", "", ""), 2);
  EXPECT_EQ(Pf->Header.DirItemCount, 8);
  EXPECT_EQ(Pf->Header.DirPageCount, 2);
  EXPECT_EQ(Dir->FindPath("again"), 2);
  Reopen();
  EXPECT_EQ(Dir->FindPath("again"), 2);
  EXPECT_EQ(Dir->ItemCount(), 8);
}

// The tenth and later directory pages are asked for as uniform pages. The
// flag shows when the near extent is full and a new extent must be taken: a
// uniform request leaves it unmixed (SGAM 0), a shared one marks it mixed.
TEST_F(DirectoryTest, UniformFlagFromTheTenthDirectoryPage) {
  Create();
  AddFiles(0, 56);  // eight pages: 4..8 in extent 0, 9..11 in extent 1
  ASSERT_EQ(Values(Dir->DirPages()), (std::vector<int32_t>{4, 5, 6, 7, 8, 9, 10, 11}));
  TIntegerArray foreign(0, 1, 100);
  ASSERT_TRUE(Free->GetPages(5, 12, false, foreign));  // fill extent 1

  AddFiles(56, 57);  // ninth page: not uniform
  EXPECT_EQ(Dir->DirPages()[8], 17);
  EXPECT_FALSE(Free->GAMBit(2));
  EXPECT_TRUE(Free->SGAMBit(2));

  ASSERT_TRUE(Free->GetPages(7, 18, false, foreign));  // fill extent 2
  AddFiles(57, 64);                                    // tenth page: uniform
  EXPECT_EQ(Dir->DirPages()[9], 25);
  EXPECT_FALSE(Free->GAMBit(3));
  EXPECT_FALSE(Free->SGAMBit(3));
  EXPECT_EQ(StoredPageHeader(17).NextPage, 25);
}

TEST_F(DirectoryTest, CreateItemResultsAndFields) {
  Create();
  EXPECT_EQ(Dir->CreateItem("", "", "", ""), -1);
  EXPECT_EQ(Dir->CreateItem("\\", "", "", ""), -1);
  EXPECT_EQ(Dir->CreateItem("/", "", "", ""), -1);
  EXPECT_EQ(Dir->CreateItem("missing\\x", "", "", ""), -1);
  EXPECT_EQ(Dir->ItemCount(), 0);

  ASSERT_EQ(Dir->CreateItem("\\top", "", "", ""), 0);
  ASSERT_EQ(Dir->CreateItem("top/sub", "", "", ""), 1);
  ASSERT_EQ(Dir->CreateItem("top\\sub\\" + std::string(300, 'n'), "", "", ""), 2);
  const TDIRItem top = Dir->ReadItem(0);
  EXPECT_EQ(top.ParentID, -1);
  EXPECT_EQ(Dir->ReadItem(1).ParentID, 0);
  EXPECT_EQ(Dir->ReadItem(2).ParentID, 1);
  EXPECT_EQ(ItemFileName(Dir->ReadItem(2)), std::string(259, 'n'));
  EXPECT_EQ(top.FirstMapPageNo, -1);
  EXPECT_EQ(top.Size, 0);
  EXPECT_EQ(top.Attributes, 0);
  EXPECT_EQ(top.OpenDenied, 0);
  EXPECT_EQ(top.HasPassword, 0);
  EXPECT_EQ(top.Deleted, 0);
  platform::FileTimeValue now = 0;
  GetCurrentFileTime(now);
  EXPECT_NE(now, 0u);
  EXPECT_EQ(top.CreationTime, now);
  EXPECT_EQ(top.LastWriteTime, now);
  EXPECT_EQ(top.LastAccessTime, now);
  const std::vector<uint8_t> zeros(172, 0);
  EXPECT_EQ(std::memcmp(top.PasswordRecord, zeros.data(), zeros.size()), 0);
}

TEST_F(DirectoryTest, OpenItemCountsStampsAndWrites) {
  Create();
  AddFiles(0, 2);
  const platform::FileTimeValue created = Dir->ReadItem(1).LastAccessTime;
  Clock.Now.Hour = 11;
  std::string key = "stale";
  EXPECT_EQ(Dir->OpenItem("f1", "", key), 1);
  EXPECT_EQ(key, "");
  EXPECT_EQ(Dir->OpenItem("f1", "", key), 1);
  EXPECT_EQ(Dir->GetOpenCount(1), 2);
  const platform::FileTimeValue opened = Dir->ReadItem(1).LastAccessTime;
  EXPECT_NE(opened, created);
  EXPECT_EQ(Dir->ReadItem(1).CreationTime, created);
  Dir->ReleaseItem(1);
  EXPECT_EQ(Dir->GetOpenCount(1), 1);
  Dir->ReleaseItem(-1);  // out of range: nothing
  Dir->ReleaseItem(2);
  EXPECT_EQ(Dir->GetOpenCount(-1), -1);

  EXPECT_EQ(Dir->OpenItem("nothing", "", key), -1);
  EXPECT_EQ(Dir->OpenItem("\\", "", key), -1);  // the root is no item

  TDIRItem denied = Dir->ReadItem(0);
  denied.OpenDenied = 1;
  Dir->WriteItem(0, denied);
  EXPECT_EQ(Dir->OpenItem("f0", "", key), -1);
  EXPECT_EQ(Dir->GetOpenCount(0), 0);

  Reopen();
  EXPECT_EQ(Dir->ReadItem(1).LastAccessTime, opened);
}

TEST_F(DirectoryTest, ReadOnlyOpenWritesNothing) {
  Create();
  AddFiles(0, 3);
  Close();
  const std::string before = Fs.Contents(Path).value_or("");
  Reopen(kReadOnly);
  const platform::FileTimeValue stamp = Dir->ReadItem(2).LastAccessTime;
  Clock.Now.Day = 9;
  std::string key;
  EXPECT_EQ(Dir->OpenItem("f2", "", key), 2);
  EXPECT_EQ(Dir->GetOpenCount(2), 1);
  EXPECT_EQ(Dir->ReadItem(2).LastAccessTime, stamp);
  Close();
  EXPECT_EQ(Fs.Contents(Path).value_or(""), before);
}

TEST_F(DirectoryTest, ItemPasswords) {
  Create();
  ASSERT_EQ(Dir->CreateItem("plain", "", "", ""), 0);
  ASSERT_EQ(Dir->CreateItem("locked", "secret", "pet?", "rex"), 1);
  const TDIRItem locked = Dir->ReadItem(1);
  EXPECT_EQ(locked.HasPassword, 1);
  TSFSPasswordRecord record;
  std::memcpy(&record, locked.PasswordRecord, sizeof(record));

  EXPECT_TRUE(Dir->CheckItemPassword("plain", "anything"));
  EXPECT_TRUE(Dir->CheckItemPassword("locked", "secret"));
  EXPECT_FALSE(Dir->CheckItemPassword("locked", "wrong"));
  EXPECT_FALSE(Dir->CheckItemPassword("locked", ""));
  EXPECT_FALSE(Dir->CheckItemPassword("absent", "secret"));
  EXPECT_FALSE(Dir->CheckItemPassword("\\", "secret"));

  std::string key;
  ASSERT_EQ(Dir->OpenItem("locked", "secret", key), 1);
  std::string expected;
  ASSERT_TRUE(VerifyPassword(record, "secret", expected));
  EXPECT_EQ(key.size(), 33u);
  EXPECT_EQ(key, expected);
  // A wrong password opens too, with a wrong key.
  std::string wrongKey;
  ASSERT_EQ(Dir->OpenItem("locked", "wrong", wrongKey), 1);
  EXPECT_EQ(wrongKey.size(), 33u);
  EXPECT_NE(wrongKey, expected);

  EXPECT_EQ(ThrownMessage([&] { Dir->CreateItem("long", std::string(33, 'p'), "", ""); }),
            "Password length should be shorter then 32");
}

TEST_F(DirectoryTest, DirectoryPagesAreEncryptedInAProtectedContainer) {
  Create("container pw");
  ASSERT_EQ(Pf->Header.Encrypted, 1);
  ASSERT_EQ(Dir->CreateItem("hidden-name", "", "", ""), 0);
  EXPECT_EQ(StoredPageHeader(4).EncryptionType, 1);
  const std::string stored = Logical(4 * kPage + 32, kDirBytes);
  EXPECT_EQ(stored.find("hidden-name"), std::string::npos);
  const TDIRItem item = Dir->ReadItem(0);
  EXPECT_NE(std::memcmp(stored.data(), &item, 512), 0);
  Reopen(kReadWrite, "container pw");
  EXPECT_EQ(Dir->FindPath("hidden-name"), 0);
}

TEST_F(DirectoryTest, SearchesStartAtTheRootOrTheCurrentDirectory) {
  Create();
  ASSERT_EQ(Dir->CreateItem("d", "", "", ""), 0);
  ASSERT_EQ(Dir->CreateItem("d\\x.txt", "", "", ""), 1);
  ASSERT_EQ(Dir->CreateItem("y.txt", "", "", ""), 2);
  TSFSSearchRec rec;
  ASSERT_EQ(Dir->FindFirst("\\*.txt", 0, rec), 0);
  EXPECT_EQ(rec.Name, "y.txt");
  EXPECT_EQ(Dir->FindNext(rec), -5);
  Dir->FindClose(rec);
  ASSERT_EQ(Dir->FindFirst("/d/*", 0, rec), 0);
  EXPECT_EQ(rec.Name, "x.txt");
  Dir->FindClose(rec);
  EXPECT_EQ(Dir->FindFirst("nope\\*", 0, rec), -2);
  Dir->FindClose(rec);
}

TEST_F(DirectoryTest, NoPageForTheDirectoryGivesMinus17) {
  Create();
  AddFiles(0, 7);
  TIntegerArray foreign(0, 1, 100);
  ASSERT_TRUE(Free->GetPages(4, 5, false, foreign));  // extent 0 is full now
  Fs.SetCapacity(Fs.UsedBytes());                     // and the file cannot grow
  EXPECT_EQ(Dir->CreateItem("f7", "", "", ""), -1);
  EXPECT_EQ(Dir->LastError, -17);
  EXPECT_EQ(Pf->Header.DirItemCount, 7);
  EXPECT_EQ(Pf->Header.DirPageCount, 1);
  EXPECT_EQ(Dir->ItemCount(), 7);
}

// Page I/O failures, injected into the reads and writes of the container
// file, surface as the manager's messages.
class DirectoryFaultTest : public DirectoryTest {
 protected:
  void SetUp() override {
    // Route the container through the fault wrapper.
    Installed = std::make_unique<platform::ScopedService<platform::IFileSystem>>(platform::SetFiles, Faults);
  }
  void TearDown() override {
    Close();
    Installed.reset();
  }
  platform::FaultFileSystem Faults{Fs};
  std::unique_ptr<platform::ScopedService<platform::IFileSystem>> Installed;
};

TEST_F(DirectoryFaultTest, ReadFailures) {
  Create();
  AddFiles(0, 7);
  Faults.FailNth(platform::FaultOp::Read, 1);
  EXPECT_EQ(ThrownMessage([&] { Dir->CreateItem("f7", "", "", ""); }),
            "TDIRManager.AddItem - can not load last page, pageNo = 4");

  Create();
  AddFiles(0, 1);
  Faults.FailNth(platform::FaultOp::Read, 1);
  EXPECT_EQ(ThrownMessage([&] { Dir->CreateItem("f1", "", "", ""); }),
            "TDIRManager.AddItem - can not load  page, pageNo = 4");

  Create();
  AddFiles(0, 1);
  Faults.FailNth(platform::FaultOp::Read, 1);
  EXPECT_EQ(ThrownMessage([&] { Dir->WriteItem(0, Dir->ReadItem(0)); }),
            "TDIRManager.WriteItem - can not load  page, pageNo = 4");

  // Reopening: fail each read in turn; one of them is the directory page's.
  Create();
  AddFiles(0, 1);
  Close();
  std::set<std::string> messages;
  for (int nth = 1; nth <= 16; ++nth) {
    Faults.FailNth(platform::FaultOp::Read, nth);
    messages.insert(ThrownMessage([&] { Reopen(); }));
    Faults.Disarm();
    Close();
  }
  EXPECT_TRUE(messages.count("TDIRManager.Load - can not load page, pageNo = 4"));
}

TEST_F(DirectoryFaultTest, WriteFailures) {
  Create();
  AddFiles(0, 1);
  Faults.FailNth(platform::FaultOp::Write, 1);
  EXPECT_EQ(ThrownMessage([&] { Dir->WriteItem(0, Dir->ReadItem(0)); }),
            "TDIRManager.WriteItem - can not save page, pageNo = 4");

  Create();
  AddFiles(0, 1);
  Faults.FailNth(platform::FaultOp::Write, 1);
  EXPECT_EQ(ThrownMessage([&] { Dir->CreateItem("f1", "", "", ""); }),
            "TDIRManager.AddItem - can not save page, pageNo = 4");

  // Linking a new page: fail each write of the step in turn; both the link
  // and the new page's write report their page.
  std::set<std::string> messages;
  for (int nth = 1; nth <= 12; ++nth) {
    Create();
    AddFiles(0, 7);
    Faults.FailNth(platform::FaultOp::Write, nth);
    messages.insert(ThrownMessage([&] { Dir->CreateItem("f7", "", "", ""); }));
    Faults.Disarm();
  }
  EXPECT_TRUE(messages.count("TDIRManager.AddItem - can not save last page, pageNo = 4")) << messages.size();
  EXPECT_TRUE(messages.count("TDIRManager.AddItem - can not save page, pageNo = 5"));
}

// Headers and chains that do not fit the file are refused when the directory
// is loaded, before anything is read past them.
TEST_F(DirectoryTest, DamagedHeadersAndChainsAreRefused) {
  Create();
  AddFiles(0, 8);  // pages 4 -> 5
  auto load = [&] { return ThrownMessage([&] { TDIRManager again(*Pf, *Free); }); };
  const TSFSFileHeader good = Pf->Header;

  Pf->Header.DirItemCount = 15;
  EXPECT_EQ(load(), "TDIRManager.Load - invalid directory size, DirItemCount = 15, DirPageCount = 2");
  Pf->Header = good;
  Pf->Header.DirPageCount = 1000000000;
  EXPECT_EQ(load(), "TDIRManager.Load - invalid directory size, DirItemCount = 8, DirPageCount = 1000000000");
  Pf->Header = good;
  Pf->Header.DirPageCount = -1;
  EXPECT_EQ(load(), "TDIRManager.Load - invalid directory size, DirItemCount = 8, DirPageCount = -1");
  Pf->Header = good;
  Pf->Header.DirItemCount = -3;
  EXPECT_EQ(load(), "TDIRManager.Load - invalid directory size, DirItemCount = -3, DirPageCount = 2");
  Pf->Header = good;
  Pf->Header.DirFirstPage = 0;
  EXPECT_EQ(load(), "TDIRManager.Load - invalid page No in directory chain, pageNo = 0");
  Pf->Header = good;

  // Relink page 4 by rewriting only its header.
  auto relink = [&](int32_t next) {
    TSFSPage page;
    ASSERT_TRUE(Pf->ReadPage(page, 4, 0, "", false));
    page.Header.NextPage = next;
    ASSERT_TRUE(Pf->WritePage(page, 4, 0, ""));
  };
  relink(-1);  // the chain ends after one page
  EXPECT_EQ(load(), "TDIRManager.Load - invalid page No in directory chain, pageNo = -1");
  relink(100000);  // beyond the file
  EXPECT_EQ(load(), "TDIRManager.Load - invalid page No in directory chain, pageNo = 100000");
  relink(4);  // back to itself
  EXPECT_EQ(load(), "TDIRManager.Load - page No repeated in directory chain, pageNo = 4");
  relink(5);
  EXPECT_EQ(load(), "<no exception>");
}

}  // namespace
