// Command handles and their parameters: AdoCmdCreate's slots, counts,
// write-back and failures (a failure gives the slot back), AdoCmdClose,
// AdoCmdAddParm, AdoCmdSetParm and AdoCmdGetParm with their lines and their
// answers to bad handles, connection handles and values ADO refuses.
#include "ado_handle_fixture.h"
#include "tarneltools/control/type_library.h"

namespace tarnel::testing {
namespace {

constexpr std::int32_t kObjectError = -2147221504;
constexpr std::int32_t adInteger = 3, adVarWChar = 202;
constexpr std::int32_t adParamInput = 1;

class Commands : public AdoHandles {
 protected:
  std::int32_t Create(std::int32_t h, const UString& text) {
    return CallLong(u"AdoCmdCreate", {Variant(h), Variant(text)});
  }
  std::int32_t AddParm(std::int32_t cmd, const UString& name, Variant value, std::int32_t type,
                       std::int32_t direction = adParamInput, std::int32_t size = 50, std::int32_t precision = 0,
                       std::int32_t scale = 0) {
    return CallLong(u"AdoCmdAddParm", {Variant(cmd), Variant(name), std::move(value), Variant(type), Variant(direction),
                                       Variant(size), Variant(precision), Variant(scale)});
  }
  std::string LabelConnections() {
    for (const ControlLabel& l : ado_->GetFace().labels) {
      if (l.name == u"lblConnections") return ToUtf8(l.caption);
    }
    return "?";
  }
};

TEST_P(Commands, ACommandHandleIsANewSlotCountedAsAConnectionUntilClosed) {
  const std::int32_t h = Connect();
  ASSERT_EQ(h, 0);
  std::size_t mark = Mark();
  EXPECT_EQ(Create(h, u"SELECT 1"), 1);
  EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoCmdCreate(hADO=0, Cmd='SELECT 1') = 1"});
  EXPECT_EQ(ToInt32(Property(u"Connections")), 2);
  EXPECT_EQ(LabelConnections(), "2");
  // A command handle is made from a command handle as well.
  EXPECT_EQ(Create(1, u"SELECT 2"), 2);
  EXPECT_EQ(ToInt32(Property(u"Connections")), 3);

  mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdClose", {Variant(1)}), 0);
  EXPECT_EQ(Lines(mark), (std::vector<std::string>{"AdoCmdClose(1)", "AdoCmdClose(1) = 0"}));
  EXPECT_EQ(ToInt32(Property(u"Connections")), 2);
  EXPECT_EQ(LabelConnections(), "2");
  mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdClose", {Variant(1)}), 269);
  EXPECT_EQ(Lines(mark), (std::vector<std::string>{"AdoCmdClose(1)", "AdoCmdClose(1) = 269"}));
  // The connection stayed open for its own handle and the other command.
  EXPECT_EQ(CallLong(u"AdoConnectionState", {Variant(h)}), 1);
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(2), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(2);
  // The lowest free slot is handed out again.
  EXPECT_EQ(Create(h, u"SELECT 3"), 1);
}

TEST_P(Commands, CreateOnABadHandleReturnsMinusOneWithItsLine) {
  const std::int32_t h = Connect();
  const std::int32_t freed = Connect();
  ASSERT_EQ(CallLong(u"AdoDisconnect", {Variant(freed)}), 0);
  const std::size_t mark = Mark();
  std::vector<std::string> expected;
  for (std::int32_t bad : {-1, 51, freed}) {
    EXPECT_EQ(Create(bad, u"SELECT 1"), -1) << bad;
    expected.push_back("AdoCmdCreate(hADO=" + std::to_string(bad) + ", Cmd='SELECT 1') = -1");
  }
  EXPECT_EQ(Lines(mark), expected);
  EXPECT_EQ(ToInt32(Property(u"Connections")), 1);
  EXPECT_EQ(Create(h, u"SELECT 1"), freed);
}

TEST_P(Commands, AnEmptyTextTakesTheTextAssembledOnTheConnectionHandleAndIsWrittenBack) {
  const std::int32_t h = Connect();
  ASSERT_EQ(CallLong(u"AdoSet", {Variant(h), Variant(u"SELECT 5 ")}), 0);
  ASSERT_EQ(CallLong(u"AdoAppend", {Variant(h), Variant(u"AS five")}), 0);
  std::int32_t handle = h;
  UString text;
  const std::size_t mark = Mark();
  const std::int32_t cmd =
      ToInt32(Call(u"AdoCmdCreate", {Variant::RefTyped(VT_I4, &handle), Variant::RefTyped(VT_BSTR, &text)}));
  EXPECT_EQ(text, u"SELECT 5 AS five");
  EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoCmdCreate(hADO=" + std::to_string(h) +
                                                  ", Cmd='SELECT 5 AS five') = " + std::to_string(cmd)});
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(CallText(u"AdoInfo", {Variant(cmd), Variant(u"Query"), Variant(1)}), "SELECT 5 AS five");
}

TEST_P(Commands, ACreateThatFailsAfterTakingASlotGivesTheSlotBack) {
  // The connection of this handle never opened: a command cannot use it.
  const std::int32_t failed = ConnectFailing();
  const std::size_t mark = Mark();
  const CallFailure f = Failure(u"AdoCmdCreate", {Variant(failed), Variant(u"SELECT 1")});
  EXPECT_EQ(f.number, 3709);
  EXPECT_TRUE(Lines(mark).empty());
  EXPECT_EQ(ToInt32(Property(u"Connections")), 1);
  // The slot the failed call took is the next one handed out.
  EXPECT_EQ(Connect(), failed + 1);
  EXPECT_EQ(Create(failed + 1, u"SELECT 1"), failed + 2);
}

TEST_P(Commands, AddParmWritesItsLinesAndAppendsTheParameter) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT ? AS v");
  const std::string c = std::to_string(cmd);
  std::size_t mark = Mark();
  EXPECT_EQ(AddParm(cmd, u"p1", Variant(u"abc"), adVarWChar, adParamInput, 50, 0, -1), 0);
  EXPECT_EQ(Lines(mark), (std::vector<std::string>{
                             "AdoCmdAddParm() Begin",
                             "AdoCmdAddParm(hCmd=" + c +
                                 ", sName='p1', Value='abc', Type=202, Direction=1, SizeBytes=50, Precision=0, "
                                 "Scale=-1) = 0"}));
  EXPECT_EQ(ToUtf8(TextOf(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"p1")}))), "abc");
  // Null and Empty show as nothing.
  mark = Mark();
  EXPECT_EQ(AddParm(cmd, u"p2", Variant::Null(), adInteger, adParamInput, 0, 10, 2), 0);
  EXPECT_EQ(Lines(mark)[1], "AdoCmdAddParm(hCmd=" + c +
                                ", sName='p2', Value='', Type=3, Direction=1, SizeBytes=0, Precision=10, Scale=2) = 0");
  EXPECT_TRUE(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"p2")}).IsNull());
}

