// File services: what the system needs of the operating system's files.
//
// Paths are byte strings in the system code page; "\" is accepted as a path
// separator beside "/" (the Windows services accept both). Failures are
// results, never exceptions: the call that failed records an error code that
// LastErrorCode() returns and ErrorText() describes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Windows error numbers that LastErrorCode() reports (the names of the
// Windows constants in the comments).
constexpr uint32_t kErrorSuccess = 0;                 // ERROR_SUCCESS
constexpr uint32_t kErrorFileNotFound = 2;            // ERROR_FILE_NOT_FOUND
constexpr uint32_t kErrorPathNotFound = 3;            // ERROR_PATH_NOT_FOUND
constexpr uint32_t kErrorTooManyOpenFiles = 4;        // ERROR_TOO_MANY_OPEN_FILES
constexpr uint32_t kErrorAccessDenied = 5;            // ERROR_ACCESS_DENIED
constexpr uint32_t kErrorInvalidHandle = 6;           // ERROR_INVALID_HANDLE
constexpr uint32_t kErrorNotEnoughMemory = 8;         // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t kErrorWriteProtect = 19;           // ERROR_WRITE_PROTECT
constexpr uint32_t kErrorNotReady = 21;               // ERROR_NOT_READY
constexpr uint32_t kErrorSeek = 25;                   // ERROR_SEEK
constexpr uint32_t kErrorWriteFault = 29;             // ERROR_WRITE_FAULT
constexpr uint32_t kErrorReadFault = 30;              // ERROR_READ_FAULT
constexpr uint32_t kErrorGenFailure = 31;             // ERROR_GEN_FAILURE
constexpr uint32_t kErrorSharingViolation = 32;       // ERROR_SHARING_VIOLATION
constexpr uint32_t kErrorHandleEof = 38;              // ERROR_HANDLE_EOF
constexpr uint32_t kErrorNotSupported = 50;           // ERROR_NOT_SUPPORTED
constexpr uint32_t kErrorFileExists = 80;             // ERROR_FILE_EXISTS
constexpr uint32_t kErrorInvalidParameter = 87;       // ERROR_INVALID_PARAMETER
constexpr uint32_t kErrorDiskFull = 112;              // ERROR_DISK_FULL
constexpr uint32_t kErrorNegativeSeek = 131;          // ERROR_NEGATIVE_SEEK
constexpr uint32_t kErrorBusy = 170;                  // ERROR_BUSY
constexpr uint32_t kErrorFilenameExcedRange = 206;    // ERROR_FILENAME_EXCED_RANGE
constexpr uint32_t kErrorFileTooLarge = 223;          // ERROR_FILE_TOO_LARGE
constexpr uint32_t kErrorCantResolveFilename = 1921;  // ERROR_CANT_RESOLVE_FILENAME

// Access requested at open (GENERIC_READ / GENERIC_WRITE).
enum class FileAccess : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };

// What other openers may do while this open lasts (FILE_SHARE_*). Between
// processes this is emulated with advisory locks: an open with no sharing
// fails while anyone holds the file, and a sharing open fails while a holder
// without sharing has it.
enum class FileShare : uint32_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };

// CREATE_ALWAYS, OPEN_EXISTING, CREATE_NEW, OPEN_ALWAYS.
enum class FileDisposition : uint32_t { CreateAlways, OpenExisting, CreateNew, OpenAlways };

// One open file. Closed by its destructor.
class IFile {
 public:
  virtual ~IFile() = default;
  // Bytes read (fewer at the end, 0 at or past it), or -1 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Bytes written, or -1 on failure.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the file pointer; origin 0 begin, 1 current, 2 end. Returns the new
  // position or -1 on failure.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  // Sets the end of the file at the current position (cuts or extends).
  virtual bool SetEndOfFile() = 0;
  // Writes the file's buffers to the device.
  virtual bool Flush() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Opens or creates `path`; null on failure (LastErrorCode tells why).
  virtual std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, FileShare share,
                                      FileDisposition disposition) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool Remove(const std::string& path) = 0;
};

// The current file system (the operating system's by default).
IFileSystem& Files();
// Installs `fs` (not owned) and returns the previous override; nullptr goes
// back to the operating system's file system.
IFileSystem* SetFiles(IFileSystem* fs);
// The operating system's file system.
IFileSystem& OsFileSystem();

// The error code of the last failed platform call on this thread (Windows
// error numbers, so that codes read the same on every platform), and its text.
uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);
std::string ErrorText(uint32_t code);

// The Windows error number for an errno value (the one place where errno is
// translated). With `path`, ENOENT becomes kErrorPathNotFound when the folder
// that would hold the path is missing, as Windows tells the two apart.
uint32_t ErrorFromErrno(int err, const std::string* path = nullptr);

}  // namespace platform
