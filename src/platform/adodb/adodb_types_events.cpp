// The event interfaces ConnectionEvents and RecordsetEvents: the DISPIDs,
// names and parameters (in ADO's order, by-reference ones marked) that a
// sink receives. Sinks implement them; the tables only describe them.
#include "platform/adodb/adodb_types.h"

namespace tarnel::adodb {

using namespace table;

namespace {

ParamDesc Obj(const char16_t* name, const char16_t* typeName) { return In(name, VT_DISPATCH, typeName); }
ParamDesc Status() { return Ref(u"adStatus", VT_I4, u"EventStatusEnum"); }

}  // namespace

const TypeInfo& ConnectionEventsType() {
  static const TypeInfo type(
      u"ConnectionEvents", DIID_ConnectionEvents, TypeKind::Dispatch,
      {
          Event(0, u"InfoMessage", {Obj(u"pError", u"Error"), Status(), Obj(u"pConnection", u"_Connection")}),
          Event(1, u"BeginTransComplete",
                {In(u"TransactionLevel", VT_I4), Obj(u"pError", u"Error"), Status(),
                 Obj(u"pConnection", u"_Connection")}),
          Event(2, u"RollbackTransComplete", {Obj(u"pError", u"Error"), Status(), Obj(u"pConnection", u"_Connection")}),
          Event(3, u"CommitTransComplete", {Obj(u"pError", u"Error"), Status(), Obj(u"pConnection", u"_Connection")}),
          Event(4, u"WillExecute",
                {Ref(u"Source", VT_BSTR), Ref(u"CursorType", VT_I4, u"CursorTypeEnum"),
                 Ref(u"LockType", VT_I4, u"LockTypeEnum"), Ref(u"Options", VT_I4), Status(),
                 Obj(u"pCommand", u"_Command"), Obj(u"pRecordset", u"_Recordset"),
                 Obj(u"pConnection", u"_Connection")}),
          Event(5, u"ExecuteComplete",
                {In(u"RecordsAffected", VT_I4), Obj(u"pError", u"Error"), Status(), Obj(u"pCommand", u"_Command"),
                 Obj(u"pRecordset", u"_Recordset"), Obj(u"pConnection", u"_Connection")}),
          Event(6, u"WillConnect",
                {Ref(u"ConnectionString", VT_BSTR), Ref(u"UserID", VT_BSTR), Ref(u"Password", VT_BSTR),
                 Ref(u"Options", VT_I4), Status(), Obj(u"pConnection", u"_Connection")}),
          Event(7, u"ConnectComplete", {Obj(u"pError", u"Error"), Status(), Obj(u"pConnection", u"_Connection")}),
          Event(8, u"Disconnect", {Status(), Obj(u"pConnection", u"_Connection")}),
      },
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE);
  return type;
}

const TypeInfo& RecordsetEventsType() {
  static const TypeInfo type(
      u"RecordsetEvents", DIID_RecordsetEvents, TypeKind::Dispatch,
      {
          Event(9, u"WillChangeField",
                {In(u"cFields", VT_I4), In(u"Fields", VT_VARIANT), Status(), Obj(u"pRecordset", u"_Recordset")}),
          Event(10, u"FieldChangeComplete",
                {In(u"cFields", VT_I4), In(u"Fields", VT_VARIANT), Obj(u"pError", u"Error"), Status(),
                 Obj(u"pRecordset", u"_Recordset")}),
          Event(11, u"WillChangeRecord",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), In(u"cRecords", VT_I4), Status(),
                 Obj(u"pRecordset", u"_Recordset")}),
          Event(12, u"RecordChangeComplete",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), In(u"cRecords", VT_I4), Obj(u"pError", u"Error"), Status(),
                 Obj(u"pRecordset", u"_Recordset")}),
          Event(13, u"WillChangeRecordset",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), Status(), Obj(u"pRecordset", u"_Recordset")}),
          Event(14, u"RecordsetChangeComplete",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), Obj(u"pError", u"Error"), Status(),
                 Obj(u"pRecordset", u"_Recordset")}),
          Event(15, u"WillMove",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), Status(), Obj(u"pRecordset", u"_Recordset")}),
          Event(16, u"MoveComplete",
                {In(u"adReason", VT_I4, u"EventReasonEnum"), Obj(u"pError", u"Error"), Status(),
                 Obj(u"pRecordset", u"_Recordset")}),
          Event(17, u"EndOfRecordset",
                {Ref(u"fMoreData", VT_BOOL), Status(), Obj(u"pRecordset", u"_Recordset")}),
          Event(18, u"FetchProgress",
                {In(u"Progress", VT_I4), In(u"MaxProgress", VT_I4), Status(), Obj(u"pRecordset", u"_Recordset")}),
          Event(19, u"FetchComplete", {Obj(u"pError", u"Error"), Status(), Obj(u"pRecordset", u"_Recordset")}),
      },
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE);
  return type;
}

}  // namespace tarnel::adodb
