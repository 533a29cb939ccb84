// Tests of the POSIX volume queries: the version record, the file-system
// name mapping and the free space of the folder that holds a file.
#include "platform/Volumes.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <string>
#include <vector>

namespace platform {
namespace {

TEST(Volumes, VersionRecordIsTheNtLine) {
  const OsVersionRecord v = OsVolumes().VersionRecord();
  EXPECT_EQ(v.PlatformId, 2u);
  EXPECT_TRUE(v.Major > 5 || (v.Major == 5 && v.Minor >= 2));
}

TEST(Volumes, FileSystemNameTable) {
  struct Case {
    uint64_t magic;
    std::string mountType;
    std::string name;
  };
  const std::vector<Case> cases = {
      {0x4d44, "vfat", "FAT32"},       {0x4d44, "msdos", "FAT"},      {0x4d44, "", "FAT32"},
      {0x9660, "iso9660", "CDFS"},     {0x15013346, "udf", "FS_UDF"}, {0xEF53, "ext4", "NTFS"},
      {0x01021994, "tmpfs", "NTFS"},   {0x58465342, "xfs", "NTFS"},   {0x9123683E, "btrfs", "NTFS"},
      {0x794c7630, "overlay", "NTFS"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileSystemNameForType(c.magic, c.mountType), c.name) << c.mountType;
}

TEST(Volumes, FolderOfAFileIsAsked) {
  std::string name;
  // The file need not exist yet; its folder must.
  ASSERT_TRUE(OsVolumes().FileSystemName("\\", "/tmp/not-there-yet.dat", name));
  EXPECT_FALSE(name.empty());
  ASSERT_TRUE(OsVolumes().FileSystemName("\\", "\\tmp\\not-there-yet.dat", name));
  EXPECT_FALSE(OsVolumes().FileSystemName("\\", "/no/such/folder/x.dat", name));
}

TEST(Volumes, FreeBytesMatchStatvfs) {
  int64_t bytes = -1;
  ASSERT_TRUE(OsVolumes().FreeBytesAvailable("\\", "/tmp/x.dat", bytes));
  struct statvfs vfs;
  ASSERT_EQ(::statvfs("/tmp", &vfs), 0);
  const int64_t expected = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  // Other programs write meanwhile; the two readings lie close together.
  EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(expected), 64.0 * 1024 * 1024);
  EXPECT_GE(bytes, 0);
  EXPECT_FALSE(OsVolumes().FreeBytesAvailable("\\", "/no/such/folder/x.dat", bytes));
}

}  // namespace
}  // namespace platform
