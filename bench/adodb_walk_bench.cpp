// Walking a client-side recordset of 200,000 rows x 5 columns with MoveNext
// and Field.Value, against the raw engine loop that produces the same
// values (sqlite3_step / sqlite3_column_*; PQexec / PQgetvalue when
// TARNEL_PG_CONN names a PostgreSQL server). The Recordset is timed both
// for the walk alone (rows already fetched) and for Execute plus the walk,
// and once more through IDispatch calls as a script makes them. The
// "SideBySide" benchmarks run the raw loop and Execute plus the walk in
// every iteration and report the ratios of their wall-clock and CPU times
// (all threads of the process: the provider fetches on its worker) as
// counters, so that a loaded machine slows both alike.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/adodb/adodb_enums.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/recordset.h"
#include "platform/automation/dispatch.h"

namespace {

using namespace tarnel;
using namespace tarnel::adodb;

constexpr int kRows = 200000;
constexpr const char* kSelect = "SELECT id, price, name, code, qty FROM walk";

std::string DatabasePath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("tt_walk_bench_" + std::to_string(::getpid()) + ".db")).string();
  return path;
}

// Removes the database file when the process ends.
struct DatabaseFile {
  ~DatabaseFile() {
    std::error_code ignored;
    std::filesystem::remove(DatabasePath(), ignored);
  }
};

