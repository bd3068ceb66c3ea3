// The script that removes the uninstaller after it has exited.
#ifndef UNINSTAL_SELF_DELETE_SCRIPT_H_
#define UNINSTAL_SELF_DELETE_SCRIPT_H_

#include <sys/types.h>

#include <string>

// The script's text: wait (bounded, about a minute) until process |pid| has
// ended, then delete |program| (the uninstaller), the UI library file
// "DuiLib.dll" beside it if any and the (then empty) folder |program_dir|,
// and finally the script |script| and its private folder |script_dir|.
std::string SelfDeleteScriptText(pid_t pid,
                                 const std::string& program,
                                 const std::string& program_dir,
                                 const std::string& script,
                                 const std::string& script_dir);

// Creates a private folder (mode 0700, a fresh name) in the temporary folder,
// writes the script there as "uninstallself.sh" (created exclusively, never
// through a link) and starts it with /bin/sh, detached, in a session of its
// own, its standard streams on /dev/null. False when any step fails; nothing
// is left behind then.
bool StartSelfDeleteScript(const std::string& program, const std::string& program_dir);

#endif  // UNINSTAL_SELF_DELETE_SCRIPT_H_
