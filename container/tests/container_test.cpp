// Tests of the container object and the raw stored-file stream on real
// container files in a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ContainerTestSupport.h"
#include "container/SingleFileSystem.h"
#include "engine/Directory.h"
#include "engine/EngineContainers.h"
#include "engine/PageFile.h"
#include "engine/PageMaps.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/FaultFileSystem.h"
#include "platform/Files.h"
#include "platform/Service.h"

namespace fs = std::filesystem;

namespace {

using container_test::ExceptionText;
using container_test::Random;

class ContainerTest : public container_test::TempFolderTest {
 protected:
  ContainerTest() : TempFolderTest("vv_container_") {}

  std::unique_ptr<TSingleFileSystem> Make(const std::string& password = "", uint8_t method = 2) {
    return std::make_unique<TSingleFileSystem>(path_, kModeCreate, password, "", "", method);
  }
  std::unique_ptr<TSingleFileSystem> Open(const std::string& password = "", uint16_t mode = 2,
                                          uint8_t method = 0) {
    return std::make_unique<TSingleFileSystem>(path_, mode, password, "", "", method);
  }
};

// Data page numbers of a stored file, in file order.
std::vector<int32_t> DataPages(TSingleFileSystem& c, const std::string& name) {
  TDIRItem item = c.Directory().ReadItem(c.Directory().FindPath(name));
  TIntegerArray pages(0, 16, 1024);
  c.PageMaps().GetPageList(item, false, 0, item.Size, pages);
  std::vector<int32_t> out;
  for (int32_t i = 0; i < pages.ItemCount(); ++i) out.push_back(pages[i]);
  return out;
}

// Overwrites the data part of page pageNo (after the volume header) of a
// closed container file so that its checksum no longer matches.
void DamagePage(const std::string& path, int32_t pageNo) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(f.good());
  f.seekp(kVolumeHeaderSize + static_cast<std::streamoff>(pageNo) * 4096 + 32 + 100);
  const char junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  f.write(junk, sizeof junk);
}

TEST_F(ContainerTest, PasswordsOnOpen) {
  Make().reset();
  // An unprotected container accepts any password.
  EXPECT_TRUE(TSingleFileSystem::CheckPassword(path_, "whatever"));
  EXPECT_NO_THROW(Open("whatever"));

  fs::remove(path_);
  auto c = Make("secret");
  EXPECT_TRUE(c->IsEncrypted());
  c.reset();
  EXPECT_TRUE(TSingleFileSystem::CheckPassword(path_, "secret"));
  EXPECT_FALSE(TSingleFileSystem::CheckPassword(path_, "wrong"));
  EXPECT_EQ(ExceptionText([&] { Open("wrong"); }),
            "TSingleFileSystem.Create - invalid password specified, file name = \"" + path_ + "\"");
  EXPECT_TRUE(Open("secret")->IsEncrypted());
}

TEST_F(ContainerTest, WrongPasswordMessageDoublesQuotes) {
  path_ = (dir_ / "a\"b.sfs").string();
  Make("pw").reset();
  std::string quoted = path_;
  quoted.replace(quoted.find('"'), 1, "\"\"");
  EXPECT_EQ(ExceptionText([&] { Open("nope"); }),
            "TSingleFileSystem.Create - invalid password specified, file name = \"" + quoted + "\"");
}

TEST_F(ContainerTest, DefaultCompressionOnlyWhenCreating) {
  Make("", 7).reset();
  EXPECT_EQ(Open("", 2, 3)->GetDefaultCompression(), 7);
  EXPECT_EQ(Open("", 0, 5)->GetDefaultCompression(), 7);
  {
    auto c = Open();
    c->SetDefaultCompression(9);
  }
  EXPECT_EQ(Open()->GetDefaultCompression(), 9);
}

