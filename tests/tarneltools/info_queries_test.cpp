// AdoInfo and AdoErrMsg: the connection string and the last statement's
// text in pieces of 255 characters, the failures when there is nothing to
// hand out, and each property of the errors a connection collected, with
// the handle -1 standing for the statement last started.
#include "ado_handle_fixture.h"

namespace tarnel::testing {
namespace {

constexpr std::int32_t kObjectError = -2147221504;

class InfoQueries : public AdoHandles {
 protected:
  std::string Info(std::int32_t h, const char16_t* property, std::int32_t start) {
    return CallText(u"AdoInfo", {Variant(h), Variant(property), Variant(start)});
  }
  std::string ErrMsg(std::int32_t h, const char16_t* type, std::int32_t n) {
    return CallText(u"AdoErrMsg", {Variant(h), Variant(type), Variant(n)});
  }
  // Fills the handle's connection's Errors with the provider's "no
  // transaction" error.
  void CollectAnError(std::int32_t h) { ASSERT_EQ(CallLong(u"AdoCommit", {Variant(h)}), 307); }

  // A property of error n of the connection, read from ADO directly.
  std::string ErrorOf(Dispatch* connection, std::int32_t n, const char16_t* property) {
    Variant errors = CallByName(connection, u"Errors", DISPATCH_PROPERTYGET);
    Variant error = CallByName(errors.pdispVal(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(n)});
    return ToUtf8(TextOf(CallByName(error.pdispVal(), property, DISPATCH_PROPERTYGET)));
  }
};

TEST_P(InfoQueries, ALongConnectionStringComesInPiecesOf255) {
  // Padding with a keyword that every provider accepts.
  UString cs = ConnectionString() + u";Application Name=";
  const std::size_t pad = 600 - cs.size();
  for (std::size_t i = 0; i < pad; ++i) cs += static_cast<char16_t>(u'a' + i % 26);
  ASSERT_EQ(cs.size(), 600u);
  const std::int32_t h = CallLong(u"AdoConnect", {Variant(cs), Variant(15)});
  ASSERT_TRUE(WaitUntil([&] { return CallLong(u"AdoConnectionState", {Variant(h)}) == 1; }));
  const std::string text = ToUtf8(cs);
  const std::size_t mark = Mark();
  EXPECT_EQ(Info(h, u"ConnectionString", 1), text.substr(0, 255));
  EXPECT_EQ(Info(h, u"ConnectionString", 256), text.substr(255, 255));
  EXPECT_EQ(Info(h, u"ConnectionString", 511), text.substr(510));
  EXPECT_EQ(Info(h, u"ConnectionString", 511).size(), 90u);
  EXPECT_EQ(Info(h, u"ConnectionString", 600), text.substr(599));
  EXPECT_EQ(Info(h, u"ConnectionString", 601), "");
  EXPECT_EQ(Info(h, u"ConnectionString", 2147483647), "");
  EXPECT_TRUE(Lines(mark).empty()) << "AdoInfo writes no line";
}

TEST_P(InfoQueries, ATextOfExactly255IsFollowedByAnEmptyPiece) {
  const std::int32_t h = Connect();
  UString sql = u"SELECT 1 AS x";
  sql += u" WHERE 1 = 1";
  while (sql.size() < 255) sql += u" ";
  ASSERT_EQ(sql.size(), 255u);
  Exec(h, sql);
  EXPECT_EQ(Info(h, u"Query", 1), ToUtf8(sql));
  EXPECT_EQ(Info(h, u"Query", 256), "");
}

TEST_P(InfoQueries, QueryIsTheTextOfTheLastStatementOfTheHandle) {
  const std::int32_t h = Connect();
  Exec(h, u"SELECT 42 AS answer");
  EXPECT_EQ(Info(h, u"Query", 1), "SELECT 42 AS answer");
  EXPECT_EQ(Info(h, u"Query", 8), "42 AS answer");
  // A command handle has its own statement and shares the connection's
  // string.
  const std::int32_t cmd = CallLong(u"AdoCmdCreate", {Variant(h), Variant(u"SELECT 7 AS seven")});
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(Info(cmd, u"Query", 1), "SELECT 7 AS seven");
  EXPECT_EQ(Info(cmd, u"ConnectionString", 1), ToUtf8(ConnectionString().substr(0, 255)));
  EXPECT_EQ(Info(h, u"Query", 1), "SELECT 42 AS answer");
}

TEST_P(InfoQueries, NothingToHandOutFailsTheCallWithTheObjectDefinedError) {
  const std::int32_t h = Connect();
  const std::int32_t freed = Connect();
  ASSERT_EQ(CallLong(u"AdoDisconnect", {Variant(freed)}), 0);
  const std::size_t mark = Mark();
  struct Case {
    std::int32_t handle;
    const char16_t* property;
    std::int32_t start;
  };
  for (const Case& c : {Case{h, u"connectionstring", 1}, Case{h, u"Query", 1}, Case{h, u"CONNECTIONSTRING", 1},
                        Case{h, u"", 1}, Case{freed, u"ConnectionString", 1}, Case{-1, u"ConnectionString", 1},
                        Case{51, u"ConnectionString", 1}, Case{-1, u"ConnectionString", 0}}) {
    const CallFailure f = Failure(u"AdoInfo", {Variant(c.handle), Variant(c.property), Variant(c.start)});
    EXPECT_EQ(f.number, kObjectError) << c.handle << " " << ToUtf8(c.property);
    EXPECT_FALSE(f.description.empty());
  }
  EXPECT_TRUE(Lines(mark).empty());
}

TEST_P(InfoQueries, AStartBelowOneIsAnInvalidArgument) {
  const std::int32_t h = Connect();
  Exec(h, u"SELECT 1 AS one");
  for (std::int32_t start : {0, -1, -2147483647 - 1}) {
    EXPECT_EQ(Failure(u"AdoInfo", {Variant(h), Variant(u"ConnectionString"), Variant(start)}).number, 5) << start;
    EXPECT_EQ(Failure(u"AdoInfo", {Variant(h), Variant(u"Query"), Variant(start)}).number, 5) << start;
  }
}

TEST_P(InfoQueries, EachErrorPropertyWordReadsThatPropertyOfTheError) {
  const std::int32_t h = Connect();
  CollectAnError(h);
  // The control's connection, as the event source it became is not needed:
  // a command on the same connection reaches it through ActiveConnection.
  const std::int32_t cmd = CallLong(u"AdoCmdCreate", {Variant(h), Variant(u"SELECT 1")});
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);
  ComPtr<Dispatch> connection(Property(u"ConnectionEventSource").pdispVal());
  ASSERT_TRUE(connection);

