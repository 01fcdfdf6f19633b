// The client store against the engines' raw loops: 200,000 rows of five
// columns (two integers, a double, two texts) fetched through a provider
// session and walked in the store, next to the raw sqlite3_step /
// sqlite3_column_* loop and the raw PQexec / PQgetvalue loop reading the
// same query. The "SideBySide" benchmarks time both in every iteration and
// report the time ratio and the memory ratio (store bytes / raw value bytes)
// as counters. PostgreSQL runs when TARNEL_PG_CONN is set.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/adodb/provider/provider.h"

namespace {

using namespace tarnel::adodb::provider;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 200000;
const char* const kQuery = "SELECT id, a, x, name, note FROM walk_bench ORDER BY id";

struct Checksum {
  std::int64_t ints = 0;
  double reals = 0;
  std::size_t textBytes = 0;
  std::size_t rawBytes = 0;  // bytes of the values themselves
};

std::string Text(int i, int which) {
  return which == 0 ? "name-" + std::to_string(i) : "a note about row " + std::to_string(i * 7);
}

// Walks every cell of the store as the object model reads Field values.
Checksum WalkStore(const RowStore& store) {
  Checksum c;
  const std::size_t rows = store.RowCount(), cols = store.ColumnCount();
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < cols; ++k) {
      switch (store.Kind(r, k)) {
        case CellKind::Integer:
          c.ints += store.Integer(r, k);
          c.rawBytes += 8;
          break;
        case CellKind::Double:
          c.reals += store.Double(r, k);
          c.rawBytes += 8;
          break;
        case CellKind::Text: {
          const std::string_view t = store.Bytes(r, k);
          c.textBytes += t.size() + static_cast<unsigned char>(t.empty() ? 0 : t[0]);
          c.rawBytes += t.size();
          break;
        }
        default:
          break;
      }
    }
  }
  return c;
}

std::unique_ptr<Session> OpenSession(const std::string& cs) {
  ConnectOptions o;
  o.connectionString = cs;
  o.commandTimeout = std::chrono::milliseconds(0);
  Status status;
  auto s = CreateSession(o, &status);
  if (!s || !s->Open().status.ok()) return nullptr;
  return s;
}

std::shared_ptr<RowStore> FetchStore(Session& s) {
  CommandRequest c;
  c.text = kQuery;
  c.timeout = std::chrono::milliseconds(0);
  Result r = s.Execute(c);
  if (!r.status.ok() || r.sets.empty()) return nullptr;
  return r.sets[0].rows;
}

// ---- SQLite -----------------------------------------------------------

class SqliteData {
 public:
  static SqliteData& Get() {
    static SqliteData data;
    return data;
  }
  const std::string& path() const { return path_; }
  std::string ConnectionString() const { return "Provider=SQLite;Data Source=" + path_; }

 private:
  SqliteData() {
    path_ = (std::filesystem::temp_directory_path() / ("tt_walk_bench_" + std::to_string(::getpid()) + ".db")).string();
    std::filesystem::remove(path_);
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE walk_bench (id INTEGER PRIMARY KEY, a INTEGER, x REAL, name TEXT, note TEXT);"
                     "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO walk_bench VALUES (?, ?, ?, ?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string name = Text(i, 0), note = Text(i, 1);
      sqlite3_bind_int64(ins, 1, i);
      sqlite3_bind_int64(ins, 2, static_cast<std::int64_t>(i) * 31 % 1000);
      sqlite3_bind_double(ins, 3, i * 0.25);
      sqlite3_bind_text(ins, 4, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 5, note.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  ~SqliteData() { std::filesystem::remove(path_); }
  std::string path_;
};

Checksum SqliteRawLoop(sqlite3* db) {
  Checksum c;
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int k = 0; k < 5; ++k) {
      switch (sqlite3_column_type(stmt, k)) {
        case SQLITE_INTEGER:
          c.ints += sqlite3_column_int64(stmt, k);
          c.rawBytes += 8;
          break;
        case SQLITE_FLOAT:
          c.reals += sqlite3_column_double(stmt, k);
          c.rawBytes += 8;
          break;
        case SQLITE_TEXT: {
          const auto* t = sqlite3_column_text(stmt, k);
          const auto n = static_cast<std::size_t>(sqlite3_column_bytes(stmt, k));
          c.textBytes += n + (n ? t[0] : 0);
          c.rawBytes += n;
          break;
        }
        default:
          break;
      }
    }
  }
  sqlite3_finalize(stmt);
  return c;
}

