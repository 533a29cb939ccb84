// Checksums and the password record.
//
// A password never encrypts data directly. MakePasswordRecord draws 32 random
// key bytes (each 1..254) and keeps them encrypted under the password in a
// 172-byte record, with a CRC-16 of the plain key bytes. VerifyPassword
// decrypts them again and compares the CRC; it yields the 33-byte key string
// (the 32 key bytes and a zero byte) that encrypts the data.
//
// CalcChecksum and VerifyChecksum serve pages, headers and compressed blocks
// as well as the password record.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

// Checksum kinds.
constexpr int32_t ckXor32 = 0;  // XOR of the little-endian 32-bit words
constexpr int32_t ckCRC16 = 1;  // CRC-16/ARC, zero-extended to 32 bits

// kind 0: XOR of the size/4 little-endian 32-bit words (1..3 trailing bytes
// are ignored; fewer than 4 bytes give 0); kind 1: CRC-16/ARC; any other kind
// gives 0. A negative size counts as 0.
uint32_t CalcChecksum(const void* buffer, int32_t size, int32_t kind);
// For kinds 0 and 1, whether CalcChecksum equals `expected`; any other kind
// is true without computing.
bool VerifyChecksum(const void* buffer, int32_t size, int32_t kind, uint32_t expected);

// The stored password record; integers little-endian.
static_assert(std::endian::native == std::endian::little, "the record is stored as laid out in memory");
struct TSFSPasswordRecord {
  uint8_t EncryptedKey[32];       // 0: key bytes, encrypted with the password
  uint8_t EncryptedPassword[32];  // 32: password block, encrypted with the answer
  uint32_t KeyChecksum;           // 64: CRC-16 of the plain key bytes
  uint32_t PasswordChecksum;      // 68: CRC-16 of the plain password block
  uint8_t EncryptedQuestion[100];  // 72: question block, encrypted with QuestionKey
};
static_assert(sizeof(TSFSPasswordRecord) == 172);
static_assert(offsetof(TSFSPasswordRecord, KeyChecksum) == 64);
static_assert(offsetof(TSFSPasswordRecord, EncryptedQuestion) == 72);

// The fixed key string of the question.
extern const char* const QuestionKey;

// Fills `record` for `password` (callers pass a non-empty one). Throws
// Exception "Password length should be shorter then 32" for a password over 32
// bytes and "Question length should be shorter then 100" for a question over
// 100 bytes, before anything is changed. The question and the password
// encrypted under the answer are kept only when both question and answer are
// non-empty; otherwise bytes 32..171 are zero.
void MakePasswordRecord(TSFSPasswordRecord& record, const std::string& password, const std::string& question,
                        const std::string& answer);

// Whether `password` opens `record`. An empty password gives false at once and
// leaves `key` as it was. Otherwise it takes at least 256 ms on the platform
// tick count (to slow down guessing) and sets `key` to the 33-byte key string
// (the decrypted 32 bytes and a zero byte) whatever the result: with a wrong
// password it holds wrong bytes.
bool VerifyPassword(const TSFSPasswordRecord& record, const std::string& password, std::string& key);
