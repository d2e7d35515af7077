#include <cstdint>

#include "platform/file_system.h"

namespace platform {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysBefore1970 = 134774;

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yearOfEra + era * 400 + (*month <= 2);
}

}  // namespace

bool SystemTimeToFileTime(const SystemTime& time, FileTime* out) {
  if (out == nullptr || time.year < 1601 || time.year > 30827 || time.month < 1 ||
      time.month > 12 || time.day < 1 || time.day > DaysInMonth(time.year, time.month) ||
      time.hour > 23 || time.minute > 59 || time.second > 59 || time.milliseconds > 999) {
    return false;
  }
  const int64_t days = DaysFromCivil(time.year, time.month, time.day) + kDaysBefore1970;
  const int64_t seconds = time.hour * 3600 + time.minute * 60 + time.second;
  out->value = static_cast<uint64_t>(days * kTicksPerDay + seconds * kTicksPerSecond +
                                     time.milliseconds * int64_t{10000});
  return true;
}

bool FileTimeToSystemTime(const FileTime& time, SystemTime* out) {
  // The device refuses times with the top bit set.
  if (out == nullptr || time.value > static_cast<uint64_t>(INT64_MAX)) return false;
  const auto ticks = static_cast<int64_t>(time.value);
  const int64_t days = ticks / kTicksPerDay;
  const int64_t rest = ticks % kTicksPerDay;
  int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(days - kDaysBefore1970, &year, &month, &day);
  if (year > 30827) return false;
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint16_t>(month);
  out->day = static_cast<uint16_t>(day);
  out->dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  out->hour = static_cast<uint16_t>(rest / (3600 * kTicksPerSecond));
  out->minute = static_cast<uint16_t>(rest / (60 * kTicksPerSecond) % 60);
  out->second = static_cast<uint16_t>(rest / kTicksPerSecond % 60);
  out->milliseconds = static_cast<uint16_t>(rest / 10000 % 1000);
  return true;
}

}  // namespace platform
