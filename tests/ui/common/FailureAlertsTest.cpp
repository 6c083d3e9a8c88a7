// What a person sees when the service refuses, fails or sends garbage: the
// screens say so, keep what they showed, and give back what was typed.

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "support/AppHarness.h"
#include "support/HostileInputs.h"
#include "support/RecordingHttpServer.h"
#include "ui/item_detail/InterestedViewController.h"
#include "ui/purchases/BuyViewController.h"
#include "ui/stores/StoreViewController.h"

using testsupport::AppHarness;
using testsupport::HostileInputs;
using testsupport::RecordingHttpServer;

namespace {

constexpr char kPrefix[] = "/kelvane/qx/";
constexpr char kUnreachable[] = "Could not reach the service. Please try again.";
const std::string kDeal =
    R"({"id":"5","name":"Milk","description":"2 l","price":"1.50","posted_by":"Jo",)"
    R"("interested":"1","bought":"0"})";

std::string path(const std::string& endpoint) { return kPrefix + endpoint; }

// The app on the real transport against a loopback server that answers every
// list with one store, one deal, nobody interested and nobody who bought.
class RealSocketApp {
 public:
  RealSocketApp() {
    server.setReplyFor(path("getListOfStores.php"),
                       {200, R"({"Stores":[{"id":"1","name":"Deli","created_by":"Jo"}]})"});
    server.setReplyFor(path("getListOfItems.php"), {200, R"({"Items":[)" + kDeal + "]}"});
    server.setReplyFor(path("getItemById.php"), {200, R"({"Items":[)" + kDeal + "]}"});
    server.setReplyFor(path("getInterested.php"), {200, R"({"Interested":[]})"});
    server.setReplyFor(path("getBought.php"), {200, R"({"Bought":[]})"});
    app.useService(server.baseUrl());
    app.storeUserName("Ann Lee");
    app.launch();
  }

  // The Idempotency-Key of each request to the endpoint ("" without one).
  std::vector<std::string> keysSentTo(const std::string& endpoint) {
    std::vector<std::string> keys;
    for (const auto& request : server.requests()) {
      if (request.target == path(endpoint)) {
        std::smatch key;
        keys.push_back(std::regex_search(request.headerBlock, key,
                                         std::regex("Idempotency-Key: ([^\r\n]*)\r\n"))
                           ? key[1].str()
                           : "");
      }
    }
    return keys;
  }

  // The bodies that reached the socket for the endpoint, byte for byte.
  std::vector<std::string> bodiesSentTo(const std::string& endpoint) {
    std::vector<std::string> bodies;
    for (const auto& request : server.requests()) {
      if (request.target == path(endpoint)) {
        bodies.push_back(request.body);
      }
    }
    return bodies;
  }

  std::vector<std::optional<std::string>> promptTexts() {
    std::vector<std::optional<std::string>> texts;
    if (app.alert() != nullptr) {
      for (const auto& field : app.alert()->textFields()) {
        texts.push_back(field->text());
      }
    }
    return texts;
  }

