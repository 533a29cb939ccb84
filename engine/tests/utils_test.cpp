// Tests of the engine utilities: mask matching, path splitting, the time
// stamp (through a fake clock), item names, clearing and bit addressing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/EngineUtils.h"
#include "platform/Clock.h"
#include "platform/Service.h"

namespace {

TEST(MatchMask, Table) {
  struct Case {
    const char* name;
    const char* mask;
    bool caseFold;
    bool expected;
  };
  const Case cases[] = {
      {"readme", "*.*", false, true},  // "*.*" matches a name without a dot
      {"", "*.*", false, true},
      {"readme", "*.txt", true, false},
      {"a.txt", "*.txt", false, true},
      {"Report.TXT", "r*.txt", true, true},
      {"Report.TXT", "r*.txt", false, false},
      {"report.txt", "r*.txt", false, true},
      {"ab", "a?", false, true},
      {"a", "a?", false, false},
      {"abc", "a*", false, true},
      {"a", "a*", false, true},  // a final "*" matches the empty rest
      {"abc", "a*c", false, true},
      {"a", "a*c", false, false},
      {"ac", "a*c", false, true},      // "*" matches the empty run when the name goes on
      {"a", "a*.", false, false},      // ...but not when the name has ended
      {"abcbc", "a*bc", false, true},  // backtracks over the first "bc"
      {"abcd", "a*c", false, false},
      {"", "*", false, true},
      {"", "", false, true},
      {"a", "", false, false},
      {"", "a", false, false},
      {"abc", "abc", false, true},
      {"abc", "abd", true, false},
      {"!", "A", true, true},  // any two characters 32 apart fold together
      {"[", "{", true, true},
      {"!", "A", false, false},
      {"\xC0", "\xE0", true, true},  // single-byte Cyrillic letter case
      {"\xE0", "\xC0", true, true},
      {"x\xFF", "x\xDF", true, true},
      {"a?c", "a?c", false, true},
      {"abc", "???", false, true},
      {"ab", "???", false, false},
      {"file.tar.gz", "*.gz", true, true},
      {"file.tar.gz", "*.tar", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchMask(c.name, c.mask, c.caseFold), c.expected)
        << "name \"" << c.name << "\" mask \"" << c.mask << "\" caseFold " << c.caseFold;
  }
}

TEST(MatchMask, NullCountsAsEmpty) {
  EXPECT_TRUE(MatchMask(nullptr, "*", true));
  EXPECT_FALSE(MatchMask(nullptr, "a", true));
  EXPECT_TRUE(MatchMask(nullptr, nullptr, true));
}

TEST(SplitPath, Table) {
  struct Case {
    const char* path;
    bool ok;
    const char* dir;
    const char* name;
  };
  const Case cases[] = {
      {"\\a\\b", true, "\\a", "b"}, {"\\b", true, "", "b"},
      {"a\\b\\", true, "a", "b"},   {"b", false, "", ""},
      {"b\\", false, "", ""},       {"", false, "", ""},
      {"\\", false, "", ""},        {"/x/y/z.txt", true, "/x/y", "z.txt"},
      {"x/y\\z", true, "x/y", "z"}, {"a/b/", true, "a", "b"},
      {"/", false, "", ""},         {"//", true, "", ""},
  };
  for (const Case& c : cases) {
    std::string dir = "untouched", name = "untouched";
    const bool ok = SplitPath(c.path, dir, name);
    EXPECT_EQ(ok, c.ok) << c.path;
    if (c.ok) {
      EXPECT_EQ(dir, c.dir) << c.path;
      EXPECT_EQ(name, c.name) << c.path;
    } else {
      EXPECT_EQ(dir, "untouched") << c.path;
      EXPECT_EQ(name, "untouched") << c.path;
    }
  }
  std::string dir, name;
  EXPECT_FALSE(SplitPath(static_cast<const char*>(nullptr), dir, name));
}

// A clock with a settable local time, a fixed one-hour offset (local = UTC + 1h)
// and a count of zone conversions.
class FakeClock : public platform::IClock {
 public:
  platform::CalendarTime Now;
  int LocalToUtcCalls = 0;

