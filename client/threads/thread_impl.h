#ifndef CLIENT_THREADS_THREAD_IMPL_H_
#define CLIENT_THREADS_THREAD_IMPL_H_

#include "base/message_loop.h"
#include "base/thread.h"
#include "client/threads/threads_manager.h"

// One named thread of the client, registered in the ThreadsManager table
// from construction to destruction. Created and destroyed on the main thread.
class ThreadImpl : public base::Thread, public ThreadsManager {
 public:
  // An unstarted worker named from the table ("FileThread", "IOThread",
  // "DownloadThread"); the owner starts it with StartWithOptions.
  explicit ThreadImpl(ID identifier);
  // Stands for |message_loop|, which already runs on the calling thread (the
  // UI thread), named after the loop's thread name.
  ThreadImpl(ID identifier, base::MessageLoop* message_loop);
  // Stops the thread (its queued tasks run first), then empties the slot.
  ~ThreadImpl() override;

  ID identifier() const { return identifier_; }

  // Runs |message_loop| the way the thread |identifier| would.
  static void RunWithIdentifierForTesting(ID identifier, base::MessageLoop* message_loop);

 protected:
  void Init() override;
  void Run(base::MessageLoop* message_loop) override;
  void CleanUp() override;

 private:
  friend class ThreadsManager;

  void Register();
  static void RunForIdentifier(ID identifier, base::MessageLoop* message_loop);
  // One function per thread, so a crash dump's stack names the thread.
  static void UIThreadRun(base::MessageLoop* message_loop);
  static void FileThreadRun(base::MessageLoop* message_loop);
  static void IOThreadRun(base::MessageLoop* message_loop);

  ID identifier_;
};

#endif  // CLIENT_THREADS_THREAD_IMPL_H_
