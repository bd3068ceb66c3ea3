#include "uninstal/tree_remover.h"

#include <sys/stat.h>
#include <unistd.h>

#include "win32/code_page.h"
#include "win32/file.h"
#include "win32/handle.h"

void RemoveTree(const std::wstring& folder, const std::wstring& keep) {
  WIN32_FIND_DATAW found = {};
  HANDLE find = FindFirstFileW((folder + L"/*.*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring path = folder + L"/" + name;
      if (path == keep)
        continue;
      // The file search reports a linked folder as a folder; the link alone
      // goes, never what it points to.
      struct stat st;
      std::string narrow = win32::WideToUtf8(path);
      if (lstat(narrow.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        unlink(narrow.c_str());
        continue;
      }
      if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path, keep);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}
