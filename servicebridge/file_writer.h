#ifndef SERVICEBRIDGE_FILE_WRITER_H_
#define SERVICEBRIDGE_FILE_WRITER_H_

#include <string>
#include <string_view>

namespace servicebridge {

// Replaces the file at `path` with exactly `contents`. Written to a temporary
// file beside it and renamed over it, so a reader never sees half a file and
// a failed write leaves the old one. The file is readable by its owner
// only: it holds a token or a key. Returns false on failure.
bool WriteFileReplacing(const std::string& path, std::string_view contents);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_FILE_WRITER_H_
