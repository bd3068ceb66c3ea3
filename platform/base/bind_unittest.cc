#include "base/bind.h"

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class Counter : public SupportsWeakPtr<Counter> {
 public:
  void Add(int n) { total += n; }
  int AddAndGet(int a, int b) { return total += a + b; }
  int Get() const { return total; }
  void Take(std::unique_ptr<int> value) { total += *value; }
  int total = 0;
};

int Sum3(int a, int b, int c) {
  return a * 100 + b * 10 + c;
}

TEST(BindTest, BoundAndUnboundArgumentsAndReceivers) {
  Counter counter;
  Callback<int(int)> partial = Bind(&Sum3, 1, 2);
  EXPECT_EQ(partial.Run(3), 123);
  EXPECT_EQ(Bind(&Sum3)(4, 5, 6), 456);

  Bind(&Counter::Add, &counter, 5).Run();
  Bind(&Counter::Add, Unretained(&counter)).Run(2);
  EXPECT_EQ(Bind(&Counter::AddAndGet, &counter, 1).Run(2), 10);
  EXPECT_EQ(Bind(&Counter::Get, &counter).Run(), 10);

  auto shared = std::make_shared<Counter>();
  Closure by_shared = Bind(&Counter::Add, shared, 7);
  by_shared.Run();
  by_shared.Run();  // a copyable callback runs again
  EXPECT_EQ(shared->total, 14);

  int* owned = new int(3);
  Callback<int()> owns = Bind([](int* p) { return *p; }, Owned(owned));
  EXPECT_EQ(owns.Run(), 3);  // freed with the callback; ASan would object otherwise
}

TEST(BindTest, WeakBoundMethodIsSkippedOnceTheObjectIsGone) {
  Closure cb;
  Closure through_support;
  int observed = 0;
  {
    struct Holder {
      int value = 0;
      void Set(int v) { value = v; }
      WeakPtrFactory<Holder> factory{this};
    } holder;
    cb = Bind(&Holder::Set, holder.factory.GetWeakPtr(), 42);
    cb.Run();
    observed = holder.value;
    holder.factory.InvalidateWeakPtrs();
    holder.value = 0;
    cb.Run();
    EXPECT_EQ(holder.value, 0) << "ran after invalidation";
    cb = Bind(&Holder::Set, holder.factory.GetWeakPtr(), 1);
  }
  EXPECT_EQ(observed, 42);
  cb.Run();  // the holder is gone; nothing happens (ASan checks no access)

  auto counter = std::make_unique<Counter>();
  through_support = Bind(&Counter::Add, counter->AsWeakPtr(), 3);
  through_support.Run();
  EXPECT_EQ(counter->total, 3);
  counter.reset();
  through_support.Run();
}

TEST(BindTest, MoveOnlyPayloadsThroughPassedAndOnceCallbacks) {
  Counter counter;
  Closure cb = Bind(&Counter::Take, &counter, Passed(std::make_unique<int>(9)));
  cb.Run();
  EXPECT_EQ(counter.total, 9);

  auto payload = std::make_unique<std::string>("abc");
  OnceCallback<size_t()> once = [p = std::move(payload)] { return p->size(); };
  EXPECT_FALSE(once.is_null());
  EXPECT_EQ(once.Run(), 3u);
  EXPECT_TRUE(once.is_null());

  // A copyable callback converts to a once callback, sharing its state.
  int runs = 0;
  Closure repeating = [&runs] { ++runs; };
  OnceClosure a = repeating;
  OnceClosure b = repeating;
  a.Run();
  b.Run();
  EXPECT_EQ(runs, 2);
  EXPECT_TRUE(OnceClosure(Closure()).is_null());
}

TEST(BindDeathTest, RunningANullCallbackOrAPassedValueTwiceIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Closure null_cb;
  EXPECT_DEATH(null_cb.Run(), "null callback");
  Counter counter;
  Closure cb = Bind(&Counter::Take, &counter, Passed(std::make_unique<int>(1)));
  cb.Run();
  EXPECT_DEATH(cb.Run(), "null callback");
}

}  // namespace
}  // namespace base
