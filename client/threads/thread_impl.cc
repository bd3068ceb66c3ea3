#include "client/threads/thread_impl.h"

#include "base/logging.h"
#include "client/threads/threads_globals.h"

namespace {

// Indexed by identifier. The UI entry is not used: the main thread is named
// after its loop ("RixMainThread").
const char* const kThreadNames[ThreadsManager::ID_COUNT] = {
    "UIThread",
    "FileThread",
    "IOThread",
    "DownloadThread",
};

const char* NameFor(ThreadsManager::ID identifier) {
  return identifier >= 0 && identifier < ThreadsManager::ID_COUNT ? kThreadNames[identifier]
                                                                  : "UnknownThread";
}

}  // namespace

ThreadImpl::ThreadImpl(ID identifier) : base::Thread(NameFor(identifier)), identifier_(identifier) {
  Register();
}

ThreadImpl::ThreadImpl(ID identifier, base::MessageLoop* message_loop)
    : base::Thread(message_loop->thread_name()), identifier_(identifier) {
  set_message_loop(message_loop);
  Register();
}

void ThreadImpl::Register() {
  ThreadsManagerGlobals& globals = GetThreadsManagerGlobals();
  AcquireThreadsManagerLock(globals);
  DCHECK(identifier_ >= 0 && identifier_ < ID_COUNT);
  if (identifier_ >= 0 && identifier_ < ID_COUNT) {
    DCHECK(globals.threads[identifier_] == NULL);
    // A second object for a taken identifier is left out of the table, so
    // the first registration stays intact.
    if (globals.threads[identifier_].load(std::memory_order_relaxed) == nullptr)
      globals.threads[identifier_].store(this, std::memory_order_release);
  }
  globals.lock.Release();
}

ThreadImpl::~ThreadImpl() {
  // Stop first: the thread's queued tasks may still look itself up.
  Stop();
  ThreadsManagerGlobals& globals = GetThreadsManagerGlobals();
  AcquireThreadsManagerLock(globals);
  if (identifier_ >= 0 && identifier_ < ID_COUNT &&
      globals.threads[identifier_].load(std::memory_order_relaxed) == this)
    globals.threads[identifier_].store(nullptr, std::memory_order_release);
  globals.lock.Release();
  // A wrapped loop belongs to its thread, not to this object.
  set_message_loop(nullptr);
}

void ThreadImpl::Init() {}

void ThreadImpl::CleanUp() {
  GetThreadsManagerGlobals();
}

void ThreadImpl::Run(base::MessageLoop* message_loop) {
  ID thread_id;
  if (!GetCurrentThreadIdentifier(&thread_id)) {
    base::Thread::Run(message_loop);
    return;
  }
  RunForIdentifier(thread_id, message_loop);
}

void ThreadImpl::RunWithIdentifierForTesting(ID identifier, base::MessageLoop* message_loop) {
  RunForIdentifier(identifier, message_loop);
}

void ThreadImpl::RunForIdentifier(ID identifier, base::MessageLoop* message_loop) {
  switch (identifier) {
    case UI:
      return UIThreadRun(message_loop);
    case FILE:
      return FileThreadRun(message_loop);
    case IO:
      return IOThreadRun(message_loop);
    case DOWNLOAD:
      message_loop->Run();
      return;
    case ID_COUNT:
      CHECK(false);
      break;
  }
  // Not a named thread at all: the loop still runs.
  message_loop->Run();
}

__attribute__((noinline)) void ThreadImpl::UIThreadRun(base::MessageLoop* message_loop) {
  volatile int line_number = __LINE__;
  message_loop->Run();
  CHECK(line_number > 0);
}

__attribute__((noinline)) void ThreadImpl::FileThreadRun(base::MessageLoop* message_loop) {
  volatile int line_number = __LINE__;
  message_loop->Run();
  CHECK(line_number > 0);
}

__attribute__((noinline)) void ThreadImpl::IOThreadRun(base::MessageLoop* message_loop) {
  volatile int line_number = __LINE__;
  message_loop->Run();
  CHECK(line_number > 0);
}
