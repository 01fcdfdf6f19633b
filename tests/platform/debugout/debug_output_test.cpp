// Writing debugger output: to an attached debugger, to a monitor in this or
// another process, and to nobody, which must neither block nor fail.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/debugout/debug_monitor.h"
#include "platform/debugout/debug_output.h"
#include "test_directory.h"

namespace tarnel {
namespace {

using std::chrono::milliseconds;
using testing_support::ScopedEnvironment;
using testing_support::TestDirectory;

// Detaches whatever debugger a test attached.
class DebugOutput : public ::testing::Test {
 protected:
  void TearDown() override { DetachDebugger(); }
};

TEST_F(DebugOutput, AttachedDebuggerGetsTheConvertedBytesWithoutTerminator) {
  std::vector<std::string> lines;
  AttachDebugger([&](std::string_view bytes) { lines.emplace_back(bytes); });
  EXPECT_TRUE(IsDebuggerAttached());
  OutputDebugLine(u"Grüße €5 \u0416\U0001F600");
  OutputDebugLine(UStringView(u"before\0after", 12));  // a NUL ends the text
  OutputDebugLine(u"");
  OutputDebugBytes(std::string_view("raw\xE4\0tail", 9));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Gr\xFC\xDF" "e \x80" "5 ??");
  EXPECT_EQ(lines[1], "before");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "raw\xE4");
}

TEST_F(DebugOutput, DetachingOrReplacingTheDebuggerRedirectsLines) {
  int first = 0;
  int second = 0;
  AttachDebugger([&](std::string_view) { ++first; });
  OutputDebugLine(u"one");
  AttachDebugger([&](std::string_view) { ++second; });
  OutputDebugLine(u"two");
  DetachDebugger();
  EXPECT_FALSE(IsDebuggerAttached());
  TestDirectory directory;
  ScopedEnvironment monitor(kDebugMonitorVariable, directory / "none.sock");
  OutputDebugLine(u"three");  // nobody listens: lost
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

TEST_F(DebugOutput, ThrowingDebuggerDoesNotReachTheWriter) {
  AttachDebugger([](std::string_view) { throw std::runtime_error("sink failed"); });
  EXPECT_NO_THROW(OutputDebugLine(u"x"));
}

TEST_F(DebugOutput, ReplacingTheDebuggerWhileThreadsWriteLosesNoLine) {
  std::mutex mutex;
  std::vector<std::string> lines;
  AttachDebugger([&](std::string_view bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.emplace_back(bytes);
  });
  std::atomic<int> second{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 200; ++i) OutputDebugLine(FromUtf8("w" + std::to_string(t) + ":" + std::to_string(i)));
    });
  std::thread replacer([&] {
    std::this_thread::sleep_for(milliseconds(1));
    AttachDebugger([&](std::string_view) { ++second; });
  });
  for (auto& writer : writers) writer.join();
  replacer.join();
  DetachDebugger();
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(lines.size() + static_cast<std::size_t>(second.load()), 800u);
  for (const std::string& line : lines) EXPECT_EQ(line.substr(0, 1), "w");
}

// A monitor at a private temporary path that the writers are pointed to.
class MonitorOutput : public DebugOutput {
 protected:
  TestDirectory directory_;
  ScopedEnvironment path_{kDebugMonitorVariable, directory_ / "monitor.sock"};

  // Receives lines until `count` have come or a few seconds have passed.
  static std::vector<std::string> Receive(DebugMonitor& monitor, std::size_t count) {
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline)
      monitor.Poll([&](std::string_view line) { lines.emplace_back(line); }, milliseconds(100));
    return lines;
  }
};

TEST_F(MonitorOutput, MonitorReceivesEachLineAsOneDatagram) {
  DebugMonitor monitor;
  EXPECT_EQ(monitor.Path(), directory_ / "monitor.sock");
  std::thread writer([] {
    OutputDebugLine(u"first line ä");
    OutputDebugLine(u"");
    OutputDebugLine(UStringView(u"cut\0off", 7));
  });
  writer.join();
  const auto lines = Receive(monitor, 3);
  EXPECT_EQ(lines, (std::vector<std::string>{"first line \xE4", "", "cut"}));
}

TEST_F(MonitorOutput, LongLineArrivesInConsecutiveDatagrams) {
  DebugMonitor monitor;
  std::string longLine(kMaxDebugDatagram + 10, 'x');
  longLine.back() = 'y';
  OutputDebugBytes(longLine);
  const auto lines = Receive(monitor, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), kMaxDebugDatagram);
  EXPECT_EQ(lines[0] + lines[1], longLine);
}

TEST_F(MonitorOutput, MonitorReceivesLinesFromAnotherProcess) {
  DebugMonitor monitor;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OutputDebugLine(u"from the child");
    OutputDebugLine(u"second");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Receive(monitor, 2), (std::vector<std::string>{"from the child", "second"}));
}

TEST_F(MonitorOutput, AttachedDebuggerTakesPrecedenceOverTheMonitor) {
  DebugMonitor monitor;
  std::string got;
  AttachDebugger([&](std::string_view bytes) { got = bytes; });
  OutputDebugLine(u"to the debugger");
  EXPECT_EQ(got, "to the debugger");
  EXPECT_EQ(monitor.Poll([](std::string_view) {}, milliseconds(100)), 0u);
}

TEST_F(MonitorOutput, WritingWithNobodyListeningNeitherBlocksNorFails) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) OutputDebugLine(u"nobody listens");  // no socket file at all
  {
    // A stale socket file: bound, then closed without being removed.
    DebugMonitor monitor;
    ASSERT_EQ(rename(monitor.Path().c_str(), (directory_ / "kept.sock").c_str()), 0);
  }
  ASSERT_EQ(rename((directory_ / "kept.sock").c_str(), (directory_ / "monitor.sock").c_str()), 0);
  for (int i = 0; i < 200; ++i) OutputDebugLine(u"stale socket");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MonitorOutput, FullMonitorQueueDropsLinesInsteadOfBlocking) {
  DebugMonitor monitor;  // never reads while the lines are written
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) OutputDebugLine(FromUtf8("line " + std::to_string(i)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  std::vector<std::string> lines;
  while (monitor.Poll([&](std::string_view line) { lines.emplace_back(line); }, milliseconds(200)) > 0) {
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_LT(lines.size(), 2000u);
  EXPECT_EQ(lines.front(), "line 0");  // what was queued arrives in order
}

TEST_F(MonitorOutput, WriterRefusesADirectoryOpenToOthers) {
  DebugMonitor monitor;
  ASSERT_EQ(chmod(directory_.Path().c_str(), 0750), 0);
  OutputDebugLine(u"must not be sent");
  ASSERT_EQ(chmod(directory_.Path().c_str(), 0700), 0);
  OutputDebugLine(u"sent");
  EXPECT_EQ(Receive(monitor, 1), std::vector<std::string>{"sent"});
}

}  // namespace
}  // namespace tarnel
