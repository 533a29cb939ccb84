// Calendar, DOS and time-zone conversions of the clock service.
#include "platform/Clock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace {

using platform::CalendarTime;
using platform::FileTimeValue;

constexpr FileTimeValue kSecond = 10'000'000;
constexpr FileTimeValue kHour = 3600 * kSecond;
constexpr FileTimeValue kUnixEpoch = 116'444'736'000'000'000;

CalendarTime Cal(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  CalendarTime t;
  t.Year = static_cast<uint16_t>(y);
  t.Month = static_cast<uint16_t>(mo);
  t.Day = static_cast<uint16_t>(d);
  t.Hour = static_cast<uint16_t>(h);
  t.Minute = static_cast<uint16_t>(mi);
  t.Second = static_cast<uint16_t>(s);
  t.Milliseconds = static_cast<uint16_t>(ms);
  return t;
}

FileTimeValue FT(const CalendarTime& t) {
  FileTimeValue v = 0;
  EXPECT_TRUE(platform::CalendarToFileTime(t, v));
  return v;
}

void ExpectSameCalendar(const CalendarTime& a, const CalendarTime& b) {
  EXPECT_EQ(a.Year, b.Year);
  EXPECT_EQ(a.Month, b.Month);
  EXPECT_EQ(a.Day, b.Day);
  EXPECT_EQ(a.Hour, b.Hour);
  EXPECT_EQ(a.Minute, b.Minute);
  EXPECT_EQ(a.Second, b.Second);
  EXPECT_EQ(a.Milliseconds, b.Milliseconds);
}

struct KnownDate {
  CalendarTime time;
  FileTimeValue value;
  uint16_t dayOfWeek;
};

