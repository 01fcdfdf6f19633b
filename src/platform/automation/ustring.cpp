// UTF-16 strings at the edges of the automation layer: conversion to and from
// UTF-8 (ill-formed input becomes U+FFFD, one per maximal ill-formed
// subpart, as the Unicode standard recommends), the simple case folding used
// for names, and decimal text of integers.
#include "platform/automation/ustring.h"

#include <charconv>

namespace tarnel {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(UString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Irregular simple case foldings (upper case -> folded) outside the ranges
// that FoldCase handles by rule. Sorted by the first member.
struct FoldPair {
  char16_t from;
  char16_t to;
};
constexpr FoldPair kIrregularFolds[] = {
    {0x00B5, 0x03BC}, {0x0178, 0x00FF}, {0x017F, 0x0073}, {0x0181, 0x0253}, {0x0186, 0x0254},
    {0x0189, 0x0256}, {0x018A, 0x0257}, {0x018E, 0x01DD}, {0x018F, 0x0259}, {0x0190, 0x025B},
    {0x0193, 0x0260}, {0x0194, 0x0263}, {0x0196, 0x0269}, {0x0197, 0x0268}, {0x019C, 0x026F},
    {0x019D, 0x0272}, {0x019F, 0x0275}, {0x01A9, 0x0283}, {0x01AE, 0x0288}, {0x01B1, 0x028A},
    {0x01B2, 0x028B}, {0x01B7, 0x0292}, {0x01C4, 0x01C6}, {0x01C5, 0x01C6}, {0x01C7, 0x01C9},
    {0x01C8, 0x01C9}, {0x01CA, 0x01CC}, {0x01CB, 0x01CC}, {0x01F1, 0x01F3}, {0x01F2, 0x01F3},
    {0x01F6, 0x0195}, {0x01F7, 0x01BF}, {0x0220, 0x019E}, {0x023A, 0x2C65}, {0x023D, 0x019A},
    {0x023E, 0x2C66}, {0x0243, 0x0180}, {0x0244, 0x0289}, {0x0245, 0x028C}, {0x0345, 0x03B9},
    {0x037F, 0x03F3}, {0x0386, 0x03AC}, {0x038C, 0x03CC}, {0x03C2, 0x03C3}, {0x03CF, 0x03D7},
    {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6}, {0x03D6, 0x03C0}, {0x03F0, 0x03BA},
    {0x03F1, 0x03C1}, {0x03F4, 0x03B8},
};

// Ranges of upper/lower pairs that sit next to each other: the upper case
// letter is at an even (or odd) offset and folds to the next code unit.
struct PairRange {
  char16_t first;
  char16_t last;
  bool upperIsEven;
};
constexpr PairRange kPairRanges[] = {
    {0x0100, 0x012F, true},  {0x0132, 0x0137, true},  {0x0139, 0x0148, false},
    {0x014A, 0x0177, true},  {0x0179, 0x017E, false}, {0x0182, 0x0185, true},
    {0x0187, 0x0188, false}, {0x018B, 0x018C, false}, {0x0191, 0x0192, false},
    {0x0198, 0x0199, true},  {0x01A0, 0x01A5, true},  {0x01A7, 0x01A8, false},
    {0x01AC, 0x01AD, true},  {0x01AF, 0x01B0, false}, {0x01B3, 0x01B6, false},
    {0x01B8, 0x01B9, true},  {0x01BC, 0x01BD, true},  {0x01CD, 0x01DC, false},
    {0x01DE, 0x01EF, true},  {0x01F4, 0x01F5, true},  {0x01F8, 0x021F, true},
    {0x0222, 0x0233, true},  {0x023B, 0x023C, false}, {0x0241, 0x0242, false},
    {0x0246, 0x024F, true},  {0x0370, 0x0373, true},  {0x0376, 0x0377, true},
    {0x03D8, 0x03EF, true},
    {0x03F7, 0x03F8, false}, {0x03FA, 0x03FB, true}, {0x0460, 0x0481, true},
    {0x048A, 0x04BF, true},  {0x04C1, 0x04CE, false}, {0x04D0, 0x052F, true},
    {0x1E00, 0x1E95, true},
};

bool FoldByPairs(char16_t c, char16_t& out) {
  auto test = [&](const PairRange& r) {
    if (c < r.first || c > r.last) return false;
    bool even = (c % 2) == 0;
    out = even == r.upperIsEven ? static_cast<char16_t>(c + 1) : c;
    return true;
  };
  for (const auto& r : kPairRanges) {
    if (test(r)) return true;
  }
  return false;
}

}  // namespace

UString FromUtf8(std::string_view utf8) {
  UString out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t n = utf8.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    // Length and the allowed range of the second byte (which excludes
    // overlong forms, surrogates and code points beyond U+10FFFF).
    int len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2; cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3; cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4; cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 1; k < len; ++k, ++j) {
      unsigned char c = j < n ? s[j] : 0;
      unsigned char min = k == 1 ? lo : 0x80;
      unsigned char max = k == 1 ? hi : 0xBF;
      if (j >= n || c < min || c > max) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (c & 0x3F);
    }
    if (ok) {
      AppendCodePoint(out, cp);
    } else {
      out.push_back(kReplacement);  // the maximal subpart s[i, j)
    }
    i = j;
  }
  return out;
}

std::string ToUtf8(UStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c < 0x100) return c == 0xB5 ? char16_t{0x03BC} : c;
  // Greek and Cyrillic blocks of contiguous capitals.
  if (c >= 0x0388 && c <= 0x038A) return static_cast<char16_t>(c + 37);
  if (c >= 0x038E && c <= 0x038F) return static_cast<char16_t>(c + 63);
  if ((c >= 0x0391 && c <= 0x03A1) || (c >= 0x03A3 && c <= 0x03AB)) return static_cast<char16_t>(c + 32);
  if (c >= 0x03FD && c <= 0x03FF) return static_cast<char16_t>(c - 130);
  if (c == 0x03F5) return 0x03B5;
  if (c == 0x03F9) return 0x03F2;
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 80);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 32);
  if (c == 0x04C0) return 0x04CF;
  char16_t folded = c;
  if (FoldByPairs(c, folded)) return folded;
  for (const auto& p : kIrregularFolds) {
    if (p.from == c) return p.to;
    if (p.from > c) break;
  }
  return c;
}

bool EqualsNoCase(UStringView a, UStringView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

UString FoldedCopy(UStringView s) {
  UString out(s);
  for (auto& c : out) c = FoldCase(c);
  return out;
}

UString DecimalText(std::int64_t n) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, n);
  return UString(buf, res.ptr);
}

}  // namespace tarnel
