#include "client/notification/notification_registrar.h"

#include <algorithm>

#include "base/logging.h"
#include "client/notification/notification_service.h"

NotificationRegistrar::~NotificationRegistrar() {
  RemoveAll();
}

void NotificationRegistrar::Add(NotificationObserver* observer,
                                int type,
                                const NotificationSource& source) {
  DCHECK(!IsRegistered(observer, type, source)) << "duplicate registration";
  if (IsRegistered(observer, type, source))
    return;
  NotificationService* service = NotificationService::current();
  if (!service) {
    LOG(ERROR) << "no notification service; observer for " << type << " not added";
    return;
  }
  service->AddObserver(observer, type, source);
  registered_.push_back({observer, type, source});
}

void NotificationRegistrar::Remove(NotificationObserver* observer,
                                   int type,
                                   const NotificationSource& source) {
  auto it = std::find(registered_.begin(), registered_.end(), Record{observer, type, source});
  if (it == registered_.end())
    return;
  registered_.erase(it);
  if (NotificationService* service = NotificationService::current())
    service->RemoveObserver(observer, type, source);
}

void NotificationRegistrar::RemoveAll() {
  // The service may already be gone at shutdown; then there is nothing to undo.
  NotificationService* service = NotificationService::current();
  if (service) {
    for (const Record& r : registered_)
      service->RemoveObserver(r.observer, r.type, r.source);
  }
  registered_.clear();
}

bool NotificationRegistrar::IsRegistered(NotificationObserver* observer,
                                         int type,
                                         const NotificationSource& source) const {
  return std::find(registered_.begin(), registered_.end(), Record{observer, type, source}) !=
         registered_.end();
}
