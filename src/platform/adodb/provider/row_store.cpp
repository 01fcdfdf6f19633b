// The client cursor store: typed cells in blocks of rows and the byte arena
// behind text and blob cells. The arena hands out stable addresses (blocks
// never move), so a text slot holds a pointer to a length-prefixed run of
// bytes and reading a cell needs no lookup.
#include "platform/adodb/provider/row_store.h"

#include <algorithm>

namespace tarnel::adodb::provider {

namespace {

static_assert(static_cast<int>(CellKind::Empty) == 0, "fresh kind bytes are zeroed");

// Rows in the first block; it doubles up to a full block as rows arrive.
constexpr std::size_t kFirstBlockRows = 16;
// A full block holds about this many cells (a power of two of rows, from 64
// to 4096), so wide results still get blocks of a sensible size.
constexpr std::size_t kCellsPerBlock = 32768;

unsigned BlockShift(std::size_t columns) {
  const std::size_t want = kCellsPerBlock / std::max<std::size_t>(columns, 1);
  unsigned shift = 6;
  while (shift < 12 && (std::size_t{1} << (shift + 1)) <= want) ++shift;
  return shift;
}

}  // namespace

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
      Block own{std::make_unique_for_overwrite<std::uint8_t[]>(need), need};
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
      blocks_.push_back({std::make_unique_for_overwrite<std::uint8_t[]>(size), size});
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
    : columns_(std::move(columns)),
      columnCount_(columns_.size()),
      shift_(BlockShift(columnCount_)),
      mask_((std::size_t{1} << shift_) - 1),
      arena_(std::make_unique<Arena>()) {}

RowStore::~RowStore() = default;

std::size_t RowStore::AppendRowSlow() {
  const std::size_t blockRows = mask_ + 1;
  const std::size_t inBlock = rows_ & mask_;
  if (inBlock == 0) {
    // The last block is full (or there is none): start the next one.
    blocks_.emplace_back();
    Reallocate(blocks_.back(), blocks_.size() == 1 ? std::min(kFirstBlockRows, blockRows) : blockRows);
  } else {
    Block& last = blocks_.back();
    Reallocate(last, std::min(blockRows, std::max<std::size_t>(last.capacity * 2, kFirstBlockRows)));
  }
  spareInLast_ = blocks_.back().capacity - inBlock - 1;
  return rows_++;
}

void RowStore::Reallocate(Block& block, std::size_t capacity) {
  const std::size_t keep = std::min(block.capacity, capacity) * columnCount_;
  const std::size_t cells = capacity * columnCount_;
  // Slots are only read for the kinds that set them, so they start
  // uninitialised; kinds start Empty.
  auto slots = std::make_unique_for_overwrite<std::uint64_t[]>(cells);
  auto kinds = std::make_unique_for_overwrite<CellKind[]>(cells);
  if (keep) {
    std::memcpy(slots.get(), block.slots.get(), keep * sizeof(std::uint64_t));
    std::memcpy(kinds.get(), block.kinds.get(), keep * sizeof(CellKind));
  }
  std::memset(kinds.get() + keep, 0, (cells - keep) * sizeof(CellKind));
  block.slots = std::move(slots);
  block.kinds = std::move(kinds);
  block.capacity = capacity;
}

const std::uint8_t* RowStore::StoreRun(std::string_view bytes) { return arena_->Store(bytes); }

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
  if (blocks_.empty()) return;
  const std::size_t inLast = rows_ & mask_;
  if (rows_ == 0) {
    blocks_.clear();
  } else if (inLast != 0 && blocks_.back().capacity > inLast) {
    Reallocate(blocks_.back(), inLast);
  }
  blocks_.shrink_to_fit();
  spareInLast_ = 0;
}

std::size_t RowStore::MemoryBytes() const {
  std::size_t total = sizeof(*this) + arena_->Bytes() + columns_.capacity() * sizeof(ColumnInfo) +
                      blocks_.capacity() * sizeof(Block);
  for (const ColumnInfo& c : columns_) {
    total += c.name.capacity() + c.baseTable.capacity() + c.baseColumn.capacity() + c.baseSchema.capacity();
  }
  for (const Block& b : blocks_) total += b.capacity * columnCount_ * (sizeof(std::uint64_t) + sizeof(CellKind));
  return total;
}

UString Utf8ToUtf16(std::string_view utf8) {
  // Most database text is ASCII: widen every byte while noting whether any
  // has its top bit set (one pass the compiler vectorises), and decode
  // properly only when one has.
  const std::size_t n = utf8.size();
  UString out(n, u'\0');
  const auto* from = reinterpret_cast<const unsigned char*>(utf8.data());
  char16_t* to = out.data();
  unsigned char seen = 0;
  for (std::size_t k = 0; k < n; ++k) {
    seen |= from[k];
    to[k] = from[k];
  }
  if (seen & 0x80) return FromUtf8(utf8);
  return out;
}

}  // namespace tarnel::adodb::provider
