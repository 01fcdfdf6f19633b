// Shared pieces of the provider tests: the fixture that runs one test body
// against both providers (SQLite on a fresh file; PostgreSQL on the server
// named by TARNEL_PG_CONN, in a schema of its own, skipped when unset), and
// small helpers to run SQL and to wait for completions.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/adodb/provider/provider.h"

namespace tarnel::adodb::provider::testing {

enum class Engine { SQLite, PostgreSQL };

inline const char* PgConnectionString() {
  const char* s = std::getenv("TARNEL_PG_CONN");
  return s && *s ? s : nullptr;
}

// Collects the results of asynchronous operations, in completion order.
class Completions {
 public:
  Completion Callback(int tag) {
    return [this, tag](Result r) {
      std::lock_guard lock(mutex_);
      tags_.push_back(tag);
      results_.push_back(std::move(r));
      threads_.push_back(std::this_thread::get_id());
      changed_.notify_all();
    };
  }
  bool WaitFor(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return results_.size() >= count; });
  }
  std::vector<int> Tags() {
    std::lock_guard lock(mutex_);
    return tags_;
  }
  Result Take(std::size_t i) {
    std::lock_guard lock(mutex_);
    return std::move(results_.at(i));
  }
  std::thread::id Thread(std::size_t i) {
    std::lock_guard lock(mutex_);
    return threads_.at(i);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> tags_;
  std::vector<Result> results_;
  std::vector<std::thread::id> threads_;
};

inline CommandRequest Sql(std::string text, std::vector<Parameter> params = {}) {
  CommandRequest c;
  c.text = std::move(text);
  c.parameters = std::move(params);
  return c;
}

inline Parameter In(Value v, DataTypeEnum type = adEmpty) {
  Parameter p;
  p.type = type;
  p.value = std::move(v);
  return p;
}

inline std::string Describe(const Status& s) {
  std::string out = std::to_string(s.number) + " " + s.description;
  for (const ErrorRecord& e : s.errors) out += " [" + e.sqlState + "] " + e.description;
  return out;
}

class ProviderTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    const int n = counter++;
    if (IsPg()) {
      if (!PgConnectionString()) GTEST_SKIP() << "TARNEL_PG_CONN is not set";
      schema_ = "tt_" + std::to_string(::getpid()) + "_" + std::to_string(n);
      admin_ = Connect();
      ASSERT_TRUE(admin_);
      Ok(*admin_, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE; CREATE SCHEMA " + schema_);
    } else {
      dir_ = std::filesystem::temp_directory_path() /
             ("tt_provider_" + std::to_string(::getpid()) + "_" + std::to_string(n));
      std::filesystem::remove_all(dir_);
      std::filesystem::create_directories(dir_);
    }
  }

  void TearDown() override {
    if (admin_) {
      admin_->CancelAll();
      Run(*admin_, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
      admin_.reset();
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  bool IsPg() const { return GetParam() == Engine::PostgreSQL; }

  std::string ConnectionString() const {
    if (IsPg()) return PgConnectionString();
    return "Provider=SQLite;Data Source=" + (dir_ / "test.db").string() + ";Create=True";
  }

  // A created and opened session, in the test's schema on PostgreSQL.
  std::unique_ptr<Session> Connect(ConnectOptions options = {}) {
    if (options.connectionString.empty()) options.connectionString = ConnectionString();
    Status status;
    std::unique_ptr<Session> s = CreateSession(options, &status);
    EXPECT_TRUE(s) << Describe(status);
    if (!s) return nullptr;
    Result r = s->Open();
    EXPECT_TRUE(r.status.ok()) << Describe(r.status);
    if (!r.status.ok()) return nullptr;
    if (IsPg() && !schema_.empty()) Ok(*s, "SET search_path TO " + schema_);
    return s;
  }

  static Result Run(Session& s, std::string sql, std::vector<Parameter> params = {}) {
    return s.Execute(Sql(std::move(sql), std::move(params)));
  }

  static Result Ok(Session& s, std::string sql, std::vector<Parameter> params = {}) {
    Result r = Run(s, sql, std::move(params));
    EXPECT_TRUE(r.status.ok()) << sql << ": " << Describe(r.status);
    return r;
  }

  // A statement that runs for a long time on either engine.
  std::string LongStatement() const {
    if (IsPg()) return "SELECT pg_sleep(30)";
    return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000000000) "
           "SELECT count(*) FROM c";
  }

  std::string BinaryType() const { return IsPg() ? "BYTEA" : "BLOB"; }

  std::filesystem::path dir_;
  std::string schema_;
  std::unique_ptr<Session> admin_;
};

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

}  // namespace tarnel::adodb::provider::testing
