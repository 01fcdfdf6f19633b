// The ADO control's helpers for scripts that hold ADO objects themselves:
// the six factories, GetItem on any collection object, ConnectionExecute and
// SetCommandText with a text kept in the keyed store, and ObjectType. None of
// them handles errors: a failure ends the call with that error.
#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

constexpr Guid kCLSID_Recordset = MakeGuid("00000535-0000-0010-8000-00AA006D2EA4");
constexpr Guid kCLSID_Stream = MakeGuid("00000566-0000-0010-8000-00AA006D2EA4");
constexpr Guid kCLSID_Record = MakeGuid("00000560-0000-0010-8000-00AA006D2EA4");
constexpr Guid kCLSID_Parameter = MakeGuid("0000050B-0000-0010-8000-00AA006D2EA4");
constexpr Guid kCLSID_Command = MakeGuid("00000507-0000-0010-8000-00AA006D2EA4");
constexpr Guid kCLSID_Connection = MakeGuid("00000514-0000-0010-8000-00AA006D2EA4");

UString Bracketed(const Variant& v) { return u"[" + TypeName(v) + u"]"; }
UString BracketedObject(Dispatch* object) { return Bracketed(Variant(object)); }

// The result of a call taken as an object reference: anything else fails
// with "Object required".
ComPtr<Dispatch> AsObject(const Variant& value) {
  const Variant& v = value.Target();
  if (v.vt() == VT_DISPATCH) return ComPtr<Dispatch>(v.pdispVal());
  if (v.vt() == VT_UNKNOWN) {
    ComPtr<Unknown> unknown(v.punkVal());
    ComPtr<Dispatch> d = unknown.As<Dispatch>(IID_IDispatch);
    if (d || !v.punkVal()) return d;
  }
  RaiseError(424);
}

}  // namespace

ComPtr<Dispatch> AdoControl::CreateAdoObject(const Guid& clsid, const char16_t* className) {
  ComPtr<Dispatch> object = CreateObjectByClsid(clsid);
  DebugLog(UString(className) + u"() " + className + u" created");
  return object;
}

ComPtr<Dispatch> AdoControl::Recordset() { return CreateAdoObject(kCLSID_Recordset, u"Recordset"); }
ComPtr<Dispatch> AdoControl::Stream() { return CreateAdoObject(kCLSID_Stream, u"Stream"); }
ComPtr<Dispatch> AdoControl::Record() { return CreateAdoObject(kCLSID_Record, u"Record"); }
ComPtr<Dispatch> AdoControl::Parameter() { return CreateAdoObject(kCLSID_Parameter, u"Parameter"); }
ComPtr<Dispatch> AdoControl::Command() { return CreateAdoObject(kCLSID_Command, u"Command"); }
ComPtr<Dispatch> AdoControl::Connection() { return CreateAdoObject(kCLSID_Connection, u"Connection"); }

Variant AdoControl::GetItem(Dispatch* oObject, Variant& vItem) {
  Variant item = CallByName(oObject, u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {vItem});
  Variant result(AsObject(item).get());
  DebugLog(u"GetItem(" + BracketedObject(oObject) + u", " + TextOf(vItem) + u") = " + Bracketed(result));
  return result;
}

ComPtr<Dispatch> AdoControl::ConnectionExecute(Dispatch* oConnection, UString& sStringName,
                                               std::int32_t& nRecordsAffected, std::int32_t& nOptions) {
  Variant name(sStringName);
  Variant text = CollectionGetItem(name);
  // RecordsAffected and Options go by reference, so the connection writes
  // the count straight into the caller's variable.
  Variant returned = CallByName(oConnection, u"Execute", DISPATCH_METHOD,
                                {text, Variant::RefTyped(VT_I4, &nRecordsAffected), Variant::RefTyped(VT_I4, &nOptions)});
  ComPtr<Dispatch> result = AsObject(returned);
  DebugLog(u"ConnectionExecute(" + BracketedObject(oConnection) + u", '" + sStringName + u"', " +
           DecimalText(nRecordsAffected) + u", " + DecimalText(nOptions) + u") = " + BracketedObject(result.get()));
  return result;
}

Variant AdoControl::SetCommandText(Dispatch* oCommand, UString& sStringName) {
  Variant name(sStringName);
  Variant text = CollectionGetItem(name);
  CallByName(oCommand, u"CommandText", DISPATCH_PROPERTYPUT, {text});
  DebugLog(u"SetCommandText(" + BracketedObject(oCommand) + u", " + sStringName + u")");
  return Variant();
}

UString AdoControl::ObjectType(Dispatch* oObject) { return TypeName(Variant(oObject)); }

}  // namespace tarnel
