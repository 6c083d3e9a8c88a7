#include <gtest/gtest.h>

#include "platform/UserDefaults.h"
#include "support/DealFixture.h"
#include "ui/purchases/BuyViewController.h"

using namespace testsupport;
using vantory::InterestedViewController;
using vantory::ItemDetailViewController;

namespace {

constexpr char kAddInterested[] = "/kelvane/qx/addInterested.php";
constexpr char kEditItem[] = "/kelvane/qx/editItem.php";

TEST(ItemDetail, DeclaringInterestRunsTheWholeRoadOfOneEvent) {
  AppHarness app;
  auto& deal =
      openDeal(app, itemJson("0", "0"), R"({"Interested":[]})", itemsReply(itemJson("0", "0")));
  EXPECT_EQ(labelText(deal.totalLabel()), "Total: 0");
  app.service().clearRequests();

  app.tapButton("I'm Interested");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "You Interested?");
  ASSERT_EQ(app.alert()->textFields().size(), 1U);
  EXPECT_EQ(app.alert()->textFields()[0]->placeholder(), "Quantity");
  EXPECT_EQ(app.alert()->textFields()[0]->text(), "");
  EXPECT_EQ(app.alert()->textFields()[0]->keyboardType(),
            platform::KeyboardType::numbersAndPunctuation);
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Quantity has to be entered");
  app.tapAlertButton("OK");
  EXPECT_TRUE(app.service().requests().empty());

  app.service().reply(kAddInterested, R"({"status":"ok","id":"1"})");
  app.service().reply(kInterestedPath, R"({"Interested":[{"name":"Ann Lee","qty":"2"}]})");
  app.service().reply(kItemByIdPath, itemsReply(itemJson("2", "0")));
  app.tapButton("I'm Interested");
  app.typeIntoAlertField(0, "2");
  app.service().hold();
  app.tapAlertButton("Save");
  auto requests = app.service().requests();
  ASSERT_EQ(requests.size(), 1U);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, kAddInterested);
  EXPECT_EQ(requests[0].body, R"(interested={"itemId":"5","name":"Ann Lee","qty":"2"})");
  EXPECT_TRUE(deal.activityIndicator()->isAnimating());

  const int reloadsBefore = deal.tableView()->reloadCount();
  app.service().release();
  app.service().hold();
  app.settle();
  EXPECT_EQ(app.service().paths().back(), kInterestedPath) << "the reply starts the refresh";
  EXPECT_NE(app.console().text().find(R"({"id":"1","status":"ok"})"), std::string::npos)
      << "the reply to an interest is printed";

  app.service().release();
  app.service().hold();
  app.settle();
  EXPECT_EQ(app.service().paths(),
            (std::vector<std::string>{kAddInterested, kInterestedPath, kItemByIdPath}))
      << "the deal is re-read only after the list reply";
  EXPECT_EQ(deal.tableView()->numberOfSections(), 1);
  EXPECT_EQ(deal.tableView()->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "Ann Lee");
  EXPECT_EQ(deal.tableView()->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(), "2");

  app.service().release();
  app.settle();
  EXPECT_EQ(labelText(deal.totalLabel()), "Total: 2");
  EXPECT_EQ(labelText(deal.neededLabel()), "Needed: 2");
  EXPECT_TRUE(deal.activityIndicator()->isHidden());
  EXPECT_EQ(deal.tableView()->reloadCount(), reloadsBefore + 1) << "the table is reloaded once";
}

TEST(ItemDetail, CountersShowTheTextsAsReceivedAndTheExactDifference) {
  struct Case {
    std::string interested, bought, total, boughtText;
    std::optional<std::string> needed;
  };
  const std::vector<Case> cases = {
      {"5", "2", "Total: 5", "Bought: 2", "Needed: 3"},
      {"3", "3", "Total: 3", "Bought: 3", "Needed: 0"},
      {"3", "5", "Total: 3", "Bought: 5", "Needed: -2"},
      {"05", "2", "Total: 05", "Bought: 2", "Needed: 3"},
      {"+7", "-1", "Total: +7", "Bought: -1", "Needed: 8"},
      {"9223372036854775807", "-9223372036854775808", "Total: 9223372036854775807",
       "Bought: -9223372036854775808", "Needed: 18446744073709551615"},
      {"5000000000", "1", "Total: 5000000000", "Bought: 1", "Needed: 4999999999"},
      {"abc", "1", "Total: abc", "Bought: 1", std::nullopt},
      {"1.5", "1", "Total: 1.5", "Bought: 1", std::nullopt},
      {"9223372036854775808", "0", "Total: 9223372036854775808", "Bought: 0", std::nullopt},
  };
  for (const auto& c : cases) {
    AppHarness app;
    const std::string item = itemJson(c.interested, c.bought);
    auto& deal = openDeal(app, item, R"({"Interested":[]})", itemsReply(item));
    EXPECT_EQ(labelText(deal.totalLabel()), c.total);
    EXPECT_EQ(labelText(deal.boughtLabel()), c.boughtText);
    EXPECT_EQ(labelText(deal.neededLabel()), c.needed) << c.interested << " - " << c.bought;
  }
}

