// The client cursor store: typed cells in blocks of rows, the byte arena
// behind text and blob cells, and the cache that hands the large buffers of
// released stores to the next ones. The arena hands out stable addresses
// (blocks never move), so a text slot holds a pointer to a length-prefixed
// run of bytes and reading a cell needs no lookup.
#include "platform/adodb/provider/row_store.h"

#include <algorithm>
#include <new>
#include <utility>

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

// --- BufferCache ---------------------------------------------------------

BufferCache::~BufferCache() {
  for (const auto& [bytes, buffer] : kept_) ::operator delete(buffer);
}

void* BufferCache::Take(std::size_t bytes) {
  if (bytes >= kSmallest) {
    std::lock_guard lock(mutex_);
    for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
      if (it->first != bytes) continue;
      void* buffer = it->second;
      kept_.erase(std::next(it).base());
      held_ -= bytes;
      return buffer;
    }
  }
  return ::operator new(bytes);
}

void BufferCache::Give(void* buffer, std::size_t bytes) noexcept {
  if (!buffer) return;
  if (bytes >= kSmallest && bytes <= limit_) {
    std::lock_guard lock(mutex_);
    try {
      kept_.emplace_back(bytes, buffer);
      held_ += bytes;
      while (held_ > limit_) {
        ::operator delete(kept_.front().second);
        held_ -= kept_.front().first;
        kept_.pop_front();
      }
      return;
    } catch (const std::bad_alloc&) {
      // No room to note it: the buffer goes back to the allocator.
    }
  }
  ::operator delete(buffer);
}

std::size_t BufferCache::Held() const {
  std::lock_guard lock(mutex_);
  return held_;
}

RowStore::Buffer::Buffer(BufferCache* cache, std::size_t bytes)
    : cache_(cache),
      data_(static_cast<std::byte*>(cache ? cache->Take(bytes) : ::operator new(bytes))),
      size_(bytes) {}

RowStore::Buffer& RowStore::Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    Release();
    cache_ = std::exchange(other.cache_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void RowStore::Buffer::Release() {
  if (!data_) return;
  if (cache_) {
    cache_->Give(data_, size_);
  } else {
    ::operator delete(data_);
  }
  data_ = nullptr;
  size_ = 0;
}

// --- Arena -----------------------------------------------------------------

// Length-prefixed byte runs in blocks that grow from 4 KiB to 256 KiB; a run
// bigger than a quarter of a block gets a block of its own.
class RowStore::Arena {
 public:
  explicit Arena(BufferCache* cache) : cache_(cache) {}

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

  std::size_t Bytes() const { return bytes_ + blocks_.capacity() * sizeof(Buffer); }

 private:
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLargestBlock = 256 * 1024;

  std::uint8_t* Allocate(std::size_t need) {
    if (need > nextBlock_ / 4) {
      // A large value: its own block, inserted before the current one so
      // the current block stays the one being filled.
      Buffer own(cache_, need);
      auto* at = reinterpret_cast<std::uint8_t*>(own.data());
      bytes_ += need;
      if (blocks_.empty()) {
        blocks_.push_back(std::move(own));
        used_ = need;  // full: the next small value opens a fresh block
      } else {
        blocks_.insert(blocks_.end() - 1, std::move(own));
      }
      return at;
    }
    if (blocks_.empty() || used_ + need > blocks_.back().size()) {
      const std::size_t size = nextBlock_;
      blocks_.emplace_back(cache_, size);
      bytes_ += size;
      used_ = 0;
      if (nextBlock_ < kLargestBlock) nextBlock_ *= 2;
    }
    auto* at = reinterpret_cast<std::uint8_t*>(blocks_.back().data()) + used_;
    used_ += need;
    return at;
  }

  BufferCache* cache_;
  std::vector<Buffer> blocks_;
  std::size_t used_ = 0;
  std::size_t nextBlock_ = kFirstBlock;
  std::size_t bytes_ = 0;
};

// --- RowStore --------------------------------------------------------------

RowStore::RowStore(std::vector<ColumnInfo> columns, std::shared_ptr<BufferCache> cache)
    : cache_(std::move(cache)),
      columns_(std::move(columns)),
      columnCount_(columns_.size()),
      shift_(BlockShift(columnCount_)),
      mask_((std::size_t{1} << shift_) - 1),
      arena_(std::make_unique<Arena>(cache_.get())) {}

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
  Buffer buffer(cache_.get(), cells * (sizeof(std::uint64_t) + sizeof(CellKind)));
  auto* slots = reinterpret_cast<std::uint64_t*>(buffer.data());
  auto* kinds = reinterpret_cast<CellKind*>(buffer.data() + cells * sizeof(std::uint64_t));
  if (keep) {
    std::memcpy(slots, block.slots, keep * sizeof(std::uint64_t));
    std::memcpy(kinds, block.kinds, keep * sizeof(CellKind));
  }
  std::memset(kinds + keep, 0, (cells - keep) * sizeof(CellKind));
  block.buffer = std::move(buffer);
  block.slots = slots;
  block.kinds = kinds;
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
  for (const Block& b : blocks_) total += b.buffer.size();
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
