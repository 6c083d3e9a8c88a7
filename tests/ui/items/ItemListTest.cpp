#include <gtest/gtest.h>

#include "support/AppHarness.h"
#include "ui/item_detail/InterestedViewController.h"
#include "ui/items/ItemViewController.h"
#include "ui/stores/StoreViewController.h"

using testsupport::AppHarness;
using vantory::ItemViewController;

namespace {

constexpr char kItems[] = "/kelvane/qx/getListOfItems.php";
constexpr char kAddItem[] = "/kelvane/qx/addItem.php";

constexpr char kThreeItems[] = R"({"Items":[
  {"id":"10","name":"Milk","description":"2 litres","price":"19.5"},
  {"id":"11","name":"Eggs","description":"a dozen","price":"3"},
  {"id":"12","name":"Bread","description":"rye","price":"free"}]})";

// Opens the store with the given record on a returning user's store list.
ItemViewController& openStore(AppHarness& app, const std::string& store,
                              const std::string& itemsReply) {
  app.storeUserName("Ann Lee");
  app.service().reply("/kelvane/qx/getListOfStores.php", R"({"Stores":[)" + store + "]}");
  app.service().reply(kItems, itemsReply);
  app.launch();
  app.selectRow(0, 0);
  auto* items = app.top<ItemViewController>();
  EXPECT_NE(items, nullptr);
  return *items;
}

std::optional<std::string> cellLabel(ItemViewController& screen, int section, int tag) {
  auto cell = screen.tableView()->cellForRowAtIndexPath({section, 0});
  return dynamic_cast<platform::Label*>(cell->viewWithTag(tag))->text();
}

TEST(ItemList, ShowsTheStoreAndOneSectionPerDealWithLocalPrices) {
  AppHarness app;
  auto& screen =
      openStore(app, R"({"id":"12&x=+","name":"Deli","created_by":"Jo Doe"})", kThreeItems);
  EXPECT_EQ(screen.navigationItem().title(), "Deli");
  EXPECT_EQ(screen.createdLabel()->text(), "Store added by Jo Doe");
  const auto& buttons = screen.navigationItem().rightBarButtonItems();
  ASSERT_EQ(buttons.size(), 2U);
  EXPECT_EQ(buttons[0], screen.addButton());
  EXPECT_EQ(buttons[1], screen.refreshButton());

  const auto request = app.service().requestsTo(kItems).at(0);
  EXPECT_EQ(request.query, "store_id=12&x=+") << "the id goes out exactly as the record holds it";

  ASSERT_EQ(screen.tableView()->numberOfSections(), 3);
  EXPECT_EQ(screen.tableView()->numberOfRowsInSection(2), 1);
  EXPECT_EQ(cellLabel(screen, 2, 1), "Bread");
  EXPECT_EQ(cellLabel(screen, 2, 2), "rye");
  EXPECT_EQ(cellLabel(screen, 2, 3), std::nullopt) << "a price that is not a number shows nothing";
  EXPECT_EQ(cellLabel(screen, 0, 3), "$19.50");
  EXPECT_EQ(cellLabel(screen, 1, 3), "$3.00");
}

TEST(ItemList, AStoreWithoutANameHasNoTitleButItsCreatorIsShown) {
  AppHarness app;
  auto& screen = openStore(app, R"({"id":"1","created_by":"Jo"})", R"({"Items":{}})");
  EXPECT_EQ(screen.navigationItem().title(), std::nullopt);
  EXPECT_EQ(screen.createdLabel()->text(), "Store added by Jo");
  EXPECT_EQ(screen.tableView()->numberOfSections(), 0);
  auto* label = dynamic_cast<platform::Label*>(screen.tableView()->backgroundView().get());
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "You Dont have any Items.");
}

TEST(ItemList, TappingADealOpensItsDetailWithTheWholeRecord) {
  AppHarness app;
  openStore(app, R"({"id":"1","name":"Deli","created_by":"Jo"})", kThreeItems);
  app.service().reply("/kelvane/qx/getInterested.php", R"({"Interested":[]})");
  app.service().reply("/kelvane/qx/getItemById.php", R"({"Items":[]})");
  app.selectRow(1, 0);
  auto* detail = app.top<vantory::InterestedViewController>();
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(
      nlohmann::json::parse(detail->itemInfo().value()),
      nlohmann::json::parse(R"({"id":"11","name":"Eggs","description":"a dozen","price":"3"})"));
}

TEST(AddItem, ThePromptChecksNameThenPriceAndSendsNothingWhenEitherIsBlank) {
  AppHarness app;
  openStore(app, R"({"id":"1","name":"Deli","created_by":"Jo"})", kThreeItems);
  app.service().clearRequests();

  app.tapBarButton("Add");
  auto* prompt = app.alert();
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->title(), "Add Item");
  ASSERT_EQ(prompt->textFields().size(), 3U);
  EXPECT_EQ(prompt->textFields()[0]->placeholder(), "Item Name");
  EXPECT_EQ(prompt->textFields()[1]->placeholder(), "Description");
  EXPECT_EQ(prompt->textFields()[2]->placeholder(), "Price");
  EXPECT_EQ(prompt->textFields()[1]->keyboardType(), platform::KeyboardType::defaultType);
  EXPECT_EQ(prompt->textFields()[2]->keyboardType(), platform::KeyboardType::numbersAndPunctuation);

  app.typeIntoAlertField(0, "   ");
  app.typeIntoAlertField(2, "");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Name can't be Empty");
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alertMessage(), "Price can't be Empty") << "both checks are shown, name first";
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alert(), nullptr);

  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "");
  app.typeIntoAlertField(2, "2");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Name can't be Empty");
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alert(), nullptr) << "only the name's alert";

  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Oat milk");  // the price left as it came: absent
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Price can't be Empty");
  app.tapAlertButton("OK");
  EXPECT_TRUE(app.service().requests().empty());
}

