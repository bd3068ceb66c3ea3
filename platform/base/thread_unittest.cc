#include "base/thread.h"

#include <pthread.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class HookThread : public Thread {
 public:
  explicit HookThread(const std::string& name) : Thread(name) {}
  ~HookThread() override { Stop(); }
  std::vector<std::string> events;

 protected:
  void Init() override { events.push_back("init"); }
  void Run(MessageLoop* loop) override {
    events.push_back("run");
    Thread::Run(loop);
  }
  void CleanUp() override {
    events.push_back(MessageLoop::current() ? "cleanup-with-loop" : "cleanup-without-loop");
  }
};

TEST(ThreadTest, StopRunsQueuedTasksThenRefusesPosts) {
  HookThread thread("StopDrains");
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.IsRunning() || thread.message_loop());
  std::atomic<int> ran{0};
  WaitableEvent gate(true, false);
  thread.message_loop()->PostTask(FROM_HERE, [&] { gate.Wait(); });
  for (int i = 0; i < 50; ++i)
    thread.message_loop()->PostTask(FROM_HERE, [&] { ++ran; });
  std::shared_ptr<MessageLoopProxy> proxy = thread.message_loop_proxy();
  gate.Signal();
  thread.Stop();
  EXPECT_EQ(ran.load(), 50);
  EXPECT_EQ(thread.message_loop(), nullptr);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.events, (std::vector<std::string>{"init", "run", "cleanup-with-loop"}));

  bool destroyed = false;
  struct Flag {
    bool* destroyed;
    ~Flag() {
      if (destroyed)
        *destroyed = true;
    }
    Flag(bool* d) : destroyed(d) {}
    Flag(Flag&& o) : destroyed(o.destroyed) { o.destroyed = nullptr; }
  };
  EXPECT_FALSE(proxy->PostTask(FROM_HERE, [&ran, f = Flag(&destroyed)] { ++ran; }));
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(ran.load(), 50);
  thread.Stop();  // twice is harmless
}

TEST(ThreadTest, LoopTypeNameAndStackSizeFollowTheOptions) {
  struct Case {
    MessageLoop::Type type;
    size_t stack_size;
    std::string name;
    std::string os_name;
  };
  const Case cases[] = {
      {MessageLoop::TYPE_DEFAULT, 0, "Plain", "Plain"},
      {MessageLoop::TYPE_UI, 0, "FileThread", "FileThread"},
      {MessageLoop::TYPE_IO, 512 * 1024, "ANameLongerThanFifteen", "ANameLongerThan"},
  };
  for (const Case& c : cases) {
    Thread thread(c.name);
    ASSERT_TRUE(thread.StartWithOptions(Thread::Options(c.type, c.stack_size)));
    MessageLoop::Type type = MessageLoop::TYPE_DEFAULT;
    bool ui = false, io = false;
    std::string loop_name;
    char os_name[16] = {0};
    size_t stack = 0;
    WaitableEvent done(false, false);
    thread.message_loop()->PostTask(FROM_HERE, [&] {
      type = MessageLoop::current()->type();
      ui = MessageLoopForUI::current() != nullptr;
      io = MessageLoopForIO::current() != nullptr;
      loop_name = MessageLoop::current()->thread_name();
      pthread_getname_np(pthread_self(), os_name, sizeof(os_name));
      pthread_attr_t attr;
      pthread_getattr_np(pthread_self(), &attr);
      pthread_attr_getstacksize(&attr, &stack);
      pthread_attr_destroy(&attr);
      done.Signal();
    });
    done.Wait();
    thread.Stop();
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(ui, c.type == MessageLoop::TYPE_UI);
    EXPECT_EQ(io, c.type == MessageLoop::TYPE_IO);
    EXPECT_EQ(loop_name, c.name);
    EXPECT_EQ(std::string(os_name), c.os_name);
    if (c.stack_size) {
      EXPECT_GE(stack, c.stack_size);
    }
  }
}

}  // namespace
}  // namespace base
