#ifndef SERVICEBRIDGE_SERVICE_HOSTS_H_
#define SERVICEBRIDGE_SERVICE_HOSTS_H_

#include <string>

namespace servicebridge {

// Base URLs such as "https://127.0.0.1:8443", without a trailing slash.
struct ServiceHosts {
  std::string account;
  std::string node;
  std::string billing;
  // Certificates trusted besides the system's store: key "ca_file", a path
  // relative to the working directory unless absolute; empty when unset.
  std::string ca_file;
};

// The build's defaults.
ServiceHosts DefaultServiceHosts();

// Section "service_hosts" of `working_directory`/config.ini, keys "account",
// "node", "billing"; a missing or empty key keeps the build's default.
// Also reads "ca_file".
ServiceHosts ReadServiceHosts(const std::string& working_directory);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_SERVICE_HOSTS_H_
