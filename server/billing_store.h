// Membership plans, WeChat orders and their payment. Paying an order and
// extending the membership happen in one transaction. Every call opens its
// own connection; use from any thread.
#ifndef SERVER_BILLING_STORE_H_
#define SERVER_BILLING_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/store_result.h"

namespace tern {

struct GoodsRecord {
  std::string name;  // "monthly", "season", "yearly"
  std::string describe;
  int favorable = 0;
  int handsel = 0;  // bonus days
  int payable = 0;  // list price, hundredths of a yuan
  int payment = 0;  // price to pay, hundredths of a yuan
  int days = 0;
};

struct OrderRecord {
  std::string trade_no;
  int64_t account_id = 0;
  std::string number;
  std::string goods;
  int amount = 0;
  int days = 0;
  std::string qr_url;
  int status = 0;  // 0 pending, 1 paid
  int64_t created_at = 0;
  int64_t paid_at = 0;
};

class BillingStore {
 public:
  enum OrderStatus { kPending = 0, kPaid = 1 };

  explicit BillingStore(std::string db_path);

  StoreResult Goods(std::vector<GoodsRecord>* out);
  // kNotFound for an unknown plan.
  StoreResult CreateOrder(int64_t account_id,
                          const std::string& goods,
                          int64_t now,
                          OrderRecord* out);
  StoreResult FindOrder(const std::string& trade_no, OrderRecord* out);
  StoreResult ListOrders(std::vector<OrderRecord>* out);
  // Marks the order paid and extends its account's membership by the plan's
  // days plus bonus days, from the later of now and the current end. kOk
  // also when it was paid before (nothing changes then).
  StoreResult Pay(const std::string& trade_no, int64_t now);
  // Pays every pending order created at least |after_seconds| ago.
  StoreResult PayDue(int64_t after_seconds, int64_t now, int* paid);

 private:
  std::string db_path_;
};

}  // namespace tern

#endif  // SERVER_BILLING_STORE_H_
