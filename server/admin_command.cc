#include "server/admin_command.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "server/account_store.h"
#include "server/billing_store.h"
#include "server/catalog_store.h"
#include "server/password_hasher.h"
#include "server/session_store.h"

namespace tern {
namespace {

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool ToInt(const std::string& text, int64_t* out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// Splits positional arguments from "--flag [value]" pairs.
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> flags;
};

bool SplitArgs(const std::vector<std::string>& args,
               const std::vector<std::string>& bool_flags,
               Args* out,
               std::ostream& err) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      bool is_bool = false;
      for (const std::string& b : bool_flags)
        is_bool |= b == args[i];
      if (is_bool) {
        out->flags[args[i]] = "1";
      } else if (i + 1 < args.size()) {
        out->flags[args[i]] = args[i + 1];
        ++i;
      } else {
        err << args[i] << " needs a value\n";
        return false;
      }
    } else {
      out->positional.push_back(args[i]);
    }
  }
  return true;
}

const char* ResultText(StoreResult r) {
  switch (r) {
    case StoreResult::kOk:
      return "done";
    case StoreResult::kNotFound:
      return "not found";
    case StoreResult::kExists:
      return "already exists";
    case StoreResult::kRejected:
      return "refused";
    case StoreResult::kTooFrequent:
      return "too frequent";
    case StoreResult::kError:
      return "store failure";
  }
  return "?";
}

std::string TimeText(int64_t t) {
  if (t == 0)
    return "-";
  time_t tt = static_cast<time_t>(t);
  struct tm local;
  localtime_r(&tt, &local);
  char text[32];
  strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

bool ParseRouteLine(const std::string& line, RouteChange* change, std::string* error) {
  std::istringstream in(line);
  std::string verb, a, b, c, extra;
  in >> verb >> a >> b >> c >> extra;
  int64_t id = 0, app = 0;
  std::string addr, mask;
  int cidr = 0;
  if (verb == "add" && ParseCidr(a, &addr, &mask, &cidr) && ToInt(b, &app) && c.empty()) {
    *change = {RouteChange::kAdd, 0, addr, cidr, static_cast<int>(app)};
    return true;
  }
  if (verb == "change" && ToInt(a, &id) && ParseCidr(b, &addr, &mask, &cidr) && ToInt(c, &app) &&
      extra.empty()) {
    *change = {RouteChange::kChange, id, addr, cidr, static_cast<int>(app)};
    return true;
  }
  if (verb == "deactivate" && ToInt(a, &id) && b.empty()) {
    *change = {RouteChange::kDeactivate, id, "", 0, 0};
    return true;
  }
  *error = "cannot read \"" + line + "\"";
  return false;
}

int Usage(std::ostream& err, const char* text) {
  err << "usage: tern-service admin " << text << " --data-dir DIR\n";
  return 2;
}

}  // namespace

