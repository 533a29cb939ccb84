// Whole-buffer bzip2 compression and decompression over libbzip2 (see
// SFSBZip2.h).
#include "compress/SFSBZip2.h"

#include <bzlib.h>

#include <cstdlib>

#include "compress/CodecBuffer.h"

namespace {

using codec_buffer::kMaxBuffer;

std::string CodeMessage(int code) { return "error " + std::to_string(code); }

// libbzip2's allocation callbacks: items * size bytes, not cleared.
void* Bzip2Alloc(void* /*opaque*/, int items, int size) {
  if (items < 0 || size < 0) return nullptr;
  return std::malloc(static_cast<size_t>(items) * static_cast<size_t>(size));
}
void Bzip2Free(void* /*opaque*/, void* address) { std::free(address); }

// A zeroed stream record that allocates through the callbacks above.
bz_stream NewStreamRecord() {
  bz_stream stream{};
  stream.bzalloc = Bzip2Alloc;
  stream.bzfree = Bzip2Free;
  stream.opaque = nullptr;
  return stream;
}

int64_t TotalOut(const bz_stream& stream) {
  return static_cast<int64_t>((static_cast<uint64_t>(stream.total_out_hi32) << 32) | stream.total_out_lo32);
}

// Grows `buffer` by `growth` bytes behind the bytes the library has written
// so far (see codec_buffer::GrowOutput).
bool GrowOutput(bz_stream& stream, std::vector<uint8_t>& buffer, int64_t growth) {
  return codec_buffer::GrowOutput(stream, buffer, growth, TotalOut(stream));
}

}  // namespace

void Bzip2CompressBlock(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                        int32_t blockSize, int32_t& storedLength) {
  destination.clear();
  storedLength = 0;
  try {
    if (length < 0 || (length > 0 && source == nullptr))
      throw EBZCompressionError(CodeMessage(BZ_PARAM_ERROR));
    const int64_t initial = codec_buffer::InitialCompressSize(length);
    if (initial > kMaxBuffer) throw EBZCompressionError(CodeMessage(BZ_MEM_ERROR));
    destination.resize(static_cast<size_t>(initial));

    bz_stream stream = NewStreamRecord();
    int code = BZ2_bzCompressInit(&stream, blockSize, 0, 0);
    if (code < 0) throw EBZCompressionError(CodeMessage(code));
    codec_buffer::StreamEnder<bz_stream, BZ2_bzCompressEnd> ender(stream);

    stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(source));
    stream.avail_in = static_cast<unsigned int>(length);
    codec_buffer::PointOutput(stream, destination, 0);
    for (;;) {
      code = BZ2_bzCompress(&stream, BZ_FINISH);
      if (code < 0) throw EBZCompressionError(CodeMessage(code));
      if (code == BZ_STREAM_END) break;
      if (!GrowOutput(stream, destination, codec_buffer::kCompressGrowth))
        throw EBZCompressionError(CodeMessage(BZ_MEM_ERROR));
    }
    const int64_t total = TotalOut(stream);
    code = ender.End();
    if (code < 0) throw EBZCompressionError(CodeMessage(code));
    destination.resize(static_cast<size_t>(total));
    storedLength = static_cast<int32_t>(total);
  } catch (...) {
    codec_buffer::DiscardOutput(destination, storedLength);
    throw;
  }
}

void Bzip2DecompressBlock(const uint8_t* source, int32_t length, int32_t estimate,
                          std::vector<uint8_t>& destination, int32_t& rawLength) {
  destination.clear();
  rawLength = 0;
  try {
    // An empty source can never hold a stream; refusing it also keeps the
    // growth step above zero.
    if (length <= 0 || estimate < 0 || source == nullptr)
      throw EBZDecompressionError(CodeMessage(BZ_PARAM_ERROR));
    const int64_t step = codec_buffer::DecompressStep(length);
    const int64_t initial = estimate != 0 ? estimate : step;
    if (initial > kMaxBuffer) throw EBZDecompressionError(CodeMessage(BZ_MEM_ERROR));
    destination.resize(static_cast<size_t>(initial));

    bz_stream stream = NewStreamRecord();
    int code = BZ2_bzDecompressInit(&stream, 0, 0);
    if (code < 0) throw EBZDecompressionError(CodeMessage(code));
    codec_buffer::StreamEnder<bz_stream, BZ2_bzDecompressEnd> ender(stream);

    stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(source));
    stream.avail_in = static_cast<unsigned int>(length);
    codec_buffer::PointOutput(stream, destination, 0);
    for (;;) {
      code = BZ2_bzDecompress(&stream);
      if (code < 0) throw EBZDecompressionError(CodeMessage(code));
      if (code == BZ_STREAM_END) break;
      // The library answers "more to do" both when the output is full and
      // when it has used up all input; in the second case the stream was cut
      // short and no amount of output room would ever finish it.
      if (stream.avail_in == 0 && stream.avail_out > 0)
        throw EBZDecompressionError(CodeMessage(BZ_UNEXPECTED_EOF));
      if (!GrowOutput(stream, destination, step)) throw EBZDecompressionError(CodeMessage(BZ_MEM_ERROR));
    }
    const int64_t total = TotalOut(stream);
    code = ender.End();
    if (code < 0) throw EBZDecompressionError(CodeMessage(code));
    destination.resize(static_cast<size_t>(total));
    rawLength = static_cast<int32_t>(total);
  } catch (...) {
    codec_buffer::DiscardOutput(destination, rawLength);
    throw;
  }
}

void Bzip2InternalError(int errorCode) {
  throw EBZip2Error("Compression Error " + std::to_string(errorCode));
}

#ifdef BZ_NO_STDIO
// A libbzip2 built without its standard-I/O layer requires the program to
// supply this hook for its internal consistency failures.
extern "C" void bz_internal_error(int errcode) { Bzip2InternalError(errcode); }
#endif
