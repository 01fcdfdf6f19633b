// Connection handles: AdoConnect hands out the lowest free slot while the
// connection opens in the background, counts it and writes its lines; a
// connection ADO rejects at once gives -1 and leaves no slot taken;
// AdoConnectionState and AdoDisconnect on good and bad handles.
#include "ado_test_support.h"

namespace tarnel::testing_ado {
namespace {

using Connections = AdoTest;

TEST_F(Connections, ConnectOpensInTheBackgroundAndCounts) {
  const std::string cs = SqliteConnection();
  std::int32_t h = Connect(cs);
  EXPECT_EQ(h, 0);
  // Connecting (2) until the outcome is in; a local file may be open (1)
  // by the first poll already.
  const std::int32_t first = State(h);
  EXPECT_TRUE(first == 2 || first == 1) << first;
  EXPECT_TRUE(WaitFor([&] { return State(h) == 1; }));
  EXPECT_EQ(CallByName(ado->AsDispatch(), u"Connections", DISPATCH_PROPERTYGET).lVal(), 1);
  bool labelSeen = false;
  for (const ControlLabel& l : ado->GetFace().labels) {
    if (l.name == u"lblConnections") {
      EXPECT_EQ(l.caption, u"1");
      labelSeen = true;
    }
  }
  EXPECT_TRUE(labelSeen);
  std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "AdoConnect('" + cs + "', 5)");
  EXPECT_EQ(lines[1], "AdoConnectionState() = " + std::to_string(first));
  EXPECT_EQ(lines.back(), "AdoConnectionState() = 1");
  EXPECT_EQ(Connect(cs), 1);
}

TEST_F(Connections, UnknownProviderFailsAndGivesTheSlotBack) {
  const std::string bad = "Provider=NoSuchProvider;Data Source=x";
  std::int32_t h = Connect(bad);
  EXPECT_EQ(h, -1);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "AdoConnect('" + bad + "', 5)");
  EXPECT_EQ(lines[1].rfind("AdoConnect('" + bad + "', 5) Error: 3706 ", 0), 0u) << lines[1];
  EXPECT_EQ(ado->Connections(), 0);
  // The slot the failed attempt took is free again: retrying cannot make
  // the table grow without bound.
  for (int i = 0; i < 60; ++i) EXPECT_EQ(Connect(bad), -1);
  EXPECT_EQ(Connect(SqliteConnection()), 0);
  EXPECT_EQ(ado->Connections(), 1);
}

TEST_F(Connections, MissingDatabaseFileEndsClosedNotOpen) {
  const std::string cs = "Provider=SQLite;Data Source=" + dir.Path("absent.db").string();
  std::int32_t h = Connect(cs);
  ASSERT_GE(h, 0);
  EXPECT_TRUE(WaitFor([&] { return State(h) != 2; }));
  EXPECT_EQ(State(h), 0);
  // The handle is the script's: it gives it back as usual.
  EXPECT_EQ(ado->AdoDisconnect(h), 0);
  EXPECT_EQ(ado->Connections(), 0);
}

TEST_F(Connections, StateOfBadHandlesIsMinusOne) {
  for (std::int32_t h : {-1, 0, 51, INT32_MIN, INT32_MAX}) {
    ClearLines();
    EXPECT_EQ(State(h), -1) << h;
    EXPECT_EQ(Lines(), std::vector<std::string>{"AdoConnectionState() = -1"});
  }
}

TEST_F(Connections, DisconnectFreesTheSlotOnceAndCountsDown) {
  std::int32_t a = ConnectOpen(SqliteConnection());
  std::int32_t b = ConnectOpen(SqliteConnection());
  Run(a, "CREATE TABLE t(x)");
  ClearLines();
  EXPECT_EQ(ado->AdoDisconnect(a), 0);
  EXPECT_EQ(ado->Connections(), 1);
  EXPECT_EQ(ado->AdoDisconnect(a), 269);
  EXPECT_EQ(State(a), -1);
  EXPECT_EQ(ado->AdoNumChange(a), -1);
  // The statement made connection a the event source, so its closing is
  // forwarded before the method's own line.
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Raise Event Disconnect(1, " + SqliteConnection() + ")");
  EXPECT_EQ(lines[1], "AdoDisconnect(0) = 0");
  EXPECT_EQ(lines[2], "AdoDisconnect(0) = 269");
  EXPECT_EQ(container->Of(kDisconnect).size(), 1u);
  // The freed slot is handed out again, the other handle is untouched.
  EXPECT_EQ(Connect(SqliteConnection()), a);
  EXPECT_EQ(State(b), 1);
}

TEST_F(Connections, DisconnectOfBadHandlesChangesNothing) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  for (std::int32_t bad : {-1, 1, 51, 1000, INT32_MIN}) {
    ClearLines();
    EXPECT_EQ(ado->AdoDisconnect(bad), 269);
    EXPECT_EQ(Lines(), std::vector<std::string>{"AdoDisconnect(" + std::to_string(bad) + ") = 269"});
  }
  EXPECT_EQ(ado->Connections(), 1);
  EXPECT_EQ(State(h), 1);
}

TEST_F(Connections, DisconnectWhileStillConnectingFreesTheSlot) {
  std::int32_t h = Connect(SqliteConnection());
  EXPECT_EQ(ado->AdoDisconnect(h), 0);
  EXPECT_EQ(ado->Connections(), 0);
  // Whatever the background attempt delivers later reaches no slot.
  Apartment::Current().WaitAndProcess(std::chrono::milliseconds(50));
  EXPECT_EQ(State(h), -1);
}

TEST_F(Connections, TheFiftySecondConnectGrowsTheTableByEleven) {
  for (int i = 0; i < 51; ++i) ASSERT_EQ(Connect(SqliteConnection()), i);
  std::int32_t last = 61;
  std::int32_t beyond = 62;
  EXPECT_EQ(ErrorNumberOf([&] { ado->AdoExecuting(last); }), 9);
  EXPECT_EQ(Connect(SqliteConnection()), 51);
  EXPECT_EQ(ado->Connections(), 52);
  EXPECT_EQ(ado->AdoExecuting(last), 0);  // index 61 exists now
  EXPECT_EQ(ErrorNumberOf([&] { ado->AdoExecuting(beyond); }), 9);
}

}  // namespace
}  // namespace tarnel::testing_ado
