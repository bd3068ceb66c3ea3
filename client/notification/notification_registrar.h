#ifndef CLIENT_NOTIFICATION_NOTIFICATION_REGISTRAR_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_REGISTRAR_H_

#include <vector>

#include "client/notification/notification_observer.h"
#include "client/notification/notification_source.h"

// Keeps an observer's registrations and removes them when it goes away.
// UI thread only.
class NotificationRegistrar {
 public:
  NotificationRegistrar() = default;
  NotificationRegistrar(const NotificationRegistrar&) = delete;
  NotificationRegistrar& operator=(const NotificationRegistrar&) = delete;
  ~NotificationRegistrar();

  void Add(NotificationObserver* observer, int type, const NotificationSource& source);
  void Remove(NotificationObserver* observer, int type, const NotificationSource& source);
  void RemoveAll();
  bool IsRegistered(NotificationObserver* observer,
                    int type,
                    const NotificationSource& source) const;
  bool IsEmpty() const { return registered_.empty(); }

 private:
  struct Record {
    NotificationObserver* observer;
    int type;
    NotificationSource source;
    bool operator==(const Record& o) const {
      return observer == o.observer && type == o.type && source == o.source;
    }
  };
  std::vector<Record> registered_;
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_REGISTRAR_H_
