// Block cipher and hash classes.
//
// The storage uses one cipher and one hash from here: TCipher_Rijndael keyed
// by a string, whose 32 key bytes are the RIPEMD-256 digest of that string
// (THash_RipeMD256), run in one chaining mode over buffers of any length. Each
// use makes a fresh cipher from a key string, processes one buffer in place
// and drops the cipher, so every buffer starts from the same chaining state:
//
//   TCipher_Rijndael cipher(keyString);
//   cipher.EncryptBuffer(page, page, size);   // or DecryptBuffer
//
// The key expansion for 32-byte keys is this system's own (see
// TCipher_Rijndael), so the cipher is not AES-256; keys of up to 24 bytes are
// expanded as AES-128/AES-192 are. The round function is that of AES.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crypto/SFSDECUtil.h"
#include "platform/Exception.h"

// ---------------------------------------------------------------------------
// Hashes

// Base of the hashes: Reset, Update any number of times, Finish, then Digest
// points at DigestSize bytes.
class THash : public TProtection {
 public:
  using TProtection::TProtection;
  const char* ClassName() const override { return "THash"; }

  // Expected digest (DigestSize bytes) of the three-byte message "abc".
  virtual const uint8_t* SelfTestVector() const = 0;
  // Starts a new message.
  virtual void Reset() = 0;
  // Adds `size` bytes of message (a negative or zero size adds nothing).
  virtual void Update(const void* buffer, int32_t size) = 0;
  // Pads the message and completes the digest. REQUIRES: Reset since the last
  // Finish.
  virtual void Finish() = 0;
  // The digest bytes after Finish. They are writable: the cipher encrypts the
  // digest of its key string in place so that it does not stay in memory.
  virtual uint8_t* Digest() = 0;
  // Digest length in bytes.
  virtual int32_t DigestSize() const = 0;

  // Hashes "abc" and compares with SelfTestVector. Leaves the object reset.
  bool SelfTest();
};

// A hash class: makes a new object of one hash type.
using THashClass = std::shared_ptr<THash> (*)();

// The hash class that keys ciphers (THash_RipeMD256). Program-wide, fixed.
THashClass DefaultHashClass();

// MD4 (16-byte digest). Provides the 64-byte buffering and the padding
// (0x80, zeros, message length in bits as a little-endian 64-bit number) that
// THash_RipeMD256 inherits.
class THash_MD4 : public THash {
 public:
  explicit THash_MD4(std::shared_ptr<TProtection> protection = nullptr);
  ~THash_MD4() override;
  const char* ClassName() const override { return "THash_MD4"; }

  const uint8_t* SelfTestVector() const override;
  void Reset() override;
  void Update(const void* buffer, int32_t size) override;
  void Finish() override;
  uint8_t* Digest() override { return DigestBytes_; }
  int32_t DigestSize() const override { return 16; }

  static std::shared_ptr<THash> Make();

 protected:
  // Runs the compression function over one 64-byte block into State_.
  virtual void CompressBlock(const uint8_t* block);

  uint32_t State_[8] = {};       // chaining words (MD4 uses the first 4)
  uint8_t DigestBytes_[32] = {};  // the state words, little-endian, after Finish

 private:
  uint8_t Buffer_[64] = {};
  int32_t BufferCount_ = 0;  // bytes waiting in Buffer_
  uint64_t Length_ = 0;      // message length in bytes
};

// RIPEMD-256 (32-byte digest).
class THash_RipeMD256 : public THash_MD4 {
 public:
  explicit THash_RipeMD256(std::shared_ptr<TProtection> protection = nullptr);
  const char* ClassName() const override { return "THash_RipeMD256"; }

  const uint8_t* SelfTestVector() const override;
  void Reset() override;
  int32_t DigestSize() const override { return 32; }

  static std::shared_ptr<THash> Make();

 protected:
  void CompressBlock(const uint8_t* block) override;
};

// ---------------------------------------------------------------------------
// Ciphers

// Cipher error; carries an error code beside the message.
class ECipherException : public Exception {
 public:
  ECipherException(int32_t errorCode, std::string message)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int32_t ErrorCode;
};

// Error code of a buffer operation on a cipher that has no key.
constexpr int32_t errNotInitialized = 3;

// Block, key and schedule sizes of a cipher class, in bytes.
struct TCipherSizes {
  int32_t BlockSize;
  int32_t KeySize;
  int32_t ScheduleSize;
};

// A known-answer vector: Plain encrypts to Cipher under Key.
struct TCipherTestVector {
  const uint8_t* Key;
  int32_t KeySize;
  const uint8_t* Plain;
  const uint8_t* Cipher;
};

// Base of the block ciphers: keying from a string or from raw bytes, and the
// buffer chaining mode over blocks.
//
// Buffer mode, with E the block encryption and F the chaining value:
// each whole block P becomes C = E(P xor F), then F = C xor F; a partial last
// block of n bytes becomes P xor the first n bytes of T = E(F), then
// F = T xor F. Decryption inverts this (the tail uses E(F) too). The output is
// exactly as long as the input; the chaining value carries over between calls
// on one object.
class TCipher : public TProtection {
 public:
  ~TCipher() override;
  const char* ClassName() const override { return "TCipher"; }

