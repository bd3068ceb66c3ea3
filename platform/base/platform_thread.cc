#include "base/platform_thread.h"

#include <errno.h>
#include <sched.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "base/thread_restrictions.h"

namespace base {

namespace {

thread_local PlatformThreadId t_id = 0;
thread_local char t_name[16] = {0};

void* ThreadFunc(void* param) {
  static_cast<PlatformThread::Delegate*>(param)->ThreadMain();
  return nullptr;
}

}  // namespace

PlatformThreadId PlatformThread::CurrentId() {
  if (t_id == 0)
    t_id = static_cast<PlatformThreadId>(syscall(SYS_gettid));
  return t_id;
}

void PlatformThread::Sleep(TimeDelta duration) {
  int64_t us = duration.InMicroseconds();
  if (us <= 0)
    return;
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(us / 1000000);
  ts.tv_nsec = static_cast<long>((us % 1000000) * 1000);
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

void PlatformThread::YieldCurrentThread() {
  sched_yield();
}

void PlatformThread::SetName(const char* name) {
  // The kernel keeps 15 bytes plus the terminator.
  strncpy(t_name, name ? name : "", sizeof(t_name) - 1);
  t_name[sizeof(t_name) - 1] = '\0';
  pthread_setname_np(pthread_self(), t_name);
}

const char* PlatformThread::GetName() {
  if (t_name[0] == '\0')
    pthread_getname_np(pthread_self(), t_name, sizeof(t_name));
  return t_name;
}

bool PlatformThread::Create(size_t stack_size, Delegate* delegate, PlatformThreadHandle* handle) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stack_size > 0)
    pthread_attr_setstacksize(&attributes, stack_size);
  int err = pthread_create(handle, &attributes, ThreadFunc, delegate);
  pthread_attr_destroy(&attributes);
  return err == 0;
}

void PlatformThread::Join(PlatformThreadHandle handle) {
  // Joining blocks until the other thread ends, like file access.
  ThreadRestrictions::AssertIOAllowed();
  pthread_join(handle, nullptr);
}

}  // namespace base
