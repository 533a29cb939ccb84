// The page file: container header, page input and output, page encryption
// and growth of the container file by whole pages.
#include "engine/PageFile.h"

#include <cstring>
#include <limits>

#include "crypto/ZUZCipher.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Files.h"

namespace {

constexpr uint16_t kModeCreate = 0xFFFF;
// The checksummed part of the container header: bytes 12 .. 255.
constexpr int32_t kHeaderChecksumOffset = 12;
constexpr int32_t kHeaderChecksumSize = kSFSFileHeaderSize - kHeaderChecksumOffset;

// The file-name part of a path ("\" and "/" both separate).
std::string FileNamePart(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

uint32_t HeaderChecksumOf(const TSFSFileHeader& header) {
  return CalcChecksum(reinterpret_cast<const uint8_t*>(&header) + kHeaderChecksumOffset, kHeaderChecksumSize,
                      ckXor32);
}

}  // namespace

TPageFileManager::TPageFileManager(const std::string& FileName, uint16_t Mode, const std::string& Password,
                                   const std::string& Question, const std::string& Answer, bool InMemory,
                                   int32_t PageSize, int32_t ExtentPageCount, int64_t PartSize) {
  // The argument checks apply to opening too, although the stored geometry is
  // used there.
  if (PageSize < kMinPageSize) {
    throw Exception("TPageFileManager.Create - page size should be >= " + std::to_string(kMinPageSize) +
                    "bytes .");
  }
  if (ExtentPageCount <= 0) {
    throw Exception("TPageFileManager.Create - extent page count should be >= 1 Page.");
  }
  this->FileName = FileName;
  this->InMemory = InMemory;
  ReadOnly = (Mode & 3) == 0;
  Exclusive = (Mode & 0x10) == 0x10;

  if (Mode == kModeCreate) {
    File = std::make_unique<TSFSHugeFile>(FileName, ReadOnly, Exclusive, InMemory, PartSize);
    // A failed create shows up as a write error when the header is saved.
    File->Open(true, false);
    std::memset(&Header, 0, sizeof(Header));
    std::memcpy(Header.Magic, kSFSMagic, sizeof(Header.Magic));
    Header.Version = kSFSVersion;
    Header.PageSize = PageSize;
    Header.ExtentPageCount = ExtentPageCount;
    Header.FirstExtentPage = 1;
    Header.PageCount = 1;
    Header.Encrypted = kEncryptionNone;
    if (!Password.empty()) {
      Header.Encrypted = kEncryptionRijndael;
      MakePasswordRecord(Header.PasswordRecord, Password, Question, Answer);
    }
    SaveHeader();
  } else {
    if (!platform::Files().Exists(FileName)) throw Exception("File '" + FileName + "' not found");
    File = std::make_unique<TSFSHugeFile>(FileName, ReadOnly, Exclusive, InMemory, -1);
    if (!File->Open(false, true)) {
      File.reset();
      throw Exception("File " + FileNamePart(FileName) + " has corrupted header.");
    }
    LoadHeader();
  }

  // The result is not looked at: the container's password is tested by its
  // owner before it opens the page file; a wrong one gives a wrong key.
  if (Header.Encrypted != 0) VerifyPassword(Header.PasswordRecord, Password, ContainerKey);
}

TPageFileManager::~TPageFileManager() = default;

bool TPageFileManager::HeaderGeometryUsable() const {
  return Header.PageSize >= kMinPageSize && Header.PageSize <= kMaxPageSize && Header.ExtentPageCount >= 1 &&
         Header.PageCount >= 1 && Header.FirstExtentPage == 1;
}

void TPageFileManager::LoadHeader() {
  // A header whose geometry would break the page arithmetic is refused like
  // a corrupted one.
  if (!CheckHeader(0) || !HeaderGeometryUsable()) {
    throw Exception("TSingleFileSystem.LoadHeader - Invalid ZUZ file, header is corrupted.");
  }
}

bool TPageFileManager::CheckHeader(int64_t Position) {
  File->Seek(Position, 0);
  File->ReadBuffer(&Header, kSFSFileHeaderSize);
  return std::memcmp(Header.Magic, kSFSMagic, sizeof(kSFSMagic)) == 0 &&
         Header.HeaderChecksum == HeaderChecksumOf(Header);
}

void TPageFileManager::SaveHeader() {
  if (ReadOnly) return;
  Header.HeaderChecksum = HeaderChecksumOf(Header);
  File->Seek(0, 0);
  File->WriteBuffer(&Header, kSFSFileHeaderSize);
}

int32_t TPageFileManager::PageDataSize() const { return Header.PageSize - kSFSPageHeaderSize; }

bool TPageFileManager::ReadPage(TSFSPage& Page, int32_t PageNo, int32_t DataSize, const std::string& Key,
                                bool SkipDecrypt) {
  LastError = 0;
  if (DataSize < 0) DataSize = PageDataSize();
  const std::string& key = Key.empty() ? ContainerKey : Key;

  // A page number before the file or beyond its end (a damaged chain) reads
  // no header; it is reported like a short read, not raised by the file layer.
  const int64_t position = static_cast<int64_t>(PageNo) * Header.PageSize;
  if (PageNo < 0 || position > File->GetSize()) {
    LastError = -7;
    return false;
  }
  File->Seek(position, 0);
  if (File->Read(&Page.Header, kSFSPageHeaderSize) < kSFSPageHeaderSize) {
    LastError = -7;
    return false;
  }
  if (DataSize == 0) return true;  // header only, no checksum test
  if (Page.pData == nullptr) throw Exception("TPageFileManager.ReadPage - pData is nil.");
  if (File->Read(Page.pData, DataSize) < DataSize) {
    LastError = -9;
    return false;
  }
  if (!VerifyChecksum(Page.pData, DataSize, Page.Header.ChecksumKind, Page.Header.Checksum)) {
    LastError = -11;
    return false;
  }
  if (!SkipDecrypt && !DecodeBuffer(Page.pData, DataSize, key, Page.Header.EncryptionType)) {
    LastError = -12;
    return false;
  }
  return true;
}

bool TPageFileManager::WritePage(TSFSPage& Page, int32_t PageNo, int32_t DataSize, const std::string& Key) {
  LastError = 0;
  if (DataSize < 0) DataSize = PageDataSize();
  const std::string& key = Key.empty() ? ContainerKey : Key;

  // Page 0 is the container header and nothing lies before it: a damaged page
  // number must never overwrite it. Reported like a failed header write,
  // before anything is encrypted or written.
  if (PageNo < 1) {
    LastError = -8;
    return false;
  }
  const bool hasData = Page.pData != nullptr && DataSize > 0;
  if (hasData) {
    if (!EncodeBuffer(Page.pData, DataSize, key, Page.Header.EncryptionType)) {
      LastError = -13;
      return false;
    }
    Page.Header.Checksum = CalcChecksum(Page.pData, DataSize, Page.Header.ChecksumKind);
  }
  File->Seek(static_cast<int64_t>(PageNo) * Header.PageSize, 0);
  if (File->Write(&Page.Header, kSFSPageHeaderSize) < kSFSPageHeaderSize) {
    LastError = -8;
    return false;
  }
  if (hasData && File->Write(Page.pData, DataSize) < DataSize) {
    LastError = -10;
    return false;
  }
  return true;
}

bool TPageFileManager::EncodeBuffer(void* Buffer, int32_t Size, const std::string& Key,
                                    uint8_t EncryptionType) {
  switch (EncryptionType) {
    case kEncryptionNone:
      return true;
    case kEncryptionRijndael:
      try {
        TCipher_Rijndael cipher(Key);
        cipher.EncryptBuffer(Buffer, Buffer, Size);
        return true;
      } catch (...) {
        return false;
      }
    default:
      throw Exception("TPageFileManager.EncodeBuffer - Unknown encryption type");
  }
}

bool TPageFileManager::DecodeBuffer(void* Buffer, int32_t Size, const std::string& Key,
                                    uint8_t EncryptionType) {
  switch (EncryptionType) {
    case kEncryptionNone:
      return true;
    case kEncryptionRijndael:
      try {
        TCipher_Rijndael cipher(Key);
        cipher.DecryptBuffer(Buffer, Buffer, Size);
        return true;
      } catch (...) {
        return false;
      }
    default:
      return false;
  }
}

bool TPageFileManager::AddPages(int32_t Count) {
  const int64_t newCount = static_cast<int64_t>(Header.PageCount) + Count;
  // Page numbers are signed 32-bit values.
  if (newCount < 1 || newCount > std::numeric_limits<int32_t>::max()) return false;
  const int64_t target = newCount * Header.PageSize;
  try {
    File->SetSize(target);
    if (File->GetSize() != target) return false;
  } catch (...) {
    return false;
  }
  Header.PageCount = static_cast<int32_t>(newCount);
  SaveHeader();
  return true;
}

void TPageFileManager::Flush() { File->Flush(); }

void TPageFileManager::InitPage(TSFSPage& Page) {
  Page.Header.NextPage = -1;
  Page.Header.EncryptionType = kEncryptionNone;
  Page.Header.ChecksumKind = static_cast<uint8_t>(ckXor32);
  Page.OwnedData = std::make_unique<uint8_t[]>(static_cast<size_t>(PageDataSize()));
  Page.pData = Page.OwnedData.get();
}

void TPageFileManager::DonePage(TSFSPage& Page) {
  Page.OwnedData.reset();
  Page.pData = nullptr;
}
