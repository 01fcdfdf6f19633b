// Helpers of the host's tests: temporary directories, running the host
// binary, and the in-process fixture.
#include "host_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tarnel::host::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnelhost-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& contents) const {
  std::string path = File(name);
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string HostBinary() { return TARNEL_BINARY_DIR "/tarnelhost"; }
std::string TestModulePath() { return TARNEL_BINARY_DIR "/TarnelTestModule.so"; }

RunningHost StartHostBinary(const TempDir& dir, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env, const std::string& tag) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    auto eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  vars["TARNEL_REGISTRY"] = dir.File("registry.db");
  vars["TARNEL_DEBUG_MONITOR"] = dir.File("monitor/debug.sock");
  vars["ASAN_OPTIONS"] = "detect_leaks=1";
  for (const auto& [k, v] : env) vars[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : vars) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> argStrings{HostBinary()};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  RunningHost running;
  running.outPath = dir.File(tag + ".out");
  running.errPath = dir.File(tag + ".err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, running.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, running.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) running.pid = pid;
  posix_spawn_file_actions_destroy(&actions);
  return running;
}

RunResult FinishHostBinary(const RunningHost& running, int signal, int timeoutSeconds) {
  RunResult result;
  if (running.pid <= 0) {
    result.err = "cannot start " + HostBinary();
    return result;
  }
  if (signal) kill(running.pid, signal);
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (waitpid(running.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(running.pid, SIGKILL);
      waitpid(running.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(running.outPath);
  result.err = ReadFile(running.errPath);
  return result;
}

RunResult RunHostBinary(const TempDir& dir, const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env, int timeoutSeconds) {
  return FinishHostBinary(StartHostBinary(dir, args, env, "host"), 0, timeoutSeconds);
}

const char kLuaPrelude[] = R"(
function eq(actual, expected, what)
  if actual ~= expected then
    error(string.format("%s: expected %s, got %s", what or "value", tostring(expected), tostring(actual)), 2)
  end
end
function fails(f, ...)
  local ok, e = pcall(f, ...)
  if ok then error("no error raised", 2) end
  return e
end
)";

void InProcessHost::SetUpTestSuite() { RegisterHostClasses(); }

void InProcessHost::SetUp() { ASSERT_EQ(Run(kLuaPrelude), ""); }

std::string InProcessHost::Run(const std::string& code) {
  std::string error;
  return host.RunString(code, "test", error) ? std::string() : error;
}

}  // namespace tarnel::host::testing
