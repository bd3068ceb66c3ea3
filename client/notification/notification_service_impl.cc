#include "client/notification/notification_service_impl.h"

#include <algorithm>
#include <atomic>

#include "base/bind.h"
#include "base/logging.h"
#include "client/threads/threads_manager.h"

namespace notification_internal {
extern std::atomic<NotificationService*> g_current;
}  // namespace notification_internal

NotificationServiceImpl::NotificationServiceImpl()
    : home_thread_(base::PlatformThread::CurrentId()) {
  weak_self_ = weak_factory_.GetWeakPtr();
  NotificationService* expected = nullptr;
  bool first = notification_internal::g_current.compare_exchange_strong(expected, this);
  DCHECK(first) << "only one NotificationService per process";
}

NotificationServiceImpl::~NotificationServiceImpl() {
  NotificationService* expected = this;
  notification_internal::g_current.compare_exchange_strong(expected, nullptr);
}

bool NotificationServiceImpl::OnHomeThread() const {
  return base::PlatformThread::CurrentId() == home_thread_;
}

void NotificationServiceImpl::Notify(int type,
                                     const NotificationSource& source,
                                     const NotificationDetails& details) {
  if (OnHomeThread()) {
    NotifyHere(type, source, details);
    return;
  }
  // Borrowed details would be read on the UI thread after the sender has
  // moved on; refuse them rather than hand out a dangling pointer.
  if (details.ptr() && !details.is_owned()) {
    LOG(ERROR) << "notification " << type
               << " from another thread carries borrowed details; dropped";
    DCHECK(details.is_owned());
    return;
  }
  base::WeakPtr<NotificationServiceImpl> self = weak_self_;
  bool posted = ThreadsManager::PostTask(
      ThreadsManager::UI, FROM_HERE_WITH_EXPLICIT_FUNCTION("NotificationServiceImpl::Notify"),
      [self, type, source, details] {
        if (NotificationServiceImpl* service = self.get())
          service->NotifyHere(type, source, details);
      });
  if (!posted)
    LOG(WARNING) << "notification " << type << " dropped: no UI thread";
}

void NotificationServiceImpl::NotifyHere(int type,
                                         const NotificationSource& source,
                                         const NotificationDetails& details) {
  auto it = observers_.find(type);
  if (it == observers_.end())
    return;
  // Observers added during this notification wait for the next one; removed
  // ones are skipped by the check below.
  std::vector<Registration> snapshot = it->second;
  for (const Registration& entry : snapshot) {
    if (entry.source != AllSources().map_key() && entry.source != source.map_key())
      continue;
    auto current = observers_.find(type);
    if (current == observers_.end() ||
        std::find(current->second.begin(), current->second.end(), entry) == current->second.end())
      continue;
    entry.observer->Observe(type, source, details);
  }
}

void NotificationServiceImpl::AddObserver(NotificationObserver* observer,
                                          int type,
                                          const NotificationSource& source) {
  DCHECK(OnHomeThread());
  DCHECK(observer);
  if (!observer)
    return;
  std::vector<Registration>& list = observers_[type];
  Registration entry{observer, source.map_key()};
  if (std::find(list.begin(), list.end(), entry) != list.end()) {
    DCHECK(false) << "observer registered twice for notification " << type;
    return;
  }
  list.push_back(entry);
}

void NotificationServiceImpl::RemoveObserver(NotificationObserver* observer,
                                             int type,
                                             const NotificationSource& source) {
  DCHECK(OnHomeThread());
  auto it = observers_.find(type);
  Registration entry{observer, source.map_key()};
  if (it == observers_.end()) {
    DCHECK(false) << "removing an observer that was never added";
    return;
  }
  auto pos = std::find(it->second.begin(), it->second.end(), entry);
  if (pos == it->second.end()) {
    DCHECK(false) << "removing an observer that was never added";
    return;
  }
  it->second.erase(pos);
  if (it->second.empty())
    observers_.erase(it);
}

bool NotificationServiceImpl::HasObserverForTesting(NotificationObserver* observer,
                                                    int type,
                                                    const NotificationSource& source) const {
  auto it = observers_.find(type);
  if (it == observers_.end())
    return false;
  Registration entry{observer, source.map_key()};
  return std::find(it->second.begin(), it->second.end(), entry) != it->second.end();
}