  const std::string hs = std::to_string(h);
  struct Word {
    const char16_t* word;
    std::string expected;
  };
  const Word words[] = {
      {u"Description", ErrorOf(connection.get(), 0, u"Description")},
      {u"NativeError", ErrorOf(connection.get(), 0, u"NativeError")},
      {u"Number", "-2147168242"},
      {u"Source", ErrorOf(connection.get(), 0, u"Source")},
      {u"SQLState", "25000"},
  };
  for (const Word& w : words) {
    const std::size_t mark = Mark();
    EXPECT_EQ(ErrMsg(h, w.word, 0), w.expected) << ToUtf8(w.word);
    EXPECT_EQ(Lines(mark),
              std::vector<std::string>{"AdoErrMsg(" + hs + ", '" + ToUtf8(w.word) + "', 0) = '" + w.expected + "'"});
  }
  EXPECT_FALSE(words[0].expected.empty());
  EXPECT_FALSE(words[3].expected.empty());
}

TEST_P(InfoQueries, OtherWordsAndOtherCaseGiveAnEmptyResultWithTheLine) {
  const std::int32_t h = Connect();
  CollectAnError(h);
  const std::string hs = std::to_string(h);
  for (const char16_t* word : {u"description", u"NUMBER", u"SqlState", u"nativeerror", u"HelpFile", u"", u"Number "}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(ErrMsg(h, word, 0), "") << ToUtf8(word);
    EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoErrMsg(" + hs + ", '" + ToUtf8(word) + "', 0) = ''"});
  }
}

TEST_P(InfoQueries, PositionsThatNameNoErrorGiveAnEmptyResultWithTheLine) {
  const std::int32_t h = Connect();
  const std::string hs = std::to_string(h);
  // No error yet: even position 0 names none.
  for (std::int32_t n : {0, -1}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(ErrMsg(h, u"Description", n), "");
    EXPECT_EQ(Lines(mark),
              std::vector<std::string>{"AdoErrMsg(" + hs + ", 'Description', " + std::to_string(n) + ") = ''"});
  }
  CollectAnError(h);
  // One error: position 0 names it, 1 (the count), 2 and -1 do not.
  EXPECT_NE(ErrMsg(h, u"Description", 0), "");
  for (std::int32_t n : {1, 2, -1, -2147483647 - 1}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(ErrMsg(h, u"Description", n), "") << n;
    EXPECT_EQ(Lines(mark),
              std::vector<std::string>{"AdoErrMsg(" + hs + ", 'Description', " + std::to_string(n) + ") = ''"});
  }
}

TEST_P(InfoQueries, ABadHandleGivesAnEmptyResultWithTheLineAndDoesNotFail) {
  const std::int32_t h = Connect();
  CollectAnError(h);
  for (std::int32_t bad : {77, 51, -2, h + 1}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(ErrMsg(bad, u"Description", 0), "");
    EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoErrMsg(" + std::to_string(bad) + ", 'Description', 0) = ''"});
  }
}

TEST_P(InfoQueries, HandleMinusOneReadsTheStatementLastStartedAndIsWrittenBack) {
  const UString missing = FromUtf8("no_such_table" + Suffix());
  const std::int32_t h = Connect();
  const std::int32_t other = Connect();
  CollectAnError(other);
  // A statement that fails in the background, through a command handle.
  const std::int32_t cmd = CallLong(u"AdoCmdCreate", {Variant(h), Variant(u"SELECT * FROM " + missing)});
  ASSERT_GT(cmd, other);
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);

  std::int32_t handle = -1;
  Variant type(u"SQLState");
  Variant n(0);
  const std::size_t mark = Mark();
  const std::string state =
      ToUtf8(TextOf(Call(u"AdoErrMsg", {Variant::RefTyped(VT_I4, &handle), Variant::Ref(&type), Variant::Ref(&n)})));
  EXPECT_EQ(handle, cmd);
  // The failed statement's error, not the other connection's.
  EXPECT_EQ(state, IsPg() ? "42P01" : ErrMsg(h, u"SQLState", 0));
  EXPECT_NE(state, "25000");
  EXPECT_EQ(Lines(mark)[0], "AdoErrMsg(" + std::to_string(cmd) + ", 'SQLState', 0) = '" + state + "'");
  EXPECT_NE(ErrMsg(-1, u"Description", 0).find("no_such_table"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Engines, InfoQueries, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::testing
