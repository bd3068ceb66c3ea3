#include "base/sequenced_worker_pool.h"

#include <chrono>

#include "base/logging.h"
#include "base/thread_restrictions.h"

namespace base {

namespace {

thread_local const SequencedWorkerPool* t_current_pool = nullptr;
thread_local int t_current_sequence = 0;

class PoolSequencedTaskRunner : public SequencedTaskRunner {
 public:
  PoolSequencedTaskRunner(std::shared_ptr<SequencedWorkerPool> pool,
                          SequencedWorkerPool::SequenceToken token)
      : pool_(std::move(pool)), token_(token) {}

  using SequencedTaskRunner::PostDelayedTask;
  using SequencedTaskRunner::PostNonNestableDelayedTask;

  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       OnceClosure task,
                       TimeDelta delay) override {
    return pool_->PostDelayedSequencedWorkerTask(token_, from_here, std::move(task), delay);
  }
  // Workers never nest, so every task is non-nestable anyway.
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  OnceClosure task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, std::move(task), delay);
  }
  bool RunsTasksOnCurrentThread() const override {
    return pool_->IsRunningSequenceOnCurrentThread(token_);
  }

 private:
  std::shared_ptr<SequencedWorkerPool> pool_;
  SequencedWorkerPool::SequenceToken token_;
};

}  // namespace

class SequencedWorkerPool::Worker : public PlatformThread::Delegate {
 public:
  Worker(SequencedWorkerPool* pool, std::string name) : pool_(pool), name_(std::move(name)) {}
  bool Start() { return PlatformThread::Create(0, this, &handle_); }
  void Join() {
    ThreadRestrictions::ScopedAllowIO allow_io;
    PlatformThread::Join(handle_);
  }
  void ThreadMain() override {
    PlatformThread::SetName(name_.c_str());
    t_current_pool = pool_;
    pool_->WorkerLoop();
    t_current_pool = nullptr;
  }

 private:
  SequencedWorkerPool* pool_;
  std::string name_;
  PlatformThreadHandle handle_{};
};

SequencedWorkerPool::SequencedWorkerPool(size_t max_threads, const std::string& thread_name_prefix)
    : max_threads_(max_threads > 0 ? max_threads : 1), thread_name_prefix_(thread_name_prefix) {}

