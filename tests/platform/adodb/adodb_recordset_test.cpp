// Recordset navigation and fields against both engines: BOF/EOF and the
// errors beyond either end, client against server cursors, field lookup and
// metadata, Null, Field objects that outlive their recordset, and the move
// events with cancellation and re-entrance.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

class RecordsetTest : public AdodbTest {
 protected:
  void SetUp() override {
    AdodbTest::SetUp();
    if (IsSkipped()) return;
    conn_ = Open();
    Execute(conn_.get(),
            u"CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(40), score NUMERIC(10,2), "
            u"weight DOUBLE PRECISION, born DATE, note TEXT)");
    Execute(conn_.get(),
            u"INSERT INTO people VALUES (1, 'Ann', 12.50, 61.5, '1990-03-01', NULL), "
            u"(2, 'Bob', NULL, 80.25, '1985-12-24', 'x'), (3, 'Cy', 7.00, NULL, NULL, 'long text')");
  }

  ComPtr<Dispatch> Select(const char16_t* sql = u"SELECT * FROM people ORDER BY id") {
    return Execute(conn_.get(), sql);
  }

  ComPtr<Dispatch> conn_;
};

TEST_P(RecordsetTest, WalkingForwardAndBackwardStopsAtBothEnds) {
  ComPtr<Dispatch> rs = Select();
  EXPECT_FALSE(ToBool(Get(rs.get(), u"BOF")));
  EXPECT_FALSE(ToBool(Get(rs.get(), u"EOF")));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 3);
  std::vector<std::int32_t> ids;
  while (!ToBool(Get(rs.get(), u"EOF"))) {
    ids.push_back(Long(FieldValue(rs.get(), u"id")));
    Call(rs.get(), u"MoveNext");
  }
  EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"MoveNext"); }), adErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { FieldValue(rs.get(), u"id"); }), adErrNoCurrentRecord);
  Call(rs.get(), u"MoveLast");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 3);
  Call(rs.get(), u"MoveFirst");
  Call(rs.get(), u"MovePrevious");
  EXPECT_TRUE(ToBool(Get(rs.get(), u"BOF")));
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"MovePrevious"); }), adErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { FieldValue(rs.get(), u"id"); }), adErrNoCurrentRecord);
  Call(rs.get(), u"Move", {V(2)});
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 2);
  EXPECT_EQ(Long(Get(rs.get(), u"AbsolutePosition")), 2);
  Variant mark = Get(rs.get(), u"Bookmark");
  Call(rs.get(), u"MoveFirst");
  Put(rs.get(), u"Bookmark", mark);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 2);
  Call(rs.get(), u"Close");
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"Close"); }), adErrObjectClosed);
}

TEST_P(RecordsetTest, AnEmptyResultIsAtBothEnds) {
  ComPtr<Dispatch> rs = Select(u"SELECT * FROM people WHERE id < 0");
  EXPECT_TRUE(ToBool(Get(rs.get(), u"BOF")));
  EXPECT_TRUE(ToBool(Get(rs.get(), u"EOF")));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 0);
  EXPECT_EQ(Long(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Count")), 6) << "the columns exist without rows";
  for (const char16_t* move : {u"MoveFirst", u"MoveLast", u"MoveNext", u"MovePrevious"})
    EXPECT_EQ(ErrorOf([&] { Call(rs.get(), move); }), adErrNoCurrentRecord) << ToUtf8(move);
  EXPECT_EQ(ErrorOf([&] { Get(rs.get(), u"EditMode"); }), adErrNoCurrentRecord);
}

TEST_P(RecordsetTest, ServerCursorIsForwardOnlyWithoutACount) {
  ComPtr<Dispatch> server = Open(adUseServer);
  ComPtr<Dispatch> rs = Execute(server.get(), u"SELECT id FROM people ORDER BY id");
  EXPECT_EQ(Long(Get(rs.get(), u"CursorType")), adOpenForwardOnly);
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), -1);
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"MovePrevious"); }), -2147217884) << "DB_E_CANTSCROLLBACKWARDS";
  EXPECT_NE(ErrorOf([&] { Call(rs.get(), u"MoveLast"); }), 0);
  Call(rs.get(), u"MoveFirst");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 1);
  // A static cursor asked for on a server connection scrolls.
  ComPtr<Dispatch> st = CreateObject(u"ADODB.Recordset");
  Call(st.get(), u"Open", {V(u"SELECT id FROM people"), Variant(server.get()), V(adOpenStatic)});
  EXPECT_EQ(Long(Get(st.get(), u"RecordCount")), 3);
}

