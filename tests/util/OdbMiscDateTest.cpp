// Day numbers and the fixed-format date and time routines.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include "ExpectRaises.h"
#include "corvid/util/OdbMisc.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

// Every test runs with known, English settings and gets the process-wide
// settings back afterwards.
class DateTime : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = OdbFormatSettings();
    TOdbFormatSettings& s = OdbFormatSettings();
    const char* shortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* longMonths[12] = {"January",   "February", "March",    "April",
                                  "May",       "June",     "July",     "August",
                                  "September", "October",  "November", "December"};
    for (int i = 0; i < 12; ++i) {
      s.ShortMonthNames[i] = shortMonths[i];
      s.LongMonthNames[i] = longMonths[i];
    }
    s.ShortDateFormat = "dd/mm/yyyy";
    s.DateSeparator = '/';
    s.LongTimeFormat = "hh:nn:ss";
    s.TimeSeparator = ':';
  }
  void TearDown() override { OdbFormatSettings() = saved_; }

  static TDateTime March5() { return EncodeDate(2004, 3, 5); }
  static TDateTime At140709() { return EncodeTime(14, 7, 9, 0); }

  TOdbFormatSettings saved_;
};

TEST_F(DateTime, DayNumbersCountFromTheEndOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(2004, 3, 5), 38051.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST_F(DateTime, EncodeRejectsImpossibleDatesAndTimes) {
  EXPECT_THROW(EncodeDate(2003, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2004, 2, 29));
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(10000, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2004, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST_F(DateTime, DecodeRoundTripsAcrossTheRange) {
  for (TDateTime d : {-693593.0, -1.0, 0.0, 59.0, 60.0, 61.0, 38051.0, 2958465.0}) {
    std::int32_t y, m, day;
    DecodeDate(d, y, m, day);
    EXPECT_EQ(EncodeDate(y, m, day), d) << y << "-" << m << "-" << day;
  }
  std::int32_t h, n, s, ms;
  DecodeTime(March5() + EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
  // Before 1899 the time of day still counts forward: -1.25 is 29 December
  // 1899, 06:00.
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(h, 6);
  std::int32_t y, m, d;
  DecodeDate(-1.25, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
}

TEST_F(DateTime, SortStrings) {
  EXPECT_EQ(DateToSortString(March5()), "20040305");
  EXPECT_EQ(TimeToSortString(At140709()), "140709");
  EXPECT_EQ(DateTimeToSortString(March5() + At140709()), "20040305140709");
  EXPECT_EQ(DateTimeToSortString(EncodeDate(1, 1, 1)), "00010101000000");
  // A time a hair below the next second reads as that second.
  EXPECT_EQ(TimeToSortString(At140709() - 1e-10), "140709");
}

TEST_F(DateTime, DateFormatsAndSeparators) {
  const TDateTime d = March5() + At140709();
  EXPECT_EQ(DateToDateStr(d, "dd.mm.yyyy"), "05.03.2004");
  EXPECT_EQ(DateToDateStr(d, "yyyy-mm-dd"), "2004-03-05");
  EXPECT_EQ(DateToDateStr(d, "mm/dd/yyyy"), "03/05/2004");
  EXPECT_EQ(DateToDateStr(d, "d-mmm-yy"), "5-Mar-04");
  EXPECT_EQ(DateToDateStr(d, "mmmm d, yyyy"), "March 5, 2004");
  // "/" takes the separator chosen from the format: "." wins over "-".
  EXPECT_EQ(DateToDateStr(d, "dd/mm.yyyy-"), "05.03.2004-");
  // Only the date part is formatted.
  EXPECT_EQ(DateToDateStr(d, "yyyymmdd hh"), "20040305 00");
  EXPECT_EQ(DateToDateStr(d, "'Day' dd"), "Day 05");
}

TEST_F(DateTime, TimeFormatsKeepTheTimeSeparator) {
  EXPECT_EQ(TimeToTimeStr(March5() + At140709(), "hh:nn:ss"), "14:07:09");
  EXPECT_EQ(TimeToTimeStr(At140709(), "h:mm"), "14:07");  // m after h: minutes
  EXPECT_EQ(TimeToTimeStr(EncodeTime(9, 5, 3, 7), "h.n.s.zzz"), "9.5.3.007");
  OdbFormatSettings().TimeSeparator = '.';
  EXPECT_EQ(TimeToTimeStr(At140709(), "hh:nn"), "14.07");
}

TEST_F(DateTime, SettingsAreRestoredAfterEveryCall) {
  EXPECT_EQ(DateToDateStr(March5(), "dd.mm.yyyy"), "05.03.2004");
  EXPECT_EQ(OdbFormatSettings().ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(OdbFormatSettings().DateSeparator, '/');
  EXPECT_THROW(DateStrToDate("xx.03.2004", "dd.mm.yyyy"), EConvertError);
  EXPECT_EQ(OdbFormatSettings().ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(OdbFormatSettings().DateSeparator, '/');
  EXPECT_THROW(TimeStrToTime("25:00:00", "hh-nn-ss"), EConvertError);
  EXPECT_EQ(OdbFormatSettings().LongTimeFormat, "hh:nn:ss");
  EXPECT_THROW(DateToDateStr(std::numeric_limits<double>::quiet_NaN(), "yyyy"), EConvertError);
  EXPECT_EQ(OdbFormatSettings().ShortDateFormat, "dd/mm/yyyy");
}

TEST_F(DateTime, ParseDates) {
  EXPECT_EQ(DateStrToDate("05.03.2004", "dd.mm.yyyy"), March5());
  EXPECT_EQ(DateStrToDate("5.3.2004", "dd.mm.yyyy"), March5());
  EXPECT_EQ(DateStrToDate("20040305", "yyyymmdd"), March5());
  EXPECT_EQ(DateStrToDate("2004/03/05", "yyyy/mm/dd"), March5());
  EXPECT_EQ(DateStrToDate(" 05-mar-2004 ", "dd-mmm-yyyy"), March5());
  EXPECT_EQ(DateStrToDate("05-March-2004", "dd-mmm-yyyy"), March5());
  EXPECT_EQ(DateStrToDate("29.02.2004", "dd.mm.yyyy"), EncodeDate(2004, 2, 29));
}

TEST_F(DateTime, ParseDatesRejectsMismatches) {
  EXPECT_THROW(DateStrToDate("", "dd.mm.yyyy"), EConvertError);
  EXPECT_THROW(DateStrToDate("31.02.2004", "dd.mm.yyyy"), EConvertError);
  EXPECT_THROW(DateStrToDate("05/03/2004", "dd.mm.yyyy"), EConvertError);
  EXPECT_THROW(DateStrToDate("05.03.2004x", "dd.mm.yyyy"), EConvertError);
  EXPECT_THROW(DateStrToDate("2004035", "yyyymmdd"), EConvertError);
  EXPECT_THROW(DateStrToDate("05-Foo-2004", "dd-mmm-yyyy"), EConvertError);
  EXPECT_THROW(DateStrToDate("00.01.2004", "dd.mm.yyyy"), EConvertError);
  ExpectRaises<EConvertError>([&] { DateStrToDate("bad", "dd.mm.yyyy"); },
                              ::testing::Eq("'bad' is not a valid date"));
}

TEST_F(DateTime, TwoDigitYearsFallNearTheCurrentYear) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const int year = tm.tm_year + 1900;
  const std::string yy = std::to_string(year % 100 + 100).substr(1);
  std::int32_t y, m, d;
  DecodeDate(DateStrToDate("01.01." + yy, "dd.mm.yy"), y, m, d);
  EXPECT_EQ(y, year);
  // 50 years back is still taken; the two digits of 51 years back mean the
  // future.
  const std::string back50 = std::to_string((year - 50) % 100 + 100).substr(1);
  DecodeDate(DateStrToDate("01.01." + back50, "dd.mm.yy"), y, m, d);
  EXPECT_EQ(y, year - 50);
  const std::string back51 = std::to_string((year - 51) % 100 + 100).substr(1);
  DecodeDate(DateStrToDate("01.01." + back51, "dd.mm.yy"), y, m, d);
  EXPECT_EQ(y, year + 49);
}

TEST_F(DateTime, ParseTimes) {
  EXPECT_DOUBLE_EQ(TimeStrToTime("14:07:09", "hh:nn:ss"), At140709());
  EXPECT_DOUBLE_EQ(TimeStrToTime("140709", "hhnnss"), At140709());
  EXPECT_DOUBLE_EQ(TimeStrToTime("9:5", "h:n"), EncodeTime(9, 5, 0, 0));
  EXPECT_THROW(TimeStrToTime("14:60:00", "hh:nn:ss"), EConvertError);
  EXPECT_THROW(TimeStrToTime("14:07", "hh:nn:ss"), EConvertError);
  OdbFormatSettings().TimeSeparator = '.';
  EXPECT_DOUBLE_EQ(TimeStrToTime("14.07.09", "hh:nn:ss"), At140709());
}

TEST_F(DateTime, SortStringsParseBack) {
  const TDateTime d = EncodeDate(1999, 12, 31);
  EXPECT_EQ(DateStrToDate(DateToSortString(d), "yyyymmdd"), d);
  const TDateTime t = EncodeTime(23, 59, 58, 0);
  EXPECT_DOUBLE_EQ(TimeStrToTime(TimeToSortString(t), "hhnnss"), t);
}

}  // namespace
}  // namespace corvid
