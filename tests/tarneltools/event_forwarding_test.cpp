// Event forwarding: the two event-source properties with their type-name
// test and lines, the direct members without either, and the twenty
// handlers: their lines (irregular prefixes and quotes included), the
// __ADO event each raises, and by-reference arguments whose changes by the
// container reach the ADO object.
#include "ado_test_support.h"
#include "platform/automation/activation.h"

namespace tarnel::testing_ado {
namespace {

// An object whose class is named Recordset but that is no ADO recordset.
class FakeRecordset final : public DispatchObject<FakeRecordset> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"FakeRecordset", MakeGuid("5B0E21D4-7C11-4E0B-9B53-2F6E8A1C4D90"),
                               TypeKind::Dispatch, {});
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"Recordset", MakeGuid("5B0E21D4-7C11-4E0B-9B53-2F6E8A1C4D91"), u"Fake.Recordset",
                                  &Type(), nullptr};
    return &info;
  }
};

class Forwarding : public AdoTest {
 protected:
  void SetSource(const char16_t* property, Variant value) {
    CallByName(ado->AsDispatch(), property, DISPATCH_PROPERTYPUTREF, {std::move(value)});
  }
  ComPtr<Dispatch> GetSource(const char16_t* property) {
    Variant v = CallByName(ado->AsDispatch(), property, DISPATCH_PROPERTYGET);
    return ComPtr<Dispatch>(v.vt() == VT_DISPATCH ? v.pdispVal() : nullptr);
  }
  // A new ADO connection, opened synchronously on a scratch database.
  ComPtr<Dispatch> OpenConnection(const std::string& file = "events.db") {
    ComPtr<Dispatch> c = CreateObject(u"ADODB.Connection");
    CallByName(c.get(), u"CursorLocation", DISPATCH_PROPERTYPUT, {Variant(std::int32_t{3})});
    CallByName(c.get(), u"Open", DISPATCH_METHOD, {Variant(FromUtf8(SqliteConnection(file)))});
    return c;
  }
  static ComPtr<Dispatch> Execute(Dispatch* connection, const char16_t* sql) {
    Variant rs = CallByName(connection, u"Execute", DISPATCH_METHOD, {Variant(sql)});
    return ComPtr<Dispatch>(rs.vt() == VT_DISPATCH ? rs.pdispVal() : nullptr);
  }
};

TEST_F(Forwarding, ConnectionSourceFollowsTheLastConnectionSet) {
  ComPtr<Dispatch> first = OpenConnection("a.db");
  ComPtr<Dispatch> second = OpenConnection("b.db");
  SetSource(u"ConnectionEventSource", Variant(first.get()));
  EXPECT_EQ(Lines(), std::vector<std::string>{"ConnectionEventSource([Connection])"});
  EXPECT_EQ(GetSource(u"ConnectionEventSource").get(), first.get());
  CallByName(first.get(), u"BeginTrans", DISPATCH_METHOD);
  EXPECT_TRUE(HasLine("Raise Event ConnectionEventSource_BeginTransComplete(1, pError, 1, " + SqliteConnection("a.db") +
                      ")"));
  ASSERT_EQ(container->Of(kBeginTransComplete).size(), 1u);
  EXPECT_EQ(container->Of(kBeginTransComplete)[0].args[0].lVal(), 1);
  SetSource(u"ConnectionEventSource", Variant(second.get()));
  ClearLines();
  CallByName(first.get(), u"CommitTrans", DISPATCH_METHOD);
  EXPECT_TRUE(Lines().empty());
  EXPECT_TRUE(container->received.empty());
  CallByName(second.get(), u"BeginTrans", DISPATCH_METHOD);
  CallByName(second.get(), u"CommitTrans", DISPATCH_METHOD);
  CallByName(second.get(), u"BeginTrans", DISPATCH_METHOD);
  CallByName(second.get(), u"RollbackTrans", DISPATCH_METHOD);
  const std::string cs = SqliteConnection("b.db");
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Raise Event ConnectionEventSource_BeginTransComplete(1, pError, 1, " + cs + ")",
                         "Raise Event ConnectionEventSource_CommitTransComplete(pError, 1, " + cs + ")",
                         "Raise Event ConnectionEventSource_BeginTransComplete(1, pError, 1, " + cs + ")",
                         "Raise Event ConnectionEventSource_RollbackTransComplete(pError, 1, '" + cs + "')"}));
  EXPECT_EQ(container->Of(kCommitTransComplete).size(), 1u);
  EXPECT_EQ(container->Of(kRollbackTransComplete).size(), 1u);
}

