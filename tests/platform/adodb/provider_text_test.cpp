// The engine-independent text helpers: numbering `?` placeholders outside
// literals, identifiers, dollar bodies and comments, and dates between ISO
// text and OLE dates.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/adodb/provider/date_text.h"
#include "platform/adodb/provider/sql_text.h"

namespace tarnel::adodb::provider {
namespace {

TEST(Placeholders, OnlyBareQuestionMarksAreNumbered) {
  const NumberedPlaceholders p =
      NumberPlaceholders("SELECT ?, '?''?', \"a?\", E'\\'?', $$ ? $$, $t$ ? $t$, $1, x?y -- ?\n/* ? /* ? */ ? */ ?");
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p.text, "SELECT $1, '?''?', \"a?\", E'\\'?', $$ ? $$, $t$ ? $t$, $1, x$2y -- ?\n/* ? /* ? */ ? */ $3");
  EXPECT_EQ(NumberPlaceholders("SELECT 'open ?").count, 0);  // the engine reports the open literal
  EXPECT_EQ(NumberPlaceholders("").count, 0);
  // A backslash ends nothing in a standard literal.
  EXPECT_EQ(NumberPlaceholders("SELECT 'a\\', ?").count, 1);
}

TEST(Placeholders, FirstKeywordSkipsBlanksAndComments) {
  EXPECT_TRUE(StartsWithKeyword("  -- note\n /* x */ call p()", "CALL"));
  EXPECT_FALSE(StartsWithKeyword("CALLER()", "CALL"));
  EXPECT_FALSE(StartsWithKeyword("", "CALL"));
}

TEST(DateText, IsoTextAndOleDatesConvertBothWays) {
  EXPECT_EQ(*OleDateFromIso("1899-12-30"), 0.0);
  EXPECT_EQ(*OleDateFromIso("1900-01-01 12:00"), 2.5);
  EXPECT_EQ(*OleDateFromIso("2000-02-29T06:00:00Z"), 36585.25);
  EXPECT_EQ(*OleDateFromIso("1899-12-29 06:00:00"), -1.25);  // negative dates keep a positive time
  EXPECT_EQ(*OleDateFromIso("12:00:00"), 0.5);
  EXPECT_NEAR(*OleDateFromIso("2024-02-29 23:59:59.5+02:00"), 45351 + 86399.5 / 86400, 1e-9);
  for (const char* bad : {"", "2023-02-29", "2024-13-01", "24:30:00", "2024-01-01 10:61", "infinity",
                          "0099-01-01", "2024-01-01x", "2024-01-01 10:00 junk"}) {
    EXPECT_FALSE(OleDateFromIso(bad)) << bad;
  }
  for (const char* iso : {"2024-03-01 12:30:15.250", "1899-12-29 06:00:00", "0100-01-01 00:00:00",
                          "9999-12-31 23:59:59.999", "1969-07-20 20:17:40"}) {
    EXPECT_EQ(*IsoFromOleDate(*OleDateFromIso(iso)), iso);
  }
  EXPECT_EQ(*IsoFromOleDate(36585.25, DateTextForm::Date), "2000-02-29");
  EXPECT_EQ(*IsoFromOleDate(36585.25, DateTextForm::Time), "06:00:00");
  EXPECT_FALSE(IsoFromOleDate(NAN));
  EXPECT_FALSE(IsoFromOleDate(1e9));
}

}  // namespace
}  // namespace tarnel::adodb::provider
