// Tests of the disk-file stream over the memory file system.
#include <gtest/gtest.h>

#include <string>

#include "platform/FileStream.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"

namespace {

class FileStreamTest : public ::testing::Test {
 protected:
  platform::MemoryFileSystem fs_;
  platform::ScopedService<platform::IFileSystem> use_{&platform::SetFiles, fs_};
};

TEST_F(FileStreamTest, CreateEmptiesAnExistingFileAndWritesThrough) {
  fs_.SetContents("d/out.bin", "old content that must go");
  {
    TFileStream s("d/out.bin", TFileStream::OpenMode::Create);
    EXPECT_EQ(s.GetSize(), 0);
    s.WriteBuffer("abc\0def", 7);
    EXPECT_EQ(s.GetPosition(), 7);
    s.SetPosition(1);
    char two[2];
    s.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "bc");
    s.SetSize(static_cast<int64_t>(5));
    EXPECT_EQ(s.GetSize(), 5);
  }
  EXPECT_EQ(fs_.Contents("d/out.bin"), std::string("abc\0d", 5));
}

TEST_F(FileStreamTest, ReadModeReadsAndRefusesToWrite) {
  fs_.SetContents("in.txt", "hello");
  TFileStream s("in.txt", TFileStream::OpenMode::OpenReadDenyWrite);
  EXPECT_EQ(s.GetSize(), 5);
  char buf[16];
  EXPECT_EQ(s.Read(buf, sizeof buf), 5);
  EXPECT_EQ(s.Read(buf, sizeof buf), 0);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(fs_.Contents("in.txt"), "hello");
  // Another reader may open the file meanwhile.
  EXPECT_NO_THROW(TFileStream("in.txt", TFileStream::OpenMode::OpenReadDenyWrite));
}

TEST_F(FileStreamTest, OpenFailuresNameTheFile) {
  try {
    TFileStream s("missing.txt", TFileStream::OpenMode::OpenReadDenyWrite);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message.rfind("Cannot open file \"missing.txt\". ", 0), 0u) << e.Message;
  }
  // A file held without sharing cannot be created over.
  TFileStream holder("busy.bin", TFileStream::OpenMode::Create);
  try {
    TFileStream s("busy.bin", TFileStream::OpenMode::Create);
    FAIL() << "created over a file held exclusively";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message.rfind("Cannot create file \"busy.bin\". ", 0), 0u) << e.Message;
  }
}

TEST_F(FileStreamTest, NegativeSizeIsRefused) {
  TFileStream s("f.bin", TFileStream::OpenMode::Create);
  s.WriteBuffer("abcd", 4);
  EXPECT_THROW(s.SetSize(static_cast<int64_t>(-1)), EStreamError);
  EXPECT_EQ(s.GetSize(), 4);
}

}  // namespace