TEST_F(Forwarding, ValuesOfAnyOtherKindEmptyTheSource) {
  ComPtr<Dispatch> connection = OpenConnection();
  ComPtr<Dispatch> recordset = Execute(connection.get(), u"SELECT 1 AS one");
  std::vector<Variant> others;
  others.push_back(Variant());
  others.push_back(Variant(u"Connection"));
  others.push_back(Variant(std::int32_t{42}));
  others.push_back(Variant(static_cast<Dispatch*>(nullptr)));
  others.push_back(Variant(recordset.get()));
  for (Variant& other : others) {
    SetSource(u"ConnectionEventSource", Variant(connection.get()));
    ClearLines();
    // The property has only a set accessor: a container sets it whatever
    // the value.
    SetSource(u"ConnectionEventSource", other);
    EXPECT_EQ(Lines(), std::vector<std::string>{"ConnectionEventSource([Nothing])"});
    EXPECT_FALSE(GetSource(u"ConnectionEventSource"));
  }
  // Its events no longer arrive.
  ClearLines();
  CallByName(connection.get(), u"BeginTrans", DISPATCH_METHOD);
  EXPECT_TRUE(container->received.empty());
  ClearLines();
  SetSource(u"RecordsetEventSource", Variant(connection.get()));
  EXPECT_EQ(Lines(), std::vector<std::string>{"RecordsetEventSource([Nothing])"});
}

TEST_F(Forwarding, ObjectNamedRecordsetThatIsNotOneKeepsThePreviousSource) {
  ComPtr<Dispatch> connection = OpenConnection();
  ComPtr<Dispatch> recordset = Execute(connection.get(), u"SELECT 1 AS one UNION ALL SELECT 2");
  SetSource(u"RecordsetEventSource", Variant(recordset.get()));
  EXPECT_EQ(Lines(), std::vector<std::string>{"RecordsetEventSource([Recordset])"});
  ComPtr<FakeRecordset> fake = MakeObject<FakeRecordset>();
  ClearLines();
  SetSource(u"RecordsetEventSource", Variant(fake->AsDispatch()));
  EXPECT_EQ(Lines(), std::vector<std::string>{"RecordsetEventSource() Error: Type mismatch"});
  EXPECT_EQ(GetSource(u"RecordsetEventSource").get(), recordset.get());
  ClearLines();
  CallByName(recordset.get(), u"MoveNext", DISPATCH_METHOD);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Raise Event RecordsetEventSource_WillMove(13, 1, pRecordset)",
                                              "Raise Event RecordsetEventSource_MoveComplete(13, pError, 1, pRecordset)"}));
  EXPECT_EQ(container->Of(kWillMove).size(), 1u);
  EXPECT_EQ(container->Of(kMoveComplete).size(), 1u);
}

TEST_F(Forwarding, DirectMembersSetWithoutLinesOrTypeTest) {
  ComPtr<Dispatch> connection = OpenConnection();
  ComPtr<Dispatch> recordset = Execute(connection.get(), u"SELECT 1 AS one");
  SetSource(u"moRecordsetEventSource", Variant(recordset.get()));
  SetSource(u"moConnectionEventSource", Variant(connection.get()));
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(GetSource(u"moRecordsetEventSource").get(), recordset.get());
  EXPECT_EQ(GetSource(u"RecordsetEventSource").get(), recordset.get());
  EXPECT_EQ(GetSource(u"moConnectionEventSource").get(), connection.get());
  CallByName(connection.get(), u"BeginTrans", DISPATCH_METHOD);
  EXPECT_EQ(container->Of(kBeginTransComplete).size(), 1u);
  SetSource(u"moConnectionEventSource", Variant(static_cast<Dispatch*>(nullptr)));
  ClearLines();
  CallByName(connection.get(), u"CommitTrans", DISPATCH_METHOD);
  EXPECT_TRUE(container->received.empty());
}

