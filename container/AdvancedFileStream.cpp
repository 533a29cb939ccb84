// The block stream: random access over a stored file kept as a chain of
// independently compressed blocks, each with the CRC-16 of its raw bytes.
//
// The chain is never trusted blindly: every block header read from the data
// stream is checked against the block size and the data stream's length
// before anything is allocated or followed, so a damaged stored file raises
// a clear error instead of reading out of bounds or walking forever.
#include "container/AdvancedFileStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "compress/ZUZCompress.h"
#include "container/SingleFileSystem.h"
#include "crypto/ZUZPassword.h"
#include "engine/PageFile.h"
#include "platform/Exception.h"
#include "platform/FileStream.h"

namespace {

constexpr char kMagic[4] = {'Z', 'K', 'C', 'S'};
// Header image offsets.
constexpr int kOffBlockSize = 4;
constexpr int kOffBlockCount = 12;
constexpr int kOffConstant = 16;
constexpr int kOffMethod = 20;
constexpr int kOffExtraLength = 23;
constexpr uint32_t kHeaderConstant = 0x40000000;
// The largest block size a header may name; every method uses at most 1.5 MiB.
constexpr int32_t kMaxBlockSize = 16 * 1024 * 1024;
// Data-stream offsets and logical sizes stay below 2^31.
constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }

TSFSBlockHeader DecodeBlockHeader(const uint8_t* p) {
  TSFSBlockHeader h;
  h.StoredSize = GetU32(p);
  h.RawSize = GetU32(p + 4);
  h.BlockChecksum = GetU32(p + 8);
  h.NextOffset = GetU32(p + 12);
  return h;
}

void EncodeBlockHeader(const TSFSBlockHeader& h, uint8_t* p) {
  PutU32(p, h.StoredSize);
  PutU32(p + 4, h.RawSize);
  PutU32(p + 8, h.BlockChecksum);
  PutU32(p + 12, h.NextOffset);
}

TSingleFileSystem* RequireContainer(TSingleFileSystem* Container) {
  if (Container == nullptr) throw Exception("TSFSAdvancedFileStream.Create - SingleFileSystem = nil.");
  return Container;
}

// Sets a flag for the lifetime of the guard and puts the previous value back,
// also when an exception leaves the scope.
class FlagGuard {
 public:
  FlagGuard(bool& Flag, bool Value) : FFlag(Flag), FOld(Flag) { FFlag = Value; }
  ~FlagGuard() { FFlag = FOld; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& FFlag;
  bool FOld;
};

}  // namespace

// ---------------------------------------------------------------------------
// TSFSHeadersArray

int32_t TSFSHeadersArray::Count() const { return FCount; }
int32_t TSFSHeadersArray::Capacity() const { return FCapacity; }
int32_t TSFSHeadersArray::GrowDelta() const { return FGrowDelta; }
int32_t TSFSHeadersArray::ShrinkDelta() const { return FShrinkDelta; }

void TSFSHeadersArray::SetCount(int32_t n) {
  constexpr int32_t kStepLimit = 10000;
  if (n < 0) n = 0;
  if (n == 0) {
    FHeaders = {};
    FOffsets = {};
    FCapacity = 0;
    FCount = 0;
    return;
  }
  if (n > FCapacity) {
    FGrowDelta = std::min(FGrowDelta * 2, kStepLimit);
    FCapacity = std::max(FCapacity + FGrowDelta, n);
    FHeaders.resize(static_cast<size_t>(FCapacity));
    FOffsets.resize(static_cast<size_t>(FCapacity));
  } else if (n < FCount && FCapacity - n > FShrinkDelta) {
    FShrinkDelta = std::min(FShrinkDelta * 2, kStepLimit);
    FHeaders.resize(static_cast<size_t>(n));
    FHeaders.shrink_to_fit();
    FOffsets.resize(static_cast<size_t>(n));
    FOffsets.shrink_to_fit();
    FCapacity = n;
  }
  // Entries that come back into use after a cut without shrinking must read
  // as new, zero entries.
  for (int32_t i = FCount; i < n; ++i) {
    FHeaders[static_cast<size_t>(i)] = TSFSBlockHeader{};
    FOffsets[static_cast<size_t>(i)] = 0;
  }
  FCount = n;
}