TEST(ItemDetail, LabelsOfAWellFormedDeal) {
  AppHarness app;
  auto& deal =
      openDeal(app, itemJson("5", "2"), R"({"Interested":[]})", itemsReply(itemJson("5", "2")));
  EXPECT_EQ(labelText(deal.itemName()), "Milk");
  EXPECT_EQ(deal.descriptionLabel()->text(), "2 litres");
  EXPECT_EQ(labelText(deal.priceLabel()), "$19.50");
  EXPECT_EQ(labelText(deal.postedBy()), "Deal posted by Jo Doe");
  auto* empty = dynamic_cast<platform::Label*>(deal.tableView()->backgroundView().get());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->text(), "No one is Interested as of now.");
  const auto& buttons = deal.navigationItem().rightBarButtonItems();
  ASSERT_EQ(buttons.size(), 2U);
  EXPECT_EQ(buttons[0], deal.editButton());
  EXPECT_EQ(buttons[1], deal.refreshButton());
}

TEST(ItemDetail, AMalformedDealNeverStopsTheScreenAndLeavesItsLabelsEmpty) {
  AppHarness other;
  const std::string malformed = R"({"id":"6","name":7,"price":"ten","interested":5})";
  auto& odd = openDeal(other, malformed, R"({"Interested":[{"name":"Bo"},{"qty":"3"},"junk"]})",
                       itemsReply(malformed));
  EXPECT_EQ(labelText(odd.itemName()), std::nullopt);
  EXPECT_EQ(labelText(odd.priceLabel()), std::nullopt);
  EXPECT_EQ(labelText(odd.postedBy()), std::nullopt);
  EXPECT_EQ(labelText(odd.totalLabel()), std::nullopt);
  EXPECT_EQ(labelText(odd.neededLabel()), std::nullopt);
  ASSERT_EQ(odd.tableView()->numberOfSections(), 3);
  EXPECT_EQ(odd.tableView()->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(),
            std::nullopt);
  EXPECT_EQ(odd.tableView()->cellForRowAtIndexPath({1, 0})->detailTextLabel()->text(), "3");
  EXPECT_EQ(odd.tableView()->cellForRowAtIndexPath({2, 0})->textLabel()->text(), std::nullopt);
}

TEST(ItemDetail, AReReadWithoutAnItemKeepsTheDealShown) {
  AppHarness app;
  auto& deal = openDeal(app, itemJson("5", "2"), R"({"Interested":[]})", R"({"Items":[]})");
  EXPECT_EQ(labelText(deal.totalLabel()), "Total: 5");
  ASSERT_TRUE(deal.item());
  app.service().reply(kItemByIdPath, itemsReply(itemJson("6", "2")));
  app.tapBarButton("Refresh");
  EXPECT_EQ(labelText(deal.totalLabel()), "Total: 6")
      << "the kept record still serves the next refresh";
}

