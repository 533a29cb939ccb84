// Tests of file-name collation: the Turkish built-in tables, tables derived
// from a single-byte locale, the fallback to the whole-string comparison, and
// the UTF-8 fallback of the POSIX locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/Locale.h"
#include "platform/Service.h"
#include "text/ZUZStrFunc.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// A single-byte locale whose one-character comparison is `order` applied to
// the byte values; upper-casing ASCII and the Latin-1 letters. Counts the
// calls to the whole-string comparison, which the table path must not use.
class ByteLocale : public platform::ILocale {
 public:
  explicit ByteLocale(uint32_t lcid = 1033, bool reversed = false) : lcid_(lcid), reversed_(reversed) {}

  uint32_t UserDefaultLcid() override { return lcid_; }
  int CompareOneChar(uint8_t a, uint8_t b) override {
    ++OneCharCalls;
    return reversed_ ? int{b} - int{a} : int{a} - int{b};
  }
  uint8_t UpperOneChar(uint8_t c) override {
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<uint8_t>(c - 0x20);
    return c;
  }
  int CompareIgnoreCase(const char* s1, const char* s2) override {
    ++WholeStringCalls;
    return std::strcmp(s1, s2);
  }

  int OneCharCalls = 0;
  int WholeStringCalls = 0;

 private:
  uint32_t lcid_;
  bool reversed_;
};

// A locale in which the one-character strings "a" and "b" compare equal, so
// the weights cannot be a permutation. Its whole-string comparison returns a
// scripted value and records what it was asked.
class CollidingLocale : public ByteLocale {
 public:
  int CompareOneChar(uint8_t a, uint8_t b) override {
    auto key = [](uint8_t c) { return c == 'b' ? int{'a'} : int{c}; };
    return key(a) - key(b);
  }
  int CompareIgnoreCase(const char* s1, const char* s2) override {
    ++WholeStringCalls;
    Last1 = s1;
    Last2 = s2;
    return Result;
  }
  int Result = 0;
  std::string Last1, Last2;
};

// Each test builds the tables it needs; afterwards the tables are rebuilt from
// the default locale so other tests see the load-time state.
class CollationTest : public ::testing::Test {
 protected:
  void TearDown() override { InitNameCollation(); }
};

std::string Byte(uint8_t c) { return std::string(1, static_cast<char>(c)); }

// ---------------------------------------------------------------------------
// Turkish built-in tables

class TurkishCollation : public CollationTest {
 protected:
  void SetUp() override { InitNameCollation(locale_); }
  ByteLocale locale_{1055};
};

TEST_F(TurkishCollation, UsesBuiltInTablesWithoutAskingTheLocale) {
  EXPECT_TRUE(NameTablesValid());
  EXPECT_EQ(locale_.OneCharCalls, 0);
  // Spot checks across the table, including the rearranged rows.
  EXPECT_EQ(NameWeight(0x00), 0);
  EXPECT_EQ(NameWeight(0x20), 1);
  EXPECT_EQ(NameWeight(0x01), 2);
  EXPECT_EQ(NameWeight(0x41), 72);
  EXPECT_EQ(NameWeight(0x61), 65);
  EXPECT_EQ(NameWeight(0x80), 248);
  EXPECT_EQ(NameWeight(0x9E), 255);
  EXPECT_EQ(NameWeight(0xC0), 74);
  EXPECT_EQ(NameWeight(0xDD), 118);
  EXPECT_EQ(NameWeight(0xE7), 85);
  EXPECT_EQ(NameWeight(0xFD), 107);
  EXPECT_EQ(NameWeight(0xFF), 173);
  std::vector<bool> seen(256, false);
  for (int i = 0; i < 256; ++i) seen[NameWeight(static_cast<uint8_t>(i))] = true;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
}

TEST_F(TurkishCollation, UpperWeightsFollowTheUpperCaseTable) {
  // UpperWeights[Weights[i]] = Weights[upper(i)].
  struct Pair {
    uint8_t c, upper;
  };
  const Pair pairs[] = {{0x20, 0x00}, {0x61, 0x41}, {0x7A, 0x5A}, {0x69, 0xDD}, {0xFD, 0x49}, {0xE0, 0xC0},
                        {0xF6, 0xD6}, {0xF9, 0xD9}, {0xFE, 0xDE}, {0xF7, 0xF7}, {0xF8, 0xF8}, {0xFF, 0xFF},
                        {0x49, 0x49}, {0xDD, 0xDD}, {0x7B, 0x7B}, {0x60, 0x60}, {0xDF, 0xDF}};
  for (const Pair& p : pairs) {
    EXPECT_EQ(NameUpperWeight(NameWeight(p.c)), NameWeight(p.upper)) << std::hex << int{p.c};
  }
}

