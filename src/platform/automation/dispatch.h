// Dispatch: late-bound calls by DISPID (the stand-in for IDispatch), with the
// argument block and exception information of OLE Automation. Arguments are
// passed last-to-first in rgvarg; by-reference arguments (VT_BYREF) are the
// only ones a member may change. Objects are called on their apartment thread.
#pragma once
#include <cstdint>

#include "platform/automation/unknown.h"
#include "platform/automation/variant.h"

namespace tarnel {

using DispId = std::int32_t;
constexpr DispId DISPID_VALUE = 0;
constexpr DispId DISPID_UNKNOWN = -1;
constexpr DispId DISPID_PROPERTYPUT = -3;
constexpr DispId DISPID_NEWENUM = -4;

enum DispatchFlags : std::uint16_t {
  DISPATCH_METHOD = 0x1,
  DISPATCH_PROPERTYGET = 0x2,
  DISPATCH_PROPERTYPUT = 0x4,
  DISPATCH_PROPERTYPUTREF = 0x8,
  // Not a member kind: the caller's by-reference arguments are its own
  // temporaries, whose values it reads only after a successful call. The
  // callee may then work on them in place instead of on copies, so a failed
  // call may leave them changed. Without it a failed call changes nothing.
  DISPATCH_ARGS_IN_PLACE = 0x1000,
};

struct DispParams {
  Variant* rgvarg = nullptr;             // arguments, last first
  const DispId* rgdispidNamedArgs = nullptr;
  std::uint32_t cArgs = 0;
  std::uint32_t cNamedArgs = 0;
};

struct ExcepInfo {
  std::uint16_t wCode = 0;
  UString bstrSource;
  UString bstrDescription;
  UString bstrHelpFile;
  std::uint32_t dwHelpContext = 0;
  HRESULT scode = S_OK;
};

class TypeInfo;
struct CoClassInfo;

class Dispatch : public Unknown {
 public:
  // The type information of the object's dispatch interface (static data).
  virtual const TypeInfo* GetTypeInfo() = 0;
  // Names to DISPIDs, case-insensitively: names[0] the member, the rest its
  // parameters. Unknown names get DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) = 0;
  virtual HRESULT Invoke(DispId id, std::uint16_t flags, DispParams* params, Variant* result,
                         ExcepInfo* excep, std::uint32_t* argErr) = 0;
};

// IProvideClassInfo: the class an object belongs to (its coclass), which
// gives TypeName its class name and the host the object's event interface.
class ProvideClassInfo : public Unknown {
 public:
  virtual const CoClassInfo* GetClassInfo() = 0;
};

// DirectCall: calls a member of an object whose interface is a table
// (type_info.h), by its table entry, without Variants or Invoke's argument
// block: the caller passes every parameter, each already of its declared
// type, and the member works on the arguments in place. Offered by objects
// that answer QueryInterface for IID_DirectCall; what a call does and the
// errors it reports are the same as through Invoke. E_INVALIDARG when the
// entry is not one of the object's own with a direct form.
constexpr Guid IID_DirectCall = MakeGuid("5E1A7C30-2F4B-4D8E-9B61-3C0D2A7E9F14");
struct DirectArg;
struct DirectResult;
struct MemberDesc;
class DirectCall : public Unknown {
 public:
  virtual HRESULT CallDirect(const MemberDesc& member, DirectArg* args, DirectResult* result, ExcepInfo* excep) = 0;
};

// Convenience wrappers for calling an object by name; each throws ComError
// with the callee's exception information (or the dispatch failure) when the
// call fails. Arguments are given first-to-last.
Variant CallByName(Dispatch* object, UStringView name, std::uint16_t flags,
                   std::vector<Variant> args = {});
// The ComError that describes a failed Invoke.
[[noreturn]] void RaiseDispatchFailure(HRESULT hr, const ExcepInfo& excep, UStringView memberName,
                                       std::uint32_t argErr, std::uint32_t argCount);

}  // namespace tarnel
