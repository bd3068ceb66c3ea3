#include "tools/tapinstall/tapinstall_command.h"

#include <strings.h>

#include <cstdio>
#include <memory>

#include "kelvonet/kelvo_net.h"
#include "machine/store.h"

namespace tools {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFail = 2;
constexpr int kExitUsage = 3;

const char kUsage[] =
    "tapinstall.exe: Invalid use of the command line.\n"
    "Usage: tapinstall install <inf> tap0901\n"
    "       tapinstall remove tap0901\n"
    "       tapinstall status|find|hwids tap0901\n";

bool IsTapId(const std::string& id) {
  return strcasecmp(id.c_str(), kKelvoTapAdapterName) == 0;
}

std::string DeviceId(size_t index) {
  char text[32];
  snprintf(text, sizeof(text), "ROOT\\NET\\%04zu", index);
  return text;
}

// The TAP adapters of the store; false when it cannot be read.
bool ListTaps(std::vector<machine::AdapterRecord>* taps) {
  std::unique_ptr<machine::Store> store;
  std::vector<machine::AdapterRecord> all;
  if (machine::Store::Open(&store) != machine::Status::kOk ||
      store->ListAdapters(&all) != machine::Status::kOk) {
    return false;
  }
  for (const machine::AdapterRecord& adapter : all) {
    if (IsTapId(adapter.name))
      taps->push_back(adapter);
  }
  return true;
}

int Install(const std::vector<std::string>& args, std::string* out) {
  if (args.size() != 3)
    return out->append(kUsage), kExitUsage;
  const std::string& inf = args[1];
  if (!IsTapId(args[2])) {
    out->append("devcon failed.\n");
    return kExitFail;
  }
  int result = install_tap_driver();
  if (result < 0) {
    out->append("devcon failed.\n");
    return kExitFail;
  }
  if (result == 0)
    out->append("Device node created. Install is complete when drivers are installed...\n");
  else
    out->append("A device node for tap0901 exists already.\n");
  out->append("Updating drivers for tap0901 from " + inf + ".\n");
  out->append("Drivers installed successfully.\n");
  return kExitOk;
}

int Remove(const std::vector<std::string>& args, std::string* out) {
  if (args.size() != 2)
    return out->append(kUsage), kExitUsage;
  std::vector<machine::AdapterRecord> taps;
  if (IsTapId(args[1]) && !ListTaps(&taps)) {
    out->append("devcon failed.\n");
    return kExitFail;
  }
  std::unique_ptr<machine::Store> store;
  if (!taps.empty() && machine::Store::Open(&store) != machine::Status::kOk) {
    out->append("devcon failed.\n");
    return kExitFail;
  }
  size_t removed = 0;
  for (size_t i = 0; i < taps.size(); ++i) {
    if (store->RemoveAdapter(taps[i].id) != machine::Status::kOk) {
      out->append(DeviceId(i) + " : Remove failed\n");
      continue;
    }
    out->append(DeviceId(i) + " : Removed\n");
    ++removed;
  }
  if (removed == 0)
    out->append("No devices were removed.\n");
  else
    out->append(std::to_string(removed) + " device(s) were removed.\n");
  return removed == taps.size() ? kExitOk : kExitFail;
}

int List(const std::vector<std::string>& args, std::string* out) {
  if (args.size() != 2)
    return out->append(kUsage), kExitUsage;
  std::vector<machine::AdapterRecord> taps;
  if (IsTapId(args[1]) && !ListTaps(&taps)) {
    out->append("devcon failed.\n");
    return kExitFail;
  }
  if (taps.empty()) {
    out->append("No matching devices found.\n");
    return kExitOk;
  }
  const std::string& command = args[0];
  for (size_t i = 0; i < taps.size(); ++i) {
    if (strcasecmp(command.c_str(), "find") == 0) {
      out->append(DeviceId(i) + "    : " + taps[i].description + "\n");
    } else {
      out->append(DeviceId(i) + "\n    Name: " + taps[i].description + "\n");
      if (strcasecmp(command.c_str(), "hwids") == 0)
        out->append("    Hardware IDs:\n        tap0901\n");
      else
        out->append("    Driver is running.\n");
    }
  }
  out->append(std::to_string(taps.size()) + " matching device(s) found.\n");
  return kExitOk;
}

}  // namespace

int RunTapInstallCommand(const std::vector<std::string>& args, std::string* out) {
  if (args.empty())
    return out->append(kUsage), kExitUsage;
  const char* command = args[0].c_str();
  if (strcasecmp(command, "install") == 0)
    return Install(args, out);
  if (strcasecmp(command, "remove") == 0)
    return Remove(args, out);
  if (strcasecmp(command, "status") == 0 || strcasecmp(command, "find") == 0 ||
      strcasecmp(command, "hwids") == 0) {
    return List(args, out);
  }
  out->append(kUsage);
  return kExitUsage;
}

}  // namespace tools
