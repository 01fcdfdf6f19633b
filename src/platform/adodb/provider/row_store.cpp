// The client cursor store: typed cells in per-column vectors and the byte
// arena behind text and blob cells. The arena hands out stable addresses
// (blocks never move), so a text slot holds a pointer to a length-prefixed
// run of bytes and reading a cell needs no lookup.
#include "platform/adodb/provider/row_store.h"

#include <bit>
#include <cstring>

namespace tarnel::adodb::provider {

// Length-prefixed byte runs in blocks that grow from 4 KiB to 256 KiB; a run
// bigger than a quarter of a block gets a block of its own.
class RowStore::Arena {
 public:
  const std::uint8_t* Store(std::string_view bytes) {
    std::uint8_t prefix[10];
    std::size_t prefixLength = 0;
    for (std::uint64_t n = bytes.size();; n >>= 7) {
      const auto low = static_cast<std::uint8_t>(n & 0x7F);
      if (n < 0x80) {
        prefix[prefixLength++] = low;
        break;
      }
      prefix[prefixLength++] = low | 0x80;
    }
    const std::size_t need = prefixLength + bytes.size();
    std::uint8_t* at = Allocate(need);
    std::memcpy(at, prefix, prefixLength);
    if (!bytes.empty()) std::memcpy(at + prefixLength, bytes.data(), bytes.size());
    return at;
  }

  static std::string_view Read(const std::uint8_t* at) {
    std::uint64_t length = 0;
    int shift = 0;
    while (true) {
      const std::uint8_t b = *at++;
      length |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) break;
      shift += 7;
    }
    return {reinterpret_cast<const char*>(at), static_cast<std::size_t>(length)};
  }

  std::size_t Bytes() const { return bytes_ + blocks_.capacity() * sizeof(Block); }

 private:
  struct Block {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size;
  };
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLargestBlock = 256 * 1024;

  std::uint8_t* Allocate(std::size_t need) {
    if (need > nextBlock_ / 4) {
      // A large value: its own block, inserted before the current one so
      // the current block stays the one being filled.
      Block own{std::make_unique<std::uint8_t[]>(need), need};
      std::uint8_t* at = own.data.get();
      bytes_ += need;
      if (blocks_.empty()) {
        blocks_.push_back(std::move(own));
        used_ = need;  // full: the next small value opens a fresh block
      } else {
        blocks_.insert(blocks_.end() - 1, std::move(own));
      }
      return at;
    }
    if (blocks_.empty() || used_ + need > blocks_.back().size) {
      const std::size_t size = nextBlock_;
      blocks_.push_back({std::make_unique<std::uint8_t[]>(size), size});
      bytes_ += size;
      used_ = 0;
      if (nextBlock_ < kLargestBlock) nextBlock_ *= 2;
    }
    std::uint8_t* at = blocks_.back().data.get() + used_;
    used_ += need;
    return at;
  }

  std::vector<Block> blocks_;
  std::size_t used_ = 0;
  std::size_t nextBlock_ = kFirstBlock;
  std::size_t bytes_ = 0;
};

RowStore::RowStore(std::vector<ColumnInfo> columns)
    : columns_(std::move(columns)), columns_data_(columns_.size()), arena_(std::make_unique<Arena>()) {}

RowStore::~RowStore() = default;

std::size_t RowStore::AppendRow() {
  for (ColumnData& c : columns_data_) {
    c.slots.push_back(0);
    c.kinds.push_back(CellKind::Empty);
  }
  return rows_++;
}

std::int64_t RowStore::Integer(std::size_t row, std::size_t col) const {
  switch (Kind(row, col)) {
    case CellKind::Integer:
    case CellKind::Boolean:
    case CellKind::Currency:
      return static_cast<std::int64_t>(columns_data_[col].slots[row]);
    default:
      return 0;
  }
}

