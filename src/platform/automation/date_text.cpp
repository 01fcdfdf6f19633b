// Dates as text: a Date (days since 1899-12-30, the fraction the time of
// day, read as a positive time also for negative dates) in the locale's
// short date and time pictures, with the platform's rule that a Date with
// no day part shows only the time and one with no time only the date; and
// date text ("3/15/2023 12:00:00 PM", "15.03.2023", "2023-03-15 08:30")
// back to a Date.
#include <cmath>
#include <ctime>

#include "platform/automation/convert_detail.h"

namespace tarnel::convert {

namespace {

// Days since 1899-12-30 of a proleptic Gregorian date, and back.
constexpr std::int64_t kOleEpochFromUnix = 25569;

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  auto yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + kOleEpochFromUnix;
}

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(std::int64_t oleDays) {
  std::int64_t z = oleDays - kOleEpochFromUnix + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  auto doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  unsigned d = doy - (153 * mp + 2) / 5 + 1;
  unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

void AppendNumber(UString& out, std::int64_t v, int minDigits) {
  if (minDigits == 2 && v < 10) out.push_back(u'0');
  AppendSigned(out, v);
}

struct Moment {
  CivilDate date;
  int hour;
  int minute;
  int second;
};

// Formats with a Windows date/time picture: d dd M MM y yy yyyy h hh H HH
// m mm s ss t tt and 'quoted text'; other characters stand for themselves.
void AppendPicture(UString& out, UStringView picture, const Moment& m, const Locale& locale) {
  for (std::size_t i = 0; i < picture.size();) {
    char16_t c = picture[i];
    if (c == u'\'') {
      for (++i; i < picture.size(); ++i) {
        if (picture[i] == u'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
            out.push_back(u'\'');
            ++i;
          } else {
            break;
          }
        } else {
          out.push_back(picture[i]);
        }
      }
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    int width = run >= 2 ? 2 : 1;
    switch (c) {
      case u'd': AppendNumber(out, m.date.day, width); break;
      case u'M': AppendNumber(out, m.date.month, width); break;
      case u'y':
        if (run <= 2) {
          AppendNumber(out, m.date.year % 100, width);
        } else {
          AppendSigned(out, m.date.year);
        }
        break;
      case u'h': AppendNumber(out, m.hour % 12 == 0 ? 12 : m.hour % 12, width); break;
      case u'H': AppendNumber(out, m.hour, width); break;
      case u'm': AppendNumber(out, m.minute, width); break;
      case u's': AppendNumber(out, m.second, width); break;
      case u't': {
        const UString& designator = m.hour < 12 ? locale.amDesignator : locale.pmDesignator;
        if (run == 1) {
          if (!designator.empty()) out.push_back(designator.front());
        } else {
          out += designator;
        }
        break;
      }
      default: out.append(run, c); break;
    }
    i += run;
  }
  // A picture ending in a designator that the locale does not have leaves
  // a trailing blank; drop it.
  while (!out.empty() && out.back() == u' ') out.pop_back();
}

// Order of day, month and year in the short date picture ("dMy" for dd.MM.yyyy).
std::u16string DateOrder(const Locale& locale) {
  std::u16string order;
  for (char16_t c : locale.shortDate) {
    if ((c == u'd' || c == u'M' || c == u'y') && order.find(c) == std::u16string::npos) order.push_back(c);
  }
  return order.size() == 3 ? order : u"Mdy";
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads an unsigned number of at most 5 digits at text[pos].
bool ReadNumber(UStringView text, std::size_t& pos, int& value, int& digits) {
  value = 0;
  digits = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (++digits > 5) return false;
    value = value * 10 + (text[pos++] - u'0');
  }
  return digits > 0;
}

bool ParseDatePart(UStringView text, const Locale& locale, std::int64_t& days) {
  int numbers[3];
  int widths[3];
  int count = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (count == 3 || !ReadNumber(text, pos, numbers[count], widths[count])) return false;
    ++count;
    // one separator (blanks around it allowed), or the end
    bool separator = false;
    while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'/' || text[pos] == u'-' ||
                                 text[pos] == u'.' || text[pos] == u',')) {
      if (text[pos] != u' ') {
        if (separator) return false;
        separator = true;
      }
      ++pos;
    }
  }
  if (count < 2) return false;
  int day = 0, month = 0, year = 0, yearWidth = 4;
  if (widths[0] >= 3) {  // year first: 2023-03-15
    if (count != 3) return false;
    year = numbers[0]; yearWidth = widths[0]; month = numbers[1]; day = numbers[2];
  } else {
    std::u16string order = DateOrder(locale);
    if (count == 2) order.erase(order.find(u'y'), 1);
    for (int k = 0; k < count; ++k) {
      switch (order[static_cast<std::size_t>(k)]) {
        case u'd': day = numbers[k]; break;
        case u'M': month = numbers[k]; break;
        default: year = numbers[k]; yearWidth = widths[k]; break;
      }
    }
    if (count == 2) {
      std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      year = local.tm_year + 1900;
    } else if (yearWidth <= 2) {
      year += year < 30 ? 2000 : 1900;  // two-digit years: 00-29 -> 20xx
    }
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      static_cast<unsigned>(day) > DaysInMonth(year, static_cast<unsigned>(month))) {
    return false;
  }
  days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return true;
}

