// The POSIX clock: local time from the C library's time-zone rules (the TZ
// variable or /etc/localtime), the tick count from CLOCK_MONOTONIC, and the
// pure calendar arithmetic for FILETIME and DOS date-time values.
//
// FILETIME values count 100-ns intervals from 1601-01-01 00:00; like the
// Windows services, the conversions refuse values with the top bit set and
// calendar fields out of range.
#include "platform/Clock.h"

#include <time.h>

#include <cstdint>
#include <limits>

#include "platform/Service.h"

namespace platform {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // 100-ns units
constexpr int64_t kTicksPerDay = 86'400 * kTicksPerSecond;
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;  // 1970-01-01 as FILETIME
constexpr int64_t kDaysFrom1601To1970 = 134'774;
constexpr uint64_t kMaxFileTime = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to year-month-day of the proleptic Gregorian calendar
// (the usual era-based formula; exact for every year we accept).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// Floor division for the time_t split of values before 1970.
int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

class PosixClock final : public IClock {
 public:
  CalendarTime LocalNow() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();  // pick up a changed TZ; localtime_r need not do it itself
    tm local{};
    CalendarTime result;
    if (localtime_r(&now.tv_sec, &local) == nullptr) return result;
    result.Year = static_cast<uint16_t>(local.tm_year + 1900);
    result.Month = static_cast<uint16_t>(local.tm_mon + 1);
    result.DayOfWeek = static_cast<uint16_t>(local.tm_wday);
    result.Day = static_cast<uint16_t>(local.tm_mday);
    result.Hour = static_cast<uint16_t>(local.tm_hour);
    result.Minute = static_cast<uint16_t>(local.tm_min);
    // A leap second (tm_sec 60) is shown as the last second of the minute.
    result.Second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    result.Milliseconds = static_cast<uint16_t>(now.tv_nsec / 1'000'000);
    return result;
  }

  uint32_t TickCount() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);  // wraps like the Windows tick count
  }

  bool UtcToLocal(FileTimeValue utc, FileTimeValue& local) override {
    if (utc > kMaxFileTime) return false;
    const int64_t sinceEpoch = static_cast<int64_t>(utc) - kUnixEpochTicks;
    const time_t seconds = static_cast<time_t>(FloorDiv(sinceEpoch, kTicksPerSecond));
    tzset();
    tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) return false;
    const int64_t offset = static_cast<int64_t>(parts.tm_gmtoff) * kTicksPerSecond;
    const int64_t value = static_cast<int64_t>(utc);
    if (offset > 0 && value > std::numeric_limits<int64_t>::max() - offset) return false;
    if (value + offset < 0) return false;
    local = static_cast<FileTimeValue>(value + offset);
    return true;
  }

  bool LocalToUtc(FileTimeValue local, FileTimeValue& utc) override {
    CalendarTime wall;
    if (!FileTimeToCalendar(local, wall)) return false;
    tm parts{};
    parts.tm_year = wall.Year - 1900;
    parts.tm_mon = wall.Month - 1;
    parts.tm_mday = wall.Day;
    parts.tm_hour = wall.Hour;
    parts.tm_min = wall.Minute;
    parts.tm_sec = wall.Second;
    parts.tm_isdst = -1;  // let the zone rules decide whether summer time applies
    parts.tm_wday = -1;   // mktime sets it on success: tells -1 the error from -1 the time
    tzset();
    const time_t seconds = mktime(&parts);
    if (seconds == static_cast<time_t>(-1) && parts.tm_wday == -1) return false;
    const int64_t fraction = static_cast<int64_t>(local % kTicksPerSecond);
    const int64_t s = static_cast<int64_t>(seconds);
    const int64_t maxSeconds = (std::numeric_limits<int64_t>::max() - kUnixEpochTicks) / kTicksPerSecond - 1;
    if (s > maxSeconds) return false;
    const int64_t value = s * kTicksPerSecond + kUnixEpochTicks + fraction;
    if (value < 0) return false;
    utc = static_cast<FileTimeValue>(value);
    return true;
  }
};

ServiceSlot<IClock> slot(&OsClock);

}  // namespace

IClock& OsClock() {
  static PosixClock clock;
  return clock;
}
IClock& Clock() { return slot.Get(); }
IClock* SetClock(IClock* clock) { return slot.Set(clock); }

bool CalendarToFileTime(const CalendarTime& time, FileTimeValue& value) {
  if (time.Year < 1601 || time.Year > 30827) return false;
  if (time.Month < 1 || time.Month > 12) return false;
  if (time.Day < 1 || time.Day > DaysInMonth(time.Year, time.Month)) return false;
  if (time.Hour > 23 || time.Minute > 59 || time.Second > 59 || time.Milliseconds > 999) return false;
  const int64_t days = DaysFromCivil(time.Year, time.Month, time.Day) + kDaysFrom1601To1970;
  const int64_t seconds = (static_cast<int64_t>(time.Hour) * 60 + time.Minute) * 60 + time.Second;
  value = static_cast<FileTimeValue>(days * kTicksPerDay + seconds * kTicksPerSecond +
                                     static_cast<int64_t>(time.Milliseconds) * 10'000);
  return true;
}

bool FileTimeToCalendar(FileTimeValue value, CalendarTime& time) {
  if (value > kMaxFileTime) return false;
  const int64_t ticks = static_cast<int64_t>(value);
  const int64_t days = ticks / kTicksPerDay;
  const int64_t inDay = ticks % kTicksPerDay;
  int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(days - kDaysFrom1601To1970, year, month, day);
  time.Year = static_cast<uint16_t>(year);
  time.Month = static_cast<uint16_t>(month);
  time.Day = static_cast<uint16_t>(day);
  time.DayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  const int64_t seconds = inDay / kTicksPerSecond;
  time.Hour = static_cast<uint16_t>(seconds / 3600);
  time.Minute = static_cast<uint16_t>(seconds / 60 % 60);
  time.Second = static_cast<uint16_t>(seconds % 60);
  time.Milliseconds = static_cast<uint16_t>(inDay % kTicksPerSecond / 10'000);
  return true;
}

bool DosToFileTime(uint16_t dosDate, uint16_t dosTime, FileTimeValue& value) {
  CalendarTime time;
  time.Year = static_cast<uint16_t>(1980 + (dosDate >> 9));
  time.Month = static_cast<uint16_t>((dosDate >> 5) & 0x0F);
  time.Day = static_cast<uint16_t>(dosDate & 0x1F);
  time.Hour = static_cast<uint16_t>(dosTime >> 11);
  time.Minute = static_cast<uint16_t>((dosTime >> 5) & 0x3F);
  time.Second = static_cast<uint16_t>((dosTime & 0x1F) * 2);
  return CalendarToFileTime(time, value);
}

bool FileTimeToDos(FileTimeValue value, uint16_t& dosDate, uint16_t& dosTime) {
  CalendarTime time;
  if (!FileTimeToCalendar(value, time)) return false;
  if (time.Year < 1980 || time.Year > 2107) return false;
  dosDate = static_cast<uint16_t>(((time.Year - 1980) << 9) | (time.Month << 5) | time.Day);
  dosTime = static_cast<uint16_t>((time.Hour << 11) | (time.Minute << 5) | (time.Second / 2));
  return true;
}

}  // namespace platform
