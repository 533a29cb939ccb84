// Time services: the local time now, the tick count, and conversions between
// DOS date-and-time, local FILETIME and UTC FILETIME.
//
// A FILETIME value here is the 64-bit count of 100-ns intervals since
// 1601-01-01 (UTC for "UTC" values, local wall time for "local" values).
#pragma once

#include <cstdint>

namespace platform {

using FileTimeValue = uint64_t;

// Calendar time as the Windows SYSTEMTIME record holds it.
struct CalendarTime {
  uint16_t Year = 0;
  uint16_t Month = 0;      // 1..12
  uint16_t DayOfWeek = 0;  // 0 = Sunday
  uint16_t Day = 0;        // 1..31
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint16_t Milliseconds = 0;
};

class IClock {
 public:
  virtual ~IClock() = default;
  // The current local date and time.
  virtual CalendarTime LocalNow() = 0;
  // Milliseconds since some fixed start, monotonic, wrapping as unsigned 32-bit.
  virtual uint32_t TickCount() = 0;
  // Local wall time <-> UTC under the time-zone rules in force for that time.
  virtual bool LocalToUtc(FileTimeValue local, FileTimeValue& utc) = 0;
  virtual bool UtcToLocal(FileTimeValue utc, FileTimeValue& local) = 0;
};

IClock& Clock();
IClock* SetClock(IClock* clock);
IClock& OsClock();

// Pure calendar conversions (no time zone involved). They fail (false) for
// out-of-range values, as the Windows services do.
bool CalendarToFileTime(const CalendarTime& time, FileTimeValue& value);
bool FileTimeToCalendar(FileTimeValue value, CalendarTime& time);
// DOS date (bits 15..9 year-1980, 8..5 month, 4..0 day) and time (15..11
// hour, 10..5 minute, 4..0 second/2).
bool DosToFileTime(uint16_t dosDate, uint16_t dosTime, FileTimeValue& value);
bool FileTimeToDos(FileTimeValue value, uint16_t& dosDate, uint16_t& dosTime);

}  // namespace platform
