// Anonymous pipes and reading/writing them.
#ifndef WIN32_PIPE_H_
#define WIN32_PIPE_H_

#include "win32/types.h"

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

// Both ends are inheritable when the attributes say so. |size| is a hint.
BOOL CreatePipe(PHANDLE read_pipe,
                PHANDLE write_pipe,
                LPSECURITY_ATTRIBUTES attributes,
                DWORD size);
// Blocks until data arrives; once every write end is closed and the pipe is
// empty it fails with ERROR_BROKEN_PIPE. |overlapped| must be null.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file,
               LPCVOID buffer,
               DWORD to_write,
               LPDWORD written,
               LPOVERLAPPED overlapped);

#endif  // WIN32_PIPE_H_
