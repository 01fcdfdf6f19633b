// UTF-16 to ANSI code page conversion. CP1252, the code page of every
// locale the platform knows, is converted by a built-in table so that it
// works without the C library's converter modules; other code pages go
// through iconv one character at a time, so that each character the code
// page lacks can be replaced by '?'.
#include "platform/debugout/ansi_text.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <system_error>

namespace tarnel {
namespace {

constexpr char kDefaultChar = '?';

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The length in UTF-16 units of the character at `text[i]`: 2 for a
// surrogate pair, else 1.
std::size_t CharacterLength(UStringView text, std::size_t i) {
  return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
}

// The characters of CP1252's bytes 0x80..0x9F that differ from Latin-1;
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D are undefined and map to U+0081 etc.
struct Cp1252Extra {
  char16_t character;
  unsigned char byte;
};
constexpr Cp1252Extra kCp1252Extras[] = {
    {u'\u0152', 0x8C}, {u'\u0153', 0x9C}, {u'\u0160', 0x8A}, {u'\u0161', 0x9A}, {u'\u0178', 0x9F},
    {u'\u017D', 0x8E}, {u'\u017E', 0x9E}, {u'\u0192', 0x83}, {u'\u02C6', 0x88}, {u'\u02DC', 0x98},
    {u'\u2013', 0x96}, {u'\u2014', 0x97}, {u'\u2018', 0x91}, {u'\u2019', 0x92}, {u'\u201A', 0x82},
    {u'\u201C', 0x93}, {u'\u201D', 0x94}, {u'\u201E', 0x84}, {u'\u2020', 0x86}, {u'\u2021', 0x87},
    {u'\u2022', 0x95}, {u'\u2026', 0x85}, {u'\u2030', 0x89}, {u'\u2039', 0x8B}, {u'\u203A', 0x9B},
    {u'\u20AC', 0x80}, {u'\u2122', 0x99},
};

char Cp1252Byte(char16_t c) {
  if (c < 0x80 || c >= 0xA0) return c <= 0xFF ? static_cast<char>(c) : kDefaultChar;
  if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) return static_cast<char>(c);
  return kDefaultChar;  // the other C1 controls have no byte in CP1252
}

std::string ToCp1252(UStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharacterLength(text, i);
    const char16_t c = text[i];
    i += length;
    if (length == 2 || (c >= 0xD800 && c <= 0xDFFF)) {
      out += kDefaultChar;
      continue;
    }
    if (c > 0xFF) {
      const auto* end = std::end(kCp1252Extras);
      const auto* found = std::find_if(std::begin(kCp1252Extras), end,
                                       [c](const Cp1252Extra& e) { return e.character == c; });
      out += found != end ? static_cast<char>(found->byte) : kDefaultChar;
      continue;
    }
    out += Cp1252Byte(c);
  }
  return out;
}

std::string UpperCase(std::string_view name) {
  std::string upper(name);
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return upper;
}

bool IsCp1252(const std::string& upper) {
  return upper == "CP1252" || upper == "1252" || upper == "WINDOWS-1252" || upper == "WINDOWS1252";
}

class IconvHandle {
 public:
  IconvHandle(const std::string& to, const char* from) : cd_(iconv_open(to.c_str(), from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

std::string ToCodePageWithIconv(UStringView text, const std::string& codePage) {
  const char* native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  IconvHandle converter(codePage, native);
  if (!converter.valid())
    throw std::system_error(EINVAL, std::generic_category(), "unknown character set '" + codePage + "'");
  std::string out;
  out.reserve(text.size());
  char buffer[32];
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharacterLength(text, i);
    const char16_t* unit = text.data() + i;
    i += length;
    if (length == 1 && unit[0] >= 0xD800 && unit[0] <= 0xDFFF) {
      out += kDefaultChar;  // an unpaired surrogate
      continue;
    }
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(unit));
    std::size_t inLeft = length * sizeof(char16_t);
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      out += kDefaultChar;  // the code page lacks it (a surrogate pair becomes one '?')
      continue;
    }
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  }
  // Return a stateful encoding to its initial shift state.
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  if (iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return out;
}

}  // namespace

std::string ToAnsi(UStringView text, const std::string& codePage) {
  const std::string upper = UpperCase(codePage);
  if (upper.empty()) throw std::system_error(EINVAL, std::generic_category(), "no character set named");
  if (IsCp1252(upper)) return ToCp1252(text);
  const bool number = !upper.empty() && std::all_of(upper.begin(), upper.end(), [](char ch) {
    return std::isdigit(static_cast<unsigned char>(ch)) != 0;
  });
  return ToCodePageWithIconv(text, number ? "CP" + upper : codePage);
}

}  // namespace tarnel
