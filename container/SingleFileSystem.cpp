// The container object: construction and destruction in strict order, and
// the handle-based file operations over the directory, the page maps and the
// page file.
#include "container/SingleFileSystem.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/ZUZPassword.h"
#include "engine/Directory.h"
#include "engine/EngineContainers.h"
#include "engine/EngineUtils.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "engine/PageMaps.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"

namespace {

constexpr int32_t kPageSize = 4096;
constexpr int32_t kExtentPageCount = 8;
constexpr int64_t kPartSize = -1;
constexpr int32_t kErrNoSpace = -17;
constexpr int32_t kErrHandleNotOpen = -6;
constexpr int32_t kErrFileInUse = -16;

// Takes back ownership of a record kept in the handle table.
void FreeRecord(void* p) { std::unique_ptr<TUserFileHandle> owned(static_cast<TUserFileHandle*>(p)); }

const std::string kEmptyKey;

}  // namespace

std::string SFSQuoted(const std::string& Text) {
  std::string out = "\"";
  for (char c : Text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

bool TSingleFileSystem::CheckPassword(const std::string& FileName, const std::string& Password) {
  TPageFileManager probe(FileName, 0, Password, "", "", false, kPageSize, kExtentPageCount, kPartSize);
  if (probe.Header.Encrypted != 0) {
    std::string key;
    if (!VerifyPassword(probe.Header.PasswordRecord, Password, key)) return false;
  }
  return true;
}

TSingleFileSystem::TSingleFileSystem(const std::string& FileName, uint16_t Mode, const std::string& Password,
                                     const std::string& Question, const std::string& Answer,
                                     uint8_t DefaultCompression) {
  if (Mode != kModeCreate && !CheckPassword(FileName, Password)) {
    throw Exception("TSingleFileSystem.Create - invalid password specified, file name = " +
                    SFSQuoted(FileName));
  }
  try {
    PFM = std::make_unique<TPageFileManager>(FileName, Mode, Password, Question, Answer, false, kPageSize,
                                             kExtentPageCount, kPartSize);
    if (Mode == kModeCreate) SetDefaultCompression(DefaultCompression);
    FSM = std::make_unique<TFreeSpaceManager>(*PFM);
    DIR = std::make_unique<TDIRManager>(*PFM, *FSM);
    UFM = std::make_unique<TUserFilePageMapManager>(*PFM, *FSM);
    Handles = std::make_unique<TSortedPtrArray>(0, 16, 1024);
  } catch (...) {
    ReleaseAll();
    throw;
  }
}

TSingleFileSystem::~TSingleFileSystem() {
  if (Handles) {
    for (int32_t i = 0; i < Handles->ItemCount(); ++i) FreeRecord(Handles->Pointer(i));
    Handles->SetSize(0);
  }
  try {
    ReleaseAll();
  } catch (...) {
    // A destructor must not throw; a failed flush leaves nothing to release.
  }
}

void TSingleFileSystem::ReleaseAll() {
  struct Releaser {
    TSingleFileSystem& s;
    ~Releaser() {
      s.UFM.reset();
      s.DIR.reset();
      s.FSM.reset();
      s.PFM.reset();
      s.Handles.reset();
    }
  } releaser{*this};
  if (PFM) PFM->Flush();
}

bool TSingleFileSystem::IsEncrypted() const { return PFM->Header.Encrypted != 0; }

uint8_t TSingleFileSystem::GetDefaultCompression() const { return PFM->Header.DefaultCompression; }

void TSingleFileSystem::SetDefaultCompression(uint8_t Method) {
  PFM->Header.DefaultCompression = Method;
  if (!PFM->ReadOnly) PFM->SaveHeader();
}

void TSingleFileSystem::NoSpace() {
  if (OnNoSpace) OnNoSpace(*this);
}

TUserFileHandle* TSingleFileSystem::FindHandle(int32_t Handle) const {
  return static_cast<TUserFileHandle*>(Handles->Find(Handle));
}

const std::string& TSingleFileSystem::PageKey(const TUserFileHandle& H, uint8_t HasPassword) const {
  if (HasPassword != 0) return H.FileKey;
  if (IsEncrypted()) return PFM->ContainerKey;
  return kEmptyKey;
}

bool TSingleFileSystem::FileExists(const std::string& FileName) { return DIR->FindPath(FileName) >= 0; }

int32_t TSingleFileSystem::FileCreate(const std::string& FileName, const std::string& Password,
                                      const std::string& Question, const std::string& Answer) {
  if (FileExists(FileName) && !DeleteFile(FileName)) return kErrFileInUse;
  const int32_t n = DIR->CreateItem(FileName, Password, Question, Answer);
  if (n < 0) {
    ErrorCode = DIR->LastError;
    if (ErrorCode == kErrNoSpace) NoSpace();
  }
  return n;
}

void TSingleFileSystem::RequestPassword(const std::string& FileName, std::string& Password, bool& Cancel) {
  if (OnPassword) {
    OnPassword(*this, FileName, Password, Cancel);
    return;
  }
  std::string value = Password;
  Cancel = !platform::Dialogs().InputQuery("Password for " + SFSQuoted(FileName), "Enter password: ", value);
  if (!Cancel) Password = value;
}

int32_t TSingleFileSystem::FileOpen(const std::string& FileName, uint16_t Mode, const std::string& Password,
                                    const std::string& Question, const std::string& Answer) {
  std::string password = Password;
  if (Mode == kModeCreate) {
    FileCreate(FileName, password, Question, Answer);
  } else if (FileExists(FileName) && !DIR->CheckItemPassword(FileName, password)) {
    bool passed = false;
    bool cancel = false;
    do {
      RequestPassword(FileName, password, cancel);
      passed = DIR->CheckItemPassword(FileName, password);
    } while (!passed && !cancel);
    if (!passed) return -1;
  }
  std::string key;
  const int32_t n = DIR->OpenItem(FileName, password, key);
  if (n < 0) return n;
  auto record = std::make_unique<TUserFileHandle>();
  record->ItemIndex = n;
  record->Position = 0;
  record->FileKey = key;
  record->Mode = Mode;
  const int32_t handle = Handles->NextKey();
  Handles->Add(handle, record.get());
  record.release();
  return handle;
}

void TSingleFileSystem::FileClose(int32_t Handle) {
  TUserFileHandle* h = FindHandle(Handle);
  if (h == nullptr) return;
  DIR->ReleaseItem(h->ItemIndex);
  Handles->Delete(Handle);
  FreeRecord(h);
}

int32_t TSingleFileSystem::FileRead(int32_t Handle, void* Buffer, int32_t Count) {
  ErrorCode = 0;
  TUserFileHandle* h = FindHandle(Handle);
  if (h == nullptr) return 0;
  TDIRItem item = DIR->ReadItem(h->ItemIndex);
  const int64_t size = item.Size;
  const int64_t n = (h->Position + Count < size) ? static_cast<int64_t>(Count) : size - h->Position;
  if (n <= 0) return 0;

  TIntegerArray pages(0, 16, 1024);
  UFM->GetPageList(item, false, h->Position, n, pages);
  if (pages.ItemCount() == 0) throw Exception("TSingleFileSystem.FileRead - no pages were found by UFM.");

  const std::string& key = PageKey(*h, item.HasPassword);
  const int32_t dataSize = PFM->PageDataSize();
  TSFSPage page;
  PFM->InitPage(page);
  auto* out = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  for (int32_t i = 0; i < pages.ItemCount() && done < n; ++i) {
    const int32_t offset = (i == 0) ? static_cast<int32_t>(h->Position % dataSize) : 0;
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(dataSize - offset, n - done));
    if (!PFM->ReadPage(page, pages[i], dataSize, key, false)) {
      ErrorCode = PFM->LastError;
      break;
    }
    std::memcpy(out + done, page.pData + offset, static_cast<size_t>(chunk));
    done += chunk;
  }
  PFM->DonePage(page);
  h->Position += done;
  return static_cast<int32_t>(done);
}

bool TSingleFileSystem::ClearTail(const TUserFileHandle& H, TDIRItem& Item) {
  const int32_t dataSize = PFM->PageDataSize();
  const int64_t size = Item.Size;
  if (size <= 0 || size % dataSize == 0 || Item.FirstMapPageNo == -1) return true;
  TIntegerArray pages(0, 16, 1024);
  UFM->GetPageList(Item, false, size - 1, 1, pages);
  if (pages.ItemCount() == 0) return true;
  const std::string& key = PageKey(H, Item.HasPassword);
  TSFSPage page;
  PFM->InitPage(page);
  bool ok = PFM->ReadPage(page, pages[0], dataSize, key, false);
  if (ok) {
    const int32_t offset = static_cast<int32_t>(size % dataSize);
    std::memset(page.pData + offset, 0, static_cast<size_t>(dataSize - offset));
    page.Header.PageType = kPageTypeFileData;
    page.Header.EncryptionType = Item.HasPassword != 0 ? Item.HasPassword : PFM->Header.Encrypted;
    page.Header.ChecksumKind = 0;
    ok = PFM->WritePage(page, pages[0], dataSize, key);
  }
  PFM->DonePage(page);
  if (!ok) ErrorCode = PFM->LastError;
  return ok;
}

int32_t TSingleFileSystem::FileWrite(int32_t Handle, const void* Buffer, int32_t Count) {
  ErrorCode = 0;
  if (Count <= 0) return 0;
  TUserFileHandle* h = FindHandle(Handle);
  if (h == nullptr) return 0;
  TDIRItem item = DIR->ReadItem(h->ItemIndex);
  // Bytes past the end of a file cut inside a page must read back as zeros
  // once a write beyond the end takes them into the file again.
  if (h->Position > item.Size && !ClearTail(*h, item)) return 0;
  TIntegerArray pages(0, 16, 1024);
  if (!UFM->GetPageList(item, true, h->Position, Count, pages)) {
    if (UFM->LastError == kErrNoSpace) NoSpace();
    ErrorCode = UFM->LastError;
    return 0;
  }
  if (pages.ItemCount() == 0) return 0;

  const std::string& key = PageKey(*h, item.HasPassword);
  const uint8_t encryption = item.HasPassword != 0 ? item.HasPassword : PFM->Header.Encrypted;
  const int32_t dataSize = PFM->PageDataSize();
  TSFSPage page;
  PFM->InitPage(page);
  const auto* in = static_cast<const uint8_t*>(Buffer);
  int64_t done = 0;
  for (int32_t i = 0; i < pages.ItemCount() && done < Count; ++i) {
    const int32_t offset = (i == 0) ? static_cast<int32_t>(h->Position % dataSize) : 0;
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(dataSize - offset, Count - done));
    if (offset > 0 || chunk < dataSize) {
      if (!PFM->ReadPage(page, pages[i], dataSize, key, false)) {
        ErrorCode = PFM->LastError;
        break;
      }
    }
    std::memcpy(page.pData + offset, in + done, static_cast<size_t>(chunk));
    page.Header.PageType = kPageTypeFileData;
    page.Header.EncryptionType = encryption;
    page.Header.ChecksumKind = 0;
    if (!PFM->WritePage(page, pages[i], dataSize, key)) {
      ErrorCode = PFM->LastError;
      break;
    }
    done += chunk;
  }
  PFM->DonePage(page);
  h->Position += done;
  if (h->Position > item.Size || item.Size == 0) item.Size = h->Position;
  platform::FileTimeValue now = 0;
  GetCurrentFileTime(now);
  item.LastWriteTime = now;
  DIR->WriteItem(h->ItemIndex, item);
  return static_cast<int32_t>(done);
}