bool ParseTimePart(UStringView text, const Locale& locale, double& fraction) {
  std::size_t pos = 0;
  int parts[3] = {0, 0, 0};
  int count = 0;
  for (;;) {
    int digits = 0;
    if (count == 3 || !ReadNumber(text, pos, parts[count], digits)) return false;
    ++count;
    if (pos < text.size() && text[pos] == u':') {
      ++pos;
      continue;
    }
    break;
  }
  if (count < 2) return false;
  UStringView rest = TrimBlanks(text.substr(pos));
  int hour = parts[0];
  if (!rest.empty()) {
    bool am = EqualsNoCase(rest, u"AM") || (!locale.amDesignator.empty() && EqualsNoCase(rest, locale.amDesignator));
    bool pm = EqualsNoCase(rest, u"PM") || (!locale.pmDesignator.empty() && EqualsNoCase(rest, locale.pmDesignator));
    if (!am && !pm) return false;
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
  fraction = (hour * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
  return true;
}

}  // namespace

bool DateInRange(double d) { return d > -657435.0 && d < 2958466.0; }

HRESULT AppendDate(UString& out, double date, const Locale& locale) {
  if (!std::isfinite(date) || !DateInRange(date)) return E_INVALIDARG;
  double whole = std::trunc(date);
  double fraction = std::fabs(date - whole);
  auto days = static_cast<std::int64_t>(whole);
  bool timeOnly = days == 0;
  bool dateOnly = !timeOnly && fraction < 1e-12;
  auto seconds = static_cast<int>(std::llround(fraction * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  if (days > 2958465) return E_INVALIDARG;
  Moment m{CivilFromDays(days), seconds / 3600, seconds / 60 % 60, seconds % 60};
  if (!timeOnly) AppendPicture(out, locale.shortDate, m, locale);
  if (!timeOnly && !dateOnly) out.push_back(u' ');
  if (!dateOnly) AppendPicture(out, locale.timeFormat, m, locale);
  return S_OK;
}

bool ParseDate(UStringView text, const Locale& locale, double& out) {
  UStringView t = TrimBlanks(text);
  if (t.empty()) return false;
  // The time part starts at the number before the first colon.
  std::size_t colon = t.find(u':');
  std::size_t timeStart = t.size();
  if (colon != UStringView::npos) {
    timeStart = colon;
    while (timeStart > 0 && IsDigit(t[timeStart - 1])) --timeStart;
  }
  UStringView datePart = TrimBlanks(t.substr(0, timeStart));
  UStringView timePart = t.substr(timeStart);
  std::int64_t days = 0;
  double fraction = 0;
  if (!datePart.empty() && !ParseDatePart(datePart, locale, days)) return false;
  if (!timePart.empty() && !ParseTimePart(timePart, locale, fraction)) return false;
  out = days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
  return true;
}

}  // namespace tarnel::convert
