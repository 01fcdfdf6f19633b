// The locales the conversions know (decimal separator, the stock short date
// and time pictures, the Boolean words of the language) and how the user's
// locale is read from the process environment: LC_ALL names everything;
// otherwise LANG gives the base, LC_NUMERIC the decimal separator and
// LC_TIME the date and time pictures.
#include "platform/automation/locale.h"

#include <cctype>
#include <cstdlib>

namespace tarnel {

namespace {

struct LocaleRow {
  const char* name;
  char16_t decimalSeparator;
  const char16_t* shortDate;
  const char16_t* timeFormat;
  const char16_t* am;
  const char16_t* pm;
  const char16_t* trueWord;
  const char16_t* falseWord;
};

// The stock settings of each known locale.
constexpr LocaleRow kLocales[] = {
    {"en-US", u'.', u"M/d/yyyy", u"h:mm:ss tt", u"AM", u"PM", u"True", u"False"},
    {"en-GB", u'.', u"dd/MM/yyyy", u"HH:mm:ss", u"AM", u"PM", u"True", u"False"},
    {"de-DE", u',', u"dd.MM.yyyy", u"HH:mm:ss", u"", u"", u"Wahr", u"Falsch"},
    {"de-AT", u',', u"dd.MM.yyyy", u"HH:mm:ss", u"", u"", u"Wahr", u"Falsch"},
    {"de-CH", u'.', u"dd.MM.yyyy", u"HH:mm:ss", u"", u"", u"Wahr", u"Falsch"},
    {"fr-FR", u',', u"dd/MM/yyyy", u"HH:mm:ss", u"", u"", u"Vrai", u"Faux"},
    {"es-ES", u',', u"dd/MM/yyyy", u"H:mm:ss", u"", u"", u"Verdadero", u"Falso"},
    {"it-IT", u',', u"dd/MM/yyyy", u"HH:mm:ss", u"", u"", u"Vero", u"Falso"},
    {"nl-NL", u',', u"d-M-yyyy", u"HH:mm:ss", u"", u"", u"Waar", u"Onwaar"},
};

// "de_DE.UTF-8", "de-de@euro" -> "de-DE"; "C", "POSIX" -> "en-US".
std::string Canonical(std::string_view name) {
  std::size_t end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  if (name == "C" || name == "POSIX") return "en-US";
  std::string out;
  bool region = false;
  for (char c : name) {
    auto uc = static_cast<unsigned char>(c);
    if (c == '_' || c == '-') {
      region = true;
      out.push_back('-');
    } else {
      out.push_back(static_cast<char>(region ? std::toupper(uc) : std::tolower(uc)));
    }
  }
  return out;
}

const LocaleRow* Find(std::string_view name) {
  std::string canonical = Canonical(name);
  for (const auto& row : kLocales) {
    if (canonical == row.name) return &row;
  }
  return nullptr;
}

const LocaleRow& RowOrDefault(std::string_view name) {
  const LocaleRow* row = Find(name);
  return row ? *row : kLocales[0];
}

Locale FromRow(const LocaleRow& row) {
  Locale l;
  l.name = row.name;
  l.decimalSeparator = row.decimalSeparator;
  l.shortDate = row.shortDate;
  l.timeFormat = row.timeFormat;
  l.amDesignator = row.am;
  l.pmDesignator = row.pm;
  l.trueWord = row.trueWord;
  l.falseWord = row.falseWord;
  return l;
}

// An environment variable that is set and not empty, else null.
const char* Setting(const char* variable) {
  const char* v = std::getenv(variable);
  return v && *v ? v : nullptr;
}

}  // namespace

Locale Locale::Named(std::string_view name) { return FromRow(RowOrDefault(name)); }

Locale Locale::FromEnvironment() {
  if (const char* all = Setting("LC_ALL")) return Named(all);
  const char* lang = Setting("LANG");
  Locale l = Named(lang ? lang : "en-US");
  if (const char* numeric = Setting("LC_NUMERIC")) {
    l.decimalSeparator = RowOrDefault(numeric).decimalSeparator;
  }
  if (const char* time = Setting("LC_TIME")) {
    const LocaleRow& row = RowOrDefault(time);
    l.shortDate = row.shortDate;
    l.timeFormat = row.timeFormat;
    l.amDesignator = row.am;
    l.pmDesignator = row.pm;
  }
  return l;
}

const Locale& Locale::User() {
  static const Locale user = FromEnvironment();
  return user;
}

}  // namespace tarnel
