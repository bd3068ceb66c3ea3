#include "client/app/starter_loop.h"

#include "base/logging.h"
#include "base/platform_thread.h"
#include "base/thread_restrictions.h"
#include "client/notification/notification_service_impl.h"
#include "client/threads/thread_impl.h"

namespace {

StarterLoop* g_current = nullptr;

constexpr char kMainThreadName[] = "RixMainThread";

void AllowIOOnThisThread() {
  base::ThreadRestrictions::SetIOAllowed(true);
}

}  // namespace

StarterLoop::StarterLoop(Delegate* delegate) : delegate_(delegate) {
  DCHECK(!g_current);
  g_current = this;
}

StarterLoop::~StarterLoop() {
  // Explicit, so the order does not hang on member declaration order alone.
  download_thread_.reset();
  io_thread_.reset();
  file_thread_.reset();
  ui_thread_.reset();
  main_message_loop_.reset();
  notification_service_.reset();
  if (g_current == this)
    g_current = nullptr;
}

// static
StarterLoop* StarterLoop::current() {
  return g_current;
}

void StarterLoop::Run() {
  delegate_->OnStartup();
  SetUpMainLoop();
  delegate_->OnMessageLoopReady();
  result_code_ = StartThreads();
  delegate_->OnThreadsStarted();
  base::ThreadRestrictions::SetIOAllowed(false);
  base::ThreadRestrictions::DisallowWaiting();
  delegate_->OnBeforeRun();
  RunLoop();
  delegate_->OnAfterRun();
  delegate_->OnBeforeShutdown();
  ShutdownThreadsAndCleanUp();
  delegate_->OnThreadsStopped();
}

void StarterLoop::SetUpMainLoop() {
  notification_service_ = std::make_unique<NotificationServiceImpl>();
  base::MessageLoop* loop = base::MessageLoopForUI::current();
  if (!loop) {
    main_message_loop_ = std::make_unique<base::MessageLoopForUI>();
    loop = main_message_loop_.get();
  }
  base::PlatformThread::SetName(kMainThreadName);
  loop->set_thread_name(kMainThreadName);
  ui_thread_ = std::make_unique<ThreadImpl>(ThreadsManager::UI, loop);
}

int StarterLoop::StartThreads() {
  file_thread_ = std::make_unique<ThreadImpl>(ThreadsManager::FILE);
  file_thread_->StartWithOptions(base::Thread::Options(base::MessageLoop::TYPE_UI, 0));
  io_thread_ = std::make_unique<ThreadImpl>(ThreadsManager::IO);
  io_thread_->StartWithOptions(base::Thread::Options(base::MessageLoop::TYPE_IO, 0));
  download_thread_ = std::make_unique<ThreadImpl>(ThreadsManager::DOWNLOAD);
  download_thread_->StartWithOptions(base::Thread::Options(base::MessageLoop::TYPE_IO, 0));
  threads_created_ = true;
  return result_code_;
}

void StarterLoop::RunLoop() {
  base::MessageLoopForUI* loop = base::MessageLoopForUI::current();
  if (loop) {
    if (dispatcher_)
      loop->RunWithDispatcher(dispatcher_);
    else
      loop->Run();
  }
}

void StarterLoop::ShutdownThreadsAndCleanUp() {
  if (!threads_created_)
    return;
  threads_created_ = false;
  base::ThreadRestrictions::SetIOAllowed(true);
  base::ThreadRestrictions::SetWaitAllowed(true);
  ThreadsManager::PostTask(
      ThreadsManager::IO,
      FROM_HERE_WITH_EXPLICIT_FUNCTION("StarterLoop::ShutdownThreadsAndCleanUp"),
      base::OnceClosure(&AllowIOOnThisThread));
  download_thread_.reset();
  io_thread_.reset();
  file_thread_.reset();
  ThreadsManager::ShutdownBlockingPool();
}