  RecordingHttpServer server;
  AppHarness app;
};

struct Send {
  std::string name;
  std::function<void(AppHarness&)> openPrompt;  // from the store list
  std::string endpoint;
  std::vector<std::string> typed;
  std::string sentFirst;
  std::size_t fieldToCorrect;
  std::string corrected;
  std::string sentAfterCorrection;
};

TEST(FailureAlerts, EachRefusedSendShowsTheServiceTextAndGivesThePromptBackAsTyped) {
  const std::vector<Send> sends = {
      {"add store",
       [](AppHarness& app) { app.tapBarButton("Add"); },
       "addStore.php",
       {"Caf\xC3\xA9 & Co +100%"},
       R"(store={"created":"Ann Lee","name":"Caf\u00e9 & Co +100%"})",
       0,
       "Cafe",
       R"(store={"created":"Ann Lee","name":"Cafe"})"},
      {"add deal",
       [](AppHarness& app) {
         app.selectRow(0, 0);
         app.tapBarButton("Add");
       },
       "addItem.php",
       {"Tea", "green=1&x", "two"},
       R"(item={"description":"green=1&x","name":"Tea","posted":"Ann Lee","price":"two","storeId":"1"})",
       2,
       "2.10",
       R"(item={"description":"green=1&x","name":"Tea","posted":"Ann Lee","price":"2.10","storeId":"1"})"},
      {"edit deal",
       [](AppHarness& app) {
         app.selectRow(0, 0);
         app.selectRow(0, 0);
         app.tapBarButton("Edit");
       },
       "editItem.php",
       {"Milk", "2 l", "1,2,3"},
       R"(item={"description":"2 l","itemId":"5","name":"Milk","price":"1,2,3"})",
       2,
       "1.23",
       R"(item={"description":"2 l","itemId":"5","name":"Milk","price":"1.23"})"},
      {"interest",
       [](AppHarness& app) {
         app.selectRow(0, 0);
         app.selectRow(0, 0);
         app.tapButton("I'm Interested");
       },
       "addInterested.php",
       {"two"},
       R"(interested={"itemId":"5","name":"Ann Lee","qty":"two"})",
       0,
       "2",
       R"(interested={"itemId":"5","name":"Ann Lee","qty":"2"})"},
      {"purchase",
       [](AppHarness& app) {
         app.selectRow(0, 0);
         app.selectRow(0, 0);
         app.tapButton("Purchases");
         app.tapButton("I Bought This");
         app.tapAlertButton("Proceed");
       },
       "addBuy.php",
       {"0"},
       R"(buy={"itemId":"5","name":"Ann Lee","qty":"0"})",
       0,
       "1",
       R"(buy={"itemId":"5","name":"Ann Lee","qty":"1"})"},
  };
  for (const Send& send : sends) {
    SCOPED_TRACE(send.name);
    RealSocketApp real;
    AppHarness& app = real.app;
    real.server.setReplyFor(path(send.endpoint),
                            {400, R"({"error":"That will not do: )" + send.name + R"(."})"});
    send.openPrompt(app);
    ASSERT_NE(app.alert(), nullptr);
    const std::optional<std::string> promptTitle = app.alert()->title();
    for (std::size_t i = 0; i < send.typed.size(); ++i) {
      app.typeIntoAlertField(i, send.typed[i]);
    }
    auto* screen = dynamic_cast<vantory::ListViewController*>(app.topScreen());
    ASSERT_NE(screen, nullptr);
    const int sectionsBefore = screen->tableView()->numberOfSections();
    app.tapAlertButton("Save");

    EXPECT_EQ(real.bodiesSentTo(send.endpoint), std::vector<std::string>{send.sentFirst});
    ASSERT_NE(app.alert(), nullptr);
    EXPECT_EQ(app.alert()->title(), "Alert");
    EXPECT_EQ(app.alertMessage(), "That will not do: " + send.name + ".");
    EXPECT_TRUE(screen->activityIndicator()->isHidden());
    EXPECT_FALSE(screen->activityIndicator()->isAnimating());
    EXPECT_EQ(screen->tableView()->numberOfSections(), sectionsBefore) << "the list stays";

    app.tapAlertButton("OK");
    ASSERT_NE(app.alert(), nullptr) << "the prompt comes back";
    EXPECT_EQ(app.alert()->title(), promptTitle);
    std::vector<std::optional<std::string>> typed(send.typed.begin(), send.typed.end());
    EXPECT_EQ(real.promptTexts(), typed);

    // Saved again as typed: the same key, for the first may have been stored
    // with only its reply lost; corrected, it is a new request with a new key.
    app.tapAlertButton("Save");
    app.tapAlertButton("OK");
    ASSERT_NE(app.alert(), nullptr) << "the prompt comes back again";
    real.server.setReplyFor(path(send.endpoint), {200, R"({"status":"ok","id":"9"})"});
    app.typeIntoAlertField(send.fieldToCorrect, send.corrected);
    app.tapAlertButton("Save");
    EXPECT_EQ(real.bodiesSentTo(send.endpoint),
              (std::vector<std::string>{send.sentFirst, send.sentFirst, send.sentAfterCorrection}))
        << "bodies go out byte for byte as before";
    EXPECT_EQ(app.alert(), nullptr) << "success closes the matter";
    const auto keys = real.keysSentTo(send.endpoint);
    ASSERT_EQ(keys.size(), 3U);
    EXPECT_TRUE(std::regex_match(keys[0], std::regex("[0-9a-f]{32}"))) << keys[0];
    EXPECT_EQ(keys[1], keys[0]);
    EXPECT_NE(keys[2], keys[0]);
    EXPECT_TRUE(std::regex_match(keys[2], std::regex("[0-9a-f]{32}"))) << keys[2];
  }
  RealSocketApp reading;
  for (const auto& request : reading.server.requests()) {
    EXPECT_EQ(request.headerBlock.find("Idempotency-Key"), std::string::npos)
        << "fetches carry no key: " << request.target;
  }
}

TEST(FailureAlerts, ARefusalWithoutAnExplanationOrNoReplyAtAllShowsTheGeneralMessage) {
  for (const RecordingHttpServer::Reply& reply :
       {RecordingHttpServer::Reply{500, "Internal Server Error", "text/plain"},
        RecordingHttpServer::Reply{200, "not json", "text/plain"},
        RecordingHttpServer::Reply{503, R"({"error":""})"}}) {
    RealSocketApp real;
    real.server.setReplyFor(path("addStore.php"), reply);
    real.app.tapBarButton("Add");
    real.app.typeIntoAlertField(0, "Bakery");
    real.app.tapAlertButton("Save");
    EXPECT_EQ(real.app.alertMessage(), kUnreachable) << reply.body;
    real.app.tapAlertButton("OK");
    EXPECT_EQ(real.promptTexts(), std::vector<std::optional<std::string>>{"Bakery"});
  }
}

TEST(FailureAlerts, AServiceThatIsDownSaysSoOnceInsteadOfLookingEmpty) {
  AppHarness app;
  app.useService("http://127.0.0.1:" + std::to_string(testsupport::unusedLoopbackPort()));
  app.storeUserName("Ann Lee");
  app.launch();
  auto* stores = app.top<vantory::StoreViewController>();
  ASSERT_NE(stores, nullptr);
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Alert");
  EXPECT_EQ(app.alertMessage(), kUnreachable);
  EXPECT_TRUE(stores->activityIndicator()->isHidden());
  EXPECT_FALSE(stores->activityIndicator()->isAnimating());
  EXPECT_EQ(stores->tableView()->numberOfRowsInSection(0), 0);
  EXPECT_EQ(stores->tableView()->backgroundView(), nullptr) << "not the empty-list message";
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alert(), nullptr) << "one alert, not one per attempt";

