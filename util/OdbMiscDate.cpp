// Process-wide format settings and the fixed-format date and time routines.
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

#include "corvid/util/OdbMisc.h"

namespace corvid {

// ---------------------------------------------------------------------------
// Format settings

namespace {

const char* const kEnglishShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kEnglishLongMonths[12] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
const char* const kEnglishShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kEnglishLongDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};

TOdbFormatSettings LoadFormatSettings() {
  TOdbFormatSettings s;
  for (int i = 0; i < 12; ++i) {
    s.ShortMonthNames[i] = kEnglishShortMonths[i];
    s.LongMonthNames[i] = kEnglishLongMonths[i];
  }
  for (int i = 0; i < 7; ++i) {
    s.ShortDayNames[i] = kEnglishShortDays[i];
    s.LongDayNames[i] = kEnglishLongDays[i];
  }
  // The user's locale from the environment, without touching the C
  // library's global locale (which the application owns).
  locale_t loc = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return s;
  auto take = [&](nl_item item, std::string& target) {
    const char* v = nl_langinfo_l(item, loc);
    if (v != nullptr && *v != '\0') target = v;
  };
  static const nl_item kAbMon[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                     ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static const nl_item kMon[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                   MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static const nl_item kAbDay[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  static const nl_item kDay[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  for (int i = 0; i < 12; ++i) {
    take(kAbMon[i], s.ShortMonthNames[i]);
    take(kMon[i], s.LongMonthNames[i]);
  }
  for (int i = 0; i < 7; ++i) {
    take(kAbDay[i], s.ShortDayNames[i]);
    take(kDay[i], s.LongDayNames[i]);
  }
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') s.DecimalSeparator = radix[0];
  freelocale(loc);
  return s;
}

}  // namespace

TOdbFormatSettings& OdbFormatSettings() {
  static TOdbFormatSettings settings = LoadFormatSettings();
  return settings;
}

// ---------------------------------------------------------------------------
// Day numbers

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// Day numbers of 0001-01-01 and 9999-12-31.
constexpr std::int64_t kMinDay = -693593;
constexpr std::int64_t kMaxDay = 2958465;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int32_t& y, std::int32_t& m, std::int32_t& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<std::int32_t>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// Day number 0 is 1899-12-30.
const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(std::int32_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::int32_t DaysInMonth(std::int32_t y, std::int32_t m) {
  static const std::int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

[[noreturn]] void RaiseConvert(std::string Message) {
  throw EConvertError(std::move(Message));
}

// A day number split into day and milliseconds of the day. The value is
// rounded to the millisecond first, so 14:07:09 stored with a rounding error
// still reads as 14:07:09. The integer part is the day (truncated toward
// zero), the fraction's magnitude the time, also for dates before 1899.
struct TSplit {
  std::int64_t day;
  std::int64_t msec;
};

TSplit Split(TDateTime Value) {
  if (!std::isfinite(Value) || Value < static_cast<double>(kMinDay) - 1 ||
      Value > static_cast<double>(kMaxDay) + 1) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", Value);
    RaiseConvert(std::string("'") + buf + "' is not a valid date and time");
  }
  const auto total = static_cast<std::int64_t>(std::llround(Value * kMSecsPerDay));
  TSplit s{total / kMSecsPerDay, total % kMSecsPerDay};
  if (s.msec < 0) s.msec = -s.msec;
  if (s.day < kMinDay || s.day > kMaxDay) {
    RaiseConvert("Date outside the years 1 to 9999");
  }
  return s;
}

// Combines a day and a time of day into a day number: for days before the
// epoch the time counts away from zero, as Split reads it.
TDateTime Combine(std::int64_t Day, double Time) {
  return Day >= 0 ? static_cast<double>(Day) + Time : static_cast<double>(Day) - Time;
}

}  // namespace

TDateTime EncodeDate(std::int32_t Year, std::int32_t Month, std::int32_t Day) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInMonth(Year, Month)) {
    RaiseConvert("Invalid argument to date encode");
  }
  return static_cast<double>(
      DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) - kEpochOffset);
}

TDateTime EncodeTime(std::int32_t Hour, std::int32_t Min, std::int32_t Sec, std::int32_t MSec) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 ||
      MSec > 999) {
    RaiseConvert("Invalid argument to time encode");
  }
  const std::int64_t ms = ((Hour * 60 + Min) * 60 + Sec) * 1000LL + MSec;
  return static_cast<double>(ms) / kMSecsPerDay;
}

