#include "win32/netbios.h"

#include <dirent.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct SysInterface {
  int index;
  std::string name;
  std::string mac;  // "aa:bb:cc:dd:ee:ff" as sysfs prints it.
};

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The adapters as sysfs shows them, read independently of getifaddrs.
std::vector<SysInterface> SysfsAdapters(const std::string& hidden) {
  std::vector<SysInterface> result;
  DIR* dir = opendir("/sys/class/net");
  if (!dir)
    return result;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || name == hidden)
      continue;
    std::string base = "/sys/class/net/" + name + "/";
    int flags = std::stoi(ReadLine(base + "flags"), nullptr, 16);
    if (flags & 0x8)  // IFF_LOOPBACK
      continue;
    if (ReadLine(base + "addr_len") != "6")
      continue;
    std::string mac = ReadLine(base + "address");
    if (mac == "00:00:00:00:00:00")
      continue;
    result.push_back({std::stoi(ReadLine(base + "ifindex")), name, mac});
  }
  closedir(dir);
  std::sort(result.begin(), result.end(),
            [](const SysInterface& a, const SysInterface& b) { return a.index < b.index; });
  return result;
}

class NetbiosTest : public testing::Test {
 protected:
  void SetUp() override { unsetenv("TERN_NETBIOS_HIDE"); }
  void TearDown() override { unsetenv("TERN_NETBIOS_HIDE"); }

  UCHAR Enumerate(LANA_ENUM* lanas) {
    NCB ncb{};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<UCHAR*>(lanas);
    ncb.ncb_length = sizeof(*lanas);
    UCHAR code = Netbios(&ncb);
    EXPECT_EQ(code, ncb.ncb_retcode);
    return code;
  }

  UCHAR Command(UCHAR command, UCHAR lana, const char* callname, void* buffer, WORD length) {
    NCB ncb{};
    ncb.ncb_command = command;
    ncb.ncb_lana_num = lana;
    if (callname)
      memcpy(ncb.ncb_callname, callname, strlen(callname));
    ncb.ncb_buffer = static_cast<UCHAR*>(buffer);
    ncb.ncb_length = length;
    UCHAR code = Netbios(&ncb);
    EXPECT_EQ(code, ncb.ncb_retcode);
    return code;
  }

  std::optional<std::string> MacOfLana(UCHAR lana) {
    unsigned char buffer[600] = {};
    if (Command(NCBASTAT, lana, "*", buffer, sizeof(buffer)) != NRC_GOODRET)
      return std::nullopt;
    const auto* status = reinterpret_cast<const ADAPTER_STATUS*>(buffer);
    char text[18];
    snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", status->adapter_address[0],
             status->adapter_address[1], status->adapter_address[2], status->adapter_address[3],
             status->adapter_address[4], status->adapter_address[5]);
    return std::string(text);
  }
};

TEST_F(NetbiosTest, AdaptersFollowTheInterfacesInIndexOrder) {
  std::vector<SysInterface> expected = SysfsAdapters("");
  LANA_ENUM lanas{};
  ASSERT_EQ(Enumerate(&lanas), NRC_GOODRET);
  ASSERT_EQ(lanas.length, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(lanas.lana[i], i);
    EXPECT_EQ(Command(NCBRESET, lanas.lana[i], nullptr, nullptr, 0), NRC_GOODRET);
    EXPECT_EQ(MacOfLana(lanas.lana[i]), expected[i].mac) << expected[i].name;
  }
}

TEST_F(NetbiosTest, HidingAnInterfaceMovesTheNextOneUp) {
  std::vector<SysInterface> all = SysfsAdapters("");
  if (all.empty())
    GTEST_SKIP() << "no non-loopback interface with a hardware address here";
  setenv("TERN_NETBIOS_HIDE", ("nosuch," + all[0].name).c_str(), 1);
  std::vector<SysInterface> expected = SysfsAdapters(all[0].name);
  LANA_ENUM lanas{};
  ASSERT_EQ(Enumerate(&lanas), NRC_GOODRET);
  ASSERT_EQ(lanas.length, expected.size());
  if (!expected.empty()) {
    EXPECT_EQ(MacOfLana(0), expected[0].mac);
  }
}

TEST_F(NetbiosTest, HidingEverythingLeavesNoAdapter) {
  setenv("TERN_NETBIOS_HIDE", "*", 1);
  LANA_ENUM lanas;
  memset(&lanas, 0xAB, sizeof(lanas));
  ASSERT_EQ(Enumerate(&lanas), NRC_GOODRET);
  EXPECT_EQ(lanas.length, 0);
  EXPECT_EQ(Command(NCBRESET, 0, nullptr, nullptr, 0), NRC_BRIDGE);
  EXPECT_EQ(MacOfLana(0), std::nullopt);
}

TEST_F(NetbiosTest, RejectsBadCommandsAndBuffers) {
  unsigned char small[sizeof(ADAPTER_STATUS) - 1] = {};
  unsigned char lana_small[sizeof(LANA_ENUM) - 1] = {};
  unsigned char big[600] = {};
  bool has_adapter = !SysfsAdapters("").empty();
  struct Case {
    const char* what;
    UCHAR command;
    UCHAR lana;
    const char* callname;
    void* buffer;
    WORD length;
    UCHAR expected;
    bool needs_adapter;
  } cases[] = {
      {"unknown command", 0x7F, 0, "*", big, sizeof(big), NRC_ILLCMD, false},
      {"asynchronous enum", NCBENUM | ASYNCH, 0, nullptr, big, sizeof(big), NRC_ILLCMD, false},
      {"enum buffer too small", NCBENUM, 0, nullptr, lana_small, sizeof(lana_small), NRC_BUFLEN,
       false},
      {"enum without buffer", NCBENUM, 0, nullptr, nullptr, sizeof(LANA_ENUM), NRC_BUFLEN, false},
      {"status of unknown lana", NCBASTAT, MAX_LANA, "*", big, sizeof(big), NRC_BRIDGE, false},
      {"reset of unknown lana", NCBRESET, MAX_LANA, nullptr, nullptr, 0, NRC_BRIDGE, false},
      {"status buffer too small", NCBASTAT, 0, "*", small, sizeof(small), NRC_BUFLEN, true},
      {"status of a remote name", NCBASTAT, 0, "HOST", big, sizeof(big), NRC_ILLCMD, true},
  };
  for (const Case& c : cases) {
    if (c.needs_adapter && !has_adapter)
      continue;
    EXPECT_EQ(Command(c.command, c.lana, c.callname, c.buffer, c.length), c.expected) << c.what;
  }
  EXPECT_EQ(Netbios(nullptr), NRC_BUFLEN);
}

}  // namespace
