// Where the per-user debug monitor socket lives, and the checks that keep
// it private: the socket sits in a directory that only its user can enter,
// so no other user can listen to a process's debugger output or feed lines
// to someone else's monitor. Functions only; safe on any thread (they read
// the environment, which the process must not change concurrently).
#pragma once
#include <string>

namespace tarnel {

// The environment variable that overrides the socket's path.
inline constexpr char kDebugMonitorVariable[] = "TARNEL_DEBUG_MONITOR";

// The socket's path: $TARNEL_DEBUG_MONITOR when set and not empty; else
// $XDG_RUNTIME_DIR/tarnel/debug-monitor.sock when XDG_RUNTIME_DIR is an
// absolute path; else /tmp/tarnel-<uid>/debug-monitor.sock.
std::string DebugMonitorPath();

// The directory part of a path: "/a/b" for "/a/b/c", "/" for "/c", "." for
// "c".
std::string DirectoryOf(const std::string& path);

// Why a directory is not private: an errno value and a sentence. error == 0
// means it is fine.
struct DirectoryProblem {
  int error = 0;
  std::string reason;
  explicit operator bool() const { return error != 0; }
};

// Checks that `directory` is a real directory (not a symbolic link), owned
// by the effective user, with no access for group or others.
DirectoryProblem CheckPrivateDirectory(const std::string& directory);

// Creates `directory` (its last component only) with mode 0700 when it is
// missing, then checks it as above. Throws std::system_error carrying the
// errno value and the reason.
void EnsurePrivateDirectory(const std::string& directory);

}  // namespace tarnel
