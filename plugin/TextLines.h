// Text helpers of the storage actions: the list of text lines that the
// line-reading and variable actions load and save, and the integer reading
// of the line-number parameter.
//
// A text splits into lines at every CR LF pair, lone CR or lone LF, and a
// zero byte ends it; a break at the very end adds no empty line. A list of
// lines becomes text again with CR LF after every line, so the empty list is
// the empty text and "a\nb" comes back as "a\r\nb\r\n".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The lines of `text`, without their breaks.
std::vector<std::string> SplitTextLines(const std::string& text);

// Every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string>& lines);

// Reads `text` as a signed 32-bit integer the way the script host's own
// number conversion does: leading spaces, an optional "+" or "-", then
// either decimal digits or a hexadecimal number written "$1F", "0x1F",
// "0X1F", "x1F" or "X1F". Nothing may follow the digits. Empty when the text
// is not such a number or its value lies outside -2147483648..2147483647.
std::optional<int32_t> ParseInteger(const std::string& text);
