// The one table of the library's interfaces: every member of _ADO and
// _Registry with its DISPID, kind, parameters, result and the member function
// that implements it; the events of __ADO; TarscriptErrors; the two classes
// with their GUIDs and flags. A member whose behaviour is not built yet has a
// null handler, so calling it fails with a "not implemented" error.
#include "tarneltools/control/type_library.h"

#include "platform/automation/member_binding.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/registry/registry_control.h"

namespace tarnel {
namespace {

// Fixed identifiers: chosen once, never to change.
constexpr Guid kLibId = MakeGuid("C39B3A5C-8DC5-42F4-9539-205B07BF484F");
constexpr Guid kIID_ADO = MakeGuid("AC0BA9C7-AE06-48AB-89A8-2A1C7F823889");
constexpr Guid kCLSID_ADO = MakeGuid("06417497-021B-419A-ACD6-2D6F363D6BAB");
constexpr Guid kIID_Registry = MakeGuid("758E4D70-FA13-4173-9ECC-14D32133CB99");
constexpr Guid kCLSID_Registry = MakeGuid("B27FD706-FA8F-49CC-9DF5-55BD7FE15D43");
constexpr Guid kDIID_ADOEvents = MakeGuid("1621C945-506F-484F-86AD-D9A9350F392C");
constexpr Guid kDIID_RegistryEvents = MakeGuid("38E939AB-66E9-495B-9756-D64180D6201F");
constexpr Guid kTarscriptErrorsId = MakeGuid("EAD498A9-2CB0-4A84-96D2-1047D00FCE51");

constexpr std::uint32_t kDualFlags =
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr std::uint32_t kEventFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
constexpr std::uint32_t kControlFlags = TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL;
// Set client site first, activate when visible, inside-out, can't link
// inside, recompose on resize.
constexpr std::uint32_t kMiscStatus = 0x20191;

using K = MemberKind;

// Parameters of the controls' interfaces: all by reference.
ParamDesc Long(const char16_t* name, const char16_t* typeName = nullptr) {
  return {.name = name, .type = VT_I4, .typeName = typeName};
}
ParamDesc Str(const char16_t* name) { return {.name = name, .type = VT_BSTR}; }
ParamDesc Var(const char16_t* name) { return {.name = name, .type = VT_VARIANT}; }
ParamDesc Obj(const char16_t* name, const char16_t* typeName = nullptr) {
  return {.name = name, .type = VT_DISPATCH, .typeName = typeName};
}
ParamDesc OptLong(const char16_t* name, bool hasDefault, std::int32_t value) {
  return {.name = name, .type = VT_I4, .optional = true, .hasDefault = hasDefault, .defaultValue = value};
}

MemberDesc Member(DispId id, const char16_t* name, K kind, std::vector<ParamDesc> params, VarType result,
                  MemberBinding handler, const char16_t* resultTypeName = nullptr) {
  return {.id = id,
          .name = name,
          .kind = kind,
          .params = std::move(params),
          .resultType = result,
          .handler = handler,
          .resultTypeName = resultTypeName};
}

constexpr const char16_t* kErrors = u"TarscriptErrors";

std::vector<MemberDesc> AdoMembers() {
  return {
      Member(0x40030005, u"moConnectionEventSource", K::Get, {}, VT_DISPATCH, Bind<&AdoControl::GetmoConnectionEventSource>(), u"Connection"),
      Member(0x40030005, u"moConnectionEventSource", K::Set, {Obj(u"value", u"Connection")}, VT_EMPTY, Bind<&AdoControl::SetmoConnectionEventSource>()),
      Member(0x40030006, u"moRecordsetEventSource", K::Get, {}, VT_DISPATCH, Bind<&AdoControl::GetmoRecordsetEventSource>(), u"Recordset"),
      Member(0x40030006, u"moRecordsetEventSource", K::Set, {Obj(u"value", u"Recordset")}, VT_EMPTY, Bind<&AdoControl::SetmoRecordsetEventSource>()),
      Member(0x68030005, u"Version", K::Get, {}, VT_BSTR, Bind<&AdoControl::Version>()),
      Member(0x68030004, u"DebugMode", K::Get, {}, VT_I4, Bind<&AdoControl::GetDebugMode>()),
      Member(0x68030004, u"DebugMode", K::Let, {Long(u"value")}, VT_EMPTY, Bind<&AdoControl::LetDebugMode>()),
      Member(0x68030003, u"Connections", K::Get, {}, VT_I4, Bind<&AdoControl::Connections>()),
      Member(0x68030002, u"RecordsetEventSource", K::Get, {}, VT_DISPATCH, Bind<&AdoControl::GetRecordsetEventSource>(), u"Recordset"),
      Member(0x68030002, u"RecordsetEventSource", K::Set, {Var(u"value")}, VT_EMPTY, Bind<&AdoControl::SetRecordsetEventSource>()),
      Member(0x68030001, u"ConnectionEventSource", K::Get, {}, VT_DISPATCH, Bind<&AdoControl::GetConnectionEventSource>(), u"Connection"),
      Member(0x68030001, u"ConnectionEventSource", K::Set, {Var(u"value")}, VT_EMPTY, Bind<&AdoControl::SetConnectionEventSource>()),
      Member(0x60030006, u"Recordset", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Recordset>(), u"Recordset"),
      Member(0x60030007, u"Stream", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Stream>(), u"Stream"),
      Member(0x60030008, u"Record", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Record>(), u"Record"),
      Member(0x60030009, u"Parameter", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Parameter>(), u"Parameter"),
      Member(0x6003000A, u"Command", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Command>(), u"Command"),
      Member(0x6003000B, u"Connection", K::Method, {}, VT_DISPATCH, Bind<&AdoControl::Connection>(), u"Connection"),
      Member(0x6003000C, u"GetItem", K::Method, {Obj(u"oObject"), Var(u"vItem")}, VT_VARIANT,
             Bind<&AdoControl::GetItem>()),
      Member(0x6003000D, u"ConnectionExecute", K::Method,
             {Obj(u"oConnection"), Str(u"sStringName"), Long(u"nRecordsAffected"), Long(u"nOptions")}, VT_DISPATCH,
             Bind<&AdoControl::ConnectionExecute>()),
      Member(0x60030022, u"AdoConnect", K::Method, {Str(u"sConnection"), Long(u"nTimeoutSec")}, VT_I4, Bind<&AdoControl::AdoConnect>()),
      Member(0x60030023, u"AdoConnectionState", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoConnectionState>()),
      Member(0x60030024, u"AdoExec", K::Method,
             {Long(u"hADO"), Str(u"sCommand"), Long(u"nOptions"), Long(u"nTimeoutSecs")}, VT_I4, Bind<&AdoControl::AdoExec>(), kErrors),
      Member(0x60030025, u"AdoExecuting", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoExecuting>()),
      Member(0x60030026, u"AdoRecordsetState", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoRecordsetState>()),
      Member(0x60030027, u"AdoCmdCreate", K::Method, {Long(u"hADO"), Str(u"sCommand")}, VT_I4, Bind<&AdoControl::AdoCmdCreate>()),
      Member(0x60030028, u"AdoCmdAddParm", K::Method,
             {Long(u"hCommand"), Str(u"sName"), Var(u"vValue"), Long(u"nDataType"), Long(u"nDirection"),
              Long(u"nSizeBytes"), Long(u"nPrecision"), Long(u"nNumericScale")},
             VT_I4, Bind<&AdoControl::AdoCmdAddParm>(), kErrors),
      Member(0x60030029, u"AdoCmdSetParm", K::Method, {Long(u"hCommand"), Str(u"sName"), Var(u"vValue")}, VT_I4, Bind<&AdoControl::AdoCmdSetParm>(),
             kErrors),
      Member(0x6003002A, u"AdoCmdGetParm", K::Method, {Long(u"hCommand"), Str(u"sName")}, VT_VARIANT, Bind<&AdoControl::AdoCmdGetParm>()),
      Member(0x6003002B, u"AdoCmdExec", K::Method, {Long(u"hCommand"), Long(u"nOptions"), Long(u"nTimeoutSecs")}, VT_I4,
             Bind<&AdoControl::AdoCmdExec>(), kErrors),
      Member(0x6003002C, u"AdoCmdClose", K::Method, {Long(u"hCommand")}, VT_I4, Bind<&AdoControl::AdoCmdClose>(), kErrors),
      Member(0x6003002D, u"AdoCmdState", K::Method, {Long(u"hCommand")}, VT_I4, Bind<&AdoControl::AdoCmdState>()),
      Member(0x6003002E, u"AdoSet", K::Method, {Long(u"hADO"), Str(u"sString")}, VT_I4, Bind<&AdoControl::AdoSet>(), kErrors),
      Member(0x6003002F, u"AdoAppend", K::Method, {Long(u"hADO"), Str(u"sString")}, VT_I4, Bind<&AdoControl::AdoAppend>(), kErrors),
      Member(0x60030030, u"AdoDisconnect", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoDisconnect>(), kErrors),
      Member(0x60030031, u"AdoNumChange", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoNumChange>()),
      Member(0x60030032, u"AdoMove", K::Method, {Long(u"hADO"), Str(u"sType")}, VT_I4, Bind<&AdoControl::AdoMove>(), kErrors),
      Member(0x60030033, u"AdoNext", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoNext>(), kErrors),
      Member(0x60030034, u"AdoGetField", K::Method,
             {Long(u"hADO"), Str(u"sField"), Long(u"nType", u"DataTypeEnum"), Long(u"nPrecision"), Long(u"nScale")},
             VT_BSTR, Bind<&AdoControl::AdoGetField>()),
      Member(0x60030035, u"AdoNoFields", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoNoFields>()),
      Member(0x60030036, u"AdoFieldInfo", K::Method, {Long(u"hADO"), Long(u"nField"), Str(u"sName"), Long(u"nSize")},
             VT_I4, Bind<&AdoControl::AdoFieldInfo>(), kErrors),
      Member(0x60030037, u"AdoInfo", K::Method, {Long(u"hADO"), Str(u"sProperty"), Long(u"nStartChar")}, VT_BSTR,
             Bind<&AdoControl::AdoInfo>()),
      Member(0x60030038, u"AdoRecordCount", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoRecordCount>()),
      Member(0x60030039, u"AdoErrMsg", K::Method, {Long(u"hADO"), Str(u"sType"), Long(u"nError")}, VT_BSTR, Bind<&AdoControl::AdoErrMsg>()),
      Member(0x6003003A, u"AdoBeginTran", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoBeginTran>(), kErrors),
      Member(0x6003003B, u"AdoCommit", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoCommit>(), kErrors),
      Member(0x6003003C, u"AdoRollBack", K::Method, {Long(u"hADO")}, VT_I4, Bind<&AdoControl::AdoRollBack>(), kErrors),
      Member(0x60030044, u"SetCommandText", K::Method, {Obj(u"oCommand"), Str(u"sStringName")}, VT_VARIANT,
             Bind<&AdoControl::SetCommandText>()),
      Member(0x60030045, u"ObjectType", K::Method, {Obj(u"oObject")}, VT_BSTR, Bind<&AdoControl::ObjectType>()),
      Member(0x60030046, u"CollectionAdd", K::Method, {Str(u"sName"), Var(u"vItem")}, VT_VARIANT,
             Bind<&AdoControl::CollectionAdd>()),
      Member(0x60030047, u"CollectionRemove", K::Method, {Str(u"sName")}, VT_VARIANT,
             Bind<&AdoControl::CollectionRemove>()),
      Member(0x60030048, u"CollectionGetItem", K::Method, {Var(u"vItem")}, VT_VARIANT,
             Bind<&AdoControl::CollectionGetItem>()),
      Member(0x68030000, u"CollectionCount", K::Get, {}, VT_I4, Bind<&AdoControl::CollectionCount>()),
      Member(0x60030049, u"CollectionItemExists", K::Method, {Var(u"vItem")}, VT_BOOL,
             Bind<&AdoControl::CollectionItemExists>()),
      Member(0x6003004A, u"CollectionStringAppend", K::Method, {Str(u"sName"), Str(u"sValue")}, VT_VARIANT,
             Bind<&AdoControl::CollectionStringAppend>()),
      Member(0x6003004B, u"CollectionStringLength", K::Method, {Str(u"sName")}, VT_I4,
             Bind<&AdoControl::CollectionStringLength>()),
      Member(0x6003004C, u"CollectionStringMid", K::Method,
             {Str(u"sName"), OptLong(u"nStartChar", true, 1), OptLong(u"nLength", false, 0)}, VT_BSTR,
             Bind<&AdoControl::CollectionStringMid>()),
  };
}

// Event parameters carry ADO's own passing: adStatus and the parameters that
// ADO lets a handler change are by reference, the rest by value.
ParamDesc In(const char16_t* name, VarType type, const char16_t* typeName = nullptr) {
  return {.name = name, .type = type, .byRef = false, .typeName = typeName};
}
ParamDesc Ref(const char16_t* name, VarType type, const char16_t* typeName = nullptr) {
  return {.name = name, .type = type, .byRef = true, .typeName = typeName};
}

std::vector<MemberDesc> AdoEvents() {
  const ParamDesc error = In(u"pError", VT_DISPATCH, u"Error");
  const ParamDesc status = Ref(u"adStatus", VT_I4, u"EventStatusEnum");
  const ParamDesc connection = In(u"pConnection", VT_DISPATCH, u"Connection");
  const ParamDesc command = In(u"pCommand", VT_DISPATCH, u"Command");
  const ParamDesc recordset = In(u"pRecordset", VT_DISPATCH, u"Recordset");
  const ParamDesc reason = In(u"adReason", VT_I4, u"EventReasonEnum");
  auto event = [](AdoEventId id, const char16_t* name, std::vector<ParamDesc> params) {
    return Member(id, name, K::Method, std::move(params), VT_EMPTY, nullptr);
  };
  return {
      event(kBeginTransComplete, u"BeginTransComplete", {In(u"TransactionLevel", VT_I4), error, status, connection}),
      event(kCommitTransComplete, u"CommitTransComplete", {error, status, connection}),
      event(kConnectComplete, u"ConnectComplete", {error, status, connection}),
      event(kDisconnect, u"Disconnect", {status, connection}),
      event(kExecuteComplete, u"ExecuteComplete",
            {In(u"RecordsAffected", VT_I4), error, status, command, recordset, connection}),
      event(kInfoMessage, u"InfoMessage", {error, status, connection}),
      event(kRollbackTransComplete, u"RollbackTransComplete", {error, status, connection}),
      event(kWillConnect, u"WillConnect",
            {Ref(u"ConnectionString", VT_BSTR), Ref(u"UserID", VT_BSTR), Ref(u"Password", VT_BSTR),
             Ref(u"Options", VT_I4), status, connection}),
      event(kWillExecute, u"WillExecute",
            {Ref(u"Source", VT_BSTR), Ref(u"CursorType", VT_I4, u"CursorTypeEnum"),
             Ref(u"LockType", VT_I4, u"LockTypeEnum"), Ref(u"Options", VT_I4), status, command, recordset, connection}),
      event(kEndOfRecordset, u"EndOfRecordset", {Ref(u"fMoreData", VT_BOOL), status, recordset}),
      event(kFetchComplete, u"FetchComplete", {error, status, recordset}),
      event(kFetchProgress, u"FetchProgress", {In(u"Progress", VT_I4), In(u"MaxProgress", VT_I4), status, recordset}),
      event(kFieldChangeComplete, u"FieldChangeComplete",
            {In(u"cFields", VT_I4), In(u"Fields", VT_VARIANT), error, status, recordset}),
      event(kMoveComplete, u"MoveComplete", {reason, error, status, recordset}),
      event(kRecordChangeComplete, u"RecordChangeComplete", {reason, In(u"cRecords", VT_I4), error, status, recordset}),
      event(kRecordsetChangeComplete, u"RecordsetChangeComplete", {reason, error, status, recordset}),
      event(kWillChangeField, u"WillChangeField",
            {In(u"cFields", VT_I4), In(u"Fields", VT_VARIANT), status, recordset}),
      event(kWillChangeRecord, u"WillChangeRecord", {reason, In(u"cRecords", VT_I4), status, recordset}),
      event(kWillChangeRecordset, u"WillChangeRecordset", {reason, status, recordset}),
      event(kWillMove, u"WillMove", {reason, status, recordset}),
  };
}

std::vector<MemberDesc> RegistryMembers() {
  return {
      Member(0x60030000, u"RegRead", K::Method, {Str(u"sKey"), Long(u"nElements")}, VT_VARIANT,
             Bind<&RegistryControl::RegRead>()),
      Member(0x60030001, u"RegReadElement", K::Method, {Long(u"nElement")}, VT_VARIANT,
             Bind<&RegistryControl::RegReadElement>()),
      Member(0x60030002, u"RegWrite", K::Method, {Str(u"sKey"), Var(u"vValue"), Str(u"sDataType")}, VT_VARIANT,
             Bind<&RegistryControl::RegWrite>()),
      Member(0x60030003, u"RegDelete", K::Method, {Str(u"sKey")}, VT_VARIANT, Bind<&RegistryControl::RegDelete>()),
  };
}

}  // namespace

const TypeInfo& AdoInterface() {
  static const TypeInfo type(u"_ADO", kIID_ADO, TypeKind::Dispatch, AdoMembers(), kDualFlags);
  return type;
}

const TypeInfo& AdoEventInterface() {
  static const TypeInfo type(u"__ADO", kDIID_ADOEvents, TypeKind::Dispatch, AdoEvents(), kEventFlags);
  return type;
}

const TypeInfo& RegistryInterface() {
  static const TypeInfo type(u"_Registry", kIID_Registry, TypeKind::Dispatch, RegistryMembers(), kDualFlags);
  return type;
}

const TypeInfo& RegistryEventInterface() {
  static const TypeInfo type(u"__Registry", kDIID_RegistryEvents, TypeKind::Dispatch, {}, kEventFlags);
  return type;
}

const TypeInfo& TarscriptErrorsInfo() {
  static const TypeInfo type(u"TarscriptErrors", kTarscriptErrorsId,
                             {{u"NoError", NoError},
                              {u"BadHandleSpecified", BadHandleSpecified},
                              {u"InvalidArgument", InvalidArgument},
                              {u"EOF", EndOfFile},
                              {u"SqlDatabase", SqlDatabase}});
  return type;
}

const CoClassInfo& AdoClass() {
  static const CoClassInfo info{u"ADO",          kCLSID_ADO,           u"TarnelTools.ADO",
                                &AdoInterface(), &AdoEventInterface(), kControlFlags};
  return info;
}

const CoClassInfo& RegistryClass() {
  static const CoClassInfo info{u"Registry",          kCLSID_Registry,           u"TarnelTools.Registry",
                                &RegistryInterface(), &RegistryEventInterface(), kControlFlags};
  return info;
}

const TypeLibraryInfo& TarnelToolsTypeLibrary() {
  static const TypeInfo adoClassType(u"ADO", kCLSID_ADO, TypeKind::CoClass, {}, kControlFlags);
  static const TypeInfo registryClassType(u"Registry", kCLSID_Registry, TypeKind::CoClass, {}, kControlFlags);
  static const TypeLibraryInfo library{
      .name = u"TarnelTools",
      .helpString = u"TarnelTools",
      .libid = kLibId,
      .majorVersion = 1,
      .minorVersion = 0,
      .lcid = 1033,
      .types = {{&AdoInterface(), nullptr},
                {&adoClassType, &AdoClass()},
                {&RegistryInterface(), nullptr},
                {&registryClassType, &RegistryClass()},
                {&AdoEventInterface(), nullptr},
                {&RegistryEventInterface(), nullptr},
                {&TarscriptErrorsInfo(), nullptr}},
      .controls = {{&AdoClass(), 30001, kMiscStatus}, {&RegistryClass(), 30000, kMiscStatus}},
  };
  return library;
}

}  // namespace tarnel
