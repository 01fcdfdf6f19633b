// Reading connection-string settings common to the providers.
#include "platform/adodb/provider/settings.h"

#include <charconv>

#include "platform/adodb/provider/ado_types.h"

namespace tarnel::adodb::provider {

namespace {

constexpr std::string_view kGeneralKeywords[] = {
    "Provider", "Persist Security Info", "Connect Timeout", "Connection Timeout", "Timeout",
    "Mode", "OLE DB Services", "Locale Identifier", "Workstation ID", "Application Name",
    "Prompt", "Extended Properties", "Pooling"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

Status CheckKeywords(const ConnectionString& cs, std::initializer_list<std::string_view> known,
                     std::string_view providerName) {
  for (const ConnectionString::Entry& e : cs.Entries()) {
    bool found = false;
    for (std::string_view k : kGeneralKeywords) found = found || EqualsAsciiNoCase(e.keyword, k);
    for (std::string_view k : known) found = found || EqualsAsciiNoCase(e.keyword, k);
    if (!found) {
      return Status::Ado(kAdoInvalidArgument, "The connection string keyword '" + e.keyword +
                                                  "' is not known to the " + std::string(providerName) +
                                                  " provider.");
    }
  }
  return {};
}

std::optional<bool> ParseBoolean(std::string_view text) {
  text = Trim(text);
  for (std::string_view t : {"true", "yes", "on", "1"}) {
    if (EqualsAsciiNoCase(text, t)) return true;
  }
  for (std::string_view f : {"false", "no", "off", "0"}) {
    if (EqualsAsciiNoCase(text, f)) return false;
  }
  return std::nullopt;
}

std::optional<long long> ParseCount(std::string_view text, long long limit) {
  text = Trim(text);
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < 0 || v > limit) {
    return std::nullopt;
  }
  return v;
}

Status ReadConnectTimeout(const ConnectionString& cs, std::chrono::milliseconds fallback,
                          std::chrono::milliseconds* out) {
  *out = fallback;
  const std::string* text = cs.FindAny({"Connect Timeout", "Connection Timeout", "Timeout"});
  if (!text) return {};
  const std::optional<long long> seconds = ParseCount(*text, 24 * 3600);
  if (!seconds) {
    return Status::Ado(kAdoInvalidArgument, "The connection time-out '" + *text + "' is not a number of seconds.");
  }
  *out = std::chrono::seconds(*seconds);
  return {};
}

Status ReadReadOnlyMode(const ConnectionString& cs, int modeProperty, bool* readOnly) {
  *readOnly = modeProperty == adModeRead;
  const std::string* mode = cs.Find("Mode");
  if (!mode) return {};
  const std::string_view m = Trim(*mode);
  if (EqualsAsciiNoCase(m, "Read") || m == "1") {
    *readOnly = true;
  } else if (EqualsAsciiNoCase(m, "ReadWrite") || EqualsAsciiNoCase(m, "Read Write") ||
             EqualsAsciiNoCase(m, "Write") || m == "2" || m == "3" || m == "0") {
    *readOnly = false;
  } else {
    return Status::Ado(kAdoInvalidArgument, "The connection mode '" + *mode + "' is not Read or ReadWrite.");
  }
  return {};
}

}  // namespace tarnel::adodb::provider
