// The stored-file stream of the actions: a read-only guard and the choice of
// creation arguments over the block stream.
#include "container/FileStream.h"

#include "platform/Exception.h"

namespace {

std::unique_ptr<TSFSAdvancedFileStream> MakeBlockStream(TSingleFileSystem* Container, const std::string& FileName,
                                                        uint16_t Mode, const std::string& Password,
                                                        const std::string& Question, const std::string& Answer,
                                                        uint8_t Method) {
  // Only a new file takes the caller's question, answer and method; an
  // existing file keeps the method recorded in its own header.
  if (Mode == 0xFFFF)
    return std::make_unique<TSFSAdvancedFileStream>(Container, FileName, Mode, Password, Question, Answer, Method);
  return std::make_unique<TSFSAdvancedFileStream>(Container, FileName, Mode, Password, "", "", 0);
}

}  // namespace

TSFSFileStream::TSFSFileStream(TSingleFileSystem* Container, const std::string& FileName, uint16_t Mode,
                               const std::string& Password, const std::string& Question,
                               const std::string& Answer, uint8_t Method)
    : Mode(Mode),
      FileName(FileName),
      Password(Password),
      ReadOnly((Mode & 3) == 0),
      FStream(MakeBlockStream(Container, FileName, Mode, Password, Question, Answer, Method)) {
  FStream->OnProgress = OnProgress;
}

TSFSFileStream::~TSFSFileStream() = default;

void TSFSFileStream::SetSize(int32_t NewSize) { SetSize(static_cast<int64_t>(NewSize)); }

void TSFSFileStream::SetSize(int64_t NewSize) {
  if (ReadOnly) throw Exception("TSFSFileStream.SetSize - file is in read only mode.");
  FStream->SetSize(NewSize);
}

int32_t TSFSFileStream::Read(void* Buffer, int32_t Count) {
  FStream->OnProgress = OnProgress;
  return FStream->Read(Buffer, Count);
}

int32_t TSFSFileStream::Write(const void* Buffer, int32_t Count) {
  if (ReadOnly) throw Exception("TSFSFileStream.Write - file is in read only mode.");
  FStream->OnProgress = OnProgress;
  return FStream->Write(Buffer, Count);
}

int32_t TSFSFileStream::Seek(int32_t Offset, uint16_t Origin) { return FStream->Seek(Offset, Origin); }

int64_t TSFSFileStream::Seek(int64_t Offset, uint16_t Origin) { return FStream->Seek(Offset, Origin); }

void TSFSFileStream::SaveToFile(const std::string& Path) {
  FStream->OnProgress = OnProgress;
  FStream->SaveToFile(Path);
}

void TSFSFileStream::LoadFromFile(const std::string& Path) {
  FStream->OnProgress = OnProgress;
  FStream->LoadFromFile(Path);
}
