#include "server/billing_store.h"

#include <ctime>

#include "server/crypto_util.h"
#include "server/service_database.h"

namespace tern {
namespace {

std::shared_ptr<Database> OpenDb(const std::string& path) {
  std::string error;
  return Database::ForThread(path, &error);
}

constexpr char kOrderColumns[] =
    "SELECT o.trade_no, o.account_id, a.number, o.goods, o.amount, o.days, o.qr_url, o.status, "
    "o.created_at, COALESCE(o.paid_at, 0) FROM orders o JOIN accounts a ON a.id = o.account_id ";

void ReadOrder(const Statement& s, OrderRecord* o) {
  o->trade_no = s.Text(0);
  o->account_id = s.Int(1);
  o->number = s.Text(2);
  o->goods = s.Text(3);
  o->amount = static_cast<int>(s.Int(4));
  o->days = static_cast<int>(s.Int(5));
  o->qr_url = s.Text(6);
  o->status = static_cast<int>(s.Int(7));
  o->created_at = s.Int(8);
  o->paid_at = s.Int(9);
}

// Runs inside the caller's transaction.
bool PayInTransaction(Database* db, const std::string& trade_no, int64_t now, bool* found) {
  Statement order(db, "SELECT account_id, days, status FROM orders WHERE trade_no = ?");
  order.Bind(1, trade_no);
  if (!order.Step()) {
    *found = false;
    return !order.failed();
  }
  *found = true;
  if (order.Int(2) == BillingStore::kPaid) {
    return true;
  }
  int64_t account_id = order.Int(0);
  int64_t days = order.Int(1);
  Statement mark(db, "UPDATE orders SET status = 1, paid_at = ? WHERE trade_no = ?");
  mark.Bind(1, now).Bind(2, trade_no);
  Statement extend(db, "UPDATE accounts SET deadline = MAX(deadline, ?1) + ?2 WHERE id = ?3");
  extend.Bind(1, now).Bind(2, days * 86400).Bind(3, account_id);
  return mark.Run() && extend.Run();
}

}  // namespace

BillingStore::BillingStore(std::string db_path) : db_path_(std::move(db_path)) {}

StoreResult BillingStore::Goods(std::vector<GoodsRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT name, describe, favorable, handsel, payable, payment, days FROM goods "
              "ORDER BY days");
  out->clear();
  while (s.Step()) {
    GoodsRecord g;
    g.name = s.Text(0);
    g.describe = s.Text(1);
    g.favorable = static_cast<int>(s.Int(2));
    g.handsel = static_cast<int>(s.Int(3));
    g.payable = static_cast<int>(s.Int(4));
    g.payment = static_cast<int>(s.Int(5));
    g.days = static_cast<int>(s.Int(6));
    out->push_back(std::move(g));
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult BillingStore::CreateOrder(int64_t account_id,
                                      const std::string& goods,
                                      int64_t now,
                                      OrderRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement plan(db.get(), "SELECT payment, days + handsel FROM goods WHERE name = ?");
  plan.Bind(1, goods);
  if (!plan.Step())
    return plan.failed() ? StoreResult::kError : StoreResult::kNotFound;
  time_t t = static_cast<time_t>(now);
  struct tm utc;
  gmtime_r(&t, &utc);
  char stamp[32];
  strftime(stamp, sizeof(stamp), "%Y%m%d%H%M%S", &utc);
  std::string digits = RandomDigits(8);
  std::string ticket = RandomHex(12);
  if (digits.empty() || ticket.empty())
    return StoreResult::kError;
  OrderRecord order;
  order.trade_no = std::string("TN") + stamp + digits;
  order.account_id = account_id;
  order.goods = goods;
  order.amount = static_cast<int>(plan.Int(0));
  order.days = static_cast<int>(plan.Int(1));
  // Done reading: a statement left on a row would keep its read snapshot
  // and make the insert fail instead of waiting for other writers.
  plan.Reset();
  order.qr_url = "weixin://wxpay/bizpayurl?pr=" + ticket;
  order.status = kPending;
  order.created_at = now;
  Statement insert(db.get(), "INSERT INTO orders VALUES(?,?,?,?,?,?,0,?,NULL)");
  insert.Bind(1, order.trade_no)
      .Bind(2, account_id)
      .Bind(3, goods)
      .Bind(4, order.amount)
      .Bind(5, order.days)
      .Bind(6, order.qr_url)
      .Bind(7, now);
  if (!insert.Run())
    return StoreResult::kError;
  *out = std::move(order);
  return StoreResult::kOk;
}

StoreResult BillingStore::FindOrder(const std::string& trade_no, OrderRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), std::string(kOrderColumns) + "WHERE o.trade_no = ?");
  s.Bind(1, trade_no);
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
  ReadOrder(s, out);
  return StoreResult::kOk;
}

StoreResult BillingStore::ListOrders(std::vector<OrderRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), std::string(kOrderColumns) + "ORDER BY o.created_at, o.trade_no");
  out->clear();
  while (s.Step()) {
    out->emplace_back();
    ReadOrder(s, &out->back());
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult BillingStore::Pay(const std::string& trade_no, int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  bool found = false;
  if (!txn.ok() || !PayInTransaction(db.get(), trade_no, now, &found))
    return StoreResult::kError;
  if (!found)
    return StoreResult::kNotFound;
  return txn.Commit() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult BillingStore::PayDue(int64_t after_seconds, int64_t now, int* paid) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement due(db.get(), "SELECT trade_no FROM orders WHERE status = 0 AND created_at <= ?");
  due.Bind(1, now - after_seconds);
  std::vector<std::string> trade_nos;
  while (txn.ok() && due.Step())
    trade_nos.push_back(due.Text(0));
  if (!txn.ok() || due.failed())
    return StoreResult::kError;
  for (const std::string& t : trade_nos) {
    bool found = false;
    if (!PayInTransaction(db.get(), t, now, &found))
      return StoreResult::kError;
  }
  if (!txn.Commit())
    return StoreResult::kError;
  *paid = static_cast<int>(trade_nos.size());
  return StoreResult::kOk;
}

}  // namespace tern
