// Protection base and the CRC-16/ARC table.
#include "crypto/SFSDECUtil.h"

#include <utility>

namespace {

constexpr std::array<uint16_t, 256> MakeCRC16Table() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    table[i] = crc;
  }
  return table;
}

}  // namespace

const std::array<uint16_t, 256> CRC16Table = MakeCRC16Table();

uint16_t CRC16(uint16_t crc, const void* buffer, size_t size) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ CRC16Table[(crc ^ p[i]) & 0xFF]);
  return crc;
}

TProtection::TProtection(std::shared_ptr<TProtection> protection) { SetProtection(std::move(protection)); }

TProtection::~TProtection() = default;

void TProtection::SetProtection(std::shared_ptr<TProtection> protection) {
  for (const TProtection* p = protection.get(); p != nullptr; p = p->Protection_.get()) {
    if (p == this) throw EProtection("Circular Protection detected, Protection Object is invalid.");
  }
  Protection_ = std::move(protection);
}
