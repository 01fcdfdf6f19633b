// The type tables of _Recordset, Fields, Field, _Stream and _Record (names,
// DISPIDs and parameters of the ADODB 2.8 type library) and the classes
// Recordset, Stream and Record.
#include "platform/adodb/adodb_types.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/record.h"
#include "platform/adodb/recordset.h"
#include "platform/adodb/stream.h"

namespace tarnel::adodb {

using namespace table;

const TypeInfo& Recordset::Type() {
  using C = Recordset;
  static const TypeInfo type(
      u"_Recordset", IID_Recordset, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(1000, u"AbsolutePosition", VT_I4, Bind<&C::GetAbsolutePosition>(), u"PositionEnum"),
          Let(1000, u"AbsolutePosition", VT_I4, Bind<&C::LetAbsolutePosition>(), u"PositionEnum"),
          Get(1001, u"ActiveConnection", VT_VARIANT, Bind<&C::GetActiveConnection>()),
          Let(1001, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>()),
          Set(1001, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>(), u"Connection"),
          Get(1002, u"BOF", VT_BOOL, Bind<&C::GetBOF>()),
          Get(1003, u"Bookmark", VT_VARIANT, Bind<&C::GetBookmark>()),
          Let(1003, u"Bookmark", VT_VARIANT, Bind<&C::LetBookmark>()),
          Get(1004, u"CacheSize", VT_I4, Bind<&C::GetCacheSize>()),
          Let(1004, u"CacheSize", VT_I4, Bind<&C::LetCacheSize>()),
          Get(1005, u"CursorType", VT_I4, Bind<&C::GetCursorType>(), u"CursorTypeEnum"),
          Let(1005, u"CursorType", VT_I4, Bind<&C::LetCursorType>(), u"CursorTypeEnum"),
          Get(1006, u"EOF", VT_BOOL, Bind<&C::GetEOF>()),
          Get(0, u"Fields", VT_DISPATCH, Bind<&C::GetFields>(), u"Fields"),
          Get(1008, u"LockType", VT_I4, Bind<&C::GetLockType>(), u"LockTypeEnum"),
          Let(1008, u"LockType", VT_I4, Bind<&C::LetLockType>(), u"LockTypeEnum"),
          Get(1009, u"MaxRecords", VT_I4, Bind<&C::GetMaxRecords>()),
          Let(1009, u"MaxRecords", VT_I4, Bind<&C::LetMaxRecords>()),
          Get(1010, u"RecordCount", VT_I4, Bind<&C::GetRecordCount>()),
          Get(1011, u"Source", VT_VARIANT, Bind<&C::GetSource>()),
          Let(1011, u"Source", VT_VARIANT, Bind<&C::LetSource>()),
          Set(1011, u"Source", VT_VARIANT, Bind<&C::LetSource>(), u"Command"),
          Method(1012, u"AddNew", {Opt(u"FieldList"), Opt(u"Values")}, VT_EMPTY, Bind<&C::AddNew>()),
          Method(1013, u"CancelUpdate", {}, VT_EMPTY, Bind<&C::CancelUpdate>()),
          Method(1014, u"Close", {}, VT_EMPTY, Bind<&C::Close>()),
          Method(1015, u"Delete", {Def(u"AffectRecords", VT_I4, adAffectCurrent, u"AffectEnum")}, VT_EMPTY,
                 Bind<&C::Delete>()),
          Method(1016, u"GetRows", {Def(u"Rows", VT_I4, -1), Opt(u"Start"), Opt(u"Fields")}, VT_VARIANT,
                 Bind<&C::GetRows>()),
          Method(1017, u"Move", {In(u"NumRecords", VT_I4), Opt(u"Start")}, VT_EMPTY, Bind<&C::Move>()),
          Method(1018, u"MoveNext", {}, VT_EMPTY, Bind<&C::MoveNext>()),
          Method(1019, u"MovePrevious", {}, VT_EMPTY, Bind<&C::MovePrevious>()),
          Method(1020, u"MoveFirst", {}, VT_EMPTY, Bind<&C::MoveFirst>()),
          Method(1021, u"MoveLast", {}, VT_EMPTY, Bind<&C::MoveLast>()),
          Method(1022, u"Open",
                 {Opt(u"Source"), Opt(u"ActiveConnection"), Def(u"CursorType", VT_I4, adOpenUnspecified, u"CursorTypeEnum"),
                  Def(u"LockType", VT_I4, adLockUnspecified, u"LockTypeEnum"), Def(u"Options", VT_I4, adCmdUnspecified)},
                 VT_EMPTY, Bind<&C::Open>()),
          Method(1023, u"Requery", {Def(u"Options", VT_I4, adOptionUnspecified)}, VT_EMPTY, Bind<&C::Requery>()),
          Hidden(Method(1024, u"Resync", {Def(u"AffectRecords", VT_I4, adAffectAll), Def(u"ResyncValues", VT_I4, 2)},
                        VT_EMPTY, Bind<&C::Unsupported>())),
          Method(1025, u"Update", {Opt(u"Fields"), Opt(u"Values")}, VT_EMPTY, Bind<&C::Update>()),
          Get(1047, u"AbsolutePage", VT_I4, Bind<&C::GetAbsolutePage>(), u"PositionEnum"),
          Let(1047, u"AbsolutePage", VT_I4, Bind<&C::LetAbsolutePage>(), u"PositionEnum"),
          Get(1026, u"EditMode", VT_I4, Bind<&C::GetEditMode>(), u"EditModeEnum"),
          Get(1030, u"Filter", VT_VARIANT, Bind<&C::GetFilter>()),
          Let(1030, u"Filter", VT_VARIANT, Bind<&C::LetFilter>()),
          Get(1050, u"PageCount", VT_I4, Bind<&C::GetPageCount>()),
          Get(1048, u"PageSize", VT_I4, Bind<&C::GetPageSize>()),
          Let(1048, u"PageSize", VT_I4, Bind<&C::LetPageSize>()),
          Get(1031, u"Sort", VT_BSTR, Bind<&C::GetSort>()),
          Let(1031, u"Sort", VT_BSTR, Bind<&C::LetSort>()),
          Get(1029, u"Status", VT_I4, Bind<&C::GetStatus>()),
          Get(1054, u"State", VT_I4, Bind<&C::GetState>()),
          Method(1035, u"UpdateBatch", {Def(u"AffectRecords", VT_I4, adAffectAll, u"AffectEnum")}, VT_EMPTY,
                 Bind<&C::UpdateBatch>()),
          Method(1049, u"CancelBatch", {Def(u"AffectRecords", VT_I4, adAffectAll, u"AffectEnum")}, VT_EMPTY,
                 Bind<&C::CancelBatch>()),
          Get(1051, u"CursorLocation", VT_I4, Bind<&C::GetCursorLocation>(), u"CursorLocationEnum"),
          Let(1051, u"CursorLocation", VT_I4, Bind<&C::LetCursorLocation>(), u"CursorLocationEnum"),
          Method(1052, u"NextRecordset", {OutOpt(u"RecordsAffected")}, VT_DISPATCH, Bind<&C::NextRecordset>(),
                 u"Recordset"),
          Method(1036, u"Supports", {In(u"CursorOptions", VT_I4, u"CursorOptionEnum")}, VT_BOOL, Bind<&C::Supports>()),
          Hidden(GetWith(-8, u"Collect", {In(u"Index", VT_VARIANT)}, VT_VARIANT, Bind<&C::GetCollect>())),
          Hidden(MemberDesc{-8, u"Collect", MemberKind::Let, {In(u"Index", VT_VARIANT), In(u"value", VT_VARIANT)},
                            VT_EMPTY, Bind<&C::LetCollect>()}),
          Get(1053, u"MarshalOptions", VT_I4, Bind<&C::GetMarshalOptions>()),
          Let(1053, u"MarshalOptions", VT_I4, Bind<&C::LetMarshalOptions>()),
          Method(1058, u"Find",
                 {In(u"Criteria", VT_BSTR), Def(u"SkipRecords", VT_I4, 0),
                  Def(u"SearchDirection", VT_I4, adSearchForward, u"SearchDirectionEnum"), Opt(u"Start")},
                 VT_EMPTY, Bind<&C::Find>()),
          Method(1055, u"Cancel", {}, VT_EMPTY, Bind<&C::Cancel>()),
          Get(1061, u"ActiveCommand", VT_DISPATCH, Bind<&C::GetActiveCommand>(), u"Command"),
          Method(1062, u"GetString",
                 {Def(u"StringFormat", VT_I4, adClipString, u"StringFormatEnum"), Def(u"NumRows", VT_I4, -1),
                  Opt(u"ColumnDelimeter"), Opt(u"RowDelimeter"), Opt(u"NullExpr")},
                 VT_BSTR, Bind<&C::GetString>()),
          Method(1065, u"CompareBookmarks", {In(u"Bookmark1", VT_VARIANT), In(u"Bookmark2", VT_VARIANT)}, VT_I4,
                 Bind<&C::CompareBookmarks>(), u"CompareEnum"),
          Method(1034, u"Clone", {Def(u"LockType", VT_I4, adLockUnspecified)}, VT_DISPATCH, Bind<&C::Unsupported>(),
                 u"Recordset"),
          Method(1057, u"Save", {Opt(u"Destination"), Def(u"PersistFormat", VT_I4, 0)}, VT_EMPTY,
                 Bind<&C::Unsupported>()),
          Method(1066, u"Seek", {In(u"KeyValues", VT_VARIANT), Def(u"SeekOption", VT_I4, 1)}, VT_EMPTY,
                 Bind<&C::Unsupported>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Recordset::Class() {
  static const CoClassInfo info{u"Recordset", CLSID_Recordset, u"ADODB.Recordset", &Type(),
                                &RecordsetEventsType(), TYPEFLAG_FCANCREATE};
  return &info;
}

const TypeInfo& Fields::Type() {
  using C = Fields;
  static const TypeInfo type(
      u"Fields", IID_Fields, TypeKind::Dispatch,
      {
          Get(1, u"Count", VT_I4, Bind<&C::Count>()),
          Method(2, u"Refresh", {}, VT_EMPTY, Bind<&C::Refresh>()),
          GetWith(0, u"Item", {In(u"Index", VT_VARIANT)}, VT_DISPATCH, Bind<&C::Item>(), u"Field"),
          Method(3, u"Append",
                 {In(u"Name", VT_BSTR), In(u"Type", VT_I4, u"DataTypeEnum"), Def(u"DefinedSize", VT_I4, 0),
                  Def(u"Attrib", VT_I4, adFldUnspecified, u"FieldAttributeEnum"), Opt(u"FieldValue")},
                 VT_EMPTY, Bind<&C::Append>()),
          Method(4, u"Delete", {In(u"Index", VT_VARIANT)}, VT_EMPTY, Bind<&C::Delete>()),
          Method(5, u"Update", {}, VT_EMPTY, Bind<&C::Update>()),
          Method(6, u"Resync", {Def(u"ResyncValues", VT_I4, 2)}, VT_EMPTY, Bind<&C::Resync>()),
          Method(7, u"CancelUpdate", {}, VT_EMPTY, Bind<&C::CancelUpdate>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Field::Type() {
  using C = Field;
  static const TypeInfo type(
      u"Field", IID_Field, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(1109, u"ActualSize", VT_I4, Bind<&C::ActualSize>()),
          Get(1036, u"Attributes", VT_I4, Bind<&C::Attributes>()),
          Get(1103, u"DefinedSize", VT_I4, Bind<&C::DefinedSize>()),
          Get(1100, u"Name", VT_BSTR, Bind<&C::Name>()),
          Get(1102, u"Type", VT_I4, Bind<&C::GetType>(), u"DataTypeEnum"),
          Get(0, u"Value", VT_VARIANT, Bind<&C::Value>()),
          Let(0, u"Value", VT_VARIANT, Bind<&C::LetValue>()),
          Get(1098, u"Precision", VT_UI1, Bind<&C::Precision>()),
          Get(1099, u"NumericScale", VT_UI1, Bind<&C::NumericScale>()),
          Method(1107, u"AppendChunk", {In(u"Data", VT_VARIANT)}, VT_EMPTY, Bind<&C::AppendChunk>()),
          Method(1108, u"GetChunk", {In(u"Length", VT_I4)}, VT_VARIANT, Bind<&C::GetChunk>()),
          Get(1104, u"OriginalValue", VT_VARIANT, Bind<&C::OriginalValue>()),
          Get(1105, u"UnderlyingValue", VT_VARIANT, Bind<&C::UnderlyingValue>()),
          Get(1116, u"Status", VT_I4, Bind<&C::Status>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const TypeInfo& Stream::Type() {
  using C = Stream;
  static const TypeInfo type(
      u"_Stream", IID_Stream, TypeKind::Dispatch,
      {
          Get(1, u"Size", VT_I4, Bind<&C::GetSize>()),
          Get(2, u"EOS", VT_BOOL, Bind<&C::GetEOS>()),
          Get(3, u"Position", VT_I4, Bind<&C::GetPosition>()),
          Let(3, u"Position", VT_I4, Bind<&C::LetPosition>()),
          Get(4, u"Type", VT_I4, Bind<&C::GetType>(), u"StreamTypeEnum"),
          Let(4, u"Type", VT_I4, Bind<&C::LetType>(), u"StreamTypeEnum"),
          Get(5, u"LineSeparator", VT_I4, Bind<&C::GetLineSeparator>(), u"LineSeparatorEnum"),
          Let(5, u"LineSeparator", VT_I4, Bind<&C::LetLineSeparator>(), u"LineSeparatorEnum"),
          Get(6, u"State", VT_I4, Bind<&C::GetState>(), u"ObjectStateEnum"),
          Get(7, u"Mode", VT_I4, Bind<&C::GetMode>(), u"ConnectModeEnum"),
          Let(7, u"Mode", VT_I4, Bind<&C::LetMode>(), u"ConnectModeEnum"),
          Get(8, u"Charset", VT_BSTR, Bind<&C::GetCharset>()),
          Let(8, u"Charset", VT_BSTR, Bind<&C::LetCharset>()),
          Method(9, u"Read", {Def(u"NumBytes", VT_I4, adReadAll)}, VT_VARIANT, Bind<&C::Read>()),
          Method(10, u"Open",
                 {Opt(u"Source"), Def(u"Mode", VT_I4, adModeUnknown, u"ConnectModeEnum"),
                  Def(u"Options", VT_I4, adOpenStreamUnspecified, u"StreamOpenOptionsEnum"), Opt(u"UserName", VT_BSTR),
                  Opt(u"Password", VT_BSTR)},
                 VT_EMPTY, Bind<&C::Open>()),
          Method(11, u"Close", {}, VT_EMPTY, Bind<&C::Close>()),
          Method(12, u"SkipLine", {}, VT_EMPTY, Bind<&C::SkipLine>()),
          Method(13, u"Write", {In(u"Buffer", VT_VARIANT)}, VT_EMPTY, Bind<&C::Write>()),
          Method(14, u"SetEOS", {}, VT_EMPTY, Bind<&C::SetEOS>()),
          Method(15, u"CopyTo", {In(u"DestStream", VT_DISPATCH, u"_Stream"), Def(u"CharNumber", VT_I4, -1)}, VT_EMPTY,
                 Bind<&C::CopyTo>()),
          Method(16, u"Flush", {}, VT_EMPTY, Bind<&C::Flush>()),
          Method(17, u"SaveToFile", {In(u"FileName", VT_BSTR), Def(u"Options", VT_I4, adSaveCreateNotExist)}, VT_EMPTY,
                 Bind<&C::SaveToFile>()),
          Method(18, u"LoadFromFile", {In(u"FileName", VT_BSTR)}, VT_EMPTY, Bind<&C::LoadFromFile>()),
          Method(19, u"ReadText", {Def(u"NumChars", VT_I4, adReadAll)}, VT_BSTR, Bind<&C::ReadText>()),
          Method(20, u"WriteText", {In(u"Data", VT_BSTR), Def(u"Options", VT_I4, adWriteChar, u"StreamWriteEnum")},
                 VT_EMPTY, Bind<&C::WriteText>()),
          Method(21, u"Cancel", {}, VT_EMPTY, Bind<&C::Cancel>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Stream::Class() {
  static const CoClassInfo info{u"Stream", CLSID_Stream, u"ADODB.Stream", &Type(), nullptr, TYPEFLAG_FCANCREATE};
  return &info;
}

const TypeInfo& Record::Type() {
  using C = Record;
  static const TypeInfo type(
      u"_Record", IID_Record, TypeKind::Dispatch,
      {
          Get(kDispIdProperties, u"Properties", VT_DISPATCH, Bind<&C::GetProperties>(), u"Properties"),
          Get(1, u"ActiveConnection", VT_VARIANT, Bind<&C::GetActiveConnection>()),
          Let(1, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>()),
          Set(1, u"ActiveConnection", VT_VARIANT, Bind<&C::LetActiveConnection>(), u"Connection"),
          Get(2, u"State", VT_I4, Bind<&C::GetState>(), u"ObjectStateEnum"),
          Get(3, u"Source", VT_VARIANT, Bind<&C::GetSource>()),
          Let(3, u"Source", VT_VARIANT, Bind<&C::LetSource>()),
          Set(3, u"Source", VT_VARIANT, Bind<&C::LetSource>()),
          Get(4, u"Mode", VT_I4, Bind<&C::GetMode>(), u"ConnectModeEnum"),
          Let(4, u"Mode", VT_I4, Bind<&C::LetMode>(), u"ConnectModeEnum"),
          Get(5, u"ParentURL", VT_VARIANT, Bind<&C::GetParentURL>()),
          Method(6, u"MoveRecord",
                 {Opt(u"Source", VT_BSTR), Opt(u"Destination", VT_BSTR), Opt(u"UserName", VT_BSTR),
                  Opt(u"Password", VT_BSTR), Def(u"Options", VT_I4, -1), Opt(u"Async", VT_BOOL)},
                 VT_BSTR, Bind<&C::MoveRecord>()),
          Method(7, u"CopyRecord",
                 {Opt(u"Source", VT_BSTR), Opt(u"Destination", VT_BSTR), Opt(u"UserName", VT_BSTR),
                  Opt(u"Password", VT_BSTR), Def(u"Options", VT_I4, -1), Opt(u"Async", VT_BOOL)},
                 VT_BSTR, Bind<&C::CopyRecord>()),
          Method(8, u"DeleteRecord", {Opt(u"Source", VT_BSTR), Opt(u"Async", VT_BOOL)}, VT_EMPTY,
                 Bind<&C::DeleteRecord>()),
          Method(9, u"Open",
                 {Opt(u"Source"), Opt(u"ActiveConnection"), Def(u"Mode", VT_I4, adModeUnknown, u"ConnectModeEnum"),
                  Def(u"CreateOptions", VT_I4, adFailIfNotExists), Def(u"Options", VT_I4, adOpenRecordUnspecified),
                  Opt(u"UserName", VT_BSTR), Opt(u"Password", VT_BSTR)},
                 VT_EMPTY, Bind<&C::Open>()),
          Method(10, u"Close", {}, VT_EMPTY, Bind<&C::Close>()),
          Get(0, u"Fields", VT_DISPATCH, Bind<&C::GetFields>(), u"Fields"),
          Get(11, u"RecordType", VT_I4, Bind<&C::GetRecordType>(), u"RecordTypeEnum"),
          Method(12, u"GetChildren", {}, VT_DISPATCH, Bind<&C::GetChildren>(), u"Recordset"),
          Method(13, u"Cancel", {}, VT_EMPTY, Bind<&C::Cancel>()),
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
  return type;
}

const CoClassInfo* Record::Class() {
  static const CoClassInfo info{u"Record", CLSID_Record, u"ADODB.Record", &Type(), nullptr, TYPEFLAG_FCANCREATE};
  return &info;
}

}  // namespace tarnel::adodb