TEST_P(Commands, AddParmAnswersBadInputAsDefined) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT ? AS v");
  const std::string c = std::to_string(cmd);
  const std::string args = ", sName='p', Value='1', Type=3, Direction=1, SizeBytes=0, Precision=";

  // A bad handle: 269 and the normal line.
  std::size_t mark = Mark();
  EXPECT_EQ(AddParm(99, u"p", Variant(1), adInteger, adParamInput, 0), 269);
  EXPECT_EQ(Lines(mark),
            (std::vector<std::string>{"AdoCmdAddParm() Begin", "AdoCmdAddParm(hCmd=99" + args + "0, Scale=0) = 269"}));

  // A precision that is no byte: the error line, InvalidArgument, nothing
  // appended.
  mark = Mark();
  EXPECT_EQ(AddParm(cmd, u"p", Variant(1), adInteger, adParamInput, 0, 256), InvalidArgument);
  EXPECT_EQ(Lines(mark), (std::vector<std::string>{"AdoCmdAddParm() Begin", "AdoCmdAddParm(hCmd=" + c + args +
                                                                                "256, Scale=0) Error 6 Overflow"}));
  EXPECT_EQ(Failure(u"AdoCmdGetParm", {Variant(cmd), Variant(u"p")}).number, kObjectError);

  // A scale of 300 likewise; a type ADO does not know; a text type without
  // a size: each is refused by ADO and caught.
  EXPECT_EQ(AddParm(cmd, u"p", Variant(1), adInteger, adParamInput, 0, 5, 300), InvalidArgument);
  EXPECT_EQ(AddParm(cmd, u"p", Variant(1), 12345, adParamInput, 0), InvalidArgument);
  EXPECT_EQ(AddParm(cmd, u"p", Variant(1), adInteger, 9, 0), InvalidArgument);
  mark = Mark();
  EXPECT_EQ(AddParm(cmd, u"p", Variant(u"x"), adVarWChar, adParamInput, 0), InvalidArgument);
  EXPECT_EQ(Lines(mark)[1].rfind("AdoCmdAddParm(hCmd=" + c +
                                     ", sName='p', Value='x', Type=202, Direction=1, "
                                     "SizeBytes=0, Precision=0, Scale=0) Error 3708 ",
                                 0),
            0u)
      << Lines(mark)[1];
  EXPECT_EQ(Failure(u"AdoCmdGetParm", {Variant(cmd), Variant(u"p")}).number, kObjectError);

  // A connection handle has no command.
  mark = Mark();
  EXPECT_EQ(AddParm(h, u"p", Variant(1), adInteger, adParamInput, 0), InvalidArgument);
  EXPECT_EQ(Lines(mark)[1], "AdoCmdAddParm(hCmd=" + std::to_string(h) + args +
                                "0, Scale=0) Error 91 Object variable or With block variable not set");

  // A value without a text form cannot be shown in the line: the call
  // fails before the command is touched.
  ComPtr<TestObject> object = TestObject::Make();
  EXPECT_EQ(Failure(u"AdoCmdAddParm", {Variant(cmd), Variant(u"o"), Variant(object.get()), Variant(adInteger),
                                       Variant(adParamInput), Variant(0), Variant(0), Variant(0)})
                .number,
            438);
  EXPECT_EQ(Failure(u"AdoCmdGetParm", {Variant(cmd), Variant(u"o")}).number, kObjectError);
}

