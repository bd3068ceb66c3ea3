#ifndef BASE_SEQUENCED_WORKER_POOL_H_
#define BASE_SEQUENCED_WORKER_POOL_H_

#include <stddef.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/platform_thread.h"
#include "base/task_runner.h"
#include "base/time.h"

namespace base {

// A pool of at most |max_threads| worker threads, named prefix + "1", "2",
// ..., created only when work needs them. Tasks with the same sequence token
// run one at a time in posting order; other tasks run in parallel. Workers
// have no message loop. Create it with std::make_shared.
//
// Shutdown() refuses new tasks, drops queued tasks that may be skipped, runs
// the queued BLOCK_SHUTDOWN tasks, waits for running tasks and joins the
// workers. Delayed tasks are dropped at shutdown.
class SequencedWorkerPool : public TaskRunner,
                            public std::enable_shared_from_this<SequencedWorkerPool> {
 public:
  enum WorkerShutdown { CONTINUE_ON_SHUTDOWN, SKIP_ON_SHUTDOWN, BLOCK_SHUTDOWN };

  class SequenceToken {
   public:
    SequenceToken() = default;
    bool Equals(const SequenceToken& other) const { return id_ == other.id_; }
    bool IsValid() const { return id_ != 0; }

   private:
    friend class SequencedWorkerPool;
    explicit SequenceToken(int id) : id_(id) {}
    int id_ = 0;
  };

  SequencedWorkerPool(size_t max_threads, const std::string& thread_name_prefix);
  SequencedWorkerPool(const SequencedWorkerPool&) = delete;
  SequencedWorkerPool& operator=(const SequencedWorkerPool&) = delete;
  // Shuts down if that has not happened yet. Never destroy it on a worker.
  ~SequencedWorkerPool() override;

  SequenceToken GetSequenceToken();
  // The same name always gives the same token.
  SequenceToken GetNamedSequenceToken(const std::string& name);

  // Posts fail (and drop the task) after Shutdown().
  bool PostWorkerTask(const tracked_objects::Location& from_here, OnceClosure task);
  bool PostWorkerTaskWithShutdownBehavior(const tracked_objects::Location& from_here,
                                          OnceClosure task,
                                          WorkerShutdown shutdown_behavior);
  bool PostSequencedWorkerTask(SequenceToken token,
                               const tracked_objects::Location& from_here,
                               OnceClosure task);
  bool PostNamedSequencedWorkerTask(const std::string& token_name,
                                    const tracked_objects::Location& from_here,
                                    OnceClosure task);
  bool PostDelayedSequencedWorkerTask(SequenceToken token,
                                      const tracked_objects::Location& from_here,
                                      OnceClosure task,
                                      TimeDelta delay);
  bool PostSequencedWorkerTaskWithShutdownBehavior(SequenceToken token,
                                                   const tracked_objects::Location& from_here,
                                                   OnceClosure task,
                                                   WorkerShutdown shutdown_behavior);

  using TaskRunner::PostDelayedTask;
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       OnceClosure task,
                       TimeDelta delay) override;
  // True on the pool's worker threads.
  bool RunsTasksOnCurrentThread() const override;
  bool IsRunningSequenceOnCurrentThread(SequenceToken token) const;

  // A runner that posts every task under |token|.
  std::shared_ptr<SequencedTaskRunner> GetSequencedTaskRunner(SequenceToken token);

  // Called once, from outside the pool. Blocks until the work described
  // above is done.
  void Shutdown();
  bool IsShutdownInProgress();

  size_t GetThreadCountForTesting();

 private:
  class Worker;
  struct Task {
    OnceClosure task;
    tracked_objects::Location posted_from;
    int sequence = 0;
    WorkerShutdown shutdown_behavior = BLOCK_SHUTDOWN;
    TimeTicks run_time;
    int64_t sequence_num = 0;
  };

  bool PostTaskInternal(int sequence,
                        const tracked_objects::Location& from_here,
                        OnceClosure task,
                        TimeDelta delay,
                        WorkerShutdown shutdown_behavior);
  void WorkerLoop();
  // With |mutex_| held: moves due delayed tasks to the ready queue.
  void PromoteDueTasksLocked(TimeTicks now);
  void StartWorkerIfNeededLocked();

  const size_t max_threads_;
  const std::string thread_name_prefix_;

  std::mutex mutex_;
  std::condition_variable has_work_;
  std::deque<Task> ready_;
  std::multimap<TimeTicks, Task> delayed_;
  std::set<int> running_sequences_;
  std::map<std::string, int> named_sequences_;
  std::vector<std::unique_ptr<Worker>> workers_;
  size_t idle_workers_ = 0;
  int next_sequence_id_ = 1;
  int64_t next_task_num_ = 0;
  bool shutdown_called_ = false;
  bool joined_ = false;
};

}  // namespace base

#endif  // BASE_SEQUENCED_WORKER_POOL_H_
