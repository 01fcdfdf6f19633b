// The registry store file on disk. Keys form a tree in table "keys" (the five
// roots are fixed rows), values sit in "reg_values"; both keep a name as it
// was written and its case-folded form, which is what lookups compare. Names
// are stored as UTF-16LE bytes so that every name survives exactly.
#include "platform/registry/store_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace tarnel::registry_detail {
namespace {

constexpr int kBusyTimeoutMs = 15000;
constexpr std::int64_t kFormatVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE registry_format(version INTEGER NOT NULL);
INSERT INTO registry_format(version) VALUES (1);
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id),
  folded BLOB NOT NULL,
  name BLOB NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE reg_values(
  key INTEGER NOT NULL REFERENCES keys(id),
  folded BLOB NOT NULL,
  name BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, folded)) WITHOUT ROWID;
)sql";

std::string SystemError(int err) { return std::strerror(err); }

// Creates the missing directories above the store file, each 0700.
void EnsureParentDirectory(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return;
  std::filesystem::path partial;
  for (const auto& part : parent) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) == 0 || errno == EEXIST) continue;
    int err = errno;
    throw RegistryError(RegErrorCode::kCantOpen, "registry store '" + path + "' cannot be created: directory '" +
                                                     partial.string() + "': " + SystemError(err));
  }
}

// Creates an empty store file readable and writable by its owner only, so
// that SQLite (which copies the file's mode to its journal files) never
// creates it with wider permissions.
void EnsureFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return;
  }
  int err = errno;
  if (err == EEXIST) return;
  throw RegistryError(RegErrorCode::kCantOpen, "registry store '" + path + "' cannot be created: " + SystemError(err));
}

}  // namespace

std::unique_ptr<StoreFile> StoreFile::Open(const std::string& path) {
  if (path.empty()) throw RegistryError(RegErrorCode::kCantOpen, "no registry store file given");
  EnsureParentDirectory(path);
  EnsureFile(path);
  std::unique_ptr<StoreFile> file(new StoreFile(SqliteConnection::Open(path, kBusyTimeoutMs)));
  file->CheckAndPrepare();
  return file;
}

void StoreFile::CheckAndPrepare() {
  // Reading the schema is the first access to the file: a file that is not a
  // database fails here, before anything could be written to it.
  int tables = 0;
  bool ours = false;
  {
    Statement st = db_->Prepare("SELECT name FROM sqlite_schema WHERE type = 'table'");
    while (st.Step()) {
      ++tables;
      if (st.Text(0) == "registry_format") ours = true;
    }
  }
  const std::string file = "registry store '" + db_->path() + "'";
  if (tables > 0 && !ours) {
    throw RegistryError(RegErrorCode::kBadDb, file + " is not a valid store: it is a database of another kind");
  }
  if (ours) {
    Statement st = db_->Prepare("SELECT version FROM registry_format");
    std::int64_t version = st.Step() ? st.Int(0) : 0;
    if (version != kFormatVersion) {
      throw RegistryError(RegErrorCode::kBadDb, file + " has format " + std::to_string(version) +
                                                    "; this program reads format " +
                                                    std::to_string(kFormatVersion));
    }
    Statement check = db_->Prepare("PRAGMA quick_check");
    std::string result = check.Step() ? check.Text(0) : "no result";
    if (result != "ok") {
      // The first problem found, without the report's heading line.
      std::size_t heading = result.find("***\n");
      if (heading != std::string::npos) result.erase(0, heading + 4);
      result = result.substr(0, result.find('\n'));
      throw RegistryError(RegErrorCode::kBadDb, file + " is not a valid store: damaged (" + result + ")");
    }
  }
  if (db_->ReadOnly()) {
    if (!ours) throw RegistryError(RegErrorCode::kAccessDenied, file + " is empty and cannot be written");
    return;
  }
  SwitchToWal();
  db_->Exec("PRAGMA synchronous = FULL");
  if (!ours) CreateSchema();
}

