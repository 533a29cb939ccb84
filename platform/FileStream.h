// A byte stream over a disk file, opened through the platform file services
// (platform::Files()), so tests can run it over a memory file system.
//
// The stored-file streams copy whole files to and from disk with it: the
// extract side creates or empties the target, the put side opens the source
// for reading while others may read but not write it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Exception.h"
#include "platform/Stream.h"

namespace platform {
class IFile;
}

// Raised when a disk file cannot be created or opened; the message names the
// file and the system's reason.
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TFileStream : public TStream {
 public:
  enum class OpenMode {
    Create,            // create or empty the file, read and write, no sharing
    OpenReadDenyWrite  // open an existing file for reading, others may only read
  };

  // Raises EFCreateError "Cannot create file \"path\". reason" or
  // EFOpenError "Cannot open file \"path\". reason".
  TFileStream(const std::string& Path, OpenMode Mode);
  ~TFileStream() override;

  using TStream::Seek;
  using TStream::SetSize;
  // Cuts or extends the file at NewSize; raises EStreamError on failure.
  void SetSize(int64_t NewSize) override;
  // Bytes moved; 0 on failure.
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  // New position, or -1 when the system refuses the seek.
  int64_t Seek(int64_t Offset, uint16_t Origin) override;

  const std::string FileName;

 private:
  std::unique_ptr<platform::IFile> FFile;
};
