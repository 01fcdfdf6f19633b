// Class activation: the table of built-in classes, the ProgID and CLSID
// lookups in HKEY_CLASSES_ROOT through the installed registry reader, and the
// component libraries loaded with dlopen, asked for class factories with
// DllGetClassObject and unloaded when their DllCanUnloadNow agrees.
#include "platform/automation/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/automation/com_error.h"

namespace tarnel {
namespace {

constexpr int kCannotCreate = 429;

struct BuiltinClass {
  const CoClassInfo* info;
  ClassCreator creator;
};

struct LoadedLibrary {
  void* handle = nullptr;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
};

struct ActivationState {
  std::mutex mutex;
  std::unordered_map<Guid, BuiltinClass, GuidHash> builtins;
  std::unordered_map<UString, Guid> builtinProgIds;  // folded ProgID -> CLSID
  ClassRegistryReader reader;
  std::map<std::string, LoadedLibrary> libraries;  // by path as registered
};

ActivationState& State() {
  static ActivationState* state = new ActivationState;  // lives as long as the process
  return *state;
}

[[noreturn]] void CannotCreate(const UString& detail = {}) {
  UString description = StandardErrorDescription(kCannotCreate);
  if (!detail.empty()) description += u" (" + detail + u")";
  RaiseError(kCannotCreate, std::move(description));
}

// Reads a registry value through the installed reader, outside the lock.
std::optional<UString> ReadClassesRoot(const UString& key, UStringView valueName) {
  ClassRegistryReader reader;
  {
    std::lock_guard lock(State().mutex);
    reader = State().reader;
  }
  if (!reader) return std::nullopt;
  try {
    return reader(u"HKEY_CLASSES_ROOT\\" + key, valueName);
  } catch (const ComError&) {
    throw;
  } catch (const std::exception& e) {
    CannotCreate(u"registry: " + FromUtf8(e.what()));
  }
}

// ProgID -> CLSID: built-in classes, then HKCR\<ProgID>\CLSID, following
// HKCR\<ProgID>\CurVer to a versioned ProgID a few steps at most.
std::optional<Guid> ResolveProgId(UStringView progId) {
  {
    std::lock_guard lock(State().mutex);
    auto it = State().builtinProgIds.find(FoldedCopy(progId));
    if (it != State().builtinProgIds.end()) return it->second;
  }
  UString name(progId);
  for (int step = 0; step < 4; ++step) {
    // A ProgID is one key name: no separators, no control characters.
    if (name.empty() || name.size() > 255 || name.find(u'\\') != UString::npos) return std::nullopt;
    for (char16_t c : name) {
      if (c < 0x20) return std::nullopt;
    }
    if (std::optional<UString> text = ReadClassesRoot(name + u"\\CLSID", u"")) {
      if (std::optional<Guid> clsid = Guid::Parse(ToUtf8(*text))) return clsid;
      return std::nullopt;
    }
    std::optional<UString> current = ReadClassesRoot(name + u"\\CurVer", u"");
    if (!current || EqualsNoCase(*current, name)) return std::nullopt;
    name = *current;
  }
  return std::nullopt;
}

// The library at path, loaded on first use and kept until unloaded.
LoadedLibrary LoadLibrary(const std::string& path) {
  std::lock_guard lock(State().mutex);
  auto it = State().libraries.find(path);
  if (it != State().libraries.end()) return it->second;
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    CannotCreate(FromUtf8(path) + u": " + FromUtf8(why ? why : "cannot load"));
  }
  LoadedLibrary lib;
  lib.handle = handle;
  lib.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  lib.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  if (!lib.getClassObject) {
    dlclose(handle);
    CannotCreate(FromUtf8(path) + u": no DllGetClassObject");
  }
  State().libraries.emplace(path, lib);
  return lib;
}

ComPtr<Dispatch> CreateFromLibrary(const Guid& clsid, const std::string& path) {
  LoadedLibrary lib = LoadLibrary(path);
  void* raw = nullptr;
  HRESULT hr = lib.getClassObject(&clsid, &IID_IClassFactory, &raw);
  if (Failed(hr) || !raw) CannotCreate(FromUtf8(path) + u": DllGetClassObject failed");
  auto factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(raw));
  void* object = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IDispatch, &object);
  if (Failed(hr) || !object) {
    UString what = StandardErrorDescription(ErrorNumberFromHResult(hr));
    CannotCreate(FromUtf8(path) + u": " + what);
  }
  return ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(object));
}

}  // namespace

void RegisterBuiltinClass(const CoClassInfo& info, ClassCreator creator) {
  std::lock_guard lock(State().mutex);
  State().builtins[info.clsid] = BuiltinClass{&info, std::move(creator)};
  if (info.progId && *info.progId) State().builtinProgIds[FoldedCopy(info.progId)] = info.clsid;
}

void SetClassRegistryReader(ClassRegistryReader reader) {
  std::lock_guard lock(State().mutex);
  State().reader = std::move(reader);
}

bool ClsidFromProgId(UStringView progId, Guid& clsid) {
  try {
    std::optional<Guid> found = ResolveProgId(progId);
    if (!found) return false;
    clsid = *found;
    return true;
  } catch (...) {
    return false;
  }
}

ComPtr<Dispatch> CreateObjectByClsid(const Guid& clsid) {
  ClassCreator creator;
  {
    std::lock_guard lock(State().mutex);
    auto it = State().builtins.find(clsid);
    if (it != State().builtins.end()) creator = it->second.creator;
  }
  if (creator) {
    ComPtr<Dispatch> object = creator();
    if (!object) CannotCreate();
    return object;
  }
  std::optional<UString> path =
      ReadClassesRoot(u"CLSID\\" + FromUtf8(clsid.ToString()) + u"\\InprocServer32", u"");
  if (!path || path->empty()) CannotCreate();
  return CreateFromLibrary(clsid, ToUtf8(*path));
}

ComPtr<Dispatch> CreateObject(UStringView progIdOrClsid) {
  if (!progIdOrClsid.empty() && progIdOrClsid.front() == u'{') {
    std::optional<Guid> clsid = Guid::Parse(ToUtf8(progIdOrClsid));
    if (!clsid) CannotCreate();
    return CreateObjectByClsid(*clsid);
  }
  std::optional<Guid> clsid = ResolveProgId(progIdOrClsid);
  if (!clsid) CannotCreate();
  return CreateObjectByClsid(*clsid);
}

int FreeUnusedLibraries() {
  std::map<std::string, LoadedLibrary> candidates;
  {
    std::lock_guard lock(State().mutex);
    candidates = State().libraries;
  }
  // Ask outside the lock: DllCanUnloadNow is the library's code.
  int unloaded = 0;
  for (auto& [path, lib] : candidates) {
    if (!lib.canUnloadNow || lib.canUnloadNow() != S_OK) continue;
    {
      std::lock_guard lock(State().mutex);
      State().libraries.erase(path);
    }
    dlclose(lib.handle);
    ++unloaded;
  }
  return unloaded;
}

}  // namespace tarnel
