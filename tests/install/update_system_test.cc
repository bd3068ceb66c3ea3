// updater.exe end to end: the consent box, the client ended, the download
// from a loopback server or from tern-service with its progress, the
// installer started, and the failure texts.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "gtest/gtest.h"
#include "installer/product_layout.h"
#include "server/testing/service_process.h"
#include "tests/install/package_server.h"
#include "tests/install/program_harness.h"
#include "win32/code_page.h"
#include "win32/registry.h"

namespace {

namespace fs = std::filesystem;
using tern_test::ProgramHarness;

constexpr char kConsent[] = "检测到有版本更新，需要进行更新后才可以登录";

// The text after |key| up to the first of |ends|, "" when |key| is absent.
std::string After(const std::string& text, const std::string& key, const char* ends) {
  size_t at = text.find(key);
  if (at == std::string::npos)
    return "";
  at += key.size();
  return text.substr(at, text.find_first_of(ends, at) - at);
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path PackagePath() {
  return ProgramHarness::BuildProgramDir().parent_path() / "package" / "Installer.exe";
}

// The version text stamped into a client program, "" when it has none.
std::string StampedVersion(const fs::path& program, const fs::path& scratch) {
  fs::path section = scratch / "tern_version.bin";
  std::string command = "objcopy --dump-section .tern_version='" + section.string() + "' '" +
                        program.string() + "' /dev/null 2>/dev/null";
  if (std::system(command.c_str()) != 0)
    return "";
  std::string text = Read(section);
  return text.substr(0, text.find('\0'));
}

std::wstring RegisteredVersion() {
  wchar_t data[64] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, tern_install::kUninstallKey, L"DisplayVersion",
                   RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
    return L"";
  return data;
}

// The forced update as a user meets it, with the real client: tern-service
// announces 1.1.5 with "must", the client starts the updater and ends, the
// user agrees, the package replaces the programs, and the new client does not
// ask for the same update again.
TEST(ForcedUpdateJourneyTest, TheNewClientIsInPlace) {
  ProgramHarness h;
  ASSERT_TRUE(h.Install(/*real_client=*/true)) << "this build has no client";
  tern::ServiceProcess service(h.root().string() + "/service");
  ASSERT_TRUE(service.Start({"--package", PackagePath().string()}));
  ASSERT_EQ(service.Admin({"publish-version", "1.1.5", "--must"}).exit_code, 0);
  const std::string url = service.base_url();
  std::ofstream(h.program_dir() / "config.ini")
      << "[service_hosts]\naccount=" << url << "\nnode=" << url << "\nbilling=" << url
      << "\nca_file=" << service.data_dir() << "/tls_cert.pem\n";
  fs::create_directories(h.program_dir() / "log");
  ASSERT_EQ(StampedVersion(h.program_dir() / "rix.exe", h.root()), "1.1.4");

  pid_t client = h.Start(h.program_dir() / "rix.exe");
  // The client and then the updater serve the same automation socket.
  EXPECT_TRUE(h.WaitUntil(
      [&] {
        return h.Automate({"wait", "#32770"}) == "";
      },
      30000))
      << h.ReadLog("rix.exe");
  EXPECT_EQ(h.Automate({"msgbox"}), std::string(kConsent) + "\n");
  EXPECT_EQ(h.WaitExit(client, 20000), 0) << "the client ends itself";
  EXPECT_EQ(h.Automate({"msgbox", "ok"}), "");
  EXPECT_TRUE(h.WaitUntil([&] { return RegisteredVersion() == L"1.1.5"; }, 60000))
      << h.ReadLog("rix.exe");
  EXPECT_EQ(StampedVersion(h.program_dir() / "rix.exe", h.root()), "1.1.5");

  // The new client signs in as usual: no consent box, it keeps running.
  fs::remove(h.program_dir() / "log" / "client.log");
  client = h.Start(h.program_dir() / "rix.exe");
  EXPECT_EQ(h.Automate({"wait", "LoginWnd"}), "") << h.ReadLog("rix.exe");
  EXPECT_TRUE(h.WaitUntil([&] {
    return Read(h.program_dir() / "log" / "client.log").find("lastest version") !=
           std::string::npos;
  }));
  EXPECT_TRUE(h.Running(client));
  EXPECT_EQ(h.Automate({"msgbox"}, nullptr).find(kConsent), std::string::npos);
}

class UpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h_.Install());
    ASSERT_EQ(RegisteredVersion(), L"1.1.4") << "scripts/install registers this build's version";
    client_ = h_.StartFakeClient();
  }

  // Starts the updater with |url| and agrees in the consent box.
  pid_t StartAndAgree(const std::string& url) {
    pid_t pid = h_.Start(h_.program_dir() / "updater.exe", {url});
    EXPECT_EQ(h_.Automate({"wait", "#32770"}), "");
    EXPECT_EQ(h_.Automate({"msgbox"}), std::string(kConsent) + "\n");
    EXPECT_EQ(h_.Automate({"msgbox", "ok"}), "");
    EXPECT_EQ(h_.Automate({"wait", "UpgraderMainFrame"}), "");
    return pid;
  }

  std::string ConfigUrl() {
    return After(Read(h_.program_dir() / "config.ini"), "update_url=", "\r\n");
  }

  // The progress values the window showed, in order.
  std::vector<int> Progress() {
    std::vector<int> values;
    const std::string log = h_.ReadLog("updater.exe");
    const std::string key = "Download progress ";
    for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
      values.push_back(std::atoi(log.c_str() + at + key.size()));
    return values;
  }

  std::set<std::string> ProgramFiles() {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(h_.program_dir()))
      names.insert(fs::relative(entry.path(), h_.program_dir()).string());
    return names;
  }

  ProgramHarness h_;
  pid_t client_ = -1;
};

