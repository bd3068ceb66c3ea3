#ifndef CLIENT_NOTIFICATION_NOTIFICATION_DETAILS_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_DETAILS_H_

#include <memory>
#include <utility>

// What a notification carries. Details either point at the sender's data
// (valid only during a notification made on the UI thread) or own a copy
// (MakeOwnedDetails), which is what a notification from another thread
// needs: it is delivered later, on the UI thread.
class NotificationDetails {
 public:
  NotificationDetails() : ptr_(nullptr) {}
  explicit NotificationDetails(const void* ptr) : ptr_(ptr) {}

  const void* ptr() const { return ptr_; }
  bool is_owned() const { return static_cast<bool>(owner_); }
  uintptr_t map_key() const { return reinterpret_cast<uintptr_t>(ptr_); }

 protected:
  template <class T>
  friend NotificationDetails MakeOwnedDetails(T value);

  const void* ptr_;
  std::shared_ptr<const void> owner_;
};

template <class T>
class Details : public NotificationDetails {
 public:
  Details(T* ptr) : NotificationDetails(ptr) {}  // NOLINT: implicit on purpose
  explicit Details(const NotificationDetails& other) : NotificationDetails(other) {}
  T* ptr() const { return static_cast<T*>(const_cast<void*>(ptr_)); }
  T* operator->() const { return ptr(); }
};

template <class T>
NotificationDetails MakeOwnedDetails(T value) {
  auto owned = std::make_shared<const T>(std::move(value));
  NotificationDetails details(owned.get());
  details.owner_ = std::move(owned);
  return details;
}

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_DETAILS_H_
