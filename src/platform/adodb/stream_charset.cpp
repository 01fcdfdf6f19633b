// Encoding and decoding of a Stream's text in its character set.
#include "platform/adodb/stream_charset.h"

namespace tarnel::adodb {

namespace {

// windows-1252 in 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char EncodeSingle(char16_t c, Charset charset) {
  if (c < 0x80) return static_cast<char>(c);
  if (charset == Charset::Ascii) return '?';
  if (charset == Charset::Latin1) return c <= 0xFF ? static_cast<char>(c) : '?';
  if (c >= 0xA0 && c <= 0xFF) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] != 0 && kCp1252High[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

char16_t DecodeSingle(unsigned char b, Charset charset) {
  if (b < 0x80) return b;
  if (charset == Charset::Ascii) return u'?';
  if (charset == Charset::Windows1252 && b < 0xA0) {
    const char16_t c = kCp1252High[b - 0x80];
    return c ? c : static_cast<char16_t>(b);
  }
  return b;
}

}  // namespace

bool CharsetFromName(UStringView name, Charset& out) {
  struct Entry {
    const char16_t* name;
    Charset charset;
  };
  static constexpr Entry kNames[] = {
      {u"Unicode", Charset::Unicode},       {u"utf-16", Charset::Unicode},       {u"utf-16le", Charset::Unicode},
      {u"utf-8", Charset::Utf8},            {u"utf8", Charset::Utf8},            {u"us-ascii", Charset::Ascii},
      {u"ascii", Charset::Ascii},           {u"iso-8859-1", Charset::Latin1},    {u"latin1", Charset::Latin1},
      {u"windows-1252", Charset::Windows1252}, {u"x-ansi", Charset::Windows1252},
  };
  for (const Entry& e : kNames) {
    if (EqualsNoCase(name, e.name)) {
      out = e.charset;
      return true;
    }
  }
  return false;
}

std::string_view ByteOrderMark(Charset charset) {
  switch (charset) {
    case Charset::Unicode: return std::string_view("\xFF\xFE", 2);
    case Charset::Utf8: return std::string_view("\xEF\xBB\xBF", 3);
    default: return {};
  }
}

std::string EncodeText(UStringView text, Charset charset) {
  std::string out;
  switch (charset) {
    case Charset::Unicode:
      out.reserve(text.size() * 2);
      for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
      }
      return out;
    case Charset::Utf8:
      return ToUtf8(text);
    default:
      out.reserve(text.size());
      for (char16_t c : text) out.push_back(EncodeSingle(c, charset));
      return out;
  }
}

UString DecodeText(std::string_view bytes, std::size_t offset, long long maxChars, Charset charset,
                   std::size_t& consumed) {
  UString out;
  std::size_t i = offset;
  auto more = [&] { return maxChars < 0 || static_cast<long long>(out.size()) < maxChars; };
  switch (charset) {
    case Charset::Unicode:
      while (i + 1 < bytes.size() && more()) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        i += 2;
      }
      break;
    case Charset::Utf8:
      while (i < bytes.size() && more()) {
        // One code point at a time, so that a count of characters is met.
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
        if (i + len > bytes.size()) len = bytes.size() - i;
        out += FromUtf8(bytes.substr(i, len));
        i += len;
      }
      break;
    default:
      while (i < bytes.size() && more()) out.push_back(DecodeSingle(static_cast<unsigned char>(bytes[i++]), charset));
      break;
  }
  consumed = i - offset;
  return out;
}

}  // namespace tarnel::adodb
