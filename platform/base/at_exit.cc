#include "base/at_exit.h"

#include "base/logging.h"

namespace base {

namespace {
AtExitManager* g_top_manager = nullptr;
}  // namespace

AtExitManager::AtExitManager() : next_manager_(g_top_manager) {
  DCHECK(!g_top_manager) << "only one AtExitManager outside tests";
  g_top_manager = this;
}

AtExitManager::AtExitManager(bool /*shadow*/) : next_manager_(g_top_manager) {
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  DCHECK(g_top_manager == this) << "AtExitManagers must be destroyed in reverse order";
  ProcessCallbacksNow();
  g_top_manager = next_manager_;
}

void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  DCHECK(func);
  RegisterTask(Closure([func, param] { func(param); }));
}

void AtExitManager::RegisterTask(Closure task) {
  if (!g_top_manager) {
    DCHECK(false) << "AtExitManager::RegisterTask without an AtExitManager";
    return;
  }
  std::lock_guard<std::mutex> hold(g_top_manager->mutex_);
  g_top_manager->stack_.push_back(std::move(task));
}

void AtExitManager::ProcessCallbacksNow() {
  if (!g_top_manager) {
    DCHECK(false) << "AtExitManager::ProcessCallbacksNow without an AtExitManager";
    return;
  }
  // A callback may register more; keep going until the stack is empty.
  for (;;) {
    Closure task;
    {
      std::lock_guard<std::mutex> hold(g_top_manager->mutex_);
      if (g_top_manager->stack_.empty())
        return;
      task = std::move(g_top_manager->stack_.back());
      g_top_manager->stack_.pop_back();
    }
    task.Run();
  }
}

}  // namespace base
