# The client's version text. TERN_CLIENT_VERSION is what this build's rix.exe
# reports; the update package (installer/package) carries a client stamped
# with TERN_PACKAGE_VERSION instead.
#
# The text sits in the section ".tern_version" of the program, 32 bytes, so
# the packaging stamps a copy of the built client with objcopy instead of
# building it twice. Code reads it through tern_client_version:
#   #include "tern/client_version.h"   ClientVersionText() -> "1.1.4"
include_guard(GLOBAL)

set(TERN_CLIENT_VERSION "1.1.4" CACHE STRING "The client's version text")
set(TERN_PACKAGE_VERSION "1.1.5" CACHE STRING "The client version the update package carries")
foreach(v TERN_CLIENT_VERSION TERN_PACKAGE_VERSION)
  string(LENGTH "${${v}}" length)
  if(length EQUAL 0 OR length GREATER 31 OR NOT "${${v}}" MATCHES "^[0-9A-Za-z._-]+$")
    message(FATAL_ERROR "${v} must be 1 to 31 characters of [0-9A-Za-z._-]")
  endif()
endforeach()

set(tern_version_dir ${CMAKE_BINARY_DIR}/generated/tern)
file(MAKE_DIRECTORY ${tern_version_dir})
file(WRITE ${tern_version_dir}/client_version.h.in
"// Generated from TERN_CLIENT_VERSION; do not edit.
#ifndef TERN_CLIENT_VERSION_H_
#define TERN_CLIENT_VERSION_H_

// The client's version text (\"1.1.4\"). Read it through this call only: a
// packaged client carries another text stamped into its section.
const char* ClientVersionText();

#endif  // TERN_CLIENT_VERSION_H_
")
file(WRITE ${tern_version_dir}/client_version.cc.in
"// Generated from TERN_CLIENT_VERSION; do not edit.
#include \"tern/client_version.h\"

// Kept in a section of its own so the packaging can stamp another version.
__attribute__((section(\".tern_version\"), used)) const char kTernClientVersion[32] =
    \"@TERN_CLIENT_VERSION@\";

const char* ClientVersionText() {
  // Read through a volatile pointer so no caller gets a folded copy.
  const char* volatile text = kTernClientVersion;
  return text;
}
")
configure_file(${tern_version_dir}/client_version.h.in ${tern_version_dir}/client_version.h COPYONLY)
configure_file(${tern_version_dir}/client_version.cc.in ${tern_version_dir}/client_version.cc @ONLY)

add_library(tern_client_version STATIC ${tern_version_dir}/client_version.cc)
target_include_directories(tern_client_version PUBLIC ${CMAKE_BINARY_DIR}/generated)
