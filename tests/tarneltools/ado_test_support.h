// Helpers of the tests of the ADO control's database methods: a control in
// debug mode with its lines captured, a scratch SQLite database, waiting on
// the apartment for a connection or a statement, and a container that
// records the __ADO events it receives and can answer their by-reference
// arguments.
#pragma once
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/adodb/adodb_classes.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/com_error.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/type_library.h"
#include "test_objects.h"

namespace tarnel::testing_ado {

inline std::string Utf8(const UString& s) { return ToUtf8(s); }

// A directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-ado-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path Path(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A container of the control: receives every __ADO event, keeps its name
// and the text of its arguments, and runs the reaction set for that event
// (which may write into by-reference arguments or call the control).
class Container final : public RefCounted<Dispatch> {
 public:
  struct Received {
    DispId id;
    std::vector<Variant> args;  // copies of the values, first to last
  };
  using Reaction = std::function<void(std::vector<Variant>& args)>;

  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == AdoEventInterface().Id()) {
      *out = static_cast<Dispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  const TypeInfo* GetTypeInfo() override { return &AdoEventInterface(); }
  HRESULT GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) override {
    return AdoEventInterface().GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DispId id, std::uint16_t, DispParams* params, Variant*, ExcepInfo*, std::uint32_t*) override {
    std::vector<Variant> args;
    for (std::uint32_t i = params->cArgs; i > 0; --i) args.push_back(params->rgvarg[i - 1]);
    Received r{id, {}};
    for (const Variant& a : args) r.args.push_back(a.Deref());
    received.push_back(std::move(r));
    auto it = reactions.find(id);
    if (it != reactions.end()) it->second(args);
    return S_OK;
  }

  // The events received with this DISPID.
  std::vector<Received> Of(DispId id) const {
    std::vector<Received> out;
    for (const Received& r : received) {
      if (r.id == id) out.push_back(r);
    }
    return out;
  }

  std::vector<Received> received;
  std::map<DispId, Reaction> reactions;
};

// Writes `value` into a by-reference Long argument.
inline void SetLongRef(Variant& arg, std::int32_t value) {
  ASSERT_EQ(arg.vt(), VT_BYREF | VT_I4);
  *static_cast<std::int32_t*>(arg.byref()) = value;
}

// A new control in debug mode, with its lines captured and a container
// advised on its events.
class AdoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { adodb::RegisterAdodbClasses(); }
  void SetUp() override {
    ado = AdoControl::Create();
    CallByName(ado->AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(std::int32_t{1})});
    container = MakeObject<Container>();
    ASSERT_EQ(ado->EventPoint().Advise(container.get(), &cookie), S_OK);
    skipped = capture.Lines().size();
  }
  void TearDown() override {
    ado->EventPoint().Unadvise(cookie);
    ado.Reset();
    // Completions still on their way find nothing behind them.
    Apartment::Current().ProcessPending();
  }

  // The lines written since the test started, without the file prefix.
  std::vector<std::string> Lines() {
    const std::string prefix = std::string(program_invocation_short_name) + ".ocx ";
    std::vector<std::string> out;
    std::vector<std::string> all = capture.Lines();
    for (std::size_t i = skipped; i < all.size(); ++i) {
      out.push_back(all[i].rfind(prefix, 0) == 0 ? all[i].substr(prefix.size()) : all[i]);
    }
    return out;
  }
  // Forgets the lines written and the events received so far.
  void ClearLines() {
    skipped = capture.Lines().size();
    container->received.clear();
  }
  bool HasLine(const std::string& line) {
    for (const std::string& l : Lines()) {
      if (l == line) return true;
    }
    return false;
  }

  std::string SqliteConnection(const std::string& file = "test.db") {
    return "Provider=SQLite;Data Source=" + dir.Path(file).string() + ";Create=True";
  }

  // Runs messages until done() or five seconds have passed.
  static bool WaitFor(const std::function<bool()>& done) {
    return Apartment::Current().RunUntil(done, std::chrono::milliseconds(5000));
  }

  std::int32_t Connect(const std::string& connection) {
    UString s = FromUtf8(connection);
    std::int32_t timeout = 5;
    return ado->AdoConnect(s, timeout);
  }
  // Connects and waits until the connection is open.
  std::int32_t ConnectOpen(const std::string& connection) {
    std::int32_t h = Connect(connection);
    EXPECT_GE(h, 0);
    EXPECT_TRUE(WaitFor([&] { return State(h) != 2; }));
    EXPECT_EQ(State(h), 1);
    return h;
  }
  std::int32_t State(std::int32_t h) { return ado->AdoConnectionState(h); }
  std::int32_t Executing(std::int32_t h) { return ado->AdoExecuting(h); }

  std::int32_t Exec(std::int32_t h, const std::string& sql, std::int32_t options = -1) {
    UString text = FromUtf8(sql);
    std::int32_t timeout = 0;
    return ado->AdoExec(h, text, options, timeout);
  }
  // Runs a statement and waits for its completion.
  void Run(std::int32_t h, const std::string& sql) {
    ASSERT_EQ(Exec(h, sql), 0) << sql;
    ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; })) << sql;
  }
  std::int32_t Next(std::int32_t h) { return ado->AdoNext(h); }
  std::int32_t Move(std::int32_t h, const char16_t* word) {
    UString w = word;
    return ado->AdoMove(h, w);
  }
  std::string Field(std::int32_t h, const char16_t* name) {
    UString n = name;
    std::int32_t type = 0, precision = 0, scale = 0;
    return Utf8(ado->AdoGetField(h, n, type, precision, scale));
  }

  DebugCapture capture;
  TempDir dir;
  ComPtr<AdoControl> ado;
  ComPtr<Container> container;
  std::uint32_t cookie = 0;
  std::size_t skipped = 0;
};

// The number of an error a call raised, or 0 when it raised none.
template <class F>
std::int32_t ErrorNumberOf(F&& call) {
  try {
    call();
  } catch (const ComError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace tarnel::testing_ado