void BM_SqliteRawLoop(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(SqliteData::Get().path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(SqliteRawLoop(db));
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteRawLoop)->Unit(benchmark::kMillisecond);

void BM_SqliteStoreFetchAndWalk(benchmark::State& state) {
  auto session = OpenSession(SqliteData::Get().ConnectionString());
  if (!session) return state.SkipWithError("could not open the SQLite database");
  for (auto _ : state) {
    auto store = FetchStore(*session);
    benchmark::DoNotOptimize(WalkStore(*store));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteStoreFetchAndWalk)->Unit(benchmark::kMillisecond);

void BM_SqliteStoreWalkOnly(benchmark::State& state) {
  auto session = OpenSession(SqliteData::Get().ConnectionString());
  if (!session) return state.SkipWithError("could not open the SQLite database");
  auto store = FetchStore(*session);
  for (auto _ : state) benchmark::DoNotOptimize(WalkStore(*store));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteStoreWalkOnly)->Unit(benchmark::kMillisecond);

// Both loops in every iteration: the ratios the budget is about.
void BM_SqliteSideBySide(benchmark::State& state) {
  auto session = OpenSession(SqliteData::Get().ConnectionString());
  if (!session) return state.SkipWithError("could not open the SQLite database");
  sqlite3* db = nullptr;
  sqlite3_open_v2(SqliteData::Get().path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  Clock::duration raw{}, store{}, walk{};
  double storeBytes = 0, rawBytes = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const Checksum a = SqliteRawLoop(db);
    auto t1 = Clock::now();
    auto rows = FetchStore(*session);
    auto t2 = Clock::now();
    const Checksum b = WalkStore(*rows);
    auto t3 = Clock::now();
    if (a.ints != b.ints || a.textBytes != b.textBytes) state.SkipWithError("the loops read different values");
    raw += t1 - t0;
    store += t3 - t1;
    walk += t3 - t2;
    storeBytes = static_cast<double>(rows->MemoryBytes());
    rawBytes = static_cast<double>(a.rawBytes);
  }
  sqlite3_close(db);
  const double n = static_cast<double>(state.iterations());
  state.counters["raw_ms"] = std::chrono::duration<double, std::milli>(raw).count() / n;
  state.counters["fetch_walk_ms"] = std::chrono::duration<double, std::milli>(store).count() / n;
  state.counters["walk_ms"] = std::chrono::duration<double, std::milli>(walk).count() / n;
  state.counters["time_ratio"] = std::chrono::duration<double>(store) / std::chrono::duration<double>(raw);
  state.counters["walk_ratio"] = std::chrono::duration<double>(walk) / std::chrono::duration<double>(raw);
  state.counters["store_bytes"] = storeBytes;
  state.counters["raw_bytes"] = rawBytes;
  state.counters["memory_ratio"] = storeBytes / rawBytes;
}
BENCHMARK(BM_SqliteSideBySide)->Unit(benchmark::kMillisecond)->Iterations(5);

// ---- PostgreSQL -------------------------------------------------------

const char* PgConnection() {
  const char* s = std::getenv("TARNEL_PG_CONN");
  return s && *s ? s : nullptr;
}

// The raw libpq connection for the same server (host, port, database, user
// taken from TARNEL_PG_CONN).
PGconn* RawPg() {
  std::optional<ConnectionString> cs = ConnectionString::Parse(PgConnection(), nullptr);
  if (!cs) return nullptr;
  std::string info;
  const auto add = [&](const char* key, std::initializer_list<std::string_view> names) {
    if (const std::string* v = cs->FindAny(names)) info += std::string(key) + "='" + *v + "' ";
  };
  add("host", {"Server", "Data Source", "Host"});
  add("port", {"Port"});
  add("dbname", {"Database", "Initial Catalog"});
  add("user", {"User ID", "UID"});
  add("password", {"Password", "PWD"});
  PGconn* conn = PQconnectdb(info.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    PQfinish(conn);
    return nullptr;
  }
  return conn;
}

class PgData {
 public:
  static PgData& Get() {
    static PgData data;
    return data;
  }
  bool ready() const { return ready_; }

 private:
  PgData() {
    PGconn* conn = RawPg();
    if (!conn) return;
    PQclear(PQexec(conn,
                   "SET client_min_messages = warning; DROP TABLE IF EXISTS walk_bench; "
                   "CREATE TABLE walk_bench (id bigint PRIMARY KEY, a bigint, x double precision, name text, note text); "
                   "INSERT INTO walk_bench SELECT i, i * 31 % 1000, i * 0.25, 'name-' || i, 'a note about row ' || (i * 7) "
                   "FROM generate_series(0, 199999) AS i; ANALYZE walk_bench"));
    PGresult* check = PQexec(conn, "SELECT count(*) FROM walk_bench");
    ready_ = PQresultStatus(check) == PGRES_TUPLES_OK && std::string(PQgetvalue(check, 0, 0)) == "200000";
    PQclear(check);
    PQfinish(conn);
  }
  ~PgData() {
    if (!ready_) return;
    if (PGconn* c = RawPg()) {
      PQclear(PQexec(c, "DROP TABLE IF EXISTS walk_bench"));
      PQfinish(c);
    }
  }
  bool ready_ = false;
};

// The raw loop reads every value as an application must: numbers parsed
// from libpq's text, texts as pointer and length.
Checksum PgRawLoop(PGconn* conn) {
  Checksum c;
  PGresult* res = PQexec(conn, kQuery);
  const int rows = PQntuples(res);
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < 5; ++k) {
      const char* v = PQgetvalue(res, r, k);
      const int n = PQgetlength(res, r, k);
      if (k < 2) {
        std::int64_t i = 0;
        std::from_chars(v, v + n, i);
        c.ints += i;
        c.rawBytes += 8;
      } else if (k == 2) {
        double d = 0;
        std::from_chars(v, v + n, d);
        c.reals += d;
        c.rawBytes += 8;
      } else {
        c.textBytes += static_cast<std::size_t>(n) + (n ? static_cast<unsigned char>(v[0]) : 0);
        c.rawBytes += static_cast<std::size_t>(n);
      }
    }
  }
  PQclear(res);
  return c;
}

