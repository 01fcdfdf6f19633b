// Helpers of the host's tests: a temporary directory, running the built
// tarnelhost binary with its output captured, and an in-process script host
// with a few Lua assertions predefined.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/script_host.h"

namespace tarnel::host::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file in the directory and returns its path.
  std::string Write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

struct RunResult {
  int status = -1;  // exit status; 128 + n for a signal
  std::string out;
  std::string err;
};

// The built host binary and the test component library.
std::string HostBinary();
std::string TestModulePath();

// Runs tarnelhost with args; env entries are added to the environment
// (TARNEL_REGISTRY, TARNEL_DEBUG_MONITOR default to files in dir). Killed
// after timeoutSeconds.
RunResult RunHostBinary(const TempDir& dir, const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = {}, int timeoutSeconds = 60);

// The same in two steps, for a host that runs beside the test (the
// monitor): Start returns at once, Finish waits for the exit (after sending
// signal, when not 0) and reads the output. Outputs go to files named
// after tag in dir.
struct RunningHost {
  int pid = -1;
  std::string outPath;
  std::string errPath;
};
RunningHost StartHostBinary(const TempDir& dir, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env, const std::string& tag);
RunResult FinishHostBinary(const RunningHost& running, int signal = 0, int timeoutSeconds = 60);

// Lua helpers every in-process test script can use:
//   eq(actual, expected[, what])  raises unless actual == expected
//   fails(f, ...)                 runs f in pcall, returns its error value (raises if f succeeded)
extern const char kLuaPrelude[];

class InProcessHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  // Runs code; returns "" on success, else the error text.
  std::string Run(const std::string& code);

  ScriptHost host;
};

}  // namespace tarnel::host::testing