TEST(AddItem, SavingSendsTheDealForThisStoreAndFetchesTheListAgain) {
  AppHarness app;
  openStore(app, R"({"id":"7","name":"Deli","created_by":"Jo"})", kThreeItems);
  app.service().reply(kAddItem, "[]");  // the reply's content is never read
  app.service().clearRequests();

  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Oat milk");
  app.typeIntoAlertField(2, " 2,50 abc");
  app.tapAlertButton("Save");
  const auto requests = app.service().requests();
  ASSERT_EQ(requests.size(), 2U);
  EXPECT_EQ(requests[0].path, kAddItem);
  EXPECT_EQ(
      requests[0].body,
      R"(item={"description":"","name":"Oat milk","posted":"Ann Lee","price":" 2,50 abc","storeId":"7"})");
  EXPECT_EQ(requests[1].path, kItems);
  EXPECT_EQ(requests[1].query, "store_id=7");
}

TEST(AddItem, ANewDealWithoutAUsableReplyStopsTheIndicatorAndSaysSo) {
  AppHarness app;
  auto& screen = openStore(app, R"({"id":"7","name":"Deli","created_by":"Jo"})", kThreeItems);
  app.service().fail(kAddItem);
  app.tapBarButton("Add");
  app.typeIntoAlertField(0, "Oat milk");
  app.typeIntoAlertField(2, "2");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
  EXPECT_EQ(screen.tableView()->numberOfSections(), 3) << "the list keeps what it showed";
}

}  // namespace

namespace {

std::vector<std::string> barTitles(platform::ViewController& screen) {
  std::vector<std::string> titles;
  for (const auto& item : screen.navigationItem().rightBarButtonItems()) {
    titles.push_back(item->title());
  }
  return titles;
}

// Whoever posted a deal may remove it (from its Edit prompt), whoever created
// a store may remove it once it has no deals; asked once more, and once
// removed, the screen that showed it goes back. A refusal says why.
TEST(Removal, OwnDealsAndEmptyOwnStoresCanBeDeletedAndAreGoneAfterIt) {
  {
    AppHarness app;
    auto& theirs =
        openStore(app, R"({"id":"1","name":"Deli","created_by":"Jo"})", R"({"Items":[]})");
    EXPECT_EQ(barTitles(theirs), (std::vector<std::string>{"Add", "Refresh"}));
  }
  AppHarness app;
  auto& own = openStore(app, R"({"id":"4","name":"Deli","created_by":"Ann Lee"})",
                        R"({"Items":[{"id":"10","name":"Milk","posted_by":"Ann Lee"}]})");
  EXPECT_EQ(barTitles(own), (std::vector<std::string>{"Add", "Refresh"})) << "it has a deal";

  app.service().reply("/kelvane/qx/getInterested.php", R"({"Interested":[]})");
  app.service().reply(
      "/kelvane/qx/getItemById.php",
      R"({"Items":[{"id":"10","name":"Milk","posted_by":"Ann Lee","interested":"0","bought":"0"}]})");
  app.selectRow(0, 0);
  ASSERT_NE(app.top<vantory::InterestedViewController>(), nullptr);
  app.service().clearRequests();
  app.tapBarButton("Edit");
  ASSERT_NE(app.alert(), nullptr);
  std::vector<std::string> buttons;
  for (const auto& action : app.alert()->actions()) {
    buttons.push_back(action->title());
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"Save", "Delete", "Cancel"}));
  app.tapAlertButton("Delete");
  EXPECT_EQ(app.alert()->title(), "Delete Deal");
  app.tapAlertButton("Cancel");
  EXPECT_TRUE(app.service().requests().empty()) << "cancelled: nothing sent";
  app.service().reply("/kelvane/qx/removeItem.php", R"({"status":"ok","id":"10"})");
  app.service().reply(kItems, R"({"Items":[]})");
  app.tapBarButton("Edit");
  app.tapAlertButton("Delete");
  app.tapAlertButton("Delete");
  app.settle();
  ASSERT_FALSE(app.service().requests().empty());
  EXPECT_EQ(app.service().requests().front().body, R"(item={"itemId":"10","name":"Ann Lee"})");
  ASSERT_EQ(app.top<ItemViewController>(), &own) << "back on the store, the deal gone";
  EXPECT_EQ(own.tableView()->numberOfSections(), 0);
  ASSERT_EQ(barTitles(own), (std::vector<std::string>{"Add", "Refresh", "Delete"}))
      << "an empty store of one's own";

  app.service().reply("/kelvane/qx/removeStore.php",
                      R"({"error":"This store cannot be removed while it has deals."})", 409);
  app.tapBarButton("Delete");
  EXPECT_EQ(app.alert()->title(), "Delete Store");
  app.tapAlertButton("Delete");
  EXPECT_EQ(app.alertMessage(), "This store cannot be removed while it has deals.");
  app.tapAlertButton("OK");
  EXPECT_EQ(app.top<ItemViewController>(), &own) << "refused: the store stays";
  app.service().reply("/kelvane/qx/removeStore.php", R"({"status":"ok","id":"4"})");
  app.service().reply("/kelvane/qx/getListOfStores.php", R"({"Stores":[]})");
  app.tapBarButton("Delete");
  app.tapAlertButton("Delete");
  app.settle();
  EXPECT_NE(app.top<vantory::StoreViewController>(), nullptr) << "back on the store list";
}

}  // namespace
