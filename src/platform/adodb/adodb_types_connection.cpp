// The type tables of _Connection, _Command, _Parameter, Parameters, Error,
// Errors, Property and Properties (names, DISPIDs and parameters of the
// ADODB 2.8 type library) and the classes Connection, Command, Parameter.
#include "platform/adodb/adodb_types.h"
#include "platform/adodb/command.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/errors.h"
#include "platform/adodb/parameters.h"
#include "platform/adodb/properties.h"

namespace tarnel::adodb {

using namespace table;

const TypeInfo& Connection::Type() {
  using C = Connection;
  static const TypeInfo type(
      u"_Connection", IID_Connection, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(0, u"ConnectionString", VT_BSTR, Bind<&C::GetConnectionString>()),
          Let(0, u"ConnectionString", VT_BSTR, Bind<&C::LetConnectionString>()),
          Get(2, u"CommandTimeout", VT_I4, Bind<&C::GetCommandTimeout>()),
          Let(2, u"CommandTimeout", VT_I4, Bind<&C::LetCommandTimeout>()),
          Get(3, u"ConnectionTimeout", VT_I4, Bind<&C::GetConnectionTimeout>()),
          Let(3, u"ConnectionTimeout", VT_I4, Bind<&C::LetConnectionTimeout>()),
          Get(4, u"Version", VT_BSTR, Bind<&C::GetVersion>()),
          Method(5, u"Close", {}, VT_EMPTY, Bind<&C::Close>()),
          Method(6, u"Execute",
                 {In(u"CommandText", VT_BSTR), OutOpt(u"RecordsAffected"), Def(u"Options", VT_I4, adOptionUnspecified)},
                 VT_DISPATCH, Bind<&C::Execute>(), u"Recordset"),
          Method(7, u"BeginTrans", {}, VT_I4, Bind<&C::BeginTrans>()),
          Method(8, u"CommitTrans", {}, VT_EMPTY, Bind<&C::CommitTrans>()),
          Method(9, u"RollbackTrans", {}, VT_EMPTY, Bind<&C::RollbackTrans>()),
          Method(10, u"Open",
                 {Opt(u"ConnectionString", VT_BSTR), Opt(u"UserID", VT_BSTR), Opt(u"Password", VT_BSTR),
                  Def(u"Options", VT_I4, adConnectUnspecified, u"ConnectOptionEnum")},
                 VT_EMPTY, Bind<&C::Open>()),
          Get(11, u"Errors", VT_DISPATCH, Bind<&C::GetErrors>(), u"Errors"),
          Get(12, u"DefaultDatabase", VT_BSTR, Bind<&C::GetDefaultDatabase>()),
          Let(12, u"DefaultDatabase", VT_BSTR, Bind<&C::LetDefaultDatabase>()),
          Get(13, u"IsolationLevel", VT_I4, Bind<&C::GetIsolationLevel>(), u"IsolationLevelEnum"),
          Let(13, u"IsolationLevel", VT_I4, Bind<&C::LetIsolationLevel>(), u"IsolationLevelEnum"),
          Get(14, u"Attributes", VT_I4, Bind<&C::GetAttributes>()),
          Let(14, u"Attributes", VT_I4, Bind<&C::LetAttributes>()),
          Get(15, u"CursorLocation", VT_I4, Bind<&C::GetCursorLocation>(), u"CursorLocationEnum"),
          Let(15, u"CursorLocation", VT_I4, Bind<&C::LetCursorLocation>(), u"CursorLocationEnum"),
          Get(16, u"Mode", VT_I4, Bind<&C::GetMode>(), u"ConnectModeEnum"),
          Let(16, u"Mode", VT_I4, Bind<&C::LetMode>(), u"ConnectModeEnum"),
          Get(17, u"Provider", VT_BSTR, Bind<&C::GetProvider>()),
          Let(17, u"Provider", VT_BSTR, Bind<&C::LetProvider>()),
          Get(18, u"State", VT_I4, Bind<&C::GetState>()),
          Method(19, u"OpenSchema",
                 {In(u"Schema", VT_I4, u"SchemaEnum"), Opt(u"Restrictions"), Opt(u"SchemaID")}, VT_DISPATCH,
                 Bind<&C::OpenSchema>(), u"Recordset"),
          Method(21, u"Cancel", {}, VT_EMPTY, Bind<&C::Cancel>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Connection::Class() {
  static const CoClassInfo info{u"Connection", CLSID_Connection, u"ADODB.Connection", &Type(),
                                &ConnectionEventsType(), TYPEFLAG_FCANCREATE};
  return &info;
}

const TypeInfo& Command::Type() {
  using C = Command;
  static const TypeInfo type(
      u"_Command", IID_Command, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(1, u"ActiveConnection", VT_VARIANT, Bind<&C::GetActiveConnection>(), u"Connection"),
          Let(1, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>()),
          Set(1, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>(), u"Connection"),
          Get(2, u"CommandText", VT_BSTR, Bind<&C::GetCommandText>()),
          Let(2, u"CommandText", VT_BSTR, Bind<&C::LetCommandText>()),
          Get(3, u"CommandTimeout", VT_I4, Bind<&C::GetCommandTimeout>()),
          Let(3, u"CommandTimeout", VT_I4, Bind<&C::LetCommandTimeout>()),
          Get(4, u"Prepared", VT_BOOL, Bind<&C::GetPrepared>()),
          Let(4, u"Prepared", VT_BOOL, Bind<&C::LetPrepared>()),
          Method(5, u"Execute",
                 {OutOpt(u"RecordsAffected"), Opt(u"Parameters"), Def(u"Options", VT_I4, adOptionUnspecified)},
                 VT_DISPATCH, Bind<&C::Execute>(), u"Recordset"),
          Method(6, u"CreateParameter",
                 {Opt(u"Name", VT_BSTR), Def(u"Type", VT_I4, adEmpty, u"DataTypeEnum"),
                  Def(u"Direction", VT_I4, adParamInput, u"ParameterDirectionEnum"), Def(u"Size", VT_I4, 0),
                  Opt(u"Value")},
                 VT_DISPATCH, Bind<&C::CreateParameter>(), u"Parameter"),
          Get(0, u"Parameters", VT_DISPATCH, Bind<&C::GetParameters>(), u"Parameters"),
          Get(7, u"CommandType", VT_I4, Bind<&C::GetCommandType>(), u"CommandTypeEnum"),
          Let(7, u"CommandType", VT_I4, Bind<&C::LetCommandType>(), u"CommandTypeEnum"),
          Get(8, u"Name", VT_BSTR, Bind<&C::GetName>()),
          Let(8, u"Name", VT_BSTR, Bind<&C::LetName>()),
          Get(9, u"State", VT_I4, Bind<&C::GetState>()),
          Method(10, u"Cancel", {}, VT_EMPTY, Bind<&C::Cancel>()),
          Get(11, u"CommandStream", VT_VARIANT, Bind<&C::GetCommandStream>()),
          Set(11, u"CommandStream", VT_VARIANT, Bind<&C::SetCommandStream>()),
          Get(12, u"Dialect", VT_BSTR, Bind<&C::GetDialect>()),
          Let(12, u"Dialect", VT_BSTR, Bind<&C::LetDialect>()),
          Get(13, u"NamedParameters", VT_BOOL, Bind<&C::GetNamedParameters>()),
          Let(13, u"NamedParameters", VT_BOOL, Bind<&C::LetNamedParameters>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Command::Class() {
  static const CoClassInfo info{u"Command", CLSID_Command, u"ADODB.Command", &Type(), nullptr, TYPEFLAG_FCANCREATE};
  return &info;
}

const TypeInfo& Parameter::Type() {
  using C = Parameter;
  static const TypeInfo type(
      u"_Parameter", IID_Parameter, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(1100, u"Name", VT_BSTR, Bind<&C::GetName>()),
          Let(1100, u"Name", VT_BSTR, Bind<&C::LetName>()),
          Get(0, u"Value", VT_VARIANT, Bind<&C::GetValue>()),
          Let(0, u"Value", VT_VARIANT, Bind<&C::LetValue>()),
          Get(1102, u"Type", VT_I4, Bind<&C::GetType>(), u"DataTypeEnum"),
          Let(1102, u"Type", VT_I4, Bind<&C::LetType>(), u"DataTypeEnum"),
          Get(1104, u"Direction", VT_I4, Bind<&C::GetDirection>(), u"ParameterDirectionEnum"),
          Let(1104, u"Direction", VT_I4, Bind<&C::LetDirection>(), u"ParameterDirectionEnum"),
          Get(1098, u"Precision", VT_UI1, Bind<&C::GetPrecision>()),
          Let(1098, u"Precision", VT_UI1, Bind<&C::LetPrecision>()),
          Get(1099, u"NumericScale", VT_UI1, Bind<&C::GetNumericScale>()),
          Let(1099, u"NumericScale", VT_UI1, Bind<&C::LetNumericScale>()),
          Get(1105, u"Size", VT_I4, Bind<&C::GetSize>()),
          Let(1105, u"Size", VT_I4, Bind<&C::LetSize>()),
          Method(1107, u"AppendChunk", {In(u"Val", VT_VARIANT)}, VT_EMPTY, Bind<&C::AppendChunk>()),
          Get(1036, u"Attributes", VT_I4, Bind<&C::GetAttributes>()),
          Let(1036, u"Attributes", VT_I4, Bind<&C::LetAttributes>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Parameter::Class() {
  static const CoClassInfo info{u"Parameter", CLSID_Parameter, u"ADODB.Parameter", &Type(), nullptr,
                                TYPEFLAG_FCANCREATE};
  return &info;
}

const TypeInfo& Parameters::Type() {
  using C = Parameters;
  static const TypeInfo type(u"Parameters", IID_Parameters, TypeKind::Dispatch,
                             {
                                 Get(1, u"Count", VT_I4, Bind<&C::Count>()),
                                 Method(2, u"Refresh", {}, VT_EMPTY, Bind<&C::Refresh>()),
                                 Method(3, u"Append", {In(u"Object", VT_DISPATCH)}, VT_EMPTY, Bind<&C::Append>()),
                                 Method(4, u"Delete", {In(u"Index", VT_VARIANT)}, VT_EMPTY, Bind<&C::Delete>()),
                                 GetWith(0, u"Item", {In(u"Index", VT_VARIANT)}, VT_DISPATCH, Bind<&C::Item>(), u"Parameter"),
                             },
                             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Error::Type() {
  using C = Error;
  static const TypeInfo type(u"Error", IID_Error, TypeKind::Dispatch,
                             {
                                 Get(1, u"Number", VT_I4, Bind<&C::Number>()),
                                 Get(2, u"Source", VT_BSTR, Bind<&C::Source>()),
                                 Get(0, u"Description", VT_BSTR, Bind<&C::Description>()),
                                 Get(3, u"HelpFile", VT_BSTR, Bind<&C::HelpFile>()),
                                 Get(4, u"HelpContext", VT_I4, Bind<&C::HelpContext>()),
                                 Get(5, u"SQLState", VT_BSTR, Bind<&C::SQLState>()),
                                 Get(6, u"NativeError", VT_I4, Bind<&C::NativeError>()),
                             },
                             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Errors::Type() {
  using C = Errors;
  static const TypeInfo type(u"Errors", IID_Errors, TypeKind::Dispatch,
                             {
                                 Get(1, u"Count", VT_I4, Bind<&C::Count>()),
                                 Method(2, u"Refresh", {}, VT_EMPTY, Bind<&C::Refresh>()),
                                 GetWith(0, u"Item", {In(u"Index", VT_VARIANT)}, VT_DISPATCH, Bind<&C::Item>(), u"Error"),
                                 Method(3, u"Clear", {}, VT_EMPTY, Bind<&C::Clear>()),
                             },
                             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Property::Type() {
  using C = Property;
  static const TypeInfo type(u"Property", IID_Property, TypeKind::Dispatch,
                             {
                                 Get(0, u"Value", VT_VARIANT, Bind<&C::Value>()),
                                 Let(0, u"Value", VT_VARIANT, Bind<&C::LetValue>()),
                                 Get(1100, u"Name", VT_BSTR, Bind<&C::Name>()),
                                 Get(1102, u"Type", VT_I4, Bind<&C::GetType>(), u"DataTypeEnum"),
                                 Get(1036, u"Attributes", VT_I4, Bind<&C::Attributes>()),
                                 Let(1036, u"Attributes", VT_I4, Bind<&C::LetAttributes>()),
                             },
                             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Properties::Type() {
  using C = Properties;
  static const TypeInfo type(u"Properties", IID_Properties, TypeKind::Dispatch,
                             {
                                 Get(1, u"Count", VT_I4, Bind<&C::Count>()),
                                 Method(2, u"Refresh", {}, VT_EMPTY, Bind<&C::Refresh>()),
                                 GetWith(0, u"Item", {In(u"Index", VT_VARIANT)}, VT_DISPATCH, Bind<&C::Item>(), u"Property"),
                             },
                             TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

}  // namespace tarnel::adodb
