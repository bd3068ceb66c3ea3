#include "server/catalog_store.h"

#include <gtest/gtest.h>

#include "server/testing/store_test_fixture.h"

namespace tern {
namespace {

TEST(ParseCidrTest, Table) {
  struct Case {
    const char* text;
    bool ok;
    const char* addr;
    const char* mask;
    int cidr;
  } cases[] = {
      {"10.1.2.0/24", true, "10.1.2.0", "255.255.255.0", 24},
      {"10.1.2.77/24", true, "10.1.2.0", "255.255.255.0", 24},
      {"10.1.2.3/32", true, "10.1.2.3", "255.255.255.255", 32},
      {"10.1.2.3/0", true, "0.0.0.0", "0.0.0.0", 0},
      {"172.16.5.4/12", true, "172.16.0.0", "255.240.0.0", 12},
      {"10.1.2.0", false, "", "", 0},
      {"10.1.2.0/33", false, "", "", 0},
      {"10.1.2/24", false, "", "", 0},
      {"10.1.2.0/2x", false, "", "", 0},
      {"x/24", false, "", "", 0},
  };
  for (const Case& c : cases) {
    std::string addr, mask;
    int cidr = -1;
    ASSERT_EQ(ParseCidr(c.text, &addr, &mask, &cidr), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(addr, c.addr) << c.text;
      EXPECT_EQ(mask, c.mask) << c.text;
      EXPECT_EQ(cidr, c.cidr) << c.text;
    }
  }
}

using CatalogStoreTest = StoreTest;

TEST_F(CatalogStoreTest, LaterChangesOfARouteReplaceEarlierOnes) {
  CatalogStore catalog(path_);
  int64_t latest = 0;
  std::vector<RouteRecord> seed;
  ASSERT_EQ(catalog.RoutesSince(0, &seed, &latest), StoreResult::kOk);
  ASSERT_EQ(latest, 2);
  int64_t version = 0;
  std::string error;
  ASSERT_EQ(
      catalog.PublishRoutes({{RouteChange::kAdd, 0, "10.0.0.0", 8, 1}}, "a", kT0, &version, &error),
      StoreResult::kOk);
  int64_t added = static_cast<int64_t>(seed.size()) + 1;
  ASSERT_EQ(catalog.PublishRoutes({{RouteChange::kDeactivate, added, "", 0, 0}}, "b", kT0, &version,
                                  &error),
            StoreResult::kOk);
  EXPECT_EQ(version, 4);
  // A client at version 2 sees the route once, in its latest state.
  std::vector<RouteRecord> since;
  ASSERT_EQ(catalog.RoutesSince(2, &since, &latest), StoreResult::kOk);
  ASSERT_EQ(since.size(), 1u);
  EXPECT_EQ(since[0].id, added);
  EXPECT_EQ(since[0].status, 0);
  EXPECT_EQ(since[0].version, 4);
  EXPECT_EQ(latest, 4);

  EXPECT_EQ(catalog.PublishRoutes({}, "", kT0, &version, &error), StoreResult::kRejected);
  EXPECT_EQ(catalog.PublishRoutes({{RouteChange::kChange, 9999, "10.0.0.0", 8, 1}}, "", kT0,
                                  &version, &error),
            StoreResult::kRejected);
  EXPECT_EQ(catalog.PublishRoutes({{RouteChange::kAdd, 0, "10.0.0.300", 8, 1}}, "", kT0, &version,
                                  &error),
            StoreResult::kRejected);
  ASSERT_EQ(catalog.LatestRouteVersion(&latest), StoreResult::kOk);
  EXPECT_EQ(latest, 4);
}

}  // namespace
}  // namespace tern
