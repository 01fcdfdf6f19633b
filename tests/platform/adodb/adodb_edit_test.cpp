// Changing data through a recordset against both engines: Field.Value,
// AddNew, Update, Delete, CancelUpdate and the batch mode, written through
// to the base table (checked with a separate query), the change events
// with cancellation, and recordsets that are not updatable.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

class EditTest : public AdodbTest {
 protected:
  void SetUp() override {
    AdodbTest::SetUp();
    if (IsSkipped()) return;
    conn_ = Open();
    Execute(conn_.get(), IsPg() ? u"CREATE TABLE items (id SERIAL PRIMARY KEY, name VARCHAR(20) NOT NULL, "
                                  u"qty INTEGER DEFAULT 5)"
                                : u"CREATE TABLE items (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                  u"name VARCHAR(20) NOT NULL, qty INTEGER DEFAULT 5)");
    Execute(conn_.get(), u"INSERT INTO items (name, qty) VALUES ('bolt', 10), ('nut', 20), ('gear', 30)");
  }

  // Writing through needs the provider to tell each column's base table
  // and key (the Field's dynamic properties show what it told).
  bool WritesThrough() {
    ComPtr<Dispatch> probe = Execute(conn_.get(), u"SELECT id FROM items");
    ComPtr<Dispatch> id = Obj(Get(Obj(Get(probe.get(), u"Fields")).get(), u"Item", {V(0)}));
    ComPtr<Dispatch> props = Obj(Get(id.get(), u"Properties"));
    if (Str(Get(Obj(Get(props.get(), u"Item", {V(u"BASETABLENAME")})).get(), u"Value")).empty()) return false;
    EXPECT_TRUE(ToBool(Get(Obj(Get(props.get(), u"Item", {V(u"KEYCOLUMN")})).get(), u"Value")));
    return true;
  }

  // A client recordset that can be changed.
  ComPtr<Dispatch> Editable(std::int32_t lockType = adLockOptimistic,
                            const char16_t* sql = u"SELECT id, name, qty FROM items ORDER BY id") {
    ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
    Put(rs.get(), u"CursorLocation", V(adUseClient));
    Call(rs.get(), u"Open", {V(sql), Variant(conn_.get()), V(adOpenStatic), V(lockType)});
    return rs;
  }

  // What the table holds now, read on another recordset.
  std::vector<UString> Rows() {
    ComPtr<Dispatch> rs = Execute(conn_.get(), u"SELECT name, qty FROM items ORDER BY id");
    std::vector<UString> out;
    while (!ToBool(Get(rs.get(), u"EOF"))) {
      out.push_back(Str(FieldValue(rs.get(), u"name")) + u":" + Str(FieldValue(rs.get(), u"qty")));
      Call(rs.get(), u"MoveNext");
    }
    return out;
  }

  ComPtr<Dispatch> conn_;
};

TEST_P(EditTest, FieldValueAndUpdateWriteThroughToTheTable) {
  if (!WritesThrough()) GTEST_SKIP() << "the provider does not report base tables";
  ComPtr<Dispatch> rs = Editable();
  ComPtr<Dispatch> qty = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")}));
  Call(rs.get(), u"MoveNext");
  Put(qty.get(), u"Value", V(21));
  EXPECT_EQ(Long(Get(rs.get(), u"EditMode")), adEditInProgress);
  EXPECT_EQ(Long(Get(qty.get(), u"OriginalValue")), 20);
  EXPECT_EQ(Rows()[1], u"nut:20") << "not written before Update";
  Call(rs.get(), u"Update");
  EXPECT_EQ(Long(Get(rs.get(), u"EditMode")), adEditNone);
  EXPECT_EQ(Rows(), (std::vector<UString>{u"bolt:10", u"nut:21", u"gear:30"}));

  // Moving off an edited row saves it, as does Update with field lists.
  Put(qty.get(), u"Value", V(22));
  Call(rs.get(), u"MoveNext");
  Call(rs.get(), u"Update", {V(u"name"), V(u"cog")});
  EXPECT_EQ(Rows(), (std::vector<UString>{u"bolt:10", u"nut:22", u"cog:30"}));

  // CancelUpdate puts the old value back and writes nothing.
  Put(qty.get(), u"Value", V(99));
  Call(rs.get(), u"CancelUpdate");
  EXPECT_EQ(Long(Get(qty.get(), u"Value")), 30);
  EXPECT_EQ(Rows()[2], u"cog:30");
}

