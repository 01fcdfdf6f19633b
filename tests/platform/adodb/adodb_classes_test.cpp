// Creating the data access objects by ProgID and by class identifier, their
// class names, the defaults of fresh objects, and the checks of property
// values that need no database.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

class AdodbClassesTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterAdodbClasses(); }
};

TEST_F(AdodbClassesTest, EveryCreatableClassComesByProgIdAndByClsidWithItsClassName) {
  struct Case {
    const char16_t* progId;
    const char16_t* clsid;
    const char16_t* name;
  };
  const Case cases[] = {
      {u"ADODB.Connection", u"{00000514-0000-0010-8000-00AA006D2EA4}", u"Connection"},
      {u"ADODB.Recordset", u"{00000535-0000-0010-8000-00AA006D2EA4}", u"Recordset"},
      {u"ADODB.Command", u"{00000507-0000-0010-8000-00AA006D2EA4}", u"Command"},
      {u"ADODB.Parameter", u"{0000050B-0000-0010-8000-00AA006D2EA4}", u"Parameter"},
      {u"ADODB.Record", u"{00000560-0000-0010-8000-00AA006D2EA4}", u"Record"},
      {u"ADODB.Stream", u"{00000566-0000-0010-8000-00AA006D2EA4}", u"Stream"},
  };
  for (const Case& c : cases) {
    ComPtr<Dispatch> a = CreateObject(c.progId);
    ComPtr<Dispatch> b = CreateObject(c.clsid);
    ComPtr<Dispatch> again = CreateObject(c.progId);
    ASSERT_TRUE(a && b && again) << ToUtf8(c.progId);
    EXPECT_EQ(TypeName(Variant(a.get())), c.name);
    EXPECT_EQ(TypeName(Variant(b.get())), c.name);
    EXPECT_NE(a.get(), again.get()) << "each creation gives a new object";
  }
}

TEST_F(AdodbClassesTest, CollectionsAndTheirItemsHaveTheirClassNames) {
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  Call(Obj(Get(rs.get(), u"Fields")).get(), u"Append", {V(u"a"), V(adInteger)});
  Call(rs.get(), u"Open");
  EXPECT_EQ(TypeName(Get(rs.get(), u"Fields")), u"Fields");
  EXPECT_EQ(TypeName(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(0)})), u"Field");
  EXPECT_EQ(TypeName(Get(rs.get(), u"Properties")), u"Properties");
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  EXPECT_EQ(TypeName(Get(conn.get(), u"Errors")), u"Errors");
  ComPtr<Dispatch> cmd = CreateObject(u"ADODB.Command");
  EXPECT_EQ(TypeName(Get(cmd.get(), u"Parameters")), u"Parameters");
  EXPECT_EQ(TypeName(Call(cmd.get(), u"CreateParameter", {V(u"p"), V(adInteger)})), u"Parameter");
  EXPECT_EQ(TypeName(Get(Obj(Get(rs.get(), u"Properties")).get(), u"Item", {V(0)})), u"Property");
}

TEST_F(AdodbClassesTest, FreshObjectsHaveAdoDefaults) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  EXPECT_EQ(Long(Get(conn.get(), u"CommandTimeout")), 30);
  EXPECT_EQ(Long(Get(conn.get(), u"ConnectionTimeout")), 15);
  EXPECT_EQ(Long(Get(conn.get(), u"CursorLocation")), adUseServer);
  EXPECT_EQ(Long(Get(conn.get(), u"Mode")), adModeUnknown);
  EXPECT_EQ(Long(Get(conn.get(), u"IsolationLevel")), adXactReadCommitted);
  EXPECT_FALSE(Str(Get(conn.get(), u"Version")).empty());
  EXPECT_EQ(Long(Get(Obj(Get(conn.get(), u"Errors")).get(), u"Count")), 0);

  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateClosed);
  EXPECT_EQ(Long(Get(rs.get(), u"CursorType")), adOpenForwardOnly);
  EXPECT_EQ(Long(Get(rs.get(), u"LockType")), adLockReadOnly);
  EXPECT_EQ(Long(Get(rs.get(), u"CursorLocation")), adUseServer);
  EXPECT_EQ(Long(Get(rs.get(), u"CacheSize")), 1);
  EXPECT_EQ(Long(Get(rs.get(), u"MaxRecords")), 0);
  EXPECT_EQ(TypeName(Get(rs.get(), u"ActiveConnection")), u"Nothing");
  EXPECT_EQ(Obj(Get(rs.get(), u"Fields")).get(), Obj(Get(rs.get(), u"Fields")).get()) << "the same Fields object";

  ComPtr<Dispatch> cmd = CreateObject(u"ADODB.Command");
  EXPECT_EQ(Long(Get(cmd.get(), u"CommandType")), adCmdUnknown);
  EXPECT_EQ(Long(Get(cmd.get(), u"CommandTimeout")), 30);
  EXPECT_EQ(Long(Get(cmd.get(), u"State")), adStateClosed);
  EXPECT_EQ(TypeName(Get(cmd.get(), u"ActiveConnection")), u"Nothing");

  ComPtr<Dispatch> p = CreateObject(u"ADODB.Parameter");
  EXPECT_EQ(Long(Get(p.get(), u"Type")), adEmpty);
  EXPECT_EQ(Long(Get(p.get(), u"Direction")), adParamInput);
  EXPECT_EQ(Long(Get(p.get(), u"Size")), 0);
  EXPECT_TRUE(Get(p.get(), u"Value").IsEmpty());

  ComPtr<Dispatch> st = CreateObject(u"ADODB.Stream");
  EXPECT_EQ(Long(Get(st.get(), u"Type")), adTypeText);
  EXPECT_EQ(Str(Get(st.get(), u"Charset")), u"Unicode");
  EXPECT_EQ(Long(Get(st.get(), u"LineSeparator")), adCRLF);
  EXPECT_EQ(Long(Get(st.get(), u"State")), adStateClosed);
}

