// POSIX volume queries behind the part-size probe.
//
// The version record is that of the newest system the part-size table knows
// (NT platform, 5.2), which gives files beyond 4 GiB where the file system
// allows them. The file-system name comes from statfs of the folder that
// holds (or will hold) the file, mapped to the names the table uses; FAT
// volumes are told apart (vfat or msdos) by the mount table.
#include "platform/Volumes.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "platform/Service.h"

namespace platform {
namespace {

constexpr uint64_t kMsdosMagic = 0x4d44;
constexpr uint64_t kIso9660Magic = 0x9660;
constexpr uint64_t kUdfMagic = 0x15013346;

// The folder holding `fileName` ("\" read as "/"); "." for a bare name.
std::string FolderOf(const std::string& fileName) {
  std::string path = fileName;
  for (char& c : path)
    if (c == '\\') c = '/';
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The mount-table type of the file system on device `dev`, or "" when the
// table cannot be read. /proc/self/mountinfo lines read
// "id parent major:minor root mountpoint options [tags] - type source ...".
std::string MountType(dev_t dev) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string want = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devField, word;
    if (!(fields >> id >> parent >> devField) || devField != want) continue;
    while (fields >> word)
      if (word == "-") break;
    std::string type;
    if (fields >> type) return type;
  }
  return "";
}

class PosixVolumes final : public IVolumes {
 public:
  OsVersionRecord VersionRecord() override { return OsVersionRecord{2, 5, 2}; }

  bool FileSystemName(const std::string& /*root*/, const std::string& fileName, std::string& name) override {
    const std::string folder = FolderOf(fileName);
    struct statfs fs;
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    const auto magic = static_cast<uint64_t>(fs.f_type);
    std::string mountType;
    if (magic == kMsdosMagic) {
      struct stat st;
      if (::stat(folder.c_str(), &st) == 0) mountType = MountType(st.st_dev);
    }
    name = FileSystemNameForType(magic, mountType);
    return true;
  }

  bool FreeBytesAvailable(const std::string& /*root*/, const std::string& fileName, int64_t& bytes) override {
    struct statvfs vfs;
    if (::statvfs(FolderOf(fileName).c_str(), &vfs) != 0) return false;
    bytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    return true;
  }
};

ServiceSlot<IVolumes> slot(&OsVolumes);

}  // namespace

std::string FileSystemNameForType(uint64_t magic, const std::string& mountType) {
  if (magic == kMsdosMagic) return mountType == "msdos" ? "FAT" : "FAT32";
  if (magic == kIso9660Magic) return "CDFS";
  if (magic == kUdfMagic) return "FS_UDF";
  return "NTFS";
}

IVolumes& OsVolumes() {
  static PosixVolumes volumes;
  return volumes;
}
IVolumes& Volumes() { return slot.Get(); }
IVolumes* SetVolumes(IVolumes* volumes) { return slot.Set(volumes); }

}  // namespace platform