TEST_F(TurkishCollation, LetterCaseAndDottedI) {
  EXPECT_EQ(CompareNames("a", "A"), 0);
  EXPECT_EQ(CompareNames("Report.TXT", "report.txt"), 0);
  EXPECT_EQ(CompareNames(Byte(0x69), Byte(0xDD)), 0);          // i and dotted capital I
  EXPECT_EQ(CompareNames(Byte(0xFD), Byte(0x49)), 0);          // dotless i and I
  EXPECT_NE(CompareNames(Byte(0x69), Byte(0x49)), 0);          // i and I differ
  EXPECT_EQ(CompareNames(Byte(0x69), Byte(0x49)), 118 - 112);  // upper weights of 0xDD and 0x49
  EXPECT_EQ(CompareNames(Byte(0xE7), Byte(0xC7)), 0);
}

TEST_F(TurkishCollation, SpaceComparesLikeTheEnd) {
  EXPECT_EQ(CompareNames("a", "a "), 0);
  EXPECT_EQ(CompareNames("a ", "a"), 0);
  EXPECT_EQ(CompareNames("a b", "a"), 0);
  EXPECT_EQ(CompareNames("a", "a b"), 0);
  // Between two names that go on, the space is an ordinary character.
  EXPECT_LT(CompareNames("a b", "a c"), 0);
  EXPECT_LT(CompareNames("a b", "ab"), 0);
}

TEST_F(TurkishCollation, OrderFollowsTheWeights) {
  EXPECT_GT(CompareNames(Byte(0xE7), "c"), 0);
  EXPECT_LT(CompareNames(Byte(0xE7), "d"), 0);
  EXPECT_EQ(CompareNames(Byte(0xE7), "c"), 85 - 83);
  EXPECT_LT(CompareNames("ab", "abc"), 0);  // a prefix sorts first
  EXPECT_GT(CompareNames("abc", "ab"), 0);
  EXPECT_LT(CompareNames("abc", "ABD"), 0);
  EXPECT_EQ(CompareNames("", ""), 0);
  EXPECT_LT(CompareNames("", "a"), 0);

  // The Turkish alphabet, shuffled and sorted back.
  const std::vector<std::string> alphabet = {"a",    "b", "c",    "\xE7", "d", "e",    "f", "g", "\xF0", "h",
                                             "\xFD", "i", "j",    "k",    "l", "m",    "n", "o", "\xF6", "p",
                                             "r",    "s", "\xFE", "t",    "u", "\xFC", "v", "y", "z"};
  std::vector<std::string> names = alphabet;
  std::mt19937 rng(1055);
  std::shuffle(names.begin(), names.end(), rng);
  std::sort(names.begin(), names.end(),
            [](const std::string& x, const std::string& y) { return CompareNames(x, y) < 0; });
  EXPECT_EQ(names, alphabet);
}

TEST_F(TurkishCollation, AbsentStrings) {
  EXPECT_EQ(CompareNames(nullptr, nullptr), 0);
  EXPECT_EQ(CompareNames(nullptr, ""), 0);
  EXPECT_EQ(CompareNames(nullptr, "a"), -1);
  EXPECT_EQ(CompareNames("a", nullptr), 1);
  EXPECT_EQ(CompareNames("", nullptr), 0);
}

TEST_F(TurkishCollation, LeavesBothStringsUnchanged) {
  char s1[] = "Dosya Adi.TXT";
  char s2[] = "dosya ad\xFD.txt";
  const std::string c1 = s1, c2 = s2;
  CompareNames(s1, s2);
  EXPECT_EQ(std::string(s1), c1);
  EXPECT_EQ(std::string(s2), c2);
}

// ---------------------------------------------------------------------------
// Tables derived from a single-byte locale

