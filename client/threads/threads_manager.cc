#include "client/threads/threads_manager.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/thread_restrictions.h"
#include "client/threads/thread_impl.h"
#include "client/threads/thread_message_loop_proxy.h"
#include "client/threads/threads_globals.h"

namespace {

base::LazyInstance<ThreadsManagerGlobals>::Leaky g_globals = LAZY_INSTANCE_INITIALIZER;

thread_local int64_t t_lock_acquisitions = 0;

bool InRange(int identifier) {
  return identifier >= 0 && identifier < ThreadsManager::ID_COUNT;
}

}  // namespace

ThreadsManagerGlobals::ThreadsManagerGlobals()
    : blocking_pool(std::make_shared<base::SequencedWorkerPool>(3, "BlockingPool")) {
  for (auto& slot : threads)
    slot.store(nullptr, std::memory_order_relaxed);
}

ThreadsManagerGlobals& GetThreadsManagerGlobals() {
  return g_globals.Get();
}

bool ThreadsManagerGlobalsCreated() {
  return g_globals.IsCreated();
}

void AcquireThreadsManagerLock(ThreadsManagerGlobals& globals) {
  globals.lock.Acquire();
  ++t_lock_acquisitions;
}

bool ThreadsManager::PostTaskHelper(ID identifier,
                                    const tracked_objects::Location& from_here,
                                    base::OnceClosure task,
                                    base::TimeDelta delay,
                                    bool nestable) {
  DCHECK(identifier >= 0 && identifier < ID_COUNT);
  if (!InRange(identifier))
    return false;

  // A thread posting to one that outlives it (a lower or equal identifier)
  // knows the target's object is alive, so it skips the lock.
  ID current_thread = ID_COUNT;
  bool target_thread_outlives_current =
      GetCurrentThreadIdentifier(&current_thread) && current_thread >= identifier;

  ThreadsManagerGlobals& globals = GetThreadsManagerGlobals();
  if (!target_thread_outlives_current)
    AcquireThreadsManagerLock(globals);

  bool posted = false;
  ThreadImpl* target = globals.threads[identifier].load(std::memory_order_acquire);
  // The proxy keeps working after the loop is gone (the post then fails), so
  // a thread that is just ending cannot take a task into a freed loop.
  std::shared_ptr<base::MessageLoopProxy> proxy = target ? target->message_loop_proxy() : nullptr;
  if (proxy && target->message_loop()) {
    posted = nestable ? proxy->PostDelayedTask(from_here, std::move(task), delay)
                      : proxy->PostNonNestableDelayedTask(from_here, std::move(task), delay);
  }

  if (!target_thread_outlives_current)
    globals.lock.Release();
  // An unposted task is destroyed here, outside the lock.
  return posted;
}

bool ThreadsManager::PostTask(ID identifier,
                              const tracked_objects::Location& from_here,
                              base::OnceClosure task) {
  return PostTaskHelper(identifier, from_here, std::move(task), base::TimeDelta(), true);
}

bool ThreadsManager::PostDelayedTask(ID identifier,
                                     const tracked_objects::Location& from_here,
                                     base::OnceClosure task,
                                     base::TimeDelta delay) {
  return PostTaskHelper(identifier, from_here, std::move(task), delay, true);
}

bool ThreadsManager::PostDelayedTask(ID identifier,
                                     const tracked_objects::Location& from_here,
                                     base::OnceClosure task,
                                     int64_t delay_ms) {
  return PostTaskHelper(identifier, from_here, std::move(task),
                        base::TimeDelta::FromMilliseconds(delay_ms), true);
}

bool ThreadsManager::PostNonNestableTask(ID identifier,
                                         const tracked_objects::Location& from_here,
                                         base::OnceClosure task) {
  return PostTaskHelper(identifier, from_here, std::move(task), base::TimeDelta(), false);
}

bool ThreadsManager::PostNonNestableDelayedTask(ID identifier,
                                                const tracked_objects::Location& from_here,
                                                base::OnceClosure task,
                                                base::TimeDelta delay) {
  return PostTaskHelper(identifier, from_here, std::move(task), delay, false);
}

bool ThreadsManager::PostTaskAndReply(ID identifier,
                                      const tracked_objects::Location& from_here,
                                      base::OnceClosure task,
                                      base::OnceClosure reply) {
  return GetTaskRunnerForThread(identifier)
      ->PostTaskAndReply(from_here, std::move(task), std::move(reply));
}

bool ThreadsManager::CurrentlyOn(ID identifier) {
  // The table is a leaky singleton; callers may be on threads that forbid
  // singletons.
  base::ThreadRestrictions::ScopedAllowSingleton allow_singleton;
  ThreadsManagerGlobals& globals = GetThreadsManagerGlobals();
  AcquireThreadsManagerLock(globals);
  DCHECK(identifier >= 0 && identifier < ID_COUNT);
  bool on = false;
  base::MessageLoop* current = base::MessageLoop::current();
  if (InRange(identifier) && current) {
    ThreadImpl* thread = globals.threads[identifier].load(std::memory_order_acquire);
    on = thread && thread->message_loop() == current;
  }
  globals.lock.Release();
  return on;
}

bool ThreadsManager::GetCurrentThreadIdentifier(ID* identifier) {
  if (!ThreadsManagerGlobalsCreated())
    return false;
  base::ThreadRestrictions::ScopedAllowSingleton allow_singleton;
  base::MessageLoop* current = base::MessageLoop::current();
  if (!current)
    return false;
  ThreadsManagerGlobals& globals = GetThreadsManagerGlobals();
  for (int i = 0; i < ID_COUNT; ++i) {
    ThreadImpl* thread = globals.threads[i].load(std::memory_order_acquire);
    if (thread && thread->message_loop() == current) {
      *identifier = thread->identifier_;
      return true;
    }
  }
  return false;
}

std::shared_ptr<base::MessageLoopProxy> ThreadsManager::GetTaskRunnerForThread(ID identifier) {
  return std::make_shared<ThreadMessageLoopProxy>(identifier);
}

base::SequencedWorkerPool* ThreadsManager::GetBlockingPool() {
  return GetThreadsManagerGlobals().blocking_pool.get();
}

void ThreadsManager::ShutdownBlockingPool() {
  GetThreadsManagerGlobals().blocking_pool->Shutdown();
}

int64_t ThreadsManager::GetLockAcquisitionsForTesting() {
  return t_lock_acquisitions;
}
