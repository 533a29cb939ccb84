// The locale services on a POSIX system whose code page is UTF-8.
//
// The locale identifier comes from the environment (LC_ALL, then LC_COLLATE,
// then LANG, the first one set and non-empty): a Turkish locale gives 1055,
// a few common locales their usual identifiers, everything else 1033.
//
// In UTF-8 a single byte from 0x80 up is not a character, so the
// one-character comparison orders bytes below 0x80 by value and treats all
// bytes from 0x80 up as equal to one another (and after ASCII). The weights
// derived from it are therefore not a permutation, and name collation falls
// back to CompareIgnoreCase, which decodes UTF-8 and compares code points
// after simple case folding. Bytes that are not valid UTF-8 compare by byte
// value, after every code point. The result is a lexicographic order over the
// folded sequences, so it is a consistent total order.
#include "platform/Locale.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Service.h"

namespace platform {
namespace {

constexpr uint32_t kEnglishUs = 1033;

struct LcidEntry {
  const char* Name;  // "ll" (language only) or "ll_CC"
  uint32_t Lcid;
};

// Exact language_TERRITORY entries first, then language-only defaults.
constexpr LcidEntry kLcids[] = {
    {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"pt_BR", 1046}, {"pt_PT", 2070}, {"de_AT", 3079},
    {"de_CH", 2055}, {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108}, {"es_MX", 2058}, {"zh_TW", 1028},
    {"zh_HK", 3076}, {"nl_BE", 2067}, {"sr_RS", 2074}, {"tr", 1055},    {"en", 1033},    {"de", 1031},
    {"fr", 1036},    {"es", 3082},    {"it", 1040},    {"ru", 1049},    {"uk", 1058},    {"be", 1059},
    {"bg", 1026},    {"pl", 1045},    {"cs", 1029},    {"sk", 1051},    {"sl", 1060},    {"hr", 1050},
    {"hu", 1038},    {"ro", 1048},    {"el", 1032},    {"nl", 1043},    {"pt", 2070},    {"sv", 1053},
    {"fi", 1035},    {"da", 1030},    {"nb", 1044},    {"no", 1044},    {"nn", 2068},    {"is", 1039},
    {"et", 1061},    {"lv", 1062},    {"lt", 1063},    {"ja", 1041},    {"ko", 1042},    {"zh", 2052},
    {"he", 1037},    {"ar", 1025},    {"fa", 1065},    {"hi", 1081},    {"th", 1054},    {"vi", 1066},
    {"id", 1057},    {"kk", 1087},    {"az", 1068},    {"ka", 1079},    {"hy", 1067},    {"sr", 3098},
};

// Maps a POSIX locale name such as "tr_TR.UTF-8" or "de_DE@euro" to an
// identifier; unknown names (and "C", "POSIX") give 1033.
uint32_t LcidFromLocaleName(const std::string& name) {
  // Cut off ".codeset" and "@modifier".
  const std::string base = name.substr(0, name.find_first_of(".@"));
  const std::string language = base.substr(0, base.find('_'));
  for (const LcidEntry& e : kLcids) {
    if (base == e.Name) return e.Lcid;
  }
  for (const LcidEntry& e : kLcids) {
    if (language == e.Name) return e.Lcid;
  }
  return kEnglishUs;
}

// The locale name in force for collation, from the usual variables.
std::string CollationLocaleName() {
  for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

// Simple (one code point to one code point) case folding for ASCII, Latin-1,
// Latin Extended-A, Greek and Coptic, and Cyrillic with its supplement. Code
// points outside these blocks are returned unchanged.
uint32_t SimpleFold(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x3BC;  // micro sign -> Greek small mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;  // no simple folding
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return 's';
    // Pairs with the capital on the odd code point.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    // Everything else pairs with the capital on the even code point.
    return (c % 2 == 0) ? c + 1 : c;
  }
  if (c >= 0x345 && c < 0x400) {
    switch (c) {
      case 0x345:
        return 0x3B9;
      case 0x370:
      case 0x372:
      case 0x376:
        return c + 1;
      case 0x37F:
        return 0x3F3;
      case 0x386:
        return 0x3AC;
      case 0x388:
      case 0x389:
      case 0x38A:
        return c + 0x25;
      case 0x38C:
        return 0x3CC;
      case 0x38E:
      case 0x38F:
        return c + 0x3F;
      case 0x3C2:
        return 0x3C3;  // final sigma
      case 0x3CF:
        return 0x3D7;
      case 0x3D0:
        return 0x3B2;
      case 0x3D1:
        return 0x3B8;
      case 0x3D5:
        return 0x3C6;
      case 0x3D6:
        return 0x3C0;
      case 0x3F0:
        return 0x3BA;
      case 0x3F1:
        return 0x3C1;
      case 0x3F4:
        return 0x3B8;
      case 0x3F5:
        return 0x3B5;
      case 0x3F7:
        return 0x3F8;
      case 0x3F9:
        return 0x3F2;
      case 0x3FA:
        return 0x3FB;
      case 0x3FD:
      case 0x3FE:
      case 0x3FF:
        return c - 0x82;
      default:
        break;
    }
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (c >= 0x3D8 && c <= 0x3EF) return (c % 2 == 0) ? c + 1 : c;
    return c;
  }
  if (c >= 0x400 && c < 0x530) {
    if (c <= 0x40F) return c + 0x50;
    if (c <= 0x42F) return c + 0x20;
    if (c < 0x460) return c;
    if (c <= 0x481) return (c % 2 == 0) ? c + 1 : c;
    if (c < 0x48A) return c;
    if (c <= 0x4BF) return (c % 2 == 0) ? c + 1 : c;
    if (c == 0x4C0) return 0x4CF;
    if (c <= 0x4CE) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x4CF) return c;
    return (c % 2 == 0) ? c + 1 : c;  // 0x4D0..0x52F
  }
  return c;
}

// An invalid byte gets a key above every code point, in byte order.
constexpr uint32_t kInvalidByteBase = 0x110000;

// Decodes one unit at `p` (which is not at the terminating zero) and advances
// it: a well-formed UTF-8 sequence gives its code point, any other byte gives
// kInvalidByteBase + byte and advances by one.
uint32_t NextUnit(const unsigned char*& p) {
  const unsigned char b0 = p[0];
  if (b0 < 0x80) {
    ++p;
    return b0;
  }
  auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF && cont(p[1])) {
    const uint32_t c = ((b0 & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    p += 2;
    return c;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
    if (p[1] >= lo && p[1] <= hi && cont(p[2])) {
      const uint32_t c = ((b0 & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
      p += 3;
      return c;
    }
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (p[1] >= lo && p[1] <= hi && cont(p[2]) && cont(p[3])) {
      const uint32_t c =
          ((b0 & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
      p += 4;
      return c;
    }
  }
  ++p;
  return kInvalidByteBase + b0;
}

class PosixLocale final : public ILocale {
 public:
  uint32_t UserDefaultLcid() override { return LcidFromLocaleName(CollationLocaleName()); }

  int CompareOneChar(uint8_t a, uint8_t b) override {
    // All bytes from 0x80 up are one class, after ASCII.
    const int ka = a < 0x80 ? a : 0x80;
    const int kb = b < 0x80 ? b : 0x80;
    return ka - kb;
  }

  uint8_t UpperOneChar(uint8_t c) override {
    return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 0x20) : c;
  }

  int CompareIgnoreCase(const char* s1, const char* s2) override {
    const auto* p1 = reinterpret_cast<const unsigned char*>(s1 != nullptr ? s1 : "");
    const auto* p2 = reinterpret_cast<const unsigned char*>(s2 != nullptr ? s2 : "");
    for (;;) {
      if (*p1 == 0 || *p2 == 0) return (*p1 != 0) - (*p2 != 0);
      const uint32_t c1 = SimpleFold(NextUnit(p1));
      const uint32_t c2 = SimpleFold(NextUnit(p2));
      if (c1 != c2) return c1 < c2 ? -1 : 1;
    }
  }
};

constinit ServiceSlot<ILocale> slot(&OsLocale);

}  // namespace

ILocale& OsLocale() {
  static PosixLocale locale;
  return locale;
}
ILocale& Locale() { return slot.Get(); }
ILocale* SetLocale(ILocale* locale) { return slot.Set(locale); }

}  // namespace platform