TEST_F(CollationTest, WeightsCountTheCharactersSortingBefore) {
  ByteLocale reversed(1033, /*reversed=*/true);
  InitNameCollation(reversed);
  ASSERT_TRUE(NameTablesValid());
  EXPECT_EQ(reversed.OneCharCalls, 256 * 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(NameWeight(static_cast<uint8_t>(i)), 255 - i);
  // Byte 0xFF now has weight 0 and so acts as an end of name; between letters
  // the reversed order shows.
  EXPECT_GT(CompareNames("a", "b"), 0);
  EXPECT_EQ(CompareNames("a", "A"), 0);
}

TEST_F(CollationTest, SingleByteLocaleUsesTables) {
  ByteLocale latin1;
  platform::ScopedService<platform::ILocale> use(platform::SetLocale, latin1);
  InitNameCollation();
  ASSERT_TRUE(NameTablesValid());
  EXPECT_EQ(NameWeight('a'), 'a');
  EXPECT_EQ(NameUpperWeight('a'), 'A');
  EXPECT_EQ(CompareNames("abc", "ABC"), 0);
  EXPECT_EQ(CompareNames("\xE9t\xE9", "\xC9T\xC9"), 0);
  EXPECT_EQ(CompareNames("a", "b"), 'A' - 'B');
  EXPECT_LT(CompareNames("a ", "a!"), 0);  // the space is an ordinary character here
  EXPECT_GT(CompareNames("a ", "a"), 0);
  EXPECT_GT(CompareNames("Z", "a["), 0);  // the first differing upper-case weight decides
  EXPECT_EQ(latin1.WholeStringCalls, 0);
}

TEST_F(CollationTest, CollidingWeightsFallBackToWholeStringComparison) {
  CollidingLocale colliding;
  platform::ScopedService<platform::ILocale> use(platform::SetLocale, colliding);
  InitNameCollation();
  EXPECT_FALSE(NameTablesValid());

  colliding.Result = -5;
  EXPECT_LT(CompareNames("x", "y"), 0);
  EXPECT_EQ(colliding.Last1, "x");
  EXPECT_EQ(colliding.Last2, "y");
  colliding.Result = 7;
  EXPECT_GT(CompareNames("a", "A"), 0);  // the locale decides, not the tables
  colliding.Result = 0;
  EXPECT_EQ(CompareNames("p", "q"), 0);
  EXPECT_EQ(CompareNames(nullptr, "q"), 0);
  EXPECT_EQ(colliding.Last1, "");
  EXPECT_EQ(colliding.WholeStringCalls, 4);
}

// ---------------------------------------------------------------------------
// The POSIX locale on a UTF-8 system

// Sets LC_ALL for the test's lifetime and rebuilds the tables from the OS
// locale, then puts everything back.
class Utf8Collation : public CollationTest {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("LC_ALL")) saved_ = v;
    setenv("LC_ALL", "en_US.UTF-8", 1);
    InitNameCollation(platform::OsLocale());
  }
  void TearDown() override {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
    CollationTest::TearDown();
  }
  std::optional<std::string> saved_;
};

TEST_F(Utf8Collation, FallsBackAndFoldsCase) {
  EXPECT_FALSE(NameTablesValid());
  EXPECT_EQ(CompareNames("Отчёт.txt", "ОТЧЁТ.TXT"), 0);
  EXPECT_EQ(CompareNames("ΣΟΦΟΣ.doc", "σοφος.DOC"), 0);
  EXPECT_EQ(CompareNames("Łódź", "ŁÓDŹ"), 0);
  EXPECT_EQ(CompareNames("Report.TXT", "report.txt"), 0);
  EXPECT_LT(CompareNames("Отчёт", "Отчёт2"), 0);
  EXPECT_LT(CompareNames("абв", "АБГ"), 0);
  EXPECT_NE(CompareNames("a b", "a"), 0);  // no space rule here
}

TEST_F(Utf8Collation, ShuffledListsSortToOneOrder) {
  const std::vector<std::string> names = {
      "readme.txt", "README.TXT", "Отчёт.txt", "ОТЧЁТ.TXT", "отчет.txt", "σοφος", "ΣΟΦΟΣ",
      "Ωμέγα",      "zebra",      "Zebra",     "ä.txt",     "Ä.TXT",     "b",     "a",
      "ab",         "a b",        "\xFF\xFE",  "\xC3",      "\xC3\xA4",  "ǅ",     "Ÿ",
      "ÿ",          "ĳ",          "Ĳ",         "ё",         "Ё",         "е",     "ж",
      "Ж",          "1",          "10",        "9",         "_x",        ""};
  std::vector<std::string> reference = names;
  std::stable_sort(reference.begin(), reference.end(),
                   [](const std::string& x, const std::string& y) { return CompareNames(x, y) < 0; });
  std::mt19937 rng(2026);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::sort(shuffled.begin(), shuffled.end(),
              [](const std::string& x, const std::string& y) { return CompareNames(x, y) < 0; });
    ASSERT_EQ(shuffled.size(), reference.size());
    for (std::size_t i = 0; i < shuffled.size(); ++i) {
      // Equal names may trade places; the order of classes may not change.
      ASSERT_EQ(CompareNames(shuffled[i], reference[i]), 0)
          << round << ": " << shuffled[i] << " vs " << reference[i];
    }
  }
  // The comparison is antisymmetric and transitive over the whole list.
  for (const auto& x : names) {
    for (const auto& y : names) {
      ASSERT_EQ(Sign(CompareNames(x, y)), -Sign(CompareNames(y, x))) << x << " / " << y;
      for (const auto& z : names) {
        if (CompareNames(x, y) <= 0 && CompareNames(y, z) <= 0) {
          ASSERT_LE(CompareNames(x, z), 0) << x << " / " << y << " / " << z;
        }
      }
    }
  }
}

}  // namespace
