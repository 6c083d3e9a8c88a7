#include <gtest/gtest.h>
#include <unistd.h>

#include "app/ViewController.h"
#include "support/AppHarness.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"
#include "ui/item_detail/InterestedViewController.h"
#include "ui/items/ItemViewController.h"
#include "ui/purchases/BuyViewController.h"
#include "ui/search/SearchViewController.h"
#include "ui/stores/StoreViewController.h"

using testsupport::AppHarness;

namespace {

std::optional<std::string> tagged(const std::shared_ptr<platform::TableViewCell>& cell, int tag) {
  return dynamic_cast<platform::Label*>(cell->viewWithTag(tag))->text();
}

// The service on an SQLite file, or on a throwaway PostgreSQL cluster.
class EndToEnd : public ::testing::TestWithParam<bool> {};

TEST_P(EndToEnd, AGroupSharesADealThroughARealService) {
  const auto directory =
      std::filesystem::temp_directory_path() / ("vantory-e2e-" + std::to_string(::getpid()));
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  std::unique_ptr<testsupport::PostgresCluster> cluster;
  if (GetParam()) {
    cluster = std::make_unique<testsupport::PostgresCluster>();
    if (cluster->unavailable()) {
      GTEST_SKIP() << *cluster->unavailable();
    }
  }
  testsupport::ServerProcess server(cluster ? std::filesystem::path(cluster->url())
                                            : directory / "vantory.db");
  ASSERT_TRUE(server.start()) << server.log();

  AppHarness app;
  app.useService(server.baseUrl());
  app.launch();

  // Register.
  auto& registration = dynamic_cast<vantory::ViewController&>(*app.window().rootViewController());
  registration.firstName()->typeText("Ann");
  registration.lastName()->typeText("Lee");
  app.tapButton("Save");
  auto* stores = app.top<vantory::StoreViewController>();
  ASSERT_NE(stores, nullptr);

  // Add a store and open it.
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Caf\xC3\xA9 & Co");
  app.tapAlertButton("Save");
  ASSERT_EQ(stores->tableView()->numberOfRowsInSection(0), 1);
  EXPECT_EQ(stores->tableView()->cellForRowAtIndexPath({0, 0})->textLabel()->text(),
            "Caf\xC3\xA9 & Co");
  app.selectRow(0, 0);
  auto* items = app.top<vantory::ItemViewController>();
  ASSERT_NE(items, nullptr);
  EXPECT_EQ(items->navigationItem().title(), "Caf\xC3\xA9 & Co");
  EXPECT_EQ(items->createdLabel()->text(), "Store added by Ann Lee");

  // Post a deal and open it.
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Oat milk");
  app.typeIntoAlertField(1, "Two for one & more");
  app.typeIntoAlertField(2, "2.5");
  app.tapAlertButton("Save");
  ASSERT_EQ(items->tableView()->numberOfSections(), 1);
  EXPECT_EQ(tagged(items->tableView()->cellForRowAtIndexPath({0, 0}), 3), "$2.50");
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  ASSERT_NE(deal, nullptr);
  EXPECT_EQ(deal->postedBy()->text(), "Deal posted by Ann Lee");

  // Declare interest in two.
  app.tapButton("I'm Interested");
  app.typeIntoAlertField(0, "2");
  app.tapAlertButton("Save");
  EXPECT_EQ(deal->totalLabel()->text(), "Total: 2");
  ASSERT_EQ(deal->tableView()->numberOfSections(), 1);
  EXPECT_EQ(deal->tableView()->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "Ann Lee");

  // Buy one.
  app.tapButton("Purchases");
  auto* purchases = app.top<vantory::BuyViewController>();
  ASSERT_NE(purchases, nullptr);
  app.tapButton("I Bought This");
  app.tapAlertButton("Proceed");
  app.typeIntoAlertField(0, "1");
  app.tapAlertButton("Save");
  EXPECT_EQ(purchases->totalLabel()->text(), "Total: 2");
  EXPECT_EQ(purchases->boughtLabel()->text(), "Bought: 1");
  EXPECT_EQ(purchases->neededLabel()->text(), "Needed: 1");
  ASSERT_EQ(purchases->tableView()->numberOfSections(), 1);
  EXPECT_EQ(purchases->tableView()->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(), "1");

  // Back to the deal: its counters are read again.
  app.goBack();
  EXPECT_EQ(deal->boughtLabel()->text(), "Bought: 1");

  // Search from the stores.
  app.goBack();
  app.goBack();
  ASSERT_EQ(app.top<vantory::StoreViewController>(), stores);
  app.tapBarButton("Search");
  app.typeIntoAlertField(0, "OAT");
  app.tapAlertButton("Search");
  auto* results = app.top<vantory::SearchViewController>();
  ASSERT_NE(results, nullptr);
  ASSERT_EQ(results->tableView()->numberOfSections(), 1);
  auto header = results->tableView()->headerViewForSection(0);
  EXPECT_EQ(dynamic_cast<platform::Label*>(header->subviews().at(0).get())->text(),
            "Caf\xC3\xA9 & Co");
  EXPECT_EQ(tagged(results->tableView()->cellForRowAtIndexPath({0, 0}), 1), "Oat milk");

  std::filesystem::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(Storage, EndToEnd, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "PostgreSQL" : "SQLite";
                         });

}  // namespace
