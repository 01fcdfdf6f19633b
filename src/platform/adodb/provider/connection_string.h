// ADO-style connection strings: `keyword=value` pairs separated by
// semicolons, keywords compared case-insensitively (ASCII folding), values
// optionally quoted with "..." or '...' (a doubled quote is a literal quote)
// or ODBC braces {...} (a doubled } is a literal }), `==` for an equals sign
// inside a keyword, blanks around keywords and unquoted values dropped, the
// last of repeated keywords wins. A plain value type; no thread rule.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::adodb::provider {

// Why a connection string could not be parsed: a sentence for a person and
// the 0-based byte offset where the problem was found.
struct ConnectionStringError {
  std::string message;
  std::size_t position = 0;
};

class ConnectionString {
 public:
  struct Entry {
    std::string keyword;  // as written (first spelling kept on replacement)
    std::string value;
  };

  ConnectionString() = default;

  // Parses `text`; on failure returns nothing and fills `error`.
  static std::optional<ConnectionString> Parse(std::string_view text, ConnectionStringError* error);

  // The value of `keyword`, or null when absent.
  const std::string* Find(std::string_view keyword) const;
  // The value of whichever of the synonyms was written last, or null.
  const std::string* FindAny(std::initializer_list<std::string_view> synonyms) const;

  // Sets or replaces a value (a replaced entry moves to the end, as if the
  // keyword had been written again); Remove drops it.
  void Set(std::string_view keyword, std::string value);
  void Remove(std::string_view keyword);

  const std::vector<Entry>& Entries() const { return entries_; }

  // The text form, quoting values that need it, such that Parse(ToString())
  // gives back the same entries.
  std::string ToString() const;

 private:
  std::vector<Entry> entries_;
};

// ASCII case-insensitive equality of keywords and provider names.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

}  // namespace tarnel::adodb::provider
