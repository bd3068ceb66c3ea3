#include "server/service_options.h"

#include <charconv>
#include <cstdlib>

namespace tern {
namespace {

bool ParseInt(const std::string& text, int64_t low, int64_t high, int64_t* out) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

std::string DefaultDataDirectory() {
  const char* state = getenv("XDG_STATE_HOME");
  if (state && *state) {
    return std::string(state) + "/tern-service";
  }
  const char* home = getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/state/tern-service";
}

bool ParseServiceOptions(const std::vector<std::string>& args,
                         ServiceOptions* out,
                         std::string* error) {
  ServiceOptions options;
  size_t i = 0;
  if (!args.empty() && args[0] == "admin") {
    options.admin = true;
    i = 1;
  }
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    auto number = [&](int64_t low, int64_t high, int64_t* n) {
      std::string text;
      if (!value(&text))
        return false;
      if (!ParseInt(text, low, high, n)) {
        *error = arg + " takes a number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not \"" + text + "\"";
        return false;
      }
      return true;
    };
    int64_t n = 0;
    if (arg == "--data-dir") {
      if (!value(&options.data_dir))
        return false;
    } else if (options.admin) {
      // Everything but --data-dir belongs to the admin verb.
      options.admin_args.push_back(arg);
    } else if (arg == "--listen") {
      if (!value(&options.listen))
        return false;
    } else if (arg == "--port") {
      if (!number(0, 65535, &n))
        return false;
      options.port = static_cast<int>(n);
    } else if (arg == "--relay-port") {
      if (!number(0, 65535, &n))
        return false;
      options.relay_port = static_cast<int>(n);
    } else if (arg == "--pay-after") {
      if (!number(0, 365LL * 24 * 3600, &n))
        return false;
      options.pay_after = n;
    } else if (arg == "--token-lifetime") {
      if (!number(1, 365LL * 24 * 3600, &n))
        return false;
      options.token_lifetime = n;
    } else if (arg == "--sms-interval") {
      if (!number(0, 3600, &n))
        return false;
      options.sms_interval = static_cast<int>(n);
    } else if (arg == "--max-connections") {
      if (!number(1, 100000, &n))
        return false;
      options.max_connections = static_cast<int>(n);
    } else if (arg == "--max-per-address") {
      if (!number(1, 100000, &n))
        return false;
      options.max_per_address = static_cast<int>(n);
    } else if (arg == "--header-timeout") {
      if (!number(1, 3600, &n))
        return false;
      options.header_timeout = static_cast<int>(n);
    } else if (arg == "--relay-max-handshakes") {
      if (!number(1, 100000, &n))
        return false;
      options.relay_max_handshakes = static_cast<int>(n);
    } else if (arg == "--public-url") {
      if (!value(&options.public_url))
        return false;
      if (options.public_url.rfind("https://", 0) != 0 || options.public_url.size() <= 8) {
        *error = "--public-url takes an https:// address, not \"" + options.public_url + "\"";
        return false;
      }
      while (options.public_url.back() == '/')
        options.public_url.pop_back();
    } else if (arg == "--export-cert") {
      if (!value(&options.export_cert))
        return false;
    } else if (arg == "--dial-interval") {
      if (!number(0, 3600, &n))
        return false;
      options.dial_interval = static_cast<int>(n);
    } else if (arg == "--package") {
      if (!value(&options.package))
        return false;
    } else if (arg == "--cert") {
      if (!value(&options.cert))
        return false;
    } else if (arg == "--key") {
      if (!value(&options.key))
        return false;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (options.admin && options.admin_args.empty()) {
    *error = "admin needs a verb";
    return false;
  }
  if (options.cert.empty() != options.key.empty()) {
    *error = "--cert and --key go together";
    return false;
  }
  if (options.data_dir.empty()) {
    options.data_dir = DefaultDataDirectory();
  }
  *out = std::move(options);
  return true;
}

}  // namespace tern
