// The identities of the data access object model's interfaces and classes
// (the ADODB 2.8 type library's GUIDs) and the shorthands its type tables
// are written with. Each object's TypeInfo table is defined in one of the
// adodb_types_*.cpp files and returned by its class's Type(). Static data;
// reading it is safe on any thread.
#pragma once
#include "platform/automation/type_info.h"

namespace tarnel::adodb {

// Interfaces.
constexpr Guid IID_Connection = MakeGuid("00000550-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Recordset = MakeGuid("00000556-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Command = MakeGuid("986761E8-7269-4890-AA65-AD7C03697A6D");
constexpr Guid IID_Parameter = MakeGuid("0000050C-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Parameters = MakeGuid("0000050D-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Field = MakeGuid("00000569-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Fields = MakeGuid("00000564-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Error = MakeGuid("00000500-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Errors = MakeGuid("00000501-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Property = MakeGuid("00000503-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Properties = MakeGuid("00000504-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Stream = MakeGuid("00000565-0000-0010-8000-00AA006D2EA4");
constexpr Guid IID_Record = MakeGuid("00000562-0000-0010-8000-00AA006D2EA4");
// Event interfaces.
constexpr Guid DIID_ConnectionEvents = MakeGuid("00000400-0000-0010-8000-00AA006D2EA4");
constexpr Guid DIID_RecordsetEvents = MakeGuid("00000266-0000-0010-8000-00AA006D2EA4");
// Classes.
constexpr Guid CLSID_Connection = MakeGuid("00000514-0000-0010-8000-00AA006D2EA4");
constexpr Guid CLSID_Recordset = MakeGuid("00000535-0000-0010-8000-00AA006D2EA4");
constexpr Guid CLSID_Command = MakeGuid("00000507-0000-0010-8000-00AA006D2EA4");
constexpr Guid CLSID_Parameter = MakeGuid("0000050B-0000-0010-8000-00AA006D2EA4");
constexpr Guid CLSID_Record = MakeGuid("00000560-0000-0010-8000-00AA006D2EA4");
constexpr Guid CLSID_Stream = MakeGuid("00000566-0000-0010-8000-00AA006D2EA4");
// The type library.
constexpr Guid LIBID_ADODB = MakeGuid("2A75196C-D9EB-4129-B803-931327F72D5C");

// The DISPID of every object's Properties collection.
constexpr DispId kDispIdProperties = 500;

// The event interfaces (described only; sinks implement them).
const TypeInfo& ConnectionEventsType();
const TypeInfo& RecordsetEventsType();

namespace table {

// A by-value parameter of a method or property.
inline ParamDesc In(const char16_t* name, VarType type, const char16_t* typeName = nullptr) {
  return ParamDesc{name, type, false, false, false, 0, typeName};
}
// An optional by-value parameter without a default (arrives as missing).
inline ParamDesc Opt(const char16_t* name, VarType type = VT_VARIANT, const char16_t* typeName = nullptr) {
  return ParamDesc{name, type, false, true, false, 0, typeName};
}
// An optional by-value parameter with an integer default.
inline ParamDesc Def(const char16_t* name, VarType type, std::int32_t value, const char16_t* typeName = nullptr) {
  return ParamDesc{name, type, false, true, true, value, typeName};
}
// An optional by-reference (out) parameter.
inline ParamDesc OutOpt(const char16_t* name, VarType type = VT_VARIANT, const char16_t* typeName = nullptr) {
  return ParamDesc{name, type, true, true, false, 0, typeName};
}
// A by-reference event parameter (the sink may write it back).
inline ParamDesc Ref(const char16_t* name, VarType type, const char16_t* typeName = nullptr) {
  return ParamDesc{name, type, true, false, false, 0, typeName};
}

// A property read.
inline MemberDesc Get(DispId id, const char16_t* name, VarType type, MemberBinding handler,
                      const char16_t* typeName = nullptr) {
  return MemberDesc{id, name, MemberKind::Get, {}, type, handler, typeName};
}
// A property read with arguments (a collection's Item).
inline MemberDesc GetWith(DispId id, const char16_t* name, std::vector<ParamDesc> params, VarType type,
                          MemberBinding handler, const char16_t* typeName = nullptr) {
  return MemberDesc{id, name, MemberKind::Get, std::move(params), type, handler, typeName};
}
// A property write by value (Let) or by reference (Set).
inline MemberDesc Let(DispId id, const char16_t* name, VarType type, MemberBinding handler,
                      const char16_t* typeName = nullptr) {
  return MemberDesc{id, name, MemberKind::Let, {In(u"value", type, typeName)}, VT_EMPTY, handler};
}
inline MemberDesc Set(DispId id, const char16_t* name, VarType type, MemberBinding handler,
                      const char16_t* typeName = nullptr) {
  return MemberDesc{id, name, MemberKind::Set, {In(u"value", type, typeName)}, VT_EMPTY, handler};
}
inline MemberDesc Method(DispId id, const char16_t* name, std::vector<ParamDesc> params, VarType result,
                         MemberBinding handler, const char16_t* resultTypeName = nullptr) {
  return MemberDesc{id, name, MemberKind::Method, std::move(params), result, handler, resultTypeName};
}
inline MemberDesc Hidden(MemberDesc m) {
  m.hidden = true;
  return m;
}
// An event of an event interface (described only).
inline MemberDesc Event(DispId id, const char16_t* name, std::vector<ParamDesc> params) {
  return MemberDesc{id, name, MemberKind::Method, std::move(params), VT_EMPTY, nullptr};
}

}  // namespace table
}  // namespace tarnel::adodb