  app.tapBarButton("Refresh");
  EXPECT_EQ(app.alertMessage(), kUnreachable) << "each failed refresh says so again";
  EXPECT_EQ(stores->tableView()->backgroundView(), nullptr);
}

TEST(FailureAlerts, ADetailScreenWhoseRequestsAllFailShowsOneAlertAndKeepsItsRows) {
  AppHarness app;
  app.storeUserName("Ann Lee");
  app.service().reply(path("getListOfStores.php"), R"({"Stores":[{"id":"1","name":"Deli"}]})");
  app.service().reply(path("getListOfItems.php"), R"({"Items":[)" + kDeal + "]}");
  app.service().reply(path("getInterested.php"), R"({"Interested":[{"name":"Bo","qty":"2"}]})");
  app.service().reply(path("getItemById.php"), R"({"Items":[)" + kDeal + "]}");
  app.launch();
  app.selectRow(0, 0);
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  ASSERT_NE(deal, nullptr);
  ASSERT_EQ(deal->tableView()->numberOfSections(), 1);

  app.service().fail(path("getInterested.php"));
  app.service().fail(path("getItemById.php"));
  // Both requests at once: a tap on refresh and the item re-read it starts
  // on its own.
  deal->refreshItemInfo();
  app.tapBarButton("Refresh");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alertMessage(), kUnreachable);
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alert(), nullptr) << "the second failure did not stack a second alert";
  EXPECT_EQ(deal->tableView()->numberOfSections(), 1) << "the rows shown stay";
  EXPECT_TRUE(deal->activityIndicator()->isHidden());

  // A refusal of a fetch carries the service's own words.
  app.service().reply(path("getInterested.php"), R"({"error":"There is no deal with that id."})",
                      404);
  app.tapBarButton("Refresh");
  EXPECT_EQ(app.alertMessage(), "There is no deal with that id.");
}

TEST(FailureAlerts, HostileRepliesThroughTheRealTransportNeverEndTheApp) {
  for (const auto& [name, reply] : HostileInputs::unusableReplies("Stores")) {
    SCOPED_TRACE(name);
    RealSocketApp real;
    AppHarness& app = real.app;
    auto* stores = app.top<vantory::StoreViewController>();
    ASSERT_NE(stores, nullptr);

    // A list screen: the rows stay and the failure is said once.
    real.server.setReplyFor(path("getListOfStores.php"), reply);
    app.tapBarButton("Refresh");
    EXPECT_EQ(app.alertMessage(), kUnreachable);
    app.tapAlertButton("OK");
    EXPECT_EQ(stores->tableView()->numberOfRowsInSection(0), 1);
    EXPECT_TRUE(stores->activityIndicator()->isHidden());

    // A send: said, and the prompt comes back.
    real.server.setReplyFor(path("addStore.php"), reply);
    app.tapBarButton("Add");
    app.typeIntoAlertField(0, "Bakery");
    app.tapAlertButton("Save");
    EXPECT_EQ(app.alertMessage(), kUnreachable);
    app.tapAlertButton("OK");
    EXPECT_EQ(real.promptTexts(), std::vector<std::optional<std::string>>{"Bakery"});
    app.tapAlertButton("Cancel");

    // A detail screen: its labels keep the deal as handed over.
    real.server.setReplyFor(path("getInterested.php"), reply);
    app.selectRow(0, 0);
    app.selectRow(0, 0);
    auto* deal = app.top<vantory::InterestedViewController>();
    ASSERT_NE(deal, nullptr);
    EXPECT_EQ(app.alertMessage(), kUnreachable);
    EXPECT_EQ(deal->totalLabel()->text(), "Total: 1");
  }
}

TEST(FailureAlerts, AFiftyMegabyteListIsShown) {
  RealSocketApp real;
  real.server.setReplyFor(path("getListOfStores.php"),
                          {200, HostileInputs::hugeListReply("Stores", 50)});
  auto* stores = real.app.top<vantory::StoreViewController>();
  stores->refresh();
  ASSERT_TRUE(real.app.settle(std::chrono::seconds(90)));
  EXPECT_EQ(stores->tableView()->numberOfRowsInSection(0), 1000);
  EXPECT_EQ(real.app.alert(), nullptr);
}

}  // namespace
