// The client store (cells of every kind, large and replaced values, rows
// across blocks of any width, the memory it reports, UTF-16 text, buffers
// handed from released stores to new ones) and the connection worker (FIFO
// order, cancel flags, a stop that drains the queue and joins).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/adodb/provider/row_store.h"
#include "platform/adodb/provider/worker.h"

namespace tarnel::adodb::provider {
namespace {

using namespace std::chrono_literals;

TEST(RowStore, CellsOfEveryKindReadBack) {
  RowStore store({ColumnInfo{.name = "a"}, ColumnInfo{.name = "b"}});
  const Value values[] = {Value::Null(),        Value::Empty(),           Value::Int(-7),
                          Value::Real(2.5),     Value::Bool(true),        Value::Money(123456),
                          Value::OleDate(1.5),  Value::Text("héllo"),     Value::Decimal("-0.001"),
                          Value::Binary(std::string("\0\1", 2)), Value::Text("")};
  for (const Value& v : values) {
    const std::size_t row = store.AppendRow();
    store.Set(row, 1, v);
    EXPECT_EQ(store.Kind(row, 0), CellKind::Empty);
  }
  ASSERT_EQ(store.RowCount(), std::size(values));
  for (std::size_t i = 0; i < std::size(values); ++i) EXPECT_EQ(store.Get(i, 1), values[i]) << i;
  // Accessors of the wrong kind give nothing rather than reinterpret bits.
  EXPECT_EQ(store.Integer(3, 1), 0);
  EXPECT_EQ(store.Double(2, 1), 0.0);
  EXPECT_EQ(store.Bytes(2, 1), "");
}

TEST(RowStore, LargeAndReplacedValuesStayIntact) {
  RowStore store({ColumnInfo{.name = "t"}});
  const std::string big(300000, 'x'), mid(5000, 'y');
  std::vector<std::string> small;
  for (int i = 0; i < 2000; ++i) {
    const std::size_t row = store.AppendRow();
    small.push_back("value " + std::to_string(i));
    store.SetBytes(row, 0, i == 500 ? big : i == 600 ? mid : small.back());
  }
  for (int i = 0; i < 2000; ++i) {
    const std::string_view expected = i == 500 ? std::string_view(big) : i == 600 ? std::string_view(mid) : small[i];
    ASSERT_EQ(store.Bytes(i, 0), expected) << i;
  }
  store.SetBytes(3, 0, "replaced");
  EXPECT_EQ(store.Bytes(3, 0), "replaced");
  EXPECT_EQ(store.Bytes(4, 0), small[4]);
  EXPECT_GE(store.MemoryBytes(), big.size() + mid.size());
}

TEST(RowStore, MemoryStaysCloseToTheValues) {
  RowStore store({ColumnInfo{.name = "i"}, ColumnInfo{.name = "s"}});
  std::size_t raw = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::size_t row = store.AppendRow();
    store.SetInteger(row, 0, i);
    const std::string s = "name-" + std::to_string(i * 7919);
    store.SetBytes(row, 1, s);
    raw += 8 + s.size();
  }
  store.Shrink();
  EXPECT_LT(store.MemoryBytes(), 2 * raw);
}

// The value a test puts in cell (row, col): kinds and values vary along both.
Value CellFor(std::size_t row, std::size_t col) {
  switch ((row + col) % 5) {
    case 0: return Value::Int(static_cast<std::int64_t>(row * 1000 + col));
    case 1: return Value::Text("r" + std::to_string(row) + "c" + std::to_string(col));
    case 2: return Value::Real(static_cast<double>(row) + 0.5);
    case 3: return Value::Null();
    default: return Value::Empty();  // never set
  }
}

void Fill(RowStore& store, std::size_t rows) {
  for (std::size_t n = 0; n < rows; ++n) {
    const std::size_t row = store.AppendRow();
    for (std::size_t c = 0; c < store.ColumnCount(); ++c) {
      const Value v = CellFor(row, c);
      if (v.kind != CellKind::Empty) store.Set(row, c, v);
    }
  }
}

::testing::AssertionResult Holds(const RowStore& store, std::size_t rows) {
  if (store.RowCount() != rows) return ::testing::AssertionFailure() << store.RowCount() << " rows";
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < store.ColumnCount(); ++c) {
      if (store.Get(r, c) != CellFor(r, c)) return ::testing::AssertionFailure() << "cell " << r << "," << c;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(RowStore, RowsAcrossBlocksOfAnyWidthStayIntact) {
  for (const std::size_t width : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{300}}) {
    SCOPED_TRACE(width);
    RowStore store{std::vector<ColumnInfo>(width)};
    const std::size_t rows = width > 100 ? 1500 : 9000;  // several full blocks and a partial one
    Fill(store, rows);
    EXPECT_TRUE(Holds(store, rows));
    // Shrinking trims the last block; rows added afterwards grow it again.
    store.Shrink();
    EXPECT_TRUE(Holds(store, rows));
    Fill(store, 70);
    EXPECT_TRUE(Holds(store, rows + 70));
    store.Shrink();
    EXPECT_TRUE(Holds(store, rows + 70));
  }
  RowStore empty({ColumnInfo{.name = "x"}});
  empty.Shrink();
  EXPECT_EQ(empty.RowCount(), 0u);
  const std::size_t row = empty.AppendRow();
  EXPECT_EQ(empty.Kind(row, 0), CellKind::Empty);
}

TEST(BufferCache, KeepsBuffersOfARepeatedSizeWithinItsLimit) {
  BufferCache cache(300 * 1024);
  void* a = cache.Take(128 * 1024);
  cache.Give(a, 128 * 1024);
  EXPECT_EQ(cache.Held(), 128u * 1024);
  EXPECT_EQ(cache.Take(128 * 1024), a) << "the same size comes back";
  EXPECT_EQ(cache.Held(), 0u);
  // Small buffers and buffers beyond the limit go back to the allocator.
  cache.Give(cache.Take(1000), 1000);
  cache.Give(cache.Take(400 * 1024), 400 * 1024);
  EXPECT_EQ(cache.Held(), 0u);
  // Past the limit the oldest kept buffers make room for the newest.
  void* b = cache.Take(100 * 1024);
  void* c = cache.Take(100 * 1024);
  cache.Give(a, 128 * 1024);
  cache.Give(b, 100 * 1024);
  cache.Give(c, 100 * 1024);
  EXPECT_EQ(cache.Held(), 200u * 1024) << "the oldest one made room";
  void* e = cache.Take(128 * 1024);
  EXPECT_EQ(cache.Held(), 200u * 1024) << "none of that size is kept any more";
  cache.Give(e, 128 * 1024);
  EXPECT_EQ(cache.Held(), 228u * 1024);
}

TEST(RowStore, ReleasedStoresLeaveTheirBuffersToTheNextOnes) {
  auto cache = std::make_shared<BufferCache>();
  std::vector<ColumnInfo> columns(5);
  {
    RowStore first(columns, cache);
    Fill(first, 30000);
    first.Shrink();
    EXPECT_TRUE(Holds(first, 30000));
  }
  const std::size_t kept = cache->Held();
  EXPECT_GT(kept, 0u) << "the full blocks and the text arena are kept";
  RowStore second(columns, cache);
  // Recycled buffers hold the first store's cells: fresh rows must still
  // read Empty, and the new values must read back.
  for (int i = 0; i < 20000; ++i) {
    const std::size_t row = second.AppendRow();
    ASSERT_EQ(second.Kind(row, 4), CellKind::Empty) << row;
  }
  for (std::size_t r = 0; r < second.RowCount(); ++r) {
    for (std::size_t c = 0; c < 5; ++c) {
      const Value v = CellFor(r, c);
      if (v.kind != CellKind::Empty) second.Set(r, c, v);
    }
  }
  EXPECT_TRUE(Holds(second, 20000));
  EXPECT_LT(cache->Held(), kept) << "the second store took buffers from the cache";
}

TEST(RowStore, TextAsUtf16) {
  RowStore store({ColumnInfo{.name = "t"}});
  for (const char* t : {"plain ascii text over eight bytes", "Grüße ✓ 😀", ""}) {
    store.SetBytes(store.AppendRow(), 0, t);
  }
  EXPECT_EQ(store.TextUtf16(0, 0), u"plain ascii text over eight bytes");
  EXPECT_EQ(store.TextUtf16(1, 0), u"Grüße ✓ 😀");
  EXPECT_EQ(store.TextUtf16(2, 0), u"");
  // A non-ASCII byte anywhere, also after a long ASCII run, is decoded.
  EXPECT_EQ(Utf8ToUtf16(std::string(40, 'a') + "\xc3\xa9"), std::u16string(40, u'a') + u"é");
  EXPECT_EQ(Utf8ToUtf16("\xff"), u"\xfffd") << "invalid UTF-8";
}

TEST(Worker, JobsRunInOrderOnOneOtherThread) {
  Worker worker;
  ASSERT_TRUE(worker.Start(nullptr));
  std::vector<int> order;
  std::atomic<int> done{0};
  std::thread::id where;
  for (int i = 0; i < 100; ++i) {
    worker.Post([&, i](const JobControl&) {
      order.push_back(i);
      where = std::this_thread::get_id();
      ++done;
    });
  }
  worker.Stop();
  EXPECT_EQ(done.load(), 100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_NE(where, std::this_thread::get_id());
}

TEST(Worker, CancelFlagsReachQueuedAndRunningJobs) {
  Worker worker;
  ASSERT_TRUE(worker.Start(nullptr));
  std::atomic<bool> started{false}, sawCancel{false}, secondCancelled{false}, thirdCancelled{true};
  const JobId running = worker.Post([&](const JobControl& c) {
    started = true;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!c.Cancelled() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
    sawCancel = c.Cancelled();
  });
  const JobId second = worker.Post([&](const JobControl& c) { secondCancelled = c.Cancelled(); });
  worker.Post([&](const JobControl& c) { thirdCancelled = c.Cancelled(); });
  while (!started) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(worker.Pending(), 3u);
  worker.Cancel(second);
  worker.Cancel(running);
  worker.Cancel(9999);  // unknown ids are ignored
  worker.Stop();
  EXPECT_TRUE(sawCancel);
  EXPECT_TRUE(secondCancelled);
  // Stop cancels what is still queued, and still runs it.
  EXPECT_TRUE(thirdCancelled);
  // After Stop, a job runs at once, cancelled, on the caller.
  bool late = false;
  worker.Post([&](const JobControl& c) { late = c.Cancelled(); });
  EXPECT_TRUE(late);
  worker.Stop();  // idempotent
}

}  // namespace
}  // namespace tarnel::adodb::provider
