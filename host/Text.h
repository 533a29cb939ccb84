// Text helpers of the host program: the escaping of values in its output and
// the conversion of the plug-in's code page 1251 texts to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vvhost {

// Writes `\` as `\\`, CR as `\r`, LF as `\n`, TAB as `\t` and every other
// byte below 0x20 as `\xHH` (upper-case hex); all other bytes pass unchanged.
std::string EscapeValue(std::string_view value);

// Converts code page 1251 bytes to UTF-8. Should the converter be missing,
// bytes from 0x80 up are written as `\xHH` instead.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace vvhost
