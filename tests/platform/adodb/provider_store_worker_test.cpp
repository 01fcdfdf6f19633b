// The client store (cells of every kind, large and replaced values, the
// memory it reports, UTF-16 text) and the connection worker (FIFO order,
// cancel flags, a stop that drains the queue and joins).
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

TEST(RowStore, TextAsUtf16) {
  RowStore store({ColumnInfo{.name = "t"}});
  for (const char* t : {"plain ascii text over eight bytes", "Grüße ✓ 😀", ""}) {
    store.SetBytes(store.AppendRow(), 0, t);
  }
  EXPECT_EQ(store.TextUtf16(0, 0), u"plain ascii text over eight bytes");
  EXPECT_EQ(store.TextUtf16(1, 0), u"Grüße ✓ 😀");
  EXPECT_EQ(store.TextUtf16(2, 0), u"");
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