TEST_F(UpdateTest, CancelLeavesTheClientAndTheConfiguration) {
  pid_t pid = h_.Start(h_.program_dir() / "updater.exe", {"http://127.0.0.1:9/pkg/Installer.exe"});
  EXPECT_EQ(h_.Automate({"wait", "#32770"}), "");
  EXPECT_EQ(h_.Automate({"msgbox", "cancel"}), "");
  EXPECT_EQ(h_.WaitExit(pid, 20000), 0);
  EXPECT_TRUE(h_.Running(client_));
  EXPECT_FALSE(fs::exists(h_.program_dir() / "config.ini"));
}

// The whole journey against a loopback server: the client ends, the URL is
// recorded whole (longer than 99 characters), progress rises to 100 and the
// installer lays the package's programs and registers the new version.
TEST_F(UpdateTest, DownloadsAndStartsTheInstaller) {
  tern_test::PackageServer server(Read(PackagePath()));
  std::string url = server.Url("/pkg/" + std::string(90, 'a') + "/Installer.exe");
  pid_t pid = StartAndAgree(url);
  EXPECT_EQ(h_.WaitExit(client_, 5000), 128 + 9) << "the client was ended";
  EXPECT_EQ(h_.WaitExit(pid, 60000), 0) << h_.ReadLog("updater.exe");
  EXPECT_EQ(ConfigUrl(), url);
  std::vector<int> progress = Progress();
  ASSERT_GE(progress.size(), 3u) << h_.ReadLog("updater.exe");
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 101);
  EXPECT_TRUE(h_.WaitUntil([&] { return RegisteredVersion() == L"1.1.5"; }, 30000))
      << "the installer registered the package's version\n"
      << h_.ReadLog("updater.exe");
  EXPECT_EQ(Read(h_.program_dir() / "Installer.exe"), Read(PackagePath()));
}

TEST_F(UpdateTest, FailuresShowTheirTexts) {
  tern_test::PackageServer server(Read(PackagePath()));
  struct {
    std::string url;
    const char* text;
  } cases[] = {
      {server.Url("/pkg/"), "更新失败：无效的更新链接!"},
      {server.Url("/missing/Installer.exe"), "更新失败：系统无法找到指定资源!"},  // 404
      {"http://127.0.0.1:9/pkg/Installer.exe", "更新失败：下载地址无效!"},        // refused
      {"ftp://127.0.0.1:9/pkg/Installer.exe", "更新失败：无效的更新链接!"},
      // A package under another name arrives, but there is no installer to start.
      {server.Url("/pkg/Other.exe"), "更新失败：未知原因!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    pid_t pid = StartAndAgree(c.url);
    EXPECT_TRUE(h_.WaitForText("UpgraderMainFrame", "status_label", c.text))
        << h_.Automate({"text", "UpgraderMainFrame", "status_label"});
    EXPECT_TRUE(h_.Running(pid)) << "the window stays open";
    EXPECT_EQ(h_.Automate({"click", "UpgraderMainFrame", "close_btn"}), "");
    EXPECT_EQ(h_.WaitExit(pid, 20000), 0);
    EXPECT_FALSE(fs::exists(h_.program_dir() / "Installer.exe"));
  }
  EXPECT_NE(h_.ReadLog("updater.exe").find("update filename is empty"), std::string::npos);
}

TEST_F(UpdateTest, ClosingMidDownloadLeavesNoHalfFile) {
  tern_test::PackageServer server(Read(PackagePath()));
  std::set<std::string> before = ProgramFiles();
  before.insert("config.ini");
  before.insert("config.ini.lock");
  pid_t pid = StartAndAgree(server.Url("/endless/Installer.exe"));
  ASSERT_TRUE(h_.WaitUntil([&] { return !Progress().empty(); }));
  EXPECT_EQ(h_.Automate({"click", "UpgraderMainFrame", "close_btn"}), "");
  EXPECT_EQ(h_.WaitExit(pid, 20000), 0);
  EXPECT_EQ(ProgramFiles(), before) << "nothing is left of the download";
}

// The forced update as the client meets it: tern-service announces the
// version with "must" and the package's address; the new client is the
// package's.
TEST_F(UpdateTest, InstallsThePackageTernServiceAnnounces) {
  tern::ServiceProcess service(h_.root().string() + "/service");
  ASSERT_TRUE(service.Start({"--package", PackagePath().string()}));
  // The download trusts the service's certificate as the client does.
  std::ofstream(h_.program_dir() / "config.ini")
      << "[service_hosts]\nca_file=" << service.data_dir() << "/tls_cert.pem\n";
  ASSERT_EQ(service.Admin({"publish-version", "1.1.5", "--must"}).exit_code, 0);
  tern::HttpAnswer answer = tern::HttpsClient(service.base_url()).Get("/version/update.do");
  std::string package = After(answer.body, "\"package\":\"", "\"");
  ASSERT_FALSE(package.empty()) << answer.body;
  pid_t pid = StartAndAgree(package);
  EXPECT_EQ(h_.WaitExit(pid, 60000), 0) << h_.ReadLog("updater.exe");
  EXPECT_TRUE(h_.WaitUntil([&] { return RegisteredVersion() == L"1.1.5"; }, 30000));
}

}  // namespace
