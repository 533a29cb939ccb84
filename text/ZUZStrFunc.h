// File-name collation: how two stored-file names compare.
//
// The directory's name index is ordered by CompareNames and path lookup uses
// it as its equality test. Names are single-byte strings. When the library is
// loaded the unit derives, from the user's locale, a collation weight for each
// of the 256 byte values and an upper-case mapping over the weights; names then
// compare weight by weight with letter case ignored. The Turkish locale (1055)
// uses built-in tables instead of asking the locale. When the locale does not
// give every byte value a distinct weight (as on a UTF-8 system, where single
// bytes from 0x80 up are not characters), the tables are not used and names
// compare with the locale's whole-string case-insensitive comparison.
//
// The tables are written only by InitNameCollation, which runs once at load
// time; afterwards they are read-only and may be shared.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class ILocale;
}

// Negative when s1 sorts before s2, 0 when they are equal, positive when
// after. Letter case never decides; on the table path a name that is a prefix
// of the other sorts first, and a space compares like the end of a name when
// its upper-case weight is 0 (as in the Turkish table). A null string counts
// as absent: equal to an absent or empty one, before any other.
int32_t CompareNames(const char* s1, const char* s2);
int32_t CompareNames(const std::string& s1, const std::string& s2);

// Rebuilds the collation tables from `locale`. Runs automatically at load time
// with platform::Locale(); tests call it again with a locale of their own.
// Must not run while another thread compares names.
void InitNameCollation(platform::ILocale& locale);
// Rebuilds the tables from the current platform::Locale().
void InitNameCollation();

// Whether the weight tables are in use (the weights form a permutation of
// 0..255). When false, CompareNames uses the whole-string case-insensitive
// comparison of platform::Locale(), asked at the time of the call.
bool NameTablesValid();
// The collation weight of byte value `c` (meaningful when NameTablesValid()).
uint8_t NameWeight(uint8_t c);
// The weight of the upper-case form of the character with weight `w`.
uint8_t NameUpperWeight(uint8_t w);
