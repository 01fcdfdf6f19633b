// Shared pieces of the object-model tests: a recording event sink whose
// handlers can answer by-reference arguments, calls by name through the
// dispatch interface (as a script makes them), the error number a call
// raises, and the fixture that runs one test body against SQLite (a fresh
// file) and PostgreSQL (TARNEL_PG_CONN, in a schema of its own; skipped
// when unset).
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/adodb/adodb_classes.h"
#include "platform/adodb/adodb_enums.h"
#include "platform/adodb/adodb_types.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"
#include "platform/adodb/adodb_values.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb::testing {

enum class Engine { SQLite, PostgreSQL };

inline const char* PgConnectionString() {
  const char* s = std::getenv("TARNEL_PG_CONN");
  return s && *s ? s : nullptr;
}

// A sink for ConnectionEvents or RecordsetEvents: records each event (its
// DISPID, its arguments first to last, dereferenced, and the thread) and
// runs the handler registered for it, which may write by-reference
// arguments through the Set* helpers. Object arguments other than Error
// objects are recorded as their class name and a raw pointer, so that the
// log holds no reference back to the object that raised the event.
class EventLog final : public RefCounted<Dispatch> {
 public:
  struct Entry {
    DispId id;
    std::vector<Variant> args;
    std::vector<Dispatch*> objects;
    std::thread::id thread;
  };
  using Handler = std::function<void(DispParams&)>;

  HRESULT QueryInterface(const Guid&, void** out) override {
    if (!out) return E_POINTER;
    *out = static_cast<Dispatch*>(this);
    AddRef();
    return S_OK;
  }
  const TypeInfo* GetTypeInfo() override { return nullptr; }
  HRESULT GetIDsOfNames(const UString*, std::uint32_t, DispId*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DispId id, std::uint16_t, DispParams* params, Variant*, ExcepInfo*, std::uint32_t*) override {
    Entry e{id, {}, {}, std::this_thread::get_id()};
    for (std::uint32_t i = params->cArgs; i-- > 0;) {
      Variant v = params->rgvarg[i].Deref();
      Dispatch* object = v.vt() == VT_DISPATCH ? v.pdispVal() : nullptr;
      if (object && TypeName(v) != u"Error") v = Variant(TypeName(v));
      e.args.push_back(std::move(v));
      e.objects.push_back(object);
    }
    entries.push_back(std::move(e));
    auto it = handlers.find(id);
    if (it != handlers.end()) it->second(*params);
    return S_OK;
  }

  int Count(DispId id) const {
    int n = 0;
    for (const Entry& e : entries) n += e.id == id ? 1 : 0;
    return n;
  }
  const Entry* Last(DispId id) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      if (it->id == id) return &*it;
    }
    return nullptr;
  }
  std::vector<DispId> Ids() const {
    std::vector<DispId> ids;
    for (const Entry& e : entries) ids.push_back(e.id);
    return ids;
  }

  std::vector<Entry> entries;
  std::map<DispId, Handler> handlers;
};

// Writes by-reference argument `i` (0 = first) of an event.
inline Variant& ArgOf(DispParams& p, std::size_t i) { return p.rgvarg[p.cArgs - 1 - i]; }
inline void SetLongArg(DispParams& p, std::size_t i, std::int32_t v) {
  *static_cast<std::int32_t*>(ArgOf(p, i).byref()) = v;
}
inline void SetStringArg(DispParams& p, std::size_t i, const UString& v) {
  *static_cast<UString*>(ArgOf(p, i).byref()) = v;
}

// The event DISPIDs.
namespace ev {
constexpr DispId InfoMessage = 0, BeginTransComplete = 1, RollbackTransComplete = 2, CommitTransComplete = 3,
                 WillExecute = 4, ExecuteComplete = 5, WillConnect = 6, ConnectComplete = 7, Disconnect = 8;
constexpr DispId WillChangeField = 9, FieldChangeComplete = 10, WillChangeRecord = 11, RecordChangeComplete = 12,
                 WillChangeRecordset = 13, RecordsetChangeComplete = 14, WillMove = 15, MoveComplete = 16,
                 EndOfRecordset = 17, FetchProgress = 18, FetchComplete = 19;
}  // namespace ev

// Advises a new EventLog to the source's event interface, as a host does:
// QueryInterface for the container, FindConnectionPoint, Advise.
inline ComPtr<EventLog> Listen(Dispatch* source, const Guid& eventInterface) {
  void* out = nullptr;
  if (Failed(source->QueryInterface(IID_IConnectionPointContainer, &out)) || !out) return {};
  auto container = ComPtr<ConnectionPointContainer>::Adopt(static_cast<ConnectionPointContainer*>(out));
  ConnectionPoint* point = nullptr;
  if (Failed(container->FindConnectionPoint(eventInterface, &point))) return {};
  auto log = MakeObject<EventLog>();
  std::uint32_t cookie = 0;
  if (Failed(point->Advise(log.get(), &cookie))) return {};
  return log;
}

