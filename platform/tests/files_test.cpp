// Tests of the POSIX file services: dispositions, access, flock sharing
// between two opens, 64-bit seeks, set end of file, separators and the error
// numbers callers see.
#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace platform {
namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/vv_files_XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

class FilesTest : public ::testing::Test {
 protected:
  IFileSystem& fs = OsFileSystem();
  TempDir dir;
};

TEST_F(FilesTest, CreateWriteSeekReadRoundTrip) {
  const std::string path = dir / "a.bin";
  auto f = fs.Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Write("hello world", 11), 11);
  EXPECT_EQ(f->Seek(6, 0), 6);
  char buf[16] = {};
  EXPECT_EQ(f->Read(buf, 16), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f->Read(buf, 16), 0);  // at the end
  EXPECT_EQ(f->Seek(-5, 2), 6);
  EXPECT_EQ(f->Seek(2, 1), 8);
  EXPECT_EQ(f->Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "rld");
  EXPECT_TRUE(f->Flush());
  f.reset();
  EXPECT_EQ(Slurp(path), "hello world");
}

TEST_F(FilesTest, SeekBeforeStartFailsAndKeepsPosition) {
  auto f = fs.Open(dir / "s.bin", FileAccess::ReadWrite, FileShare::None, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->Write("abcd", 4), 4);
  ASSERT_EQ(f->Seek(2, 0), 2);
  EXPECT_EQ(f->Seek(-1, 0), -1);
  EXPECT_EQ(LastErrorCode(), kErrorNegativeSeek);
  EXPECT_EQ(f->Seek(-5, 2), -1);
  EXPECT_EQ(f->Seek(-3, 1), -1);
  EXPECT_EQ(f->Seek(0, 1), 2);
  EXPECT_EQ(f->Seek(0, 7), -1);
  EXPECT_EQ(LastErrorCode(), kErrorInvalidParameter);
}

TEST_F(FilesTest, SeekBeyondFourGiBAndSetEndOfFileMakeSparseFile) {
  const std::string path = dir / "big.bin";
  auto f = fs.Open(path, FileAccess::ReadWrite, FileShare::None, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  const int64_t far = (int64_t{5} << 30) + 3;
  EXPECT_EQ(f->Seek(far, 0), far);
  ASSERT_TRUE(f->SetEndOfFile());
  EXPECT_EQ(f->Seek(0, 2), far);
  EXPECT_EQ(f->Seek(-1, 2), far - 1);
  ASSERT_EQ(f->Write("x", 1), 1);
  EXPECT_EQ(f->Seek(0, 2), far);
  EXPECT_EQ(f->Seek(100, 0), 100);
  ASSERT_TRUE(f->SetEndOfFile());  // cut
  EXPECT_EQ(f->Seek(0, 2), 100);
}

TEST_F(FilesTest, DispositionsTable) {
  struct Case {
    FileDisposition disposition;
    bool exists;
    bool opens;
    uint32_t error;
    std::string contentAfter;  // "-" when the file must not exist
  };
  const std::vector<Case> cases = {
      {FileDisposition::CreateAlways, false, true, 0, ""},
      {FileDisposition::CreateAlways, true, true, 0, ""},
      {FileDisposition::OpenExisting, false, false, kErrorFileNotFound, "-"},
      {FileDisposition::OpenExisting, true, true, 0, "old"},
      {FileDisposition::CreateNew, false, true, 0, ""},
      {FileDisposition::CreateNew, true, false, kErrorFileExists, "old"},
      {FileDisposition::OpenAlways, false, true, 0, ""},
      {FileDisposition::OpenAlways, true, true, 0, "old"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::string path = dir / ("d" + std::to_string(n++));
    if (c.exists) Spit(path, "old");
    SetLastErrorCode(0);
    auto f = fs.Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, c.disposition);
    EXPECT_EQ(f != nullptr, c.opens);
    if (!c.opens) {
      EXPECT_EQ(LastErrorCode(), c.error);
    }
    f.reset();
    if (c.contentAfter == "-")
      EXPECT_FALSE(fs.Exists(path));
    else
      EXPECT_EQ(Slurp(path), c.contentAfter);
  }
}

TEST_F(FilesTest, ReadOnlyAccessRefusesWritesAndCreateAlwaysStillTruncates) {
  const std::string path = dir / "ro.bin";
  Spit(path, "content");
  auto f = fs.Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Seek(0, 2), 0);
  EXPECT_EQ(f->Write("x", 1), -1);
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(f->SetEndOfFile());
  f.reset();
  EXPECT_EQ(Slurp(path), "");
}

