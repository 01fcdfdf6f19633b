// Conversion of debugger output from UTF-16 to the ANSI code page: the
// built-in CP1252 table, '?' for what a code page lacks, surrogates, and
// other code pages through iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <bit>
#include <system_error>

#include "platform/debugout/ansi_text.h"

namespace tarnel {
namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(AnsiText, Cp1252KeepsAsciiAndLatin1) {
  EXPECT_EQ(ToAnsi(u"Hello, World! 0123 ~", "CP1252"), "Hello, World! 0123 ~");
  EXPECT_EQ(ToAnsi(u"äöüß ÄÖÜ é ÿ", "CP1252"),
            Bytes({0xE4, 0xF6, 0xFC, 0xDF, ' ', 0xC4, 0xD6, 0xDC, ' ', 0xE9, ' ', 0xFF}));
  EXPECT_EQ(ToAnsi(u"", "CP1252"), "");
  EXPECT_EQ(ToAnsi(u"€ä", "windows-1252"), Bytes({0x80, 0xE4}));
  EXPECT_EQ(ToAnsi(UStringView(u"a\0b", 3), "CP1252"), std::string("a\0b", 3));
}

TEST(AnsiText, Cp1252TypographicCharacters) {
  EXPECT_EQ(ToAnsi(u"€‚„…‘’“”–—™ŒœŠšŽžŸƒ", "CP1252"),
            Bytes({0x80, 0x82, 0x84, 0x85, 0x91, 0x92, 0x93, 0x94, 0x96, 0x97, 0x99, 0x8C, 0x9C, 0x8A, 0x9A,
                   0x8E, 0x9E, 0x9F, 0x83}));
  // The five undefined bytes round-trip; the other C1 controls have no byte.
  EXPECT_EQ(ToAnsi(u"\u0081\u008D\u008F\u0090\u009D", "CP1252"), Bytes({0x81, 0x8D, 0x8F, 0x90, 0x9D}));
  EXPECT_EQ(ToAnsi(u"\u0080\u009F", "CP1252"), "??");
}

TEST(AnsiText, MissingCharactersAndSurrogatesBecomeQuestionMarks) {
  EXPECT_EQ(ToAnsi(u"x\u0416y", "CP1252"), "x?y");     // Cyrillic Zhe
  EXPECT_EQ(ToAnsi(u"\u0100\u221E", "CP1252"), "??");  // exact mapping: no best-fit look-alikes
  EXPECT_EQ(ToAnsi(u"a\U0001F600b", "CP1252"), "a?b");  // a surrogate pair is one character
  EXPECT_EQ(ToAnsi(u"a\xD83D" u"b", "CP1252"), "a?b");  // unpaired high surrogate
  EXPECT_EQ(ToAnsi(u"a\xDE00" u"b", "CP1252"), "a?b");  // unpaired low surrogate
  EXPECT_EQ(ToAnsi(u"a\xD83D", "CP1252"), "a?");        // high surrogate at the end
  EXPECT_EQ(ToAnsi(u"\xDE00\xD83D", "CP1252"), "??");   // reversed pair: two strays
}

TEST(AnsiText, Cp1252TableAgreesWithIconv) {
  iconv_t cd = iconv_open("CP1252", std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "the C library has no CP1252 converter";
  int compared = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) continue;
    char16_t unit = static_cast<char16_t>(c);
    char* in = reinterpret_cast<char*>(&unit);
    std::size_t inLeft = sizeof unit;
    char out[8];
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    const bool converted = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    const std::string expected = converted ? std::string(out, static_cast<std::size_t>(outPtr - out)) : "?";
    ASSERT_EQ(ToAnsi(UStringView(&unit, 1), "CP1252"), expected) << "U+" << std::hex << static_cast<unsigned>(c);
    ++compared;
  }
  iconv_close(cd);
  EXPECT_EQ(compared, 0x10000 - 0x800 - 5);
}

TEST(AnsiText, OtherCodePagesGoThroughIconv) {
  EXPECT_EQ(ToAnsi(u"Жa€", "CP1251"), Bytes({0xC6, 'a', 0x88}));
  EXPECT_EQ(ToAnsi(u"Жä\U0001F600", "1251"), Bytes({0xC6, '?', '?'}));
  EXPECT_EQ(ToAnsi(u"Łł", "CP1250"), Bytes({0xA3, 0xB3}));
  // A code page that has the character gets it whole, pair or not.
  EXPECT_EQ(ToAnsi(u"\U0001F600\xD83D", "UTF-8"), "\xF0\x9F\x98\x80?");
}

TEST(AnsiText, UnknownCodePageIsAnError) {
  for (const char* name : {"NO-SUCH-CHARSET", ""}) {
    try {
      ToAnsi(u"x", name);
      ADD_FAILURE() << "no error for '" << name << "'";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code().value(), EINVAL);
      EXPECT_NE(std::string(e.what()).size(), 0u);
    }
  }
}

}  // namespace
}  // namespace tarnel
