// The connection worker: one thread, one FIFO, cancel flags per job and a
// shutdown that drains the queue and joins, so that no job runs after its
// connection is gone and every posted job finishes exactly once.
#include "platform/adodb/provider/worker.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace tarnel::adodb::provider {

ThreadStarter DefaultThreadStarter() {
  return [](std::function<void()> body) { return std::thread(std::move(body)); };
}

Worker::Worker(ThreadStarter starter) : starter_(std::move(starter)) {}

Worker::~Worker() { Stop(); }

bool Worker::Start(std::string* error) {
  std::lock_guard lock(mutex_);
  if (started_ || stopping_) return started_;
  try {
    thread_ = starter_([this] { Run(); });
    started_ = true;
    return true;
  } catch (const std::exception& e) {
    if (error) *error = std::string("the connection's worker thread could not be started: ") + e.what();
    return false;
  }
}

JobId Worker::Post(Job job) {
  auto control = std::make_shared<JobControl>();
  JobId id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    if (started_ && !stopping_) {
      queue_.push_back({id, control, std::move(job)});
      wake_.notify_one();
      return id;
    }
  }
  control->Cancel();
  job(*control);
  return id;
}

void Worker::Cancel(JobId id) {
  std::lock_guard lock(mutex_);
  if (currentId_ == id && current_) {
    current_->Cancel();
    return;
  }
  for (Item& item : queue_) {
    if (item.id == id) item.control->Cancel();
  }
}

void Worker::CancelAll() {
  std::lock_guard lock(mutex_);
  if (current_) current_->Cancel();
  for (Item& item : queue_) item.control->Cancel();
}

void Worker::Stop() {
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    if (std::this_thread::get_id() == threadId_.load()) {
      // A job releasing its own connection would have to join itself.
      std::fputs("tarnel: a provider connection was released on its own worker thread\n", stderr);
      std::abort();
    }
    stopping_ = true;
    if (current_) current_->Cancel();
    for (Item& item : queue_) item.control->Cancel();
    thread = std::move(thread_);
    wake_.notify_all();
  }
  if (thread.joinable()) thread.join();
}

std::size_t Worker::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size() + (current_ ? 1 : 0);
}

void Worker::Run() {
  threadId_.store(std::this_thread::get_id());
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;  // stopping and drained
    Item item = std::move(queue_.front());
    queue_.pop_front();
    currentId_ = item.id;
    current_ = item.control;
    lock.unlock();
    item.job(*item.control);
    item.job = nullptr;  // release what the job captured before the next one
    lock.lock();
    current_.reset();
    currentId_ = 0;
  }
}

}  // namespace tarnel::adodb::provider