TEST(EditItem, ThePromptStartsFromTheCurrentDealAndSendsTheEdit) {
  AppHarness app;
  auto& deal = openDeal(app, itemJson("1", "0"), R"({"Interested":[]})",
                        itemsReply(itemJson("1", "0", "Oat milk")));
  EXPECT_EQ(labelText(deal.itemName()), "Oat milk") << "labels follow the re-read deal";
  const std::string originalInfo = deal.itemInfo().value();

  app.tapBarButton("Edit");
  auto* prompt = app.alert();
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->title(), "Add Item");
  ASSERT_EQ(prompt->textFields().size(), 3U);
  EXPECT_EQ(prompt->textFields()[0]->text(), "Oat milk");
  EXPECT_EQ(prompt->textFields()[1]->text(), "2 litres");
  EXPECT_EQ(prompt->textFields()[2]->text(), "19.5");
  EXPECT_EQ(prompt->textFields()[2]->keyboardType(), platform::KeyboardType::numbersAndPunctuation);

  app.service().clearRequests();
  app.typeIntoAlertField(0, "   ");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Name can't be Empty");
  app.tapAlertButton("OK");
  app.tapBarButton("Edit");
  app.typeIntoAlertField(2, " ");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Price can't be Empty");
  app.tapAlertButton("OK");
  EXPECT_TRUE(app.service().requests().empty());

  app.service().reply(kEditItem, R"({"status":"ok","id":"5"})");
  const std::string edited = R"({"id":"5","name":"Rice milk","description":"","price":"abc",)"
                             R"("posted_by":"Someone Else","interested":"1","bought":"0"})";
  app.service().reply(kItemByIdPath, itemsReply(edited));
  app.tapBarButton("Edit");
  app.typeIntoAlertField(0, "Rice milk");
  app.typeIntoAlertField(1, "");
  app.typeIntoAlertField(2, "abc");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.service().paths(),
            (std::vector<std::string>{kEditItem, kInterestedPath, kItemByIdPath}));
  EXPECT_EQ(app.service().requests()[0].body,
            R"(item={"description":"","itemId":"5","name":"Rice milk","price":"abc"})");
  EXPECT_EQ(labelText(deal.itemName()), "Rice milk");
  EXPECT_EQ(deal.descriptionLabel()->text(), "");
  EXPECT_EQ(labelText(deal.priceLabel()), std::nullopt);
  EXPECT_EQ(labelText(deal.postedBy()), "Deal posted by Jo Doe") << "the poster is not refilled";

  app.service().reply(kBoughtPath, R"({"Bought":[]})");
  app.tapButton("Purchases");
  auto* purchases = app.top<vantory::BuyViewController>();
  ASSERT_NE(purchases, nullptr);
  EXPECT_EQ(purchases->itemInfo(), originalInfo)
      << "the purchases get the deal as first handed over";
}

TEST(SendFailures, EditAndInterestWithoutAUsableReplyStopTheIndicatorAndSaySo) {
  AppHarness app;
  auto& deal =
      openDeal(app, itemJson("1", "0"), R"({"Interested":[]})", itemsReply(itemJson("1", "0")));
  app.service().fail(kEditItem);
  app.tapBarButton("Edit");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
  EXPECT_TRUE(deal.activityIndicator()->isHidden());
  app.tapAlertButton("OK");
  app.tapAlertButton("Cancel");  // the edit prompt that came back

  app.service().reply(kAddInterested, "not json");
  app.tapButton("I'm Interested");
  app.typeIntoAlertField(0, "1");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
  EXPECT_FALSE(deal.activityIndicator()->isAnimating());
}

TEST(SendFailures, WithoutAStoredNameNoInterestIsSent) {
  AppHarness app;
  auto& deal =
      openDeal(app, itemJson("1", "0"), R"({"Interested":[]})", itemsReply(itemJson("1", "0")));
  platform::UserDefaults::standardUserDefaults().removeObjectForKey("Name");
  app.service().clearRequests();
  deal.addInterestedWithQuantity("2");
  app.settle();
  EXPECT_TRUE(app.service().requests().empty());
}

}  // namespace

TEST(NeededCount, ReadsWholeNumbersOnly) {
  EXPECT_EQ(ItemDetailViewController::neededCount("10", "4"), "6");
  EXPECT_EQ(ItemDetailViewController::neededCount("-0", "0"), "0");
  for (const char* bad : {"", "+", "-", " 1", "1 ", "0x1", "1e3", "١"}) {
    EXPECT_EQ(ItemDetailViewController::neededCount(bad, "0"), std::nullopt) << bad;
  }
}

