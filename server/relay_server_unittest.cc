// The relay of a real tern-service, spoken to over TLS as the dial library
// does, trusting the service's certificate only.
#include "server/relay_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "kelvonet/dial_protocol.h"
#include "server/testing/service_test_fixture.h"
#include "server/testing/tls_connection.h"

namespace tern {
namespace {

class RelayServerTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    HttpAnswer reg = Register("13800000001", "abc12345");
    ASSERT_EQ(reg.code, 200);
    rapidjson::Document doc = Parse(reg);
    uuid_ = doc["data"]["uuid"].GetString();
    interim_ = doc["data"]["interim"].GetString();
    ASSERT_EQ(service_->Admin({"set-member", "13800000001", "30"}).exit_code, 0);
  }

  std::unique_ptr<TlsConnection> Connect(const std::string& addr) {
    return std::make_unique<TlsConnection>(addr, service_->relay_port(),
                                           service_->certificate_path());
  }

  std::string Dial(TlsConnection* c,
                   int protocol,
                   const std::string& uuid,
                   const std::string& interim) {
    c->Send(kelvonet::EncodeDialRequest(
        {protocol, uuid, interim, "43.100.1.0 255.255.255.0 43.100.1.0/24\n"}));
    return c->ReadLine();
  }

  std::string uuid_;
  std::string interim_;
};

TEST_F(RelayServerTest, ASessionLivesWithKeepAlivesUntilTheDiallerHangsUp) {
  // Every node address is a relay, on the one port.
  auto c = Connect("127.0.0.4");
  ASSERT_TRUE(c->ok());
  std::string reply = Dial(c.get(), 3, uuid_, interim_);
  kelvonet::DialReply parsed;
  ASSERT_EQ(kelvonet::ParseDialReply(reply, &parsed), kelvonet::ParseStatus::kOk) << reply;
  ASSERT_TRUE(parsed.accepted) << reply;
  EXPECT_GT(parsed.keepalive_seconds, 0);
  EXPECT_TRUE(c->Send("PING\n"));
  EXPECT_EQ(c->ReadLine(), "PONG");

  ProcessResult list = service_->Admin({"list-sessions"});
  EXPECT_NE(list.out.find(parsed.session_id + "\t13800000001\t127.0.0.4\tprotocol 3\t1 routes"),
            std::string::npos)
      << list.out;

  c->Send("BYE\n");
  EXPECT_EQ(c->ReadLine(), "<closed>");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(service_->Admin({"list-sessions"}).out, "");
  EXPECT_NE(service_->Admin({"list-sessions", "--all"}).out.find("hung up by the dialler"),
            std::string::npos);
}

TEST_F(RelayServerTest, RefusedDials) {
  struct Case {
    const char* name;
    std::string wire;
    uint32_t code;
  };
  // Differs from the real credential whatever its first characters are.
  std::string wrong_interim = interim_;
  wrong_interim[0] = wrong_interim[0] == '0' ? '1' : '0';
  Case cases[] = {
      {"wrong interim", kelvonet::EncodeDialRequest({0, uuid_, wrong_interim, ""}), 691},
      {"unknown uuid", kelvonet::EncodeDialRequest({0, "nobody", interim_, ""}), 691},
      {"unknown protocol", kelvonet::EncodeDialRequest({7, uuid_, interim_, ""}), 720},
      {"not the protocol", "GET / HTTP/1.1\r\n\r\n", 734},
  };
  for (const Case& c : cases) {
    auto conn = Connect("127.0.0.2");
    ASSERT_TRUE(conn->ok());
    ASSERT_TRUE(conn->Send(c.wire));
    kelvonet::DialReply reply;
    std::string line = conn->ReadLine();
    ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk)
        << c.name << ": " << line;
    EXPECT_FALSE(reply.accepted) << c.name;
    EXPECT_EQ(reply.code, c.code) << c.name;
    EXPECT_EQ(conn->ReadLine(), "<closed>") << c.name;
  }
  // None of the refusals counted as a dial, so the first real one goes through
  // and the next one within 20 s does not.
  auto first = Connect("127.0.0.2");
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(first.get(), 1, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  EXPECT_TRUE(reply.accepted);
  auto second = Connect("127.0.0.3");
  std::string line = Dial(second.get(), 1, uuid_, interim_);
  ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk);
  EXPECT_FALSE(reply.accepted);
  EXPECT_EQ(reply.code, 32u);
  EXPECT_EQ(reply.reason, "dialling too frequently");
  // The first session is untouched by the refused second dial.
  first->Send("PING\n");
  EXPECT_EQ(first->ReadLine(), "PONG");
}

