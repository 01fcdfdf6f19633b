// The text of numbers as the platform's number-to-string conversions give
// it: integers in plain digits; Double and Single with 15 (7) significant
// digits in fixed notation while that needs at most 15 (7) decimals, else
// "d.dddE+XX"; Currency and Decimal exact, trailing fractional zeros
// dropped. Never grouped; only the decimal separator follows the locale.
// Locale-independent primitives (to_chars) only, since this is a hot path.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/automation/convert_detail.h"

namespace tarnel::convert {

namespace {

// Widens each ASCII byte in place (appending a range of another character
// type would build a temporary string first).
void AppendAscii(UString& out, const char* first, const char* last) {
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(last - first));
  char16_t* to = out.data() + at;
  while (first != last) *to++ = static_cast<unsigned char>(*first++);
}

}  // namespace

void AppendSigned(UString& out, std::int64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  AppendAscii(out, buf, res.ptr);
}

void AppendUnsigned(UString& out, std::uint64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  AppendAscii(out, buf, res.ptr);
}

// A value that is the double nearest to a decimal with at most four
// decimals and at most significantDigits digits (prices, readings, counts):
// that decimal is its shortest form and also its rounding to the requested
// digits, so it is written directly. False for any other value.
bool AppendShortDecimal(UString& out, double v, int significantDigits, char16_t decimalSeparator) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000};
  static constexpr int kMaxDecimals = 4;
  const double magnitude = std::fabs(v);
  if (!(magnitude >= 1e-4 && magnitude < 1e15)) return false;
  for (int decimals = 0; decimals <= kMaxDecimals; ++decimals) {
    const double product = magnitude * kScale[decimals];
    if (product >= 1e15) return false;
    // Rounded to the nearest whole number; below 2^50 adding a half is exact.
    const double scaled = static_cast<double>(static_cast<std::uint64_t>(product + 0.5));
    // Both operands are exact, so the quotient is the correctly rounded
    // value of the decimal: what reading that decimal back gives.
    if (scaled / kScale[decimals] != magnitude) continue;
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(scaled));
    const int count = static_cast<int>(res.ptr - digits);
    if (count > significantDigits) return false;
    // Composed here, then appended at once: "-", the whole digits (or "0"),
    // the separator, leading zeros of the fraction, its digits.
    char16_t text[48];
    char16_t* to = text;
    if (v < 0) *to++ = u'-';
    const int whole = count - decimals;
    if (whole <= 0) *to++ = u'0';
    for (int k = 0; k < whole; ++k) *to++ = static_cast<char16_t>(digits[k]);
    if (decimals > 0) {
      *to++ = decimalSeparator;
      for (int k = whole; k < 0; ++k) *to++ = u'0';
      for (int k = whole < 0 ? 0 : whole; k < count; ++k) *to++ = static_cast<char16_t>(digits[k]);
    }
    out.append(text, static_cast<std::size_t>(to - text));
    return true;
  }
  return false;
}

// NaN and the infinities, which no script arithmetic produces but a data
// source may hold, print as "NaN", "Infinity" and "-Infinity".
void AppendReal(UString& out, double v, int significantDigits, char16_t decimalSeparator) {
  if (AppendShortDecimal(out, v, significantDigits, decimalSeparator)) return;
  if (std::isnan(v)) {
    out += u"NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v < 0 ? u"-Infinity" : u"Infinity";
    return;
  }
  // Scientific form with the requested significant digits, rounded on the
  // exact binary value: "-d.dddde-XX". The shortest form that reads back as
  // the same double is much cheaper to find; when it has no more digits than
  // requested it is exactly that rounding (the double lies far closer to it
  // than to any rounding boundary of the requested precision), so it serves.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  if (const char* e = std::find(buf, res.ptr, 'e');
      e - buf - (buf[0] == '-') - (e - buf - (buf[0] == '-') > 1) > significantDigits) {
    res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, significantDigits - 1);
  }
  const char* p = buf;
  bool negative = *p == '-';
  if (negative) ++p;
  char digits[32];
  int count = 0;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exponent);
  while (count > 1 && digits[count - 1] == '0') --count;
  if (count == 1 && digits[0] == '0') {
    out.push_back(u'0');  // zero, including negative zero
    return;
  }
  if (negative) out.push_back(u'-');
  int decimalsAfterPoint = count - 1;
  bool fixed;
  if (exponent >= 0) {
    fixed = exponent < significantDigits;
  } else if (exponent >= -4) {
    fixed = true;
  } else {
    int x = -exponent;
    fixed = (decimalsAfterPoint == 0 ? x : x + decimalsAfterPoint - 1) < significantDigits;
  }
  if (fixed) {
    if (exponent >= 0) {
      for (int k = 0; k <= exponent; ++k) out.push_back(k < count ? char16_t(digits[k]) : u'0');
      if (count > exponent + 1) {
        out.push_back(decimalSeparator);
        AppendAscii(out, digits + exponent + 1, digits + count);
      }
    } else {
      out.push_back(u'0');
      out.push_back(decimalSeparator);
      out.append(static_cast<std::size_t>(-exponent - 1), u'0');
      AppendAscii(out, digits, digits + count);
    }
    return;
  }
  out.push_back(char16_t(digits[0]));
  if (count > 1) {
    out.push_back(decimalSeparator);
    AppendAscii(out, digits + 1, digits + count);
  }
  out.push_back(u'E');
  out.push_back(exponent < 0 ? u'-' : u'+');
  int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) out.push_back(u'0');
  AppendSigned(out, magnitude);
}

void AppendDec(UString& out, const Dec& d, char16_t decimalSeparator) {
  char digits[40];
  int count = 0;
  for (U128 m = d.mag; m != 0; m /= 10) digits[count++] = static_cast<char>('0' + static_cast<int>(m % 10));
  if (count == 0) {
    out.push_back(u'0');
    return;
  }
  // digits[] holds the digits least significant first.
  int scale = d.scale;
  int firstKept = 0;  // drop trailing fractional zeros
  while (firstKept < scale && firstKept < count && digits[firstKept] == '0') ++firstKept;
  int fractionDigits = scale - firstKept;
  if (d.neg) out.push_back(u'-');
  if (count <= scale) {
    out.push_back(u'0');
  } else {
    for (int k = count - 1; k >= scale; --k) out.push_back(char16_t(digits[k]));
  }
  if (fractionDigits > 0) {
    out.push_back(decimalSeparator);
    for (int k = scale - 1; k >= firstKept; --k) out.push_back(k < count ? char16_t(digits[k]) : u'0');
  }
}

}  // namespace tarnel::convert
