// POSIX file services.
//
// Windows sharing is emulated with flock(2): an open without sharing takes an
// exclusive lock, any other open a shared lock, both without waiting. flock
// locks belong to the open file description, so two opens in one process
// conflict exactly as two processes do. A truncating open takes its lock
// before it cuts the file, so a refused open never destroys the holder's data.
// errno values become Windows error numbers in ErrorFromErrno only.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Service.h"

namespace platform {
namespace {

thread_local uint32_t lastError = 0;

// "\" is a separator as well as "/".
std::string NativePath(const std::string& path) {
  std::string out = path;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

// Whether the folder that would hold `nativePath` exists.
bool ParentExists(const std::string& nativePath) {
  const size_t slash = nativePath.find_last_of('/');
  if (slash == std::string::npos) return true;
  const std::string parent = slash == 0 ? std::string("/") : nativePath.substr(0, slash);
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class PosixFile final : public IFile {
 public:
  PosixFile(int fd, FileAccess access) : fd_(fd), access_(access) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int32_t Read(void* buffer, int32_t count) override {
    if (count < 0 || (count > 0 && buffer == nullptr)) return Fail(kErrorInvalidParameter);
    if (access_ == FileAccess::Write) return Fail(kErrorAccessDenied);
    ssize_t got;
    do got = ::read(fd_, buffer, static_cast<size_t>(count));
    while (got < 0 && errno == EINTR);
    if (got < 0) return Fail(ErrorFromErrno(errno));
    return static_cast<int32_t>(got);
  }

  int32_t Write(const void* buffer, int32_t count) override {
    if (count < 0 || (count > 0 && buffer == nullptr)) return Fail(kErrorInvalidParameter);
    if (access_ == FileAccess::Read) return Fail(kErrorAccessDenied);
    if (count == 0) return 0;
    ssize_t put;
    do put = ::write(fd_, buffer, static_cast<size_t>(count));
    while (put < 0 && errno == EINTR);
    if (put < 0) return Fail(ErrorFromErrno(errno));
    return static_cast<int32_t>(put);
  }

  int64_t Seek(int64_t offset, int origin) override {
    int whence;
    switch (origin) {
      case 0:
        whence = SEEK_SET;
        break;
      case 1:
        whence = SEEK_CUR;
        break;
      case 2:
        whence = SEEK_END;
        break;
      default:
        return Fail(kErrorInvalidParameter);
    }
    if (origin != 0 || offset < 0) {
      // Moving before the start is refused as Windows refuses it (lseek would
      // say EINVAL, which reads as a bad parameter).
      off_t base = 0;
      if (origin == 1) {
        base = ::lseek(fd_, 0, SEEK_CUR);
        if (base < 0) return Fail(ErrorFromErrno(errno));
      } else if (origin == 2) {
        struct stat st;
        if (::fstat(fd_, &st) < 0) return Fail(ErrorFromErrno(errno));
        base = st.st_size;
      }
      if (offset < 0 && base < -offset) return Fail(kErrorNegativeSeek);
    }
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos < 0) return Fail(ErrorFromErrno(errno));
    return static_cast<int64_t>(pos);
  }

  bool SetEndOfFile() override {
    if (access_ == FileAccess::Read) return Refuse(kErrorAccessDenied);
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) return Refuse(ErrorFromErrno(errno));
    int rc;
    do rc = ::ftruncate(fd_, pos);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) return Refuse(ErrorFromErrno(errno));
    return true;
  }

  bool Flush() override {
    if (::fsync(fd_) < 0) return Refuse(ErrorFromErrno(errno));
    return true;
  }

 private:
  static int32_t Fail(uint32_t code) {
    lastError = code;
    return -1;
  }
  static bool Refuse(uint32_t code) {
    lastError = code;
    return false;
  }

