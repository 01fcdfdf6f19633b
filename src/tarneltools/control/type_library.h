// The type library TarnelTools: the two control classes ADO and Registry,
// their dispatch interfaces _ADO and _Registry, their event interfaces __ADO
// and __Registry, and the enumeration TarscriptErrors, with the identifiers
// and flags that registration writes. Each interface is one table (member,
// DISPID, kind, parameters, handler) that drives name lookup, Invoke, the
// type descriptions and the registration alike.
// The tables are immutable static data, built on first use; reading them is
// safe on any thread.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/automation/type_info.h"

namespace tarnel {

// TarscriptErrors, the host script language's own error numbers. EOF is a
// macro of the C library, so its C++ name is EndOfFile; its name in the type
// library is EOF.
enum TarscriptErrors : std::int32_t {
  NoError = 0,
  BadHandleSpecified = 269,
  InvalidArgument = 274,
  EndOfFile = 294,
  SqlDatabase = 307,
};

// The library's version (major.minor.revision).
inline constexpr std::int32_t kVersionMajor = 1;
inline constexpr std::int32_t kVersionMinor = 0;
inline constexpr std::int32_t kVersionRevision = 8;

// One type description of the library: a class (with its class data) or an
// interface or enumeration (coclass null).
struct TypeEntry {
  const TypeInfo* type;
  const CoClassInfo* coclass;
};

// A control class as registration describes it.
struct ControlClass {
  const CoClassInfo* info;
  std::uint32_t toolboxBitmap;  // resource number of its toolbox bitmap
  std::uint32_t miscStatus;     // OLEMISC bits of the content aspect
};

struct TypeLibraryInfo {
  const char16_t* name;        // "TarnelTools"
  const char16_t* helpString;  // "TarnelTools"
  Guid libid;
  std::uint16_t majorVersion;
  std::uint16_t minorVersion;
  std::uint32_t lcid;                  // 1033, English (United States)
  std::vector<TypeEntry> types;        // the seven descriptions, in library order
  std::vector<ControlClass> controls;  // ADO, Registry
};

const TypeLibraryInfo& TarnelToolsTypeLibrary();

const TypeInfo& AdoInterface();            // _ADO
const TypeInfo& AdoEventInterface();       // __ADO
const TypeInfo& RegistryInterface();       // _Registry
const TypeInfo& RegistryEventInterface();  // __Registry
const TypeInfo& TarscriptErrorsInfo();
const CoClassInfo& AdoClass();
const CoClassInfo& RegistryClass();

// __ADO's event DISPIDs, 1 to 20 in interface order.
enum AdoEventId : DispId {
  kBeginTransComplete = 1,
  kCommitTransComplete,
  kConnectComplete,
  kDisconnect,
  kExecuteComplete,
  kInfoMessage,
  kRollbackTransComplete,
  kWillConnect,
  kWillExecute,
  kEndOfRecordset,
  kFetchComplete,
  kFetchProgress,
  kFieldChangeComplete,
  kMoveComplete,
  kRecordChangeComplete,
  kRecordsetChangeComplete,
  kWillChangeField,
  kWillChangeRecord,
  kWillChangeRecordset,
  kWillMove,
};

}  // namespace tarnel
