// Installer.exe: lays the product's program directory and registers it.
//
//   Installer.exe [--from DIR] [--version V] PROGRAM_DIR
//
// Without --from the files come from the package appended to this program
// (the update package the updater downloads and starts with the program
// directory). Then the uninstall registration is written and the shortcuts
// are made. Exit status 0 when everything was laid, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "installer/package_installer.h"
#include "installer/product_layout.h"
#include "win32/code_page.h"
#include "win32/module.h"

#ifndef TERN_PACKAGE_VERSION
#error "TERN_PACKAGE_VERSION names the client version the package carries"
#endif

namespace {

int Usage() {
  std::fprintf(stderr, "usage: Installer.exe [--from DIR] [--version V] PROGRAM_DIR\n");
  return 2;
}

// In the file system's own bytes (UTF-8), not the ANSI code page.
std::string OwnPath() {
  wchar_t path[4096] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  return win32::WideToUtf8(std::wstring(path, length));
}

}  // namespace

int main(int argc, char** argv) {
  std::string from;
  std::string version = TERN_PACKAGE_VERSION;
  std::string target;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--from" || arg == "--version") && i + 1 < argc) {
      (arg == "--from" ? from : version) = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && target.empty()) {
      target = arg;
    } else {
      return Usage();
    }
  }
  if (target.empty())
    return Usage();
  std::error_code ec;
  std::filesystem::path root = std::filesystem::absolute(target, ec).lexically_normal();
  std::string root_text = root.string();
  while (root_text.size() > 1 && root_text.back() == '/')
    root_text.pop_back();
  if (ec || root_text == "/") {
    std::fprintf(stderr, "Installer: refusing to install into %s\n", target.c_str());
    return 1;
  }
  std::filesystem::create_directories(root_text, ec);

  int files = 0;
  std::string error;
  bool laid = from.empty() ? tern_install::InstallFromArchive(OwnPath(), root_text, &files, &error)
                           : tern_install::InstallFromDirectory(from, root_text, &files, &error);
  if (!laid || files == 0) {
    std::fprintf(stderr, "Installer: %s\n", error.empty() ? "the package is empty" : error.c_str());
    return 1;
  }
  std::wstring dir = win32::Utf8ToWide(root_text);
  bool registered = tern_install::WriteUninstallRegistration(dir, win32::Utf8ToWide(version));
  bool linked = tern_install::CreateShortcuts(dir);
  std::printf("Installer: %d files of version %s laid in %s%s%s\n", files, version.c_str(),
              root_text.c_str(), registered ? "" : "; the registration failed",
              linked ? "" : "; the shortcuts failed");
  return registered && linked ? 0 : 1;
}