TEST_F(ContainerTest, ReadsAtAndBeyondEnd) {
  auto c = Make();
  int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
  ASSERT_GE(h, 0);
  auto data = Random(50, 1);
  ASSERT_EQ(c->FileWrite(h, data.data(), 50), 50);
  uint8_t buf[100];
  EXPECT_EQ(c->FileRead(h, buf, 10), 0);  // at the end
  EXPECT_EQ(c->FileSeek(h, 1, 0), 50);
  c->FileSeek(h, 0, 70);
  EXPECT_EQ(c->FileRead(h, buf, 10), 0);  // beyond the end
  EXPECT_EQ(c->FileSeek(h, 1, 0), 70);
  c->FileSeek(h, 0, 45);
  EXPECT_EQ(c->FileRead(h, buf, 100), 5);  // cut at the end
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), std::vector<uint8_t>(data.begin() + 45, data.end()));
  EXPECT_EQ(c->FileSeek(h, 1, 0), 50);
  EXPECT_EQ(c->ErrorCode, 0);
}

TEST_F(ContainerTest, ReadAcrossPageBoundary) {
  auto data = Random(9000, 2);
  {
    auto c = Make();
    int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
    ASSERT_EQ(c->FileWrite(h, data.data(), 9000), 9000);
    c->FileClose(h);
    auto pages = DataPages(*c, "f");
    ASSERT_EQ(pages.size(), 3u);
    h = c->FileOpen("f", 0, "", "", "");
    std::vector<uint8_t> buf(200);
    c->FileSeek(h, 0, 4000);
    ASSERT_EQ(c->FileRead(h, buf.data(), 200), 200);
    EXPECT_EQ(buf, std::vector<uint8_t>(data.begin() + 4000, data.begin() + 4200));
    c->FileClose(h);
    // Damage the second page: the same read gives the 64 bytes of the first.
    c.reset();
    DamagePage(path_, pages[1]);
  }
  auto c = Open();
  int32_t h = c->FileOpen("f", 0, "", "", "");
  std::vector<uint8_t> buf(200);
  c->FileSeek(h, 0, 4000);
  EXPECT_EQ(c->FileRead(h, buf.data(), 200), 64);
  EXPECT_NE(c->ErrorCode, 0);
  EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 64),
            std::vector<uint8_t>(data.begin() + 4000, data.begin() + 4064));
  EXPECT_EQ(c->FileSeek(h, 1, 0), 4064);
  // The third page is intact: a read from 8128 works and clears ErrorCode.
  c->FileSeek(h, 0, 8128);
  EXPECT_EQ(c->FileRead(h, buf.data(), 200), 200);
  EXPECT_EQ(c->ErrorCode, 0);
}

TEST_F(ContainerTest, PartialPageWriteReadsThePageFirst) {
  int32_t page = -1;
  {
    auto c = Make();
    int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
    auto data = Random(4064, 3);
    ASSERT_EQ(c->FileWrite(h, data.data(), 10), 10);
    EXPECT_EQ(c->FileSeek(h, 2, 0), 10);
    c->FileClose(h);
    auto pages = DataPages(*c, "f");
    ASSERT_EQ(pages.size(), 1u);
    page = pages[0];
  }
  DamagePage(path_, page);
  auto c = Open();
  int32_t h = c->FileOpen("f", 2, "", "", "");
  uint8_t small[10] = {};
  // A partial write must read the damaged page and fails.
  EXPECT_EQ(c->FileWrite(h, small, 10), 0);
  EXPECT_NE(c->ErrorCode, 0);
  // A whole-page write does not read it and succeeds.
  auto full = Random(4064, 4);
  c->FileSeek(h, 0, 0);
  EXPECT_EQ(c->FileWrite(h, full.data(), 4064), 4064);
  EXPECT_EQ(c->ErrorCode, 0);
  // A partial write now keeps the rest of the page.
  c->FileSeek(h, 0, 100);
  EXPECT_EQ(c->FileWrite(h, small, 10), 10);
  std::vector<uint8_t> back(4064);
  c->FileSeek(h, 0, 0);
  ASSERT_EQ(c->FileRead(h, back.data(), 4064), 4064);
  std::fill(full.begin() + 100, full.begin() + 110, 0);
  EXPECT_EQ(back, full);
}

