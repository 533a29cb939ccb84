#include "host/Text.h"

#include <iconv.h>

namespace vvhost {

std::string EscapeValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view text) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd != reinterpret_cast<iconv_t>(-1)) {
    std::string in(text);
    std::string out(in.size() * 3 + 1, '\0');  // a 1251 byte is at most 3 UTF-8 bytes
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (done != static_cast<size_t>(-1)) {
      out.resize(out.size() - dstLeft);
      return out;
    }
  }
  // No converter, or a byte 1251 leaves undefined (0x98): show raw bytes.
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace vvhost
