// PPMd (variant G) block codec used by compression methods 3, 4 and 6.
//
// Each call codes one whole block with a model that starts empty and lives
// only for that call: the model, its tables and its heap belong to a per-call
// object, so calls share no mutable state and may run in separate threads.
// A coded block starts with a little-endian header word (bits 0-3 order - 1,
// bits 4-11 model memory in MiB - 1, bits 12-15 the variant value 6) followed
// by the range coder's output.
#pragma once

#include <cstdint>

// Codes `length` bytes of `source` into `destination` with a model of the
// given order (1..16) and memory (1..256 MiB). `destination` must hold
// length + length / 20 + 50 bytes; the coder never writes past that bound.
// Returns the number of bytes written, header word included, or 0 when the
// model memory cannot be allocated, the arguments are out of range or the
// coded data would not fit the bound.
int32_t PpmdCompressBlock(const uint8_t* source, int32_t length,
                          uint8_t* destination, int32_t order,
                          int32_t memoryMiB);

// As PpmdCompressBlock, but with an explicit destination capacity in bytes
// (PpmdCompressBlock passes length + length / 20 + 50). Returns 0 when the
// coded block would not fit; nothing is ever written past `capacity`.
int32_t PpmdCompressBlockInto(const uint8_t* source, int32_t length, uint8_t* destination,
                              int32_t capacity, int32_t order, int32_t memoryMiB);

// Decodes the block of `length` bytes at `source` into `destination`, which
// holds `destinationLength` bytes. Order and memory come from the header word.
// Returns the number of bytes decoded (never more than destinationLength), or
// 0 when the header word is not of variant 6 or the model memory cannot be
// allocated. Corrupt input yields some length and some bytes, never a write
// past the destination nor a read past the source.
int32_t PpmdDecompressBlock(const uint8_t* source, int32_t length,
                            uint8_t* destination, int32_t destinationLength);

// Test hook: number of model restarts (memory ran out) in the most recent
// PpmdCompressBlock / PpmdDecompressBlock call on the calling thread.
int32_t PpmdLastRestartCount();

// Test hook: number of times the most recent call on this thread met a model
// state the coding rules do not cover and took the safe way out (restart or
// end of block). Always 0 for a sound model; tests assert it.
int32_t PpmdLastGuardCount();
