// The ADO control's helpers for scripts that hold ADO objects: factories,
// GetItem, ConnectionExecute and SetCommandText with texts from the keyed
// store, ObjectType; their lines and their failures (no handler).
#include <errno.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/adodb/adodb_classes.h"
#include "platform/automation/com_error.h"
#include "platform/automation/member_binding.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"
#include "test_objects.h"

namespace tarnel {
namespace {

// A collection-like object whose Item gives a number, not an object.
class NumberList final : public DispatchObject<NumberList> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"NumberList", MakeGuid("5C3E2D1B-7A64-4E0F-9B21-83D7C6A5F410"), TypeKind::Dispatch,
                               {MemberDesc{0, u"Item", MemberKind::Method, {ParamDesc{u"Index", VT_VARIANT}}, VT_I4,
                                           Bind<&NumberList::Item>()}});
    return type;
  }
  static const CoClassInfo* Class() { return nullptr; }
  std::int32_t Item(Variant&) { return 7; }
};

class ObjectHelpers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { adodb::RegisterAdodbClasses(); }
  void SetUp() override {
    ado_ = AdoControl::Create();
    CallByName(ado_->AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(1)});
    first_ = capture_.Lines().size();
    dir_ = std::filesystem::temp_directory_path() / ("tarnel-helpers-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    ado_.Reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  Variant Call(const char16_t* name, std::vector<Variant> args = {}) {
    return CallByName(ado_->AsDispatch(), name, DISPATCH_METHOD, std::move(args));
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    std::string prefix = std::string(program_invocation_short_name) + ".ocx ";
    auto all = capture_.Lines();
    for (std::size_t i = first_; i < all.size(); ++i) out.push_back(all[i].substr(prefix.size()));
    return out;
  }
  // An open connection on a new SQLite database with table t(id, name).
  ComPtr<Dispatch> OpenDatabase() {
    Variant conn = Call(u"Connection");
    UString cs = u"Provider=SQLite;Data Source=" + FromUtf8((dir_ / "db.sqlite").string()) + u";Create=True";
    CallByName(conn.pdispVal(), u"Open", DISPATCH_METHOD, {Variant(cs)});
    CallByName(conn.pdispVal(), u"Execute", DISPATCH_METHOD, {Variant(u"CREATE TABLE t(id INTEGER, name TEXT)")});
    return ComPtr<Dispatch>(conn.pdispVal());
  }

  DebugCapture capture_;
  ComPtr<AdoControl> ado_;
  std::size_t first_ = 0;
  std::filesystem::path dir_;
};

TEST_F(ObjectHelpers, FactoriesCreateDistinctObjectsOfTheirClass) {
  const char16_t* classes[] = {u"Recordset", u"Stream", u"Record", u"Parameter", u"Command", u"Connection"};
  for (const char16_t* name : classes) {
    Variant a = Call(name);
    Variant b = Call(name);
    ASSERT_EQ(a.vt(), VT_DISPATCH);
    EXPECT_NE(a.pdispVal(), b.pdispVal());
    EXPECT_EQ(Call(u"ObjectType", {a}).bstrVal(), name);
  }
  EXPECT_EQ(Lines()[0], "Recordset() Recordset created");
  EXPECT_EQ(Lines()[10], "Connection() Connection created");
  EXPECT_EQ(Call(u"ObjectType", {Variant(static_cast<Dispatch*>(nullptr))}).bstrVal(), u"Nothing");
}

TEST_F(ObjectHelpers, GetItemReturnsAFieldOfAnOpenRecordset) {
  ComPtr<Dispatch> conn = OpenDatabase();
  CallByName(conn.get(), u"Execute", DISPATCH_METHOD, {Variant(u"INSERT INTO t VALUES (1, 'one')")});
  Variant rs = CallByName(conn.get(), u"Execute", DISPATCH_METHOD, {Variant(u"SELECT id, name FROM t")});
  Variant fields = CallByName(rs.pdispVal(), u"Fields", DISPATCH_PROPERTYGET);
  Variant field = Call(u"GetItem", {fields, Variant(u"name")});
  ASSERT_EQ(field.vt(), VT_DISPATCH);
  EXPECT_EQ(TypeName(field), u"Field");
  EXPECT_EQ(CallByName(field.pdispVal(), u"Value", DISPATCH_PROPERTYGET).bstrVal(), u"one");
  EXPECT_EQ(Lines().back(), "GetItem([Fields], name) = [Field]");
}

