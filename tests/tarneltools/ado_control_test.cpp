// The ADO control's life: what a new instance reports and shows, DebugMode
// and its label and line, DebugLog's rule (written only in debug mode, with
// the file-name prefix and nothing added), resizing, the event connection
// point, and what destroying an instance releases without closing.
#include "tarneltools/control/ado_control.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "platform/automation/com_error.h"
#include "platform/automation/locale.h"
#include "tarneltools/control/type_library.h"
#include "test_objects.h"

namespace tarnel {

// Reaches the control's private procedures and members, as the library's
// own member functions do.
class AdoControlTestAccess {
 public:
  static void DebugLog(AdoControl& c, const UString& line) { c.DebugLog(line); }
  static AdoSlotTable& Slots(AdoControl& c) { return c.mSlots; }
  static KeyedStore& Collection(AdoControl& c) { return *c.moCollection; }
  static void SetConnectionEventSource(AdoControl& c, ComPtr<Dispatch> o) { c.moConnectionEventSource = o; }
  static void SetRecordsetEventSource(AdoControl& c, ComPtr<Dispatch> o) { c.moRecordsetEventSource = o; }
  static void SetConnections(AdoControl& c, std::int32_t n) { c.SetConnections(n); }
};

namespace {

using Access = AdoControlTestAccess;

// The prefix of every line when the control's code lives in this test
// program: the program's file name and ".ocx ".
std::string Prefix() { return std::string(program_invocation_short_name) + ".ocx "; }

Variant GetProperty(AdoControl& c, const char16_t* name) {
  return CallByName(c.AsDispatch(), name, DISPATCH_PROPERTYGET);
}

void LetDebugMode(AdoControl& c, Variant value) {
  CallByName(c.AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {std::move(value)});
}

const ControlLabel& LabelOf(const ControlFace& face, const char16_t* name) {
  for (const ControlLabel& l : face.labels) {
    if (l.name == name) return l;
  }
  throw std::runtime_error("no such label");
}

TEST(AdoControl, NewInstanceReportsVersionAndEmptyState) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  EXPECT_EQ(GetProperty(*ado, u"Version").bstrVal(), u"1.0.8");
  EXPECT_EQ(GetProperty(*ado, u"DebugMode").lVal(), 0);
  EXPECT_EQ(GetProperty(*ado, u"Connections").lVal(), 0);
  EXPECT_EQ(Access::Slots(*ado).Size(), 51);
  EXPECT_EQ(Access::Collection(*ado).Count(), 0);
}

TEST(AdoControl, NewInstanceShowsItsFiveLabelsAsDesigned) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  ControlFace face = ado->GetFace();
  EXPECT_EQ(face.width, 3105);
  EXPECT_EQ(face.height, 510);
  struct Expected {
    const char16_t* name;
    const char16_t* caption;
    std::int32_t left, top, width, height;
  };
  const Expected expected[] = {
      {u"lblVersion", u"TarnelTools.ADO Control v1.0.8", 0, 0, 3015, 255},
      {u"Label1", u"Connections:", 0, 240, 930, 195},
      {u"lblConnections", u"0", 1080, 240, 495, 255},
      {u"Label2", u"Debug:", 1680, 240, 525, 195},
      {u"lblDebugMode", u"False", 2400, 240, 615, 255},
  };
  ASSERT_EQ(face.labels.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const ControlLabel& l = face.labels[i];
    EXPECT_EQ(l.name, expected[i].name);
    EXPECT_EQ(l.caption, expected[i].caption) << i;
    EXPECT_EQ(l.left, expected[i].left);
    EXPECT_EQ(l.top, expected[i].top);
    EXPECT_EQ(l.width, expected[i].width);
    EXPECT_EQ(l.height, expected[i].height);
  }
}

TEST(AdoControl, AnyNonZeroDebugModeSwitchesItOnAndWritesOneLine) {
  for (std::int32_t value : {5, -1, 1, -2147483647 - 1}) {
    ComPtr<AdoControl> ado = AdoControl::Create();
    DebugCapture debugger;
    LetDebugMode(*ado, Variant(value));
    EXPECT_EQ(GetProperty(*ado, u"DebugMode").lVal(), 1) << value;
    EXPECT_EQ(LabelOf(ado->GetFace(), u"lblDebugMode").caption, u"True");
    EXPECT_EQ(debugger.Lines(), std::vector<std::string>{Prefix() + "DebugMode set to True"});
  }
}

TEST(AdoControl, SwitchingDebugModeOffWritesNothing) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  DebugCapture debugger;
  LetDebugMode(*ado, Variant(0));
  EXPECT_EQ(GetProperty(*ado, u"DebugMode").lVal(), 0);
  EXPECT_EQ(LabelOf(ado->GetFace(), u"lblDebugMode").caption, u"False");
  EXPECT_TRUE(debugger.Lines().empty());

  LetDebugMode(*ado, Variant(1));
  LetDebugMode(*ado, Variant(0));
  EXPECT_EQ(LabelOf(ado->GetFace(), u"lblDebugMode").caption, u"False");
  EXPECT_EQ(debugger.Lines(), std::vector<std::string>{Prefix() + "DebugMode set to True"});
}

TEST(AdoControl, DebugModeTakesTheArgumentsAutomationCoercesToLong) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  LetDebugMode(*ado, Variant(u"7"));
  EXPECT_EQ(GetProperty(*ado, u"DebugMode").lVal(), 1);
  try {
    LetDebugMode(*ado, Variant(u"on"));
    ADD_FAILURE() << "text that is no number was accepted";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 13);
  }
  EXPECT_EQ(GetProperty(*ado, u"DebugMode").lVal(), 1) << "a failed let changes nothing";
  try {
    LetDebugMode(*ado, Variant(3e10));
    ADD_FAILURE();
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 6);
  }
}