TEST_F(Forwarding, ConnectEventsCarryTheirArgumentsAsReceived) {
  ComPtr<Dispatch> connection = CreateObject(u"ADODB.Connection");
  SetSource(u"ConnectionEventSource", Variant(connection.get()));
  ClearLines();
  const std::string cs = SqliteConnection("connect.db");
  CallByName(connection.get(), u"Open", DISPATCH_METHOD, {Variant(FromUtf8(cs)), Variant(u"me"), Variant(u"secret")});
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("Raise Event ConnectionEventSource_WillConnect('" + cs + "', me, secret, ", 0), 0u)
      << lines[0];
  EXPECT_EQ(lines[1], "Raise Event ConnectionEventSource_ConnectComplete(pError, 1, " + cs + ")");
  ASSERT_EQ(container->Of(kWillConnect).size(), 1u);
  EXPECT_EQ(container->Of(kWillConnect)[0].args[1].bstrVal(), u"me");
}

TEST_F(Forwarding, ContainerAnswersReachADO) {
  ComPtr<Dispatch> connection = OpenConnection();
  Execute(connection.get(), u"CREATE TABLE T(x)");
  SetSource(u"ConnectionEventSource", Variant(connection.get()));
  // The container rewrites the statement in WillExecute.
  container->reactions[kWillExecute] = [](std::vector<Variant>& args) {
    ASSERT_EQ(args[0].vt(), VT_BYREF | VT_BSTR);
    *static_cast<UString*>(args[0].byref()) = u"INSERT INTO T VALUES (7)";
  };
  Execute(connection.get(), u"INSERT INTO T VALUES (1)");
  container->reactions.erase(kWillExecute);
  ComPtr<Dispatch> rs = Execute(connection.get(), u"SELECT x FROM T");
  Variant fields = CallByName(rs.get(), u"Fields", DISPATCH_PROPERTYGET);
  Variant x = CallByName(fields.pdispVal(), u"Item", DISPATCH_PROPERTYGET, {Variant(std::int32_t{0})});
  EXPECT_EQ(TextOf(CallByName(x.pdispVal(), u"Value", DISPATCH_PROPERTYGET)), u"7");
  // adStatusCancel (4) in a Will event cancels the operation.
  SetSource(u"RecordsetEventSource", Variant(rs.get()));
  container->reactions[kWillMove] = [](std::vector<Variant>& args) { SetLongRef(args[1], 4); };
  EXPECT_EQ(ErrorNumberOf([&] { CallByName(rs.get(), u"MoveLast", DISPATCH_METHOD); }), 3712);
}

TEST_F(Forwarding, RecordsetEventsAndTheirLines) {
  ComPtr<Dispatch> connection = OpenConnection();
  Execute(connection.get(), u"CREATE TABLE T(id INTEGER PRIMARY KEY, name TEXT)");
  Execute(connection.get(), u"INSERT INTO T VALUES (1, 'a')");
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  CallByName(rs.get(), u"CursorLocation", DISPATCH_PROPERTYPUT, {Variant(std::int32_t{3})});
  CallByName(rs.get(), u"Open", DISPATCH_METHOD,
             {Variant(u"SELECT id, name FROM T"), Variant(connection.get()), Variant(std::int32_t{3}),
              Variant(std::int32_t{3})});
  SetSource(u"RecordsetEventSource", Variant(rs.get()));
  ClearLines();
  // A field change: the Fields argument is written as the field names.
  Variant fields = CallByName(rs.get(), u"Fields", DISPATCH_PROPERTYGET);
  Variant name = CallByName(fields.pdispVal(), u"Item", DISPATCH_PROPERTYGET, {Variant(u"name")});
  CallByName(name.pdispVal(), u"Value", DISPATCH_PROPERTYPUT, {Variant(u"b")});
  CallByName(rs.get(), u"Update", DISPATCH_METHOD);
  EXPECT_TRUE(HasLine("Raise Event RecordsetEventSource_WillChangeField(1, [name], 1, pRecordset)"));
  EXPECT_TRUE(HasLine("Raise Event RecordsetEventSource_FieldChangeComplete(1, [name], pError, 1, pRecordset)"));
  EXPECT_EQ(container->Of(kWillChangeField).size(), 1u);
  EXPECT_EQ(container->Of(kFieldChangeComplete).size(), 1u);
  EXPECT_FALSE(container->Of(kWillChangeRecord).empty());
  EXPECT_FALSE(container->Of(kRecordChangeComplete).empty());
  // Past the end: EndOfRecordset with fMoreData by reference.
  ClearLines();
  CallByName(rs.get(), u"MoveNext", DISPATCH_METHOD);
  EXPECT_TRUE(HasLine("Raise Event RecordsetEventSource_EndOfRecordset(False, 1, pRecordset)"));
  ASSERT_EQ(container->Of(kEndOfRecordset).size(), 1u);
  // Requery reports the recordset's change.
  ClearLines();
  CallByName(rs.get(), u"Requery", DISPATCH_METHOD);
  EXPECT_FALSE(container->Of(kWillChangeRecordset).empty());
  EXPECT_FALSE(container->Of(kRecordsetChangeComplete).empty());
  for (const std::string& l : Lines()) {
    if (l.find("ChangeRecordset") != std::string::npos || l.find("RecordsetChange") != std::string::npos) {
      EXPECT_EQ(l.substr(l.size() - 13), ", pRecordset)") << l;
    }
  }
}