void TSFSHeadersArray::Add(const TSFSBlockHeader& Header, int64_t Offset) {
  SetCount(FCount + 1);
  FHeaders[static_cast<size_t>(FCount - 1)] = Header;
  FOffsets[static_cast<size_t>(FCount - 1)] = Offset;
}

TSFSBlockHeader& TSFSHeadersArray::Header(int32_t i) { return FHeaders.at(static_cast<size_t>(i)); }
const TSFSBlockHeader& TSFSHeadersArray::Header(int32_t i) const { return FHeaders.at(static_cast<size_t>(i)); }
int64_t& TSFSHeadersArray::Offset(int32_t i) { return FOffsets.at(static_cast<size_t>(i)); }
int64_t TSFSHeadersArray::Offset(int32_t i) const { return FOffsets.at(static_cast<size_t>(i)); }

// ---------------------------------------------------------------------------
// TSFSAdvancedFileStream: creation

TSFSAdvancedFileStream::TSFSAdvancedFileStream(TSingleFileSystem* Container, const std::string& FileName,
                                               uint16_t Mode, const std::string& Password,
                                               const std::string& Question, const std::string& Answer,
                                               uint8_t Method)
    : FileName(FileName) {
  TSingleFileSystem* container = RequireContainer(Container);
  FContainer = container;
  FData = std::make_unique<TSFSUserFileStream>(container, FileName, Mode, Password, Question, Answer);
  FMethod = Method != 0 ? Method : container->GetDefaultCompression();
  InitStream(Mode == kModeCreate);
}

TSFSAdvancedFileStream::~TSFSAdvancedFileStream() = default;

void TSFSAdvancedFileStream::InitStream(bool Create) {
  CopyBufferSize = 0x100000;
  InternalOperation = false;
  FHeaders.SetCount(0);
  FData->SetPosition(0);
  if (Create && FMethod == 0) return;
  if (Create) {
    std::memset(FHeaderImage, 0, sizeof(FHeaderImage));
    std::memcpy(FHeaderImage, kMagic, sizeof(kMagic));
    PutU32(FHeaderImage + kOffBlockSize, static_cast<uint32_t>(BlockSizeForMethod(FMethod)));
    PutU32(FHeaderImage + kOffBlockCount, 0);
    PutU32(FHeaderImage + kOffConstant, kHeaderConstant);
    FHeaderImage[kOffMethod] = FMethod;
    FData->Seek(static_cast<int64_t>(0), 0);
    if (FData->Write(FHeaderImage, kBlockStreamHeaderSize) < kBlockStreamHeaderSize)
      throw Exception(
          "TSFSAdvancedFileStream.Create - error writing to data stream. May be data stream in read only mode.");
    FData->SetSize(static_cast<int64_t>(kBlockStreamHeaderSize));
  }
  FData->SetPosition(0);
  FSize = 0;
  ReadHeader();
  FPosition = 0;
  FData->SetPosition(0);
}

// ---------------------------------------------------------------------------
// Header and chain

int64_t TSFSAdvancedFileStream::DataSize() { return FData->GetSize(); }

int64_t TSFSAdvancedFileStream::FirstBlockOffset() const {
  return kBlockStreamHeaderSize + static_cast<int64_t>(GetI32(FHeaderImage + kOffExtraLength));
}

void TSFSAdvancedFileStream::SetHeaderBlockCount(int32_t Count) {
  PutU32(FHeaderImage + kOffBlockCount, static_cast<uint32_t>(Count));
}

int32_t TSFSAdvancedFileStream::BlockSize() const { return FBlockSize; }

