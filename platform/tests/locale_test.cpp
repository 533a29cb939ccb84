// Tests of the POSIX locale: the identifier from the environment, the
// one-character operations on a UTF-8 system and the case-insensitive
// whole-string comparison with its total order.
#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// Saves LC_ALL, LC_COLLATE and LANG, clears them for the test and restores
// them afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* kVars[] = {"LC_ALL", "LC_COLLATE", "LANG"};

  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      if (const char* v = std::getenv(kVars[i])) saved_[i] = v;
      unsetenv(kVars[i]);
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i]) {
        setenv(kVars[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kVars[i]);
      }
    }
  }
  static uint32_t Lcid() { return platform::OsLocale().UserDefaultLcid(); }

  std::optional<std::string> saved_[3];
};

TEST_F(LocaleEnvironment, IdentifierFromLocaleName) {
  struct Case {
    const char* name;
    uint32_t lcid;
  };
  const Case cases[] = {
      {"tr_TR.UTF-8", 1055}, {"tr_TR", 1055},       {"tr", 1055},          {"tr_CY.UTF-8", 1055},
      {"en_US.UTF-8", 1033}, {"en_GB.UTF-8", 2057}, {"de_DE.UTF-8", 1031}, {"de_DE@euro", 1031},
      {"fr_FR.UTF-8", 1036}, {"ru_RU.UTF-8", 1049}, {"pt_BR.UTF-8", 1046}, {"ja_JP.UTF-8", 1041},
      {"C", 1033},           {"POSIX", 1033},       {"C.UTF-8", 1033},     {"xx_YY.UTF-8", 1033},
      {"trx_TR", 1033},  // only the language "tr" is Turkish
  };
  for (const Case& c : cases) {
    setenv("LANG", c.name, 1);
    EXPECT_EQ(Lcid(), c.lcid) << c.name;
  }
}

TEST_F(LocaleEnvironment, VariablesInPriorityOrder) {
  EXPECT_EQ(Lcid(), 1033u);  // nothing set
  setenv("LANG", "tr_TR.UTF-8", 1);
  EXPECT_EQ(Lcid(), 1055u);
  setenv("LC_COLLATE", "de_DE.UTF-8", 1);
  EXPECT_EQ(Lcid(), 1031u);
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(Lcid(), 1049u);
  setenv("LC_ALL", "", 1);  // empty counts as unset
  EXPECT_EQ(Lcid(), 1031u);
  unsetenv("LC_COLLATE");
  EXPECT_EQ(Lcid(), 1055u);
}

TEST(PosixLocale, OneCharacterComparison) {
  platform::ILocale& loc = platform::OsLocale();
  EXPECT_LT(loc.CompareOneChar('a', 'b'), 0);
  EXPECT_GT(loc.CompareOneChar('a', 'B'), 0);  // case-sensitive, by byte value
  EXPECT_EQ(loc.CompareOneChar('x', 'x'), 0);
  EXPECT_EQ(loc.CompareOneChar(0x80, 0xFF), 0);  // bytes from 0x80 up are not characters
  EXPECT_EQ(loc.CompareOneChar(0xC3, 0xA4), 0);
  EXPECT_LT(loc.CompareOneChar(0x7F, 0x80), 0);
  EXPECT_GT(loc.CompareOneChar(0x80, 0x00), 0);
  // Hence the weights derived from it cannot be a permutation: 128 classes.
  int distinct = 0;
  for (int i = 0; i < 256; ++i) {
    bool first = true;
    for (int j = 0; j < i; ++j) {
      if (loc.CompareOneChar(static_cast<uint8_t>(i), static_cast<uint8_t>(j)) == 0) first = false;
    }
    distinct += first;
  }
  EXPECT_EQ(distinct, 129);
}

TEST(PosixLocale, UpperOneCharIsAscii) {
  platform::ILocale& loc = platform::OsLocale();
  EXPECT_EQ(loc.UpperOneChar('a'), 'A');
  EXPECT_EQ(loc.UpperOneChar('z'), 'Z');
  EXPECT_EQ(loc.UpperOneChar('A'), 'A');
  EXPECT_EQ(loc.UpperOneChar('{'), '{');
  EXPECT_EQ(loc.UpperOneChar('`'), '`');
  EXPECT_EQ(loc.UpperOneChar(0xE9), 0xE9);
}

