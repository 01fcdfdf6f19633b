// Conversions between ISO date text and OLE dates, with the civil-calendar
// day count done in integers so that round trips are exact to the
// millisecond. OLE dates before 1899-12-30 keep the time as a positive
// fraction subtracted from the day count (-1.25 is 1899-12-29 06:00).
#include "platform/adodb/provider/date_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tarnel::adodb::provider {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

const std::int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool Digits(int count, int& out) {
    out = 0;
    for (int i = 0; i < count; ++i) {
      if (pos_ >= s_.size() || s_[pos_] < '0' || s_[pos_] > '9') return false;
      out = out * 10 + (s_[pos_++] - '0');
    }
    return true;
  }
  bool Char(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Peek(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  bool AtEnd() const { return pos_ >= s_.size(); }
  // The digits after the decimal point, as a fraction of a second.
  double Fraction() {
    double value = 0, scale = 0.1;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
      value += (s_[pos_++] - '0') * scale;
      scale /= 10;
    }
    return value;
  }
  // A zone suffix: Z, +HH, +HH:MM, -HHMM.
  bool Zone() {
    if (Char('Z')) return AtEnd();
    if (!Char('+') && !Char('-')) return AtEnd();
    int h = 0, m = 0;
    if (!Digits(2, h)) return false;
    if (Char(':')) {
      if (!Digits(2, m)) return false;
    } else if (!AtEnd()) {
      if (!Digits(2, m)) return false;
    }
    return AtEnd();
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

bool ReadTime(Reader& r, double& dayFraction) {
  int h = 0, mi = 0, s = 0;
  if (!r.Digits(2, h) || !r.Char(':') || !r.Digits(2, mi)) return false;
  double frac = 0;
  if (r.Char(':')) {
    if (!r.Digits(2, s)) return false;
    if (r.Char('.')) frac = r.Fraction();
  }
  if (h > 24 || mi > 59 || s > 59 || (h == 24 && (mi || s || frac > 0))) return false;
  const double ms = std::round(((h * 60.0 + mi) * 60.0 + s + frac) * 1000.0);
  dayFraction = ms / 86400000.0;
  return r.Zone();
}

}  // namespace

std::optional<double> OleDateFromIso(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  Reader r(text);
  if (text.size() >= 3 && text[2] == ':') {
    double frac = 0;
    if (!ReadTime(r, frac)) return std::nullopt;
    return frac;
  }
  int y = 0, m = 0, d = 0;
  if (!r.Digits(4, y) || !r.Char('-') || !r.Digits(2, m) || !r.Char('-') || !r.Digits(2, d)) return std::nullopt;
  if (y < 100 || m < 1 || m > 12 || d < 1 || static_cast<unsigned>(d) > DaysInMonth(y, m)) return std::nullopt;
  double frac = 0;
  if (!r.AtEnd()) {
    if (!r.Char(' ') && !r.Char('T')) return std::nullopt;
    if (!ReadTime(r, frac)) return std::nullopt;
  }
  const double days = static_cast<double>(DaysFromCivil(y, m, d) - kOleEpoch);
  return days < 0 ? days - frac : days + frac;
}

std::optional<std::string> IsoFromOleDate(double oleDate, DateTextForm form) {
  if (!std::isfinite(oleDate) || std::fabs(oleDate) > 3000000) return std::nullopt;
  // Split into whole days and milliseconds of the day, negative dates
  // carrying their time as a positive fraction.
  double whole = std::trunc(oleDate);
  double frac = std::fabs(oleDate - whole);
  std::int64_t ms = std::llround(frac * 86400000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    whole += oleDate < 0 ? -1 : 1;
  }
  std::int64_t y = 0;
  unsigned mo = 0, d = 0;
  CivilFromDays(static_cast<std::int64_t>(whole) + kOleEpoch, y, mo, d);
  if (y < 100 || y > 9999) return std::nullopt;
  const int h = static_cast<int>(ms / 3600000), mi = static_cast<int>(ms / 60000 % 60),
            s = static_cast<int>(ms / 1000 % 60), milli = static_cast<int>(ms % 1000);
  char date[32], time[48];
  std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(y), mo, d);
  if (milli) {
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", h, mi, s, milli);
  } else {
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", h, mi, s);
  }
  switch (form) {
    case DateTextForm::Date:
      return std::string(date);
    case DateTextForm::Time:
      return std::string(time);
    case DateTextForm::DateTime:
      break;
  }
  return std::string(date) + " " + time;
}

}  // namespace tarnel::adodb::provider
