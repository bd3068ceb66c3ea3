// The relay of a real tern-service, spoken to over raw TCP.
#include "server/relay_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "kelvonet/dial_protocol.h"
#include "server/testing/service_test_fixture.h"

namespace tern {
namespace {

class Connection {
 public:
  Connection(const std::string& addr, int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, addr.c_str(), &sa.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~Connection() {
    if (fd_ >= 0)
      close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Send(const std::string& text) {
    ASSERT_EQ(send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  // One line without "\n"; "<closed>" at the end of the stream.
  std::string ReadLine(int timeout_ms = 10000) {
    while (buffer_.find('\n') == std::string::npos) {
      pollfd p{fd_, POLLIN, 0};
      char chunk[1024];
      ssize_t n = 0;
      if (poll(&p, 1, timeout_ms) <= 0)
        return "<timeout>";
      if ((n = recv(fd_, chunk, sizeof(chunk), 0)) <= 0)
        return "<closed>";
      buffer_.append(chunk, n);
    }
    std::string line = buffer_.substr(0, buffer_.find('\n'));
    buffer_.erase(0, line.size() + 1);
    return line;
  }

 private:
  int fd_ = -1;
  std::string buffer_;
};

class RelayServerTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    HttpAnswer reg = Register("13800000001", "abc12345");
    ASSERT_EQ(reg.code, 200);
    rapidjson::Document doc = Parse(reg);
    uuid_ = doc["data"]["uuid"].GetString();
    interim_ = doc["data"]["interim"].GetString();
  }

  std::string Dial(Connection* c,
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
  Connection c("127.0.0.4", service_->relay_port());
  ASSERT_TRUE(c.ok());
  std::string reply = Dial(&c, 3, uuid_, interim_);
  kelvonet::DialReply parsed;
  ASSERT_EQ(kelvonet::ParseDialReply(reply, &parsed), kelvonet::ParseStatus::kOk) << reply;
  ASSERT_TRUE(parsed.accepted) << reply;
  EXPECT_GT(parsed.keepalive_seconds, 0);
  c.Send("PING\n");
  EXPECT_EQ(c.ReadLine(), "PONG");

  ProcessResult list = service_->Admin({"list-sessions"});
  EXPECT_NE(list.out.find(parsed.session_id + "\t13800000001\t127.0.0.4\tprotocol 3\t1 routes"),
            std::string::npos)
      << list.out;

  c.Send("BYE\n");
  EXPECT_EQ(c.ReadLine(), "<closed>");
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
  } cases[] = {
      {"wrong interim", kelvonet::EncodeDialRequest({0, uuid_, "00" + interim_.substr(2), ""}),
       691},
      {"unknown uuid", kelvonet::EncodeDialRequest({0, "nobody", interim_, ""}), 691},
      {"unknown protocol", kelvonet::EncodeDialRequest({7, uuid_, interim_, ""}), 720},
      {"not the protocol", "GET / HTTP/1.1\r\n\r\n", 734},
  };
  for (const Case& c : cases) {
    Connection conn("127.0.0.2", service_->relay_port());
    ASSERT_TRUE(conn.ok());
    conn.Send(c.wire);
    kelvonet::DialReply reply;
    std::string line = conn.ReadLine();
    ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk)
        << c.name << ": " << line;
    EXPECT_FALSE(reply.accepted) << c.name;
    EXPECT_EQ(reply.code, c.code) << c.name;
    EXPECT_EQ(conn.ReadLine(), "<closed>") << c.name;
  }
  // None of the refusals counted as a dial, so the first real one goes through
  // and the next one within 20 s does not.
  Connection first("127.0.0.2", service_->relay_port());
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(&first, 1, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  EXPECT_TRUE(reply.accepted);
  Connection second("127.0.0.3", service_->relay_port());
  std::string line = Dial(&second, 1, uuid_, interim_);
  ASSERT_EQ(kelvonet::ParseDialReply(line, &reply), kelvonet::ParseStatus::kOk);
  EXPECT_FALSE(reply.accepted);
  EXPECT_EQ(reply.code, 32u);
  EXPECT_EQ(reply.reason, "dialling too frequently");
  // The first session is untouched by the refused second dial.
  first.Send("PING\n");
  EXPECT_EQ(first.ReadLine(), "PONG");
}

TEST_F(RelayServerTest, TheAdminCommandDropsASession) {
  Connection c("127.0.0.7", service_->relay_port());
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(&c, 0, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  ASSERT_TRUE(reply.accepted);
  ProcessResult drop = service_->Admin({"drop-session", "13800000001"});
  EXPECT_EQ(drop.exit_code, 0) << drop.out;
  EXPECT_EQ(c.ReadLine(5000), "BYE dropped by operator");
  EXPECT_EQ(c.ReadLine(), "<closed>");
  EXPECT_EQ(service_->Admin({"drop-session", "13800000001"}).exit_code, 1);
}

TEST_F(RelayServerTest, StoppingTheServiceEndsSessions) {
  Connection c("127.0.0.4", service_->relay_port());
  kelvonet::DialReply reply;
  ASSERT_EQ(kelvonet::ParseDialReply(Dial(&c, 0, uuid_, interim_), &reply),
            kelvonet::ParseStatus::kOk);
  ASSERT_TRUE(reply.accepted);
  // A half-sent handshake must not hold the stop up either.
  Connection idle("127.0.0.4", service_->relay_port());
  idle.Send("KELVO/1 DIAL 0 ");
  EXPECT_TRUE(service_->Stop());
  EXPECT_EQ(c.ReadLine(), "BYE relay stopped");
}

TEST_F(RelayServerTest, ADialIntervalOfZeroAcceptsDialsBackToBack) {
  service_->Stop();
  StartService({"--sms-interval", "0", "--dial-interval", "0"});
  for (int i = 0; i < 3; ++i) {
    Connection c("127.0.0.2", service_->relay_port());
    kelvonet::DialReply reply;
    ASSERT_EQ(kelvonet::ParseDialReply(Dial(&c, 1, uuid_, interim_), &reply),
              kelvonet::ParseStatus::kOk);
    EXPECT_TRUE(reply.accepted) << "dial " << i << ": " << reply.code;
  }
}

}  // namespace
}  // namespace tern