TEST_P(RecordsetTest, FieldsAreFoundByNameOrPositionAndStayTheSameObjects) {
  ComPtr<Dispatch> rs = Select();
  ComPtr<Dispatch> fields = Obj(Get(rs.get(), u"Fields"));
  EXPECT_EQ(Long(Get(fields.get(), u"Count")), 6);
  ComPtr<Dispatch> byName = Obj(Get(fields.get(), u"Item", {V(u"NAME")}));
  ComPtr<Dispatch> byPos = Obj(Get(fields.get(), u"Item", {V(1)}));
  EXPECT_EQ(byName.get(), byPos.get()) << "case-insensitive name, 0-based position, one object";
  EXPECT_EQ(Obj(Get(fields.get(), u"Item", {Variant(1.2)})).get(), byPos.get()) << "ordinals are coerced";
  EXPECT_EQ(ErrorOf([&] { Get(fields.get(), u"Item", {V(u"nope")}); }), adErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { Get(fields.get(), u"Item", {V(6)}); }), adErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { Get(fields.get(), u"Item", {V(-1)}); }), adErrItemNotFound);
  EXPECT_EQ(Str(Get(byName.get(), u"Value")), u"Ann");
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(Str(Get(byName.get(), u"Value")), u"Bob") << "a Field follows the cursor";
  EXPECT_EQ(Str(Get(rs.get(), u"Collect", {V(u"name")})), u"Bob");
  Call(rs.get(), u"Close");
  EXPECT_EQ(Long(Get(fields.get(), u"Count")), 0);
  EXPECT_EQ(ErrorOf([&] { Get(byName.get(), u"Name"); }), adErrObjectNotSet) << "stale after Close";
  EXPECT_EQ(ErrorOf([&] { Get(byName.get(), u"Value"); }), adErrObjectNotSet);
  // A Field kept after its recordset is released is just as stale.
  ComPtr<Dispatch> again = Select();
  ComPtr<Dispatch> kept = Obj(Get(Obj(Get(again.get(), u"Fields")).get(), u"Item", {V(0)}));
  again.Reset();
  EXPECT_EQ(ErrorOf([&] { Get(kept.get(), u"Value"); }), adErrObjectNotSet);
}

TEST_P(RecordsetTest, FieldMetadataAndValues) {
  ComPtr<Dispatch> rs = Select();
  auto field = [&](const char16_t* name) { return Obj(Get(Obj(Get(rs.get(), u"Fields")).get(), u"Item", {V(name)})); };
  ComPtr<Dispatch> id = field(u"id");
  ComPtr<Dispatch> name = field(u"name");
  ComPtr<Dispatch> score = field(u"score");
  ComPtr<Dispatch> weight = field(u"weight");
  ComPtr<Dispatch> born = field(u"born");
  ComPtr<Dispatch> note = field(u"note");
  EXPECT_EQ(Str(Get(name.get(), u"Name")), u"name");
  EXPECT_EQ(Long(Get(name.get(), u"Type")), adVarWChar);
  EXPECT_EQ(Long(Get(name.get(), u"DefinedSize")), 40);
  EXPECT_EQ(Long(Get(name.get(), u"Precision")), 255);
  EXPECT_EQ(Long(Get(name.get(), u"NumericScale")), 255) << "not numeric";
  EXPECT_EQ(Get(name.get(), u"Precision").vt(), VT_UI1);
  EXPECT_EQ(Long(Get(score.get(), u"Type")), adNumeric);
  EXPECT_EQ(Long(Get(score.get(), u"Precision")), 10);
  EXPECT_EQ(Long(Get(score.get(), u"NumericScale")), 2);
  EXPECT_EQ(Long(Get(weight.get(), u"Type")), adDouble);
  EXPECT_EQ(Long(Get(born.get(), u"Type")), adDBDate);
  EXPECT_EQ(Long(Get(note.get(), u"Attributes")) & adFldLong, adFldLong);

  EXPECT_EQ(Get(id.get(), u"Value").vt(), VT_I4);
  EXPECT_EQ(Get(score.get(), u"Value").vt(), VT_DECIMAL);
  EXPECT_EQ(TextOf(Get(score.get(), u"Value"), Locale::Named("en-US")), u"12.5");
  EXPECT_DOUBLE_EQ(ToDouble(Get(weight.get(), u"Value")), 61.5);
  EXPECT_EQ(Get(born.get(), u"Value").vt(), VT_DATE);
  EXPECT_EQ(TextOf(Get(born.get(), u"Value"), Locale::Named("en-US")), u"3/1/1990");
  EXPECT_TRUE(Get(note.get(), u"Value").IsNull()) << "SQL NULL is Null";
  EXPECT_EQ(Long(Get(name.get(), u"ActualSize")), 3);
  Call(rs.get(), u"MoveNext");
  EXPECT_TRUE(Get(score.get(), u"Value").IsNull());
}

