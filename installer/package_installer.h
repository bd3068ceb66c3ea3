// Lays a new program directory over an old one. Each file is written beside
// its target under a private temporary name and renamed over it, so a program
// that is running keeps its old file and never sees a half-written one.
#ifndef INSTALLER_PACKAGE_INSTALLER_H_
#define INSTALLER_PACKAGE_INSTALLER_H_

#include <string>

namespace tern_install {

// The relative path of a package entry when it is safe to lay under the
// target ("a/b.exe"); "" for absolute paths, "..", empty or "." components.
std::string SafeEntryPath(const std::string& name);

// Writes |bytes| to |target_root|/|relative| with |mode| by temporary file and
// rename; creates the folders on the way. Never follows a symbolic link on
// the way (a linked folder is an error). False with |error| set otherwise.
bool PlaceFile(const std::string& target_root,
               const std::string& relative,
               const std::string& bytes,
               unsigned mode,
               std::string* error);

// Lays every file of the ZIP archive at |archive_path| (which may carry a
// program in front of it, as a self-extracting installer does) under
// |target_root|. Unix modes stored in the archive are kept. |files| counts
// the files laid. False at the first failure.
bool InstallFromArchive(const std::string& archive_path,
                        const std::string& target_root,
                        int* files,
                        std::string* error);

// The same from a folder: its regular files, recursively; links are skipped.
bool InstallFromDirectory(const std::string& source_root,
                          const std::string& target_root,
                          int* files,
                          std::string* error);

}  // namespace tern_install

#endif  // INSTALLER_PACKAGE_INSTALLER_H_
