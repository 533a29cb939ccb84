// The volume probe: the largest part size for the volume that will hold a
// multi-volume file, from the operating-system class and the file system of
// the volume.
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Volumes.h"

int ClassifyOsVersion(const platform::OsVersionRecord& version) {
  const uint32_t major = version.Major;
  const uint32_t minor = version.Minor;
  if (major == 3) return 4;
  if (major == 4 && minor == 0) return version.PlatformId == 1 ? 1 : 5;
  if (major == 4 && minor == 10) return 2;
  if (major == 4 && minor == 90) return 3;
  if (major == 5 && minor == 0) return 6;
  if (major == 5 && minor == 1) return 7;
  if (major == 5 && minor == 2) return 8;
  // Every version after the last known one behaves like it: refusing it would
  // make every container unusable on every current system.
  if (major > 5 || (major == 5 && minor > 2)) return 8;
  throw Exception("Can't Identify OS version");
}

std::string VolumeRoot(const std::string& fileName) {
  auto isDelim = [](char c) { return c == '\\' || c == '/'; };
  std::string drive;
  if (fileName.size() >= 2 && fileName[1] == ':') {
    drive = fileName.substr(0, 2);
  } else if (fileName.size() >= 2 && isDelim(fileName[0]) && isDelim(fileName[1])) {
    // "\\server\share": up to the separator that follows the share name.
    size_t i = 2;
    int delims = 0;
    while (i < fileName.size()) {
      if (isDelim(fileName[i]) && ++delims == 2) break;
      ++i;
    }
    drive = fileName.substr(0, i);
  }
  return drive + "\\";
}

int64_t GetPartSizeLimit(const std::string& fileName) {
  platform::IVolumes& volumes = platform::Volumes();
  const int osClass = ClassifyOsVersion(volumes.VersionRecord());
  const std::string root = VolumeRoot(fileName);
  std::string name;
  if (!volumes.FileSystemName(root, fileName, name)) return 0;
  if (name == "FAT32") return osClass == 6 || osClass == 7 || osClass == 8 ? 4294967295LL : 2147483647LL;
  if (name == "NTFS") return 9223372036854775806LL;
  if (name == "FAT16") return 2147483647LL;
  if (name == "CDFS") return 0;
  if (name == "FS_UDF") {
    int64_t bytes = 0;
    return volumes.FreeBytesAvailable(root, fileName, bytes) ? bytes : 0;
  }
  if (name == "FAT") return root == "A:\\" || root == "B:\\" ? 1457664 : 2147483647LL;
  return 0;
}