int RunAdminCommand(const std::string& db_path,
                    const std::vector<std::string>& args,
                    std::ostream& out,
                    std::ostream& err) {
  AccountStore accounts(db_path);
  CatalogStore catalog(db_path);
  BillingStore billing(db_path);
  SessionStore sessions(db_path);
  const std::string verb = args.empty() ? std::string() : args[0];
  Args a;
  if (!SplitArgs(args, {"--must", "--all"}, &a, err))
    return 2;
  const auto& p = a.positional;
  auto report = [&](StoreResult r, const std::string& what) {
    if (r == StoreResult::kOk) {
      out << what << "\n";
      return 0;
    }
    err << verb << ": " << ResultText(r) << "\n";
    return 1;
  };

  if (verb == "create-account" || verb == "set-password") {
    if (p.size() != 2)
      return Usage(err, (verb + " NUMBER PASSWORD").c_str());
    if (!AccountStore::IsAccountNumber(p[0])) {
      err << "an account is an 11-digit mobile number\n";
      return 1;
    }
    if (!IsAcceptablePassword(p[1])) {
      err << "a password has 8 to 16 characters and at least one letter or special character\n";
      return 1;
    }
    std::string hash = HashPassword(p[1]);
    if (verb == "set-password")
      return report(accounts.SetPassword(p[0], hash), "password set");
    AccountRecord account;
    StoreResult r = accounts.Create(p[0], hash, Now(), &account);
    if (r == StoreResult::kOk && a.flags.count("--nickname")) {
      r = accounts.SetNickname(p[0], a.flags["--nickname"]);
    }
    int64_t days = 0;
    if (r == StoreResult::kOk && a.flags.count("--days")) {
      if (!ToInt(a.flags["--days"], &days) || days < 0)
        return Usage(err, "create-account ... --days N");
      r = accounts.SetDeadline(p[0], days == 0 ? 0 : Now() + days * 86400);
    }
    return report(r, "account " + p[0] + " created, uuid " + account.uuid);
  }
  if (verb == "set-member") {
    int64_t days = 0;
    if (p.size() != 2 || !ToInt(p[1], &days) || days < 0) {
      return Usage(err, "set-member NUMBER DAYS");
    }
    int64_t deadline = days == 0 ? 0 : Now() + days * 86400;
    return report(accounts.SetDeadline(p[0], deadline),
                  "membership of " + p[0] + " ends " + TimeText(deadline));
  }
  if (verb == "set-nickname") {
    if (p.size() != 2)
      return Usage(err, "set-nickname NUMBER NAME");
    return report(accounts.SetNickname(p[0], p[1]), "nickname set");
  }
  if (verb == "list-accounts") {
    std::vector<AccountRecord> list;
    StoreResult r = accounts.List(&list);
    for (const AccountRecord& acc : list) {
      out << acc.number << "\t" << acc.nickname << "\t" << acc.uuid << "\tmember until "
          << TimeText(acc.deadline) << (acc.suspicious ? "\tSMS sign-in only" : "") << "\n";
    }
    return r == StoreResult::kOk ? 0 : report(r, "");
  }
  if (verb == "publish-version") {
    if (p.size() != 1)
      return Usage(err, "publish-version VERSION [--must] [--details TEXT]");
    VersionRecord v;
    v.version = p[0];
    v.must = a.flags.count("--must") ? 1 : 0;
    v.details = a.flags.count("--details") ? a.flags["--details"] : "";
    v.info = a.flags.count("--info") ? a.flags["--info"] : "发现新版本" + p[0];
    return report(catalog.PublishVersion(v, Now()), "version " + p[0] + " published");
  }
  if (verb == "publish-notice") {
    if (p.size() != 2)
      return Usage(err, "publish-notice TITLE TEXT [--url URL] [--days N]");
    NoticeRecord n;
    n.title = p[0];
    n.text = p[1];
    n.url = a.flags.count("--url") ? a.flags["--url"] : "";
    n.timestamp = Now();
    int64_t days = 0;
    if (a.flags.count("--days") && (!ToInt(a.flags["--days"], &days) || days < 1)) {
      return Usage(err, "publish-notice TITLE TEXT --days N (N >= 1)");
    }
    n.deadline = days ? n.timestamp + days * 86400 : 0;
    int64_t id = 0;
    StoreResult r = catalog.PublishNotice(n, &id);
    return report(r, "notice " + std::to_string(id) + " published");
  }
  if (verb == "publish-routes") {
    if (p.size() != 1)
      return Usage(err, "publish-routes FILE|- [--note TEXT]");
    std::ifstream file;
    std::istream* in = &std::cin;
    if (p[0] != "-") {
      file.open(p[0]);
      if (!file) {
        err << "cannot open " << p[0] << "\n";
        return 1;
      }
      in = &file;
    }
    std::vector<RouteChange> changes;
    std::string line, error;
    int number = 0;
    while (std::getline(*in, line)) {
      ++number;
      size_t hash = line.find('#');
      if (hash != std::string::npos)
        line.erase(hash);
      if (line.find_first_not_of(" \t\r") == std::string::npos)
        continue;
      RouteChange change;
      if (!ParseRouteLine(line, &change, &error)) {
        err << "line " << number << ": " << error << "\n";
        return 1;
      }
      changes.push_back(change);
    }
    int64_t version = 0;
    StoreResult r = catalog.PublishRoutes(changes, a.flags["--note"], Now(), &version, &error);
    if (r == StoreResult::kRejected) {
      err << error << "\n";
      return 1;
    }
    return report(r, "route version " + std::to_string(version) + " published (" +
                         std::to_string(changes.size()) + " changes)");
  }
  if (verb == "list-sessions") {
    std::vector<SessionRecord> list;
    StoreResult r = sessions.List(a.flags.count("--all") > 0, &list);
    for (const SessionRecord& s : list) {
      out << s.id << "\t" << s.number << "\t" << s.node << "\tprotocol " << s.protocol << "\t"
          << s.route_count << " routes\t" << s.state << "\tsince " << TimeText(s.started_at)
          << (s.end_reason.empty() ? "" : "\t" + s.end_reason) << "\n";
    }
    return r == StoreResult::kOk ? 0 : report(r, "");
  }
  if (verb == "drop-session") {
    if (p.size() != 1)
      return Usage(err, "drop-session ID|NUMBER");
    int marked = 0;
    StoreResult r = sessions.RequestDrop(p[0], &marked);
    return report(r, std::to_string(marked) + " session(s) will be dropped");
  }
  if (verb == "last-code") {
    if (p.size() != 1)
      return Usage(err, "last-code NUMBER");
    std::string code;
    int64_t issued = 0;
    StoreResult r = accounts.LastSmsCode(p[0], &code, &issued);
    return report(r, code);
  }
  if (verb == "pay") {
    if (p.size() != 1)
      return Usage(err, "pay TRADE_NO");
    return report(billing.Pay(p[0], Now()), "order " + p[0] + " paid");
  }
  if (verb == "list-orders") {
    std::vector<OrderRecord> list;
    StoreResult r = billing.ListOrders(&list);
    for (const OrderRecord& o : list) {
      out << o.trade_no << "\t" << o.number << "\t" << o.goods << "\t" << o.amount << "\t"
          << (o.status == BillingStore::kPaid ? "paid" : "pending") << "\t"
          << TimeText(o.created_at) << "\t" << o.qr_url << "\n";
    }
    return r == StoreResult::kOk ? 0 : report(r, "");
  }
  err << "unknown admin verb \"" << verb << "\"\n";
  return 2;
}

}  // namespace tern
