// The client cursor's in-memory store: the column metadata of a result and
// its rows as typed cells (null, integer, double, boolean, currency, date,
// text, numeric-as-text, blob). Cells are kept row by row in blocks of a
// fixed number of rows: one 8-byte slot and one kind byte per cell; text and
// blob bytes live in an arena of stable blocks, so a slot can point straight
// at them. Blocks never move once full, so appending a row copies nothing
// already stored, and reading a cell is a few index operations (inline).
// The large buffers of a released store can go back to a BufferCache that
// the next stores of the same connection take them from.
// Ownership: a provider fills a store on its worker thread and hands the
// finished store over (shared_ptr) with the result; from then on it belongs
// to the apartment thread and is not synchronised. A BufferCache is shared
// by those threads and locks itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
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
  std::string baseSchema;  // the table's schema (PostgreSQL) or database (SQLite), when known
};

// Large buffers of released row stores, kept (up to a limit, the most recent
// first) for the next stores that need buffers of the same size, so that a
// connection re-running a big query reuses memory instead of having the
// system hand out, and clear, fresh pages every time. Any thread.
class BufferCache {
 public:
  static constexpr std::size_t kDefaultLimit = 16 * 1024 * 1024;
  // Buffers below this size are left to the allocator.
  static constexpr std::size_t kSmallest = 64 * 1024;

  explicit BufferCache(std::size_t limit = kDefaultLimit) : limit_(limit) {}
  BufferCache(const BufferCache&) = delete;
  BufferCache& operator=(const BufferCache&) = delete;
  ~BufferCache();

  // A buffer of `bytes` (uninitialised): a cached one of that size, else a
  // new one. Give it back with Give (or ::operator delete).
  void* Take(std::size_t bytes);
  // Keeps the buffer for a later Take, dropping the oldest kept ones when
  // the limit is passed; frees it when it is small or larger than the limit.
  void Give(void* buffer, std::size_t bytes) noexcept;
  // Bytes kept now.
  std::size_t Held() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::pair<std::size_t, void*>> kept_;  // oldest first
  std::size_t held_ = 0;
  std::size_t limit_;
};

class RowStore {
 public:
  // `cache` (optional) supplies the store's large buffers and receives them
  // back when the store is released.
  explicit RowStore(std::vector<ColumnInfo> columns, std::shared_ptr<BufferCache> cache = nullptr);
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;
  ~RowStore();

  const std::vector<ColumnInfo>& Columns() const { return columns_; }
  // The metadata of column `col`, for the provider that completes it (base
  // table, key) before it hands the store over.
  ColumnInfo& MutableColumn(std::size_t col) { return columns_[col]; }
  std::size_t ColumnCount() const { return columnCount_; }
  std::size_t RowCount() const { return rows_; }

  // Adds a row of Empty cells and returns its index.
  std::size_t AppendRow() {
    if (spareInLast_ != 0) [[likely]] {
      --spareInLast_;
      return rows_++;
    }
    return AppendRowSlow();
  }

  // Reading. Row and column must be in range (callers check RowCount() and
  // ColumnCount()); the accessors of the wrong kind return 0 / empty.
  CellKind Kind(std::size_t row, std::size_t col) const { return BlockOf(row).kinds[CellIndex(row, col)]; }
  std::int64_t Integer(std::size_t row, std::size_t col) const {
    const Block& b = BlockOf(row);
    const std::size_t i = CellIndex(row, col);
    switch (b.kinds[i]) {
      case CellKind::Integer:
      case CellKind::Boolean:
      case CellKind::Currency:
        return static_cast<std::int64_t>(b.slots[i]);
      default:
        return 0;
    }
  }
  double Double(std::size_t row, std::size_t col) const {
    const Block& b = BlockOf(row);
    const std::size_t i = CellIndex(row, col);
    if (b.kinds[i] != CellKind::Double && b.kinds[i] != CellKind::Date) return 0;
    double d;
    std::memcpy(&d, &b.slots[i], sizeof d);
    return d;
  }
  std::string_view Bytes(std::size_t row, std::size_t col) const {
    const Block& b = BlockOf(row);
    const std::size_t i = CellIndex(row, col);
    const CellKind k = b.kinds[i];
    if (k != CellKind::Text && k != CellKind::Numeric && k != CellKind::Blob) return {};
    return ReadRun(reinterpret_cast<const std::uint8_t*>(b.slots[i]));
  }
  // Text cells as UTF-16 (ASCII is widened directly; other text is decoded).
  UString TextUtf16(std::size_t row, std::size_t col) const;
  Value Get(std::size_t row, std::size_t col) const;

