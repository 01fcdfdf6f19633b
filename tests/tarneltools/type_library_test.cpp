// The type library as a container reads it: the seven descriptions in
// order, the members of _ADO and _Registry with their DISPIDs, kinds and
// by-reference parameters, the events of __ADO, TarscriptErrors, the class
// data, name lookup, and the "not implemented" answer of members whose
// behaviour comes later.
#include "tarneltools/control/type_library.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/registry/registry_control.h"

namespace tarnel {
namespace {

const MemberDesc& Get(const TypeInfo& type, DispId id, MemberKind kind) {
  const MemberDesc* m = type.Find(id, static_cast<std::uint16_t>(kind));
  if (!m || m->kind != kind) throw std::runtime_error("member missing");
  return *m;
}

TEST(TypeLibrary, HasItsIdentityAndSevenDescriptionsInOrder) {
  const TypeLibraryInfo& lib = TarnelToolsTypeLibrary();
  EXPECT_EQ(UString(lib.name), u"TarnelTools");
  EXPECT_EQ(UString(lib.helpString), u"TarnelTools");
  EXPECT_EQ(lib.majorVersion, 1);
  EXPECT_EQ(lib.minorVersion, 0);
  EXPECT_EQ(lib.lcid, 1033u);
  ASSERT_EQ(lib.types.size(), 7u);
  const char16_t* names[] = {u"_ADO", u"ADO", u"_Registry", u"Registry", u"__ADO", u"__Registry", u"TarscriptErrors"};
  const TypeKind kinds[] = {TypeKind::Dispatch, TypeKind::CoClass,  TypeKind::Dispatch, TypeKind::CoClass,
                            TypeKind::Dispatch, TypeKind::Dispatch, TypeKind::Enum};
  std::set<std::string> guids{lib.libid.ToString()};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(lib.types[i].type->Name(), names[i]) << i;
    EXPECT_EQ(lib.types[i].type->Kind(), kinds[i]) << i;
    EXPECT_EQ(lib.types[i].coclass != nullptr, kinds[i] == TypeKind::CoClass) << i;
    guids.insert(lib.types[i].type->Id().ToString());
  }
  EXPECT_EQ(guids.size(), 8u) << "every description and the library have their own GUID";
  EXPECT_EQ(lib.libid.ToString(), "{C39B3A5C-8DC5-42F4-9539-205B07BF484F}") << "GUIDs never change";
  EXPECT_EQ(AdoClass().clsid.ToString(), "{06417497-021B-419A-ACD6-2D6F363D6BAB}");
  EXPECT_EQ(RegistryClass().clsid.ToString(), "{B27FD706-FA8F-49CC-9DF5-55BD7FE15D43}");
}

TEST(TypeLibrary, ClassesAreControlsWithTheirInterfacesAndBitmaps) {
  const TypeLibraryInfo& lib = TarnelToolsTypeLibrary();
  ASSERT_EQ(lib.controls.size(), 2u);
  const CoClassInfo& ado = *lib.controls[0].info;
  const CoClassInfo& reg = *lib.controls[1].info;
  EXPECT_EQ(UString(ado.progId), u"TarnelTools.ADO");
  EXPECT_EQ(UString(reg.progId), u"TarnelTools.Registry");
  EXPECT_EQ(ado.defaultInterface, &AdoInterface());
  EXPECT_EQ(ado.sourceInterface, &AdoEventInterface());
  EXPECT_EQ(reg.defaultInterface, &RegistryInterface());
  EXPECT_EQ(reg.sourceInterface, &RegistryEventInterface());
  EXPECT_EQ(lib.controls[0].toolboxBitmap, 30001u);
  EXPECT_EQ(lib.controls[1].toolboxBitmap, 30000u);
  for (const ControlClass& c : lib.controls) {
    EXPECT_EQ(c.miscStatus, 0x20191u);
    EXPECT_TRUE(c.info->flags & TYPEFLAG_FCONTROL);
    EXPECT_TRUE(c.info->flags & TYPEFLAG_FCANCREATE);
  }
  for (const TypeInfo* dual : {&AdoInterface(), &RegistryInterface()}) {
    EXPECT_EQ(dual->Flags(), std::uint32_t(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                           TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE));
  }
  for (const TypeInfo* events : {&AdoEventInterface(), &RegistryEventInterface()}) {
    EXPECT_TRUE(events->Flags() & TYPEFLAG_FHIDDEN);
    EXPECT_TRUE(events->Flags() & TYPEFLAG_FNONEXTENSIBLE);
    EXPECT_FALSE(events->Flags() & TYPEFLAG_FDUAL) << "dispatch-only";
  }
  EXPECT_TRUE(RegistryEventInterface().Members().empty());
}

// The interface contract: every member of _ADO in interface order.
TEST(TypeLibrary, AdoInterfaceListsEveryMemberInOrderWithItsDispid) {
  struct Expected {
    DispId id;
    const char16_t* name;
    MemberKind kind;
    std::size_t params;
  };
  using K = MemberKind;
  const Expected expected[] = {
      {0x40030005, u"moConnectionEventSource", K::Get, 0},
      {0x40030005, u"moConnectionEventSource", K::Set, 1},
      {0x40030006, u"moRecordsetEventSource", K::Get, 0},
      {0x40030006, u"moRecordsetEventSource", K::Set, 1},
      {0x68030005, u"Version", K::Get, 0},
      {0x68030004, u"DebugMode", K::Get, 0},
      {0x68030004, u"DebugMode", K::Let, 1},
      {0x68030003, u"Connections", K::Get, 0},
      {0x68030002, u"RecordsetEventSource", K::Get, 0},
      {0x68030002, u"RecordsetEventSource", K::Set, 1},
      {0x68030001, u"ConnectionEventSource", K::Get, 0},
      {0x68030001, u"ConnectionEventSource", K::Set, 1},
      {0x60030006, u"Recordset", K::Method, 0},
      {0x60030007, u"Stream", K::Method, 0},
      {0x60030008, u"Record", K::Method, 0},
      {0x60030009, u"Parameter", K::Method, 0},
      {0x6003000A, u"Command", K::Method, 0},
      {0x6003000B, u"Connection", K::Method, 0},
      {0x6003000C, u"GetItem", K::Method, 2},
      {0x6003000D, u"ConnectionExecute", K::Method, 4},
      {0x60030022, u"AdoConnect", K::Method, 2},
      {0x60030023, u"AdoConnectionState", K::Method, 1},
      {0x60030024, u"AdoExec", K::Method, 4},
      {0x60030025, u"AdoExecuting", K::Method, 1},
      {0x60030026, u"AdoRecordsetState", K::Method, 1},
      {0x60030027, u"AdoCmdCreate", K::Method, 2},
      {0x60030028, u"AdoCmdAddParm", K::Method, 8},
      {0x60030029, u"AdoCmdSetParm", K::Method, 3},
      {0x6003002A, u"AdoCmdGetParm", K::Method, 2},
      {0x6003002B, u"AdoCmdExec", K::Method, 3},
      {0x6003002C, u"AdoCmdClose", K::Method, 1},
      {0x6003002D, u"AdoCmdState", K::Method, 1},
      {0x6003002E, u"AdoSet", K::Method, 2},
      {0x6003002F, u"AdoAppend", K::Method, 2},
      {0x60030030, u"AdoDisconnect", K::Method, 1},
      {0x60030031, u"AdoNumChange", K::Method, 1},
      {0x60030032, u"AdoMove", K::Method, 2},
      {0x60030033, u"AdoNext", K::Method, 1},
      {0x60030034, u"AdoGetField", K::Method, 5},
      {0x60030035, u"AdoNoFields", K::Method, 1},
      {0x60030036, u"AdoFieldInfo", K::Method, 4},
      {0x60030037, u"AdoInfo", K::Method, 3},
      {0x60030038, u"AdoRecordCount", K::Method, 1},
      {0x60030039, u"AdoErrMsg", K::Method, 3},
      {0x6003003A, u"AdoBeginTran", K::Method, 1},
      {0x6003003B, u"AdoCommit", K::Method, 1},
      {0x6003003C, u"AdoRollBack", K::Method, 1},
      {0x60030044, u"SetCommandText", K::Method, 2},
      {0x60030045, u"ObjectType", K::Method, 1},
      {0x60030046, u"CollectionAdd", K::Method, 2},
      {0x60030047, u"CollectionRemove", K::Method, 1},
      {0x60030048, u"CollectionGetItem", K::Method, 1},
      {0x68030000, u"CollectionCount", K::Get, 0},
      {0x60030049, u"CollectionItemExists", K::Method, 1},
      {0x6003004A, u"CollectionStringAppend", K::Method, 2},
      {0x6003004B, u"CollectionStringLength", K::Method, 1},
      {0x6003004C, u"CollectionStringMid", K::Method, 3},
  };
  const auto& members = AdoInterface().Members();
  ASSERT_EQ(members.size(), std::size(expected));
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(members[i].id, expected[i].id) << i;
    EXPECT_EQ(UString(members[i].name), expected[i].name) << i;
    EXPECT_EQ(members[i].kind, expected[i].kind) << i;
    EXPECT_EQ(members[i].params.size(), expected[i].params) << i;
    EXPECT_EQ(AdoInterface().IdOfName(expected[i].name), expected[i].id) << i;
    for (const ParamDesc& p : members[i].params) EXPECT_TRUE(p.byRef) << "every parameter is by reference";
  }
}

