#include "client/windows/notice_wnd.h"

#include <gtest/gtest.h>

TEST(NoticeWndTaskbar, TallOrNegativeTaskbarsCountAsForty) {
  const int cases[][2] = {{-1, 40}, {0, 0}, {30, 30}, {60, 60}, {61, 40}, {1080, 40}};
  for (const auto& c : cases)
    EXPECT_EQ(CNoticeWnd::TaskbarHeight(c[0]), c[1]) << c[0];
}