void BM_PgRawLoop(benchmark::State& state) {
  if (!PgConnection() || !PgData::Get().ready()) return state.SkipWithError("TARNEL_PG_CONN is not set");
  PGconn* conn = RawPg();
  for (auto _ : state) benchmark::DoNotOptimize(PgRawLoop(conn));
  PQfinish(conn);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PgRawLoop)->Unit(benchmark::kMillisecond);

void BM_PgStoreFetchAndWalk(benchmark::State& state) {
  if (!PgConnection() || !PgData::Get().ready()) return state.SkipWithError("TARNEL_PG_CONN is not set");
  auto session = OpenSession(PgConnection());
  if (!session) return state.SkipWithError("could not connect");
  for (auto _ : state) {
    auto store = FetchStore(*session);
    benchmark::DoNotOptimize(WalkStore(*store));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PgStoreFetchAndWalk)->Unit(benchmark::kMillisecond);

void BM_PgSideBySide(benchmark::State& state) {
  if (!PgConnection() || !PgData::Get().ready()) return state.SkipWithError("TARNEL_PG_CONN is not set");
  auto session = OpenSession(PgConnection());
  PGconn* conn = RawPg();
  if (!session || !conn) return state.SkipWithError("could not connect");
  Clock::duration raw{}, store{};
  double storeBytes = 0, rawBytes = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const Checksum a = PgRawLoop(conn);
    auto t1 = Clock::now();
    auto rows = FetchStore(*session);
    const Checksum b = WalkStore(*rows);
    auto t2 = Clock::now();
    if (a.ints != b.ints || a.textBytes != b.textBytes) state.SkipWithError("the loops read different values");
    raw += t1 - t0;
    store += t2 - t1;
    storeBytes = static_cast<double>(rows->MemoryBytes());
    rawBytes = static_cast<double>(a.rawBytes);
  }
  PQfinish(conn);
  const double n = static_cast<double>(state.iterations());
  state.counters["raw_ms"] = std::chrono::duration<double, std::milli>(raw).count() / n;
  state.counters["fetch_walk_ms"] = std::chrono::duration<double, std::milli>(store).count() / n;
  state.counters["time_ratio"] = std::chrono::duration<double>(store) / std::chrono::duration<double>(raw);
  state.counters["store_bytes"] = storeBytes;
  state.counters["raw_bytes"] = rawBytes;
  state.counters["memory_ratio"] = storeBytes / rawBytes;
}
BENCHMARK(BM_PgSideBySide)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
