// Class activation: creating objects by ProgID or CLSID. A ProgID leads
// through HKEY_CLASSES_ROOT of the registry store to a CLSID and its
// InprocServer32 library, which is loaded with dlopen and asked for a class
// factory with DllGetClassObject. Platform classes (ADODB, WScript.Shell)
// are registered in-process and need no library file. Libraries are
// unloaded at shutdown when their DllCanUnloadNow agrees.
// Apartment-thread only.
#pragma once
#include <functional>
#include <optional>

#include "platform/automation/dispatch.h"
#include "platform/automation/type_info.h"

namespace tarnel {

class ClassFactory : public Unknown {
 public:
  virtual HRESULT CreateInstance(Unknown* outer, const Guid& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

// Entry points that a component library exports with C linkage.
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// A built-in class: the creator returns a new object with one reference.
using ClassCreator = std::function<ComPtr<Dispatch>()>;
void RegisterBuiltinClass(const CoClassInfo& info, ClassCreator creator);

// Creates an object by ProgID ("ADODB.Connection") or by CLSID text
// ("{00000514-...}"). Throws ComError 429 "ActiveX component can't create
// object" when the class is unknown or cannot be created.
ComPtr<Dispatch> CreateObject(UStringView progIdOrClsid);
ComPtr<Dispatch> CreateObjectByClsid(const Guid& clsid);

// Looks up a ProgID's CLSID: built-in classes first, then HKCR\<ProgID>\CLSID.
bool ClsidFromProgId(UStringView progId, Guid& clsid);

// Where activation reads HKEY_CLASSES_ROOT: a function that returns a
// value of a key as text ("" names the default value), or nothing when the
// key or value is missing. It may throw (the store cannot be opened); the
// failure then becomes error 429 naming the cause. Without a reader only
// built-in classes can be created. The host installs one over the process
// registry store; tests install their own.
using ClassRegistryReader = std::function<std::optional<UString>(UStringView keyPath, UStringView valueName)>;
void SetClassRegistryReader(ClassRegistryReader reader);

// Unloads every library loaded so far whose DllCanUnloadNow returns S_OK
// (CoFreeUnusedLibraries). Returns the number unloaded.
int FreeUnusedLibraries();

}  // namespace tarnel
