#include "servicebridge/answer_parsers.h"

#include <time.h>

#include <string>

#include <gtest/gtest.h>

namespace servicebridge {
namespace {

// Shows which texts went through the conversion.
std::string Mark(std::string_view utf8) {
  return "<" + std::string(utf8) + ">";
}

TEST(AnswerParsersTest, LoginReadsTopLevelAndUsableData) {
  struct Case {
    const char* body;
    int code;
    const char* info;
    const char* interim;
    const char* uuid;
    int suspicious;
  } cases[] = {
      {R"({"code":0,"info":"ok","data":{"interim":"i","uuid":"u","suspicious":1}})", 0, "<ok>",
       "<i>", "<u>", 1},
      {R"({"code":101,"info":"bad","data":null})", 101, "<bad>", "", "", 0},
      {R"({"code":"0","info":7,"data":{"interim":1,"uuid":null,"suspicious":"1"}})", -1, "", "", "",
       0},
      {R"([{"code":0}])", -1, "", "", "", 0},
      {"not json", -1, "", "", "", 0},
  };
  for (const Case& c : cases) {
    LoginResult result;
    ReadLoginAnswer(c.body, Mark, &result);
    EXPECT_EQ(result.code, c.code) << c.body;
    EXPECT_EQ(result.status, 200) << c.body;
    EXPECT_EQ(result.info, c.info) << c.body;
    EXPECT_EQ(result.interim, c.interim) << c.body;
    EXPECT_EQ(result.uuid, c.uuid) << c.body;
    EXPECT_EQ(result.suspicious, c.suspicious) << c.body;
  }
}

TEST(AnswerParsersTest, RegisterReadsDataOnlyWhenItIsAnObject) {
  RegisterResult result;
  ReadRegisterAnswer(R"({"code":0,"info":"x","data":{"interim":"i","uuid":"u"}})", Mark, &result);
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.interim, "<i>");
  EXPECT_EQ(result.uuid, "<u>");
  RegisterResult array_data;
  ReadRegisterAnswer(R"({"code":3,"data":[{"interim":"i"}]})", Mark, &array_data);
  EXPECT_EQ(array_data.code, 3);
  EXPECT_EQ(array_data.interim, "");
}

TEST(AnswerParsersTest, ResetCaptchaInterimAndPublicKey) {
  ResetResult reset;
  ReadResetAnswer(R"({"code":104,"info":"format"})", Mark, &reset);
  EXPECT_EQ(reset.code, 104);
  EXPECT_EQ(reset.info, "<format>");

  CaptchaResult captcha;
  ReadCaptchaAnswer(R"({"code":5,"info":"sent"})", Mark, &captcha);
  EXPECT_EQ(captcha.info, "<sent>");
  EXPECT_EQ(captcha.status, 0);

  InterimInfo interim;
  ReadInterimAnswer(R"({"data":{"interim":"n","uuid":"v"}})", Mark, &interim);
  EXPECT_EQ(interim.interim, "<n>");
  EXPECT_EQ(interim.uuid, "<v>");

  struct KeyCase {
    const char* body;
    const char* key;
  } key_cases[] = {
      {R"({"code":200,"data":{"content":"PEM"}})", "PEM"},
      {R"({"code":0,"data":{"content":"PEM"}})", ""},
      {R"({"data":{"content":"PEM"}})", ""},
      {R"({"code":200,"data":null})", ""},
      {R"({"code":200,"data":{"content":5}})", ""},
  };
  for (const KeyCase& c : key_cases)
    EXPECT_EQ(ReadPublicKeyAnswer(c.body), c.key) << c.body;
}

TEST(AnswerParsersTest, NodesFollowTheirTypeRules) {
  std::vector<NodeInfo> nodes = ReadNodesAnswer(
      R"({"data":{"nodes":[)"
      R"({"name_cn":"东京","addr_ip":"10.0.0.1","delay":30,"loss":2.7,"icmp":["1.1.1.1","2.2.2.2"]},)"
      R"({"name_cn":"b","loss":3,"icmp":[]},)"
      R"({"loss":-2.7,"icmp":[5,"x"],"delay":4294967296},)"
      R"(7,)"
      R"({"loss":1e30})"
      R"(]}})",
      KeepUtf8);
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[0].name_cn, "东京");
  EXPECT_EQ(nodes[0].addr_ip, "10.0.0.1");
  EXPECT_EQ(nodes[0].delay, 30);
  EXPECT_EQ(nodes[0].loss, 2);
  EXPECT_EQ(nodes[0].icmp, "1.1.1.1");
  EXPECT_EQ(nodes[1].loss, 0);
  EXPECT_EQ(nodes[1].delay, 10);
  EXPECT_EQ(nodes[1].icmp, "");
  EXPECT_EQ(nodes[2].loss, -2);
  EXPECT_EQ(nodes[2].delay, 10);
  EXPECT_EQ(nodes[2].icmp, "");
  EXPECT_EQ(nodes[3].delay, 10);
  EXPECT_EQ(nodes[4].loss, 0);

