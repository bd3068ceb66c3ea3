#include "client/windows/pay_wnd.h"

#include <gtest/gtest.h>

namespace {

GoodsItem Goods(int payment, int payable, int handsel) {
  GoodsItem item;
  item.payment = payment;
  item.payable = payable;
  item.handsel = handsel;
  return item;
}

TEST(PayWndTexts, PlansShowTheirPricesAndBonusDays) {
  struct Case {
    const char* plan;
    GoodsItem item;
    const wchar_t* price;
    const wchar_t* origin;
    const wchar_t* money;
    const wchar_t* plus;
  } cases[] = {
      {"monthly", Goods(1990, 3000, 0), L"包月￥19.9", L"原价30.0", L"￥19.9", L""},
      {"monthly", Goods(2000, 2000, 1), L"包月￥20.0", L"原价20.0", L"￥20.0",
       L"（实际获得1个月+1天）"},
      {"season", Goods(7800, 9000, 7), L"包季78.0", L"原价90.0", L"￥78.0",
       L"（实际获得3个月+7天）"},
      {"yearly", Goods(0, 0, 30), L"包年￥0.0", L"原价0.0", L"￥0.0", L"（实际获得12个月+30天）"},
      // A plan the window does not know is priced as the month.
      {"weekly", Goods(500, 500, -1), L"包月￥5.0", L"原价5.0", L"￥5.0", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plan);
    EXPECT_EQ(CPayWnd::PriceText(c.plan, c.item), c.price);
    EXPECT_EQ(CPayWnd::OriginText(c.item), c.origin);
    EXPECT_EQ(CPayWnd::MoneyText(c.item), c.money);
    EXPECT_EQ(CPayWnd::PlusDaysText(c.plan, c.item), c.plus);
  }
}

}  // namespace
