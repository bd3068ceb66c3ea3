#ifndef BASE_PLATFORM_THREAD_H_
#define BASE_PLATFORM_THREAD_H_

#include <pthread.h>
#include <stddef.h>

#include "base/time.h"

namespace base {

typedef int PlatformThreadId;
typedef pthread_t PlatformThreadHandle;

// Thin wrappers over the operating system's threads.
class PlatformThread {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void ThreadMain() = 0;
  };

  // The kernel thread id (gettid), cached per thread.
  static PlatformThreadId CurrentId();
  static void Sleep(TimeDelta duration);
  static void YieldCurrentThread();
  // Sets the operating system's name of the calling thread (first 15 bytes).
  static void SetName(const char* name);
  // The operating system's name of the calling thread.
  static const char* GetName();

  // stack_size 0 uses the default. Returns false when the thread could not be
  // created.
  static bool Create(size_t stack_size, Delegate* delegate, PlatformThreadHandle* handle);
  // Waits for the thread to end; a blocking call (checks that IO is allowed).
  static void Join(PlatformThreadHandle handle);
};

}  // namespace base

#endif  // BASE_PLATFORM_THREAD_H_
