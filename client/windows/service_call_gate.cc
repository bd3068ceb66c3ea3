#include "client/windows/service_call_gate.h"

#include <atomic>

namespace {
std::atomic<bool> g_stopped{false};
}  // namespace

void StopServiceCalls() {
  g_stopped.store(true);
}

bool ServiceCallsStopped() {
  return g_stopped.load();
}

void ResetServiceCallsForTesting() {
  g_stopped.store(false);
}
