#include "win32/system_time.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>

void Sleep(DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    for (;;)
      pause();
  }
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

ULONGLONG GetTickCount64() {
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

DWORD GetTickCount() {
  return static_cast<DWORD>(GetTickCount64());
}
