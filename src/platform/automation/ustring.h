// UTF-16 strings, the automation layer's string type (the stand-in for BSTR),
// and the conversions at the edges: UTF-8 for Lua, drivers, files and the
// terminal. Invalid UTF-8 becomes U+FFFD; unpaired surrogates become U+FFFD
// in UTF-8. Pure functions; safe on any thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel {

using UString = std::u16string;
using UStringView = std::u16string_view;

UString FromUtf8(std::string_view utf8);
std::string ToUtf8(UStringView text);

// Case-insensitive comparison for names (member names, keys, registry
// names): simple Unicode case folding of each UTF-16 unit (Latin-1,
// Latin Extended, Greek, Cyrillic), locale-independent.
char16_t FoldCase(char16_t c);
bool EqualsNoCase(UStringView a, UStringView b);
UString FoldedCopy(UStringView s);

// Decimal text of an integer, "-" for negatives, no grouping.
UString DecimalText(std::int64_t n);

}  // namespace tarnel
