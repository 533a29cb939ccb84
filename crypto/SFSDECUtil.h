// Common ground of the cipher and hash classes: the reference-counted
// protection base that ciphers and hashes derive from, its error class, and
// the CRC-16 table behind the checksum of pages, blocks and password records.
//
// Protection objects are shared through std::shared_ptr, which is their
// reference count. A protection object may be linked to a further one that
// post-processes its output; a link that would close a cycle is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Exception.h"

// Error of the protection framework (a refused link).
class EProtection : public Exception {
 public:
  using Exception::Exception;
};

// Reference-counted base of ciphers and hashes.
class TProtection {
 public:
  // `protection` (may be null) becomes the linked protection object; a link
  // that would form a cycle throws EProtection.
  explicit TProtection(std::shared_ptr<TProtection> protection = nullptr);
  virtual ~TProtection();
  TProtection(const TProtection&) = delete;
  TProtection& operator=(const TProtection&) = delete;

  // The class name used in messages ("TCipher_Rijndael", ...).
  virtual const char* ClassName() const { return "TProtection"; }

  // The protection object that post-processes this one's output, or null.
  const std::shared_ptr<TProtection>& Protection() const { return Protection_; }
  // Links `protection` (may be null to unlink). Throws EProtection with
  // "Circular Protection detected, Protection Object is invalid." when this
  // object is reachable from `protection` along the links (which includes
  // linking an object to itself); the old link then stays in place.
  void SetProtection(std::shared_ptr<TProtection> protection);

 private:
  std::shared_ptr<TProtection> Protection_;
};

// CRC-16/ARC lookup table: reflected polynomial 0xA001.
extern const std::array<uint16_t, 256> CRC16Table;

// Runs the CRC-16/ARC over `size` bytes starting from `crc` and returns the
// new value (start with 0; no final XOR). "123456789" gives 0xBB3D.
uint16_t CRC16(uint16_t crc, const void* buffer, size_t size);
