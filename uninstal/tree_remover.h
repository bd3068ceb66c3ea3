// The uninstaller's recursive delete.
#ifndef UNINSTAL_TREE_REMOVER_H_
#define UNINSTAL_TREE_REMOVER_H_

#include <string>

// Deletes |folder| and what it holds: an entry whose attributes are exactly
// FILE_ATTRIBUTE_DIRECTORY is descended into, every other entry is deleted as
// a file (so a folder with any further attribute, or a read-only file,
// stays). A symbolic link is removed as a link and never followed. The file
// |keep| (the running uninstaller) is left for the self-delete script.
// Finally the folder itself is removed when it is empty. Failures leave the
// item in place.
void RemoveTree(const std::wstring& folder, const std::wstring& keep);

#endif  // UNINSTAL_TREE_REMOVER_H_
