#include "host/linux/file_times.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

SystemTime Make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                int ms = 0) {
  SystemTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  t.milliseconds = static_cast<uint16_t>(ms);
  return t;
}

TEST(FileTimeConversion, KnownInstants) {
  FileTime value;
  ASSERT_TRUE(SystemTimeToFileTime(Make(1601, 1, 1), &value));
  EXPECT_EQ(value.value, 0u);
  ASSERT_TRUE(SystemTimeToFileTime(Make(1970, 1, 1), &value));
  EXPECT_EQ(value.value, 116444736000000000u);
  ASSERT_TRUE(SystemTimeToFileTime(Make(2000, 2, 29, 23, 59, 59, 999), &value));
  EXPECT_EQ(value.value, 125963423999990000u);
  SystemTime back;
  ASSERT_TRUE(FileTimeToSystemTime(value, &back));
  EXPECT_EQ(back.year, 2000);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.dayOfWeek, 2);  // a Tuesday
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.minute, 59);
  EXPECT_EQ(back.second, 59);
  EXPECT_EQ(back.milliseconds, 999);
}

TEST(FileTimeConversion, RoundTripsAcrossCenturiesAndLeapDays) {
  for (const SystemTime& t :
       {Make(1601, 1, 1), Make(1899, 12, 31, 12), Make(1980, 1, 1), Make(2024, 2, 29, 6, 7, 8, 9),
        Make(2100, 3, 1), Make(30827, 12, 31)}) {
    FileTime value;
    ASSERT_TRUE(SystemTimeToFileTime(t, &value)) << t.year;
    SystemTime back;
    ASSERT_TRUE(FileTimeToSystemTime(value, &back));
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.milliseconds),
              std::tie(t.year, t.month, t.day, t.hour, t.milliseconds));
  }
}

TEST(FileTimeConversion, RejectsImpossibleDates) {
  FileTime value;
  for (const SystemTime& t :
       {Make(2023, 2, 29), Make(1900, 2, 29), Make(2000, 0, 1), Make(2000, 13, 1),
        Make(2000, 4, 31), Make(2000, 1, 0), Make(1600, 12, 31), Make(2000, 1, 1, 24),
        Make(2000, 1, 1, 0, 60), Make(2000, 1, 1, 0, 0, 60), Make(2000, 1, 1, 0, 0, 0, 1000)}) {
    EXPECT_FALSE(SystemTimeToFileTime(t, &value)) << t.year << "-" << t.month << "-" << t.day;
  }
  SystemTime out;
  EXPECT_FALSE(FileTimeToSystemTime(FileTime{0x8000000000000000ULL}, &out));
}

TEST(FileTimeConversion, HostTimesBeforeAndAfter1970) {
  const timespec before = host::FileTimeToTimespec(FileTime{host::kUnixEpochAsFileTime - 5});
  EXPECT_EQ(before.tv_sec, -1);
  EXPECT_EQ(before.tv_nsec, 999999500);
  EXPECT_EQ(host::FileTimeFromTimespec(before).value,
            static_cast<uint64_t>(host::kUnixEpochAsFileTime - 5));
  const timespec after{1247576742, 250000000};
  EXPECT_EQ(host::FileTimeToTimespec(host::FileTimeFromTimespec(after)).tv_sec, after.tv_sec);
  EXPECT_EQ(host::FileTimeToTimespec(host::FileTimeFromTimespec(after)).tv_nsec, after.tv_nsec);

  // Host times a file time cannot hold (tmpfs keeps them) stay at its ends.
  EXPECT_EQ(host::FileTimeFromTimespec(timespec{99999999999999, 0}).value,
            static_cast<uint64_t>(INT64_MAX));
  EXPECT_EQ(host::FileTimeFromTimespec(timespec{INT64_MAX, 999999999}).value,
            static_cast<uint64_t>(INT64_MAX));
  EXPECT_EQ(host::FileTimeFromTimespec(timespec{-99999999999999, 0}).value, 0u);
  EXPECT_EQ(host::FileTimeFromTimespec(timespec{INT64_MIN, 0}).value, 0u);
  // The last whole second below the top still converts exactly.
  const timespec last{910692730084, 0};
  EXPECT_EQ(host::FileTimeToTimespec(host::FileTimeFromTimespec(last)).tv_sec, last.tv_sec);
}

}  // namespace
