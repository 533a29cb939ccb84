// The file abstraction and its two implementations: the disk file over the
// platform's file services and the memory file over a byte vector.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Files.h"

// ---------------------------------------------------------------------------
// TSFSAbstractFile

TSFSAbstractFile::TSFSAbstractFile(const std::string& fileName, bool readOnly, bool exclusive)
    : FileName(fileName), Exclusive(exclusive), ReadOnly(readOnly) {}

void TSFSAbstractFile::SetExclusive(bool value) { Exclusive = value; }
void TSFSAbstractFile::SetPosition(int64_t value) { Seek(value, 0); }
int64_t TSFSAbstractFile::GetPosition() { return Seek(0, 1); }
void TSFSAbstractFile::SetReadOnly(bool value) { ReadOnly = value; }

int64_t TSFSAbstractFile::GetSize() {
  const int64_t position = Seek(0, 1);
  const int64_t size = Seek(0, 2);
  Seek(position, 0);
  return size;
}

void TSFSAbstractFile::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw EReadError("TSFSAbstractFile.ReadBuffer - Stream read error");
}

void TSFSAbstractFile::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw EWriteError("TSFSAbstractFile.WriteBuffer - Stream write error");
}

void TSFSAbstractFile::Reopen() {
  const int64_t position = GetPosition();
  Close();
  Open(false);
  SetPosition(position);
}

int64_t TSFSAbstractFile::CopyFrom(TSFSAbstractFile& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count <= 0) return count;
  const int32_t bufferSize = count > kCopyBufferSize ? kCopyBufferSize : static_cast<int32_t>(count);
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  int64_t remaining = count;
  while (remaining > 0) {
    const int32_t n = remaining < bufferSize ? static_cast<int32_t>(remaining) : bufferSize;
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    remaining -= n;
  }
  return count;
}

// ---------------------------------------------------------------------------
// TSFSDiskFile

TSFSDiskFile::TSFSDiskFile(const std::string& fileName, bool readOnly, bool exclusive)
    : TSFSAbstractFile(fileName, readOnly, exclusive) {}

TSFSDiskFile::~TSFSDiskFile() { Close(); }

// A closed file stays closed: only an open file is reopened with the new
// access or sharing.
void TSFSDiskFile::SetExclusive(bool value) {
  if (value == Exclusive) return;
  Exclusive = value;
  if (HasHandle()) Reopen();
}

void TSFSDiskFile::SetReadOnly(bool value) {
  if (value == ReadOnly) return;
  ReadOnly = value;
  if (HasHandle()) Reopen();
}

void TSFSDiskFile::SetSize(int64_t value) {
  if (!HasHandle()) {
    platform::SetLastErrorCode(platform::kErrorInvalidHandle);
  } else if (value < 0) {
    platform::SetLastErrorCode(platform::kErrorNegativeSeek);
  } else if (Seek(value, 0) == value && Handle->SetEndOfFile()) {
    return;
  }
  // A failed seek must not cut the file at some other position.
  const uint32_t code = platform::LastErrorCode();
  throw EOSError(code, platform::ErrorText(code));
}

void TSFSDiskFile::Close() {
  if (Handle) {
    Flush();
    Handle.reset();
  }
}

void TSFSDiskFile::Flush() {
  if (Handle) Handle->Flush();
}

bool TSFSDiskFile::Open(bool create) {
  Handle.reset();
  Handle = platform::Files().Open(
      FileName, ReadOnly ? platform::FileAccess::Read : platform::FileAccess::ReadWrite,
      Exclusive ? platform::FileShare::None : platform::FileShare::ReadWrite,
      create ? platform::FileDisposition::CreateAlways : platform::FileDisposition::OpenExisting);
  return Handle != nullptr;
}

int32_t TSFSDiskFile::Read(void* buffer, int32_t count) {
  if (!Handle) {
    platform::SetLastErrorCode(platform::kErrorInvalidHandle);
    return -1;
  }
  return Handle->Read(buffer, count);
}

int64_t TSFSDiskFile::Seek(int64_t offset, uint16_t origin) {
  if (!Handle) {
    platform::SetLastErrorCode(platform::kErrorInvalidHandle);
    return -1;
  }
  return Handle->Seek(offset, origin);
}

int32_t TSFSDiskFile::Write(const void* buffer, int32_t count) {
  if (!Handle) {
    platform::SetLastErrorCode(platform::kErrorInvalidHandle);
    return -1;
  }
  if (count == 0) {
    Handle->SetEndOfFile();
    return 0;
  }
  return Handle->Write(buffer, count);
}

// ---------------------------------------------------------------------------
// TSFSMemoryFile

TSFSMemoryFile::TSFSMemoryFile(const std::string& fileName, bool readOnly, bool exclusive)
    : TSFSAbstractFile(fileName, readOnly, exclusive) {}

TSFSMemoryFile::~TSFSMemoryFile() { Close(); }

void TSFSMemoryFile::SetSize(int64_t value) {
  if (!Stream) throw Exception("TSFSMemoryFile.SetSize - File is not open.");
  if (value < 0 || value > kMaxMemoryFileSize) throw Exception("Out of memory");
  Stream->resize(static_cast<size_t>(value));
  if (StreamPosition > value) StreamPosition = value;
}

void TSFSMemoryFile::Close() {
  Stream.reset();
  StreamPosition = 0;
}

void TSFSMemoryFile::Flush() {}

bool TSFSMemoryFile::Open(bool create) {
  if (!create) throw Exception("TSFSMemoryFile.Open - File cannot be open, only creation is available.");
  try {
    Stream = std::make_unique<std::vector<uint8_t>>();
  } catch (const std::bad_alloc&) {
    return false;
  }
  StreamPosition = 0;
  return true;
}

int32_t TSFSMemoryFile::Read(void* buffer, int32_t count) {
  if (!Stream) return -1;
  const int64_t size = static_cast<int64_t>(Stream->size());
  if (count <= 0 || StreamPosition < 0 || StreamPosition >= size) return 0;
  const int64_t n = std::min<int64_t>(count, size - StreamPosition);
  std::memcpy(buffer, Stream->data() + StreamPosition, static_cast<size_t>(n));
  StreamPosition += n;
  return static_cast<int32_t>(n);
}

// Positions are kept whole: a position beyond the largest content is not
// wrapped to a small one (a write there fails instead of landing elsewhere).
int64_t TSFSMemoryFile::Seek(int64_t offset, uint16_t origin) {
  if (!Stream) return -1;
  switch (origin) {
    case 0:
      StreamPosition = offset;
      break;
    case 1:
      StreamPosition += offset;
      break;
    case 2:
      StreamPosition = static_cast<int64_t>(Stream->size()) + offset;
      break;
    default:
      break;
  }
  return StreamPosition;
}

int32_t TSFSMemoryFile::Write(const void* buffer, int32_t count) {
  if (!Stream) return -1;
  if (count <= 0 || StreamPosition < 0) return 0;
  const int64_t end = StreamPosition + count;
  if (end > kMaxMemoryFileSize) return 0;
  if (end > static_cast<int64_t>(Stream->size())) {
    try {
      Stream->resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
      return 0;
    }
  }
  std::memcpy(Stream->data() + StreamPosition, buffer, static_cast<size_t>(count));
  StreamPosition = end;
  return count;
}
