#include "base/thread_restrictions.h"

#include "base/logging.h"

namespace base {

namespace {

thread_local bool t_io_disallowed = false;
thread_local bool t_singleton_disallowed = false;
thread_local bool t_wait_disallowed = false;

}  // namespace

bool ThreadRestrictions::SetIOAllowed(bool allowed) {
  bool previous = !t_io_disallowed;
  t_io_disallowed = !allowed;
  return previous;
}

bool ThreadRestrictions::SetSingletonAllowed(bool allowed) {
  bool previous = !t_singleton_disallowed;
  t_singleton_disallowed = !allowed;
  return previous;
}

bool ThreadRestrictions::SetWaitAllowed(bool allowed) {
  bool previous = !t_wait_disallowed;
  t_wait_disallowed = !allowed;
  return previous;
}

void ThreadRestrictions::AssertIOAllowed() {
  DCHECK(!t_io_disallowed)
      << "Function marked as IO-only was called from a thread that disallows IO!";
}

void ThreadRestrictions::AssertSingletonAllowed() {
  DCHECK(!t_singleton_disallowed)
      << "LazyInstance/Singleton is used on a thread that disallows singletons.";
}

void ThreadRestrictions::AssertWaitAllowed() {
  DCHECK(!t_wait_disallowed) << "Waiting is not allowed on this thread.";
}

}  // namespace base
