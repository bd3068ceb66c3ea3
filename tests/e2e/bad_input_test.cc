// The client against bad service hosts and bad config.ini files: each gives
// the product's message or default, never a crash or a hang.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "tests/e2e/client_fixture.h"

namespace tern::e2e {
namespace {

constexpr char kLogin[] = "LoginWnd";
constexpr char kNumber[] = "13800000001";
constexpr char kPassword[] = "abc12345";

// A loopback HTTP server that answers every request with a 200 and a body
// that is not JSON.
class GarbageServer {
 public:
  GarbageServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen(fd_, 16);
    thread_ = std::thread([this] {
      for (;;) {
        int c = accept(fd_, nullptr, nullptr);
        if (c < 0 || stop_)
          break;
        char buffer[8192];
        ssize_t n = recv(c, buffer, sizeof(buffer), 0);
        (void)n;
        const char answer[] =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 17\r\n"
            "Connection: close\r\n\r\n<html>oops</html>";
        send(c, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
        close(c);
      }
    });
  }
  ~GarbageServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class BadInputTest : public ClientFixture {
 protected:
  // Signs in and returns the tip once the buttons are back.
  std::string TipFor(const Program& client) {
    const Automation& ui = client.ui();
    EXPECT_TRUE(ui.Type(kLogin, "account_edit", kNumber));
    EXPECT_TRUE(ui.Type(kLogin, "passwd_edit", kPassword));
    EXPECT_TRUE(ui.Click(kLogin, "login_btn"));
    EXPECT_TRUE(ui.WaitForEnabled(kLogin, "login_btn", Millis(60000)));
    return ui.Text(kLogin, "login_tips");
  }

  void CloseAndExpectCleanExit(Program& client) {
    ASSERT_TRUE(client.ui().Click(kLogin, "login_wnd_close"));
    EXPECT_EQ(client.WaitForExit(), 0) << client.Output();
  }
};

TEST_F(BadInputTest, ARefusedConnectionIsANetworkFailure) {
  // Nothing listens on port 1 of the loopback.
  WriteServiceHosts(program_dir_, "https://127.0.0.1:1", "https://127.0.0.1:1",
                    "https://127.0.0.1:1");
  auto client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  EXPECT_EQ(TipFor(*client), "登录失败，请检查网络连接是否正常");
  CloseAndExpectCleanExit(*client);
}

TEST_F(BadInputTest, AServiceAnsweringGarbage) {
  GarbageServer garbage;
  WriteServiceHosts(program_dir_, garbage.url(), garbage.url(), garbage.url());
  auto client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  EXPECT_EQ(TipFor(*client), "登录失败，请确认账号密码是否正确");
  // The code request gets its failure text too.
  ASSERT_TRUE(client->ui().Click(kLogin, "swicht_login_btn"));
  ASSERT_TRUE(client->ui().Click(kLogin, "send_captcha_btn"));
  EXPECT_TRUE(client->ui().WaitForText(kLogin, "phone_login_tips", "验证码发送失败，请稍后重试"));
  CloseAndExpectCleanExit(*client);
}

TEST_F(BadInputTest, EmptyServiceHostsFallBackWithoutAHang) {
  WriteServiceHosts(program_dir_, "", "", "");
  auto client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  // Whatever the build's default host answers (usually nothing), the
  // buttons come back with a tip.
  EXPECT_FALSE(TipFor(*client).empty());
  CloseAndExpectCleanExit(*client);
}

TEST_F(BadInputTest, MissingEmptyOrForeignConfigFiles) {
  struct Case {
    const char* name;
    bool write;
    std::string bytes;
  } cases[] = {
      {"missing", false, ""},
      {"empty", true, ""},
      {"foreign bytes", true,
       std::string("\xff\xfe\x00[\x80\x81]=\x01\r\n[user_data]\naccount=zz\n\x9f", 31)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove((program_dir_ + "/config.ini").c_str());
    if (c.write)
      std::ofstream(program_dir_ + "/config.ini", std::ios::binary) << c.bytes;
    auto client = StartClient();
    ASSERT_TRUE(client->ui().WaitForWindow(kLogin)) << client->Output();
    // Nothing remembered: empty edits, the options at their defaults.
    EXPECT_EQ(client->ui().Text(kLogin, "account_edit"), "");
    EXPECT_EQ(client->ui().Text(kLogin, "passwd_edit"), "");
    EXPECT_TRUE(client->ui().State(kLogin, "remember_passwd").selected);
    EXPECT_FALSE(client->ui().State(kLogin, "auto_login").selected);
    CloseAndExpectCleanExit(*client);
  }
}

}  // namespace
}  // namespace tern::e2e
