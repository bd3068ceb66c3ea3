#include "base/sequenced_worker_pool.h"

#include <pthread.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/lock.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string CurrentThreadName() {
  char name[16] = {0};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  return name;
}

TEST(SequencedWorkerPoolTest, ThreadsAreCreatedLazilyUpToTheMaximumAndNamed) {
  auto pool = std::make_shared<SequencedWorkerPool>(3, "BlockingPool");
  EXPECT_EQ(pool->GetThreadCountForTesting(), 0u);
  WaitableEvent release(true, false);
  Lock lock;
  std::set<std::string> names;
  std::atomic<int> done{0};
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(pool->PostWorkerTask(FROM_HERE, [&] {
      {
        AutoLock hold(lock);
        names.insert(CurrentThreadName());
      }
      EXPECT_TRUE(pool->RunsTasksOnCurrentThread());
      EXPECT_EQ(MessageLoop::current(), nullptr);
      release.Wait();
      ++done;
    }));
  }
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(50));
  EXPECT_EQ(pool->GetThreadCountForTesting(), 3u);
  release.Signal();
  pool->Shutdown();
  EXPECT_EQ(done.load(), 8);
  EXPECT_EQ(names, (std::set<std::string>{"BlockingPool1", "BlockingPool2", "BlockingPool3"}));
  EXPECT_FALSE(pool->RunsTasksOnCurrentThread());
}

TEST(SequencedWorkerPoolTest, TasksOfOneSequenceRunInOrderOneAtATime) {
  auto pool = std::make_shared<SequencedWorkerPool>(3, "SeqPool");
  SequencedWorkerPool::SequenceToken a = pool->GetSequenceToken();
  SequencedWorkerPool::SequenceToken b = pool->GetNamedSequenceToken("b");
  EXPECT_TRUE(b.Equals(pool->GetNamedSequenceToken("b")));
  EXPECT_FALSE(a.Equals(b));
  Lock lock;
  std::vector<int> order_a, order_b;
  std::atomic<int> in_a{0};
  std::atomic<bool> overlap{false};
  for (int i = 0; i < 30; ++i) {
    pool->PostSequencedWorkerTask(a, FROM_HERE, [&, i] {
      if (++in_a > 1)
        overlap = true;
      EXPECT_TRUE(pool->IsRunningSequenceOnCurrentThread(a));
      PlatformThread::Sleep(TimeDelta::FromMicroseconds(200));
      {
        AutoLock hold(lock);
        order_a.push_back(i);
      }
      --in_a;
    });
    pool->GetSequencedTaskRunner(b)->PostTask(FROM_HERE, [&, i] {
      AutoLock hold(lock);
      order_b.push_back(i);
    });
  }
  pool->Shutdown();
  std::vector<int> expected;
  for (int i = 0; i < 30; ++i)
    expected.push_back(i);
  EXPECT_EQ(order_a, expected);
  EXPECT_EQ(order_b, expected);
  EXPECT_FALSE(overlap);
}

TEST(SequencedWorkerPoolTest, ShutdownRunsBlockingTasksDropsTheRestAndRefusesNewOnes) {
  auto pool = std::make_shared<SequencedWorkerPool>(1, "ShutPool");
  WaitableEvent started(false, false);
  WaitableEvent release(false, false);
  std::vector<std::string> ran;
  Lock lock;
  auto record = [&](std::string what) {
    return [&, what] {
      AutoLock hold(lock);
      ran.push_back(what);
    };
  };
  pool->PostWorkerTask(FROM_HERE, [&] {
    started.Signal();
    release.Wait();
  });
  started.Wait();  // the single worker is busy; everything below queues
  pool->PostWorkerTaskWithShutdownBehavior(FROM_HERE, record("skip"),
                                           SequencedWorkerPool::SKIP_ON_SHUTDOWN);
  pool->PostWorkerTaskWithShutdownBehavior(FROM_HERE, record("continue"),
                                           SequencedWorkerPool::CONTINUE_ON_SHUTDOWN);
  pool->PostWorkerTask(FROM_HERE, record("block"));
  pool->PostDelayedTask(FROM_HERE, record("delayed"), TimeDelta::FromSeconds(30));
  std::thread releaser([&] {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(30));
    release.Signal();
  });
  pool->Shutdown();
  releaser.join();
  EXPECT_EQ(ran, std::vector<std::string>{"block"});
  EXPECT_TRUE(pool->IsShutdownInProgress());
  EXPECT_FALSE(pool->PostWorkerTask(FROM_HERE, record("late")));
  EXPECT_EQ(ran, std::vector<std::string>{"block"});
}

}  // namespace
}  // namespace base