TEST_F(AdodbClassesTest, InvalidEnumerationValuesAreArgumentErrors) {
  ComPtr<Dispatch> cmd = CreateObject(u"ADODB.Command");
  EXPECT_EQ(ErrorOf([&] { Put(cmd.get(), u"CommandType", Variant(static_cast<std::int32_t>(0xDEADBEEF))); }),
            adErrInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { Put(cmd.get(), u"CommandTimeout", V(-1)); }), adErrInvalidArgument);
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  EXPECT_EQ(ErrorOf([&] { Put(conn.get(), u"CursorLocation", V(7)); }), adErrInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { Put(conn.get(), u"Provider", V(u"")); }), adErrInvalidArgument);
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  EXPECT_EQ(ErrorOf([&] { Put(rs.get(), u"LockType", V(9)); }), adErrInvalidArgument);
  ComPtr<Dispatch> p = CreateObject(u"ADODB.Parameter");
  EXPECT_EQ(ErrorOf([&] { Put(p.get(), u"Direction", V(5)); }), adErrInvalidArgument);
  // Precision is a byte: 256 does not fit.
  EXPECT_EQ(ErrorOf([&] { Put(p.get(), u"Precision", V(256)); }), 6);
  Put(p.get(), u"Precision", V(12));
  EXPECT_EQ(Get(p.get(), u"Precision").vt(), VT_UI1);
  EXPECT_EQ(Long(Get(p.get(), u"Precision")), 12);
}

TEST_F(AdodbClassesTest, ClosedObjectsRefuseWhatNeedsThemOpen) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Close"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Execute", {V(u"SELECT 1")}); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"BeginTrans"); }), adErrObjectClosed);
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Close"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Get(rs.get(), u"EOF"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Get(rs.get(), u"RecordCount"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"MoveNext"); }), adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"AddNew"); }), adErrObjectClosed);
  // Nothing to run on.
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Open", {V(u"SELECT 1")}); }), adErrInvalidConnection);
  ComPtr<Dispatch> cmd = CreateObject(u"ADODB.Command");
  Put(cmd.get(), u"CommandText", V(u"SELECT 1"));
  EXPECT_EQ(ErrorOf([&] { Call(cmd.get(), u"Execute"); }), adErrInvalidConnection);
  // A closed connection cannot become a command's connection.
  EXPECT_EQ(ErrorOf([&] { PutRef(cmd.get(), u"ActiveConnection", Variant(conn.get())); }), adErrInvalidConnection);
}

TEST_F(AdodbClassesTest, UnknownProviderFailsAtOnceAndLeavesTheConnectionClosed) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Open", {V(u"Provider=NoSuchEngine;Data Source=x")}); }),
            adErrProviderNotFound);
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  // A malformed string too, also with adAsyncConnect: nothing starts.
  EXPECT_EQ(ErrorOf([&] {
              Call(conn.get(), u"Open", {V(u"Provider=SQLite;Data Source=\"unterminated"), Missing(), Missing(),
                                         V(adAsyncConnect)});
            }),
            adErrInvalidArgument);
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
}

TEST_F(AdodbClassesTest, ConnectionStringNamesTheProvider) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  Put(conn.get(), u"ConnectionString", V(u"Provider=PostgreSQL;Server=nowhere"));
  EXPECT_EQ(Str(Get(conn.get(), u"Provider")), u"PostgreSQL");
  EXPECT_EQ(Str(Get(conn.get(), u"ConnectionString")), u"Provider=PostgreSQL;Server=nowhere");
}

}  // namespace
}  // namespace tarnel::adodb::testing
