#ifndef CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_H_

#include "client/notification/notification_details.h"
#include "client/notification/notification_observer.h"
#include "client/notification/notification_source.h"
#include "client/notification/notification_types.h"

// The process-wide notification bus.
class NotificationService {
 public:
  // Any thread. The one service, or null when none exists.
  static NotificationService* current();

  // Registering with this source hears every sender of the type.
  static NotificationSource AllSources() { return NotificationSource(nullptr); }
  static NotificationDetails NoDetails() { return NotificationDetails(); }

  virtual ~NotificationService() = default;

  // Any thread. Observers are always called on the UI thread: at once when
  // called there, otherwise from a task posted to it. Details sent from
  // another thread must own their data (MakeOwnedDetails).
  virtual void Notify(int type,
                      const NotificationSource& source,
                      const NotificationDetails& details) = 0;

  // UI thread. An observer is registered at most once per (type, source).
  virtual void AddObserver(NotificationObserver* observer,
                           int type,
                           const NotificationSource& source) = 0;
  // UI thread. Safe during a notification: a removed observer is not called
  // for the rest of it.
  virtual void RemoveObserver(NotificationObserver* observer,
                              int type,
                              const NotificationSource& source) = 0;
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_H_
