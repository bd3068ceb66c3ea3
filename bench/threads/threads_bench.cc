// Measures the client's thread layer:
//   BM_PostToRunLatency    post from the main thread to IO, time until it runs
//   BM_RoundTripUIToIOToUI PostTaskAndReply from the UI loop to IO and back
//   BM_LoopThroughput      1,000,000 small tasks posted to one loop and run
#include <atomic>
#include <memory>

#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "benchmark/benchmark.h"
#include "client/threads/thread_impl.h"
#include "client/threads/threads_manager.h"

namespace {

// The UI slot (this thread) and the IO thread, as the client sets them up.
class ClientThreads {
 public:
  ClientThreads() {
    loop_.set_thread_name("RixMainThread");
    ui_ = std::make_unique<ThreadImpl>(ThreadsManager::UI, &loop_);
    io_ = std::make_unique<ThreadImpl>(ThreadsManager::IO);
    io_->StartWithOptions(base::Thread::Options(base::MessageLoop::TYPE_IO, 0));
  }
  ~ClientThreads() {
    io_.reset();
    ui_.reset();
  }
  base::MessageLoopForUI& loop() { return loop_; }

 private:
  base::MessageLoopForUI loop_;
  std::unique_ptr<ThreadImpl> ui_;
  std::unique_ptr<ThreadImpl> io_;
};

void BM_PostToRunLatency(benchmark::State& state) {
  ClientThreads threads;
  base::WaitableEvent ran(false, false);
  for (auto _ : state) {
    ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [&ran] { ran.Signal(); });
    ran.Wait();
  }
}
BENCHMARK(BM_PostToRunLatency)->UseRealTime();

void BM_RoundTripUIToIOToUI(benchmark::State& state) {
  ClientThreads threads;
  for (auto _ : state) {
    ThreadsManager::PostTaskAndReply(
        ThreadsManager::IO, FROM_HERE, [] {}, [] { base::MessageLoop::current()->QuitNow(); });
    threads.loop().Run();
  }
}
BENCHMARK(BM_RoundTripUIToIOToUI)->UseRealTime();

void BM_LoopThroughput(benchmark::State& state) {
  const int64_t kTasks = state.range(0);
  base::MessageLoop loop;
  int64_t counter = 0;
  for (auto _ : state) {
    for (int64_t i = 0; i < kTasks; ++i)
      loop.PostTask(FROM_HERE, [&counter] { ++counter; });
    loop.RunUntilIdle();
  }
  benchmark::DoNotOptimize(counter);
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_LoopThroughput)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
