// Parsing and writing ADO-style connection strings. The scanner follows the
// OLE DB rules: keywords up to the first single '=', values quoted, braced or
// plain, pairs separated by ';', and it reports where a string is malformed
// instead of guessing what was meant.
#include "platform/adodb/provider/connection_string.h"

#include <algorithm>

namespace tarnel::adodb::provider {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool Run(ConnectionString& out, ConnectionStringError* error) {
    while (true) {
      while (pos_ < text_.size() && (IsBlank(text_[pos_]) || text_[pos_] == ';')) ++pos_;
      if (pos_ >= text_.size()) return true;
      std::string keyword;
      if (!ReadKeyword(keyword, error)) return false;
      std::string value;
      if (!ReadValue(keyword, value, error)) return false;
      out.Set(keyword, std::move(value));
    }
  }

 private:
  bool Fail(ConnectionStringError* error, std::string message, std::size_t at) {
    if (error) *error = {std::move(message), at};
    return false;
  }

  bool ReadKeyword(std::string& keyword, ConnectionStringError* error) {
    const std::size_t start = pos_;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '=') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '=') {
          keyword.push_back('=');
          pos_ += 2;
          continue;
        }
        break;
      }
      if (c == ';') break;
      keyword.push_back(c);
      ++pos_;
    }
    keyword = std::string(TrimRight(keyword));
    if (pos_ >= text_.size() || text_[pos_] != '=') {
      return Fail(error, "the keyword '" + keyword + "' has no value (an '=' is missing)", start);
    }
    if (keyword.empty()) return Fail(error, "a value has no keyword before its '='", pos_);
    ++pos_;  // the '='
    return true;
  }

  bool ReadValue(const std::string& keyword, std::string& value, ConnectionStringError* error) {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return true;
    const char first = text_[pos_];
    if (first == '"' || first == '\'' || first == '{') {
      const char close = first == '{' ? '}' : first;
      const std::size_t open = pos_++;
      bool closed = false;
      while (pos_ < text_.size()) {
        const char c = text_[pos_++];
        if (c == close) {
          if (pos_ < text_.size() && text_[pos_] == close) {
            value.push_back(close);
            ++pos_;
            continue;
          }
          closed = true;
          break;
        }
        value.push_back(c);
      }
      if (!closed) {
        return Fail(error, "the value of '" + keyword + "' has no closing " + std::string(1, close), open);
      }
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      if (pos_ < text_.size() && text_[pos_] != ';') {
        return Fail(error, "unexpected text after the quoted value of '" + keyword + "'", pos_);
      }
      return true;
    }
    const std::size_t end = std::min(text_.find(';', pos_), text_.size());
    value = std::string(TrimRight(text_.substr(pos_, end - pos_)));
    pos_ = end;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool NeedsQuotes(std::string_view v) {
  if (v.empty()) return false;
  if (IsBlank(v.front()) || IsBlank(v.back())) return true;
  if (v.front() == '{') return true;
  return v.find_first_of(";=\"'") != std::string_view::npos;
}

std::string Quote(std::string_view v) {
  // Prefer double quotes; single quotes when the value has " but no '.
  const char q = (v.find('"') != std::string_view::npos && v.find('\'') == std::string_view::npos) ? '\'' : '"';
  std::string out(1, q);
  for (char c : v) {
    out.push_back(c);
    if (c == q) out.push_back(q);
  }
  out.push_back(q);
  return out;
}

}  // namespace

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::optional<ConnectionString> ConnectionString::Parse(std::string_view text, ConnectionStringError* error) {
  ConnectionString out;
  Scanner scanner(text);
  if (!scanner.Run(out, error)) return std::nullopt;
  return out;
}

const std::string* ConnectionString::Find(std::string_view keyword) const {
  for (const Entry& e : entries_) {
    if (EqualsAsciiNoCase(e.keyword, keyword)) return &e.value;
  }
  return nullptr;
}

const std::string* ConnectionString::FindAny(std::initializer_list<std::string_view> synonyms) const {
  // Entries are kept in the order they were (last) written, so the last
  // matching entry is the one written last.
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    for (std::string_view s : synonyms) {
      if (EqualsAsciiNoCase(it->keyword, s)) return &it->value;
    }
  }
  return nullptr;
}

void ConnectionString::Set(std::string_view keyword, std::string value) {
  std::string spelling(keyword);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return EqualsAsciiNoCase(e.keyword, keyword); });
  if (it != entries_.end()) {
    spelling = std::move(it->keyword);
    entries_.erase(it);
  }
  entries_.push_back({std::move(spelling), std::move(value)});
}

void ConnectionString::Remove(std::string_view keyword) {
  std::erase_if(entries_, [&](const Entry& e) { return EqualsAsciiNoCase(e.keyword, keyword); });
}

std::string ConnectionString::ToString() const {
  std::string out;
  for (const Entry& e : entries_) {
    if (!out.empty()) out.push_back(';');
    for (char c : e.keyword) {
      out.push_back(c);
      if (c == '=') out.push_back('=');
    }
    out.push_back('=');
    out += NeedsQuotes(e.value) ? Quote(e.value) : e.value;
  }
  return out;
}

}  // namespace tarnel::adodb::provider