void TSFSAdvancedFileStream::ReadHeader() {
  const int64_t savedPosition = FData->GetPosition();
  FCompressedSize = 0;
  FData->Seek(static_cast<int64_t>(0), 0);
  const int64_t dataSize = DataSize();

  uint8_t image[kBlockStreamHeaderSize] = {};
  bool blockForm = false;
  if (dataSize >= kBlockStreamHeaderSize) {
    FData->ReadBuffer(image, kBlockStreamHeaderSize);
    blockForm = std::memcmp(image, kMagic, sizeof(kMagic)) == 0;
  }
  if (!blockForm) {
    FSize = dataSize;
    FMethod = 0;
    FBlockSize = 0;
    FData->SetPosition(savedPosition);
    UpdateRatio();
    return;
  }

  // The header is taken whole, but the values that size buffers and steer
  // the walk are checked first.
  const int32_t blockSize = GetI32(image + kOffBlockSize);
  if (blockSize <= 0 || blockSize > kMaxBlockSize)
    throw Exception("TSFSAdvancedFileStream.ReadHeader - invalid block size, BlockSize = " +
                    std::to_string(blockSize));
  const int32_t extraLength = GetI32(image + kOffExtraLength);
  if (extraLength < 0 || kBlockStreamHeaderSize + static_cast<int64_t>(extraLength) > dataSize)
    throw Exception("TSFSAdvancedFileStream.ReadHeader - invalid extra length, ExtraLength = " +
                    std::to_string(extraLength));

  std::memcpy(FHeaderImage, image, sizeof(image));
  FBlockSize = blockSize;
  FHeaders.SetCount(0);
  FMethod = FHeaderImage[kOffMethod];
  FSize = 0;

  const int32_t blockCount = GetI32(FHeaderImage + kOffBlockCount);
  int64_t pos = FirstBlockOffset();
  for (int32_t i = 0; i < blockCount; ++i) {
    if (dataSize - pos < kBlockHeaderSize) {
      // The chain ends inside (or before) this block's header: end it at the
      // last whole block. A chain that points past the end is not extended.
      // A read-only container cannot take the repair; the chain is then
      // ended in memory only, so the whole blocks stay readable.
      const bool canWrite = !FContainer->PageFile().ReadOnly;
      if (canWrite) FData->SetSize(std::min(pos, dataSize));
      SetHeaderBlockCount(i);
      FHeaders.SetCount(i);
      if (canWrite) WriteHeader();
      break;
    }
    uint8_t raw[kBlockHeaderSize];
    FData->Seek(pos, 0);
    FData->ReadBuffer(raw, kBlockHeaderSize);
    const TSFSBlockHeader h = DecodeBlockHeader(raw);
    const std::string where = ", block = " + std::to_string(i) + ", offset = " + std::to_string(pos);
    if (h.RawSize == 0 || h.RawSize > static_cast<uint32_t>(blockSize))
      throw Exception("TSFSAdvancedFileStream.ReadHeader - invalid raw size " + std::to_string(h.RawSize) + where);
    // The next header must lie behind this block's stored bytes, or the walk
    // could loop and an in-place rewrite could overwrite the next block.
    const int64_t storedEnd = pos + kBlockHeaderSize + static_cast<int64_t>(h.StoredSize);
    if (static_cast<int64_t>(h.NextOffset) < storedEnd || static_cast<int64_t>(h.NextOffset) > kMaxOffset)
      throw Exception("TSFSAdvancedFileStream.ReadHeader - invalid next offset " + std::to_string(h.NextOffset) +
                      where);
    FSize += h.RawSize;
    FCompressedSize += h.StoredSize;
    FHeaders.Add(h, pos);
    pos = h.NextOffset;
  }

  // Block x div BlockSize must hold logical byte x: only the last block may
  // be short.
  for (int32_t i = 0; i + 1 < FHeaders.Count(); ++i) {
    if (FHeaders.Header(i).RawSize != static_cast<uint32_t>(blockSize))
      throw Exception("TSFSAdvancedFileStream.ReadHeader - invalid raw size " +
                      std::to_string(FHeaders.Header(i).RawSize) + ", block = " + std::to_string(i) +
                      ", offset = " + std::to_string(FHeaders.Offset(i)));
  }

  FData->SetPosition(savedPosition);
  CopyBufferSize = blockSize;
  UpdateRatio();
}

