// Whole-buffer deflate and inflate over zlib (see ZUZZlib.h).
#include "compress/ZUZZlib.h"

#include <zlib.h>

#include <cstdlib>

#include "compress/CodecBuffer.h"

namespace {

using codec_buffer::kMaxBuffer;

// zlib's allocation callbacks: zero-filled memory of items * size bytes.
voidpf ZlibAlloc(voidpf /*opaque*/, uInt items, uInt size) { return std::calloc(items, size); }
void ZlibFree(voidpf /*opaque*/, voidpf address) { std::free(address); }

// A zeroed stream record that allocates through the callbacks above.
z_stream NewStreamRecord() {
  z_stream stream{};
  stream.zalloc = ZlibAlloc;
  stream.zfree = ZlibFree;
  stream.opaque = Z_NULL;
  return stream;
}

// Grows `buffer` by `growth` bytes behind the bytes deflate or inflate has
// written so far (see codec_buffer::GrowOutput).
bool GrowOutput(z_stream& stream, std::vector<uint8_t>& buffer, int64_t growth) {
  return codec_buffer::GrowOutput(stream, buffer, growth, static_cast<int64_t>(stream.total_out));
}

}  // namespace

void ZlibCompressBlock(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                       int32_t level, int32_t& storedLength) {
  destination.clear();
  storedLength = 0;
  try {
    if (length < 0 || (length > 0 && source == nullptr)) throw ECompressionError("error");
    const int64_t initial = codec_buffer::InitialCompressSize(length);
    if (initial > kMaxBuffer) throw ECompressionError("error");
    destination.resize(static_cast<size_t>(initial));

    z_stream stream = NewStreamRecord();
    if (deflateInit(&stream, level) < 0) throw ECompressionError("error");
    codec_buffer::StreamEnder<z_stream, deflateEnd> ender(stream);

    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = static_cast<uInt>(length);
    codec_buffer::PointOutput(stream, destination, 0);
    for (;;) {
      const int code = deflate(&stream, Z_FINISH);
      if (code < 0) throw ECompressionError("error");
      if (code == Z_STREAM_END) break;
      if (!GrowOutput(stream, destination, codec_buffer::kCompressGrowth)) throw ECompressionError("error");
    }
    const uLong total = stream.total_out;
    if (ender.End() < 0) throw ECompressionError("error");
    destination.resize(total);
    storedLength = static_cast<int32_t>(total);
  } catch (...) {
    codec_buffer::DiscardOutput(destination, storedLength);
    throw;
  }
}

void ZlibDecompressBlock(const uint8_t* source, int32_t length, int32_t estimate,
                         std::vector<uint8_t>& destination, int32_t& rawLength) {
  destination.clear();
  rawLength = 0;
  try {
    // An empty source can never hold a stream; refusing it also keeps the
    // growth step above zero.
    if (length <= 0 || estimate < 0 || source == nullptr) throw EDecompressionError("error");
    const int64_t step = codec_buffer::DecompressStep(length);
    const int64_t initial = estimate != 0 ? estimate : step;
    if (initial > kMaxBuffer) throw EDecompressionError("error");
    destination.resize(static_cast<size_t>(initial));

    z_stream stream = NewStreamRecord();
    if (inflateInit(&stream) < 0) throw EDecompressionError("error");
    codec_buffer::StreamEnder<z_stream, inflateEnd> ender(stream);

    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = static_cast<uInt>(length);
    codec_buffer::PointOutput(stream, destination, 0);
    for (;;) {
      const int code = inflate(&stream, Z_NO_FLUSH);
      // A stream that asks for a preset dictionary can never be decoded
      // here; inflate would answer the same on every further call.
      if (code < 0 || code == Z_NEED_DICT) throw EDecompressionError("error");
      if (code == Z_STREAM_END) break;
      if (!GrowOutput(stream, destination, step)) throw EDecompressionError("error");
    }
    const uLong total = stream.total_out;
    if (ender.End() < 0) throw EDecompressionError("error");
    destination.resize(total);
    rawLength = static_cast<int32_t>(total);
  } catch (...) {
    codec_buffer::DiscardOutput(destination, rawLength);
    throw;
  }
}
