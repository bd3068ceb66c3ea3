#ifndef CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_IMPL_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_IMPL_H_

#include <map>
#include <vector>

#include "base/platform_thread.h"
#include "base/weak_ptr.h"
#include "client/notification/notification_service.h"

// The bus itself. Created by the start-up frame on the main thread (before
// the UI thread is registered) and destroyed there after the worker threads
// have stopped; notifications posted from other threads that arrive after
// that are dropped.
class NotificationServiceImpl : public NotificationService {
 public:
  NotificationServiceImpl();
  NotificationServiceImpl(const NotificationServiceImpl&) = delete;
  NotificationServiceImpl& operator=(const NotificationServiceImpl&) = delete;
  ~NotificationServiceImpl() override;

  void Notify(int type,
              const NotificationSource& source,
              const NotificationDetails& details) override;
  void AddObserver(NotificationObserver* observer,
                   int type,
                   const NotificationSource& source) override;
  void RemoveObserver(NotificationObserver* observer,
                      int type,
                      const NotificationSource& source) override;

  // UI thread.
  bool HasObserverForTesting(NotificationObserver* observer,
                             int type,
                             const NotificationSource& source) const;

 private:
  struct Registration {
    NotificationObserver* observer;
    uintptr_t source;
    bool operator==(const Registration&) const = default;
  };

  bool OnHomeThread() const;
  void NotifyHere(int type, const NotificationSource& source, const NotificationDetails& details);

  const base::PlatformThreadId home_thread_;
  std::map<int, std::vector<Registration>> observers_;
  base::WeakPtrFactory<NotificationServiceImpl> weak_factory_{this};
  // Made on the home thread; copies go to other threads with their posts.
  base::WeakPtr<NotificationServiceImpl> weak_self_;
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_SERVICE_IMPL_H_
