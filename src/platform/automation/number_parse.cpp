// Number text to a number, as the conversions from String read it: blanks
// around the text, an optional sign, digits with the locale's decimal
// separator (no grouping separators: "1.000" is no number under de-DE, so
// that a thousands separator is never silently taken for a decimal point),
// an optional exponent, or "&H" hex / "&O" octal. The result is an exact
// integer or decimal when the text fits one, else the nearest Double.
#include <charconv>
#include <string>

#include "platform/automation/convert_detail.h"

namespace tarnel::convert {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x0B || c == 0x0C || c == 0xA0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// "&H..." / "&O...": the bit pattern of an Integer, Long or LongLong by its
// size, as VB reads such literals (&HFFFF is -1, &H10000 is 65536).
HRESULT ParseRadix(UStringView digits, int radix, bool negative, Number& out) {
  if (digits.empty()) return DISP_E_TYPEMISMATCH;
  std::uint64_t v = 0;
  for (char16_t c : digits) {
    int d = HexValue(c);
    if (d < 0 || d >= radix) return DISP_E_TYPEMISMATCH;
    if (v > (~std::uint64_t{0} - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(radix)) {
      return DISP_E_OVERFLOW;
    }
    v = v * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
  }
  std::int64_t value;
  if (v <= 0xFFFF) {
    value = static_cast<std::int16_t>(v);
  } else if (v <= 0xFFFFFFFF) {
    value = static_cast<std::int32_t>(v);
  } else {
    value = static_cast<std::int64_t>(v);
  }
  if (negative) {
    if (value == INT64_MIN) return DISP_E_OVERFLOW;
    value = -value;
  }
  out = Number{};
  out.kind = Number::kInt;
  out.i = value;
  return S_OK;
}

// Drops all but the first `keep` digits, rounding half to even (which may
// add a digit in front: 999 -> 1000); returns how many were dropped.
std::int64_t RoundDigits(std::string& digits, std::size_t keep) {
  if (digits.size() <= keep) return 0;
  auto dropped = static_cast<std::int64_t>(digits.size() - keep);
  char first = digits[keep];
  bool restNonZero = digits.find_first_not_of('0', keep + 1) != std::string::npos;
  digits.resize(keep);
  bool lastOdd = !digits.empty() && (digits.back() - '0') % 2 == 1;
  if (first > '5' || (first == '5' && (restNonZero || lastOdd))) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[i - 1];
    }
  }
  return dropped;
}

// digits * 10^power as an exact decimal, when it is one.
bool DecOfDigits(std::string digits, std::int64_t power, bool negative, Dec& out) {
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++power;
  }
  if (digits.empty()) {
    out = Dec{};
    return true;
  }
  if (digits.size() > 29 || power < -28 || power > 28) return false;
  U128 mag = 0;
  for (char c : digits) mag = mag * 10 + static_cast<unsigned>(c - '0');
  if (mag > kDecMax) return false;
  if (power > 0) {
    U128 scaled = mag * Pow10(static_cast<int>(power));  // may wrap; the division tells
    if (scaled / Pow10(static_cast<int>(power)) != mag || scaled > kDecMax) return false;
    mag = scaled;
  }
  out.mag = mag;
  out.scale = power < 0 ? static_cast<int>(-power) : 0;
  out.neg = negative;
  return true;
}

}  // namespace

