// Collation tables for file names and the comparison built on them.
#include "text/ZUZStrFunc.h"

#include <array>

#include "platform/Locale.h"

namespace {

constexpr uint32_t kTurkishLcid = 1055;

// Collation weight of each byte value in the Turkish single-byte code page
// (index = byte value). A permutation of 0..255; the space has weight 1, just
// above the terminating zero.
constexpr std::array<uint8_t, 256> kTurkishWeights = {
    0,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,   // 0
    17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  32,   // 16
    1,   33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,   // 32
    48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,   // 48
    64,  72,  82,  84,  88,  94,  100, 102, 106, 112, 120, 122, 124, 126, 129, 136,  // 64
    144, 146, 148, 150, 155, 160, 167, 169, 171, 174, 176, 177, 178, 179, 180, 181,  // 80
    182, 65,  81,  83,  87,  89,  99,  101, 105, 117, 119, 121, 123, 125, 127, 131,  // 96
    143, 145, 147, 149, 154, 156, 166, 168, 170, 172, 175, 183, 184, 185, 186, 187,  // 112
    248, 249, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 250, 251, 252,  // 128
    253, 199, 200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 254, 255, 211,  // 144
    212, 213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225, 226, 227,  // 160
    228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239, 240, 241, 242, 243,  // 176
    74,  76,  75,  77,  80,  73,  78,  86,  98,  95,  96,  97,  116, 113, 114, 115,  // 192
    104, 130, 139, 137, 138, 140, 142, 244, 245, 163, 161, 162, 165, 118, 153, 151,  // 208
    67,  69,  68,  70,  79,  66,  71,  85,  93,  90,  91,  92,  111, 110, 109, 108,  // 224
    103, 128, 133, 132, 134, 135, 141, 246, 247, 158, 159, 157, 164, 107, 152, 173,  // 240
};

// Upper-case form of each byte value in the Turkish code page. The dotted i
// (0x69) goes to the dotted capital I (0xDD), the dotless i (0xFD) to I
// (0x49). The space maps to 0x00 so that, through the weights, a space
// compares like the end of a name.
constexpr std::array<uint8_t, 256> kTurkishUpper = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 0x00
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,  // 0x10
    0x00, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // 0x20
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  // 0x30
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // 0x40
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,  // 0x50
    0x60, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0xDD, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // 0x60
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,  // 0x70
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,  // 0x80
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  // 0x90
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  // 0xA0
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  // 0xB0
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // 0xC0
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  // 0xD0
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // 0xE0
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xF7, 0xF8, 0xD9, 0xDA, 0xDB, 0xDC, 0x49, 0xDE, 0xFF,  // 0xF0
};

struct CollationTables {
  std::array<uint8_t, 256> Weights{};
  // Indexed by weight: the weight of the upper-case form of that character.
  std::array<uint8_t, 256> UpperWeights{};
  bool TablesValid = false;
};

CollationTables& Tables() {
  static CollationTables tables;
  return tables;
}

void Build(CollationTables& t, platform::ILocale& locale) {
  const bool turkish = locale.UserDefaultLcid() == kTurkishLcid;
  if (turkish) {
    t.Weights = kTurkishWeights;
  } else {
    // The weight of i is the number of byte values whose one-character
    // string sorts before that of i.
    for (int i = 0; i < 256; ++i) {
      int below = 0;
      for (int j = 0; j < 256; ++j) {
        if (locale.CompareOneChar(static_cast<uint8_t>(j), static_cast<uint8_t>(i)) < 0) ++below;
      }
      t.Weights[static_cast<std::size_t>(i)] = static_cast<uint8_t>(below);
    }
  }
  std::array<bool, 256> seen{};
  for (uint8_t w : t.Weights) seen[w] = true;
  t.TablesValid = true;
  for (bool s : seen) t.TablesValid = t.TablesValid && s;
  t.UpperWeights.fill(0);
  if (!t.TablesValid) return;
  for (int i = 0; i < 256; ++i) {
    const uint8_t u =
        turkish ? kTurkishUpper[static_cast<std::size_t>(i)] : locale.UpperOneChar(static_cast<uint8_t>(i));
    t.UpperWeights[t.Weights[static_cast<std::size_t>(i)]] = t.Weights[u];
  }
}

// Compares two strings through the weight tables; see CompareNames.
int32_t CompareWeights(const CollationTables& t, const char* s1, const char* s2) {
  if (s1 == nullptr) return (s2 == nullptr || *s2 == '\0') ? 0 : -1;
  if (s2 == nullptr) return *s1 != '\0' ? 1 : 0;
  const auto* p1 = reinterpret_cast<const unsigned char*>(s1);
  const auto* p2 = reinterpret_cast<const unsigned char*>(s2);
  for (std::size_t k = 0;; ++k) {
    const bool end1 = p1[k] == 0;
    const bool end2 = p2[k] == 0;
    int a = end1 ? 0 : t.Weights[p1[k]];
    int b = end2 ? 0 : t.Weights[p2[k]];
    if (a == b) {
      if (a == 0) return 0;
      continue;
    }
    a = t.UpperWeights[static_cast<std::size_t>(a)];
    b = t.UpperWeights[static_cast<std::size_t>(b)];
    if (a != b) return a - b;
    // Equal in upper case: a string that has ended (or an upper-case weight
    // of 0, as the space has in Turkish) ends the comparison as equal.
    if (a == 0 || end1 || end2) return 0;
  }
}

// Builds the tables when the library is loaded.
[[maybe_unused]] const bool kTablesBuiltAtLoad = [] {
  InitNameCollation();
  return true;
}();

}  // namespace

void InitNameCollation(platform::ILocale& locale) { Build(Tables(), locale); }

void InitNameCollation() { InitNameCollation(platform::Locale()); }

int32_t CompareNames(const char* s1, const char* s2) {
  const CollationTables& t = Tables();
  if (t.TablesValid) return CompareWeights(t, s1, s2);
  const int r = platform::Locale().CompareIgnoreCase(s1 != nullptr ? s1 : "", s2 != nullptr ? s2 : "");
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int32_t CompareNames(const std::string& s1, const std::string& s2) {
  return CompareNames(s1.c_str(), s2.c_str());
}

bool NameTablesValid() { return Tables().TablesValid; }

uint8_t NameWeight(uint8_t c) { return Tables().Weights[c]; }

uint8_t NameUpperWeight(uint8_t w) { return Tables().UpperWeights[w]; }
