// Decides whether a folder may be removed as the product's installation.
#ifndef UNINSTAL_INSTALL_DIR_GUARD_H_
#define UNINSTAL_INSTALL_DIR_GUARD_H_

#include <string>

// The installation folder named by an "UninstallString" value: the text up
// to and including its last "/", "" when it has none.
std::wstring InstallDirFromUninstallString(const std::wstring& uninstall_string);

// True when |install_dir| is the uninstaller's own folder |own_dir| (the
// same folder on disk), holds this product's programs (Uninstal.exe and
// rix.exe as regular files), and is neither a file-system root nor anyone's
// home folder. Otherwise false with the reason in |why|. A value like
// "/Uninstal.exe", or one pointing into a home folder, must never make the
// uninstaller delete more than the product.
bool IsRemovableInstallDir(const std::string& install_dir,
                           const std::string& own_dir,
                           std::string* why);

#endif  // UNINSTAL_INSTALL_DIR_GUARD_H_