// Creates the table once per process: an integer key, a double, two short
// texts and an integer.
void EnsureSqliteData() {
  static bool done = false;
  if (done) return;
  done = true;
  DatabasePath();  // made before the cleanup, so it outlives it
  static DatabaseFile cleanup;
  std::filesystem::remove(DatabasePath());
  sqlite3* db = nullptr;
  sqlite3_open(DatabasePath().c_str(), &db);
  sqlite3_exec(db,
               "CREATE TABLE walk (id INTEGER PRIMARY KEY, price REAL, name TEXT, code VARCHAR(12), qty INTEGER);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) "
               "INSERT INTO walk SELECT i, i * 0.25, 'name ' || i, printf('C%08d', i), i % 97 FROM n;",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

std::string SqliteConnectionString() { return "Provider=SQLite;Data Source=" + DatabasePath(); }

// The checksum of a value, so that nothing is optimised away.
inline std::int64_t Weight(const Variant& v) {
  switch (v.vt()) {
    case VT_I4: return v.lVal();
    case VT_I8: return v.llVal();
    case VT_R8: return static_cast<std::int64_t>(v.dblVal());
    case VT_BSTR: return static_cast<std::int64_t>(v.bstrVal().size());
    default: return 1;
  }
}

ComPtr<Connection> OpenConnection(const std::string& connectionString) {
  ComPtr<Connection> c = MakeObject<Connection>();
  std::int32_t client = adUseClient;
  c->LetCursorLocation(client);
  Variant cs(FromUtf8(connectionString));
  Variant none = Variant::Missing();
  std::int32_t sync = adConnectUnspecified;
  c->Open(cs, none, none, sync);
  return c;
}

ComPtr<Recordset> Query(Connection& c) {
  UString text = FromUtf8(kSelect);
  Variant affected;
  std::int32_t options = adCmdText;
  ComPtr<Dispatch> rs = c.Execute(text, affected, options);
  return ComPtr<Recordset>(static_cast<Recordset*>(rs.get()));
}

std::int64_t Walk(Recordset& rs) {
  auto* fields = static_cast<Fields*>(rs.GetFields().get());
  Field* f[5];
  for (std::size_t i = 0; i < 5; ++i) f[i] = fields->At(i);
  std::int64_t sum = 0;
  while (!rs.GetEOF()) {
    for (Field* field : f) sum += Weight(field->Value());
    rs.MoveNext();
  }
  return sum;
}

// The same walk as a script makes it: by-name lookups once, then
// Invoke(DISPID) per call.
std::int64_t WalkThroughDispatch(Dispatch* rs) {
  Variant fieldsVar = CallByName(rs, u"Fields", DISPATCH_PROPERTYGET);
  Dispatch* fields = fieldsVar.pdispVal();
  Variant fieldVars[5];
  for (std::int32_t i = 0; i < 5; ++i) fieldVars[i] = CallByName(fields, u"Item", DISPATCH_PROPERTYGET, {Variant(i)});
  UString names[] = {u"EOF", u"MoveNext"};
  DispId eofId = 0, moveId = 0;
  rs->GetIDsOfNames(&names[0], 1, &eofId);
  rs->GetIDsOfNames(&names[1], 1, &moveId);
  DispParams none;
  std::int64_t sum = 0;
  for (;;) {
    Variant eof;
    rs->Invoke(eofId, DISPATCH_PROPERTYGET, &none, &eof, nullptr, nullptr);
    if (eof.boolVal()) break;
    for (Variant& f : fieldVars) {
      Variant value;
      f.pdispVal()->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
      sum += Weight(value);
    }
    rs->Invoke(moveId, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  }
  return sum;
}

std::int64_t SqliteRawLoop(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, kSelect, -1, &stmt, nullptr);
  std::int64_t sum = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    sum += sqlite3_column_int64(stmt, 0);
    sum += static_cast<std::int64_t>(sqlite3_column_double(stmt, 1));
    sqlite3_column_text(stmt, 2);
    sum += sqlite3_column_bytes(stmt, 2);
    sqlite3_column_text(stmt, 3);
    sum += sqlite3_column_bytes(stmt, 3);
    sum += sqlite3_column_int64(stmt, 4);
  }
  sqlite3_finalize(stmt);
  return sum;
}

void BM_Sqlite_RawStepColumn(benchmark::State& state) {
  EnsureSqliteData();
  sqlite3* db = nullptr;
  sqlite3_open_v2(DatabasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(SqliteRawLoop(db));
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Sqlite_RawStepColumn)->Unit(benchmark::kMillisecond);

// Wall-clock and process CPU time (every thread) of one piece of work.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F>
void Measure(Cost& total, F&& work) {
  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = ProcessCpuSeconds();
  work();
  total.cpu += ProcessCpuSeconds() - cpu0;
  total.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
}

void ReportSideBySide(benchmark::State& state, const Cost& raw, const Cost& recordset) {
  const double n = static_cast<double>(state.iterations());
  state.counters["raw_ms"] = raw.wall * 1000 / n;
  state.counters["recordset_ms"] = recordset.wall * 1000 / n;
  state.counters["time_ratio"] = recordset.wall / raw.wall;
  state.counters["raw_cpu_ms"] = raw.cpu * 1000 / n;
  state.counters["recordset_cpu_ms"] = recordset.cpu * 1000 / n;
  state.counters["cpu_ratio"] = recordset.cpu / raw.cpu;
}

// The budget's measure: the raw loop and Execute plus the walk, in turn.
void BM_Sqlite_SideBySide(benchmark::State& state) {
  EnsureSqliteData();
  sqlite3* db = nullptr;
  sqlite3_open_v2(DatabasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  ComPtr<Connection> c = OpenConnection(SqliteConnectionString());
  // One untimed round first, so that both read a warm page cache.
  benchmark::DoNotOptimize(SqliteRawLoop(db));
  benchmark::DoNotOptimize(Walk(*Query(*c)));
  Cost raw, recordset;
  for (auto _ : state) {
    Measure(raw, [&] { benchmark::DoNotOptimize(SqliteRawLoop(db)); });
    Measure(recordset, [&] {
      ComPtr<Recordset> rs = Query(*c);
      benchmark::DoNotOptimize(Walk(*rs));
    });
  }
  sqlite3_close(db);
  ReportSideBySide(state, raw, recordset);
}
BENCHMARK(BM_Sqlite_SideBySide)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Sqlite_RecordsetExecuteAndWalk(benchmark::State& state) {
  EnsureSqliteData();
  ComPtr<Connection> c = OpenConnection(SqliteConnectionString());
  for (auto _ : state) {
    ComPtr<Recordset> rs = Query(*c);
    benchmark::DoNotOptimize(Walk(*rs));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Sqlite_RecordsetExecuteAndWalk)->Unit(benchmark::kMillisecond);

void BM_Sqlite_RecordsetExecuteOnly(benchmark::State& state) {
  EnsureSqliteData();
  ComPtr<Connection> c = OpenConnection(SqliteConnectionString());
  for (auto _ : state) benchmark::DoNotOptimize(Query(*c).get());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Sqlite_RecordsetExecuteOnly)->Unit(benchmark::kMillisecond);

void BM_Sqlite_RecordsetWalkOnly(benchmark::State& state) {
  EnsureSqliteData();
  ComPtr<Connection> c = OpenConnection(SqliteConnectionString());
  ComPtr<Recordset> rs = Query(*c);
  for (auto _ : state) {
    rs->MoveFirst();
    benchmark::DoNotOptimize(Walk(*rs));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Sqlite_RecordsetWalkOnly)->Unit(benchmark::kMillisecond);

void BM_Sqlite_RecordsetWalkThroughDispatch(benchmark::State& state) {
  EnsureSqliteData();
  ComPtr<Connection> c = OpenConnection(SqliteConnectionString());
  ComPtr<Recordset> rs = Query(*c);
  for (auto _ : state) {
    rs->MoveFirst();
    benchmark::DoNotOptimize(WalkThroughDispatch(rs->AsDispatch()));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Sqlite_RecordsetWalkThroughDispatch)->Unit(benchmark::kMillisecond);

const char* PgConnectionString() {
  const char* s = std::getenv("TARNEL_PG_CONN");
  return s && *s ? s : nullptr;
}

// libpq's own keyword form of the test server's ADO-style string.
std::string LibpqConnInfo(const std::string& ado) {
  std::string out;
  auto value = [&](const std::string& key) -> std::string {
    const std::size_t at = ado.find(key + "=");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 1;
    return ado.substr(start, ado.find(';', start) - start);
  };
  out += "host=" + value("Server") + " port=" + value("Port") + " dbname=" + value("Database") +
         " user=" + value("User ID");
  return out;
}

constexpr const char* kPgSelect = "SELECT id, price, name, code, qty FROM tt_walk_bench";

void EnsurePgData(PGconn* pg) {
  static bool done = false;
  if (done) return;
  done = true;
  PQclear(PQexec(pg, "SET client_min_messages = warning"));
  PQclear(PQexec(pg, "DROP TABLE IF EXISTS tt_walk_bench"));
  PQclear(PQexec(pg,
                 "CREATE TABLE tt_walk_bench AS SELECT i AS id, i * 0.25::float8 AS price, 'name ' || i AS name, "
                 "'C' || lpad(i::text, 8, '0') AS code, i % 97 AS qty FROM generate_series(1, 200000) i"));
}

std::int64_t PgRawLoop(PGconn* pg) {
  PGresult* r = PQexec(pg, kPgSelect);
  std::int64_t sum = 0;
  const int n = PQntuples(r);
  for (int i = 0; i < n; ++i) {
    sum += std::atoll(PQgetvalue(r, i, 0));
    sum += static_cast<std::int64_t>(std::strtod(PQgetvalue(r, i, 1), nullptr));
    sum += PQgetlength(r, i, 2);
    sum += PQgetlength(r, i, 3);
    sum += std::atoll(PQgetvalue(r, i, 4));
  }
  PQclear(r);
  return sum;
}

std::int64_t PgRecordsetWalk(Connection& c) {
  UString text = FromUtf8(kPgSelect);
  Variant affected;
  std::int32_t options = adCmdText;
  ComPtr<Dispatch> rs = c.Execute(text, affected, options);
  return Walk(*static_cast<Recordset*>(rs.get()));
}

void BM_Pg_RawExecGetValue(benchmark::State& state) {
  if (!PgConnectionString()) {
    state.SkipWithError("TARNEL_PG_CONN is not set");
    return;
  }
  PGconn* pg = PQconnectdb(LibpqConnInfo(PgConnectionString()).c_str());
  EnsurePgData(pg);
  for (auto _ : state) benchmark::DoNotOptimize(PgRawLoop(pg));
  PQfinish(pg);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Pg_RawExecGetValue)->Unit(benchmark::kMillisecond);

void BM_Pg_RecordsetExecuteAndWalk(benchmark::State& state) {
  if (!PgConnectionString()) {
    state.SkipWithError("TARNEL_PG_CONN is not set");
    return;
  }
  ComPtr<Connection> c = OpenConnection(PgConnectionString());
  for (auto _ : state) benchmark::DoNotOptimize(PgRecordsetWalk(*c));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Pg_RecordsetExecuteAndWalk)->Unit(benchmark::kMillisecond);

void BM_Pg_SideBySide(benchmark::State& state) {
  if (!PgConnectionString()) {
    state.SkipWithError("TARNEL_PG_CONN is not set");
    return;
  }
  PGconn* pg = PQconnectdb(LibpqConnInfo(PgConnectionString()).c_str());
  EnsurePgData(pg);
  ComPtr<Connection> c = OpenConnection(PgConnectionString());
  benchmark::DoNotOptimize(PgRawLoop(pg));
  benchmark::DoNotOptimize(PgRecordsetWalk(*c));
  Cost raw, recordset;
  for (auto _ : state) {
    Measure(raw, [&] { benchmark::DoNotOptimize(PgRawLoop(pg)); });
    Measure(recordset, [&] { benchmark::DoNotOptimize(PgRecordsetWalk(*c)); });
  }
  PQfinish(pg);
  ReportSideBySide(state, raw, recordset);
}
BENCHMARK(BM_Pg_SideBySide)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
