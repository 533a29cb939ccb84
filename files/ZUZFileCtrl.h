// Physical files under the storage engine.
//
// TSFSAbstractFile is a byte-addressed file with 64-bit positions; a single
// transfer moves at most a signed 32-bit count. TSFSDiskFile implements it over
// an operating-system file (through platform::Files()), TSFSMemoryFile over a
// growable memory buffer. TSFSHugeFile builds one logical file out of a chain
// of such parts ("volume parts"), each at most PartSize bytes and each opening
// with a 280-byte volume header that names the next part. GetPartSizeLimit
// chooses the part size from the file system of the volume.
//
// Low-level failures are results (false, -1 or a short count); only the
// ReadBuffer/WriteBuffer family and the named checks raise Exception.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class IFile;
struct OsVersionRecord;
}  // namespace platform

// Size of the volume header at the start of every part.
constexpr int64_t kVolumeHeaderSize = 280;
// Smallest part size the multi-volume file accepts (header plus 100 bytes).
constexpr int64_t kMinimalPartSize = 380;
// Chunk size of TSFSAbstractFile::CopyFrom.
constexpr int32_t kCopyBufferSize = 61440;
// Largest content of a memory file.
constexpr int64_t kMaxMemoryFileSize = 2147483647;

// ---------------------------------------------------------------------------
// The file abstraction.

class TSFSAbstractFile {
 public:
  // Records the name and the two flags; opens nothing.
  TSFSAbstractFile(const std::string& fileName, bool readOnly, bool exclusive);
  virtual ~TSFSAbstractFile() = default;
  TSFSAbstractFile(const TSFSAbstractFile&) = delete;
  TSFSAbstractFile& operator=(const TSFSAbstractFile&) = delete;

  // Virtual operations in slot order.
  virtual void SetExclusive(bool value);
  // Seek(value, 0).
  virtual void SetPosition(int64_t value);
  // Seek(0, 1).
  virtual int64_t GetPosition();
  virtual void SetReadOnly(bool value);
  virtual void SetSize(int64_t value) = 0;
  // Size via Seek(0, 2); the position is restored (all 64 bits).
  virtual int64_t GetSize();
  virtual void Close() = 0;
  virtual void Flush() = 0;
  // Opens (create false) or creates (create true) the file; false on failure.
  virtual bool Open(bool create) = 0;
  // Bytes read at the current position (0 at or past the end), -1 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // origin 0 from the beginning, 1 from the current position, 2 from the end;
  // returns the new position (-1 on failure).
  virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;
  // Bytes written at the current position, -1 on failure.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;

  // Raises "TSFSAbstractFile.ReadBuffer - Stream read error" when a count
  // other than 0 is not read completely.
  void ReadBuffer(void* buffer, int32_t count);
  // Raises "TSFSAbstractFile.WriteBuffer - Stream write error" when a count
  // other than 0 is not written completely.
  void WriteBuffer(const void* buffer, int32_t count);
  // Close, Open(false), then back to the remembered position. The result of
  // Open is ignored.
  void Reopen();
  // Copies `count` bytes from source's current position to this file's
  // current position in chunks of at most kCopyBufferSize bytes. A count of 0
  // copies the whole source from its first byte. Returns the count copied;
  // short transfers raise the ReadBuffer/WriteBuffer errors.
  int64_t CopyFrom(TSFSAbstractFile& source, int64_t count);

  bool GetExclusive() const { return Exclusive; }
  bool GetReadOnly() const { return ReadOnly; }

  // Path of the file; writing it has no other effect.
  std::string FileName;

 protected:
  bool Exclusive;
  bool ReadOnly;
};

// A file of the operating system, reached through platform::Files().
class TSFSDiskFile : public TSFSAbstractFile {
 public:
  TSFSDiskFile(const std::string& fileName, bool readOnly, bool exclusive);
  // Closes the file.
  ~TSFSDiskFile() override;

