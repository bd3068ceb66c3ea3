// Where the emulated machine lives on disk.
#ifndef MACHINE_MACHINE_ROOT_H_
#define MACHINE_MACHINE_ROOT_H_

#include <string>
#include <string_view>

namespace machine {

// The machine root: $TERN_MACHINE_ROOT when set and not empty, else
// $XDG_STATE_HOME/tern-machine, else $HOME/.local/state/tern-machine. Read
// from the environment on every call so that tests can switch roots.
std::string RootDirectory();

// RootDirectory(), created (with its parents) when missing. Empty when the
// directory cannot be created.
std::string EnsureRootDirectory();

// Case folding used wherever Windows compares names without regard to case
// (registry paths, service names, ...): UTF-8 in, UTF-8 out.
std::string FoldCase(std::string_view utf8);

}  // namespace machine

#endif  // MACHINE_MACHINE_ROOT_H_
