#include "server/session_store.h"

#include <gtest/gtest.h>

#include "server/account_store.h"
#include "server/testing/store_test_fixture.h"

namespace tern {
namespace {

using SessionStoreTest = StoreTest;

TEST_F(SessionStoreTest, ADialWithinTwentySecondsOfTheLastAcceptedOneIsRefused) {
  SessionStore sessions(path_);
  const int64_t t = kT0 * 1000;
  const int64_t limit = SessionStore::kMinDialIntervalMs;
  EXPECT_EQ(sessions.AcceptDial(1, t, limit), StoreResult::kOk);
  EXPECT_EQ(sessions.AcceptDial(1, t + 1, limit), StoreResult::kTooFrequent);
  EXPECT_EQ(sessions.AcceptDial(1, t + limit - 1, limit), StoreResult::kTooFrequent);
  EXPECT_EQ(sessions.AcceptDial(2, t + 1, limit), StoreResult::kOk);  // another account
  // Refusals do not restart the wait.
  EXPECT_EQ(sessions.AcceptDial(1, t + limit, limit), StoreResult::kOk);
}

TEST_F(SessionStoreTest, DropRequestsByIdOrNumber) {
  SessionStore sessions(path_);
  SessionRecord r;
  r.account_id = 1;
  r.number = "13800000001";
  r.node = "127.0.0.4";
  r.started_at = kT0;
  int64_t a = 0, b = 0, c = 0;
  ASSERT_EQ(sessions.Start(r, &a), StoreResult::kOk);
  ASSERT_EQ(sessions.Start(r, &b), StoreResult::kOk);
  r.number = "13800000002";
  ASSERT_EQ(sessions.Start(r, &c), StoreResult::kOk);
  int marked = 0;
  ASSERT_EQ(sessions.RequestDrop("13800000001", &marked), StoreResult::kOk);
  EXPECT_EQ(marked, 2);
  ASSERT_EQ(sessions.RequestDrop(std::to_string(c), &marked), StoreResult::kOk);
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(sessions.RequestDrop("999", &marked), StoreResult::kNotFound);
  std::vector<int64_t> ids;
  ASSERT_EQ(sessions.DropRequested(&ids), StoreResult::kOk);
  EXPECT_EQ(ids, (std::vector<int64_t>{a, b, c}));
  ASSERT_EQ(sessions.End(a, "dropped", kT0 + 5), StoreResult::kOk);
  std::vector<SessionRecord> open, all;
  ASSERT_EQ(sessions.List(false, &open), StoreResult::kOk);
  ASSERT_EQ(sessions.List(true, &all), StoreResult::kOk);
  EXPECT_EQ(open.size(), 2u);
  EXPECT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].end_reason, "dropped");
  EXPECT_EQ(all[0].ended_at, kT0 + 5);
}

}  // namespace
}  // namespace tern
