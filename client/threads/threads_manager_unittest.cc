#include "client/threads/threads_manager.h"

#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "client/threads/thread_impl.h"
#include "gtest/gtest.h"

namespace {

// Runs |fn| on thread |id| and waits for it.
template <typename Fn>
void RunOn(ThreadsManager::ID id, Fn fn) {
  base::WaitableEvent done(false, false);
  ASSERT_TRUE(ThreadsManager::PostTask(id, FROM_HERE, [&] {
    fn();
    done.Signal();
  }));
  done.Wait();
}

// The client's thread set: the test's main thread as UI plus the three
// workers started the way the start-up frame starts them.
class ThreadsManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    ui_loop_ = std::make_unique<base::MessageLoopForUI>();
    ui_loop_->set_thread_name("RixMainThread");
    ui_ = std::make_unique<ThreadImpl>(ThreadsManager::UI, ui_loop_.get());
    const base::MessageLoop::Type types[] = {base::MessageLoop::TYPE_UI, base::MessageLoop::TYPE_IO,
                                             base::MessageLoop::TYPE_IO};
    for (int id = ThreadsManager::FILE; id <= ThreadsManager::DOWNLOAD; ++id) {
      workers_[id] = std::make_unique<ThreadImpl>(static_cast<ThreadsManager::ID>(id));
      ASSERT_TRUE(workers_[id]->StartWithOptions(base::Thread::Options(types[id - 1], 0)));
    }
  }
  void TearDown() override {
    for (int id = ThreadsManager::DOWNLOAD; id >= ThreadsManager::FILE; --id)
      workers_[id].reset();
    ui_.reset();
    ui_loop_.reset();
    logging::SetLogMessageHandlerForTesting(nullptr);
    logging::SetDCheckEnabled(false);
  }

  std::unique_ptr<base::MessageLoopForUI> ui_loop_;
  std::unique_ptr<ThreadImpl> ui_;
  std::unique_ptr<ThreadImpl> workers_[ThreadsManager::ID_COUNT];
};

TEST_F(ThreadsManagerTest, EachNamedThreadKnowsItselfAndOthersDoNot) {
  struct Case {
    ThreadsManager::ID id;
    std::string os_name;
  };
  const Case cases[] = {{ThreadsManager::FILE, "FileThread"},
                        {ThreadsManager::IO, "IOThread"},
                        {ThreadsManager::DOWNLOAD, "DownloadThread"}};
  EXPECT_TRUE(ThreadsManager::CurrentlyOn(ThreadsManager::UI));
  ThreadsManager::ID id = ThreadsManager::ID_COUNT;
  ASSERT_TRUE(ThreadsManager::GetCurrentThreadIdentifier(&id));
  EXPECT_EQ(id, ThreadsManager::UI);
  EXPECT_EQ(ui_->thread_name(), "RixMainThread");
  for (const Case& c : cases) {
    bool on_ui = true, on_self = false, found = false;
    ThreadsManager::ID seen = ThreadsManager::ID_COUNT;
    char name[16] = {0};
    RunOn(c.id, [&] {
      on_ui = ThreadsManager::CurrentlyOn(ThreadsManager::UI);
      on_self = ThreadsManager::CurrentlyOn(c.id);
      found = ThreadsManager::GetCurrentThreadIdentifier(&seen);
      pthread_getname_np(pthread_self(), name, sizeof(name));
    });
    EXPECT_FALSE(on_ui) << c.os_name;
    EXPECT_TRUE(on_self) << c.os_name;
    EXPECT_TRUE(found) << c.os_name;
    EXPECT_EQ(seen, c.id);
    EXPECT_EQ(std::string(name), c.os_name);
    EXPECT_FALSE(ThreadsManager::CurrentlyOn(c.id));
  }

  // Neither a pool worker nor a plain thread has an identifier.
  for (int kind = 0; kind < 2; ++kind) {
    std::atomic<bool> found{true}, on_ui{true};
    base::WaitableEvent done(false, false);
    auto probe = [&] {
      ThreadsManager::ID ignored;
      found = ThreadsManager::GetCurrentThreadIdentifier(&ignored);
      on_ui = ThreadsManager::CurrentlyOn(ThreadsManager::UI);
      done.Signal();
    };
    if (kind == 0) {
      ASSERT_TRUE(ThreadsManager::GetBlockingPool()->PostWorkerTask(FROM_HERE, probe));
      done.Wait();
    } else {
      std::thread(probe).join();
    }
    EXPECT_FALSE(found) << (kind == 0 ? "pool" : "plain");
    EXPECT_FALSE(on_ui) << (kind == 0 ? "pool" : "plain");
  }
}