TEST(TypeLibrary, AdoMembersCarryTheirParameterNamesTypesAndResults) {
  const TypeInfo& ado = AdoInterface();
  const MemberDesc& addParm = Get(ado, 0x60030028, MemberKind::Method);
  const char16_t* names[] = {u"hCommand",   u"sName",      u"vValue",     u"nDataType",
                             u"nDirection", u"nSizeBytes", u"nPrecision", u"nNumericScale"};
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(UString(addParm.params[i].name), names[i]);
  EXPECT_EQ(addParm.params[2].type, VT_VARIANT);
  EXPECT_EQ(UString(addParm.resultTypeName), u"TarscriptErrors");

  const MemberDesc& mid = Get(ado, 0x6003004C, MemberKind::Method);
  EXPECT_FALSE(mid.params[0].optional);
  EXPECT_TRUE(mid.params[1].optional && mid.params[1].hasDefault);
  EXPECT_EQ(mid.params[1].defaultValue, 1);
  EXPECT_TRUE(mid.params[2].optional);
  EXPECT_FALSE(mid.params[2].hasDefault);
  EXPECT_EQ(mid.RequiredCount(), 1u);

  EXPECT_EQ(UString(Get(ado, 0x60030034, MemberKind::Method).params[2].typeName), u"DataTypeEnum");
  EXPECT_EQ(Get(ado, 0x60030049, MemberKind::Method).resultType, VT_BOOL);
  EXPECT_EQ(Get(ado, 0x6003000D, MemberKind::Method).params[0].type, VT_DISPATCH);
  EXPECT_EQ(Get(ado, 0x68030005, MemberKind::Get).resultType, VT_BSTR);
  EXPECT_EQ(Get(ado, 0x68030001, MemberKind::Set).params[0].type, VT_VARIANT);
  EXPECT_EQ(Get(ado, 0x40030005, MemberKind::Set).params[0].type, VT_DISPATCH);

  // Parameter names answer GetIDsOfNames by position.
  UString lookup[] = {u"adoexec", u"nTimeoutSecs", u"hADO"};
  DispId ids[3];
  EXPECT_EQ(ado.GetIDsOfNames(lookup, 3, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60030024);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 0);
  UString unknown[] = {u"AdoConnectX"};
  EXPECT_EQ(ado.GetIDsOfNames(unknown, 1, ids), DISP_E_UNKNOWNNAME);
}

