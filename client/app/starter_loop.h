// The client's frame: owns the notification bus, the main message loop and
// the named threads, runs the phases of a process's life in order and calls
// out to its delegate at fixed points. One per process; created, run and
// destroyed on the main thread.
#ifndef CLIENT_APP_STARTER_LOOP_H_
#define CLIENT_APP_STARTER_LOOP_H_

#include <memory>

#include "base/message_loop.h"
#include "base/message_pump_dispatcher.h"

class NotificationServiceImpl;
class ThreadImpl;

class StarterLoop {
 public:
  // The call-out points, in the order Run() reaches them.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void OnStartup() = 0;
    virtual void OnMessageLoopReady() = 0;
    virtual void OnThreadsStarted() = 0;
    virtual void OnBeforeRun() = 0;
    virtual void OnAfterRun() = 0;
    virtual void OnBeforeShutdown() = 0;
    virtual void OnThreadsStopped() = 0;
  };

  explicit StarterLoop(Delegate* delegate);
  // Releases DOWNLOAD, IO, FILE, the UI thread object, the main loop and the
  // notification bus, in that order.
  ~StarterLoop();
  StarterLoop(const StarterLoop&) = delete;
  StarterLoop& operator=(const StarterLoop&) = delete;

  // The loop of the running process, or null.
  static StarterLoop* current();

  void set_dispatcher(base::MessagePumpDispatcher* dispatcher) { dispatcher_ = dispatcher; }

  // Runs every phase to the end: start-up, main loop, shutdown.
  void Run();
  // Stops the worker threads (DOWNLOAD, IO, FILE) and the blocking pool;
  // nothing when they were never started.
  void ShutdownThreadsAndCleanUp();

  int result_code() const { return result_code_; }

 private:
  void SetUpMainLoop();
  int StartThreads();
  void RunLoop();

  Delegate* delegate_;
  int result_code_ = 0;
  bool threads_created_ = false;
  // Owned members, declared in creation order so that they are released in
  // the reverse order.
  std::unique_ptr<NotificationServiceImpl> notification_service_;
  std::unique_ptr<base::MessageLoopForUI> main_message_loop_;
  std::unique_ptr<ThreadImpl> ui_thread_;
  std::unique_ptr<ThreadImpl> file_thread_;
  std::unique_ptr<ThreadImpl> io_thread_;
  std::unique_ptr<ThreadImpl> download_thread_;
  base::MessagePumpDispatcher* dispatcher_ = nullptr;
};

#endif  // CLIENT_APP_STARTER_LOOP_H_
