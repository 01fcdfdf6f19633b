// Recordset navigation and fields: walking a result with AdoNext/AdoMove
// (exact movement words, EOF at both ends, ADO's error past the end),
// reading fields as text with type, precision and scale, the field and
// record counts, and the two failure styles: the methods that catch
// everything and those that let ADO's error fail the call.
#include "ado_test_support.h"

namespace tarnel::testing_ado {
namespace {

class Navigation : public AdoTest {
 protected:
  // A handle whose recordset holds T's three rows, ordered by id.
  std::int32_t Walkable() {
    std::int32_t h = ConnectOpen(SqliteConnection());
    Run(h, "CREATE TABLE T(id INTEGER, name TEXT, price REAL, note TEXT)");
    Run(h, "INSERT INTO T VALUES (1, 'one', 1.5, NULL), (2, 'two', 2.25, 'n'), (3, 'three', -3.0, 'm')");
    Run(h, "SELECT id, name, price, note FROM T ORDER BY id");
    return h;
  }
};

TEST_F(Navigation, NextWalksToTheEndThenFailsTheCall) {
  std::int32_t h = Walkable();
  ClearLines();
  EXPECT_EQ(Field(h, u"name"), "one");
  EXPECT_EQ(Next(h), 0);
  EXPECT_EQ(Field(h, u"name"), "two");
  EXPECT_EQ(Next(h), 0);
  EXPECT_EQ(Field(h, u"id"), "3");
  EXPECT_EQ(Next(h), 294);
  EXPECT_TRUE(HasLine("AdoNext(0) = 294"));
  ClearLines();
  EXPECT_EQ(ErrorNumberOf([&] { Next(h); }), 3021);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(Navigation, MovementWordsAreExact) {
  std::int32_t h = Walkable();
  for (const char16_t* word : {u"next", u"Next ", u"", u"FIRST", u" Last", u"Prev"}) {
    EXPECT_EQ(Move(h, word), 274);
  }
  EXPECT_EQ(Field(h, u"id"), "1");  // nothing moved
  EXPECT_EQ(Move(h, u"Last"), 0);
  EXPECT_EQ(Field(h, u"id"), "3");
  EXPECT_EQ(Move(h, u"First"), 0);
  EXPECT_EQ(Move(h, u"Previous"), 294);  // before the first: EOF too
  EXPECT_EQ(Move(h, u"Next"), 0);
  EXPECT_EQ(Field(h, u"id"), "1");
}

TEST_F(Navigation, FieldsReadAsTextWithTypePrecisionAndScale) {
  std::int32_t h = Walkable();
  ASSERT_EQ(Next(h), 0);
  ClearLines();
  UString name = u"price";
  std::int32_t type = -7, precision = -7, scale = -7;
  EXPECT_EQ(ado->AdoGetField(h, name, type, precision, scale), u"2.25");
  EXPECT_EQ(type, 5);  // adDouble
  EXPECT_GE(precision, 0);
  EXPECT_LE(precision, 255);
  EXPECT_GE(scale, 0);
  EXPECT_LE(scale, 255);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"AdoGetField() Begin",
                                              "AdoGetField(0, 'price', 5, " + std::to_string(precision) + ", " +
                                                  std::to_string(scale) + ") = 2.25"}));
  // Field names are ADO's: matched without regard to case.
  UString upper = u"NAME";
  EXPECT_EQ(ado->AdoGetField(h, upper, type, precision, scale), u"two");
  // A text column has no precision or scale: ADO's 255, never -1.
  EXPECT_EQ(precision, 255);
  EXPECT_EQ(scale, 255);
}

TEST_F(Navigation, NullAndMissingFieldsFailTheCall) {
  std::int32_t h = Walkable();
  UString note = u"note";
  std::int32_t type = 11, precision = 12, scale = 13;
  EXPECT_EQ(ErrorNumberOf([&] { ado->AdoGetField(h, note, type, precision, scale); }), 94);
  EXPECT_EQ(type, 11);
  EXPECT_EQ(precision, 12);
  EXPECT_EQ(scale, 13);
  for (const char16_t* missing : {u"nosuch", u"", u"1", u"0"}) {
    UString name = missing;
    EXPECT_EQ(ErrorNumberOf([&] { ado->AdoGetField(h, name, type, precision, scale); }), 3265);
  }
}

