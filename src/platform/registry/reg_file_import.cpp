// Reading .reg files: the text is decoded, parsed line by line into a list
// of changes (so that a malformed file is rejected before anything is
// touched), and the changes are then applied in one store transaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/registry/reg_file.h"

namespace tarnel {
namespace {

constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;
constexpr UStringView kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr UStringView kHeader4 = u"REGEDIT4";

// ANSI text: UTF-8 when the bytes are valid UTF-8, else Latin-1.
UString DecodeAnsi(std::string_view bytes) {
  UString text = FromUtf8(bytes);
  bool replaced = text.find(u'\uFFFD') != UString::npos;
  if (!replaced || bytes.find("\xEF\xBF\xBD") != std::string_view::npos) return text;
  text.clear();
  for (char c : bytes) text.push_back(static_cast<unsigned char>(c));
  return text;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

UStringView TrimLeft(UStringView s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

UStringView TrimRight(UStringView s) {
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWithNoCase(UStringView s, UStringView prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

struct Line {
  int number;
  UStringView text;
};

std::vector<Line> SplitLines(UStringView text) {
  std::vector<Line> lines;
  int number = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.push_back({number++, text.substr(start, i - start)});
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back({number, text.substr(start)});
  return lines;
}

struct Change {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } kind;
  int line;
  UString key;
  UString name;
  RegValue value;
};

class Parser {
 public:
  Parser(const std::string& source, UStringView text) : source_(source), lines_(SplitLines(text)) {}

  std::vector<Change> Parse() {
    if (lines_.empty()) Fail(1, "the file is empty; a registry file starts with '" + ToUtf8(kHeader5) + "'");
    UStringView header = TrimRight(lines_[0].text);
    if (header == kHeader5) {
      ansi_ = false;
    } else if (header == kHeader4) {
      ansi_ = true;
    } else {
      Fail(1, "not a registry file: the first line must be '" + ToUtf8(kHeader5) + "' or 'REGEDIT4'");
    }
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      UStringView text = TrimLeft(lines_[index_].text);
      if (text.empty() || text.front() == u';') continue;
      if (text.front() == u'[') {
        ParseKeyLine(text);
      } else if (text.front() == u'"' || text.front() == u'@') {
        ParseValueLine(text);
      } else {
        Fail(Number(), "unrecognised line (expected [key], \"name\"=data or @=data)");
      }
    }
    return std::move(changes_);
  }

 private:
  [[noreturn]] void Fail(int line, const std::string& message,
                         RegErrorCode code = RegErrorCode::kInvalidData) const {
    throw RegFileError(code, source_, line, message);
  }
  int Number() const { return lines_[index_].number; }

  // Nothing but spaces and an optional comment may follow.
  void ExpectEnd(UStringView rest, const char* after) const {
    rest = TrimLeft(rest);
    if (!rest.empty() && rest.front() != u';') {
      Fail(Number(), std::string("unexpected text after ") + after + ": '" + ToUtf8(rest) + "'");
    }
  }

  void ParseKeyLine(UStringView text) {
    std::size_t close = text.rfind(u']');
    if (close == UStringView::npos) Fail(Number(), "key line without a closing ']'");
    ExpectEnd(text.substr(close + 1), "the key");
    UStringView inner = text.substr(1, close - 1);
    bool remove = !inner.empty() && inner.front() == u'-';
    if (remove) inner.remove_prefix(1);
    RegKeyPath path;
    try {
      path = ParseKeyPath(inner);
    } catch (const RegistryError& e) {
      Fail(Number(), e.what(), e.code());
    }
    if (remove && path.names.empty()) {
      Fail(Number(), "the root key '" + ToUtf8(RootName(path.root)) + "' cannot be deleted",
           RegErrorCode::kAccessDenied);
    }
    UString key = path.ToString();
    changes_.push_back({remove ? Change::kDeleteKey : Change::kCreateKey, Number(), key, {}, {}});
    if (remove) {
      currentKey_.reset();
    } else {
      currentKey_ = key;
    }
  }

  // A quoted string starting at text[pos] == '"'; pos ends after the closing quote.
  UString ParseQuoted(UStringView text, std::size_t& pos) const {
    UString out;
    for (++pos; pos < text.size(); ++pos) {
      char16_t c = text[pos];
      if (c == u'"') {
        ++pos;
        return out;
      }
      if (c != u'\\') {
        out.push_back(c);
        continue;
      }
      if (++pos == text.size()) break;
      switch (text[pos]) {
        case u'\\': out.push_back(u'\\'); break;
        case u'"': out.push_back(u'"'); break;
        case u'n': out.push_back(u'\n'); break;
        case u'r': out.push_back(u'\r'); break;
        default:
          Fail(Number(), "unknown escape sequence '\\" + ToUtf8(text.substr(pos, 1)) +
                             "' in a quoted string (use \\\\ for a backslash)");
      }
    }
    Fail(Number(), "quoted string without a closing '\"'");
  }

  void ParseValueLine(UStringView text) {
    if (!currentKey_) Fail(Number(), "a value line must follow a [key] line");
    UString name;
    std::size_t pos = 0;
    if (text.front() == u'@') {
      pos = 1;
    } else {
      name = ParseQuoted(text, pos);
    }
    try {
      CheckValueName(name);
    } catch (const RegistryError& e) {
      Fail(Number(), e.what(), e.code());
    }
    UStringView rest = TrimLeft(text.substr(pos));
    if (rest.empty() || rest.front() != u'=') Fail(Number(), "expected '=' after the value name");
    rest = TrimLeft(rest.substr(1));
    Change change{Change::kSetValue, Number(), *currentKey_, name, {}};
    if (!rest.empty() && rest.front() == u'-') {
      ExpectEnd(rest.substr(1), "'-'");
      change.kind = Change::kDeleteValue;
    } else if (!rest.empty() && rest.front() == u'"') {
      std::size_t end = 0;
      change.value = RegValue::String(ParseQuoted(rest, end));
      ExpectEnd(rest.substr(end), "the string");
    } else if (StartsWithNoCase(rest, u"dword:")) {
      change.value = RegValue::Dword(ParseDword(rest.substr(6)));
    } else if (StartsWithNoCase(rest, u"hex")) {
      change.value = ParseHexValue(rest.substr(3));
    } else {
      Fail(Number(), "unrecognised value data (expected \"text\", dword:, hex:, hex(T): or -)");
    }
    changes_.push_back(std::move(change));
  }

  std::uint32_t ParseDword(UStringView text) const {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && HexDigit(text[digits]) >= 0; ++digits) {
      if (digits == 8) Fail(Number(), "dword: takes at most 8 hexadecimal digits");
      value = (value << 4) | static_cast<std::uint32_t>(HexDigit(text[digits]));
    }
    if (digits == 0) Fail(Number(), "dword: must be followed by 1 to 8 hexadecimal digits");
    ExpectEnd(text.substr(digits), "the dword value");
    return value;
  }

  // After "hex": either ":" (REG_BINARY) or "(T):", then the bytes,
  // possibly continued over several lines.
  RegValue ParseHexValue(UStringView text) {
    std::uint32_t type = REG_BINARY;
    if (!text.empty() && text.front() == u'(') {
      std::size_t close = text.find(u')');
      UStringView digits = text.substr(1, close == UStringView::npos ? 0 : close - 1);
      if (close == UStringView::npos || digits.empty() || digits.size() > 8) {
        Fail(Number(), "hex(T): needs a type number of 1 to 8 hexadecimal digits");
      }
      type = 0;
      for (char16_t c : digits) {
        if (HexDigit(c) < 0) Fail(Number(), "hex(T): type '" + ToUtf8(digits) + "' is not hexadecimal");
        type = (type << 4) | static_cast<std::uint32_t>(HexDigit(c));
      }
      text = text.substr(close + 1);
    }
    if (text.empty() || text.front() != u':') Fail(Number(), "expected ':' after hex or hex(T)");
    std::vector<std::uint8_t> bytes = ParseHexBytes(text.substr(1));
    if (ansi_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      std::string ansi(bytes.begin(), bytes.end());
      bytes = Utf16LeBytes(DecodeAnsi(ansi));
    }
    return RegValue{type, std::move(bytes)};
  }

  // Comma-separated bytes of 1 or 2 hex digits; a line ending in '\'
  // continues on the next one. Leaves index_ on the last line used.
  std::vector<std::uint8_t> ParseHexBytes(UStringView segment) {
    std::vector<std::uint8_t> bytes;
    for (;;) {
      std::size_t comment = segment.find(u';');
      if (comment != UStringView::npos) segment = segment.substr(0, comment);
      segment = TrimRight(segment);
      bool continued = !segment.empty() && segment.back() == u'\\';
      if (continued) segment.remove_suffix(1);
      ParseByteList(segment, bytes);
      if (!continued) return bytes;
      if (index_ + 1 >= lines_.size()) Fail(Number(), "hex data continued with '\\' past the end of the file");
      ++index_;
      segment = lines_[index_].text;
    }
  }

  void ParseByteList(UStringView list, std::vector<std::uint8_t>& bytes) const {
    list = TrimRight(TrimLeft(list));
    while (!list.empty()) {
      std::size_t comma = list.find(u',');
      UStringView token = TrimRight(TrimLeft(list.substr(0, comma)));
      bool valid = !token.empty() && token.size() <= 2;
      for (char16_t c : token) valid = valid && HexDigit(c) >= 0;
      if (!valid) Fail(Number(), "'" + ToUtf8(token) + "' is not a hex byte (expected 00 to ff)");
      std::uint8_t b = 0;
      for (char16_t c : token) b = static_cast<std::uint8_t>((b << 4) | HexDigit(c));
      bytes.push_back(b);
      if (comma == UStringView::npos) break;
      list = TrimLeft(list.substr(comma + 1));  // a final comma is allowed
    }
  }

  std::string source_;
  std::vector<Line> lines_;
  std::size_t index_ = 0;
  bool ansi_ = false;
  std::optional<UString> currentKey_;
  std::vector<Change> changes_;
};

UString DecodeFile(std::string_view bytes, const std::string& source) {
  auto bom = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (bom("\xFF\xFE") || bom("\xFE\xFF")) {
    bool little = bom("\xFF\xFE");
    if (bytes.size() % 2 != 0) {
      throw RegFileError(RegErrorCode::kInvalidData, source, 0, "UTF-16 text ends in the middle of a character");
    }
    UString text;
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
      auto a = static_cast<unsigned char>(bytes[i]);
      auto b = static_cast<unsigned char>(bytes[i + 1]);
      text.push_back(static_cast<char16_t>(little ? (a | (b << 8)) : ((a << 8) | b)));
    }
    return text;
  }
  if (bom("\xEF\xBB\xBF")) return FromUtf8(bytes.substr(3));
  return DecodeAnsi(bytes);
}

void Apply(RegistryStore& store, const std::vector<Change>& changes, const std::string& source) {
  store.Transaction([&] {
    for (const Change& c : changes) {
      try {
        switch (c.kind) {
          case Change::kCreateKey: store.CreateKey(c.key); break;
          case Change::kDeleteKey: store.DeleteKey(c.key, true); break;
          case Change::kSetValue: store.SetValue(c.key, c.name, c.value); break;
          case Change::kDeleteValue: store.DeleteValue(c.key, c.name); break;
        }
      } catch (const RegFileError&) {
        throw;
      } catch (const RegistryError& e) {
        throw RegFileError(e.code(), source, c.line, e.what());
      }
    }
  });
}

}  // namespace

RegFileError::RegFileError(RegErrorCode code, const std::string& file, int line, const std::string& message)
    : RegistryError(code, "registry file '" + file + "'" + (line > 0 ? ", line " + std::to_string(line) : "") +
                              ": " + message),
      line_(line) {}

void ImportRegText(RegistryStore& store, std::string_view bytes, const std::string& sourceName) {
  UString text = DecodeFile(bytes, sourceName);
  std::vector<Change> changes = Parser(sourceName, text).Parse();
  Apply(store, changes, sourceName);
}

void ImportRegFile(RegistryStore& store, const std::string& path) {
  auto fail = [&](int err) {
    RegErrorCode code = err == ENOENT ? RegErrorCode::kFileNotFound
                        : err == EACCES ? RegErrorCode::kAccessDenied
                                        : RegErrorCode::kIoFailed;
    throw RegistryError(code, "registry file '" + path + "' cannot be read: " + std::strerror(err));
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno);
  std::string bytes;
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode)) {
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else if (static_cast<std::size_t>(st.st_size) > kMaxFileSize) {
    err = EFBIG;
  } else {
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) err = errno;
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
      if (bytes.size() > kMaxFileSize) {
        err = EFBIG;
        break;
      }
    }
  }
  ::close(fd);
  if (err != 0) fail(err);
  ImportRegText(store, bytes, path);
}

}  // namespace tarnel
