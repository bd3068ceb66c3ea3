// Ending another program of the product by its file name.
#ifndef INSTALLER_PROCESS_ENDING_H_
#define INSTALLER_PROCESS_ENDING_H_

#include <string>

namespace tern_install {

// Walks the process list and terminates (exit code 0) the first process whose
// file name equals |name| without regard to case and whose program file lies
// in |program_dir|: a client of another installation, or of another user, is
// not ours to end. Nothing is waited for. True when one was terminated.
bool KillProcessByName(const std::wstring& name, const std::wstring& program_dir);

// The directory of the running program, without a trailing "/".
std::wstring OwnProgramDirectory();

}  // namespace tern_install

#endif  // INSTALLER_PROCESS_ENDING_H_
