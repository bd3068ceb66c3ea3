#ifndef BASE_SCOPED_TEMP_DIR_H_
#define BASE_SCOPED_TEMP_DIR_H_

#include <filesystem>

namespace base {

// Owns a unique folder and deletes it with everything in it when it goes out
// of scope. Meant for tests of every area.
class ScopedTempDir {
 public:
  ScopedTempDir() = default;
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  ~ScopedTempDir();

  // Under $TMPDIR (or /tmp). False if a folder is already owned or creation
  // failed.
  bool CreateUniqueTempDir();
  bool CreateUniqueTempDirUnderPath(const std::filesystem::path& base_path);
  // Takes ownership of an existing folder, creating it if needed.
  bool Set(const std::filesystem::path& path);
  // Deletes the folder now; true when nothing is left.
  bool Delete();
  // Gives up ownership without deleting.
  std::filesystem::path Take();

  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& GetPath() const { return path_; }
  bool IsValid() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
};

}  // namespace base

#endif  // BASE_SCOPED_TEMP_DIR_H_
