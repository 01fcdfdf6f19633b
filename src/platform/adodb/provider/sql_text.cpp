// The placeholder scanner. It knows the lexical forms that can hide a `?`:
// '...' literals (with '' doubled, and backslash escapes in E'...'),
// "..." identifiers, $tag$...$tag$ bodies, -- line comments and nested
// /* */ comments. Everything else is copied as it is.
#include "platform/adodb/provider/sql_text.h"

#include <cctype>

#include "platform/adodb/provider/connection_string.h"

namespace tarnel::adodb::provider {

namespace {

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }

// The length of the lexical element at `i` that must be copied untouched
// (a literal, identifier, dollar body or comment), or 0 when there is none.
std::size_t SkipOpaque(std::string_view s, std::size_t i) {
  const std::size_t n = s.size();
  const char c = s[i];
  if (c == '\'' || c == '"') {
    const bool escapes = c == '\'' && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                         (i < 2 || !IsIdentChar(s[i - 2]));
    std::size_t j = i + 1;
    while (j < n) {
      if (escapes && s[j] == '\\') {
        j += 2;
        continue;
      }
      if (s[j] == c) {
        if (j + 1 < n && s[j + 1] == c) {
          j += 2;
          continue;
        }
        return j + 1 - i;
      }
      ++j;
    }
    return n - i;  // unterminated: the rest belongs to it; the engine reports it
  }
  if (c == '-' && i + 1 < n && s[i + 1] == '-') {
    const std::size_t end = s.find('\n', i);
    return (end == std::string_view::npos ? n : end) - i;
  }
  if (c == '/' && i + 1 < n && s[i + 1] == '*') {
    int depth = 1;
    std::size_t j = i + 2;
    while (j < n && depth > 0) {
      if (s[j] == '/' && j + 1 < n && s[j + 1] == '*') {
        ++depth;
        j += 2;
      } else if (s[j] == '*' && j + 1 < n && s[j + 1] == '/') {
        --depth;
        j += 2;
      } else {
        ++j;
      }
    }
    return j - i;
  }
  if (c == '$' && (i == 0 || !IsIdentChar(s[i - 1]))) {
    // $tag$ where tag is empty or an identifier not starting with a digit.
    std::size_t j = i + 1;
    if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) return 0;  // $1: a parameter
    while (j < n && IsIdentChar(s[j])) ++j;
    if (j >= n || s[j] != '$') return 0;
    const std::string_view tag = s.substr(i, j - i + 1);
    const std::size_t end = s.find(tag, j + 1);
    return (end == std::string_view::npos ? n : end + tag.size()) - i;
  }
  return 0;
}

}  // namespace

NumberedPlaceholders NumberPlaceholders(std::string_view sql) {
  NumberedPlaceholders out;
  out.text.reserve(sql.size() + 8);
  std::size_t i = 0;
  while (i < sql.size()) {
    if (const std::size_t skip = SkipOpaque(sql, i)) {
      out.text.append(sql.substr(i, skip));
      i += skip;
      continue;
    }
    if (sql[i] == '?') {
      out.text += '$' + std::to_string(++out.count);
    } else {
      out.text.push_back(sql[i]);
    }
    ++i;
  }
  return out;
}

bool StartsWithKeyword(std::string_view sql, std::string_view keyword) {
  std::size_t i = 0;
  while (i < sql.size()) {
    if (std::isspace(static_cast<unsigned char>(sql[i]))) {
      ++i;
    } else if ((sql[i] == '-' && i + 1 < sql.size() && sql[i + 1] == '-') ||
               (sql[i] == '/' && i + 1 < sql.size() && sql[i + 1] == '*')) {
      i += SkipOpaque(sql, i);
    } else {
      break;
    }
  }
  std::size_t j = i;
  while (j < sql.size() && IsIdentChar(sql[j])) ++j;
  return EqualsAsciiNoCase(sql.substr(i, j - i), keyword);
}

}  // namespace tarnel::adodb::provider