TEST_F(FilesTest, MissingFileAndMissingFolderAreToldApart) {
  EXPECT_EQ(fs.Open(dir / "none.bin", FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
            nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_EQ(
      fs.Open(dir / "nodir/x.bin", FileAccess::Read, FileShare::ReadWrite, FileDisposition::CreateAlways),
      nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
  EXPECT_EQ(fs.Open(dir.path(), FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting),
            nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
}

TEST_F(FilesTest, BackslashIsASeparator) {
  std::filesystem::create_directory(dir / "sub");
  std::string winPath = dir.path() + "\\sub\\w.bin";
  auto f = fs.Open(winPath, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->Write("abc", 3), 3);
  f.reset();
  EXPECT_EQ(Slurp(dir / "sub/w.bin"), "abc");
  EXPECT_TRUE(fs.Exists(winPath));
  EXPECT_TRUE(fs.Remove(winPath));
  EXPECT_FALSE(fs.Exists(dir / "sub/w.bin"));
}

TEST_F(FilesTest, ExistsAndRemove) {
  const std::string path = dir / "e.bin";
  EXPECT_FALSE(fs.Exists(path));
  EXPECT_FALSE(fs.Remove(path));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  Spit(path, "x");
  EXPECT_TRUE(fs.Exists(path));
  EXPECT_FALSE(fs.Exists(dir.path()));  // a folder is not a file
  EXPECT_FALSE(fs.Remove(dir.path()));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_TRUE(fs.Remove(path));
  EXPECT_FALSE(fs.Exists(path));
}

// Two opens in one process conflict exactly as two processes would, because
// flock locks belong to the open file description.
TEST_F(FilesTest, SharingBetweenTwoOpens) {
  const std::string path = dir / "lock.bin";
  Spit(path, "keep me");
  struct Case {
    FileShare first;
    FileShare second;
    bool secondOpens;
  };
  const std::vector<Case> cases = {
      {FileShare::ReadWrite, FileShare::ReadWrite, true}, {FileShare::ReadWrite, FileShare::None, false},
      {FileShare::None, FileShare::ReadWrite, false},     {FileShare::None, FileShare::None, false},
      {FileShare::Read, FileShare::Read, true},
  };
  for (const Case& c : cases) {
    auto a = fs.Open(path, FileAccess::ReadWrite, c.first, FileDisposition::OpenExisting);
    ASSERT_NE(a, nullptr);
    SetLastErrorCode(0);
    auto b = fs.Open(path, FileAccess::Read, c.second, FileDisposition::OpenExisting);
    EXPECT_EQ(b != nullptr, c.secondOpens);
    if (!c.secondOpens) {
      EXPECT_EQ(LastErrorCode(), kErrorSharingViolation);
    }
  }
  // After the holder closes, an exclusive open succeeds again.
  auto a = fs.Open(path, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting);
  EXPECT_NE(a, nullptr);
}

TEST_F(FilesTest, RefusedTruncatingOpenLeavesTheHoldersData) {
  const std::string path = dir / "held.bin";
  Spit(path, "precious");
  auto holder = fs.Open(path, FileAccess::ReadWrite, FileShare::None, FileDisposition::OpenExisting);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(fs.Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways),
            nullptr);
  EXPECT_EQ(LastErrorCode(), kErrorSharingViolation);
  holder.reset();
  EXPECT_EQ(Slurp(path), "precious");
}

TEST(ErrorNumbers, ErrnoTable) {
  const std::vector<std::pair<int, uint32_t>> table = {
      {ENOENT, kErrorFileNotFound},
      {ENOTDIR, kErrorPathNotFound},
      {EACCES, kErrorAccessDenied},
      {EPERM, kErrorAccessDenied},
      {EWOULDBLOCK, kErrorSharingViolation},
      {ENOSPC, kErrorDiskFull},
      {EDQUOT, kErrorDiskFull},
      {EINVAL, kErrorInvalidParameter},
      {EEXIST, kErrorFileExists},
      {EBADF, kErrorInvalidHandle},
      {EMFILE, kErrorTooManyOpenFiles},
      {ENAMETOOLONG, kErrorFilenameExcedRange},
      {EROFS, kErrorWriteProtect},
      {EFBIG, kErrorFileTooLarge},
      {EIO, kErrorGenFailure},
  };
  for (const auto& [err, code] : table) EXPECT_EQ(ErrorFromErrno(err), code) << err;
}

TEST(ErrorNumbers, LastErrorIsPerThread) {
  SetLastErrorCode(kErrorDiskFull);
  uint32_t seen = 1;
  std::thread([&] { seen = LastErrorCode(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
  EXPECT_EQ(ErrorText(kErrorDiskFull), "There is not enough space on the disk.");
  EXPECT_EQ(ErrorText(kErrorSharingViolation),
            "The process cannot access the file because it is being used by another process.");
}

TEST(FileService, SetFilesInstallsAndRestores) {
  IFileSystem* before = SetFiles(nullptr);
  EXPECT_EQ(&Files(), &OsFileSystem());
  SetFiles(before);
}

}  // namespace
}  // namespace platform
