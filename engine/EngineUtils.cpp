// Mask matching, path splitting, time stamping, item filling and bit access.
#include "engine/EngineUtils.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool MatchMask(const char* name, const char* mask, bool caseFold) {
  if (name == nullptr) name = "";
  if (mask == nullptr) mask = "";
  if (std::strcmp(mask, "*.*") == 0) return true;
  for (;;) {
    if (mask[0] == '*' && mask[1] == '\0') return true;
    if (*name == '\0') return *mask == '\0';
    if (*mask == '\0') return false;
    if (*mask == '*') {
      // Try every non-empty remainder of the name (the whole rest first)
      // against the rest of the mask; an empty remainder is never tried.
      const char* rest = mask + 1;
      for (const char* n = name; *n != '\0'; ++n) {
        if (MatchMask(n, rest, caseFold)) return true;
      }
      return false;
    }
    if (*mask != '?') {
      const int a = static_cast<unsigned char>(*name);
      const int b = static_cast<unsigned char>(*mask);
      const int d = a > b ? a - b : b - a;
      if (d != 0 && !(caseFold && d == 32)) return false;
    }
    ++name;
    ++mask;
  }
}

bool SplitPath(const char* path, std::string& dir, std::string& name) {
  if (path == nullptr) return false;
  return SplitPath(std::string(path), dir, name);
}

bool SplitPath(const std::string& path, std::string& dir, std::string& name) {
  const auto len = static_cast<std::ptrdiff_t>(path.size());
  // The last character is skipped, so a trailing separator does not count.
  std::ptrdiff_t i = len - 2;
  while (i >= 0 && !IsSeparator(path[static_cast<std::size_t>(i)])) --i;
  if (i < 0) return false;
  const auto at = static_cast<std::size_t>(i);
  std::string tail = path.substr(at + 1);
  if (!tail.empty() && IsSeparator(tail.back())) tail.pop_back();
  dir = path.substr(0, at);
  name = std::move(tail);
  return true;
}

void GetCurrentFileTime(platform::FileTimeValue& fileTime) {
  platform::CalendarTime now = platform::Clock().LocalNow();
  // DOS date-and-time keeps seconds in two-second steps and no milliseconds.
  now.Second = static_cast<uint16_t>(now.Second - now.Second % 2);
  now.Milliseconds = 0;
  platform::FileTimeValue local = 0;
  bool converted = false;
  if (now.Year >= 1980 && now.Year <= 2107) {
    const auto dosDate = static_cast<uint16_t>(((now.Year - 1980) << 9) | (now.Month << 5) | now.Day);
    const auto dosTime = static_cast<uint16_t>((now.Hour << 11) | (now.Minute << 5) | (now.Second / 2));
    converted = platform::DosToFileTime(dosDate, dosTime, local);
  }
  // A clock outside the DOS years still gets the same two-second resolution.
  if (!converted && !platform::CalendarToFileTime(now, local)) local = 0;
  platform::FileTimeValue utc = 0;
  fileTime = platform::Clock().LocalToUtc(local, utc) ? utc : local;
}

void SetItemName(const std::string& name, TDIRItem& item) {
  const std::size_t n = std::min<std::size_t>(name.size(), kMaxItemNameLength);
  std::memcpy(item.FileName, name.data(), n);
  item.FileName[n] = '\0';
}

void ClearItem(TDIRItem& item) { std::memset(&item, 0, sizeof item); }

void SetBit(void* array, int32_t index, bool value) {
  auto* bytes = static_cast<uint8_t*>(array);
  const auto mask = static_cast<uint8_t>(1u << (index % 8));
  uint8_t& b = bytes[index / 8];
  b = value ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
}

bool GetBit(const void* array, int32_t index) {
  const auto* bytes = static_cast<const uint8_t*>(array);
  return (bytes[index / 8] >> (index % 8)) & 1u;
}
