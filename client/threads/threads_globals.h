#ifndef CLIENT_THREADS_THREADS_GLOBALS_H_
#define CLIENT_THREADS_THREADS_GLOBALS_H_

#include <atomic>
#include <memory>

#include "base/lock.h"
#include "base/sequenced_worker_pool.h"
#include "client/threads/threads_manager.h"

class ThreadImpl;

// The process-wide table behind ThreadsManager: created on first use, never
// destroyed. Slots are written under |lock|; they are atomics so that the
// lock-free readers (the identity scan and posts to a longer-lived thread)
// see whole values.
struct ThreadsManagerGlobals {
  ThreadsManagerGlobals();

  base::Lock lock;
  std::atomic<ThreadImpl*> threads[ThreadsManager::ID_COUNT];
  std::shared_ptr<base::SequencedWorkerPool> blocking_pool;
};

ThreadsManagerGlobals& GetThreadsManagerGlobals();
bool ThreadsManagerGlobalsCreated();
// Takes the table lock, counting it for the test seam.
void AcquireThreadsManagerLock(ThreadsManagerGlobals& globals);

#endif  // CLIENT_THREADS_THREADS_GLOBALS_H_
