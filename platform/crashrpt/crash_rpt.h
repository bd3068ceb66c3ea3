// The crash reporter. crInstall() catches the fatal signals (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT) on an alternate stack. When one arrives, the
// handler only does what is safe inside a signal handler: it records the
// signal, the faulting address and the raw return addresses of the faulting
// thread, runs the crash callback's stages, and hands everything to the crash
// sender ("tern-crash-sender", a separate program). The sender symbolises the
// backtrace, reads the other threads' names, the loaded modules and the last
// lines of the log, and writes a report folder under the save folder:
//   <save folder>/<app name>_<YYYYMMDD-HHMMSS>_<pid>/report.txt
// (written under a temporary name and renamed when complete). It then appends
// the callback's log lines to the log file and shows its message box, on the
// crashed program's behalf, so that a lock the crashed thread held (the log's,
// the allocator's, the window system's) cannot block them. Every wait is
// bounded: the whole report has 30 seconds, after which the process ends; a
// second fatal signal while reporting ends the process at once. The process
// always ends by the original signal after the report.
//
// Paths may use "\" or "/" separators.
#ifndef CRASHRPT_CRASH_RPT_H_
#define CRASHRPT_CRASH_RPT_H_

#include <stdint.h>
#include <wchar.h>

// The installation record. Fields left zero take the defaults given.
struct CrInstallInfo {
  uint32_t size;                     // sizeof(CrInstallInfo)
  const wchar_t* app_name;           // e.g. "Tern"; null: the program's file name
  const wchar_t* app_version;        // e.g. "1.1.4"; null: ""
  const wchar_t* email_to;           // recorded in the report only
  const wchar_t* email_subject;      // recorded in the report only
  const wchar_t* upload_url;         // recorded only; reports are never sent
  const wchar_t* crash_sender_path;  // folder holding tern-crash-sender (a path
                                     // ending in a separator or naming a folder),
                                     // or the sender program itself; null: the
                                     // program's own folder
  uint32_t flags;                    // CR_INST_* below
  uint32_t minidump_type;            // recorded only (no minidumps here)
  const wchar_t* save_dir;           // where report folders go; null: the program
                                     // folder + "/coredump"; created when missing
  const wchar_t* log_file;           // the log whose last lines are reported and
                                     // that receives the callback's lines; null: none
};

// Any of these bits installs the handlers of all five fatal signals.
#define CR_INST_ALL_POSSIBLE_HANDLERS 0x1FFF
// Keep reports in the save folder only (there is no sending at all here).
#define CR_INST_DONT_SEND_REPORT 0x8000

// Stages of the crash callback.
#define CR_CB_STAGE_PREPARE 10  // the crash's details have been collected
#define CR_CB_STAGE_FINISH 20   // the report has been written (or failed)

// Results of the crash callback.
#define CR_CB_DODEFAULT 0
#define CR_CB_CANCEL 1  // no report is written (stage 10 only)
#define CR_CB_NOTIFY_NEXT_STAGE 2

// What the callback is told.
struct CrCrashCallbackInfo {
  uint32_t size;      // sizeof(CrCrashCallbackInfo)
  int stage;          // CR_CB_STAGE_*
  int signal_number;  // SIGSEGV, ...
  const void* fault_address;
  void* user_param;           // as given to crSetCrashCallback
  const char* report_folder;  // stage 20: the report folder ("" if none was written)
};

// Called on the crashed thread inside the signal handler: it must not take
// locks, allocate or log through the program's logger. It writes log lines and
// shows its message box through crLogCrashLine() and crShowCrashMessage(),
// which the crash sender carries out. Returns CR_CB_*.
typedef int (*CrCrashCallback)(CrCrashCallbackInfo* info);

// Installs the handlers for the process (and an alternate signal stack for the
// calling thread). 0 on success; otherwise non-zero and crGetLastErrorMsg()
// says why (a bad record, no crash sender at the path, a save folder that
// cannot be made, already installed).
int crInstall(const CrInstallInfo* info);
// Restores the previous handlers. 0 on success, 1 when not installed.
int crUninstall();
// Gives the calling thread an alternate signal stack of its own, so that a
// stack overflow on it is reported too. 0 on success.
int crInstallToCurrentThread();
// The text of the last error of the calling thread ("Success." when there is
// none), cut to |size| characters including the terminating 0. Returns the
// number of characters written without the 0, or -1 for a null buffer or size 0.
int crGetLastErrorMsg(wchar_t* buffer, uint32_t size);
// Sets the crash callback (also before or after a failed crInstall; it is
// used once the handlers are installed). A null callback removes it. 0.
int crSetCrashCallback(CrCrashCallback callback, void* user_param);

// Only inside the crash callback at stage 10 (async-signal-safe). Queues one
// error line
// (at most 1024 bytes in UTF-8; line breaks become blanks; at most 16 lines)
// that the crash sender appends to the log file. 0, or -1 outside a crash or
// when the queue is full.
int crLogCrashLine(const wchar_t* text);
// Only inside the crash callback at stage 10 (async-signal-safe). Asks the
// crash sender
// to show a message box (MB_* type) once the report is written; the box
// closes itself after 5 minutes. The last call wins. 0, or -1 outside a crash.
int crShowCrashMessage(const wchar_t* text, const wchar_t* caption, uint32_t type);

// The crash sender's file name, looked up in crash_sender_path.
#define CR_CRASH_SENDER_NAME "tern-crash-sender"

#endif  // CRASHRPT_CRASH_RPT_H_
