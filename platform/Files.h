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

}  // namespace platform
