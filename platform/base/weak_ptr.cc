#include "base/weak_ptr.h"

#include "base/logging.h"
#include "base/platform_thread.h"

namespace base {
namespace internal {

bool WeakReference::Flag::CalledOnValidThread() const {
  int current = PlatformThread::CurrentId();
  int expected = 0;
  if (bound_thread_.compare_exchange_strong(expected, current))
    return true;
  return expected == current;
}

void WeakReference::Flag::Invalidate() {
  DCHECK(CalledOnValidThread()) << "WeakPtrs must be invalidated on the thread they are used on.";
  valid_.store(false, std::memory_order_release);
}

bool WeakReference::Flag::IsValid() const {
  DCHECK(CalledOnValidThread()) << "WeakPtrs must be tested on the thread they are bound to.";
  return valid_.load(std::memory_order_acquire);
}

WeakReference WeakReferenceOwner::GetRef() const {
  if (!flag_)
    flag_ = std::make_shared<WeakReference::Flag>();
  return WeakReference(flag_);
}

void WeakReferenceOwner::Invalidate() {
  if (flag_) {
    flag_->Invalidate();
    flag_.reset();
  }
}

}  // namespace internal
}  // namespace base
