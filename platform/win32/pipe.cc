#include "win32/pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "win32/handle_internal.h"
#include "win32/last_error.h"

namespace {

class PipeEnd : public win32::KernelObject {
 public:
  explicit PipeEnd(int fd) : fd_(fd) {}
  ~PipeEnd() override { close(fd_); }
  int fd() const override { return fd_; }

 private:
  int fd_;
};

DWORD ErrnoToError(int error) {
  switch (error) {
    case EPIPE:
      return ERROR_NO_DATA;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

BOOL CreatePipe(PHANDLE read_pipe, PHANDLE write_pipe, LPSECURITY_ATTRIBUTES attributes, DWORD) {
  if (!read_pipe || !write_pipe) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int fds[2];
  // Descriptors never leak into children by themselves: CreateProcessW
  // passes exactly the inheritable handles on.
  if (pipe2(fds, O_CLOEXEC) != 0) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return FALSE;
  }
  bool inherit = attributes && attributes->bInheritHandle;
  *read_pipe = win32::AddHandle(std::make_shared<PipeEnd>(fds[0]), inherit);
  *write_pipe = win32::AddHandle(std::make_shared<PipeEnd>(fds[1]), inherit);
  return TRUE;
}

BOOL ReadFile(HANDLE file,
              LPVOID buffer,
              DWORD to_read,
              LPDWORD read_bytes,
              LPOVERLAPPED overlapped) {
  if (read_bytes)
    *read_bytes = 0;
  auto object = win32::LookUpHandle(file);
  if (!object || object->fd() < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || (!buffer && to_read)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (to_read == 0)
    return TRUE;
  ssize_t n;
  do {
    n = read(object->fd(), buffer, to_read);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetLastError(ErrnoToError(errno));
    return FALSE;
  }
  if (n == 0) {
    SetLastError(ERROR_BROKEN_PIPE);
    return FALSE;
  }
  if (read_bytes)
    *read_bytes = static_cast<DWORD>(n);
  return TRUE;
}

BOOL WriteFile(HANDLE file,
               LPCVOID buffer,
               DWORD to_write,
               LPDWORD written,
               LPOVERLAPPED overlapped) {
  if (written)
    *written = 0;
  auto object = win32::LookUpHandle(file);
  if (!object || object->fd() < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped || (!buffer && to_write)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const char* data = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < to_write) {
    ssize_t n = write(object->fd(), data + done, to_write - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      SetLastError(ErrnoToError(errno));
      if (written)
        *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written)
    *written = done;
  return TRUE;
}