TEST_F(RelayServerTest, TheAdminCommandDropsASession) {
  auto c = Connect("127.0.0.7");
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(c.get(), 0, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  ASSERT_TRUE(reply.accepted);
  ProcessResult drop = service_->Admin({"drop-session", "13800000001"});
  EXPECT_EQ(drop.exit_code, 0) << drop.out;
  EXPECT_EQ(c->ReadLine(5000), "BYE dropped by operator");
  EXPECT_EQ(c->ReadLine(), "<closed>");
  EXPECT_EQ(service_->Admin({"drop-session", "13800000001"}).exit_code, 1);
}

TEST_F(RelayServerTest, StoppingTheServiceEndsSessions) {
  auto c = Connect("127.0.0.4");
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(c.get(), 0, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  ASSERT_TRUE(reply.accepted);
  // A half-sent handshake must not hold the stop up either.
  auto idle = Connect("127.0.0.4");
  idle->Send("KELVO/1 DIAL 0 ");
  EXPECT_TRUE(service_->Stop());
  EXPECT_EQ(c->ReadLine(), "BYE relay stopped");
}

TEST_F(RelayServerTest, APlainTextClientGetsNoSession) {
  int fd = ConnectTcp("127.0.0.4", service_->relay_port());
  ASSERT_GE(fd, 0);
  std::string wire = kelvonet::EncodeDialRequest({3, uuid_, interim_, ""});
  ASSERT_EQ(send(fd, wire.data(), wire.size(), MSG_NOSIGNAL), static_cast<ssize_t>(wire.size()));
  std::string line = ReadPlainLine(fd);
  close(fd);
  EXPECT_NE(line.rfind("OK ", 0), 0u) << line;
  EXPECT_NE(line.rfind("ERR ", 0), 0u) << line;
  EXPECT_EQ(service_->Admin({"list-sessions", "--all"}).out, "");
}

// Credentials and membership are checked on the first line: a refused dial
// is answered at once, without the route text it announced.
TEST_F(RelayServerTest, ANonMemberIsRefusedBeforeItsRoutes) {
  ASSERT_EQ(service_->Admin({"set-member", "13800000001", "0"}).exit_code, 0);
  auto c = Connect("127.0.0.4");
  ASSERT_TRUE(c->ok());
  c->Send("KELVO/1 DIAL 3 " + uuid_ + " " + interim_ + " 1000000\n");
  kelvonet::DialReply reply;
  std::string line = c->ReadLine(3000);
  ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk) << line;
  EXPECT_FALSE(reply.accepted);
  EXPECT_EQ(reply.code, 691u);
  EXPECT_EQ(reply.reason, "no membership");
}

TEST_F(RelayServerTest, ANewPasswordRevokesTheTunnelCredential) {
  auto c = Connect("127.0.0.4");
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(c.get(), 3, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  ASSERT_TRUE(reply.accepted);

  std::string code = SmsCode("13800000001");
  HttpAnswer reset = client_->Post(
      "/retrieve/cellphone.do?chan=official&dev=test&mac=",
      "{\"username\":\"13800000001\",\"password\":" + JsonQuote(Encrypt("new-pass9")) +
          ",\"captcha\":\"" + code + "\"}");
  ASSERT_EQ(reset.code, 200) << reset.body;

  // The live session ends, and the old credential dials no more.
  EXPECT_EQ(c->ReadLine(5000), "BYE credentials revoked");
  EXPECT_EQ(c->ReadLine(), "<closed>");
  auto again = Connect("127.0.0.5");
  std::string line = Dial(again.get(), 3, uuid_, interim_);
  ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk) << line;
  EXPECT_FALSE(reply.accepted);
  EXPECT_EQ(reply.code, 691u);
}

TEST_F(RelayServerTest, ConnectionsAreCappedAndStalledHandshakesEnded) {
  ASSERT_TRUE(service_->Stop());
  StartService({"--max-per-address", "2", "--header-timeout", "1"});
  int first = ConnectTcp("127.0.0.4", service_->relay_port());
  int second = ConnectTcp("127.0.0.4", service_->relay_port());
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  // Past the cap for this address: closed without a byte.
  int third = ConnectTcp("127.0.0.4", service_->relay_port());
  ASSERT_GE(third, 0);
  EXPECT_EQ(ReadPlainLine(third, 5000), "<closed>");
  close(third);
  // The two that never start their handshake are ended at the deadline,
  // which makes room again.
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadPlainLine(first, 5000), "<closed>");
  EXPECT_EQ(ReadPlainLine(second, 5000), "<closed>");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  close(first);
  close(second);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto c = Connect("127.0.0.4");
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(c.get(), 3, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  EXPECT_TRUE(reply.accepted);
}

TEST_F(RelayServerTest, ADialIntervalOfZeroAcceptsDialsBackToBack) {
  service_->Stop();
  StartService({"--sms-interval", "0", "--dial-interval", "0"});
  for (int i = 0; i < 3; ++i) {
    auto c = Connect("127.0.0.2");
    kelvonet::DialReply reply;
    ASSERT_EQ(kelvonet::ParseDialReply(Dial(c.get(), 1, uuid_, interim_), &reply),
              kelvonet::ParseStatus::kOk);
    EXPECT_TRUE(reply.accepted) << "dial " << i << ": " << reply.code;
  }
}

}  // namespace
}  // namespace tern
