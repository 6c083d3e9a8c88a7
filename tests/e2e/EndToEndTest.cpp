#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "app/ViewController.h"
#include "platform/CurlUrlSession.h"
#include "support/AppHarness.h"
#include "support/PostgresCluster.h"
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
                         [](const ::testing::TestParamInfo<Deployment>& info) {
                           switch (info.param) {
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

}  // namespace