TEST_F(ContainerTest, WriteBeyondEndAndSetSize) {
  auto c = Make();
  int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
  auto data = Random(300, 5);
  ASSERT_EQ(c->FileWrite(h, data.data(), 300), 300);
  EXPECT_EQ(c->FileSeek(h, 2, 100), 400);
  ASSERT_EQ(c->FileWrite(h, data.data(), 50), 50);
  EXPECT_EQ(c->FileSeek(h, 2, 0), 450);
  std::vector<uint8_t> back(450);
  c->FileSeek(h, 0, 0);
  ASSERT_EQ(c->FileRead(h, back.data(), 450), 450);
  std::vector<uint8_t> want(data);
  want.resize(400, 0);
  want.insert(want.end(), data.begin(), data.begin() + 50);
  EXPECT_EQ(back, want);

  EXPECT_EQ(c->FileSetSize(h, 10000), 10000);
  EXPECT_EQ(c->FileSeek(h, 1, 0), 10000);
  EXPECT_EQ(DataPages(*c, "f").size(), 3u);
  EXPECT_EQ(c->FileSetSize(h, 0), 0);
  EXPECT_EQ(c->FileSeek(h, 1, 0), 0);
  EXPECT_TRUE(DataPages(*c, "f").empty());
  uint8_t b;
  EXPECT_EQ(c->FileRead(h, &b, 1), 0);
  EXPECT_EQ(c->FileSetSize(12345, 5), -6);
}

// Bytes cut off inside the last page come back as zeros when the file grows
// again, by resizing or by writing past the end.
TEST_F(ContainerTest, GrowingAfterCutReadsZeros) {
  auto c = Make();
  int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
  auto data = Random(3000, 8);
  ASSERT_EQ(c->FileWrite(h, data.data(), 3000), 3000);
  ASSERT_EQ(c->FileSetSize(h, 1000), 1000);
  ASSERT_EQ(c->FileSetSize(h, 2000), 2000);
  std::vector<uint8_t> back(2000);
  c->FileSeek(h, 0, 0);
  ASSERT_EQ(c->FileRead(h, back.data(), 2000), 2000);
  std::vector<uint8_t> want(data.begin(), data.begin() + 1000);
  want.resize(2000, 0);
  EXPECT_EQ(back, want);

  ASSERT_EQ(c->FileSetSize(h, 500), 500);
  c->FileSeek(h, 0, 2500);
  ASSERT_EQ(c->FileWrite(h, data.data(), 10), 10);
  back.assign(2510, 0xEE);
  c->FileSeek(h, 0, 0);
  ASSERT_EQ(c->FileRead(h, back.data(), 2510), 2510);
  want.assign(data.begin(), data.begin() + 500);
  want.resize(2500, 0);
  want.insert(want.end(), data.begin(), data.begin() + 10);
  EXPECT_EQ(back, want);
}

// Create mode over a file that a handle holds open cannot replace it: the
// new handle reaches the old file and its data.
TEST_F(ContainerTest, CreateOverOpenFileOpensTheOldOne) {
  auto c = Make();
  int32_t h = c->FileOpen("a", kModeCreate, "", "", "");
  auto data = Random(20, 9);
  ASSERT_EQ(c->FileWrite(h, data.data(), 20), 20);
  int32_t h2 = c->FileOpen("a", kModeCreate, "", "", "");
  ASSERT_GE(h2, 0);
  EXPECT_EQ(c->FileSeek(h2, 2, 0), 20);
  c->FileClose(h);
  c->FileClose(h2);
  // With no handle open, create mode replaces it by an empty file.
  h = c->FileOpen("a", kModeCreate, "", "", "");
  EXPECT_EQ(c->FileSeek(h, 2, 0), 0);
}

