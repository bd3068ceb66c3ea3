#include "tools/netsh/netsh_command.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "machine/store.h"

namespace tools {

namespace {

const char* const kResetSteps[] = {
    "Compartment Forwarding",
    "Compartment",
    "Control Protocol",
    "Echo Sequence Request",
    "Global",
    "Interface",
    "Anycast Address",
    "Multicast Address",
    "Unicast Address",
    "Neighbor",
    "Path",
    "Potential",
    "Prefix Policy",
    "Proxy Neighbor",
    "Route",
    "Site Prefix",
    "Subinterface",
    "Wakeup Pattern",
    "Resolve Neighbor",
};

bool WordIs(const std::string& word, std::initializer_list<const char*> uppers) {
  std::string w = word;
  std::transform(w.begin(), w.end(), w.begin(), [](unsigned char c) { return std::toupper(c); });
  for (const char* upper : uppers) {
    if (w == upper)
      return true;
  }
  return false;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args)
    text += (text.empty() ? "" : " ") + a;
  return text;
}

int StoreFailed(machine::Status status, std::string* out) {
  *out += std::string("The machine store could not be changed (") + machine::StatusName(status) +
          ").\n\n";
  return 1;
}

// Records a change: a counter, a line in the effects log and, optionally,
// settings, all in one transaction.
machine::Status Record(machine::Store* store,
                       const char* counter,
                       const std::string& effect,
                       const std::vector<std::pair<const char*, std::string>>& settings) {
  machine::Store::Transaction txn(store);
  machine::Status status = txn.status();
  for (const auto& [key, value] : settings) {
    if (status == machine::Status::kOk)
      status = store->SetSetting(key, value);
  }
  if (status == machine::Status::kOk && counter)
    status = store->IncrementCounter(counter, 1, nullptr);
  if (status == machine::Status::kOk)
    status = store->AppendEffect("netsh", effect);
  return status == machine::Status::kOk ? txn.Commit() : status;
}

int ResetIp(machine::Store* store, const std::string& log_file, std::string* out) {
  std::string log;
  for (const char* step : kResetSteps)
    log += std::string("Resetting ") + step + ", OK!\n";
  if (!log_file.empty()) {
    std::ofstream file(log_file, std::ios::app);
    file << log;
    if (!file.flush()) {
      *out += "The system cannot open the log file " + log_file + ".\n\n";
      return 1;
    }
  }
  machine::Status status = Record(store, "ip_reset", "int ip reset", {});
  if (status != machine::Status::kOk)
    return StoreFailed(status, out);
  *out += log + "Restart the computer to complete this action.\n\n";
  return 0;
}

std::string ShowProxy(machine::Store* store) {
  std::string proxy, bypass;
  store->GetSetting("winhttp_proxy", &proxy);
  store->GetSetting("winhttp_proxy_bypass", &bypass);
  std::string text = "\nCurrent WinHTTP proxy settings:\n\n";
  if (proxy.empty())
    return text + "    Direct access (no proxy server).\n\n";
  return text + "    Proxy Server(s) :  " + proxy +
         "\n    Bypass List     :  " + (bypass.empty() ? "(none)" : bypass) + "\n\n";
}

}  // namespace

int RunNetshCommand(const std::vector<std::string>& args, std::string* out) {
  std::unique_ptr<machine::Store> store;
  auto open = [&]() { return machine::Store::Open(&store); };
  size_t n = args.size();
  if ((n == 3 || n == 4) && WordIs(args[0], {"INT", "INTERFACE"}) &&
      WordIs(args[1], {"IP", "IPV4"}) && WordIs(args[2], {"RESET"})) {
    machine::Status status = open();
    if (status != machine::Status::kOk)
      return StoreFailed(status, out);
    return ResetIp(store.get(), n == 4 ? args[3] : std::string(), out);
  }
  if (n >= 3 && WordIs(args[0], {"WINHTTP"}) && WordIs(args[2], {"PROXY"})) {
    bool reset = n == 3 && WordIs(args[1], {"RESET"});
    bool show = n == 3 && WordIs(args[1], {"SHOW"});
    bool set = (n == 4 || n == 5) && WordIs(args[1], {"SET"});
    if (reset || show || set) {
      machine::Status status = open();
      if (status != machine::Status::kOk)
        return StoreFailed(status, out);
      if (reset)
        status = Record(store.get(), "winhttp_proxy_reset", "winhttp reset proxy",
                        {{"winhttp_proxy", ""}, {"winhttp_proxy_bypass", ""}});
      else if (set)
        status = Record(store.get(), nullptr, "winhttp set proxy " + args[3],
                        {{"winhttp_proxy", args[3]},
                         {"winhttp_proxy_bypass", n == 5 ? args[4] : std::string()}});
      if (status != machine::Status::kOk)
        return StoreFailed(status, out);
      *out += ShowProxy(store.get());
      return 0;
    }
  }
  if (args.empty())
    *out += "Usage: netsh [int ip reset [logfile] | winhttp (reset | show | set) proxy ...]\n\n";
  else
    *out += "The following command was not found: " + Joined(args) + ".\n\n";
  return 1;
}

}  // namespace tools