TEST(AdoControl, InstancesShareNoDebugMode) {
  ComPtr<AdoControl> a = AdoControl::Create();
  ComPtr<AdoControl> b = AdoControl::Create();
  DebugCapture debugger;
  LetDebugMode(*a, Variant(1));
  EXPECT_EQ(GetProperty(*b, u"DebugMode").lVal(), 0);
  Access::DebugLog(*b, u"from b");
  Access::DebugLog(*a, u"from a");
  EXPECT_EQ(debugger.Lines(), (std::vector<std::string>{Prefix() + "DebugMode set to True", Prefix() + "from a"}));
}

TEST(AdoControl, DebugLogWritesTheCallersTextOnlyInDebugMode) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  DebugCapture debugger;
  Access::DebugLog(*ado, u"AdoConnect('Provider=SQLite;Password=secret', 30)");
  EXPECT_TRUE(debugger.Lines().empty());
  LetDebugMode(*ado, Variant(1));
  Access::DebugLog(*ado, u"AdoConnect('Provider=SQLite;Password=secret', 30)");
  Access::DebugLog(*ado, u"");
  const auto lines = debugger.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], Prefix() + "AdoConnect('Provider=SQLite;Password=secret', 30)") << "nothing added";
  EXPECT_EQ(lines[2], Prefix());
}

TEST(AdoControl, DebugLogConvertsToTheUsersCodePage) {
  if (Locale::User().ansiCodePage != "CP1252") GTEST_SKIP() << "test expects a Western European code page";
  ComPtr<AdoControl> ado = AdoControl::Create();
  LetDebugMode(*ado, Variant(1));
  DebugCapture debugger;
  Access::DebugLog(*ado, u"Gr\u00fc\u00dfe \u2603 \u20ac");
  EXPECT_EQ(debugger.Lines(), std::vector<std::string>{Prefix() + "Gr\xfc\xdf"
                                                                  "e ? \x80"});
}

TEST(AdoControl, ConnectionsFollowTheCountAndItsLabel) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  Access::SetConnections(*ado, 12);
  EXPECT_EQ(GetProperty(*ado, u"Connections").lVal(), 12);
  EXPECT_EQ(LabelOf(ado->GetFace(), u"lblConnections").caption, u"12");
}

TEST(AdoControl, ResizeStretchesOnlyTheVersionLine) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  const ControlFace before = ado->GetFace();
  ado->Resize(5000, 900);
  ControlFace after = ado->GetFace();
  EXPECT_EQ(after.width, 5000);
  EXPECT_EQ(after.height, 900);
  EXPECT_EQ(after.labels[0].width, 5000);
  EXPECT_EQ(after.labels[0].height, 255);
  for (std::size_t i = 1; i < 5; ++i) {
    EXPECT_EQ(after.labels[i].left, before.labels[i].left);
    EXPECT_EQ(after.labels[i].width, before.labels[i].width);
  }
  ado->Resize(0, 0);
  EXPECT_EQ(ado->GetFace().labels[0].width, 0);
  try {
    ado->Resize(-10, 100);
    ADD_FAILURE() << "negative size accepted";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 380);
  }
  EXPECT_EQ(ado->GetFace().width, 0) << "a refused resize changes nothing";
}

TEST(AdoControl, OffersTheAdoEventsConnectionPoint) {
  ComPtr<AdoControl> ado = AdoControl::Create();
  auto container = ado.As<ConnectionPointContainer>(IID_IConnectionPointContainer);
  ASSERT_TRUE(container);
  ConnectionPoint* point = nullptr;
  ASSERT_EQ(container->FindConnectionPoint(AdoClass().sourceInterface->Id(), &point), S_OK);
  EXPECT_EQ(&point->Interface(), &AdoEventInterface());
  EXPECT_EQ(container->FindConnectionPoint(RegistryEventInterface().Id(), &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);

  auto face = ado.As<ControlFaceProvider>(IID_ControlFaceProvider);
  ASSERT_TRUE(face);
  EXPECT_EQ(face->GetFace().labels.size(), 5u);
  auto classInfo = ado.As<ProvideClassInfo>(IID_IProvideClassInfo);
  ASSERT_TRUE(classInfo);
  EXPECT_EQ(UString(classInfo->GetClassInfo()->name), u"ADO");
  void* out = nullptr;
  EXPECT_EQ(ado->QueryInterface(MakeGuid("00000000-1111-2222-3333-444444444444"), &out), E_NOINTERFACE);
}

TEST(AdoControl, DestroyingReleasesEverythingClosesNothingAndWritesNoLine) {
  auto connection = TestObject::Make();
  auto recordset = TestObject::Make();
  auto stored = TestObject::Make();
  DebugCapture debugger;
  {
    ComPtr<AdoControl> ado = AdoControl::Create();
    LetDebugMode(*ado, Variant(1));
    Access::Slots(*ado)[0].oConnection = connection;
    Access::Slots(*ado)[0].oRecordset = recordset;
    Access::SetConnections(*ado, 1);
    Access::SetConnectionEventSource(*ado, connection);
    Access::SetRecordsetEventSource(*ado, recordset);
    Access::Collection(*ado).Add(u"item", Variant(static_cast<Dispatch*>(stored.get())));
    EXPECT_EQ(TestObject::Refs(connection), 3u) << "the test's, the slot's and the event source's";
  }
  EXPECT_EQ(TestObject::Refs(connection), 1u);
  EXPECT_EQ(TestObject::Refs(recordset), 1u);
  EXPECT_EQ(TestObject::Refs(stored), 1u);
  EXPECT_EQ(debugger.Lines(), std::vector<std::string>{Prefix() + "DebugMode set to True"});
}

}  // namespace
}  // namespace tarnel