// When the container file cannot grow, writes and resizes report -17 and
// call OnNoSpace first; the container stays usable.
TEST_F(ContainerTest, NoSpaceIsReported) {
  platform::FaultFileSystem faults(platform::OsFileSystem());
  platform::ScopedService<platform::IFileSystem> use(platform::SetFiles, faults);
  auto c = Make();
  int notified = 0;
  c->OnNoSpace = [&](TSingleFileSystem& sender) {
    EXPECT_EQ(&sender, c.get());
    ++notified;
  };
  int32_t h = c->FileOpen("f", kModeCreate, "", "", "");
  ASSERT_GE(h, 0);
  faults.FailNth(platform::FaultOp::SetEndOfFile, 1, true);
  std::vector<uint8_t> big(200000, 1);
  EXPECT_EQ(c->FileWrite(h, big.data(), static_cast<int32_t>(big.size())), 0);
  EXPECT_EQ(c->ErrorCode, -17);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(c->FileSetSize(h, 500000), -17);
  EXPECT_EQ(notified, 2);
  faults.Disarm();
  EXPECT_EQ(c->FileWrite(h, big.data(), 100), 100);
  EXPECT_EQ(c->ErrorCode, 0);
}

TEST_F(ContainerTest, MissingContainerRaises) {
  EXPECT_THROW(Open(), Exception);
  EXPECT_THROW(TSingleFileSystem::CheckPassword(path_, ""), Exception);
}

TEST_F(ContainerTest, DeleteOpenFileAndHandles) {
  auto c = Make();
  int32_t h0 = c->FileOpen("a", kModeCreate, "", "", "");
  int32_t h1 = c->FileOpen("b", kModeCreate, "", "", "");
  EXPECT_EQ(h0, 0);
  EXPECT_EQ(h1, 1);
  uint8_t x = 7;
  c->FileWrite(h0, &x, 1);
  EXPECT_FALSE(c->DeleteFile("a"));
  EXPECT_TRUE(c->FileExists("a"));
  // Replacing an open file is refused.
  EXPECT_EQ(c->FileCreate("a", "", "", ""), -16);
  c->FileClose(h0);
  c->FileClose(h0);  // unknown by now: ignored
  c->FileClose(999);
  EXPECT_TRUE(c->DeleteFile("a"));
  EXPECT_FALSE(c->FileExists("a"));
  EXPECT_FALSE(c->DeleteFile("a"));
  EXPECT_EQ(c->FileOpen("a", 0, "", "", ""), -1);
  int32_t h2 = c->FileOpen("b", 0, "", "", "");
  EXPECT_EQ(h2, 2);  // numbers are never reused
  uint8_t buf[4];
  EXPECT_EQ(c->FileRead(55, buf, 4), 0);
  EXPECT_EQ(c->FileWrite(55, buf, 4), 0);
  EXPECT_EQ(c->FileSeek(55, 0, 10), 0);
}

TEST_F(ContainerTest, StreamsHaveIndependentPositions) {
  auto c = Make();
  auto data = Random(5000, 6);
  {
    TSFSUserFileStream w(c.get(), "s", kModeCreate, "", "", "");
    w.WriteBuffer(data.data(), 5000);
    EXPECT_EQ(w.GetSize(), 5000);
  }
  TSFSUserFileStream a(c.get(), "s", 0, "", "", "");
  auto b = std::make_unique<TSFSUserFileStream>(c.get(), "s", 0, "", "", "");
  EXPECT_NE(a.Handle(), b->Handle());
  std::vector<uint8_t> ba(100), bb(100);
  a.SetPosition(4050);
  a.ReadBuffer(ba.data(), 100);
  b->ReadBuffer(bb.data(), 100);
  EXPECT_EQ(ba, std::vector<uint8_t>(data.begin() + 4050, data.begin() + 4150));
  EXPECT_EQ(bb, std::vector<uint8_t>(data.begin(), data.begin() + 100));
  EXPECT_EQ(a.GetPosition(), 4150);
  EXPECT_EQ(b->GetPosition(), 100);
  EXPECT_EQ(a.Seek(static_cast<int32_t>(-10), 2), 4990);
  EXPECT_FALSE(c->DeleteFile("s"));
  b.reset();
  EXPECT_FALSE(c->DeleteFile("s"));
}

