// The registry store file: creating and checking the file, its schema, and
// the key and value operations on it by key id. Internal to the registry
// folder; RegistryStore parses paths, takes the lock and wraps each call in
// a transaction. Not thread-safe.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/registry_path.h"
#include "platform/registry/registry_value.h"
#include "platform/registry/sqlite_connection.h"

namespace tarnel::registry_detail {

class StoreFile {
 public:
  // Creates the file (0600, parents 0700) when missing, refuses a file that
  // is not a valid store without changing it, and sets the file up.
  static std::unique_ptr<StoreFile> Open(const std::string& path);

  SqliteConnection& connection() { return *db_; }

  // Transactions: depth 0 is the outermost one (write takes the write lock
  // at once); deeper ones are savepoints.
  void Begin(int depth, bool write);
  void Commit(int depth);
  void Rollback(int depth) noexcept;

  std::optional<std::int64_t> FindKey(const RegKeyPath& path);
  // The key's id, creating it and missing parents; created tells whether it was new.
  std::int64_t EnsureKey(const RegKeyPath& path, bool& created);
  bool HasSubkeys(std::int64_t key);
  void DeleteTree(std::int64_t key);

  std::optional<RegValue> GetValue(std::int64_t key, UStringView name);
  void SetValue(std::int64_t key, UStringView name, const RegValue& value);
  bool DeleteValue(std::int64_t key, UStringView name);
  std::vector<UString> SubKeys(std::int64_t key);
  std::vector<RegValueInfo> Values(std::int64_t key);

  static std::int64_t RootId(RegRoot root) { return (static_cast<std::int64_t>(root) & 0xFF) + 1; }

 private:
  explicit StoreFile(std::unique_ptr<SqliteConnection> db) : db_(std::move(db)) {}
  void CheckAndPrepare();
  void SwitchToWal();
  void CreateSchema();
  std::optional<std::int64_t> FindChild(std::int64_t parent, UStringView name);

  std::unique_ptr<SqliteConnection> db_;
};

}  // namespace tarnel::registry_detail
