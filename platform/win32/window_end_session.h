// Ending a window program from outside (a desktop logout, `kill`, Ctrl+C):
// SIGTERM and SIGINT close the program's windows, post the quit and let the
// normal shutdown run, as Windows does at the end of a session.
#ifndef WIN32_WINDOW_END_SESSION_H_
#define WIN32_WINDOW_END_SESSION_H_

namespace win32 {

// Called on the UI thread; later calls (from any thread) do nothing. On the
// first SIGTERM or SIGINT that thread destroys its top-level windows (owned
// and child windows first, each window's WM_DESTROY runs) and posts WM_QUIT.
// A second signal ends the process at once, for a program stuck in shutdown.
void EndSessionOnSignals();

}  // namespace win32

#endif  // WIN32_WINDOW_END_SESSION_H_
