#include "base/lock.h"

#include "base/logging.h"
#include "base/platform_thread.h"

namespace base {

void Lock::Acquire() {
  mutex_.lock();
  owner_.store(PlatformThread::CurrentId(), std::memory_order_relaxed);
}

void Lock::Release() {
  owner_.store(0, std::memory_order_relaxed);
  mutex_.unlock();
}

bool Lock::Try() {
  if (!mutex_.try_lock())
    return false;
  owner_.store(PlatformThread::CurrentId(), std::memory_order_relaxed);
  return true;
}

void Lock::AssertAcquired() const {
  DCHECK(owner_.load(std::memory_order_relaxed) == PlatformThread::CurrentId());
}

}  // namespace base
