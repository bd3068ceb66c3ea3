#include "servicebridge/file_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>

namespace servicebridge {

bool WriteFileReplacing(const std::string& path, std::string_view contents) {
  static std::atomic<unsigned> counter{0};
  std::string temporary =
      path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  bool ok = true;
  size_t written = 0;
  while (ok && written < contents.size()) {
    ssize_t n = write(fd, contents.data() + written, contents.size() - written);
    if (n > 0)
      written += static_cast<size_t>(n);
    else if (n < 0 && errno == EINTR)
      continue;
    else
      ok = false;
  }
  if (close(fd) != 0)
    ok = false;
  if (ok && rename(temporary.c_str(), path.c_str()) != 0)
    ok = false;
  if (!ok)
    unlink(temporary.c_str());
  return ok;
}

}  // namespace servicebridge
