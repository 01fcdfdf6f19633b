// The per-thread message queue: posting from any thread, running on the
// owning thread, and closing the queue when that thread ends. Every message
// carries a sequence number, so a "run what is waiting now" call knows where
// its batch ends even when a nested call has already run part of it.
#include "platform/apartment/apartment.h"

#include <cstdio>
#include <utility>

namespace tarnel {

ApartmentError::ApartmentError(HRESULT hr, const std::string& description)
    : std::logic_error(description), hr_(hr) {}

// The calling thread's reference to its apartment. Its destructor runs when
// the thread ends and closes the apartment; messages destroyed while it
// closes may still reach Current(), which then sees the closed apartment.
struct ApartmentThreadState {
  std::shared_ptr<Apartment> apartment;
  ~ApartmentThreadState();
};

namespace {

// Set once the thread's state has been destroyed; trivially destructible,
// so it may be read at any point of the thread's teardown.
thread_local bool tApartmentEnded = false;
thread_local ApartmentThreadState tApartmentState;

std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (timeout <= std::chrono::milliseconds::zero()) return now;
  // A very long time-out must not overflow the clock: wait "forever".
  if (timeout >= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now))
    return Clock::time_point::max();
  return now + timeout;
}

void ReportToStandardError(const std::exception_ptr& error) noexcept {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarnel: a message posted to the apartment raised an exception: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "tarnel: a message posted to the apartment raised an unknown exception\n");
  }
}

}  // namespace

ApartmentThreadState::~ApartmentThreadState() {
  if (apartment) apartment->Close();
  tApartmentEnded = true;
}

Apartment::Apartment(Passkey) : owner_(std::this_thread::get_id()) {}

Apartment::~Apartment() = default;

Apartment& Apartment::Current() { return *CurrentShared(); }

std::shared_ptr<Apartment> Apartment::CurrentShared() {
  if (tApartmentEnded)
    throw ApartmentError(E_UNEXPECTED, "the thread's apartment has already ended (called during thread exit)");
  if (!tApartmentState.apartment) tApartmentState.apartment = std::make_shared<Apartment>(Passkey{});
  return tApartmentState.apartment;
}

void Apartment::RequireOwner(const char* operation) const {
  if (!IsOwnerThread())
    throw ApartmentError(kApartmentWrongThread, std::string("Apartment::") + operation +
                                                    " called from a thread that does not own the apartment");
}

bool Apartment::Post(Message message) {
  if (!message) return false;
  std::shared_ptr<const std::function<void()>> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;  // the message is destroyed here, on the posting thread
    queue_.push_back(Entry{nextSequence_++, std::move(message)});
    if (wakePending_) return true;  // the owner has been woken and not yet looked
    wakePending_ = true;
    observer = wakeObserver_;
  }
  wake_.notify_one();
  if (observer) (*observer)();
  return true;
}

bool Apartment::TakeNext(std::uint64_t limit, Message& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty() || queue_.front().sequence >= limit) return false;
  out = std::move(queue_.front().message);
  queue_.pop_front();
  return true;
}

void Apartment::RunOne(Message& message) noexcept {
  try {
    message();
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    if (!errorHandler_) {
      ReportToStandardError(error);
      return;
    }
    try {
      errorHandler_(error);
    } catch (...) {
      // The handler itself failed: fall back to the default report.
      ReportToStandardError(error);
    }
  }
}

std::size_t Apartment::ProcessPending() {
  RequireOwner("ProcessPending");
  std::uint64_t limit = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    limit = nextSequence_;
    // Everything waiting is about to be looked at; the next post must wake
    // the owner (or its observer) again.
    wakePending_ = false;
  }
  std::size_t ran = 0;
  Message message;
  while (TakeNext(limit, message)) {
    RunOne(message);
    message = nullptr;  // destroy the message's captures here, on the owning thread
    ++ran;
  }
  return ran;
}

void Apartment::WaitForMessage(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!queue_.empty()) return;
  wakePending_ = false;
  wake_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
}

bool Apartment::WaitAndProcess(std::chrono::milliseconds timeout) {
  RequireOwner("WaitAndProcess");
  const auto deadline = DeadlineAfter(timeout);
  bool ran = ProcessPending() > 0;
  while (std::chrono::steady_clock::now() < deadline) {
    WaitForMessage(deadline);
    if (ProcessPending() > 0) ran = true;
  }
  return ran;
}

bool Apartment::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  RequireOwner("RunUntil");
  if (!done) throw ApartmentError(E_INVALIDARG, "Apartment::RunUntil needs a condition");
  const auto deadline = DeadlineAfter(timeout);
  if (done()) return true;
  for (;;) {
    ProcessPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    WaitForMessage(deadline);
  }
}

std::size_t Apartment::PendingCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void Apartment::SetWakeObserver(std::function<void()> observer) {
  RequireOwner("SetWakeObserver");
  auto shared = observer ? std::make_shared<const std::function<void()>>(std::move(observer)) : nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  wakeObserver_ = std::move(shared);
}

void Apartment::SetErrorHandler(ErrorHandler handler) {
  RequireOwner("SetErrorHandler");
  errorHandler_ = std::move(handler);
}

void Apartment::Close() noexcept {
  std::deque<Entry> dropped;
  std::shared_ptr<const std::function<void()>> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(queue_);
    observer.swap(wakeObserver_);
  }
  errorHandler_ = nullptr;
  // `dropped` and `observer` go out of scope here: the waiting messages are
  // destroyed on the owning thread, unrun, as a thread's queue is discarded
  // when it ends.
}

}  // namespace tarnel
