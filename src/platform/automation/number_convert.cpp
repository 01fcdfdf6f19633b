// Conversions between the numeric types through the exact Number form:
// range checks (overflow), rounding half to even wherever a fraction is
// dropped (as VB's CInt/CLng do), Currency as an integer of ten-thousandths
// and Decimal as a 96-bit magnitude with a scale.
#include <charconv>
#include <cmath>

#include "platform/automation/convert_detail.h"

namespace tarnel::convert {

namespace {

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

// Rounds to an integer, ties to even, independent of the FPU rounding mode.
double RoundHalfEven(double d) {
  double floor = std::floor(d);
  double diff = d - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// Divides by 10^places, rounding the dropped digits half to even.
U128 DivideRounded(U128 mag, int places) {
  if (places <= 0) return mag;
  if (places > 38) return 0;
  U128 divisor = Pow10(places);
  U128 q = mag / divisor;
  U128 r = mag % divisor;
  U128 half = divisor / 2;
  if (r > half || (r == half && (q & 1) != 0)) ++q;
  return q;
}

U128 Magnitude(std::int64_t v) { return v < 0 ? U128(0) - U128(v) : U128(v); }

Dec DecOfSigned(std::int64_t v) { return Dec{Magnitude(v), 0, v < 0}; }

// The 15 (7) significant digits of a real as an exact decimal, as the
// platform converts Double (Single) to Decimal.
HRESULT DecOfReal(double v, int digits, Dec& out) {
  constexpr double kTwo96 = 79228162514264337593543950336.0;
  if (!std::isfinite(v) || std::fabs(v) >= kTwo96) return DISP_E_OVERFLOW;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
  const char* p = buf;
  bool negative = *p == '-';
  if (negative) ++p;
  U128 mag = 0;
  int count = 0;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p == '.') continue;
    mag = mag * 10 + static_cast<unsigned>(*p - '0');
    ++count;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exponent);
  int power = exponent - (count - 1);
  while (mag != 0 && mag % 10 == 0) {
    mag /= 10;
    ++power;
  }
  out = Dec{};
  out.neg = negative && mag != 0;
  if (mag == 0) return S_OK;
  if (power >= 0) {
    if (power > 28) return DISP_E_OVERFLOW;
    U128 scaled = mag * Pow10(power);
    if (scaled > kDecMax) return DISP_E_OVERFLOW;
    out.mag = scaled;
    return S_OK;
  }
  int scale = -power;
  if (scale > 28) {
    mag = DivideRounded(mag, scale - 28);
    scale = 28;
  }
  out.mag = mag;
  out.scale = scale;
  out.neg = negative && mag != 0;
  return S_OK;
}

double RealOfDec(const Dec& d) {
  char buf[64];
  char* p = buf;
  if (d.neg) *p++ = '-';
  char digits[40];
  int count = 0;
  for (U128 m = d.mag; m != 0; m /= 10) digits[count++] = static_cast<char>('0' + static_cast<int>(m % 10));
  if (count == 0) return 0.0;
  while (count > 0) *p++ = digits[--count];
  *p++ = 'e';
  auto res = std::to_chars(p, buf + sizeof buf, -d.scale);
  double v = 0;
  std::from_chars(buf, res.ptr, v);
  return v;
}

}  // namespace

U128 Pow10(int n) {
  U128 v = 1;
  for (int k = 0; k < n; ++k) v *= 10;
  return v;
}

Dec DecOfCurrency(std::int64_t cy) { return Dec{Magnitude(cy), 4, cy < 0}; }

bool DecFromDecimal(const Decimal& d, Dec& out) {
  if (d.scale > 28 || (d.sign & 0x7F) != 0) return false;
  out.mag = (U128(d.hi32) << 64) | d.lo64;
  out.scale = d.scale;
  out.neg = (d.sign & 0x80) != 0;
  return true;
}

Decimal DecimalFromDec(const Dec& d) {
  Decimal r;
  r.scale = static_cast<std::uint8_t>(d.scale);
  r.sign = d.neg && d.mag != 0 ? 0x80 : 0;
  r.hi32 = static_cast<std::uint32_t>(d.mag >> 64);
  r.lo64 = static_cast<std::uint64_t>(d.mag);
  return r;
}

