#ifndef BASE_THREAD_RESTRICTIONS_H_
#define BASE_THREAD_RESTRICTIONS_H_

namespace base {

// Per-thread permissions for blocking IO, waiting and singleton access.
// Everything is allowed on a new thread. Violations are debug checks: they
// are logged only while debug checks are enabled.
class ThreadRestrictions {
 public:
  class ScopedAllowIO {
   public:
    ScopedAllowIO() : previous_(SetIOAllowed(true)) {}
    ~ScopedAllowIO() { SetIOAllowed(previous_); }
    ScopedAllowIO(const ScopedAllowIO&) = delete;
    ScopedAllowIO& operator=(const ScopedAllowIO&) = delete;

   private:
    bool previous_;
  };

  class ScopedAllowSingleton {
   public:
    ScopedAllowSingleton() : previous_(SetSingletonAllowed(true)) {}
    ~ScopedAllowSingleton() { SetSingletonAllowed(previous_); }
    ScopedAllowSingleton(const ScopedAllowSingleton&) = delete;
    ScopedAllowSingleton& operator=(const ScopedAllowSingleton&) = delete;

   private:
    bool previous_;
  };

  class ScopedAllowWait {
   public:
    ScopedAllowWait() : previous_(SetWaitAllowed(true)) {}
    ~ScopedAllowWait() { SetWaitAllowed(previous_); }
    ScopedAllowWait(const ScopedAllowWait&) = delete;
    ScopedAllowWait& operator=(const ScopedAllowWait&) = delete;

   private:
    bool previous_;
  };

  // Each returns the previous value.
  static bool SetIOAllowed(bool allowed);
  static bool SetSingletonAllowed(bool allowed);
  static bool SetWaitAllowed(bool allowed);
  static void DisallowWaiting() { SetWaitAllowed(false); }

  static void AssertIOAllowed();
  static void AssertSingletonAllowed();
  static void AssertWaitAllowed();
};

}  // namespace base

#endif  // BASE_THREAD_RESTRICTIONS_H_