void StoreFile::SwitchToWal() {
  // The switch needs every other connection to let go of the file for a
  // moment, and SQLite does not wait for that by itself: several processes
  // opening a new store at once retry here until the busy timeout.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    try {
      std::string mode;
      {
        Statement st = db_->Prepare("PRAGMA journal_mode");
        mode = st.Step() ? st.Text(0) : "";
      }
      if (mode != "wal") db_->Prepare("PRAGMA journal_mode = WAL").Run();
      return;
    } catch (const RegistryError& e) {
      if (e.code() != RegErrorCode::kBusy || std::chrono::steady_clock::now() > deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void StoreFile::CreateSchema() {
  Begin(0, true);
  try {
    // Another process may have set the file up since it was checked.
    Statement st = db_->Prepare("SELECT count(*) FROM sqlite_schema WHERE name = 'registry_format'");
    bool exists = st.Step() && st.Int(0) > 0;
    if (!exists) {
      db_->Exec(kSchema);
      for (RegRoot root : kAllRoots) {
        UString name(RootName(root));
        db_->Prepare("INSERT INTO keys(id, parent, folded, name) VALUES (?1, NULL, ?2, ?3)")
            .Bind(1, RootId(root))
            .Bind(2, Utf16LeBytes(FoldedCopy(name)))
            .Bind(3, Utf16LeBytes(name))
            .Run();
      }
    }
    Commit(0);
  } catch (...) {
    Rollback(0);
    throw;
  }
}

void StoreFile::Begin(int depth, bool write) {
  if (depth == 0) {
    db_->Exec(write ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
  } else {
    db_->Exec(("SAVEPOINT nested" + std::to_string(depth)).c_str());
  }
}

void StoreFile::Commit(int depth) {
  if (depth == 0) {
    db_->Exec("COMMIT");
  } else {
    db_->Exec(("RELEASE nested" + std::to_string(depth)).c_str());
  }
}

void StoreFile::Rollback(int depth) noexcept {
  if (depth == 0) {
    db_->TryExec("ROLLBACK");
  } else {
    std::string name = "nested" + std::to_string(depth);
    db_->TryExec(("ROLLBACK TO " + name).c_str());
    db_->TryExec(("RELEASE " + name).c_str());
  }
}

std::optional<std::int64_t> StoreFile::FindChild(std::int64_t parent, UStringView name) {
  Statement st = db_->Prepare("SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
  st.Bind(1, parent).Bind(2, Utf16LeBytes(FoldedCopy(name)));
  if (!st.Step()) return std::nullopt;
  return st.Int(0);
}

std::optional<std::int64_t> StoreFile::FindKey(const RegKeyPath& path) {
  std::int64_t id = RootId(path.root);
  for (const UString& name : path.names) {
    std::optional<std::int64_t> child = FindChild(id, name);
    if (!child) return std::nullopt;
    id = *child;
  }
  return id;
}

std::int64_t StoreFile::EnsureKey(const RegKeyPath& path, bool& created) {
  created = false;
  std::int64_t id = RootId(path.root);
  for (const UString& name : path.names) {
    std::optional<std::int64_t> child = FindChild(id, name);
    if (!child) {
      db_->Prepare("INSERT INTO keys(parent, folded, name) VALUES (?1, ?2, ?3)")
          .Bind(1, id)
          .Bind(2, Utf16LeBytes(FoldedCopy(name)))
          .Bind(3, Utf16LeBytes(name))
          .Run();
      child = db_->LastInsertRowId();
      created = true;
    }
    id = *child;
  }
  return id;
}

bool StoreFile::HasSubkeys(std::int64_t key) {
  Statement st = db_->Prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  return st.Bind(1, key).Step();
}

void StoreFile::DeleteTree(std::int64_t key) {
  static constexpr const char* kTree =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN tree t ON k.parent = t.id) ";
  static const std::string deleteValues = std::string(kTree) + "DELETE FROM reg_values WHERE key IN tree";
  static const std::string deleteKeys = std::string(kTree) + "DELETE FROM keys WHERE id IN tree";
  db_->Prepare(deleteValues.c_str()).Bind(1, key).Run();
  db_->Prepare(deleteKeys.c_str()).Bind(1, key).Run();
}

std::optional<RegValue> StoreFile::GetValue(std::int64_t key, UStringView name) {
  Statement st = db_->Prepare("SELECT type, data FROM reg_values WHERE key = ?1 AND folded = ?2");
  st.Bind(1, key).Bind(2, Utf16LeBytes(FoldedCopy(name)));
  if (!st.Step()) return std::nullopt;
  return RegValue{static_cast<std::uint32_t>(st.Int(0)), st.Blob(1)};
}

void StoreFile::SetValue(std::int64_t key, UStringView name, const RegValue& value) {
  db_->Prepare(
         "INSERT INTO reg_values(key, folded, name, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data")
      .Bind(1, key)
      .Bind(2, Utf16LeBytes(FoldedCopy(name)))
      .Bind(3, Utf16LeBytes(name))
      .Bind(4, static_cast<std::int64_t>(value.type))
      .Bind(5, value.data)
      .Run();
}

bool StoreFile::DeleteValue(std::int64_t key, UStringView name) {
  db_->Prepare("DELETE FROM reg_values WHERE key = ?1 AND folded = ?2")
      .Bind(1, key)
      .Bind(2, Utf16LeBytes(FoldedCopy(name)))
      .Run();
  return db_->Changes() > 0;
}

std::vector<UString> StoreFile::SubKeys(std::int64_t key) {
  std::vector<std::pair<UString, UString>> rows;  // folded, name
  Statement st = db_->Prepare("SELECT folded, name FROM keys WHERE parent = ?1");
  st.Bind(1, key);
  while (st.Step()) rows.emplace_back(FromUtf16LeBytes(st.Blob(0)), FromUtf16LeBytes(st.Blob(1)));
  std::sort(rows.begin(), rows.end());
  std::vector<UString> names;
  names.reserve(rows.size());
  for (auto& row : rows) names.push_back(std::move(row.second));
  return names;
}

std::vector<RegValueInfo> StoreFile::Values(std::int64_t key) {
  std::vector<std::pair<UString, RegValueInfo>> rows;  // folded, value
  Statement st = db_->Prepare("SELECT folded, name, type, data FROM reg_values WHERE key = ?1");
  st.Bind(1, key);
  while (st.Step()) {
    rows.emplace_back(FromUtf16LeBytes(st.Blob(0)),
                      RegValueInfo{FromUtf16LeBytes(st.Blob(1)),
                                   RegValue{static_cast<std::uint32_t>(st.Int(2)), st.Blob(3)}});
  }
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<RegValueInfo> values;
  values.reserve(rows.size());
  for (auto& row : rows) values.push_back(std::move(row.second));
  return values;
}

}  // namespace tarnel::registry_detail