void DecodeDate(TDateTime Date, std::int32_t& Year, std::int32_t& Month, std::int32_t& Day) {
  CivilFromDays(Split(Date).day + kEpochOffset, Year, Month, Day);
}

void DecodeTime(TDateTime Time, std::int32_t& Hour, std::int32_t& Min, std::int32_t& Sec,
                std::int32_t& MSec) {
  std::int64_t ms = Split(Time).msec;
  MSec = static_cast<std::int32_t>(ms % 1000);
  ms /= 1000;
  Sec = static_cast<std::int32_t>(ms % 60);
  ms /= 60;
  Min = static_cast<std::int32_t>(ms % 60);
  Hour = static_cast<std::int32_t>(ms / 60);
}

// ---------------------------------------------------------------------------
// Format patterns

namespace {

enum class TTok {
  Literal,     // text copied or matched as is
  DateSep,     // "/"
  TimeSep,     // ":"
  Year2,       // y, yy
  Year4,       // yyy and more
  Month,       // m, mm (Width 1 or 2)
  MonthShort,  // mmm
  MonthLong,   // mmmm
  Day,         // d, dd
  DayShort,    // ddd
  DayLong,     // dddd
  Hour,        // h, hh
  Minute,      // n, nn; m, mm after an hour
  Second,      // s, ss
  MSec,        // z (Width 1), zzz (Width 3)
};

struct TToken {
  explicit TToken(TTok Kind, int Width = 0, std::string Text = std::string())
      : kind(Kind), width(Width), text(std::move(Text)) {}
  TTok kind;
  int width = 0;     // 1: no padding; 2 or 3: zero-padded to that width
  std::string text;  // Literal only
};

bool IsNumberToken(TTok k) {
  return k == TTok::Year2 || k == TTok::Year4 || k == TTok::Month || k == TTok::Day ||
         k == TTok::Hour || k == TTok::Minute || k == TTok::Second || k == TTok::MSec;
}

std::vector<TToken> Tokenize(std::string_view f) {
  std::vector<TToken> out;
  auto literal = [&](std::string_view t) {
    if (!out.empty() && out.back().kind == TTok::Literal) {
      out.back().text += t;
    } else {
      out.push_back(TToken(TTok::Literal, 0, std::string(t)));
    }
  };
  bool afterHour = false;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '\'' || c == '"') {
      const std::size_t close = f.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? f.size() : close;
      literal(f.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? f.size() : close + 1;
      continue;
    }
    if (c == '/') {
      out.push_back(TToken(TTok::DateSep));
      ++i;
      continue;
    }
    if (c == ':') {
      out.push_back(TToken(TTok::TimeSep));
      ++i;
      continue;
    }
    const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lc != 'y' && lc != 'm' && lc != 'd' && lc != 'h' && lc != 'n' && lc != 's' && lc != 'z') {
      literal(f.substr(i, 1));
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < f.size() &&
           std::tolower(static_cast<unsigned char>(f[i + run])) == static_cast<unsigned char>(lc)) {
      ++run;
    }
    i += run;
    const int w = run >= 2 ? 2 : 1;
    switch (lc) {
      case 'y':
        out.push_back(TToken(run <= 2 ? TTok::Year2 : TTok::Year4, run <= 2 ? 2 : 4));
        break;
      case 'm':
        if (afterHour && run <= 2) {
          out.push_back(TToken(TTok::Minute, w));
        } else if (run <= 2) {
          out.push_back(TToken(TTok::Month, w));
        } else {
          out.push_back(TToken(run == 3 ? TTok::MonthShort : TTok::MonthLong));
        }
        break;
      case 'd':
        if (run <= 2) {
          out.push_back(TToken(TTok::Day, w));
        } else {
          out.push_back(TToken(run == 3 ? TTok::DayShort : TTok::DayLong));
        }
        break;
      case 'h':
        out.push_back(TToken(TTok::Hour, w));
        break;
      case 'n':
        out.push_back(TToken(TTok::Minute, w));
        break;
      case 's':
        out.push_back(TToken(TTok::Second, w));
        break;
      default:  // 'z'
        out.push_back(TToken(TTok::MSec, run >= 3 ? 3 : 1));
        break;
    }
    afterHour = lc == 'h';
  }
  return out;
}

