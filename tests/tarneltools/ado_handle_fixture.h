// The fixture of the handle-based database tests: one ADO control in debug
// mode whose lines are recorded, called by name as a script calls it, with
// a connection handle on a fresh SQLite database or, when TARNEL_PG_CONN is
// set, on PostgreSQL; a second, direct ADO connection to the same database
// prepares tables and reads back what the control's statements did.
#pragma once
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/adodb/adodb_classes.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"
#include "test_objects.h"

namespace tarnel::testing {

enum class Engine { SQLite, PostgreSQL };

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

inline const char* PgConnectionString() {
  const char* s = std::getenv("TARNEL_PG_CONN");
  return s && *s ? s : nullptr;
}

// The error a call raised: its script-visible number and description.
struct CallFailure {
  std::int32_t number = 0;
  std::string description;
};

class AdoHandles : public ::testing::TestWithParam<Engine> {
 protected:
  static void SetUpTestSuite() { adodb::RegisterAdodbClasses(); }

  void SetUp() override {
    if (GetParam() == Engine::PostgreSQL && !PgConnectionString()) GTEST_SKIP() << "TARNEL_PG_CONN is not set";
    suffix_ = "_" + std::to_string(getpid()) + "_" + std::to_string(++counter_);
    dir_ = std::filesystem::temp_directory_path() / ("tarnel-h" + suffix_);
    std::filesystem::create_directories(dir_);
    connection_ = GetParam() == Engine::PostgreSQL
                      ? FromUtf8(PgConnectionString())
                      : u"Provider=SQLite;Data Source=" + FromUtf8((dir_ / "db.sqlite").string()) + u";Create=True";
    ado_ = AdoControl::Create();
    CallByName(ado_->AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(1)});
  }