  platform::CalendarTime LocalNow() override { return Now; }
  uint32_t TickCount() override { return 0; }
  bool LocalToUtc(platform::FileTimeValue local, platform::FileTimeValue& utc) override {
    ++LocalToUtcCalls;
    utc = local - kHour;
    return true;
  }
  bool UtcToLocal(platform::FileTimeValue utc, platform::FileTimeValue& local) override {
    local = utc + kHour;
    return true;
  }
  static constexpr platform::FileTimeValue kHour = 36'000'000'000ull;
};

platform::CalendarTime At(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                          uint16_t second, uint16_t ms) {
  platform::CalendarTime t;
  t.Year = year;
  t.Month = month;
  t.Day = day;
  t.Hour = hour;
  t.Minute = minute;
  t.Second = second;
  t.Milliseconds = ms;
  return t;
}

platform::FileTimeValue CurrentFileTime() {
  platform::FileTimeValue v = 0;
  GetCurrentFileTime(v);
  return v;
}

TEST(GetCurrentFileTime, LocalNowCutToEvenSecondsThenUtc) {
  FakeClock clock;
  platform::ScopedService<platform::IClock> use(platform::SetClock, clock);
  clock.Now = At(2024, 3, 15, 13, 45, 27, 900);
  const platform::FileTimeValue got = CurrentFileTime();
  EXPECT_EQ(clock.LocalToUtcCalls, 1);

  platform::FileTimeValue local = 0;
  ASSERT_TRUE(platform::CalendarToFileTime(At(2024, 3, 15, 13, 45, 26, 0), local));
  EXPECT_EQ(got, local - FakeClock::kHour);
}

TEST(GetCurrentFileTime, SameEvenSecondGivesSameValue) {
  FakeClock clock;
  platform::ScopedService<platform::IClock> use(platform::SetClock, clock);
  clock.Now = At(2026, 12, 31, 23, 59, 58, 1);
  const platform::FileTimeValue first = CurrentFileTime();
  clock.Now = At(2026, 12, 31, 23, 59, 59, 999);
  EXPECT_EQ(CurrentFileTime(), first);
  clock.Now = At(2027, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(CurrentFileTime(), first + 2 * 10'000'000ull);
}

TEST(GetCurrentFileTime, OutsideDosYearsKeepsTwoSecondResolution) {
  FakeClock clock;
  platform::ScopedService<platform::IClock> use(platform::SetClock, clock);
  clock.Now = At(1975, 6, 1, 10, 0, 3, 500);
  platform::FileTimeValue local = 0;
  ASSERT_TRUE(platform::CalendarToFileTime(At(1975, 6, 1, 10, 0, 2, 0), local));
  EXPECT_EQ(CurrentFileTime(), local - FakeClock::kHour);
}

TEST(GetCurrentFileTime, RealClockGivesWholeSeconds) {
  // Through the default clock: the value is a whole even number of seconds in
  // local time, so in UTC it is a whole number of seconds.
  const platform::FileTimeValue v = CurrentFileTime();
  EXPECT_GT(v, 0u);
  EXPECT_EQ(v % 10'000'000ull, 0u);
}

TEST(SetItemName, CopiesAndCutsAt259) {
  TDIRItem item;
  std::memset(&item, 0xAB, sizeof item);
  SetItemName("hello.txt", item);
  EXPECT_STREQ(item.FileName, "hello.txt");
  // Only the name and its zero are written.
  EXPECT_EQ(static_cast<uint8_t>(item.FileName[10]), 0xAB);
  EXPECT_EQ(item.ParentID, static_cast<int32_t>(0xABABABAB));

  const std::string long260 = std::string(259, 'x') + "y";
  SetItemName(long260, item);
  EXPECT_EQ(std::string(item.FileName), std::string(259, 'x'));
  EXPECT_EQ(item.FileName[259], '\0');
  EXPECT_EQ(item.Reserved3[0], 0xAB);  // nothing beyond the field

  SetItemName(std::string(259, 'z'), item);
  EXPECT_EQ(std::string(item.FileName), std::string(259, 'z'));

  SetItemName("", item);
  EXPECT_EQ(item.FileName[0], '\0');
}

TEST(ClearItem, ZeroesAll512Bytes) {
  TDIRItem item;
  std::memset(&item, 0x5A, sizeof item);
  ClearItem(item);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&item);
  for (std::size_t i = 0; i < sizeof item; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(DirItemLayout, FieldsLandAtTheirOffsets) {
  TDIRItem item;
  ClearItem(item);
  item.FirstMapPageNo = -1;
  item.Size = 0x0102030405060708;
  item.CreationTime = 0x1112131415161718;
  item.ParentID = 0x21222324;
  item.Deleted = 1;
  const auto* b = reinterpret_cast<const uint8_t*>(&item);
  EXPECT_EQ(b[0], 0xFF);
  EXPECT_EQ(b[3], 0xFF);
  EXPECT_EQ(b[4], 0x08);  // little-endian
  EXPECT_EQ(b[11], 0x01);
  EXPECT_EQ(b[12], 0x18);
  EXPECT_EQ(b[19], 0x11);
  EXPECT_EQ(b[40], 0x24);
  EXPECT_EQ(b[221], 1);
  // The 64-bit fields read back by value, also straight into an assertion.
  EXPECT_EQ(item.Size, 0x0102030405060708);
  item.Size += 0x10;
  EXPECT_EQ(item.Size, 0x0102030405060718);
  EXPECT_EQ(b[4], 0x18);
  const int64_t size = item.Size;
  EXPECT_EQ(size, 0x0102030405060718);
  EXPECT_EQ(item.CreationTime, 0x1112131415161718u);
}

TEST(Bits, SetBit9SetsByteOneTo0x02) {
  uint8_t bits[4] = {0, 0, 0, 0};
  SetBit(bits, 9, true);
  EXPECT_EQ(bits[0], 0x00);
  EXPECT_EQ(bits[1], 0x02);
  EXPECT_TRUE(GetBit(bits, 9));
  EXPECT_FALSE(GetBit(bits, 8));
  EXPECT_FALSE(GetBit(bits, 10));
}

TEST(Bits, SetAndClearEveryIndex) {
  uint8_t bits[4] = {0, 0, 0, 0};
  for (int32_t i = 0; i < 32; ++i) {
    SetBit(bits, i, true);
    ASSERT_EQ(bits[i / 8], static_cast<uint8_t>((1u << (i % 8 + 1)) - 1)) << i;
    if (i / 8 < 3) {
      ASSERT_EQ(bits[i / 8 + 1], 0) << i;
    }
  }
  for (int32_t i = 0; i < 32; ++i) ASSERT_TRUE(GetBit(bits, i));
  SetBit(bits, 0, false);
  SetBit(bits, 15, false);
  SetBit(bits, 31, false);
  EXPECT_EQ(bits[0], 0xFE);
  EXPECT_EQ(bits[1], 0x7F);
  EXPECT_EQ(bits[2], 0xFF);
  EXPECT_EQ(bits[3], 0x7F);
  EXPECT_FALSE(GetBit(bits, 15));
  SetBit(bits, 15, false);  // clearing a clear bit keeps it clear
  EXPECT_EQ(bits[1], 0x7F);
}

}  // namespace
