// Whole-buffer deflate and inflate over zlib (see ZUZZlib.h).
#include "compress/ZUZZlib.h"

#include <zlib.h>

#include <cstdlib>
#include <limits>

namespace {

constexpr int64_t kMaxBuffer = std::numeric_limits<int32_t>::max();
constexpr int64_t kCompressGrowth = 256;

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

// Ends the deflate or inflate stream on every path out of an adapter.
template <int (*EndFunction)(z_streamp)>
class StreamEnder {
 public:
  explicit StreamEnder(z_stream& stream) : stream_(stream) {}
  StreamEnder(const StreamEnder&) = delete;
  StreamEnder& operator=(const StreamEnder&) = delete;
  ~StreamEnder() {
    if (active_) EndFunction(&stream_);
  }
  // Ends the stream now and returns the library's code.
  int End() {
    active_ = false;
    return EndFunction(&stream_);
  }

 private:
  z_stream& stream_;
  bool active_ = true;
};

// Grows `buffer` by `growth` bytes and points the stream's output at the
// first byte not yet written, with all the remaining room. Returns false when
// the buffer would pass the largest 32-bit size.
bool GrowOutput(z_stream& stream, std::vector<uint8_t>& buffer, int64_t growth) {
  const int64_t size = static_cast<int64_t>(buffer.size()) + growth;
  if (growth <= 0 || size > kMaxBuffer) return false;
  buffer.resize(static_cast<size_t>(size));
  stream.next_out = buffer.data() + stream.total_out;
  stream.avail_out = static_cast<uInt>(size - static_cast<int64_t>(stream.total_out));
  return true;
}

}  // namespace

void ZlibCompressBlock(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                       int32_t level, int32_t& storedLength) {
  destination.clear();
  storedLength = 0;
  try {
    if (length < 0 || (length > 0 && source == nullptr)) throw ECompressionError("error");
    const int64_t initial = (static_cast<int64_t>(length) + length / 10 + 12 + 255) & ~int64_t{255};
    if (initial > kMaxBuffer) throw ECompressionError("error");
    destination.resize(static_cast<size_t>(initial));

    z_stream stream = NewStreamRecord();
    if (deflateInit(&stream, level) < 0) throw ECompressionError("error");
    StreamEnder<deflateEnd> ender(stream);

    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = destination.data();
    stream.avail_out = static_cast<uInt>(destination.size());
    for (;;) {
      const int code = deflate(&stream, Z_FINISH);
      if (code < 0) throw ECompressionError("error");
      if (code == Z_STREAM_END) break;
      if (!GrowOutput(stream, destination, kCompressGrowth)) throw ECompressionError("error");
    }
    const uLong total = stream.total_out;
    if (ender.End() < 0) throw ECompressionError("error");
    destination.resize(total);
    storedLength = static_cast<int32_t>(total);
  } catch (...) {
    destination.clear();
    destination.shrink_to_fit();
    storedLength = 0;
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
    const int64_t step = (static_cast<int64_t>(length) + 255) & ~int64_t{255};
    const int64_t initial = estimate != 0 ? estimate : step;
    if (initial > kMaxBuffer) throw EDecompressionError("error");
    destination.resize(static_cast<size_t>(initial));

    z_stream stream = NewStreamRecord();
    if (inflateInit(&stream) < 0) throw EDecompressionError("error");
    StreamEnder<inflateEnd> ender(stream);

    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = destination.data();
    stream.avail_out = static_cast<uInt>(destination.size());
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
    destination.clear();
    destination.shrink_to_fit();
    rawLength = 0;
    throw;
  }
}
