// The debug monitor: the receiving end of the per-user monitor socket, used
// by the host's --monitor. It binds the socket (replacing a stale socket
// file left by a monitor that died), receives each line written by any
// process of the user, and hands it to a callback.
//
// Thread rule: a DebugMonitor is owned and run by one thread; Stop() may be
// called from any thread and from a signal handler. Lines are handed to the
// callback on the thread that calls Run or Poll.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debugout/monitor_path.h"

namespace tarnel {

class DebugMonitor {
 public:
  // Receives one line, exactly the bytes written (no terminator).
  using LineHandler = std::function<void(std::string_view line)>;

  // Binds the socket at `path`, creating its directory with mode 0700 when
  // missing. Throws std::system_error (errno value and reason) when the path
  // is too long, the directory is not private to the user, something other
  // than a socket is in the way, another monitor is already listening there
  // (EADDRINUSE), or a system call fails.
  explicit DebugMonitor(std::string path = DebugMonitorPath());
  // Closes the socket and removes its file, unless another monitor has
  // replaced it meanwhile.
  ~DebugMonitor();
  DebugMonitor(const DebugMonitor&) = delete;
  DebugMonitor& operator=(const DebugMonitor&) = delete;

  // Hands every line that arrives to `onLine` until Stop() is called; a
  // Stop() that came earlier makes it return at once. An exception thrown
  // by `onLine` leaves Run.
  void Run(const LineHandler& onLine);
  // Waits up to `timeout` for lines and hands over all that have arrived.
  // Returns how many; 0 after the time-out or once stopped.
  std::size_t Poll(const LineHandler& onLine, std::chrono::milliseconds timeout);
  // Makes Run (and Poll) return. Async-signal-safe; stays in effect.
  void Stop() noexcept;

  const std::string& Path() const { return path_; }

 private:
  enum class WaitResult { kReadable, kTimedOut, kStopped };
  // Waits for a line or Stop(), until `deadline` (none: no limit).
  WaitResult Wait(const std::chrono::steady_clock::time_point* deadline);
  // Hands over every datagram waiting on the socket.
  std::size_t Drain(const LineHandler& onLine);
  void CloseDescriptors() noexcept;

  std::string path_;
  int socket_ = -1;
  int stopEvent_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::vector<char> buffer_;
};

}  // namespace tarnel