TEST(CalendarConversion, KnownDates) {
  const KnownDate cases[] = {
      {Cal(1601, 1, 1), 0, 1},                        // Monday, the origin
      {Cal(1970, 1, 1), kUnixEpoch, 4},               // Thursday
      {Cal(1980, 1, 1), 119'600'064'000'000'000, 2},  // Tuesday, the DOS origin
      {Cal(2000, 2, 29, 12, 34, 56, 789), 125'963'012'967'890'000, 2},
      {Cal(2000, 3, 1), 125'963'424'000'000'000, 3},
      {Cal(30828, 9, 14, 2, 48, 5, 477), 0x7FFF'FFFF'FFFF'FFFFull - 5807, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    CalendarTime back;
    ASSERT_TRUE(platform::FileTimeToCalendar(c.value, back));
    ExpectSameCalendar(back, c.time);
    EXPECT_EQ(back.DayOfWeek, c.dayOfWeek);
    if (c.time.Year <= 30827) {
      EXPECT_EQ(FT(c.time), c.value);
    }
  }
}

TEST(CalendarConversion, AgreesWithTheCLibraryAcrossCenturies) {
  // timegm is the oracle for the proleptic Gregorian calendar in UTC.
  for (int64_t day = -25000; day < 60000; day += 97) {
    const time_t seconds = static_cast<time_t>(day * 86400 + 3723);  // 01:02:03
    tm parts{};
    ASSERT_NE(gmtime_r(&seconds, &parts), nullptr);
    const CalendarTime t = Cal(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                               parts.tm_min, parts.tm_sec, 250);
    const FileTimeValue expected = static_cast<FileTimeValue>(static_cast<int64_t>(seconds) * 10'000'000 +
                                                              static_cast<int64_t>(kUnixEpoch) + 2'500'000);
    ASSERT_EQ(FT(t), expected) << parts.tm_year + 1900 << "-" << parts.tm_mon + 1 << "-" << parts.tm_mday;
    CalendarTime back;
    ASSERT_TRUE(platform::FileTimeToCalendar(expected, back));
    ExpectSameCalendar(back, t);
    EXPECT_EQ(back.DayOfWeek, parts.tm_wday);
  }
}

TEST(CalendarConversion, SubMillisecondTicksAreDropped) {
  CalendarTime back;
  ASSERT_TRUE(platform::FileTimeToCalendar(kUnixEpoch + 9'999, back));
  EXPECT_EQ(back.Milliseconds, 0);
  ASSERT_TRUE(platform::FileTimeToCalendar(kUnixEpoch + 10'000, back));
  EXPECT_EQ(back.Milliseconds, 1);
}

TEST(CalendarConversion, RefusesOutOfRangeFields) {
  const CalendarTime bad[] = {
      Cal(1600, 12, 31),
      Cal(30828, 1, 1),
      Cal(1900, 2, 29),
      Cal(2100, 2, 29),
      Cal(2000, 2, 30),
      Cal(2001, 4, 31),
      Cal(2001, 0, 1),
      Cal(2001, 13, 1),
      Cal(2001, 1, 0),
      Cal(2001, 1, 1, 24),
      Cal(2001, 1, 1, 0, 60),
      Cal(2001, 1, 1, 0, 0, 60),
      Cal(2001, 1, 1, 0, 0, 0, 1000),
  };
  for (const auto& t : bad) {
    FileTimeValue v = 12345;
    EXPECT_FALSE(platform::CalendarToFileTime(t, v)) << t.Year << "-" << t.Month << "-" << t.Day;
    EXPECT_EQ(v, 12345u) << "failure must leave the output alone";
  }
  CalendarTime t;
  EXPECT_FALSE(platform::FileTimeToCalendar(0x8000'0000'0000'0000ull, t));
}

TEST(DosConversion, KnownValuesBothWays) {
  struct Case {
    uint16_t date, time;
    CalendarTime cal;
  };
  const Case cases[] = {
      {0x0021, 0x0000, Cal(1980, 1, 1)},
      {static_cast<uint16_t>((20 << 9) | (2 << 5) | 29), static_cast<uint16_t>((12 << 11) | (34 << 5) | 28),
       Cal(2000, 2, 29, 12, 34, 56)},
      {0xFF9F, 0xBF7D, Cal(2107, 12, 31, 23, 59, 58)},
  };
  for (const auto& c : cases) {
    FileTimeValue v = 0;
    ASSERT_TRUE(platform::DosToFileTime(c.date, c.time, v));
    EXPECT_EQ(v, FT(c.cal));
    uint16_t date = 0, time = 0;
    ASSERT_TRUE(platform::FileTimeToDos(v, date, time));
    EXPECT_EQ(date, c.date);
    EXPECT_EQ(time, c.time);
  }
  FileTimeValue v = 0;
  ASSERT_TRUE(platform::DosToFileTime(0x0021, 0, v));
  EXPECT_EQ(v, 119'600'064'000'000'000u);
}

TEST(DosConversion, OddSecondsAndMillisecondsRoundDown) {
  uint16_t date = 0, time = 0;
  ASSERT_TRUE(platform::FileTimeToDos(FT(Cal(2000, 2, 29, 12, 34, 57, 999)), date, time));
  EXPECT_EQ(time, (12 << 11) | (34 << 5) | 28);
}

TEST(DosConversion, RefusesWhatDosCannotHold) {
  uint16_t date = 7, time = 7;
  EXPECT_FALSE(platform::FileTimeToDos(FT(Cal(1979, 12, 31, 23, 59, 59)), date, time));
  EXPECT_FALSE(platform::FileTimeToDos(FT(Cal(2108, 1, 1)), date, time));
  EXPECT_EQ(date, 7);
  EXPECT_EQ(time, 7);
  FileTimeValue v = 0;
  EXPECT_FALSE(platform::DosToFileTime(0x0001, 0, v));                    // month 0
  EXPECT_FALSE(platform::DosToFileTime(0x0020, 0, v));                    // day 0
  EXPECT_FALSE(platform::DosToFileTime(0x0021, 30, v));                   // 60 seconds
  EXPECT_FALSE(platform::DosToFileTime(0x0021, 24 << 11, v));             // hour 24
  EXPECT_FALSE(platform::DosToFileTime(0x0021, 60 << 5, v));              // minute 60
  EXPECT_FALSE(platform::DosToFileTime((1 << 9) | (2 << 5) | 29, 0, v));  // 1981-02-29
}

// Runs a test under a given TZ and puts the old setting back afterwards.
class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) saved_ = old;
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void UseZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  static FileTimeValue ToLocal(FileTimeValue utc) {
    FileTimeValue local = 0;
    EXPECT_TRUE(platform::OsClock().UtcToLocal(utc, local));
    return local;
  }
  static FileTimeValue ToUtc(FileTimeValue local) {
    FileTimeValue utc = 0;
    EXPECT_TRUE(platform::OsClock().LocalToUtc(local, utc));
    return utc;
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(ZoneTest, UtcZoneIsTheIdentity) {
  UseZone("UTC0");
  for (FileTimeValue v :
       {FileTimeValue{0}, kUnixEpoch, FT(Cal(1980, 1, 1)), FT(Cal(2000, 2, 29, 23, 59, 59, 999)) + 1234}) {
    EXPECT_EQ(ToLocal(v), v);
    EXPECT_EQ(ToUtc(v), v);
  }
}

TEST_F(ZoneTest, FixedZoneWithHalfHourOffset) {
  UseZone("<+0530>-5:30");
  const FileTimeValue utc = FT(Cal(2000, 2, 29, 20, 0, 0)) + 4321;  // sub-second ticks survive
  const FileTimeValue local = ToLocal(utc);
  EXPECT_EQ(local, FT(Cal(2000, 3, 1, 1, 30, 0)) + 4321);
  EXPECT_EQ(ToUtc(local), utc);
}

TEST_F(ZoneTest, SummerTimeFollowsTheRulesForThatDate) {
  UseZone("EST5EDT,M3.2.0,M11.1.0");
  struct Case {
    CalendarTime utc, local;
  };
  const Case cases[] = {
      {Cal(2021, 1, 15, 12, 0, 0), Cal(2021, 1, 15, 7, 0, 0)},    // standard time, UTC-5
      {Cal(2021, 7, 1, 12, 0, 0), Cal(2021, 7, 1, 8, 0, 0)},      // summer time, UTC-4
      {Cal(1980, 1, 1, 3, 0, 0), Cal(1979, 12, 31, 22, 0, 0)},    // crosses a year
      {Cal(1960, 1, 15, 12, 0, 30), Cal(1960, 1, 15, 7, 0, 30)},  // before 1970 (negative time_t)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utc.Year);
    EXPECT_EQ(ToLocal(FT(c.utc)), FT(c.local));
    EXPECT_EQ(ToUtc(FT(c.local)), FT(c.utc));
  }
  EXPECT_EQ(ToLocal(FT(Cal(2021, 7, 1))) + 4 * kHour, FT(Cal(2021, 7, 1)));
}

TEST_F(ZoneTest, RefusesValuesOutsideTheRange) {
  UseZone("<+0530>-5:30");
  FileTimeValue out = 99;
  EXPECT_FALSE(platform::OsClock().UtcToLocal(0x8000'0000'0000'0000ull, out));
  EXPECT_FALSE(platform::OsClock().LocalToUtc(0x8000'0000'0000'0000ull, out));
  EXPECT_FALSE(platform::OsClock().LocalToUtc(0, out));  // 1601 local is before the origin in UTC
  EXPECT_EQ(out, 99u);
}

TEST_F(ZoneTest, LocalNowMatchesTheSystemClock) {
  UseZone("<+0530>-5:30");
  const time_t before = time(nullptr);
  const CalendarTime now = platform::OsClock().LocalNow();
  const time_t after = time(nullptr);
  const FileTimeValue asUtc = ToUtc(FT(now));
  EXPECT_GE(asUtc + kSecond, static_cast<FileTimeValue>(before) * kSecond + kUnixEpoch);
  EXPECT_LE(asUtc, static_cast<FileTimeValue>(after + 1) * kSecond + kUnixEpoch);
  CalendarTime check;
  ASSERT_TRUE(platform::FileTimeToCalendar(FT(now), check));
  EXPECT_EQ(check.DayOfWeek, now.DayOfWeek);
}

TEST(TickCount, AdvancesInMilliseconds) {
  const uint32_t first = platform::OsClock().TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t second = platform::OsClock().TickCount();
  const uint32_t elapsed = second - first;  // unsigned: right across a wrap too
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 60'000u);
}

TEST(ClockService, CanBeReplacedForAScope) {
  struct FixedClock : platform::IClock {
    CalendarTime LocalNow() override { return Cal(2000, 2, 29); }
    uint32_t TickCount() override { return 0xFFFFFFF0u; }
    bool LocalToUtc(FileTimeValue, FileTimeValue&) override { return false; }
    bool UtcToLocal(FileTimeValue, FileTimeValue&) override { return false; }
  } fixed;
  {
    platform::IClock* previous = platform::SetClock(&fixed);
    EXPECT_EQ(platform::Clock().TickCount(), 0xFFFFFFF0u);
    platform::SetClock(previous);
  }
  EXPECT_EQ(&platform::Clock(), &platform::OsClock());
}

}  // namespace
