// Writing debugger output: the line is cut at its first NUL, converted to
// the user's code page, then handed to the attached debugger or sent,
// without waiting, to the per-user monitor socket. Every failure on the way
// (no monitor, a full queue, an untrusted directory) means the line is lost,
// as with the original when nobody listens.
#include "platform/debugout/debug_output.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/automation/locale.h"
#include "platform/debugout/ansi_text.h"
#include "platform/debugout/monitor_path.h"

namespace tarnel {
namespace {

struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<const DebuggerSink> sink;
};

// Never destroyed, so that output written from static destructors at exit
// still finds a valid slot.
SinkSlot& Slot() {
  static SinkSlot* slot = new SinkSlot;
  return *slot;
}

std::shared_ptr<const DebuggerSink> CurrentSink() {
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  return slot.sink;
}

// The process's sending socket, created on first use and kept open; a
// datagram socket without a peer, so one socket serves every thread.
int SenderSocket() {
  static std::atomic<int> shared{-1};
  int fd = shared.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  const int created = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (created < 0) return -1;
  if (shared.compare_exchange_strong(fd, created, std::memory_order_acq_rel)) return created;
  close(created);  // another thread was first; `fd` now holds its socket
  return fd;
}

void SendToMonitor(std::string_view bytes) {
  const std::string path = DebugMonitorPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return;
  // Only a socket of our own, in a directory only we can enter, gets the
  // line; anything else may be another user listening.
  if (CheckPrivateDirectory(DirectoryOf(path))) return;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != geteuid()) return;
  const int fd = SenderSocket();
  if (fd < 0) return;
  std::memcpy(address.sun_path, path.data(), path.size());
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min(bytes.size() - offset, kMaxDebugDatagram);
    ssize_t sent = 0;
    do {
      sent = sendto(fd, bytes.data() + offset, length, MSG_DONTWAIT | MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return;  // nobody listens, or the monitor's queue is full: the line is lost
    offset += length;
  } while (offset < bytes.size());
}

void Deliver(std::string_view bytes) noexcept {
  try {
    if (const auto sink = CurrentSink()) {
      (*sink)(bytes);
      return;
    }
    SendToMonitor(bytes);
  } catch (...) {
    // Writing debugger output never fails; a throwing sink loses the line.
  }
}

}  // namespace

void OutputDebugBytes(std::string_view bytes) noexcept {
  Deliver(bytes.substr(0, bytes.find('\0')));
}

void OutputDebugLine(UStringView line) noexcept {
  line = line.substr(0, line.find(u'\0'));
  std::string converted;
  try {
    try {
      converted = ToAnsi(line, Locale::User().ansiCodePage);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      converted = ToAnsi(line, "CP1252");  // the locale names a code page this system lacks
    }
  } catch (...) {
    return;  // out of memory: the line is lost
  }
  Deliver(converted);
}

void AttachDebugger(DebuggerSink sink) {
  auto shared = sink ? std::make_shared<const DebuggerSink>(std::move(sink)) : nullptr;
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.sink.swap(shared);
  // The old sink (now in `shared`) is released after the lock, or by the
  // last line still being written to it.
}

void DetachDebugger() { AttachDebugger(nullptr); }

bool IsDebuggerAttached() { return CurrentSink() != nullptr; }

}  // namespace tarnel
