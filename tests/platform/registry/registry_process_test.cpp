// Tests of the registry store shared by several processes: writers running
// at once all land, and a writer killed in the middle of its transactions
// leaves the store consistent (every transaction wholly there or absent).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/registry/registry_store.h"
#include "registry_test_support.h"

namespace tarnel {
namespace {

using registry_test::TempDir;

// Runs body in a child process that opens its own store; returns the pid.
// The child exits 0 when body returns, 1 when it throws.
pid_t StartChild(const std::function<void()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int status = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child %d: %s\n", static_cast<int>(::getpid()), e.what());
      status = 1;
    }
    ::_exit(status);
  }
  return pid;
}

int WaitForExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RegistryProcessTest, ConcurrentWritersFromTwoProcessesBothLand) {
  TempDir dir;
  const std::string path = dir.File("shared.db");
  RegistryStore::Open(path);  // created before the writers start
  constexpr int kRounds = 60;
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    children.push_back(StartChild([&, child] {
      auto store = RegistryStore::Open(path);
      const UString own = u"HKCU\\Writer" + DecimalText(child);
      for (int i = 0; i < kRounds; ++i) {
        store->SetValue(own, u"v" + DecimalText(i), RegValue::Dword(static_cast<std::uint32_t>(i)));
        // A read-modify-write that only works when transactions exclude each other.
        store->Transaction([&] {
          std::uint32_t n = store->GetValue(u"HKCU\\Shared", u"count").value_or(RegValue::Dword(0)).AsDword();
          store->SetValue(u"HKCU\\Shared", u"count", RegValue::Dword(n + 1));
        });
      }
    }));
  }
  for (pid_t pid : children) EXPECT_EQ(WaitForExit(pid), 0);

  auto store = RegistryStore::Open(path);
  EXPECT_EQ(store->GetValue(u"HKCU\\Shared", u"count")->AsDword(), 2u * kRounds);
  for (int child = 0; child < 2; ++child) {
    std::vector<RegValueInfo> values = store->Values(u"HKCU\\Writer" + DecimalText(child));
    EXPECT_EQ(values.size(), static_cast<std::size_t>(kRounds));
  }
}

TEST(RegistryProcessTest, ProcessesCreatingANewStoreAtOnceAllSucceed) {
  TempDir dir;
  constexpr int kChildren = 6;
  for (int round = 0; round < 10; ++round) {
    const std::string path = dir.File("new" + std::to_string(round) + "/registry.db");
    // The children wait at a closed-pipe barrier so that they open together.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int child = 0; child < kChildren; ++child) {
      children.push_back(StartChild([&, child] {
        ::close(gate[1]);
        char c;
        while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
        }
        auto store = RegistryStore::Open(path);
        store->SetValue(u"HKCU\\Opened", DecimalText(child), RegValue::Dword(1));
      }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : children) EXPECT_EQ(WaitForExit(pid), 0) << "round " << round;
    EXPECT_EQ(RegistryStore::Open(path)->Values(u"HKCU\\Opened").size(), static_cast<std::size_t>(kChildren));
  }
}

TEST(RegistryProcessTest, KilledWriterLeavesConsistentStore) {
  TempDir dir;
  const std::string path = dir.File("killed.db");
  RegistryStore::Open(path);
  // Each transaction writes a pair of equal counters around a large value;
  // the kill lands at a different point of the loop each time.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::uint32_t start = 0;
    {
      auto store = RegistryStore::Open(path);
      if (auto v = store->GetValue(u"HKCU\\Loop", u"first")) start = v->AsDword();
    }
    pid_t pid = StartChild([&] {
      auto store = RegistryStore::Open(path);
      std::vector<std::uint8_t> filler(64 * 1024);
      for (std::uint32_t i = start + 1;; ++i) {
        store->Transaction([&] {
          store->SetValue(u"HKCU\\Loop", u"first", RegValue::Dword(i));
          filler.assign(filler.size(), static_cast<std::uint8_t>(i));
          store->SetValue(u"HKCU\\Loop\\Bulk", u"data", RegValue::Binary(filler));
          store->DeleteKey(u"HKCU\\Loop\\Temp" + DecimalText(i - 1), true);
          store->SetValue(u"HKCU\\Loop\\Temp" + DecimalText(i), u"x", RegValue::Dword(i));
          store->SetValue(u"HKCU\\Loop", u"second", RegValue::Dword(i));
        });
      }
    });
    ASSERT_GT(pid, 0);
    // Wait until the writer is well into its loop, then kill it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      auto store = RegistryStore::Open(path);
      auto v = store->GetValue(u"HKCU\\Loop", u"first");
      if (v && v->AsDword() >= start + 5 + static_cast<std::uint32_t>(attempt) * 3) break;
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer made no progress";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt * 7));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_EQ(WaitForExit(pid), 128 + SIGKILL);

    auto store = RegistryStore::Open(path);  // checks the file's structure too
    std::uint32_t first = store->GetValue(u"HKCU\\Loop", u"first")->AsDword();
    EXPECT_EQ(store->GetValue(u"HKCU\\Loop", u"second")->AsDword(), first);
    RegValue bulk = *store->GetValue(u"HKCU\\Loop\\Bulk", u"data");
    EXPECT_EQ(bulk.data.size(), 64u * 1024);
    EXPECT_EQ(bulk.data.front(), static_cast<std::uint8_t>(first));
    EXPECT_EQ(bulk.data.back(), static_cast<std::uint8_t>(first));
    std::vector<UString> subkeys = store->SubKeys(u"HKCU\\Loop");
    EXPECT_EQ(subkeys, (std::vector<UString>{u"Bulk", u"Temp" + DecimalText(first)}));
    // And it still takes changes.
    store->SetValue(u"HKCU\\Loop", u"after", RegValue::Dword(1));
  }
}

}  // namespace
}  // namespace tarnel
