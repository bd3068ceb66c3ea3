#include "base/callback.h"

#include "base/logging.h"

namespace base {

namespace internal {

void RunNullCallback() {
  LOG(FATAL) << "Check failed: !is_null(). A null callback was run.";
  abort();
}

}  // namespace internal

Closure DoNothing() {
  return Closure([] {});
}

}  // namespace base