int64_t TSingleFileSystem::FileSeek(int32_t Handle, int32_t Origin, int64_t Offset) {
  TUserFileHandle* h = FindHandle(Handle);
  if (h == nullptr) return 0;
  switch (Origin) {
    case 0:
      h->Position = Offset;
      break;
    case 1:
      h->Position += Offset;
      break;
    case 2:
      h->Position = DIR->ReadItem(h->ItemIndex).Size + Offset;
      break;
    default:
      break;
  }
  return h->Position;
}

int64_t TSingleFileSystem::FileSetSize(int32_t Handle, int64_t NewSize) {
  TUserFileHandle* h = FindHandle(Handle);
  if (h == nullptr) return kErrHandleNotOpen;
  TDIRItem item = DIR->ReadItem(h->ItemIndex);
  // Growing takes the stale tail of a cut last page back into the file.
  if (NewSize > item.Size && !ClearTail(*h, item)) return ErrorCode;
  if (UFM->SetFileSize(item, true, NewSize)) {
    item.Size = NewSize;
    platform::FileTimeValue now = 0;
    GetCurrentFileTime(now);
    item.LastWriteTime = now;
    DIR->WriteItem(h->ItemIndex, item);
    h->Position = NewSize;
    return NewSize;
  }
  if (UFM->LastError == kErrNoSpace) NoSpace();
  ErrorCode = UFM->LastError;
  return static_cast<int64_t>(ErrorCode);
}

bool TSingleFileSystem::DeleteFile(const std::string& FileName) {
  const int32_t n = DIR->FindPath(FileName);
  if (n < 0 || DIR->GetOpenCount(n) > 0) return false;
  TDIRItem item = DIR->ReadItem(n);
  item.Deleted = 1;
  platform::FileTimeValue now = 0;
  GetCurrentFileTime(now);
  item.LastWriteTime = now;
  item.LastAccessTime = now;
  UFM->SetFileSize(item, false, 0);
  item.Size = 0;
  DIR->WriteItem(n, item);
  return true;
}

int32_t TSingleFileSystem::FindFirst(const std::string& Path, int32_t Attr, TSFSSearchRec& F) {
  return DIR->FindFirst(Path, Attr, F);
}

int32_t TSingleFileSystem::FindNext(TSFSSearchRec& F) { return DIR->FindNext(F); }

void TSingleFileSystem::FindClose(TSFSSearchRec& F) { DIR->FindClose(F); }