TEST_F(ThreadsManagerTest, OnlyPostsToAShorterLivedThreadTakeTheLock) {
  struct Case {
    ThreadsManager::ID from;
    ThreadsManager::ID to;
    bool takes_lock;
  };
  const Case cases[] = {
      {ThreadsManager::IO, ThreadsManager::UI, false},
      {ThreadsManager::UI, ThreadsManager::IO, true},
      {ThreadsManager::DOWNLOAD, ThreadsManager::FILE, false},
      {ThreadsManager::FILE, ThreadsManager::DOWNLOAD, true},
      {ThreadsManager::IO, ThreadsManager::IO, false},
  };
  for (const Case& c : cases) {
    int64_t taken = -1;
    auto measure = [&] {
      int64_t before = ThreadsManager::GetLockAcquisitionsForTesting();
      EXPECT_TRUE(ThreadsManager::PostTask(c.to, FROM_HERE, [] {}));
      taken = ThreadsManager::GetLockAcquisitionsForTesting() - before;
    };
    if (c.from == ThreadsManager::UI)
      measure();
    else
      RunOn(c.from, measure);
    EXPECT_EQ(taken, c.takes_lock ? 1 : 0) << c.from << "->" << c.to;
  }
  ui_loop_->RunUntilIdle();
}

TEST_F(ThreadsManagerTest, PostToAStoppedThreadFailsAndDropsTheTask) {
  std::atomic<int> ran{0};
  base::WaitableEvent gate(true, false);
  ASSERT_TRUE(ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [&] { gate.Wait(); }));
  ASSERT_TRUE(ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [&] { ++ran; }));
  gate.Signal();
  workers_[ThreadsManager::DOWNLOAD].reset();
  workers_[ThreadsManager::IO].reset();  // runs the queued task, then leaves the table
  EXPECT_EQ(ran.load(), 1);

  struct Probe {
    std::atomic<int>* destroyed;
    explicit Probe(std::atomic<int>* d) : destroyed(d) {}
    Probe(Probe&& o) : destroyed(o.destroyed) { o.destroyed = nullptr; }
    ~Probe() {
      if (destroyed)
        ++*destroyed;
    }
  };
  std::atomic<int> destroyed{0};
  EXPECT_FALSE(ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE,
                                        [&, p = Probe(&destroyed)] { ++ran; }));
  EXPECT_FALSE(ThreadsManager::GetTaskRunnerForThread(ThreadsManager::IO)
                   ->PostDelayedTask(
                       FROM_HERE, [&, p = Probe(&destroyed)] { ++ran; }, 10));
  EXPECT_FALSE(ThreadsManager::PostTaskAndReply(
      ThreadsManager::DOWNLOAD, FROM_HERE, [&, p = Probe(&destroyed)] { ++ran; }, [&] { ++ran; }));
  EXPECT_EQ(destroyed.load(), 3);
  ui_loop_->RunUntilIdle();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_TRUE(ThreadsManager::PostTask(ThreadsManager::FILE, FROM_HERE, [] {}));
}

