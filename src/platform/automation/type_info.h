// The type information of an interface or class, written once as a table:
// members with their DISPIDs, kinds, parameters (names, types, by-reference,
// optional, defaults) and result types. The same table drives name lookup,
// Invoke, the type library's descriptions and the registration. Tables are
// static data; reading them is safe on any thread.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"

namespace tarnel {

// The kind of a member, as the FUNCDESC's invoke kind.
enum class MemberKind : std::uint16_t {
  Method = DISPATCH_METHOD,
  Get = DISPATCH_PROPERTYGET,
  Let = DISPATCH_PROPERTYPUT,
  Set = DISPATCH_PROPERTYPUTREF,
};

struct ParamDesc {
  const char16_t* name;
  VarType type;              // declared type; VT_VARIANT accepts any value
  bool byRef = true;         // every parameter of the controls is by reference
  bool optional = false;
  bool hasDefault = false;
  std::int32_t defaultValue = 0;  // integer defaults are all the tables need
  const char16_t* typeName = nullptr;  // documentation: "DataTypeEnum", "Connection"
};

// The implementation of a member: called with the arguments already coerced
// to the declared types (one pointer per parameter, in parameter order) and a
// result to fill. It raises errors by throwing ComError.
using MemberHandler = void (*)(void* self, Variant* const* args, Variant* result);

// One argument of a direct call, already of its parameter's declared type:
// a Long in lVal, a String in *text. The member works on it in place.
struct DirectArg {
  std::int32_t lVal;
  UString* text;  // null for a Long
};
// The result of a direct call: a String in text (isText set), any other
// value in value.
struct DirectResult {
  Variant value;
  UString text;
  bool isText = false;
};
// The same implementation called without Variants: every parameter is
// given, in parameter order. Exists only for members whose parameters are
// all Longs and Strings.
using DirectHandler = void (*)(void* self, DirectArg* args, DirectResult* result);

// What a table entry calls: the handler, and its direct form with the
// parameter types that form reads (Bind gives both; see member_binding.h).
struct MemberBinding {
  MemberHandler call = nullptr;
  DirectHandler direct = nullptr;
  const VarType* directTypes = nullptr;  // one per parameter of the function

  constexpr MemberBinding() = default;
  constexpr MemberBinding(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): an entry without one
  constexpr MemberBinding(MemberHandler handler, DirectHandler directHandler = nullptr,  // NOLINT
                          const VarType* types = nullptr)
      : call(handler), direct(directHandler), directTypes(types) {}
  explicit operator bool() const { return call != nullptr; }
};

struct MemberDesc {
  DispId id;
  const char16_t* name;
  MemberKind kind;
  std::vector<ParamDesc> params;
  VarType resultType = VT_EMPTY;   // VT_EMPTY for none
  MemberBinding handler;           // empty in interfaces that are only described
  const char16_t* resultTypeName = nullptr;
  bool hidden = false;

  std::size_t RequiredCount() const;
};

enum class TypeKind { Dispatch, CoClass, Enum };

struct EnumMember {
  const char16_t* name;
  std::int32_t value;
};

class TypeInfo {
 public:
  TypeInfo(const char16_t* name, Guid guid, TypeKind kind, std::vector<MemberDesc> members,
           std::uint32_t flags = 0, const char16_t* help = nullptr);
  TypeInfo(const char16_t* name, Guid guid, std::vector<EnumMember> values);
  // The lookup tables point into the member table: a TypeInfo stays where
  // it was built (they are static data).
  TypeInfo(const TypeInfo&) = delete;
  TypeInfo& operator=(const TypeInfo&) = delete;

  const UString& Name() const { return name_; }
  const Guid& Id() const { return guid_; }
  TypeKind Kind() const { return kind_; }
  std::uint32_t Flags() const { return flags_; }
  const std::vector<MemberDesc>& Members() const { return members_; }
  const std::vector<EnumMember>& Values() const { return values_; }

  // Case-insensitive lookup of a member name; DISPID_UNKNOWN when absent.
  DispId IdOfName(UStringView name) const;
  // GetIDsOfNames semantics: names[1..] are parameter names of the member.
  HRESULT GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) const;
  // The member with this DISPID callable with these dispatch flags (a
  // method answers METHOD and PROPERTYGET); null when none.
  const MemberDesc* Find(DispId id, std::uint16_t flags) const;
  // Any member with this DISPID (first in table order).
  const MemberDesc* FindAny(DispId id) const;

 private:
  UString name_;
  Guid guid_;
  TypeKind kind_;
  std::uint32_t flags_;
  UString help_;
  std::vector<MemberDesc> members_;
  std::vector<EnumMember> values_;
  std::unordered_map<UString, DispId> byName_;  // folded name -> DISPID
  // DISPID -> the member of each kind (method, get, let, set), so that
  // Invoke finds its member without scanning the table: an open-addressing
  // table of a power-of-two size, at most half full, probed linearly.
  struct IdSlot {
    DispId id = DISPID_UNKNOWN;
    bool used = false;
    std::array<const MemberDesc*, 4> kinds{};
  };
  std::vector<IdSlot> byId_;
  std::size_t idMask_ = 0;
  std::size_t IdHome(DispId id) const {
    return (static_cast<std::uint32_t>(id) * 0x9E3779B1u >> 7) & idMask_;
  }
};

// Type flags (TYPEFLAGS) used in the tables.
enum TypeFlags : std::uint32_t {
  TYPEFLAG_FAPPOBJECT = 0x01,
  TYPEFLAG_FCANCREATE = 0x02,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
};

// A creatable class: its identifiers, default interface and event interface.
struct CoClassInfo {
  const char16_t* name;             // "Recordset", "ADO"
  Guid clsid;
  const char16_t* progId;           // "ADODB.Recordset"
  const TypeInfo* defaultInterface;
  const TypeInfo* sourceInterface;  // null when it raises no events
  std::uint32_t flags = 0;          // TYPEFLAGS
};

// Invoke driven by a table: checks the member and the argument count,
// coerces each argument to its declared type (DISP_E_TYPEMISMATCH with
// argErr naming the rgvarg index), passes omitted optional arguments as
// their default or as missing, calls the handler, turns a ComError into
// DISP_E_EXCEPTION with exception information, and only after a successful
// call writes by-reference results back into the caller's variables.
// `source` names the object in exception information when the member's
// error gives none (the class's ProgID, as a VB component reports it).
HRESULT InvokeFromTable(const TypeInfo& type, void* self, DispId id, std::uint16_t flags,
                        DispParams* params, Variant* result, ExcepInfo* excep,
                        std::uint32_t* argErr, UStringView source = {});

// A direct call of member, which must be an entry of type's table with a
// direct form (E_INVALIDARG otherwise), with one argument per parameter of
// its declared type. Errors become exception information as in
// InvokeFromTable; the arguments and the result are worked on in place, so
// a failed call may leave them changed.
HRESULT InvokeDirectFromTable(const TypeInfo& type, void* self, const MemberDesc& member, DirectArg* args,
                              DirectResult* result, ExcepInfo* excep, UStringView source = {});

}  // namespace tarnel
