// System and volume queries behind the volume part-size probe.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The operating-system version record (platform id, major, minor version).
struct OsVersionRecord {
  uint32_t PlatformId = 0;
  uint32_t Major = 0;
  uint32_t Minor = 0;
};

class IVolumes {
 public:
  virtual ~IVolumes() = default;
  virtual OsVersionRecord VersionRecord() = 0;
  // The file-system name of the volume that holds (or will hold) `fileName`;
  // `root` is the root the caller derived from it ("C:\", "\", "\\srv\share\").
  // False when the volume cannot be asked.
  virtual bool FileSystemName(const std::string& root, const std::string& fileName, std::string& name) = 0;
  // Free bytes on that volume available to the caller; false on failure.
  virtual bool FreeBytesAvailable(const std::string& root, const std::string& fileName, int64_t& bytes) = 0;
};

IVolumes& Volumes();
IVolumes* SetVolumes(IVolumes* volumes);
IVolumes& OsVolumes();

// The file-system name reported for a volume whose statfs type is `magic`
// and whose mount-table type is `mountType` (may be empty when unknown):
// vfat "FAT32", msdos "FAT", ISO 9660 "CDFS", UDF "FS_UDF", and "NTFS" for
// every other file system (they all hold files far beyond 4 GiB).
std::string FileSystemNameForType(uint64_t magic, const std::string& mountType);

}  // namespace platform