namespace {

// One's own interest or purchase opens a prompt to change it or take it
// back (asked once more); others' rows open nothing; a refusal is said and
// the prompt comes back.
TEST(ItemDetail, OwnRowsAreCorrectedOrWithdrawnAndOthersRowsOpenNothing) {
  AppHarness app;
  auto& deal = openDeal(
      app, itemJson("3", "0"),
      R"({"Interested":[{"id":"7","name":"Bo","qty":"1"},{"id":"8","name":"Ann Lee","qty":"2"},)"
      R"({"name":"Ann Lee","qty":"4"}]})",
      itemsReply(itemJson("3", "0")));
  ASSERT_EQ(deal.tableView()->numberOfSections(), 3);
  app.service().clearRequests();
  app.selectRow(0, 0);
  EXPECT_EQ(app.alert(), nullptr) << "someone else's row";
  app.selectRow(2, 0);
  EXPECT_EQ(app.alert(), nullptr) << "a row without an id (an older service)";
  // The Delete key: only one's own row with an id, and it asks first.
  platform::TableView& table = *deal.tableView();
  EXPECT_FALSE(table.canDeleteRowAtIndexPath({0, 0}));
  EXPECT_FALSE(table.canDeleteRowAtIndexPath({2, 0}));
  EXPECT_FALSE(table.canDeleteRowAtIndexPath({1, 5})) << "a row that is not there";
  table.deleteRowAtIndexPath({0, 0});
  EXPECT_EQ(app.alert(), nullptr);
  ASSERT_TRUE(table.canDeleteRowAtIndexPath({1, 0}));
  table.deleteRowAtIndexPath({1, 0});
  app.settle();
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alertMessage(), "Take back your interest of 2?");
  app.tapAlertButton("Cancel");
  app.settle();
  EXPECT_TRUE(app.service().requests().empty()) << "nothing is sent before the answer";

  app.selectRow(1, 0);
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Your interest");
  ASSERT_EQ(app.alert()->textFields().size(), 1U);
  EXPECT_EQ(app.alert()->textFields()[0]->text(), "2");
  std::vector<std::string> buttons;
  for (const auto& action : app.alert()->actions()) {
    buttons.push_back(action->title());
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"Save", "Withdraw", "Cancel"}));
  app.service().reply(
      "/kelvane/qx/updateInterested.php",
      R"({"error":"This interest is someone else's: only they can change or remove it."})", 403);
  app.typeIntoAlertField(0, "5");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(),
            "This interest is someone else's: only they can change or remove it.");
  app.tapAlertButton("OK");
  ASSERT_NE(app.alert(), nullptr) << "the prompt comes back with what was typed";
  EXPECT_EQ(app.alert()->textFields()[0]->text(), "5");
  app.service().reply("/kelvane/qx/updateInterested.php", R"({"status":"ok","id":"8"})");
  app.tapAlertButton("Save");
  app.settle();
  EXPECT_EQ(app.alert(), nullptr);

  app.selectRow(1, 0);
  app.tapAlertButton("Withdraw");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Withdraw");
  EXPECT_EQ(app.alertMessage(), "Take back your interest of 2?");
  app.tapAlertButton("Cancel");
  app.settle();
  EXPECT_EQ(app.alert(), nullptr);
  app.selectRow(1, 0);
  app.tapAlertButton("Withdraw");
  app.service().reply("/kelvane/qx/removeInterested.php", R"({"status":"ok","id":"8"})");
  app.tapAlertButton("Withdraw");
  app.settle();

  std::vector<std::string> sent;
  for (const auto& request : app.service().requests()) {
    if (request.method == "POST") {
      sent.push_back(request.path + " " + request.body);
    }
  }
  EXPECT_EQ(
      sent,
      (std::vector<std::string>{
          R"(/kelvane/qx/updateInterested.php interested={"id":"8","name":"Ann Lee","qty":"5"})",
          R"(/kelvane/qx/updateInterested.php interested={"id":"8","name":"Ann Lee","qty":"5"})",
          R"(/kelvane/qx/removeInterested.php interested={"id":"8","name":"Ann Lee"})"}));

  // The purchases screen does the same with its own endpoints.
  app.service().reply(kBoughtPath, R"({"Bought":[{"id":"3","name":"Ann Lee","qty":"1"}]})");
  app.tapButton("Purchases");
  ASSERT_NE(app.top<vantory::BuyViewController>(), nullptr);
  app.service().clearRequests();
  app.selectRow(0, 0);
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Your purchase");
  app.service().reply("/kelvane/qx/removeBuy.php", R"({"status":"ok","id":"3"})");
  app.tapAlertButton("Withdraw");
  app.tapAlertButton("Withdraw");
  app.settle();
  ASSERT_FALSE(app.service().requests().empty());
  EXPECT_EQ(app.service().requests().front().body, R"(buy={"id":"3","name":"Ann Lee"})");
}

}  // namespace
