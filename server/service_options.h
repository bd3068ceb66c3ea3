// The command line of tern-service:
//   tern-service [--listen ADDRESS] [--port N] [--data-dir DIR]
//                [--relay-port N] [--pay-after N] [--package FILE]
//                [--cert FILE --key FILE] [--token-lifetime SECONDS]
//                [--sms-interval SECONDS] [--public-url URL]
//                [--export-cert FILE] [--max-connections N]
//                [--max-per-address N] [--header-timeout SECONDS]
//                [--relay-max-handshakes N] [--dial-interval SECONDS]
//   tern-service admin VERB [ARGS...] [--data-dir DIR]
#ifndef SERVER_SERVICE_OPTIONS_H_
#define SERVER_SERVICE_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tern {

struct ServiceOptions {
  bool admin = false;
  std::vector<std::string> admin_args;  // the verb and its arguments
  std::string listen = "127.0.0.1";
  int port = 8443;  // 0 picks a free port
  std::string data_dir;
  int relay_port = 8444;   // 0 picks a free port
  int64_t pay_after = -1;  // seconds; -1 = orders wait for a payment
  std::string package;
  std::string cert;
  std::string key;
  int64_t token_lifetime = 7 * 24 * 3600;
  int sms_interval = 30;  // seconds between two SMS codes for one number
  // Base of the addresses handed out (update package); empty: https://<listen>:<port>.
  std::string public_url;
  // Where the service copies its TLS certificate for clients to trust.
  std::string export_cert;
  int max_connections = 512;      // HTTPS and relay connections, each
  int max_per_address = 64;       // from one client address, each
  int header_timeout = 10;        // seconds for a TLS handshake or a request's headers
  int relay_max_handshakes = 32;  // relay dials not yet past their first line
  int dial_interval = 20;         // seconds between two accepted dials of one account
};

// False with *error for an unknown option, a missing or bad value.
bool ParseServiceOptions(const std::vector<std::string>& args,
                         ServiceOptions* out,
                         std::string* error);

// $XDG_STATE_HOME/tern-service, else $HOME/.local/state/tern-service.
std::string DefaultDataDirectory();

}  // namespace tern

#endif  // SERVER_SERVICE_OPTIONS_H_