  // Store the flag and, when it changes, Reopen so that an open file takes
  // the new access or sharing at once (a closed file is opened by that).
  void SetExclusive(bool value) override;
  void SetReadOnly(bool value) override;
  // Seek(value, 0), then sets the end of the file there. Raises EOSError with
  // the system's error code and text when the end cannot be set.
  void SetSize(int64_t value) override;
  // Flushes and closes an open file; the handle becomes invalid in any case.
  void Close() override;
  void Flush() override;
  // Read/write access unless ReadOnly; no sharing when Exclusive, otherwise
  // others may read and write. create: always create (truncating); otherwise
  // open an existing file only. False when no handle was obtained.
  bool Open(bool create) override;
  int32_t Read(void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, uint16_t origin) override;
  // A count of 0 cuts the file at the current position and returns 0.
  int32_t Write(const void* buffer, int32_t count) override;

  // Whether a valid handle is held (the "-1 handle" means not open).
  bool HasHandle() const { return Handle != nullptr; }

 protected:
  std::unique_ptr<platform::IFile> Handle;
};

// A file held in a growable memory buffer of at most kMaxMemoryFileSize
// bytes. ReadOnly and Exclusive are stored only.
class TSFSMemoryFile : public TSFSAbstractFile {
 public:
  TSFSMemoryFile(const std::string& fileName, bool readOnly, bool exclusive);
  // Closes the file (its content is gone).
  ~TSFSMemoryFile() override;

  // Changes the length; a position beyond the new end moves to the new end.
  void SetSize(int64_t value) override;
  // Frees the buffer.
  void Close() override;
  void Flush() override;
  // create false raises "TSFSMemoryFile.Open - File cannot be open, only
  // creation is available."; create true makes a new empty buffer.
  bool Open(bool create) override;
  int32_t Read(void* buffer, int32_t count) override;
  // Sets the position without clamping (32-bit values widened to 64 bits).
  int64_t Seek(int64_t offset, uint16_t origin) override;
  // Extends the buffer when writing at or past its end.
  int32_t Write(const void* buffer, int32_t count) override;

  bool HasStream() const { return Stream != nullptr; }

 protected:
  std::unique_ptr<std::vector<uint8_t>> Stream;
  int64_t StreamPosition = 0;
};

// ---------------------------------------------------------------------------
// The multi-volume file.

// The 280-byte header at the start of every part (in part 0 at HeaderOffset).
// Little-endian on disk: Magic at 0, PartSize at 8, NextPartName at 16,
// 3 reserved bytes at 277.
struct TSFSVolumeHeader {
  char Magic[8] = {};
  int64_t PartSize = 0;
  char NextPartName[261] = {};  // zero-terminated, zero-filled
  uint8_t Reserved[3] = {};

  // Serialises into / parses from exactly kVolumeHeaderSize bytes.
  void Encode(uint8_t* out) const;
  static TSFSVolumeHeader Decode(const uint8_t* in);
  // "ZKMVHFSS" in the first 8 bytes.
  bool HasMagic() const;
  // NextPartName up to its terminator (at most 260 characters).
  std::string NextName() const;
  // Stores `name` zero-terminated and zero-filled (cut to 260 characters).
  void SetNextName(const std::string& name);
};

// A header with the magic, `partSize` and an empty NextPartName.
TSFSVolumeHeader BuildVolumeHeader(int64_t partSize);

class TSFSHugeFile {
 public:
  // partSize -1 asks GetPartSizeLimit(fileName). Raises "File part size is
  // too small. Minimal part size is 380" when partSize - 280 < 100.
  TSFSHugeFile(const std::string& fileName, bool readOnly, bool exclusive, bool inMemory, int64_t partSize);
  // InMemory := false, then Close (memory parts are released too).
  ~TSFSHugeFile();
  TSFSHugeFile(const TSFSHugeFile&) = delete;
  TSFSHugeFile& operator=(const TSFSHugeFile&) = delete;

