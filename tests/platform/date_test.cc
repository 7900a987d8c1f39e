// Tests of date serials, their calendar parts, the reading of date texts, the default date text
// and the clocks.
#include "nimbo/date.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cmath>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "nimbo/clock.h"
#include "nimbo/error.h"

namespace nimbo {
namespace {

constexpr double kTime211744 = (21 * 3600 + 17 * 60 + 44) / 86400.0;

int ErrorOfMakeDate(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  try {
    MakeDate(y, m, d, h, n, s);
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(DateTest, MakeDateCountsFromDayZero) {
  EXPECT_EQ(MakeDate(1899, 12, 30).serial, 0.0);
  EXPECT_EQ(MakeDate(1900, 1, 1).serial, 2.0);
  EXPECT_EQ(MakeDate(2000, 2, 29).serial, 36585.0);
  EXPECT_DOUBLE_EQ(MakeDate(2026, 12, 8, 21, 17, 44).serial, 46364.0 + kTime211744);
  // Before day zero the time still runs forward from the day's start.
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6, 0, 0).serial, -1.25);
  EXPECT_EQ(MakeDate(100, 1, 1).serial, -657434.0);
  // The first day's times lie below its midnight; its last second is the lowest serial.
  EXPECT_NEAR(MakeDate(100, 1, 1, 23, 59, 59).serial, kMinDateSerial, 1e-9);
  EXPECT_NEAR(MakeDate(9999, 12, 31, 23, 59, 59).serial, kMaxDateSerial, 1e-9);
}

TEST(DateTest, MakeDateRejectsWhatDoesNotExist) {
  EXPECT_EQ(ErrorOfMakeDate(2026, 2, 29), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 2, 30), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 13, 1), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 0, 1), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 4, 31), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 1, 1, 24), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 1, 1, 0, 60), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(2026, 1, 1, 0, 0, -1), err::kInvalidCall);
  EXPECT_EQ(ErrorOfMakeDate(99, 1, 1), err::kOverflow);
  EXPECT_EQ(ErrorOfMakeDate(10000, 1, 1), err::kOverflow);
  EXPECT_EQ(ErrorOfMakeDate(2024, 2, 29), 0);
  EXPECT_EQ(ErrorOfMakeDate(1900, 2, 29), err::kInvalidCall);  // not a leap year
}

TEST(DateTest, SplitDateGivesTheParts) {
  const DateParts parts = SplitDate(MakeDate(2026, 12, 8, 21, 17, 44));
  EXPECT_EQ(parts.year, 2026);
  EXPECT_EQ(parts.month, 12);
  EXPECT_EQ(parts.day, 8);
  EXPECT_EQ(parts.hour, 21);
  EXPECT_EQ(parts.minute, 17);
  EXPECT_EQ(parts.second, 44);
  EXPECT_EQ(parts.weekday, 3);  // Tuesday
  EXPECT_EQ(parts.day_of_year, 342);

  const DateParts zero = SplitDate(Date{0});
  EXPECT_EQ(zero.weekday, 7);  // Saturday
  EXPECT_EQ(zero.day_of_year, 364);

  const DateParts before = SplitDate(Date{-1.75});
  EXPECT_EQ(before.day, 29);
  EXPECT_EQ(before.hour, 18);
  // Half a day either side of day zero is the same moment.
  EXPECT_EQ(SplitDate(Date{-0.5}).day, 30);
  EXPECT_EQ(SplitDate(Date{-0.5}).hour, 12);
}

TEST(DateTest, SplitDateRoundsToTheSecondAcrossMidnight) {
  const DateParts parts = SplitDate(Date{46364.0 + 0.9999999});
  EXPECT_EQ(parts.day, 9);
  EXPECT_EQ(parts.hour, 0);
  EXPECT_EQ(parts.second, 0);
  EXPECT_EQ(SplitDate(Date{46364.0 + 0.4 / 86400}).second, 0);
  EXPECT_EQ(SplitDate(Date{46364.0 + 0.6 / 86400}).second, 1);
  EXPECT_THROW(SplitDate(Date{1e10}), Error);
  EXPECT_THROW(SplitDate(Date{std::nan("")}), Error);
}

TEST(DateTest, MakeAndSplitRoundTripOverTheWholeRange) {
  for (int year : {100, 1582, 1899, 1900, 1999, 2000, 2026, 9999}) {
    for (int month : {1, 2, 12}) {
      const Date date = MakeDate(year, month, 28, 13, 5, 9);
      const DateParts parts = SplitDate(date);
      EXPECT_EQ(parts.year, year);
      EXPECT_EQ(parts.month, month);
      EXPECT_EQ(parts.day, 28);
      EXPECT_EQ(parts.hour, 13);
      EXPECT_EQ(parts.minute, 5);
      EXPECT_EQ(parts.second, 9);
    }
  }
}

// Every day from year 100 to 9999, and every day that does not exist, against the calendar
// types of the standard library.
TEST(DateTest, MakeDateAgreesWithTheCalendarOnEveryDay) {
  namespace chr = std::chrono;
  const chr::sys_days zero{chr::year{1899} / chr::December / 30};
  for (int year = 100; year <= 9999; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        const chr::year_month_day ymd{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                                      chr::day{static_cast<unsigned>(day)}};
        if (!ymd.ok()) {
          ASSERT_THROW(MakeDate(year, month, day), Error) << year << "-" << month << "-" << day;
          continue;
        }
        ASSERT_EQ(MakeDate(year, month, day).serial, (chr::sys_days{ymd} - zero).count())
            << year << "-" << month << "-" << day;
      }
    }
  }
}

struct ParseCase {
  const char* text;
  std::optional<Date> want;
};

std::optional<Date> At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return MakeDate(y, m, d, h, n, s);
}

