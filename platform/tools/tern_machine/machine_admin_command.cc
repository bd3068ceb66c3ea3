#include "tools/tern_machine/machine_admin_command.h"

#include <cstdlib>
#include <memory>

#include "machine/store.h"
#include "win32/services.h"

namespace tools {

namespace {

const char kUsage[] =
    "usage: tern-machine services | rules | effects | restarts\n"
    "       tern-machine service NAME [display=TEXT] [state=running|stopped]\n"
    "                    [start=auto|demand|disabled] [behaviour=atonce|wait|fail|missing]\n"
    "                    [hint=MILLISECONDS]\n";

struct Named {
  const char* name;
  uint32_t value;
};
const Named kStates[] = {{"stopped", machine::kServiceStopped},
                         {"start_pending", machine::kServiceStartPending},
                         {"stop_pending", machine::kServiceStopPending},
                         {"running", machine::kServiceRunning}};
const Named kStartTypes[] = {{"auto", machine::kServiceAutoStart},
                             {"demand", machine::kServiceDemandStart},
                             {"disabled", machine::kServiceDisabled}};
const Named kBehaviours[] = {
    {"atonce", static_cast<uint32_t>(machine::ServiceStartBehaviour::kAtOnce)},
    {"wait", static_cast<uint32_t>(machine::ServiceStartBehaviour::kAfterWaitHint)},
    {"fail", static_cast<uint32_t>(machine::ServiceStartBehaviour::kFail)},
    {"missing", static_cast<uint32_t>(machine::ServiceStartBehaviour::kMissing)}};

template <size_t N>
bool Parse(const Named (&table)[N], const std::string& text, uint32_t* value) {
  for (const Named& n : table) {
    if (text == n.name) {
      *value = n.value;
      return true;
    }
  }
  return false;
}

template <size_t N>
std::string NameOf(const Named (&table)[N], uint32_t value) {
  for (const Named& n : table) {
    if (n.value == value)
      return n.name;
  }
  return std::to_string(value);
}

int Failed(machine::Status status, std::string* out) {
  *out +=
      std::string("tern-machine: the machine store failed: ") + machine::StatusName(status) + "\n";
  return 1;
}

int ChangeService(machine::Store* store, const std::vector<std::string>& args, std::string* out) {
  machine::Store::Transaction txn(store);
  if (txn.status() != machine::Status::kOk)
    return Failed(txn.status(), out);
  machine::ServiceRecord s;
  machine::Status status = store->GetService(args[1], &s);
  if (status == machine::Status::kNotFound) {
    s = machine::ServiceRecord();
    s.name = args[1];
    s.display_name = args[1];
  } else if (status != machine::Status::kOk) {
    return Failed(status, out);
  }
  for (size_t i = 2; i < args.size(); ++i) {
    size_t eq = args[i].find('=');
    std::string key = args[i].substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : args[i].substr(eq + 1);
    uint32_t number = 0;
    bool ok = eq != std::string::npos;
    if (ok && key == "display") {
      ok = !value.empty();
      s.display_name = value;
    } else if (ok && key == "state") {
      ok = Parse(kStates, value, &number) &&
           (number == machine::kServiceStopped || number == machine::kServiceRunning);
      s.state = number;
      s.pending_since_ms = 0;
    } else if (ok && key == "start") {
      ok = Parse(kStartTypes, value, &number);
      s.start_type = number;
    } else if (ok && key == "behaviour") {
      ok = Parse(kBehaviours, value, &number);
      s.on_start = static_cast<machine::ServiceStartBehaviour>(number);
    } else if (ok && key == "hint") {
      char* end = nullptr;
      unsigned long hint = std::strtoul(value.c_str(), &end, 10);
      ok = !value.empty() && *end == 0 && value[0] != '-' && hint <= 3600000;
      s.wait_hint_ms = static_cast<uint32_t>(hint);
    } else {
      ok = false;
    }
    if (!ok) {
      *out += "tern-machine: bad setting " + args[i] + "\n" + kUsage;
      return 2;
    }
  }
  status = store->PutService(s);
  if (status == machine::Status::kOk)
    status = txn.Commit();
  if (status != machine::Status::kOk)
    return Failed(status, out);
  return 0;
}

}  // namespace

int RunMachineAdminCommand(const std::vector<std::string>& args, std::string* out) {
  bool list_services = args.size() == 1 && args[0] == "services";
  bool list_rules = args.size() == 1 && args[0] == "rules";
  bool list_effects = args.size() == 1 && args[0] == "effects";
  bool list_restarts = args.size() == 1 && args[0] == "restarts";
  bool change = args.size() >= 2 && args[0] == "service" && !args[1].empty();
  if (!list_services && !list_rules && !list_effects && !list_restarts && !change) {
    *out += kUsage;
    return 2;
  }
  std::unique_ptr<machine::Store> store;
  machine::Status status = machine::Store::Open(&store);
  if (status != machine::Status::kOk)
    return Failed(status, out);
  // The same services the service manager would see on this machine.
  if (!win32::SeedDefaultServices(store.get()))
    return Failed(machine::Status::kError, out);
  if (change)
    return ChangeService(store.get(), args, out);
  if (list_services) {
    std::vector<machine::ServiceRecord> services;
    status = store->ListServices(&services);
    if (status != machine::Status::kOk)
      return Failed(status, out);
    for (const machine::ServiceRecord& s : services) {
      *out += s.name + "\t" + s.display_name + "\tstate=" + NameOf(kStates, s.state) +
              " start=" + NameOf(kStartTypes, s.start_type) +
              " behaviour=" + NameOf(kBehaviours, static_cast<uint32_t>(s.on_start)) +
              " hint=" + std::to_string(s.wait_hint_ms) + "\n";
    }
  } else if (list_rules) {
    std::vector<machine::FirewallRule> rules;
    status = store->ListFirewallRules(&rules);
    if (status != machine::Status::kOk)
      return Failed(status, out);
    for (const machine::FirewallRule& r : rules) {
      *out += r.name + "\tdir=" + (r.direction == 1 ? "in" : "out") +
              " action=" + (r.action == 1 ? "allow" : "block") +
              " enabled=" + (r.enabled ? "yes" : "no") + " protocol=" + std::to_string(r.protocol) +
              " program=" + r.application_name + "\n";
    }
  } else if (list_restarts) {
    std::vector<machine::RestartRequest> restarts;
    status = store->ListRestartRequests(&restarts);
    if (status != machine::Status::kOk)
      return Failed(status, out);
    for (const machine::RestartRequest& r : restarts)
      *out += std::to_string(r.time_ms) + "\t" + r.kind + "\t" + r.reason + "\n";
  } else {
    std::vector<machine::EffectRecord> effects;
    status = store->ListEffects(&effects);
    if (status != machine::Status::kOk)
      return Failed(status, out);
    for (const machine::EffectRecord& e : effects)
      *out += std::to_string(e.time_ms) + "\t" + e.tool + "\t" + e.text + "\n";
  }
  return 0;
}

}  // namespace tools
