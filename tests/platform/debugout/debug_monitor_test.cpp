// The monitor socket: where it lives, the private directory it requires,
// taking over a stale socket but not a live one, cleaning up, and stopping.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>

#include "platform/debugout/debug_monitor.h"
#include "test_directory.h"

namespace tarnel {
namespace {

using std::chrono::milliseconds;
using testing_support::ModeOf;
using testing_support::ScopedEnvironment;
using testing_support::TestDirectory;

// The errno value DebugMonitor's constructor fails with, or 0.
int BindError(const std::string& path) {
  try {
    DebugMonitor monitor(path);
    return 0;
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).size(), 0u);
    return e.code().value();
  }
}

TEST(DebugMonitorPath, OverrideThenRuntimeDirectoryThenTmp) {
  ScopedEnvironment runtime("XDG_RUNTIME_DIR", std::string("/run/user/4242/"));
  {
    ScopedEnvironment overridden(kDebugMonitorVariable, std::string("/somewhere/else.sock"));
    EXPECT_EQ(DebugMonitorPath(), "/somewhere/else.sock");
  }
  ScopedEnvironment empty(kDebugMonitorVariable, std::string());
  EXPECT_EQ(DebugMonitorPath(), "/run/user/4242/tarnel/debug-monitor.sock");
  const std::string fallback = "/tmp/tarnel-" + std::to_string(geteuid()) + "/debug-monitor.sock";
  ScopedEnvironment relative("XDG_RUNTIME_DIR", std::string("relative/dir"));
  EXPECT_EQ(DebugMonitorPath(), fallback);
  ScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
  EXPECT_EQ(DebugMonitorPath(), fallback);
}

TEST(DebugMonitorDirectory, CreatedPrivateWhenMissing) {
  TestDirectory base;
  ScopedEnvironment runtime("XDG_RUNTIME_DIR", base.Path());
  ScopedEnvironment unset(kDebugMonitorVariable, std::nullopt);
  const mode_t oldMask = umask(0);  // the directory must not depend on a strict umask
  {
    DebugMonitor monitor;
    EXPECT_EQ(monitor.Path(), base / "tarnel/debug-monitor.sock");
    EXPECT_EQ(ModeOf(base / "tarnel"), 0700u);
    EXPECT_EQ(ModeOf(monitor.Path()) & 077, 0u);
  }
  umask(oldMask);
  EXPECT_EQ(ModeOf(base / "tarnel/debug-monitor.sock"), 0u) << "the socket file was not removed";
}

TEST(DebugMonitorDirectory, RefusesDirectoriesOthersCouldUse) {
  TestDirectory base;
  ASSERT_EQ(mkdir((base / "open").c_str(), 0700), 0);
  ASSERT_EQ(chmod((base / "open").c_str(), 0755), 0);
  EXPECT_EQ(BindError(base / "open/m.sock"), EACCES);
  EXPECT_EQ(ModeOf(base / "open"), 0755u) << "a foreign directory must not be changed";

  ASSERT_EQ(mkdir((base / "real").c_str(), 0700), 0);
  ASSERT_EQ(symlink((base / "real").c_str(), (base / "link").c_str()), 0);
  EXPECT_EQ(BindError(base / "link/m.sock"), ELOOP);

  std::ofstream(base / "file").put('x');
  EXPECT_EQ(BindError(base / "file/m.sock"), ENOTDIR);
  EXPECT_EQ(BindError(base / "missing/deeper/m.sock"), ENOENT);
}

TEST(DebugMonitorDirectory, RefusesADirectoryOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
  TestDirectory base;
  ASSERT_EQ(mkdir((base / "theirs").c_str(), 0700), 0);
  ASSERT_EQ(chown((base / "theirs").c_str(), 65534, 65534), 0);
  EXPECT_EQ(BindError(base / "theirs/m.sock"), EPERM);
}

TEST(DebugMonitorSocket, BadPathsAreErrors) {
  EXPECT_EQ(BindError(""), EINVAL);
  EXPECT_EQ(BindError("/tmp/" + std::string(200, 'n') + ".sock"), ENAMETOOLONG);
}

TEST(DebugMonitorSocket, TakesOverAStaleSocketButNotALiveOne) {
  TestDirectory base;
  const std::string path = base / "m.sock";
  {
    // A socket file whose owner has gone.
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }
  DebugMonitor first(path);
  EXPECT_EQ(BindError(path), EADDRINUSE);
  EXPECT_NE(ModeOf(path), 0u) << "the live monitor's socket must stay";
}

TEST(DebugMonitorSocket, LeavesOtherFilesAlone) {
  TestDirectory base;
  std::ofstream(base / "m.sock") << "not a socket";
  EXPECT_EQ(BindError(base / "m.sock"), EEXIST);
  std::ifstream kept(base / "m.sock");
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "not a socket");
}

TEST(DebugMonitorSocket, RemovesOnlyItsOwnSocketFile) {
  TestDirectory base;
  const std::string path = base / "m.sock";
  auto first = std::make_unique<DebugMonitor>(path);
  ASSERT_EQ(unlink(path.c_str()), 0);  // someone removed it and a new monitor started
  DebugMonitor second(path);
  first.reset();
  EXPECT_NE(ModeOf(path), 0u) << "the newer monitor's socket was removed";
}

TEST(DebugMonitorSocket, StopEndsRunFromAnotherThread) {
  TestDirectory base;
  DebugMonitor monitor(base / "m.sock");
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(50));
    monitor.Stop();
  });
  const auto start = std::chrono::steady_clock::now();
  monitor.Run([](std::string_view) {});
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Stopping stays in effect.
  monitor.Run([](std::string_view) {});
  EXPECT_EQ(monitor.Poll([](std::string_view) {}, milliseconds(10000)), 0u);
}

TEST(DebugMonitorSocket, PollTimesOutWhenNothingArrives) {
  TestDirectory base;
  DebugMonitor monitor(base / "m.sock");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(monitor.Poll([](std::string_view) {}, milliseconds(100)), 0u);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(100));
  EXPECT_LT(elapsed, milliseconds(3000));
}

}  // namespace
}  // namespace tarnel
