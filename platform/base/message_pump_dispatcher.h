#ifndef BASE_MESSAGE_PUMP_DISPATCHER_H_
#define BASE_MESSAGE_PUMP_DISPATCHER_H_

#include <stddef.h>

#include "base/time.h"

// The window message record; defined by the window system (platform/win32).
struct tagMSG;

namespace base {

using NativeEvent = tagMSG;

// The UI pump hands GetNativeEvent() a buffer of this size, aligned for any
// type, since base cannot see the record's layout. The window system checks
// sizeof(tagMSG) <= kNativeEventStorageSize at compile time.
constexpr size_t kNativeEventStorageSize = 128;

// Handles each native event while MessageLoopForUI::RunWithDispatcher runs.
class MessagePumpDispatcher {
 public:
  // Returns false to end the run (the innermost one).
  virtual bool Dispatch(const NativeEvent& event) = 0;

 protected:
  virtual ~MessagePumpDispatcher() = default;
};

// The window system's side of a UI loop: one per UI thread, registered with
// MessageLoopForUI::SetNativeEventSource. Whenever it has new events for the
// thread (a posted or sent message, a timer that came due earlier than the
// last deadline it reported) it calls MessageLoopForUI::ScheduleNativeWork()
// so the sleeping pump polls it again.
class NativeEventSource {
 public:
  enum class Result { kNone, kEvent, kQuit };

  // Loop thread; never blocks. Fills *event and answers kEvent, or answers
  // kNone when nothing is waiting, or kQuit for a quit message. Due timers
  // must come out of here, or the pump would wake for them forever.
  virtual Result GetNativeEvent(NativeEvent* event) = 0;
  // Loop thread; used when the run has no dispatcher.
  virtual void DispatchNativeEvent(const NativeEvent& event) = 0;
  // Earliest window-timer deadline, null TimeTicks if none.
  virtual TimeTicks NextNativeDeadline() = 0;

 protected:
  virtual ~NativeEventSource() = default;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_DISPATCHER_H_
