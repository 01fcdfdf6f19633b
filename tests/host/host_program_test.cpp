// The tarnelhost program as a user runs it: scripts with arguments, the
// exit status and the error line of a failed script, usage errors,
// --debug-output and --monitor, --regsvr / --unregsvr of a component
// library, --registry, and .reg import and export.
#include "host_test_support.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace tarnel::host::testing {
namespace {

class HostProgram : public ::testing::Test {
 protected:
  RunResult RunScript(const std::string& code, std::vector<std::string> before = {},
                      std::vector<std::string> after = {}) {
    std::string script = dir.Write("script.lua", code);
    before.push_back(script);
    before.insert(before.end(), after.begin(), after.end());
    return RunHostBinary(dir, before);
  }
  TempDir dir;
};

TEST_F(HostProgram, RunsAScriptWithItsArguments) {
  RunResult r = RunScript(R"(
    print(arg[0]:match("script.lua$"), arg[1], arg[2], select("#", ...), ...)
    print(arg[-1] ~= nil, type(string), type(io))
  )", {"--debug-output"}, {"one", "two words"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "script.lua\tone\ttwo words\t2\tone\ttwo words\ntrue\ttable\ttable\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(HostProgram, AScriptErrorEndsTheScriptWithItsNumber) {
  RunResult r = RunScript("print('before')\nCreateObject('No.Such.Class')\nprint('after')\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "before\n");
  EXPECT_EQ(r.err, "429: ActiveX component can't create object\n");

  r = RunScript("local o = CreateObject('Tarnel.TestObject')\no:Fail(3704, 'Operation is not allowed when the object is closed.')");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "3704: Operation is not allowed when the object is closed.\n");

  r = RunScript("error({ number = 5, description = 'raised by the script' })");
  EXPECT_EQ(r.err, "5: raised by the script\n");
}

TEST_F(HostProgram, LuaErrorsAreReportedWithTheirPlace) {
  RunResult r = RunScript("local t = nil\nprint(t.x)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("script.lua:2:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("stack traceback"), std::string::npos) << r.err;

  r = RunScript("this is not lua");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("script.lua:1:"), std::string::npos) << r.err;

  r = RunHostBinary(dir, {dir.File("missing.lua")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("53: File not found", 0), 0u) << r.err;

  // Precompiled chunks are refused: only text is loaded.
  dir.Write("binary.lua", std::string("\x1bLua\x54\x00garbage", 13));
  r = RunHostBinary(dir, {dir.File("binary.lua")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("binary"), std::string::npos) << r.err;
}

TEST_F(HostProgram, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunHostBinary(dir, {}).status, 2);
  RunResult r = RunHostBinary(dir, {"--frobnicate", "x.lua"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown option --frobnicate"), std::string::npos) << r.err;
  EXPECT_EQ(RunHostBinary(dir, {"--regsvr"}).status, 2);
  EXPECT_EQ(RunHostBinary(dir, {"--reg-export", "HKCU"}).status, 2);
  EXPECT_EQ(RunHostBinary(dir, {"--monitor", "--regsvr", "x.so"}).status, 2);
  EXPECT_EQ(RunHostBinary(dir, {"--monitor", "extra"}).status, 2);
  EXPECT_EQ(RunHostBinary(dir, {"--registry", "", "x.lua"}).status, 2);
  r = RunHostBinary(dir, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: tarnelhost", 0), 0u);
}

TEST_F(HostProgram, DebugOutputGoesToStandardErrorWhenAsked) {
  const char* code = "CreateObject('Tarnel.TestObject'):DebugPrint('hello from the object')\nprint('done')";
  RunResult with = RunScript(code, {"--debug-output"});
  EXPECT_EQ(with.status, 0) << with.err;
  EXPECT_EQ(with.err, "hello from the object\n");
  EXPECT_EQ(with.out, "done\n");
  RunResult without = RunScript(code);
  EXPECT_EQ(without.status, 0);
  EXPECT_EQ(without.err, "") << "no debugger and no monitor: the line is lost";
}

TEST_F(HostProgram, TheMonitorPrintsLinesOfOtherProcesses) {
  RunningHost monitor = StartHostBinary(dir, {"--monitor"}, {}, "monitor");
  ASSERT_GT(monitor.pid, 0);
  struct stat st {};
  for (int i = 0; i < 1000 && stat(dir.File("monitor/debug.sock").c_str(), &st) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  RunResult script = RunScript("CreateObject('Tarnel.TestObject'):DebugPrint('to the monitor')");
  EXPECT_EQ(script.status, 0) << script.err;
  std::string seen;
  for (int i = 0; i < 500 && seen.find("to the monitor\n") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = ReadFile(monitor.outPath);
  }
  RunResult r = FinishHostBinary(monitor, SIGTERM);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "to the monitor\n");
}

TEST_F(HostProgram, RegisteredLibrariesCanBeCreatedAndUnregistered) {
  const std::string create = "print((CreateObject('Tarnel.ModuleObject'):Multiply(6, 7)))";
  EXPECT_EQ(RunScript(create).err, "429: ActiveX component can't create object\n");

  RunResult reg = RunHostBinary(dir, {"--regsvr", TestModulePath()});
  ASSERT_EQ(reg.status, 0) << reg.err;
  EXPECT_NE(reg.out.find("DllRegisterServer in '"), std::string::npos);
  RunResult made = RunScript(create);
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "42\n");

  RunResult unreg = RunHostBinary(dir, {"--unregsvr", TestModulePath()});
  ASSERT_EQ(unreg.status, 0) << unreg.err;
  EXPECT_EQ(RunScript(create).status, 1);
}

TEST_F(HostProgram, TheRegistryOptionChoosesTheStore) {
  const std::string other = dir.File("other.db");
  ASSERT_EQ(RunHostBinary(dir, {"--registry", other, "--regsvr", TestModulePath()}).status, 0);
  const std::string create = "print((CreateObject('Tarnel.ModuleObject'):Multiply(2, 3)))";
  EXPECT_EQ(RunScript(create, {"--registry", other}).out, "6\n");
  EXPECT_EQ(RunScript(create).status, 1) << "the default store has no registration";
}

TEST_F(HostProgram, RegistrationFailuresAreNumbered) {
  RunResult r = RunHostBinary(dir, {"--regsvr", dir.File("absent.so")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("53: File not found", 0), 0u) << r.err;
  r = RunHostBinary(dir, {"--regsvr", dir.Write("text.so", "not a library")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("48: Error in loading DLL", 0), 0u) << r.err;
  r = RunHostBinary(dir, {"--regsvr", TARNEL_BINARY_DIR "/src/platform/libtarnel_platform.so"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("453: Specified DLL function not found", 0), 0u) << r.err;
}

TEST_F(HostProgram, RegFilesImportAndExport) {
  std::string file = dir.Write("in.reg",
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\TarnelHostTest]\r\n"
                               "\"Greeting\"=\"hello\"\r\n\"Count\"=dword:0000002a\r\n");
  RunResult r = RunHostBinary(dir, {"--reg-import", file});
  ASSERT_EQ(r.status, 0) << r.err;
  RunResult read = RunScript(R"(
    local sh = CreateObject("WScript.Shell")
    print((sh:RegRead("HKCU\\Software\\TarnelHostTest\\Greeting")), (sh:RegRead("HKCU\\Software\\TarnelHostTest\\Count")))
  )");
  EXPECT_EQ(read.out, "hello\t42\n") << read.err;

  const std::string out = dir.File("out.reg");
  r = RunHostBinary(dir, {"--reg-export", "HKCU\\Software\\TarnelHostTest", out});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string exported = ReadFile(out);
  ASSERT_GE(exported.size(), 2u);
  EXPECT_EQ(exported.substr(0, 2), std::string("\xff\xfe")) << "UTF-16LE with a byte order mark";
  const std::u16string greeting = u"\"Greeting\"=\"hello\"";
  std::string bytes;
  for (char16_t c : greeting) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  EXPECT_NE(exported.find(bytes), std::string::npos);

  r = RunHostBinary(dir, {"--reg-export", "HKCU\\Software\\NoSuchKeyHere", dir.File("none.reg")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("2: ", 0), 0u) << r.err;
  r = RunHostBinary(dir, {"--reg-import", dir.Write("bad.reg", "this is no reg file\n")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("13: ", 0), 0u) << r.err;
}

}  // namespace
}  // namespace tarnel::host::testing
