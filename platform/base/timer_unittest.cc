#include "base/timer.h"

#include <memory>
#include <string>
#include <vector>

#include "base/message_loop.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(TimerTest, OneShotFiresOnceAndStopOrResetControlsIt) {
  MessageLoop loop;
  struct Case {
    std::string action;  // done right after Start
    int expected_runs;
  };
  const Case cases[] = {{"none", 1}, {"stop", 0}, {"reset", 1}, {"restart", 1}};
  for (const Case& c : cases) {
    OneShotTimer timer;
    int runs = 0;
    TimeTicks started = TimeTicks::Now();
    TimeTicks fired;
    timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(20), Closure([&] {
                  ++runs;
                  fired = TimeTicks::Now();
                }));
    EXPECT_TRUE(timer.IsRunning());
    if (c.action == "stop")
      timer.Stop();
    if (c.action == "reset")
      timer.Reset();
    if (c.action == "restart")
      timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(30), Closure([&] {
                    ++runs;
                    fired = TimeTicks::Now();
                  }));
    loop.PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(), TimeDelta::FromMilliseconds(80));
    loop.Run();
    EXPECT_EQ(runs, c.expected_runs) << c.action;
    EXPECT_FALSE(timer.IsRunning()) << c.action;
    if (runs) {
      EXPECT_GE(fired - started, TimeDelta::FromMilliseconds(20)) << c.action;
    }
  }
}

TEST(TimerTest, RepeatingTimerRepeatsUntilStoppedAndMayBeDeletedByItsTask) {
  MessageLoop loop;
  RepeatingTimer timer;
  int runs = 0;
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(5), Closure([&] {
                if (++runs == 3) {
                  timer.Stop();
                  MessageLoop::current()->PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(),
                                                          TimeDelta::FromMilliseconds(30));
                }
              }));
  loop.Run();
  EXPECT_EQ(runs, 3);

  auto owned = std::make_unique<RepeatingTimer>();
  int owned_runs = 0;
  owned->Start(FROM_HERE, TimeDelta::FromMilliseconds(5), Closure([&] {
                 ++owned_runs;
                 owned.reset();  // the timer dies inside its own task
                 MessageLoop::current()->PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(),
                                                         TimeDelta::FromMilliseconds(30));
               }));
  loop.Run();
  EXPECT_EQ(owned_runs, 1);
}

}  // namespace
}  // namespace base
