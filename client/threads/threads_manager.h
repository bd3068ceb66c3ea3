#ifndef CLIENT_THREADS_THREADS_MANAGER_H_
#define CLIENT_THREADS_THREADS_MANAGER_H_

#include <stdint.h>

#include <memory>

#include "base/callback.h"
#include "base/location.h"
#include "base/message_loop_proxy.h"
#include "base/sequenced_worker_pool.h"
#include "base/time.h"

// The process-wide registry of the client's named threads and the posting
// operations on them. Callable from any thread.
class ThreadsManager {
 public:
  // Ordered by lifetime: a thread with a lower identifier outlives every
  // thread with a higher one (they are stopped DOWNLOAD, IO, FILE, and the UI
  // slot is emptied last).
  enum ID {
    UI,        // the main thread, running every window
    FILE,      // UI-type loop; no tasks from the client's own code
    IO,        // everything that blocks: service calls, dialling, commands
    DOWNLOAD,  // IO-type loop; no tasks from the client's own code
    ID_COUNT
  };

  // Each returns false, dropping the task, when the target thread does not
  // exist (not yet started or already stopped).
  static bool PostTask(ID identifier,
                       const tracked_objects::Location& from_here,
                       base::OnceClosure task);
  static bool PostDelayedTask(ID identifier,
                              const tracked_objects::Location& from_here,
                              base::OnceClosure task,
                              base::TimeDelta delay);
  static bool PostDelayedTask(ID identifier,
                              const tracked_objects::Location& from_here,
                              base::OnceClosure task,
                              int64_t delay_ms);
  static bool PostNonNestableTask(ID identifier,
                                  const tracked_objects::Location& from_here,
                                  base::OnceClosure task);
  static bool PostNonNestableDelayedTask(ID identifier,
                                         const tracked_objects::Location& from_here,
                                         base::OnceClosure task,
                                         base::TimeDelta delay);
  // Runs |task| on |identifier|, then |reply| on the calling thread (which
  // must run a message loop).
  static bool PostTaskAndReply(ID identifier,
                               const tracked_objects::Location& from_here,
                               base::OnceClosure task,
                               base::OnceClosure reply);

  // True if the calling thread is the registered thread |identifier|.
  static bool CurrentlyOn(ID identifier);
  // The calling thread's identifier, if it is a registered thread.
  static bool GetCurrentThreadIdentifier(ID* identifier);
  // A task runner that posts to |identifier| (a ThreadMessageLoopProxy).
  static std::shared_ptr<base::MessageLoopProxy> GetTaskRunnerForThread(ID identifier);

  // The "BlockingPool": at most 3 workers, created with the table.
  static base::SequencedWorkerPool* GetBlockingPool();
  // Runs the pool's blocking tasks and joins its workers; called once at
  // shutdown, after the worker threads have stopped. Main thread only.
  static void ShutdownBlockingPool();

  // How often the calling thread has taken the table lock.
  static int64_t GetLockAcquisitionsForTesting();

 protected:
  ThreadsManager() = default;

 private:
  static bool PostTaskHelper(ID identifier,
                             const tracked_objects::Location& from_here,
                             base::OnceClosure task,
                             base::TimeDelta delay,
                             bool nestable);
};

#endif  // CLIENT_THREADS_THREADS_MANAGER_H_
