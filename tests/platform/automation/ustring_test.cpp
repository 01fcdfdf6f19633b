// UTF-8 <-> UTF-16 at the edges (ill-formed input as U+FFFD per maximal
// subpart, unpaired surrogates), case folding for names, decimal text.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/automation/ustring.h"

namespace tarnel {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9D\x84\x9E!";  // Grüße € 𝄞!
  UString wide = FromUtf8(text);
  EXPECT_EQ(wide, u"Grüße € \U0001D11E!");
  EXPECT_EQ(wide.size(), 11u);  // the clef is a surrogate pair
  EXPECT_EQ(ToUtf8(wide), text);
  EXPECT_EQ(FromUtf8(std::string("a\0b", 3)), UString(u"a\0b", 3));
}

TEST(Utf8, IllFormedSequencesBecomeReplacementCharacters) {
  struct Case {
    std::string bytes;
    UString expected;
  };
  const Case cases[] = {
      {"\xC3", u"\uFFFD"},                          // truncated two-byte
      {"\xE2\x82", u"\uFFFD"},                      // truncated three-byte: one subpart
      {"\xE2\x82x", u"\uFFFDx"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                // overlong
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},      // overlong three-byte
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},      // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xFF", u"\uFFFD"},
      {"a\x80" "b", u"a\uFFFDb"},
      {"\xF0\x9F\x98" "a", u"\uFFFDa"},
  };
  for (const Case& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.expected) << c.bytes.size();
}

TEST(Utf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(ToUtf8(UString(u"\xD800x", 2)), "\xEF\xBF\xBDx");
  EXPECT_EQ(ToUtf8(UString(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(UString({char16_t(0xDBFF), char16_t(0xD800)})), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(FoldCase, SimpleFoldingOfTheCommonScripts) {
  struct Case {
    char16_t upper;
    char16_t folded;
  };
  const Case cases[] = {
      {u'A', u'a'},       {u'Z', u'z'},       {0x00C4, 0x00E4}, {0x00DE, 0x00FE}, {0x0100, 0x0101},
      {0x0141, 0x0142},   {0x0178, 0x00FF},   {0x017D, 0x017E}, {0x01C4, 0x01C6}, {0x01C5, 0x01C6},
      {0x0186, 0x0254},   {0x0391, 0x03B1},   {0x03A3, 0x03C3}, {0x03C2, 0x03C3}, {0x03A9, 0x03C9},
      {0x0386, 0x03AC},   {0x0388, 0x03AD},   {0x038F, 0x03CE}, {0x0401, 0x0451}, {0x0414, 0x0434},
      {0x042F, 0x044F},   {0x0460, 0x0461},   {0x04C1, 0x04C2}, {0x04D0, 0x04D1}, {0x00B5, 0x03BC},
      {0x1E9C, 0x1E9C},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FoldCase(c.upper), c.folded) << std::hex << int(c.upper);
    EXPECT_EQ(FoldCase(c.folded), c.folded) << std::hex << int(c.folded);
  }
  // Characters without a simple folding stay.
  for (char16_t c : {char16_t(0x00D7), char16_t(0x00DF), char16_t(0x0130), char16_t(0x0131), char16_t(u'1')}) {
    EXPECT_EQ(FoldCase(c), c) << std::hex << int(c);
  }
}

TEST(FoldCase, NameComparison) {
  EXPECT_TRUE(EqualsNoCase(u"Recordset", u"RECORDSET"));
  EXPECT_TRUE(EqualsNoCase(u"Größe", u"GRÖßE"));
  EXPECT_TRUE(EqualsNoCase(u"\u00B5", u"\u039C"));  // micro sign and capital mu
  EXPECT_FALSE(EqualsNoCase(u"a", u"a "));
  EXPECT_FALSE(EqualsNoCase(u"Key1", u"Key2"));
  EXPECT_EQ(FoldedCopy(u"ÄbÇ ΣΑΣ"), u"äbç σασ");
}

TEST(DecimalText, FullRange) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(-42), u"-42");
  EXPECT_EQ(DecimalText(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(DecimalText(INT64_MAX), u"9223372036854775807");
}

}  // namespace
}  // namespace tarnel
