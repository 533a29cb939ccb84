// Escaping of output values and the code page 1251 conversion.
#include "host/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeValue, EscapesBackslashAndControlBytesOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"C:\\dir\\file.txt", "C:\\\\dir\\\\file.txt"},
      {"a\rb\nc\td", "a\\rb\\nc\\td"},
      {"\r\n", "\\r\\n"},
      {std::string("\x00\x01\x1b\x1f", 4), "\\x00\\x01\\x1B\\x1F"},
      {"\x20\x7f\"quoted\"", "\x20\x7f\"quoted\""},
      {"\xD0\xAF\xC0", "\xD0\xAF\xC0"},  // bytes from 0x80 up pass unchanged
      {"\\x41", "\\\\x41"},              // an escape-looking text stays readable back
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(vvhost::EscapeValue(in), out) << in;
}

TEST(Cp1251ToUtf8, ConvertsCyrillicAndKeepsAscii) {
  EXPECT_EQ(vvhost::Cp1251ToUtf8("veVazevid [1.09]"), "veVazevid [1.09]");
  EXPECT_EQ(vvhost::Cp1251ToUtf8("\xCF\xF0\xEE\xE1\xE0 \xB8\xA8"), "Проба ёЁ");
  EXPECT_EQ(vvhost::Cp1251ToUtf8(""), "");
}

TEST(Cp1251ToUtf8, UndefinedByteFallsBackToHex) {
  // 0x98 has no character in code page 1251.
  EXPECT_EQ(vvhost::Cp1251ToUtf8("a\x98\xC0"), "a\\x98\\xC0");
}

}  // namespace
