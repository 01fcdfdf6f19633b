// The registry store's thin layer over SQLite: one connection to the store
// file with its cached prepared statements, and the one place where SQLite
// result codes become RegistryErrors naming the file. Internal to the
// registry folder. Not thread-safe: the RegistryStore that owns a connection
// serialises every use of it.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/registry/registry_error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarnel::registry_detail {

class SqliteConnection;

// A cached prepared statement in use: bind, step, read columns. Resets the
// statement and clears its bindings when it goes out of scope.
class Statement {
 public:
  Statement(SqliteConnection& connection, sqlite3_stmt* stmt) : connection_(connection), stmt_(stmt) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::span<const std::uint8_t> blob);
  Statement& Bind(int index, const std::string& text);
  // Steps once: true when a row is ready, false when done.
  bool Step();
  // Steps to the end, expecting no rows.
  void Run();

  std::int64_t Int(int column) const;
  std::vector<std::uint8_t> Blob(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  SqliteConnection& connection_;
  sqlite3_stmt* stmt_;
};

class SqliteConnection {
 public:
  // Opens an existing file read-write (read-only when the file cannot be
  // written). Throws RegistryError kCantOpen.
  static std::unique_ptr<SqliteConnection> Open(const std::string& path, int busyTimeoutMs);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  const std::string& path() const { return path_; }
  bool ReadOnly() const;

  // Runs SQL text without results (several statements allowed).
  void Exec(const char* sql);
  // The same, reporting failure only by the result (for cleanup paths).
  bool TryExec(const char* sql) noexcept;
  bool InTransaction() const;
  std::int64_t LastInsertRowId() const;
  int Changes() const;
  // A statement of a fixed SQL text, prepared once and reused.
  Statement Prepare(const char* sql);

  // Turns a SQLite result code into a RegistryError naming the file; what
  // says what was being done ("reading", "writing", "opening").
  [[noreturn]] void Fail(int rc, const char* what) const;

 private:
  SqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  sqlite3* db_;
  std::string path_;
  std::map<const char*, sqlite3_stmt*> statements_;
};

}  // namespace tarnel::registry_detail
