// The background thread of a provider connection: a FIFO of jobs run one
// after another in the order they were posted, each with a cancel flag.
// Thread rule: Post, Cancel, CancelAll and Stop may be called from any
// thread except the worker itself (the apartment thread in practice); jobs
// run on the worker thread and may touch only what the job owns (the engine
// handle of its connection, the result it builds). Stop (and the destructor)
// cancels the running job, lets every queued job run with its flag set so
// that it can report the cancellation, and joins the thread: a job never
// outlives its Worker.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tarnel::adodb::provider {

using JobId = std::uint64_t;

// What a running job sees of its cancellation. Engines poll it while they
// wait (busy handlers, socket polls, progress callbacks).
class JobControl {
 public:
  bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  void Cancel() { cancelled_.store(true, std::memory_order_release); }

 private:
  std::atomic<bool> cancelled_{false};
};

// The seam through which a worker starts its thread, so tests can make the
// start fail. The default starts a std::thread; a starter reports failure by
// throwing std::system_error.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
ThreadStarter DefaultThreadStarter();

class Worker {
 public:
  using Job = std::function<void(const JobControl&)>;

  explicit Worker(ThreadStarter starter = DefaultThreadStarter());
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker();

  // Starts the thread; false (with a message) when it cannot be started.
  bool Start(std::string* error);

  // Queues a job. A job posted after Stop (or before a successful Start)
  // runs at once on the caller's thread with its flag set.
  JobId Post(Job job);

  // Sets the flag of one job (queued or running), or of every job.
  void Cancel(JobId id);
  void CancelAll();

  // Cancels everything, runs the remaining jobs (cancelled) and joins.
  // Idempotent. Must not be called from the worker thread.
  void Stop();

  bool OnWorkerThread() const { return std::this_thread::get_id() == threadId_.load(); }
  // Jobs queued or running.
  std::size_t Pending() const;

 private:
  struct Item {
    JobId id;
    std::shared_ptr<JobControl> control;
    Job job;
  };
  void Run();

  ThreadStarter starter_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  JobId nextId_ = 1;
  JobId currentId_ = 0;
  std::shared_ptr<JobControl> current_;
  bool started_ = false;
  bool stopping_ = false;
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
};

}  // namespace tarnel::adodb::provider
