// The stream the storage actions read and write one stored file with. It
// wraps one block stream (which owns the raw stream and so the container
// handle), adds a read-only mode and decides which creation arguments reach
// the layers below.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "container/AdvancedFileStream.h"
#include "platform/Stream.h"

class TSingleFileSystem;

class TSFSFileStream : public TStream {
 public:
  // Mode 0xFFFF creates the stored file with every argument; any other mode
  // opens it with empty Question and Answer and Method 0, so an opened file
  // keeps its own method. Errors of the block stream propagate.
  TSFSFileStream(TSingleFileSystem* Container, const std::string& FileName, uint16_t Mode,
                 const std::string& Password, const std::string& Question, const std::string& Answer,
                 uint8_t Method);
  // Frees the block stream, which closes the handle.
  ~TSFSFileStream() override;

  // Raises "TSFSFileStream.SetSize - file is in read only mode." when read only.
  void SetSize(int32_t NewSize) override;
  void SetSize(int64_t NewSize) override;
  int32_t Read(void* Buffer, int32_t Count) override;
  // Raises "TSFSFileStream.Write - file is in read only mode." when read only.
  int32_t Write(const void* Buffer, int32_t Count) override;
  int32_t Seek(int32_t Offset, uint16_t Origin) override;
  int64_t Seek(int64_t Offset, uint16_t Origin) override;

  // Whole-file copies to and from disk; they do not look at ReadOnly.
  void SaveToFile(const std::string& Path);
  void LoadFromFile(const std::string& Path);

  TSFSAdvancedFileStream& Stream() { return *FStream; }

  // Copied into the block stream before each transfer.
  TSFSProgressEvent OnProgress;
  const uint16_t Mode;
  const std::string FileName;
  const std::string Password;
  const bool ReadOnly;

 private:
  std::unique_ptr<TSFSAdvancedFileStream> FStream;
};
