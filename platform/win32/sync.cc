#include "win32/sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "machine/machine_root.h"
#include "win32/code_page.h"
#include "win32/handle_internal.h"
#include "win32/last_error.h"

namespace {

// How often a bounded wait looks at a lock held by another process: flock
// has no time-out of its own. Unbounded waits block in flock instead.
constexpr auto kCrossProcessPoll = std::chrono::milliseconds(10);

int OpenLockFile(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

bool Flock(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR)
      return false;
  }
  return true;
}

class MutexObject : public win32::KernelObject {
 public:
  MutexObject(std::string key, int exists_fd, int owner_fd)
      : key_(std::move(key)), exists_fd_(exists_fd), owner_fd_(owner_fd) {}
  ~MutexObject() override;

  DWORD Wait(DWORD milliseconds) override {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(mutex_);
    std::thread::id self = std::this_thread::get_id();
    if (count_ > 0 && owner_ == self) {
      ++count_;
      return WAIT_OBJECT_0;
    }
    auto free = [this] { return count_ == 0; };
    if (milliseconds == INFINITE) {
      cv_.wait(lock, free);
    } else if (!cv_.wait_until(lock, deadline, free)) {
      return WAIT_TIMEOUT;
    }
    owner_ = self;
    count_ = 1;
    if (owner_fd_ < 0)
      return WAIT_OBJECT_0;
    lock.unlock();
    bool got = false;
    if (milliseconds == INFINITE) {
      got = Flock(owner_fd_, LOCK_EX);
    } else {
      for (;;) {
        if (flock(owner_fd_, LOCK_EX | LOCK_NB) == 0) {
          got = true;
          break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
          break;
        std::this_thread::sleep_for(kCrossProcessPoll);
      }
    }
    if (got)
      return WAIT_OBJECT_0;
    lock.lock();
    count_ = 0;
    cv_.notify_all();
    return milliseconds == INFINITE ? WAIT_FAILED : WAIT_TIMEOUT;
  }

  bool Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0 || owner_ != std::this_thread::get_id())
      return false;
    if (--count_ == 0) {
      if (owner_fd_ >= 0)
        Flock(owner_fd_, LOCK_UN);
      cv_.notify_all();
    }
    return true;
  }

 private:
  const std::string key_;
  const int exists_fd_;
  const int owner_fd_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::thread::id owner_;
  int count_ = 0;
};

std::mutex g_named_mutex;
std::map<std::string, std::weak_ptr<MutexObject>>& NamedMutexes() {
  static std::map<std::string, std::weak_ptr<MutexObject>> named;
  return named;
}

MutexObject::~MutexObject() {
  if (exists_fd_ >= 0)
    close(exists_fd_);
  if (owner_fd_ >= 0)
    close(owner_fd_);  // an abandoned ownership goes with it
  std::lock_guard<std::mutex> lock(g_named_mutex);
  auto it = NamedMutexes().find(key_);
  if (it != NamedMutexes().end() && it->second.expired())
    NamedMutexes().erase(it);
}

// A file name for any mutex name (names may hold "\" and any character).
std::string FileStem(const std::string& folded) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : folded.substr(0, 90)) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  if (folded.size() > 90)
    hex += "-" + std::to_string(std::hash<std::string>()(folded));
  return hex;
}

}  // namespace

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCWSTR name) {
  bool inherit = attributes && attributes->bInheritHandle;
  if (!name || !*name) {
    auto object = std::make_shared<MutexObject>(std::string(), -1, -1);
    if (initial_owner)
      object->Wait(INFINITE);
    SetLastError(ERROR_SUCCESS);
    return win32::AddHandle(object, inherit);
  }
  std::string key = machine::FoldCase(win32::WideToUtf8(name));
  std::unique_lock<std::mutex> lock(g_named_mutex);
  if (auto existing = NamedMutexes()[key].lock()) {
    lock.unlock();
    SetLastError(ERROR_ALREADY_EXISTS);
    return win32::AddHandle(existing, inherit);
  }
  std::string root = machine::EnsureRootDirectory();
  std::string dir = root + "/mutex";
  if (root.empty() || (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  std::string stem = dir + "/" + FileStem(key);
  int guard = OpenLockFile(stem + ".guard");
  int exists = OpenLockFile(stem + ".exists");
  int owner = OpenLockFile(stem + ".owner");
  if (guard < 0 || exists < 0 || owner < 0) {
    for (int fd : {guard, exists, owner}) {
      if (fd >= 0)
        close(fd);
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Deciding "new or existing" and joining the holders happen under the
  // guard, so two processes never both see a new object.
  Flock(guard, LOCK_EX);
  bool is_new = flock(exists, LOCK_EX | LOCK_NB) == 0;
  Flock(exists, LOCK_SH);
  close(guard);
  auto object = std::make_shared<MutexObject>(key, exists, owner);
  NamedMutexes()[key] = object;
  lock.unlock();
  if (is_new && initial_owner)
    object->Wait(INFINITE);
  SetLastError(is_new ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return win32::AddHandle(object, inherit);
}

BOOL ReleaseMutex(HANDLE mutex) {
  auto object = std::dynamic_pointer_cast<MutexObject>(win32::LookUpHandle(mutex));
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!object->Release()) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}
