#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>

#include "app/ViewController.h"
#include "net/LiveChanges.h"
#include "platform/CurlUrlSession.h"
#include "service/HttpClient.h"
#include "support/AppHarness.h"
#include "support/PostgresCluster.h"
#include "support/RecordingHttpServer.h"
#include "support/ServerProcess.h"
#include "support/TestCertificates.h"
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

std::filesystem::path freshDirectory(const std::string& name) {
  auto directory = std::filesystem::temp_directory_path() /
                   ("vantory-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  return directory;
}

// The arguments of a server that serves HTTPS with a certificate of the
// authority, and only to the users of `users` (if given).
std::vector<std::string> httpsArguments(testsupport::TestCertificates& authority,
                                        const std::filesystem::path& users = {}) {
  const auto pair = authority.issue("service");
  std::vector<std::string> arguments = {"--tls-cert", pair.certificate.string(), "--tls-key",
                                        pair.key.string()};
  if (!users.empty()) {
    arguments.insert(arguments.end(), {"--users", users.string()});
  }
  return arguments;
}

// Adds a user with the server's own passwd command.
bool addUser(const std::filesystem::path& users, const std::string& name,
             const std::string& nameInApp, const std::string& password) {
  const auto input = users.parent_path() / "password";
  std::ofstream(input) << password << "\n";
  const std::string command = "'" + testsupport::serverBinary().string() + "' passwd " + name +
                              " --name-in-app '" + nameInApp + "' --users '" + users.string() +
                              "' <'" + input.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Where the service runs: on an SQLite file, on a throwaway PostgreSQL
// cluster, or over HTTPS to listed users only (the app trusting the test
// authority and signing in with credentials in the address).
enum class Deployment { sqlite, postgresql, httpsWithUsers };

class EndToEnd : public ::testing::TestWithParam<Deployment> {};

TEST_P(EndToEnd, AGroupSharesADealThroughARealService) {
  const auto directory = freshDirectory("e2e");
  std::unique_ptr<testsupport::PostgresCluster> cluster;
  if (GetParam() == Deployment::postgresql) {
    cluster = std::make_unique<testsupport::PostgresCluster>();
    if (cluster->unavailable()) {
      GTEST_SKIP() << *cluster->unavailable();
    }
  }
  std::optional<testsupport::TestCertificates> authority;
  std::vector<std::string> arguments;
  if (GetParam() == Deployment::httpsWithUsers) {
    ASSERT_TRUE(addUser(directory / "users", "ann", "Ann Lee", "p\xC3\xA4ss word:1"));
    authority.emplace(directory);
    arguments = httpsArguments(*authority, directory / "users");
    ASSERT_TRUE(authority->ok());
  }
  testsupport::ServerProcess server(
      cluster ? std::filesystem::path(cluster->url()) : directory / "vantory.db", arguments);
  ASSERT_TRUE(server.start()) << server.log();

  AppHarness app;
  std::string address = server.baseUrl();
  if (GetParam() == Deployment::httpsWithUsers) {
    platform::CurlUrlSession::setCertificateAuthorityFile(authority->authority().string());
    // The password percent-encoded, as in any address.
    address.replace(address.find("://") + 3, 0, "ann:p%C3%A4ss%20word%3A1@");
  }
  app.useService(address);
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

  if (GetParam() == Deployment::httpsWithUsers) {
    const std::string console = app.console().text();
    EXPECT_NE(console.find("https://127.0.0.1:"), std::string::npos) << console;
    EXPECT_EQ(console.find("p%C3%A4ss"), std::string::npos) << "the password is never shown";
    EXPECT_EQ(console.find("ann:"), std::string::npos) << console;
    platform::CurlUrlSession::setCertificateAuthorityFile("");
  }
  std::filesystem::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(Service, EndToEnd,
                         ::testing::Values(Deployment::sqlite, Deployment::postgresql,
                                           Deployment::httpsWithUsers),
                         [](const ::testing::TestParamInfo<Deployment>& instance) {
                           switch (instance.param) {
                             case Deployment::sqlite:
                               return "SQLite";
                             case Deployment::postgresql:
                               return "PostgreSQL";
                             case Deployment::httpsWithUsers:
                               return "HttpsWithUsers";
                           }
                           return "";
                         });

// What a person sees when the app cannot use a service: one whose
// certificate their machine does not trust, one that wants a name and
// password they did not give, and addresses whose http:// or https:// is
// not what the service speaks.
TEST(EndToEndRefusals, AnUntrustedCertificateMissingCredentialsAndAWrongSchemeAreExplained) {
  const auto directory = freshDirectory("refusals");
  testsupport::TestCertificates authority(directory);
  std::ofstream(directory / "users") << "";
  testsupport::ServerProcess server(directory / "vantory.db",
                                    httpsArguments(authority, directory / "users"));
  ASSERT_TRUE(authority.ok());
  ASSERT_TRUE(server.start()) << server.log();

  const auto storeListAlert = [](AppHarness& app, const std::string& address) {
    app.storeUserName("Ann Lee");
    app.useService(address);
    app.launch();
    return app.alertMessage().value_or("(no alert)");
  };
  {
    AppHarness app;
    const std::string message = storeListAlert(app, server.baseUrl());
    EXPECT_NE(message.find("The service's certificate is not trusted"), std::string::npos)
        << message;
    EXPECT_NE(message.find("--ca-file"), std::string::npos) << message;
  }
  {
    platform::CurlUrlSession::setCertificateAuthorityFile(authority.authority().string());
    AppHarness app;
    const std::string message = storeListAlert(app, server.baseUrl());
    platform::CurlUrlSession::setCertificateAuthorityFile("");
    EXPECT_NE(message.find("needs your name and password"), std::string::npos) << message;
  }
  {
    // The address says http:// where the service speaks HTTPS, and the reverse.
    AppHarness app;
    const std::string message =
        storeListAlert(app, "http://127.0.0.1:" + std::to_string(server.port()));
    EXPECT_NE(message.find("If it serves HTTPS, use an https:// address."), std::string::npos)
        << message;
  }
  testsupport::ServerProcess plain(directory / "plain.db");
  ASSERT_TRUE(plain.start()) << plain.log();
  {
    AppHarness app;
    const std::string message =
        storeListAlert(app, "https://127.0.0.1:" + std::to_string(plain.port()));
    EXPECT_NE(message.find("If the service serves plain HTTP, use an http:// address."),
              std::string::npos)
        << message;
  }
  std::filesystem::remove_all(directory);
}

// The reply to a stored interest is lost on its way back: the person is told,
// gets the prompt back as typed and saves it again; the service, seeing the
// same Idempotency-Key, answers as the first time without storing again.
TEST(EndToEndExactlyOnce, SavingAgainAfterALostReplyStoresNothingNewAndShowsSuccess) {
  const auto directory = freshDirectory("once");
  testsupport::ServerProcess server(directory / "vantory.db");
  ASSERT_TRUE(server.start()) << server.log();
  testsupport::RecordingHttpServer proxy;
  testsupport::RecordingHttpServer::Reply relayed;
  relayed.forwardTo = server.port();
  proxy.setDefaultReply(relayed);

  AppHarness app;
  app.useService(proxy.baseUrl());
  app.storeUserName("Ann Lee");
  app.launch();
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Deli");
  app.tapAlertButton("Save");
  app.selectRow(0, 0);
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Oat milk");
  app.typeIntoAlertField(1, "");
  app.typeIntoAlertField(2, "2.5");
  app.tapAlertButton("Save");
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  ASSERT_NE(deal, nullptr);

  testsupport::RecordingHttpServer::Reply lost = relayed;
  lost.dropRelay = true;
  proxy.setReplyFor("/kelvane/qx/addInterested.php", lost);
  app.tapButton("I'm Interested");
  app.typeIntoAlertField(0, "2");
  app.tapAlertButton("Save");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Alert") << "the person is told it did not go through";
  app.tapAlertButton("OK");
  ASSERT_NE(app.alert(), nullptr) << "the prompt comes back";
  EXPECT_EQ(app.alert()->textFields().at(0)->text(), "2");

  proxy.setReplyFor("/kelvane/qx/addInterested.php", relayed);
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alert(), nullptr) << "saved again, it succeeds";
  EXPECT_EQ(deal->totalLabel()->text(), "Total: 2");
  EXPECT_EQ(deal->tableView()->numberOfSections(), 1) << "one interest, not two";

  testsupport::HttpClient direct(server.port());
  const auto stored = direct.request("GET", "/kelvane/qx/getInterested.php?item_id=1");
  ASSERT_TRUE(stored);
  EXPECT_EQ(nlohmann::json::parse(stored->body)["Interested"].size(), 1U) << stored->body;
  // Each send reached the service (the transport itself may resend once on
  // a connection that closed unanswered), every one under the same key.
  std::set<std::string> keys;
  int sends = 0;
  for (const auto& request : proxy.requests()) {
    if (request.target == "/kelvane/qx/addInterested.php") {
      ++sends;
      const auto at = request.headerBlock.find("Idempotency-Key: ");
      keys.insert(at == std::string::npos ? "" : request.headerBlock.substr(at + 17, 32));
    }
  }
  EXPECT_GE(sends, 2);
  EXPECT_EQ(keys.size(), 1U);
  EXPECT_FALSE(keys.begin()->empty());
  std::filesystem::remove_all(directory);
}

// Bo has the app open; what Ann does meanwhile, through another server on
// the same database file, appears on the screen Bo has on show, with nothing
// done by Bo, also once Bo's server has been restarted under him.
TEST(EndToEndLive, WhatOthersDoAppearsOnTheScreenOnShow) {
  const auto directory = freshDirectory("live");
  auto server = std::make_unique<testsupport::ServerProcess>(directory / "vantory.db");
  ASSERT_TRUE(server->start()) << server->log();
  testsupport::ServerProcess annsServer(directory / "vantory.db");
  ASSERT_TRUE(annsServer.start()) << annsServer.log();
  AppHarness app;
  app.useService(server->baseUrl());
  app.storeUserName("Bo Lee");
  app.launch();
  vantory::LiveChanges::start(server->baseUrl());
  auto& main = platform::DispatchQueue::main();
  const auto ann = [&annsServer](const std::string& endpoint, const std::string& body) {
    testsupport::HttpClient client(annsServer.port());
    const auto reply = client.request("POST", "/kelvane/qx/" + endpoint, body);
    return reply ? reply->status : 0;
  };
  const auto rowsOf = [](vantory::ListViewController* screen) {
    return screen->tableView()->numberOfSections() == 1
               ? screen->tableView()->numberOfRowsInSection(0)
               : screen->tableView()->numberOfSections();
  };

  auto* stores = app.top<vantory::StoreViewController>();
  ASSERT_NE(stores, nullptr);
  ASSERT_EQ(ann("addStore.php", R"(store={"name":"Deli","created":"Ann"})"), 200);
  ASSERT_TRUE(main.runUntil([&] { return rowsOf(stores) == 1; })) << "a new store";
  app.selectRow(0, 0);
  auto* deals = app.top<vantory::ItemViewController>();
  ASSERT_NE(deals, nullptr);
  ASSERT_EQ(
      ann("addItem.php",
          R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Ann"})"),
      200);
  ASSERT_TRUE(main.runUntil([&] { return rowsOf(deals) == 1; })) << "a new deal in the open store";
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  ASSERT_NE(deal, nullptr);
  ASSERT_EQ(ann("addInterested.php", R"(interested={"itemId":"1","name":"Ann","qty":"3"})"), 200);
  EXPECT_TRUE(main.runUntil([&] { return deal->totalLabel()->text() == "Total: 3"; }));
  ASSERT_EQ(ann("addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"1"})"), 200);
  EXPECT_TRUE(main.runUntil([&] { return deal->boughtLabel()->text() == "Bought: 1"; }));
  ASSERT_EQ(
      ann("editItem.php", R"(item={"itemId":"1","name":"Oat milk","description":"","price":"2"})"),
      200);
  EXPECT_TRUE(main.runUntil([&] { return deal->itemName()->text() == "Oat milk"; })) << "an edit";

  // The service restarts; what changed meanwhile shows once the app is back on it.
  server->stop();
  server->setListenPort(server->port());
  ASSERT_TRUE(server->start()) << server->log();
  ASSERT_EQ(ann("addInterested.php", R"(interested={"itemId":"1","name":"Ann","qty":"2"})"), 200);
  EXPECT_TRUE(main.runUntil([&] { return deal->totalLabel()->text() == "Total: 5"; },
                            std::chrono::seconds(20)))
      << deal->totalLabel()->text().value_or("");
  vantory::LiveChanges::stop();
  std::filesystem::remove_all(directory);
}

}  // namespace
