// Tests of the volume probe: the operating-system classes (newer versions
// than the table's last row count as its last class), the volume root of a
// file name and the part size for each file-system name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Service.h"
#include "platform/Volumes.h"

namespace {

using platform::OsVersionRecord;

class FakeVolumes : public platform::IVolumes {
 public:
  OsVersionRecord VersionRecord() override { return version; }
  bool FileSystemName(const std::string& r, const std::string& fileName, std::string& n) override {
    askedRoot = r;
    askedFile = fileName;
    n = name;
    return nameWorks;
  }
  bool FreeBytesAvailable(const std::string&, const std::string&, int64_t& bytes) override {
    bytes = freeBytes;
    return freeWorks;
  }

  OsVersionRecord version{2, 5, 2};
  std::string name = "NTFS";
  bool nameWorks = true;
  int64_t freeBytes = 0;
  bool freeWorks = true;
  std::string askedRoot, askedFile;
};

TEST(PartSize, OsClassTable) {
  struct Case {
    uint32_t platform, major, minor;
    int osClass;  // 0: "Can't Identify OS version"
  };
  const std::vector<Case> cases = {
      {0, 3, 10, 4}, {2, 3, 51, 4}, {1, 4, 0, 1}, {2, 4, 0, 5}, {1, 4, 10, 2}, {1, 4, 90, 3},
      {2, 5, 0, 6},  {2, 5, 1, 7},  {2, 5, 2, 8}, {2, 5, 3, 8}, {2, 6, 0, 8},  {2, 6, 1, 8},
      {2, 10, 0, 8}, {1, 4, 20, 0}, {2, 2, 0, 0}, {2, 4, 1, 0},
  };
  for (const Case& c : cases) {
    const OsVersionRecord v{c.platform, c.major, c.minor};
    const std::string what = std::to_string(c.major) + "." + std::to_string(c.minor);
    if (c.osClass == 0) {
      try {
        ClassifyOsVersion(v);
        ADD_FAILURE() << what << " classified";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Can't Identify OS version") << what;
      }
    } else {
      EXPECT_EQ(ClassifyOsVersion(v), c.osClass) << what;
    }
  }
}

TEST(PartSize, VolumeRootTable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\data\\store.dat", "C:\\"},
      {"a:store.dat", "a:\\"},
      {"\\\\server\\share\\dir\\store.dat", "\\\\server\\share\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"/tmp/store.dat", "\\"},
      {"store.dat", "\\"},
      {"", "\\"},
  };
  for (const auto& [name, root] : cases) EXPECT_EQ(VolumeRoot(name), root) << name;
}

TEST(PartSize, FileSystemTable) {
  struct Case {
    std::string file;
    OsVersionRecord version;
    std::string fsName;
    int64_t expected;
  };
  const OsVersionRecord xp{2, 5, 1}, nt4{2, 4, 0}, w98{1, 4, 10}, newer{2, 10, 0};
  const std::vector<Case> cases = {
      {"C:\\s.dat", xp, "FAT32", 4294967295LL},
      {"C:\\s.dat", newer, "FAT32", 4294967295LL},
      {"C:\\s.dat", w98, "FAT32", 2147483647LL},
      {"C:\\s.dat", nt4, "FAT32", 2147483647LL},
      {"C:\\s.dat", xp, "NTFS", 9223372036854775806LL},
      {"C:\\s.dat", xp, "FAT16", 2147483647LL},
      {"D:\\s.dat", xp, "CDFS", 0},
      {"A:\\s.dat", xp, "FAT", 1457664},
      {"B:\\s.dat", xp, "FAT", 1457664},
      {"C:\\s.dat", xp, "FAT", 2147483647LL},
      {"/tmp/s.dat", xp, "FAT", 2147483647LL},
      {"C:\\s.dat", xp, "ntfs", 0},  // names compare exactly
      {"C:\\s.dat", xp, "HPFS", 0},
  };
  for (const Case& c : cases) {
    FakeVolumes volumes;
    volumes.version = c.version;
    volumes.name = c.fsName;
    platform::ScopedService<platform::IVolumes> use(&platform::SetVolumes, volumes);
    EXPECT_EQ(GetPartSizeLimit(c.file), c.expected) << c.file << " " << c.fsName;
    EXPECT_EQ(volumes.askedRoot, VolumeRoot(c.file));
    EXPECT_EQ(volumes.askedFile, c.file);
  }
}

TEST(PartSize, UdfGivesTheFreeSpaceAndFailuresGiveZero) {
  FakeVolumes volumes;
  platform::ScopedService<platform::IVolumes> use(&platform::SetVolumes, volumes);
  volumes.name = "FS_UDF";
  volumes.freeBytes = 123456789;
  EXPECT_EQ(GetPartSizeLimit("E:\\s.dat"), 123456789);
  volumes.freeWorks = false;
  EXPECT_EQ(GetPartSizeLimit("E:\\s.dat"), 0);
  volumes.name = "NTFS";
  volumes.nameWorks = false;
  EXPECT_EQ(GetPartSizeLimit("E:\\s.dat"), 0);
}

TEST(PartSize, VolumesThatCannotHoldAContainerRefuseTheConstructor) {
  FakeVolumes volumes;
  platform::ScopedService<platform::IVolumes> use(&platform::SetVolumes, volumes);
  for (const char* name : {"CDFS", "HPFS"}) {
    volumes.name = name;
    try {
      TSFSHugeFile f("D:\\s.dat", true, false, true, -1);
      ADD_FAILURE() << name << " accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, "File part size is too small. Minimal part size is 380");
    }
  }
  volumes.name = "FS_UDF";
  volumes.freeBytes = 379;
  EXPECT_THROW(TSFSHugeFile("E:\\s.dat", true, false, true, -1), Exception);
  volumes.freeBytes = 380;
  TSFSHugeFile f("E:\\s.dat", true, false, true, -1);
  EXPECT_EQ(f.GetPartSize(), 380);
  // An explicit part size asks no volume.
  volumes.version = OsVersionRecord{2, 4, 20};
  TSFSHugeFile g("E:\\s.dat", true, false, true, 1000);
  EXPECT_EQ(g.GetPartSize(), 1000);
}

// This platform's own answers: a current system, and a Linux file system in
// /tmp that is no FAT, ISO 9660 or UDF volume, so parts are unbounded.
TEST(PartSize, ThisPlatformAllowsContainersInTmp) {
  EXPECT_EQ(ClassifyOsVersion(platform::OsVolumes().VersionRecord()), 8);
  std::string name;
  ASSERT_TRUE(platform::OsVolumes().FileSystemName("\\", "/tmp/s.dat", name));
  if (name != "NTFS") GTEST_SKIP() << "/tmp is on " << name;
  EXPECT_EQ(GetPartSizeLimit("/tmp/s.dat"), 9223372036854775806LL);
  TSFSHugeFile f("/tmp/s.dat", true, false, true, -1);
  EXPECT_EQ(f.GetPartSize(), 9223372036854775806LL);
}

}  // namespace
