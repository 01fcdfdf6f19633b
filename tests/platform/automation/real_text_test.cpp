// The text of doubles and singles against an independent reference: for
// random values the text must denote exactly the value rounded to 15 (7)
// significant digits, whichever way the digits were found.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <charconv>
#include <random>
#include <string>

#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

double Reference(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
  return std::strtod(buf, nullptr);
}

double Parsed(const UString& text) { return std::strtod(ToUtf8(text).c_str(), nullptr); }

TEST(RealText, DenotesTheValueRoundedToItsSignificantDigits) {
  const Locale& enUs = Locale::Named("en-US");
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    double v;
    if (i % 2) {
      std::uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) continue;
    } else {
      // Short decimals, as prices and readings are, at every magnitude.
      v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) /
          std::pow(10.0, static_cast<double>(rng() % 12));
    }
    ASSERT_EQ(Parsed(TextOf(Variant(v), enUs)), Reference(v, 15)) << v;
    float f = static_cast<float>(v);
    if (std::isfinite(f)) {
      ASSERT_EQ(Parsed(TextOf(Variant::R4(f), enUs)), Reference(f, 7)) << f;
    }
  }
}

// Decimals with few digits, the usual content of a numeric column, are
// written exactly as their shortest fixed form: no trailing zeros, no
// exponent, the locale's separator.
TEST(RealText, ShortDecimalsAreWrittenInTheirShortestFixedForm) {
  const Locale& enUs = Locale::Named("en-US");
  const Locale& deDe = Locale::Named("de-DE");
  std::mt19937_64 rng(11);
  for (int i = 0; i < 200000; ++i) {
    const auto n = static_cast<std::int64_t>(rng() % 1000000000000000ULL) >> (rng() % 50);
    const double v = static_cast<double>(i % 3 ? n : -n) / std::pow(10.0, static_cast<double>(rng() % 7));
    if (std::fabs(v) < 1e-4 || std::fabs(v) >= 1e15) continue;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    std::string expected(buf, res.ptr);
    std::string significant;
    for (char c : expected) {
      if (c >= '0' && c <= '9' && !(c == '0' && significant.empty())) significant += c;
    }
    if (significant.size() > 15) continue;  // rounded to 15 digits instead
    ASSERT_EQ(ToUtf8(TextOf(Variant(v), enUs)), expected) << v;
    std::string german = expected;
    if (auto dot = german.find('.'); dot != std::string::npos) german[dot] = ',';
    ASSERT_EQ(ToUtf8(TextOf(Variant(v), deDe)), german) << v;
  }
  EXPECT_EQ(ToUtf8(TextOf(Variant(1.5), enUs)), "1.5");
  EXPECT_EQ(ToUtf8(TextOf(Variant(-0.0005), enUs)), "-0.0005");
  EXPECT_EQ(ToUtf8(TextOf(Variant(100000.25), deDe)), "100000,25");
  EXPECT_EQ(ToUtf8(TextOf(Variant(123456789012345.0), enUs)), "123456789012345");
}

}  // namespace
}  // namespace tarnel
