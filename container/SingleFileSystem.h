// The container object: opens or creates one container file, checks its
// password, builds the engine managers over the page file and offers a small
// handle-based file interface (open, read, write, seek, resize, delete,
// search) over the stored files. Streams over one stored file
// (TSFSUserFileStream) are built on the handle interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/DirItem.h"
#include "engine/DirTable.h"
#include "platform/Stream.h"

class TPageFileManager;
class TDIRManager;
class TFreeSpaceManager;
class TUserFilePageMapManager;
class TSortedPtrArray;

// Mode word that asks for a new container or stored file.
constexpr uint16_t kModeCreate = 0xFFFF;

// One open stored file: the directory item, the byte position, the mode the
// handle was opened with and the key of the file's own password (empty when
// the file has none).
struct TUserFileHandle {
  int32_t ItemIndex = -1;
  int64_t Position = 0;
  int32_t Mode = 0;
  std::string FileKey;
};

class TSingleFileSystem {
 public:
  using TNoSpaceEvent = std::function<void(TSingleFileSystem& Sender)>;
  using TPasswordEvent = std::function<void(TSingleFileSystem& Sender, const std::string& FileName,
                                            std::string& Password, bool& Cancel)>;

  // Opens (Mode != 0xFFFF) or creates (Mode == 0xFFFF) the container. When
  // opening, a wrong password raises "TSingleFileSystem.Create - invalid
  // password specified, file name = " and the quoted name before anything is
  // built; DefaultCompression is stored only when creating. Errors of the
  // page file and the managers propagate; whatever was built is released.
  TSingleFileSystem(const std::string& FileName, uint16_t Mode, const std::string& Password,
                    const std::string& Question, const std::string& Answer, uint8_t DefaultCompression);
  // Frees the open handle records, flushes the page file, frees the managers.
  ~TSingleFileSystem();
  TSingleFileSystem(const TSingleFileSystem&) = delete;
  TSingleFileSystem& operator=(const TSingleFileSystem&) = delete;

  // True when the container is protected by a password. An unprotected
  // container accepts any password. Raises what opening the page file raises.
  static bool CheckPassword(const std::string& FileName, const std::string& Password);

  bool IsEncrypted() const;
  uint8_t GetDefaultCompression() const;
  // Stores the method number in the header and writes it (unless read only).
  void SetDefaultCompression(uint8_t Method);

  bool FileExists(const std::string& FileName);
  // Item number of the new stored file, -16 when an old file of that name is
  // open, or the directory's negative code.
  int32_t FileCreate(const std::string& FileName, const std::string& Password, const std::string& Question,
                     const std::string& Answer);
  // Handle number (0 or more) or a negative code.
  int32_t FileOpen(const std::string& FileName, uint16_t Mode, const std::string& Password,
                   const std::string& Question, const std::string& Answer);
  // Unknown handles are ignored.
  void FileClose(int32_t Handle);
  // Bytes read; fewer than Count at the end or when a page failed (ErrorCode).
  int32_t FileRead(int32_t Handle, void* Buffer, int32_t Count);
  // Bytes written; fewer than Count when a page failed (ErrorCode).
  int32_t FileWrite(int32_t Handle, const void* Buffer, int32_t Count);
  // New position, 0 for an unknown handle.
  int64_t FileSeek(int32_t Handle, int32_t Origin, int64_t Offset);
  // New size, -6 for an unknown handle, or the page maps' negative code.
  int64_t FileSetSize(int32_t Handle, int64_t NewSize);
  // False when there is no such file or it is open.
  bool DeleteFile(const std::string& FileName);

  int32_t FindFirst(const std::string& Path, int32_t Attr, TSFSSearchRec& F);
  int32_t FindNext(TSFSSearchRec& F);
  void FindClose(TSFSSearchRec& F);

  // Asks for a stored file's own password: OnPassword when assigned,
  // otherwise the platform's modal input box.
  void RequestPassword(const std::string& FileName, std::string& Password, bool& Cancel);

  TPageFileManager& PageFile() { return *PFM; }
  TDIRManager& Directory() { return *DIR; }
  TUserFilePageMapManager& PageMaps() { return *UFM; }
  TFreeSpaceManager& FreeSpace() { return *FSM; }

  TNoSpaceEvent OnNoSpace;
  TPasswordEvent OnPassword;
  int32_t ErrorCode = 0;

 private:
  TUserFileHandle* FindHandle(int32_t Handle) const;
  void ReleaseAll();
  const std::string& PageKey(const TUserFileHandle& H, uint8_t HasPassword) const;
  void NoSpace();
  // Zeros the bytes after the end of the item in its last page when the file
  // ends inside that page. False (ErrorCode set) when the page failed.
  bool ClearTail(const TUserFileHandle& H, TDIRItem& Item);

  std::unique_ptr<TPageFileManager> PFM;
  std::unique_ptr<TDIRManager> DIR;
  std::unique_ptr<TFreeSpaceManager> FSM;
  std::unique_ptr<TUserFilePageMapManager> UFM;
  std::unique_ptr<TSortedPtrArray> Handles;
};

// Encloses Text in double quotes, doubling each double quote inside it.
std::string SFSQuoted(const std::string& Text);

// The raw byte stream over one stored file: every call becomes the matching
// handle operation of the container. Holds one handle; the container must
// outlive the stream.
class TSFSUserFileStream : public TStream {
 public:
  // Raises "TSFSUserFileStream.Create - Single file system = nil!" for a
  // null container and "TSFSUserFileStream.Create - unable to open file "
  // plus the quoted name when the open fails.
  TSFSUserFileStream(TSingleFileSystem* Container, const std::string& FileName, uint16_t Mode,
                     const std::string& Password, const std::string& Question, const std::string& Answer);
  ~TSFSUserFileStream() override;

  using TStream::Seek;
  using TStream::SetSize;
  void SetSize(int64_t NewSize) override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, uint16_t Origin) override;

  const std::string FileName;
  int32_t Handle() const { return FHandle; }

 private:
  TSingleFileSystem& FContainer;
  int32_t FHandle = -1;
};

// The block stream and the file stream over one stored file.
#include "container/AdvancedFileStream.h"
#include "container/FileStream.h"
