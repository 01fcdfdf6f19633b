// The classes the host offers: the platform's built-in classes, the test
// objects of test builds, and HKEY_CLASSES_ROOT of the process registry
// store for everything registered by a library.
#include <mutex>

#include "host/script_host.h"
#include "platform/automation/activation.h"
#include "platform/registry/registry_store.h"

#if __has_include("platform/adodb/adodb_classes.h")
#include "platform/adodb/adodb_classes.h"
#define TARNEL_HAVE_ADODB_CLASSES 1
#endif
#include "platform/wshell/wshell.h"
#ifdef TARNEL_TEST_OBJECTS
#include "host/test_object.h"
#endif

namespace tarnel::host {

void RegisterHostClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
#ifdef TARNEL_HAVE_ADODB_CLASSES
    adodb::RegisterAdodbClasses();
#endif
    RegisterShellClasses();
#ifdef TARNEL_TEST_OBJECTS
    RegisterTestObjects();
#endif
  });
}

void UseProcessRegistryForClasses() {
  SetClassRegistryReader([](UStringView keyPath, UStringView valueName) -> std::optional<UString> {
    std::optional<RegValue> value = RegistryStore::Process().GetValue(keyPath, valueName);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
    return value->AsString();
  });
}

}  // namespace tarnel::host