SequencedWorkerPool::~SequencedWorkerPool() {
  Shutdown();
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetSequenceToken() {
  std::lock_guard<std::mutex> hold(mutex_);
  return SequenceToken(next_sequence_id_++);
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetNamedSequenceToken(
    const std::string& name) {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = named_sequences_.find(name);
  if (it != named_sequences_.end())
    return SequenceToken(it->second);
  int id = next_sequence_id_++;
  named_sequences_[name] = id;
  return SequenceToken(id);
}

bool SequencedWorkerPool::PostWorkerTask(const tracked_objects::Location& from_here,
                                         OnceClosure task) {
  return PostTaskInternal(0, from_here, std::move(task), TimeDelta(), BLOCK_SHUTDOWN);
}

bool SequencedWorkerPool::PostWorkerTaskWithShutdownBehavior(
    const tracked_objects::Location& from_here,
    OnceClosure task,
    WorkerShutdown shutdown_behavior) {
  return PostTaskInternal(0, from_here, std::move(task), TimeDelta(), shutdown_behavior);
}

bool SequencedWorkerPool::PostSequencedWorkerTask(SequenceToken token,
                                                  const tracked_objects::Location& from_here,
                                                  OnceClosure task) {
  return PostTaskInternal(token.id_, from_here, std::move(task), TimeDelta(), BLOCK_SHUTDOWN);
}

bool SequencedWorkerPool::PostNamedSequencedWorkerTask(const std::string& token_name,
                                                       const tracked_objects::Location& from_here,
                                                       OnceClosure task) {
  return PostSequencedWorkerTask(GetNamedSequenceToken(token_name), from_here, std::move(task));
}

bool SequencedWorkerPool::PostDelayedSequencedWorkerTask(SequenceToken token,
                                                         const tracked_objects::Location& from_here,
                                                         OnceClosure task,
                                                         TimeDelta delay) {
  // Delayed tasks may be dropped at shutdown, so they cannot block it.
  WorkerShutdown behavior = delay > TimeDelta() ? SKIP_ON_SHUTDOWN : BLOCK_SHUTDOWN;
  return PostTaskInternal(token.id_, from_here, std::move(task), delay, behavior);
}

bool SequencedWorkerPool::PostSequencedWorkerTaskWithShutdownBehavior(
    SequenceToken token,
    const tracked_objects::Location& from_here,
    OnceClosure task,
    WorkerShutdown shutdown_behavior) {
  return PostTaskInternal(token.id_, from_here, std::move(task), TimeDelta(), shutdown_behavior);
}

bool SequencedWorkerPool::PostDelayedTask(const tracked_objects::Location& from_here,
                                          OnceClosure task,
                                          TimeDelta delay) {
  WorkerShutdown behavior = delay > TimeDelta() ? SKIP_ON_SHUTDOWN : BLOCK_SHUTDOWN;
  return PostTaskInternal(0, from_here, std::move(task), delay, behavior);
}

bool SequencedWorkerPool::RunsTasksOnCurrentThread() const {
  return t_current_pool == this;
}

bool SequencedWorkerPool::IsRunningSequenceOnCurrentThread(SequenceToken token) const {
  return t_current_pool == this && token.IsValid() && t_current_sequence == token.id_;
}

std::shared_ptr<SequencedTaskRunner> SequencedWorkerPool::GetSequencedTaskRunner(
    SequenceToken token) {
  return std::make_shared<PoolSequencedTaskRunner>(shared_from_this(), token);
}

bool SequencedWorkerPool::PostTaskInternal(int sequence,
                                           const tracked_objects::Location& from_here,
                                           OnceClosure task,
                                           TimeDelta delay,
                                           WorkerShutdown shutdown_behavior) {
  Task pending;
  pending.task = std::move(task);
  pending.posted_from = from_here;
  pending.sequence = sequence;
  pending.shutdown_behavior = shutdown_behavior;
  if (delay > TimeDelta())
    pending.run_time = TimeTicks::Now() + delay;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (shutdown_called_)
      return false;  // |pending| is destroyed here, on the posting thread
    pending.sequence_num = next_task_num_++;
    if (pending.run_time.is_null())
      ready_.push_back(std::move(pending));
    else
      delayed_.emplace(pending.run_time, std::move(pending));
    StartWorkerIfNeededLocked();
  }
  has_work_.notify_one();
  return true;
}

void SequencedWorkerPool::StartWorkerIfNeededLocked() {
  if (workers_.size() >= max_threads_)
    return;
  // Idle workers take the ready tasks; one worker must exist to watch the
  // delayed ones.
  if (!workers_.empty() && ready_.size() <= idle_workers_)
    return;
  auto worker =
      std::make_unique<Worker>(this, thread_name_prefix_ + std::to_string(workers_.size() + 1));
  if (!worker->Start()) {
    LOG(ERROR) << "could not start a worker of " << thread_name_prefix_;
    return;
  }
  workers_.push_back(std::move(worker));
}

void SequencedWorkerPool::PromoteDueTasksLocked(TimeTicks now) {
  while (!delayed_.empty() && delayed_.begin()->first <= now) {
    ready_.push_back(std::move(delayed_.begin()->second));
    delayed_.erase(delayed_.begin());
  }
}

void SequencedWorkerPool::WorkerLoop() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    if (!delayed_.empty())
      PromoteDueTasksLocked(TimeTicks::Now());
    auto it = ready_.begin();
    while (it != ready_.end() && it->sequence != 0 && running_sequences_.count(it->sequence))
      ++it;
    if (it != ready_.end()) {
      Task task = std::move(*it);
      ready_.erase(it);
      if (task.sequence)
        running_sequences_.insert(task.sequence);
      hold.unlock();
      t_current_sequence = task.sequence;
      task.task.Run();
      t_current_sequence = 0;
      task.task.Reset();
      hold.lock();
      if (task.sequence) {
        running_sequences_.erase(task.sequence);
        // Another worker may be waiting for this sequence to be free.
        has_work_.notify_all();
      }
      continue;
    }
    if (shutdown_called_ && ready_.empty())
      return;
    ++idle_workers_;
    if (delayed_.empty()) {
      has_work_.wait(hold);
    } else {
      auto until = std::chrono::steady_clock::time_point(
          std::chrono::microseconds(delayed_.begin()->first.ToInternalValue()));
      has_work_.wait_until(hold, until);
    }
    --idle_workers_;
  }
}

void SequencedWorkerPool::Shutdown() {
  DCHECK(!RunsTasksOnCurrentThread()) << "a pool cannot be shut down from its own worker";
  std::deque<Task> dropped;
  std::multimap<TimeTicks, Task> dropped_delayed;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (joined_)
      return;
    shutdown_called_ = true;
    std::deque<Task> keep;
    for (auto& task : ready_) {
      if (task.shutdown_behavior == BLOCK_SHUTDOWN)
        keep.push_back(std::move(task));
      else
        dropped.push_back(std::move(task));
    }
    ready_.swap(keep);
    dropped_delayed.swap(delayed_);
  }
  has_work_.notify_all();
  // Dropped tasks are destroyed outside the lock; their destructors may post.
  dropped.clear();
  dropped_delayed.clear();

  std::vector<std::unique_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (joined_)
      return;
    joined_ = true;
    workers.swap(workers_);
  }
  for (auto& worker : workers)
    worker->Join();
}

bool SequencedWorkerPool::IsShutdownInProgress() {
  std::lock_guard<std::mutex> hold(mutex_);
  return shutdown_called_;
}

size_t SequencedWorkerPool::GetThreadCountForTesting() {
  std::lock_guard<std::mutex> hold(mutex_);
  return workers_.size();
}

}  // namespace base
