// A ZIP archive read from memory (stored or deflated entries) with minizip.
// Not thread-safe; the skin archive is used on the UI thread.
#ifndef DUILIB_ZIP_ARCHIVE_H_
#define DUILIB_ZIP_ARCHIVE_H_

#include <map>
#include <string>
#include <vector>

namespace DuiLib {

struct ZipMemory {
  const unsigned char* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
};

class CZipArchive {
 public:
  CZipArchive();
  ~CZipArchive();
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  // The bytes must outlive the archive. False when they are not a ZIP.
  bool Open(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  // Entry names as stored (forward slashes), in archive order.
  std::vector<std::string> Names() const;
  // Extracts an entry by exact name; `ignore_case` allows a case-insensitive
  // match when no exact one exists. False when missing or damaged.
  bool Read(const std::string& name, std::string* out, bool ignore_case = false);

 private:
  struct Position {
    unsigned long long pos_in_zip_directory;
    unsigned long long num_of_file;
  };
  ZipMemory memory_;
  void* handle_ = nullptr;
  std::vector<std::string> names_;
  std::map<std::string, Position> index_;
  std::map<std::string, std::string> lower_index_;
};

}  // namespace DuiLib

#endif  // DUILIB_ZIP_ARCHIVE_H_
