// PostgreSQL types: result column OIDs and type modifiers become ADO Field
// metadata, text-format values become typed cells (numbers parsed, dates to
// OLE dates, money to currency, bytea hex to bytes), and parameter values
// become the text (or, for binary data, the bytes) libpq sends, with type
// OIDs where a command needs them.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/adodb/provider/column_types.h"
#include "platform/adodb/provider/date_text.h"
#include "platform/adodb/provider/postgresql/postgresql_backend.h"

namespace tarnel::adodb::provider {

namespace {

enum : unsigned int {
  kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26,
  kJson = 114, kXml = 142, kFloat4 = 700, kFloat8 = 701, kMoney = 790, kBpchar = 1042, kVarchar = 1043,
  kDate = 1082, kTime = 1083, kTimestamp = 1114, kTimestampTz = 1184, kInterval = 1186, kTimeTz = 1266,
  kNumeric = 1700, kUuid = 2950, kJsonb = 3802,
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void StoreBytea(const char* text, std::size_t length, RowStore& store, std::size_t row, std::size_t col) {
  if (length >= 2 && text[0] == '\\' && text[1] == 'x' && length % 2 == 0) {
    std::string bytes((length - 2) / 2, '\0');
    bool ok = true;
    for (std::size_t i = 0; i < bytes.size() && ok; ++i) {
      const int hi = HexDigit(text[2 + 2 * i]), lo = HexDigit(text[3 + 2 * i]);
      ok = hi >= 0 && lo >= 0;
      bytes[i] = static_cast<char>(hi << 4 | lo);
    }
    if (ok) {
      store.SetBytes(row, col, bytes, CellKind::Blob);
      return;
    }
  }
  // The older escape format.
  std::size_t n = 0;
  unsigned char* bytes = Pq().PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &n);
  if (bytes) {
    store.SetBytes(row, col, std::string_view(reinterpret_cast<const char*>(bytes), n), CellKind::Blob);
    Pq().PQfreemem(bytes);
  } else {
    store.SetBytes(row, col, std::string_view(text, length), CellKind::Text);
  }
}

std::string DoubleText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, ec == std::errc() ? end : buf);
}

std::string CurrencyText(std::int64_t tenThousandths) {
  const bool negative = tenThousandths < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                           : static_cast<std::uint64_t>(tenThousandths);
  std::string frac = std::to_string(magnitude % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + frac;
}

unsigned int TypeOidFor(const Parameter& p) {
  if (p.value.kind == CellKind::Blob) return kBytea;
  switch (p.type) {
    case adTinyInt:
    case adUnsignedTinyInt:
    case adSmallInt:
      return kInt2;
    case adUnsignedSmallInt:
    case adInteger:
      return kInt4;
    case adUnsignedInt:
    case adBigInt:
      return kInt8;
    case adSingle:
      return kFloat4;
    case adDouble:
      return kFloat8;
    case adBoolean:
      return kBool;
    case adNumeric:
    case adDecimal:
    case adVarNumeric:
    case adCurrency:
      return kNumeric;
    case adEmpty:
      switch (p.value.kind) {
        case CellKind::Integer:
          return kInt8;
        case CellKind::Double:
          return kFloat8;
        case CellKind::Boolean:
          return kBool;
        default:
          return 0;
      }
    default:
      return 0;  // text, dates and the rest: the server infers the type
  }
}

}  // namespace

ColumnInfo DescribePgColumn(std::string name, unsigned int typeOid, int typmod) {
  const int length = typmod >= 4 ? typmod - 4 : 0;
  switch (typeOid) {
    case kBool: return DescribeColumn(std::move(name), adBoolean);
    case kInt2: return DescribeColumn(std::move(name), adSmallInt);
    case kInt4: return DescribeColumn(std::move(name), adInteger);
    case kInt8: return DescribeColumn(std::move(name), adBigInt);
    case kOid: return DescribeColumn(std::move(name), adUnsignedInt);
    case kFloat4: return DescribeColumn(std::move(name), adSingle);
    case kFloat8: return DescribeColumn(std::move(name), adDouble);
    case kMoney: return DescribeColumn(std::move(name), adCurrency);
    case kNumeric:
      if (typmod >= 4) return DescribeColumn(std::move(name), adNumeric, 0, (length >> 16) & 0xFFFF, length & 0xFFFF);
      return DescribeColumn(std::move(name), adNumeric, 0, 38, 0);
    case kDate: return DescribeColumn(std::move(name), adDBDate);
    case kTime:
    case kTimeTz: return DescribeColumn(std::move(name), adDBTime);
    case kTimestamp:
    case kTimestampTz: return DescribeColumn(std::move(name), adDBTimeStamp);
    case kUuid: return DescribeColumn(std::move(name), adGUID);
    case kBytea: return DescribeColumn(std::move(name), adLongVarBinary);
    case kBpchar: return DescribeColumn(std::move(name), adWChar, length);
    case kChar: return DescribeColumn(std::move(name), adWChar, 1);
    case kVarchar: return DescribeColumn(std::move(name), adVarWChar, length);
    case kName: return DescribeColumn(std::move(name), adVarWChar, 63);
    case kText:
    case kJson:
    case kJsonb:
    case kXml: return DescribeColumn(std::move(name), adLongVarWChar);
    case kInterval: return DescribeColumn(std::move(name), adVarWChar, 255);
    default: return DescribeColumn(std::move(name), adLongVarWChar);
  }
}