// Calls by name, as a script does.
inline Variant Call(Dispatch* object, UStringView name, std::vector<Variant> args = {}) {
  return CallByName(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args));
}
inline Variant Get(Dispatch* object, UStringView name, std::vector<Variant> args = {}) {
  return CallByName(object, name, DISPATCH_PROPERTYGET, std::move(args));
}
inline void Put(Dispatch* object, UStringView name, Variant value) {
  CallByName(object, name, DISPATCH_PROPERTYPUT, {std::move(value)});
}
inline void PutRef(Dispatch* object, UStringView name, Variant value) {
  CallByName(object, name, DISPATCH_PROPERTYPUTREF, {std::move(value)});
}
inline ComPtr<Dispatch> Obj(const Variant& v) {
  const Variant d = v.Deref();
  return d.vt() == VT_DISPATCH ? ComPtr<Dispatch>(d.pdispVal()) : ComPtr<Dispatch>();
}
inline std::int32_t Long(const Variant& v) { return ToInt32(v); }
inline UString Str(const Variant& v) { return TextOf(v); }
inline Variant V(const char16_t* s) { return Variant(s); }
inline Variant V(std::int32_t n) { return Variant(n); }
inline Variant Missing() { return Variant::Missing(); }

// The number a script sees for the error a call raises; 0 when it succeeds.
template <class F>
std::int32_t ErrorOf(F&& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.Number();
  }
  return 0;
}

// The field value of the current row, by name.
inline Variant FieldValue(Dispatch* recordset, const char16_t* name) {
  return Get(Obj(Get(Obj(Get(recordset, u"Fields")).get(), u"Item", {V(name)})).get(), u"Value");
}

inline bool RunMessagesUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  return Apartment::Current().RunUntil(done, limit);
}

class AdodbTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    RegisterAdodbClasses();
    static std::atomic<int> counter{0};
    const int n = counter++;
    if (IsPg()) {
      if (!PgConnectionString()) GTEST_SKIP() << "TARNEL_PG_CONN is not set";
      schema_ = "tt_adodb_" + std::to_string(::getpid()) + "_" + std::to_string(n);
      admin_ = OpenRaw(PgConnectionString());
      Execute(admin_.get(), u"DROP SCHEMA IF EXISTS " + FromUtf8(schema_) + u" CASCADE");
      Execute(admin_.get(), u"CREATE SCHEMA " + FromUtf8(schema_));
    } else {
      dir_ = std::filesystem::temp_directory_path() /
             ("tt_adodb_" + std::to_string(::getpid()) + "_" + std::to_string(n));
      std::filesystem::remove_all(dir_);
      std::filesystem::create_directories(dir_);
    }
  }

  void TearDown() override {
    // Completions still queued belong to this test.
    Apartment::Current().ProcessPending();
    if (admin_) {
      try {
        Execute(admin_.get(), u"DROP SCHEMA IF EXISTS " + FromUtf8(schema_) + u" CASCADE");
      } catch (const ComError&) {
      }
      admin_.Reset();
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  bool IsPg() const { return GetParam() == Engine::PostgreSQL; }

  UString ConnectionString() const {
    if (IsPg()) return FromUtf8(PgConnectionString());
    return FromUtf8("Provider=SQLite;Data Source=" + (dir_ / "test.db").string() + ";Create=True");
  }

  static ComPtr<Dispatch> OpenRaw(const std::string& connectionString, std::int32_t cursorLocation = adUseClient) {
    ComPtr<Dispatch> c = CreateObject(u"ADODB.Connection");
    Put(c.get(), u"CursorLocation", V(cursorLocation));
    Call(c.get(), u"Open", {Variant(FromUtf8(connectionString))});
    return c;
  }

  // An open connection (client cursor unless told otherwise), in the test's
  // schema on PostgreSQL.
  ComPtr<Dispatch> Open(std::int32_t cursorLocation = adUseClient) {
    ComPtr<Dispatch> c = OpenRaw(ToUtf8(ConnectionString()), cursorLocation);
    if (IsPg()) Execute(c.get(), u"SET search_path TO " + FromUtf8(schema_));
    return c;
  }

  static ComPtr<Dispatch> Execute(Dispatch* connection, const UString& sql) {
    return Obj(Call(connection, u"Execute", {Variant(sql)}));
  }

  // A statement that runs for a long time on either engine (cancellable).
  UString LongStatement() const {
    if (IsPg()) return u"SELECT pg_sleep(30)";
    return u"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000000000) "
           u"SELECT count(*) FROM c";
  }

  std::filesystem::path dir_;
  std::string schema_;
  ComPtr<Dispatch> admin_;
};

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

#define TARNEL_ADODB_ENGINES(Suite)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                             \
                           ::testing::Values(::tarnel::adodb::testing::Engine::SQLite,                 \
                                             ::tarnel::adodb::testing::Engine::PostgreSQL),            \
                           ::tarnel::adodb::testing::EngineName)

}  // namespace tarnel::adodb::testing
