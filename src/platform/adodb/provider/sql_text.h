// Reading SQL command text without parsing it: finding the `?` parameter
// placeholders that lie outside string literals, quoted identifiers,
// dollar-quoted bodies and comments, and numbering them for engines that
// want `$1, $2, ...`. Pure functions; any thread.
#pragma once
#include <string>
#include <string_view>

namespace tarnel::adodb::provider {

struct NumberedPlaceholders {
  std::string text;  // the command with each `?` replaced by `$n`
  int count = 0;     // how many were replaced
};

// Replaces every placeholder `?` by `$1`, `$2`, ... in order.
NumberedPlaceholders NumberPlaceholders(std::string_view sql);

// Whether the text's first word (after blanks and comments) is `keyword`,
// compared without regard to ASCII case.
bool StartsWithKeyword(std::string_view sql, std::string_view keyword);

}  // namespace tarnel::adodb::provider
