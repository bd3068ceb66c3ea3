#include "base/scoped_temp_dir.h"

#include <stdlib.h>

#include <string>
#include <system_error>

#include "base/logging.h"

namespace base {

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty() && !Delete())
    LOG(WARNING) << "Could not delete temporary folder " << path_.string();
}

bool ScopedTempDir::CreateUniqueTempDir() {
  const char* tmp = getenv("TMPDIR");
  return CreateUniqueTempDirUnderPath(tmp && *tmp ? tmp : "/tmp");
}

bool ScopedTempDir::CreateUniqueTempDirUnderPath(const std::filesystem::path& base_path) {
  if (!path_.empty())
    return false;
  std::string pattern = (base_path / "tern.XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    return false;
  path_ = pattern;
  return true;
}

bool ScopedTempDir::Set(const std::filesystem::path& path) {
  if (!path_.empty() || path.empty())
    return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (!std::filesystem::is_directory(path, ec))
    return false;
  path_ = path;
  return true;
}

bool ScopedTempDir::Delete() {
  if (path_.empty())
    return false;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (ec && std::filesystem::exists(path_))
    return false;
  path_.clear();
  return true;
}

std::filesystem::path ScopedTempDir::Take() {
  std::filesystem::path taken = path_;
  path_.clear();
  return taken;
}

}  // namespace base
