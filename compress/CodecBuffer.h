// Output-buffer handling shared by the whole-buffer adapters over zlib and
// libbzip2 (internal to compress/).
//
// Both libraries code into a caller-supplied window (next_out, avail_out) and
// report how much they have written so far; the adapters start with an
// estimated buffer, grow it in fixed steps while the library asks for room,
// and never let it pass the largest 32-bit size. The stream record, the
// allocation callbacks and the error reporting stay with each adapter.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace codec_buffer {

// The largest output (and input) buffer the adapters handle.
constexpr int64_t kMaxBuffer = std::numeric_limits<int32_t>::max();
// The growth step of the compression output.
constexpr int64_t kCompressGrowth = 256;

// The first size of the compression output for `length` input bytes:
// length + length / 10 + 12, plus 255, rounded down to a multiple of 256.
// May exceed kMaxBuffer; the caller refuses that.
inline int64_t InitialCompressSize(int32_t length) {
  return (static_cast<int64_t>(length) + length / 10 + 12 + 255) & ~int64_t{255};
}

// The growth step of the decompression output: the stored size rounded up
// to a multiple of 256 (also the first size when no estimate is given).
inline int64_t DecompressStep(int32_t length) { return (static_cast<int64_t>(length) + 255) & ~int64_t{255}; }

// Points the stream's output window at `buffer` from byte `written` on, with
// all the remaining room.
template <class Stream>
void PointOutput(Stream& stream, std::vector<uint8_t>& buffer, int64_t written) {
  stream.next_out = reinterpret_cast<decltype(stream.next_out)>(buffer.data() + written);
  stream.avail_out = static_cast<decltype(stream.avail_out)>(static_cast<int64_t>(buffer.size()) - written);
}

// Grows `buffer` by `growth` bytes and points the stream's output at byte
// `written` (the first one not yet written), with all the remaining room.
// Returns false, changing nothing, when `growth` is not positive or the
// buffer would pass kMaxBuffer.
template <class Stream>
bool GrowOutput(Stream& stream, std::vector<uint8_t>& buffer, int64_t growth, int64_t written) {
  const int64_t size = static_cast<int64_t>(buffer.size()) + growth;
  if (growth <= 0 || size > kMaxBuffer) return false;
  buffer.resize(static_cast<size_t>(size));
  PointOutput(stream, buffer, written);
  return true;
}

// Ends a library stream on every path out of an adapter: EndFunction runs
// once, either through End() or when the guard goes out of scope.
template <class Stream, int (*EndFunction)(Stream*)>
class StreamEnder {
 public:
  explicit StreamEnder(Stream& stream) : stream_(stream) {}
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
  Stream& stream_;
  bool active_ = true;
};

// Empties the output and its length after a failure, releasing the memory.
inline void DiscardOutput(std::vector<uint8_t>& buffer, int32_t& length) {
  buffer.clear();
  buffer.shrink_to_fit();
  length = 0;
}

}  // namespace codec_buffer
