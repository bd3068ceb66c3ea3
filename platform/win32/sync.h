// Mutexes. A named mutex is machine-wide: every process that opens the name
// shares one object (a second CreateMutexW reports ERROR_ALREADY_EXISTS), and
// ownership is an flock on a file under the machine root, so it is released
// when the owning process dies.
#ifndef WIN32_SYNC_H_
#define WIN32_SYNC_H_

#include "win32/types.h"

// The mutex is owned by the calling thread when |initial_owner| is set and
// the object is new. Waiting on it (WaitForSingleObject) takes ownership;
// the owning thread may take it again recursively.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCWSTR name);
// ERROR_NOT_OWNER unless the calling thread owns it.
BOOL ReleaseMutex(HANDLE mutex);

#endif  // WIN32_SYNC_H_