  for (const char* body : {R"({"data":{"nodes":null}})", R"({"data":{"nodes":{}}})",
                           R"({"data":null})", R"({"nodes":[{}]})"})
    EXPECT_TRUE(ReadNodesAnswer(body, KeepUtf8).empty()) << body;
}

TEST(AnswerParsersTest, RoutesTakeTheVersionOfTheLastChangeOnly) {
  RouteAnswer answer = ReadRoutesAnswer(
      R"({"data":{"version":9,"increment":[)"
      R"({"addr":"1.0.0.0","mask":"255.0.0.0","status":0,"app_id":2,"id":3,"cidr":8,"version":4},)"
      R"({"addr":"2.0.0.0","version":"7"}]}})",
      Mark);
  ASSERT_EQ(answer.routes.size(), 2u);
  EXPECT_EQ(answer.routes[0].addr, "<1.0.0.0>");
  EXPECT_EQ(answer.routes[0].mask, "<255.0.0.0>");
  EXPECT_EQ(answer.routes[0].status, 0);
  EXPECT_EQ(answer.routes[0].app_id, 2);
  EXPECT_EQ(answer.routes[0].id, 3);
  EXPECT_EQ(answer.routes[0].cidr, 8);
  EXPECT_EQ(answer.routes[1].status, 1);
  EXPECT_EQ(answer.last_change_version, std::nullopt);
  EXPECT_EQ(answer.version, 9);

  RouteAnswer last =
      ReadRoutesAnswer(R"({"data":{"increment":[{"version":4},{"version":5}]}})", Mark);
  EXPECT_EQ(last.last_change_version, 5);
  EXPECT_EQ(last.version, std::nullopt);

  RouteAnswer empty = ReadRoutesAnswer(R"({"data":{"increment":[],"version":12}})", Mark);
  EXPECT_TRUE(empty.routes.empty());
  EXPECT_EQ(empty.last_change_version, std::nullopt);
  EXPECT_EQ(empty.version, 12);
}

TEST(AnswerParsersTest, DnsNeedsCode200AndJoinsTwoServers) {
  struct Case {
    const char* body;
    const char* dns;
    int forward;
  } cases[] = {
      {R"({"code":200,"data":{"dns":["1.1.1.1","8.8.8.8","9.9.9.9"],"forward":1}})",
       "<1.1.1.1>,<8.8.8.8>", 1},
      {R"({"code":200,"data":{"dns":["1.1.1.1"]}})", "<1.1.1.1>", 0},
      {R"({"code":200,"data":{"dns":[],"forward":"1"}})", "", 0},
      {R"({"code":0,"data":{"dns":["1.1.1.1"],"forward":1}})", "", 0},
      {R"({"code":200,"data":null})", "", 0},
      {R"({"code":200,"data":{"dns":"1.1.1.1","forward":2}})", "", 2},
      // Of the first two, a non-text entry adds neither its text nor a comma.
      {R"({"code":200,"data":{"dns":[5,"8.8.8.8"]}})", "<8.8.8.8>", 0},
      {R"({"code":200,"data":{"dns":["1.1.1.1",null]}})", "<1.1.1.1>", 0},
      {R"({"code":200,"data":{"dns":[{},[],"9.9.9.9"]}})", "", 0},
  };
  for (const Case& c : cases) {
    DnsServerInfo info;
    info.status = 200;
    ReadDnsAnswer(c.body, Mark, &info);
    EXPECT_EQ(info.dns, c.dns) << c.body;
    EXPECT_EQ(info.forward, c.forward) << c.body;
    EXPECT_EQ(info.status, 200) << c.body;
  }
}

TEST(AnswerParsersTest, UpgradeReadsDataAndTopLevelInfo) {
  UpgradeInfo info;
  ReadUpgradeAnswer(
      R"({"info":"new","data":{"must":1,"package":"p","version":"2.0","details":"d"}})", Mark,
      &info);
  EXPECT_EQ(info.must, 1);
  EXPECT_EQ(info.package, "<p>");
  EXPECT_EQ(info.version, "<2.0>");
  EXPECT_EQ(info.details, "<d>");
  EXPECT_EQ(info.info, "<new>");
  UpgradeInfo no_data;
  ReadUpgradeAnswer(R"({"info":"none","data":null})", Mark, &no_data);
  EXPECT_EQ(no_data.info, "<none>");
  EXPECT_EQ(no_data.must, 0);
}

