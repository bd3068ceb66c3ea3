#include "tools/ipconfig/ipconfig_command.h"

#include <algorithm>
#include <memory>

#include "machine/store.h"

namespace tools {

namespace {

const char kUsage[] =
    "\nUSAGE:\n"
    "    ipconfig [/? | /flushdns]\n\n"
    "where\n"
    "    Options:\n"
    "       /?           Display this help message\n"
    "       /flushdns    Purges the DNS Resolver cache.\n\n";

// "/FLUSHDNS" and "-flushdns" alike.
std::string Option(const std::string& word) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-'))
    return std::string();
  std::string option = word.substr(1);
  std::transform(option.begin(), option.end(), option.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return option;
}

}  // namespace

int RunIpconfigCommand(const std::vector<std::string>& args, std::string* out) {
  std::string option = args.size() == 1 ? Option(args[0]) : std::string();
  if (option == "?") {
    *out += kUsage;
    return 0;
  }
  if (option != "FLUSHDNS") {
    *out += "Error: unrecognized or incomplete command line.\n";
    *out += kUsage;
    return 1;
  }
  std::unique_ptr<machine::Store> store;
  machine::Status status = machine::Store::Open(&store);
  if (status == machine::Status::kOk) {
    machine::Store::Transaction txn(store.get());
    status = txn.status();
    if (status == machine::Status::kOk)
      status = store->IncrementCounter("dns_flush", 1, nullptr);
    if (status == machine::Status::kOk)
      status = store->AppendEffect("ipconfig", "flushdns");
    if (status == machine::Status::kOk)
      status = txn.Commit();
  }
  *out += "\nWindows IP Configuration\n\n";
  if (status != machine::Status::kOk) {
    *out += std::string("Could not flush the DNS Resolver Cache: ") + machine::StatusName(status) +
            "\n";
    return 1;
  }
  *out += "Successfully flushed the DNS Resolver Cache.\n";
  return 0;
}

}  // namespace tools