TEST(PosixLocale, CaseInsensitiveEqualPairs) {
  const char* pairs[][2] = {
      {"Report.TXT", "report.txt"},
      {"ÀÉÎÕÜÞ", "àéîõüþ"},              // Latin-1
      {"ĄĆĘŁŃŚŹŻ Ő Ű", "ąćęłńśźż ő ű"},  // Latin Extended-A
      {"ĹĽŇ", "ĺľň"},                    // the odd-capital run
      {"Ÿ", "ÿ"},
      {"ſ", "s"},
      {"µ", "μ"},
      {"ΑΒΓΔ ΣΟΦΟΣ", "αβγδ σοφος"},  // Greek, final sigma
      {"ΆΈΉΊΌΎΏ", "άέήίόύώ"},
      {"Отчёт.txt", "ОТЧЁТ.TXT"},  // Cyrillic
      {"ЁЖИК", "ёжик"},
      {"ЇҐЄІЎЂ", "їґєіўђ"},
      {"ӁӜ", "ӂӝ"},
      {"", ""},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(platform::OsLocale().CompareIgnoreCase(p[0], p[1]), 0) << p[0] << " / " << p[1];
    EXPECT_EQ(platform::OsLocale().CompareIgnoreCase(p[1], p[0]), 0) << p[1] << " / " << p[0];
  }
}

TEST(PosixLocale, CaseInsensitiveOrder) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"a", "b", -1},
      {"A", "b", -1},
      {"abc", "abcd", -1},
      {"", "a", -1},
      {"z", "é", -1},        // code point order
      {"я", "\x80", -1},     // an invalid byte sorts after every character
      {"\xFE", "\xFF", -1},  // invalid bytes by byte value
      {"\xFF", "\xFF", 0},
      {"\xD0", "\xD0\x90", 1},      // a cut sequence is an invalid byte
      {"\xC0\x80", "\xC0\x80", 0},  // an overlong form is two invalid bytes
      {"\xC0\x80", "\xC0\x81", -1},
      {"\xED\xA0\x80", "\xEF\xBF\xBD", 1},          // an encoded surrogate is invalid
      {"\xF0\x9F\x98\x80", "\xEF\xBF\xBD", 1},      // a four-byte character
      {"\xF4\x90\x80\x80", "\xF4\x8F\xBF\xBF", 1},  // beyond U+10FFFF is invalid
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(platform::OsLocale().CompareIgnoreCase(c.a, c.b)), c.sign) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(platform::OsLocale().CompareIgnoreCase(c.b, c.a)), -c.sign) << c.b << " / " << c.a;
  }
}

TEST(PosixLocale, CaseInsensitiveComparisonIsATotalOrder) {
  // Random strings from pieces that stress the decoder and the folding.
  const std::vector<std::string> pieces = {
      "a", "A", "z", "Z", " ", "_", "ё", "Ё", "е",    "ж",    "Ж",    "σ",        "Σ",
      "ς", "ÿ", "Ÿ", "ß", "ı", "İ", "i", "I", "\x80", "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98\x80",
      "ǅ", "0"};
  std::mt19937 rng(4);
  std::vector<std::string> strings;
  for (int n = 0; n < 60; ++n) {
    std::string s;
    const int len = static_cast<int>(rng() % 4);
    for (int k = 0; k < len; ++k) s += pieces[rng() % pieces.size()];
    strings.push_back(s);
  }
  platform::ILocale& loc = platform::OsLocale();
  for (const auto& x : strings) {
    ASSERT_EQ(loc.CompareIgnoreCase(x.c_str(), x.c_str()), 0);
    for (const auto& y : strings) {
      const int xy = Sign(loc.CompareIgnoreCase(x.c_str(), y.c_str()));
      ASSERT_EQ(xy, -Sign(loc.CompareIgnoreCase(y.c_str(), x.c_str()))) << x << " / " << y;
      for (const auto& z : strings) {
        const int yz = Sign(loc.CompareIgnoreCase(y.c_str(), z.c_str()));
        if (xy <= 0 && yz <= 0) {
          ASSERT_LE(loc.CompareIgnoreCase(x.c_str(), z.c_str()), 0) << x << " / " << y << " / " << z;
        }
        if (xy == 0 && yz == 0) {
          ASSERT_EQ(loc.CompareIgnoreCase(x.c_str(), z.c_str()), 0);
        }
      }
    }
  }
}

TEST(PosixLocale, ServiceSlotSwapsTheLocale) {
  class Fixed : public platform::ILocale {
   public:
    uint32_t UserDefaultLcid() override { return 4242; }
    int CompareOneChar(uint8_t, uint8_t) override { return 0; }
    uint8_t UpperOneChar(uint8_t c) override { return c; }
    int CompareIgnoreCase(const char*, const char*) override { return 0; }
  } fixed;
  EXPECT_EQ(&platform::Locale(), &platform::OsLocale());
  platform::ILocale* previous = platform::SetLocale(&fixed);
  EXPECT_EQ(platform::Locale().UserDefaultLcid(), 4242u);
  platform::SetLocale(previous);
  EXPECT_EQ(&platform::Locale(), &platform::OsLocale());
}

}  // namespace
