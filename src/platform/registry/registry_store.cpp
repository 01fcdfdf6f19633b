// RegistryStore: key paths in, key and value operations of the store file
// out, each under the store's lock and inside a transaction; the default
// store location and the process-wide store.
#include "platform/registry/registry_store.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <type_traits>

#include "platform/registry/store_file.h"

namespace tarnel {

using registry_detail::StoreFile;

namespace {

std::string Quoted(UStringView text) { return "'" + ToUtf8(text) + "'"; }

std::string NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
}

std::string HomeDirectory() {
  std::string home = NonEmptyEnv("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return {};
}

// The process store and the file it should use.
struct ProcessStore {
  std::mutex mutex;
  std::string path;
  std::unique_ptr<RegistryStore> store;
};

ProcessStore& TheProcessStore() {
  static ProcessStore instance;
  return instance;
}

}  // namespace

RegistryStore::RegistryStore(std::unique_ptr<StoreFile> file) : file_(std::move(file)) {}

RegistryStore::~RegistryStore() = default;

std::unique_ptr<RegistryStore> RegistryStore::Open(const std::string& path) {
  return std::unique_ptr<RegistryStore>(new RegistryStore(StoreFile::Open(path)));
}

std::string RegistryStore::DefaultPath() {
  std::string explicitPath = NonEmptyEnv("TARNEL_REGISTRY");
  if (!explicitPath.empty()) return explicitPath;
  // The XDG base directory rules ignore a relative XDG_DATA_HOME.
  std::string dataHome = NonEmptyEnv("XDG_DATA_HOME");
  if (!dataHome.empty() && dataHome.front() == '/') return dataHome + "/tarnel/registry.db";
  std::string home = HomeDirectory();
  if (home.empty()) {
    throw RegistryError(RegErrorCode::kCantOpen,
                        "no registry store location: neither TARNEL_REGISTRY, XDG_DATA_HOME nor a home directory is set");
  }
  return home + "/.local/share/tarnel/registry.db";
}

RegistryStore& RegistryStore::Process() {
  ProcessStore& p = TheProcessStore();
  std::lock_guard lock(p.mutex);
  if (!p.store) p.store = Open(p.path.empty() ? DefaultPath() : p.path);
  return *p.store;
}

void RegistryStore::SetProcessPath(const std::string& path) {
  if (path.empty()) throw RegistryError(RegErrorCode::kCantOpen, "no registry store file given");
  ProcessStore& p = TheProcessStore();
  std::lock_guard lock(p.mutex);
  if (p.store && p.store->Path() != path) {
    std::unique_ptr<StoreFile> file = StoreFile::Open(path);
    std::lock_guard storeLock(p.store->mutex_);
    if (p.store->depth_ > 0) {
      throw RegistryError(RegErrorCode::kAccessDenied,
                          "the registry store cannot change files while a transaction is open");
    }
    p.store->file_ = std::move(file);
  }
  p.path = path;
}

std::string RegistryStore::Path() const {
  std::lock_guard lock(mutex_);
  return file_->connection().path();
}

bool RegistryStore::ReadOnly() const {
  std::lock_guard lock(mutex_);
  return file_->connection().ReadOnly();
}

void RegistryStore::CheckOpenTransaction(bool write) const {
  // SQLite ends the whole transaction by itself after some failures (a
  // full disk, an I/O error). Later changes must not then land one by one.
  if (!file_->connection().InTransaction()) {
    throw RegistryError(RegErrorCode::kIoFailed, "registry store '" + file_->connection().path() +
                                                     "': the transaction was ended by an earlier error");
  }
  if (write && !writable_) {
    throw RegistryError(RegErrorCode::kAccessDenied, "registry store '" + file_->connection().path() +
                                                         "': changes are not allowed inside a Snapshot");
  }
}

template <typename F>
auto RegistryStore::Atomically(bool write, F&& work) -> decltype(work()) {
  if (depth_ > 0) {
    CheckOpenTransaction(write);
    return work();
  }
  // Reads see one consistent state of the file; writes take the write lock
  // at the start so that two writers never deadlock upgrading a read lock.
  file_->Begin(0, write);
  depth_ = 1;
  writable_ = write;
  try {
    if constexpr (std::is_void_v<decltype(work())>) {
      work();
      depth_ = 0;
      file_->Commit(0);
    } else {
      auto result = work();
      depth_ = 0;
      file_->Commit(0);
      return result;
    }
  } catch (...) {
    depth_ = 0;
    file_->Rollback(0);
    throw;
  }
}

bool RegistryStore::KeyExists(UStringView keyPath) {
  RegKeyPath path = ParseKeyPath(keyPath);
  std::lock_guard lock(mutex_);
  return Atomically(false, [&] { return file_->FindKey(path).has_value(); });
}

bool RegistryStore::CreateKey(UStringView keyPath) {
  RegKeyPath path = ParseKeyPath(keyPath);
  std::lock_guard lock(mutex_);
  return Atomically(true, [&] {
    bool created = false;
    file_->EnsureKey(path, created);
    return created;
  });
}

bool RegistryStore::DeleteKey(UStringView keyPath, bool recursive) {
  RegKeyPath path = ParseKeyPath(keyPath);
  if (path.names.empty()) {
    throw RegistryError(RegErrorCode::kAccessDenied, "the root key " + Quoted(RootName(path.root)) +
                                                         " cannot be deleted");
  }
  std::lock_guard lock(mutex_);
  return Atomically(true, [&] {
    std::optional<std::int64_t> id = file_->FindKey(path);
    if (!id) return false;
    if (!recursive && file_->HasSubkeys(*id)) {
      throw RegistryError(RegErrorCode::kAccessDenied,
                          "registry key " + Quoted(keyPath) + " has subkeys and cannot be deleted");
    }
    file_->DeleteTree(*id);
    return true;
  });
}

std::optional<RegValue> RegistryStore::GetValue(UStringView keyPath, UStringView valueName) {
  RegKeyPath path = ParseKeyPath(keyPath);
  CheckValueName(valueName);
  std::lock_guard lock(mutex_);
  return Atomically(false, [&]() -> std::optional<RegValue> {
    std::optional<std::int64_t> id = file_->FindKey(path);
    if (!id) return std::nullopt;
    return file_->GetValue(*id, valueName);
  });
}

void RegistryStore::SetValue(UStringView keyPath, UStringView valueName, const RegValue& value) {
  RegKeyPath path = ParseKeyPath(keyPath);
  CheckValueName(valueName);
  std::lock_guard lock(mutex_);
  Atomically(true, [&] {
    bool created = false;
    file_->SetValue(file_->EnsureKey(path, created), valueName, value);
  });
}

bool RegistryStore::DeleteValue(UStringView keyPath, UStringView valueName) {
  RegKeyPath path = ParseKeyPath(keyPath);
  CheckValueName(valueName);
  std::lock_guard lock(mutex_);
  return Atomically(true, [&] {
    std::optional<std::int64_t> id = file_->FindKey(path);
    return id && file_->DeleteValue(*id, valueName);
  });
}

std::vector<UString> RegistryStore::SubKeys(UStringView keyPath) {
  RegKeyPath path = ParseKeyPath(keyPath);
  std::lock_guard lock(mutex_);
  return Atomically(false, [&] {
    std::optional<std::int64_t> id = file_->FindKey(path);
    if (!id) throw RegistryError(RegErrorCode::kFileNotFound, "registry key " + Quoted(keyPath) + " does not exist");
    return file_->SubKeys(*id);
  });
}

std::vector<RegValueInfo> RegistryStore::Values(UStringView keyPath) {
  RegKeyPath path = ParseKeyPath(keyPath);
  std::lock_guard lock(mutex_);
  return Atomically(false, [&] {
    std::optional<std::int64_t> id = file_->FindKey(path);
    if (!id) throw RegistryError(RegErrorCode::kFileNotFound, "registry key " + Quoted(keyPath) + " does not exist");
    return file_->Values(*id);
  });
}

void RegistryStore::Snapshot(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  Atomically(false, work);
}

void RegistryStore::Transaction(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  if (depth_ == 0) {
    Atomically(true, work);
    return;
  }
  CheckOpenTransaction(true);
  int depth = depth_;
  file_->Begin(depth, true);
  ++depth_;
  try {
    work();
    --depth_;
    file_->Commit(depth);
  } catch (...) {
    depth_ = depth;
    file_->Rollback(depth);
    throw;
  }
}

}  // namespace tarnel