  // Writing (fetching, AddNew, edits). Replaced text stays in the arena
  // until the store is released.
  void SetNull(std::size_t row, std::size_t col) { SetSlot(row, col, CellKind::Null, 0); }
  void SetInteger(std::size_t row, std::size_t col, std::int64_t v, CellKind kind = CellKind::Integer) {
    SetSlot(row, col, kind, static_cast<std::uint64_t>(v));
  }
  void SetDouble(std::size_t row, std::size_t col, double v, CellKind kind = CellKind::Double) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    SetSlot(row, col, kind, bits);
  }
  void SetBytes(std::size_t row, std::size_t col, std::string_view v, CellKind kind = CellKind::Text) {
    SetSlot(row, col, kind, reinterpret_cast<std::uint64_t>(StoreRun(v)));
  }
  void Set(std::size_t row, std::size_t col, const Value& v);

  // Releases spare capacity once the last row is in.
  void Shrink();

  // Bytes held by the store's cells, arena and metadata.
  std::size_t MemoryBytes() const;

 private:
  // A buffer from the cache (or the allocator), given back when released.
  class Buffer {
   public:
    Buffer() = default;
    Buffer(BufferCache* cache, std::size_t bytes);
    Buffer(Buffer&& other) noexcept { *this = std::move(other); }
    Buffer& operator=(Buffer&& other) noexcept;
    ~Buffer() { Release(); }
    std::byte* data() const { return data_; }
    std::size_t size() const { return size_; }

   private:
    void Release();
    BufferCache* cache_ = nullptr;
    std::byte* data_ = nullptr;
    std::size_t size_ = 0;
  };
  // `1 << shift_` rows of cells, row by row: the slots, then the kinds, in
  // one buffer. Only the last block may hold fewer rows (its capacity grows
  // by doubling up to a full block).
  struct Block {
    Buffer buffer;
    std::uint64_t* slots = nullptr;
    CellKind* kinds = nullptr;
    std::size_t capacity = 0;  // rows
  };
  class Arena;

  const Block& BlockOf(std::size_t row) const { return blocks_[row >> shift_]; }
  std::size_t CellIndex(std::size_t row, std::size_t col) const { return (row & mask_) * columnCount_ + col; }
  void SetSlot(std::size_t row, std::size_t col, CellKind kind, std::uint64_t slot) {
    Block& b = blocks_[row >> shift_];
    const std::size_t i = CellIndex(row, col);
    b.slots[i] = slot;
    b.kinds[i] = kind;
  }
  std::size_t AppendRowSlow();
  void Reallocate(Block& block, std::size_t capacity);
  const std::uint8_t* StoreRun(std::string_view bytes);

  // A run in the arena: its length as a little-endian base-128 number, then
  // the bytes.
  static std::string_view ReadRun(const std::uint8_t* at) {
    std::uint64_t length = *at & 0x7F;
    if (*at++ & 0x80) {
      int shift = 7;
      while (true) {
        const std::uint8_t b = *at++;
        length |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
        shift += 7;
      }
    }
    return {reinterpret_cast<const char*>(at), static_cast<std::size_t>(length)};
  }

  std::shared_ptr<BufferCache> cache_;  // first: outlives the buffers it takes back
  std::vector<ColumnInfo> columns_;
  std::size_t columnCount_;
  unsigned shift_;
  std::size_t mask_;
  std::vector<Block> blocks_;
  std::size_t spareInLast_ = 0;  // rows the last block can still take
  std::unique_ptr<Arena> arena_;
  std::size_t rows_ = 0;
};

// UTF-8 to UTF-16 with a fast path for ASCII.
UString Utf8ToUtf16(std::string_view utf8);

}  // namespace tarnel::adodb::provider