TEST_F(ContainerTest, StreamCloseAllowsDelete) {
  auto c = Make();
  { TSFSUserFileStream w(c.get(), "s", kModeCreate, "", "", ""); }
  {
    TSFSUserFileStream r(c.get(), "s", 0, "", "", "");
    EXPECT_FALSE(c->DeleteFile("s"));
  }
  EXPECT_TRUE(c->DeleteFile("s"));
}

TEST_F(ContainerTest, StreamCreateMessages) {
  auto c = Make();
  EXPECT_EQ(ExceptionText([&] { TSFSUserFileStream s(nullptr, "x", 0, "", "", ""); }),
            "TSFSUserFileStream.Create - Single file system = nil!");
  EXPECT_EQ(ExceptionText([&] { TSFSUserFileStream s(c.get(), "missing", 0, "", "", ""); }),
            "TSFSUserFileStream.Create - unable to open file \"missing\"");
  EXPECT_EQ(ExceptionText([&] { TSFSUserFileStream s(c.get(), "mi\"ss", 1, "", "", ""); }),
            "TSFSUserFileStream.Create - unable to open file \"mi\"\"ss\"");
}

// A stored file with its own password inside an unprotected container: its
// pages are encrypted with its own key, and opening asks for the password.
TEST_F(ContainerTest, PerFilePassword) {
  auto data = Random(100, 7);
  {
    auto c = Make();
    int32_t h = c->FileOpen("p", kModeCreate, "own", "", "");
    ASSERT_GE(h, 0);
    ASSERT_EQ(c->FileWrite(h, data.data(), 100), 100);
    c->FileClose(h);
    // The page does not read back with the container's (empty) key.
    auto pages = DataPages(*c, "p");
    ASSERT_EQ(pages.size(), 1u);
    TSFSPage page;
    c->PageFile().InitPage(page);
    ASSERT_TRUE(c->PageFile().ReadPage(page, pages[0], 4064, "", true));
    EXPECT_NE(std::vector<uint8_t>(page.pData, page.pData + 100), data);
    c->PageFile().DonePage(page);
  }
  auto c = Open();
  std::vector<std::string> asked;
  c->OnPassword = [&](TSingleFileSystem&, const std::string& name, std::string& pw, bool& cancel) {
    asked.push_back(name + ":" + pw);
    if (asked.size() == 1) {
      pw = "bad";
    } else if (asked.size() == 2) {
      pw = "own";
    } else {
      cancel = true;
    }
  };
  int32_t h = c->FileOpen("p", 0, "guess", "", "");
  ASSERT_GE(h, 0);
  EXPECT_EQ(asked, (std::vector<std::string>{"p:guess", "p:bad"}));
  std::vector<uint8_t> back(100);
  EXPECT_EQ(c->FileRead(h, back.data(), 100), 100);
  EXPECT_EQ(back, data);
  c->FileClose(h);

  c->OnPassword = [&](TSingleFileSystem&, const std::string&, std::string&, bool& cancel) { cancel = true; };
  EXPECT_EQ(c->FileOpen("p", 0, "", "", ""), -1);
}

class RecordingDialogs : public platform::IDialogs {
 public:
  bool ShowModal(const platform::FormDesc&, platform::FormValues&) override { return false; }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    Captions.push_back(caption + "|" + prompt + "|" + value);
    value = "own";
    return true;
  }
  std::vector<std::string> Captions;
};

TEST_F(ContainerTest, RequestPasswordUsesInputBox) {
  {
    auto c = Make();
    c->FileClose(c->FileOpen("q\"f", kModeCreate, "own", "", ""));
  }
  RecordingDialogs dialogs;
  platform::IDialogs* previous = platform::SetDialogs(&dialogs);
  {
    auto c = Open();
    int32_t h = c->FileOpen("q\"f", 0, "x", "", "");
    EXPECT_GE(h, 0);
  }
  platform::SetDialogs(previous);
  EXPECT_EQ(dialogs.Captions, (std::vector<std::string>{"Password for \"q\"\"f\"|Enter password: |x"}));
}

