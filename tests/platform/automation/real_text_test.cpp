// The text of doubles and singles against an independent reference: for
// random values the text must denote exactly the value rounded to 15 (7)
// significant digits, whichever way the digits were found.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

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

}  // namespace
}  // namespace tarnel
