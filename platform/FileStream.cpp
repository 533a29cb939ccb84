// Disk-file stream over the platform file services.
#include "platform/FileStream.h"

#include "platform/Files.h"

namespace {

std::string Reason() { return platform::ErrorText(platform::LastErrorCode()); }

}  // namespace

TFileStream::TFileStream(const std::string& Path, OpenMode Mode) : FileName(Path) {
  if (Mode == OpenMode::Create) {
    FFile = platform::Files().Open(Path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                   platform::FileDisposition::CreateAlways);
    if (!FFile) throw EFCreateError("Cannot create file \"" + Path + "\". " + Reason());
  } else {
    FFile = platform::Files().Open(Path, platform::FileAccess::Read, platform::FileShare::Read,
                                   platform::FileDisposition::OpenExisting);
    if (!FFile) throw EFOpenError("Cannot open file \"" + Path + "\". " + Reason());
  }
}

TFileStream::~TFileStream() = default;

void TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0 || FFile->Seek(NewSize, 0) != NewSize || !FFile->SetEndOfFile())
    throw EStreamError("Cannot set the size of file \"" + FileName + "\". " + Reason());
}

int32_t TFileStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int32_t n = FFile->Read(Buffer, Count);
  return n < 0 ? 0 : n;
}

int32_t TFileStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int32_t n = FFile->Write(Buffer, Count);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t Offset, uint16_t Origin) { return FFile->Seek(Offset, Origin); }
