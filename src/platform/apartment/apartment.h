// The apartment: one message queue per thread, the stand-in for a thread's
// window-message queue. Any thread may post a message; only the thread that
// owns the apartment runs what was posted, when it processes its messages
// (the host's loop, DoEvents, Sleep). It is the only way work crosses into
// an apartment thread.
//
// Thread rule: Post, PendingCount, IsOwnerThread and SetWakeObserver's
// observer calls are safe on any thread; ProcessPending, WaitAndProcess,
// RunUntil, SetWakeObserver and SetErrorHandler belong to the owning thread
// (another thread gets an ApartmentError). Ownership: each thread's
// apartment is shared; the thread holds one reference, and any other thread
// may keep a std::shared_ptr<Apartment> to post to it. When the owning thread
// ends, the apartment closes: messages still waiting are destroyed on that
// thread without running, and later posts are refused (Post returns false;
// the message is destroyed on the posting thread).
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/automation/hresult.h"

namespace tarnel {

// The failure code for a call from a thread that does not own the
// apartment (RPC_E_WRONG_THREAD).
constexpr HRESULT kApartmentWrongThread = MakeHResult(0x8001010E);

// Misuse of an apartment: the call came from the wrong thread, or the
// thread's apartment has already ended. Carries a failure code and a text.
class ApartmentError : public std::logic_error {
 public:
  ApartmentError(HRESULT hr, const std::string& description);
  HRESULT hr() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

class Apartment {
 public:
  using Message = std::function<void()>;
  // Called when a message throws: receives the exception. The default
  // handler writes one line to standard error. The queue keeps going.
  using ErrorHandler = std::function<void(std::exception_ptr)>;

  // The calling thread's apartment, created on first use. While the
  // apartment closes at thread exit it is still returned (closed); after
  // that, late in the thread's exit, ApartmentError is thrown.
  static Apartment& Current();
  // The same, as a handle that other threads can keep and post through.
  static std::shared_ptr<Apartment> CurrentShared();

  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment();

  // Queues a message for the owning thread and wakes it. Returns false, and
  // drops the message, when it is empty or the owning thread has ended.
  // Messages run in the order they were posted. Repeated posts before the
  // owner wakes cost one wake-up; no message is ever lost.
  bool Post(Message message);

  // Runs, once each, the messages that were waiting when it was called;
  // messages posted meanwhile wait for the next call. May be called from
  // inside a message (nested): then the nested call runs what is waiting at
  // that moment, and the outer call stops when its own messages are gone.
  // Returns the number of messages run.
  std::size_t ProcessPending();

  // Waits up to `timeout`, running messages as they arrive (and those
  // already waiting, even when `timeout` is zero or negative). Returns when
  // the time is up; true when at least one message ran.
  bool WaitAndProcess(std::chrono::milliseconds timeout);

  // Runs messages as they arrive until done() is true (checked first, then
  // after every batch) or `timeout` has passed. Returns done()'s last value.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Messages posted and not yet taken for running.
  std::size_t PendingCount() const;
  bool IsOwnerThread() const noexcept { return std::this_thread::get_id() == owner_; }

  // The wake-up seam: `observer` is called on the posting thread once for
  // each wake-up (coalesced posts call it once), after the message is
  // queued. A host that waits on other event sources uses it to interrupt
  // its wait; tests use it to count wake-ups. It must not block and must be
  // safe to call from several posting threads at once. An empty
  // function removes it (a post already under way may still call the old
  // observer once).
  void SetWakeObserver(std::function<void()> observer);
  // Replaces the handler for exceptions thrown by messages; an empty
  // function restores the default (standard error).
  void SetErrorHandler(ErrorHandler handler);

 private:
  struct Passkey {};
  struct Entry {
    std::uint64_t sequence;
    Message message;
  };

 public:
  explicit Apartment(Passkey);

 private:
  friend struct ApartmentThreadState;

  void RequireOwner(const char* operation) const;
  // Takes the oldest message if it was posted before `limit`.
  bool TakeNext(std::uint64_t limit, Message& out);
  void RunOne(Message& message) noexcept;
  // Blocks until a message is waiting or `deadline` has passed.
  void WaitForMessage(std::chrono::steady_clock::time_point deadline);
  // Called once on the owning thread when it ends.
  void Close() noexcept;

  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Entry> queue_;
  std::uint64_t nextSequence_ = 0;
  bool wakePending_ = false;
  bool closed_ = false;
  std::shared_ptr<const std::function<void()>> wakeObserver_;
  ErrorHandler errorHandler_;
};

}  // namespace tarnel
