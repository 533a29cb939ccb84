// Splitting and joining text lines, and reading integer parameters.
#include "plugin/TextLines.h"

#include <algorithm>

std::vector<std::string> SplitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  // A zero byte ends the text, as it ends a host string.
  const size_t end = std::min(text.find('\0'), text.size());
  size_t at = 0;
  while (at < end) {
    size_t stop = at;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
    lines.emplace_back(text, at, stop - at);
    at = stop;
    if (at < end && text[at] == '\r') ++at;
    if (at < end && text[at] == '\n') ++at;
  }
  return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> ParseInteger(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  int base = 10;
  if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
    base = 16;
    ++at;
  } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at == text.size()) return std::nullopt;  // no digits at all
  // The magnitude may reach 2^31 only for a negative number.
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    const int digit =
        base == 16 ? HexDigit(text[at]) : (text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -value : value);
}