void AppendNumber(std::string& out, std::int64_t v, int width) {
  std::string digits = std::to_string(v);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  out += digits;
}

struct TParts {
  std::int32_t year = 0, month = 0, day = 0, dayOfWeek = 0;  // dayOfWeek 0 = Sunday
  std::int32_t hour = 0, minute = 0, second = 0, msec = 0;
};

TParts PartsOf(TDateTime Value) {
  const TSplit s = Split(Value);
  TParts p;
  CivilFromDays(s.day + kEpochOffset, p.year, p.month, p.day);
  // 1899-12-30 was a Saturday.
  p.dayOfWeek = static_cast<std::int32_t>(((s.day + 6) % 7 + 7) % 7);
  std::int64_t ms = s.msec;
  p.msec = static_cast<std::int32_t>(ms % 1000);
  ms /= 1000;
  p.second = static_cast<std::int32_t>(ms % 60);
  ms /= 60;
  p.minute = static_cast<std::int32_t>(ms % 60);
  p.hour = static_cast<std::int32_t>(ms / 60);
  return p;
}

}  // namespace

std::string FormatDateTime(std::string_view Format, TDateTime Value) {
  const TOdbFormatSettings& fs = OdbFormatSettings();
  const TParts p = PartsOf(Value);
  std::string out;
  for (const TToken& t : Tokenize(Format)) {
    switch (t.kind) {
      case TTok::Literal:
        out += t.text;
        break;
      case TTok::DateSep:
        out += fs.DateSeparator;
        break;
      case TTok::TimeSep:
        out += fs.TimeSeparator;
        break;
      case TTok::Year2:
        AppendNumber(out, p.year % 100, 2);
        break;
      case TTok::Year4:
        AppendNumber(out, p.year, 4);
        break;
      case TTok::Month:
        AppendNumber(out, p.month, t.width);
        break;
      case TTok::MonthShort:
        out += fs.ShortMonthNames[p.month - 1];
        break;
      case TTok::MonthLong:
        out += fs.LongMonthNames[p.month - 1];
        break;
      case TTok::Day:
        AppendNumber(out, p.day, t.width);
        break;
      case TTok::DayShort:
        out += fs.ShortDayNames[p.dayOfWeek];
        break;
      case TTok::DayLong:
        out += fs.LongDayNames[p.dayOfWeek];
        break;
      case TTok::Hour:
        AppendNumber(out, p.hour, t.width);
        break;
      case TTok::Minute:
        AppendNumber(out, p.minute, t.width);
        break;
      case TTok::Second:
        AppendNumber(out, p.second, t.width);
        break;
      case TTok::MSec:
        AppendNumber(out, p.msec, t.width);
        break;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Parsing

namespace {

std::int32_t CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (prefix.empty() || s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// Matches one of Names at the start of S (the longest that fits); returns
// its index or -1 and advances Pos past it.
template <std::size_t N>
int MatchName(std::string_view s, std::size_t& pos, const std::array<std::string, N>& names) {
  int best = -1;
  std::size_t bestLen = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i].size() > bestLen && StartsWithNoCase(s.substr(pos), names[i])) {
      best = static_cast<int>(i);
      bestLen = names[i].size();
    }
  }
  if (best >= 0) pos += bestLen;
  return best;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

struct TParsed {
  std::optional<std::int32_t> year, month, day, hour, minute, second, msec;
  bool yearTwoDigits = false;
};

// Reads S as laid out by Format. False when S does not match.
bool ParseWithFormat(std::string_view S, std::string_view Format, TParsed& r) {
  const TOdbFormatSettings& fs = OdbFormatSettings();
  const std::vector<TToken> tokens = Tokenize(Format);
  std::size_t pos = 0;
  while (pos < S.size() && IsBlank(S[pos])) ++pos;
  for (std::size_t ti = 0; ti < tokens.size(); ++ti) {
    const TToken& t = tokens[ti];
    switch (t.kind) {
      case TTok::Literal:
        for (char c : t.text) {
          if (IsBlank(c)) {
            while (pos < S.size() && IsBlank(S[pos])) ++pos;
          } else if (pos < S.size() && S[pos] == c) {
            ++pos;
          } else {
            return false;
          }
        }
        break;
      case TTok::DateSep:
      case TTok::TimeSep: {
        const char sep = t.kind == TTok::DateSep ? fs.DateSeparator : fs.TimeSeparator;
        if (pos >= S.size() || S[pos] != sep) return false;
        ++pos;
        break;
      }
      case TTok::MonthShort:
      case TTok::MonthLong: {
        int m = MatchName(S, pos, fs.LongMonthNames);
        if (m < 0) m = MatchName(S, pos, fs.ShortMonthNames);
        if (m < 0) return false;
        r.month = m + 1;
        break;
      }
      case TTok::DayShort:
      case TTok::DayLong: {
        int d = MatchName(S, pos, fs.LongDayNames);
        if (d < 0) d = MatchName(S, pos, fs.ShortDayNames);
        if (d < 0) return false;
        break;
      }
      default: {
        // A number. Its widest form is the pattern's full width (4 digits
        // for a year, 3 for milliseconds, else 2); next to another number
        // without a separator the width is exact.
        const int maxDigits = t.kind == TTok::Year4 ? 4 : (t.kind == TTok::MSec ? 3 : 2);
        const bool exact = (ti + 1 < tokens.size() && IsNumberToken(tokens[ti + 1].kind)) ||
                           (ti > 0 && IsNumberToken(tokens[ti - 1].kind));
        std::int32_t v = 0;
        int n = 0;
        while (n < maxDigits && pos < S.size() &&
               std::isdigit(static_cast<unsigned char>(S[pos]))) {
          v = v * 10 + (S[pos] - '0');
          ++pos;
          ++n;
        }
        if (n == 0 || (exact && n != maxDigits)) return false;
        switch (t.kind) {
          case TTok::Year2:
          case TTok::Year4:
            r.year = v;
            r.yearTwoDigits = n <= 2;
            break;
          case TTok::Month:
            r.month = v;
            break;
          case TTok::Day:
            r.day = v;
            break;
          case TTok::Hour:
            r.hour = v;
            break;
          case TTok::Minute:
            r.minute = v;
            break;
          case TTok::Second:
            r.second = v;
            break;
          default:
            r.msec = v;
            break;
        }
        break;
      }
    }
  }
  while (pos < S.size() && IsBlank(S[pos])) ++pos;
  return pos == S.size();
}

// A year of one or two digits lies within 50 years behind and 49 years
// ahead of the current year.
std::int32_t ExpandYear(std::int32_t y) {
  const std::int32_t base = CurrentYear() - 50;
  y += base / 100 * 100;
  if (y < base) y += 100;
  return y;
}

bool HasTime(const TParsed& r) {
  return r.hour || r.minute || r.second || r.msec;
}

double TimeOf(const TParsed& r, bool& ok) {
  const std::int32_t h = r.hour.value_or(0), n = r.minute.value_or(0), s = r.second.value_or(0),
                     z = r.msec.value_or(0);
  ok = h <= 23 && n <= 59 && s <= 59 && z <= 999;
  if (!ok) return 0;
  return EncodeTime(h, n, s, z);
}

// The settings a conversion changes, put back when the conversion ends,
// whichever way it ends.
class TDateSettingsGuard {
 public:
  explicit TDateSettingsGuard(std::string_view Format)
      : s_(OdbFormatSettings()), format_(s_.ShortDateFormat), separator_(s_.DateSeparator) {
    s_.ShortDateFormat = std::string(Format);
    if (Format.find('.') != std::string_view::npos) {
      s_.DateSeparator = '.';
    } else if (Format.find('-') != std::string_view::npos) {
      s_.DateSeparator = '-';
    } else {
      s_.DateSeparator = '/';
    }
  }
  ~TDateSettingsGuard() {
    s_.ShortDateFormat = std::move(format_);
    s_.DateSeparator = separator_;
  }
  TDateSettingsGuard(const TDateSettingsGuard&) = delete;
  TDateSettingsGuard& operator=(const TDateSettingsGuard&) = delete;

 private:
  TOdbFormatSettings& s_;
  std::string format_;
  char separator_;
};

class TTimeSettingsGuard {
 public:
  explicit TTimeSettingsGuard(std::string_view Format)
      : s_(OdbFormatSettings()), format_(s_.LongTimeFormat) {
    s_.LongTimeFormat = std::string(Format);
  }
  ~TTimeSettingsGuard() { s_.LongTimeFormat = std::move(format_); }
  TTimeSettingsGuard(const TTimeSettingsGuard&) = delete;
  TTimeSettingsGuard& operator=(const TTimeSettingsGuard&) = delete;

 private:
  TOdbFormatSettings& s_;
  std::string format_;
};

}  // namespace

std::string DateToDateStr(TDateTime Date, std::string_view Format) {
  TDateSettingsGuard guard(Format);
  const TSplit s = Split(Date);
  return FormatDateTime(OdbFormatSettings().ShortDateFormat, static_cast<double>(s.day));
}

TDateTime DateStrToDate(std::string_view S, std::string_view Format) {
  TDateSettingsGuard guard(Format);
  TParsed r;
  const auto invalid = [&] { RaiseConvert("'" + std::string(S) + "' is not a valid date"); };
  if (!ParseWithFormat(S, OdbFormatSettings().ShortDateFormat, r)) invalid();
  std::int32_t y = r.year ? *r.year : CurrentYear();
  if (r.year && r.yearTwoDigits) y = ExpandYear(y);
  const std::int32_t m = r.month.value_or(1), d = r.day.value_or(1);
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) invalid();
  const auto day = static_cast<std::int64_t>(EncodeDate(y, m, d));
  if (!HasTime(r)) return static_cast<double>(day);
  bool ok = false;
  const double time = TimeOf(r, ok);
  if (!ok) invalid();
  return Combine(day, time);
}

std::string TimeToTimeStr(TDateTime Time, std::string_view Format) {
  TTimeSettingsGuard guard(Format);
  const TSplit s = Split(Time);
  return FormatDateTime(OdbFormatSettings().LongTimeFormat,
                        static_cast<double>(s.msec) / kMSecsPerDay);
}

TDateTime TimeStrToTime(std::string_view S, std::string_view Format) {
  TTimeSettingsGuard guard(Format);
  TParsed r;
  bool ok = ParseWithFormat(S, OdbFormatSettings().LongTimeFormat, r);
  const double time = ok ? TimeOf(r, ok) : 0;
  if (!ok) RaiseConvert("'" + std::string(S) + "' is not a valid time");
  return time;
}

std::string DateToSortString(TDateTime Date) {
  return DateToDateStr(Date, "yyyymmdd");
}

std::string TimeToSortString(TDateTime Time) {
  return TimeToTimeStr(Time, "hhnnss");
}

std::string DateTimeToSortString(TDateTime DateTime) {
  return DateToSortString(DateTime) + TimeToSortString(DateTime);
}

}  // namespace corvid