  void TearDown() override {
    for (const std::string& table : tables_) {
      try {
        Direct(u"DROP TABLE " + FromUtf8(table));
      } catch (const ComError&) {
      }
    }
    for (const std::string& routine : routines_) {
      try {
        Direct(FromUtf8(routine));
      } catch (const ComError&) {
      }
    }
    ado_.Reset();
    if (direct_) {
      try {
        CallByName(direct_.get(), u"Close", DISPATCH_METHOD);
      } catch (const ComError&) {
      }
      direct_.Reset();
    }
    // Let completions still posted to this thread run before the next test.
    Apartment::Current().ProcessPending();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Calls a member of the control by name; arguments first to last.
  Variant Call(const char16_t* name, std::vector<Variant> args = {}) {
    return CallByName(ado_->AsDispatch(), name, DISPATCH_METHOD, std::move(args));
  }
  std::int32_t CallLong(const char16_t* name, std::vector<Variant> args = {}) {
    return ToInt32(Call(name, std::move(args)));
  }
  std::string CallText(const char16_t* name, std::vector<Variant> args = {}) {
    return ToUtf8(TextOf(Call(name, std::move(args))));
  }
  // The error a call of the control raises; fails the test when it succeeds.
  CallFailure Failure(const char16_t* name, std::vector<Variant> args = {}) {
    try {
      Call(name, std::move(args));
    } catch (const ComError& e) {
      return {e.Number(), ToUtf8(e.Description())};
    }
    ADD_FAILURE() << ToUtf8(name) << " succeeded";
    return {};
  }
  Variant Property(const char16_t* name) { return CallByName(ado_->AsDispatch(), name, DISPATCH_PROPERTYGET); }

  // Every line written since `from` (an index into the recorded lines),
  // without the file-name prefix.
  std::vector<std::string> Lines(std::size_t from = 0) {
    const std::string prefix = std::string(program_invocation_short_name) + ".ocx ";
    std::vector<std::string> all = capture_.Lines();
    std::vector<std::string> out;
    for (std::size_t i = from; i < all.size(); ++i) {
      out.push_back(all[i].rfind(prefix, 0) == 0 ? all[i].substr(prefix.size()) : all[i]);
    }
    return out;
  }
  std::size_t Mark() { return capture_.Lines().size(); }

  // Runs the thread's messages until done() or ten seconds have passed.
  bool WaitUntil(const std::function<bool()>& done) {
    return Apartment::Current().RunUntil(done, std::chrono::seconds(10));
  }

  // A new connection handle on the test's database, open.
  std::int32_t Connect() {
    Variant cs(connection_);
    const std::int32_t h = CallLong(u"AdoConnect", {cs, Variant(15)});
    EXPECT_GE(h, 0);
    EXPECT_TRUE(WaitUntil([&] { return CallLong(u"AdoConnectionState", {Variant(h)}) == 1; })) << "not opened";
    return h;
  }
  // A connection handle whose connection failed to open (state 0).
  std::int32_t ConnectFailing() {
    Variant cs(u"Provider=SQLite;Data Source=" + FromUtf8((dir_ / "missing" / "none.db").string()));
    const std::int32_t h = CallLong(u"AdoConnect", {cs, Variant(15)});
    EXPECT_GE(h, 0);
    EXPECT_TRUE(WaitUntil([&] { return CallLong(u"AdoConnectionState", {Variant(h)}) == 0; }));
    return h;
  }
  // Waits until the handle's statement has completed.
  void AwaitCompletion(std::int32_t h) {
    ASSERT_TRUE(WaitUntil([&] { return CallLong(u"AdoExecuting", {Variant(h)}) == 0; })) << "still executing";
  }
  // Runs a statement through AdoExec on a handle and waits for it.
  void Exec(std::int32_t h, const UString& sql) {
    Variant text(sql);
    ASSERT_EQ(CallLong(u"AdoExec", {Variant(h), text, Variant(-1), Variant(0)}), 0);
    AwaitCompletion(h);
  }

  // A table name of this test run (dropped at the end).
  UString Table(const std::string& stem) {
    tables_.push_back(stem + suffix_);
    return FromUtf8(stem + suffix_);
  }
  std::string Suffix() const { return suffix_; }
  // Runs `drop` at the end of the test (for routines the test created).
  void DropAtEnd(const std::string& drop) { routines_.push_back(drop); }

  // Runs a statement on the direct connection.
  ComPtr<Dispatch> Direct(const UString& sql) {
    if (!direct_) {
      direct_ = CreateObject(u"ADODB.Connection");
      CallByName(direct_.get(), u"Open", DISPATCH_METHOD,
                 {Variant(connection_), Variant(u""), Variant(u""), Variant(-1)});
    }
    Variant rs = CallByName(direct_.get(), u"Execute", DISPATCH_METHOD, {Variant(sql)});
    return ComPtr<Dispatch>(rs.vt() == VT_DISPATCH ? rs.pdispVal() : nullptr);
  }
  // The first field of the first row of a query on the direct connection.
  Variant Scalar(const UString& sql) {
    ComPtr<Dispatch> rs = Direct(sql);
    Variant fields = CallByName(rs.get(), u"Fields", DISPATCH_PROPERTYGET);
    Variant field = CallByName(fields.pdispVal(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(0)});
    return CallByName(field.pdispVal(), u"Value", DISPATCH_PROPERTYGET);
  }
  std::int32_t Count(const UString& table) { return ToInt32(Scalar(u"SELECT count(*) FROM " + table)); }

  bool IsPg() const { return GetParam() == Engine::PostgreSQL; }
  const UString& ConnectionString() const { return connection_; }

  DebugCapture capture_;
  ComPtr<AdoControl> ado_;

 private:
  inline static int counter_ = 0;
  std::string suffix_;
  std::filesystem::path dir_;
  UString connection_;
  ComPtr<Dispatch> direct_;
  std::vector<std::string> tables_;
  std::vector<std::string> routines_;
};

}  // namespace tarnel::testing
