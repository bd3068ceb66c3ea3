// Kernel-object handles shared by the areas of this layer (pipes, processes,
// mutexes, snapshots). Not for programs: they use CloseHandle & co.
#ifndef WIN32_HANDLE_INTERNAL_H_
#define WIN32_HANDLE_INTERNAL_H_

#include <memory>
#include <vector>

#include "win32/types.h"

namespace win32 {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (with the last error set).
  virtual DWORD Wait(DWORD milliseconds);
  // The descriptor behind the object, -1 when there is none.
  virtual int fd() const { return -1; }
};

// Each HANDLE holds one reference; objects die with their last handle.
HANDLE AddHandle(std::shared_ptr<KernelObject> object, bool inherit);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle, bool* inherit = nullptr);
bool RemoveHandle(HANDLE handle);
bool SetHandleInherit(HANDLE handle, bool inherit);
// The descriptors of every inheritable handle (for CreateProcessW).
void InheritableDescriptors(std::vector<int>* fds);

}  // namespace win32

#endif  // WIN32_HANDLE_INTERNAL_H_
