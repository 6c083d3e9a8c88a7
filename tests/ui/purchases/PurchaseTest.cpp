#include <gtest/gtest.h>

#include "support/DealFixture.h"
#include "ui/purchases/BuyViewController.h"

using namespace testsupport;
using vantory::BuyViewController;

namespace {

constexpr char kAddBuy[] = "/kelvane/qx/addBuy.php";

BuyViewController& openPurchases(AppHarness& app, const std::string& item,
                                 const std::string& boughtReply) {
  openDeal(app, item, R"({"Interested":[]})", itemsReply(item));
  app.service().reply(kBoughtPath, boughtReply);
  app.tapButton("Purchases");
  auto* purchases = app.top<BuyViewController>();
  if (purchases == nullptr) {
    ADD_FAILURE() << "the purchases did not open";
    std::abort();
  }
  return *purchases;
}

TEST(Purchases, ShowTheDealTheBuyersAndASingleRefreshButton) {
  AppHarness app;
  auto& screen = openPurchases(
      app, itemJson("2", "3"),
      R"({"Bought":[{"name":"Bo","qty":"1"},{"name":"Cy","qty":"1"},{"name":"Di","qty":"1"}]})");
  EXPECT_EQ(labelText(screen.itemName()), "Milk");
  EXPECT_EQ(labelText(screen.priceLabel()), "$19.50");
  EXPECT_EQ(labelText(screen.postedBy()), "Deal posted by Jo Doe");
  EXPECT_EQ(labelText(screen.neededLabel()), "Needed: -1");
  ASSERT_EQ(screen.navigationItem().rightBarButtonItems().size(), 1U);
  EXPECT_EQ(screen.navigationItem().rightBarButtonItems()[0], screen.refreshButton());
  ASSERT_EQ(screen.tableView()->numberOfSections(), 3);
  auto first = screen.tableView()->cellForRowAtIndexPath({0, 0});
  EXPECT_EQ(first->textLabel()->text(), "Bo");
  EXPECT_EQ(first->detailTextLabel()->text(), "1");

  app.service().reply(kBoughtPath, R"({"Bought":[]})");
  app.tapBarButton("Refresh");
  auto* empty = dynamic_cast<platform::Label*>(screen.tableView()->backgroundView().get());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->text(), "No one Bought as of now.");
  EXPECT_EQ(labelText(screen.totalLabel()), "Total: 2") << "the deal's labels stay filled";
}

TEST(Purchases, RecordingAPurchaseConfirmsAsksTheQuantityAndRefreshesTheCounters) {
  AppHarness app;
  auto& screen = openPurchases(app, itemJson("4", "1"), R"({"Bought":[]})");
  EXPECT_EQ(labelText(screen.neededLabel()), "Needed: 3");
  app.service().clearRequests();

  app.tapButton("I Bought This");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Bought this Item?");
  EXPECT_EQ(app.alertMessage(),
            "Proceed only if you have already bought this item online or have in your cart in "
            "the store.");
  ASSERT_EQ(app.alert()->actions().size(), 2U);
  EXPECT_EQ(app.alert()->actions()[0]->title(), "Cancel");
  EXPECT_EQ(app.alert()->actions()[1]->title(), "Proceed");
  app.tapAlertButton("Cancel");
  EXPECT_EQ(app.alert(), nullptr);

  app.tapButton("I Bought This");
  app.tapAlertButton("Proceed");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "How many did you Buy?");
  EXPECT_EQ(app.alert()->textFields().at(0)->placeholder(), "Quantity");
  EXPECT_EQ(app.alert()->textFields().at(0)->text(), "");
  app.tapAlertButton("Cancel");
  EXPECT_TRUE(app.service().requests().empty()) << "cancelling sends nothing";

  app.tapButton("I Bought This");
  app.tapAlertButton("Proceed");
  app.typeIntoAlertField(0, "   ");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.alertMessage(), "Quantity has to be entered");
  app.tapAlertButton("OK");
  EXPECT_TRUE(app.service().requests().empty());

  app.service().reply(kAddBuy, R"({"status":"ok","id":"9"})");
  app.service().reply(kBoughtPath, R"({"Bought":[{"name":"Ann Lee","qty":"3"}]})");
  const std::string reread = R"({"id":"5","name":"Changed","description":"new","price":"1",)"
                             R"("posted_by":"X","interested":"4","bought":"4"})";
  app.service().reply(kItemByIdPath, itemsReply(reread));
  const int reloads = screen.tableView()->reloadCount();
  app.tapButton("I Bought This");
  app.tapAlertButton("Proceed");
  app.typeIntoAlertField(0, "3");
  app.tapAlertButton("Save");

  EXPECT_EQ(app.service().paths(), (std::vector<std::string>{kAddBuy, kBoughtPath, kItemByIdPath}));
  EXPECT_EQ(app.service().requests()[0].body, R"(buy={"itemId":"5","name":"Ann Lee","qty":"3"})");
  EXPECT_EQ(screen.tableView()->reloadCount(), reloads + 1);
  EXPECT_EQ(labelText(screen.boughtLabel()), "Bought: 4");
  EXPECT_EQ(labelText(screen.neededLabel()), "Needed: 0");
  EXPECT_EQ(labelText(screen.itemName()), "Milk") << "name, description and price keep the set-up";
  EXPECT_EQ(screen.descriptionLabel()->text(), "2 litres");
  EXPECT_EQ(labelText(screen.priceLabel()), "$19.50");
}

TEST(Purchases, APurchaseWithoutAUsableReplyStopsTheIndicatorAndSaysSo) {
  AppHarness app;
  auto& screen = openPurchases(app, itemJson("4", "1"), R"({"Bought":[]})");
  app.service().fail(kAddBuy);
  app.tapButton("I Bought This");
  app.tapAlertButton("Proceed");
  app.typeIntoAlertField(0, "three");
  app.tapAlertButton("Save");
  EXPECT_EQ(app.service().requestsTo(kAddBuy).at(0).body,
            R"(buy={"itemId":"5","name":"Ann Lee","qty":"three"})");
  EXPECT_EQ(app.alertMessage(), "Could not reach the service. Please try again.");
  EXPECT_TRUE(screen.activityIndicator()->isHidden());
}

}  // namespace