TEST(TypeLibrary, AdoEventsAreNumberedOneToTwentyWithAdosPassing) {
  const auto& events = AdoEventInterface().Members();
  const char16_t* names[] = {
      u"BeginTransComplete",  u"CommitTransComplete", u"ConnectComplete",       u"Disconnect",
      u"ExecuteComplete",     u"InfoMessage",         u"RollbackTransComplete", u"WillConnect",
      u"WillExecute",         u"EndOfRecordset",      u"FetchComplete",         u"FetchProgress",
      u"FieldChangeComplete", u"MoveComplete",        u"RecordChangeComplete",  u"RecordsetChangeComplete",
      u"WillChangeField",     u"WillChangeRecord",    u"WillChangeRecordset",   u"WillMove"};
  ASSERT_EQ(events.size(), 20u);
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(events[i].id, static_cast<DispId>(i + 1));
    EXPECT_EQ(UString(events[i].name), names[i]);
    EXPECT_EQ(events[i].kind, MemberKind::Method);
    int statusCount = 0;
    for (const ParamDesc& p : events[i].params) {
      if (UString(p.name) == u"adStatus") {
        ++statusCount;
        EXPECT_TRUE(p.byRef) << "adStatus is by reference in " << i + 1;
        EXPECT_EQ(UString(p.typeName), u"EventStatusEnum");
      }
      if (p.type == VT_DISPATCH) {
        EXPECT_FALSE(p.byRef) << "objects are passed by value";
      }
    }
    EXPECT_EQ(statusCount, 1) << i + 1;
  }
  auto byRefNames = [](const MemberDesc& m) {
    std::vector<UString> out;
    for (const ParamDesc& p : m.params) {
      if (p.byRef) out.emplace_back(p.name);
    }
    return out;
  };
  EXPECT_EQ(byRefNames(events[7]),
            (std::vector<UString>{u"ConnectionString", u"UserID", u"Password", u"Options", u"adStatus"}));
  EXPECT_EQ(byRefNames(events[8]),
            (std::vector<UString>{u"Source", u"CursorType", u"LockType", u"Options", u"adStatus"}));
  EXPECT_EQ(byRefNames(events[9]), (std::vector<UString>{u"fMoreData", u"adStatus"}));
  EXPECT_EQ(events[9].params[0].type, VT_BOOL);
  EXPECT_EQ(byRefNames(events[4]), (std::vector<UString>{u"adStatus"}));
  ASSERT_EQ(events[4].params.size(), 6u);
  const char16_t* executeComplete[] = {u"RecordsAffected", u"pError",     u"adStatus",
                                       u"pCommand",        u"pRecordset", u"pConnection"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(UString(events[4].params[i].name), executeComplete[i]);
  EXPECT_EQ(events[12].params[1].type, VT_VARIANT) << "FieldChangeComplete's Fields";
}

