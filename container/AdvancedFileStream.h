// The block stream over one stored file: gives a compressed stored file the
// face of an ordinary random-access byte stream.
//
// The logical bytes are cut into blocks of BlockSize raw bytes; each block is
// compressed on its own with the file's method and carries the CRC-16 of its
// raw bytes. The stored file starts with a 128-byte header ("ZKCS", block
// size, block count, method); the blocks follow as a chain of 16-byte block
// headers, each followed by its stored bytes and naming the offset of the
// next one. The chain is rebuilt in memory (TSFSHeadersArray) on every open.
//
// A stored file made with method 0, and any stored file whose bytes do not
// start with a valid header, is raw: every call passes straight to the data
// stream (TSFSUserFileStream).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Stream.h"

class TSingleFileSystem;
class TSFSUserFileStream;

// Size of the header at offset 0 of a stored file in block form.
constexpr int32_t kBlockStreamHeaderSize = 128;
// Size of the header in front of every block's stored bytes.
constexpr int32_t kBlockHeaderSize = 16;

// One block's header, as stored (little-endian).
struct TSFSBlockHeader {
  uint32_t StoredSize = 0;     // stored (compressed) bytes after the header
  uint32_t RawSize = 0;        // bytes after decompression
  uint32_t BlockChecksum = 0;  // CRC-16/ARC of the raw bytes, high half 0
  uint32_t NextOffset = 0;     // data-stream offset of the next block header
};
static_assert(sizeof(TSFSBlockHeader) == 16);

// Progress of a Read, Write or whole-file copy, in percent.
using TSFSProgressEvent = std::function<void(TStream& Sender, double Percent)>;

// The block chain in memory: one header and one data-stream offset per
// block, in two parallel arrays that grow and shrink in steps.
class TSFSHeadersArray {
 public:
  int32_t Count() const;
  int32_t Capacity() const;
  int32_t GrowDelta() const;
  int32_t ShrinkDelta() const;
  // New entries are zero; see the growth and shrink rules in the source.
  void SetCount(int32_t n);
  void Add(const TSFSBlockHeader& Header, int64_t Offset);
  // Index 0 .. Count()-1.
  TSFSBlockHeader& Header(int32_t i);
  const TSFSBlockHeader& Header(int32_t i) const;
  int64_t& Offset(int32_t i);
  int64_t Offset(int32_t i) const;

 private:
  std::vector<TSFSBlockHeader> FHeaders;
  std::vector<int64_t> FOffsets;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
  int32_t FGrowDelta = 100;
  int32_t FShrinkDelta = 100;
};

class TSFSAdvancedFileStream : public TStream {
 public:
  // Opens the stored file through a new TSFSUserFileStream (whose errors
  // propagate); Method 0 takes the container's DefaultCompression. In create
  // mode (0xFFFF) with a method other than 0 a fresh header is written;
  // otherwise the stored file's own bytes decide between block and raw form.
  // A null container raises "TSFSAdvancedFileStream.Create - SingleFileSystem = nil.".
  TSFSAdvancedFileStream(TSingleFileSystem* Container, const std::string& FileName, uint16_t Mode,
                         const std::string& Password, const std::string& Question, const std::string& Answer,
                         uint8_t Method);
  // Frees the data stream, which closes the container handle.
  ~TSFSAdvancedFileStream() override;

  using TStream::Seek;
  using TStream::SetSize;
  void SetSize(int64_t NewSize) override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, uint16_t Origin) override;

  // Copies the whole logical content into Destination at its position.
  void SaveToStream(TStream& Destination);
  // Replaces the whole logical content with Source's content.
  void LoadFromStream(TStream& Source);
  // Creates (or empties) the disk file at Path and saves into it.
  void SaveToFile(const std::string& Path);
  // Opens the disk file at Path for reading (others may read, not write) and
  // loads it.
  void LoadFromFile(const std::string& Path);

  // Sum of the blocks' stored sizes (Size for a raw stream).
  int64_t CompressedSize() const { return FCompressedSize; }
  // (1 - CompressedSize / Size) * 100; 0 for raw or empty streams.
  double CompressionRatio() const { return FCompressionRatio; }
  // The file's method; 0 for a raw stream.
  uint8_t Method() const { return FMethod; }
  // Raw bytes per block from the header; 0 for a raw stream.
  int32_t BlockSize() const;
  // The block chain as read or last written.
  const TSFSHeadersArray& Headers() const { return FHeaders; }
  TSFSUserFileStream& DataStream() { return *FData; }

  // Chunk size of SaveToStream and LoadFromStream: 1 MiB, BlockSize once a
  // valid header has been read.
  int32_t CopyBufferSize = 0x100000;
  // While set, progress events are not fired.
  bool InternalOperation = false;
  TSFSProgressEvent OnProgress;
  const std::string FileName;

 private:
  // Fires OnProgress unless InternalOperation is set.
  void DoProgress(double Percent);
  // Resets the state and, when creating with a method other than 0, writes
  // a fresh header; then decides between block and raw form (ReadHeader).
  void InitStream(bool Create);
  // Rebuilds the block chain from the data stream, or switches to raw form
  // when the stored bytes do not start with a valid header. A chain cut off
  // inside a block header is ended at the last whole block and the header
  // rewritten. Raises on a header or chain that cannot be walked safely.
  void ReadHeader();
  // Writes the 128-byte header image at offset 0 of the data stream.
  void WriteHeader();
  // Reads, decompresses and checks block i; returns exactly RawSize bytes.
  std::vector<uint8_t> LoadBlock(int32_t i);
  // Sets Header's RawSize and checksum for the first Length bytes of Raw,
  // compresses them and sets StoredSize; returns the stored bytes (only the
  // first StoredSize of them count).
  std::vector<uint8_t> PrepareBufferForWriting(const uint8_t* Raw, int32_t Length, TSFSBlockHeader& Header);
  // Writes block i's header and its StoredSize stored bytes at Offsets[i].
  void WriteBlock(int32_t i, const std::vector<uint8_t>& Stored);
  // Recomputes CompressedSize and CompressionRatio from the table.
  void UpdateRatio();
  // BlockCount in the header image.
  void SetHeaderBlockCount(int32_t Count);
  // Offset of the first block header: 128 + ExtraLength.
  int64_t FirstBlockOffset() const;
  bool IsRaw() const { return FMethod == 0; }
  // Size of the data stream, its position left unchanged.
  int64_t DataSize();

  double FProgressPercent = 0;
  double FProgressSteps = 0;
  TSFSHeadersArray FHeaders;
  int64_t FSize = 0;
  int64_t FCompressedSize = 0;
  int64_t FPosition = 0;
  uint8_t FMethod = 0;
  double FCompressionRatio = 0;
  std::unique_ptr<TSFSUserFileStream> FData;
  uint8_t FHeaderImage[kBlockStreamHeaderSize] = {};
  // BlockSize of the header image once read; 0 for a raw stream.
  int32_t FBlockSize = 0;
  // The container the data stream's handle belongs to; not owned.
  TSingleFileSystem* FContainer = nullptr;
};
