#ifndef CLIENT_NOTIFICATION_NOTIFICATION_OBSERVER_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_OBSERVER_H_

#include "client/notification/notification_details.h"
#include "client/notification/notification_source.h"

class NotificationObserver {
 public:
  // Called on the UI thread.
  virtual void Observe(int type,
                       const NotificationSource& source,
                       const NotificationDetails& details) = 0;

 protected:
  virtual ~NotificationObserver() = default;
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_OBSERVER_H_