std::optional<Date> TimeOnly(int h, int n, int s = 0) {
  return Date{(h * 3600 + n * 60 + s) / 86400.0};
}

TEST(DateTest, ParseDateReadsTheStoredAndEnglishForms) {
  const std::vector<ParseCase> cases = {
      // ISO forms from databases.
      {"2026-12-08", At(2026, 12, 8)},
      {"2026-12-08 21:17:44", At(2026, 12, 8, 21, 17, 44)},
      {"2026-12-08T21:17:44", At(2026, 12, 8, 21, 17, 44)},
      {"2026-12-08T21:17:44Z", At(2026, 12, 8, 21, 17, 44)},
      {"2026-12-08 21:17:44.999", At(2026, 12, 8, 21, 17, 44)},
      {"2026-12-08T23:59:59.9Z", At(2026, 12, 8, 23, 59, 59)},
      {"2026-12-08 21:17", At(2026, 12, 8, 21, 17)},
      {"  2026-12-08  ", At(2026, 12, 8)},
      {"2026-1-5", At(2026, 1, 5)},
      {"2026/12/08", At(2026, 12, 8)},
      // Month/day/year.
      {"12/8/2026", At(2026, 12, 8)},
      {"12/08/2026", At(2026, 12, 8)},
      {"12-8-2026", At(2026, 12, 8)},
      {"12/8/2026 9:17:44 PM", At(2026, 12, 8, 21, 17, 44)},
      {"12/8/26 9:17 PM", At(2026, 12, 8, 21, 17)},
      {"12/8/2026 21:17:44", At(2026, 12, 8, 21, 17, 44)},
      {"1/1/00", At(2000, 1, 1)},
      {"1/1/29", At(2029, 1, 1)},
      {"1/1/30", At(1930, 1, 1)},
      {"1/1/99", At(1999, 1, 1)},
      {"2/29/2024", At(2024, 2, 29)},
      // Month names.
      {"8 Dec 2026", At(2026, 12, 8)},
      {"08 Dec 2026", At(2026, 12, 8)},
      {"8-Dec-2026", At(2026, 12, 8)},
      {"December 8, 2026", At(2026, 12, 8)},
      {"Dec 8 2026", At(2026, 12, 8)},
      {"dec 8, 26", At(2026, 12, 8)},
      {"Sept 1 2026", At(2026, 9, 1)},
      {"Tuesday, 08 Dec 2026 09:17:44 PM", At(2026, 12, 8, 21, 17, 44)},
      {"Tue 8 Dec 2026", At(2026, 12, 8)},
      {"8 December 2026 12:00 AM", At(2026, 12, 8, 0, 0)},
      {"8 December 2026 12:30 PM", At(2026, 12, 8, 12, 30)},
      // Times alone: day zero with that time.
      {"21:17", TimeOnly(21, 17)},
      {"9:17:44 PM", TimeOnly(21, 17, 44)},
      {"9:17:44 pm", TimeOnly(21, 17, 44)},
      {"9 AM", TimeOnly(9, 0)},
      {"12:05 AM", TimeOnly(0, 5)},
      // Not dates.
      {"", std::nullopt},
      {"junk", std::nullopt},
      {"n/a", std::nullopt},
      {"12.5", std::nullopt},
      {"2026", std::nullopt},
      {"12/8", std::nullopt},
      {"8 Dec", std::nullopt},
      {"2026-02-30", std::nullopt},
      {"2026-13-01", std::nullopt},
      {"2/30/2026", std::nullopt},
      {"13/8/2026", std::nullopt},
      {"12/8/2026 25:00", std::nullopt},
      {"12/8/2026 9:60", std::nullopt},
      {"13:00 PM", std::nullopt},
      {"2026-12-08X", std::nullopt},
      {"2026-12-08 21:17:44+02:00", std::nullopt},
      {"8 Foo 2026", std::nullopt},
      {"12/8-2026", std::nullopt},
      {"Tuesday", std::nullopt},
      {"1/1/50000", std::nullopt},
      {"12/8/2026 junk", std::nullopt},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<Date> got = ParseDate(c.text);
    ASSERT_EQ(got.has_value(), c.want.has_value());
    if (got) {
      EXPECT_NEAR(got->serial, c.want->serial, 1e-9);
    }
  }
}

TEST(DateTest, DateToTextLeavesOutWhatIsZero) {
  const std::vector<std::pair<Date, std::string>> cases = {
      {MakeDate(2026, 12, 8, 21, 17, 44), "12/8/2026 9:17:44 PM"},
      {MakeDate(2026, 12, 8), "12/8/2026"},
      {MakeDate(2026, 1, 5, 0, 5, 0), "1/5/2026 12:05:00 AM"},
      {MakeDate(2026, 1, 5, 12, 0, 1), "1/5/2026 12:00:01 PM"},
      {Date{kTime211744}, "9:17:44 PM"},
      {Date{0}, "12:00:00 AM"},
      {MakeDate(100, 1, 1), "1/1/0100"},
      {Date{-1.25}, "12/29/1899 6:00:00 AM"},
  };
  for (const auto& [date, want] : cases) {
    EXPECT_EQ(DateToText(date), want);
  }
}

TEST(ClockTest, FixedClockAnswersItsDate) {
  const Date when = MakeDate(2026, 12, 8, 21, 17, 44);
  EXPECT_EQ(FixedClock(when)->Now(), when);
}

TEST(ClockTest, SystemClockGivesTheLocalDate) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Date expected = MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const Date got = SystemClock()->Now();
  // The same local day, give or take the midnight that may pass between the two readings.
  EXPECT_GE(got.serial, expected.serial);
  EXPECT_LT(got.serial, expected.serial + 2);
}

}  // namespace
}  // namespace nimbo
