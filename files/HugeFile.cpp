// The multi-volume file: one logical byte file over a chain of part files.
//
// Every part opens with a 280-byte volume header (magic, part size, name of
// the next part); part 0 may carry foreign bytes in front of its header
// (HeaderOffset). Parts lie in the folder of part 0 and are named after it
// with a number appended. Names read from a header are untrusted: a name that
// would leave the folder of part 0, or one already in the chain, ends the
// chain as a missing part would, so neither opening nor deleting a chain can
// reach outside that folder or loop.
#include <algorithm>
#include <cstring>
#include <set>

#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Files.h"

namespace {

constexpr char kVolumeMagic[8] = {'Z', 'K', 'M', 'V', 'H', 'F', 'S', 'S'};
constexpr char kContainerMagic[8] = {'Z', 'K', 'S', 'F', 'S', 'S', 'G', 'N'};
constexpr int32_t kSearchChunk = 65535;
constexpr size_t kMaxNextName = 260;

// Index just after the folder part of a path ("\", "/" or a drive colon).
size_t FolderEnd(const std::string& path) {
  const size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? 0 : p + 1;
}
std::string FolderOf(const std::string& path) { return path.substr(0, FolderEnd(path)); }
std::string NameOf(const std::string& path) { return path.substr(FolderEnd(path)); }

// Whether a next-part name read from a header names a file in the folder of
// part 0 (no separator, no drive, not "." or "..").
bool IsPlainPartName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

void PutInt64(uint8_t* out, int64_t value) {
  const auto v = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
int64_t GetInt64(const uint8_t* in) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(in[i]) << (8 * i);
  return static_cast<int64_t>(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// TSFSVolumeHeader

void TSFSVolumeHeader::Encode(uint8_t* out) const {
  std::memcpy(out, Magic, 8);
  PutInt64(out + 8, PartSize);
  std::memcpy(out + 16, NextPartName, sizeof NextPartName);
  std::memcpy(out + 277, Reserved, sizeof Reserved);
}

TSFSVolumeHeader TSFSVolumeHeader::Decode(const uint8_t* in) {
  TSFSVolumeHeader h;
  std::memcpy(h.Magic, in, 8);
  h.PartSize = GetInt64(in + 8);
  std::memcpy(h.NextPartName, in + 16, sizeof h.NextPartName);
  std::memcpy(h.Reserved, in + 277, sizeof h.Reserved);
  return h;
}

bool TSFSVolumeHeader::HasMagic() const { return std::memcmp(Magic, kVolumeMagic, 8) == 0; }

std::string TSFSVolumeHeader::NextName() const {
  size_t n = 0;
  while (n < kMaxNextName && NextPartName[n] != '\0') ++n;
  return std::string(NextPartName, n);
}

void TSFSVolumeHeader::SetNextName(const std::string& name) {
  std::memset(NextPartName, 0, sizeof NextPartName);
  std::memcpy(NextPartName, name.data(), std::min(name.size(), kMaxNextName));
}

TSFSVolumeHeader BuildVolumeHeader(int64_t partSize) {
  TSFSVolumeHeader h;
  std::memcpy(h.Magic, kVolumeMagic, 8);
  h.PartSize = partSize;
  return h;
}

// ---------------------------------------------------------------------------
// TSFSHugeFile

TSFSHugeFile::TSFSHugeFile(const std::string& fileName, bool readOnly, bool exclusive, bool inMemory,
                           int64_t partSize)
    : FileName(fileName), Exclusive(exclusive), ReadOnly(readOnly), InMemory(inMemory), PartSize(partSize) {
  if (PartSize == -1) PartSize = GetPartSizeLimit(FileName);
  PartDataSize = PartSize - kVolumeHeaderSize;
  if (PartDataSize < 100) throw Exception("File part size is too small. Minimal part size is 380");
}

TSFSHugeFile::~TSFSHugeFile() {
  InMemory = false;
  Close();
}

std::unique_ptr<TSFSAbstractFile> TSFSHugeFile::MakePart(const std::string& name) const {
  if (InMemory) return std::make_unique<TSFSMemoryFile>(name, ReadOnly, Exclusive);
  return std::make_unique<TSFSDiskFile>(name, ReadOnly, Exclusive);
}

void TSFSHugeFile::LocatePosition(int64_t p, int32_t& index, int64_t& offset) const {
  const int64_t q = p + HeaderOffset;
  const int64_t i = q / PartDataSize;
  offset = q - i * PartDataSize;
  if (i == 0) offset -= HeaderOffset;
  index = static_cast<int32_t>(i);
}

bool TSFSHugeFile::Open(bool create, bool allowIncomplete) {
  return InternalOpen(FileName, create, allowIncomplete);
}

bool TSFSHugeFile::InternalOpen(const std::string& name, bool create, bool allowIncomplete) {
  if (IsOpen) throw Exception("TSFSHugeFile.InternalOpen - File is already open.");
  bool result = false;
  if (InMemory && !Parts.empty() && !create) {
    result = true;  // the memory parts kept from before
  } else {
    if (!Parts.empty()) throw Exception("TSFSHugeFile.InternalOpen - File was not closed.");
    if (create) {
      DeleteAllPartFiles();
      result = AddPartFile();
      Size = 0;
    } else if ((OpenPartFiles(name) || allowIncomplete) && !Parts.empty()) {
      int64_t total = 0;
      for (const auto& part : Parts) total += part->GetSize() - kVolumeHeaderSize;
      Size = total - HeaderOffset;
      result = true;
    }
  }
  Position = 0;
  IsOpen = result;
  return result;
}

bool TSFSHugeFile::AddPartFile() {
  const size_t k = Parts.size();
  std::string name = FileName;
  if (k > 0) {
    // Besides names taken on disk, skip names of memory parts, which exist
    // nowhere else.
    auto taken = [this](const std::string& candidate) {
      if (platform::Files().Exists(candidate)) return true;
      for (const auto& part : Parts)
        if (part->FileName == candidate) return true;
      return false;
    };
    for (uint64_t i = k;; ++i) {
      name = FileName + std::to_string(i);
      if (!taken(name)) break;
    }
  }
  Parts.push_back(MakePart(name));
  TSFSAbstractFile& part = *Parts.back();
  if (!part.Open(true)) return false;

  uint8_t bytes[kVolumeHeaderSize];
  TSFSVolumeHeader header = BuildVolumeHeader(PartSize);
  header.Encode(bytes);
  if (k == 0) part.Seek(HeaderOffset, 0);
  if (part.Write(bytes, kVolumeHeaderSize) != kVolumeHeaderSize) return false;

  if (k > 0) {
    TSFSAbstractFile& previous = *Parts[k - 1];
    const int64_t remembered = previous.GetPosition();
    header.SetNextName(NameOf(name));
    header.Encode(bytes);
    previous.Seek(HeaderPosition(static_cast<int32_t>(k - 1)), 0);
    const int32_t put = previous.Write(bytes, kVolumeHeaderSize);
    previous.Seek(remembered, 0);
    if (put != kVolumeHeaderSize) return false;
  }
  return true;
}

bool TSFSHugeFile::OpenPartFiles(const std::string& name) {
  const std::string dir = FolderOf(name);
  std::string next = NameOf(name);
  std::set<std::string> chain;
  for (;;) {
    const size_t k = Parts.size();
    const std::string path = dir + next;
    // An unsafe or repeated name ends the chain as a missing part does.
    if (k > 0 && (!IsPlainPartName(next) || chain.count(next) != 0)) return false;
    chain.insert(next);

    std::unique_ptr<TSFSAbstractFile> part = MakePart(path);
    bool ok;
    if (InMemory) {
      TSFSDiskFile disk(path, true, Exclusive);
      ok = disk.Open(false);
      if (ok) {
        try {
          ok = part->Open(true);
          if (ok) {
            part->CopyFrom(disk, 0);
            part->SetPosition(0);
          }
        } catch (const Exception&) {
          ok = false;  // the disk part could not be read whole
        }
      }
    } else {
      ok = part->Open(false);
    }
    if (!ok) return false;

    if (k == 0) {
      FindHeaderOffset(*part);
      part->Seek(HeaderOffset, 0);
    }
    uint8_t bytes[kVolumeHeaderSize] = {};
    const int32_t got = part->Read(bytes, kVolumeHeaderSize);
    const TSFSVolumeHeader header = TSFSVolumeHeader::Decode(bytes);
    // A stored part size below the minimum is as bad as a missing header: it
    // would make every position computation meaningless.
    if (got != kVolumeHeaderSize || !header.HasMagic() || (k == 0 && header.PartSize < kMinimalPartSize))
      return false;
    next = header.NextName();
    if (k == 0) {
      PartSize = header.PartSize;
      PartDataSize = PartSize - kVolumeHeaderSize;
    }
    const int64_t partBytes = part->GetSize();
    Parts.push_back(std::move(part));
    if (partBytes < PartSize && !next.empty()) return false;  // a short middle part stays
    if (next.empty()) return true;
  }
}

void TSFSHugeFile::FindHeaderOffset(TSFSAbstractFile& part) {
  HeaderOffset = 0;
  part.Seek(0, 0);
  std::vector<uint8_t> chunk(kSearchChunk);
  bool found = false;
  while (!found && part.GetPosition() < part.GetSize()) {
    const int64_t chunkStart = part.GetPosition();
    const int32_t got = part.Read(chunk.data(), kSearchChunk);
    if (got <= 0) break;  // a failing read must not spin forever
    for (int32_t i = 0; i + 4 <= got; ++i) {
      if (std::memcmp(chunk.data() + i, kVolumeMagic, 4) == 0 && CheckHeaderAt(part, chunkStart + i)) {
        HeaderOffset = chunkStart + i;
        found = true;
        break;
      }
    }
  }
  part.Seek(0, 0);
}

bool TSFSHugeFile::CheckHeaderAt(TSFSAbstractFile& part, int64_t p) {
  const int64_t remembered = part.GetPosition();
  part.Seek(p, 0);
  bool result = false;
  if (part.GetSize() - p >= kVolumeHeaderSize + 8) {
    uint8_t bytes[kVolumeHeaderSize];
    part.ReadBuffer(bytes, kVolumeHeaderSize);
    if (std::memcmp(bytes, kVolumeMagic, 8) == 0) {
      uint8_t sign[8];
      result = part.Read(sign, 8) == 8 && std::memcmp(sign, kContainerMagic, 8) == 0;
    }
  }
  part.Seek(remembered, 0);
  return result;
}

bool TSFSHugeFile::DeleteAllPartFiles() {
  if (InMemory) {
    Parts.clear();
    Size = 0;
    return true;
  }
  const std::string dir = FolderOf(FileName);
  std::string name = FileName;
  std::set<std::string> chain;
  for (bool first = true;; first = false) {
    std::string next;
    {
      TSFSDiskFile file(name, ReadOnly, Exclusive);
      if (!file.Open(false)) return false;
      file.Seek(first ? HeaderOffset : 0, 0);
      uint8_t bytes[kVolumeHeaderSize] = {};
      const bool whole = file.Read(bytes, kVolumeHeaderSize) == kVolumeHeaderSize;
      const TSFSVolumeHeader header = TSFSVolumeHeader::Decode(bytes);
      const bool isPart = whole && header.HasMagic();
      // Only a file that is itself a volume part is deleted behind part 0,
      // and only a volume part's header is followed.
      if (!first && !isPart) return false;
      if (isPart) next = header.NextName();
    }
    if (!platform::Files().Remove(name)) return false;
    if (next.empty()) return true;
    if (!IsPlainPartName(next) || chain.count(next) != 0) return false;
    chain.insert(next);
    name = dir + next;
  }
}

void TSFSHugeFile::DeleteLastPartFile() {
  if (Parts.size() < 2) throw Exception("TSFSHugeFile.DeleteLastPartFile - No parts to delete.");
  const std::string name = Parts.back()->FileName;
  Parts.pop_back();
  if (!InMemory) platform::Files().Remove(name);

  const int32_t last = static_cast<int32_t>(Parts.size()) - 1;
  TSFSAbstractFile& part = *Parts.back();
  const int64_t remembered = part.GetPosition();
  uint8_t bytes[kVolumeHeaderSize];
  BuildVolumeHeader(PartSize).Encode(bytes);
  part.Seek(HeaderPosition(last), 0);
  part.Write(bytes, kVolumeHeaderSize);
  part.Seek(remembered, 0);
}

void TSFSHugeFile::Close() {
  if (!InMemory) {
    Parts.clear();
    Size = 0;
  }
  Position = 0;
  IsOpen = false;
}

void TSFSHugeFile::Flush() {
  for (const auto& part : Parts) part->Flush();
}

int64_t TSFSHugeFile::Seek(int64_t offset, uint16_t origin) {
  int64_t target = Position;
  switch (origin) {
    case 0:
      if (offset < 0) throw Exception("TSFSHugeFile.Seek - Offset < 0 from file beginning.");
      target = offset;
      break;
    case 1:
      target = Position + offset;
      break;
    case 2:
      target = Size + offset;
      break;
    default:
      break;
  }
  // No position before the start, whatever the origin.
  if (target < 0) throw Exception("TSFSHugeFile.Seek - Offset < 0 from file beginning.");
  Position = target;
  if (Position <= Size) {
    int32_t index;
    int64_t off;
    LocatePosition(Position, index, off);
    if (index < PartCount()) Parts[index]->Seek(off + kVolumeHeaderSize + HeaderPosition(index), 0);
  }
  return Position;
}

int64_t TSFSHugeFile::GetPosition() { return Seek(0, 1); }
void TSFSHugeFile::SetPosition(int64_t value) { Seek(value, 0); }
int64_t TSFSHugeFile::GetSize() { return Size; }

int32_t TSFSHugeFile::Read(void* buffer, int32_t count) {
  if (Position > Size) throw Exception("TSFSHugeFile.Read - Stream read error.");
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    int32_t index;
    int64_t off;
    LocatePosition(Position, index, off);
    if (index >= PartCount()) break;
    TSFSAbstractFile& part = *Parts[index];
    const int64_t room = PartDataSize - off - (index == 0 ? HeaderOffset : 0);
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(room, count - done));
    // Every chunk is read from its own place, also the first one: a part's
    // file pointer may have moved since the last Seek.
    part.Seek(off + kVolumeHeaderSize + HeaderPosition(index), 0);
    const int32_t got = std::max(part.Read(out + done, n), 0);
    Position += got;
    done += got;
    if (got != n) break;
  }
  return done;
}

void TSFSHugeFile::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw EReadError("TSFSHugeFile.ReadBuffer - Stream read error");
}

