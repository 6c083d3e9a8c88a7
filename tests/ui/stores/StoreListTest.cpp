#include <gtest/gtest.h>

#include "platform/UserDefaults.h"
#include "support/AppHarness.h"
#include "ui/items/ItemViewController.h"
#include "ui/search/SearchViewController.h"
#include "ui/stores/StoreViewController.h"

using testsupport::AppHarness;
using testsupport::kStoresPath;
using vantory::StoreViewController;

namespace {

constexpr char kAddStore[] = "/kelvane/qx/addStore.php";

// A returning user on the store list.
StoreViewController& openStores(AppHarness& app, const std::string& storesReply) {
  app.storeUserName("Ann Lee");
  app.service().reply(kStoresPath, storesReply);
  app.launch();
  auto* stores = app.top<StoreViewController>();
  EXPECT_NE(stores, nullptr);
  return *stores;
}

const platform::Label* emptyLabel(StoreViewController& screen) {
  return dynamic_cast<const platform::Label*>(screen.tableView()->backgroundView().get());
}

std::vector<std::optional<std::string>> rowTexts(StoreViewController& screen) {
  std::vector<std::optional<std::string>> texts;
  platform::TableView& table = *screen.tableView();
  for (int row = 0; row < table.numberOfRowsInSection(0); ++row) {
    texts.push_back(table.cellForRowAtIndexPath({0, row})->textLabel()->text());
  }
  return texts;
}

TEST(StoreList, TheEmptyMessageShowsOnceAnEmptyListArrivesThenRowsInReplyOrder) {
  AppHarness app;
  app.storeUserName("Ann Lee");
  app.service().hold();
  app.launch();
  auto& screen = *app.top<StoreViewController>();
  EXPECT_FALSE(screen.activityIndicator()->isHidden());
  EXPECT_TRUE(screen.activityIndicator()->isAnimating());
  EXPECT_EQ(emptyLabel(screen), nullptr) << "no message before the first reply";

  app.service().reply(kStoresPath, R"({"Stores":[]})");
  app.service().release();
  app.settle();
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
  EXPECT_FALSE(screen.activityIndicator()->isAnimating());
  EXPECT_EQ(screen.tableView()->numberOfSections(), 1);
  EXPECT_EQ(screen.tableView()->numberOfRowsInSection(0), 0);
  const platform::Label* label = emptyLabel(screen);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "You Dont have any Stores.");
  EXPECT_EQ(label->textColor(), platform::Color::brownColor());
  EXPECT_EQ(label->font(), platform::Font::boldSystemFontOfSize(16));
  EXPECT_EQ(label->textAlignment(), platform::TextAlignment::center);

  app.service().reply(
      kStoresPath,
      R"({"Stores":[{"id":"2","name":"Zed Mart","created_by":"A"},{"id":"1","created_by":"B"},
                             {"id":"3","name":"Able Deli","created_by":"C"}]})");
  app.tapBarButton("Refresh");
  EXPECT_EQ(screen.tableView()->backgroundView(), nullptr);
  EXPECT_EQ(rowTexts(screen),
            (std::vector<std::optional<std::string>>{"Zed Mart", std::nullopt, "Able Deli"}))
      << "reply order, and a store without a name has an empty row";
  EXPECT_EQ(screen.tableView()->cellForRowAtIndexPath({0, 0})->tintColor(),
            platform::Color::redColor());
  EXPECT_NE(app.console().text().find(R"("name":"Zed Mart")"), std::string::npos)
      << "the reply is printed whole";

  // The table is read while a reply arrives on the session's thread: the list
  // it reads is replaced on the main queue only (ThreadSanitizer would see it).
  app.service().hold();
  app.tapBarButton("Refresh");
  app.service().release();
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(rowTexts(screen).size(), 3U);
  }
  app.settle();
}

TEST(StoreList, RepliesWithoutAStoresArrayShowTheMessage) {
  for (const char* reply : {R"({"Shops":[]})", R"({"Stores":"none"})", R"([1,2])", R"("text")"}) {
    AppHarness app;
    auto& screen = openStores(app, R"({"Stores":[{"id":"1","name":"Deli"}]})");
    ASSERT_EQ(screen.tableView()->numberOfRowsInSection(0), 1);
    app.service().reply(kStoresPath, reply);
    app.tapBarButton("Refresh");
    EXPECT_FALSE(screen.stores()) << reply;
    EXPECT_EQ(screen.tableView()->numberOfRowsInSection(0), 0) << reply;
    ASSERT_NE(emptyLabel(screen), nullptr) << reply;
  }
}

TEST(StoreList, AFailedFetchKeepsTheRowsStopsTheIndicatorAndSaysSo) {
  AppHarness app;
  auto& screen = openStores(app, R"({"Stores":[{"id":"1","name":"Deli"}]})");
  app.service().fail(kStoresPath);
  app.tapBarButton("Refresh");
  EXPECT_EQ(rowTexts(screen), std::vector<std::optional<std::string>>{"Deli"});
  EXPECT_FALSE(screen.activityIndicator()->isAnimating());
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
}

