// Whole-buffer adapter over libbzip2 for the bzip2 compression methods.
//
// Each call codes one complete buffer into one newly sized output buffer: the
// stored form is a complete bzip2 stream with the library's stream header.
// There is no state between calls. libbzip2 allocates through the program's
// own callbacks, and every negative library return code raises at once with
// the code in the message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Exception.h"

// Base of the bzip2 adapter's errors. The adapter raises it itself only from
// the library's internal-error hook ("Compression Error %d").
class EBZip2Error : public Exception {
 public:
  using Exception::Exception;
};
// Raised by the compression side with "error %d" (the library's code).
class EBZCompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};
// Raised by the decompression side with "error %d" (the library's code; a
// stream that ends before its end marker gives the library's
// unexpected-end code, -7).
class EBZDecompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};

// Compresses `length` bytes of `source` with the bzip2 block size `blockSize`
// (1..9, in units of 100 000 bytes) into `destination`. The output starts at
// (length + length / 10 + 12 + 255) rounded down to a multiple of 256 bytes and
// grows by 256 bytes while the library needs room. On return `destination`
// holds exactly the stream and `storedLength` its size.
// On failure raises EBZCompressionError; `destination` is then empty.
void Bzip2CompressBlock(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination,
                        int32_t blockSize, int32_t& storedLength);

// Decompresses the bzip2 stream of `length` bytes at `source` into
// `destination`. The output starts at `estimate` bytes (or, when `estimate` is
// 0, at the stored size rounded up to a multiple of 256, the growth step) and
// grows by that step until the stream ends. On return `destination` holds
// exactly the decoded bytes and `rawLength` their count. Bytes after the end
// of the stream are ignored.
// On failure raises EBZDecompressionError; `destination` is then empty.
void Bzip2DecompressBlock(const uint8_t* source, int32_t length, int32_t estimate,
                          std::vector<uint8_t>& destination, int32_t& rawLength);

// The handler for libbzip2's internal consistency failures: raises EBZip2Error
// with "Compression Error %d" and the library's error number. A library built
// without its standard-I/O layer calls it through the hook it requires; the
// standard build reports such failures itself and never calls it.
[[noreturn]] void Bzip2InternalError(int errorCode);