// Random operations against an in-memory model of the stored files, with
// the container reopened now and then and every file checked after a reopen.
void RunModel(const std::string& path, const std::string& password, int steps, int reopenEvery) {
  std::mt19937 rng(12345);
  std::map<std::string, std::vector<uint8_t>> model;
  auto c = std::make_unique<TSingleFileSystem>(path, kModeCreate, password, "", "", 0);
  auto checkAll = [&] {
    for (auto& [name, want] : model) {
      int32_t h = c->FileOpen(name, 0, "", "", "");
      ASSERT_GE(h, 0) << name;
      std::vector<uint8_t> got(want.size() + 10);
      int32_t n = c->FileRead(h, got.data(), static_cast<int32_t>(got.size()));
      ASSERT_EQ(n, static_cast<int32_t>(want.size())) << name;
      got.resize(static_cast<size_t>(n));
      ASSERT_EQ(got, want) << name;
      c->FileClose(h);
    }
  };
  for (int step = 0; step < steps; ++step) {
    const std::string name = "f" + std::to_string(rng() % 6);
    const int op = static_cast<int>(rng() % 10);
    if (op == 0) {
      c->FileClose(c->FileOpen(name, kModeCreate, "", "", ""));
      model[name].clear();
    } else if (op <= 5) {
      if (!model.count(name)) continue;
      auto& m = model[name];
      const int64_t pos = static_cast<int64_t>(rng() % (m.size() + 5000));
      const int32_t count = static_cast<int32_t>(rng() % 9000) + 1;
      auto data = Random(static_cast<size_t>(count), rng());
      int32_t h = c->FileOpen(name, 2, "", "", "");
      ASSERT_GE(h, 0);
      c->FileSeek(h, 0, pos);
      ASSERT_EQ(c->FileWrite(h, data.data(), count), count);
      c->FileClose(h);
      if (m.size() < static_cast<size_t>(pos + count)) m.resize(static_cast<size_t>(pos + count), 0);
      std::copy(data.begin(), data.end(), m.begin() + pos);
    } else if (op <= 7) {
      if (!model.count(name)) continue;
      const int64_t size = static_cast<int64_t>(rng() % 20000);
      int32_t h = c->FileOpen(name, 2, "", "", "");
      ASSERT_EQ(c->FileSetSize(h, size), size);
      c->FileClose(h);
      model[name].resize(static_cast<size_t>(size), 0);
    } else if (op == 8) {
      EXPECT_EQ(c->DeleteFile(name), model.count(name) == 1);
      model.erase(name);
    } else {
      if (!model.count(name)) continue;
      auto& m = model[name];
      int32_t h = c->FileOpen(name, 0, "", "", "");
      const int64_t pos = static_cast<int64_t>(rng() % (m.size() + 100));
      const int32_t count = static_cast<int32_t>(rng() % 9000);
      std::vector<uint8_t> got(static_cast<size_t>(count));
      c->FileSeek(h, 0, pos);
      const int32_t n = c->FileRead(h, got.data(), count);
      const int64_t want =
          std::max<int64_t>(0, std::min<int64_t>(count, static_cast<int64_t>(m.size()) - pos));
      ASSERT_EQ(n, want);
      const auto diff = std::mismatch(got.begin(), got.begin() + n, m.begin() + pos);
      ASSERT_TRUE(diff.first == got.begin() + n)
          << "step " << step << " pos " << pos << " size " << m.size() << " first difference at "
          << (diff.first - got.begin()) << " got " << int(*diff.first) << " want " << int(*diff.second);
      c->FileClose(h);
    }
    if ((step + 1) % reopenEvery == 0) {
      c.reset();
      c = std::make_unique<TSingleFileSystem>(path, 2, password, "", "", 0);
      checkAll();
    }
  }
  c.reset();
  c = std::make_unique<TSingleFileSystem>(path, 0, password, "", "", 0);
  checkAll();
}

TEST_F(ContainerTest, RandomModelPlain) { RunModel(path_, "", 2000, 200); }

TEST_F(ContainerTest, RandomModelProtected) { RunModel(path_, "model pw", 600, 150); }

}  // namespace
