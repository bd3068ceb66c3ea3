#include "uninstal/self_delete_script.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/logging.h"
#include "win32/file.h"

extern char** environ;

namespace {

// A shell word that stands for |text| whatever it holds.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string TempFolder() {
  char buffer[4096] = {};
  DWORD length = GetTempPathA(sizeof(buffer), buffer);
  if (length == 0 || length >= sizeof(buffer))
    return "/tmp/";
  return std::string(buffer, length);
}

}  // namespace

std::string SelfDeleteScriptText(pid_t pid,
                                 const std::string& program,
                                 const std::string& program_dir,
                                 const std::string& script,
                                 const std::string& script_dir) {
  return "#!/bin/sh\n"
         "# Removes the uninstaller once it has exited.\n"
         "tries=0\n"
         "while kill -0 " +
         std::to_string(pid) +
         " 2>/dev/null && [ \"$tries\" -lt 600 ]; do\n"
         "  sleep 0.1\n"
         "  tries=$((tries + 1))\n"
         "done\n"
         "rm -f -- " +
         Quote(program) + "\nrm -f -- " + Quote(program_dir + "/DuiLib.dll") + "\nrmdir -- " +
         Quote(program_dir) + "\nrm -f -- " + Quote(script) + "\nrmdir -- " + Quote(script_dir) +
         "\n";
}

bool StartSelfDeleteScript(const std::string& program, const std::string& program_dir) {
  std::string folder = TempFolder() + "tern-uninstall-XXXXXX";
  if (!mkdtemp(folder.data())) {
    PLOG(ERROR) << "Cannot create a private folder for the self-delete script";
    return false;
  }
  const std::string script = folder + "/uninstallself.sh";
  int fd = open(script.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0) {
    PLOG(ERROR) << "Cannot create " << script;
    rmdir(folder.c_str());
    return false;
  }
  std::string text = SelfDeleteScriptText(getpid(), program, program_dir, script, folder);
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = close(fd) == 0 && written;

  pid_t child = -1;
  int started = -1;
  if (written) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int stream = 0; stream < 3; ++stream)
      posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", stream ? O_WRONLY : O_RDONLY,
                                       0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string shell = "/bin/sh";
    char* argv[] = {shell.data(), const_cast<char*>(script.c_str()), nullptr};
    started = posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  if (!written || started != 0) {
    LOG(ERROR) << "Cannot start the self-delete script";
    unlink(script.c_str());
    rmdir(folder.c_str());
    return false;
  }
  LOG(INFO) << "Self-delete script " << script << " started (pid " << child << ")";
  return true;
}
