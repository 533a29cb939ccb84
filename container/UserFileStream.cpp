// The raw stream over one stored file: each stream call is passed to the
// container's handle operation for the stream's handle.
#include "container/SingleFileSystem.h"
#include "platform/Exception.h"

namespace {

TSingleFileSystem& RequireContainer(TSingleFileSystem* Container) {
  if (Container == nullptr) throw Exception("TSFSUserFileStream.Create - Single file system = nil!");
  return *Container;
}

}  // namespace

TSFSUserFileStream::TSFSUserFileStream(TSingleFileSystem* Container, const std::string& FileName,
                                       uint16_t Mode, const std::string& Password,
                                       const std::string& Question, const std::string& Answer)
    : FileName(FileName), FContainer(RequireContainer(Container)) {
  FHandle = FContainer.FileOpen(FileName, Mode, Password, Question, Answer);
  if (FHandle < 0) throw Exception("TSFSUserFileStream.Create - unable to open file " + SFSQuoted(FileName));
}

TSFSUserFileStream::~TSFSUserFileStream() { FContainer.FileClose(FHandle); }

void TSFSUserFileStream::SetSize(int64_t NewSize) { FContainer.FileSetSize(FHandle, NewSize); }

int32_t TSFSUserFileStream::Read(void* Buffer, int32_t Count) {
  return FContainer.FileRead(FHandle, Buffer, Count);
}

int32_t TSFSUserFileStream::Write(const void* Buffer, int32_t Count) {
  return FContainer.FileWrite(FHandle, Buffer, Count);
}

int64_t TSFSUserFileStream::Seek(int64_t Offset, uint16_t Origin) {
  return FContainer.FileSeek(FHandle, Origin, Offset);
}
