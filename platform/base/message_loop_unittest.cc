#include "base/message_loop.h"

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/logging.h"
#include "base/platform_thread.h"
#include "base/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(MessageLoopTest, ImmediateTasksRunInPostingOrder) {
  MessageLoop loop;
  std::vector<int> order;
  for (int i = 0; i < 5; ++i)
    loop.PostTask(FROM_HERE, [&order, i] { order.push_back(i); });
  loop.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace base