TEST_F(ObjectHelpers, GetItemFailsForNonObjectsAndObjectsWithoutItem) {
  ComPtr<NumberList> list = MakeObject<NumberList>();
  auto error = [&](std::vector<Variant> args) {
    try {
      Call(u"GetItem", std::move(args));
    } catch (const ComError& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(error({Variant(list->AsDispatch()), Variant(1)}), 424);
  EXPECT_EQ(error({Variant(ado_->AsDispatch()), Variant(1)}), 438);
  EXPECT_EQ(error({Variant(static_cast<Dispatch*>(nullptr)), Variant(1)}), 91);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(ObjectHelpers, ConnectionExecuteRunsALongStoredTextWhole) {
  ComPtr<Dispatch> conn = OpenDatabase();
  // An INSERT of 400 rows, well over 10,000 characters, built in pieces.
  Call(u"CollectionAdd", {Variant(u"sql"), Variant(u"INSERT INTO t VALUES ")});
  for (int i = 0; i < 400; ++i) {
    UString row = (i ? u", (" : u"(") + DecimalText(i) + u", '" + UString(30, u'n') + u"')";
    Call(u"CollectionStringAppend", {Variant(u"sql"), Variant(row)});
  }
  ASSERT_GT(Call(u"CollectionStringLength", {Variant(u"sql")}).lVal(), 10000);
  Variant affected(0);
  Variant options(-1);
  std::vector<Variant> args{Variant(conn.get()), Variant(u"sql"), Variant::Ref(&affected), Variant::Ref(&options)};
  Variant rs = CallByName(ado_->AsDispatch(), u"ConnectionExecute", DISPATCH_METHOD, args);
  EXPECT_EQ(affected.lVal(), 400);
  EXPECT_EQ(TypeName(rs), u"Recordset");
  EXPECT_EQ(Lines().back(), "ConnectionExecute([Connection], 'sql', 400, -1) = [Recordset]");
  Variant count = CallByName(conn.get(), u"Execute", DISPATCH_METHOD, {Variant(u"SELECT COUNT(*) AS n FROM t")});
  Variant n = CallByName(CallByName(count.pdispVal(), u"Fields", DISPATCH_PROPERTYGET).pdispVal(), u"Item",
                         DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(0)});
  EXPECT_EQ(ToInt32(CallByName(n.pdispVal(), u"Value", DISPATCH_PROPERTYGET)), 400);
}

TEST_F(ObjectHelpers, ConnectionExecuteWithAMissingNameFailsInTheConnection) {
  ComPtr<Dispatch> conn = OpenDatabase();
  std::int32_t number = 0;
  try {
    Call(u"ConnectionExecute", {Variant(conn.get()), Variant(u"nothing"), Variant(0), Variant(-1)});
  } catch (const ComError& e) {
    number = e.Number();
  }
  EXPECT_NE(number, 0);
  auto lines = Lines();
  // The factory's line, then only the store's own error line.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "CollectionGetItem(nothing) Error: Invalid procedure call or argument");
}

TEST_F(ObjectHelpers, SetCommandTextAssignsTheStoredTextAndReturnsEmpty) {
  Variant command = Call(u"Command");
  Call(u"CollectionAdd", {Variant(u"q"), Variant(u"SELECT 1")});
  EXPECT_TRUE(Call(u"SetCommandText", {command, Variant(u"q")}).IsEmpty());
  EXPECT_EQ(CallByName(command.pdispVal(), u"CommandText", DISPATCH_PROPERTYGET).bstrVal(), u"SELECT 1");
  EXPECT_EQ(Lines().back(), "SetCommandText([Command], q)");
  // A name the store lacks sets an empty text.
  EXPECT_TRUE(Call(u"SetCommandText", {command, Variant(u"none")}).IsEmpty());
  EXPECT_EQ(CallByName(command.pdispVal(), u"CommandText", DISPATCH_PROPERTYGET).bstrVal(), u"");
}

}  // namespace
}  // namespace tarnel
