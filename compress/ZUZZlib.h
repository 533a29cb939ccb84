// Whole-buffer adapter over zlib for the deflate compression methods.
//
// Each call codes one complete buffer into one newly sized output buffer: the
// stored form is a plain zlib stream (two-byte header, deflate data, Adler-32
// trailer). There is no state between calls. zlib allocates through the
// program's own callbacks (zero-filled memory), and every negative library
// return code raises at once.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Exception.h"

// Base of the zlib adapter's errors; the message is always "error".
class EZlibError : public Exception {
 public:
  using Exception::Exception;
};
// Raised by the deflate side.
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};
// Raised by the inflate side (also for a stream that asks for a preset
// dictionary or that ends early).
class EDecompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// Deflates `length` bytes of `source` at `level` into `destination`.
// The output starts at (length + length / 10 + 12 + 255) rounded down to a
// multiple of 256 bytes and grows by 256 bytes each time deflate needs more
// room. On return `destination` holds exactly the stream and `storedLength`
// its size.
// On failure raises ECompressionError ("error"); `destination` is then empty.
void ZlibCompressBlock(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                       int32_t level, int32_t& storedLength);

// Inflates the zlib stream of `length` bytes at `source` into `destination`.
// The output starts at `estimate` bytes (or, when `estimate` is 0, at the
// stored size rounded up to a multiple of 256, the growth step) and grows by
// that step until the stream ends. On return `destination` holds exactly the
// decoded bytes and `rawLength` their count. Bytes after the end of the
// stream are ignored.
// On failure raises EDecompressionError ("error"); `destination` is then empty.
void ZlibDecompressBlock(const uint8_t* source, int32_t length, int32_t estimate,
                         std::vector<uint8_t>& destination, int32_t& rawLength);
