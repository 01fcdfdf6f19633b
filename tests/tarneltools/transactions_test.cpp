// AdoBeginTran, AdoCommit and AdoRollBack on both engines: what a bad
// handle, a success and an ADO error each return and log, nesting, the
// connection a command handle shares, and a closed connection.
#include "ado_handle_fixture.h"

namespace tarnel::testing {
namespace {

class Transactions : public AdoHandles {
 protected:
  // The three methods with the names their lines carry.
  static constexpr const char16_t* kMethods[] = {u"AdoBeginTran", u"AdoCommit", u"AdoRollBack"};

  std::int32_t Tran(const char16_t* method, std::int32_t h) { return CallLong(method, {Variant(h)}); }

  // The lines written since `mark` other than those of forwarded events
  // (the connection became the event source when a statement ran on it).
  std::vector<std::string> OwnLines(std::size_t mark) {
    std::vector<std::string> own;
    for (std::string& line : Lines(mark)) {
      if (line.rfind("Raise Event ", 0) != 0) own.push_back(std::move(line));
    }
    return own;
  }

  void Insert(std::int32_t h, const UString& table, int id) {
    Exec(h, u"INSERT INTO " + table + u" (id) VALUES (" + DecimalText(id) + u")");
  }
};

TEST_P(Transactions, BadHandlesGive269WithTheirLineAndNoCallToAdo) {
  const std::int32_t h = Connect();
  const std::int32_t freed = Connect();
  ASSERT_EQ(CallLong(u"AdoDisconnect", {Variant(freed)}), 0);
  const std::size_t mark = Mark();
  std::vector<std::string> expected;
  for (const char16_t* method : kMethods) {
    for (std::int32_t bad : {-1, 51, 1000, freed}) {
      EXPECT_EQ(Tran(method, bad), 269) << ToUtf8(method) << " " << bad;
      expected.push_back(ToUtf8(method) + "(" + std::to_string(bad) + ") = 269");
    }
  }
  EXPECT_EQ(Lines(mark), expected);
  // No transaction was begun on the open connection by any of them.
  EXPECT_EQ(Tran(u"AdoCommit", h), 307);
}

TEST_P(Transactions, CommitKeepsAndRollBackDiscardsTheStatementsOfTheTransaction) {
  const UString t = Table("tran");
  Direct(u"CREATE TABLE " + t + u" (id integer)");
  const std::int32_t h = Connect();

  std::size_t mark = Mark();
  EXPECT_EQ(Tran(u"AdoBeginTran", h), 0);
  EXPECT_EQ(OwnLines(mark), std::vector<std::string>{"AdoBeginTran(" + std::to_string(h) + ") = 0"});
  Insert(h, t, 1);
  mark = Mark();
  EXPECT_EQ(Tran(u"AdoRollBack", h), 0);
  EXPECT_EQ(OwnLines(mark), std::vector<std::string>{"AdoRollBack(" + std::to_string(h) + ") = 0"});
  EXPECT_EQ(Count(t), 0);

  EXPECT_EQ(Tran(u"AdoBeginTran", h), 0);
  Insert(h, t, 2);
  mark = Mark();
  EXPECT_EQ(Tran(u"AdoCommit", h), 0);
  EXPECT_EQ(OwnLines(mark), std::vector<std::string>{"AdoCommit(" + std::to_string(h) + ") = 0"});
  EXPECT_EQ(Count(t), 1);
  EXPECT_EQ(ToInt32(Scalar(u"SELECT id FROM " + t)), 2);
}

TEST_P(Transactions, WithoutAnOpenTransactionCommitAndRollBackGive307WithAdosError) {
  const std::int32_t h = Connect();
  const std::string hs = std::to_string(h);
  for (const char16_t* method : {u"AdoCommit", u"AdoRollBack"}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(Tran(method, h), 307);
    const std::vector<std::string> lines = Lines(mark);
    ASSERT_EQ(lines.size(), 1u);
    // The provider's "no transaction" failure code, as a negative number,
    // then its text.
    const std::string head = ToUtf8(method) + "(" + hs + ") = 307 Error -2147168242 ";
    EXPECT_EQ(lines[0].rfind(head, 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), head.size()) << "no description";
  }
  // The error is also in the connection's Errors collection.
  EXPECT_EQ(CallText(u"AdoErrMsg", {Variant(h), Variant(u"SQLState"), Variant(0)}), "25000");
}

TEST_P(Transactions, NestedTransactionsRollBackOnlyTheInnerLevel) {
  const UString t = Table("nest");
  Direct(u"CREATE TABLE " + t + u" (id integer)");
  const std::int32_t h = Connect();
  EXPECT_EQ(Tran(u"AdoBeginTran", h), 0);
  Insert(h, t, 1);
  const std::size_t mark = Mark();
  EXPECT_EQ(Tran(u"AdoBeginTran", h), 0);
  // The nesting level is never reported.
  EXPECT_EQ(OwnLines(mark), std::vector<std::string>{"AdoBeginTran(" + std::to_string(h) + ") = 0"});
  Insert(h, t, 2);
  EXPECT_EQ(Tran(u"AdoRollBack", h), 0);
  Insert(h, t, 3);
  EXPECT_EQ(Tran(u"AdoCommit", h), 0);
  EXPECT_EQ(Count(t), 2);
  EXPECT_EQ(ToInt32(Scalar(u"SELECT sum(id) FROM " + t)), 4);
  // Both levels are closed now.
  EXPECT_EQ(Tran(u"AdoCommit", h), 307);
}

TEST_P(Transactions, ACommandHandleActsOnTheConnectionItShares) {
  const UString t = Table("shared");
  Direct(u"CREATE TABLE " + t + u" (id integer)");
  const std::int32_t h = Connect();
  Variant text(u"INSERT INTO " + t + u" (id) VALUES (7)");
  const std::int32_t cmd = CallLong(u"AdoCmdCreate", {Variant(h), text});
  ASSERT_GT(cmd, h);
  EXPECT_EQ(Tran(u"AdoBeginTran", cmd), 0);
  Insert(h, t, 1);
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);
  // Rolled back through the connection handle: both inserts go.
  EXPECT_EQ(Tran(u"AdoRollBack", h), 0);
  EXPECT_EQ(Count(t), 0);
  EXPECT_EQ(Tran(u"AdoRollBack", cmd), 307);
}

TEST_P(Transactions, OnAClosedConnectionEveryMethodGives307WithError3704) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = CallLong(u"AdoCmdCreate", {Variant(h), Variant(u"SELECT 1")});
  ASSERT_GE(cmd, 0);
  // Giving the connection handle back closes the connection that the
  // command handle still holds.
  ASSERT_EQ(CallLong(u"AdoDisconnect", {Variant(h)}), 0);
  const std::int32_t failed = ConnectFailing();
  for (std::int32_t handle : {cmd, failed}) {
    for (const char16_t* method : kMethods) {
      const std::size_t mark = Mark();
      EXPECT_EQ(Tran(method, handle), 307) << ToUtf8(method);
      const std::vector<std::string> lines = Lines(mark);
      ASSERT_EQ(lines.size(), 1u);
      const std::string head = ToUtf8(method) + "(" + std::to_string(handle) + ") = 307 Error 3704 ";
      EXPECT_EQ(lines[0].rfind(head, 0), 0u) << lines[0];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Transactions, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::testing
