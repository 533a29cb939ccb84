// Tests of the stored-file stream the actions use: the read-only guard,
// which creation arguments reach the block stream, the progress event handed
// down, closing on destruction, and a random model of a compressed file.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ContainerTestSupport.h"
#include "compress/ZUZCompress.h"
#include "container/SingleFileSystem.h"
#include "platform/Exception.h"

namespace {

using container_test::Bytes;
using container_test::ExceptionText;

Bytes Text(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"one ", "two ", "three ", "four\r\n", "five ", "six "};
  return container_test::WordText(n, seed, kWords);
}

class FileStreamTest : public container_test::OpenContainerTest {
 protected:
  FileStreamTest() : OpenContainerTest("vv_fstream_") {}

  std::unique_ptr<TSFSFileStream> Stream(const std::string& name, uint16_t mode, uint8_t method = 0) {
    return std::make_unique<TSFSFileStream>(c_.get(), name, mode, "", "", "", method);
  }
};

TEST_F(FileStreamTest, ReadOnlyRefusesWriteAndSetSizeOnly) {
  Make(2);
  const Bytes data = Text(5000, 1);
  {
    auto s = Stream("f.txt", kModeCreate);
    EXPECT_FALSE(s->ReadOnly);
    s->WriteBuffer(data.data(), 5000);
  }
  auto s = Stream("f.txt", 0);
  EXPECT_TRUE(s->ReadOnly);
  const uint8_t one = 1;
  EXPECT_EQ(ExceptionText([&] { s->Write(&one, 1); }), "TSFSFileStream.Write - file is in read only mode.");
  EXPECT_EQ(ExceptionText([&] { s->SetSize(static_cast<int64_t>(10)); }),
            "TSFSFileStream.SetSize - file is in read only mode.");
  EXPECT_EQ(ExceptionText([&] { s->SetSize(static_cast<int32_t>(10)); }),
            "TSFSFileStream.SetSize - file is in read only mode.");
  EXPECT_EQ(s->GetSize(), 5000);
  EXPECT_EQ(s->Seek(static_cast<int32_t>(-10), 2), 4990);
  EXPECT_EQ(ReadAll(*s), data);

  // The whole-file copies do not look at ReadOnly.
  s->SaveToFile(DiskPath("out.txt"));
  EXPECT_EQ(ReadDisk(DiskPath("out.txt")), data);
  const Bytes other = Text(700, 2);
  WriteDisk(DiskPath("in.txt"), other);
  s->LoadFromFile(DiskPath("in.txt"));
  EXPECT_EQ(ReadAll(*s), other);
}

// Method 0 on a new file takes the container's default; 0 there too means
// the stored bytes are the written bytes.
TEST_F(FileStreamTest, NewFileTakesTheContainersDefault) {
  const Bytes data = Text(3000, 3);
  for (uint8_t def : {uint8_t{2}, uint8_t{0}}) {
    SCOPED_TRACE(static_cast<int>(def));
    Make(def);
    {
      auto s = Stream("f.txt", kModeCreate, 0);
      s->WriteBuffer(data.data(), 3000);
    }
    const Bytes st = Stored("f.txt");
    if (def == 0) {
      EXPECT_EQ(st, data);
    } else {
      ASSERT_GE(st.size(), 128u);
      EXPECT_EQ(std::string(st.begin(), st.begin() + 4), "ZKCS");
      EXPECT_EQ(st[20], 2);
    }
    auto s = Stream("f.txt", 0);
    EXPECT_EQ(s->Stream().Method(), def);
    EXPECT_EQ(ReadAll(*s), data);
  }
}

TEST_F(FileStreamTest, OpenedFileKeepsItsOwnMethod) {
  Make(2);
  const Bytes data = Text(3000, 4);
  {
    auto s = Stream("f.txt", kModeCreate, 7);
    s->WriteBuffer(data.data(), 3000);
  }
  Reopen();
  {
    auto s = Stream("f.txt", 1, 5);
    EXPECT_EQ(s->Stream().Method(), 7);
    s->SetPosition(3000);
    s->WriteBuffer(data.data(), 100);
  }
  EXPECT_EQ(Stored("f.txt")[20], 7);
  auto s = Stream("f.txt", 0, 5);
  Bytes expect = data;
  expect.insert(expect.end(), data.begin(), data.begin() + 100);
  EXPECT_EQ(ReadAll(*s), expect);
}

TEST_F(FileStreamTest, DestroyClosesTheHandle) {
  Make(2);
  auto s = Stream("f.txt", kModeCreate);
  EXPECT_FALSE(c_->DeleteFile("f.txt"));
  s.reset();
  EXPECT_TRUE(c_->DeleteFile("f.txt"));
  EXPECT_FALSE(c_->FileExists("f.txt"));
}