  // InternalOpen(FileName, create, allowIncomplete).
  bool Open(bool create, bool allowIncomplete);
  // Disk mode: frees all parts, Size 0. Memory mode: parts and Size stay.
  void Close();
  // Flushes every part.
  void Flush();

  // Raises "TSFSHugeFile.Read - Stream read error." when Position > Size.
  int32_t Read(void* buffer, int32_t count);
  void ReadBuffer(void* buffer, int32_t count);
  int32_t Write(const void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Origin 0 with a negative offset raises "TSFSHugeFile.Seek - Offset < 0
  // from file beginning.".
  int64_t Seek(int64_t offset, uint16_t origin);
  int64_t GetPosition();
  void SetPosition(int64_t value);
  int64_t GetSize();
  // Grows by filling parts to PartSize and adding parts, or shrinks by
  // deleting parts; afterwards Size and Position equal `value`.
  void SetSize(int64_t value);
  // Removes the last part (deleting its file in disk mode) and clears the
  // NextPartName of the new last part. Raises "TSFSHugeFile.DeleteLastPartFile
  // - No parts to delete." with fewer than two parts.
  void DeleteLastPartFile();

  // (index, offset) of logical position p: the part and the byte offset in
  // that part's data area.
  void LocatePosition(int64_t p, int32_t& index, int64_t& offset) const;

  const std::string& GetFileName() const { return FileName; }
  bool GetExclusive() const { return Exclusive; }
  bool GetReadOnly() const { return ReadOnly; }
  bool GetInMemory() const { return InMemory; }
  bool GetIsOpen() const { return IsOpen; }
  int64_t GetPartSize() const { return PartSize; }
  int64_t GetPartDataSize() const { return PartDataSize; }
  int64_t GetHeaderOffset() const { return HeaderOffset; }
  int32_t PartCount() const { return static_cast<int32_t>(Parts.size()); }
  // The part at `index` (for inspection; owned by this file).
  TSFSAbstractFile& Part(int32_t index) const { return *Parts.at(static_cast<size_t>(index)); }

 protected:
  bool InternalOpen(const std::string& name, bool create, bool allowIncomplete);
  bool AddPartFile();
  bool OpenPartFiles(const std::string& name);
  void FindHeaderOffset(TSFSAbstractFile& part);
  bool CheckHeaderAt(TSFSAbstractFile& part, int64_t p);
  bool DeleteAllPartFiles();
  // A new part object (memory or disk) named `name`, not yet opened.
  std::unique_ptr<TSFSAbstractFile> MakePart(const std::string& name) const;
  // Physical start of the header of part `index`.
  int64_t HeaderPosition(int32_t index) const { return index == 0 ? HeaderOffset : 0; }

  std::string FileName;
  bool Exclusive;
  bool ReadOnly;
  bool InMemory;
  int64_t Position = 0;
  int64_t Size = 0;
  int64_t PartSize;
  int64_t PartDataSize = 0;
  std::vector<std::unique_ptr<TSFSAbstractFile>> Parts;
  bool IsOpen = false;
  int64_t HeaderOffset = 0;
};

// The operating-system class of a version record: 3.x 4; 4.0 1 on platform 1,
// else 5; 4.10 2; 4.90 3; 5.0 6; 5.1 7; 5.2 and every newer version 8. Any
// other version raises "Can't Identify OS version".
int ClassifyOsVersion(const platform::OsVersionRecord& version);
// The root of a file name's volume: its drive ("C:") or network share
// ("\\srv\share") followed by "\"; just "\" for a path without either.
std::string VolumeRoot(const std::string& fileName);
// The largest part size for a file on the volume that holds `fileName`, from
// the file-system name reported by platform::Volumes(); 0 when the volume
// cannot hold a container.
int64_t GetPartSizeLimit(const std::string& fileName);