TEST_P(Commands, SetParmAndGetParmFindTheParameterByName) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT ? AS v");
  const std::string c = std::to_string(cmd);
  ASSERT_EQ(AddParm(cmd, u"Amount", Variant(1), adInteger, adParamInput, 0), 0);
  std::size_t mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"Amount"), Variant(42)}), 0);
  EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoCmdSetParm(hCmd=" + c + ", Name='Amount', Value='42') = 0"});
  // ADO finds names without regard to case.
  EXPECT_EQ(ToInt32(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"amount")})), 42);
  mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"Amount"), Variant()}), 0);
  EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoCmdSetParm(hCmd=" + c + ", Name='Amount', Value='') = 0"});
  EXPECT_TRUE(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"Amount")}).IsEmpty());
  // GetParm writes no line.
  mark = Mark();
  Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"Amount")});
  EXPECT_TRUE(Lines(mark).empty());
}

TEST_P(Commands, SetParmAndGetParmAnswerBadInputAsDefined) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT ? AS v");
  ASSERT_EQ(AddParm(cmd, u"p", Variant(1), adInteger, adParamInput, 0), 0);

  std::size_t mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdSetParm", {Variant(77), Variant(u"p"), Variant(2)}), 269);
  EXPECT_EQ(Lines(mark), std::vector<std::string>{"AdoCmdSetParm(hCmd=77, Name='p', Value='2') = 269"});
  // No such parameter, no command: the call fails with the error, no line.
  mark = Mark();
  EXPECT_EQ(Failure(u"AdoCmdSetParm", {Variant(cmd), Variant(u"q"), Variant(2)}).number, 3265);
  EXPECT_EQ(Failure(u"AdoCmdSetParm", {Variant(h), Variant(u"p"), Variant(2)}).number, 91);
  EXPECT_TRUE(Lines(mark).empty());
  EXPECT_EQ(ToInt32(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"p")})), 1);

  for (std::int32_t handle : {cmd, h, 77, -1}) {
    const CallFailure f = Failure(u"AdoCmdGetParm", {Variant(handle), Variant(handle == cmd ? u"q" : u"p")});
    EXPECT_EQ(f.number, kObjectError) << handle;
    EXPECT_FALSE(f.description.empty());
  }
  EXPECT_TRUE(Lines(mark).empty());
}

TEST_P(Commands, CloseOnAConnectionHandleFreesItWithoutClosingTheSharedConnection) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT 1 AS one");
  EXPECT_EQ(CallLong(u"AdoCmdClose", {Variant(h)}), 0);
  EXPECT_EQ(ToInt32(Property(u"Connections")), 1);
  EXPECT_EQ(CallLong(u"AdoConnectionState", {Variant(h)}), -1);
  ASSERT_EQ(CallLong(u"AdoCmdExec", {Variant(cmd), Variant(-1), Variant(30)}), 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(CallLong(u"AdoRecordsetState", {Variant(cmd)}), 1);
}

TEST_P(Commands, ConnectionMethodsOnACommandHandleWorkOnTheSharedConnection) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT 1 AS one");
  EXPECT_EQ(CallLong(u"AdoConnectionState", {Variant(cmd)}), 1);
  // AdoExec runs its text on the shared connection; the result lands in the
  // command handle's slot, not in the connection handle's.
  Exec(cmd, u"SELECT 9 AS nine");
  EXPECT_EQ(CallText(u"AdoInfo", {Variant(cmd), Variant(u"Query"), Variant(1)}), "SELECT 9 AS nine");
  EXPECT_EQ(CallLong(u"AdoRecordsetState", {Variant(h)}), -1);
  // Giving the command handle back with AdoDisconnect closes the connection
  // that both handles share.
  EXPECT_EQ(CallLong(u"AdoDisconnect", {Variant(cmd)}), 0);
  EXPECT_EQ(CallLong(u"AdoConnectionState", {Variant(h)}), 0);
  EXPECT_EQ(ToInt32(Property(u"Connections")), 1);
}

TEST_P(Commands, StateIs269ForAnythingButACommand) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT 1 AS one");
  const std::size_t mark = Mark();
  EXPECT_EQ(CallLong(u"AdoCmdState", {Variant(h)}), 269);
  EXPECT_EQ(CallLong(u"AdoCmdState", {Variant(-1)}), 269);
  EXPECT_EQ(CallLong(u"AdoCmdState", {Variant(cmd)}), 0);
  EXPECT_EQ(Lines(mark),
            (std::vector<std::string>{"AdoCmdState(" + std::to_string(h) + ") = 269", "AdoCmdState(-1) = 269",
                                      "AdoCmdState(" + std::to_string(cmd) + ") = 0"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, Commands, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::testing