TEST_F(Forwarding, FetchEventsOfAStatementStillRunning) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  Run(h, "INSERT INTO T VALUES (1), (2)");
  ComPtr<Dispatch> connection = GetSource(u"ConnectionEventSource");
  ASSERT_TRUE(connection);
  Variant rs = CallByName(connection.get(), u"Execute", DISPATCH_METHOD,
                          {Variant(u"SELECT x FROM T"), Variant::Missing(), Variant(std::int32_t{16})});
  SetSource(u"RecordsetEventSource", rs);
  ClearLines();
  ASSERT_TRUE(WaitFor([&] { return !container->Of(kFetchComplete).empty(); }));
  EXPECT_TRUE(HasLine("Raise Event RecordsetEventSource_FetchComplete(pError, 1, pRecordset)"));
  // That statement was not started by the control: its completion is
  // forwarded but credited to no handle.
  EXPECT_FALSE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
  EXPECT_EQ(container->Of(kExecuteComplete).size(), 1u);
}

TEST_F(Forwarding, CompletionBeforeAnyExecIsForwardedAndChangesNoSlot) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  ComPtr<Dispatch> connection = CreateObject(u"ADODB.Connection");
  CallByName(connection.get(), u"Open", DISPATCH_METHOD, {Variant(FromUtf8(SqliteConnection("other.db")))});
  SetSource(u"ConnectionEventSource", Variant(connection.get()));
  ClearLines();
  Execute(connection.get(), u"CREATE TABLE T(x)");
  EXPECT_EQ(container->Of(kExecuteComplete).size(), 1u);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);  // WillExecute and ExecuteComplete
  EXPECT_EQ(lines[1].rfind("Raise Event ConnectionEventSource_ExecuteComplete(", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(", pError, 1, pCommand, pRecordset, pConnection)"), std::string::npos) << lines[1];
  EXPECT_FALSE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
  EXPECT_EQ(ado->AdoNumChange(h), 0);
}

TEST_F(Forwarding, FailedStatementShowsItsErrorsDescription) {
  ComPtr<Dispatch> connection = OpenConnection();
  SetSource(u"ConnectionEventSource", Variant(connection.get()));
  ClearLines();
  EXPECT_NE(ErrorNumberOf([&] { Execute(connection.get(), u"SELECT * FROM nosuchtable"); }), 0);
  bool described = false;
  for (const std::string& l : Lines()) {
    if (l.rfind("Raise Event ConnectionEventSource_ExecuteComplete(", 0) == 0) {
      described = l.find("no such table") != std::string::npos && l.find(", 2, pCommand") != std::string::npos;
    }
  }
  EXPECT_TRUE(described);
}

}  // namespace
}  // namespace tarnel::testing_ado
