#include "kelvonet/dial_protocol.h"

#include <gtest/gtest.h>

namespace kelvonet {
namespace {

TEST(DialProtocolTest, RequestRoundTripsAndWaitsForItsRouteBytes) {
  DialRequest request{3, "uuid-1", "interim-1", "10.1.2.0 255.255.255.0 10.1.2.0/24\n"};
  std::string wire = EncodeDialRequest(request);
  ASSERT_FALSE(wire.empty());

  DialRequest parsed;
  size_t consumed = 0;
  for (size_t cut = 0; cut < wire.size(); ++cut) {
    EXPECT_EQ(ParseDialRequest(std::string_view(wire).substr(0, cut), &parsed, &consumed),
              ParseStatus::kIncomplete)
        << cut;
  }
  ASSERT_EQ(ParseDialRequest(wire + "PING\n", &parsed, &consumed), ParseStatus::kOk);
  EXPECT_EQ(consumed, wire.size());
  EXPECT_EQ(parsed.protocol, 3);
  EXPECT_EQ(parsed.uuid, "uuid-1");
  EXPECT_EQ(parsed.interim, "interim-1");
  EXPECT_EQ(parsed.routes, request.routes);
}

TEST(DialProtocolTest, UnsendableRequestsEncodeToNothing) {
  const DialRequest cases[] = {
      {0, "", "i", ""},    {0, "u", "", ""},   {0, "u u", "i", ""},
      {0, "u", "i\n", ""}, {-1, "u", "i", ""}, {0, std::string(kMaxTokenBytes + 1, 'u'), "i", ""},
  };
  for (const DialRequest& request : cases) {
    EXPECT_EQ(EncodeDialRequest(request), "") << request.uuid << "/" << request.interim;
  }
}

TEST(DialProtocolTest, MalformedRequestHeaders) {
  const char* cases[] = {
      "HELLO\n",
      "KELVO/1 DIAL x u i 0\n",
      "KELVO/1 DIAL 1 u i\n",
      "KELVO/1 DIAL 1 u i 0 extra\n",
      "KELVO/1 DIAL 1 u i -5\n",
      "KELVO/1 DIAL 1 u i 99999999999\n",
      "KELVO/1 DIAL 1  i 0\n",
  };
  DialRequest parsed;
  size_t consumed = 0;
  for (const char* text : cases) {
    EXPECT_EQ(ParseDialRequest(text, &parsed, &consumed), ParseStatus::kMalformed) << text;
  }
  // An endless first line is refused before it fills memory.
  EXPECT_EQ(ParseDialRequest(std::string(kMaxLineBytes + 1, 'K'), &parsed, &consumed),
            ParseStatus::kMalformed);
}

TEST(DialProtocolTest, Replies) {
  DialReply reply;
  std::string accept = EncodeAccept("s-9", 5);
  accept.pop_back();
  ASSERT_EQ(ParseDialReply(accept, &reply), ParseStatus::kOk);
  EXPECT_TRUE(reply.accepted);
  EXPECT_EQ(reply.session_id, "s-9");
  EXPECT_EQ(reply.keepalive_seconds, 5);

  std::string refusal = EncodeRefusal(32, "dialling too frequently\nsecond line");
  ASSERT_EQ(refusal.find('\n'), refusal.size() - 1);
  refusal.pop_back();
  DialReply refused;
  ASSERT_EQ(ParseDialReply(refusal, &refused), ParseStatus::kOk);
  EXPECT_FALSE(refused.accepted);
  EXPECT_EQ(refused.code, 32u);
  EXPECT_EQ(refused.reason, "dialling too frequently second line");

  // Values out of range are refused: a keep-alive past an hour overflows the
  // dialler's waits, and a refusal with code 0 would read as success.
  ASSERT_EQ(ParseDialReply("OK s 3600", &reply), ParseStatus::kOk);
  EXPECT_EQ(reply.keepalive_seconds, kMaxKeepAliveSeconds);
  const std::string too_long = "ERR 734 " + std::string(kMaxLineBytes, 'x');
  for (std::string bad : {"", "OK", "OK s", "OK s 0", "OK s 3601", "OK s 2147483647",
                          "OK s 2147483648", "OK s -5", "ERR x y", "ERR 0 fine", "ERR 0", "PONG"}) {
    EXPECT_EQ(ParseDialReply(bad, &reply), ParseStatus::kMalformed) << bad;
  }
  EXPECT_EQ(ParseDialReply(too_long, &reply), ParseStatus::kMalformed);
}

TEST(DialProtocolTest, ServerAddresses) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  } cases[] = {
      {"127.0.0.3", true, "127.0.0.3", 0},
      {"127.0.0.3:9000", true, "127.0.0.3", 9000},
      {"[::1]:9000", true, "::1", 9000},
      {"::1", true, "::1", 0},
      {"host:0", false, "", 0},
      {"host:70000", false, "", 0},
      {"host:", false, "", 0},
      {":80", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string host;
    int port = -1;
    EXPECT_EQ(SplitServerAddress(c.text, &host, &port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    }
  }
}

}  // namespace
}  // namespace kelvonet