PgCellRule PgRuleFor(unsigned int typeOid) {
  switch (typeOid) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: return PgCellRule::Integer;
    case kFloat4:
    case kFloat8: return PgCellRule::Double;
    case kBool: return PgCellRule::Boolean;
    case kNumeric: return PgCellRule::Numeric;
    case kMoney: return PgCellRule::Currency;
    case kDate:
    case kTime:
    case kTimeTz:
    case kTimestamp:
    case kTimestampTz: return PgCellRule::Date;
    case kBytea: return PgCellRule::Bytea;
    default: return PgCellRule::Text;
  }
}

std::optional<std::int64_t> ParseMoney(std::string_view text) {
  bool negative = false, fraction = false, any = false;
  int fractionDigits = 0;
  std::int64_t value = 0;
  for (char c : text) {
    if (c == '-' || c == '(') {
      negative = true;
    } else if (c == '.') {
      fraction = true;
    } else if (c >= '0' && c <= '9') {
      if (fraction && fractionDigits == 4) continue;
      if (value > (LLONG_MAX - 9) / 10) return std::nullopt;
      value = value * 10 + (c - '0');
      any = true;
      if (fraction) ++fractionDigits;
    }
  }
  if (!any) return std::nullopt;
  for (; fractionDigits < 4; ++fractionDigits) {
    if (value > LLONG_MAX / 10) return std::nullopt;
    value *= 10;
  }
  return negative ? -value : value;
}

void StorePgCell(const char* text, std::size_t length, PgCellRule rule, RowStore& store, std::size_t row,
                 std::size_t col) {
  const char* end = text + length;
  switch (rule) {
    case PgCellRule::Integer: {
      std::int64_t v = 0;
      const auto [at, ec] = std::from_chars(text, end, v);
      if (ec == std::errc() && at == end) return store.SetInteger(row, col, v);
      break;
    }
    case PgCellRule::Double: {
      double d = 0;
      const auto [at, ec] = std::from_chars(text, end, d);
      if (ec == std::errc() && at == end) return store.SetDouble(row, col, d);
      break;
    }
    case PgCellRule::Boolean:
      return store.SetInteger(row, col, length > 0 && text[0] == 't', CellKind::Boolean);
    case PgCellRule::Numeric:
      return store.SetBytes(row, col, std::string_view(text, length), CellKind::Numeric);
    case PgCellRule::Currency:
      if (const std::optional<std::int64_t> money = ParseMoney(std::string_view(text, length))) {
        return store.SetInteger(row, col, *money, CellKind::Currency);
      }
      break;
    case PgCellRule::Date:
      if (const std::optional<double> date = OleDateFromIso(std::string_view(text, length))) {
        return store.SetDouble(row, col, *date, CellKind::Date);
      }
      break;
    case PgCellRule::Bytea:
      return StoreBytea(text, length, store, row, col);
    case PgCellRule::Text:
      break;
  }
  store.SetBytes(row, col, std::string_view(text, length), CellKind::Text);
}

Status MakePgParameters(const std::vector<const Parameter*>& parameters, bool typed, PgParameters& out) {
  const std::size_t n = parameters.size();
  out.types.assign(n, 0);
  out.texts.assign(n, std::string());
  out.values.assign(n, nullptr);
  out.lengths.assign(n, 0);
  out.formats.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const Parameter& p = *parameters[i];
    const Value& v = p.value;
    if (typed || v.kind == CellKind::Blob) out.types[i] = TypeOidFor(p);
    std::string& text = out.texts[i];
    switch (v.kind) {
      case CellKind::Empty:
      case CellKind::Null:
        continue;  // a null pointer sends SQL NULL
      case CellKind::Integer: text = std::to_string(v.integer); break;
      case CellKind::Boolean: text = v.integer ? "true" : "false"; break;
      case CellKind::Currency: text = CurrencyText(v.integer); break;
      case CellKind::Double: text = DoubleText(v.real); break;
      case CellKind::Date: {
        const DateTextForm form = p.type == adDBDate   ? DateTextForm::Date
                                  : p.type == adDBTime ? DateTextForm::Time
                                                       : DateTextForm::DateTime;
        const std::optional<std::string> iso = IsoFromOleDate(v.real, form);
        if (!iso) {
          ErrorRecord r = PgConnectionError("The date of parameter " + std::to_string(i + 1) + " is out of range.",
                                            "22008");
          return Status::FromRecord(std::move(r));
        }
        text = *iso;
        break;
      }
      case CellKind::Text:
      case CellKind::Numeric:
        if (std::memchr(v.bytes.data(), '\0', v.bytes.size())) {
          ErrorRecord r = PgConnectionError(
              "The text of parameter " + std::to_string(i + 1) + " contains a NUL character, which PostgreSQL "
              "text cannot hold.", "22021");
          return Status::FromRecord(std::move(r));
        }
        text = v.bytes;
        break;
      case CellKind::Blob:
        if (v.bytes.size() > INT_MAX) {
          return Status::FromRecord(PgConnectionError(
              "The value of parameter " + std::to_string(i + 1) + " is too large to send.", "22001"));
        }
        out.values[i] = v.bytes.data();
        out.lengths[i] = static_cast<int>(v.bytes.size());
        out.formats[i] = 1;
        continue;
    }
    out.values[i] = text.c_str();
  }
  return {};
}

}  // namespace tarnel::adodb::provider
