// Helpers shared by the tests of the whole-buffer zlib and bzip2 adapters:
// numbered text to code, and running an adapter's compress or decompress
// entry point over a whole byte vector with the checks every caller wants.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace codec_test {

using Bytes = std::vector<uint8_t>;

// The shape both adapters' compress entry points share.
using BlockCompressor = void (*)(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                                 int32_t parameter, int32_t& storedLength);
// The shape both adapters' decompress entry points share.
using BlockDecompressor = void (*)(const uint8_t* source, int32_t length, int32_t estimate,
                                   std::vector<uint8_t>& destination, int32_t& rawLength);

// `count` bytes of the lines line(0), line(1), ... one after the other, the
// last one cut where the count is reached.
template <class LineFn>
Bytes NumberedLines(size_t count, LineFn line) {
  Bytes bytes;
  for (size_t i = 0; bytes.size() < count; ++i) {
    const std::string text = line(i);
    bytes.insert(bytes.end(), text.begin(), text.end());
  }
  bytes.resize(count);
  return bytes;
}

// Compresses all of `raw` with `parameter` (level or block size) and returns
// the stored form; the reported length must be the size of the output.
inline Bytes CompressWhole(BlockCompressor compress, const Bytes& raw, int32_t parameter) {
  Bytes stored;
  int32_t storedLength = 0;
  compress(raw.data(), static_cast<int32_t>(raw.size()), stored, parameter, storedLength);
  EXPECT_EQ(static_cast<size_t>(storedLength), stored.size());
  return stored;
}

// Decompresses `stored` with the output first sized by `estimate` and
// expects exactly `raw` back, with its length reported.
inline void ExpectDecodes(BlockDecompressor decompress, const Bytes& stored, int32_t estimate,
                          const Bytes& raw) {
  Bytes decoded;
  int32_t rawLength = -1;
  decompress(stored.data(), static_cast<int32_t>(stored.size()), estimate, decoded, rawLength);
  EXPECT_EQ(rawLength, static_cast<int32_t>(raw.size())) << "estimate " << estimate;
  EXPECT_EQ(decoded, raw) << "estimate " << estimate;
}

}  // namespace codec_test