TEST_P(EditTest, AddNewAndDeleteWriteThroughAndBringGeneratedValuesBack) {
  if (!WritesThrough()) GTEST_SKIP() << "the provider does not report base tables";
  ComPtr<Dispatch> rs = Editable();
  Call(rs.get(), u"AddNew");
  EXPECT_EQ(Long(Get(rs.get(), u"EditMode")), adEditAdd);
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 4);
  EXPECT_TRUE(FieldValue(rs.get(), u"name").IsEmpty());
  Put(Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"name")})).get(), u"Value", V(u"washer"));
  Call(rs.get(), u"Update");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 4) << "the generated key comes back";
  EXPECT_EQ(Long(FieldValue(rs.get(), u"qty")), 5) << "and so does the column default";
  EXPECT_EQ(Rows().back(), u"washer:5");

  Call(rs.get(), u"MoveFirst");
  Call(rs.get(), u"Delete");
  EXPECT_EQ(ErrorOf([&] { FieldValue(rs.get(), u"name"); }), adErrNoCurrentRecord) << "the current row is gone";
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(Str(FieldValue(rs.get(), u"name")), u"nut") << "MoveNext goes to the row after the deleted one";
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 3);
  EXPECT_EQ(Rows(), (std::vector<UString>{u"nut:20", u"gear:30", u"washer:5"}));

  // AddNew with lists writes at once; a constraint violation is the
  // provider's error, and the row stays being added.
  Call(rs.get(), u"AddNew", {V(u"name"), V(u"pin")});
  EXPECT_EQ(Rows().back(), u"pin:5");
  Call(rs.get(), u"AddNew");
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Update"); }), static_cast<std::int32_t>(E_FAIL));
  EXPECT_EQ(Long(Get(rs.get(), u"EditMode")), adEditAdd);
  Call(rs.get(), u"CancelUpdate");
  EXPECT_EQ(Rows().size(), 4u);
}

TEST_P(EditTest, ChangeEventsComeInPairsAndCanCancel) {
  if (!WritesThrough()) GTEST_SKIP() << "the provider does not report base tables";
  ComPtr<Dispatch> rs = Editable();
  ComPtr<EventLog> events = Listen(rs.get(), DIID_RecordsetEvents);
  Put(Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")})).get(), u"Value", V(11));
  EXPECT_EQ(events->Ids(), (std::vector<DispId>{ev::WillChangeField, ev::WillChangeRecord, ev::FieldChangeComplete,
                                                ev::RecordChangeComplete}));
  EXPECT_EQ(Long(events->entries[0].args[0]), 1) << "cFields";
  EXPECT_TRUE(events->entries[0].args[1].IsArray()) << "the Field objects";
  EXPECT_EQ(Long(events->entries[1].args[0]), adRsnFirstChange);
  Call(rs.get(), u"Update");
  EXPECT_EQ(Long(events->Last(ev::RecordChangeComplete)->args[0]), adRsnUpdate);

  // A WillChangeRecord handler refuses deletions.
  events->handlers[ev::WillChangeRecord] = [](DispParams& p) {
    if (ArgOf(p, 0).Deref().lVal() == adRsnDelete) SetLongArg(p, 2, adStatusCancel);
  };
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Delete"); }), adErrOperationCancelled);
  EXPECT_EQ(Long(events->Last(ev::RecordChangeComplete)->args[3]), adStatusErrorsOccurred);
  EXPECT_EQ(Rows().size(), 3u);

  // A WillChangeField handler refuses a value; nothing changes.
  events->handlers[ev::WillChangeField] = [](DispParams& p) { SetLongArg(p, 2, adStatusCancel); };
  ComPtr<Dispatch> name = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"name")}));
  EXPECT_EQ(ErrorOf([&] { Put(name.get(), u"Value", V(u"x")); }), adErrOperationCancelled);
  EXPECT_EQ(Str(Get(name.get(), u"Value")), u"bolt");
  EXPECT_EQ(Long(Get(rs.get(), u"EditMode")), adEditNone);
}

TEST_P(EditTest, ReadOnlyAndUnconvertibleChangesAreRefused) {
  ComPtr<Dispatch> rs = Execute(conn_.get(), u"SELECT id, name, qty FROM items");
  ComPtr<Dispatch> qty = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")}));
  EXPECT_EQ(ErrorOf([&] { Put(qty.get(), u"Value", V(1)); }), adErrFeatureNotAvailable);
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"AddNew"); }), adErrFeatureNotAvailable);
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Delete"); }), adErrFeatureNotAvailable);
  ComPtr<Dispatch> editable = Editable();
  ComPtr<Dispatch> field = Obj(Get(Obj(Get(editable.get(), u"Fields")).get(), u"Item", {V(u"qty")}));
  EXPECT_EQ(ErrorOf([&] { Put(field.get(), u"Value", V(u"not a number")); }), adErrDataConversion);
  // Close with an edit pending is refused until it is saved or undone.
  Put(field.get(), u"Value", V(3));
  EXPECT_EQ(ErrorOf([&] { Call(editable.get(), u"Close"); }), adErrIllegalOperation);
  Call(editable.get(), u"CancelUpdate");
  Call(editable.get(), u"Close");
}

