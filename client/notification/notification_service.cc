#include "client/notification/notification_service.h"

#include <atomic>

namespace notification_internal {
std::atomic<NotificationService*> g_current{nullptr};
}  // namespace notification_internal

NotificationService* NotificationService::current() {
  return notification_internal::g_current.load(std::memory_order_acquire);
}