TEST_F(ThreadsManagerTest, ReplyComesBackToTheUIThreadAfterTheTask) {
  std::vector<std::string> order;
  base::PlatformThreadId task_thread = 0, reply_thread = 0;
  bool runner_on_io = false;
  auto io_runner = ThreadsManager::GetTaskRunnerForThread(ThreadsManager::IO);
  EXPECT_FALSE(io_runner->RunsTasksOnCurrentThread());
  ASSERT_TRUE(ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CLoginWnd::registerUserAccount"),
      [&] {
        task_thread = base::PlatformThread::CurrentId();
        runner_on_io = io_runner->RunsTasksOnCurrentThread();
        order.push_back("task");
      },
      [&] {
        reply_thread = base::PlatformThread::CurrentId();
        EXPECT_TRUE(ThreadsManager::CurrentlyOn(ThreadsManager::UI));
        order.push_back("reply");
        base::MessageLoop::current()->Quit();
      }));
  ui_loop_->Run();
  EXPECT_EQ(order, (std::vector<std::string>{"task", "reply"}));
  EXPECT_EQ(task_thread, workers_[ThreadsManager::IO]->thread_id());
  EXPECT_EQ(reply_thread, base::PlatformThread::CurrentId());
  EXPECT_TRUE(runner_on_io);

  // Delays given in milliseconds and as deltas both hold the task back.
  base::TimeTicks start = base::TimeTicks::Now();
  base::TimeTicks ran_ms, ran_delta;
  auto ui_runner = ThreadsManager::GetTaskRunnerForThread(ThreadsManager::UI);
  ui_runner->PostDelayedTask(
      FROM_HERE, [&] { ran_ms = base::TimeTicks::Now(); }, int64_t{30});
  ui_runner->PostNonNestableDelayedTask(
      FROM_HERE, [&] { ran_delta = base::TimeTicks::Now(); },
      base::TimeDelta::FromMilliseconds(40));
  ThreadsManager::PostDelayedTask(ThreadsManager::UI, FROM_HERE, base::MessageLoop::QuitClosure(),
                                  int64_t{60});
  ui_loop_->Run();
  EXPECT_GE(ran_ms - start, base::TimeDelta::FromMilliseconds(30));
  EXPECT_GE(ran_delta - start, base::TimeDelta::FromMilliseconds(40));
}

TEST_F(ThreadsManagerTest, RangeAndDoubleRegistrationAreDebugChecks) {
  std::vector<std::string> logged;
  logging::SetLogMessageHandlerForTesting(
      [&](int, const char*, int, const char*, size_t start, const std::string& str) {
        logged.push_back(str.substr(start));
        return true;
      });
  for (bool enabled : {false, true}) {
    logged.clear();
    logging::SetDCheckEnabled(enabled);
    {
      ThreadImpl duplicate(ThreadsManager::IO);
      EXPECT_FALSE(duplicate.IsRunning());
    }
    // The first registration survived the duplicate's life and death.
    EXPECT_TRUE(ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [] {}));
    EXPECT_FALSE(ThreadsManager::PostTask(ThreadsManager::ID_COUNT, FROM_HERE, [] {}));
    { ThreadImpl out_of_range(ThreadsManager::ID_COUNT); }
    if (!enabled) {
      EXPECT_TRUE(logged.empty());
      continue;
    }
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "Check failed: globals.threads[identifier_] == NULL. \n",
                          "Check failed: identifier >= 0 && identifier < ID_COUNT. \n",
                          "Check failed: identifier_ >= 0 && identifier_ < ID_COUNT. \n",
                      }));
  }
}

TEST(ThreadsManagerDeathTest, RunningTheLoopForIDCountIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        base::MessageLoop loop;
        ThreadImpl::RunWithIdentifierForTesting(ThreadsManager::ID_COUNT, &loop);
      },
      "Check failed: false. ");
}

TEST(ThreadsManagerDeathTest, BlockingPoolShutsDownAfterTheWorkers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a child process: the pool is process-wide and cannot come back.
  EXPECT_EXIT(
      {
        base::SequencedWorkerPool* pool = ThreadsManager::GetBlockingPool();
        std::atomic<int> ran{0};
        for (int i = 0; i < 10; ++i)
          pool->PostWorkerTask(FROM_HERE, [&] {
            base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(5));
            ++ran;
          });
        bool at_most_three = pool->GetThreadCountForTesting() <= 3;
        ThreadsManager::ShutdownBlockingPool();
        bool refused = !pool->PostWorkerTask(FROM_HERE, [] {});
        exit(ran == 10 && at_most_three && refused ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

double ProcessCpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(ThreadsManagerTest, IdleThreadsAndPoolUseNoMeasurableCpu) {
  base::WaitableEvent done(false, false);
  ThreadsManager::GetBlockingPool()->PostWorkerTask(FROM_HERE, [&] { done.Signal(); });
  done.Wait();
  // Let start-up settle, then idle for 300 ms with the UI loop running.
  base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(50));
  double before = ProcessCpuSeconds();
  ThreadsManager::PostDelayedTask(ThreadsManager::UI, FROM_HERE, base::MessageLoop::QuitClosure(),
                                  base::TimeDelta::FromMilliseconds(300));
  ui_loop_->Run();
  double used = ProcessCpuSeconds() - before;
  // A single polling thread would burn the whole 0.3 s.
  EXPECT_LT(used, 0.03) << used << " s of CPU while idle";
}

}  // namespace