void TSFSAdvancedFileStream::WriteHeader() {
  FData->Seek(static_cast<int64_t>(0), 0);
  FData->WriteBuffer(FHeaderImage, kBlockStreamHeaderSize);
}

void TSFSAdvancedFileStream::UpdateRatio() {
  int64_t stored = 0;
  for (int32_t i = 0; i < FHeaders.Count(); ++i) stored += FHeaders.Header(i).StoredSize;
  FCompressedSize = stored;
  if (IsRaw() || FSize <= 0) {
    FCompressedSize = FSize;
    FCompressionRatio = 0;
  } else {
    FCompressionRatio = (1.0 - static_cast<double>(FCompressedSize) / static_cast<double>(FSize)) * 100.0;
  }
}

void TSFSAdvancedFileStream::DoProgress(double Percent) {
  if (OnProgress && !InternalOperation) OnProgress(*this, Percent);
}

// ---------------------------------------------------------------------------
// Blocks

std::vector<uint8_t> TSFSAdvancedFileStream::LoadBlock(int32_t i) {
  if (i < 0 || i >= FHeaders.Count())
    throw Exception("TSFSAdvancedFileStream.LoadBlock - invalid block index " + std::to_string(i));
  const TSFSBlockHeader h = FHeaders.Header(i);
  const int64_t offset = FHeaders.Offset(i);
  if (h.RawSize == 0 || h.RawSize > static_cast<uint32_t>(FBlockSize))
    throw Exception("TSFSAdvancedFileStream.LoadBlock - invalid raw size " + std::to_string(h.RawSize) +
                    ", block = " + std::to_string(i));
  // Nothing is allocated for stored bytes the data stream does not hold.
  if (h.StoredSize == 0 || offset + kBlockHeaderSize + static_cast<int64_t>(h.StoredSize) > DataSize())
    throw Exception("TSFSAdvancedFileStream.LoadBlock - stored bytes missing, block = " + std::to_string(i));

  std::vector<uint8_t> stored(h.StoredSize);
  FData->Seek(offset + kBlockHeaderSize, 0);
  if (FData->Read(stored.data(), static_cast<int32_t>(h.StoredSize)) != static_cast<int32_t>(h.StoredSize))
    throw Exception("TSFSAdvancedFileStream.LoadBlock - stored bytes missing, block = " + std::to_string(i));

  std::vector<uint8_t> raw;
  int32_t rawLength = static_cast<int32_t>(h.RawSize);
  if (!DecompressBuffer(stored.data(), static_cast<int32_t>(h.StoredSize), raw, FMethod, rawLength))
    throw Exception("TSFSAdvancedFileStream.LoadBlock - decompression error.");
  if (rawLength != static_cast<int32_t>(h.RawSize))
    throw Exception("TSFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
  if (CalcChecksum(raw.data(), rawLength, ckCRC16) != h.BlockChecksum)
    throw Exception("TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  raw.resize(static_cast<size_t>(rawLength));
  return raw;
}

std::vector<uint8_t> TSFSAdvancedFileStream::PrepareBufferForWriting(const uint8_t* Raw, int32_t Length,
                                                                     TSFSBlockHeader& Header) {
  Header.RawSize = static_cast<uint32_t>(Length);
  Header.BlockChecksum = CalcChecksum(Raw, Length, ckCRC16);
  std::vector<uint8_t> stored;
  int32_t storedLength = 0;
  if (!CompressBuffer(Raw, Length, stored, FMethod, storedLength) || storedLength <= 0)
    throw Exception("TSFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  Header.StoredSize = static_cast<uint32_t>(storedLength);
  return stored;
}

void TSFSAdvancedFileStream::WriteBlock(int32_t i, const std::vector<uint8_t>& Stored) {
  const TSFSBlockHeader& h = FHeaders.Header(i);
  uint8_t raw[kBlockHeaderSize];
  EncodeBlockHeader(h, raw);
  FData->Seek(FHeaders.Offset(i), 0);
  FData->WriteBuffer(raw, kBlockHeaderSize);
  FData->WriteBuffer(Stored.data(), static_cast<int32_t>(h.StoredSize));
}

// ---------------------------------------------------------------------------
// Byte-stream operations

int64_t TSFSAdvancedFileStream::Seek(int64_t Offset, uint16_t Origin) {
  if (IsRaw()) {
    // A position before the start would make the layers below index before
    // their buffers; it becomes 0 as in block form.
    const int64_t result = FData->Seek(Offset, Origin);
    if (result < 0) return FData->Seek(static_cast<int64_t>(0), 0);
    return result;
  }
  switch (Origin) {
    case 0:
      FPosition = Offset;
      break;
    case 1:
      FPosition += Offset;
      break;
    case 2:
      FPosition = FSize + Offset;
      break;
    default:
      break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

int32_t TSFSAdvancedFileStream::Read(void* Buffer, int32_t Count) {
  DoProgress(0);
  if (IsRaw()) {
    const int32_t result = FData->Read(Buffer, Count);
    DoProgress(100);
    return result;
  }
  int32_t result = 0;
  FProgressPercent = 0;
  if (FPosition > FSize) return 0;
  const int64_t B = FBlockSize;
  int32_t k = static_cast<int32_t>(FPosition / B);
  FProgressSteps = FHeaders.Count() - k;
  auto* out = static_cast<uint8_t*>(Buffer);
  while (FPosition < FSize && result < Count) {
    DoProgress(FProgressPercent);
    const std::vector<uint8_t> raw = LoadBlock(k);
    const int64_t offset = FPosition % B;
    int64_t n = B - offset;
    if (n > Count - result) n = Count - result;
    if (FPosition + n >= FSize) n = FSize - FPosition;
    // The block holds RawSize bytes; a table that disagrees with Size must
    // not make the copy run past them.
    if (offset + n > static_cast<int64_t>(raw.size()))
      throw Exception("TSFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
    std::memcpy(out + result, raw.data() + offset, static_cast<size_t>(n));
    result += static_cast<int32_t>(n);
    if (result < Count) ++k;
    FPosition += n;
    if (FProgressSteps > 0) FProgressPercent += 100.0 / FProgressSteps;
  }
  DoProgress(100);
  return result;
}

int32_t TSFSAdvancedFileStream::Write(const void* Buffer, int32_t Count) {
  DoProgress(0);
  if (IsRaw()) {
    const int32_t result = FData->Write(Buffer, Count);
    DoProgress(100);
    return result;
  }
  if (Count <= 0) return 0;
  // Logical sizes and block numbers are 32-bit: a write that would end at or
  // beyond 2^31 writes nothing.
  if (FPosition + static_cast<int64_t>(Count) > kMaxOffset) return 0;

  if (FPosition > FSize) {
    const int64_t p = FPosition;
    SetSize(p);
    FPosition = p;
    if (FPosition != p) return 0;
  }

  const int64_t B = FBlockSize;
  const int64_t start = FPosition;
  const int64_t last = start + Count - 1;
  const int32_t f = static_cast<int32_t>(start / B);
  const int32_t l = static_cast<int32_t>(last / B);
  const int32_t e = FHeaders.Count() - 1;
  bool relayout = l > e;
  if (relayout) FHeaders.SetCount(l + 1);
  const int32_t n = FHeaders.Count();
  if (FSize <= 0) FHeaders.Offset(0) = FirstBlockOffset();

  FProgressPercent = 0;
  FProgressSteps = n - f;
  if (start + Count > FSize) FSize = start + Count;
  FPosition = start + Count;

  const auto* in = static_cast<const uint8_t*>(Buffer);
  std::vector<std::vector<uint8_t>> stored;  // stored bytes of blocks f, f+1, ...
  int32_t i = f;
  for (; i <= n - 1 && (relayout || i <= l); ++i) {
    DoProgress(FProgressPercent);
    std::vector<uint8_t> raw;
    if (i <= e) {
      raw = LoadBlock(i);
      raw.resize(static_cast<size_t>(B), 0);
    } else {
      raw.assign(static_cast<size_t>(B), 0);
    }
    if (i <= l) {
      const int64_t blockStart = static_cast<int64_t>(i) * B;
      const int64_t from = (i == f) ? start % B : 0;
      const int64_t to = (i == l) ? last % B : B - 1;
      std::memcpy(raw.data() + from, in + (blockStart + from - start), static_cast<size_t>(to - from + 1));
    }
    TSFSBlockHeader& h = FHeaders.Header(i);
    const uint32_t oldStored = h.StoredSize;
    int32_t rawLength = static_cast<int32_t>(B);
    if (i == n - 1) {
      rawLength = static_cast<int32_t>(FSize % B);
      if (rawLength == 0) rawLength = static_cast<int32_t>(B);
    }
    stored.push_back(PrepareBufferForWriting(raw.data(), rawLength, h));
    if (h.StoredSize > oldStored) relayout = true;
    if (i == n - 1 || relayout) {
      const int64_t base = (i == 0) ? FHeaders.Offset(0) : static_cast<int64_t>(FHeaders.Header(i - 1).NextOffset);
      const int64_t next = base + kBlockHeaderSize + h.StoredSize;
      if (next > kMaxOffset)
        throw Exception("TSFSAdvancedFileStream.Write - data stream too large, offset = " + std::to_string(next));
      h.NextOffset = static_cast<uint32_t>(next);
    }
    if (FProgressSteps > 0) FProgressPercent += 100.0 / FProgressSteps;
  }
  const int32_t handledEnd = i;

  if (relayout) {
    for (int32_t j = 1; j <= n - 1; ++j) FHeaders.Offset(j) = FHeaders.Header(j - 1).NextOffset;
  }

  for (int32_t j = f; j < handledEnd; ++j) {
    DoProgress(FProgressPercent);
    WriteBlock(j, stored[static_cast<size_t>(j - f)]);
  }

  SetHeaderBlockCount(n);
  WriteHeader();
  stored.clear();
  UpdateRatio();
  DoProgress(100);
  return Count;
}

void TSFSAdvancedFileStream::SetSize(int64_t NewSize) {
  if (IsRaw()) {
    FData->SetSize(NewSize);
    return;
  }
  if (NewSize == FSize) return;
  if (NewSize < 0)
    throw Exception("TSFSAdvancedFileStream.SetSize - invalid size, NewSize = " + std::to_string(NewSize));

  if (NewSize > FSize) {
    const int64_t extSize = NewSize - FSize;
    const auto extendError = [&] {
      return Exception("TSFSAdvancedFileStream.SetSize - error extending file. NewSize = " +
                       std::to_string(NewSize) + ", extSize = " + std::to_string(extSize));
    };
    // The zero extension is built whole; a size the stream cannot hold is
    // refused before anything is allocated.
    if (NewSize > kMaxOffset) throw extendError();
    Seek(static_cast<int64_t>(0), 2);
    const std::vector<uint8_t> zeros(static_cast<size_t>(extSize), 0);
    int32_t written = 0;
    {
      FlagGuard quiet(InternalOperation, true);
      written = Write(zeros.data(), static_cast<int32_t>(extSize));
    }
    if (written < extSize) throw extendError();
    return;
  }

  const int64_t B = FBlockSize;
  const int32_t b = static_cast<int32_t>(NewSize / B);
  const int32_t r = static_cast<int32_t>(NewSize % B);
  if (b >= FHeaders.Count())
    throw Exception("TSFSAdvancedFileStream.SetSize - block table does not cover NewSize = " + std::to_string(NewSize));
  std::vector<uint8_t> stored;
  if (r > 0) {
    const std::vector<uint8_t> raw = LoadBlock(b);
    stored = PrepareBufferForWriting(raw.data(), r, FHeaders.Header(b));
  }
  const int64_t cutAt = FHeaders.Offset(b);
  const int32_t keep = r > 0 ? b + 1 : b;
  FHeaders.SetCount(keep);
  SetHeaderBlockCount(keep);
  WriteHeader();
  FData->SetSize(cutAt);
  if (r > 0) {
    FHeaders.Offset(b) = cutAt;
    FHeaders.Header(b).NextOffset = static_cast<uint32_t>(cutAt + kBlockHeaderSize + FHeaders.Header(b).StoredSize);
    WriteBlock(b, stored);
  }
  FSize = NewSize;
  if (FPosition > FSize) FPosition = FSize;
  UpdateRatio();
}

// ---------------------------------------------------------------------------
// Whole-content copies

void TSFSAdvancedFileStream::SaveToStream(TStream& Destination) {
  const int64_t ownPosition = GetPosition();
  const int64_t destinationPosition = Destination.GetPosition();
  SetPosition(0);
  InternalOperation = false;
  DoProgress(0);

  const int64_t size = GetSize();
  const int32_t chunkSize = std::max<int32_t>(CopyBufferSize, 1);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(chunkSize, std::max<int64_t>(size, 1))));
  int64_t copied = 0;
  while (copied < size) {
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(chunkSize, size - copied));
    {
      FlagGuard quiet(InternalOperation, true);
      try {
        ReadBuffer(buffer.data(), chunk);
      } catch (const Exception&) {
        // One more try of the same chunk, from its start: a short read has
        // already moved the position.
        SetPosition(copied);
        ReadBuffer(buffer.data(), chunk);
      }
      Destination.WriteBuffer(buffer.data(), chunk);
    }
    InternalOperation = false;
    copied += chunk;
    DoProgress(static_cast<double>(copied) / static_cast<double>(size) * 100.0);
  }
  buffer.clear();
  SetPosition(ownPosition);
  Destination.SetPosition(destinationPosition);
  DoProgress(100);
}

void TSFSAdvancedFileStream::LoadFromStream(TStream& Source) {
  const int64_t ownPosition = GetPosition();
  const int64_t sourcePosition = Source.GetPosition();
  Source.SetPosition(0);
  SetSize(static_cast<int64_t>(0));
  SetPosition(0);
  InternalOperation = false;
  DoProgress(0);

  const int64_t sourceSize = Source.GetSize();
  const int32_t chunkSize = std::max<int32_t>(CopyBufferSize, 1);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(chunkSize, std::max<int64_t>(sourceSize, 1))));
  int64_t at = Source.GetPosition();
  while (at < sourceSize) {
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(chunkSize, sourceSize - at));
    {
      FlagGuard quiet(InternalOperation, true);
      Source.ReadBuffer(buffer.data(), chunk);
      WriteBuffer(buffer.data(), chunk);
    }
    InternalOperation = false;
    at = Source.GetPosition();
    DoProgress(static_cast<double>(at) / static_cast<double>(sourceSize) * 100.0);
  }
  buffer.clear();
  SetPosition(ownPosition);
  Source.SetPosition(sourcePosition);
  DoProgress(100);
}

void TSFSAdvancedFileStream::SaveToFile(const std::string& Path) {
  TFileStream file(Path, TFileStream::OpenMode::Create);
  SaveToStream(file);
}

void TSFSAdvancedFileStream::LoadFromFile(const std::string& Path) {
  TFileStream file(Path, TFileStream::OpenMode::OpenReadDenyWrite);
  LoadFromStream(file);
}
