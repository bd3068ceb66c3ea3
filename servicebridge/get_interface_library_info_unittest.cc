// Uses the built library the way the client does: through the public header
// and the one export.
#include <dlfcn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "servicebridge/service_bridge.h"
#include "servicebridge/test_https_server.h"

namespace {

std::string LibraryPath() {
  return base::ProgramDirectoryForTesting() + "/libServiceBridge.so";
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The vtable slot a virtual member function occupies (Itanium C++ ABI: the
// pointer holds 1 + the slot's byte offset).
template <typename Method>
size_t SlotOf(Method method) {
  static_assert(sizeof(method) == 2 * sizeof(ptrdiff_t));
  ptrdiff_t parts[2];
  memcpy(parts, &method, sizeof(parts));
  return static_cast<size_t>(parts[0] - 1) / sizeof(void*);
}

TEST(ServiceBridgeExportTest, OnlyTheEntryPointIsExported) {
  std::string command = "nm -D --defined-only '" + LibraryPath() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[1024];
  while (fgets(line, sizeof(line), pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (!name.empty())
      symbols.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(symbols, std::set<std::string>{"GetInterfaceLibraryInfo"});

  void* library = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_EQ(dlsym(library, "GetInterfaceLibraryInfo"),
            reinterpret_cast<void*>(&GetInterfaceLibraryInfo));
  dlclose(library);
}

TEST(ServiceBridgeExportTest, SlotsAreInInterfaceOrder) {
  using B = CServiceBridgeVirtual;
  const size_t slots[] = {
      SlotOf(&B::registerAccount), SlotOf(&B::loginAccount),      SlotOf(&B::resetPassword),
      SlotOf(&B::syncRouteTable),  SlotOf(&B::assignNodes),       SlotOf(&B::checkUpgrade),
      SlotOf(&B::getMemberInfo),   SlotOf(&B::refreshInterim),    SlotOf(&B::sendCaptcha),
      SlotOf(&B::pullDnsServer),   SlotOf(&B::createWechatOrder), SlotOf(&B::queryPayStatus),
      SlotOf(&B::getGoodsInfo),    SlotOf(&B::getNoticePopup),    SlotOf(&B::currentTimeMillis),
      SlotOf(&B::setExtraInfo1),   SlotOf(&B::setExtraInfo2),     SlotOf(&B::initialize),
      SlotOf(&B::setDeviceInfo),   SlotOf(&B::getPublicKey),
  };
  for (size_t i = 0; i < std::size(slots); ++i)
    EXPECT_EQ(slots[i], i);
  EXPECT_TRUE(std::has_virtual_destructor_v<B>);
  EXPECT_TRUE(std::is_abstract_v<B>);
}

TEST(ServiceBridgeExportTest, OneObjectForEveryCaller) {
  CServiceBridgeVirtual* seen[8] = {};
  std::thread threads[8];
  for (int i = 0; i < 8; ++i)
    threads[i] = std::thread([&seen, i] { seen[i] = GetInterfaceLibraryInfo(); });
  for (std::thread& thread : threads)
    thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (CServiceBridgeVirtual* bridge : seen)
    EXPECT_EQ(bridge, seen[0]);
  EXPECT_EQ(GetInterfaceLibraryInfo(), seen[0]);
}

// Runs `body` in a forked child, whose library has not been initialised yet,
// and returns its exit code and what it wrote to the standard output.
std::pair<int, std::string> RunInChild(const std::function<int()>& body) {
  int out[2];
  if (pipe(out) != 0)
    return {-1, ""};
  fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    int code = body();
    fflush(stdout);
    _exit(code);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof(buffer))) > 0)
    text.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// Points every host at a loopback port where nothing listens.
void WriteRefusingConfig(const std::filesystem::path& dir) {
  std::ofstream(dir / "config.ini") << "[service_hosts]\naccount=https://127.0.0.1:1\n"
                                    << "node=https://127.0.0.1:1\nbilling=https://127.0.0.1:1\n";
}

// These run before anything in this process initialises the library.
TEST(ServiceBridgeExportTest, LogFallsBackBesideTheDirectory) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::ofstream(dir.path() / "log") << "a file where the log folder should be";
  WriteRefusingConfig(dir.path());
  auto [code, out] = RunInChild([&] {
    CServiceBridgeVirtual* bridge = GetInterfaceLibraryInfo();
    bridge->initialize(dir.path().string());
    return bridge->getMemberInfo().days == 0 ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  const char* line =
      "get member info failed, error code:7, info:curl_easy_perform() failed:Couldn't connect to "
      "server\n";
  EXPECT_NE(ReadFile(dir.path() / "kelvolib.log").find(line), std::string::npos);
  EXPECT_NE(out.find(line), std::string::npos) << out;
}

TEST(ServiceBridgeExportTest, LogInitFailureIsReportedAndCallsGoOn) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  WriteRefusingConfig(dir.path());
  auto [code, out] = RunInChild([&] {
    spdlog::stdout_color_mt("console");
    CServiceBridgeVirtual* bridge = GetInterfaceLibraryInfo();
    bridge->initialize(dir.path().string());
    return bridge->queryPayStatus("T") == 0 ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("Log init failed: logger with name 'console' already exists"),
            std::string::npos)
      << out;
  EXPECT_NE(ReadFile(dir.path() / "log" / "kelvolib.log").find("query pay info failed, reason: 7"),
            std::string::npos);
}

TEST(ServiceBridgeExportTest, SecondInitializeMovesFilesButKeepsTheLog) {
  servicebridge::TestHttpsServer server;
  ASSERT_TRUE(server.started());
  base::ScopedTempDir first, second;
  ASSERT_TRUE(first.CreateUniqueTempDir() && second.CreateUniqueTempDir());
  setenv("TERN_MACHINE_ROOT", (first.path() / "machine").c_str(), 1);
  for (const base::ScopedTempDir* dir : {&first, &second}) {
    ASSERT_TRUE(server.WriteCertificate((dir->path() / "service.pem").string()));
    std::ofstream(dir->path() / "config.ini")
        << "[service_hosts]\naccount=" << server.base_url() << "\nnode=" << server.base_url()
        << "\nbilling=" << server.base_url() << "\nca_file=service.pem\n";
  }
  servicebridge::CannedAnswer refused;
  refused.status = 403;
  refused.body = R"({"code":1})";
  refused.headers = {{"Json-Web-Token", "t1"}};
  server.Answer("/member/info.do", refused);

  CServiceBridgeVirtual* bridge = GetInterfaceLibraryInfo();
  bridge->initialize(first.path().string());
  EXPECT_EQ(bridge->setDeviceInfo("dev"), 3);
  MemberInfo member = bridge->getMemberInfo();
  EXPECT_EQ(member.days, 0);
  EXPECT_EQ(member.deadline, "");
  std::filesystem::path log = first.path() / "log" / "kelvolib.log";
  EXPECT_NE(ReadFile(log).find("get member info failed, error code:403, info:{\"code\":1}"),
            std::string::npos);
  EXPECT_EQ(ReadFile(first.path() / "jwt"), "t1");

  bridge->initialize(second.path().string());
  refused.headers = {{"Json-Web-Token", "t2"}};
  refused.status = 410;
  server.Answer("/member/info.do", refused);
  bridge->getMemberInfo();
  EXPECT_EQ(server.LastRequest().Header("json-web-token"), "t1");
  EXPECT_EQ(ReadFile(second.path() / "jwt"), "t2");
  EXPECT_EQ(ReadFile(first.path() / "jwt"), "t1");
  EXPECT_NE(ReadFile(log).find("get member info failed, error code:410"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(second.path() / "log"));
}

}  // namespace
