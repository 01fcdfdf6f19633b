// The client cursor's in-memory store: the column metadata of a result and
// its rows as typed cells (null, integer, double, boolean, currency, date,
// text, numeric-as-text, blob). Cells are kept column by column: one 8-byte
// slot and one kind byte per cell; text and blob bytes live in a shared arena
// of stable blocks, so a slot can point straight at them.
// Ownership: a provider fills a store on its worker thread and hands the
// finished store over (shared_ptr) with the result; from then on it belongs
// to the apartment thread and is not synchronised.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/adodb/provider/ado_types.h"
#include "platform/automation/ustring.h"

namespace tarnel::adodb::provider {

// How a cell's value is held. The column's DataTypeEnum is metadata; the
// kind says which accessor gives the value.
enum class CellKind : std::uint8_t {
  Empty,     // no value yet (a freshly added row)
  Null,      // SQL NULL
  Integer,   // Integer()
  Double,    // Double()
  Boolean,   // Integer() is 0 or 1
  Currency,  // Integer() is the amount times 10,000
  Date,      // Double() is an OLE date: days since 1899-12-30, fraction = time
  Text,      // Bytes() is UTF-8
  Numeric,   // Bytes() is the exact decimal text ("-12.340")
  Blob,      // Bytes() is the binary value
};

// One value outside a store: parameter values, output values, cell writes.
struct Value {
  CellKind kind = CellKind::Null;
  std::int64_t integer = 0;  // Integer, Boolean, Currency
  double real = 0;           // Double, Date
  std::string bytes;         // Text (UTF-8), Numeric, Blob

  static Value Null() { return {}; }
  static Value Empty() { return {CellKind::Empty}; }
  static Value Int(std::int64_t v) { return {CellKind::Integer, v}; }
  static Value Real(double v) { return {CellKind::Double, 0, v}; }
  static Value Bool(bool v) { return {CellKind::Boolean, v ? 1 : 0}; }
  static Value Money(std::int64_t tenThousandths) { return {CellKind::Currency, tenThousandths}; }
  static Value OleDate(double v) { return {CellKind::Date, 0, v}; }
  static Value Text(std::string v) { return {CellKind::Text, 0, 0, std::move(v)}; }
  static Value Decimal(std::string v) { return {CellKind::Numeric, 0, 0, std::move(v)}; }
  static Value Binary(std::string v) { return {CellKind::Blob, 0, 0, std::move(v)}; }
  bool IsNull() const { return kind == CellKind::Null; }
  bool operator==(const Value&) const = default;
};

// A result column as ADO describes a Field.
struct ColumnInfo {
  std::string name;                      // UTF-8
  DataTypeEnum type = adVarWChar;        // Field.Type
  std::int32_t definedSize = 0;          // Field.DefinedSize
  std::uint8_t precision = kNotApplicable;
  std::uint8_t numericScale = kNotApplicable;
  std::int32_t attributes = adFldMayBeNull | adFldIsNullable;  // FieldAttributeEnum bits
  std::string baseTable;   // the table the column comes from, when known
  std::string baseColumn;  // its name there, when known
};

class RowStore {
 public:
  explicit RowStore(std::vector<ColumnInfo> columns);
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;
  ~RowStore();

  const std::vector<ColumnInfo>& Columns() const { return columns_; }
  std::size_t ColumnCount() const { return columns_.size(); }
  std::size_t RowCount() const { return rows_; }

  // Adds a row of Empty cells and returns its index.
  std::size_t AppendRow();

  // Reading. Row and column must be in range (callers check RowCount() and
  // ColumnCount()); the accessors of the wrong kind return 0 / empty.
  CellKind Kind(std::size_t row, std::size_t col) const { return columns_data_[col].kinds[row]; }
  std::int64_t Integer(std::size_t row, std::size_t col) const;
  double Double(std::size_t row, std::size_t col) const;
  std::string_view Bytes(std::size_t row, std::size_t col) const;
  // Text cells as UTF-16 (ASCII is widened directly; other text is decoded).
  UString TextUtf16(std::size_t row, std::size_t col) const;
  Value Get(std::size_t row, std::size_t col) const;

  // Writing (fetching, AddNew, edits). Replaced text stays in the arena
  // until the store is released.
  void SetNull(std::size_t row, std::size_t col) { SetSlot(row, col, CellKind::Null, 0); }
  void SetInteger(std::size_t row, std::size_t col, std::int64_t v, CellKind kind = CellKind::Integer);
  void SetDouble(std::size_t row, std::size_t col, double v, CellKind kind = CellKind::Double);
  void SetBytes(std::size_t row, std::size_t col, std::string_view v, CellKind kind = CellKind::Text);
  void Set(std::size_t row, std::size_t col, const Value& v);

  // Releases spare capacity once the last row is in.
  void Shrink();

  // Bytes held by the store's cells, arena and metadata.
  std::size_t MemoryBytes() const;

 private:
  struct ColumnData {
    std::vector<std::uint64_t> slots;
    std::vector<CellKind> kinds;
  };
  class Arena;

  void SetSlot(std::size_t row, std::size_t col, CellKind kind, std::uint64_t slot) {
    columns_data_[col].slots[row] = slot;
    columns_data_[col].kinds[row] = kind;
  }

  std::vector<ColumnInfo> columns_;
  std::vector<ColumnData> columns_data_;
  std::unique_ptr<Arena> arena_;
  std::size_t rows_ = 0;
};

// UTF-8 to UTF-16 with a fast path for ASCII.
UString Utf8ToUtf16(std::string_view utf8);

}  // namespace tarnel::adodb::provider