int32_t TSFSHugeFile::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (Position > Size) {
    const int64_t p = Position;
    SetPosition(0);
    SetSize(p);
    SetPosition(p);
    if (GetPosition() != p) return 0;
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    int32_t index;
    int64_t off;
    LocatePosition(Position, index, off);
    if (index == PartCount()) {
      if (!AddPartFile()) break;
    } else if (index > PartCount()) {
      break;  // a gap of missing parts (an incomplete chain) is never written over
    }
    TSFSAbstractFile& part = *Parts[index];
    part.Seek(off + kVolumeHeaderSize + HeaderPosition(index), 0);
    const int64_t room = PartDataSize - off - (index == 0 ? HeaderOffset : 0);
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(room, count - done));
    const int32_t put = std::max(part.Write(in + done, n), 0);
    Position += put;
    if (Position > Size) Size = Position;
    done += put;
    if (put != n) break;
  }
  return done;
}

void TSFSHugeFile::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw EWriteError("TSFSHugeFile.WriteBuffer - Stream write error");
}

void TSFSHugeFile::SetSize(int64_t value) {
  if (value < 0)
    throw EOSError(platform::kErrorNegativeSeek, platform::ErrorText(platform::kErrorNegativeSeek));
  if (Parts.empty()) throw Exception("TSFSHugeFile.SetSize - File is not open.");
  if (value != Size) {
    int32_t index;
    int64_t off;
    LocatePosition(value, index, off);
    if (value > Size) {
      while (PartCount() - 1 < index) {
        Parts.back()->SetSize(PartSize);
        AddPartFile();
      }
    } else {
      while (PartCount() - 1 > index) DeleteLastPartFile();
    }
    Parts[index]->SetSize(off + kVolumeHeaderSize + HeaderPosition(index));
  }
  Size = value;
  Position = value;
}
