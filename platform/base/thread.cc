#include "base/thread.h"

#include "base/logging.h"

namespace base {

Thread::Thread(const std::string& name) : name_(name) {}

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  return StartWithOptions(Options());
}

bool Thread::StartWithOptions(const Options& options) {
  DCHECK(!started_) << "thread " << name_ << " started twice";
  if (started_)
    return false;
  options_ = options;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    loop_ready_ = false;
  }
  if (!PlatformThread::Create(options.stack_size, this, &handle_)) {
    LOG(ERROR) << "failed to create thread " << name_;
    return false;
  }
  started_ = true;
  stopping_ = false;
  std::unique_lock<std::mutex> hold(mutex_);
  started_cv_.wait(hold, [this] { return loop_ready_; });
  return true;
}

void Thread::StopSoon() {
  if (!started_ || stopping_)
    return;
  stopping_ = true;
  std::shared_ptr<MessageLoopProxy> proxy = message_loop_proxy();
  if (proxy) {
    proxy->PostTask(FROM_HERE, [] { MessageLoop::current()->Quit(); });
  }
}

void Thread::Stop() {
  if (!started_)
    return;
  DCHECK(PlatformThread::CurrentId() != thread_id_) << "a thread cannot stop itself";
  if (PlatformThread::CurrentId() == thread_id_)
    return;
  StopSoon();
  PlatformThread::Join(handle_);
  started_ = false;
  stopping_ = false;
}

std::shared_ptr<MessageLoopProxy> Thread::message_loop_proxy() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return proxy_;
}

void Thread::set_message_loop(MessageLoop* message_loop) {
  DCHECK(!started_);
  message_loop_.store(message_loop, std::memory_order_release);
  std::lock_guard<std::mutex> hold(mutex_);
  proxy_ = message_loop ? message_loop->message_loop_proxy() : nullptr;
  thread_id_ = message_loop ? PlatformThread::CurrentId() : 0;
}

void Thread::Run(MessageLoop* message_loop) {
  message_loop->Run();
}

void Thread::ThreadMain() {
  thread_id_ = PlatformThread::CurrentId();
  PlatformThread::SetName(name_.c_str());

  std::unique_ptr<MessageLoop> loop;
  switch (options_.message_loop_type) {
    case MessageLoop::TYPE_UI:
      loop = std::make_unique<MessageLoopForUI>();
      break;
    case MessageLoop::TYPE_IO:
      loop = std::make_unique<MessageLoopForIO>();
      break;
    default:
      loop = std::make_unique<MessageLoop>(MessageLoop::TYPE_DEFAULT);
      break;
  }
  loop->set_thread_name(name_);
  message_loop_.store(loop.get(), std::memory_order_release);
  {
    std::lock_guard<std::mutex> hold(mutex_);
    proxy_ = loop->message_loop_proxy();
    loop_ready_ = true;
  }
  started_cv_.notify_all();

  Init();
  running_.store(true, std::memory_order_release);
  Run(loop.get());
  running_.store(false, std::memory_order_release);
  CleanUp();

  message_loop_.store(nullptr, std::memory_order_release);
  loop.reset();
}

}  // namespace base