TEST_P(RecordsetTest, MoveEventsReportReasonsAndCanCancel) {
  ComPtr<Dispatch> rs = Select();
  ComPtr<EventLog> events = Listen(rs.get(), DIID_RecordsetEvents);
  Call(rs.get(), u"MoveNext");
  Call(rs.get(), u"MoveLast");
  ASSERT_EQ(events->Ids(), (std::vector<DispId>{ev::WillMove, ev::MoveComplete, ev::WillMove, ev::MoveComplete}));
  EXPECT_EQ(Long(events->entries[0].args[0]), adRsnMoveNext);
  EXPECT_EQ(Long(events->entries[2].args[0]), adRsnMoveLast);
  EXPECT_EQ(events->entries[0].objects[2], rs.get());

  // Moving past the last row tells EndOfRecordset.
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(events->Count(ev::EndOfRecordset), 1);
  EXPECT_TRUE(ToBool(Get(rs.get(), u"EOF")));

  // A WillMove handler cancels: ADO's error, the position stays.
  Call(rs.get(), u"MoveFirst");
  events->handlers[ev::WillMove] = [](DispParams& p) { SetLongArg(p, 1, adStatusCancel); };
  EXPECT_EQ(ErrorOf([&] { Call(rs.get(), u"MoveNext"); }), adErrOperationCancelled);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 1);
  EXPECT_EQ(Long(events->Last(ev::MoveComplete)->args[2]), adStatusErrorsOccurred);

  // Moving from inside a move event is refused.
  std::int32_t inner = 0;
  events->handlers[ev::WillMove] = [&](DispParams&) { inner = ErrorOf([&] { Call(rs.get(), u"MoveLast"); }); };
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(inner, adErrNotReentrant);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 2);

  // A sink that does not want an event is not called with it again.
  events->handlers.clear();
  events->handlers[ev::MoveComplete] = [](DispParams& p) { SetLongArg(p, 2, adStatusUnwantedEvent); };
  Call(rs.get(), u"MoveNext");
  const int before = events->Count(ev::MoveComplete);
  Call(rs.get(), u"MovePrevious");
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(events->Count(ev::MoveComplete), before + 1) << "only the other reason still arrives";
}

TEST_P(RecordsetTest, SortFilterFindGetRowsAndGetString) {
  ComPtr<Dispatch> rs = Select();
  Put(rs.get(), u"Sort", V(u"name DESC"));
  EXPECT_EQ(Str(FieldValue(rs.get(), u"name")), u"Ann") << "the current row stays current";
  Call(rs.get(), u"MoveFirst");
  EXPECT_EQ(Str(FieldValue(rs.get(), u"name")), u"Cy");
  Put(rs.get(), u"Filter", V(u"weight > 60 AND name LIKE 'B*'"));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 1);
  EXPECT_EQ(Str(FieldValue(rs.get(), u"name")), u"Bob");
  Put(rs.get(), u"Filter", V(adFilterNone));
  Put(rs.get(), u"Sort", V(u""));
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 3);
  EXPECT_EQ(ErrorOf([&] { Put(rs.get(), u"Filter", V(u"nosuch = 1")); }), adErrItemNotFound);

  Call(rs.get(), u"MoveFirst");
  Call(rs.get(), u"Find", {V(u"name = 'cy'")});
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 3);
  Call(rs.get(), u"Find", {V(u"id = 1")});
  EXPECT_TRUE(ToBool(Get(rs.get(), u"EOF"))) << "searches forward from the current row";

  Call(rs.get(), u"MoveFirst");
  Variant rows = Call(rs.get(), u"GetRows", {V(2), Missing(), V(u"name")});
  ASSERT_TRUE(rows.IsArray());
  EXPECT_EQ(rows.parray()->Dimensions(), 2u);
  EXPECT_EQ(rows.parray()->BoundOf(1).count, 2u);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 3) << "GetRows moves past what it read";
  Call(rs.get(), u"MoveFirst");
  ComPtr<Dispatch> ids = Select(u"SELECT id, name FROM people ORDER BY id");
  EXPECT_EQ(Str(Call(ids.get(), u"GetString", {V(adClipString), V(-1), V(u","), V(u";")})), u"1,Ann;2,Bob;3,Cy;");
}

TARNEL_ADODB_ENGINES(RecordsetTest);

}  // namespace
}  // namespace tarnel::adodb::testing
