#include <gtest/gtest.h>

#include "app/ViewController.h"
#include "platform/UserDefaults.h"
#include "support/AppHarness.h"
#include "ui/common/Utility.h"
#include "ui/stores/StoreViewController.h"

using testsupport::AppHarness;
using testsupport::kStoresPath;

namespace {

vantory::ViewController& registration(AppHarness& app) {
  return dynamic_cast<vantory::ViewController&>(*app.window().rootViewController());
}

void typeName(AppHarness& app, const std::string& first, const std::string& last) {
  registration(app).firstName()->typeText(first);
  registration(app).lastName()->typeText(last);
}

TEST(Registration, AFirstLaunchShowsTheStyledRegistrationScreenOnly) {
  AppHarness app;
  app.launch();
  auto& screen = registration(app);
  EXPECT_EQ(app.window().frontViewController(), &screen);
  EXPECT_TRUE(app.service().requests().empty());

  ASSERT_TRUE(screen.view().backgroundColor());
  EXPECT_TRUE(screen.view().backgroundColor()->patternImage) << "tiled background.jpg";
  const auto& placeholder = screen.firstName()->attributedPlaceholder();
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(placeholder->string, "First Name");
  EXPECT_EQ(placeholder->attributes.foregroundColor, platform::Color::brownColor());
  EXPECT_EQ(placeholder->attributes.font, platform::Font::systemFontOfSize(14));
  EXPECT_EQ(screen.lastName()->placeholder(), "Last Name");
  EXPECT_EQ(screen.lastName()->layer().borderColor, platform::Color::brownColor());
  EXPECT_EQ(screen.lastName()->layer().borderWidth, 1.0);
  EXPECT_EQ(screen.lastName()->layer().cornerRadius, 5.0);
}

TEST(Registration, BlankNamesAreRefusedWithOneAlertAndNothingIsStored) {
  AppHarness app;
  app.launch();

  typeName(app, "   ", "");
  app.tapButton("Save");
  ASSERT_NE(app.alert(), nullptr);
  EXPECT_EQ(app.alert()->title(), "Alert");
  EXPECT_EQ(app.alertMessage(), "First Name can't be blank");
  ASSERT_EQ(app.alert()->actions().size(), 1U);
  EXPECT_EQ(app.alert()->actions()[0]->title(), "OK");
  app.tapAlertButton("OK");
  EXPECT_EQ(app.alert(), nullptr) << "only the first name's alert was shown";

  typeName(app, "Ann", "  ");
  app.tapButton("Save");
  EXPECT_EQ(app.alertMessage(), "Last Name can't be blank");
  app.tapAlertButton("OK");

  EXPECT_FALSE(vantory::Utility::getUserDefault("Name"));
  EXPECT_EQ(app.navigation(), nullptr);
}

TEST(Registration, SavingStoresTheNameAsTypedAndOpensTheStores) {
  AppHarness app;
  app.service().reply(kStoresPath, R"({"Stores":[]})");
  app.launch();

  typeName(app, " Ann", "Lee ");
  app.tapButton("Save");
  EXPECT_EQ(vantory::Utility::getUserDefault("Name"), " Ann Lee ");
  ASSERT_NE(app.top<vantory::StoreViewController>(), nullptr);
  EXPECT_EQ(app.service().paths(), std::vector<std::string>{kStoresPath});
}

TEST(Registration, AStoredNameEvenEmptyGoesStraightToTheStores) {
  AppHarness app;
  app.storeUserName("");
  app.service().reply(kStoresPath, R"({"Stores":[]})");
  app.launch();
  ASSERT_NE(app.top<vantory::StoreViewController>(), nullptr);
  const auto requests = app.service().requests();
  ASSERT_EQ(requests.size(), 1U);
  EXPECT_EQ(requests[0].url, "http://service.test/kelvane/qx/getListOfStores.php?");
}

TEST(Registration, TheReturnKeyClosesTheKeyboardAndSavesNothing) {
  AppHarness app;
  app.launch();
  auto& screen = registration(app);
  screen.firstName()->typeText("Ann");
  ASSERT_TRUE(screen.firstName()->isFirstResponder());
  screen.firstName()->pressReturn();
  EXPECT_FALSE(screen.firstName()->isFirstResponder());
  app.settle();
  EXPECT_FALSE(vantory::Utility::getUserDefault("Name"));
  EXPECT_EQ(app.alert(), nullptr);
}

}  // namespace