  // Keys the cipher from a string: hashes all of the string's bytes (no
  // terminating zero is added; embedded zero bytes count) with the key hash,
  // calls Init with the digest, cut to CipherKeySize, then encrypts the digest
  // inside the key hash in place and resets the chain. `start` (16 bytes) or
  // null: see FinishInit.
  void InitKey(const std::string& key, const void* start);
  // Keys the cipher from `size` raw bytes (negative counts as 0, longer than
  // CipherKeySize is cut) and `start` (see FinishInit).
  virtual void Init(const void* key, int32_t size, const void* start) = 0;

  // Processes `size` bytes from `source` into `dest`; the two may be the same
  // buffer. Throws ECipherException (code 3) "<class> is not initialized call
  // Init() or InitKey() before." when no key is set.
  void EncryptBuffer(const void* source, void* dest, int32_t size);
  void DecryptBuffer(const void* source, void* dest, int32_t size);

  // When ChainState differs from StartState: WorkBlock := ChainState,
  // ChainState := StartState.
  virtual void ResetChain();
  // Clears the state flags and overwrites the buffers (170s, then 85s), then
  // StartState = ChainState = sixteen 0xFF bytes, WorkBlock and KeySchedule
  // zeros. The cipher is then without a key.
  virtual void Wipe();
  // Sets or clears one bit of the state flags.
  virtual void SetStateFlag(int32_t bit, bool value);
  // With `start` (CipherBlockSize bytes) it becomes StartState; with null,
  // StartState := EncryptBlock(StartState). Then ChainState := StartState and
  // the cipher is ready.
  virtual void FinishInit(const void* start);

  // One block in place. REQUIRES: a key schedule (Init).
  virtual void EncryptBlock(void* block) = 0;
  virtual void DecryptBlock(void* block) = 0;

  virtual TCipherTestVector SelfTestVector() const = 0;
  // Keys with SelfTestVector, checks one block both ways, then wipes: the
  // object is left without a key.
  bool SelfTest();

  // State flag bit of a keyed cipher.
  static constexpr int32_t ReadyBit = 1;
  bool Ready() const { return (Flags_ & (1 << ReadyBit)) != 0; }

  uint8_t ChainingMode() const { return ChainingMode_; }
  int32_t CipherKeySize() const { return CipherKeySize_; }
  int32_t CipherBlockSize() const { return CipherBlockSize_; }
  int32_t ScheduleSize() const { return ScheduleSize_; }
  const std::vector<uint8_t>& WorkBlock() const { return WorkBlock_; }
  const std::vector<uint8_t>& StartState() const { return StartState_; }
  const std::vector<uint8_t>& ChainState() const { return ChainState_; }
  const std::vector<uint8_t>& KeySchedule() const { return KeySchedule_; }
  THashClass KeyHashClass() const { return KeyHashClass_; }
  // The key hash, made from KeyHashClass on first use.
  THash& KeyHash();

 protected:
  // Allocates the buffers for `sizes` and wipes them. A subclass constructor
  // calls InitKey once the object is complete.
  TCipher(const TCipherSizes& sizes, std::shared_ptr<TProtection> protection);

  // Throws the "not initialized" error unless Ready.
  void CheckReady() const;

  uint8_t ChainingMode_ = 0;
  std::shared_ptr<THash> KeyHash_;
  THashClass KeyHashClass_;
  int32_t CipherKeySize_;
  int32_t CipherBlockSize_;
  int32_t ScheduleSize_;
  std::vector<uint8_t> WorkBlock_;
  std::vector<uint8_t> StartState_;
  std::vector<uint8_t> ChainState_;
  std::vector<uint8_t> KeySchedule_;
  int32_t Flags_ = 0;
};

// Rijndael with 16-byte blocks and the AES round function. Rounds follow the
// key size: 10 up to 16 bytes, 12 up to 24, else 14. Keys up to 24 bytes are
// expanded as in AES; for longer keys the expansion chains all eight key words
// before the extra SubWord step, so from round-key word 12 on the schedule
// (and so every ciphertext) differs from AES-256.
class TCipher_Rijndael : public TCipher {
 public:
  // Keys from `key` with InitKey(key, null) unless `key` is empty; with an
  // empty key the cipher stays without a key.
  explicit TCipher_Rijndael(const std::string& key = std::string(),
                            std::shared_ptr<TProtection> protection = nullptr);
  ~TCipher_Rijndael() override;
  const char* ClassName() const override { return "TCipher_Rijndael"; }

  // Block 16, key 32, schedule 480 bytes.
  static TCipherSizes GetSizes() { return {16, 32, 480}; }

  void Init(const void* key, int32_t size, const void* start) override;
  void EncryptBlock(void* block) override;
  void DecryptBlock(void* block) override;
  TCipherTestVector SelfTestVector() const override;

  int32_t Rounds() const { return Rounds_; }

 private:
  int32_t Rounds_ = 0;
};
