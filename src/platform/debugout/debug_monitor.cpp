// The receiving end of the debugger output: a Unix datagram socket at the
// per-user path, one datagram per line. Stopping goes through an eventfd so
// that a signal handler can end the monitor's wait.
#include "platform/debugout/debug_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/debugout/debug_output.h"

namespace tarnel {
namespace {

// At most this many lines are handed over between two looks at Stop(), so
// that a flood of lines cannot keep the monitor from stopping.
constexpr std::size_t kLinesPerDrain = 256;

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

// Removes a socket file whose monitor has gone; refuses to touch anything
// else, and refuses to take over from a monitor that is still listening.
void RemoveStaleSocket(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return;
    ThrowErrno(errno, "cannot examine " + path);
  }
  if (!S_ISSOCK(info.st_mode)) ThrowErrno(EEXIST, path + " exists and is not a socket; it was left alone");
  const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) ThrowErrno(errno, "cannot create a socket");
  const sockaddr_un address = AddressOf(path);
  const int connected = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = errno;
  close(probe);
  if (connected == 0) ThrowErrno(EADDRINUSE, "another debug monitor is already listening on " + path);
  if (error != ECONNREFUSED) ThrowErrno(error, "cannot tell whether a monitor still listens on " + path);
  if (unlink(path.c_str()) != 0 && errno != ENOENT) ThrowErrno(errno, "cannot remove the stale socket " + path);
}

}  // namespace

DebugMonitor::DebugMonitor(std::string path) : path_(std::move(path)) {
  if (path_.empty()) ThrowErrno(EINVAL, "no path for the debug monitor socket");
  if (path_.size() >= sizeof(sockaddr_un{}.sun_path))
    ThrowErrno(ENAMETOOLONG, "the debug monitor socket path is too long: " + path_);
  EnsurePrivateDirectory(DirectoryOf(path_));
  RemoveStaleSocket(path_);
  try {
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) ThrowErrno(errno, "cannot create the debug monitor socket");
    stopEvent_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopEvent_ < 0) ThrowErrno(errno, "cannot create the debug monitor's stop event");
    const sockaddr_un address = AddressOf(path_);
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      ThrowErrno(errno, "cannot bind the debug monitor socket " + path_);
    struct stat info {};
    if (chmod(path_.c_str(), 0600) != 0 || lstat(path_.c_str(), &info) != 0) {
      const int error = errno;
      unlink(path_.c_str());
      ThrowErrno(error, "cannot secure the debug monitor socket " + path_);
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    buffer_.resize(kMaxDebugDatagram);
  } catch (...) {
    CloseDescriptors();
    throw;
  }
}

DebugMonitor::~DebugMonitor() {
  // Remove the socket file only if it is still the one this monitor bound.
  struct stat info {};
  if (socket_ >= 0 && lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
    unlink(path_.c_str());
  CloseDescriptors();
}

void DebugMonitor::CloseDescriptors() noexcept {
  if (socket_ >= 0) close(socket_);
  if (stopEvent_ >= 0) close(stopEvent_);
  socket_ = stopEvent_ = -1;
}

void DebugMonitor::Stop() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stopEvent_, &one, sizeof one);
}

DebugMonitor::WaitResult DebugMonitor::Wait(const std::chrono::steady_clock::time_point* deadline) {
  for (;;) {
    int timeoutMs = -1;
    if (deadline != nullptr) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
      timeoutMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
    }
    pollfd fds[2] = {{stopEvent_, POLLIN, 0}, {socket_, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "waiting for debugger output failed");
    }
    if (fds[0].revents != 0) return WaitResult::kStopped;
    if (fds[1].revents != 0) return WaitResult::kReadable;
    if (ready == 0) return WaitResult::kTimedOut;
  }
}

std::size_t DebugMonitor::Drain(const LineHandler& onLine) {
  std::size_t count = 0;
  while (count < kLinesPerDrain) {
    const ssize_t received = recv(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (received < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      ThrowErrno(errno, "receiving debugger output failed");
    }
    // MSG_TRUNC reports the datagram's full length; a longer one than the
    // buffer (never sent by this platform) is handed over cut.
    const std::size_t length = std::min(static_cast<std::size_t>(received), buffer_.size());
    ++count;
    onLine(std::string_view(buffer_.data(), length));
  }
  return count;
}

void DebugMonitor::Run(const LineHandler& onLine) {
  for (;;) {
    switch (Wait(nullptr)) {
      case WaitResult::kStopped:
        return;
      case WaitResult::kReadable:
        Drain(onLine);
        break;
      case WaitResult::kTimedOut:
        break;
    }
  }
}

std::size_t DebugMonitor::Poll(const LineHandler& onLine, std::chrono::milliseconds timeout) {
  // A century stands for "no limit" without overflowing the clock.
  const std::chrono::milliseconds longest = std::chrono::hours(24 * 365 * 100);
  const auto deadline = std::chrono::steady_clock::now() + std::clamp(timeout, std::chrono::milliseconds::zero(), longest);
  for (;;) {
    if (Wait(&deadline) != WaitResult::kReadable) return 0;
    if (const std::size_t count = Drain(onLine)) return count;
  }
}

}  // namespace tarnel
