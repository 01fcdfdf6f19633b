// Class factories for component libraries: FunctionClassFactory makes the
// objects of one class with a creator function, and ServeClassObject answers
// a library's DllGetClassObject from a list of its classes. Header-only, so
// the object and lock counts (ModuleLock) belong to the library that
// includes it and its DllCanUnloadNow sees them.
// Apartment-thread only, like the objects the factory creates.
#pragma once
#include <initializer_list>
#include <new>
#include <utility>

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"

namespace tarnel {

class FunctionClassFactory final : public RefCounted<ClassFactory> {
 public:
  explicit FunctionClassFactory(ClassCreator creator) : creator_(std::move(creator)) {}

  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<ClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  // Creates an object and answers it for iid. Aggregation is not supported.
  // A creator that throws gives its error code; nothing escapes.
  HRESULT CreateInstance(Unknown* outer, const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<Dispatch> object = creator_();
      if (!object) return E_OUTOFMEMORY;
      return object->QueryInterface(iid, out);
    } catch (const ComError& e) {
      return e.hr();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  // Keeps the library loaded while locked (IClassFactory::LockServer).
  HRESULT LockServer(bool lock) override {
    if (lock) {
      ModuleLock::Add();
    } else {
      ModuleLock::Remove();
    }
    return S_OK;
  }

 private:
  ClassCreator creator_;
};

// One class a library serves.
struct ServedClass {
  const Guid* clsid;
  ClassCreator creator;
};

// DllGetClassObject for the classes in `classes`: a new factory answered for
// iid, or CLASS_E_CLASSNOTAVAILABLE for a CLSID the library does not serve.
inline HRESULT ServeClassObject(const Guid* clsid, const Guid* iid, void** out,
                                std::initializer_list<ServedClass> classes) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return E_INVALIDARG;
  for (const ServedClass& c : classes) {
    if (*c.clsid != *clsid) continue;
    try {
      ComPtr<FunctionClassFactory> factory = MakeObject<FunctionClassFactory>(c.creator);
      return factory->QueryInterface(*iid, out);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// DllCanUnloadNow for a library: S_OK when none of its objects or locks is
// outstanding.
inline HRESULT CanUnloadModule() { return ModuleLock::Count() == 0 ? S_OK : S_FALSE; }

}  // namespace tarnel
