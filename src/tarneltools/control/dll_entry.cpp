// The library's exported entry points, with C linkage as a container looks
// them up: registration and unregistration in the process's registry store,
// the class factories of ADO and Registry, and whether the library may be
// unloaded. No exception leaves them; failures are status codes.
#include <new>

#include "platform/automation/class_factory.h"
#include "platform/registry/registry_store.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/module_file.h"
#include "tarneltools/control/registration.h"
#include "tarneltools/control/type_library.h"
#include "tarneltools/registry/registry_control.h"

namespace tarnel {
namespace {

// The failure code of registration that is not a registry error
// (SELFREG_E_CLASS).
constexpr HRESULT kSelfRegClassError = MakeHResult(0x80040201);

template <class F>
HRESULT Guarded(F&& work) {
  try {
    work();
    return S_OK;
  } catch (const RegistryError& e) {
    return e.HResult();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return kSelfRegClassError;
  }
}

}  // namespace
}  // namespace tarnel

extern "C" tarnel::HRESULT DllRegisterServer() {
  using namespace tarnel;
  return Guarded([] {
    if (ModuleFilePath().empty()) throw RegistryError(RegErrorCode::kFileNotFound, "library file not found");
    RegisterLibrary(RegistryStore::Process(), ModuleFilePath());
  });
}

extern "C" tarnel::HRESULT DllUnregisterServer() {
  using namespace tarnel;
  return Guarded([] { UnregisterLibrary(RegistryStore::Process()); });
}

extern "C" tarnel::HRESULT DllGetClassObject(const tarnel::Guid* clsid, const tarnel::Guid* iid, void** out) {
  using namespace tarnel;
  return ServeClassObject(clsid, iid, out,
                          {{&AdoClass().clsid, [] { return ComPtr<Dispatch>(AdoControl::Create()); }},
                           {&RegistryClass().clsid, [] { return ComPtr<Dispatch>(RegistryControl::Create()); }}});
}

extern "C" tarnel::HRESULT DllCanUnloadNow() { return tarnel::CanUnloadModule(); }