  int fd_;
  FileAccess access_;
};

class PosixFileSystem final : public IFileSystem {
 public:
  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, FileShare share,
                              FileDisposition disposition) override {
    const std::string native = NativePath(path);
    if (native.empty() || native.find('\0') != std::string::npos) {
      lastError = kErrorPathNotFound;
      return nullptr;
    }
    int flags = O_CLOEXEC;
    switch (access) {
      case FileAccess::Read:
        flags |= O_RDONLY;
        break;
      case FileAccess::Write:
        flags |= O_WRONLY;
        break;
      case FileAccess::ReadWrite:
        flags |= O_RDWR;
        break;
      default:
        lastError = kErrorInvalidParameter;
        return nullptr;
    }
    bool truncate = false;
    switch (disposition) {
      case FileDisposition::CreateAlways:
        flags |= O_CREAT;
        truncate = true;
        break;
      case FileDisposition::OpenExisting:
        break;
      case FileDisposition::CreateNew:
        flags |= O_CREAT | O_EXCL;
        break;
      case FileDisposition::OpenAlways:
        flags |= O_CREAT;
        break;
      default:
        lastError = kErrorInvalidParameter;
        return nullptr;
    }
    int fd;
    do fd = ::open(native.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      lastError = ErrorFromErrno(errno, &native);
      return nullptr;
    }
    auto file = std::make_unique<PosixFile>(fd, access);  // closes fd on every path below
    struct stat st;
    if (::fstat(fd, &st) < 0) {
      lastError = ErrorFromErrno(errno);
      return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {  // Windows refuses to open a folder as a file
      lastError = kErrorAccessDenied;
      return nullptr;
    }
    const int lock = (share == FileShare::None ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do rc = ::flock(fd, lock);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
      lastError = ErrorFromErrno(errno);
      return nullptr;
    }
    if (truncate && st.st_size != 0) {
      // The descriptor may be read-only; cut through a second one, which
      // does not touch the lock held by the first.
      int wfd = access == FileAccess::Read ? ::open(native.c_str(), O_WRONLY | O_CLOEXEC) : fd;
      if (wfd < 0) {
        lastError = ErrorFromErrno(errno, &native);
        return nullptr;
      }
      rc = ::ftruncate(wfd, 0);
      const int err = errno;
      if (wfd != fd) ::close(wfd);
      if (rc < 0) {
        lastError = ErrorFromErrno(err);
        return nullptr;
      }
    }
    return file;
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    const std::string native = NativePath(path);
    if (native.empty() || ::stat(native.c_str(), &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
  }

  bool Remove(const std::string& path) override {
    const std::string native = NativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      lastError = kErrorAccessDenied;
      return false;
    }
    if (::unlink(native.c_str()) != 0) {
      lastError = ErrorFromErrno(errno, &native);
      return false;
    }
    return true;
  }
};

ServiceSlot<IFileSystem> slot(&OsFileSystem);

}  // namespace

uint32_t ErrorFromErrno(int err, const std::string* path) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      if (path != nullptr && !ParentExists(NativePath(*path))) return kErrorPathNotFound;
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EROFS:
      return kErrorWriteProtect;
    case EBADF:
      return kErrorInvalidHandle;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EFBIG:
      return kErrorFileTooLarge;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EBUSY:
    case ETXTBSY:
      return kErrorBusy;
    case ENXIO:
    case ENODEV:
      return kErrorNotReady;
    case EOPNOTSUPP:
      return kErrorNotSupported;
    case ESPIPE:
      return kErrorSeek;
    case EIO:
      return kErrorGenFailure;
    default:
      return kErrorGenFailure;
  }
}

IFileSystem& OsFileSystem() {
  static PosixFileSystem fs;
  return fs;
}
IFileSystem& Files() { return slot.Get(); }
IFileSystem* SetFiles(IFileSystem* fs) { return slot.Set(fs); }

uint32_t LastErrorCode() { return lastError; }
void SetLastErrorCode(uint32_t code) { lastError = code; }

std::string ErrorText(uint32_t code) {
  switch (code) {
    case kErrorSuccess:
      return "The operation completed successfully.";
    case kErrorFileNotFound:
      return "The system cannot find the file specified.";
    case kErrorPathNotFound:
      return "The system cannot find the path specified.";
    case kErrorTooManyOpenFiles:
      return "The system cannot open the file.";
    case kErrorAccessDenied:
      return "Access is denied.";
    case kErrorInvalidHandle:
      return "The handle is invalid.";
    case kErrorNotEnoughMemory:
      return "Not enough storage is available to process this command.";
    case kErrorWriteProtect:
      return "The media is write protected.";
    case kErrorNotReady:
      return "The device is not ready.";
    case kErrorSeek:
      return "The drive cannot locate a specific area or track on the disk.";
    case kErrorWriteFault:
      return "The system cannot write to the specified device.";
    case kErrorReadFault:
      return "The system cannot read from the specified device.";
    case kErrorGenFailure:
      return "A device attached to the system is not functioning.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorHandleEof:
      return "Reached the end of the file.";
    case kErrorNotSupported:
      return "The request is not supported.";
    case kErrorFileExists:
      return "The file exists.";
    case kErrorInvalidParameter:
      return "The parameter is incorrect.";
    case kErrorDiskFull:
      return "There is not enough space on the disk.";
    case kErrorNegativeSeek:
      return "An attempt was made to move the file pointer before the beginning of the file.";
    case kErrorBusy:
      return "The requested resource is in use.";
    case kErrorFilenameExcedRange:
      return "The filename or extension is too long.";
    case kErrorFileTooLarge:
      return "The file size exceeds the limit allowed and cannot be saved.";
    case kErrorCantResolveFilename:
      return "The name of the file cannot be resolved by the system.";
    default:
      return "System error " + std::to_string(code) + ".";
  }
}

}  // namespace platform