TEST(StoreList, TappingAStoreOpensItsDealsWithTheWholeRecordAndComingBackRefreshes) {
  AppHarness app;
  openStores(
      app,
      R"({"Stores":[{"id":"1","name":"Deli"},{"id":"7","name":"Caf\u00e9","created_by":"Jo","extra":"x"}]})");
  app.service().reply("/kelvane/qx/getListOfItems.php", R"({"Items":[]})");
  app.selectRow(0, 1);
  auto* items = app.top<vantory::ItemViewController>();
  ASSERT_NE(items, nullptr);
  ASSERT_TRUE(items->storeInfo());
  EXPECT_EQ(nlohmann::json::parse(*items->storeInfo()),
            nlohmann::json::parse(R"({"id":"7","name":"Café","created_by":"Jo","extra":"x"})"));

  app.service().clearRequests();
  app.goBack();
  EXPECT_EQ(app.service().paths(), std::vector<std::string>{kStoresPath});
}

TEST(StorePrompts, AddStoreSendsTheNameExactlyAndFetchesTheListAgain) {
  AppHarness app;
  openStores(app, R"({"Stores":[]})");
  app.service().reply(kAddStore, R"({"status":"ok","id":"5"})");

  app.tapBarButton("Add");
  auto* prompt = app.alert();
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->title(), "Add Store");
  EXPECT_EQ(prompt->message(), "");
  ASSERT_EQ(prompt->textFields().size(), 1U);
  const auto& field = *prompt->textFields()[0];
  EXPECT_EQ(field.placeholder(), "Store Name");
  EXPECT_EQ(field.textAlignment(), platform::TextAlignment::center);
  EXPECT_EQ(field.autocapitalizationType(), platform::AutocapitalizationType::words);
  EXPECT_EQ(field.keyboardAppearance(), platform::KeyboardAppearance::dark);
  EXPECT_EQ(field.returnKeyType(), platform::ReturnKeyType::done);
  EXPECT_EQ(field.keyboardType(), platform::KeyboardType::defaultType);
  ASSERT_EQ(prompt->actions().size(), 2U);
  EXPECT_EQ(prompt->actions()[0]->title(), "Save");
  EXPECT_EQ(prompt->actions()[1]->title(), "Cancel");

  app.service().clearRequests();
  app.typeIntoAlertField(0, " Caf\xC3\xA9 \"Q\" & + 100% = \\");
  app.tapAlertButton("Save");
  const auto requests = app.service().requests();
  ASSERT_EQ(requests.size(), 2U);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, kAddStore);
  EXPECT_EQ(requests[0].body,
            R"(store={"created":"Ann Lee","name":" Caf\u00e9 \"Q\" & + 100% = \\"})");
  EXPECT_EQ(requests[1].path, kStoresPath) << "the list is fetched again after the reply";
}

TEST(StorePrompts, BlankNamesAndCancelSendNothing) {
  AppHarness app;
  auto& screen = openStores(app, R"({"Stores":[]})");
  app.service().clearRequests();

  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "   ");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Name can't be Empty");
  app.tapAlertButton("OK");
  EXPECT_TRUE(screen.activityIndicator()->isHidden()) << "the indicator is not touched";

  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Deli");
  app.tapAlertButton("Cancel");
  EXPECT_EQ(app.alert(), nullptr);
  EXPECT_TRUE(app.service().requests().empty());
}

TEST(StorePrompts, SearchOpensTheResultsWithTheTextAsTypedAndRefusesBlankText) {
  AppHarness app;
  openStores(app, R"({"Stores":[]})");
  app.service().reply("/kelvane/qx/searchItem.php", R"({"Results":[]})");

  app.tapBarButton("Search");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Search");
  EXPECT_EQ(app.alert()->textFields().at(0)->placeholder(), "Search Text");
  EXPECT_EQ(app.alert()->actions().at(0)->title(), "Search");
  app.typeIntoAlertField(0, "  ");
  app.tapAlertButton("Search");
  EXPECT_EQ(app.alertMessage(), "Search Text can't be empty");
  app.tapAlertButton("OK");
  EXPECT_NE(app.top<StoreViewController>(), nullptr) << "nothing was opened";

  app.tapBarButton("Search");
  app.typeIntoAlertField(0, " milk ");
  app.tapAlertButton("Search");
  auto* results = app.top<vantory::SearchViewController>();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->searchString(), " milk ");
  EXPECT_EQ(results->navigationItem().title(), "Search Results");
}

TEST(StorePrompts, ANewStoreWithoutAUsableReplyStopsTheIndicatorAndSaysSo) {
  AppHarness app;
  auto& screen = openStores(app, R"({"Stores":[{"id":"1","name":"Deli"}]})");
  app.service().fail(kAddStore);
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Bakery");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alert()->title(), "Alert");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
  EXPECT_FALSE(screen.activityIndicator()->isAnimating());
  EXPECT_EQ(rowTexts(screen), std::vector<std::optional<std::string>>{"Deli"});

  // The prompt comes back with the name, and a reply that is not JSON is no
  // usable reply either.
  app.tapAlertButton("OK");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Add Store");
  EXPECT_EQ(app.alert()->textFields().at(0)->text(), "Bakery");
  app.service().reply(kAddStore, "<html>502</html>");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
}

TEST(StorePrompts, WithoutAStoredNameNothingIsSent) {
  AppHarness app;
  auto& screen = openStores(app, R"({"Stores":[]})");
  platform::UserDefaults::standardUserDefaults().removeObjectForKey("Name");
  app.service().clearRequests();
  screen.addStoreNameWithStore("Deli");
  app.settle();
  EXPECT_TRUE(app.service().requests().empty());
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
}

}  // namespace