TEST_F(FileStreamTest, CreationErrors) {
  Make(2);
  EXPECT_EQ(ExceptionText([&] { TSFSFileStream s(nullptr, "f.txt", kModeCreate, "", "", "", 0); }),
            "TSFSAdvancedFileStream.Create - SingleFileSystem = nil.");
  EXPECT_EQ(ExceptionText([&] { TSFSFileStream s(c_.get(), "no \"such\".txt", 0, "", "", "", 0); }),
            "TSFSUserFileStream.Create - unable to open file \"no \"\"such\"\".txt\"");
  EXPECT_NE(ExceptionText([&] {
              auto s = Stream("f.txt", kModeCreate);
              s->SaveToFile(DiskPath("missing/dir/out.txt"));
            }),
            "<no exception>");
  EXPECT_NE(ExceptionText([&] {
              auto s = Stream("f.txt", kModeCreate);
              s->LoadFromFile(DiskPath("missing.txt"));
            }),
            "<no exception>");
}

// The event set on the file stream reaches the block stream for each kind
// of transfer, also when set after creation.
TEST_F(FileStreamTest, ProgressIsHandedDown) {
  Make(2);
  const Bytes data = Text(static_cast<size_t>(BlockSizeForMethod(2)) * 2, 5);
  WriteDisk(DiskPath("in.txt"), data);
  auto s = Stream("f.txt", kModeCreate);
  std::vector<double> events;
  s->OnProgress = [&](TStream&, double p) { events.push_back(p); };
  s->LoadFromFile(DiskPath("in.txt"));
  EXPECT_EQ(events, (std::vector<double>{0, 50, 100, 100}));
  events.clear();
  s->SaveToFile(DiskPath("out.txt"));
  EXPECT_EQ(events, (std::vector<double>{0, 50, 100, 100}));
  EXPECT_EQ(ReadDisk(DiskPath("out.txt")), data);
  events.clear();
  Bytes buf(10);
  s->SetPosition(0);
  s->ReadBuffer(buf.data(), 10);
  EXPECT_EQ(events.front(), 0.0);
  EXPECT_EQ(events.back(), 100.0);
  events.clear();
  s->OnProgress = nullptr;
  s->WriteBuffer(buf.data(), 10);
  EXPECT_TRUE(events.empty());
}

// Random writes, resizes and reopens of a compressed stored file against a
// byte vector. The sizes stay around two or three blocks so that writes
// cross block edges, grow blocks and append new ones.
void RunModel(const std::function<std::unique_ptr<TSFSFileStream>(uint16_t)>& open,
              const std::function<void()>& reopen, uint8_t method, int steps) {
  const int64_t B = BlockSizeForMethod(method);
  std::mt19937 rng(1000 + method);
  Bytes model;
  auto s = open(kModeCreate);
  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const uint32_t op = rng() % 10;
    if (op < 5) {  // write at a random place, sometimes beyond the end
      const int64_t at = static_cast<int64_t>(rng() % static_cast<uint32_t>(model.size() + B / 2 + 1));
      const size_t n = 1 + rng() % static_cast<uint32_t>(B / 3);
      Bytes piece = (rng() % 2) ? Text(n, rng()) : Bytes(n);
      if (rng() % 3 == 0) {
        for (auto& b : piece) b = static_cast<uint8_t>(rng());
      }
      s->SetPosition(at);
      s->WriteBuffer(piece.data(), static_cast<int32_t>(n));
      if (model.size() < static_cast<size_t>(at) + n) model.resize(static_cast<size_t>(at) + n, 0);
      std::copy(piece.begin(), piece.end(), model.begin() + at);
    } else if (op < 7) {  // resize
      const int64_t size = static_cast<int64_t>(rng() % static_cast<uint32_t>(3 * B));
      s->SetSize(size);
      model.resize(static_cast<size_t>(size), 0);
    } else if (op < 9) {  // read a random piece
      const int64_t at = static_cast<int64_t>(rng() % static_cast<uint32_t>(model.size() + 10));
      Bytes buf(static_cast<size_t>(rng() % static_cast<uint32_t>(B)) + 1);
      s->SetPosition(at);
      const int32_t got = s->Read(buf.data(), static_cast<int32_t>(buf.size()));
      const int64_t expect = std::max<int64_t>(0, std::min<int64_t>(buf.size(), model.size() - at));
      ASSERT_EQ(got, expect);
      ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + got, model.begin() + at));
    } else {  // reopen the container
      s.reset();
      reopen();
      s = open(2);
      ASSERT_EQ(s->Stream().Method(), method);
    }
    ASSERT_EQ(s->GetSize(), static_cast<int64_t>(model.size()));
  }
  s.reset();
  reopen();
  s = open(0);
  Bytes all(model.size());
  s->SetPosition(0);
  if (!all.empty()) s->ReadBuffer(all.data(), static_cast<int32_t>(all.size()));
  EXPECT_TRUE(all == model);
}

class FileStreamModel : public FileStreamTest, public ::testing::WithParamInterface<int> {};

TEST_P(FileStreamModel, RandomOperationsMatchModel) {
  const uint8_t method = static_cast<uint8_t>(GetParam());
  Make(method);
  const int steps = method == 3 ? 40 : 80;
  RunModel([&](uint16_t mode) { return Stream("m.bin", mode); }, [&] { Reopen(); }, method, steps);
}

INSTANTIATE_TEST_SUITE_P(Methods, FileStreamModel, ::testing::Values(2, 3, 7));

}  // namespace
