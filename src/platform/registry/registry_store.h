// RegistryStore: the persistent registry of this platform, typed keys and
// values under the usual roots, kept in one SQLite file per user. Every
// change is atomic and durable, and several processes may use one file at
// once. Threads: a store may be shared between the threads of a process;
// each call, and each Transaction as a whole, runs under the store's lock.
// Not across fork(): a child process opens its own store.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/ustring.h"
#include "platform/registry/registry_error.h"
#include "platform/registry/registry_path.h"
#include "platform/registry/registry_value.h"

namespace tarnel {

namespace registry_detail {
class StoreFile;
}

// Key paths are "ROOT\Key\Subkey" (see registry_path.h): full root names or
// HKCR/HKCU/HKLM; a root alone is a key that always exists. Key and value
// names are compared without regard to case and keep the case they were
// created with. A value name "" is the key's default value.
// Errors are RegistryErrors (number and description).
class RegistryStore {
 public:
  // Opens the store file at path, creating it (mode 0600, and missing parent
  // directories mode 0700) when it does not exist. A file that is not a valid
  // store, or cannot be read, throws RegistryError naming the file and is
  // left as it was. A file that cannot be written opens read-only: reads
  // work, changes throw kAccessDenied.
  static std::unique_ptr<RegistryStore> Open(const std::string& path);
  // TARNEL_REGISTRY when set, else $XDG_DATA_HOME/tarnel/registry.db (an
  // absolute XDG_DATA_HOME), else ~/.local/share/tarnel/registry.db.
  static std::string DefaultPath();
  // The store of this process: opened on first use from the path set with
  // SetProcessPath, else DefaultPath(). The reference stays valid for the
  // life of the process. Throws when the file cannot be opened (and tries
  // again on the next call).
  static RegistryStore& Process();
  // Chooses the file of the process store (the host's --registry). When the
  // process store is already open on another file it switches to the new one
  // at once, or throws and stays on the old one.
  static void SetProcessPath(const std::string& path);

  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  std::string Path() const;
  bool ReadOnly() const;

  bool KeyExists(UStringView keyPath);
  // Creates the key and any missing parents; false when it existed already.
  bool CreateKey(UStringView keyPath);
  // Deletes the key with its values. Without recursive it fails with
  // kAccessDenied when the key has subkeys; with it the whole tree goes.
  // False when the key does not exist. A root cannot be deleted (kAccessDenied).
  bool DeleteKey(UStringView keyPath, bool recursive = false);

  // The value, or nothing when the key or the value does not exist.
  std::optional<RegValue> GetValue(UStringView keyPath, UStringView valueName);
  // Writes the value, creating the key and its parents when missing. A value
  // that exists keeps the case of its name.
  void SetValue(UStringView keyPath, UStringView valueName, const RegValue& value);
  // False when the key or the value does not exist.
  bool DeleteValue(UStringView keyPath, UStringView valueName);

  // The names of the direct subkeys and the values of a key, ordered by name
  // without regard to case (the default value first). kFileNotFound when the
  // key does not exist.
  std::vector<UString> SubKeys(UStringView keyPath);
  std::vector<RegValueInfo> Values(UStringView keyPath);

  // Runs work as one transaction: every change it makes lands together, or
  // none when it throws (the exception is passed on). Other threads wait
  // for it; other processes see the store as before until it ends. May be
  // nested; a nested transaction that throws undoes only its own changes.
  void Transaction(const std::function<void()>& work);
  // Runs work that only reads, against one consistent state of the store,
  // without taking the write lock (so it works on a read-only store too).
  // Inside a Transaction it simply runs.
  void Snapshot(const std::function<void()>& work);

 private:
  explicit RegistryStore(std::unique_ptr<registry_detail::StoreFile> file);
  // Runs work inside a transaction of its own unless one is open.
  template <typename F>
  auto Atomically(bool write, F&& work) -> decltype(work());

  void CheckOpenTransaction(bool write) const;

  mutable std::recursive_mutex mutex_;
  std::unique_ptr<registry_detail::StoreFile> file_;
  int depth_ = 0;          // open transactions of the thread holding mutex_
  bool writable_ = false;  // the outermost one may change the store
};

}  // namespace tarnel
