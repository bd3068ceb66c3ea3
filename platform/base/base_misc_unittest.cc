// Small pieces: time, temporary folders, locks and events, restrictions.
#include <atomic>
#include <fstream>
#include <thread>

#include "base/condition_variable.h"
#include "base/lock.h"
#include "base/scoped_temp_dir.h"
#include "base/thread_restrictions.h"
#include "base/time.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(TimeTest, ConversionsAndExplodedDates) {
  EXPECT_EQ(Time::FromTimeT(1700000000).ToTimeT(), 1700000000);
  EXPECT_EQ(TimeDelta::FromSeconds(2).InMilliseconds(), 2000);
  EXPECT_EQ(TimeDelta::FromMicroseconds(1001).InMillisecondsRoundedUp(), 2);
  EXPECT_EQ((TimeDelta::FromDays(6) + TimeDelta::FromHours(23)).InDays(), 6);
  Time::Exploded e = {2024, 2, 0, 29, 12, 30, 15, 250};
  Time t = Time::FromUTCExploded(e);
  ASSERT_FALSE(t.is_null());
  Time::Exploded back;
  t.UTCExplode(&back);
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.day_of_month, 29);
  EXPECT_EQ(back.millisecond, 250);
  EXPECT_EQ(back.day_of_week, 4);
  Time::Exploded bad = {2023, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
  bad = {2023, 13, 0, 1, 0, 0, 0, 0};
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
  TimeTicks a = TimeTicks::Now();
  EXPECT_FALSE(a.is_null());
  EXPECT_GE(TimeTicks::Now(), a);
}

TEST(ScopedTempDirTest, DeletesItsTreeAndTakeKeepsIt) {
  std::filesystem::path kept;
  std::filesystem::path deleted;
  {
    ScopedTempDir a, b;
    ASSERT_TRUE(a.CreateUniqueTempDir());
    ASSERT_TRUE(b.CreateUniqueTempDirUnderPath(a.path()));
    EXPECT_FALSE(a.CreateUniqueTempDir());
    EXPECT_NE(a.path(), b.path());
    std::filesystem::create_directories(a.path() / "x" / "y");
    std::ofstream(a.path() / "x" / "y" / "f") << "data";
    deleted = a.path();
    ScopedTempDir c;
    ASSERT_TRUE(c.CreateUniqueTempDir());
    kept = c.Take();
  }
  EXPECT_FALSE(std::filesystem::exists(deleted));
  EXPECT_TRUE(std::filesystem::is_directory(kept));
  std::filesystem::remove_all(kept);
}

TEST(SyncTest, EventsAndConditionVariables) {
  WaitableEvent manual(true, false);
  WaitableEvent automatic(false, true);
  EXPECT_FALSE(manual.TimedWait(TimeDelta::FromMilliseconds(10)));
  EXPECT_TRUE(automatic.IsSignaled());
  EXPECT_FALSE(automatic.IsSignaled()) << "auto-reset after a successful check";
  manual.Signal();
  EXPECT_TRUE(manual.IsSignaled());
  EXPECT_TRUE(manual.IsSignaled());
  manual.Reset();
  EXPECT_FALSE(manual.IsSignaled());

  Lock lock;
  ConditionVariable cv(&lock);
  int stage = 0;
  std::thread other([&] {
    AutoLock hold(lock);
    stage = 1;
    cv.Signal();
    while (stage != 2)
      cv.Wait();
    {
      AutoUnlock unlocked(lock);
      EXPECT_TRUE(lock.Try());
      lock.Release();
    }
    stage = 3;
    cv.Signal();
  });
  {
    AutoLock hold(lock);
    while (stage != 1)
      cv.Wait();
    stage = 2;
    cv.Broadcast();
    while (stage != 3)
      cv.TimedWait(TimeDelta::FromMilliseconds(50));
  }
  other.join();
}

TEST(ThreadRestrictionsTest, SettersReturnThePreviousValuePerThread) {
  EXPECT_TRUE(ThreadRestrictions::SetIOAllowed(false));
  EXPECT_FALSE(ThreadRestrictions::SetIOAllowed(false));
  std::atomic<bool> other_thread_value{false};
  std::thread([&] { other_thread_value = ThreadRestrictions::SetIOAllowed(true); }).join();
  EXPECT_TRUE(other_thread_value) << "a new thread starts with IO allowed";
  {
    ThreadRestrictions::ScopedAllowIO allow;
    EXPECT_TRUE(ThreadRestrictions::SetIOAllowed(true));
  }
  EXPECT_FALSE(ThreadRestrictions::SetIOAllowed(true)) << "scope restored the old value";
  EXPECT_TRUE(ThreadRestrictions::SetSingletonAllowed(false));
  {
    ThreadRestrictions::ScopedAllowSingleton allow;
    EXPECT_TRUE(ThreadRestrictions::SetSingletonAllowed(true));
  }
  EXPECT_FALSE(ThreadRestrictions::SetSingletonAllowed(true));
  ThreadRestrictions::DisallowWaiting();
  EXPECT_FALSE(ThreadRestrictions::SetWaitAllowed(true));
}

}  // namespace
}  // namespace base