TEST(AnswerParsersTest, MemberDaysAndTimeTexts) {
  struct Case {
    const char* body;
    const char* deadline;  // nullptr: the time text of `deadline_seconds`.
    int64_t deadline_seconds;
    bool has_timestamp;
    int64_t days;
  } cases[] = {
      {R"({"data":{"deadline":0,"timestamp":1000000}})", "0", 0, true, -11},
      {R"({"data":{"deadline":1129600,"timestamp":1000000}})", nullptr, 1129600, true, 1},
      {R"({"data":{"deadline":1000000}})", nullptr, 1000000, false, 0},
      {R"({"data":{"deadline":"1000000","timestamp":1000000}})", "", 0, true, 0},
      {R"({"data":{"deadline":9223372036854775807,"timestamp":-9223372036854775808}})", "", 0,
       false, 213503982334601},
  };
  for (const Case& c : cases) {
    MemberInfo info;
    ReadMemberAnswer(c.body, Mark, &info);
    std::string expected_deadline = c.deadline ? c.deadline : FormatTimeText(c.deadline_seconds);
    EXPECT_EQ(info.deadline, expected_deadline) << c.body;
    if (c.has_timestamp) {
      EXPECT_EQ(info.timestamp, FormatTimeText(1000000)) << c.body;
    }
    EXPECT_EQ(info.days, c.days) << c.body;
  }
  MemberInfo named;
  ReadMemberAnswer(R"({"data":{"nickname":"n"}})", Mark, &named);
  EXPECT_EQ(named.nickname, "<n>");
  EXPECT_EQ(named.deadline, "");
}

TEST(AnswerParsersTest, TimeTextIsLocalTime) {
  time_t when = 1700000000;
  struct tm local {};
  ASSERT_NE(localtime_r(&when, &local), nullptr);
  char expected[64];
  strftime(expected, sizeof(expected), "%Y-%m-%d %H:%M:%S", &local);
  EXPECT_EQ(FormatTimeText(1700000000), expected);
  EXPECT_EQ(FormatTimeText(INT64_MAX), "");
}

TEST(AnswerParsersTest, GoodsSkipNullPlansAndMistypedFields) {
  auto goods = ReadGoodsAnswer(
      R"({"data":{"monthly":{"describe":"m","favorable":1,"handsel":2,"payable":3,"payment":4},)"
      R"("season":null,"yearly":{"payable":"30","payment":3000000000},"weekly":{}}})",
      Mark);
  ASSERT_EQ(goods.size(), 2u);
  const GoodsItem& monthly = goods.at("monthly");
  EXPECT_EQ(monthly.describe, "<m>");
  EXPECT_EQ(monthly.favorable, 1);
  EXPECT_EQ(monthly.handsel, 2);
  EXPECT_EQ(monthly.payable, 3);
  EXPECT_EQ(monthly.payment, 4);
  EXPECT_EQ(monthly.reserved, 0);
  const GoodsItem& yearly = goods.at("yearly");
  EXPECT_EQ(yearly.payable, 0);
  EXPECT_EQ(yearly.payment, 0);
  EXPECT_EQ(ReadGoodsAnswer(R"({"data":{"yearly":{}}})", Mark).size(), 1u);
  EXPECT_TRUE(ReadGoodsAnswer(R"({"data":null})", Mark).empty());
}

TEST(AnswerParsersTest, OrderPayStatusAndNotice) {
  WechatOrder order;
  ReadWechatOrderAnswer(
      R"({"data":{"nickname":"n","payee":"p","qr_url":"weixin://q","trade_no":"T1"}})", Mark,
      &order);
  EXPECT_EQ(order.nickname, "<n>");
  EXPECT_EQ(order.payee, "<p>");
  EXPECT_EQ(order.qr_url, "<weixin://q>");
  EXPECT_EQ(order.trade_no, "<T1>");

  EXPECT_EQ(ReadPayStatusAnswer(R"({"data":{"status":3}})"), 3);
  EXPECT_EQ(ReadPayStatusAnswer(R"({"data":{"status":"3"}})"), 0);
  EXPECT_EQ(ReadPayStatusAnswer(R"({"status":3})"), 0);

  NoticeInfo notice;
  ReadNoticeAnswer(
      R"({"data":{"id":7,"timestamp":5000000000,"deadline":6000000000,"text":"t","title":"h",)"
      R"("url":"u"}})",
      Mark, &notice);
  EXPECT_EQ(notice.id, 7);
  EXPECT_EQ(notice.timestamp, 5000000000);
  EXPECT_EQ(notice.deadline, 6000000000);
  EXPECT_EQ(notice.text, "<t>");
  EXPECT_EQ(notice.title, "<h>");
  EXPECT_EQ(notice.url, "<u>");
}

}  // namespace
}  // namespace servicebridge