TEST(TypeLibrary, TarscriptErrorsHasItsFiveMembers) {
  const auto& values = TarscriptErrorsInfo().Values();
  ASSERT_EQ(values.size(), 5u);
  const char16_t* names[] = {u"NoError", u"BadHandleSpecified", u"InvalidArgument", u"EOF", u"SqlDatabase"};
  const std::int32_t numbers[] = {0, 269, 274, 294, 307};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(UString(values[i].name), names[i]);
    EXPECT_EQ(values[i].value, numbers[i]);
  }
}

TEST(TypeLibrary, RegistryInterfaceHasItsFourMethods) {
  const auto& members = RegistryInterface().Members();
  ASSERT_EQ(members.size(), 4u);
  const char16_t* names[] = {u"RegRead", u"RegReadElement", u"RegWrite", u"RegDelete"};
  const std::size_t counts[] = {2, 1, 3, 1};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(members[i].id, static_cast<DispId>(0x60030000 + i));
    EXPECT_EQ(UString(members[i].name), names[i]);
    EXPECT_EQ(members[i].params.size(), counts[i]);
    EXPECT_EQ(members[i].resultType, VT_VARIANT);
    EXPECT_NE(members[i].handler.call, nullptr);
    for (const ParamDesc& p : members[i].params) EXPECT_TRUE(p.byRef);
  }
  EXPECT_EQ(UString(members[0].params[1].name), u"nElements");
  EXPECT_EQ(members[2].params[1].type, VT_VARIANT);
}

TEST(TypeLibrary, EveryMemberOfTheControlsIsBuilt) {
  for (const TypeInfo* type : {&AdoControl::Type(), &RegistryControl::Type()}) {
    for (const MemberDesc& m : type->Members()) EXPECT_NE(m.handler.call, nullptr) << ToUtf8(m.name);
  }
  // Argument checks come before the member runs: a wrong count is the
  // count's error.
  ComPtr<AdoControl> ado = AdoControl::Create();
  try {
    CallByName(ado.get(), u"AdoDisconnect", DISPATCH_METHOD, {});
    ADD_FAILURE();
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 450) << "wrong number of arguments";
  }
}

}  // namespace
}  // namespace tarnel