TEST_F(Navigation, BadHandlesGiveEachMethodsFailureValue) {
  std::int32_t h = Walkable();
  for (std::int32_t bad : {-1, 1, 51, INT32_MIN}) {
    ClearLines();
    EXPECT_EQ(Move(bad, u"Next"), 269);
    EXPECT_EQ(Next(bad), 269);
    EXPECT_EQ(ado->AdoNoFields(bad), -1);
    EXPECT_EQ(ado->AdoRecordCount(bad), -1);
    UString fieldName = u"x";
    std::int32_t size = 5;
    std::int32_t one = 1;
    EXPECT_EQ(ado->AdoFieldInfo(bad, one, fieldName, size), 269);
    EXPECT_EQ(fieldName, u"");
    EXPECT_EQ(size, 0);
    UString name = u"id";
    std::int32_t type = 3, precision = 3, scale = 3;
    try {
      ado->AdoGetField(bad, name, type, precision, scale);
      ADD_FAILURE() << "AdoGetField accepted " << bad;
    } catch (const ComError& e) {
      EXPECT_EQ(e.Number(), -2147221504);
    }
    EXPECT_EQ(type, 0);
    EXPECT_EQ(precision, 0);
    EXPECT_EQ(scale, 0);
    // The line names the statement last started (handle 0), not `bad`.
    const std::string b = std::to_string(bad);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"AdoNext(" + b + ") = 269", "AdoNoFields(" + b + ") = -1",
                                                "AdoFieldInfo(" + b + ", 1) Begin", "AdoGetField() Begin",
                                                "AdoGetField(" + std::to_string(h) + ") Invalid Handle"}));
  }
}

TEST_F(Navigation, ConnectedHandleWithoutARecordset) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  ClearLines();
  EXPECT_EQ(Move(h, u"First"), 269);
  EXPECT_EQ(Next(h), 269);
  EXPECT_EQ(ado->AdoRecordCount(h), -1);
  UString fieldName;
  std::int32_t size = 0;
  std::int32_t one = 1;
  EXPECT_EQ(ado->AdoFieldInfo(h, one, fieldName, size), 269);
  EXPECT_EQ(ado->AdoNoFields(h), -1);
  UString name = u"id";
  std::int32_t type = 0, precision = 0, scale = 0;
  EXPECT_EQ(ErrorNumberOf([&] { ado->AdoGetField(h, name, type, precision, scale); }), -2147221504);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "AdoNext(0) = 269");
  EXPECT_EQ(lines[1], "AdoFieldInfo(0, 1) Begin");
  EXPECT_EQ(lines[2].rfind("AdoNoFields(0) Error 91 ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "AdoGetField() Begin");
}

TEST_F(Navigation, FieldInfoCountsFromOneAndCatchesEveryError) {
  std::int32_t h = Walkable();
  EXPECT_EQ(ado->AdoNoFields(h), 4);
  EXPECT_EQ(ado->AdoRecordCount(h), 3);
  UString name;
  std::int32_t size = -1;
  std::int32_t second = 2;
  EXPECT_EQ(ado->AdoFieldInfo(h, second, name, size), 0);
  EXPECT_EQ(name, u"name");
  EXPECT_GT(size, 0);
  for (std::int32_t bad : {0, 5, -1, INT32_MIN, INT32_MAX}) {
    ClearLines();
    name = u"kept?";
    size = 9;
    EXPECT_EQ(ado->AdoFieldInfo(h, bad, name, size), 269) << bad;
    EXPECT_EQ(name, u"");
    EXPECT_EQ(size, 0);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string call = "AdoFieldInfo(0, " + std::to_string(bad) + ")";
    EXPECT_EQ(lines[0], call + " Begin");
    const std::string number = bad == INT32_MIN ? "6" : "3265";
    EXPECT_EQ(lines[1].rfind(call + " Error " + number + " ", 0), 0u) << lines[1];
  }
}

TEST_F(Navigation, EmptyResultHasNoRecordToMoveFrom) {
  std::int32_t h = Walkable();
  Run(h, "SELECT * FROM T WHERE id > 100");
  EXPECT_EQ(ado->AdoRecordCount(h), 0);
  // BOF and EOF at once: ADO refuses the move, and the call fails with it.
  ClearLines();
  EXPECT_EQ(ErrorNumberOf([&] { Next(h); }), 3021);
  EXPECT_TRUE(Lines().empty());
  UString name = u"id";
  std::int32_t type = 0, precision = 0, scale = 0;
  EXPECT_EQ(ErrorNumberOf([&] { ado->AdoGetField(h, name, type, precision, scale); }), 3021);
}

}  // namespace
}  // namespace tarnel::testing_ado
