#include "installer/package_installer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <minizip/unzip.h>

namespace tern_install {
namespace {

std::string Errno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Splits "a/b/c" into its components.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream in(path);
  std::string part;
  while (std::getline(in, part, '/'))
    parts.push_back(part);
  return parts;
}

// Makes |root|/|folders...| exist as real folders, refusing links.
bool MakeFolders(const std::string& root,
                 const std::vector<std::string>& folders,
                 std::string* error) {
  std::string path = root;
  for (const std::string& folder : folders) {
    path += "/" + folder;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        *error = path + " is not a folder";
        return false;
      }
      continue;
    }
    if (errno != ENOENT || (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)) {
      *error = Errno("cannot create", path);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string SafeEntryPath(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos)
    return {};
  std::vector<std::string> parts = Components(name);
  for (const std::string& part : parts) {
    if (part.empty() || part == "." || part == "..")
      return {};
  }
  return name;
}

bool PlaceFile(const std::string& target_root,
               const std::string& relative,
               const std::string& bytes,
               unsigned mode,
               std::string* error) {
  std::vector<std::string> parts = Components(relative);
  const std::string name = parts.back();
  parts.pop_back();
  if (!MakeFolders(target_root, parts, error))
    return false;
  std::string folder = target_root;
  for (const std::string& part : parts)
    folder += "/" + part;
  const std::string target = folder + "/" + name;
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = target + " is a folder";
    return false;
  }
  std::string temp = folder + "/." + name + ".tern-new-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = Errno("cannot create", temp);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == bytes.size() && fchmod(fd, mode & 07777) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
    *error = Errno("cannot write", target);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool InstallFromArchive(const std::string& archive_path,
                        const std::string& target_root,
                        int* files,
                        std::string* error) {
  *files = 0;
  std::error_code made;
  std::filesystem::create_directories(target_root, made);
  unzFile zip = unzOpen64(archive_path.c_str());
  if (!zip) {
    *error = archive_path + " carries no package";
    return false;
  }
  bool ok = true;
  for (int status = unzGoToFirstFile(zip); ok && status == UNZ_OK; status = unzGoToNextFile(zip)) {
    unz_file_info64 info;
    char name[1024];
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
      *error = "damaged package entry";
      ok = false;
      break;
    }
    std::string entry = name;
    if (!entry.empty() && entry.back() == '/')
      continue;  // folders are made on the way
    std::string relative = SafeEntryPath(entry);
    if (relative.empty()) {
      *error = "unsafe package entry \"" + entry + "\"";
      ok = false;
      break;
    }
    // "zip" keeps the Unix mode in the high half of the external attributes.
    unsigned mode = static_cast<unsigned>(info.external_fa >> 16) & 07777;
    if (mode == 0)
      mode = 0644;
    std::string bytes(info.uncompressed_size, '\0');
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      *error = "cannot open package entry " + entry;
      ok = false;
      break;
    }
    int read = bytes.empty()
                   ? 0
                   : unzReadCurrentFile(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
    // A CRC mismatch is reported by the close.
    int closed = unzCloseCurrentFile(zip);
    if (read != static_cast<int>(bytes.size()) || closed != UNZ_OK) {
      *error = "damaged package entry " + entry;
      ok = false;
      break;
    }
    ok = PlaceFile(target_root, relative, bytes, mode, error);
    if (ok)
      ++*files;
  }
  unzClose(zip);
  return ok;
}

bool InstallFromDirectory(const std::string& source_root,
                          const std::string& target_root,
                          int* files,
                          std::string* error) {
  namespace fs = std::filesystem;
  *files = 0;
  std::error_code ec;
  fs::create_directories(target_root, ec);
  fs::recursive_directory_iterator it(source_root, ec), end;
  if (ec) {
    *error = "cannot read " + source_root + ": " + ec.message();
    return false;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) {
      *error = "cannot read " + source_root + ": " + ec.message();
      return false;
    }
    fs::file_status status = it->symlink_status();
    if (!fs::is_regular_file(status))
      continue;
    std::string relative = fs::relative(it->path(), source_root, ec).generic_string();
    std::ifstream in(it->path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (ec || !in.is_open() || in.bad()) {
      *error = "cannot read " + it->path().string();
      return false;
    }
    if (!PlaceFile(target_root, relative, bytes, static_cast<unsigned>(status.permissions()),
                   error))
      return false;
    ++*files;
  }
  return true;
}

}  // namespace tern_install
