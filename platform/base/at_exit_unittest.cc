#include "base/at_exit.h"

#include <string>
#include <vector>

#include "base/lazy_instance.h"
#include "base/singleton.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<std::string>* g_log = nullptr;

void Record(void* text) {
  g_log->push_back(static_cast<const char*>(text));
}

struct Tracked {
  Tracked() { g_log->push_back("made"); }
  ~Tracked() { g_log->push_back("destroyed"); }
  int value = 7;
};

LazyInstance<Tracked> g_lazy = LAZY_INSTANCE_INITIALIZER;
LazyInstance<Tracked>::Leaky g_leaky = LAZY_INSTANCE_INITIALIZER;

class OnlyOne {
 public:
  static OnlyOne* GetInstance() { return Singleton<OnlyOne>::get(); }
  int id = ++made;
  static inline int made = 0;

 private:
  friend struct DefaultSingletonTraits<OnlyOne>;
  OnlyOne() = default;
};

TEST(AtExitManagerTest, CallbacksRunInReverseAndShadowingKeepsThemApart) {
  std::vector<std::string> log;
  g_log = &log;
  {
    ShadowingAtExitManager outer;
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("outer"));
    {
      ShadowingAtExitManager inner;
      AtExitManager::RegisterCallback(&Record, const_cast<char*>("first"));
      AtExitManager::RegisterTask(Closure([&] { log.push_back("second"); }));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"second", "first"}));
  }
  EXPECT_EQ(log, (std::vector<std::string>{"second", "first", "outer"}));
  g_log = nullptr;
}

TEST(AtExitManagerTest, LazyInstancesAndSingletonsFollowTheManager) {
  std::vector<std::string> log;
  g_log = &log;
  const int made_before = OnlyOne::made;
  const bool leaky_existed = g_leaky.IsCreated();  // true when tests repeat
  {
    ShadowingAtExitManager manager;
    EXPECT_FALSE(g_lazy.IsCreated());
    EXPECT_EQ(g_lazy.Get().value, 7);
    EXPECT_EQ(g_lazy.Pointer(), &g_lazy.Get());
    g_leaky.Get();
    OnlyOne* one = OnlyOne::GetInstance();
    EXPECT_EQ(one, OnlyOne::GetInstance());
    EXPECT_EQ(one->id, made_before + 1);
  }
  // The leaky one stays; the other is destroyed and made again on demand.
  std::vector<std::string> expected = {"made", "made", "destroyed"};
  if (leaky_existed)
    expected = {"made", "destroyed"};
  EXPECT_EQ(log, expected);
  EXPECT_TRUE(g_leaky.IsCreated());
  EXPECT_FALSE(g_lazy.IsCreated());
  {
    ShadowingAtExitManager manager;
    g_lazy.Get();
    EXPECT_EQ(OnlyOne::GetInstance()->id, made_before + 2);
  }
  EXPECT_EQ(log.back(), "destroyed");
  EXPECT_FALSE(g_lazy.IsCreated());
  g_log = nullptr;
}

}  // namespace
}  // namespace base