UStringView TrimBlanks(UStringView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

HRESULT ParseNumber(UStringView text, char16_t decimalSeparator, Number& out) {
  UStringView t = TrimBlanks(text);
  std::size_t p = 0;
  bool negative = false;
  if (p < t.size() && (t[p] == u'+' || t[p] == u'-')) negative = t[p++] == u'-';
  if (p + 1 < t.size() && t[p] == u'&') {
    char16_t r = t[p + 1];
    if (r == u'H' || r == u'h') return ParseRadix(t.substr(p + 2), 16, negative, out);
    if (r == u'O' || r == u'o') return ParseRadix(t.substr(p + 2), 8, negative, out);
    return DISP_E_TYPEMISMATCH;
  }
  // Significant digits (leading zeros dropped) of the integer and fraction.
  std::string digits;
  std::int64_t fractionDigits = 0;
  bool anyDigit = false;
  for (; p < t.size() && IsDigit(t[p]); ++p) {
    anyDigit = true;
    if (!digits.empty() || t[p] != u'0') digits.push_back(static_cast<char>(t[p]));
  }
  bool hasFraction = false;
  if (p < t.size() && t[p] == decimalSeparator) {
    hasFraction = true;
    for (++p; p < t.size() && IsDigit(t[p]); ++p) {
      anyDigit = true;
      ++fractionDigits;
      if (!digits.empty() || t[p] != u'0') digits.push_back(static_cast<char>(t[p]));
    }
  }
  if (!anyDigit) return DISP_E_TYPEMISMATCH;
  std::int64_t exponent = 0;
  bool hasExponent = false;
  if (p < t.size() && (t[p] == u'e' || t[p] == u'E')) {
    hasExponent = true;
    ++p;
    bool expNegative = false;
    if (p < t.size() && (t[p] == u'+' || t[p] == u'-')) expNegative = t[p++] == u'-';
    if (p >= t.size() || !IsDigit(t[p])) return DISP_E_TYPEMISMATCH;
    for (; p < t.size() && IsDigit(t[p]); ++p) {
      if (exponent < 100000) exponent = exponent * 10 + (t[p] - u'0');  // saturates
    }
    if (expNegative) exponent = -exponent;
  }
  if (p != t.size()) return DISP_E_TYPEMISMATCH;

  out = Number{};
  if (digits.empty()) {  // zero in any spelling
    out.kind = Number::kInt;
    return S_OK;
  }
  // Whole numbers that fit a LongLong stay exact integers.
  if (!hasFraction && !hasExponent && digits.size() <= 19) {
    std::uint64_t v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (v <= limit) {
      out.kind = Number::kInt;
      out.i = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
      return S_OK;
    }
  }
  // value = digits * 10^power
  std::int64_t power = exponent - fractionDigits;
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    ++power;
  }
  if (DecOfDigits(digits, power, negative, out.dec)) {
    out.kind = Number::kDec;
    return S_OK;
  }
  // Too many digits or too small for a decimal: the nearest Double, and
  // the text rounded to 28 decimal places / 29 digits for Decimal targets.
  std::string rounded = digits;
  std::int64_t roundedPower = power;
  if (roundedPower < -28) {
    std::int64_t excess = -28 - roundedPower;
    if (excess > static_cast<std::int64_t>(rounded.size())) {
      rounded.clear();
    } else {
      RoundDigits(rounded, rounded.size() - static_cast<std::size_t>(excess));
    }
    roundedPower = -28;
  }
  roundedPower += RoundDigits(rounded, 29);
  out.realHasDec = DecOfDigits(rounded, roundedPower, negative, out.dec);
  std::string text8 = negative ? "-" : "";
  text8 += digits;
  text8 += 'e';
  text8 += std::to_string(power);
  double d = 0;
  auto res = std::from_chars(text8.data(), text8.data() + text8.size(), d);
  if (res.ec == std::errc::result_out_of_range) {
    if (power > 0) return DISP_E_OVERFLOW;
    d = negative ? -0.0 : 0.0;
  }
  out.kind = Number::kReal;
  out.d = d;
  return S_OK;
}

bool ParseBoolWord(UStringView text, const Locale& locale, bool& value) {
  UStringView t = TrimBlanks(text);
  if (EqualsNoCase(t, u"True") || (!locale.trueWord.empty() && EqualsNoCase(t, locale.trueWord))) {
    value = true;
    return true;
  }
  if (EqualsNoCase(t, u"False") || (!locale.falseWord.empty() && EqualsNoCase(t, locale.falseWord))) {
    value = false;
    return true;
  }
  return false;
}

}  // namespace tarnel::convert