double RowStore::Double(std::size_t row, std::size_t col) const {
  const CellKind k = Kind(row, col);
  if (k != CellKind::Double && k != CellKind::Date) return 0;
  return std::bit_cast<double>(columns_data_[col].slots[row]);
}

std::string_view RowStore::Bytes(std::size_t row, std::size_t col) const {
  const CellKind k = Kind(row, col);
  if (k != CellKind::Text && k != CellKind::Numeric && k != CellKind::Blob) return {};
  return Arena::Read(reinterpret_cast<const std::uint8_t*>(columns_data_[col].slots[row]));
}

UString RowStore::TextUtf16(std::size_t row, std::size_t col) const { return Utf8ToUtf16(Bytes(row, col)); }

Value RowStore::Get(std::size_t row, std::size_t col) const {
  Value v;
  v.kind = Kind(row, col);
  switch (v.kind) {
    case CellKind::Integer:
    case CellKind::Boolean:
    case CellKind::Currency:
      v.integer = Integer(row, col);
      break;
    case CellKind::Double:
    case CellKind::Date:
      v.real = Double(row, col);
      break;
    case CellKind::Text:
    case CellKind::Numeric:
    case CellKind::Blob:
      v.bytes = std::string(Bytes(row, col));
      break;
    case CellKind::Empty:
    case CellKind::Null:
      break;
  }
  return v;
}

void RowStore::SetInteger(std::size_t row, std::size_t col, std::int64_t v, CellKind kind) {
  SetSlot(row, col, kind, static_cast<std::uint64_t>(v));
}

void RowStore::SetDouble(std::size_t row, std::size_t col, double v, CellKind kind) {
  SetSlot(row, col, kind, std::bit_cast<std::uint64_t>(v));
}

void RowStore::SetBytes(std::size_t row, std::size_t col, std::string_view v, CellKind kind) {
  SetSlot(row, col, kind, reinterpret_cast<std::uint64_t>(arena_->Store(v)));
}

void RowStore::Set(std::size_t row, std::size_t col, const Value& v) {
  switch (v.kind) {
    case CellKind::Integer:
    case CellKind::Boolean:
    case CellKind::Currency:
      SetInteger(row, col, v.integer, v.kind);
      break;
    case CellKind::Double:
    case CellKind::Date:
      SetDouble(row, col, v.real, v.kind);
      break;
    case CellKind::Text:
    case CellKind::Numeric:
    case CellKind::Blob:
      SetBytes(row, col, v.bytes, v.kind);
      break;
    case CellKind::Empty:
    case CellKind::Null:
      SetSlot(row, col, v.kind, 0);
      break;
  }
}

void RowStore::Shrink() {
  for (ColumnData& c : columns_data_) {
    c.slots.shrink_to_fit();
    c.kinds.shrink_to_fit();
  }
}

std::size_t RowStore::MemoryBytes() const {
  std::size_t total = sizeof(*this) + arena_->Bytes() + columns_.capacity() * sizeof(ColumnInfo) +
                      columns_data_.capacity() * sizeof(ColumnData);
  for (const ColumnInfo& c : columns_) total += c.name.capacity() + c.baseTable.capacity() + c.baseColumn.capacity();
  for (const ColumnData& c : columns_data_) {
    total += c.slots.capacity() * sizeof(std::uint64_t) + c.kinds.capacity() * sizeof(CellKind);
  }
  return total;
}

UString Utf8ToUtf16(std::string_view utf8) {
  std::size_t i = 0;
  const std::size_t n = utf8.size();
  // Most database text is ASCII: check eight bytes at a time.
  while (i + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, utf8.data() + i, 8);
    if (word & 0x8080808080808080ull) break;
    i += 8;
  }
  while (i < n && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
  if (i < n) return FromUtf8(utf8);
  UString out(n, u'\0');
  for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<char16_t>(utf8[k]);
  return out;
}

}  // namespace tarnel::adodb::provider
