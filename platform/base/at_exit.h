#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <mutex>
#include <vector>

#include "base/callback.h"

namespace base {

// Runs registered callbacks in reverse order of registration when it is
// destroyed. The program keeps one on the stack of main(); lazy singletons
// register their destruction here. Managers stack: a shadowing manager
// (tests) takes the registrations until it is destroyed.
class AtExitManager {
 public:
  typedef void (*AtExitCallbackType)(void*);

  AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
  ~AtExitManager();

  // Any thread. Without a manager the callback is never run (and a debug
  // check is logged).
  static void RegisterCallback(AtExitCallbackType func, void* param);
  static void RegisterTask(Closure task);
  // Runs and forgets the registered callbacks now, newest first.
  static void ProcessCallbacksNow();

 protected:
  // Shadows the current manager instead of refusing a second one.
  explicit AtExitManager(bool shadow);

 private:
  std::mutex mutex_;
  std::vector<Closure> stack_;
  AtExitManager* next_manager_;
};

// For tests: an AtExitManager that may sit on top of another one.
class ShadowingAtExitManager : public AtExitManager {
 public:
  ShadowingAtExitManager() : AtExitManager(true) {}
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
