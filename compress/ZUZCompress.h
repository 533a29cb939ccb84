// Compression methods of stored files: turns one block into its stored form
// and back.
//
// A method number (an unsigned byte) picks the codec, its setting and the
// block size a compressed stored file is cut into:
//
//   method  codec     setting                    block size
//   0       stored    bytes copied unchanged     1 MiB
//   1       deflate   level 1                    512 KiB
//   2       deflate   level 5                    1 MiB
//   3       PPMd      order 5, 25 MiB model      1 MiB
//   4       PPMd      order 13, 50 MiB model     1.5 MiB
//   5       deflate   level 9                    1.5 MiB
//   6       PPMd      order 3, 10 MiB model      512 KiB
//   7       bzip2     block size 2 (x100 000)    512 KiB
//   8       bzip2     block size 6               1 MiB
//   9       bzip2     block size 9               1.5 MiB
//   10-255  none: compressing and decompressing fail   1 MiB
//
// Every call works on one whole buffer; there is no state between calls, so
// any block can be coded on its own. The stored form of a block is exactly the
// codec's own format: a zlib stream, a complete bzip2 stream, or a PPMd block
// (compress/Ppmd.h). Output buffers belong to the caller; input buffers are
// never changed.
#pragma once

#include <cstdint>
#include <vector>

#include "compress/Ppmd.h"

// The highest method number this program knows.
constexpr uint8_t kMaxCompressionMethod = 9;

// The size of the raw blocks a stored file compressed with `method` is cut
// into (see the table above; 1 MiB for unknown methods).
int32_t BlockSizeForMethod(uint8_t method);

// Compresses `length` bytes of `source` with `method` into `destination`.
// Returns true when the block was coded; `storedLength` then holds the number
// of bytes of `destination` that form the stored block.
// - length 0: returns false and touches neither `destination` nor
//   `storedLength`.
// - Otherwise `storedLength` is 0 on every failure (unknown method, negative
//   length, codec error).
// - For the PPMd methods `destination` keeps its allocated size of
//   length + length / 20 + 50 bytes; only the first `storedLength` count.
//   For the other methods its size equals `storedLength`.
// Never raises: every codec error becomes false, with `destination` empty.
bool CompressBuffer(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination, uint8_t method,
                    int32_t& storedLength);

// Decompresses the stored block of `storedLength` bytes at `source`, coded
// with `method`, into `destination`. On entry `rawLength` holds the expected
// raw length (it serves as the output size estimate); on return it holds the
// number of bytes decoded. Returns true when some bytes were decoded; the
// caller still compares `rawLength` with what it expects and checks the
// block's checksum.
// - rawLength below 1, an unknown method or a negative storedLength: returns
//   false and touches neither `destination` nor `rawLength`.
// - Method 0 copies the stored bytes (rawLength := storedLength).
// - For the PPMd methods `destination` keeps its allocated size of the
//   expected length; only the first `rawLength` bytes count. For the other
//   methods its size equals `rawLength`.
// Never raises: every codec error becomes false with `rawLength` 0 and
// `destination` empty.
bool DecompressBuffer(const uint8_t* source, int32_t storedLength, std::vector<uint8_t>& destination,
                      uint8_t method, int32_t& rawLength);