HRESULT NumberOf(const Scalar& s, const Locale& locale, Number& n) {
  n = Number{};
  if (s.array) return DISP_E_TYPEMISMATCH;
  switch (s.type) {
    case VT_EMPTY:
      return S_OK;
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT: case VT_BOOL:
      n.i = s.i;
      return S_OK;
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
      n.kind = Number::kUInt;
      n.u = s.u;
      return S_OK;
    case VT_R4:
      n.kind = Number::kReal;
      n.d = s.d;
      n.digits = 7;
      return S_OK;
    case VT_R8: case VT_DATE:
      n.kind = Number::kReal;
      n.d = s.d;
      return S_OK;
    case VT_CY:
      n.kind = Number::kDec;
      n.dec = DecOfCurrency(s.i);
      return S_OK;
    case VT_DECIMAL:
      n.kind = Number::kDec;
      return DecFromDecimal(s.dec, n.dec) ? S_OK : E_INVALIDARG;
    case VT_BSTR:
      return ParseNumber(*s.str, locale.decimalSeparator, n);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToSigned(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
  std::int64_t v = 0;
  switch (n.kind) {
    case Number::kInt:
      v = n.i;
      break;
    case Number::kUInt:
      if (n.u > static_cast<std::uint64_t>(hi)) return DISP_E_OVERFLOW;
      v = static_cast<std::int64_t>(n.u);
      break;
    case Number::kReal: {
      if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
      double r = RoundHalfEven(n.d);
      if (r < -kTwo63 || r >= kTwo63) return DISP_E_OVERFLOW;
      v = static_cast<std::int64_t>(r);
      break;
    }
    case Number::kDec: {
      U128 mag = DivideRounded(n.dec.mag, n.dec.scale);
      U128 limit = n.dec.neg ? Magnitude(lo) : U128(static_cast<std::uint64_t>(hi));
      if (mag > limit) return DISP_E_OVERFLOW;
      v = n.dec.neg ? static_cast<std::int64_t>(U128(0) - mag) : static_cast<std::int64_t>(mag);
      break;
    }
  }
  if (v < lo || v > hi) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

HRESULT ToUnsigned(const Number& n, std::uint64_t hi, std::uint64_t& out) {
  std::uint64_t v = 0;
  switch (n.kind) {
    case Number::kInt:
      if (n.i < 0) return DISP_E_OVERFLOW;
      v = static_cast<std::uint64_t>(n.i);
      break;
    case Number::kUInt:
      v = n.u;
      break;
    case Number::kReal: {
      if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
      double r = RoundHalfEven(n.d);
      if (r < 0 || r >= kTwo64) return DISP_E_OVERFLOW;
      v = static_cast<std::uint64_t>(r);
      break;
    }
    case Number::kDec: {
      U128 mag = DivideRounded(n.dec.mag, n.dec.scale);
      if (n.dec.neg && mag != 0) return DISP_E_OVERFLOW;
      if (mag > U128(hi)) return DISP_E_OVERFLOW;
      v = static_cast<std::uint64_t>(mag);
      break;
    }
  }
  if (v > hi) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

double ToReal(const Number& n) {
  switch (n.kind) {
    case Number::kInt: return static_cast<double>(n.i);
    case Number::kUInt: return static_cast<double>(n.u);
    case Number::kReal: return n.d;
    case Number::kDec: return RealOfDec(n.dec);
  }
  return 0;
}

HRESULT ToCurrency(const Number& n, std::int64_t& out) {
  constexpr std::int64_t kUnit = 10000;
  switch (n.kind) {
    case Number::kInt:
      if (n.i > INT64_MAX / kUnit || n.i < INT64_MIN / kUnit) return DISP_E_OVERFLOW;
      out = n.i * kUnit;
      return S_OK;
    case Number::kUInt:
      if (n.u > static_cast<std::uint64_t>(INT64_MAX / kUnit)) return DISP_E_OVERFLOW;
      out = static_cast<std::int64_t>(n.u) * kUnit;
      return S_OK;
    case Number::kReal: {
      if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
      double r = RoundHalfEven(n.d * kUnit);
      if (r < -kTwo63 || r >= kTwo63) return DISP_E_OVERFLOW;
      out = static_cast<std::int64_t>(r);
      return S_OK;
    }
    case Number::kDec: {
      Number scaled = n;
      if (n.dec.scale > 4) {
        scaled.dec.mag = DivideRounded(n.dec.mag, n.dec.scale - 4);
      } else {
        scaled.dec.mag = n.dec.mag * Pow10(4 - n.dec.scale);  // below 2^110
      }
      scaled.dec.scale = 0;
      return ToSigned(scaled, INT64_MIN, INT64_MAX, out);
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT ToDec(const Number& n, Dec& out) {
  switch (n.kind) {
    case Number::kInt:
      out = DecOfSigned(n.i);
      return S_OK;
    case Number::kUInt:
      out = Dec{U128(n.u), 0, false};
      return S_OK;
    case Number::kReal:
      if (n.realHasDec) {
        out = n.dec;
        return S_OK;
      }
      return DecOfReal(n.d, n.digits, out);
    case Number::kDec:
      out = n.dec;
      return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

bool IsZero(const Number& n) {
  switch (n.kind) {
    case Number::kInt: return n.i == 0;
    case Number::kUInt: return n.u == 0;
    case Number::kReal: return n.d == 0;
    case Number::kDec: return n.dec.mag == 0;
  }
  return true;
}

}  // namespace tarnel::convert
