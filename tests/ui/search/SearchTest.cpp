#include <gtest/gtest.h>

#include "support/DealFixture.h"
#include "ui/search/SearchViewController.h"

using namespace testsupport;
using vantory::SearchViewController;

namespace {

constexpr char kSearch[] = "/kelvane/qx/searchItem.php";

SearchViewController& search(AppHarness& app, const std::string& text, const std::string& reply) {
  app.storeUserName("Ann Lee");
  app.service().reply("/kelvane/qx/getListOfStores.php", R"({"Stores":[]})");
  app.service().reply(kSearch, reply);
  app.launch();
  app.tapBarButton("Search");
  app.typeIntoAlertField(0, text);
  app.tapAlertButton("Search");
  auto* results = app.top<SearchViewController>();
  if (results == nullptr) {
    ADD_FAILURE() << "the results did not open";
    std::abort();
  }
  return *results;
}

std::optional<std::string> nameAt(SearchViewController& screen, int section, int row) {
  auto cell = screen.tableView()->cellForRowAtIndexPath({section, row});
  return dynamic_cast<platform::Label*>(cell->viewWithTag(1))->text();
}

std::optional<std::string> headerText(SearchViewController& screen, int section) {
  auto header = screen.tableView()->headerViewForSection(section);
  return dynamic_cast<platform::Label*>(header->subviews().at(0).get())->text();
}

TEST(Search, ResultsAreGroupedByExactStoreNameKeepingTheReplyOrderInsideAGroup) {
  AppHarness app;
  auto& screen = search(app, "milk", R"({"Results":[
    {"id":"1","name":"A1","description":"d","price":"1","store_name":"Alpha"},
    {"id":"2","name":"B1","description":"d","price":"2","store_name":"Beta"},
    {"id":"3","name":"A2","description":"d","price":"3","store_name":"Alpha"},
    {"id":"4","name":"a1","description":"d","price":"4","store_name":"alpha"},
    {"id":"5","name":"no store"},
    {"id":"6","name":"nested","x":{"store_name":"Beta"},"store_name":7},
    "not a record"]})");
  ASSERT_EQ(screen.tableView()->numberOfSections(), 3) << "Alpha, Beta and alpha";
  std::map<std::string, std::vector<std::optional<std::string>>> sections;
  for (int section = 0; section < 3; ++section) {
    for (int row = 0; row < screen.tableView()->numberOfRowsInSection(section); ++row) {
      sections[headerText(screen, section).value()].push_back(nameAt(screen, section, row));
    }
  }
  using Names = std::vector<std::optional<std::string>>;
  EXPECT_EQ(sections["Alpha"], (Names{"A1", "A2"}));
  EXPECT_EQ(sections["Beta"], (Names{"B1"}));
  EXPECT_EQ(sections["alpha"], (Names{"a1"}));
}

TEST(Search, TheQueryTravelsAsJsonAndHeadersAreDarkRedBold) {
  AppHarness app;
  auto& screen = search(app, "Caf\xC3\xA9 \"big\" \\ cup",
                        R"({"Results":[{"id":"1","name":"Latte","description":"hot",)"
                        R"("price":"2.5","store_name":"Corner"}]})");
  const auto request = app.service().requestsTo(kSearch).at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.body, R"(search={"query":"Caf\u00e9 \"big\" \\ cup"})");

  EXPECT_EQ(screen.tableView()->headerHeightForSection(0), 25.0);
  auto header = screen.tableView()->headerViewForSection(0);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->frame(), (platform::Rect{0, 0, screen.tableView()->frame().width, 25}));
  auto* label = dynamic_cast<platform::Label*>(header->subviews().at(0).get());
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Corner");
  EXPECT_EQ(label->font(), platform::Font::boldSystemFontOfSize(20));
  EXPECT_EQ(label->textColor(), platform::Color::rgba(131.0 / 255.0, 0, 0, 1));
  EXPECT_EQ(dynamic_cast<platform::Label*>(
                screen.tableView()->cellForRowAtIndexPath({0, 0})->viewWithTag(3))
                ->text(),
            "$2.50");
}

TEST(Search, NoResultsShowTheMessage) {
  for (const char* reply : {R"({"Results":[]})", R"({"Other":1})", R"([])"}) {
    AppHarness app;
    auto& screen = search(app, "zzz", reply);
    EXPECT_EQ(screen.tableView()->numberOfSections(), 0) << reply;
    auto* label = dynamic_cast<platform::Label*>(screen.tableView()->backgroundView().get());
    ASSERT_NE(label, nullptr) << reply;
    EXPECT_EQ(label->text(), "No results found.");
  }
}

TEST(Search, SelectingAResultOpensTheDealWithItsWholeRecordAndComingBackSearchesAgain) {
  AppHarness app;
  search(app, "latte",
         R"({"Results":[{"id":"1","name":"Latte","description":"hot",)"
         R"("price":"2.5","store_name":"Corner"}]})");
  app.service().reply(kInterestedPath, R"({"Interested":[]})");
  app.service().reply(kItemByIdPath, R"({"Items":[]})");
  app.selectRow(0, 0);
  auto* deal = app.top<vantory::InterestedViewController>();
  ASSERT_NE(deal, nullptr);
  EXPECT_EQ(nlohmann::json::parse(deal->itemInfo().value()),
            nlohmann::json::parse(R"({"id":"1","name":"Latte","description":"hot","price":"2.5",)"
                                  R"("store_name":"Corner"})"));
  app.service().clearRequests();
  app.goBack();
  EXPECT_EQ(app.service().paths(), std::vector<std::string>{kSearch});
}

}  // namespace
