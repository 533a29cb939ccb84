// Locale services behind file-name collation.
#pragma once

#include <cstdint>

namespace platform {

class ILocale {
 public:
  virtual ~ILocale() = default;
  // The user's default locale identifier (1055 Turkish, 1033 US English, ...).
  virtual uint32_t UserDefaultLcid() = 0;
  // Case-sensitive comparison of the one-character strings `a` and `b`:
  // negative, 0 or positive.
  virtual int CompareOneChar(uint8_t a, uint8_t b) = 0;
  // The upper-case form of one character.
  virtual uint8_t UpperOneChar(uint8_t c) = 0;
  // Case-insensitive comparison of two zero-terminated strings: negative, 0 or
  // positive. Must be a consistent total order.
  virtual int CompareIgnoreCase(const char* s1, const char* s2) = 0;
};

ILocale& Locale();
ILocale* SetLocale(ILocale* locale);
ILocale& OsLocale();

}  // namespace platform