TEST_P(EditTest, BatchModeWritesOnUpdateBatchAndCancelBatchUndoes) {
  if (!WritesThrough()) GTEST_SKIP() << "the provider does not report base tables";
  ComPtr<Dispatch> rs = Editable(adLockBatchOptimistic);
  ComPtr<Dispatch> qty = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")}));
  Put(qty.get(), u"Value", V(1));
  Call(rs.get(), u"Update");
  Call(rs.get(), u"MoveNext");
  Call(rs.get(), u"Delete");
  Call(rs.get(), u"AddNew", {V(u"name"), V(u"spring")});
  EXPECT_EQ(Rows(), (std::vector<UString>{u"bolt:10", u"nut:20", u"gear:30"})) << "nothing written yet";
  Put(rs.get(), u"Filter", V(adFilterPendingRecords));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 2) << "the changed and the added row (the deleted one is hidden)";
  Put(rs.get(), u"Filter", V(adFilterNone));
  Call(rs.get(), u"UpdateBatch");
  EXPECT_EQ(Rows(), (std::vector<UString>{u"bolt:1", u"gear:30", u"spring:5"}));

  Call(rs.get(), u"MoveFirst");
  Put(qty.get(), u"Value", V(77));
  Call(rs.get(), u"Update");
  Call(rs.get(), u"CancelBatch");
  Call(rs.get(), u"MoveFirst");
  EXPECT_EQ(Long(Get(qty.get(), u"Value")), 1);
  Call(rs.get(), u"UpdateBatch");
  EXPECT_EQ(Rows()[0], u"bolt:1");
}

TEST_P(EditTest, WithoutAKeyOnlyOneIdenticalRowChanges) {
  if (!WritesThrough()) GTEST_SKIP() << "the provider does not report base tables";
  Execute(conn_.get(), u"CREATE TABLE dup (v INTEGER)");
  Execute(conn_.get(), u"INSERT INTO dup VALUES (1), (1), (2)");
  ComPtr<Dispatch> rs = Editable(adLockOptimistic, u"SELECT v FROM dup ORDER BY v");
  ComPtr<Dispatch> v = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"v")}));
  // Both rows match the original values: the change is refused rather
  // than made to two rows.
  Put(v.get(), u"Value", V(9));
  EXPECT_NE(ErrorOf([&] { Call(rs.get(), u"Update"); }), 0);
  Call(rs.get(), u"CancelUpdate");
  ComPtr<Dispatch> check = Execute(conn_.get(), u"SELECT count(*) AS n FROM dup WHERE v = 1");
  EXPECT_EQ(Long(FieldValue(check.get(), u"n")), 2);
  // A row that is unique by its values changes.
  Call(rs.get(), u"MoveLast");
  Put(v.get(), u"Value", V(3));
  Call(rs.get(), u"Update");
  ComPtr<Dispatch> three = Execute(conn_.get(), u"SELECT count(*) AS n FROM dup WHERE v = 3");
  EXPECT_EQ(Long(FieldValue(three.get(), u"n")), 1);
}

TEST_P(EditTest, NamesThatNeedQuotingAreWrittenThrough) {
  Execute(conn_.get(), u"CREATE TABLE \"odd.na\"\"me\" (\"my id\" INTEGER PRIMARY KEY, \"a.b\" VARCHAR(10))");
  Execute(conn_.get(), u"INSERT INTO \"odd.na\"\"me\" VALUES (1, 'one')");
  ComPtr<Dispatch> rs = Editable(adLockOptimistic, u"SELECT \"my id\", \"a.b\" FROM \"odd.na\"\"me\"");
  ComPtr<Dispatch> field = Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"a.b")}));
  ComPtr<Dispatch> props = Obj(Get(field.get(), u"Properties"));
  EXPECT_EQ(Str(Get(Obj(Get(props.get(), u"Item", {V(u"BASETABLENAME")})).get(), u"Value")), u"odd.na\"me");
  Put(field.get(), u"Value", V(u"uno"));
  Call(rs.get(), u"Update");
  Call(rs.get(), u"AddNew", {V(u"my id"), V(2)});
  ComPtr<Dispatch> check = Execute(conn_.get(), u"SELECT \"a.b\" AS v FROM \"odd.na\"\"me\" ORDER BY \"my id\"");
  EXPECT_EQ(Str(FieldValue(check.get(), u"v")), u"uno");
  Call(check.get(), u"MoveNext");
  EXPECT_TRUE(FieldValue(check.get(), u"v").IsNull()) << "the added row";
}

