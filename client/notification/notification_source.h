#ifndef CLIENT_NOTIFICATION_NOTIFICATION_SOURCE_H_
#define CLIENT_NOTIFICATION_NOTIFICATION_SOURCE_H_

#include <stdint.h>

// Who sent a notification. Only the address matters: it is compared, never
// dereferenced by the bus. The null source means "all sources" when
// registering.
class NotificationSource {
 public:
  explicit NotificationSource(const void* ptr) : ptr_(ptr) {}
  uintptr_t map_key() const { return reinterpret_cast<uintptr_t>(ptr_); }
  bool operator==(const NotificationSource& other) const { return ptr_ == other.ptr_; }

 protected:
  const void* ptr_;
};

template <class T>
class Source : public NotificationSource {
 public:
  Source(const T* ptr) : NotificationSource(ptr) {}  // NOLINT: implicit on purpose
  explicit Source(const NotificationSource& other) : NotificationSource(other) {}
  T* ptr() const { return static_cast<T*>(const_cast<void*>(ptr_)); }
  T* operator->() const { return ptr(); }
};

#endif  // CLIENT_NOTIFICATION_NOTIFICATION_SOURCE_H_