TEST_P(EditTest, AFailedWriteInsideATransactionLeavesItUsable) {
  ComPtr<Dispatch> rs = Editable();
  Call(conn_.get(), u"BeginTrans");
  Put(Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")})).get(), u"Value", V(11));
  Call(rs.get(), u"Update");
  // The name may not be NULL: the insert fails, on PostgreSQL too without
  // dooming the transaction.
  Call(rs.get(), u"AddNew");
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Update"); }), static_cast<std::int32_t>(E_FAIL));
  Call(rs.get(), u"CancelUpdate");
  Call(rs.get(), u"MoveLast");
  Put(Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(u"qty")})).get(), u"Value", V(33));
  Call(rs.get(), u"Update");
  Call(conn_.get(), u"CommitTrans");
  EXPECT_EQ(Rows(), (std::vector<UString>{u"bolt:11", u"nut:20", u"gear:33"}));
}

TEST_P(EditTest, RequeryShowsWhatOthersChanged) {
  ComPtr<Dispatch> rs = Editable();
  ComPtr<EventLog> events = Listen(rs.get(), DIID_RecordsetEvents);
  Execute(conn_.get(), u"INSERT INTO items (name) VALUES ('extra')");
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 3);
  Call(rs.get(), u"Requery");
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 4);
  EXPECT_EQ(events->Count(ev::WillChangeRecordset), 1);
  EXPECT_EQ(Long(events->Last(ev::RecordsetChangeComplete)->args[0]), adRsnRequery);
}

TEST(FabricatedRecordsetTest, AppendedFieldsMakeAnInMemoryRecordset) {
  RegisterAdodbClasses();
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  ComPtr<Dispatch> fields = Obj(Get(rs.get(), u"Fields"));
  Call(fields.get(), u"Append", {V(u"name"), V(adVarWChar), V(20)});
  Call(fields.get(), u"Append", {V(u"n"), V(adInteger)});
  EXPECT_EQ(ErrorOf([&] { Call(fields.get(), u"Append", {V(u"N"), V(adInteger)}); }), adErrObjectInCollection);
  EXPECT_EQ(Long(Get(fields.get(), u"Count")), 2);
  Call(rs.get(), u"Open", {Missing(), Missing(), V(adOpenStatic), V(adLockOptimistic)});
  EXPECT_EQ(Long(Get(rs.get(), u"CursorLocation")), adUseClient);
  EXPECT_TRUE(ToBool(Get(rs.get(), u"BOF")) && ToBool(Get(rs.get(), u"EOF")));
  EXPECT_EQ(ErrorOf([&] { Call(fields.get(), u"Append", {V(u"late"), V(adInteger)}); }), adErrObjectOpen);
  Call(rs.get(), u"AddNew");
  EXPECT_FALSE(ToBool(Get(rs.get(), u"EOF")));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 1);
  Put(Obj(Get(fields.get(), u"Item", {V(u"name")})).get(), u"Value", V(u"x"));
  Put(Obj(Get(fields.get(), u"Item", {V(u"n")})).get(), u"Value", Variant(2.6));
  Call(rs.get(), u"Update");
  EXPECT_EQ(Get(Obj(Get(fields.get(), u"Item", {V(u"n")})).get(), u"Value").vt(), VT_I4);
  EXPECT_EQ(Long(Get(Obj(Get(fields.get(), u"Item", {V(u"n")})).get(), u"Value")), 3);
  // A row added and then cancelled does not come back when the rows are
  // reordered or filtered.
  Call(rs.get(), u"AddNew", {V(u"name"), V(u"y")});
  Call(rs.get(), u"AddNew");
  Call(rs.get(), u"CancelUpdate");
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 2);
  Put(rs.get(), u"Sort", V(u"name DESC"));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 2);
  Call(rs.get(), u"MoveFirst");
  Call(rs.get(), u"Delete");
  Put(rs.get(), u"Filter", V(u"n = NULL OR n > 0"));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 1) << "the deleted row stays away too";
  EXPECT_EQ(Str(FieldValue(rs.get(), u"name")), u"x");
}

TARNEL_ADODB_ENGINES(EditTest);

}  // namespace
}  // namespace tarnel::adodb::testing
